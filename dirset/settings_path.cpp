#include "dirset/settings_path.h"

#include <windows.h>

namespace qf {
namespace {

constexpr DWORD kLongestPath = 32768;

std::wstring ModuleFileName()
{
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0)
            return {};
        if (length < name.size()) {  // a cut name fills the whole buffer
            name.resize(length);
            return name;
        }
        if (name.size() >= kLongestPath)
            return {};
        name.resize(name.size() * 2);
    }
}

}  // namespace

std::wstring SettingsFilePath()
{
    const std::wstring program = ModuleFileName();
    const size_t slash = program.rfind(L'\\');
    if (slash == std::wstring::npos)
        return {};
    return program.substr(0, slash) + L"\\配置.ini";
}

}  // namespace qf
