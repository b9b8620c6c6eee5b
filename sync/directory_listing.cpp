#include "sync/directory_listing.h"

#include "sync/long_path.h"
#include "win/unique_handle.h"

#include <winternl.h>

#include <algorithm>

namespace qf {
namespace {

bool IsDotName(const wchar_t* name, std::size_t length)
{
    return (length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.');
}

// Reads the entries through the handle already open for the identity, so a directory costs
// one open however many entries it has.
bool QueryEntries(HANDLE directory, std::vector<ListedEntry>& entries)
{
    std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));  // aligned for the records
    FILE_INFO_BY_HANDLE_CLASS kind = FileFullDirectoryRestartInfo;
    for (;;) {
        if (!GetFileInformationByHandleEx(directory, kind, buffer.data(),
                                          static_cast<DWORD>(buffer.size() * sizeof(LONGLONG))))
            return GetLastError() == ERROR_NO_MORE_FILES;
        kind = FileFullDirectoryInfo;
        const unsigned char* record = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            auto info = reinterpret_cast<const FILE_FULL_DIR_INFO*>(record);
            std::size_t length = info->FileNameLength / sizeof(wchar_t);
            if (!IsDotName(info->FileName, length))
                entries.push_back(ListedEntry{std::wstring(info->FileName, length), info->FileAttributes,
                                              static_cast<unsigned long long>(info->EndOfFile.QuadPart)});
            if (info->NextEntryOffset == 0)
                break;
            record += info->NextEntryOffset;
        }
    }
}

// The file id alone, as the file system keeps it with the open file (FileInternalInformation,
// the class the platform's own one-call query reads it from; headers outside the driver kit
// do not name it).
constexpr int kFileInternalInformation = 6;
struct FileInternalInformation {
    LARGE_INTEGER indexNumber;
};

// The directory's identity, false when the handle names no directory. Asked through the two
// small queries the file system answers from the open handle alone; the volume is left out.
// The one-call query asks the volume for its serial number too, which costs several round
// trips to the platform's mount manager under Wine (eight requests, two processes) and a
// file server round trip on a share, for every directory on both sides: more than the
// listing itself. SameVolume asks it where it matters.
bool QueryIdentity(HANDLE handle, DirectoryIdentity& identity)
{
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic)) ||
        !(basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    IO_STATUS_BLOCK status;
    FileInternalInformation id{};
    // Success is a status of 0 or more (not every SDK's header has the macro for it).
    if (NtQueryInformationFile(handle, &status, &id, sizeof(id),
                               static_cast<FILE_INFORMATION_CLASS>(kFileInternalInformation)) >= 0) {
        identity.file = static_cast<unsigned long long>(id.indexNumber.QuadPart);
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        return false;
    identity.file = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

FileHandle OpenDirectory(const std::wstring& directory)
{
    return FileHandle(CreateFileW(DirectoryOnly(directory).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool VolumeSerial(const std::wstring& directory, DWORD& serial)
{
    FileHandle handle = OpenDirectory(directory);
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle || !GetFileInformationByHandle(handle.get(), &info))
        return false;
    serial = info.dwVolumeSerialNumber;
    return true;
}

int CompareNames(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE);
}

}  // namespace

bool ListDirectory(const std::wstring& directory, DirectoryListing& listing)
{
    listing = DirectoryListing{};
    FileHandle handle = OpenDirectory(directory);
    if (!handle || !QueryIdentity(handle.get(), listing.identity))
        return false;
    if (QueryEntries(handle.get(), listing.entries))
        return true;
    listing.entries.clear();
    return FindDirectoryEntries(directory, listing.entries);
}

bool SameVolume(const std::wstring& first, const std::wstring& second)
{
    DWORD a = 0;
    DWORD b = 0;
    return VolumeSerial(first, a) && VolumeSerial(second, b) && a == b;
}

bool FindDirectoryEntries(const std::wstring& directory, std::vector<ListedEntry>& entries)
{
    entries.clear();
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileExW((directory + L"*.*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find)
        return GetLastError() == ERROR_FILE_NOT_FOUND;  // an empty drive root has no "." either
    do {
        std::size_t length = std::wcslen(data.cFileName);
        if (!IsDotName(data.cFileName, length))
            entries.push_back(ListedEntry{data.cFileName, data.dwFileAttributes,
                                          (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) |
                                              data.nFileSizeLow});
    } while (FindNextFileW(find.get(), &data));
    return GetLastError() == ERROR_NO_MORE_FILES;
}

NameIndex::NameIndex(const std::vector<ListedEntry>& entries)
{
    sorted_.reserve(entries.size());
    for (const ListedEntry& entry : entries)
        sorted_.push_back(&entry);
    std::sort(sorted_.begin(), sorted_.end(), [](const ListedEntry* a, const ListedEntry* b) {
        return CompareNames(a->name, b->name) == CSTR_LESS_THAN;
    });
}

const ListedEntry* NameIndex::Find(const std::wstring& name) const
{
    auto at = std::lower_bound(sorted_.begin(), sorted_.end(), name, [](const ListedEntry* entry, const std::wstring& n) {
        return CompareNames(entry->name, n) == CSTR_LESS_THAN;
    });
    return at != sorted_.end() && CompareNames((*at)->name, name) == CSTR_EQUAL ? *at : nullptr;
}

}  // namespace qf
