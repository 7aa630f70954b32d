// Reports that resume and merge must never trust: shards of another run or of other trees, forged,
// dropped, reordered and duplicated lines and summaries, hostile JSON, files that are not reports,
// merges killed at any moment; and what the walk met changing under a resumed report.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "support/cli_run.h"
#include "support/report_times.h"
#include "support/temp_dir.h"
#include "wav_writer/wav_writer.h"

namespace vemilo::archive {
namespace {

using namespace vemilo::testing;
using namespace vemilo::writer;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

const PcmFormat kMono{1, 1, 8000, 16};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        out.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return out;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) text += part + "\n";
    return text;
}

class ReportFaults : public ::testing::Test {
protected:
    // Identical pairs, differing ones and files on one side only, enough of each in every shard.
    void SetUp() override {
        const Bytes audio = noiseFrames(kMono, 300, 5);
        Bytes changed = audio;
        changed[100] ^= 1;
        for (int i = 0; i < 60; ++i) {
            const std::string name = "f" + std::to_string(i) + ".wav";
            if (i % 10 != 9) dir.put("one/" + name, canonicalWav(kMono, audio));
            if (i % 10 == 7) dir.put("two/" + name, canonicalWav(PcmFormat{1, 1, 16000, 16}, audio));  // trouble
            if (i % 10 != 8 && i % 10 != 7) dir.put("two/" + name, canonicalWav(kMono, i % 5 == 0 ? changed : audio));
        }
    }
    std::string one() const { return dir.file("one"); }
    std::string two() const { return dir.file("two"); }
    // A --jsonl (or --json) report of the folders, written to a file of the test's.
    std::string report(const std::string& name, std::vector<std::string> options, const std::string& format = "--jsonl",
                       const std::string& folder1 = "", const std::string& folder2 = "") {
        std::vector<std::string> arguments = {"--folders", format, "--jobs=1"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back(folder1.empty() ? one() : folder1);
        arguments.push_back(folder2.empty() ? two() : folder2);
        const CliRun run = runTool(arguments);
        EXPECT_NE(run.out, "") << run.err;
        writeWhole(dir.file(name), run.out);
        return dir.file(name);
    }

    TempDir dir;
};

// One rule for both: the same folders, every option that changes a verdict, the run id and the
// shard count. Each mismatch is named with its field and both values.
TEST_F(ReportFaults, ReportsOfAnotherRunAreNeitherMergedNorTakenUp) {
    struct Case {
        std::vector<std::string> options;  // of the second shard, beside --shard
        std::string field, here, there;
    };
    const Case cases[] = {
        {{"--run-id=r1", "--align"}, "zero_skip", "true", "false"},
        {{"--run-id=r1", "--zero-skip"}, "zero_skip", "true", "false"},
        {{"--run-id=r1", "--match-point"}, "match_point", "true", "false"},
        {{"--run-id=r1", "--match-samples=50"}, "match_samples", "50", "200"},
        {{"--run-id=r1", "--max-lines=5"}, "max_lines", "5", "200"},
        {{"--run-id=r1", "--resync"}, "resync_window", "10", "0"},
        {{"--run-id=r1", "--resync", "--resync-window=3"}, "resync_window", "3", "0"},
        {{"--run-id=r1", "--pair-by-stem"}, "pair_by_stem", "true", "false"},
        {{"--run-id=r2"}, "run id", "\"r2\"", "\"r1\""},
        {{}, "run id", "null", "\"r1\""},
    };
    const std::string first = report("1.jsonl", {"--run-id=r1", "--shard=1/2"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.empty() ? "no run id" : c.options.back());
        std::vector<std::string> options = c.options;
        options.push_back("--shard=2/2");
        const std::string second = report("2.jsonl", options);
        const CliRun merged = runTool({"--merge-reports", first, second});
        EXPECT_EQ(merged.status, 2);
        EXPECT_NE(merged.err.find(second + ": " + c.field + " " + c.here + " here, " + c.there + " in " + first),
                  std::string::npos)
            << merged.err;
        // Resumed with the first shard's options, the second's report is refused and left alone.
        const std::string text = readWhole(second);
        const std::string cut = text.substr(0, text.find('\n', text.size() / 2) + 1);
        writeWhole(second, cut);
        const CliRun resumed = runTool({"--folders", "--jsonl", "--jobs=1", "--run-id=r1", "--shard=2/2",
                                        "--output=" + second, "--resume", one(), two()});
        EXPECT_EQ(resumed.status, 2);
        EXPECT_NE(resumed.err.find("holds the report of another run: " + c.field + " " + c.here + " there, " + c.there +
                                   " here"),
                  std::string::npos)
            << resumed.err;
        EXPECT_EQ(readWhole(second), cut);
    }
    const std::string otherCount = report("3.jsonl", {"--run-id=r1", "--shard=2/3"});
    const CliRun counts = runTool({"--merge-reports", first, otherCount});
    EXPECT_NE(counts.err.find(otherCount + ": shard count 3 here, 2 in " + first), std::string::npos) << counts.err;
    const std::string swapped = report("4.jsonl", {"--run-id=r1", "--shard=2/2"}, "--jsonl", two(), one());
    const CliRun folders = runTool({"--merge-reports", first, swapped});
    EXPECT_NE(folders.err.find(swapped + ": folders [\"" + two() + "\",\"" + one() + "\"] here"), std::string::npos)
        << folders.err;
}

// A shard's report, altered; what the merge must say of it, or nothing where the alteration leaves
// a report that resume may take up (a torn line, no summary).
struct Forgery {
    const char* name;
    std::function<std::string(const std::vector<std::string>& lines, const std::string& otherShard)> make;
    std::string fault;  // the merge's message, after the file's name
    bool resumable = false;
};

size_t lineWith(const std::vector<std::string>& lines, const std::string& text, size_t from = 1) {
    for (size_t i = from; i + 1 < lines.size(); ++i) {
        if (lines[i].find(text) != std::string::npos) return i;
    }
    ADD_FAILURE() << "no line holds " << text;
    return 1;
}

std::string replaced(std::string line, const std::string& from, const std::string& to) {
    const size_t at = line.find(from);
    if (at == std::string::npos) ADD_FAILURE() << "no " << from << " in " << line;
    return at == std::string::npos ? line : line.replace(at, from.size(), to);
}

const Forgery kForgeries[] = {
    {"a differing line dropped, the summary kept",
     [](auto lines, auto) {
         lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(lineWith(lines, "\"verdict\":\"different\"")));
         return joined(lines);
     },
     "the summary says"},
    {"an identical pair with a difference",
     [](auto lines, auto) {
         const size_t i = lineWith(lines, "\"verdict\":\"identical\"");
         lines[i] = replaced(lines[i], "\"differences\":0", "\"differences\":1");
         return joined(lines);
     },
     "field \"differences\" shows a difference in an \"identical\" pair"},
    {"a differing pair relabelled identical",
     [](auto lines, auto) {
         const size_t i = lineWith(lines, "\"verdict\":\"different\"");
         lines[i] = replaced(lines[i], "\"verdict\":\"different\"", "\"verdict\":\"identical\"");
         return joined(lines);
     },
     "shows a difference in an \"identical\" pair"},
    {"a missing pair relabelled identical",
     [](auto lines, auto) {
         const size_t i = lineWith(lines, "\"verdict\":\"missing\"");
         lines[i] = replaced(lines[i], "\"verdict\":\"missing\"", "\"verdict\":\"identical\"");
         return joined(lines);
     },
     "an \"identical\" pair must name both files"},
    {"an identical pair relabelled different",
     [](auto lines, auto) {
         const size_t i = lineWith(lines, "\"verdict\":\"identical\"");
         lines[i] = replaced(lines[i], "\"verdict\":\"identical\"", "\"verdict\":\"different\"");
         return joined(lines);
     },
     "a \"different\" pair whose fields show none"},
    {"an unknown verdict",
     [](auto lines, auto) {
         const size_t i = lineWith(lines, "\"verdict\":\"trouble\"");
         lines[i] = replaced(lines[i], "\"verdict\":\"trouble\"", "\"verdict\":\"passed\"");
         return joined(lines);
     },
     "field \"verdict\" is missing or not one of identical, different, trouble, missing"},
    {"two lines swapped",
     [](auto lines, auto) {
         std::swap(lines[1], lines[2]);
         return joined(lines);
     },
     "line 3: pairs out of path order"},
    {"a line twice",
     [](auto lines, auto) {
         lines.insert(lines.begin() + 2, lines[2]);
         return joined(lines);
     },
     "line 4: a pair twice"},
    {"a pair of the other shard",
     [](auto lines, const std::string& other) {
         lines.insert(lines.begin() + 1, ::vemilo::archive::lines(other)[1]);
         return joined(lines);
     },
     "line 2: f"},  // ... belongs to shard 1 of 2, checked below
    {"a line after the summary",
     [](auto lines, auto) {
         lines.push_back(lines[1]);
         return joined(lines);
     },
     "a line after the summary"},
    {"a key twice",
     [](auto lines, auto) {
         lines[1] = replaced(lines[1], "{\"path\":", "{\"verdict\":\"identical\",\"path\":");
         return joined(lines);
     },
     "key \"verdict\" appears twice in one object"},
    {"a count beyond 64 bits",
     [](auto lines, auto) {
         lines.back() =
             replaced(lines.back(), "{\"summary\":{\"pairs\":", "{\"summary\":{\"pairs\":18446744073709551617,\"x\":");
         return joined(lines);
     },
     "summary field \"pairs\" is missing or not a whole number"},
    {"nesting 100,000 deep",
     [](auto lines, auto) {
         lines[1] = replaced(
             lines[1], "{\"path\":", "{\"deep\":" + std::string(100000, '[') + std::string(100000, ']') + ",\"path\":");
         return joined(lines);
     },
     "line 2: nested deeper than 32 levels"},
    {"a line of 17 MiB",
     [](auto lines, auto) {
         lines[1] = replaced(lines[1], "{\"path\":", "{\"long\":\"" + std::string(17u << 20, 'x') + "\",\"path\":");
         return joined(lines);
     },
     "line 2: longer than 16 MiB, which no report value is"},
    {"the last line cut off",
     [](auto lines, auto) {
         const std::string text = joined(lines);
         return text.substr(0, text.size() - 20);
     },
     "the last line is cut off: the run was interrupted", true},
    {"no summary",
     [](auto lines, auto) {
         lines.pop_back();
         return joined(lines);
     },
     "has no summary line: the run was interrupted", true},
};

TEST_F(ReportFaults, ForgedReportsAreTroubleForTheMergeAndNeverTakenUp) {
    const std::string first = report("1.jsonl", {"--shard=1/2"});
    const std::string good = readWhole(report("good.jsonl", {"--shard=2/2"}));
    const int goodStatus = runTool({"--folders", "--jobs=1", "--shard=2/2", one(), two()}).status;
    const std::string second = dir.file("2.jsonl");
    const std::string output = dir.file("merged.json");
    const std::string older = readWhole(first);
    for (const Forgery& forgery : kForgeries) {
        SCOPED_TRACE(forgery.name);
        const std::string forged = forgery.make(lines(good), readWhole(first));
        writeWhole(second, forged);
        writeWhole(output, older);  // a report standing there must not outlive a failed merge
        const CliRun merged = runTool({"--merge-reports", "--output=" + output, first, second});
        EXPECT_EQ(merged.status, 2);
        EXPECT_EQ(merged.err.rfind("vemilo-cli: " + second + ": ", 0), 0u) << merged.err.substr(0, 300);
        EXPECT_NE(merged.err.find(forgery.fault), std::string::npos) << merged.err.substr(0, 300);
        EXPECT_FALSE(fs::exists(output));
        if (std::string(forgery.name) == "a pair of the other shard") {
            EXPECT_NE(merged.err.find("belongs to shard 1 of 2, not to this report's shard 2"), std::string::npos);
        }
        // Taken up, only an interruption is carried over; every forgery is refused, the file kept.
        const CliRun resumed = runTool(
            {"--folders", "--jsonl", "--jobs=1", "--shard=2/2", "--output=" + second, "--resume", one(), two()});
        if (forgery.resumable) {
            EXPECT_EQ(resumed.status, goodStatus) << resumed.err;
            EXPECT_EQ(linesWithoutTimes(readWhole(second)), linesWithoutTimes(good));
        } else {
            EXPECT_EQ(resumed.status, 2);
            EXPECT_NE(resumed.err.find(forgery.fault), std::string::npos) << resumed.err.substr(0, 300);
            EXPECT_EQ(readWhole(second), forged);
        }
    }
}

// A --json document is read by the same reader, with the same limits.
TEST_F(ReportFaults, HostileJsonDocumentsAreNamedNotFollowed) {
    const std::string whole = readWhole(report("whole.json", {}, "--json"));
    const std::string path = dir.file("hostile.json");
    const std::string pairs = "\"pairs\": [";
    const std::pair<std::string, std::string> cases[] = {
        {replaced(whole, pairs, pairs + std::string(100000, '[')), "nested deeper than 32 levels"},
        {replaced(whole, pairs, pairs + "{\"path\":\"" + std::string(17u << 20, 'x') + "\"},"), "longer than 16 MiB"},
        {replaced(whole, "\"verdict\":", "\"verdict\": \"identical\", \"verdict\":"), "key \"verdict\" appears twice"},
        {whole + "{}", "something after the end of the document"},
        {whole.substr(0, whole.size() / 2), "the report ends inside a value"},
    };
    for (const auto& [text, fault] : cases) {
        writeWhole(path, text);
        const CliRun merged = runTool({"--merge-reports", path});
        EXPECT_EQ(merged.status, 2);
        EXPECT_NE(merged.err.find(fault), std::string::npos) << merged.err.substr(0, 300);
    }
}

// A report is read from a pipe and from standard input as from a file, in either format.
TEST_F(ReportFaults, ShardsFromAPipeAndStandardInput) {
    const CliRun whole = runTool({"--folders", "--json", "--jobs=1", one(), two()});
    const std::string unsharded = whole.out;
    for (const char* format : {"--json", "--jsonl"}) {
        SCOPED_TRACE(format);
        const std::string first = readWhole(report("1", {"--shard=1/2"}, format));
        const std::string second = report("2", {"--shard=2/2"}, format);
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        std::thread writer([&] {
            for (size_t at = 0; at < first.size();) {
                const ssize_t put = ::write(ends[1], first.data() + at, first.size() - at);
                if (put <= 0) break;
                at += static_cast<size_t>(put);
            }
            ::close(ends[1]);
        });
        const CliRun piped = runTool({"--merge-reports", "/dev/fd/" + std::to_string(ends[0]), second});
        writer.join();
        ::close(ends[0]);
        EXPECT_EQ(piped.status, whole.status) << piped.err;
        EXPECT_EQ(withoutTimes(nlohmann::json::parse(piped.out)), withoutTimes(nlohmann::json::parse(unsharded)));

        writeWhole(dir.file("first"), first);
        const std::string command = "'" VEMILO_CLI_PATH "' --merge-reports - '" + second + "' < '" + dir.file("first") +
                                    "' > '" + dir.file("merged") + "'";
        EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), whole.status);
        EXPECT_EQ(withoutTimes(nlohmann::json::parse(readWhole(dir.file("merged")))),
                  withoutTimes(nlohmann::json::parse(unsharded)));
    }
}

// Every shard walks both whole trees: one that met other trees is refused, whichever it is.
TEST_F(ReportFaults, ShardsThatMetOtherTreesAreRefused) {
    // An empty mount on the node of shard 1 of 3.
    fs::rename(one(), dir.file("one.away"));
    fs::rename(two(), dir.file("two.away"));
    fs::create_directories(one());
    fs::create_directories(two());
    const std::string empty = report("1.jsonl", {"--shard=1/3"});
    fs::remove(one());
    fs::remove(two());
    fs::rename(dir.file("one.away"), one());
    fs::rename(dir.file("two.away"), two());
    const std::string second = report("2.jsonl", {"--shard=2/3"});
    const std::string third = report("3.jsonl", {"--shard=3/3"});
    const CliRun merged = runTool({"--merge-reports", empty, second, third});
    EXPECT_EQ(merged.status, 2);
    EXPECT_NE(merged.err.find(empty + ": saw other trees than " + second + ": 0 and 0 entries"), std::string::npos)
        << merged.err;
    // A file added between the tasks of shards 2 and 3.
    const std::string before = report("1.jsonl", {"--shard=1/3"});
    dir.put("one/late.wav", canonicalWav(kMono, noiseFrames(kMono, 10)));
    const std::string late = report("3.jsonl", {"--shard=3/3"});
    const CliRun changed = runTool({"--merge-reports", before, second, late});
    EXPECT_EQ(changed.status, 2);
    EXPECT_NE(changed.err.find(late + ": saw other trees than " + before), std::string::npos) << changed.err;
    EXPECT_EQ(changed.err.find(second + ": saw"), std::string::npos) << "the shards in agreement are not blamed";
}

// Resume walks past the pairs already reported: what appeared or disappeared since is trouble.
TEST_F(ReportFaults, AResumeSeesWhatChangedSinceTheReportBegan) {
    const std::string path = report("r.jsonl", {});
    const std::vector<std::string> whole = lines(readWhole(path));
    writeWhole(path, joined({whole.begin(), whole.begin() + 30}));
    const Bytes audio = noiseFrames(kMono, 300, 5);
    dir.put("one/f10a.wav", canonicalWav(kMono, audio));  // among the pairs already reported
    fs::remove(dir.file("two/f12.wav"));                  // a copy reported identical, deleted
    const CliRun resumed = runTool({"--folders", "--jsonl", "--jobs=1", "--output=" + path, "--resume", one(), two()});
    EXPECT_EQ(resumed.status, 2) << resumed.err;
    const std::string text = readWhole(path);
    EXPECT_NE(text.find("\"path\":\"f10a.wav\",\"file1\":\"" + one() +
                        "/f10a.wav\",\"file2\":null,\"verdict\":\"trouble\","
                        "\"message\":\"folder 1: appeared after the report began\""),
              std::string::npos);
    EXPECT_NE(text.find("\"path\":\"f12.wav\",\"file1\":\"" + one() +
                        "/f12.wav\",\"file2\":null,\"verdict\":\"trouble\","
                        "\"message\":\"folder 2: disappeared after the report began\""),
              std::string::npos);
    // The report stays sound as a whole: the merge reads it without a fault.
    const CliRun merged = runTool({"--merge-reports", path});
    EXPECT_EQ(merged.status, 2);
    EXPECT_EQ(merged.err, "");
}

// --output never writes over what is not a report of the tool, nor to a FIFO, nor hangs on one.
TEST_F(ReportFaults, OutputThatIsNotAReportIsLeftAlone) {
    const std::string note = dir.file("notes.txt"), object = dir.file("object.json"), fifo = dir.file("fifo");
    writeWhole(note, "do not lose me");
    writeWhole(object, "{\"a\":1}");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string master = dir.file("one/f1.wav");
    const std::string shard = report("shard.jsonl", {});
    const std::vector<std::pair<std::string, std::string>> targets = {
        {note, "is not a report of vemilo-cli"}, {object, "is not a report of vemilo-cli"},
        {master, "is named as an audio file"},   {dir.file("new.WAV"), "is named as an audio file"},
        {fifo, "is not a regular file"},         {dir.file("one"), "is not a regular file"},
    };
    for (const auto& [target, refusal] : targets) {
        SCOPED_TRACE(target);
        const std::string before = fs::is_regular_file(target) ? readWhole(target) : "";
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"--folders", "--jsonl", "--output=" + target, one(), two()},
              std::vector<std::string>{"--folders", "--jsonl", "--output=" + target, "--resume", one(), two()},
              std::vector<std::string>{"--folders", "--json", "--output=" + target, one(), two()},
              std::vector<std::string>{"--merge-reports", "--output=" + target, shard}}) {
            const CliRun run = runTool(arguments);
            EXPECT_EQ(run.status, 2) << arguments[0];
            EXPECT_EQ(run.err.rfind("vemilo-cli: " + target + ": " + refusal, 0), 0u) << run.err;
            if (fs::is_regular_file(target)) {
                EXPECT_EQ(readWhole(target), before);
            }
        }
    }
    EXPECT_FALSE(fs::exists(dir.file("new.WAV")));
    const CliRun itself = runTool({"--merge-reports", "--output=" + shard, shard});
    EXPECT_NE(itself.err.find("is one of the reports being merged"), std::string::npos) << itself.err;
    EXPECT_TRUE(fs::exists(shard));
}

// However a merge ends, killed at any moment by any signal, no older report is left in its place:
// only nothing, or the new one whole.
TEST_F(ReportFaults, AMergeKilledAtAnyMomentNeverLeavesAnOlderVerdict) {
    const Bytes audio = noiseFrames(kMono, 20, 7);
    for (int i = 0; i < 3000; ++i) {
        const std::string name = "many/" + std::to_string(i / 100) + "/" + std::to_string(i) + ".wav";
        dir.put("one/" + name, canonicalWav(kMono, audio));
        dir.put("two/" + name, canonicalWav(kMono, audio));
    }
    std::vector<std::string> shards;
    for (int k = 1; k <= 4; ++k)
        shards.push_back(report("s" + std::to_string(k), {"--shard=" + std::to_string(k) + "/4"}));
    const std::string output = dir.file("merged.json");
    ASSERT_EQ(runTool({"--merge-reports", "--output=" + output, shards[0], shards[1], shards[2], shards[3]}).status, 2);
    const nlohmann::json expected = withoutTimes(nlohmann::json::parse(readWhole(output)));
    const std::string older = readWhole(report("older.json", {"--shard=1/1"}, "--json"));
    std::mt19937 random(17);
    const int signals[] = {SIGTERM, SIGINT, SIGKILL};
    int killed = 0;
    for (int trial = 0; trial < 12; ++trial) {
        writeWhole(output, older);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const std::string to = "--output=" + output;
            ::execl(VEMILO_CLI_PATH, VEMILO_CLI_PATH, "--merge-reports", to.c_str(), shards[0].c_str(),
                    shards[1].c_str(), shards[2].c_str(), shards[3].c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Once the merge has begun, which it does by removing the older report (a process killed
        // before its first instruction can remove nothing), it is killed at a random moment.
        const auto running = [&] {
            siginfo_t info{};
            return ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                   info.si_pid == 0;
        };
        for (int wait = 0; wait < 100000 && fs::exists(output) && running(); ++wait) ::usleep(50);
        ::usleep(static_cast<useconds_t>(random() % 40000));
        ::kill(child, signals[trial % 3]);
        int status = 0;
        ::waitpid(child, &status, 0);
        killed += WIFSIGNALED(status) ? 1 : 0;
        if (fs::exists(output)) {
            EXPECT_EQ(withoutTimes(nlohmann::json::parse(readWhole(output))), expected) << "trial " << trial;
        }
        if (signals[trial % 3] != SIGKILL) {
            EXPECT_FALSE(fs::exists(output + ".partial")) << "trial " << trial;
        }
    }
    EXPECT_GT(killed, 0) << "no merge was interrupted: the shards are too small to test this";
}

// Documents of earlier versions had no header: they still merge, saying what cannot be checked.
TEST_F(ReportFaults, OlderDocumentsStillMergeAndSaySo) {
    const nlohmann::ordered_json current = nlohmann::ordered_json::parse(readWhole(report("new.json", {}, "--json")));
    nlohmann::ordered_json older;
    older["pairs"] = current["pairs"];
    older["summary"] = current["summary"];
    writeWhole(dir.file("old.json"), older.dump(2));
    const CliRun merged = runTool({"--merge-reports", dir.file("old.json")});
    EXPECT_EQ(merged.status, 2);
    EXPECT_NE(merged.err.find("the reports record no folders or options"), std::string::npos) << merged.err;
    const nlohmann::json header = nlohmann::json::parse(merged.out)["header"];
    EXPECT_TRUE(header["folders"].is_null());
    EXPECT_TRUE(header["options"].is_null());
}

// The handlers a merge sets to remove its partial report are the process's again afterwards.
TEST_F(ReportFaults, SignalHandlersAreRestored) {
    const std::string shard = report("shard.jsonl", {});
    struct sigaction before {
    }, after{};
    ::sigaction(SIGTERM, nullptr, &before);
    EXPECT_EQ(runTool({"--merge-reports", "--output=" + dir.file("merged.json"), shard}).status, 2);
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

}  // namespace
}  // namespace vemilo::archive
