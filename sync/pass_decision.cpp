#include "sync/pass_decision.h"

#include "sync/safe_copy.h"

namespace qf {

FileAction DecideFile(const ListedEntry& source, const ListedEntry* target)
{
    if (!target)
        return FileAction::Copy;
    // A file cannot replace a directory. When the source is empty the digests would agree, so
    // nothing is to be done; otherwise the copy would fail, and that is told.
    if (target->IsDirectory())
        return source.size == 0 ? FileAction::Nothing : FileAction::Blocked;
    // Still marked as a temporary: a copy was killed after its rename, before it took the
    // source's attributes. The content is whole, but the file would stay hidden and read-only.
    if (IsMarked(target->attributes) && !IsMarked(source.attributes))
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
