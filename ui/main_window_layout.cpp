#include "ui/main_window_layout.h"

#include <commctrl.h>

#include <string>

#include "dirset/directory_list.h"
#include "ui/list_cell_tip.h"
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

// The list's given column widths, at 96 DPI, in column order.
constexpr int kColumnWidths[kDirectoryColumns] = {40, 60, 150, 100};

// Room a header item leaves beside its text on each side, at 96 DPI.
constexpr int kHeaderTextMargin = 6;

std::wstring HeaderText(HWND list, int column)
{
    wchar_t text[64] = {};
    LVCOLUMNW item{};
    item.mask = LVCF_TEXT;
    item.pszText = text;
    item.cchTextMax = 64;
    SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&item));
    return text;
}

int TextWidth(HFONT font, const std::wstring& text)
{
    HDC dc = GetDC(nullptr);
    if (!dc)
        return 0;
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return size.cx;
}

void SizeColumns(HWND list, UINT dpi, HFONT font)
{
    for (int column = 0; column < kDirectoryColumns; ++column) {
        SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column),
                     MAKELPARAM(DirectoryColumnWidth(column, dpi, TextWidth(font, HeaderText(list, column))), 0));
    }
}

// Fonts, column widths and the unit beside the interval box follow the DPI; the unit is
// placed when the label paints, so it only needs painting again.
void StyleControl(HWND control, int id, UINT dpi)
{
    HFONT font = GuiFontForDpi(dpi);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (id == IDC_DIRECTORY_LIST) {
        // Its header keeps a font of its own otherwise.
        if (HWND header = reinterpret_cast<HWND>(SendMessageW(control, LVM_GETHEADER, 0, 0)))
            SendMessageW(header, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        SizeColumns(control, dpi, font);
    } else if (id == IDC_INTERVAL_LABEL) {
        InvalidateRect(control, nullptr, TRUE);
    }
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

int DirectoryColumnWidth(int column, UINT dpi, int headerTextWidth)
{
    const int given = ScaleForDpi(kColumnWidths[column], dpi);
    const int needed = headerTextWidth + 2 * ScaleForDpi(kHeaderTextMargin, dpi);
    return needed > given ? needed : given;
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
    for (const ControlPlace& place : kControls) {
        HWND control = CreateControl(window, place, ControlRect(place, dpi));
        if (!control)
            continue;
        // Each control a group of its own: an arrow key on a button then leaves the focus where
        // it is, instead of walking through every control of the window.
        SetWindowLongW(control, GWL_STYLE, GetWindowLongW(control, GWL_STYLE) | WS_GROUP);
        StyleControl(control, place.id, dpi);
        if (place.id == IDC_INTERVAL_EDIT)
            SendMessageW(control, EM_SETLIMITTEXT, 0, 0);  // 0: the platform's maximum
        if (place.id == IDC_DIRECTORY_LIST)
            ShowCutCellsInTips(control);
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
        StyleControl(control, place.id, dpi);
    }
}

}  // namespace qf
