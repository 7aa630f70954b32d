// --folders, --json, --md5 and --check-md5, and the shards of --folders merged back.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "archive/folder_check.h"
#include "cli/cli_app.h"
#include "support/cli_run.h"
#include "support/report_times.h"
#include "support/temp_dir.h"
#include "wav_writer/wav_writer.h"

namespace vemilo::archive {
namespace {

using namespace vemilo::testing;
using namespace vemilo::writer;
using json = nlohmann::json;
using Bytes = std::vector<uint8_t>;

const PcmFormat kMono{1, 1, 8000, 16};

class FolderCheck : public ::testing::Test {
protected:
    std::string put(const std::string& relative, const Bytes& bytes) { return dir.put(relative, bytes); }
    // Two trees: equal pairs, a differing pair in the middle, a pair whose rates differ, files on
    // one side only, in nested folders, and files the check must pass over.
    void makeTrees() {
        const Bytes audio = noiseFrames(kMono, 4000, 3);
        Bytes changed = audio;
        changed[2 * 1500] ^= 1;
        for (const char* name : {"a/1.wav", "a/deep/2.WAV", "c/3.wav"}) {
            put(std::string("one/") + name, canonicalWav(kMono, audio));
            put(std::string("two/") + name, canonicalWav(kMono, audio));
        }
        put("one/b/differs.wav", canonicalWav(kMono, audio));
        put("two/b/differs.wav", canonicalWav(kMono, changed));
        put("one/b/rate.wav", canonicalWav(kMono, audio));
        put("two/b/rate.wav", canonicalWav(PcmFormat{1, 1, 16000, 16}, audio));
        put("one/only/left.wav", canonicalWav(kMono, audio));
        put("two/right.wav", canonicalWav(kMono, audio));
        put("one/notes.txt", {1, 2});
        put("one/.hidden.wav", canonicalWav(kMono, audio));
        put("two/.cache/x.wav", canonicalWav(kMono, audio));
    }
    std::string one() const { return dir.file("one"); }
    std::string two() const { return dir.file("two"); }

    TempDir dir;
};

TEST_F(FolderCheck, PairsByRelativePathAndReportsEveryPair) {
    makeTrees();
    std::vector<std::string> described;
    for (const PairedPath& pair : pairFolders(one(), two()))
        described.push_back(pair.path + (pair.inFolder1 ? " 1" : "") + (pair.inFolder2 ? " 2" : "") + pair.trouble);
    EXPECT_EQ(described, (std::vector<std::string>{"a/1.wav 1 2", "a/deep/2.WAV 1 2", "b/differs.wav 1 2",
                                                   "b/rate.wav 1 2", "c/3.wav 1 2", "only/left.wav 1", "right.wav 2"}));

    // The difference in the middle does not stop the walk; trouble decides the exit status.
    const CliRun run = runTool({"--folders", "--exact", "--jobs=1", one(), two()});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out,
              "identical\ta/1.wav\n"
              "identical\ta/deep/2.WAV\n"
              "different\tb/differs.wav\t1 differing frames, the first at frame 1500\n"
              "trouble\tb/rate.wav\tサンプリングレートが違います。\n"
              "identical\tc/3.wav\n"
              "missing\tonly/left.wav\tonly in folder 1\n"
              "missing\tright.wav\tonly in folder 2\n"
              "7 pairs: 3 identical, 1 different, 1 trouble, 2 missing\n");
    // Without the trouble, the difference and the missing files decide it.
    std::filesystem::remove(dir.file("two/b/rate.wav"));
    std::filesystem::remove(dir.file("one/b/rate.wav"));
    EXPECT_EQ(runTool({"--folders", one(), two()}).status, 1);
    const CliRun verbose = runTool({"--folders", "--verbose", one(), two()});
    EXPECT_NE(verbose.out.find("相違点がありました。(1)\n"), std::string::npos);
}

TEST_F(FolderCheck, OneWorkerOrFourGiveTheSameReport) {
    makeTrees();
    for (int i = 0; i < 12; ++i)
        put("one/many/" + std::to_string(i) + ".wav", canonicalWav(kMono, noiseFrames(kMono, 500 + i, i)));
    for (int i = 0; i < 12; ++i)
        put("two/many/" + std::to_string(i) + ".wav", canonicalWav(kMono, noiseFrames(kMono, 500 + i, i % 5 ? i : 99)));
    for (const char* format : {"", "--json"}) {
        std::vector<std::string> arguments = {"--folders", "--jobs=1", one(), two()};
        if (*format) arguments.push_back(format);
        const CliRun serial = runTool(arguments);
        arguments[1] = "--jobs=4";
        const CliRun parallel = runTool(arguments);
        EXPECT_EQ(serial.out, parallel.out);
        EXPECT_EQ(serial.status, parallel.status);
    }
}

TEST_F(FolderCheck, JsonHoldsWhatThePairRevealed) {
    // Stereo, three frames differing in channel 1 (by 5, -7 and 300), 40 leading silent frames
    // skipped in file 1 and 10 in file 2.
    const PcmFormat stereo{1, 2, 8000, 16};
    Bytes audio = noiseFrames(stereo, 2000, 7);
    Bytes changed = audio;
    const auto add = [&](int frame, int delta) {
        int16_t value = static_cast<int16_t>(changed[frame * 4 + 2] | changed[frame * 4 + 3] << 8);
        value = static_cast<int16_t>(value + delta);
        changed[frame * 4 + 2] = static_cast<uint8_t>(value);
        changed[frame * 4 + 3] = static_cast<uint8_t>(value >> 8);
    };
    add(100, 5);
    add(700, -7);
    add(1999, 300);
    Bytes file1 = silentFrames(stereo, 40);
    appendBytes(file1, audio);
    Bytes file2 = silentFrames(stereo, 10);
    appendBytes(file2, changed);
    put("1.wav", canonicalWav(stereo, file1));
    put("2.wav", canonicalWav(stereo, file2));
    const CliRun run = runTool({"--align", "--json", dir.file("1.wav"), dir.file("2.wav")});
    EXPECT_EQ(run.status, 1);
    const json report = json::parse(run.out);
    ASSERT_EQ(report["pairs"].size(), 1u);
    const json& pair = report["pairs"][0];
    EXPECT_EQ(pair["verdict"], "different");
    EXPECT_EQ(pair["file1"], dir.file("1.wav"));
    EXPECT_EQ(pair["message"], nullptr);
    EXPECT_EQ(pair["format"], json::parse(R"({"rate": 8000, "bits": 16, "channels": 2, "data_format": "pcm"})"));
    EXPECT_EQ(pair["frames"], json::parse("[2040, 2010]"));
    EXPECT_EQ(pair["skipped"], json::parse("[40, 10]"));
    EXPECT_EQ(pair["compared_frames"], 2000);
    EXPECT_EQ(pair["differences"], 3);
    EXPECT_EQ(pair["differences_capped"], false);
    EXPECT_EQ(pair["first_difference"], json::parse("[140, 110]"));
    EXPECT_EQ(pair["last_difference"], json::parse("[2039, 2009]"));
    EXPECT_EQ(pair["channels_differing"], json::parse("[0, 3]"));
    EXPECT_EQ(pair["max_abs_difference"], json::parse("[0, 300]"));
    EXPECT_EQ(report["summary"],
              json::parse(R"({"pairs": 1, "identical": 0, "different": 1, "trouble": 0, "missing": 0})"));
}

TEST_F(FolderCheck, AudioChecksumsAsMd5sumComputesThem) {
    const PcmFormat formats[] = {{1, 2, 44100, 16}, {1, 2, 48000, 24}, {1, 1, 8000, 16}};
    std::vector<std::string> paths;
    for (const PcmFormat& format : formats) {
        const Bytes audio = noiseFrames(format, 3000, format.bitsPerSample);
        const std::string path =
            put(std::to_string(format.bitsPerSample) + "_" + std::to_string(format.sampleRate) + ".wav",
                WavBuilder().riffHeader().fmt(format).chunk("LIST", Bytes(10, 'i')).data(audio).bytes());
        writeFile(path + ".raw", audio);
        paths.push_back(path);
    }
    std::vector<std::string> arguments = {"--md5"};
    arguments.insert(arguments.end(), paths.begin(), paths.end());
    const CliRun run = runTool(arguments);
    EXPECT_EQ(run.status, 0);
    std::istringstream lines(run.out);
    for (const std::string& path : paths) {
        std::string line;
        std::getline(lines, line);
        // md5sum over the audio bytes alone, an independent computation.
        std::FILE* pipe = ::popen(("md5sum < '" + path + ".raw'").c_str(), "r");
        char digest[33] = {};
        ASSERT_EQ(std::fread(digest, 1, 32, pipe), 32u);
        ::pclose(pipe);
        EXPECT_EQ(line, std::string(digest) + "  " + path);
    }

    // The list checks out; a changed file fails it, an unreadable one is trouble.
    writeFile(dir.file("list.md5"), Bytes(run.out.begin(), run.out.end()));
    EXPECT_EQ(runTool({"--check-md5", dir.file("list.md5")}).status, 0);
    Bytes bytes = canonicalWav(formats[0], noiseFrames(formats[0], 3000, 1));
    writeFile(paths[0], bytes);
    const CliRun changed = runTool({"--check-md5=" + dir.file("list.md5")});
    EXPECT_EQ(changed.status, 1);
    EXPECT_EQ(changed.out.substr(0, changed.out.find('\n')), paths[0] + ": FAILED");
    std::filesystem::remove(paths[1]);
    EXPECT_EQ(runTool({"--check-md5", dir.file("list.md5")}).status, 2);
}

// md5sum's conventions: names escaped as md5sum escapes them, lists read back whatever the name,
// CR LF line ends, and "-" for standard input.
TEST_F(FolderCheck, ChecksumListsRoundTripForAnyName) {
    const std::vector<std::string> names = {"plain.wav",     "back\\slash.wav",  "new\nline.wav",   "cr\rname.wav",
                                            "\\leading.wav", " space first.wav", "tab\tname.wav",   "star*.wav",
                                            "x\xe9.wav",     "日本語.wav",       "two  spaces.wav", "ends in cr\r"};
    const Bytes wav = canonicalWav(kMono, noiseFrames(kMono, 100));
    std::vector<std::string> arguments = {"--md5"};
    for (const std::string& name : names) arguments.push_back(put("names/" + name, wav));
    const CliRun listed = runTool(arguments);
    ASSERT_EQ(listed.status, 0) << listed.err;
    // Each line escapes its name exactly as md5sum does for the same file name.
    std::FILE* pipe = ::popen(("cd '" + dir.file("names") + "' && md5sum -- *").c_str(), "r");
    std::string theirs;
    for (int c; (c = std::fgetc(pipe)) != EOF;) theirs += static_cast<char>(c);
    ::pclose(pipe);
    std::map<std::string, std::string> theirNames;  // escaped name -> the line's leading backslash
    std::istringstream theirLines(theirs);
    for (std::string line; std::getline(theirLines, line);) {
        const bool escaped = line[0] == '\\';
        theirNames[line.substr(escaped ? 35 : 34)] = escaped ? "\\" : "";
    }
    std::istringstream ourLines(listed.out);
    size_t count = 0;
    for (std::string line; std::getline(ourLines, line); ++count) {
        const bool escaped = line[0] == '\\';
        const std::string name = line.substr(escaped ? 35 : 34);
        const std::string folder = dir.file("names/");
        ASSERT_EQ(name.compare(0, folder.size(), folder), 0) << line;
        const std::string relative = name.substr(folder.size());
        ASSERT_TRUE(theirNames.count(relative)) << line;
        EXPECT_EQ(theirNames[relative], escaped ? "\\" : "") << line;
    }
    EXPECT_EQ(count, names.size());

    // The list checks out as written, with CR LF line ends, and from standard input.
    writeFile(dir.file("list.md5"), Bytes(listed.out.begin(), listed.out.end()));
    const CliRun checked = runTool({"--check-md5", dir.file("list.md5")});
    EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
    EXPECT_EQ(std::count(checked.out.begin(), checked.out.end(), '\n'), static_cast<long>(names.size()));
    std::string crlf;
    for (const char c : listed.out) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    writeFile(dir.file("crlf.md5"), Bytes(crlf.begin(), crlf.end()));
    EXPECT_EQ(runTool({"--check-md5", dir.file("crlf.md5")}).status, 0);
    EXPECT_EQ(
        std::system(
            (std::string(VEMILO_CLI_PATH) + " --check-md5 - < '" + dir.file("crlf.md5") + "' >/dev/null").c_str()),
        0);
    // md5sum's own list of the same files names them so that ours reads it: only the checksums differ.
    writeFile(dir.file("theirs.md5"), Bytes(theirs.begin(), theirs.end()));
    const int foreign = std::system(
        ("cd '" + dir.file("names") + "' && " + VEMILO_CLI_PATH + " --check-md5 ../theirs.md5 > ../foreign.out 2>&1")
            .c_str());
    EXPECT_EQ(WEXITSTATUS(foreign), 1);  // every file read, every checksum of another kind
    std::ifstream report(dir.file("foreign.out"));
    size_t failed = 0;
    for (std::string line; std::getline(report, line);)
        failed += line.size() > 8 && line.substr(line.size() - 8) == ": FAILED";
    EXPECT_EQ(failed, names.size());
}

// FLAC stores the same MD5 for 16- and 24-bit audio.
TEST_F(FolderCheck, AudioChecksumsEqualTheMd5FlacStores) {
    if (std::system("command -v flac >/dev/null && command -v metaflac >/dev/null") != 0) {
        GTEST_SKIP() << "flac is not installed (scripts/install-deps.sh installs it)";
    }
    const PcmFormat formats[] = {{1, 2, 44100, 16}, {1, 2, 48000, 24}, {1, 1, 8000, 16}, {1, 6, 96000, 24}};
    for (const PcmFormat& format : formats) {
        const std::string path =
            put(std::to_string(format.bitsPerSample) + "_" + std::to_string(format.channels) + ".wav",
                canonicalWav(format, noiseFrames(format, 3000, format.bitsPerSample)));
        ASSERT_EQ(
            std::system(("flac -s -f --channel-map=none '" + path + "' -o '" + path + ".flac' 2>/dev/null").c_str()),
            0);
        std::FILE* pipe = ::popen(("metaflac --show-md5sum '" + path + ".flac'").c_str(), "r");
        char flacDigest[33] = {};
        ASSERT_EQ(std::fread(flacDigest, 1, 32, pipe), 32u);
        ::pclose(pipe);
        const CliRun run = runTool({"--md5", path});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, std::string(flacDigest) + "  " + path + "\n");
    }
}

TEST_F(FolderCheck, AnEmbeddedMd5ChunkIsChecked) {
    const Bytes audio = noiseFrames(kMono, 1000);
    const CliRun plain = runTool({"--md5", put("plain.wav", canonicalWav(kMono, audio))});
    Bytes digest;
    for (size_t i = 0; i < 32; i += 2)
        digest.push_back(static_cast<uint8_t>(std::stoi(plain.out.substr(i, 2), nullptr, 16)));
    const std::string good =
        put("good.wav", WavBuilder().riffHeader().fmt(kMono).chunk("MD5 ", digest).data(audio).bytes());
    digest[3] ^= 1;
    const std::string bad =
        put("bad.wav", WavBuilder().riffHeader().fmt(kMono).data(audio).chunk("MD5 ", digest).bytes());
    const CliRun run = runTool({"--md5", good, bad});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "vemilo-cli: " + good + ": the embedded MD5 chunk matches\nvemilo-cli: " + bad +
                           ": the embedded MD5 chunk does NOT match the audio data\n");
}

TEST_F(FolderCheck, ShardsCoverEveryPairOnceAndMergeIntoTheWholeReport) {
    makeTrees();
    for (int i = 0; i < 20; ++i)
        put("one/many/" + std::to_string(i) + ".wav", canonicalWav(kMono, noiseFrames(kMono, 300, i)));
    for (int i = 0; i < 20; i += 2)
        put("two/many/" + std::to_string(i) + ".wav", canonicalWav(kMono, noiseFrames(kMono, 300, i)));
    const CliRun whole = runTool({"--folders", "--json", one(), two()});
    const json unsharded = json::parse(whole.out);
    for (uint32_t count : {1u, 2u, 3u, 7u}) {
        SCOPED_TRACE(count);
        std::vector<std::string> reports = {"--merge-reports"};
        std::set<std::string> seen;
        size_t total = 0;
        for (uint32_t index = 1; index <= count; ++index) {
            const std::string shard = std::to_string(index) + "/" + std::to_string(count);
            const CliRun part = runTool({"--folders", "--json", "--shard=" + shard, one(), two()});
            const json document = json::parse(part.out);
            EXPECT_EQ(document["header"]["shard"]["index"], index);
            for (const json& pair : document["pairs"]) {
                EXPECT_TRUE(seen.insert(pair["path"].get<std::string>()).second);  // disjoint
                ++total;
            }
            reports.push_back(dir.file("shard" + std::to_string(index) + ".json"));
            writeFile(reports.back(), Bytes(part.out.begin(), part.out.end()));
        }
        EXPECT_EQ(total, unsharded["pairs"].size());  // and together they cover all
        const CliRun merged = runTool(reports);
        EXPECT_EQ(merged.status, whole.status);
        EXPECT_EQ(withoutTimes(json::parse(merged.out)), withoutTimes(unsharded));
    }

    // Files added elsewhere move no other file to another shard.
    std::map<std::string, uint32_t> before;
    for (const PairedPath& pair : pairFolders(one(), two())) before[pair.path] = shardOf(pair.path, 5);
    for (int i = 0; i < 30; ++i)
        put("one/added/" + std::to_string(i) + ".wav", canonicalWav(kMono, noiseFrames(kMono, 10)));
    for (const auto& [path, shard] : before) EXPECT_EQ(shardOf(path, 5), shard) << path;
}

TEST_F(FolderCheck, BadShardReportsAreNamed) {
    makeTrees();
    const auto shard = [&](const std::string& which, const std::string& name) {
        const CliRun run = runTool({"--folders", "--json", "--shard=" + which, one(), two()});
        put(name, Bytes(run.out.begin(), run.out.end()));
        return dir.file(name);
    };
    const std::string first = shard("1/2", "1of2.json"), second = shard("2/2", "2of2.json"),
                      third = shard("1/3", "1of3.json");
    const std::string garbage = put("garbage.json", {'{', 'x'});
    // The same pairs under another shard number: every pair is in the wrong shard.
    std::string copy = first;
    {
        std::ifstream in(first);
        json document = json::parse(std::string(std::istreambuf_iterator<char>(in), {}));
        document["header"]["shard"]["index"] = 2;
        const std::string text = document.dump();
        copy = put("copy.json", Bytes(text.begin(), text.end()));
    }
    const std::string absent = dir.file("absent.json");
    const std::string missing2 = "vemilo-cli: " + first + ": no report of shard 2 of 2 was given\n";
    struct Case {
        std::vector<std::string> reports;
        std::vector<std::string> faults;  // every one named, each on its own line, in this order
    };
    const Case cases[] = {
        {{first, absent}, {"vemilo-cli: " + absent + ": cannot be opened: No such file or directory\n", missing2}},
        {{first, garbage},
         {"vemilo-cli: " + garbage +
              ": is not a vemilo-cli --json or --jsonl report (line 1: the report ends inside a value)\n",
          missing2}},
        {{first, third},
         {"vemilo-cli: " + third + ": shard count 3 here, 2 in " + first + "\n", missing2,
          "vemilo-cli: " + third + ": overlaps " + first + ": both hold a/1.wav\n"}},
        {{first, first},
         {"vemilo-cli: " + first + ": is shard 1 of 2 again, as " + first + " is\n", missing2,
          "vemilo-cli: " + first + ": overlaps " + first + ": both hold a/1.wav\n"}},
        {{first}, {missing2}},
        {{first, copy},
         {"vemilo-cli: " + copy + ": line 1: a/1.wav belongs to shard 1 of 2, not to this report's shard 2\n"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"--merge-reports"};
        arguments.insert(arguments.end(), c.reports.begin(), c.reports.end());
        const CliRun run = runTool(arguments);
        EXPECT_EQ(run.status, 2);
        std::string expected;
        for (const std::string& fault : c.faults) expected += fault;
        EXPECT_EQ(run.err, expected);
        // A fault in the headers is found before anything is written.
        if (c.reports.back() != copy) {
            EXPECT_EQ(run.out, "");
        }
    }
    EXPECT_EQ(runTool({"--merge-reports", first, second}).status, 2);  // the pair whose rates differ
}

}  // namespace
}  // namespace vemilo::archive
