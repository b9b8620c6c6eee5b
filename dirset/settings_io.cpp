#include "dirset/settings_io.h"

#include <windows.h>

#include <algorithm>

#include "win/text.h"
#include "win/unique_handle.h"

namespace qf {
namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool WriteAll(HANDLE file, std::string_view bytes)
{
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

bool WriteNewFile(const std::wstring& path, std::string_view bytes)
{
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    // On disk before the rename, or a crash could leave the new name on an empty file.
    return WriteAll(file.get(), bytes) && FlushFileBuffers(file.get());
}

// A file the user made read-only is not overwritten (the platform's rename would, here and
// there); neither is a directory of that name.
bool MayReplace(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return IsMissing(GetLastError());
    return (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

}  // namespace

std::wstring DecodeSettingsBytes(std::string_view bytes)
{
    return DecodeProfileBytes(bytes, kCodePageGbk);
}

std::wstring DecodeProfileBytes(std::string_view bytes, unsigned ansiCodePage)
{
    const DetectedEncoding detected = DetectEncoding(bytes);
    bytes.remove_prefix(detected.markLength);
    switch (detected.encoding) {
    case TextEncoding::Utf8:
        return WideFromBytes(bytes, kCodePageUtf8);
    case TextEncoding::Utf16Le:
        return WideFromUtf16Bytes(bytes, false);
    case TextEncoding::Utf16Be:
        return WideFromUtf16Bytes(bytes, true);
    case TextEncoding::Ansi:
        break;
    }
    return WideFromBytes(bytes, ansiCodePage);
}

std::string EncodeSettingsText(std::wstring_view text)
{
    bool lossy = false;
    std::string bytes = BytesFromWide(text, kCodePageGbk, &lossy);
    if (!lossy)
        return bytes;
    return kUtf8Mark + BytesFromWide(text, kCodePageUtf8);
}

std::wstring ExtendedLengthPath(const std::wstring& path)
{
    if (path.size() < MAX_PATH || path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    if (path.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\')
        return L"\\\\?\\" + path;
    return path;
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes)
{
    bytes.clear();
    FileHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > static_cast<LONGLONG>(kSettingsFileLimit))
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(bytes.size() - done);
        if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr))
            return false;
        if (got == 0)
            break;  // the file shrank meanwhile
        done += got;
    }
    bytes.resize(done);
    return true;
}

bool ReplaceFileContents(const std::wstring& path, std::string_view bytes)
{
    const std::wstring target = ExtendedLengthPath(path);
    if (!MayReplace(target))
        return false;
    const std::wstring temporary =
        ExtendedLengthPath(path + L".~" + std::to_wstring(GetCurrentProcessId()) + L".tmp");
    if (WriteNewFile(temporary, bytes) &&
        MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(temporary.c_str());
    return false;
}

bool WriteSettingsRows(const std::wstring& path, const std::vector<SettingsRow>& rows)
{
    if (path.empty())
        return false;
    if (!rows.empty())
        return ReplaceFileContents(path, EncodeSettingsText(RenderSettingsText(rows)));
    const std::wstring target = ExtendedLengthPath(path);
    return MayReplace(target) && (DeleteFileW(target.c_str()) || IsMissing(GetLastError()));
}

}  // namespace qf
