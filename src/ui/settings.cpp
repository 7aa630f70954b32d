// Restoring and saving the window position and the six options in vemilo3.ini.

#include <QCheckBox>
#include <QLineEdit>

#include "ui/ini_store.h"
#include "ui/main_window.h"

namespace vemilo::ui {

void TForm1::LoadSettings() {
    const IniStore ini(settingsPath.toStdString());
    // Each control is set as a user would set it, so that its change handling runs.
    const int top = ini.readInteger("position", "Top", 0);
    move(x(), top);
    const int left = ini.readInteger("position", "Left", 0);
    move(left, y());
    cbx_zeroskip->setChecked(ini.readBoolean("setting", "zeroskip", false));
    cbx_matchpoint->setChecked(ini.readBoolean("setting", "matchpoint", false));
    cbx_repeat->setChecked(ini.readBoolean("setting", "repeat", false));
    cbx_missout->setChecked(ini.readBoolean("setting", "missout", false));
    Edit1->setText(QString::fromStdString(ini.readText("setting", "icchi_sample", "200")));
    Edit4->setText(QString::fromStdString(ini.readText("setting", "missout_count", "200")));
}

void TForm1::SaveSettings() {
    IniStore ini(settingsPath.toStdString());
    ini.writeInteger("position", "Top", y());
    ini.writeInteger("position", "Left", x());
    ini.writeBoolean("setting", "zeroskip", cbx_zeroskip->isChecked());
    ini.writeBoolean("setting", "matchpoint", cbx_matchpoint->isChecked());
    ini.writeText("setting", "icchi_sample", Edit1->text().toStdString());
    ini.writeBoolean("setting", "repeat", cbx_repeat->isChecked());
    ini.writeBoolean("setting", "missout", cbx_missout->isChecked());
    ini.writeText("setting", "missout_count", Edit4->text().toStdString());
}

}  // namespace vemilo::ui
