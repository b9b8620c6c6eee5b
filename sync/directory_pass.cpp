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
// Sub-directories a level whose entries were not kept reads again at a time.
std::size_t DirectoriesAtOnce()
{
    return std::max<std::size_t>(1, ListingCap() / 32);
}

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
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
    std::unique_ptr<NameIndex> names;  // over the listing's entries, where built

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
        return identity.file != 0 && identity == earlier.identity && listing.SameEntries(earlier.listing) &&
               SameVolume(path, earlier.path);
    }
    // The same on the target side, whose entries the pass's own copies may have changed since
    // the earlier level was listed: there the earlier directory is listed again, as it is now.
    bool IsAgainChanged(const Side& earlier) const
    {
        if (identity.file == 0 || !(identity == earlier.identity) || !SameVolume(path, earlier.path))
            return false;
        if (listing.SameEntries(earlier.listing))
            return true;
        // Copies add and change files, never directories: where the earlier level's are still
        // known, they must be this one's too before it is worth listing again.
        if (listing.complete && earlier.listing.complete && earlier.names) {
            std::size_t directories = 0;
            for (const ListedEntry& entry : listing.entries) {
                if (!entry.IsDirectory())
                    continue;
                if (++directories > earlier.listing.entries.size() || !earlier.names->Find(entry.name))
                    return false;
            }
            if (directories != earlier.listing.entries.size())
                return false;
        }
        DirectoryListing now;
        return ListDirectory(earlier.path, now) && listing.SameEntries(now);
    }
    // The entry of `name` on this side: from the listing where it holds them all, else asked
    // of the file system by that name.
    Lookup Find(const std::wstring& name, ListedEntry& found) const
    {
        if (!listing.complete)
            return FindEntry(path, name, found);
        const ListedEntry* entry = nullptr;
        if (names) {
            entry = names->Find(name);
        } else {
            auto at = std::find_if(listing.entries.begin(), listing.entries.end(),
                                   [&](const ListedEntry& e) { return SameName(e.name, name); });
            entry = at == listing.entries.end() ? nullptr : &*at;
        }
        if (!entry)
            return Lookup::Missing;
        found = *entry;
        return Lookup::Found;
    }
    // Drops the entries, which this side is then asked for by name.
    void Forget()
    {
        names.reset();
        std::vector<ListedEntry>().swap(listing.entries);
        listing.complete = false;
    }
};

// Calls `visit` for each entry of a side in listing order: from its listing where that holds
// them all, else from the directory read again. False when that reading failed.
template <typename Visit>
bool EachEntry(const Side& side, Visit visit)
{
    if (side.listing.complete) {
        for (const ListedEntry& entry : side.listing.entries)
            visit(entry);
        return true;
    }
    DirectoryReader reader;
    if (!reader.Open(side.path))
        return false;
    ListedEntry entry;
    while (reader.Next(entry))
        visit(entry);
    return !reader.Failed();
}

// One pass over a source tree. Each level lists the source and the target directory once
// and decides every file from the two listings; only files whose sizes agree are read, and
// only files that must change are written. A directory is entered only where both sides
// have it, and never while it is already on the way down (a link looping back).
//
// Memory stays bounded whatever the tree. A listing holds at most ListingCap() entries; a
// larger directory is read again, entry by entry, for its files, and the other side is asked
// for each name alone. The way down keeps of each level only its sub-directories, and only
// while their total stays within a budget; past that, and for larger directories, a level
// reads its source again for them, a few at a time.
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
        std::wstring relative;                  // the names below the rows' directories
        std::size_t nextEntry = 0;  // where the sub-directory step goes on
        std::size_t held = 0;       // entries kept for that step, counted in the way's budget
        bool readAgain = false;     // the step takes the source's sub-directories from new readings
        std::size_t readSoFar = 0;  // source entries those readings have passed
    };

    void Enter(const std::wstring& source, const std::wstring& target, const std::wstring& relative);
    enum class Way { New, SourceAgain, TargetAgain };
    Way OnTheWay(const Level& level) const;
    void RemoveLeftovers(const Level& level);
    struct FileStep {
        std::wstring sourceName;
        std::wstring targetName;
        bool replace;  // the target listing has the name
        FileAction action;
        std::size_t ticket;  // of the digests, when the content decides
    };
    struct Round {
        std::vector<FileStep> steps;
        ClaimedNames claimed;
    };
    void Files(const Level& level);
    void File(const Level& level, const ListedEntry& entry, Round& round);
    void CarryOut(const Level& level, const std::vector<FileStep>& round);
    void KeepForDescent(Level& level);
    bool NextSource(Level& level, ListedEntry& entry);
    bool ReadMoreDirectories(Level& level);

    const std::wstring& sourceRow_;
    const std::wstring& targetRow_;
    PairDigest digest_;
    SafeCopy copier_;
    SideTask side_;
    std::vector<std::unique_ptr<Level>> way_;
    std::size_t held_ = 0;  // entries the way down keeps, all levels together
    PassFailures failures_;
};

void Pass::Run(const std::wstring& source, const std::wstring& target)
{
    Enter(source, target, std::wstring());
    ListedEntry entry;
    ListedEntry existing;
    while (!way_.empty()) {
        Level& level = *way_.back();
        if (!NextSource(level, entry)) {
            held_ -= level.held;
            way_.pop_back();
            continue;
        }
        if (!entry.IsDirectory())
            continue;
        const Lookup found = level.target.Find(entry.name, existing);
        if (found == Lookup::Failed) {
            failures_.AddDirectory(UserPath(sourceRow_, Below(level.relative, entry.name)));
            continue;
        }
        if (EntersDirectory(entry, found == Lookup::Found ? &existing : nullptr))
            Enter(level.source.path + entry.name + L'\\', level.target.path + existing.name + L'\\',
                  Below(level.relative, entry.name));
    }
}

// The next source entry of a level's sub-directory step, false after the last.
bool Pass::NextSource(Level& level, ListedEntry& entry)
{
    if (level.nextEntry == level.source.listing.entries.size() && !ReadMoreDirectories(level))
        return false;
    entry = level.source.listing.entries[level.nextEntry++];
    return true;
}

// The next few sub-directories of a level whose entries were not kept, read again after those
// read before. The directory is closed again at once, so the way down holds no open directory
// (Wine keeps a whole listing in memory for as long as one is open).
bool Pass::ReadMoreDirectories(Level& level)
{
    if (!level.readAgain)
        return false;
    std::vector<ListedEntry>& directories = level.source.listing.entries;
    directories.clear();
    level.nextEntry = 0;
    DirectoryReader reader;
    ListedEntry entry;
    std::size_t read = 0;
    const bool opened = reader.Open(level.source.path);
    while (opened && directories.size() < DirectoriesAtOnce() && reader.Next(entry))
        if (read++ >= level.readSoFar && entry.IsDirectory())
            directories.push_back(entry);
    level.readSoFar = read;
    if (!opened || reader.Failed()) {
        failures_.AddDirectory(UserPath(sourceRow_, level.relative));
        directories.clear();
    }
    level.readAgain = directories.size() == DirectoriesAtOnce();
    return !directories.empty();
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
    // A source that loops back loses nothing by not being entered again; a target that does
    // would take this level's files over an ancestor's, and this level goes without its backup.
    switch (OnTheWay(*level)) {
    case Way::SourceAgain:
        return;
    case Way::TargetAgain:
        failures_.AddDirectory(UserPath(targetRow_, relative));
        return;
    case Way::New:
        break;
    }
    for (Side* side : {&level->source, &level->target})
        if (!side->listing.complete)
            side->Forget();
    if (level->target.listing.complete)
        level->target.names = std::make_unique<NameIndex>(level->target.listing.entries);
    RemoveLeftovers(*level);
    Files(*level);
    KeepForDescent(*level);
    way_.push_back(std::move(level));
}

Pass::Way Pass::OnTheWay(const Level& level) const
{
    for (const std::unique_ptr<Level>& earlier : way_)
        if (level.source.IsAgain(earlier->source))
            return Way::SourceAgain;
    for (const std::unique_ptr<Level>& earlier : way_)
        if (level.target.IsAgainChanged(earlier->target))
            return Way::TargetAgain;
    return Way::New;
}

// Temporaries of killed copies go whether or not their files still exist; a file of that
// form in the source too is the user's (an earlier target used as a source) and stays.
void Pass::RemoveLeftovers(const Level& level)
{
    ListedEntry found;
    EachEntry(level.target, [&](const ListedEntry& entry) {
        if (!IsLeftover(entry.name, entry.attributes))
            return;
        if (level.source.Find(entry.name, found) == Lookup::Missing)
            RemoveLeftover(level.target.path, entry.name);
    });
}

// A level's files are decided from the listings first; the pairs that need their digests are
// handed to the digest threads at once, so reading and hashing them overlaps from one pair to
// the next and with the copies, which go on here in listing order. Every file that a copy may
// write is claimed; a file claimed already in this round (a name met twice through case, a
// source that is the target itself) waits for the next round, which begins when the earlier
// files are all done, so each file sees its reads and writes in listing order.
void Pass::Files(const Level& level)
{
    Round round;
    if (!EachEntry(level.source, [&](const ListedEntry& entry) { File(level, entry, round); }))
        failures_.AddDirectory(UserPath(sourceRow_, level.relative));
    CarryOut(level, round.steps);
}

void Pass::File(const Level& level, const ListedEntry& entry, Round& round)
{
    if (entry.IsDirectory())
        return;
    ListedEntry existing;
    const Lookup found = level.target.Find(entry.name, existing);
    if (found == Lookup::Failed) {
        failures_.AddFile(UserPath(sourceRow_, Below(level.relative, entry.name)));
        return;
    }
    const ListedEntry* target = found == Lookup::Found ? &existing : nullptr;
    // An existing target keeps the spelling it has.
    const std::wstring& name = target ? existing.name : entry.name;
    FileAction action = DecideFile(entry, target);
    if (action == FileAction::Nothing)
        return;
    if (action == FileAction::Blocked) {
        failures_.AddFile(UserPath(sourceRow_, Below(level.relative, entry.name)));
        return;
    }
    const bool sameDirectory = level.source.identity == level.target.identity;
    const std::wstring* names[] = {&name, sameDirectory ? &entry.name : nullptr};
    // A round is bounded too, so what it holds (paths, digests, claims) stays small in a
    // directory of any size.
    if (round.steps.size() == kLargestRound || !round.claimed.Claim(names)) {
        CarryOut(level, round.steps);
        round.steps.clear();
        round.claimed.Clear();
        round.claimed.Claim(names);
    }
    FileStep step{entry.name, name, target != nullptr, action, 0};
    if (action == FileAction::CompareContent)
        step.ticket = digest_.Submit(level.target.path + name, level.source.path + entry.name);
    round.steps.push_back(std::move(step));
}

void Pass::CarryOut(const Level& level, const std::vector<FileStep>& round)
{
    for (const FileStep& step : round) {
        const bool copy = step.action == FileAction::Copy ||
                          (step.action == FileAction::CompareContent && !digest_.SameContent(step.ticket));
        if (copy && !copier_.Copy(level.source.path + step.sourceName, level.target.path, step.targetName, step.replace))
            failures_.AddFile(UserPath(sourceRow_, Below(level.relative, step.sourceName)));
    }
}

// What the way down keeps of a level once its files are done: the sub-directories of both
// sides, while the way's budget allows; otherwise nothing, and the source is read again.
void Pass::KeepForDescent(Level& level)
{
    auto directoriesOnly = [](Side& side) {
        std::vector<ListedEntry>& entries = side.listing.entries;
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [](const ListedEntry& entry) { return !entry.IsDirectory(); }),
                      entries.end());
        entries.shrink_to_fit();
        side.names.reset();
    };
    if (level.source.listing.complete && level.target.listing.complete) {
        directoriesOnly(level.source);
        directoriesOnly(level.target);
        const std::size_t held = level.source.listing.entries.size() + level.target.listing.entries.size();
        if (held_ + held <= 2 * ListingCap()) {
            level.target.names = std::make_unique<NameIndex>(level.target.listing.entries);
            level.held = held;
            held_ += held;
            return;
        }
    }
    level.source.Forget();
    level.target.Forget();
    level.readAgain = true;
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
