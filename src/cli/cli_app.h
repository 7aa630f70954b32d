#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace vemilo::cli {

// Runs the command-line tool; returns its exit status.
int runCli(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);

}  // namespace vemilo::cli
