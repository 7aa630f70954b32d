#include "cli/cli_docs.h"

#include <sstream>

#include "cli/cli_options.h"
#include "vemilo/version.h"

namespace vemilo::cli {
namespace {

// Text as roff shows it literally: backslashes and hyphens escaped, no line taken for a request.
std::string roff(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
    return out;
}

// A description's lines joined into one paragraph.
std::string paragraph(const char* help) {
    std::string text = help ? help : "";
    for (char& c : text) {
        if (c == '\n') c = ' ';
    }
    return text;
}

std::string leftColumn(const CliOptionSpec& option) {
    if (option.synopsis) return option.synopsis;
    return std::string(option.name) + (option.value ? "=" + std::string(option.value) : "");
}

}  // namespace

std::string manualPage() {
    std::ostringstream page;
    page << ".TH VEMILO\\-CLI 1 \"" << kReleaseDate << "\" \"Vemilo " << kVersionRoff << "\" \"User Commands\"\n"
         << ".SH NAME\n"
         << "vemilo\\-cli \\- tell whether two PCM audio files hold the same audio, frame for frame\n"
         << ".SH SYNOPSIS\n"
         << ".B vemilo\\-cli\n[\\fIOPTIONS\\fR] \\fIFILE1\\fR \\fIFILE2\\fR\n";
    for (const CliOptionSpec& option : cliOptionTable()) {
        if (option.section != OptionSection::Mode) continue;
        page << ".br\n" << roff(option.synopsis) << "\n";
    }
    page << ".SH DESCRIPTION\n"
         << ".B vemilo\\-cli\n"
            "compares two PCM audio files (WAV as RIFF, RF64, BW64 or W64; FLAC, AIFF, AIFF\\-C or CAF) frame by\n"
            "frame, byte for byte, from the first frame of\n"
            "each file's data, and writes the same log as the Vemilo window to standard output: both files, each\n"
            "differing frame when asked, which file ended first and the verdict. Message texts go to standard\n"
            "error. With\n.B \\-\\-align\n"
            "it skips each file's leading silent frames and looks for a match point first, as the window does:\n"
            "\"identical\" then means identical after alignment.\n"
         << ".SH MODES\n";
    page << ".TP\n.B " << roff("vemilo-cli [OPTIONS] FILE1 FILE2") << "\ncompare two WAV files frame by frame\n";
    for (const CliOptionSpec& option : cliOptionTable()) {
        if (option.section != OptionSection::Mode) continue;
        page << ".TP\n.B " << roff(option.synopsis) << "\n" << roff(paragraph(option.help)) << "\n";
    }
    const std::pair<OptionSection, const char*> sections[] = {{OptionSection::Comparison, "COMPARISON OPTIONS"},
                                                              {OptionSection::Reports, "REPORT OPTIONS"}};
    for (const auto& [section, heading] : sections) {
        page << ".SH " << heading << "\n";
        for (const CliOptionSpec& option : cliOptionTable()) {
            if (option.section != section) continue;
            page << ".TP\n.B " << roff(leftColumn(option)) << "\n" << roff(paragraph(option.help)) << "\n";
        }
    }
    page << ".PP\nEvery option with a value takes it as \\fB\\-\\-opt=value\\fR or \\fB\\-\\-opt value\\fR.\n"
         << ".SH EXIT STATUS\n"
         << ".TP\n.B 0\nevery frame compared equal and both files ended together\n"
         << ".TP\n.B 1\na frame differed, more differed than \\fB\\-\\-max\\-lines\\fR tolerates, or one file ended "
            "before the other; with \\fB\\-\\-folders\\fR, a file present on one side only\n"
         << ".TP\n.B 2\ntrouble: the pair was not compared to its end (formats differ, a file could not be opened, "
            "read or taken as WAV, a data chunk declares more than its file holds, a file changed after its header "
            "was read), standard output could not be written, or a usage error\n"
         << ".PP\nWith \\fB\\-\\-continuous\\fR and \\fB\\-\\-folders\\fR the status is the worst over the pairs; "
            "trouble outranks a difference. \\fB\\-\\-check\\-md5\\fR: 1 when a checksum differs, 2 when a file "
            "cannot be read.\n"
         << ".SH EXAMPLES\n"
         << "Prove a copy bit-identical:\n.PP\n.RS\n.nf\nvemilo\\-cli master.wav copy.wav\n.fi\n.RE\n"
         << ".PP\nCheck two folder trees and keep a report for machines:\n.PP\n.RS\n.nf\n"
            "vemilo\\-cli \\-\\-folders \\-\\-json /archive/master /archive/copy > report.json\n.fi\n.RE\n"
         << ".PP\nStore checksums of the audio and check them later:\n.PP\n.RS\n.nf\n"
            "vemilo\\-cli \\-\\-md5 *.wav > audio.md5\nvemilo\\-cli \\-\\-check\\-md5 audio.md5\n.fi\n.RE\n"
         << ".PP\nThree shards on one machine, then the verdict:\n.PP\n.RS\n.nf\n"
            "for k in 1 2 3; do\n"
            "  vemilo\\-cli \\-\\-folders \\-\\-json \\-\\-shard=$k/3 master copy > shard$k.json\n"
            "done\n"
            "vemilo\\-cli \\-\\-merge\\-reports shard1.json shard2.json shard3.json > report.json\n.fi\n.RE\n"
         << ".SH SEE ALSO\n.BR vemilo (1),\n.BR cmp (1),\n.BR md5sum (1)\n";
    return page.str();
}

namespace {

// The words offered for an option's value: a bash word list, "FILES" for file names, or nothing.
const char* valueWords(const std::string& name) {
    if (name == "--max-lines") return "200 500 1000 2000";
    if (name == "--match-samples") return "200 1000 4096 32767";
    if (name == "--resync-window") return "1 2 5 10";
    if (name == "--tolerance") return "1 2 4 16";
    if (name == "--shard") return "1/2 2/2 1/3 2/3 3/3 1/4 2/4 3/4 4/4";
    if (name == "--check-md5" || name == "--output" || name == "--residue") return "FILES";
    return nullptr;
}

}  // namespace

std::string bashCompletion() {
    std::string switches = " ", valued = " ", values;
    for (const CliOptionSpec& option : cliOptionTable()) {
        (option.value ? valued : switches) += std::string(option.name) + (option.value ? "= " : " ");
        if (!option.value) continue;
        const std::string name = option.name;
        const char* words = valueWords(name);
        std::string action = "COMPREPLY=()";
        if (name == "--jobs") {
            action =
                "COMPREPLY=($(compgen -P \"$prefix\" -W \"$(seq 1 \"$(nproc 2>/dev/null || echo 8)\")\" -- "
                "\"$value\"))";
        } else if (words && std::string(words) == "FILES") {
            action = "COMPREPLY=($(compgen -P \"$prefix\" -f -- \"$value\")); compopt -o filenames 2>/dev/null";
        } else if (words) {
            action = "COMPREPLY=($(compgen -P \"$prefix\" -W '" + std::string(words) + "' -- \"$value\"))";
        }
        values += "    " + name + ") " + action + " ;;\n";
    }
    return "# bash completion for vemilo-cli, written from its option table\n"
           "_vemilo_cli() {\n"
           "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} option= value= prefix=\n"
           "  local switches='" +
           switches +
           "'\n"
           "  local valued='" +
           valued +
           "'\n"
           "  # bash splits --opt=value at \"=\" (COMP_WORDBREAKS): the value is then a word of its own.\n"
           "  if [ \"$cur\" = \"=\" ]; then\n"
           "    option=$prev\n"
           "  elif [ \"$prev\" = \"=\" ] && [ \"$COMP_CWORD\" -ge 2 ]; then\n"
           "    option=${COMP_WORDS[COMP_CWORD-2]} value=$cur\n"
           "  elif [[ $cur == --*=* ]]; then\n"
           "    option=${cur%%=*} value=${cur#*=} prefix=${cur%%=*}=\n"
           "  elif [[ \" $valued \" == *\" $prev= \"* ]] && [[ $cur != -* ]]; then\n"
           "    option=$prev value=$cur\n"
           "  fi\n"
           "  if [ -n \"$option\" ]; then\n"
           "    case $option in\n" +
           values +
           "    *) COMPREPLY=() ;;\n"
           "    esac\n"
           "    return\n"
           "  fi\n"
           "  case $cur in\n"
           "    -*) COMPREPLY=($(compgen -W \"$switches $valued\" -- \"$cur\")); compopt -o nospace 2>/dev/null;\n"
           "        [ ${#COMPREPLY[@]} -eq 1 ] && [[ ${COMPREPLY[0]} != *= ]] && compopt +o nospace 2>/dev/null; "
           "return ;;\n"
           "  esac\n"
           "  case \" ${COMP_WORDS[*]} \" in\n"
           "    *' --folders '*|*' --continuous '*) COMPREPLY=($(compgen -d -- \"$cur\")); compopt -o filenames "
           "2>/dev/null; return ;;\n"
           "  esac\n"
           "  COMPREPLY=($(compgen -f -- \"$cur\")); compopt -o filenames 2>/dev/null\n"
           "}\n"
           "complete -F _vemilo_cli vemilo-cli\n";
}

std::string zshCompletion() {
    std::string arguments;
    for (const CliOptionSpec& option : cliOptionTable()) {
        // Inside _arguments' single-quoted specs: brackets and colons escaped, quotes closed around.
        std::string help;
        for (const char c : paragraph(option.help ? option.help : option.name)) {
            if (c == '\'') {
                help += "'\\''";
            } else {
                if (c == '[' || c == ']' || c == ':') help += '\\';
                help += c;
            }
        }
        const std::string name = option.name;
        const char* words = valueWords(name);
        std::string action = ":" + std::string(option.value ? option.value : "") + ":";
        if (words && std::string(words) == "FILES") {
            action += "_files";
        } else if (words) {
            action += "(" + std::string(words) + ")";
        } else if (name == "--jobs") {
            action += "(1 2 4 8 16)";
        }
        arguments += "  '" + name + (option.value ? "=[" : "[") + help + "]" + (option.value ? action : "") + "' \\\n";
    }
    return "#compdef vemilo-cli\n"
           "# zsh completion for vemilo-cli, written from its option table\n"
           "_arguments -s \\\n" +
           arguments + "  '*:file or folder:_files'\n";
}

}  // namespace vemilo::cli
