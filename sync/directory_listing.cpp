#include "sync/directory_listing.h"

#include "sync/long_path.h"
#include "win/unique_handle.h"

#include <winternl.h>

#include <algorithm>
#include <cwchar>

namespace qf {
namespace {

// Below this a directory costs no call beyond its listing; above it, each file costs a lookup
// by name, which doubles the time of a pass there. Office folders, scans included, stay below;
// at about 100 bytes an entry, both sides of a level hold some 13 MiB at most.
constexpr std::size_t kListingCap = 65536;
std::size_t gListingCap = 0;  // kListingCap

bool IsDotName(const wchar_t* name, std::size_t length)
{
    return (length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.');
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

bool NameEntryLess(const ListedEntry* a, const ListedEntry* b)
{
    return NameOrderLess(a->name, b->name);
}

// A 64-bit mix of one entry's name, attributes and size (FNV-1a, then a final avalanche).
unsigned long long EntryHash(const ListedEntry& entry)
{
    unsigned long long hash = 0xcbf29ce484222325ull;
    auto mix = [&hash](unsigned long long value) {
        hash ^= value;
        hash *= 0x100000001b3ull;
    };
    for (wchar_t c : entry.name)
        mix(static_cast<unsigned long long>(c));
    mix(entry.attributes);
    mix(entry.size);
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdull;
    hash ^= hash >> 33;
    return hash;
}

// Keeps the first ListingCap() entries and the count and fingerprint of all of them. The
// fingerprint does not depend on the order entries come in, which some file systems and
// servers change from one listing to the next.
class ListingBuilder {
public:
    explicit ListingBuilder(DirectoryListing& listing) : listing_(listing) { Restart(); }

    void Restart()
    {
        listing_.entries.clear();
        listing_.complete = true;
        listing_.count = 0;
        sum_ = 0;
        mixed_ = 0;
    }

    void Add(ListedEntry&& entry)
    {
        const unsigned long long hash = EntryHash(entry);
        sum_ += hash;
        mixed_ ^= hash * 0x9E3779B97F4A7C15ull + (hash >> 29);
        ++listing_.count;
        if (listing_.entries.size() < ListingCap())
            listing_.entries.push_back(std::move(entry));
        else
            listing_.complete = false;
    }

    void Finish()
    {
        listing_.fingerprint.resize(16);
        for (int i = 0; i < 8; ++i) {
            listing_.fingerprint[i] = static_cast<unsigned char>(sum_ >> (8 * i));
            listing_.fingerprint[8 + i] = static_cast<unsigned char>(mixed_ >> (8 * i));
        }
    }

private:
    DirectoryListing& listing_;
    unsigned long long sum_ = 0;
    unsigned long long mixed_ = 0;
};

}  // namespace

bool ListDirectory(const std::wstring& directory, DirectoryListing& listing)
{
    listing = DirectoryListing{};
    DirectoryReader reader;
    if (!reader.Open(directory) || !QueryIdentity(reader.Handle(), listing.identity))
        return false;
    ListingBuilder builder(listing);
    ListedEntry entry;
    while (reader.Next(entry))
        builder.Add(std::move(entry));
    if (reader.Failed() && reader.Gave()) {
        // Failed part way: read it all again the other way.
        builder.Restart();
        reader = DirectoryReader();
        reader.Open(directory, true);
        while (reader.Next(entry))
            builder.Add(std::move(entry));
    }
    if (reader.Failed()) {
        listing.entries.clear();
        return false;
    }
    builder.Finish();
    return true;
}

std::size_t ListingCap()
{
    return gListingCap ? gListingCap : kListingCap;
}

void SetListingCapForTesting(std::size_t cap)
{
    gListingCap = cap;
}

bool SameVolume(const std::wstring& first, const std::wstring& second)
{
    DWORD a = 0;
    DWORD b = 0;
    return VolumeSerial(first, a) && VolumeSerial(second, b) && a == b;
}

bool DirectoryReader::Open(const std::wstring& directory, bool throughFind)
{
    directory_ = directory;
    throughFind_ = throughFind;
    if (throughFind)
        return true;
    handle_ = OpenDirectory(directory);
    return static_cast<bool>(handle_);
}

bool DirectoryReader::Next(ListedEntry& entry)
{
    while (!ended_ && !failed_) {
        if (throughFind_) {
            if (NextFound(entry))
                return true;
            continue;
        }
        if (!haveRecord_) {
            haveRecord_ = FetchFromHandle();
            continue;
        }
        auto info = reinterpret_cast<const FILE_FULL_DIR_INFO*>(reinterpret_cast<const unsigned char*>(buffer_.data()) +
                                                                next_);
        if (info->NextEntryOffset == 0)
            haveRecord_ = false;
        else
            next_ += info->NextEntryOffset;
        std::size_t length = info->FileNameLength / sizeof(wchar_t);
        if (IsDotName(info->FileName, length))
            continue;
        entry.name.assign(info->FileName, length);
        entry.attributes = info->FileAttributes;
        entry.size = static_cast<unsigned long long>(info->EndOfFile.QuadPart);
        gave_ = true;
        return true;
    }
    return false;
}

// One buffer of records through the handle, so a directory costs one open however many
// entries it has. A file system that cannot be asked this way is read through find instead,
// as long as nothing was given yet.
bool DirectoryReader::FetchFromHandle()
{
    if (buffer_.empty())
        buffer_.resize(64 * 1024 / sizeof(LONGLONG));
    FILE_INFO_BY_HANDLE_CLASS kind = started_ ? FileFullDirectoryInfo : FileFullDirectoryRestartInfo;
    started_ = true;
    next_ = 0;
    if (GetFileInformationByHandleEx(handle_.get(), kind, buffer_.data(),
                                     static_cast<DWORD>(buffer_.size() * sizeof(LONGLONG))))
        return true;
    if (GetLastError() == ERROR_NO_MORE_FILES)
        ended_ = true;
    else if (gave_)
        failed_ = true;
    else
        throughFind_ = true;
    return false;
}

// The next entry through FindFirstFileExW, "." and ".." included (Next passes over them).
bool DirectoryReader::NextFound(ListedEntry& entry)
{
    WIN32_FIND_DATAW data;
    if (!find_) {
        find_.reset(FindFirstFileExW((directory_ + L"*.*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH));
        if (!find_) {
            // An empty drive root has no "." either.
            if (GetLastError() == ERROR_FILE_NOT_FOUND)
                ended_ = true;
            else
                failed_ = true;
            return false;
        }
    } else if (!FindNextFileW(find_.get(), &data)) {
        if (GetLastError() == ERROR_NO_MORE_FILES)
            ended_ = true;
        else
            failed_ = true;
        return false;
    }
    std::size_t length = std::wcslen(data.cFileName);
    if (IsDotName(data.cFileName, length))
        return false;
    entry.name.assign(data.cFileName, length);
    entry.attributes = data.dwFileAttributes;
    entry.size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    gave_ = true;
    return true;
}

bool NameOrderLess(const std::wstring& a, const std::wstring& b)
{
    const int order = CompareNames(a, b);
    return order == CSTR_LESS_THAN || (order == CSTR_EQUAL && a < b);
}

namespace {

// Calls `visit` for each entry the file system finds for `name` alone (the pattern is the name
// itself, which holds no wildcard on the platform's file systems; what comes back is checked
// all the same, and names that differ in case may all come back).
template <typename Visit>
Lookup EachNamed(const std::wstring& directory, const std::wstring& name, Visit visit)
{
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileExW((directory + name).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                     nullptr, 0));
    if (!find) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Lookup::Missing : Lookup::Failed;
    }
    bool found = false;
    do {
        if (CompareNames(data.cFileName, name) == CSTR_EQUAL) {
            ListedEntry entry;
            entry.name = data.cFileName;
            entry.attributes = data.dwFileAttributes;
            entry.size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            found = true;
            if (!visit(entry))
                return Lookup::Found;
        }
    } while (FindNextFileW(find.get(), &data));
    if (GetLastError() != ERROR_NO_MORE_FILES)
        return Lookup::Failed;
    return found ? Lookup::Found : Lookup::Missing;
}

}  // namespace

Lookup FindEntry(const std::wstring& directory, const std::wstring& name, ListedEntry& entry)
{
    bool first = true;
    return EachNamed(directory, name, [&](ListedEntry& found) {
        if (first || found.name == name)
            entry = std::move(found);
        first = false;
        return entry.name != name;
    });
}

NameIndex::NameIndex(const std::vector<ListedEntry>& entries)
{
    sorted_.reserve(entries.size());
    for (const ListedEntry& entry : entries)
        sorted_.push_back(&entry);
    std::sort(sorted_.begin(), sorted_.end(), NameEntryLess);
}

const ListedEntry* NameIndex::Find(const std::wstring& name) const
{
    auto at = std::lower_bound(sorted_.begin(), sorted_.end(), name, [](const ListedEntry* entry, const std::wstring& n) {
        return CompareNames(entry->name, n) == CSTR_LESS_THAN;
    });
    if (at == sorted_.end() || CompareNames((*at)->name, name) != CSTR_EQUAL)
        return nullptr;
    for (auto twin = at; twin != sorted_.end() && CompareNames((*twin)->name, name) == CSTR_EQUAL; ++twin)
        if ((*twin)->name == name)
            return *twin;
    return *at;
}

std::vector<std::wstring> LaterTwins(const std::vector<ListedEntry>& entries)
{
    std::vector<std::wstring> later;
    for (const bool directories : {false, true}) {
        std::vector<const ListedEntry*> sorted;
        for (const ListedEntry& entry : entries)
            if (entry.IsDirectory() == directories)
                sorted.push_back(&entry);
        std::sort(sorted.begin(), sorted.end(), NameEntryLess);
        for (std::size_t i = 1; i < sorted.size(); ++i)
            if (CompareNames(sorted[i - 1]->name, sorted[i]->name) == CSTR_EQUAL)
                later.push_back(sorted[i]->name);
    }
    std::sort(later.begin(), later.end());
    return later;
}

namespace {

// A hash of the name as the file system compares it, case ignored (the invariant upper case,
// the table ordinal comparison ignoring case uses).
unsigned long long CaselessHash(const std::wstring& name)
{
    std::wstring upper(name.size(), L'\0');
    if (!name.empty() && LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.c_str(),
                                       static_cast<int>(name.size()), &upper[0], static_cast<int>(upper.size()),
                                       nullptr, nullptr, 0) != static_cast<int>(name.size()))
        upper = name;
    ListedEntry entry;
    entry.name = std::move(upper);
    return EntryHash(entry);
}

}  // namespace

bool ReadLaterTwins(const std::wstring& directory, std::vector<std::wstring>& later)
{
    later.clear();
    std::vector<unsigned long long> hashes;
    DirectoryReader first;
    ListedEntry entry;
    if (!first.Open(directory))
        return false;
    while (first.Next(entry))
        hashes.push_back(CaselessHash(entry.name) ^ entry.IsDirectory());
    if (first.Failed())
        return false;
    std::sort(hashes.begin(), hashes.end());
    std::vector<unsigned long long> repeated;
    for (std::size_t i = 1; i < hashes.size(); ++i)
        if (hashes[i] == hashes[i - 1] && (repeated.empty() || repeated.back() != hashes[i]))
            repeated.push_back(hashes[i]);
    std::vector<unsigned long long>().swap(hashes);
    if (repeated.empty())
        return true;
    std::vector<ListedEntry> suspects;
    DirectoryReader second;
    if (!second.Open(directory))
        return false;
    while (second.Next(entry))
        if (std::binary_search(repeated.begin(), repeated.end(), CaselessHash(entry.name) ^ entry.IsDirectory()))
            suspects.push_back(entry);
    if (second.Failed())
        return false;
    later = LaterTwins(suspects);
    return true;
}

}  // namespace qf
