#include "sync/file_work.h"

namespace qf {
namespace {

// Tasks waiting from which on the caller's time goes to them rather than to finding more.
constexpr std::size_t kPlentyOfTasks = 128;

TaskHook gTaskHook = nullptr;

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

FileWork::~FileWork()
{
    {
        Locked locked(lock_);
        quit_ = true;
    }
    WakeConditionVariable(&work_);
    if (helper_)
        WaitForSingleObject(helper_.get(), INFINITE);
}

DWORD WINAPI FileWork::HelperEntry(void* self)
{
    // Do and Complete throw nothing, so no task the helper took is ever left half done; this
    // only keeps anything else from ending the program.
    try {
        static_cast<FileWork*>(self)->HelperLoop();
    } catch (...) {
    }
    return 0;
}

void FileWork::HelperLoop()
{
    TakeOnThreadMode(mode_);
    Locked locked(lock_);
    for (;;) {
        Task task;
        while (!quit_ && !Take(task, true)) {
            helperIdle_ = true;
            SleepConditionVariableSRW(&work_, &lock_, INFINITE, 0);
            helperIdle_ = false;
        }
        if (quit_)
            return;
        Outcome outcome;
        ReleaseSRWLockExclusive(&lock_);
        Do(task, helperWorker_, outcome);
        AcquireSRWLockExclusive(&lock_);
        Complete(task, outcome);
        if (task.kind == Task::Kind::Copy)
            bothCopy_ = helperWorker_.copier.PlacesWhileOpen();
        if (callerWaiting_) {
            callerWaiting_ = false;
            WakeConditionVariable(&changed_);
        }
    }
}

void FileWork::StartHelper()
{
    if (helper_ || helperFailed_)
        return;
    mode_ = CurrentThreadMode();
    helper_.reset(CreateThread(nullptr, 0, HelperEntry, this, 0, nullptr));
    helperFailed_ = !helper_;
}

// The oldest task nobody has taken: a copy to make again alone once no other is being made,
// else a due copy, since it frees its file soonest, else the next read. Until the storage is
// known to be the usual one, a copy goes on with nothing beside it: shares settle what a copy
// leaves (a removed temporary, a time) only once the other calls through them are done.
// Under the lock.
bool FileWork::Take(Task& task, bool mayCopy)
{
    if (!bothCopy_ && copying_ != 0)
        return false;
    if (mayCopy && (bothCopy_ || busy_ == 0)) {
        if (!retries_.empty()) {
            if (copying_ == 0)
                return TakeCopy(task, retries_, true);
        } else if (!copies_.empty() && !alone_) {
            return TakeCopy(task, copies_, false);
        }
    }
    return TakeHash(task);
}

bool FileWork::TakeCopy(Task& task, std::deque<std::size_t>& from, bool retry)
{
    task.kind = Task::Kind::Copy;
    task.index = from.front();
    from.pop_front();
    --untaken_;
    task.retry = retry;
    task.alone = copying_ == 0;
    task.started = copiesBegun_++;
    ++copying_;
    ++busy_;
    alone_ = retry;
    return true;
}

bool FileWork::TakeHash(Task& task)
{
    for (; nextHash_ < first_ + entries_.size(); ++nextHash_) {
        Entry& entry = At(nextHash_);
        if (entry.file.action != FileAction::CompareContent || entry.hashesTaken == 2)
            continue;
        task.kind = Task::Kind::Hash;
        task.index = nextHash_;
        task.side = entry.hashesTaken++;
        --untaken_;
        ++busy_;
        return true;
    }
    return false;
}

// Outside the lock: the entry stays where it is, and nobody else touches what the task needs.
void FileWork::Do(Task& task, Worker& worker, Outcome& outcome)
{
    const FileToDo* file;
    {
        Locked locked(lock_);
        file = &At(task.index).file;
    }
    const FilePlace& place = *file->place;
    try {
        const std::wstring path = task.kind == Task::Kind::Hash && task.side == 0 ? place.target + file->targetName
                                                                                 : place.source + file->sourceName;
        if (gTaskHook)
            gTaskHook(path, task.kind == Task::Kind::Copy);
        if (task.kind == Task::Kind::Hash)
            outcome.digest = worker.reader.Digest(path, &quit_, &outcome.unreadable);
        else
            outcome.copied = worker.copier.Copy(path, place.target, file->targetName, file->replace);
    } catch (...) {
        // No memory: the copy fails, the file counts as unreadable.
        outcome.copied = false;
        outcome.unreadable = true;
    }
}

// Takes in what a task found; true while copies wait, which the other thread may now be
// free to begin. Under the lock. Throws nothing: where a queue cannot grow, the file fails.
bool FileWork::Complete(const Task& task, Outcome& outcome)
{
    Entry& entry = At(task.index);
    --busy_;
    if (task.kind == Task::Kind::Copy) {
        --copying_;
        if (task.retry)
            alone_ = false;
        const bool ranAlone = task.alone && copiesBegun_ == task.started + 1;
        bool again = !outcome.copied && !ranAlone && !entry.retried;
        if (again) {
            try {
                retries_.push_back(task.index);
                entry.retried = true;
                ++untaken_;
            } catch (...) {
                again = false;
            }
        }
        if (!again) {
            entry.failed = !outcome.copied;
            entry.done = true;
        }
    } else {
        entry.digests[task.side] = std::move(outcome.digest);
        entry.unreadable[task.side] = outcome.unreadable;
        if (++entry.hashesDone == 2)
            Compared(entry, task.index);
    }
    return !copies_.empty() || !retries_.empty();
}

// Both sides read: a failed read is never taken for equal content. Where the source could not
// be read (or no digest computed) nothing can be copied, and that is told; where only the
// target could not be read, the source replaces it. Under the lock.
void FileWork::Compared(Entry& entry, std::size_t index)
{
    const bool targetRead = !entry.unreadable[0];
    if (entry.unreadable[1] || entry.digests[1].empty() || (targetRead && entry.digests[0].empty())) {
        entry.done = entry.failed = true;
        return;
    }
    if (targetRead && entry.digests[0] == entry.digests[1]) {
        entry.done = true;
        return;
    }
    try {
        copies_.push_back(index);
        ++untaken_;
    } catch (...) {
        entry.done = entry.failed = true;
    }
}

void FileWork::Add(FileToDo file)
{
    StartHelper();
    bool wake = false;
    {
        Locked locked(lock_);
        const std::size_t index = first_ + entries_.size();
        entries_.emplace_back();
        Entry& entry = entries_.back();
        entry.file = std::move(file);
        switch (entry.file.action) {
        case FileAction::CompareContent:
            untaken_ += 2;
            break;
        case FileAction::Copy:
            copies_.push_back(index);
            ++untaken_;
            break;
        default:
            entry.done = true;
            entry.failed = true;
            break;
        }
        wake = helperIdle_ && untaken_ != 0;
        if (wake)
            helperIdle_ = false;  // one wake is enough until it sleeps again
    }
    if (wake)
        WakeConditionVariable(&work_);
}

std::size_t FileWork::Waiting()
{
    Locked locked(lock_);
    return entries_.size();
}

bool FileWork::Plenty()
{
    Locked locked(lock_);
    return untaken_ >= kPlentyOfTasks;
}

// The files at the front that are done, dropped; those that failed go to `failures`. Under the
// lock.
void FileWork::TakeDone(std::vector<FileToDo>& failures)
{
    while (!entries_.empty() && entries_.front().done) {
        if (entries_.front().failed)
            failures.push_back(std::move(entries_.front().file));
        entries_.pop_front();
        ++first_;
    }
    if (nextHash_ < first_)
        nextHash_ = first_;
}

void FileWork::Tell(const std::vector<FileToDo>& failures)
{
    for (const FileToDo& file : failures)
        failed_(file);
}

bool FileWork::DoOne()
{
    std::vector<FileToDo> failures;
    Task task;
    bool took;
    {
        Locked locked(lock_);
        TakeDone(failures);
        took = Take(task, helperFailed_ || bothCopy_);
        if (!took && !entries_.empty() && !helperFailed_) {
            // All that is left is on the helper: wait until it has done a task.
            callerWaiting_ = true;
            while (callerWaiting_)
                SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
            TakeDone(failures);
        }
    }
    Tell(failures);
    if (!took)
        return Waiting() != 0;
    Outcome outcome;
    Do(task, own_, outcome);
    bool wake = false;
    {
        Locked locked(lock_);
        if (Complete(task, outcome) && helperIdle_) {
            helperIdle_ = false;
            wake = true;
        }
    }
    if (wake)
        WakeConditionVariable(&work_);
    return true;
}

void FileWork::Finish()
{
    while (DoOne()) {
    }
}

std::vector<DirectoryIdentity> FileWork::Directories()
{
    std::vector<DirectoryIdentity> used;
    Locked locked(lock_);
    const FilePlace* last = nullptr;
    for (const Entry& entry : entries_) {
        if (entry.file.place.get() != last) {
            used.push_back(entry.file.place->sourceIdentity);
            used.push_back(entry.file.place->targetIdentity);
        }
        last = entry.file.place.get();
    }
    return used;
}

void SetTaskHookForTesting(TaskHook hook)
{
    gTaskHook = hook;
}

}  // namespace qf
