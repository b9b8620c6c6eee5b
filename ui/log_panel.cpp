#include "ui/log_panel.h"

#include <commctrl.h>
#include <windowsx.h>

#include <string_view>

#include "ui/dialogs.h"
#include "ui/ui_thread.h"

namespace qf {
namespace {

constexpr UINT_PTR kLogBoxSubclass = 1;

// Touched only on the UI thread: workers reach the box through RunOnUiThread.
HWND gLogBox = nullptr;

// End of the first whole line that reaches past `excess` characters, npos when `head` holds
// none. Dropping [0, end) frees at least `excess` characters without splitting a line.
size_t WholeLinesEnd(std::wstring_view head, size_t excess)
{
    const size_t from = excess < 2 ? 0 : excess - 2;
    const size_t found = head.find(L"\r\n", from);
    return found == std::wstring_view::npos ? found : found + 2;
}

// Drops the oldest whole lines until `excess` characters are free; returns the new length.
size_t DropOldestLines(HWND box, size_t length, size_t excess)
{
    size_t end = std::wstring_view::npos;
    for (size_t chunk = excess + 4096; end == std::wstring_view::npos; chunk *= 2) {
        const size_t read = chunk < length ? chunk : length;
        std::wstring head(read + 1, L'\0');
        head.resize(static_cast<size_t>(SendMessageW(box, WM_GETTEXT, head.size(), reinterpret_cast<LPARAM>(&head[0]))));
        end = WholeLinesEnd(head, excess);
        if (read == length)
            break;
    }
    if (end == std::wstring_view::npos)
        end = length;
    SendMessageW(box, EM_SETSEL, 0, static_cast<LPARAM>(end));
    SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    return length - end;
}

// Runs on the UI thread, so no other append can come between its steps.
void AppendWhole(HWND box, const std::wstring& line)
{
    const size_t limit = static_cast<UINT>(SendMessageW(box, EM_GETLIMITTEXT, 0, 0));
    if (line.size() > limit)
        return;  // it could never land whole
    size_t length = static_cast<size_t>(GetWindowTextLengthW(box));
    if (length + line.size() > limit)
        length = DropOldestLines(box, length, length + line.size() - limit);
    SendMessageW(box, EM_SETSEL, length, static_cast<LPARAM>(length));
    SendMessageW(box, EM_SCROLLCARET, 0, 0);
    SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    const size_t after = static_cast<size_t>(GetWindowTextLengthW(box));
    if (after != length + line.size() && after > length) {
        // Out of memory part-way: take the fragment back rather than leave half a line.
        SendMessageW(box, EM_SETSEL, length, static_cast<LPARAM>(after));
        SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    }
}

LRESULT CALLBACK LogBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR)
{
    try {
        switch (message) {
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
            ClearLog();
            return 0;
        case WM_CONTEXTMENU:
            // The right button belongs to ClearLog; the keyboard still opens the copy menu.
            if (GET_X_LPARAM(lParam) != -1 || GET_Y_LPARAM(lParam) != -1)
                return 0;
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(box, LogBoxProc, id);
            if (gLogBox == box)
                gLogBox = nullptr;
            break;
        default:
            break;
        }
    } catch (...) {
        return 0;
    }
    return DefSubclassProc(box, message, wParam, lParam);
}

}  // namespace

HWND CreateLogBox(HWND parent, int controlId, const RECT& bounds)
{
    constexpr DWORD kStyle =
        WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_LEFT | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
    HWND box = CreateWindowExW(0, L"EDIT", L"", kStyle, bounds.left, bounds.top, bounds.right - bounds.left,
                               bounds.bottom - bounds.top, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), GetModuleHandleW(nullptr),
                               nullptr);
    if (!box)
        return nullptr;
    SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    SendMessageW(box, EM_SETLIMITTEXT, 0, 0);  // the platform's maximum
    SetWindowSubclass(box, LogBoxProc, kLogBoxSubclass, 0);
    gLogBox = box;
    return box;
}

HWND LogBox()
{
    return gLogBox;
}

HBRUSH LogBoxColours(HDC dc)
{
    SetTextColor(dc, RGB(255, 0, 0));
    SetBkColor(dc, RGB(0, 0, 0));
    return static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
}

void AppendLog(const std::wstring& label, const std::wstring& message)
{
    const std::wstring line = label + L": " + message + L"\r\n";
    RunOnUiThread([&line] {
        if (gLogBox)
            AppendWhole(gLogBox, line);
    });
}

void ClearLog()
{
    RunOnUiThread([] {
        if (ShowMessageBox(L"是否清空日志信息?", MB_YESNO) == kAnswerYes && gLogBox)
            SetWindowTextW(gLogBox, L"");
    });
}

}  // namespace qf
