#pragma once
// Trees meant to catch a directory pass out, drawn from a seed: sources inside targets and
// the reverse, links to ancestors, siblings and the other side, names that differ only in case,
// files held unreadable, files changed or removed while the pass runs, directories whose ids
// say nothing, listings cut small, storages that rename nothing. The same seed gives the same
// plan, which can be made in as many places as a comparison needs:
//
//   TreePlan plan = PlanTrees(seed);
//   MakeTrees(plan, {engineRoot, referenceRoot});
//   ... pass over plan.source into plan.target under each root ...
//   RemoveTrees(plan, {engineRoot, referenceRoot});
//
// Every path in a plan is relative to the root it is made under.
#include <cstddef>
#include <string>
#include <vector>

namespace qf::test {

enum class PlannedIds { Real, Zero, One, ByName };
enum class PlannedPlaces { Usual, NoRenames, SomeRefused };

// What the pass's own thread does to the trees while the pass runs: when the pass first reads
// or copies `trigger`, each of `subjects` is rewritten with `content` or removed; a tear
// rewrites the first subject only once the second (its copy) has begun to be written.
enum class ChangeKind { Rewrite, Remove, Tear };
struct PlannedChange {
    std::wstring trigger;
    ChangeKind kind = ChangeKind::Rewrite;
    std::vector<std::wstring> subjects;
    std::string content;
};

struct PlannedLink {
    std::wstring path;
    std::wstring to;
};

struct TreePlan {
    std::wstring source;  // the pass's rows
    std::wstring target;
    std::vector<std::wstring> directories;  // parents before children
    std::vector<std::pair<std::wstring, std::string>> files;
    std::vector<std::pair<std::wstring, std::wstring>> renames;  // made as first, then renamed to second
    std::vector<PlannedLink> links;  // to directories or files
    std::vector<std::wstring> held;  // open without sharing while a pass runs
    std::vector<PlannedChange> changes;
    PlannedIds ids = PlannedIds::Real;
    PlannedPlaces places = PlannedPlaces::Usual;
    std::size_t listingCap = 0;  // 0: the engine's own
    std::string scenario;        // what the seed was drawn for, to read in a failure
};

TreePlan PlanTrees(unsigned seed);
// False when something could not be made (a test then reports the seed, not a mismatch).
bool MakeTrees(const TreePlan& plan, const std::vector<std::wstring>& roots);
void RemoveTrees(const TreePlan& plan, const std::vector<std::wstring>& roots);

// The plan's path of `relative` once the links under the root are followed, lower case.
std::wstring FollowLinks(const TreePlan& plan, std::wstring relative);
// A path under the source row seen under the target row instead; others unchanged.
std::wstring OnTargetSide(const TreePlan& plan, const std::wstring& relative);

}  // namespace qf::test
