#pragma once
// The engine's temporaries: how they are named and marked, and how a leftover of a killed copy
// is told from a user's file. Every copy first writes ".quenfold-<16 hex>.tmp" beside its
// target, created exclusively and marked with attributes from its first moment.
//
// Two things tell a temporary, and either is enough: the mark, where the storage keeps
// attributes (NTFS, FAT and exFAT on Windows); and a check in the name itself, where it keeps
// none (exFAT and shares seen through some drivers): the last 8 digits are a keyed mix of the
// first 8, which no name a person or another program makes will match by chance. The name's
// form alone never makes a file a temporary.
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
// hexadecimal digits + ".tmp".
bool IsTemporaryName(const std::wstring& name);

// True for names of that form whose check matches: names this engine made.
bool IsCheckedTemporaryName(const std::wstring& name);

// A temporary of a killed copy, as a listing shows it: a file of the form, marked or with a
// matching check.
bool IsLeftover(const std::wstring& name, DWORD attributes);

// A new temporary name, different for every call (in this and other processes), with its check.
std::wstring NewTemporaryName();

// Removes the temporary `name` of a killed copy from `directory` (ending in a separator), if
// the file itself still is one; anything else of that name is left alone.
void RemoveLeftover(const std::wstring& directory, const std::wstring& name);

// Removes a temporary this engine holds no handle to any more, clearing its read-only flag
// first (a read-only file cannot be removed). False when it is still there.
bool RemoveTemporary(const std::wstring& path);

}  // namespace qf
