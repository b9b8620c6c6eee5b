#pragma once
// Copies a file into a target directory without ever leaving a half-written file under its
// real name: the platform's copy writes a temporary file beside the target, which is then
// renamed over it in one step. Until the rename the old target stays whole; a process killed
// mid-copy leaves at most the temporary, which the next copy of the same file overwrites.
#include <string>

namespace qf {

// The temporary name used while copying to `name`: the same for every copy of that file, so
// a leftover is reused, and unlike any name a user would give a file.
std::wstring TemporaryNameFor(const std::wstring& name);

// Copies `sourceFile` to `targetDirectory` (ending in a separator) + `name`, keeping what the
// platform's copy keeps (last-write time, attributes). False when it failed; the target is
// then as it was and no temporary is left.
bool SafeCopy(const std::wstring& sourceFile, const std::wstring& targetDirectory, const std::wstring& name);

// Removes the temporary that a killed copy to `name` left in `targetDirectory`.
void RemoveLeftover(const std::wstring& targetDirectory, const std::wstring& name);

}  // namespace qf
