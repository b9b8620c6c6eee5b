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

PairDigest::PairDigest()
{
    for (Side& side : sides_)
        side.owner = this;
}

PairDigest::~PairDigest()
{
    {
        Locked locked(lock_);
        quit_ = true;
    }
    for (Side& side : sides_) {
        WakeConditionVariable(&side.work);
        if (side.thread)
            WaitForSingleObject(side.thread.get(), INFINITE);
    }
}

std::wstring PairDigest::Side::Digest(const std::wstring& path)
{
    try {
        if (!hasher.Restart())
            return {};  // the platform refused: empty text, as FileDigest gives
        if (!block)
            block = NewContentBlock();
        ContentReader reader(block ? path : std::wstring());  // no memory counts as unreadable
        while (std::size_t got = reader.Read(block.get(), kContentBlockSize)) {
            hasher.Update(block.get(), got);
            if (owner->quit_)
                break;  // nobody waits for this digest any more
        }
        return FinishFileDigest(hasher, reader.Failed());
    } catch (...) {
        return {};  // no memory for the text: a digest that could not be computed
    }
}

DWORD WINAPI PairDigest::SideEntry(void* side)
{
    try {
        Side& self = *static_cast<Side*>(side);
        self.owner->SideLoop(self);
    } catch (...) {
    }
    return 0;
}

void PairDigest::SideLoop(Side& side)
{
    TakeOnThreadMode(mode_);
    Locked locked(lock_);
    for (;;) {
        while (!quit_ && side.done == side.items.size())
            SleepConditionVariableSRW(&side.work, &lock_, INFINITE, 0);
        if (quit_)
            return;
        // Items of a deque stay where they are while the submitting thread adds more.
        Item& item = side.items[side.done];
        ReleaseSRWLockExclusive(&lock_);
        std::wstring digest = side.Digest(item.path);
        AcquireSRWLockExclusive(&lock_);
        item.digest = std::move(digest);
        ++side.done;
        WakeAllConditionVariable(&done_);
    }
}

void PairDigest::Start(Side& side)
{
    if (side.thread || side.threadFailed)
        return;
    if (!modeTaken_) {
        mode_ = CurrentThreadMode();
        modeTaken_ = true;
    }
    side.thread.reset(CreateThread(nullptr, 0, SideEntry, &side, 0, nullptr));
    side.threadFailed = !side.thread;
}

// A side without a thread of its own is read here, on the waiting thread.
void PairDigest::CatchUp(Side& side, std::size_t index)
{
    while (side.done <= index) {
        Item& item = side.items[side.done];
        item.digest = side.Digest(item.path);
        ++side.done;
    }
}

std::size_t PairDigest::Submit(const std::wstring& first, const std::wstring& second)
{
    for (Side& side : sides_)
        Start(side);
    std::size_t ticket;
    {
        Locked locked(lock_);
        ticket = dropped_ + sides_[0].items.size();
        sides_[0].items.push_back(Item{first, {}});
        sides_[1].items.push_back(Item{second, {}});
    }
    for (Side& side : sides_)
        WakeConditionVariable(&side.work);
    return ticket;
}

void PairDigest::Await(std::size_t ticket, std::wstring& firstDigest, std::wstring& secondDigest)
{
    const std::size_t index = ticket - dropped_;
    for (Side& side : sides_) {
        if (side.threadFailed)
            CatchUp(side, index);
    }
    Locked locked(lock_);
    while (sides_[0].done <= index || sides_[1].done <= index)
        SleepConditionVariableSRW(&done_, &lock_, INFINITE, 0);
    firstDigest = std::move(sides_[0].items[index].digest);
    secondDigest = std::move(sides_[1].items[index].digest);
    // Once the last pair is in, nothing more is read from the queues: drop them, so a pass
    // holds the paths of one directory at most.
    if (index + 1 == sides_[0].items.size()) {
        dropped_ += sides_[0].items.size();
        for (Side& side : sides_) {
            side.items.clear();
            side.done = 0;
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

void PairDigest::Digests(const std::wstring& first, const std::wstring& second,
                         std::wstring& firstDigest, std::wstring& secondDigest)
{
    Await(Submit(first, second), firstDigest, secondDigest);
}

bool PairDigest::SameContent(const std::wstring& first, const std::wstring& second)
{
    return SameContent(Submit(first, second));
}

}  // namespace qf
