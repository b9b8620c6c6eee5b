// The pass against the reference on adversarial trees: for each seed the same trees are made
// twice, the engine (both threads, as it runs for the user) passes over one copy and the
// reference over the other, and the two must agree wherever the engine told no failure.
// QF_DIFF_FIRST and QF_DIFF_SEEDS choose the seeds; tools/differential/run.sh runs any number.
#include "sync/directory_pass.h"
#include "sync/file_work.h"
#include "sync/safe_copy.h"
#include "tests/support/adversarial_trees.h"
#include "tests/support/reference_pass.h"
#include "tests/support/scratch_tree.h"
#include "win/unique_handle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cwctype>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace {

using qf::test::ChangeKind;
using qf::test::PlannedIds;
using qf::test::PlannedPlaces;
using qf::test::TreePlan;

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

bool Under(const std::wstring& path, const std::wstring& directory)
{
    return path.size() > directory.size() && path.compare(0, directory.size(), directory) == 0 &&
           path[directory.size()] == L'\\';
}

// `path` below `root`, as the plan names it; empty when it is not below.
std::wstring Relative(std::wstring path, const std::wstring& root)
{
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        path.erase(0, 4);
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return Under(Lower(path), Lower(root)) ? path.substr(root.size() + 1) : std::wstring();
}

// The engine's seams, set for one pass.
std::mutex gLock;
std::vector<std::pair<bool, std::wstring>> gTold;
PlannedIds gIds = PlannedIds::Real;
std::atomic<unsigned> gRenames{0};

struct Changes {
    std::wstring root;
    const TreePlan* plan = nullptr;
    std::vector<bool> done;
    std::vector<std::thread> tears;
} gChanges;

void Observe(bool directory, const std::wstring& path)
{
    std::lock_guard<std::mutex> locked(gLock);
    gTold.emplace_back(directory, path);
}

qf::DirectoryIdentity Ids(const std::wstring& directory, const qf::DirectoryIdentity& listed)
{
    switch (gIds) {
    case PlannedIds::Zero:
        return {listed.volume, 0};
    case PlannedIds::One:
        return {listed.volume, 7};
    case PlannedIds::ByName: {
        // Directories of one name share an id, as on file systems whose ids repeat; one
        // directory keeps its id whatever link it is reached through, as on any file system.
        std::wstring real = directory.substr(0, directory.size() - 1);
        qf::FileHandle handle(CreateFileW(real.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        wchar_t final[1024];
        const DWORD length = handle ? GetFinalPathNameByHandleW(handle.get(), final, 1024, 0) : 0;
        if (length > 0 && length < 1024)
            real.assign(final, length);
        const std::wstring name = Lower(real.substr(real.rfind(L'\\') + 1));
        return {listed.volume, 1 + std::hash<std::wstring>()(name) % 3};
    }
    default:
        return listed;
    }
}

bool Busy()
{
    SetLastError(ERROR_BUSY);
    return false;
}
bool Refused()
{
    if (++gRenames % 3 != 0)
        return false;
    SetLastError(ERROR_ACCESS_DENIED);
    return true;
}
const qf::PlaceCalls kNoRenames = {[](HANDLE, const std::wstring&, bool) { return Busy(); },
                                   [](const std::wstring&, const std::wstring&, bool) { return Busy(); }};
const qf::PlaceCalls kSomeRefused = {
    [](HANDLE file, const std::wstring& to, bool replace) { return !Refused() && qf::RenameOpenFile(file, to, replace); },
    [](const std::wstring& from, const std::wstring& to, bool replace) {
        return !Refused() && qf::RenameClosedFile(from, to, replace);
    }};

// Saves the source again slowly, a piece at a time, as a program writing a large file does:
// a copy begun meanwhile reads no one state of it.
constexpr std::size_t kSavedPiece = 64 * 1024;

void SaveSlowly(std::wstring path, std::string content)
{
    qf::FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, CREATE_ALWAYS, 0, nullptr));
    for (std::size_t at = 0; file && at < content.size(); at += kSavedPiece) {
        DWORD written = 0;
        WriteFile(file.get(), content.data() + at, static_cast<DWORD>(std::min(kSavedPiece, content.size() - at)),
                  &written, nullptr);
        Sleep(1);
    }
}

void OnTask(const std::wstring& path, bool copy)
{
    std::lock_guard<std::mutex> locked(gLock);
    const std::wstring relative = Lower(Relative(path, gChanges.root));
    for (std::size_t n = 0; n < gChanges.plan->changes.size(); ++n) {
        const qf::test::PlannedChange& change = gChanges.plan->changes[n];
        if (gChanges.done[n] || relative != Lower(change.trigger) || (change.kind == ChangeKind::Tear && !copy))
            continue;
        gChanges.done[n] = true;
        const std::wstring& root = gChanges.root;
        if (change.kind == ChangeKind::Tear) {
            gChanges.tears.emplace_back(SaveSlowly, root + L"\\" + change.subjects[0], change.content);
            continue;
        }
        for (const std::wstring& subject : change.subjects)
            if (change.kind == ChangeKind::Remove)
                DeleteFileW((root + L"\\" + subject).c_str());
            else
                qf::test::WriteBytes(root + L"\\" + subject, change.content);
    }
}

// Files the plan holds unreadable, for as long as this lives.
class Held {
public:
    Held(const std::wstring& root, const std::vector<std::wstring>& paths)
    {
        for (const std::wstring& path : paths)
            handles_.emplace_back(CreateFileW((root + L"\\" + path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    }

private:
    std::vector<qf::FileHandle> handles_;
};

std::vector<std::pair<bool, std::wstring>> EnginePass(const TreePlan& plan, const std::wstring& root)
{
    gTold.clear();
    gIds = plan.ids;
    gChanges.root = root;
    gChanges.plan = &plan;
    gChanges.done.assign(plan.changes.size(), false);
    qf::SetFailureObserverForTesting(Observe);
    qf::SetIdentitySourceForTesting(plan.ids == PlannedIds::Real ? nullptr : Ids);
    qf::SetListingCapForTesting(plan.listingCap);
    qf::SetPlaceCallsForTesting(plan.places == PlannedPlaces::NoRenames     ? &kNoRenames
                                : plan.places == PlannedPlaces::SomeRefused ? &kSomeRefused
                                                                            : nullptr);
    qf::SetTaskHookForTesting(plan.changes.empty() ? nullptr : OnTask);
    {
        Held held(root, plan.held);
        qf::DirectoryPass(root + L"\\" + plan.source, root + L"\\" + plan.target);
    }
    qf::SetTaskHookForTesting(nullptr);
    for (std::thread& tear : gChanges.tears)
        tear.join();
    gChanges.tears.clear();
    qf::SetPlaceCallsForTesting(nullptr);
    qf::SetListingCapForTesting(0);
    qf::SetIdentitySourceForTesting(nullptr);
    qf::SetFailureObserverForTesting(nullptr);
    std::vector<std::pair<bool, std::wstring>> told;
    for (const auto& [directory, path] : gTold)
        told.emplace_back(directory, Relative(path, root));
    return told;
}

// Every file under a root by its path, links to directories not followed.
using Snapshot = std::map<std::wstring, std::string>;

std::string Content(const std::wstring& path)
{
    qf::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return "<unreadable>";
    std::string content;
    static thread_local char block[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), block, sizeof block, &got, nullptr) && got > 0)
        content.append(block, got);
    return content;
}

void Walk(const TreePlan& plan, const std::wstring& root, const std::wstring& relative, Snapshot& files)
{
    WIN32_FIND_DATAW found;
    qf::FindHandle find(FindFirstFileW((root + L"\\" + relative + L"\\*").c_str(), &found));
    if (!find)
        return;
    do {
        const std::wstring name = found.cFileName;
        const std::wstring path = relative.empty() ? name : relative + L"\\" + name;
        if (name == L"." || name == L"..")
            continue;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files[path] = Content(root + L"\\" + path);
        else if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                 std::none_of(plan.links.begin(), plan.links.end(),
                              [&](const qf::test::PlannedLink& link) { return Lower(link.path) == Lower(path); }))
            Walk(plan, root, path, files);
    } while (FindNextFileW(find.get(), &found));
}

// What the engine told, as places in the trees: a file's copy, a directory and all below it.
class Told {
public:
    explicit Told(const TreePlan& plan) : plan_(plan) {}
    void Add(bool directory, const std::wstring& relative)
    {
        for (const std::wstring& path : {relative, qf::test::OnTargetSide(plan_, relative)})
            for (const std::wstring& place : {path, qf::test::FollowLinks(plan_, path)})
                (directory ? directories_ : files_).insert(place);
        // A directory not entered leaves alone all that its links lead to as well.
        for (bool grown = directory; grown;) {
            grown = false;
            for (const qf::test::PlannedLink& link : plan_.links)
                if (Within(link.path) && directories_.insert(qf::test::FollowLinks(plan_, link.to)).second)
                    grown = true;
        }
    }
    bool Covers(const std::wstring& relative) const
    {
        for (const std::wstring& path : {relative, qf::test::OnTargetSide(plan_, relative)})
            for (const std::wstring& place : {path, qf::test::FollowLinks(plan_, path)})
                if (files_.count(place) || Within(place))
                    return true;
        return false;
    }

private:
    bool Within(const std::wstring& place) const
    {
        return std::any_of(directories_.begin(), directories_.end(),
                           [&](const std::wstring& d) { return place == d || Under(place, d); });
    }

    const TreePlan& plan_;
    std::set<std::wstring> files_;
    std::set<std::wstring> directories_;
};

std::string Describe(const TreePlan& plan, const std::optional<std::string>& content)
{
    if (!content)
        return "no file";
    if (*content == "<unreadable>")
        return "an unreadable file";
    for (const auto& [path, planned] : plan.files)
        if (planned == *content)
            return "what " + Narrow(path) + " held (" + std::to_string(content->size()) + " bytes)";
    for (const qf::test::PlannedChange& change : plan.changes)
        if (change.content == *content)
            return "what " + Narrow(change.subjects[0]) + " was changed to";
    return std::to_string(content->size()) + " bytes no file ever held";
}

std::string DescribePlan(const TreePlan& plan)
{
    static const char* const kIds[] = {"real ids", "zero ids", "one id", "ids by name"};
    static const char* const kPlaces[] = {"renames", "no renames", "some renames refused"};
    std::string text = plan.scenario + ", " + kIds[static_cast<int>(plan.ids)] + ", " +
                       kPlaces[static_cast<int>(plan.places)];
    if (plan.listingCap)
        text += ", listings of " + std::to_string(plan.listingCap);
    if (!plan.links.empty())
        text += ", " + std::to_string(plan.links.size()) + " links";
    if (!plan.held.empty())
        text += ", held files";
    if (!plan.changes.empty())
        text += ", changes during the pass";
    return text;
}

std::vector<std::string> Compare(const TreePlan& plan, const Snapshot& engine, const Snapshot& reference,
                                 const Told& told, const qf::test::ReferenceFailures& failures, const std::wstring& referenceRoot)
{
    std::set<std::string> whole;
    for (const auto& file : plan.files)
        whole.insert(file.second);
    // A file changed during the pass, and its copy, may hold either state; so may a copy of
    // that copy, made where the target leads back into the source.
    std::set<std::wstring> changed;
    std::set<std::pair<std::optional<std::string>, std::optional<std::string>>> states;
    // A source saved slowly holds each piece written so far for a while: a copy of one of those
    // states, made while it held still, is a whole copy of the source as it was; a copy told as
    // failed must have left the old file instead.
    std::set<std::string> halfSaved;
    for (const qf::test::PlannedChange& change : plan.changes) {
        whole.insert(change.content);
        if (change.kind == ChangeKind::Tear)
            for (std::size_t at = 0; at < change.content.size(); at += kSavedPiece)
                halfSaved.insert(change.content.substr(0, at));
        for (const std::wstring& subject : change.subjects) {
            for (const std::wstring& path : {subject, qf::test::OnTargetSide(plan, subject)})
                changed.insert(qf::test::FollowLinks(plan, path));
            for (const auto& [path, content] : plan.files)
                if (path == subject)
                    states.insert({content, change.kind == ChangeKind::Remove ? std::nullopt
                                                                             : std::optional<std::string>(change.content)});
        }
    }
    std::vector<std::string> problems;
    std::set<std::wstring> paths;
    for (const Snapshot* side : {&engine, &reference})
        for (const auto& file : *side)
            paths.insert(file.first);
    auto at = [](const Snapshot& side, const std::wstring& path) {
        const auto found = side.find(path);
        return found == side.end() ? std::nullopt : std::optional<std::string>(found->second);
    };
    auto original = [&](const std::wstring& path) {
        for (const auto& [planned, content] : plan.files)
            if (Lower(planned) == Lower(path))
                return std::optional<std::string>(content);
        return std::optional<std::string>();
    };
    // A file left as it was by a told failure may be read again later, where the target leads
    // back into the source: its copies may hold that old content too.
    for (const std::wstring& path : paths)
        if (told.Covers(path))
            states.insert({at(reference, path), at(engine, path)});
    for (const std::wstring& path : paths) {
        const std::optional<std::string> got = at(engine, path);
        const std::optional<std::string> expected = at(reference, path);
        const std::wstring name = path.substr(path.rfind(L'\\') + 1);
        if (got && name.compare(0, 10, L".quenfold-") == 0) {
            problems.push_back(Narrow(path) + ": a temporary was left");
            continue;
        }
        if (got && *got != "<unreadable>" && !whole.count(*got) && !(halfSaved.count(*got) && !told.Covers(path))) {
            problems.push_back(Narrow(path) + ": torn, holds " + Describe(plan, got));
            continue;
        }
        // So may a file whose source, by whatever way the links lead there, changed: or whose
        // name differs from a changed one's only in case, since a twin removed or added meanwhile
        // decides whether this one is backed up.
        const bool sourceChanged = changed.count(qf::test::FollowLinks(plan, qf::test::OnSourceSide(plan, path)));
        if (got == expected || changed.count(Lower(path)) || sourceChanged || states.count({expected, got}) ||
            told.Covers(path))
            continue;
        // Content a told place never received cannot be carried on from it: there the file
        // keeps what it held before the pass.
        if (states.count({expected, std::nullopt}) && got == original(path))
            continue;
        problems.push_back(Narrow(path) + ": expected " + Describe(plan, expected) + ", got " + Describe(plan, got) +
                           ", no failure told");
    }
    for (const std::wstring& file : failures.files) {
        const std::wstring path = Relative(file, referenceRoot);
        if (!told.Covers(path) && !changed.count(qf::test::FollowLinks(plan, path)))
            problems.push_back(Narrow(path) + ": the reference could not copy it, the engine told nothing");
    }
    for (const std::wstring& directory : failures.directories) {
        const std::wstring path = Relative(directory, referenceRoot);
        if (!told.Covers(path))
            problems.push_back(Narrow(path) + "\\: the reference could not enter it, the engine told nothing");
    }
    return problems;
}

std::wstring Root(const std::wstring& scratch, const wchar_t* side, unsigned seed)
{
    return scratch + L"\\" + side + std::to_wstring(seed);
}

// With QF_DIFF_VERBOSE set, a seed's plan and what the engine told, to read a mismatch by.
void PrintPlan(const TreePlan& plan, const std::vector<std::pair<bool, std::wstring>>& engineTold)
{
    if (!std::getenv("QF_DIFF_VERBOSE"))
        return;
    std::cout << "PLAN " << Narrow(plan.source) << " into " << Narrow(plan.target) << "\n";
    for (const std::wstring& directory : plan.directories)
        std::cout << "  dir  " << Narrow(directory) << "\n";
    for (const auto& [path, content] : plan.files)
        std::cout << "  file " << Narrow(path) << " (" << content.size() << " bytes)\n";
    for (const qf::test::PlannedLink& link : plan.links)
        std::cout << "  link " << Narrow(link.path) << " -> " << Narrow(link.to) << "\n";
    for (const std::wstring& held : plan.held)
        std::cout << "  held " << Narrow(held) << "\n";
    for (const qf::test::PlannedChange& change : plan.changes) {
        static const char* const kinds[] = {"rewrites", "removes", "tears"};
        std::cout << "  change before " << Narrow(change.trigger) << " " << kinds[static_cast<int>(change.kind)];
        for (const std::wstring& subject : change.subjects)
            std::cout << " " << Narrow(subject);
        std::cout << "\n";
    }
    for (const auto& [directory, path] : engineTold)
        std::cout << "  told " << (directory ? "directory " : "file ") << Narrow(path) << "\n";
    std::cout << std::flush;
}

std::vector<std::string> RunSeed(const TreePlan& plan, const std::wstring& engineRoot, const std::wstring& referenceRoot)
{
    Told told(plan);
    const std::vector<std::pair<bool, std::wstring>> engineTold = EnginePass(plan, engineRoot);
    PrintPlan(plan, engineTold);
    for (const auto& [directory, path] : engineTold)
        told.Add(directory, path);
    qf::test::ReferenceFailures failures;
    {
        Held held(referenceRoot, plan.held);
        failures = qf::test::ReferencePass(referenceRoot + L"\\" + plan.source, referenceRoot + L"\\" + plan.target);
    }
    Snapshot engine;
    Snapshot reference;
    Walk(plan, engineRoot, L"", engine);
    Walk(plan, referenceRoot, L"", reference);
    return Compare(plan, engine, reference, told, failures, referenceRoot);
}

// Seeds go in batches, so that one shell makes the trees of all and one removes them.
std::vector<std::string> RunBatch(unsigned first, unsigned count, const std::wstring& scratch)
{
    std::vector<TreePlan> plans;
    std::vector<std::wstring> roots;
    std::vector<std::string> problems(count);
    std::string unixLines;
    for (unsigned seed = first; seed < first + count; ++seed) {
        plans.push_back(qf::test::PlanTrees(seed));
        roots.push_back(Root(scratch, L"e", seed));
        roots.push_back(Root(scratch, L"r", seed));
        if (!qf::test::MakeTrees(plans.back(), {roots[roots.size() - 2], roots.back()}, unixLines))
            problems[seed - first] = "the trees could not be made";
    }
    if (!qf::test::RunUnix(scratch, unixLines))
        problems.assign(count, "the trees could not be made");
    std::vector<std::string> lines;
    for (unsigned n = 0; n < count; ++n) {
        const std::vector<std::string> found =
            problems[n].empty() ? RunSeed(plans[n], roots[2 * n], roots[2 * n + 1]) : std::vector<std::string>{problems[n]};
        for (const std::string& problem : found)
            lines.push_back("seed " + std::to_string(first + n) + " (" + DescribePlan(plans[n]) + "): " + problem);
    }
    qf::test::RemoveTrees(scratch, roots);
    return lines;
}

unsigned Setting(const char* name, unsigned otherwise)
{
    const char* value = std::getenv(name);
    return value && *value ? static_cast<unsigned>(std::strtoul(value, nullptr, 10)) : otherwise;
}

TEST(Differential, EveryPassEndsAsTheReferenceOrTellsWhyNot)
{
    const unsigned first = Setting("QF_DIFF_FIRST", 1);
    const unsigned count = Setting("QF_DIFF_SEEDS", 500);
    qf::test::ScratchTree scratch;
    const auto start = std::chrono::steady_clock::now();
    constexpr unsigned kBatch = 100;
    std::set<unsigned> failing;
    for (unsigned seed = first; seed < first + count; seed += kBatch) {
        for (const std::string& problem : RunBatch(seed, std::min(kBatch, first + count - seed), scratch.Path())) {
            std::cout << "MISMATCH " << problem << std::endl;
            failing.insert(static_cast<unsigned>(std::strtoul(problem.c_str() + 5, nullptr, 10)));
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string seeds;
    for (unsigned seed : failing)
        seeds += " " + std::to_string(seed);
    std::cout << "SEEDS " << first << ".." << first + count - 1 << " in " << seconds << " s; failing:"
              << (seeds.empty() ? " none" : seeds) << std::endl;
    EXPECT_TRUE(failing.empty()) << "seeds whose pass differs from the reference without a told failure:" << seeds;
}

}  // namespace
