#include "sync/side_reader.h"

namespace qf {
namespace {

class Locked {
public:
    explicit Locked(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~Locked() { ReleaseSRWLockExclusive(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    SRWLOCK& lock_;
};

}  // namespace

SideReader::~SideReader()
{
    {
        Locked locked(lock_);
        quit_ = true;
    }
    WakeConditionVariable(&work_);
    if (helper_)
        WaitForSingleObject(helper_.get(), INFINITE);
}

DWORD WINAPI SideReader::Entry(void* self)
{
    static_cast<SideReader*>(self)->Loop();
    return 0;
}

void SideReader::Do(Job& job)
{
    if (!job.list) {
        job.digest = reader_.Digest(job.path, &quit_);
        return;
    }
    try {
        job.listed = ListDirectory(job.path, job.listing);
    } catch (...) {
        job.listed = false;  // no memory for the entries: a directory that could not be listed
        job.listing = DirectoryListing();
    }
}

void SideReader::Loop()
{
    TakeOnThreadMode(mode_);
    Locked locked(lock_);
    for (;;) {
        while (!quit_ && done_ == first_ + jobs_.size()) {
            helperIdle_ = true;
            SleepConditionVariableSRW(&work_, &lock_, INFINITE, 0);
            helperIdle_ = false;
        }
        if (quit_)
            return;
        // Jobs of a deque stay where they are while the caller adds more and drops taken ones.
        Job& job = jobs_[done_ - first_];
        ReleaseSRWLockExclusive(&lock_);
        Do(job);
        AcquireSRWLockExclusive(&lock_);
        done_.fetch_add(1, std::memory_order_release);
        if (callerWaitsUntil_ != 0 && done_ >= callerWaitsUntil_) {
            callerWaitsUntil_ = 0;
            WakeConditionVariable(&finished_);
        }
    }
}

void SideReader::StartHelper()
{
    if (helper_ || helperFailed_)
        return;
    mode_ = CurrentThreadMode();
    helper_.reset(CreateThread(nullptr, 0, Entry, this, 0, nullptr));
    helperFailed_ = !helper_;
}

SideReader::Ticket SideReader::Add(bool list, const std::wstring& path)
{
    StartHelper();
    Job job;
    job.list = list;
    job.path = path;
    Ticket ticket;
    bool wake;
    {
        Locked locked(lock_);
        ticket = first_ + jobs_.size();
        jobs_.push_back(std::move(job));
        wake = helperIdle_;
        helperIdle_ = false;  // one wake is enough until it sleeps again
    }
    if (helperFailed_) {
        Do(jobs_.back());
        done_.fetch_add(1, std::memory_order_release);
    } else if (wake) {
        WakeConditionVariable(&work_);
    }
    return ticket;
}

SideReader::Ticket SideReader::List(const std::wstring& directory)
{
    return Add(true, directory);
}

SideReader::Ticket SideReader::Digest(const std::wstring& file)
{
    return Add(false, file);
}

void SideReader::Wait(Ticket ticket)
{
    if (Done(ticket))
        return;
    Locked locked(lock_);
    while (!Done(ticket)) {
        callerWaitsUntil_ = ticket + 1;
        SleepConditionVariableSRW(&finished_, &lock_, INFINITE, 0);
    }
    callerWaitsUntil_ = 0;
}

// The job of a ticket, done and not yet taken. The helper no longer touches it.
SideReader::Job& SideReader::Finished(Ticket ticket)
{
    Wait(ticket);
    Locked locked(lock_);
    return jobs_[ticket - first_];
}

// Drops the taken jobs at the front, so the queue holds only what is still to come.
void SideReader::Drop()
{
    Locked locked(lock_);
    while (!jobs_.empty() && jobs_.front().taken) {
        jobs_.pop_front();
        ++first_;
    }
}

bool SideReader::TakeListing(Ticket ticket, DirectoryListing& listing)
{
    Job& job = Finished(ticket);
    listing = std::move(job.listing);
    job.taken = true;
    const bool listed = job.listed;
    Drop();
    return listed;
}

std::wstring SideReader::TakeDigest(Ticket ticket)
{
    Job& job = Finished(ticket);
    std::wstring digest = std::move(job.digest);
    job.taken = true;
    Drop();
    return digest;
}

}  // namespace qf
