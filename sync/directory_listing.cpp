#include "sync/directory_listing.h"

#include "sync/long_path.h"
#include "win/unique_handle.h"

#include <algorithm>
#include <cstring>

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

// The directory's identity, false when the handle names no directory. Asked through the two
// small queries the file system answers from the open handle alone: the one-call query also
// asks the volume for its serial number, which costs several round trips to the platform's
// mount manager under Wine, and a file server round trip on a share, for every directory.
bool QueryIdentity(HANDLE handle, DirectoryIdentity& identity)
{
    FILE_BASIC_INFO basic;
    FILE_ID_INFO id;
    if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic)) &&
        GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof(id))) {
        if (!(basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return false;
        unsigned long long low = 0;
        unsigned long long high = 0;
        std::memcpy(&low, id.FileId.Identifier, sizeof(low));
        std::memcpy(&high, id.FileId.Identifier + sizeof(low), sizeof(high));
        // The same values the one-call query gives where ids fit in 64 bits (all but ReFS).
        identity.volume = static_cast<DWORD>(id.VolumeSerialNumber);
        identity.file = low ^ high;
        return true;
    }
    // File systems without 128-bit ids (FAT, some network redirectors).
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    identity.volume = info.dwVolumeSerialNumber;
    identity.file = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
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
    FileHandle handle(CreateFileW(DirectoryOnly(directory).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle || !QueryIdentity(handle.get(), listing.identity))
        return false;
    if (QueryEntries(handle.get(), listing.entries))
        return true;
    listing.entries.clear();
    return FindDirectoryEntries(directory, listing.entries);
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
