#pragma once
// Where the settings file lives: beside the program, whatever the working directory.
#include <string>

namespace qf {

// <run directory>\配置.ini, recomputed on every call.
std::wstring SettingsFilePath();

}  // namespace qf
