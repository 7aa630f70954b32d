#include "cli/cli_app.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "cli/cli_docs.h"
#include "cli/cli_options.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"
#include "wav/file_slot.h"
#include "wav/text_format.h"
#include "wav_writer/wav_writer.h"

namespace vemilo::cli {
namespace {

using namespace vemilo::testing;
using namespace vemilo::writer;
using Lines = std::vector<std::string>;

// Runs a shell command and returns what it printed.
std::string shell(const std::string& command) {
    std::string text;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, got);
        ::pclose(pipe);
    }
    return text;
}

class DemoFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        demo_ = new TempDir;
        ASSERT_EQ(std::system((std::string(VEMILO_MAKE_DEMO_PATH) + " " + demo_->path() + " >/dev/null").c_str()), 0);
    }
    static void TearDownTestSuite() { delete demo_; }
    static std::string folder(int n) { return demo_->path() + "/folder" + std::to_string(n); }
    static std::string file(int n, const std::string& name) { return folder(n) + "/" + name; }

    static TempDir* demo_;
};
TempDir* DemoFiles::demo_ = nullptr;

TEST_F(DemoFiles, InfoPrintsThePaneLines) {
    const int before = openDescriptorCount();
    const CliRun run = runTool({"--info", file(1, "1_identical.wav"), file(2, "2_8bit_mono.wav")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.outLines(), (Lines{file(1, "1_identical.wav"), "44100Hz 16bit stereo", "再生時間 0:00:03.018",
                                     "サンプル数       133100", "先頭ｾﾞﾛｻﾝﾌﾟﾙ 500", "末尾ｾﾞﾛｻﾝﾌﾟﾙ 300",
                                     file(2, "2_8bit_mono.wav"), "22050Hz 8bit mono", "再生時間 0:00:02.056",
                                     "サンプル数        45350", "先頭ｾﾞﾛｻﾝﾌﾟﾙ 1000", "末尾ｾﾞﾛｻﾝﾌﾟﾙ 250"}));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST_F(DemoFiles, ExitStatusFollowsTheVerdict) {
    // Exact unless alignment is asked for: the lead-in of 100 frames is a difference by default.
    const std::pair<std::vector<std::string>, int> leadIn[] = {
        {{}, 1},
        {{"--exact"}, 1},
        {{"--align"}, 0},
        {{"--align", "--no-match-point"}, 1},
        {{"--zero-skip"}, 1},
        {{"--match-point"}, 0},
        {{"--align", "--exact"}, 1},
    };
    for (const auto& [options, status] : leadIn) {
        std::vector<std::string> arguments = options;
        arguments.push_back(file(1, "3_lead_in.wav"));
        arguments.push_back(file(2, "3_lead_in.wav"));
        EXPECT_EQ(runTool(arguments).status, status) << ::testing::PrintToString(options);
    }
    EXPECT_EQ(runTool({file(1, "1_identical.wav"), file(2, "1_identical.wav")}).status, 0);
    const CliRun differ =
        runTool({"--details", file(1, "5_few_frames_differ.wav"), file(2, "5_few_frames_differ.wav")});
    EXPECT_EQ(differ.status, 1);
    const Lines lines = differ.outLines();
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("相違点 ", 0) == 0; }), 5);
    EXPECT_EQ(lines[lines.size() - 3], "相違点がありました。(5)");

    const CliRun mismatch = runTool({file(1, "4_rate_differs.wav"), file(2, "4_rate_differs.wav")});
    EXPECT_EQ(mismatch.status, 2);
    EXPECT_EQ(mismatch.err, "サンプリングレートが違います。\n");

    const CliRun usage = runTool({"--max-lines", "abc", "a", "b"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("--max-lines"), std::string::npos);
    EXPECT_EQ(runTool({"only-one"}).status, 2);
    EXPECT_EQ(runTool({"--match-samples", "40000", "a", "b"}).status, 2);
    EXPECT_EQ(runTool({"--help"}).status, 0);
    EXPECT_EQ(runTool({"--info", demo_->path() + "/nothing.wav"}).status, 2);
}

TEST_F(DemoFiles, ContinuousStopsAtTheFirstDifferingPair) {
    const CliRun run = runTool({"--align", "--continuous", folder(1), folder(2)});
    EXPECT_EQ(run.status, 2);  // the pair whose rates differ was trouble, which outranks the difference
    Lines verdicts;
    for (const std::string& line : run.outLines()) {
        if (line.rfind("一致しました", 0) == 0 || line.rfind("相違点がありました", 0) == 0 ||
            line.rfind("ファイル1:/", 0) == 0) {
            verdicts.push_back(line);
        }
    }
    EXPECT_EQ(verdicts, (Lines{"ファイル1:" + file(1, "1_identical.wav"), "一致しました。",
                               "ファイル1:" + file(1, "2_8bit_mono.wav"), "一致しました。",
                               "ファイル1:" + file(1, "3_lead_in.wav"), "一致しました。",
                               "ファイル1:" + file(1, "4_rate_differs.wav"),
                               "ファイル1:" + file(1, "5_few_frames_differ.wav"), "相違点がありました。(5)"}));
    EXPECT_EQ(run.err, "サンプリングレートが違います。\n");
}

TEST(CliContinuous, UnevenAndEmptyFolders) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("a"));
    std::filesystem::create_directory(dir.file("b"));
    const PcmFormat cd;
    for (const char* name : {"1.wav", "2.wav", "3.wav"})
        writeCanonicalWav(dir.file("a/") + name, cd, noiseFrames(cd, 100));
    writeCanonicalWav(dir.file("b/1.wav"), cd, noiseFrames(cd, 100));
    writeCanonicalWav(dir.file("b/2.WAV"), cd, noiseFrames(cd, 100));
    const CliRun uneven = runTool({"--continuous", dir.file("a"), dir.file("b")});
    EXPECT_EQ(uneven.status, 0);
    const Lines lines = uneven.outLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "一致しました。"), 2);

    std::filesystem::create_directory(dir.file("empty"));
    const CliRun empty = runTool({"--continuous", dir.file("empty"), dir.file("b")});
    EXPECT_EQ(empty.status, 2);
    EXPECT_EQ(empty.err, "ファイル1が指定されていません\n");
}

// The exit status says whether a copy can be trusted: 0 only for a pair compared to its end.
TEST(CliExitStatus, DamagedCopies) {
    TempDir dir;
    const PcmFormat mono{1, 1, 8000, 16};
    const std::vector<uint8_t> audio = noiseFrames(mono, 16000);
    const std::vector<uint8_t> whole = canonicalWav(mono, audio);
    writeFile(dir.file("original.wav"), whole);
    writeFile(dir.file("copy.wav"), whole);
    writeCanonicalWav(dir.file("short.wav"), mono, std::vector<uint8_t>(audio.begin(), audio.end() - 8000 * 2));
    writeFile(dir.file("cut.wav"), std::vector<uint8_t>(whole.begin(), whole.begin() + 44 + 16000));
    std::vector<uint8_t> changed = audio;
    changed[5000] ^= 1;
    writeCanonicalWav(dir.file("changed.wav"), mono, changed);
    writeCanonicalWav(dir.file("float.wav"), PcmFormat{3, 1, 8000, 16}, audio);
    struct Case {
        const char* copy;
        int status;
        const char* line;  // a line the log or standard error must hold
    };
    const Case cases[] = {
        {"copy.wav", 0, "一致しました。"},
        {"changed.wav", 1, "相違点がありました。(1)"},
        {"short.wav", 1, "ファイル1の残り8000サンプルは比較されませんでした。"},
        {"cut.wav", 2, "読み取りエラー 1==0"},
        {"float.wav", 2, "データ形式が違います。"},
        {"missing.wav", 2, "missing.wav を読めません: ファイルが見つかりません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.copy);
        const CliRun run = runTool({"--exact", dir.file("original.wav"), dir.file(c.copy)});
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE((run.out + run.err).find(c.line), std::string::npos) << run.out << run.err;
    }
    // A file that cannot be taken as WAV is named as cmp names it, with the system's reason.
    EXPECT_NE(runTool({dir.file("original.wav"), dir.file("missing.wav")})
                  .err.find("vemilo-cli: " + dir.file("missing.wav") + ": No such file or directory\n"),
              std::string::npos);

    // A series: trouble outranks a difference, which outranks agreement.
    for (const char* folder : {"a", "b"}) std::filesystem::create_directory(dir.file(folder));
    writeFile(dir.file("a/1.wav"), whole);
    writeFile(dir.file("b/1.wav"), whole);
    EXPECT_EQ(runTool({"--continuous", dir.file("a"), dir.file("b")}).status, 0);
    writeCanonicalWav(dir.file("a/2.wav"), mono, audio);
    writeCanonicalWav(dir.file("b/2.wav"), mono, std::vector<uint8_t>(audio.begin(), audio.end() - 2));
    EXPECT_EQ(runTool({"--continuous", dir.file("a"), dir.file("b")}).status, 1);
    writeFile(dir.file("b/1.wav"), std::vector<uint8_t>(whole.begin(), whole.begin() + 100));
    EXPECT_EQ(runTool({"--continuous", dir.file("a"), dir.file("b")}).status, 2);
}

TEST(CliConventions, UsageErrorsVersionAndValues) {
    TempDir dir;
    const PcmFormat mono{1, 1, 8000, 16};
    writeCanonicalWav(dir.file("a.wav"), mono, noiseFrames(mono, 100));
    const std::pair<std::vector<std::string>, std::string> usageErrors[] = {
        {{"--bogus", "a", "b"}, "vemilo-cli: unrecognized option '--bogus'\n"},
        {{"--max-lines=abc", "a", "b"},
         "vemilo-cli: invalid --max-lines value 'abc': a whole number from 1 to 2000 is needed\n"},
        {{"--match-samples"}, "vemilo-cli: option '--match-samples' requires an argument\n"},
        {{"--exact=1", "a", "b"}, "vemilo-cli: option '--exact' doesn't allow an argument\n"},
        {{"only-one"}, "vemilo-cli: two files are needed\n"},
    };
    for (const auto& [arguments, first] : usageErrors) {
        const CliRun run = runTool(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, first + "Try 'vemilo-cli --help' for more information.\n");
    }
    const CliRun version = runTool({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("vemilo-cli (Vemilo) ", 0), 0u);
    // --opt=value and --opt value mean the same.
    const CliRun joined =
        runTool({"--align", "--max-lines=7", "--match-samples=50", dir.file("a.wav"), dir.file("a.wav")});
    const CliRun apart =
        runTool({"--align", "--max-lines", "7", "--match-samples", "50", dir.file("a.wav"), dir.file("a.wav")});
    EXPECT_EQ(joined.status, 0);
    EXPECT_NE(joined.out.find("一致点検索サンプル数 50"), std::string::npos);
    EXPECT_EQ(joined.outLines().size(), apart.outLines().size());
}

// A report that did not reach its reader is trouble, whatever the comparison found.
TEST(CliConventions, FailedWritesAreTrouble) {
    TempDir dir;
    const PcmFormat mono{1, 1, 8000, 16};
    writeCanonicalWav(dir.file("a.wav"), mono, noiseFrames(mono, 100));
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    char* errText = nullptr;
    size_t errSize = 0;
    std::FILE* err = open_memstream(&errText, &errSize);
    const int status = runCli({dir.file("a.wav"), dir.file("a.wav")}, full, err);
    std::fclose(full);
    std::fclose(err);
    const std::string errors(errText, errSize);
    std::free(errText);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(errors, "vemilo-cli: write error: No space left on device\n");
    // The real program, its standard output a full disk.
    EXPECT_EQ(std::system((std::string(VEMILO_CLI_PATH) + " '" + dir.file("a.wav") + "' '" + dir.file("a.wav") +
                           "' >/dev/full 2>/dev/null")
                              .c_str()) >>
                  8,
              2);
}

// The same audio in RF64, BW64, a streaming RIFF header and an extensible header compares as one.
TEST(CliVariants, InfoAndComparisonAcrossContainers) {
    TempDir dir;
    const PcmFormat stereo{1, 2, 48000, 24};
    const std::vector<uint8_t> audio = noiseFrames(stereo, 4800);
    writeCanonicalWav(dir.file("riff.wav"), stereo, audio);
    WavBuilder()
        .rf64Header()
        .ds64(0, audio.size(), 4800)
        .fmt(stereo)
        .data(audio, 0xFFFFFFFF)
        .write(dir.file("rf64.wav"));
    WavBuilder()
        .rf64Header("BW64")
        .ds64(0, audio.size(), 4800)
        .fmt(stereo)
        .data(audio, 0xFFFFFFFF)
        .write(dir.file("bw64.wav"));
    WavBuilder().riffHeader(0xFFFFFFFF).fmt(stereo).data(audio, 0xFFFFFFFF).write(dir.file("stream.wav"));
    WavBuilder()
        .riffHeader()
        .fmt(PcmFormat{0xFFFE, 2, 48000, 24}, extensibleExtension(1, 24))
        .data(audio)
        .write(dir.file("ext.wav"));
    for (const char* name : {"rf64.wav", "bw64.wav", "stream.wav", "ext.wav"}) {
        SCOPED_TRACE(name);
        const CliRun info = runTool({"--info", dir.file(name)});
        EXPECT_EQ(info.status, 0);
        const Lines lines = info.outLines();
        ASSERT_EQ(lines.size(), 6u);
        EXPECT_EQ(Lines(lines.begin() + 1, lines.begin() + 4),
                  (Lines{"48000Hz 24bit stereo", "再生時間 0:00:00.100", "サンプル数         4800"}));
        EXPECT_EQ(runTool({"--exact", dir.file("riff.wav"), dir.file(name)}).status, 0);
    }
}

// A file name cannot forge a line of the log: its control characters are shown escaped.
TEST(CliLog, FileNamesCannotForgeLines) {
    EXPECT_EQ(escapeControlCharacters("a\nb\tc\rd\x1b[31m\x7f/\xe2\x80\xa8/\xe2\x80\xa9/\xc2\x85/日本"),
              "a\\nb\\tc\\rd\\x1b[31m\\x7f/\\u2028/\\u2029/\\u0085/日本");
    TempDir dir;
    const PcmFormat mono{1, 1, 8000, 16};
    const std::vector<uint8_t> audio = noiseFrames(mono, 100);
    std::vector<uint8_t> changed = audio;
    changed[20] ^= 1;
    const std::string forged = dir.file("x.wav\n一致しました。");
    writeCanonicalWav(forged, mono, changed);
    writeCanonicalWav(dir.file("a.wav"), mono, audio);
    const CliRun run = runTool({dir.file("a.wav"), forged});
    EXPECT_EQ(run.status, 1);
    const Lines lines = run.outLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "一致しました。"), 0);
    EXPECT_EQ(lines[2], "ファイル2:" + dir.file("x.wav\\n一致しました。"));
    EXPECT_NE(runTool({dir.file("a.wav"), dir.file("gone\n.wav")}).err.find("gone\\n.wav: No such file"),
              std::string::npos);
}

// Files written by another program: what --info reports agrees with soxi.
TEST(CliAgainstSox, InfoAgreesWithSoxi) {
    if (shell("command -v soxi").find("soxi") == std::string::npos)
        GTEST_SKIP() << "sox is not installed (scripts/install-deps.sh installs it)";
    TempDir dir;
    struct Case {
        int bits, channels, rate;
    };
    const Case cases[] = {{8, 1, 8000}, {16, 2, 44100}, {24, 2, 96000}, {32, 1, 48000}, {16, 6, 48000}, {24, 1, 22050}};
    for (const Case& c : cases) {
        const std::string path = dir.file(std::to_string(c.bits) + "_" + std::to_string(c.channels) + ".wav");
        shell("sox -n -b " + std::to_string(c.bits) + " -c " + std::to_string(c.channels) + " -r " +
              std::to_string(c.rate) + " '" + path + "' synth 1.37 sine 440 2>/dev/null");
        const std::string frames = shell("soxi -s '" + path + "'");
        ASSERT_FALSE(frames.empty()) << path;
        const CliRun run = runTool({"--info", path});
        EXPECT_EQ(run.status, 0);
        const Lines lines = run.outLines();
        ASSERT_EQ(lines.size(), 6u);
        EXPECT_EQ(lines[1], std::to_string(std::stoi(shell("soxi -r '" + path + "'"))) + "Hz " +
                                std::to_string(std::stoi(shell("soxi -b '" + path + "'"))) + "bit " +
                                channelsText(static_cast<uint16_t>(std::stoi(shell("soxi -c '" + path + "'")))));
        EXPECT_EQ(std::stoul(lines[3].substr(std::string("サンプル数 ").size())), std::stoul(frames)) << path;
    }
}

// The manual page, the completions and --help all come from the option table: none may leave an
// option out, and the parser takes every option they name.
TEST(CliDocs, EveryOptionIsDocumentedAndTaken) {
    const std::string manual = manualPage();
    const std::string bash = bashCompletion();
    const std::string zsh = zshCompletion();
    const auto roff = [](std::string text) {
        for (size_t at = text.find('-'); at != std::string::npos; at = text.find('-', at + 2)) text.insert(at, "\\");
        return text;
    };
    for (const CliOptionSpec& option : cliOptionTable()) {
        SCOPED_TRACE(option.name);
        const std::string name = option.name;
        EXPECT_NE(manual.find(roff(name)), std::string::npos);
        EXPECT_NE(bash.find(" " + name + (option.value ? "=" : " ")), std::string::npos);
        EXPECT_NE(zsh.find("'" + name + (option.value ? "=[" : "[")), std::string::npos);
        if (option.section != OptionSection::Hidden) {
            EXPECT_NE(helpText().find(name), std::string::npos);
        }
        // The parser knows it: anything but "unrecognized option".
        const std::string err = runTool({name + (option.value ? "=1" : "")}).err;
        EXPECT_EQ(err.find("unrecognized option"), std::string::npos) << err;
    }
    EXPECT_NE(runTool({"--no-such-option"}).err.find("unrecognized option"), std::string::npos);
}

// -s, as cmp -s: nothing on either stream, the exit status alone.
TEST_F(DemoFiles, QuietModeWritesNothing) {
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{file(1, "1_identical.wav"), file(2, "1_identical.wav")}, 0},
        {{file(1, "5_few_frames_differ.wav"), file(2, "5_few_frames_differ.wav")}, 1},
        {{file(1, "4_rate_differs.wav"), file(2, "4_rate_differs.wav")}, 2},
        {{file(1, "1_identical.wav"), demo_->path() + "/missing.wav"}, 2},
        {{"--continuous", folder(1), folder(2)}, 1},
        {{"--info", file(1, "1_identical.wav")}, 0},
    };
    for (const auto& [arguments, status] : cases) {
        for (const char* quiet : {"-s", "--quiet"}) {
            std::vector<std::string> withQuiet = {quiet};
            withQuiet.insert(withQuiet.end(), arguments.begin(), arguments.end());
            SCOPED_TRACE(::testing::PrintToString(withQuiet));
            const CliRun run = runTool(withQuiet);
            EXPECT_EQ(run.status, status);
            EXPECT_EQ(run.out + run.err, "");
        }
    }
}

}  // namespace
}  // namespace vemilo::cli
