#include "sync/directory_pass.h"

#include "sync/directory_listing.h"
#include "sync/long_path.h"
#include "sync/pair_digest.h"
#include "sync/pass_decision.h"
#include "sync/safe_copy.h"
#include "sync/pump_messages.h"
#include "sync/side_task.h"

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

IdentitySource gIdentitySource = nullptr;

constexpr std::size_t kLargestRound = 1024;

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool SameEntries(const std::vector<ListedEntry>& a, const std::vector<ListedEntry>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const ListedEntry& x, const ListedEntry& y) {
        return x.name == y.name && x.attributes == y.attributes && x.size == y.size;
    });
}

// A path as the user knows it: the row's path, then the names below it, one "\" between.
std::wstring UserPath(const std::wstring& row, const std::wstring& below)
{
    if (below.empty())
        return row;
    std::wstring path = row;
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return path + L'\\' + below;
}

std::wstring Below(const std::wstring& relative, const std::wstring& name)
{
    return relative.empty() ? name : relative + L'\\' + name;
}

// One side of a level: where it is, what it holds and what it is.
struct Side {
    std::wstring path;  // engine form, ending in a separator
    DirectoryListing listing;
    DirectoryIdentity identity;

    bool List()
    {
        if (!ListDirectory(path, listing))
            return false;
        identity = gIdentitySource ? gIdentitySource(path, listing.identity) : listing.identity;
        return true;
    }
    // The same directory met again through a link. Ids alone cannot tell: some file systems
    // give none (zero) and some give one id to many directories, so the entries must agree too.
    bool IsAgain(const Side& earlier) const
    {
        return identity.file != 0 && identity == earlier.identity && SameEntries(listing.entries, earlier.listing.entries) &&
               SameVolume(path, earlier.path);
    }
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
    Pass(const std::wstring& sourceRow, const std::wstring& targetRow) : sourceRow_(sourceRow), targetRow_(targetRow) {}
    void Run(const std::wstring& source, const std::wstring& target);
    const PassFailures& Failures() const { return failures_; }

private:
    struct Level {
        Side source;
        Side target;
        std::wstring relative;  // the names below the rows' directories
        std::unique_ptr<NameIndex> targetNames;  // points into `target`, so a Level never moves
        std::size_t nextEntry = 0;               // where the sub-directory step goes on
    };

    void Enter(const std::wstring& source, const std::wstring& target, const std::wstring& relative);
    bool IsOnTheWay(const Level& level) const;
    void RemoveLeftovers(const Level& level);
    struct FileStep {
        const ListedEntry* source;
        const std::wstring* targetName;
        FileAction action;
        std::size_t ticket;  // of the digests, when the content decides
    };
    void Files(const Level& level);
    void CarryOut(const Level& level, const std::vector<FileStep>& round);

    const std::wstring& sourceRow_;
    const std::wstring& targetRow_;
    PairDigest digest_;
    SideTask side_;
    std::vector<std::unique_ptr<Level>> way_;
    PassFailures failures_;
};

void Pass::Run(const std::wstring& source, const std::wstring& target)
{
    Enter(source, target, std::wstring());
    while (!way_.empty()) {
        Level& level = *way_.back();
        if (level.nextEntry == level.source.listing.entries.size()) {
            way_.pop_back();
            continue;
        }
        const ListedEntry& entry = level.source.listing.entries[level.nextEntry++];
        const ListedEntry* existing = level.targetNames->Find(entry.name);
        if (EntersDirectory(entry, existing))
            Enter(level.source.path + entry.name + L'\\', level.target.path + existing->name + L'\\',
                  Below(level.relative, entry.name));
    }
}

// A level's files are all handled when it is entered; its sub-directories follow one by one.
void Pass::Enter(const std::wstring& source, const std::wstring& target, const std::wstring& relative)
{
    PumpMessages();
    if (way_.size() > kDeepestLevel) {
        failures_.AddDirectory(UserPath(sourceRow_, relative));
        return;
    }
    auto level = std::make_unique<Level>();
    level->source.path = source;
    level->target.path = target;
    level->relative = relative;
    // Both sides are listed at once, the source beside: each listing is a round trip or two
    // that the file system spends waiting, not working.
    bool sourceListed = false;
    Side& sourceSide = level->source;
    side_.Start([&sourceSide, &sourceListed] { sourceListed = sourceSide.List(); });
    bool targetListed = false;
    try {
        targetListed = level->target.List();
    } catch (...) {
        side_.Settle();  // the task works on this level: never leave it running
        throw;
    }
    side_.Wait();
    // A target that cannot be listed gets no copies: without its listing every file would
    // look missing and be written again.
    if (!targetListed) {
        failures_.AddDirectory(UserPath(targetRow_, relative));
        return;
    }
    if (!sourceListed) {
        failures_.AddDirectory(UserPath(sourceRow_, relative));
        return;
    }
    if (IsOnTheWay(*level))
        return;
    level->targetNames = std::make_unique<NameIndex>(level->target.listing.entries);
    RemoveLeftovers(*level);
    Files(*level);
    way_.push_back(std::move(level));
}

bool Pass::IsOnTheWay(const Level& level) const
{
    return std::any_of(way_.begin(), way_.end(), [&](const std::unique_ptr<Level>& earlier) {
        return level.source.IsAgain(earlier->source) || level.target.IsAgain(earlier->target);
    });
}

// Temporaries of killed copies go whether or not their files still exist; a file of that
// form in the source too is the user's (an earlier target used as a source) and stays.
void Pass::RemoveLeftovers(const Level& level)
{
    const std::vector<ListedEntry>& sources = level.source.listing.entries;
    for (const ListedEntry& entry : level.target.listing.entries) {
        if (entry.IsDirectory() || !IsMarked(entry.attributes) || !IsTemporaryName(entry.name))
            continue;
        if (std::none_of(sources.begin(), sources.end(), [&](const ListedEntry& s) { return SameName(s.name, entry.name); }))
            RemoveLeftover(level.target.path, entry.name);
    }
}

// A level's files are decided from the listings first; the pairs that need their digests are
// handed to the digest threads at once, so reading and hashing them overlaps from one pair to
// the next and with the copies, which go on here in listing order. Every file that a copy may
// write is claimed; a file claimed already in this round (a name met twice through case, a
// source that is the target itself) waits for the next round, which begins when the earlier
// files are all done, so each file sees its reads and writes in listing order.
void Pass::Files(const Level& level)
{
    const bool sameDirectory = level.source.identity == level.target.identity;
    std::vector<FileStep> round;
    ClaimedNames claimed;
    for (const ListedEntry& entry : level.source.listing.entries) {
        if (entry.IsDirectory())
            continue;
        const ListedEntry* existing = level.targetNames->Find(entry.name);
        // An existing target keeps the spelling it has.
        const std::wstring& name = existing ? existing->name : entry.name;
        FileAction action = DecideFile(entry, existing);
        if (action == FileAction::Nothing)
            continue;
        if (action == FileAction::Blocked) {
            failures_.AddFile(UserPath(sourceRow_, Below(level.relative, entry.name)));
            continue;
        }
        const std::wstring* names[] = {&name, sameDirectory ? &entry.name : nullptr};
        // A round is bounded too, so what it holds (paths, digests, claims) stays small in a
        // directory of any size.
        if (round.size() == kLargestRound || !claimed.Claim(names)) {
            CarryOut(level, round);
            round.clear();
            claimed.Clear();
            claimed.Claim(names);
        }
        FileStep step{&entry, &name, action, 0};
        if (action == FileAction::CompareContent)
            step.ticket = digest_.Submit(level.target.path + name, level.source.path + entry.name);
        round.push_back(step);
    }
    CarryOut(level, round);
}

void Pass::CarryOut(const Level& level, const std::vector<FileStep>& round)
{
    for (const FileStep& step : round) {
        const bool copy = step.action == FileAction::Copy ||
                          (step.action == FileAction::CompareContent && !digest_.SameContent(step.ticket));
        if (copy && !SafeCopy(level.source.path + step.source->name, level.target.path, *step.targetName,
                             step.source->size))
            failures_.AddFile(UserPath(sourceRow_, Below(level.relative, step.source->name)));
    }
}

}  // namespace

void PassFailures::AddDirectory(const std::wstring& path)
{
    if (directories++ == 0)
        firstDirectory = path;
}

void PassFailures::AddFile(const std::wstring& path)
{
    if (files++ == 0)
        firstFile = path;
}

void PassFailures::Add(const PassFailures& other)
{
    if (directories == 0)
        firstDirectory = other.firstDirectory;
    if (files == 0)
        firstFile = other.firstFile;
    directories += other.directories;
    files += other.files;
}

PassFailures DirectoryPass(const std::wstring& source, const std::wstring& target)
{
    PassFailures failures;
    try {
        // An empty target would be the root of the current drive: never write there.
        if (target.empty())
            return failures;
        std::wstring targetDirectory = EngineDirectoryPath(target);
        if (targetDirectory.empty()) {
            failures.AddDirectory(target);
            return failures;
        }
        CreateDirectoryW(DirectoryOnly(targetDirectory).c_str(), nullptr);
        std::wstring sourceDirectory = EngineDirectoryPath(source);
        if (sourceDirectory.empty()) {
            PumpMessages();
            if (!source.empty())
                failures.AddDirectory(source);
            return failures;
        }
        Pass pass(source, target);
        pass.Run(sourceDirectory, targetDirectory);
        return pass.Failures();
    } catch (...) {
        // Out of memory: nothing fails outward; the next pass tries again.
    }
    return failures;
}

void SetIdentitySourceForTesting(IdentitySource source)
{
    gIdentitySource = source;
}

}  // namespace qf
