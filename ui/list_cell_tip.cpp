#include "ui/list_cell_tip.h"

#include <commctrl.h>

#include "ui/dpi.h"

namespace qf {
namespace {

constexpr UINT_PTR kSubclassId = 1;
constexpr UINT_PTR kToolId = 1;
// Room the list leaves beside a cell's text, both sides together, at 96 DPI.
constexpr int kCellTextPadding = 12;

struct CellTip {
    HWND tip = nullptr;
    int row = -1;
    int column = -1;
    std::wstring text;  // what the tip shows; lives as long as the tip may read it
};

struct Cell {
    int row = -1;
    int column = -1;
    RECT at{};
};

Cell CellAt(HWND list, POINT point)
{
    LVHITTESTINFO hit{};
    hit.pt = point;
    Cell cell;
    if (SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) < 0 || hit.iSubItem < 1)
        return cell;
    cell.at.top = hit.iSubItem;
    cell.at.left = LVIR_LABEL;
    if (!SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(hit.iItem), reinterpret_cast<LPARAM>(&cell.at)))
        return cell;
    cell.row = hit.iItem;
    cell.column = hit.iSubItem;
    return cell;
}

std::wstring CellText(HWND list, int row, int column)
{
    std::wstring text(1024, L'\0');
    for (;;) {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = &text[0];
        item.cchTextMax = static_cast<int>(text.size());
        const auto length = static_cast<size_t>(
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
        if (length + 1 < text.size() || text.size() >= (1u << 16)) {
            text.resize(length < text.size() ? length : text.size() - 1);
            return text;
        }
        text.resize(text.size() * 2);
    }
}

// Over the cell, as a label tip sits.
void PlaceOverCell(HWND list, const CellTip& state)
{
    POINT cursor;
    GetCursorPos(&cursor);
    ScreenToClient(list, &cursor);
    const Cell cell = CellAt(list, cursor);
    if (cell.row != state.row || cell.column != state.column)
        return;
    RECT at = cell.at;
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&at), 2);
    SendMessageW(state.tip, TTM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&at));
    SetWindowPos(state.tip, nullptr, at.left, at.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT OnTipNotice(HWND list, CellTip& state, NMHDR& header)
{
    if (header.code == TTN_GETDISPINFOW) {
        POINT cursor;
        GetCursorPos(&cursor);
        ScreenToClient(list, &cursor);
        state.text = CutCellText(list, cursor);  // empty: no tip
        reinterpret_cast<NMTTDISPINFOW&>(header).lpszText = &state.text[0];
        return 0;
    }
    if (header.code == TTN_SHOW) {
        PlaceOverCell(list, state);
        return TRUE;
    }
    return 0;
}

// A new cell under the pointer starts the tip afresh, so it asks for that cell's text.
void OnMouseMove(HWND list, CellTip& state, POINT point)
{
    const Cell cell = CellAt(list, point);
    if (cell.row == state.row && cell.column == state.column)
        return;
    state.row = cell.row;
    state.column = cell.column;
    SendMessageW(state.tip, TTM_ACTIVATE, FALSE, 0);
    SendMessageW(state.tip, TTM_ACTIVATE, TRUE, 0);
}

void FitToolToList(HWND list, HWND tip)
{
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = list;
    tool.uId = kToolId;
    GetClientRect(list, &tool.rect);
    SendMessageW(tip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
}

LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    auto* state = reinterpret_cast<CellTip*>(data);
    switch (message) {
    case WM_MOUSEMOVE:
        OnMouseMove(list, *state, POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
        break;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->hwndFrom == state->tip)
            return OnTipNotice(list, *state, *header);
        break;
    }
    case WM_SIZE:
        FitToolToList(list, state->tip);
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(list, ListProc, kSubclassId);
        DestroyWindow(state->tip);
        delete state;
        return DefSubclassProc(list, message, wParam, lParam);
    default:
        break;
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

}  // namespace

std::wstring CutCellText(HWND list, POINT point)
{
    const Cell cell = CellAt(list, point);
    if (cell.row < 0)
        return std::wstring();
    std::wstring text = CellText(list, cell.row, cell.column);
    const int width = static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
    const int room = cell.at.right - cell.at.left - ScaleForDpi(kCellTextPadding, WindowDpi(list));
    return width > room ? text : std::wstring();
}

void ShowCutCellsInTips(HWND list)
{
    HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, list, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (!tip)
        return;
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_SUBCLASS | TTF_TRANSPARENT;
    tool.hwnd = list;
    tool.uId = kToolId;
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    GetClientRect(list, &tool.rect);
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, 800);  // a very long path wraps instead of running off screen
    auto* state = new CellTip;
    state->tip = tip;
    if (!SetWindowSubclass(list, ListProc, kSubclassId, reinterpret_cast<DWORD_PTR>(state))) {
        DestroyWindow(tip);
        delete state;
    }
}

}  // namespace qf
