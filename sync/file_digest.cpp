#include "sync/file_digest.h"

#include "sync/content_reader.h"
#include "sync/md5_hasher.h"

namespace qf {

std::wstring FinishFileDigest(Hasher& hasher, bool contentFailed)
{
    if (contentFailed && !hasher.Restart())
        return {};
    std::vector<unsigned char> digest;
    if (!hasher.Finish(digest))
        return {};
    return HexText(digest.data(), digest.size(), false);
}

std::wstring FileDigest(const std::wstring& path)
{
    Hasher hasher(kAlgorithmMd5);
    if (!hasher.Restart())
        return {};
    ContentReader reader(path);
    std::unique_ptr<unsigned char[]> block = reader.Failed() ? nullptr : NewContentBlock(kSingleContentBlockSize);
    if (!block)
        return FinishFileDigest(hasher, true);  // no memory counts as unreadable
    while (std::size_t got = reader.Read(block.get(), kSingleContentBlockSize))
        hasher.Update(block.get(), got);
    return FinishFileDigest(hasher, reader.Failed());
}

}  // namespace qf
