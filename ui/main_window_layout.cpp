#include "ui/main_window_layout.h"

#include <commctrl.h>

#include "dirset/directory_list.h"
#include "ui/log_panel.h"
#include "ui/resource.h"

namespace qf {
namespace {

// Front to back; creating children in this order gives the same Z order and tab order.
const ControlPlace kControls[] = {
    {IDC_AUTOSTART_CHECK, ControlMaker::Class, WC_BUTTONW, L"开机自启", 8, 232, 80, 24,
     BS_AUTOCHECKBOX | BS_LEFT | BS_VCENTER | WS_TABSTOP | WS_DISABLED},
    {IDC_SAVE_BUTTON, ControlMaker::Class, WC_BUTTONW, L"保存设置", 256, 232, 120, 24,
     BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | WS_TABSTOP},
    {IDC_INTERVAL_EDIT, ControlMaker::Class, WC_EDITW, L"600", 59, 57, 36, 22,
     ES_CENTER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
    {IDC_DIRECTORY_LIST, ControlMaker::DirectoryList, nullptr, L"", 8, 88, 368, 136, WS_TABSTOP},
    {IDC_LOG_EDIT, ControlMaker::LogBox, nullptr, L"", 126, 5, 250, 83, WS_TABSTOP},
    {IDC_START_BUTTON, ControlMaker::Class, WC_BUTTONW, L"开  始", 9, 10, 112, 34,
     BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | WS_TABSTOP},
    // Clipped by its siblings so that it never draws over the interval box lying on it.
    {IDC_INTERVAL_LABEL, ControlMaker::Class, WC_STATICW, L"同步间隔：      秒", 2, 51, 114, 32,
     SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX | WS_CLIPSIBLINGS},
};

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();

// Looked up at run time: both exist only from Windows 10 1607 on.
template <typename Fn>
Fn User32Function(const char* name)
{
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

HWND CreateControl(HWND window, const ControlPlace& place, const RECT& at)
{
    const DWORD style = WS_CHILD | WS_VISIBLE | place.style;
    switch (place.maker) {
    case ControlMaker::DirectoryList:
        return CreateDirectoryList(window, place.id, at);
    case ControlMaker::LogBox:
        return CreateLogBox(window, place.id, at);
    case ControlMaker::Class:
        break;
    }
    return CreateWindowExW(0, place.className, place.text, style, at.left, at.top, at.right - at.left,
                           at.bottom - at.top, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(place.id)),
                           reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)), nullptr);
}

}  // namespace

const ControlPlace* MainWindowControls(int* count)
{
    *count = static_cast<int>(sizeof(kControls) / sizeof(kControls[0]));
    return kControls;
}

UINT WindowDpi(HWND window)
{
    static const auto forWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    const UINT dpi = (forWindow && window) ? forWindow(window) : 0;
    return dpi ? dpi : SystemDpi();
}

UINT SystemDpi()
{
    static const auto forSystem = User32Function<GetDpiForSystemFn>("GetDpiForSystem");
    const UINT dpi = forSystem ? forSystem() : 0;
    return dpi ? dpi : kBaseDpi;
}

int ScaleForDpi(int pixels, UINT dpi)
{
    return MulDiv(pixels, static_cast<int>(dpi), kBaseDpi);
}

RECT CentredOnPrimaryScreen(int width, int height, UINT dpi)
{
    const int w = ScaleForDpi(width, dpi);
    const int h = ScaleForDpi(height, dpi);
    const int left = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    return RECT{left, top, left + w, top + h};
}

RECT ControlRect(const ControlPlace& place, UINT dpi)
{
    const int left = ScaleForDpi(place.left, dpi);
    const int top = ScaleForDpi(place.top, dpi);
    return RECT{left, top, left + ScaleForDpi(place.width, dpi), top + ScaleForDpi(place.height, dpi)};
}

void CreateMainWindowControls(HWND window, UINT dpi)
{
    const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
    for (const ControlPlace& place : kControls) {
        HWND control = CreateControl(window, place, ControlRect(place, dpi));
        if (!control)
            continue;
        SendMessageW(control, WM_SETFONT, font, FALSE);
        if (place.id == IDC_INTERVAL_EDIT)
            SendMessageW(control, EM_SETLIMITTEXT, 0, 0);  // 0: the platform's maximum
    }
}

void PlaceMainWindowControls(HWND window, UINT dpi)
{
    for (const ControlPlace& place : kControls) {
        HWND control = GetDlgItem(window, place.id);
        if (!control)
            continue;
        const RECT at = ControlRect(place, dpi);
        SetWindowPos(control, nullptr, at.left, at.top, at.right - at.left, at.bottom - at.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

}  // namespace qf
