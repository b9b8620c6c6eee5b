#pragma once
// What the directory pass does with one source entry, decided from the two listings alone.
// Content decides, through the MD5 digests; the listings only spare work whose outcome is
// already certain: a missing target, sizes that differ, two empty files, a directory in the
// way of a file, a file left marked by a killed copy.
#include "sync/directory_listing.h"

namespace qf {

enum class FileAction {
    Nothing,         // the target already holds this content, or no copy could take its place
    Copy,            // the target lacks the file or holds other content
    CompareContent,  // only the digests can tell: copy when they differ
    Blocked,         // a copy is due but cannot be made: a directory holds the name
};

// For a source entry that is not a directory, and the target entry of that name (or null).
FileAction DecideFile(const ListedEntry& source, const ListedEntry* target);

// For a source entry that is a directory: entered only where the target has a directory of
// that name.
bool EntersDirectory(const ListedEntry& source, const ListedEntry* target);

}  // namespace qf
