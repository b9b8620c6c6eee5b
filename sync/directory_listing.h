#pragma once
// One directory read in one go: its identity (its file id, to notice a directory met again
// through a link), a fingerprint of all its entries, and the entries themselves with the
// names, attributes and sizes the listing gives, so the pass never has to probe a file to
// decide about it. Asking the volume costs more than the listing itself on some platforms, so
// the listing leaves it at 0 and SameVolume asks it only where ids agree.
//
// A listing holds at most ListingCap() entries, so a directory of any size costs a bounded
// amount of memory; past that it reads on only to finish the fingerprint and the count, and
// the caller reads the directory again with a DirectoryReader and asks single names with
// FindEntry.
#include "win/unique_handle.h"

#include <windows.h>

#include <cstddef>
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
    bool complete = true;              // false when `entries` holds only the first ListingCap()
    unsigned long long count = 0;      // of all entries
    std::vector<unsigned char> fingerprint;  // of all names, attributes and sizes, in any order

    // Same entries, as far as the fingerprints can tell.
    bool SameEntries(const DirectoryListing& other) const
    {
        return !fingerprint.empty() && count == other.count && fingerprint == other.fingerprint;
    }
};

// Lists `directory` (a path ending in a separator); false when it cannot be opened or read.
bool ListDirectory(const std::wstring& directory, DirectoryListing& listing);

// Entries a listing holds at most. A test sets its own to take the large-directory way with
// a few files; 0 restores the default.
std::size_t ListingCap();
void SetListingCapForTesting(std::size_t cap);

// True when both directories are known to lie on one volume (same serial number). Opens and
// asks both: meant for the rare directories whose ids and entries agree already.
bool SameVolume(const std::wstring& first, const std::wstring& second);

// Reads a directory's entries one at a time, holding only one buffer of them:
//
//   DirectoryReader reader;
//   if (reader.Open(directory))
//       while (reader.Next(entry)) ...;
//   if (reader.Failed()) ...;
//
// Through the open directory handle where the file system allows it, else through
// FindFirstFileExW, as ListDirectory.
class DirectoryReader {
public:
    // False when the directory cannot be opened. `throughFind` skips the handle's way.
    bool Open(const std::wstring& directory, bool throughFind = false);
    HANDLE Handle() const { return handle_.get(); }
    // The next entry in the file system's order, without "." and ".."; false at the end or
    // on a failure.
    bool Next(ListedEntry& entry);
    bool Failed() const { return failed_; }
    // True once an entry was given: a failure after that cannot be mended by starting over.
    bool Gave() const { return gave_; }

private:
    bool FetchFromHandle();
    bool NextFound(ListedEntry& entry);

    std::wstring directory_;
    FileHandle handle_;
    FindHandle find_;
    bool throughFind_ = false;
    bool started_ = false;
    bool ended_ = false;
    bool failed_ = false;
    bool gave_ = false;
    std::vector<LONGLONG> buffer_;  // aligned for the records
    std::size_t next_ = 0;          // offset of the next record, or buffer size at its end
    bool haveRecord_ = false;
};

// How FindEntry found a name.
enum class Lookup { Found, Missing, Failed };

// The entry of `name` in `directory` (a path ending in a separator), asked of the file system
// by that name alone, compared as the file system compares names. Where a directory that tells
// case apart holds several, the one spelt exactly so, as opening by that name would find.
Lookup FindEntry(const std::wstring& directory, const std::wstring& name, ListedEntry& entry);

// Names that differ only in case. A directory that tells case apart (a share served from
// Linux, a folder made case-sensitive) can hold several; a target that does not can hold only
// one of them, so the pass backs up one, always the same: the first in this order, which puts
// names that agree ignoring case together and then orders them exactly.
bool NameOrderLess(const std::wstring& a, const std::wstring& b);

// Looks names up the way the file system compares them: ordinal, ignoring case.
class NameIndex {
public:
    explicit NameIndex(const std::vector<ListedEntry>& entries);
    // The entry of that name, or null; valid while the entries it was built from live. Of
    // names that differ only in case, the one spelt exactly so, else the first.
    const ListedEntry* Find(const std::wstring& name) const;

private:
    std::vector<const ListedEntry*> sorted_;
};

// The entries of a listing whose name has a twin earlier in NameOrderLess among the entries of
// its kind (files with files, directories with directories): those the pass does not back up.
// Sorted, for binary_search.
std::vector<std::wstring> LaterTwins(const std::vector<ListedEntry>& entries);

// The same for a directory too large to hold its listing: read twice, holding 8 bytes an entry
// in between (a hash of each name as case is ignored) and then only the names whose hash
// repeats. False when the directory could not be read.
bool ReadLaterTwins(const std::wstring& directory, std::vector<std::wstring>& later);

}  // namespace qf
