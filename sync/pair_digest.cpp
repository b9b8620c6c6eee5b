#include "sync/pair_digest.h"

#include "sync/content_reader.h"
#include "sync/file_digest.h"

namespace qf {
namespace {

// Below this a block is hashed faster than it is handed to the other core and back.
constexpr std::size_t kHandOverMinimum = 64 * 1024;

}  // namespace

PairDigest::PairDigest() : firstBlock_(NewContentBlock()), secondBlock_(NewContentBlock()) {}

PairDigest::~PairDigest()
{
    if (!helper_)
        return;
    AcquireSRWLockExclusive(&lock_);
    quit_ = true;
    ReleaseSRWLockExclusive(&lock_);
    WakeConditionVariable(&jobReady_);
    WaitForSingleObject(helper_.get(), INFINITE);
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
    AcquireSRWLockExclusive(&lock_);
    for (;;) {
        while (!pending_ && !quit_)
            SleepConditionVariableSRW(&jobReady_, &lock_, INFINITE, 0);
        if (quit_)
            break;
        Job job = job_;
        ReleaseSRWLockExclusive(&lock_);
        job.hasher->Update(job.bytes, job.length);
        AcquireSRWLockExclusive(&lock_);
        pending_ = false;
        WakeConditionVariable(&jobDone_);
    }
    ReleaseSRWLockExclusive(&lock_);
}

bool PairDigest::StartHelper()
{
    if (helper_ || helperFailed_)
        return !helperFailed_;
    helper_.reset(CreateThread(nullptr, 0, HelperEntry, this, 0, nullptr));
    helperFailed_ = !helper_;
    // The helper works for the calling thread and takes on its priority, so whatever the
    // caller chose for the pass holds for both cores.
    if (helper_) {
        int priority = GetThreadPriority(GetCurrentThread());
        if (priority != THREAD_PRIORITY_ERROR_RETURN)
            SetThreadPriority(helper_.get(), priority);
    }
    return !helperFailed_;
}

void PairDigest::HashAside(Hasher& hasher, const unsigned char* bytes, std::size_t length)
{
    AcquireSRWLockExclusive(&lock_);
    job_ = Job{&hasher, bytes, length};
    pending_ = true;
    ReleaseSRWLockExclusive(&lock_);
    WakeConditionVariable(&jobReady_);
}

void PairDigest::WaitAside()
{
    AcquireSRWLockExclusive(&lock_);
    while (pending_)
        SleepConditionVariableSRW(&jobDone_, &lock_, INFINITE, 0);
    ReleaseSRWLockExclusive(&lock_);
}

void PairDigest::Digests(const std::wstring& first, const std::wstring& second,
                         std::wstring& firstDigest, std::wstring& secondDigest)
{
    if (!firstBlock_)
        firstBlock_ = NewContentBlock();
    if (!secondBlock_)
        secondBlock_ = NewContentBlock();
    bool haveMemory = firstBlock_ && secondBlock_;

    bool firstHashing = firstHasher_.Restart();
    bool secondHashing = secondHasher_.Restart();
    if (!firstHashing || !secondHashing) {  // the platform refused: empty text, as FileDigest gives
        firstDigest = firstHashing ? FileDigest(first) : std::wstring();
        secondDigest = secondHashing ? FileDigest(second) : std::wstring();
        return;
    }
    ContentReader firstReader(haveMemory ? first : std::wstring());
    ContentReader secondReader(haveMemory ? second : std::wstring());
    while (!firstReader.Ended() || !secondReader.Ended()) {
        std::size_t firstLength = firstReader.Read(firstBlock_.get(), kContentBlockSize);
        std::size_t secondLength = secondReader.Read(secondBlock_.get(), kContentBlockSize);
        if (secondLength >= kHandOverMinimum && firstLength > 0 && StartHelper()) {
            HashAside(secondHasher_, secondBlock_.get(), secondLength);
            firstHasher_.Update(firstBlock_.get(), firstLength);
            WaitAside();
        } else {
            firstHasher_.Update(firstBlock_.get(), firstLength);
            secondHasher_.Update(secondBlock_.get(), secondLength);
        }
    }
    firstDigest = FinishFileDigest(firstHasher_, firstReader.Failed());
    secondDigest = FinishFileDigest(secondHasher_, secondReader.Failed());
}

bool PairDigest::SameContent(const std::wstring& first, const std::wstring& second)
{
    std::wstring firstDigest;
    std::wstring secondDigest;
    Digests(first, second, firstDigest, secondDigest);
    return firstDigest == secondDigest;
}

}  // namespace qf
