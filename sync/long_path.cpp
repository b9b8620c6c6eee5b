#include "sync/long_path.h"

#include <windows.h>

#include <cwchar>
#include <vector>

namespace qf {
namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

}  // namespace

std::wstring ExtendedDirectoryPath(const std::wstring& fullPath)
{
    std::wstring path;
    if (StartsWith(fullPath, L"\\\\?\\") || StartsWith(fullPath, L"\\\\.\\"))
        path = fullPath;
    else if (fullPath.size() >= 3 && IsDriveLetter(fullPath[0]) && fullPath[1] == L':' && fullPath[2] == L'\\')
        path = L"\\\\?\\" + fullPath;
    else if (fullPath.size() > 2 && fullPath[0] == L'\\' && fullPath[1] == L'\\' && !IsSeparator(fullPath[2]))
        path = L"\\\\?\\UNC\\" + fullPath.substr(2);
    else
        return {};
    // Separators are whole characters here, so a trailing one is never half of another.
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    path.push_back(L'\\');
    return path;
}

std::wstring EngineDirectoryPath(const std::wstring& userPath)
{
    if (userPath.empty())
        return {};
    if (StartsWith(userPath, L"\\\\?\\"))
        return ExtendedDirectoryPath(userPath);
    DWORD needed = GetFullPathNameW(userPath.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return {};
    std::vector<wchar_t> full(needed);
    DWORD length = GetFullPathNameW(userPath.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return {};
    return ExtendedDirectoryPath(std::wstring(full.data(), length));
}

std::wstring DirectoryOnly(const std::wstring& directoryPath)
{
    if (directoryPath.size() < 2 || directoryPath.back() != L'\\')
        return directoryPath;
    // A root keeps its separator: a drive or volume one level below the prefix, a share two.
    bool unc = StartsWith(directoryPath, L"\\\\?\\UNC\\");
    std::size_t start = unc ? 8 : (StartsWith(directoryPath, L"\\\\?\\") || StartsWith(directoryPath, L"\\\\.\\")) ? 4 : 0;
    std::size_t inner = 0;
    for (std::size_t at = start; at + 1 < directoryPath.size(); ++at)
        inner += directoryPath[at] == L'\\';
    if (inner < (unc ? 2u : 1u))
        return directoryPath;
    return directoryPath.substr(0, directoryPath.size() - 1);
}

}  // namespace qf
