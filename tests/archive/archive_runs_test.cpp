// Archive-scale --folders runs: the walk of both trees against an independent listing, the same
// report for any number of jobs, --jsonl resumed after an interruption anywhere, refused resumes,
// and merges of --json and --jsonl shards, bad ones named.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>

#include "archive/pair_walk.h"
#include "support/cli_run.h"
#include "support/report_times.h"
#include "support/temp_dir.h"
#include "wav/wav_file_list.h"
#include "wav_writer/wav_writer.h"

namespace vemilo::archive {
namespace {

using namespace vemilo::testing;
using namespace vemilo::writer;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

const PcmFormat kMono{1, 1, 8000, 16};

class ArchiveRuns : public ::testing::Test {
protected:
    // Names that sort differently as folders and as files ("a" before "a.wav" before "a/"), bytes
    // above 0x7F, spaces, a newline; equal pairs, a differing one, one-sided files.
    void makeTrees() {
        const Bytes audio = noiseFrames(kMono, 300, 5);
        Bytes changed = audio;
        changed[100] ^= 1;
        const char* names[] = {"a.wav",        "a/x.wav",      "a0.wav",          "a-b/y.wav",       "b c/z.wav",
                               "\xC3\xA9.wav", "\xFF\xFE.wav", "line\nbreak.wav", "deep/1/2/3/4.wav"};
        for (const char* name : names) {
            dir.put(std::string("one/") + name, canonicalWav(kMono, audio));
            dir.put(std::string("two/") + name, canonicalWav(kMono, audio));
        }
        for (int i = 0; i < 40; ++i) {
            const std::string name = "many/" + std::to_string(i * 7 % 40) + ".wav";
            dir.put("one/" + name, canonicalWav(kMono, audio));
            dir.put("two/" + name, canonicalWav(kMono, i % 9 == 0 ? changed : audio));
        }
        dir.put("one/only-left.wav", canonicalWav(kMono, audio));
        dir.put("two/a/only-right.wav", canonicalWav(kMono, audio));
    }
    std::string one() const { return dir.file("one"); }
    std::string two() const { return dir.file("two"); }

    TempDir dir;
};

bool byteLess(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

TEST_F(ArchiveRuns, TheWalkFindsEveryFileOfAnIndependentListingInByteOrder) {
    makeTrees();
    std::set<std::string> expected;
    for (const std::string& top : {one(), two()}) {
        for (const auto& entry : fs::recursive_directory_iterator(top)) {
            const std::string name = entry.path().filename().string();
            if (entry.is_regular_file() && matchesAudioMask(name))
                expected.insert(fs::relative(entry.path(), top).string());
        }
    }
    std::vector<std::string> walked;
    for (const PairedPath& pair : pairFolders(one(), two())) walked.push_back(pair.path);
    std::vector<std::string> sorted(expected.begin(), expected.end());
    std::sort(sorted.begin(), sorted.end(), byteLess);
    EXPECT_EQ(walked, sorted);
}

// What changes from run to run: the time of day in a log, and when a report's run began and ended.
std::string withoutClock(const std::string& report) {
    static const std::regex timeOfDay("\\[debug\\] [0-9]{1,2}:[0-9]{2}:[0-9]{2}( [AP]M)?\n");
    return linesWithoutTimes(std::regex_replace(report, timeOfDay, "[debug] TIME\n"));
}

TEST_F(ArchiveRuns, AnyNumberOfJobsWritesTheSameReport) {
    makeTrees();
    for (const char* format : {"--json", "--jsonl", "--verbose"}) {
        const CliRun single = runTool({"--folders", format, "--jobs=1", one(), two()});
        EXPECT_EQ(single.status, 1) << single.err;
        for (const char* jobs : {"--jobs=2", "--jobs=5"}) {
            const CliRun several = runTool({"--folders", format, jobs, one(), two()});
            EXPECT_EQ(withoutClock(several.out), withoutClock(single.out)) << format << " " << jobs;
            EXPECT_EQ(several.status, single.status);
        }
    }
}

TEST_F(ArchiveRuns, AResumedReportEqualsAnUninterruptedOne) {
    makeTrees();
    const std::string whole = dir.file("whole.jsonl");
    const CliRun complete = runTool({"--folders", "--jsonl", "--output=" + whole, one(), two()});
    ASSERT_EQ(complete.status, 1) << complete.err;
    const std::string expected = readWhole(whole);
    // Interrupted anywhere: inside the header, between lines, inside a pair's line, in the summary.
    std::mt19937 random(3);
    std::vector<size_t> cuts = {0, 1, expected.find('\n') + 1, expected.size() - 2, expected.size()};
    for (int i = 0; i < 12; ++i) cuts.push_back(random() % expected.size());
    const std::string report = dir.file("resumed.jsonl");
    for (const size_t cut : cuts) {
        writeWhole(report, expected.substr(0, cut));
        const CliRun resumed =
            runTool({"--folders", "--jsonl", "--jobs=2", "--output=" + report, "--resume", one(), two()});
        EXPECT_EQ(resumed.status, 1) << "cut at " << cut << ": " << resumed.err;
        EXPECT_EQ(linesWithoutTimes(readWhole(report)), linesWithoutTimes(expected)) << "cut at " << cut;
    }
}

TEST_F(ArchiveRuns, ARunKilledBySigintAtRandomIsResumedToTheSameReport) {
    const Bytes audio = noiseFrames(kMono, 2000, 9);
    for (int i = 0; i < 600; ++i) {
        const std::string name = std::to_string(i / 50) + "/" + std::to_string(i) + ".wav";
        dir.put("one/" + name, canonicalWav(kMono, audio));
        dir.put("two/" + name, canonicalWav(kMono, audio));
    }
    const std::string whole = dir.file("whole.jsonl");
    ASSERT_EQ(runTool({"--folders", "--jsonl", "--output=" + whole, one(), two()}).status, 0);
    const std::string expected = readWhole(whole);
    const std::string report = dir.file("killed.jsonl");
    std::mt19937 random(11);
    int interrupted = 0;
    for (int trial = 0; trial < 5; ++trial) {
        fs::remove(report);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const std::string output = "--output=" + report;
            ::execl(VEMILO_CLI_PATH, VEMILO_CLI_PATH, "--folders", "--jsonl", "--jobs=2", output.c_str(), one().c_str(),
                    two().c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::usleep(static_cast<useconds_t>(2000 + random() % 60000));
        ::kill(child, SIGINT);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (WIFSIGNALED(status)) {
            EXPECT_EQ(WTERMSIG(status), SIGINT);
            ++interrupted;
        }
        // Every line on disk is whole but perhaps the last; --resume finishes the report.
        const CliRun resumed = runTool({"--folders", "--jsonl", "--output=" + report, "--resume", one(), two()});
        EXPECT_EQ(resumed.status, 0) << resumed.err;
        EXPECT_EQ(linesWithoutTimes(readWhole(report)), linesWithoutTimes(expected)) << "trial " << trial;
    }
    EXPECT_GT(interrupted, 0) << "no run was interrupted: the trees are too small to test this";
}

TEST_F(ArchiveRuns, AReportOfAnotherRunIsNotTakenUp) {
    makeTrees();
    const std::string report = dir.file("r.jsonl");
    ASSERT_EQ(
        runTool({"--folders", "--jsonl", "--shard=1/2", "--run-id=june", "--output=" + report, one(), two()}).status,
        1);
    const std::string text = readWhole(report);
    const auto refused = [&](std::vector<std::string> arguments, const std::string& because) {
        writeWhole(report, text.substr(0, text.size() / 2));
        std::vector<std::string> all = {"--folders", "--jsonl", "--output=" + report, "--resume"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        const CliRun run = runTool(all);
        EXPECT_EQ(run.status, 2) << because;
        EXPECT_NE(run.err.find(because), std::string::npos) << run.err;
        EXPECT_EQ(readWhole(report), text.substr(0, text.size() / 2)) << "a refused resume leaves the report alone";
    };
    refused({"--shard=2/2", "--run-id=june", one(), two()}, "shard {\"index\":1,\"count\":2} there");
    refused({"--shard=1/2", "--run-id=july", one(), two()}, "run id \"june\" there, \"july\" here");
    refused({"--shard=1/2", one(), two()}, "run id \"june\" there, null here");
    refused({"--shard=1/2", "--run-id=june", "--align", one(), two()}, "zero_skip false there, true here");
    refused({"--shard=1/2", "--run-id=june", two(), one()}, "folders");
    writeWhole(report, "{\"pairs\": []}\n");
    const CliRun notOurs = runTool({"--folders", "--jsonl", "--output=" + report, "--resume", one(), two()});
    EXPECT_EQ(notOurs.status, 2);
    EXPECT_NE(notOurs.err.find("only --jsonl reports are taken up"), std::string::npos) << notOurs.err;
}

TEST_F(ArchiveRuns, MergedShardsOfEitherKindEqualTheUnshardedRun) {
    makeTrees();
    const CliRun unsharded = runTool({"--folders", "--json", one(), two()});
    const CliRun unshardedLines = runTool({"--folders", "--jsonl", one(), two()});
    std::vector<std::string> json, lines, mixed;
    for (int k = 1; k <= 3; ++k) {
        const std::string shard = "--shard=" + std::to_string(k) + "/3";
        json.push_back(dir.put("s" + std::to_string(k) + ".json", {}));
        lines.push_back(dir.put("s" + std::to_string(k) + ".jsonl", {}));
        writeWhole(json.back(), runTool({"--folders", "--json", shard, one(), two()}).out);
        writeWhole(lines.back(), runTool({"--folders", "--jsonl", shard, one(), two()}).out);
        mixed.push_back(k == 2 ? lines.back() : json.back());
    }
    for (const auto& shards : {json, lines, mixed}) {
        std::vector<std::string> arguments = {"--merge-reports"};
        arguments.insert(arguments.end(), shards.begin(), shards.end());
        const CliRun merged = runTool(arguments);
        EXPECT_EQ(merged.status, unsharded.status);
        EXPECT_EQ(merged.out, unsharded.out);
        arguments.push_back("--jsonl");
        const CliRun mergedLines = runTool(arguments);
        // The merged header names no shard; the pairs and the summary are the unsharded run's.
        const auto body = [](const std::string& text) { return text.substr(text.find('\n') + 1); };
        EXPECT_EQ(body(mergedLines.out), body(unshardedLines.out));
    }
}

TEST_F(ArchiveRuns, BadShardsAreNamedAndAFailedMergeLeavesNoVerdict) {
    makeTrees();
    const std::string first = dir.put("1.jsonl", {}), second = dir.put("2.jsonl", {});
    writeWhole(first, runTool({"--folders", "--jsonl", "--shard=1/2", "--run-id=r1", one(), two()}).out);
    writeWhole(second, runTool({"--folders", "--jsonl", "--shard=2/2", "--run-id=r1", one(), two()}).out);
    const std::string good = readWhole(second);
    const std::string report = dir.file("report.json");
    struct Case {
        std::string second;  // the second shard's text
        std::string message;
    };
    std::string wrongType = good;
    wrongType.replace(wrongType.find("\"verdict\":\""), 11, "\"verdict\":7,\"x\":\"");
    std::string unnamed = good;
    unnamed.replace(unnamed.find("\"run_id\":\"r1\""), 13, "\"run_id\":null");
    const Case cases[] = {
        {wrongType, "line 2: field \"verdict\" is missing or not one of identical, different, trouble, missing"},
        {good.substr(0, good.size() - 3), "the last line is cut off: the run was interrupted"},
        {good.substr(0, good.rfind('\n', good.size() - 2) + 1), "has no summary line: the run was interrupted"},
        {unnamed, "run id null here, \"r1\" in " + first},
    };
    for (const Case& c : cases) {
        writeWhole(second, c.second);
        writeWhole(report, readWhole(first));  // an older report, which must not stand
        const CliRun run = runTool({"--merge-reports", "--output=" + report, first, second});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err.rfind("vemilo-cli: " + second + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(report)) << "an older report would be taken for this run's verdict";
        EXPECT_FALSE(fs::exists(report + ".partial"));
    }
    writeWhole(second, good);
    const CliRun merged = runTool({"--merge-reports", "--output=" + report, first, second});
    EXPECT_EQ(merged.status, 1) << merged.err;
    EXPECT_EQ(merged.out, "");
    EXPECT_NE(readWhole(report).find("\"summary\""), std::string::npos);
}

}  // namespace
}  // namespace vemilo::archive
