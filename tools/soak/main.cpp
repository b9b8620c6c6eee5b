// Soak run of the scheduler: interval "0" over a small tree on real controls, for minutes.
//
//   qf-soak.exe [--minutes M | --seconds S] [--sample S] [--folders N] [--files-per-folder N]
//
// Prints one table row per sample: passes so far, log size, working set, private bytes,
// handle, GDI and USER object counts, processor use, and how long a round trip to the UI
// thread took (median and worst of one every 100 ms), which is what a user clicking the
// window meanwhile would feel. A source file is rewritten every two seconds, so passes copy
// as well as compare. Exit code 0 when handles and memory stayed flat after warm-up and the
// UI thread never took longer than a second to answer.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "dirset/directory_list.h"
#include "soak_tree.h"
#include "sync/scheduler.h"
#include "sync/start_thread.h"
#include "sync/sync_state.h"
#include "ui/log_panel.h"
#include "ui/sync_host.h"
#include "ui/ui_thread.h"

namespace {

constexpr UINT kStopMessage = WM_APP + 40;

struct Options {
    int seconds = 600;
    int sampleSeconds = 30;
    int folders = 4;
    int perFolder = 25;
};

struct Sample {
    double minutes;
    long long passes;
    long long logChars;
    double workingSetMiB;
    double privateMiB;
    DWORD handles;
    DWORD gdi;
    DWORD user;
    double cpuPercent;
    double roundTripMedianMs;
    double roundTripMaxMs;
};

HWND gWindow = nullptr;
HWND gLog = nullptr;

double Now()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency;
}

double ProcessCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (value(kernel) + value(user)) / 1e7;
}

// Committed private memory, summed over the address space: the process's own allocations,
// whatever the platform reports as private bytes (Wine reports none).
double CommittedPrivateMiB()
{
    unsigned long long total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        if (region.RegionSize == 0)
            break;
    }
    return static_cast<double>(total) / 1048576.0;
}

// The system's handle list, for where GetProcessHandleCount says 0 (Wine).
DWORD HandlesInSystemList()
{
    struct Entry {
        void* object;
        ULONG_PTR process;
        ULONG_PTR handle;
        ULONG access;
        USHORT backTrace;
        USHORT type;
        ULONG attributes;
        ULONG reserved;
    };
    struct List {
        ULONG_PTR count;
        ULONG_PTR reserved;
        Entry entries[1];
    };
    using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    static const auto query =
        reinterpret_cast<Query>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation"));
    if (!query)
        return 0;
    constexpr ULONG kExtendedHandleInformation = 64;
    for (ULONG size = 1 << 16; size <= (1u << 28); size *= 2) {
        std::vector<unsigned char> buffer(size);
        ULONG needed = 0;
        const LONG status = query(kExtendedHandleInformation, buffer.data(), size, &needed);
        if (status == static_cast<LONG>(0xC0000004))  // too small
            continue;
        if (status < 0)
            return 0;
        const List* list = reinterpret_cast<const List*>(buffer.data());
        DWORD mine = 0;
        for (ULONG_PTR i = 0; i < list->count; ++i)
            if (list->entries[i].process == GetCurrentProcessId())
                ++mine;
        return mine;
    }
    return 0;
}

// The pass count of the last count line, read on the UI thread from the log's last lines.
long long PassesSoFar(long long& logChars)
{
    long long passes = 0;
    qf::RunOnUiThread([&] {
        logChars = GetWindowTextLengthW(gLog);
        const int lines = static_cast<int>(SendMessageW(gLog, EM_GETLINECOUNT, 0, 0));
        for (int line = lines - 1; line >= 0 && line >= lines - 4; --line) {
            wchar_t text[128] = {};
            *reinterpret_cast<WORD*>(text) = 127;
            const LRESULT length = SendMessageW(gLog, EM_GETLINE, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(text));
            text[std::min<LRESULT>(length, 127)] = L'\0';
            if (std::wcsncmp(text, L"同步次数: ", 6) == 0) {
                passes = std::wcstoll(text + 6, nullptr, 10);
                return;
            }
        }
    });
    return passes;
}

Sample TakeSample(double start, double& lastCpu, double& lastTime, std::vector<double>& roundTrips)
{
    Sample s{};
    const double now = Now();
    s.minutes = (now - start) / 60.0;
    s.passes = PassesSoFar(s.logChars);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    s.workingSetMiB = static_cast<double>(memory.WorkingSetSize) / 1048576.0;
    s.privateMiB = CommittedPrivateMiB();
    if (!GetProcessHandleCount(GetCurrentProcess(), &s.handles) || s.handles == 0)
        s.handles = HandlesInSystemList();
    s.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    s.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    const double cpu = ProcessCpuSeconds();
    s.cpuPercent = now - lastTime > 0.5 ? 100.0 * (cpu - lastCpu) / (now - lastTime) : 0.0;
    lastCpu = cpu;
    lastTime = now;
    if (!roundTrips.empty()) {
        std::sort(roundTrips.begin(), roundTrips.end());
        s.roundTripMedianMs = roundTrips[roundTrips.size() / 2] * 1000.0;
        s.roundTripMaxMs = roundTrips.back() * 1000.0;
    }
    roundTrips.clear();
    return s;
}

void PrintSample(const Sample& s)
{
    std::printf("%7.2f %9lld %10lld %9.1f %9.1f %7lu %5lu %5lu %6.0f %9.2f %9.2f\n", s.minutes, s.passes, s.logChars,
                s.workingSetMiB, s.privateMiB, static_cast<unsigned long>(s.handles),
                static_cast<unsigned long>(s.gdi), static_cast<unsigned long>(s.user), s.cpuPercent,
                s.roundTripMedianMs, s.roundTripMaxMs);
    std::fflush(stdout);
}

struct SamplerStart {
    Options options;
    soak::SoakTree tree;
    std::vector<Sample>* samples;
};

DWORD WINAPI Sampler(void* parameter)
{
    const SamplerStart& start = *static_cast<SamplerStart*>(parameter);
    const double begin = Now();
    double lastCpu = ProcessCpuSeconds();
    double lastTime = begin;
    double nextSample = begin + start.options.sampleSeconds;
    double nextChange = begin + 2.0;
    int changes = 0;
    std::vector<double> roundTrips;
    std::printf("%7s %9s %10s %9s %9s %7s %5s %5s %6s %9s %9s\n", "minutes", "passes", "log chars", "WS MiB",
                "priv MiB", "handles", "GDI", "USER", "CPU %", "UI med ms", "UI max ms");
    start.samples->push_back(TakeSample(begin, lastCpu, lastTime, roundTrips));
    PrintSample(start.samples->back());
    while (Now() - begin < start.options.seconds) {
        Sleep(100);
        const double before = Now();
        qf::RunOnUiThread([] {});
        roundTrips.push_back(Now() - before);
        if (Now() >= nextChange) {
            soak::ChangeOneFile(start.tree, changes++);
            nextChange += 2.0;
        }
        if (Now() >= nextSample) {
            start.samples->push_back(TakeSample(begin, lastCpu, lastTime, roundTrips));
            PrintSample(start.samples->back());
            nextSample += start.options.sampleSeconds;
        }
    }
    PostMessageW(gWindow, kStopMessage, 0, 0);
    return 0;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == qf::LogBox())
        return reinterpret_cast<LRESULT>(qf::LogBoxColours(reinterpret_cast<HDC>(wParam)));
    return DefWindowProcW(window, message, wParam, lParam);
}

Options ParseOptions(int argc, wchar_t** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        const int value = std::max(1, _wtoi(argv[i + 1]));
        if (name == L"--minutes")
            options.seconds = value * 60;
        else if (name == L"--seconds")
            options.seconds = value;
        else if (name == L"--sample")
            options.sampleSeconds = value;
        else if (name == L"--folders")
            options.folders = value;
        else if (name == L"--files-per-folder")
            options.perFolder = value;
    }
    return options;
}

bool LogEnds()
{
    wchar_t text[16] = {};
    const int lines = static_cast<int>(SendMessageW(gLog, EM_GETLINECOUNT, 0, 0));
    *reinterpret_cast<WORD*>(text) = 15;
    const LRESULT length = SendMessageW(gLog, EM_GETLINE, static_cast<WPARAM>(lines - 2), reinterpret_cast<LPARAM>(text));
    text[std::min<LRESULT>(length, 15)] = L'\0';
    return std::wcscmp(text, L"提示: -") == 0;
}

// Flat after the first third of the run (warm-up: caches, the log's first growth).
int Verdict(const std::vector<Sample>& samples)
{
    if (samples.size() < 3) {
        std::printf("too few samples for a verdict\n");
        return 1;
    }
    const Sample& from = samples[samples.size() / 3];
    const Sample& to = samples.back();
    const double logMiB = static_cast<double>(to.logChars - from.logChars) * 2.0 / 1048576.0;
    double worst = 0;
    for (const Sample& s : samples)
        worst = std::max(worst, s.roundTripMaxMs);
    std::printf("\nfrom minute %.1f to %.1f: passes %lld -> %lld, handles %+ld, GDI %+ld, USER %+ld,\n"
                "private bytes %+.2f MiB, working set %+.2f MiB (log text grew %.2f MiB), worst UI round trip %.1f ms\n",
                from.minutes, to.minutes, from.passes, to.passes, static_cast<long>(to.handles) - static_cast<long>(from.handles),
                static_cast<long>(to.gdi) - static_cast<long>(from.gdi), static_cast<long>(to.user) - static_cast<long>(from.user),
                to.privateMiB - from.privateMiB, to.workingSetMiB - from.workingSetMiB, logMiB, worst);
    const bool handlesFlat = to.handles <= from.handles + 5 && to.gdi <= from.gdi + 5 && to.user <= from.user + 5;
    const bool memoryFlat = to.privateMiB - from.privateMiB <= 4.0 + 4.0 * logMiB;
    const bool responsive = worst < 1000.0;
    std::printf("handles %s, memory %s, UI %s\n", handlesFlat ? "flat" : "GROWING", memoryFlat ? "flat" : "GROWING",
                responsive ? "responsive" : "SLOW");
    return handlesFlat && memoryFlat && responsive ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const Options options = ParseOptions(argc, argv);
    qf::BindUiThread();
    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"QfSoak";
    RegisterClassW(&wc);
    gWindow = CreateWindowExW(0, wc.lpszClassName, L"qf-soak", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 520, 400,
                              nullptr, nullptr, wc.hInstance, nullptr);
    HWND interval = CreateWindowExW(0, L"EDIT", L"0", WS_CHILD | WS_VISIBLE | WS_BORDER, 8, 8, 80, 24, gWindow,
                                    nullptr, wc.hInstance, nullptr);
    HWND button = CreateWindowExW(0, L"BUTTON", L"开  始", WS_CHILD | WS_VISIBLE, 96, 8, 80, 24, gWindow, nullptr,
                                  wc.hInstance, nullptr);
    qf::CreateDirectoryList(gWindow, 1001, RECT{8, 40, 500, 160});
    gLog = qf::CreateLogBox(gWindow, 1002, RECT{8, 168, 500, 380});

    soak::SoakTree tree = soak::MakeSoakTree(options.folders, options.perFolder);
    qf::DirectoryListView list = qf::DirectoryList();
    list.SetCellText(list.AppendRow(), 2, tree.target);
    list.SetCellText(list.AppendRow(), 2, tree.source);
    std::printf("soak: interval 0, %d files of 1-8 KiB in %d folders, %d s, a sample every %d s\n", tree.files,
                options.folders, options.seconds, options.sampleSeconds);

    qf::ControlSyncHost host(interval, button);
    std::vector<Sample> samples;
    SamplerStart start{options, tree, &samples};
    qf::ToggleSync(host);
    qf::StartThread(Sampler, &start);

    bool stopping = false;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == kStopMessage && !stopping) {
            stopping = true;
            qf::ToggleSync(host);
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
        if (stopping && LogEnds())
            break;
    }
    const int result = Verdict(samples);
    DestroyWindow(gWindow);
    soak::RemoveSoakTree(tree);
    return result;
}
