#pragma once
// Compares two files by the MD5 digests of their contents, the way FileDigest would, but
// faster: both files are read block by block on the calling thread (so only that thread ever
// touches the file system, at whatever I/O priority it runs), while one side's blocks are
// hashed on a second core. Memory stays at two blocks whatever the file sizes.
//
// One PairDigest serves one thread for a whole pass; it owns its helper thread, started at
// the first pair large enough to be worth it and ended when the PairDigest goes, and its two
// blocks, taken once: fresh large buffers per file would cost more than reading small files.
#include "sync/md5_hasher.h"
#include "win/unique_handle.h"

#include <memory>
#include <string>

namespace qf {

class PairDigest {
public:
    PairDigest();
    ~PairDigest();
    PairDigest(const PairDigest&) = delete;
    PairDigest& operator=(const PairDigest&) = delete;

    // The digest texts of both files, exactly as FileDigest gives them.
    void Digests(const std::wstring& first, const std::wstring& second,
                 std::wstring& firstDigest, std::wstring& secondDigest);
    bool SameContent(const std::wstring& first, const std::wstring& second);

private:
    struct Job {
        Hasher* hasher = nullptr;
        const unsigned char* bytes = nullptr;
        std::size_t length = 0;
    };
    static DWORD WINAPI HelperEntry(void* self);
    void HelperLoop();
    bool StartHelper();
    void HashAside(Hasher& hasher, const unsigned char* bytes, std::size_t length);
    void WaitAside();

    std::unique_ptr<unsigned char[]> firstBlock_;
    std::unique_ptr<unsigned char[]> secondBlock_;
    Hasher firstHasher_;
    Hasher secondHasher_;

    // Slim locks and condition variables wait in user space where the platform can, so a
    // hand-over costs microseconds, not a kernel object round trip per block.
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE jobReady_ = CONDITION_VARIABLE_INIT;
    CONDITION_VARIABLE jobDone_ = CONDITION_VARIABLE_INIT;
    Job job_;
    bool pending_ = false;
    bool quit_ = false;
    bool helperFailed_ = false;
    KernelHandle helper_;
};

}  // namespace qf
