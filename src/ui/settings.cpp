#include "ui/settings.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <filesystem>
#include <stdexcept>

#include "ui/ini_store.h"
#include "wav/wav_error.h"

namespace vemilo::ui {
namespace {

const char* const kFileName = "vemilo3.ini";

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
    settings.measure = ini.readBoolean("setting", "measure", false);
    return settings;
}

// Read afresh at the moment of saving, so that what another program added meanwhile stays.
void saveInto(const std::string& path, const WindowSettings& settings) {
    IniStore ini(path);
    // An oversized file was never read; overwriting it would lose whatever it holds.
    if (ini.tooLarge()) throw std::runtime_error(path + " に書き込めません");
    ini.writeInteger("position", "Top", settings.top);
    ini.writeInteger("position", "Left", settings.left);
    ini.writeBoolean("setting", "zeroskip", settings.zeroSkip);
    ini.writeBoolean("setting", "matchpoint", settings.matchPoint);
    ini.writeText("setting", "icchi_sample", settings.matchLength);
    ini.writeBoolean("setting", "repeat", settings.continuousMode);
    ini.writeBoolean("setting", "missout", settings.detailDisplay);
    ini.writeText("setting", "missout_count", settings.differenceLimit);
    ini.writeBoolean("setting", "measure", settings.measure);
    ini.save();
}

bool exists(const std::string& path) {
    std::error_code ignored;
    return !path.empty() && std::filesystem::is_regular_file(path, ignored);
}

// An installed program (cmake --install, a package) stands in a prefix's bin folder beside the
// prefix's share folder with its desktop entry; a portable copy (a build folder, a copy on a
// stick) does not.
bool installed(const QString& programFolder) {
    return exists((programFolder + QStringLiteral("/../share/applications/vemilo.desktop")).toStdString());
}

}  // namespace

SettingsFiles defaultSettingsFiles() {
    SettingsFiles files;
    const QString programFolder = QCoreApplication::applicationDirPath();
    // An installed program never writes beside itself, where one user's run as root would leave a
    // file every other user's start would read.
    if (!installed(programFolder)) {
        files.besideProgram = (programFolder + QLatin1Char('/') + QLatin1String(kFileName)).toStdString();
    }
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (!config.isEmpty())
        files.userConfig = (config + QStringLiteral("/vemilo/") + QLatin1String(kFileName)).toStdString();
    return files;
}

std::string settingsFileToRead(const SettingsFiles& files) {
    // The file the last close wrote: after a save fell back to the user's file, that one.
    const bool beside = exists(files.besideProgram);
    const bool user = exists(files.userConfig);
    if (beside && user) {
        std::error_code ignored;
        const auto besideTime = std::filesystem::last_write_time(files.besideProgram, ignored);
        const auto userTime = std::filesystem::last_write_time(files.userConfig, ignored);
        return userTime > besideTime ? files.userConfig : files.besideProgram;
    }
    if (beside) return files.besideProgram;
    if (user) return files.userConfig;
    return {};
}

LoadedSettings loadSettings(const SettingsFiles& files) {
    LoadedSettings loaded;
    const std::string path = settingsFileToRead(files);
    if (path.empty()) return loaded;
    loaded.found = true;
    const IniStore ini(path);
    loaded.tooLarge = ini.tooLarge();
    if (!loaded.tooLarge) loaded.settings = readSettings(ini);
    return loaded;
}

void saveSettings(const SettingsFiles& files, const WindowSettings& settings) {
    try {
        if (files.besideProgram.empty()) throw std::runtime_error("");  // installed: the user's file only
        saveInto(files.besideProgram, settings);
    } catch (const std::runtime_error& beside) {
        if (files.userConfig.empty()) throw;
        try {
            // A folder that cannot be made is the reason, not the file then missing in it.
            std::error_code made;
            std::filesystem::create_directories(std::filesystem::path(files.userConfig).parent_path(), made);
            if (made)
                throw std::runtime_error(files.userConfig + " に書き込めません: " + japaneseWriteReason(made.value()));
            saveInto(files.userConfig, settings);
        } catch (const std::runtime_error& user) {
            // Said once: the file this save ended on, and why.
            throw std::runtime_error(user.what());
        }
    }
}

}  // namespace vemilo::ui
