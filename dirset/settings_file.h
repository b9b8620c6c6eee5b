#pragma once
// The settings file 配置.ini beside the program: the directory list, one section per row.
#include <string>

namespace qf {

// Writes the whole list; an empty list removes the file. False when the file could not be
// written (the previous file is then left as it was).
bool SaveSettings();

// The click handler of 按钮_保存配置: SaveSettings, then the log line.
void OnSaveSettingsClicked();

// The body of the settings loader thread: fills the directory list from the file.
void LoadSettings();

}  // namespace qf
