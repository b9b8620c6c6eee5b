#include "sync/safe_copy.h"

#include "sync/content_reader.h"
#include "sync/temporary_file.h"
#include "win/unique_handle.h"

#include <algorithm>
#include <vector>

namespace qf {

// What tells whether a file changed while it was read, and what its copy takes over.
struct FileState {
    LARGE_INTEGER lastWrite{};
    unsigned long long size = 0;
    DWORD attributes = 0;
};

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// FAT keeps times to 2 s: a time within that was kept.
constexpr long long kTimeTolerance = 2 * 10000000ll;

const PlaceCalls* gCalls = nullptr;  // the platform's

bool RenameOpen(HANDLE file, const std::wstring& destination, bool replace)
{
    return gCalls ? gCalls->renameOpen(file, destination, replace) : RenameOpenFile(file, destination, replace);
}

bool RenameClosed(const std::wstring& from, const std::wstring& to, bool replace)
{
    return gCalls ? gCalls->renameClosed(from, to, replace) : RenameClosedFile(from, to, replace);
}


// Times, size and attributes from the open handle. Two small queries rather than the one
// that gives all three: Wine answers that one through the file's path, a request to its
// server each time, and these two from the handle alone.
bool QueryState(HANDLE file, FileState& state)
{
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic)) ||
        !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard)))
        return false;
    state.lastWrite = basic.LastWriteTime;
    state.size = static_cast<unsigned long long>(standard.EndOfFile.QuadPart);
    state.attributes = basic.FileAttributes;
    return true;
}

// The attributes the platform's copy gives a new file: the source's own, less those that
// describe how it is stored.
DWORD CopiedAttributes(DWORD source)
{
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                       FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    return (source & kept) ? (source & kept) : FILE_ATTRIBUTE_NORMAL;
}

// The source's last-write time, with or without its attributes; the creation time stays.
bool TakeOver(HANDLE file, const FileState& source, bool withAttributes = true)
{
    FILE_BASIC_INFO info{};
    info.LastWriteTime = source.lastWrite;
    // Given too, as now: some drivers (exFAT's through FUSE) drop a call that leaves one of the
    // two unchanged, and the copy would keep the time of the copy.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    info.LastAccessTime.LowPart = now.dwLowDateTime;
    info.LastAccessTime.HighPart = static_cast<LONG>(now.dwHighDateTime);
    info.FileAttributes = withAttributes ? CopiedAttributes(source.attributes) : 0;
    return SetFileInformationByHandle(file, FileBasicInfo, &info, sizeof(info)) != FALSE;
}

// Where attributes cannot be stored (shares, FUSE drivers without modes) the combined call
// fails, and the time with it: the time alone, then. True when the attributes were given too.
bool TakeOverByPath(const std::wstring& path, const FileState& source)
{
    FileHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return false;
    if (TakeOver(file.get(), source))
        return true;
    TakeOver(file.get(), source, false);
    return false;
}

// True when a placed file still wears the temporary's mark (hidden, and read-only or system)
// while its source does not: a file the user would not see, which must not stay so in silence.
bool StillMarked(DWORD attributes, const FileState& source)
{
    return attributes == INVALID_FILE_ATTRIBUTES ||
           (IsMarked(attributes) && !IsMarked(CopiedAttributes(source.attributes)));
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Another program has the file open without letting it be removed or renamed: nothing can
// replace it now, by any way.
bool IsHeld(const std::wstring& path)
{
    FileHandle probe(CreateFileW(path.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return !probe && GetLastError() == ERROR_SHARING_VIOLATION;
}

bool IsNameTaken(DWORD error)
{
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

// Runs `place`; where it is refused over a read-only destination (as Windows refuses), the
// flag is cleared only for a second try and put back when that fails too, so the old file
// keeps its flag and content.
template <typename Place>
bool OverReadOnly(const std::wstring& destination, Place place)
{
    if (place())
        return true;
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(destination.c_str());
    if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY) || !(attributes & FILE_ATTRIBUTE_READONLY)) {
        SetLastError(error);
        return false;
    }
    const DWORD cleared = attributes & ~FILE_ATTRIBUTE_READONLY;
    if (!SetFileAttributesW(destination.c_str(), cleared ? cleared : FILE_ATTRIBUTE_NORMAL)) {
        SetLastError(error);
        return false;
    }
    if (place())
        return true;
    const DWORD again = GetLastError();
    SetFileAttributesW(destination.c_str(), attributes);
    SetLastError(again);
    return false;
}

// Writes all `size` bytes, however few each write takes.
bool WriteAll(HANDLE to, const unsigned char* block, DWORD size)
{
    for (DWORD at = 0; at < size;) {
        DWORD written = 0;
        if (!WriteFile(to, block + at, size - at, &written, nullptr) || written == 0)
            return false;
        at += written;
    }
    return true;
}

// Reads to the end: only an empty read ends the content, since some redirectors and drivers
// return less than asked before it. False on a failed read or write.
bool CopyContent(HANDLE from, HANDLE to, unsigned char* block, unsigned long long& copied)
{
    copied = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, block, static_cast<DWORD>(kContentBlockSize), &got, nullptr))
            return false;
        if (got == 0)
            return true;
        if (!WriteAll(to, block, got))
            return false;
        copied += got;
    }
}

// Copies exactly `length` bytes from the current place of `from` to that of `to`.
bool CopyRange(HANDLE from, HANDLE to, unsigned char* block, unsigned long long length)
{
    while (length != 0) {
        const DWORD wanted = static_cast<DWORD>(std::min<unsigned long long>(length, kContentBlockSize));
        DWORD got = 0;
        if (!ReadFile(from, block, wanted, &got, nullptr) || got == 0)
            return false;
        if (!WriteAll(to, block, got))
            return false;
        length -= got;
    }
    return true;
}

bool MoveTo(HANDLE file, unsigned long long offset)
{
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != FALSE;
}

bool SetLength(HANDLE file, unsigned long long length)
{
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return SetFileInformationByHandle(file, FileEndOfFileInfo, &info, sizeof(info)) != FALSE;
}

std::wstring FinalPath(HANDLE file)
{
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = GetFinalPathNameByHandleW(file, &path[0], static_cast<DWORD>(path.size()), 0);
        if (length == 0)
            return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.assign(length + 1, L'\0');
    }
    return std::wstring();
}

bool SameText(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// True when `file`, opened under `name` without following a link, is a file of that name in the
// same folder as the finished temporary `beside`, and of that name only: not a link or other
// reparse point (which Windows shows), not a file reached through a link (Wine follows Unix
// links whatever it is asked, and only the path the handle ended at tells), not a file with
// other names (hard links), some of which may be outside the target. Writing into it changes no
// file but the one under this name. Where that cannot be told, it is not written.
bool IsPlainFileUnderName(HANDLE file, HANDLE beside, const std::wstring& name, FILE_BASIC_INFO& basic,
                          FILE_STANDARD_INFO& standard)
{
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic)) ||
        !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard)) ||
        (basic.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) || standard.Directory ||
        standard.NumberOfLinks > 1)
        return false;
    const std::wstring at = FinalPath(file);
    const std::wstring temporary = FinalPath(beside);
    const std::size_t separator = temporary.rfind(L'\\');
    return !at.empty() && separator != std::wstring::npos &&
           SameText(at, temporary.substr(0, separator + 1) + name.substr(name.rfind(L'\\') + 1));
}

// A new temporary in `directory`, created exclusively and marked at once.
FileHandle CreateTemporary(const std::wstring& directory, std::wstring& path)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        path = directory + NewTemporaryName();
        FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                    kTemporaryAttributes | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file || (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS))
            return file;
    }
    return FileHandle();
}

}  // namespace

struct SafeCopy::Job {
    std::wstring destination;
    bool replace = true;
    FileState source;
    std::wstring temporaryPath;
    FileHandle temporary;

    // Removes the temporary: on close where its handle still allows that, else by path.
    void Discard()
    {
        if (temporary) {
            FILE_BASIC_INFO basic{};
            basic.FileAttributes = kDiscardedMark;  // a read-only file cannot be removed
            SetFileInformationByHandle(temporary.get(), FileBasicInfo, &basic, sizeof(basic));
            FILE_DISPOSITION_INFO info{TRUE};
            SetFileInformationByHandle(temporary.get(), FileDispositionInfo, &info, sizeof(info));
            temporary.reset();
        }
        // A share may still hold the file a while after the last handle closed (its close goes
        // on behind the call), and may answer a removal before the file is gone: it is asked
        // again until the name is free, for a few seconds at most.
        for (int attempt = 0; attempt < 200 && Exists(temporaryPath); ++attempt)
            if (!RemoveTemporary(temporaryPath) || Exists(temporaryPath))
                Sleep(25);
    }
};

SafeCopy::SafeCopy() = default;
SafeCopy::~SafeCopy() = default;

bool SafeCopy::Copy(const std::wstring& sourceFile, const std::wstring& targetDirectory, const std::wstring& name,
                    bool replace)
{
    if (!block_ && !(block_ = NewContentBlock()))
        return false;
    FileHandle source(CreateFileW(sourceFile.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    Job job;
    job.destination = targetDirectory + name;
    job.replace = replace;
    if (!source || !QueryState(source.get(), job.source))
        return false;
    // Always a finished temporary first, whatever way it is placed: nothing under the name is
    // touched before the whole content is in, read from one state of the source. Where no
    // temporary can be made (a full disk), nothing is copied.
    job.temporary = CreateTemporary(targetDirectory, job.temporaryPath);
    if (!job.temporary)
        return false;
    const bool copied = Fill(job.temporary.get(), source.get(), job.source);
    source.reset();
    if (!copied) {
        job.Discard();
        return false;
    }
    return Place(job);
}

// Writes the whole content of the source `from` into the temporary `to`; false when that
// failed, or when the source changed while it was read (saved again, still being written):
// then it is no copy of any one state of the file, and the next pass tries again.
bool SafeCopy::Fill(HANDLE to, HANDLE from, const FileState& source)
{
    // A file FAT cannot hold fails before anything is written: the whole length is asked for
    // first, which such a volume refuses at once (as it refuses a lack of space).
    if (source.size >= kFatFileLimit && !SetLength(to, source.size))
        return false;
    unsigned long long bytes = 0;
    FileState after;
    if (!CopyContent(from, to, block_.get(), bytes) || bytes != source.size)
        return false;
    return QueryState(from, after) && after.size == source.size &&
           after.lastWrite.QuadPart == source.lastWrite.QuadPart;
}

// Puts the finished temporary in place: renamed while open where the storage allows it (one
// step, and the handle then gives the time and attributes), else by path once closed, else
// written under the name from the temporary.
bool SafeCopy::Place(Job& job)
{
    if (placing_ == Placing::Unknown)
        placing_ = Probe(job);
    if (placing_ == Placing::ClosedRename)
        return PlaceByPath(job);
    if (placing_ == Placing::InPlace)
        return WriteFromTemporary(job, true);
    HANDLE file = job.temporary.get();
    if (OverReadOnly(job.destination, [&] { return RenameOpen(file, job.destination, job.replace); })) {
        // The time and attributes come only once the file is in place (and after the last
        // write): a copy killed just before leaves the whole file still marked, which the next
        // pass copies again.
        const bool taken = TakeOver(file, job.source);
        job.temporary.reset();
        if (taken) {
            KeepTimes(job);
            return true;
        }
        // Refused on the handle (a storage that keeps no attributes refuses the combined call):
        // given by path, as on storages whose times are set after the close.
        if (times_ == Times::Unknown)
            times_ = Times::SetAfterClose;
        return TakeOverPlaced(job);
    }
    const DWORD error = GetLastError();
    // Held by another program, or (without replace) another file answers to the name: no other
    // way would do better, and none may be tried.
    if ((job.replace && IsHeld(job.destination)) || (!job.replace && IsNameTaken(error))) {
        job.Discard();
        return false;
    }
    return PlaceByPath(job);
}

// The source's time and attributes given by path to the file placed under the name, the time
// alone where attributes cannot be stored. False when the file still wears the temporary's mark
// that its source does not have: the copy is then told as failed (and the next pass, finding it
// marked, copies it again), never left hidden in silence.
bool SafeCopy::TakeOverPlaced(Job& job)
{
    return TakeOverByPath(job.destination, job.source) ||
           !StillMarked(GetFileAttributesW(job.destination.c_str()), job.source);
}

// How the target's storage lets a finished temporary take a name, found on the pass's first
// copy by renaming it to another new temporary name, which can harm nothing: some shares remove
// a rename's destination before they refuse it, so a refusal must never be met over a user's
// file when it can be met over a name of the engine's own.
SafeCopy::Placing SafeCopy::Probe(Job& job)
{
    std::wstring probe = job.temporaryPath.substr(0, job.temporaryPath.rfind(L'\\') + 1) + NewTemporaryName();
    if (RenameOpen(job.temporary.get(), probe, false)) {
        job.temporaryPath = probe;
        return Placing::OpenRename;
    }
    if (GetLastError() == ERROR_ACCESS_DENIED)
        return Placing::OpenRename;  // this folder's permissions: the usual ways decide
    job.temporary.reset();
    if (RenameClosed(job.temporaryPath, probe, false)) {
        job.temporaryPath = probe;
        return Placing::ClosedRename;
    }
    // Some shares report a rename as failed that took place all the same: the temporary then
    // has the probe's name, and must not stay behind under it.
    if (!Exists(job.temporaryPath) && Exists(probe))
        job.temporaryPath = probe;
    return Placing::InPlace;
}

// Writes the closed temporary's content under the name, then removes it.
bool SafeCopy::WriteFromTemporary(Job& job, bool storageCannotRename)
{
    job.temporary.reset();
    FileHandle content(CreateFileW(job.temporaryPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    const bool written = content && WriteInPlace(job, content.get(), storageCannotRename);
    content.reset();
    job.Discard();
    return written;
}

bool SafeCopy::PlaceByPath(Job& job)
{
    job.temporary.reset();
    const std::wstring& from = job.temporaryPath;
    bool placed = OverReadOnly(job.destination, [&] { return RenameClosed(from, job.destination, job.replace); });
    DWORD error = GetLastError();
    // Some storages replace by removing the old file first, then fail to rename: the new one
    // takes the name at once, so the name never stays empty.
    if (!placed && job.replace && !Exists(job.destination)) {
        placed = RenameClosed(from, job.destination, false);
        error = GetLastError();
    }
    if (placed)
        return TakeOverPlaced(job);
    if (!job.replace && IsNameTaken(error) && Exists(job.destination)) {
        job.Discard();
        return false;
    }
    // No rename at all: written under the name from the temporary. Refused with "access
    // denied", that is this file's or folder's permissions (changed, not removed); any other
    // refusal is the storage's (some cannot rename a file while anyone has it open, and under
    // Wine a rename always has it open), so the rest of the pass writes in place at once.
    const bool storageCannotRename = error != ERROR_ACCESS_DENIED;
    const bool written = WriteFromTemporary(job, storageCannotRename);
    if (written && storageCannotRename)
        placing_ = Placing::InPlace;
    return written;
}

// The finished temporary `content` written under the name: over the old file where it may be
// replaced (a read-only one only where the storage renames nothing, as the platform's copy
// refuses it elsewhere), else as a new file where nothing answers to the name. What answers to
// the name is opened without following a link, and written only where it is a plain file of
// that name in the target (see IsPlainFileUnderName). Nothing under the name is touched until
// its whole length is written: a longer content first goes past the old end, then to disk; a
// full disk or a length the volume cannot hold fails there, and the old file is cut back to
// its own length and time, whole. Only then is the old content overwritten, which needs no more
// room; a kill or a failing disk in that step alone can leave the file torn (the next pass,
// finding other content, writes it again). A new file is marked until it is whole (a kill leaves
// it hidden, and the next pass copies a marked file again), and removed when the writing fails.
bool SafeCopy::WriteInPlace(Job& job, HANDLE content, bool storageCannotRename)
{
    FileState temporary;
    if (!QueryState(content, temporary) || temporary.size != job.source.size)
        return false;
    const unsigned long long length = job.source.size;
    const DWORD attributes = GetFileAttributesW(job.destination.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (!job.replace || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))))
        return false;
    const DWORD kOpenFlags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN;
    if (!exists) {
        // Marked hidden and system (not read-only, which would keep the next pass from writing
        // it again where only this folder's permissions refuse renames) until it is whole.
        FileHandle to(CreateFileW(job.destination.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                  kDiscardedMark | kOpenFlags, nullptr));
        if (!to)
            return false;
        if ((length >= kFatFileLimit && !SetLength(to.get(), length)) ||
            !CopyRange(content, to.get(), block_.get(), length)) {
            FILE_DISPOSITION_INFO remove{TRUE};
            SetFileInformationByHandle(to.get(), FileDispositionInfo, &remove, sizeof(remove));
            to.reset();
            // Where the removal on close did not take: the file is still the one made here.
            const DWORD left = GetFileAttributesW(job.destination.c_str());
            if (left != INVALID_FILE_ATTRIBUTES && IsMarked(left))
                RemoveTemporary(job.destination);
            return false;
        }
        to.reset();
        // After the close: a share sets the time of a written file when it is closed.
        return TakeOverPlaced(job);
    }
    // A read-only copy is refused, as the platform's copy refuses it, where the rename was
    // refused for this file's sake; where the storage renames nothing, its flag goes only for
    // the writing (the source's attributes follow), and comes back when that fails.
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !storageCannotRename)
        return false;
    FILE_BASIC_INFO old{};
    FILE_STANDARD_INFO standard{};
    const DWORD kWriting = GENERIC_WRITE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
    FileHandle to(CreateFileW(job.destination.c_str(), kWriting, 0, nullptr, OPEN_EXISTING, kOpenFlags, nullptr));
    bool flagCleared = false;
    if (!to && readOnly) {
        // The flag is taken off through a handle that was shown to be the file itself.
        FileHandle flags(CreateFileW(job.destination.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!flags || !IsPlainFileUnderName(flags.get(), content, job.destination, old, standard))
            return false;
        FILE_BASIC_INFO cleared{};
        cleared.FileAttributes = (old.FileAttributes & ~FILE_ATTRIBUTE_READONLY) ? old.FileAttributes & ~FILE_ATTRIBUTE_READONLY
                                                                                 : FILE_ATTRIBUTE_NORMAL;
        if (!SetFileInformationByHandle(flags.get(), FileBasicInfo, &cleared, sizeof(cleared)))
            return false;
        flagCleared = true;
        flags.reset();
        to.reset(CreateFileW(job.destination.c_str(), kWriting, 0, nullptr, OPEN_EXISTING, kOpenFlags, nullptr));
    }
    // The old file as it was, for a failure before its content is touched: its length and time
    // back, its flag back.
    auto keepOld = [&](bool written, unsigned long long oldLength) {
        if (written)
            SetLength(to.get(), oldLength);
        to.reset();
        if (written) {
            // By path after the close, as some drivers set the time again on close.
            FileState before;
            before.lastWrite = old.LastWriteTime;
            FileHandle times(CreateFileW(job.destination.c_str(), FILE_WRITE_ATTRIBUTES, kShareAll, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            if (times)
                TakeOver(times.get(), before, false);
        }
        if (flagCleared)
            SetFileAttributesW(job.destination.c_str(), attributes);
        return false;
    };
    if (!to || !IsPlainFileUnderName(to.get(), content, job.destination, old, standard))
        return keepOld(false, 0);
    const unsigned long long oldLength = static_cast<unsigned long long>(standard.EndOfFile.QuadPart);
    if (length > oldLength) {
        // The new length first, past the old end only, and to disk: shares and drivers that
        // write behind tell a full disk only there.
        const bool extended = (length < kFatFileLimit || SetLength(to.get(), length)) && MoveTo(content, oldLength) &&
                              MoveTo(to.get(), oldLength) &&
                              CopyRange(content, to.get(), block_.get(), length - oldLength) &&
                              FlushFileBuffers(to.get());
        if (!extended)
            return keepOld(true, oldLength);
    }
    // From here on the old content is overwritten: no more room is needed.
    if (!MoveTo(content, 0) || !MoveTo(to.get(), 0) ||
        !CopyRange(content, to.get(), block_.get(), std::min(length, oldLength)) ||
        (length < oldLength && !SetLength(to.get(), length))) {
        to.reset();
        return false;  // torn: told, and the next pass writes it again
    }
    to.reset();
    // After the close: a share sets the time of a written file when it is closed.
    return TakeOverPlaced(job);
}

// Some drivers set a file's time again when it is closed after writing (exFAT and FAT through
// user-mode drivers): there the time is given once more, by path. The first copy of a pass
// finds out which way its storage goes.
void SafeCopy::KeepTimes(Job& job)
{
    if (times_ == Times::KeptOnHandle)
        return;
    if (times_ == Times::Unknown) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(job.destination.c_str(), GetFileExInfoStandard, &data))
            return;
        const long long kept = (static_cast<long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                               data.ftLastWriteTime.dwLowDateTime;
        const long long difference = kept - job.source.lastWrite.QuadPart;
        if (difference <= kTimeTolerance && difference >= -kTimeTolerance) {
            times_ = Times::KeptOnHandle;
            return;
        }
        times_ = Times::SetAfterClose;
    }
    TakeOverByPath(job.destination, job.source);
}

bool RenameOpenFile(HANDLE file, const std::wstring& destination, bool replace)
{
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + destination.size() * sizeof(wchar_t));
    auto info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(destination.size() * sizeof(wchar_t));
    destination.copy(info->FileName, destination.size());
    return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != FALSE;
}

bool RenameClosedFile(const std::wstring& from, const std::wstring& to, bool replace)
{
    return MoveFileExW(from.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0) != FALSE;
}

void SetPlaceCallsForTesting(const PlaceCalls* calls)
{
    gCalls = calls;
}

}  // namespace qf
