// The introduction window "程序介绍": a fixed text, one copy at a time, owned by nobody.
#include "ui/intro_window.h"

#include <windows.h>
#include <commctrl.h>

#include "ui/dpi.h"
#include "ui/main_window_layout.h"
#include "ui/resource.h"
#include "ui/window_class.h"

namespace qf {
namespace {

constexpr int kIntroWidth = 380;  // outer size at 96 DPI
constexpr int kIntroHeight = 250;
constexpr int kLabelLeft = 10, kLabelTop = 8, kLabelWidth = 352, kLabelHeight = 200;  // at 96 DPI
constexpr DWORD kIntroStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
inline constexpr wchar_t kIntroClass[] = L"QuenfoldIntroWindow";

HWND gIntroWindow = nullptr;

// The fifteen lines of the text; the empty ones are blank lines on purpose.
const wchar_t* const kIntroLines[] = {
    L"您好，本程序为多个源目录路径，间隔指定时间后，同步文件到指定目标目录。",
    L"不支持目录内文件夹同步（自行测试功能）。",
    L"支持手动保存配置项，程序运行后优先自动读取。",
    L"",
    L"当前版本为测试版1.0 实现了必备的功能。",
    L"比较适合办公环境及许多可见环境。",
    L"程序继续更新，期望达到可支持后台运行，桌面快捷提醒等。",
    L"",
    L"",
    L"",
    L"",  // the users' group contact: none is published
    L"",
    L"群文件免费下载、免费使用。",
    L"",
    L"本程序仅限用到的人使用，不喜勿喷，谢谢！"
};

// How a static label with SS_LEFT | SS_NOPREFIX lays out its text.
constexpr UINT kLabelTextFormat = DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK | DT_NOPREFIX;

void OnCreate(HWND window)
{
    const UINT dpi = WindowDpi(window);
    const RECT at = IntroLayoutForDpi(dpi).label;
    HWND label = CreateWindowExW(0, WC_STATICW, IntroText().c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                                 at.left, at.top, at.right - at.left, at.bottom - at.top, window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_INTRO_LABEL)),
                                 reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)), nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFontForDpi(dpi)), FALSE);
}

LRESULT OnLabelColour(HDC dc)
{
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
}

// The suggested place, with the size this DPI's font needs (a grown window does not scale
// by the ratio of the two DPIs alone).
void OnDpiChanged(HWND window, UINT dpi, const RECT& suggested)
{
    const IntroLayout layout = IntroLayoutForDpi(dpi);
    SetWindowPos(window, nullptr, suggested.left, suggested.top, layout.outer.cx, layout.outer.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    HWND label = GetDlgItem(window, IDC_INTRO_LABEL);
    const RECT& at = layout.label;
    SetWindowPos(label, nullptr, at.left, at.top, at.right - at.left, at.bottom - at.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFontForDpi(dpi)), TRUE);
}

LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_CTLCOLORSTATIC:
        return OnLabelColour(reinterpret_cast<HDC>(wParam));
    case WM_KEYDOWN:
        // The label takes no focus, so keys reach the window itself.
        if (wParam == VK_ESCAPE) {
            SendMessageW(window, WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    case WM_DPICHANGED:
        OnDpiChanged(window, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_NCDESTROY:
        if (gIntroWindow == window)
            gIntroWindow = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void BringToFront(HWND window)
{
    if (IsIconic(window)) {
        ShowWindow(window, SW_RESTORE);
        return;
    }
    SetForegroundWindow(window);
    SetActiveWindow(window);
}

}  // namespace

// The given sizes hold the text with the fonts they were made for; a font with a taller line or
// wider characters would cut the last lines off. So the text is measured with the font the
// label gets, and label and window grow by just what is missing; where it fits, the given
// layout stands.
IntroLayout IntroLayoutForDpi(UINT dpi)
{
    const int left = ScaleForDpi(kLabelLeft, dpi);
    const int top = ScaleForDpi(kLabelTop, dpi);
    const int width = ScaleForDpi(kLabelWidth, dpi);
    const int height = ScaleForDpi(kLabelHeight, dpi);
    const SIZE needed = IntroTextSize(GuiFontForDpi(dpi), width);
    const int growX = needed.cx > width ? needed.cx - width : 0;
    const int growY = needed.cy > height ? needed.cy - height : 0;
    IntroLayout layout;
    layout.label = RECT{left, top, left + width + growX, top + height + growY};
    layout.outer = SIZE{ScaleForDpi(kIntroWidth, dpi) + growX, ScaleForDpi(kIntroHeight, dpi) + growY};
    return layout;
}

SIZE IntroTextSize(HFONT font, int width)
{
    SIZE size{0, 0};
    HDC dc = GetDC(nullptr);
    if (!dc)
        return size;
    HGDIOBJ old = SelectObject(dc, font);
    const std::wstring text = IntroText();
    RECT at{0, 0, width, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &at, kLabelTextFormat | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    size.cx = at.right;
    size.cy = at.bottom;
    return size;
}

std::wstring IntroText()
{
    std::wstring text;
    for (size_t i = 0; i < sizeof(kIntroLines) / sizeof(kIntroLines[0]); ++i) {
        if (i > 0)
            text += L"\r\n";
        text += kIntroLines[i];
    }
    return text;
}

HWND IntroWindow()
{
    return gIntroWindow;
}

void ShowIntroWindow()
{
    if (gIntroWindow && IsWindow(gIntroWindow)) {
        BringToFront(gIntroWindow);
        return;
    }
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!RegisterProgramWindowClass(instance, kIntroClass, GuardedWindowProc<HandleMessage>))
        return;
    const SIZE outer = IntroLayoutForDpi(SystemDpi()).outer;
    const RECT at = CentredOnPrimaryScreen(outer.cx, outer.cy, kBaseDpi);  // sizes already in pixels
    gIntroWindow = CreateWindowExW(0, kIntroClass, kIntroCaption, kIntroStyle, at.left, at.top,
                                   at.right - at.left, at.bottom - at.top, nullptr, nullptr, instance, nullptr);
    if (!gIntroWindow)
        return;
    ShowWindow(gIntroWindow, SW_SHOWNORMAL);
    UpdateWindow(gIntroWindow);
}

}  // namespace qf
