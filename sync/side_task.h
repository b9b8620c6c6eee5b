#pragma once
// Runs one task at a time on a thread of its own while the caller does something else, for
// work that waits on the file system rather than the processor (a directory listing), so the
// two round trips overlap:
//
//   SideTask side;                       // for one pass, on one thread
//   side.Start([&] { listed = ...; });   // goes on beside the caller
//   ...                                  // the caller's own part
//   side.Wait();                         // the task is done; what it threw is thrown here
//
// The thread starts at the first Start, takes on the mode (priority, background) of the
// thread that starts it, and ends with the SideTask. Where it cannot be started, Start runs
// the task on the caller's thread.
#include "sync/thread_mode.h"
#include "win/unique_handle.h"

#include <exception>
#include <functional>

namespace qf {

class SideTask {
public:
    SideTask() = default;
    ~SideTask();
    SideTask(const SideTask&) = delete;
    SideTask& operator=(const SideTask&) = delete;

    // The task must not be running already (Start and Wait alternate).
    void Start(std::function<void()> task);
    void Wait();
    // Waits as Wait does but drops what the task threw: for a caller leaving by an exception
    // of its own, which must not leave the task running on what it is about to free.
    void Settle() noexcept;

private:
    static DWORD WINAPI Entry(void* self);
    void Loop();
    void Run();

    std::function<void()> task_;
    std::exception_ptr error_;
    bool pending_ = false;  // started and not yet done
    bool quit_ = false;
    KernelHandle thread_;
    bool threadFailed_ = false;
    ThreadMode mode_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE work_ = CONDITION_VARIABLE_INIT;
    CONDITION_VARIABLE done_ = CONDITION_VARIABLE_INIT;
};

}  // namespace qf
