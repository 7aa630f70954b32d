#include "wav/wav_error.h"

#include <cerrno>
#include <cstring>

#include "wav/text_format.h"

namespace vemilo {

std::string describeProblem(WavProblem problem, int systemError, const char* encoding) {
    if (encoding && problem == WavProblem::Undecodable)
        return std::string("its ") + encoding + " header cannot be decoded";
    if (encoding && problem == WavProblem::UnsupportedEncoding)
        return std::string("its samples are ") + encoding + ", neither integer PCM of 8 to 32 bits nor IEEE float";
    switch (problem) {
        case WavProblem::None: return "";
        case WavProblem::CannotOpen: return systemError != 0 ? std::strerror(systemError) : "not a regular file";
        case WavProblem::NotWave: return "not a WAV file";
        case WavProblem::TruncatedChunk: return "the file ends inside a chunk header";
        case WavProblem::NoFormat: return "no usable \"fmt \" chunk (sample rate or frame size missing)";
        case WavProblem::Stopped: return "stopped";
        case WavProblem::Superseded: return "another file was chosen meanwhile";
        case WavProblem::OutOfMemory: return std::strerror(ENOMEM);
        case WavProblem::Changed: return "the file changed after its header was read";
        case WavProblem::Undecodable: return "its header cannot be decoded";
        case WavProblem::UnsupportedEncoding:
            return "its samples are neither integer PCM of 8 to 32 bits nor IEEE float";
    }
    return "";
}

std::string japaneseReason(const WavError& error) {
    switch (error.problem) {
        case WavProblem::None: return "";
        case WavProblem::CannotOpen:
            switch (error.systemError) {
                case 0: return "通常のファイルではありません";
                case ENOENT: return "ファイルが見つかりません";
                case EACCES:
                case EPERM: return "読み取りの権限がありません";
                case EISDIR: return "フォルダです";
                default: return std::strerror(error.systemError);
            }
        case WavProblem::NotWave: return "RIFF/WAVEファイルではありません";
        case WavProblem::TruncatedChunk: return "ヘッダーが途中で切れています";
        case WavProblem::NoFormat: return "fmtチャンクがないか、サンプリングレートかブロックサイズがありません";
        case WavProblem::Stopped: return "中断しました";
        case WavProblem::Superseded: return "ほかのファイルが選ばれました";
        case WavProblem::OutOfMemory: return "メモリが足りません";
        case WavProblem::Changed: return "読み込んだ後に変更されました";
        case WavProblem::Undecodable:
            return error.encoding ? std::string(error.encoding) + "のヘッダーを復号できません"
                                  : "ヘッダーを復号できません";
        case WavProblem::UnsupportedEncoding:
            return (error.encoding ? std::string(error.encoding) + ": " : std::string()) +
                   "整数PCM(8〜32bit)でも浮動小数点でもない符号化です";
    }
    return "";
}

std::string japaneseWriteReason(int systemError) {
    switch (systemError) {
        case EACCES:
        case EPERM: return "書き込みの権限がありません";
        case ENOENT: return "フォルダが見つかりません";
        case ENOTDIR: return "途中にフォルダでないものがあります";
        case EROFS: return "読み取り専用のファイルシステムです";
        case ENOSPC: return "ディスクの空きがありません";
        case EDQUOT: return "ディスクの割り当てを超えました";
        case EISDIR: return "フォルダです";
        default: return std::strerror(systemError);
    }
}

std::string cannotReadMessage(int side, const std::string& path, const WavError& error) {
    return formatText("ファイル%d %s を読めません: %s", side + 1, escapeControlCharacters(path).c_str(),
                      japaneseReason(error).c_str());
}

}  // namespace vemilo
