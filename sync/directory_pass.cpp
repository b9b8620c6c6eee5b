#include "sync/directory_pass.h"

#include "sync/directory_listing.h"
#include "sync/long_path.h"
#include "sync/pair_digest.h"
#include "sync/pass_decision.h"
#include "sync/safe_copy.h"
#include "sync/scheduler.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace qf {
namespace {

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
    void Files(const Level& level);

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

void Pass::Files(const Level& level)
{
    for (const ListedEntry& entry : level.sources.entries) {
        if (entry.IsDirectory())
            continue;
        const ListedEntry* existing = level.targetNames->Find(entry.name);
        // An existing target keeps the spelling it has.
        const std::wstring& name = existing ? existing->name : entry.name;
        switch (DecideFile(entry, existing)) {
        case FileAction::Nothing:
            break;
        case FileAction::CompareContent:
            if (digest_.SameContent(level.target + name, level.source + entry.name))
                break;
            [[fallthrough]];
        case FileAction::Copy:
            SafeCopy(level.source + entry.name, level.target, name);
            break;
        }
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
