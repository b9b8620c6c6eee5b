#pragma once
// Reads one side of a pass on a helper thread while the calling thread works on the other:
// lists directories and hashes files, one job after another in the order they were asked for,
// so each side goes at its own pace and the caller waits only for a result it needs now.
//
//   SideReader side;                              // for one pass, on one thread
//   SideReader::Ticket t = side.List(directory);  // queued; the caller goes on
//   SideReader::Ticket d = side.Digest(file);
//   ...                                           // the caller's own work
//   side.Wait(t);                                 // or look with Done(t) and work on
//   bool listed = side.TakeListing(t, listing);
//
// Hand-overs are counted, since each one that blocks a thread is a round trip to the kernel:
// the helper is woken only when it has run dry and a job comes, and the caller only when it
// sleeps and the job it waits for is done.
//
// The helper starts at the first job, takes on the mode (priority, background) of the thread
// that asks, and ends with the SideReader: it never outlives it, and jobs left untaken are
// dropped. Where it cannot be started, each job is done at once on the calling thread.
#include "sync/directory_listing.h"
#include "sync/file_digest.h"
#include "sync/thread_mode.h"
#include "win/unique_handle.h"

#include <atomic>
#include <deque>
#include <string>

namespace qf {

class SideReader {
public:
    using Ticket = std::size_t;

    SideReader() = default;
    ~SideReader();
    SideReader(const SideReader&) = delete;
    SideReader& operator=(const SideReader&) = delete;

    // `directory` ends in a separator, as ListDirectory takes it.
    Ticket List(const std::wstring& directory);
    Ticket Digest(const std::wstring& file);

    bool Done(Ticket ticket) const { return ticket < done_.load(std::memory_order_acquire); }
    void Wait(Ticket ticket);
    // The result of a job that is done; each is taken once, in any order.
    bool TakeListing(Ticket ticket, DirectoryListing& listing);
    std::wstring TakeDigest(Ticket ticket);

private:
    struct Job {
        bool list = false;
        std::wstring path;
        bool listed = false;
        DirectoryListing listing;
        std::wstring digest;
        bool taken = false;
    };

    static DWORD WINAPI Entry(void* self);
    void Loop();
    void Do(Job& job);
    Ticket Add(bool list, const std::wstring& path);
    void StartHelper();
    Job& Finished(Ticket ticket);
    void Drop();

    std::deque<Job> jobs_;      // from the oldest not yet taken; guarded by lock_
    Ticket first_ = 0;          // the ticket of jobs_.front()
    std::atomic<Ticket> done_{0};  // jobs before this one are done
    DigestReader reader_;
    KernelHandle helper_;
    bool helperFailed_ = false;
    ThreadMode mode_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE work_ = CONDITION_VARIABLE_INIT;  // the helper's: more jobs, or quit
    CONDITION_VARIABLE finished_ = CONDITION_VARIABLE_INIT;  // the caller's: its job is done
    bool helperIdle_ = false;     // asleep on work_, so a new job must wake it
    Ticket callerWaitsUntil_ = 0; // asleep until this many jobs are done; 0 when not asleep
    std::atomic<bool> quit_{false};
};

}  // namespace qf
