#include "sync/pass_decision.h"

namespace qf {

FileAction DecideFile(const ListedEntry& source, const ListedEntry* target)
{
    if (!target)
        return FileAction::Copy;
    // A file cannot replace a directory; when the source is empty the digests would even agree.
    if (target->IsDirectory())
        return FileAction::Nothing;
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
