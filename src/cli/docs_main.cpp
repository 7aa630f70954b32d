// Writes vemilo-cli's manual page and completions into a folder, at build time.
//   vemilo-cli-docs DIR   writes DIR/vemilo-cli.1, DIR/vemilo-cli.bash and DIR/_vemilo-cli

#include <cstdio>
#include <fstream>
#include <string>

#include "cli/cli_docs.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vemilo-cli-docs DIR\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::pair<const char*, std::string> files[] = {{"/vemilo-cli.1", vemilo::cli::manualPage()},
                                                         {"/vemilo-cli.bash", vemilo::cli::bashCompletion()},
                                                         {"/_vemilo-cli", vemilo::cli::zshCompletion()}};
    for (const auto& [name, text] : files) {
        std::ofstream out(folder + name, std::ios::binary);
        out << text;
        if (!out) {
            std::fprintf(stderr, "vemilo-cli-docs: cannot write %s%s\n", folder.c_str(), name);
            return 1;
        }
    }
    return 0;
}
