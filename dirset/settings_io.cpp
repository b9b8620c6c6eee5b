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

std::wstring TemporaryPathFor(const std::wstring& path, DWORD processId)
{
    return path + L".~" + std::to_wstring(processId) + L".tmp";
}

// The process that wrote a temporary may still be saving: its file is left to it. Any answer
// but "no such process" counts as alive.
bool IsProcessGone(DWORD processId)
{
    KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process)
        return GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    return GetExitCodeProcess(process.get(), &code) && code != STILL_ACTIVE;
}

// The process id in a name of the form <file name>.~<digits>.tmp, or 0.
DWORD ProcessIdOfTemporary(const std::wstring& name, const std::wstring& fileName)
{
    const std::wstring head = fileName + L".~";
    const std::wstring tail = L".tmp";
    if (name.size() <= head.size() + tail.size() || name.compare(0, head.size(), head) != 0 ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
        return 0;
    const std::wstring digits = name.substr(head.size(), name.size() - head.size() - tail.size());
    if (digits.size() > 10 || digits.find_first_not_of(L"0123456789") != std::wstring::npos)
        return 0;
    const unsigned long long id = std::stoull(digits);
    return id <= 0xFFFFFFFFull ? static_cast<DWORD>(id) : 0;
}

// A save killed between writing its temporary and renaming it leaves that file behind; the
// next save removes it, unless the process that wrote it still lives.
void RemoveKilledSaveTemporaries(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring directory = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    const std::wstring fileName = path.substr(directory.size());
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileExW(ExtendedLengthPath(path + L".~*.tmp").c_str(), FindExInfoBasic, &data,
                                     FindExSearchNameMatch, nullptr, 0));
    if (!find)
        return;
    do {
        const DWORD processId = ProcessIdOfTemporary(data.cFileName, fileName);
        if (processId != 0 && processId != GetCurrentProcessId() && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            IsProcessGone(processId))
            DeleteFileW(ExtendedLengthPath(directory + data.cFileName).c_str());
    } while (FindNextFileW(find.get(), &data));
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
    const std::wstring temporary = ExtendedLengthPath(TemporaryPathFor(path, GetCurrentProcessId()));
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
    RemoveKilledSaveTemporaries(path);
    if (!rows.empty())
        return ReplaceFileContents(path, EncodeSettingsText(RenderSettingsText(rows)));
    const std::wstring target = ExtendedLengthPath(path);
    return MayReplace(target) && (DeleteFileW(target.c_str()) || IsMissing(GetLastError()));
}

}  // namespace qf
