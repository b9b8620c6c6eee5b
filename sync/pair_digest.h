#pragma once
// Compares files by the MD5 digests of their contents, the way FileDigest would, but faster:
// the second files of the pairs are read and hashed in order on a helper thread while the
// caller reads and hashes the first files, so the two sides go on at the same time on two
// cores. Memory stays at one block per side whatever the file sizes.
//
//   PairDigest digests;                       // for one pass, on one thread
//   std::size_t t = digests.Submit(target, source);
//   ...                                       // other work, more Submits
//   bool same = digests.SameContent(t);       // waits for that pair
//
// Hand-overs are counted, since each one that blocks a thread is a round trip to the kernel
// (to the Wine server there): the helper is woken when it has run dry and pairs come, and the
// caller, once it has read every first file queued, sleeps at most once, until the helper has
// read every second file queued. So a directory's pairs cost two waits, not one per file.
//
// The helper starts at the first Submit, takes on the mode (priority, background) of the
// thread that submits, and ends with the PairDigest: it never outlives it. Where it cannot be
// started, the second files are read on the calling thread too.
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
    PairDigest() = default;
    ~PairDigest();
    PairDigest(const PairDigest&) = delete;
    PairDigest& operator=(const PairDigest&) = delete;

    // Queues a pair; the ticket names it for Await.
    std::size_t Submit(const std::wstring& first, const std::wstring& second);
    // Waits for a submitted pair and gives the digest texts, exactly as FileDigest gives them.
    // Tickets are awaited in the order they were given, each once.
    void Await(std::size_t ticket, std::wstring& firstDigest, std::wstring& secondDigest);
    bool SameContent(std::size_t ticket);

private:
    struct Item {
        std::wstring path;
        std::wstring digest;
    };
    // One side's queue: the items since the results were last dropped, and how many are in.
    struct Side {
        std::deque<Item> items;
        std::size_t done = 0;
    };
    // Reads and hashes one file at a time, with a block of its own.
    class Reader {
    public:
        std::wstring Digest(const std::wstring& path, const std::atomic<bool>& quit);

    private:
        Hasher hasher_;
        std::unique_ptr<unsigned char[]> block_;
    };

    static DWORD WINAPI HelperEntry(void* self);
    void HelperLoop();
    void StartHelper();
    void ReadOwnSide(Side& side, Reader& reader);

    Side first_;   // read on the calling thread
    Side second_;  // read by the helper; guarded by lock_ while it runs
    Reader firstReader_;
    Reader secondReader_;
    KernelHandle helper_;
    bool helperFailed_ = false;
    ThreadMode mode_;
    std::size_t dropped_ = 0;  // tickets whose results are gone
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE work_ = CONDITION_VARIABLE_INIT;  // the helper's: more items, or quit
    CONDITION_VARIABLE done_ = CONDITION_VARIABLE_INIT;  // the caller's: the helper ran dry
    bool helperIdle_ = false;    // asleep on work_, so a Submit must wake it
    bool callerWaiting_ = false; // asleep on done_, so the helper must wake it when dry
    std::atomic<bool> quit_{false};
};

}  // namespace qf
