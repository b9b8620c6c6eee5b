#include "sync/directory_pass.h"

#include "sync/directory_listing.h"
#include "sync/long_path.h"
#include "sync/pair_digest.h"
#include "sync/pass_decision.h"
#include "sync/safe_copy.h"
#include "sync/scheduler.h"

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

namespace qf {
namespace {

// File names a round of copies may touch, compared as the file system compares them.
class ClaimedNames {
public:
    // Claims every name given (null entries are passed over); false, claiming none, when one
    // of them is claimed already.
    template <std::size_t N>
    bool Claim(const std::wstring* const (&names)[N])
    {
        for (const std::wstring* name : names)
            if (name && names_.count(*name))
                return false;
        for (const std::wstring* name : names)
            if (name)
                names_.insert(*name);
        return true;
    }
    void Clear() { names_.clear(); }

private:
    struct Less {
        bool operator()(const std::wstring& a, const std::wstring& b) const
        {
            return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                        TRUE) == CSTR_LESS_THAN;
        }
    };
    std::set<std::wstring, Less> names_;
};

// One pass over a source tree. Each level lists the source and the target directory once
// and decides every file from the two listings; only files whose sizes agree are read, and
// only files that must change are written. A directory is entered only where both sides
// have it, and never while it is already on the way down (a link looping back).
//
// The way down is kept on the heap, not the call stack, so no depth of tree can overflow the
// calling thread's stack.
class Pass {
public:
    void Run(const std::wstring& source, const std::wstring& target);

private:
    struct Level {
        std::wstring source;
        std::wstring target;
        DirectoryListing sources;
        DirectoryListing targets;
        std::unique_ptr<NameIndex> targetNames;  // points into `targets`, so a Level never moves
        std::size_t nextEntry = 0;               // where the sub-directory step goes on
    };

    void Enter(const std::wstring& source, const std::wstring& target);
    bool IsOnTheWay(const DirectoryListing& sources, const DirectoryListing& targets) const;
    struct FileStep {
        const ListedEntry* source;
        const std::wstring* targetName;
        FileAction action;
        std::size_t ticket;  // of the digests, when the content decides
        bool leftover;       // a temporary of an earlier, killed copy lies in the target
    };
    void Files(const Level& level);
    void CarryOut(const Level& level, const std::vector<FileStep>& round);

    PairDigest digest_;
    std::vector<std::unique_ptr<Level>> way_;
};

void Pass::Run(const std::wstring& source, const std::wstring& target)
{
    Enter(source, target);
    while (!way_.empty()) {
        Level& level = *way_.back();
        if (level.nextEntry == level.sources.entries.size()) {
            way_.pop_back();
            continue;
        }
        const ListedEntry& entry = level.sources.entries[level.nextEntry++];
        const ListedEntry* existing = level.targetNames->Find(entry.name);
        if (EntersDirectory(entry, existing))
            Enter(level.source + entry.name + L'\\', level.target + existing->name + L'\\');
    }
}

// A level's files are all handled when it is entered; its sub-directories follow one by one.
void Pass::Enter(const std::wstring& source, const std::wstring& target)
{
    PumpMessages();
    auto level = std::make_unique<Level>();
    // A target that cannot be listed gets no copies: without its listing every file would
    // look missing and be written again.
    if (!ListDirectory(target, level->targets) || !ListDirectory(source, level->sources))
        return;
    if (IsOnTheWay(level->sources, level->targets))
        return;
    level->source = source;
    level->target = target;
    level->targetNames = std::make_unique<NameIndex>(level->targets.entries);
    Files(*level);
    way_.push_back(std::move(level));
}

bool Pass::IsOnTheWay(const DirectoryListing& sources, const DirectoryListing& targets) const
{
    return std::any_of(way_.begin(), way_.end(), [&](const std::unique_ptr<Level>& level) {
        return level->sources.identity == sources.identity || level->targets.identity == targets.identity;
    });
}

// A level's files are decided from the listings first; the pairs that need their digests are
// handed to the digest threads at once, so reading and hashing them overlaps from one pair to
// the next and with the copies, which go on here in listing order. Every file that a copy may
// write is claimed; a file claimed already in this round (a name met twice through case, a
// temporary name, a source that is the target itself) waits for the next round, which begins
// when the earlier files are all done, so each file sees its reads and writes in listing order.
void Pass::Files(const Level& level)
{
    const bool sameDirectory = level.sources.identity == level.targets.identity;
    std::vector<FileStep> round;
    ClaimedNames claimed;
    for (const ListedEntry& entry : level.sources.entries) {
        if (entry.IsDirectory())
            continue;
        const ListedEntry* existing = level.targetNames->Find(entry.name);
        // An existing target keeps the spelling it has.
        const std::wstring& name = existing ? existing->name : entry.name;
        FileAction action = DecideFile(entry, existing);
        std::wstring temporary = TemporaryNameFor(name);
        // A killed copy's temporary must not stay behind once its file needs no copy.
        const bool leftover = level.targetNames->Find(temporary) != nullptr;
        if (action == FileAction::Nothing && !leftover)
            continue;
        const std::wstring* names[] = {&name, &temporary, sameDirectory ? &entry.name : nullptr};
        if (!claimed.Claim(names)) {
            CarryOut(level, round);
            round.clear();
            claimed.Clear();
            claimed.Claim(names);
        }
        FileStep step{&entry, &name, action, 0, leftover};
        if (action == FileAction::CompareContent)
            step.ticket = digest_.Submit(level.target + name, level.source + entry.name);
        round.push_back(step);
    }
    CarryOut(level, round);
}

void Pass::CarryOut(const Level& level, const std::vector<FileStep>& round)
{
    for (const FileStep& step : round) {
        const bool copy = step.action == FileAction::Copy ||
                          (step.action == FileAction::CompareContent && !digest_.SameContent(step.ticket));
        if (copy)
            SafeCopy(level.source + step.source->name, level.target, *step.targetName);
        else if (step.leftover)
            RemoveLeftover(level.target, *step.targetName);
    }
}

}  // namespace

void DirectoryPass(const std::wstring& source, const std::wstring& target)
{
    try {
        // An empty target would be the root of the current drive: never write there.
        std::wstring targetDirectory = EngineDirectoryPath(target);
        if (targetDirectory.empty())
            return;
        CreateDirectoryW(DirectoryOnly(targetDirectory).c_str(), nullptr);
        std::wstring sourceDirectory = EngineDirectoryPath(source);
        if (sourceDirectory.empty()) {
            PumpMessages();
            return;
        }
        Pass pass;
        pass.Run(sourceDirectory, targetDirectory);
    } catch (...) {
        // Out of memory: nothing fails outward; the next pass tries again.
    }
}

}  // namespace qf
