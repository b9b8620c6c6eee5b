#pragma once
// The files a pass has decided on, and what is still to be done for them: both files read and
// hashed where the content decides, then the copy where it is due. Two threads do the work
// together, the caller's and one helper, each taking the oldest task nobody has taken yet. So
// both sides are read at once, copies of different files go on at once, and neither thread
// waits for the other while there is work it can take:
//
//   FileWork work(failed);            // for one pass, on one thread
//   work.Add(file);                   // the helper may start on it at once
//   while (work.Plenty())
//       work.DoOne();                 // the caller lends a hand
//   work.Finish();                    // everything added is done
//
// Each file sees its two reads and then its copy. The helper makes the copies; the calling
// thread makes them too only once the helper's copies found the usual storage (see
// SafeCopy::PlacesWhileOpen), since shares and user-mode drivers place files surely only one
// after another. A copy that failed while another was being made is made once more alone, so
// that copies never fail for each other (two at once on a nearly full volume, where one alone
// fits). Failures are told to `failed` on the calling thread, in the order the files were
// added.
//
// The helper starts with the first file, takes on the mode (priority, background) of the
// thread that adds it, and ends with the FileWork: it never outlives it. Where it cannot be
// started, the calling thread does all the work.
#include "sync/directory_listing.h"
#include "sync/file_digest.h"
#include "sync/pass_decision.h"
#include "sync/safe_copy.h"
#include "sync/thread_mode.h"
#include "win/unique_handle.h"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qf {

// Where the files of one level are.
struct FilePlace {
    std::wstring source;    // engine form, ending in a separator
    std::wstring target;
    std::wstring relative;  // the names below the rows' directories
    DirectoryIdentity sourceIdentity;
    DirectoryIdentity targetIdentity;
};

struct FileToDo {
    std::shared_ptr<const FilePlace> place;
    std::wstring sourceName;
    std::wstring targetName;
    bool replace = false;  // a file of that name is there to be replaced
    // CompareContent: copied where the digests differ, or where only the target could not be
    // read; where the source could not be read, or no digest computed, it fails. Copy; Blocked:
    // fails at its turn.
    FileAction action = FileAction::Copy;
};

// Called on the thread that does it, just before each read of a file and each copy (with the
// source's path): a test changes, removes or holds files there, as other programs might while
// a pass runs. Null stops it.
using TaskHook = void (*)(const std::wstring& path, bool copy);
void SetTaskHookForTesting(TaskHook hook);

class FileWork {
public:
    using Failed = std::function<void(const FileToDo&)>;

    explicit FileWork(Failed failed) : failed_(std::move(failed)) {}
    ~FileWork();
    FileWork(const FileWork&) = delete;
    FileWork& operator=(const FileWork&) = delete;

    void Add(FileToDo file);
    // Files added and not yet done.
    std::size_t Waiting();
    // True while enough tasks are waiting to keep both threads busy.
    bool Plenty();
    // Does one task on the calling thread, or, where none is left to take, waits until the
    // helper has done one. False once everything added is done.
    bool DoOne();
    void Finish();
    // The ids of the directories that files not yet done read from or write into.
    std::vector<DirectoryIdentity> Directories();

private:
    struct Entry {
        FileToDo file;
        std::wstring digests[2];  // the target's, the source's
        bool unreadable[2] = {false, false};
        int hashesTaken = 0;
        int hashesDone = 0;
        bool done = false;
        bool failed = false;
        bool retried = false;  // its copy failed beside another and is made again alone
    };
    struct Task {
        enum class Kind { Hash, Copy } kind = Kind::Hash;
        std::size_t index = 0;
        int side = 0;
        bool alone = false;        // a copy begun while no other was being made
        std::size_t started = 0;   // copies begun before it
        bool retry = false;
    };
    // What each thread works with.
    struct Worker {
        DigestReader reader;
        SafeCopy copier;
    };

    static DWORD WINAPI HelperEntry(void* self);
    void HelperLoop();
    void StartHelper();
    Entry& At(std::size_t index) { return entries_[index - first_]; }
    bool Take(Task& task, bool mayCopy);
    bool TakeCopy(Task& task, std::deque<std::size_t>& from, bool retry);
    bool TakeHash(Task& task);
    struct Outcome {
        std::wstring digest;
        bool unreadable = false;
        bool copied = false;
    };
    void Do(Task& task, Worker& worker, Outcome& outcome);
    bool Complete(const Task& task, Outcome& outcome);
    void Compared(Entry& entry, std::size_t index);
    void TakeDone(std::vector<FileToDo>& failures);
    void Tell(const std::vector<FileToDo>& failures);

    Failed failed_;
    // Guarded by lock_ while the helper runs.
    std::deque<Entry> entries_;     // from the oldest not yet told
    std::size_t first_ = 0;         // the index of entries_.front()
    std::size_t nextHash_ = 0;      // the first entry that may still have a read to take
    std::deque<std::size_t> copies_;  // entries whose copy is due and not taken
    std::deque<std::size_t> retries_; // entries whose copy is to be made again alone
    std::size_t copying_ = 0;         // copies being made
    std::size_t busy_ = 0;            // tasks being done, copies and reads
    std::size_t copiesBegun_ = 0;
    bool alone_ = false;              // a copy made again alone is being made: no other begins
    bool bothCopy_ = false;           // the calling thread makes copies too
    std::size_t untaken_ = 0;       // tasks waiting to be taken
    bool helperIdle_ = false;       // asleep on work_, so new tasks must wake it
    bool callerWaiting_ = false;    // asleep on changed_, so the helper must wake it
    Worker own_;
    Worker helperWorker_;
    KernelHandle helper_;
    bool helperFailed_ = false;
    ThreadMode mode_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE work_ = CONDITION_VARIABLE_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    std::atomic<bool> quit_{false};
};

}  // namespace qf
