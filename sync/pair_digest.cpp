#include "sync/pair_digest.h"

#include "sync/content_reader.h"
#include "sync/file_digest.h"

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

PairDigest::~PairDigest()
{
    {
        Locked locked(lock_);
        quit_ = true;
    }
    WakeConditionVariable(&work_);
    if (helper_)
        WaitForSingleObject(helper_.get(), INFINITE);
}

std::wstring PairDigest::Reader::Digest(const std::wstring& path, const std::atomic<bool>& quit)
{
    try {
        if (!hasher_.Restart())
            return {};  // the platform refused: empty text, as FileDigest gives
        if (!block_)
            block_ = NewContentBlock();
        ContentReader reader(block_ ? path : std::wstring());  // no memory counts as unreadable
        while (std::size_t got = reader.Read(block_.get(), kContentBlockSize)) {
            hasher_.Update(block_.get(), got);
            if (quit)
                break;  // nobody waits for this digest any more
        }
        return FinishFileDigest(hasher_, reader.Failed());
    } catch (...) {
        return {};  // no memory for the text: a digest that could not be computed
    }
}

DWORD WINAPI PairDigest::HelperEntry(void* self)
{
    try {
        static_cast<PairDigest*>(self)->HelperLoop();
    } catch (...) {
    }
    return 0;
}

void PairDigest::HelperLoop()
{
    TakeOnThreadMode(mode_);
    Locked locked(lock_);
    for (;;) {
        while (!quit_ && second_.done == second_.items.size()) {
            // Dry: the caller may be waiting for exactly this.
            if (callerWaiting_)
                WakeConditionVariable(&done_);
            helperIdle_ = true;
            SleepConditionVariableSRW(&work_, &lock_, INFINITE, 0);
            helperIdle_ = false;
        }
        if (quit_)
            return;
        // Items of a deque stay where they are while the submitting thread adds more.
        Item& item = second_.items[second_.done];
        ReleaseSRWLockExclusive(&lock_);
        std::wstring digest = secondReader_.Digest(item.path, quit_);
        AcquireSRWLockExclusive(&lock_);
        item.digest = std::move(digest);
        ++second_.done;
    }
}

void PairDigest::StartHelper()
{
    if (helper_ || helperFailed_)
        return;
    mode_ = CurrentThreadMode();
    helper_.reset(CreateThread(nullptr, 0, HelperEntry, this, 0, nullptr));
    helperFailed_ = !helper_;
}

// Reads every item of a side queued so far on the calling thread.
void PairDigest::ReadOwnSide(Side& side, Reader& reader)
{
    while (side.done < side.items.size()) {
        Item& item = side.items[side.done];
        item.digest = reader.Digest(item.path, quit_);
        ++side.done;
    }
}

std::size_t PairDigest::Submit(const std::wstring& first, const std::wstring& second)
{
    StartHelper();
    const std::size_t ticket = dropped_ + first_.items.size();
    first_.items.push_back(Item{first, {}});
    bool wake;
    {
        Locked locked(lock_);
        second_.items.push_back(Item{second, {}});
        wake = helperIdle_;
        helperIdle_ = false;  // one wake is enough until it sleeps again
    }
    if (wake)
        WakeConditionVariable(&work_);
    return ticket;
}

void PairDigest::Await(std::size_t ticket, std::wstring& firstDigest, std::wstring& secondDigest)
{
    const std::size_t index = ticket - dropped_;
    // Everything queued is read before waiting, so the helper is waited for once per batch.
    ReadOwnSide(first_, firstReader_);
    if (helperFailed_) {
        ReadOwnSide(second_, secondReader_);
    } else {
        Locked locked(lock_);
        if (second_.done <= index) {
            callerWaiting_ = true;
            while (second_.done < second_.items.size())
                SleepConditionVariableSRW(&done_, &lock_, INFINITE, 0);
            callerWaiting_ = false;
        }
    }
    Locked locked(lock_);
    firstDigest = std::move(first_.items[index].digest);
    secondDigest = std::move(second_.items[index].digest);
    // Once the last pair is in, nothing more is read from the queues: drop them, so a pass
    // holds the paths of one directory at most.
    if (index + 1 == first_.items.size()) {
        dropped_ += first_.items.size();
        for (Side* side : {&first_, &second_}) {
            side->items.clear();
            side->done = 0;
        }
    }
}

bool PairDigest::SameContent(std::size_t ticket)
{
    std::wstring firstDigest;
    std::wstring secondDigest;
    Await(ticket, firstDigest, secondDigest);
    return firstDigest == secondDigest;
}

}  // namespace qf
