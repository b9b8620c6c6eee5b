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

DigestReader::DigestReader() = default;
DigestReader::~DigestReader() = default;

std::wstring DigestReader::Digest(const std::wstring& path, const std::atomic<bool>* quit, bool* unreadable)
{
    if (unreadable)
        *unreadable = true;
    try {
        if (!hasher_)
            hasher_ = std::make_unique<Hasher>(kAlgorithmMd5);
        if (!hasher_->Restart())
            return {};  // the platform refused: empty text, as FileDigest gives
        if (!block_)
            block_ = NewContentBlock();
        ContentReader reader(block_ ? path : std::wstring());  // no memory counts as unreadable
        while (std::size_t got = reader.Read(block_.get(), kContentBlockSize)) {
            hasher_->Update(block_.get(), got);
            if (quit && *quit)
                return {};
        }
        if (unreadable)
            *unreadable = reader.Failed();
        return FinishFileDigest(*hasher_, reader.Failed());
    } catch (...) {
        return {};  // no memory for the text: a digest that could not be computed
    }
}

}  // namespace qf
