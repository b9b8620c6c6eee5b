#pragma once
// Copies a file into a target directory without ever leaving a half-written file under its
// real name, and without ever writing over a file the engine did not make: the content goes
// into a new temporary beside the target, made exclusively (never over an existing file) and
// marked from the moment it exists, which is then renamed over the target in one step.
//
// The mark is a set of attributes given when the temporary is created: every file system keeps
// them (FAT and exFAT included, which have no streams), they come with every directory listing
// at no extra cost, and a copy killed at any point leaves either a marked temporary or the
// finished file. Only a file whose name has the temporary's form and which carries the mark is
// ever removed as a leftover.
#include <windows.h>

#include <string>

namespace qf {

// Attributes every temporary is created with and keeps until it is in place.
constexpr DWORD kTemporaryAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The part of them that tells a temporary. Windows sets all of them in the creating call; Wine
// sets read-only there too (as the file's mode) but hidden and system a moment later, and shows
// every name starting with "." as hidden, so a copy killed at that moment is still known.
constexpr DWORD kTemporaryMark = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

// What a temporary carries while it is discarded: a read-only file cannot be removed, so that
// flag goes first, and a copy killed just then leaves hidden + system.
constexpr DWORD kDiscardedMark = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

inline bool IsMarked(DWORD attributes)
{
    return (attributes & kTemporaryMark) == kTemporaryMark || (attributes & kDiscardedMark) == kDiscardedMark;
}

// True for names of the form the engine gives its temporaries: ".quenfold-" + 16 lower-case
// hexadecimal digits + ".tmp". The name alone never makes a file a temporary.
bool IsTemporaryName(const std::wstring& name);

// A new temporary name, different for every call (in this and other processes).
std::wstring NewTemporaryName();

// Copies `sourceFile` to `targetDirectory` (ending in a separator) + `name`, keeping the last-
// write time and the attributes as the platform's copy does. A read-only target is replaced
// too: its flag is cleared just before the rename and put back if the rename fails. False when
// the copy failed; the target is then as it was and no temporary is left. `listedSize` is the
// size the listing gave; it only sizes the buffer.
bool SafeCopy(const std::wstring& sourceFile, const std::wstring& targetDirectory, const std::wstring& name,
              unsigned long long listedSize);

// Removes the temporary `name` of a killed copy from `targetDirectory`, if it still carries
// the mark; anything else of that name is left alone.
void RemoveLeftover(const std::wstring& targetDirectory, const std::wstring& name);

// The rename that puts a finished temporary (open as `file`) in place of `destination`,
// replacing it. Windows refuses it over a read-only file, Wine does not; a test puts its own
// in place to play either. Null restores PlaceByRename, the platform's.
using PlaceFunction = bool (*)(HANDLE file, const std::wstring& destination);
bool PlaceByRename(HANDLE file, const std::wstring& destination);
void SetPlaceFunctionForTesting(PlaceFunction place);

}  // namespace qf
