#pragma once
// What vemilo3.ini keeps between runs, the window position and the six options, and where the
// file lives: beside the program, or in the user's configuration folder when the program's folder
// cannot be written (an installed program).

#include <string>

namespace vemilo::ui {

struct WindowSettings {
    int top = 0;
    int left = 0;
    bool zeroSkip = false;
    bool matchPoint = false;
    bool continuousMode = false;
    bool detailDisplay = false;
    bool measure = false;
    std::string matchLength = "200";  // the edit box's text, whatever it holds
    std::string differenceLimit = "200";
};

struct SettingsFiles {
    std::string besideProgram;  // read first when it exists, written when it can be
    std::string userConfig;     // $XDG_CONFIG_HOME/vemilo/vemilo3.ini; empty: none
};

// vemilo3.ini beside the running program, and in the user's configuration folder.
SettingsFiles defaultSettingsFiles();

// The file to read at start-up: the one beside the program if it exists, else the user's; empty
// when neither exists.
std::string settingsFileToRead(const SettingsFiles& files);

// What start-up found in the file.
struct LoadedSettings {
    bool found = false;     // a file existed
    bool tooLarge = false;  // it was too large to read: the defaults hold, and a message says so
    WindowSettings settings;
};
LoadedSettings loadSettings(const SettingsFiles& files);

// Writes the nine keys in their order (Top, Left, zeroskip, matchpoint, icchi_sample, repeat,
// missout, missout_count, measure) into the file beside the program, or, when that cannot be written, into
// the user's. Each write replaces the whole file at once and keeps what others put in it. Throws
// "<path> に書き込めません" for the file beside the program when neither can be written; the old
// files stay as they were.
void saveSettings(const SettingsFiles& files, const WindowSettings& settings);

}  // namespace vemilo::ui
