#pragma once
// Where the main window's controls sit and how they look, given at 96 DPI and scaled to the
// monitor's DPI when they are placed.
#include <windows.h>

namespace qf {

constexpr int kBaseDpi = 96;
constexpr int kMainWindowWidth = 386;   // outer size at 96 DPI
constexpr int kMainWindowHeight = 312;
inline constexpr wchar_t kMainWindowCaption[] = L"987Quenfold";
inline constexpr wchar_t kMainWindowClass[] = L"QuenfoldMainWindow";

// How a control comes into being: a plain window class, or one of the modules' own makers.
enum class ControlMaker { Class, DirectoryList, LogBox };

struct ControlPlace {
    int id;
    ControlMaker maker;
    const wchar_t* className;  // for ControlMaker::Class
    const wchar_t* text;
    int left, top, width, height;  // client coordinates at 96 DPI
    DWORD style;                   // besides WS_CHILD | WS_VISIBLE
};

// The controls from front to back, which is also the tab order.
const ControlPlace* MainWindowControls(int* count);

// Monitor-aware DPI where the platform offers it, else 96.
UINT WindowDpi(HWND window);
UINT SystemDpi();
int ScaleForDpi(int pixels, UINT dpi);

// Outer rectangle of a window of the given 96-DPI size, centred on the primary screen.
RECT CentredOnPrimaryScreen(int width, int height, UINT dpi);

// Client rectangle of a control at `dpi`.
RECT ControlRect(const ControlPlace& place, UINT dpi);

// Creates every control of the table, in order, with the default GUI font.
void CreateMainWindowControls(HWND window, UINT dpi);

// Moves the controls to their places at `dpi` (after the window moved to another monitor).
void PlaceMainWindowControls(HWND window, UINT dpi);

}  // namespace qf
