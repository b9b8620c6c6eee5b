// Placeholder entry until the main window lands.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    MessageBoxW(nullptr, L"987Quenfold", L"987Quenfold", MB_OK);
    return 0;
}
