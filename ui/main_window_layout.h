#pragma once
// Where the main window's controls sit and how they look, given at 96 DPI and scaled to the
// monitor's DPI when they are placed.
#include <windows.h>

#include "ui/dpi.h"

namespace qf {

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

// Outer rectangle of a window of the given 96-DPI size, centred on the primary screen.
RECT CentredOnPrimaryScreen(int width, int height, UINT dpi);

// Client rectangle of a control at `dpi`.
RECT ControlRect(const ControlPlace& place, UINT dpi);

// Width of a column of the directory list at `dpi`: the given width scaled, or as wide as the
// header text needs (`headerTextWidth` pixels in the header's font) where that is wider.
int DirectoryColumnWidth(int column, UINT dpi, int headerTextWidth);
constexpr int kDirectoryColumns = 4;

// Creates every control of the table, in order, with the default GUI font of `dpi`.
void CreateMainWindowControls(HWND window, UINT dpi);

// Gives the controls the places, fonts and column widths of `dpi`, as CreateMainWindowControls
// would have (after the window moved to a monitor of another scale).
void PlaceMainWindowControls(HWND window, UINT dpi);

}  // namespace qf
