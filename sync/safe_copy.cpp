#include "sync/safe_copy.h"

#include <windows.h>

namespace qf {
namespace {

void RemoveTemporary(const std::wstring& path)
{
    if (DeleteFileW(path.c_str()))
        return;
    // A copy of a read-only source is read-only too.
    if (SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL))
        DeleteFileW(path.c_str());
}

bool CopyOver(const std::wstring& from, const std::wstring& to)
{
    return CopyFileExW(from.c_str(), to.c_str(), nullptr, nullptr, nullptr, 0) != FALSE;
}

}  // namespace

std::wstring TemporaryNameFor(const std::wstring& name)
{
    // FNV-1a over the UTF-16 units: short and fixed in length, so the temporary fits wherever
    // the name itself fits.
    unsigned long long hash = 14695981039346656037ull;
    for (wchar_t c : name) {
        hash ^= static_cast<unsigned short>(c);
        hash *= 1099511628211ull;
    }
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text = L".quenfold-";
    for (int shift = 60; shift >= 0; shift -= 4)
        text.push_back(kDigits[(hash >> shift) & 0xF]);
    return text + L".tmp";
}

void RemoveLeftover(const std::wstring& targetDirectory, const std::wstring& name)
{
    RemoveTemporary(targetDirectory + TemporaryNameFor(name));
}

bool SafeCopy(const std::wstring& sourceFile, const std::wstring& targetDirectory, const std::wstring& name)
{
    std::wstring temporary = targetDirectory + TemporaryNameFor(name);
    if (!CopyOver(sourceFile, temporary)) {
        // A leftover of a killed copy may be read-only and refuse to be overwritten.
        bool retried = GetLastError() == ERROR_ACCESS_DENIED &&
                       SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL) && CopyOver(sourceFile, temporary);
        if (!retried) {
            RemoveTemporary(temporary);
            return false;
        }
    }
    if (!MoveFileExW(temporary.c_str(), (targetDirectory + name).c_str(), MOVEFILE_REPLACE_EXISTING)) {
        RemoveTemporary(temporary);
        return false;
    }
    return true;
}

}  // namespace qf
