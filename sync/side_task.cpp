#include "sync/side_task.h"

namespace qf {

SideTask::~SideTask()
{
    AcquireSRWLockExclusive(&lock_);
    quit_ = true;
    ReleaseSRWLockExclusive(&lock_);
    WakeConditionVariable(&work_);
    if (thread_)
        WaitForSingleObject(thread_.get(), INFINITE);
}

void SideTask::Run()
{
    try {
        task_();
    } catch (...) {
        error_ = std::current_exception();
    }
    task_ = nullptr;
}

DWORD WINAPI SideTask::Entry(void* self)
{
    static_cast<SideTask*>(self)->Loop();
    return 0;
}

void SideTask::Loop()
{
    TakeOnThreadMode(mode_);
    AcquireSRWLockExclusive(&lock_);
    for (;;) {
        while (!quit_ && !(pending_ && task_))
            SleepConditionVariableSRW(&work_, &lock_, INFINITE, 0);
        if (quit_)
            break;
        ReleaseSRWLockExclusive(&lock_);
        Run();
        AcquireSRWLockExclusive(&lock_);
        pending_ = false;
        WakeConditionVariable(&done_);
    }
    ReleaseSRWLockExclusive(&lock_);
}

void SideTask::Start(std::function<void()> task)
{
    if (!thread_ && !threadFailed_) {
        mode_ = CurrentThreadMode();
        thread_.reset(CreateThread(nullptr, 0, Entry, this, 0, nullptr));
        threadFailed_ = !thread_;
    }
    if (threadFailed_) {
        task_ = std::move(task);
        Run();
        return;
    }
    AcquireSRWLockExclusive(&lock_);
    task_ = std::move(task);
    pending_ = true;
    ReleaseSRWLockExclusive(&lock_);
    WakeConditionVariable(&work_);
}

void SideTask::Settle() noexcept
{
    AcquireSRWLockExclusive(&lock_);
    while (pending_)
        SleepConditionVariableSRW(&done_, &lock_, INFINITE, 0);
    ReleaseSRWLockExclusive(&lock_);
    error_ = nullptr;
}

void SideTask::Wait()
{
    AcquireSRWLockExclusive(&lock_);
    while (pending_)
        SleepConditionVariableSRW(&done_, &lock_, INFINITE, 0);
    ReleaseSRWLockExclusive(&lock_);
    if (error_) {
        std::exception_ptr error = error_;
        error_ = nullptr;
        std::rethrow_exception(error);
    }
}

}  // namespace qf
