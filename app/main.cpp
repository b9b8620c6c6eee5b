#include <windows.h>

#include "app/startup.h"

// The command line is not read.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return qf::StartUp();
}
