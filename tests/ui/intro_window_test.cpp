// The introduction window on its own: its text, frame, label and the one-at-a-time rule.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/window_driver.h"
#include "ui/dpi.h"
#include "ui/intro_window.h"
#include "ui/main_window_layout.h"
#include "ui/resource.h"

namespace qf {
namespace {

void PumpIntro(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - start < milliseconds);
}

std::vector<std::wstring> SplitLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t from = 0;
    for (;;) {
        const size_t at = text.find(L"\r\n", from);
        lines.push_back(text.substr(from, at == std::wstring::npos ? std::wstring::npos : at - from));
        if (at == std::wstring::npos)
            return lines;
        from = at + 2;
    }
}

// Height of the intro text as `label` draws it with its own font, wrapped at `width`.
int TextHeight(HWND label, int width)
{
    const std::wstring text = IntroText();
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    RECT at{0, 0, width, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &at,
              DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    return at.bottom;
}

RECT ChildRect(HWND child)
{
    RECT at;
    GetWindowRect(child, &at);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&at), 2);
    return at;
}

class IntroWindowTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (HWND intro = IntroWindow())
            DestroyWindow(intro);
        PumpIntro(0);
    }
};

TEST(IntroText, FifteenLinesWithTheBlankOnesInPlace)
{
    const std::wstring text = IntroText();
    EXPECT_NE(text.substr(text.size() - 2), L"\r\n");
    EXPECT_EQ(text.find(L'\n'), text.find(L"\r\n") + 1) << "every break is CR LF";
    const std::vector<std::wstring> lines = SplitLines(text);
    ASSERT_EQ(lines.size(), 15u);
    for (int blank : {4, 8, 9, 10, 12, 14})
        EXPECT_EQ(lines[blank - 1], L"") << "line " << blank;
    EXPECT_EQ(lines[0], L"您好，本程序为多个源目录路径，间隔指定时间后，同步文件到指定目标目录。");
    EXPECT_EQ(lines[1], L"不支持目录内文件夹同步（自行测试功能）。");
    EXPECT_EQ(lines[2], L"支持手动保存配置项，程序运行后优先自动读取。");
    EXPECT_EQ(lines[4], L"当前版本为测试版1.0 实现了必备的功能。");
    EXPECT_EQ(lines[5], L"比较适合办公环境及许多可见环境。");
    EXPECT_EQ(lines[6], L"程序继续更新，期望达到可支持后台运行，桌面快捷提醒等。");
    EXPECT_EQ(lines[12], L"群文件免费下载、免费使用。");
    EXPECT_EQ(lines[14], L"本程序仅限用到的人使用，不喜勿喷，谢谢！");
}

TEST_F(IntroWindowTest, FrameLabelAndPlace)
{
    ShowIntroWindow();
    HWND intro = IntroWindow();
    ASSERT_NE(intro, nullptr);
    EXPECT_EQ(test::WindowText(intro), L"程序介绍");
    EXPECT_EQ(GetWindow(intro, GW_OWNER), nullptr);
    EXPECT_EQ(GetMenu(intro), nullptr);
    const LONG style = GetWindowLongW(intro, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_NE(GetClassLongPtrW(intro, GCLP_HICON), 0u);
    EXPECT_EQ(GetClassLongPtrW(intro, GCLP_HBRBACKGROUND), static_cast<ULONG_PTR>(COLOR_BTNFACE + 1));

    // The given size, grown by what the font's lines need beyond the given label.
    const UINT dpi = WindowDpi(intro);
    HWND label = GetDlgItem(intro, IDC_INTRO_LABEL);
    ASSERT_NE(label, nullptr);
    const int needed = TextHeight(label, ScaleForDpi(352, dpi));
    const int grow = needed > ScaleForDpi(200, dpi) ? needed - ScaleForDpi(200, dpi) : 0;
    RECT outer;
    GetWindowRect(intro, &outer);
    EXPECT_EQ(outer.right - outer.left, ScaleForDpi(380, dpi));
    EXPECT_EQ(outer.bottom - outer.top, ScaleForDpi(250, dpi) + grow);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);

    EXPECT_EQ(GetWindow(label, GW_HWNDNEXT), nullptr) << "one control only";
    RECT at;
    GetWindowRect(label, &at);
    MapWindowPoints(nullptr, intro, reinterpret_cast<POINT*>(&at), 2);
    EXPECT_EQ(at.left, ScaleForDpi(10, dpi));
    EXPECT_EQ(at.top, ScaleForDpi(8, dpi));
    EXPECT_EQ(at.right - at.left, ScaleForDpi(352, dpi));
    EXPECT_EQ(at.bottom - at.top, ScaleForDpi(200, dpi) + grow);
    const LONG labelStyle = GetWindowLongW(label, GWL_STYLE);
    EXPECT_TRUE(labelStyle & SS_NOPREFIX);
    EXPECT_FALSE(labelStyle & WS_TABSTOP);
    EXPECT_EQ(labelStyle & SS_TYPEMASK, SS_LEFT);  // wraps long lines
    EXPECT_EQ(test::WindowText(label), IntroText());
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)), GetStockObject(DEFAULT_GUI_FONT));
    EXPECT_LE(needed, at.bottom - at.top) << "every line shows";
}

// Moved to a monitor of each scale, the window looks as if it had been opened there, and
// every line of the text shows whole.
TEST_F(IntroWindowTest, EveryLineShowsAtEachDpi)
{
    ShowIntroWindow();
    HWND intro = IntroWindow();
    ASSERT_NE(intro, nullptr);
    HWND label = GetDlgItem(intro, IDC_INTRO_LABEL);
    for (UINT dpi : {96u, 120u, 144u, 192u, WindowDpi(intro)}) {
        const IntroLayout layout = IntroLayoutForDpi(dpi);
        RECT suggested{0, 0, ScaleForDpi(380, dpi), ScaleForDpi(250, dpi)};
        SendMessageW(intro, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)), GuiFontForDpi(dpi)) << dpi;
        LOGFONTW font{};
        GetObjectW(GuiFontForDpi(dpi), sizeof(font), &font);
        LOGFONTW stock{};
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(stock), &stock);
        EXPECT_EQ(font.lfHeight, MulDiv(stock.lfHeight, dpi, SystemDpi())) << dpi;

        const RECT at = ChildRect(label);
        EXPECT_TRUE(EqualRect(&at, &layout.label)) << dpi;
        RECT outer;
        GetWindowRect(intro, &outer);
        EXPECT_EQ(outer.right - outer.left, layout.outer.cx) << dpi;
        EXPECT_EQ(outer.bottom - outer.top, layout.outer.cy) << dpi;
        EXPECT_EQ(at.left, ScaleForDpi(10, dpi)) << dpi;
        EXPECT_EQ(at.top, ScaleForDpi(8, dpi)) << dpi;
        EXPECT_GE(at.bottom - at.top, ScaleForDpi(200, dpi)) << dpi;

        EXPECT_LE(TextHeight(label, at.right - at.left), at.bottom - at.top) << "last line cut at " << dpi;
        RECT client;
        GetClientRect(intro, &client);
        EXPECT_LE(at.right, client.right) << dpi;
        EXPECT_LE(at.bottom, client.bottom) << dpi;
    }
}

// The class's icons are the shared ones, and opening and closing the window leaves the
// process's object counts where they were.
TEST_F(IntroWindowTest, OpeningItFiftyTimesLeaksNothing)
{
    ShowIntroWindow();  // the class, its icons and the font exist from here on
    ASSERT_NE(IntroWindow(), nullptr);
    const auto shared = reinterpret_cast<ULONG_PTR>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_QUENFOLD),
                                                            IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                            GetSystemMetrics(SM_CYICON), LR_SHARED));
    EXPECT_EQ(GetClassLongPtrW(IntroWindow(), GCLP_HICON), shared);
    DestroyWindow(IntroWindow());
    PumpIntro(0);

    HANDLE self = GetCurrentProcess();
    const DWORD gdi = GetGuiResources(self, GR_GDIOBJECTS);
    const DWORD user = GetGuiResources(self, GR_USEROBJECTS);
    for (int i = 0; i < 50; ++i) {
        ShowIntroWindow();
        ASSERT_NE(IntroWindow(), nullptr);
        SendMessageW(IntroWindow(), WM_CLOSE, 0, 0);
        PumpIntro(0);
    }
    EXPECT_EQ(GetGuiResources(self, GR_GDIOBJECTS), gdi);
    EXPECT_EQ(GetGuiResources(self, GR_USEROBJECTS), user);
}

TEST_F(IntroWindowTest, OnlyOneAtATimeRestoredWhenMinimised)
{
    ShowIntroWindow();
    HWND first = IntroWindow();
    ASSERT_NE(first, nullptr);
    ShowIntroWindow();
    EXPECT_EQ(IntroWindow(), first);

    ShowWindow(first, SW_MINIMIZE);
    PumpIntro(50);
    ASSERT_TRUE(IsIconic(first));
    ShowIntroWindow();
    PumpIntro(50);
    EXPECT_EQ(IntroWindow(), first);
    EXPECT_FALSE(IsIconic(first));

    // Closed, it opens afresh as a new window.
    SendMessageW(first, WM_CLOSE, 0, 0);
    EXPECT_EQ(IntroWindow(), nullptr);
    ShowIntroWindow();
    EXPECT_NE(IntroWindow(), nullptr);
    EXPECT_TRUE(IsWindowVisible(IntroWindow()));
}

TEST_F(IntroWindowTest, EscapeClosesIt)
{
    ShowIntroWindow();
    HWND intro = IntroWindow();
    ASSERT_NE(intro, nullptr);
    SetForegroundWindow(intro);
    PostMessageW(intro, WM_KEYDOWN, VK_RETURN, 1);
    PumpIntro(50);
    EXPECT_TRUE(IsWindow(intro)) << "Enter does nothing";
    PostMessageW(intro, WM_KEYDOWN, VK_ESCAPE, 1);
    PumpIntro(50);
    EXPECT_FALSE(IsWindow(intro));
    EXPECT_EQ(IntroWindow(), nullptr);
}

}  // namespace
}  // namespace qf
