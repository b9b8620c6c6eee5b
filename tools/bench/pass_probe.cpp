// qf-bench-pass SOURCE TARGET: one directory pass, timed from inside the process, so neither
// the platform's start-up nor the benchmark's own process handling counts; then the process's
// peak memory as the platform reports it.
// qf-bench-pass --child PROGRAM [ARGUMENT...]: runs PROGRAM, waits for it and reports its
// peak memory the same way, to check that figure against the one taken from outside.
// Prints one line "ms=N peak_working_set=N peak_pagefile=N start_working_set=N" (bytes).
#include "sync/directory_pass.h"
#include "win/unique_handle.h"

#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

double MillisecondsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool Memory(HANDLE process, PROCESS_MEMORY_COUNTERS& counters)
{
    counters = PROCESS_MEMORY_COUNTERS{};
    counters.cb = sizeof(counters);
    return GetProcessMemoryInfo(process, &counters, sizeof(counters)) != FALSE;
}

// The command line of a child: each argument quoted, quotes and the backslashes before them
// escaped the way the C runtime splits them again.
std::wstring CommandLine(int argc, wchar_t** argv, int first)
{
    std::wstring line;
    for (int i = first; i < argc; ++i) {
        if (!line.empty())
            line += L' ';
        line += L'"';
        std::size_t backslashes = 0;
        for (const wchar_t* c = argv[i]; *c; ++c) {
            if (*c == L'\\') {
                ++backslashes;
                continue;
            }
            line.append(*c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
            backslashes = 0;
            line += *c;
        }
        line.append(2 * backslashes, L'\\');
        line += L'"';
    }
    return line;
}

int RunChild(int argc, wchar_t** argv)
{
    std::wstring line = CommandLine(argc, argv, 2);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        std::fprintf(stderr, "cannot start the program (error %lu)\n", GetLastError());
        return 1;
    }
    qf::KernelHandle process(info.hProcess);
    qf::KernelHandle thread(info.hThread);
    // The peak is read while the child still runs too: a platform that forgets the figures
    // of an ended process still leaves the last one seen.
    PROCESS_MEMORY_COUNTERS last{}, counters{};
    while (WaitForSingleObject(process.get(), 20) == WAIT_TIMEOUT) {
        if (Memory(process.get(), counters))
            last = counters;
    }
    double ms = MillisecondsSince(start);
    if (Memory(process.get(), counters) && counters.PeakWorkingSetSize >= last.PeakWorkingSetSize)
        last = counters;
    std::printf("ms=%.1f peak_working_set=%llu peak_pagefile=%llu start_working_set=0\n", ms,
                static_cast<unsigned long long>(last.PeakWorkingSetSize),
                static_cast<unsigned long long>(last.PeakPagefileUsage));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 3 && std::wcscmp(argv[1], L"--child") == 0)
        return RunChild(argc, argv);
    if (argc != 3) {
        std::fputs("usage: qf-bench-pass SOURCE TARGET | --child PROGRAM [ARGUMENT...]\n", stderr);
        return 1;
    }
    PROCESS_MEMORY_COUNTERS before;
    Memory(GetCurrentProcess(), before);
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    qf::DirectoryPass(argv[1], argv[2]);
    double ms = MillisecondsSince(start);
    PROCESS_MEMORY_COUNTERS after;
    Memory(GetCurrentProcess(), after);
    std::printf("ms=%.1f peak_working_set=%llu peak_pagefile=%llu start_working_set=%llu\n", ms,
                static_cast<unsigned long long>(after.PeakWorkingSetSize),
                static_cast<unsigned long long>(after.PeakPagefileUsage),
                static_cast<unsigned long long>(before.WorkingSetSize));
    return 0;
}
