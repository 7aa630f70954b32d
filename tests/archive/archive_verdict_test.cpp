// What an archive verdict must see: every folder and link of both trees, files cut short of their
// declared data, silent tracks, and names that are not UTF-8, whole through shards and merges.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "support/cli_run.h"
#include "support/report_times.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"
#include "wav_writer/wav_writer.h"

namespace vemilo::archive {
namespace {

using namespace vemilo::testing;
using namespace vemilo::writer;
using json = nlohmann::json;
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

const PcmFormat kMono{1, 1, 8000, 16};

class ArchiveTree : public ::testing::Test {
protected:
    std::string put(const std::string& relative, const Bytes& bytes) { return dir.put(relative, bytes); }
    void link(const std::string& target, const std::string& relative) {
        std::filesystem::create_directories(std::filesystem::path(dir.file(relative)).parent_path());
        ASSERT_EQ(::symlink(target.c_str(), dir.file(relative).c_str()), 0) << relative;
    }
    CliRun folders(std::vector<std::string> options = {}) {
        options.insert(options.end(), {"--folders", "--jobs=1", dir.file("one"), dir.file("two")});
        return runTool(options);
    }

    const Bytes audio = noiseFrames(kMono, 2000, 3);
    const Bytes wav = canonicalWav(kMono, audio);
    const Bytes changed = [this] {
        Bytes copy = audio;
        copy[2 * 700] ^= 1;
        return canonicalWav(kMono, copy);
    }();
    TempDir dir;
};

// A folder that cannot be read hides what is in it: it is trouble, named with the system's
// reason, and a file whose partner it may hide is trouble too, never "missing".
TEST_F(ArchiveTree, EveryFolderThatCannotBeReadIsTrouble) {
    if (runningAsRoot()) {  // root reads every folder
        const auto status = rerunAsNobody({"--gtest_filter=ArchiveTree.EveryFolderThatCannotBeReadIsTrouble"});
        if (!status) GTEST_SKIP() << "running as root, and runuser cannot run this test as nobody";
        EXPECT_EQ(*status, 0) << "the run as nobody failed; its output is above";
        return;
    }
    struct Case {
        const char* name;
        std::vector<std::string> locked;  // folders made unreadable
        Lines lines;
    };
    const std::string denied = "cannot be read: Permission denied";
    const Case cases[] = {
        {"a subfolder on both sides",
         {"one/sub", "two/sub"},
         {"identical\tok.wav", "trouble\tsub/\tfolder 1: " + denied + "; folder 2: " + denied,
          "2 pairs: 1 identical, 0 different, 1 trouble, 0 missing"}},
        {"a subfolder on one side",
         {"one/sub"},
         {"identical\tok.wav", "trouble\tsub/\tfolder 1: " + denied,
          "trouble\tsub/differs.wav\tfolder 1: sub/: " + denied, "trouble\tsub/only.wav\tfolder 1: sub/: " + denied,
          "4 pairs: 1 identical, 0 different, 3 trouble, 0 missing"}},
        {"both top folders",
         {"one", "two"},
         {"trouble\t./\tfolder 1: " + denied + "; folder 2: " + denied,
          "1 pair: 0 identical, 0 different, 1 trouble, 0 missing"}},
        {"one top folder",
         {"two"},
         {"trouble\t./\tfolder 2: " + denied, "trouble\tok.wav\tfolder 2: ./: " + denied,
          "trouble\tsub/deeper/x.wav\tfolder 2: ./: " + denied, "trouble\tsub/differs.wav\tfolder 2: ./: " + denied,
          "4 pairs: 0 identical, 0 different, 4 trouble, 0 missing"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(dir.file("one"));
        std::filesystem::remove_all(dir.file("two"));
        put("one/ok.wav", wav);
        put("two/ok.wav", wav);
        put("one/sub/differs.wav", wav);
        put("two/sub/differs.wav", changed);
        put("two/sub/only.wav", wav);
        put("one/sub/deeper/x.wav", wav);
        for (const std::string& folder : c.locked) ::chmod(dir.file(folder).c_str(), 0);
        const CliRun run = folders();
        EXPECT_EQ(run.outLines(), c.lines);
        EXPECT_EQ(run.status, 2);
        // The JSON report holds the same entries, each trouble with its message.
        const CliRun report = folders({"--json"});
        const json document = json::parse(report.out);
        ASSERT_EQ(document["pairs"].size(), c.lines.size() - 1);
        for (size_t i = 0; i + 1 < c.lines.size(); ++i) {
            const std::string& line = c.lines[i];
            EXPECT_EQ(document["pairs"][i]["verdict"], line.substr(0, line.find('\t')));
        }
        EXPECT_EQ(report.status, 2);
        for (const std::string& folder : c.locked) ::chmod(dir.file(folder).c_str(), 0755);
    }
}

// Paths come from the names as walked: a link to a file is paired by its own name and compared
// through its target, a linked folder is walked, and a loop or a dangling link is trouble.
TEST_F(ArchiveTree, LinksArePairedByTheirOwnNames) {
    put("one/a.wav", wav);
    put("two/a.wav", wav);
    link("a.wav", "one/b.wav");  // to another file of the tree
    put("two/b.wav", changed);
    put("elsewhere/real/x.wav", wav);
    link("../elsewhere/real", "one/linked");  // a folder outside the tree
    put("two/linked/x.wav", changed);
    put("elsewhere/s.wav", wav);
    link("../elsewhere/s.wav", "one/out.wav");  // a file outside the tree
    put("two/out.wav", wav);
    link(".", "one/loop");                // a loop
    link("nowhere.wav", "one/gone.wav");  // dangling
    put("two/gone.wav", wav);
    ASSERT_EQ(::mkfifo(dir.file("one/pipe.wav").c_str(), 0600), 0);  // never opened: it would block
    put("two/pipe.wav", wav);
    link("../..", "one/x/y/up");  // a loop two levels up, beside a pair
    put("one/x/y/z.wav", wav);
    put("two/x/y/z.wav", wav);
    link("nowhere", "one/notes.txt");  // no audio, as a file of that name would not be

    const CliRun run = folders();
    EXPECT_EQ(run.outLines(),
              (Lines{"identical\ta.wav", "different\tb.wav\t1 differing frames, the first at frame 700",
                     "trouble\tgone.wav\tfolder 1: a link to nothing: No such file or directory",
                     "different\tlinked/x.wav\t1 differing frames, the first at frame 700",
                     "trouble\tloop/\tfolder 1: a link back into its own path (a loop)", "identical\tout.wav",
                     "trouble\tpipe.wav\tfolder 1: not a regular file",
                     "trouble\tx/y/up/\tfolder 1: a link back into its own path (a loop)", "identical\tx/y/z.wav",
                     "9 pairs: 3 identical, 2 different, 4 trouble, 0 missing"}));
    EXPECT_EQ(run.status, 2);
    // By stem, what cannot be compared is named by its stem too, as its partner is.
    const CliRun byStem = folders({"--pair-by-stem"});
    EXPECT_NE(byStem.out.find("trouble\tpipe\tfolder 1: not a regular file\n"), std::string::npos) << byStem.out;
    EXPECT_NE(byStem.out.find("trouble\tgone\tfolder 1: a link to nothing"), std::string::npos) << byStem.out;
}

// The record of a top folder that cannot be read has the empty path: it sorts before every name,
// those below "." too, and resume and merge agree with the walk on that order.
TEST_F(ArchiveTree, NamesBelowDotComeAfterAnUnreadableTop) {
    if (runningAsRoot()) {
        const auto status = rerunAsNobody({"--gtest_filter=ArchiveTree.NamesBelowDotComeAfterAnUnreadableTop"});
        if (!status) GTEST_SKIP() << "running as root, and runuser cannot run this test as nobody";
        EXPECT_EQ(*status, 0) << "the run as nobody failed; its output is above";
        return;
    }
    for (const char* name : {" x.wav", "!x.wav", "#x.wav", "(live).wav", "-x.wav", "b.wav"}) {
        put(std::string("one/") + name, wav);
        put(std::string("two/") + name, wav);
    }
    ::chmod(dir.file("two").c_str(), 0);
    const std::string path = dir.file("report.jsonl");
    const CliRun run = folders({"--jsonl", "--output=" + path});
    ::chmod(dir.file("two").c_str(), 0755);
    EXPECT_EQ(run.status, 2);
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(json::parse(lines[1])["path"], "");
    EXPECT_EQ(json::parse(lines[2])["path"], " x.wav");
    const CliRun merged = runTool({"--merge-reports", path});
    EXPECT_EQ(merged.status, 2);
    EXPECT_EQ(merged.err, "") << "the merge refused the tool's own report";
    // Cut after the top record and taken up, it is the same report again.
    std::ofstream(path, std::ios::trunc) << lines[0] << "\n" << lines[1] << "\n" << lines[2] << "\n";
    ::chmod(dir.file("two").c_str(), 0);
    const CliRun resumed = folders({"--jsonl", "--output=" + path, "--resume"});
    ::chmod(dir.file("two").c_str(), 0755);
    EXPECT_EQ(resumed.status, 2) << resumed.err;
    std::ifstream again(path);
    std::vector<std::string> after;
    for (std::string line; std::getline(again, line);) after.push_back(linesWithoutTimes(line));
    for (std::string& line : lines) line = linesWithoutTimes(line);
    EXPECT_EQ(after, lines);
}

// A gap's line keeps what else the pair's log said: frames of one file never compared at the end.
TEST_F(ArchiveTree, AGapLineSaysWhatWasLeftUncompared) {
    const Bytes master = noiseFrames(kMono, 20000, 9);
    Bytes copy = master;
    copy.erase(copy.begin() + 2 * 5000, copy.begin() + 2 * 5100);  // 100 frames lost
    copy.resize(copy.size() - 2 * 700);                            // and the last 700
    put("one/take.wav", canonicalWav(kMono, master));
    put("two/take.wav", canonicalWav(kMono, copy));
    const CliRun run = folders({"--resync"});
    EXPECT_EQ(run.outLines().front(),
              "different\ttake.wav\t1 gap: 100 frames missing from file 2, 0 inserted, the first at frame 5000; every "
              "other frame agreed; ファイル1の残り700サンプルは比較されませんでした。");
    EXPECT_EQ(run.status, 1);
}

// A tolerance passes integer PCM whose every sample lies within it, as its own verdict: exit 0,
// counted apart from identical in every report, read back as such by a merge, and a forged one
// beyond its tolerance refused.
TEST_F(ArchiveTree, ATolerancePassesOnlyWithinItAndIsCountedApart) {
    Bytes dithered = audio, louder = audio;
    for (size_t i = 0; i < audio.size(); i += 2) {
        const auto value = static_cast<int16_t>(audio[i] | (audio[i + 1] << 8));
        const auto nudged = static_cast<int16_t>(value + (i % 6 == 0 ? 1 : i % 6 == 2 ? -1 : 0));
        dithered[i] = static_cast<uint8_t>(nudged);
        dithered[i + 1] = static_cast<uint8_t>(nudged >> 8);
        const auto far = static_cast<int16_t>(value + (i == 200 ? 3 : 0));
        louder[i] = static_cast<uint8_t>(far);
        louder[i + 1] = static_cast<uint8_t>(far >> 8);
    }
    put("one/same.wav", wav);
    put("two/same.wav", wav);
    put("one/dither.wav", wav);
    put("two/dither.wav", canonicalWav(kMono, dithered));
    put("one/far.wav", wav);
    put("two/far.wav", canonicalWav(kMono, louder));
    const CliRun text = folders({"--tolerance=2"});
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.outLines().front().rfind("identical within ±2 LSB\tdither.wav\t", 0), 0u) << text.out;
    EXPECT_EQ(text.outLines().back(),
              "3 pairs: 1 identical, 1 identical within tolerance, 1 different, 0 trouble, 0 missing");
    fs::remove(dir.file("one/far.wav"));
    fs::remove(dir.file("two/far.wav"));
    EXPECT_EQ(folders({"--tolerance=2"}).status, 0);
    EXPECT_EQ(folders({}).status, 1) << "without a tolerance a dithered copy is different";
    const std::string report = dir.file("report.jsonl");
    ASSERT_EQ(folders({"--tolerance=2", "--jsonl", "--output=" + report}).status, 0);
    const CliRun merged = runTool({"--merge-reports", report});
    EXPECT_EQ(merged.status, 0) << merged.err;
    EXPECT_EQ(json::parse(merged.out)["summary"]["within_tolerance"], 1);
    // The run's tolerance in the header, then the pair's own.
    const std::string whole = readWhole(report);
    const size_t inHeader = whole.find("\"tolerance\":2"), inPair = whole.find("\"tolerance\":2", inHeader + 1);
    ASSERT_NE(inPair, std::string::npos);
    const std::tuple<size_t, const char*, const char*> forgeries[] = {
        {inHeader, "\"tolerance\":1", "pair's tolerance is not its run's"},
        {inPair, "\"tolerance\":0", "largest difference must lie within its tolerance"}};
    for (const auto& [at, replacement, fault] : forgeries) {
        std::string forged = whole;
        forged.replace(at, 13, replacement);
        writeWhole(report, forged);
        const CliRun refused = runTool({"--merge-reports", report});
        EXPECT_EQ(refused.status, 2);
        EXPECT_NE(refused.err.find(fault), std::string::npos) << refused.err;
    }
}

// A path longer than PATH_MAX is walked and opened folder by folder, and reported relative.
TEST_F(ArchiveTree, PathsLongerThanPathMax) {
    const std::string name(200, 'd');
    std::string relative;
    for (int depth = 0; depth < 25; ++depth) relative += name + "/";
    for (const char* side : {"one", "two"}) {
        int folder = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(::mkdirat(folder, side, 0755), 0);
        int next = ::openat(folder, side, O_RDONLY | O_DIRECTORY);
        ::close(folder);
        folder = next;
        for (int depth = 0; depth < 25; ++depth) {
            ASSERT_EQ(::mkdirat(folder, name.c_str(), 0755), 0);
            next = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(folder);
            folder = next;
        }
        const int file = ::openat(folder, "deep.wav", O_WRONLY | O_CREAT, 0644);
        ASSERT_EQ(::write(file, wav.data(), wav.size()), static_cast<ssize_t>(wav.size()));
        ::close(file);
        ::close(folder);
    }
    ASSERT_GT(dir.file("one/" + relative).size(), static_cast<size_t>(PATH_MAX));
    const CliRun run = folders();
    EXPECT_EQ(run.outLines(),
              (Lines{"identical\t" + relative + "deep.wav", "1 pair: 1 identical, 0 different, 0 trouble, 0 missing"}));
    EXPECT_EQ(run.status, 0);
    // Deleting such a tree needs the same care.
    std::filesystem::remove_all(dir.file("one"));
    std::filesystem::remove_all(dir.file("two"));
}

// Names that are not UTF-8 (a Latin-1 archive) stay apart in JSON, through shards and the merge.
TEST_F(ArchiveTree, NamesThatAreNotUtf8StayWhole) {
    for (const char byte : {'\xe0', '\xe1', '\xe2', '\xe3', '\xe4'}) {
        const std::string name = std::string("x") + byte + ".wav";
        put("one/" + name, wav);
        put("two/" + name, byte == '\xe2' ? changed : wav);
    }
    const CliRun whole = folders({"--json"});
    EXPECT_EQ(whole.status, 1);
    const json report = json::parse(whole.out);
    std::set<std::string> bytes;
    for (const json& pair : report["pairs"]) {
        EXPECT_EQ(pair["path"], "x\xEF\xBF\xBD.wav");  // what a person can read of it
        bytes.insert(pair["path_bytes"].get<std::string>());
    }
    EXPECT_EQ(bytes, (std::set<std::string>{"eOAud2F2", "eOEud2F2", "eOIud2F2", "eOMud2F2", "eOQud2F2"}));
    std::vector<std::string> shards;
    for (const char* shard : {"1/2", "2/2"}) {
        const CliRun part = folders({"--json", std::string("--shard=") + shard});
        shards.push_back(dir.file(std::string("shard") + shard[0] + ".json"));
        writeFile(shards.back(), Bytes(part.out.begin(), part.out.end()));
    }
    const CliRun merged = runTool({"--merge-reports", shards[0], shards[1]});
    EXPECT_EQ(merged.status, 1);
    EXPECT_EQ(json::parse(merged.out), report);
}

// A data chunk that declares more than the file holds is a damaged copy wherever it is read.
TEST_F(ArchiveTree, DataDeclaredBeyondTheEndIsTroubleEverywhere) {
    const std::string whole = put("whole.wav", wav);
    Bytes cut = wav;
    cut.resize(cut.size() - 2);  // one frame fewer than declared
    const std::string damaged = put("damaged.wav", cut);
    const std::string shorter = put("shorter.wav", canonicalWav(kMono, Bytes(audio.begin(), audio.begin() + 1000)));
    const std::string missing = "the data chunk declares 2 bytes more than the file holds";
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {{whole, damaged}, 2, ""},
        {{shorter, damaged}, 2, ""},  // the other file ends first: still trouble
        {{"--md5", damaged}, 2, "vemilo-cli: " + damaged + ": " + missing + "\n"},
        {{"--info", damaged}, 2, "vemilo-cli: " + damaged + ": " + missing + "\n"},
        {{"--md5", whole}, 0, ""},
        {{"--info", whole}, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const CliRun run = runTool(c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, c.err);
        if (c.arguments[0] == "--md5" && c.status == 2) {
            EXPECT_EQ(run.out, "");  // no checksum that could be stored as the whole audio's
        }
    }
    const Lines lines = runTool({whole, damaged}).outLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "ファイル2のデータはヘッダーが示す長さより2バイト短く、途中で切れています。"),
              lines.end());
}

// Silent placeholders compare like any other pair, with alignment or without.
TEST_F(ArchiveTree, SilentTracksCompareByTheirLength) {
    put("one/same.wav", canonicalWav(kMono, silentFrames(kMono, 800)));
    put("two/same.wav", canonicalWav(kMono, silentFrames(kMono, 800)));
    put("one/longer.wav", canonicalWav(kMono, silentFrames(kMono, 800)));
    put("two/longer.wav", canonicalWav(kMono, silentFrames(kMono, 900)));
    for (const std::vector<std::string>& options : {std::vector<std::string>{}, std::vector<std::string>{"--align"}}) {
        SCOPED_TRACE(::testing::PrintToString(options));
        const CliRun run = folders(options);
        EXPECT_EQ(run.outLines(),
                  (Lines{"different\tlonger.wav\tファイル2の残り100サンプルは比較されませんでした。",
                         "identical\tsame.wav", "2 pairs: 1 identical, 1 different, 0 trouble, 0 missing"}));
        EXPECT_EQ(run.status, 1);
    }
}

}  // namespace
}  // namespace vemilo::archive
