#pragma once
// What vemilo3.ini keeps between runs: the window position and the six options.

#include <string>

namespace vemilo::ui {

class IniStore;

struct WindowSettings {
    int top = 0;
    int left = 0;
    bool zeroSkip = false;
    bool matchPoint = false;
    bool continuousMode = false;
    bool detailDisplay = false;
    std::string matchLength = "200";      // the edit box's text, whatever it holds
    std::string differenceLimit = "200";
};

// Reads every key, with its default where the key is missing or not a valid value.
WindowSettings readSettings(const IniStore& ini);

// Writes the eight keys in their order: Top, Left, zeroskip, matchpoint, icchi_sample, repeat,
// missout, missout_count. Throws when the file cannot be written.
void writeSettings(IniStore& ini, const WindowSettings& settings);

}  // namespace vemilo::ui
