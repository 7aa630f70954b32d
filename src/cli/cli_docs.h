#pragma once
// vemilo-cli's manual page and shell completions, written from its option table so that they
// cannot drift from what the parser takes.

#include <string>

namespace vemilo::cli {

std::string manualPage();      // vemilo-cli(1), in roff
std::string bashCompletion();  // for bash-completion's completions folder
std::string zshCompletion();   // for zsh's site-functions folder

}  // namespace vemilo::cli
