#pragma once
// Runs the command-line tool in the test's own process and keeps what it wrote.

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"

namespace vemilo::testing {

struct CliRun {
    int status;
    std::string out, err;
    std::vector<std::string> outLines() const {
        std::vector<std::string> lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
};

inline CliRun runTool(const std::vector<std::string>& arguments) {
    char* outText = nullptr;
    char* errText = nullptr;
    size_t outSize = 0, errSize = 0;
    std::FILE* out = open_memstream(&outText, &outSize);
    std::FILE* err = open_memstream(&errText, &errSize);
    CliRun run;
    run.status = cli::runCli(arguments, out, err);
    std::fclose(out);
    std::fclose(err);
    run.out.assign(outText, outSize);
    run.err.assign(errText, errSize);
    std::free(outText);
    std::free(errText);
    return run;
}

}  // namespace vemilo::testing
