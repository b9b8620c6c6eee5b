#include "ui/interval_label.h"

#include <commctrl.h>

#include "ui/dpi.h"
#include "win/window_text.h"

namespace qf {
namespace {

constexpr UINT_PTR kSubclassId = 1;

int TextWidth(HDC dc, const std::wstring& text)
{
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

void DrawPart(HDC dc, const std::wstring& text, RECT at)
{
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &at, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void Paint(HWND label, HWND box, HDC dc)
{
    RECT client;
    GetClientRect(label, &client);
    HWND parent = GetParent(label);
    // The parent decides colours and background, as it does for an ordinary static.
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                       reinterpret_cast<LPARAM>(label)));
    if (!brush || brush == GetStockObject(NULL_BRUSH))
        brush = GetSysColorBrush(COLOR_BTNFACE);
    FillRect(dc, &client, brush);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));

    const std::wstring text = WindowText(label);
    const LabelParts parts = SplitAtSpaceRun(text);
    RECT boxRect{};
    if (box)
        GetWindowRect(box, &boxRect);
    MapWindowPoints(nullptr, label, reinterpret_cast<POINT*>(&boxRect), 2);
    const int naturalLeft = TextWidth(dc, text) - TextWidth(dc, parts.unit);
    const int unitLeft = UnitLeft(naturalLeft, boxRect.right, ScaleForDpi(2, WindowDpi(label)));
    if (parts.unit.empty() || !box || unitLeft == naturalLeft) {
        DrawPart(dc, text, client);
    } else {
        DrawPart(dc, parts.lead, client);
        RECT unitRect = client;
        unitRect.left = unitLeft;
        DrawPart(dc, parts.unit, unitRect);
    }
    SelectObject(dc, oldFont);
}

LRESULT CALLBACK LabelProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR box)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(label, &paint);
        Paint(label, reinterpret_cast<HWND>(box), dc);
        EndPaint(label, &paint);
        return 0;
    }
    case WM_PRINTCLIENT:
        Paint(label, reinterpret_cast<HWND>(box), reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_SETTEXT: {  // the static would paint its text over ours otherwise
        const LRESULT result = DefSubclassProc(label, message, wParam, lParam);
        InvalidateRect(label, nullptr, TRUE);
        return result;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(label, LabelProc, kSubclassId);
        break;
    }
    return DefSubclassProc(label, message, wParam, lParam);
}

}  // namespace

LabelParts SplitAtSpaceRun(const std::wstring& text)
{
    const size_t end = text.find_last_not_of(L' ');
    if (end == std::wstring::npos)
        return {text, {}};
    size_t runEnd = text.rfind(L"  ", end);
    if (runEnd == std::wstring::npos)
        return {text, {}};
    size_t runStart = runEnd;
    while (runStart > 0 && text[runStart - 1] == L' ')
        --runStart;
    runEnd = text.find_first_not_of(L' ', runEnd);
    if (runEnd == std::wstring::npos)
        return {text, {}};
    return {text.substr(0, runStart), text.substr(runEnd)};
}

int UnitLeft(int naturalLeft, int boxRight, int gap)
{
    return naturalLeft >= boxRight + gap ? naturalLeft : boxRight + gap;
}

void KeepUnitBesideBox(HWND label, HWND box)
{
    SetWindowSubclass(label, LabelProc, kSubclassId, reinterpret_cast<DWORD_PTR>(box));
    InvalidateRect(label, nullptr, TRUE);
}

}  // namespace qf
