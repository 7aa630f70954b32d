#include "ui/settings.h"

#include "ui/ini_store.h"

namespace vemilo::ui {

WindowSettings readSettings(const IniStore& ini) {
    WindowSettings settings;
    settings.top = ini.readInteger("position", "Top", 0);
    settings.left = ini.readInteger("position", "Left", 0);
    settings.zeroSkip = ini.readBoolean("setting", "zeroskip", false);
    settings.matchPoint = ini.readBoolean("setting", "matchpoint", false);
    settings.continuousMode = ini.readBoolean("setting", "repeat", false);
    settings.detailDisplay = ini.readBoolean("setting", "missout", false);
    settings.matchLength = ini.readText("setting", "icchi_sample", "200");
    settings.differenceLimit = ini.readText("setting", "missout_count", "200");
    return settings;
}

void writeSettings(IniStore& ini, const WindowSettings& settings) {
    ini.writeInteger("position", "Top", settings.top);
    ini.writeInteger("position", "Left", settings.left);
    ini.writeBoolean("setting", "zeroskip", settings.zeroSkip);
    ini.writeBoolean("setting", "matchpoint", settings.matchPoint);
    ini.writeText("setting", "icchi_sample", settings.matchLength);
    ini.writeBoolean("setting", "repeat", settings.continuousMode);
    ini.writeBoolean("setting", "missout", settings.detailDisplay);
    ini.writeText("setting", "missout_count", settings.differenceLimit);
}

}  // namespace vemilo::ui
