#pragma once
// Trees meant to catch a directory pass out, drawn from a seed: sources inside targets and
// the reverse, links to ancestors, siblings and the other side, names that differ only in case,
// files held unreadable, files changed or removed while the pass runs, directories whose ids
// say nothing, listings cut small, storages that rename nothing. The same seed gives the same
// plan, which can be made in as many places as a comparison needs:
//
//   TreePlan plan = PlanTrees(seed);
//   std::string unixLines;
//   MakeTrees(plan, {engineRoot, referenceRoot}, unixLines);
//   RunUnix(scratch, unixLines);
//   ... pass over plan.source into plan.target under each root ...
//   RemoveTrees(scratch, {engineRoot, referenceRoot});
//
// Making the trees of many seeds before running one shell for all of them keeps Wine's cost
// of starting a Unix process off each seed.
//
// Every path in a plan is relative to the root it is made under.
#include <cstddef>
#include <string>
#include <vector>

namespace qf::test {

enum class PlannedIds { Real, Zero, One, ByName };
enum class PlannedPlaces { Usual, NoRenames, SomeRefused };

// What happens to the trees while the pass runs: when the pass first reads or copies
// `trigger` (a tear: first copies it), each of `subjects` is rewritten with `content` or
// removed; a tear saves the first subject again slowly while its copy is being made.
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
    std::vector<PlannedLink> links;  // to directories or files
    std::vector<std::wstring> held;  // open without sharing while a pass runs
    std::vector<PlannedChange> changes;
    PlannedIds ids = PlannedIds::Real;
    PlannedPlaces places = PlannedPlaces::Usual;
    std::size_t listingCap = 0;  // 0: the engine's own
    std::string scenario;        // what the seed was drawn for, to read in a failure
};

TreePlan PlanTrees(unsigned seed);
// Adds to `unixLines` the shell lines that make the plan under each root (under Wine only the
// shell makes links and names that differ only in case, and it makes small files far quicker);
// large files are written at once. False when something could not be made (a test then
// reports the seed, not a mismatch).
bool MakeTrees(const TreePlan& plan, const std::vector<std::wstring>& roots, std::string& unixLines);
// Runs shell lines, from a script in `directory`, and waits for them.
bool RunUnix(const std::wstring& directory, const std::string& lines);
// Removes the roots, links and all, with one call.
bool RemoveTrees(const std::wstring& directory, const std::vector<std::wstring>& roots);

// The plan's path of `relative` once the links under the root are followed, lower case.
std::wstring FollowLinks(const TreePlan& plan, std::wstring relative);
// A path under the source row seen under the target row instead; others unchanged.
std::wstring OnTargetSide(const TreePlan& plan, const std::wstring& relative);
// The other way: a path under the target row seen under the source row; others unchanged.
std::wstring OnSourceSide(const TreePlan& plan, const std::wstring& relative);

}  // namespace qf::test
