#include "sync/pass_decision.h"

#include "sync/temporary_file.h"

namespace qf {

FileAction DecideFile(const ListedEntry& source, const ListedEntry* target)
{
    if (!target)
        return FileAction::Copy;
    // A file cannot replace a directory. When the source is empty the digests would agree, so
    // nothing is to be done; otherwise the copy would fail, and that is told.
    if (target->IsDirectory())
        return source.size == 0 ? FileAction::Nothing : FileAction::Blocked;
    // Still wearing the temporary's mark while its source has other attributes: a copy was
    // killed after its rename, before it took the source's. The content is whole, but the file
    // would stay hidden (and read-only or system; some drivers keep only part of the mark).
    if (IsMarked(target->attributes) &&
        (target->attributes & kTemporaryAttributes) != (source.attributes & kTemporaryAttributes))
        return FileAction::Copy;
    // A link's listed size is the link's, not that of the content read through it.
    if ((source.attributes | target->attributes) & FILE_ATTRIBUTE_REPARSE_POINT)
        return FileAction::CompareContent;
    if (source.size != target->size)
        return FileAction::Copy;
    if (source.size == 0)
        return FileAction::Nothing;
    return FileAction::CompareContent;
}

bool EntersDirectory(const ListedEntry& source, const ListedEntry* target)
{
    return source.IsDirectory() && target && target->IsDirectory();
}

}  // namespace qf
