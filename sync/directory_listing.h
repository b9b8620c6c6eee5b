#pragma once
// One directory read in one go: its identity (its file id, to notice a directory met again
// through a link) and its entries with the names, attributes and sizes the listing gives, so
// the pass never has to probe a file to decide about it. Asking the volume costs more than
// the listing itself on some platforms, so the listing leaves it at 0 and SameVolume asks it
// only where ids agree.
#include <windows.h>

#include <string>
#include <vector>

namespace qf {

struct ListedEntry {
    std::wstring name;
    DWORD attributes = 0;
    unsigned long long size = 0;

    bool IsDirectory() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

struct DirectoryIdentity {
    DWORD volume = 0;
    unsigned long long file = 0;

    bool operator==(const DirectoryIdentity& other) const { return volume == other.volume && file == other.file; }
};

struct DirectoryListing {
    DirectoryIdentity identity;
    std::vector<ListedEntry> entries;  // in the file system's order, without "." and ".."
};

// Lists `directory` (a path ending in a separator); false when it cannot be opened or read.
bool ListDirectory(const std::wstring& directory, DirectoryListing& listing);

// True when both directories are known to lie on one volume (same serial number). Opens and
// asks both: meant for the rare directories whose ids and entries agree already.
bool SameVolume(const std::wstring& first, const std::wstring& second);

// The entries through FindFirstFileExW with the pattern "*.*": the way to list a file system
// that cannot be asked through an open directory handle.
bool FindDirectoryEntries(const std::wstring& directory, std::vector<ListedEntry>& entries);

// Looks names up the way the file system compares them: ordinal, ignoring case.
class NameIndex {
public:
    explicit NameIndex(const std::vector<ListedEntry>& entries);
    // The entry of that name, or null; valid while the entries it was built from live.
    const ListedEntry* Find(const std::wstring& name) const;

private:
    std::vector<const ListedEntry*> sorted_;
};

}  // namespace qf
