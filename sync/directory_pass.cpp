#include "sync/directory_pass.h"

#include "sync/directory_listing.h"
#include "sync/long_path.h"
#include "sync/pair_digest.h"
#include "sync/pass_decision.h"
#include "sync/safe_copy.h"
#include "sync/scheduler.h"

#include <algorithm>
#include <vector>

namespace qf {
namespace {

// One pass over a source tree. Each level lists the source and the target directory once
// and decides every file from the two listings; only files whose sizes agree are read, and
// only files that must change are written. A directory is entered only where both sides
// have it, and never while it is already on the way down (a link looping back).
class Pass {
public:
    void Level(const std::wstring& source, const std::wstring& target);

private:
    void Files(const std::wstring& source, const std::wstring& target, const DirectoryListing& sources,
               const NameIndex& targets);
    void SubDirectories(const std::wstring& source, const std::wstring& target, const DirectoryListing& sources,
                        const NameIndex& targets);

    PairDigest digest_;
    std::vector<DirectoryIdentity> sourceWay_;
    std::vector<DirectoryIdentity> targetWay_;
};

bool IsOn(const std::vector<DirectoryIdentity>& way, const DirectoryIdentity& identity)
{
    return std::find(way.begin(), way.end(), identity) != way.end();
}

void Pass::Level(const std::wstring& source, const std::wstring& target)
{
    PumpMessages();
    // A target that cannot be listed gets no copies: without its listing every file would
    // look missing and be written again.
    DirectoryListing targetListing;
    DirectoryListing sourceListing;
    if (!ListDirectory(target, targetListing) || !ListDirectory(source, sourceListing))
        return;
    if (IsOn(sourceWay_, sourceListing.identity) || IsOn(targetWay_, targetListing.identity))
        return;
    sourceWay_.push_back(sourceListing.identity);
    targetWay_.push_back(targetListing.identity);
    NameIndex targets(targetListing.entries);
    Files(source, target, sourceListing, targets);
    SubDirectories(source, target, sourceListing, targets);
    sourceWay_.pop_back();
    targetWay_.pop_back();
}

void Pass::Files(const std::wstring& source, const std::wstring& target, const DirectoryListing& sources,
                 const NameIndex& targets)
{
    for (const ListedEntry& entry : sources.entries) {
        if (entry.IsDirectory())
            continue;
        const ListedEntry* existing = targets.Find(entry.name);
        // An existing target keeps the spelling it has.
        const std::wstring& name = existing ? existing->name : entry.name;
        switch (DecideFile(entry, existing)) {
        case FileAction::Nothing:
            break;
        case FileAction::CompareContent:
            if (digest_.SameContent(target + name, source + entry.name))
                break;
            [[fallthrough]];
        case FileAction::Copy:
            SafeCopy(source + entry.name, target, name);
            break;
        }
    }
}

void Pass::SubDirectories(const std::wstring& source, const std::wstring& target, const DirectoryListing& sources,
                          const NameIndex& targets)
{
    for (const ListedEntry& entry : sources.entries) {
        const ListedEntry* existing = targets.Find(entry.name);
        if (EntersDirectory(entry, existing))
            Level(source + entry.name + L'\\', target + existing->name + L'\\');
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
        pass.Level(sourceDirectory, targetDirectory);
    } catch (...) {
        // Out of memory: nothing fails outward; the next pass tries again.
    }
}

}  // namespace qf
