#pragma once
// Compares files by the MD5 digests of their contents, the way FileDigest would, but faster:
// each side of the pairs (first files, second files) is read and hashed in order on a thread
// of its own, so the two sides go on at the same time on two cores, and the next pairs go on
// while the caller copies or waits for an earlier one. Memory stays at one block per side
// whatever the file sizes.
//
//   PairDigest digests;                       // for one pass, on one thread
//   std::size_t t = digests.Submit(target, source);
//   ...                                       // other work, more Submits
//   bool same = digests.SameContent(t);       // waits for that pair
//
// The two threads start at the first Submit, take on the mode (priority, background) of the
// thread that submits, and end with the PairDigest: none outlives it. Where a thread cannot
// be started its side is read on the calling thread instead.
#include "sync/md5_hasher.h"
#include "sync/thread_mode.h"
#include "win/unique_handle.h"

#include <atomic>
#include <deque>
#include <memory>
#include <string>

namespace qf {

class PairDigest {
public:
    PairDigest();
    ~PairDigest();
    PairDigest(const PairDigest&) = delete;
    PairDigest& operator=(const PairDigest&) = delete;

    // Queues a pair; the ticket names it for Await.
    std::size_t Submit(const std::wstring& first, const std::wstring& second);
    // Waits for a submitted pair and gives the digest texts, exactly as FileDigest gives them.
    // Tickets are awaited in the order they were given, each once.
    void Await(std::size_t ticket, std::wstring& firstDigest, std::wstring& secondDigest);
    bool SameContent(std::size_t ticket);

    void Digests(const std::wstring& first, const std::wstring& second,
                 std::wstring& firstDigest, std::wstring& secondDigest);
    bool SameContent(const std::wstring& first, const std::wstring& second);

private:
    struct Item {
        std::wstring path;
        std::wstring digest;
    };
    struct Side {
        PairDigest* owner = nullptr;
        std::deque<Item> items;  // queued since the results were last dropped
        std::size_t done = 0;    // items whose digest is in
        CONDITION_VARIABLE work = CONDITION_VARIABLE_INIT;
        KernelHandle thread;
        bool threadFailed = false;
        Hasher hasher;
        std::unique_ptr<unsigned char[]> block;

        std::wstring Digest(const std::wstring& path);
    };
    static DWORD WINAPI SideEntry(void* side);
    void SideLoop(Side& side);
    void Start(Side& side);
    void CatchUp(Side& side, std::size_t index);

    Side sides_[2];
    ThreadMode mode_;
    bool modeTaken_ = false;
    std::size_t dropped_ = 0;  // tickets whose results are gone
    // Slim locks and condition variables wait in user space where the platform can, so a
    // hand-over costs microseconds, not a kernel object round trip per file.
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE done_ = CONDITION_VARIABLE_INIT;
    std::atomic<bool> quit_{false};
};

}  // namespace qf
