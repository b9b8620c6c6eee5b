// qf-hold-file PATH SHAREMODE EVENT: opens PATH for reading and writing with the given share
// mode, signals the named event and keeps the file open until it is terminated. Stands in for
// another program that has a user's file open while a pass runs.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4)
        return 1;
    DWORD share = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    HANDLE file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
    if (!ready)
        return 3;
    SetEvent(ready);
    Sleep(INFINITE);
    return 0;
}
