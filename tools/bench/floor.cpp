// qf-bench-floor MODE DIRECTORY...: the least work a pass can do under this platform, to set
// the pass's figures against.
//   noop   starts and ends (the cost of starting a program)
//   list   lists every directory of the trees
//   open   lists, and opens and closes every file without reading it
//   read   lists, and opens, reads to the end in 1 MiB blocks and closes every file
//   read2  as read, with one thread per tree, all at the same time (what two cores allow)
//   md5x2  as read2, each file's content also hashed with MD5 (what a pass that compares
//          content cannot do without)
//   md5lock SOURCE TARGET  md5x2's work in lockstep, as passes once did it: level by level,
//          both sides of a directory listed at once (one on a helper thread), then its files
//          hashed at once, and the next directory only when both sides are done (two
//          hand-offs a directory)
//   copy1 SOURCE TARGET  one thread copies every file of SOURCE to the same name under TARGET,
//          whose folders exist already: open, create, read, write, close; no temporary, no
//          attributes or times (what a first pass cannot do with less)
// Prints one line "files=N dirs=N bytes=N ms=N"; exit code 1 on bad arguments.
#include "sync/md5_hasher.h"
#include "win/unique_handle.h"

#include <cstdio>
#include <cwchar>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

enum class Mode { Noop, List, Open, Read, ReadParallel, HashParallel, Copy, Lockstep };

constexpr DWORD kBlock = 1024 * 1024;

struct Totals {
    unsigned long long files = 0;
    unsigned long long directories = 0;
    unsigned long long bytes = 0;
};

bool IsDotName(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

void VisitFile(const std::wstring& path, Mode mode, unsigned char* block, Totals& totals)
{
    ++totals.files;
    if (mode == Mode::List)
        return;
    qf::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file || mode == Mode::Open)
        return;
    DWORD got = 0;
    static thread_local qf::Hasher hasher;  // one per thread, as the pass keeps one per side
    const bool hash = mode == Mode::HashParallel && hasher.Restart();
    while (ReadFile(file.get(), block, kBlock, &got, nullptr) && got > 0) {
        totals.bytes += got;
        if (hash)
            hasher.Update(block, got);
    }
    std::vector<unsigned char> digest;
    if (hash)
        hasher.Finish(digest);
}

void CopyOneFile(const std::wstring& from, const std::wstring& to, unsigned char* block, Totals& totals)
{
    ++totals.files;
    qf::FileHandle source(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source)
        return;
    qf::FileHandle target(
        CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target)
        return;
    DWORD got = 0, put = 0;
    while (ReadFile(source.get(), block, kBlock, &got, nullptr) && got > 0) {
        if (!WriteFile(target.get(), block, got, &put, nullptr) || put != got)
            return;
        totals.bytes += got;
    }
}

void CopyTree(const std::wstring& from, const std::wstring& to, unsigned char* block, Totals& totals)
{
    ++totals.directories;
    WIN32_FIND_DATAW data;
    qf::FindHandle find(FindFirstFileExW((from + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                         nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find)
        return;
    do {
        if (IsDotName(data.cFileName))
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CopyTree(from + data.cFileName + L'\\', to + data.cFileName + L'\\', block, totals);
        else
            CopyOneFile(from + data.cFileName, to + data.cFileName, block, totals);
    } while (FindNextFileW(find.get(), &data));
}

void VisitDirectory(const std::wstring& directory, Mode mode, unsigned char* block, Totals& totals)
{
    ++totals.directories;
    WIN32_FIND_DATAW data;
    qf::FindHandle find(FindFirstFileExW((directory + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                         nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find)
        return;
    do {
        if (IsDotName(data.cFileName))
            continue;
        std::wstring path = directory + data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            VisitDirectory(path + L'\\', mode, block, totals);
        else
            VisitFile(path, mode, block, totals);
    } while (FindNextFileW(find.get(), &data));
}

// A second thread that runs one job at a time while the caller does its own half.
class Helper {
public:
    Helper()
        : go_(CreateEventW(nullptr, FALSE, FALSE, nullptr)), done_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          thread_(CreateThread(nullptr, 0, Entry, this, 0, nullptr))
    {
    }
    ~Helper()
    {
        quit_ = true;
        SetEvent(go_.get());
        WaitForSingleObject(thread_.get(), INFINITE);
    }
    void Both(const std::function<void()>& theirs, const std::function<void()>& mine)
    {
        job_ = theirs;
        SetEvent(go_.get());
        mine();
        WaitForSingleObject(done_.get(), INFINITE);
    }

private:
    static DWORD WINAPI Entry(void* self)
    {
        auto helper = static_cast<Helper*>(self);
        while (WaitForSingleObject(helper->go_.get(), INFINITE) == WAIT_OBJECT_0 && !helper->quit_) {
            helper->job_();
            SetEvent(helper->done_.get());
        }
        return 0;
    }
    qf::KernelHandle go_, done_, thread_;
    std::function<void()> job_;
    volatile bool quit_ = false;
};

void ListNames(const std::wstring& directory, std::vector<std::wstring>& files, std::vector<std::wstring>& folders)
{
    WIN32_FIND_DATAW data;
    qf::FindHandle find(FindFirstFileExW((directory + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                         nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find)
        return;
    do {
        if (IsDotName(data.cFileName))
            continue;
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? folders : files).push_back(data.cFileName);
    } while (FindNextFileW(find.get(), &data));
}

struct LockstepSide {
    std::vector<std::wstring> files, folders;
    std::unique_ptr<unsigned char[]> block{new unsigned char[kBlock]};
    Totals totals;
};

void Lockstep(Helper& helper, const std::wstring& source, const std::wstring& target, LockstepSide& mine,
              LockstepSide& theirs)
{
    ++mine.totals.directories;
    ++theirs.totals.directories;
    mine.files.clear();
    mine.folders.clear();
    theirs.files.clear();
    theirs.folders.clear();
    helper.Both([&] { ListNames(target, theirs.files, theirs.folders); },
                [&] { ListNames(source, mine.files, mine.folders); });
    helper.Both(
        [&] {
            for (const std::wstring& name : mine.files)
                VisitFile(target + name, Mode::HashParallel, theirs.block.get(), theirs.totals);
        },
        [&] {
            for (const std::wstring& name : mine.files)
                VisitFile(source + name, Mode::HashParallel, mine.block.get(), mine.totals);
        });
    std::vector<std::wstring> folders;
    folders.swap(mine.folders);
    for (const std::wstring& name : folders)
        Lockstep(helper, source + name + L'\\', target + name + L'\\', mine, theirs);
}

bool ParseMode(const wchar_t* text, Mode& mode)
{
    static const struct {
        const wchar_t* name;
        Mode mode;
    } kModes[] = {{L"noop", Mode::Noop}, {L"list", Mode::List}, {L"open", Mode::Open}, {L"read", Mode::Read},
                   {L"read2", Mode::ReadParallel}, {L"md5x2", Mode::HashParallel},
                   {L"copy1", Mode::Copy}, {L"md5lock", Mode::Lockstep}};
    for (const auto& known : kModes) {
        if (std::wcscmp(text, known.name) == 0) {
            mode = known.mode;
            return true;
        }
    }
    return false;
}

std::wstring DirectoryPath(const wchar_t* root)
{
    std::wstring path = root;
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return path;
}

struct TreeJob {
    std::wstring root;
    Mode mode;
    Totals totals;
};

DWORD WINAPI ReadTree(void* argument)
{
    auto job = static_cast<TreeJob*>(argument);
    std::unique_ptr<unsigned char[]> block(new unsigned char[kBlock]);
    VisitDirectory(job->root, job->mode, block.get(), job->totals);
    return 0;
}

void VisitInParallel(Mode mode, int count, wchar_t** roots, Totals& totals)
{
    std::unique_ptr<TreeJob[]> jobs(new TreeJob[count]);
    std::unique_ptr<qf::KernelHandle[]> threads(new qf::KernelHandle[count]);
    for (int i = 0; i < count; ++i) {
        jobs[i].root = DirectoryPath(roots[i]);
        jobs[i].mode = mode == Mode::HashParallel ? mode : Mode::Read;
        threads[i].reset(CreateThread(nullptr, 0, ReadTree, &jobs[i], 0, nullptr));
        if (!threads[i])
            ReadTree(&jobs[i]);
    }
    for (int i = 0; i < count; ++i) {
        if (threads[i])
            WaitForSingleObject(threads[i].get(), INFINITE);
        totals.files += jobs[i].totals.files;
        totals.directories += jobs[i].totals.directories;
        totals.bytes += jobs[i].totals.bytes;
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    Mode mode = Mode::Noop;
    if (argc < 2 || !ParseMode(argv[1], mode)) {
        std::fputs("usage: qf-bench-floor noop|list|open|read|read2|md5x2 DIRECTORY... | copy1|md5lock SOURCE TARGET\n",
                   stderr);
        return 1;
    }
    if (mode == Mode::Noop)
        return 0;
    std::unique_ptr<unsigned char[]> block(new unsigned char[kBlock]);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    Totals totals;
    if (mode == Mode::Lockstep) {
        if (argc != 4)
            return 1;
        Helper helper;
        LockstepSide mine, theirs;
        Lockstep(helper, DirectoryPath(argv[2]), DirectoryPath(argv[3]), mine, theirs);
        totals.files = mine.totals.files + theirs.totals.files;
        totals.directories = mine.totals.directories + theirs.totals.directories;
        totals.bytes = mine.totals.bytes + theirs.totals.bytes;
    } else if (mode == Mode::Copy) {
        if (argc != 4)
            return 1;
        CopyTree(DirectoryPath(argv[2]), DirectoryPath(argv[3]), block.get(), totals);
    } else if (mode == Mode::ReadParallel || mode == Mode::HashParallel) {
        VisitInParallel(mode, argc - 2, argv + 2, totals);
    } else {
        for (int i = 2; i < argc; ++i)
            VisitDirectory(DirectoryPath(argv[i]), mode, block.get(), totals);
    }
    QueryPerformanceCounter(&end);
    double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::printf("files=%llu dirs=%llu bytes=%llu ms=%.1f\n", totals.files, totals.directories, totals.bytes, ms);
    return 0;
}
