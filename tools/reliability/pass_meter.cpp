// qf-pass-meter SOURCE TARGET [PASSES]: runs the directory pass PASSES times (1 by default)
// in this process and prints, for each, the time it took, the peak working set and private
// bytes so far, and the handle count, so a big tree's speed and memory can be read off.
#include "sync/directory_pass.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 1;
    int passes = argc > 3 ? std::wcstol(argv[3], nullptr, 10) : 1;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int pass = 1; pass <= passes; ++pass) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        qf::DirectoryPass(argv[1], argv[2]);
        QueryPerformanceCounter(&end);
        PROCESS_MEMORY_COUNTERS_EX memory{};
        memory.cb = sizeof memory;
        GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
        DWORD handles = 0;
        GetProcessHandleCount(GetCurrentProcess(), &handles);
        std::printf("pass %d: %.0f ms, peak working set %zu KiB, private %zu KiB, handles %lu\n", pass,
                    1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
                    static_cast<size_t>(memory.PeakWorkingSetSize / 1024), static_cast<size_t>(memory.PrivateUsage / 1024),
                    static_cast<unsigned long>(handles));
        std::fflush(stdout);
    }
    return 0;
}
