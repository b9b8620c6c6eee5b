#pragma once
// Reads one file's content in large sequential blocks, the way the digest sees it. Opened with
// every kind of sharing allowed, so that a file an editor holds open is read all the same, and
// other programs may read, write, rename and remove it meanwhile. The platform still refuses to
// replace a file any program holds open, so a save that renames a new file over it can be
// refused while it is read: the file is closed as soon as its content is in. A file that cannot
// be opened, or whose read fails part-way, counts as empty content.
#include "win/unique_handle.h"

#include <cstddef>
#include <memory>
#include <string>

namespace qf {

// Large enough that reads are few and sequential, small enough that two blocks (one per side
// of a pair) stay a few MiB whatever the file sizes.
constexpr std::size_t kContentBlockSize = 1024 * 1024;

class ContentReader {
public:
    explicit ContentReader(const std::wstring& path);

    // Fills up to `capacity` bytes; 0 once the content has ended or the file failed. Only an
    // empty read ends the content: some redirectors and drivers give less than asked before it.
    std::size_t Read(unsigned char* buffer, std::size_t capacity);
    bool Ended() const { return ended_; }
    // True when the file could not be opened or read: its content counts as empty.
    bool Failed() const { return failed_; }

private:
    FileHandle file_;
    bool ended_ = false;
    bool failed_ = false;
};

// A block for a single read-through. Under the size from which the heap maps fresh memory for
// each allocation (measured under Wine: a fresh megabyte costs more than reading a small file).
constexpr std::size_t kSingleContentBlockSize = 256 * 1024;

// A block buffer, or null when memory is short (the caller then treats content as unreadable).
std::unique_ptr<unsigned char[]> NewContentBlock(std::size_t size = kContentBlockSize);

}  // namespace qf
