#pragma once
// Copies a file into a target directory without ever writing over a file the engine did not
// mean to replace, and without getting in the way of the programs the user works in:
//
//   SafeCopy copier;                 // one per pass, on one thread
//   bool done = copier.Copy(source, targetDirectory, name, replace);
//
// The source is read with every kind of sharing allowed, so a file an editor holds open is
// backed up, and it is open only while it is read. Other programs may read, write, rename and
// remove it meanwhile; but the platform refuses to replace a file that any program holds open,
// so a save that renames a new file over it can be refused during that read. A source that
// changes while it is read is not placed (the next pass tries again).
//
// The content always goes into a new marked temporary beside the target first (see
// temporary_file.h); nothing under the name is touched before that temporary is whole, from one
// state of the source. Where the storage allows it, the temporary then takes the target's name
// in one step, and the name holds either the old file or the whole new one, whatever stops the
// copy. Where it refuses that step (shares refuse to rename an open file; some replace by
// removing first; some let a file be changed but not removed), the copy is placed the way the
// platform's own copy would manage, from the finished temporary: by path once closed, else
// written under the name (see WriteInPlace). Written so, the old file is kept whole when the
// copy fails for room or length, and a link is never written through; only a kill or a failing
// disk while the content is written can leave it torn, which the next pass mends. Whatever
// happens, no temporary the copy made is left behind.
#include "sync/temporary_file.h"

#include <windows.h>

#include <memory>
#include <string>

namespace qf {

// The largest file a FAT or FAT32 volume holds is one byte short of this.
constexpr unsigned long long kFatFileLimit = 1ull << 32;

struct FileState;

class SafeCopy {
public:
    SafeCopy();
    ~SafeCopy();
    SafeCopy(const SafeCopy&) = delete;
    SafeCopy& operator=(const SafeCopy&) = delete;

    // Copies `sourceFile` to `targetDirectory` (ending in a separator) + `name`, keeping the
    // last-write time and the attributes as the platform's copy does. With `replace` the file
    // of that name is replaced (a read-only one too, its flag cleared only for that); without,
    // the copy is placed only where nothing answers to the name, not even a short alias of
    // another file. False when the copy failed; the target is then as it was.
    bool Copy(const std::wstring& sourceFile, const std::wstring& targetDirectory, const std::wstring& name,
              bool replace);

    // True once the copies made found the usual storage: an open file is renamed in one step
    // and the time given on its handle holds. Only there do copies made beside each other
    // place files as surely as one after another.
    bool PlacesWhileOpen() const { return placing_ == Placing::OpenRename && times_ == Times::KeptOnHandle; }

private:
    struct Job;
    bool Fill(HANDLE to, HANDLE from, const FileState& source);
    bool Place(Job& job);
    bool PlaceByPath(Job& job);
    enum class Placing;
    Placing Probe(Job& job);
    bool WriteFromTemporary(Job& job, bool storageCannotRename);
    bool WriteInPlace(Job& job, HANDLE content, bool storageCannotRename);
    bool TakeOverPlaced(Job& job);
    void KeepTimes(Job& job);

    std::unique_ptr<unsigned char[]> block_;
    // What the first copies of a pass found out about the target's storage.
    enum class Times { Unknown, KeptOnHandle, SetAfterClose } times_ = Times::Unknown;
    enum class Placing { Unknown, OpenRename, ClosedRename, InPlace } placing_ = Placing::Unknown;
};

// The calls that put a finished temporary in place. Windows and the storages differ in what
// they refuse; a test puts its own in place to play them. Null restores the platform's.
struct PlaceCalls {
    // Renames the open temporary to `destination`.
    bool (*renameOpen)(HANDLE file, const std::wstring& destination, bool replace);
    // Renames the closed temporary `from` to `to`.
    bool (*renameClosed)(const std::wstring& from, const std::wstring& to, bool replace);
};
bool RenameOpenFile(HANDLE file, const std::wstring& destination, bool replace);
bool RenameClosedFile(const std::wstring& from, const std::wstring& to, bool replace);
void SetPlaceCallsForTesting(const PlaceCalls* calls);

}  // namespace qf
