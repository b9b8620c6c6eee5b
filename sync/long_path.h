#pragma once
// Directory paths inside the engine: full, in the extended-length form ("\\?\C:\...",
// "\\?\UNC\server\share\..."), so files deeper than 260 characters are reached too, and
// ending in exactly one separator so an entry name is joined by plain concatenation. The
// user never sees these forms; they stay inside the pass.
#include <string>

namespace qf {

// The extended form of a full path, ending in one separator. A path already in the extended
// or device form is kept as it stands; anything else is not full and gives empty text.
std::wstring ExtendedDirectoryPath(const std::wstring& fullPath);

// A user's directory path (with or without a trailing separator, relative or full) made
// full the way the platform would, then extended. Empty text for an empty path.
std::wstring EngineDirectoryPath(const std::wstring& userPath);

// The directory itself, for calls that open or create it: the trailing separator dropped,
// except at a root ("\\?\C:\", "\\?\UNC\server\share\"), where without it the path would
// name the volume or the share instead.
std::wstring DirectoryOnly(const std::wstring& directoryPath);

}  // namespace qf
