#include "tests/support/adversarial_trees.h"

#include "sync/content_reader.h"
#include "tests/support/child_process.h"
#include "tests/support/file_content.h"
#include "tests/support/scratch_tree.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

namespace qf::test {
namespace {

class Random {
public:
    explicit Random(unsigned seed) : state_(0x9E3779B97F4A7C15ull ^ (seed * 0xBF58476D1CE4E5B9ull)) {}
    unsigned Below(unsigned n)
    {
        state_ += 0x9E3779B97F4A7C15ull;
        unsigned long long z = state_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<unsigned>((z ^ (z >> 31)) % n);
    }
    bool Percent(unsigned percent) { return Below(100) < percent; }
    template <typename T, std::size_t N>
    const T& Pick(const T (&items)[N])
    {
        return items[Below(N)];
    }

private:
    unsigned long long state_;
};

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool Under(const std::wstring& path, const std::wstring& directory)
{
    return path.size() > directory.size() && path.compare(0, directory.size(), directory) == 0 &&
           path[directory.size()] == L'\\';
}

const wchar_t* const kFileNames[] = {L"f", L"g", L"h.txt", L"Readme.TXT", L"k.bin"};
const wchar_t* const kDirectoryNames[] = {L"a", L"b", L"y"};
// Most files are a few bytes; some sit on the reader's block boundaries.
const std::size_t kSmallSizes[] = {0, 1, 4, 4, 4, 4, 6, 9};
const std::size_t kBlockSizes[] = {kContentBlockSize - 1, kContentBlockSize, kContentBlockSize + 1};

class Planner {
public:
    Planner(TreePlan& plan, unsigned seed) : plan_(plan), random_(seed), next_(seed * 4096u) {}

    void Plan(unsigned seed);

private:
    std::string Content(std::size_t size) { return PatternContent(size, next_++); }
    std::string Small() { return Content(random_.Pick(kSmallSizes)); }
    std::string Other(const std::string& like) { return Content(like.size()); }
    void Directory(const std::wstring& path)
    {
        const std::size_t slash = path.rfind(L'\\');
        if (slash != std::wstring::npos && !HasDirectory(path.substr(0, slash)))
            Directory(path.substr(0, slash));
        if (!HasDirectory(path))
            plan_.directories.push_back(path);
    }
    bool HasDirectory(const std::wstring& path) const
    {
        return std::any_of(plan_.directories.begin(), plan_.directories.end(),
                           [&](const std::wstring& d) { return Lower(d) == Lower(path); });
    }
    bool Taken(const std::wstring& path) const
    {
        return HasDirectory(path) ||
               std::any_of(plan_.files.begin(), plan_.files.end(), [&](const auto& f) { return Lower(f.first) == Lower(path); }) ||
               std::any_of(plan_.links.begin(), plan_.links.end(), [&](const auto& l) { return Lower(l.path) == Lower(path); });
    }
    void File(const std::wstring& path, const std::string& content)
    {
        Directory(path.substr(0, path.rfind(L'\\')));
        auto& files = plan_.files;
        files.erase(std::remove_if(files.begin(), files.end(), [&](const auto& f) { return f.first == path; }), files.end());
        files.emplace_back(path, content);
    }
    void Link(const std::wstring& path, const std::wstring& to)
    {
        if (Taken(path))
            return;
        Directory(path.substr(0, path.rfind(L'\\')));
        plan_.links.push_back({path, to});
    }
    std::wstring SourceDirectory()
    {
        std::vector<std::wstring> found{plan_.source};
        const bool targetInside = Under(plan_.target, plan_.source);
        for (const std::wstring& d : plan_.directories)
            if (Under(d, plan_.source) && !(targetInside && (d == plan_.target || Under(d, plan_.target))))
                found.push_back(d);
        return found[random_.Below(static_cast<unsigned>(found.size()))];
    }
    const std::pair<std::wstring, std::string>* AnyFile()
    {
        return plan_.files.empty() ? nullptr : &plan_.files[random_.Below(static_cast<unsigned>(plan_.files.size()))];
    }

    void Grow(const std::wstring& directory, int depth);
    void Mirror(const std::wstring& from, const std::wstring& to);
    void Extras();

    // What each seed is drawn for; the rest of its tree is drawn at random around it.
    void Nothing() {}
    void ReadBackOverlap();
    void TearInPlace();
    void BothUnreadable();
    void EchoIds();
    void ShiftedWindow();
    void CaseNames();
    void Links();

    TreePlan& plan_;
    qf::test::Random random_;
    unsigned next_;
    bool idsSet_ = false;
    bool placesSet_ = false;
    bool capSet_ = false;
    bool linked_ = false;
    bool cased_ = false;
};

struct Scenario {
    const char* name;
    enum { AnyLayout, Apart, SourceInTarget } layout;
    void (Planner::*add)();
};

void Planner::Plan(unsigned seed)
{
    static const Scenario kScenarios[] = {
        {"random", Scenario::AnyLayout, &Planner::Nothing},
        {"read-back", Scenario::SourceInTarget, &Planner::ReadBackOverlap},
        {"tear", Scenario::Apart, &Planner::TearInPlace},
        {"unreadable", Scenario::AnyLayout, &Planner::BothUnreadable},
        {"echo", Scenario::Apart, &Planner::EchoIds},
        {"window", Scenario::Apart, &Planner::ShiftedWindow},
        {"case", Scenario::AnyLayout, &Planner::CaseNames},
        {"links", Scenario::AnyLayout, &Planner::Links},
    };
    const Scenario& scenario = kScenarios[seed % (sizeof kScenarios / sizeof kScenarios[0])];
    plan_.scenario = scenario.name;
    int layout = scenario.layout == Scenario::Apart ? 0 : scenario.layout == Scenario::SourceInTarget ? 1
                                                                                                      : random_.Below(4) % 3;
    Directory(L"O");
    File(L"O\\note.txt", Small());
    if (layout == 0) {
        plan_.source = L"S";
        plan_.target = L"T";
        Directory(L"S");
        Directory(L"T");
        Grow(L"S", 0);
        Mirror(L"S", L"T");
    } else if (layout == 1) {
        plan_.target = L"T";
        plan_.source = L"T\\y";
        Directory(L"T\\y");
        if (random_.Percent(60))
            Directory(L"T\\y\\y");
        Grow(L"T\\y", 1);
        Grow(L"T", 1);
    } else {
        plan_.source = L"S";
        plan_.target = L"S\\x";
        Directory(L"S\\x");
        Grow(L"S", 0);
        Mirror(L"S", L"S\\x");
    }
    plan_.scenario += layout == 0 ? ", apart" : layout == 1 ? ", source in target" : ", target in source";
    (this->*scenario.add)();
    Extras();
}

void Planner::Grow(const std::wstring& directory, int depth)
{
    for (unsigned n = random_.Below(4); n > 0; --n) {
        const std::wstring path = directory + L"\\" + random_.Pick(kFileNames);
        if (!Taken(path))
            File(path, Small());
    }
    for (unsigned n = depth < 2 ? random_.Below(3 - depth) : 0; n > 0; --n) {
        const std::wstring path = directory + L"\\" + random_.Pick(kDirectoryNames);
        if (!Taken(path)) {
            Directory(path);
            Grow(path, depth + 1);
        }
    }
}

// The target as an earlier pass and the user's work since left it: most directories there,
// files equal, changed in place (same size) or changed in length, some missing.
void Planner::Mirror(const std::wstring& from, const std::wstring& to)
{
    const std::vector<std::wstring> directories = plan_.directories;
    for (const std::wstring& d : directories)
        if (Under(d, from) && random_.Percent(85))
            Directory(to + d.substr(from.size()));
    const auto files = plan_.files;
    for (const auto& [path, content] : files) {
        const std::wstring counterpart = to + path.substr(from.size());
        if (!Under(path, from) || Taken(counterpart) || !HasDirectory(counterpart.substr(0, counterpart.rfind(L'\\'))) ||
            !random_.Percent(65))
            continue;
        const unsigned kind = random_.Below(100);
        File(counterpart, kind < 35 ? content : kind < 75 ? Other(content) : Small());
    }
}

void Planner::Extras()
{
    if (!idsSet_) {
        const unsigned kind = random_.Below(100);
        plan_.ids = kind < 60 ? PlannedIds::Real : kind < 70 ? PlannedIds::Zero : kind < 85 ? PlannedIds::One : PlannedIds::ByName;
    }
    if (!placesSet_) {
        const unsigned kind = random_.Below(100);
        plan_.places = kind < 75 ? PlannedPlaces::Usual : kind < 85 ? PlannedPlaces::NoRenames : PlannedPlaces::SomeRefused;
    }
    if (!capSet_ && random_.Percent(30))
        plan_.listingCap = 1 + random_.Below(3);
    if (!cased_ && random_.Percent(20))
        CaseNames();
    if (!linked_ && random_.Percent(20))
        Links();
    if (random_.Percent(5)) {
        const std::wstring path = SourceDirectory() + L"\\block.bin";
        if (!Taken(path)) {
            File(path, Content(random_.Pick(kBlockSizes)));
            const std::wstring counterpart = OnTargetSide(plan_, path);
            if (random_.Percent(70) && !Taken(counterpart))
                File(counterpart, random_.Percent(50) ? Other(plan_.files[plan_.files.size() - 1].second) : Small());
        }
    }
    if (random_.Percent(20))
        if (const auto* file = AnyFile())
            if (Lower(file->first).find(L"o\\") != 0)
                plan_.held.push_back(file->first);
    if (plan_.source == L"S" && plan_.target == L"T" && random_.Percent(20)) {
        const auto* file = AnyFile();
        if (file && Under(file->first, plan_.source)) {
            const bool remove = random_.Percent(30);
            plan_.changes.push_back({file->first, remove ? ChangeKind::Remove : ChangeKind::Rewrite, {file->first},
                                     random_.Percent(50) ? Other(file->second) : Small()});
        }
    }
}

// Fault of a later level writing over what an earlier copy still has to read: T\y into T.
void Planner::ReadBackOverlap()
{
    File(L"T\\f", Content(4));
    File(L"T\\y\\f", Content(4));
    // Of another length, the later copy is due at once, ahead of the earlier one's reads.
    File(L"T\\y\\y\\f", Content(random_.Percent(30) ? 4 : 6));
}

// A storage that renames nothing, and a source saved again while its copy is written.
void Planner::TearInPlace()
{
    plan_.places = PlannedPlaces::NoRenames;
    placesSet_ = true;
    File(L"S\\first.txt", Content(4));
    File(L"S\\a1\\big.bin", Content(kContentBlockSize + 1));
    File(L"T\\a1\\big.bin", Content(4));
    plan_.changes.push_back({L"S\\a1\\big.bin", ChangeKind::Tear, {L"S\\a1\\big.bin"}, Content(kContentBlockSize + 1)});
}

void Planner::BothUnreadable()
{
    const std::wstring directory = SourceDirectory();
    const std::wstring source = directory + L"\\locked.txt";
    const std::wstring target = OnTargetSide(plan_, source);
    if (Taken(source) || Taken(target))
        return;
    File(source, Content(4));
    Directory(target.substr(0, target.rfind(L'\\')));
    File(target, Content(4));
    plan_.held.push_back(source);
    plan_.held.push_back(target);
}

// Directories that look alike, entry for entry, on a file system whose ids repeat.
void Planner::EchoIds()
{
    plan_.ids = random_.Percent(50) ? PlannedIds::One : PlannedIds::ByName;
    idsSet_ = true;
    for (const wchar_t* level : {L"\\p", L"\\p\\p", L"\\p\\p\\p"}) {
        File(L"S" + std::wstring(level) + L"\\f", Content(4));
        Directory(L"T" + std::wstring(level));
        if (random_.Percent(70))
            File(L"T" + std::wstring(level) + L"\\f", Content(4));
    }
}

// A directory past the listing cap that loses entries while its sub-directories are entered.
void Planner::ShiftedWindow()
{
    plan_.listingCap = 2;
    capSet_ = true;
    PlannedChange change{L"S\\s" + std::to_wstring(1 + random_.Below(3)) + L"\\in.txt", ChangeKind::Remove, {}, ""};
    for (int n = 1; n <= 6; ++n) {
        const std::wstring name = L"\\e" + std::to_wstring(n);
        const std::string content = Content(4);
        File(L"S" + name, content);
        File(L"T" + name, content);
        change.subjects.push_back(L"S" + name);
    }
    for (int n = 1; n <= 5; ++n) {
        File(L"S\\s" + std::to_wstring(n) + L"\\in.txt", Content(4));
        Directory(L"T\\s" + std::to_wstring(n));
    }
    plan_.changes.push_back(change);
}

// Names that differ only in case: both can exist where the source is case-sensitive.
void Planner::CaseNames()
{
    cased_ = true;
    const std::wstring directory = SourceDirectory();
    const wchar_t* const spellings[] = {L"\\Doc.txt", L"\\doc.txt", L"\\DOC.txt"};
    const unsigned count = 2 + random_.Below(2);
    for (unsigned n = 0; n < count; ++n) {
        const std::wstring path = directory + spellings[n];
        if (n == 0 && Taken(path))
            return;
        File(path, random_.Percent(30) ? Content(7) : Small());
    }
    const std::wstring counterpart = OnTargetSide(plan_, directory + random_.Pick(spellings));
    if (random_.Percent(60) && !Taken(counterpart) && HasDirectory(counterpart.substr(0, counterpart.rfind(L'\\'))))
        File(counterpart, Content(7));
}

// Links to ancestors, to siblings, into the other side, and a file link out of the target.
void Planner::Links()
{
    linked_ = true;
    const std::wstring source = SourceDirectory();
    const std::wstring target = OnTargetSide(plan_, source);
    for (unsigned n = 1 + random_.Below(2); n > 0; --n) {
        switch (random_.Below(5)) {
        case 0:  // loops to an ancestor, on one side or both
            Link(source + L"\\up", plan_.source);
            if (random_.Percent(50))
                Link(target + L"\\up", plan_.target);
            else if (!Taken(target + L"\\up"))
                File(target + L"\\up\\f", Small());
            break;
        case 1:  // a target directory reached twice, through a sibling link
            if (!Taken(source + L"\\twin") && HasDirectory(target)) {
                File(source + L"\\twin\\f", Small());
                Directory(target + L"\\sib");
                Link(target + L"\\twin", target + L"\\sib");
            }
            break;
        case 2:  // the target leads back into the source
            if (!Taken(source + L"\\in")) {
                File(source + L"\\in\\f", Small());
                Link(target + L"\\in", plan_.source);
            }
            break;
        case 3:  // the source leads into the target
            if (!Taken(target + L"\\out")) {
                Directory(target + L"\\out");
                Link(source + L"\\out", plan_.target);
            }
            break;
        default:  // a file of the target that is a link to one outside
            if (!Taken(source + L"\\note.txt")) {
                File(source + L"\\note.txt", Small());
                Link(target + L"\\note.txt", L"O\\note.txt");
            }
            break;
        }
    }
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// Files up to this size are made by the shell, larger ones through Wine.
constexpr std::size_t kScriptedFile = 64;

// Shell text for `relative` under `root`. Only the root's parent, which exists, is asked of
// Wine: its lookup ignores case, and would give a name as it finds it.
class UnixNames {
public:
    explicit UnixNames(const std::wstring& root)
    {
        const std::size_t slash = root.rfind(L'\\');
        base_ = Narrow(UnixPath(root.substr(0, slash)) + L"/" + root.substr(slash + 1));
    }
    bool Known() const { return base_.find('/') == 0; }
    std::string operator()(const std::wstring& relative) const
    {
        std::string path = base_;
        if (!relative.empty())
            path += "/" + Narrow(relative);
        std::replace(path.begin(), path.end(), '\\', '/');
        return "'" + path + "' ";
    }

private:
    std::string base_;
};

std::string Octal(const std::string& content)
{
    std::string text;
    for (unsigned char c : content) {
        text += '\\';
        text += static_cast<char>('0' + (c >> 6));
        text += static_cast<char>('0' + ((c >> 3) & 7));
        text += static_cast<char>('0' + (c & 7));
    }
    return text;
}

void MakeDirectories(const std::wstring& path)
{
    for (std::size_t slash = path.find(L'\\', 3); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1))
        CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
}

}  // namespace

TreePlan PlanTrees(unsigned seed)
{
    TreePlan plan;
    Planner(plan, seed).Plan(seed);
    return plan;
}

bool MakeTrees(const TreePlan& plan, const std::vector<std::wstring>& roots, std::string& unixLines)
{
    for (const std::wstring& root : roots) {
        const UnixNames names(root);
        if (!names.Known())
            return false;
        unixLines += "mkdir -p " + names(L"");
        for (const std::wstring& directory : plan.directories)
            unixLines += names(directory);
        unixLines += "\n";
        for (const auto& [path, content] : plan.files) {
            if (content.size() > kScriptedFile) {
                MakeDirectories(root + L"\\" + path);
                if (!WriteBytes(root + L"\\" + path, content))
                    return false;
            } else {
                unixLines += (content.empty() ? ": " : "printf '" + Octal(content) + "' ") + "> " + names(path) + "\n";
            }
        }
        for (const PlannedLink& link : plan.links)
            unixLines += "ln -s " + names(link.to) + names(link.path) + "\n";
    }
    return true;
}

bool RunUnix(const std::wstring& directory, const std::string& lines)
{
    const std::wstring script = directory + L"\\unix.sh";
    const std::wstring mark = directory + L"\\unix.done";
    DeleteFileW(mark.c_str());
    if (!WriteBytes(script, lines + ": > '" + Narrow(UnixPath(mark)) + "'\n"))
        return false;
    const std::wstring unixScript = UnixPath(script);
    ChildProcess shell;
    if (unixScript.empty() || !shell.Start(L"", L"Z:\\bin\\sh \"" + unixScript + L"\""))
        return false;
    // A Unix process cannot be waited for through its handle: its last line is.
    for (int tries = 0; tries < 10000 && !Exists(mark); ++tries)
        Sleep(1);
    return Exists(mark);
}

bool RemoveTrees(const std::wstring& directory, const std::vector<std::wstring>& roots)
{
    std::string lines = "rm -rf ";
    for (const std::wstring& root : roots)
        lines += UnixNames(root)(L"");
    return RunUnix(directory, lines + "\n");
}

std::wstring FollowLinks(const TreePlan& plan, std::wstring relative)
{
    relative = Lower(relative);
    for (int hops = 0; hops < 64; ++hops) {
        auto link = std::find_if(plan.links.begin(), plan.links.end(), [&](const PlannedLink& l) {
            const std::wstring path = Lower(l.path);
            return relative == path || Under(relative, path);
        });
        if (link == plan.links.end())
            break;
        relative = Lower(link->to) + relative.substr(link->path.size());
    }
    return relative;
}

namespace {

std::wstring MoveRow(const std::wstring& relative, const std::wstring& from, const std::wstring& to)
{
    const std::wstring lower = Lower(relative);
    const std::wstring row = Lower(from);
    if (lower == row || Under(lower, row))
        return to + relative.substr(row.size());
    return relative;
}

}  // namespace

std::wstring OnTargetSide(const TreePlan& plan, const std::wstring& relative)
{
    return MoveRow(relative, plan.source, plan.target);
}

std::wstring OnSourceSide(const TreePlan& plan, const std::wstring& relative)
{
    return MoveRow(relative, plan.target, plan.source);
}

}  // namespace qf::test
