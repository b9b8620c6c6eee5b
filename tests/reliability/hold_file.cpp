// Stands in for another program using a user's file while a pass runs. Either way it ends by
// itself when the process PARENT (a process id) ends, so that a test killed by its time limit
// leaves nothing holding files on a storage that must be unmounted.
//
// qf-hold-file PATH SHAREMODE EVENT [PARENT]: opens PATH for reading and writing with the given
// share mode, signals the named event and keeps the file open until it is terminated.
//
// qf-hold-file --save PATH EVENT STOP RESULT [PARENT]: saves PATH the way editors do, renaming
// it to PATH.~tmp and back, over and over until the named event STOP is set. Signals EVENT after
// the first save, and writes "saves refusals last-error" to the file RESULT at the end.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

HANDLE OpenParent(int argc, wchar_t** argv, int at)
{
    if (argc <= at)
        return nullptr;
    return OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(std::wcstoul(argv[at], nullptr, 10)));
}

// True when `handle` (the stop event or the parent) is signalled.
bool Signalled(HANDLE handle) { return handle && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }

int Hold(int argc, wchar_t** argv)
{
    DWORD share = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    HANDLE file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
    if (!ready)
        return 3;
    HANDLE parent = OpenParent(argc, argv, 4);
    SetEvent(ready);
    WaitForSingleObject(parent ? parent : GetCurrentProcess(), INFINITE);
    return 0;
}

int Save(int argc, wchar_t** argv)
{
    const std::wstring path = argv[2];
    const std::wstring aside = path + L".~tmp";
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
    HANDLE stop = OpenEventW(SYNCHRONIZE, FALSE, argv[4]);
    if (!ready || !stop)
        return 3;
    HANDLE parent = OpenParent(argc, argv, 6);
    unsigned long saves = 0, refusals = 0, lastError = 0;
    while (!Signalled(stop) && !Signalled(parent)) {
        if (!MoveFileExW(path.c_str(), aside.c_str(), 0)) {
            ++refusals;
            lastError = GetLastError();
            Sleep(1);
            continue;
        }
        // The file must come back, however long that is refused.
        while (!MoveFileExW(aside.c_str(), path.c_str(), 0)) {
            ++refusals;
            lastError = GetLastError();
            if (Signalled(parent))
                return 4;
            Sleep(1);
        }
        if (++saves == 1)
            SetEvent(ready);
        Sleep(5);  // an editor's file is mostly in place
    }
    FILE* result = _wfopen(argv[5], L"w");
    if (!result)
        return 5;
    std::fprintf(result, "%lu %lu %lu\n", saves, refusals, lastError);
    std::fclose(result);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 6 && std::wcscmp(argv[1], L"--save") == 0)
        return Save(argc, argv);
    if (argc == 4 || argc == 5)
        return Hold(argc, argv);
    return 1;
}
