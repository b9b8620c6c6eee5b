#include "sync/directory_pass.h"

#include "sync/directory_listing.h"
#include "sync/file_work.h"
#include "sync/long_path.h"
#include "sync/pass_decision.h"
#include "sync/pump_messages.h"

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
    std::size_t Size() const { return names_.size(); }

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
FailureObserver gFailureObserver = nullptr;

// Files decided on and not yet done, all levels together: enough for the reading to run ahead
// of the listing by many directories, little enough to hold (paths and digests).
constexpr std::size_t kFilesAhead = 1024;
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
    // Perhaps the same directory as `earlier`, met again through a link. Ids alone cannot tell:
    // some file systems give none (zero) and some give one id to many directories, so the
    // entries must agree too. The pass's own copies may have changed the earlier directory's
    // entries since it was listed: there it is listed again, as it is now. Where ids are
    // missing, entries that agree are all there is to go by.
    bool MayBeAgain(const Side& earlier) const
    {
        const bool idsTell = identity.file != 0 && earlier.identity.file != 0;
        if (idsTell && (!(identity == earlier.identity) || !SameVolume(path, earlier.path)))
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
// This thread lists and decides, and the files decided go to a FileWork, whose two threads
// read, hash and copy them while this one lists the next directories; it lends a hand
// whenever the work waiting is plenty. So the listing, the two sides' reading and the copies
// all go on at once, and no thread waits for another at each directory. Each file still sees
// its reads and then its copy. A level that may share a directory with files not yet done
// (ids that agree, or none to compare) waits for them and is listed again, so it sees what the
// earlier levels left, as a pass that took one directory after the other would.
//
// Memory stays bounded whatever the tree. A listing holds at most ListingCap() entries; a
// larger directory is read again, entry by entry, for its files, and the other side is asked
// for each name alone. The way down keeps of each level only its sub-directories, and only
// while their total stays within a budget; past that, and for larger directories, a level
// reads its source again for them, a few at a time. The files decided ahead are bounded too.
//
// The way down is kept on the heap, not the call stack, so no depth of tree can overflow the
// calling thread's stack.
class Pass {
public:
    Pass(const std::wstring& sourceRow, const std::wstring& targetRow, PassFailures& failures)
        : sourceRow_(sourceRow),
          targetRow_(targetRow),
          failures_(failures),
          work_([this](const FileToDo& file) { FileFailed(file); })
    {
    }
    void Run(const std::wstring& source, const std::wstring& target);

private:
    struct Level {
        Side source;
        Side target;
        std::wstring relative;      // the names below the rows' directories
        std::size_t nextEntry = 0;  // where the sub-directory step goes on
        std::size_t held = 0;       // entries kept for that step, counted in the way's budget
        bool readAgain = false;     // the step takes the source's sub-directories from new readings
        std::wstring lastRead;      // the last sub-directory those readings gave, in NameOrderLess
        bool readAny = false;
        std::vector<std::wstring> laterTwins;  // source names not backed up, sorted
    };

    void Enter(const std::wstring& source, const std::wstring& target, const std::wstring& relative);
    void ListBoth(Level& level, bool& sourceListed, bool& targetListed);
    static bool MayBeWritten(const Level& level, const std::vector<DirectoryIdentity>& written);
    bool NextLevel(std::wstring& source, std::wstring& target, std::wstring& relative);
    bool TargetOnTheWay(const Level& level) const;
    static bool IsLaterTwin(const Level& level, const ListedEntry& entry);
    void RemoveLeftovers(const Level& level);
    void Files(const Level& level);
    void File(const Level& level, const std::shared_ptr<const FilePlace>& place, const ListedEntry& entry);
    void FileFailed(const FileToDo& file);
    void KeepForDescent(Level& level);
    bool NextSource(Level& level, ListedEntry& entry);
    bool ReadMoreDirectories(Level& level);

    const std::wstring& sourceRow_;
    const std::wstring& targetRow_;
    PassFailures& failures_;  // the caller's, so that none is lost if the pass ends early
    FileWork work_;
    ClaimedNames claimed_;  // names the current level's files may touch
    std::vector<std::unique_ptr<Level>> way_;
    std::size_t held_ = 0;  // entries the way down keeps, all levels together
};

void Pass::Run(const std::wstring& source, const std::wstring& target)
{
    std::wstring sourceDirectory = source;
    std::wstring targetDirectory = target;
    std::wstring relative;
    do {
        Enter(sourceDirectory, targetDirectory, relative);
        while (work_.Plenty())
            work_.DoOne();
    } while (NextLevel(sourceDirectory, targetDirectory, relative));
    work_.Finish();
}

// The next level the way down enters, false after the last.
bool Pass::NextLevel(std::wstring& source, std::wstring& target, std::wstring& relative)
{
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
        if (EntersDirectory(entry, found == Lookup::Found ? &existing : nullptr)) {
            // One target directory cannot take two source directories: the first is backed up.
            if (IsLaterTwin(level, entry)) {
                failures_.AddDirectory(UserPath(sourceRow_, Below(level.relative, entry.name)));
                continue;
            }
            source = level.source.path + entry.name + L'\\';
            target = level.target.path + existing.name + L'\\';
            relative = Below(level.relative, entry.name);
            return true;
        }
    }
    return false;
}

// The next source entry of a level's sub-directory step, false after the last.
bool Pass::NextSource(Level& level, ListedEntry& entry)
{
    if (level.nextEntry == level.source.listing.entries.size() && !ReadMoreDirectories(level))
        return false;
    entry = level.source.listing.entries[level.nextEntry++];
    return true;
}

// The next few sub-directories of a level whose entries were not kept, taken in name order
// after the last one taken: entries added or removed meanwhile, or a listing order that changes
// from one reading to the next, make none of the others be passed over. The directory is
// closed again at once, so the way down holds no open directory (Wine keeps a whole listing in
// memory for as long as one is open).
bool Pass::ReadMoreDirectories(Level& level)
{
    if (!level.readAgain)
        return false;
    std::vector<ListedEntry>& directories = level.source.listing.entries;
    directories.clear();
    level.nextEntry = 0;
    auto later = [](const ListedEntry& a, const ListedEntry& b) { return NameOrderLess(a.name, b.name); };
    // The first few after the last taken, kept as a heap whose top is the latest of them.
    bool more = false;
    DirectoryReader reader;
    ListedEntry entry;
    const bool opened = reader.Open(level.source.path);
    while (opened && reader.Next(entry)) {
        if (!entry.IsDirectory() || (level.readAny && !NameOrderLess(level.lastRead, entry.name)))
            continue;
        if (directories.size() == DirectoriesAtOnce()) {
            more = true;
            if (!later(entry, directories.front()))
                continue;
            std::pop_heap(directories.begin(), directories.end(), later);
            directories.back() = entry;
        } else {
            directories.push_back(entry);
        }
        std::push_heap(directories.begin(), directories.end(), later);
    }
    if (!opened || reader.Failed()) {
        failures_.AddDirectory(UserPath(sourceRow_, level.relative));
        directories.clear();
        more = false;
    }
    std::sort_heap(directories.begin(), directories.end(), later);
    if (!directories.empty()) {
        level.lastRead = directories.back().name;
        level.readAny = true;
    }
    level.readAgain = more;
    return !directories.empty();
}

// A level's files are all decided when it is entered; its sub-directories follow one by one.
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
    bool sourceListed = false;
    bool targetListed = false;
    ListBoth(*level, sourceListed, targetListed);
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
    // A target that loops back would take this level's files over an ancestor's, and would go
    // on for ever: this level goes without its backup, and that is told. A source that loops
    // back is entered as any other, since its target is another directory; the target's depth
    // ends the descent.
    if (TargetOnTheWay(*level)) {
        failures_.AddDirectory(UserPath(targetRow_, relative));
        return;
    }
    for (Side* side : {&level->source, &level->target})
        if (!side->listing.complete)
            side->Forget();
    if (level->target.listing.complete)
        level->target.names = std::make_unique<NameIndex>(level->target.listing.entries);
    if (level->source.listing.complete)
        level->laterTwins = LaterTwins(level->source.listing.entries);
    else
        ReadLaterTwins(level->source.path, level->laterTwins);  // a failed reading is told below
    RemoveLeftovers(*level);
    Files(*level);
    KeepForDescent(*level);
    way_.push_back(std::move(level));
}

// Lists both sides of a level. Files not yet done may be written meanwhile; where they may
// touch these directories, the level is listed again once they are done, so that it sees what
// the earlier levels left.
void Pass::ListBoth(Level& level, bool& sourceListed, bool& targetListed)
{
    const std::vector<DirectoryIdentity> written = work_.Directories();
    sourceListed = level.source.List();
    targetListed = level.target.List();
    if (!sourceListed || !targetListed || !MayBeWritten(level, written))
        return;
    work_.Finish();
    sourceListed = level.source.List();
    targetListed = level.target.List();
}

// True when one of `written` (the directories files not yet done read from or write into) may
// be one of this level's: ids that agree, or a missing id, which tells nothing. Either way
// round matters: this level's copies may write where an earlier file is still to be read.
bool Pass::MayBeWritten(const Level& level, const std::vector<DirectoryIdentity>& written)
{
    if (written.empty())
        return false;
    if (level.source.identity.file == 0 || level.target.identity.file == 0)
        return true;
    return std::any_of(written.begin(), written.end(), [&](const DirectoryIdentity& id) {
        return id.file == 0 || id == level.source.identity || id == level.target.identity;
    });
}

bool Pass::TargetOnTheWay(const Level& level) const
{
    return std::any_of(way_.begin(), way_.end(),
                       [&](const std::unique_ptr<Level>& earlier) { return level.target.MayBeAgain(earlier->target); });
}

// True for a source entry whose name differs only in case from one of its kind that comes
// before it in NameOrderLess.
bool Pass::IsLaterTwin(const Level& level, const ListedEntry& entry)
{
    return std::binary_search(level.laterTwins.begin(), level.laterTwins.end(), entry.name);
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

// A level's files are decided from the listings and handed to the work. Every file that a
// copy may write is claimed; a file claimed already (a name met twice through case, a source
// that is the target itself) waits until every earlier file is done, so each file sees its
// reads and writes in listing order.
void Pass::Files(const Level& level)
{
    claimed_.Clear();
    auto place = std::make_shared<FilePlace>();
    place->source = level.source.path;
    place->target = level.target.path;
    place->relative = level.relative;
    place->sourceIdentity = level.source.identity;
    place->targetIdentity = level.target.identity;
    const std::shared_ptr<const FilePlace> shared = std::move(place);
    if (!EachEntry(level.source, [&](const ListedEntry& entry) { File(level, shared, entry); }))
        failures_.AddDirectory(UserPath(sourceRow_, level.relative));
}

void Pass::File(const Level& level, const std::shared_ptr<const FilePlace>& place, const ListedEntry& entry)
{
    if (entry.IsDirectory())
        return;
    // One target name cannot take two source files: the first is backed up, the others told.
    if (IsLaterTwin(level, entry)) {
        failures_.AddFile(UserPath(sourceRow_, Below(level.relative, entry.name)));
        return;
    }
    ListedEntry existing;
    const Lookup found = level.target.Find(entry.name, existing);
    const ListedEntry* target = found == Lookup::Found ? &existing : nullptr;
    // An existing target keeps the spelling it has.
    const std::wstring& name = target ? existing.name : entry.name;
    const FileAction action = found == Lookup::Failed ? FileAction::Blocked : DecideFile(entry, target);
    if (action == FileAction::Nothing)
        return;
    const bool sameDirectory = level.source.identity == level.target.identity;
    const std::wstring* names[] = {&name, sameDirectory ? &entry.name : nullptr};
    // The claims are bounded too, so what they hold stays small in a directory of any size.
    if (action != FileAction::Blocked && (claimed_.Size() >= kFilesAhead || !claimed_.Claim(names))) {
        work_.Finish();
        claimed_.Clear();
        claimed_.Claim(names);
    }
    while (work_.Waiting() >= kFilesAhead)
        work_.DoOne();
    work_.Add(FileToDo{place, entry.name, name, target != nullptr, action});
}

void Pass::FileFailed(const FileToDo& file)
{
    failures_.AddFile(UserPath(sourceRow_, Below(file.place->relative, file.sourceName)));
}

// What the way down keeps of a level once its files are decided: the sub-directories of both
// sides, while the way's budget allows; otherwise nothing, and the source is read again. Either
// way the source's sub-directories are entered in name order (NameOrderLess).
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
        // In name order, as the source's directories are taken where it is read again: so the
        // order does not hang on the way the listing came, nor on the file system's order.
        std::vector<ListedEntry>& directories = level.source.listing.entries;
        std::sort(directories.begin(), directories.end(),
                  [](const ListedEntry& a, const ListedEntry& b) { return NameOrderLess(a.name, b.name); });
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
    if (gFailureObserver)
        gFailureObserver(true, path);
    if (directories++ == 0)
        firstDirectory = path;
}

void PassFailures::AddFile(const std::wstring& path)
{
    if (gFailureObserver)
        gFailureObserver(false, path);
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
        Pass pass(source, target, failures);
        pass.Run(sourceDirectory, targetDirectory);
    } catch (...) {
        // Out of memory part-way: what was counted stays, and the row counts as not reached;
        // nothing fails outward, and the next pass tries again.
        try {
            failures.AddDirectory(source);
        } catch (...) {
            ++failures.directories;
        }
    }
    return failures;
}

void SetIdentitySourceForTesting(IdentitySource source)
{
    gIdentitySource = source;
}

void SetFailureObserverForTesting(FailureObserver observer)
{
    gFailureObserver = observer;
}

}  // namespace qf
