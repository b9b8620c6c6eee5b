// The introduction window on its own: its text, frame, label and the one-at-a-time rule.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    wchar_t caption[32] = {};
    GetWindowTextW(intro, caption, 32);
    EXPECT_STREQ(caption, L"程序介绍");
    EXPECT_EQ(GetWindow(intro, GW_OWNER), nullptr);
    EXPECT_EQ(GetMenu(intro), nullptr);
    const LONG style = GetWindowLongW(intro, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_NE(GetClassLongPtrW(intro, GCLP_HICON), 0u);
    EXPECT_EQ(GetClassLongPtrW(intro, GCLP_HBRBACKGROUND), static_cast<ULONG_PTR>(COLOR_BTNFACE + 1));

    const UINT dpi = WindowDpi(intro);
    RECT outer;
    GetWindowRect(intro, &outer);
    EXPECT_EQ(outer.right - outer.left, ScaleForDpi(380, dpi));
    EXPECT_EQ(outer.bottom - outer.top, ScaleForDpi(250, dpi));
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);

    HWND label = GetDlgItem(intro, IDC_INTRO_LABEL);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(GetWindow(label, GW_HWNDNEXT), nullptr) << "one control only";
    RECT at;
    GetWindowRect(label, &at);
    MapWindowPoints(nullptr, intro, reinterpret_cast<POINT*>(&at), 2);
    EXPECT_EQ(at.left, ScaleForDpi(10, dpi));
    EXPECT_EQ(at.top, ScaleForDpi(8, dpi));
    EXPECT_EQ(at.right - at.left, ScaleForDpi(352, dpi));
    EXPECT_EQ(at.bottom - at.top, ScaleForDpi(200, dpi));
    const LONG labelStyle = GetWindowLongW(label, GWL_STYLE);
    EXPECT_TRUE(labelStyle & SS_NOPREFIX);
    EXPECT_FALSE(labelStyle & WS_TABSTOP);
    EXPECT_EQ(labelStyle & SS_TYPEMASK, SS_LEFT);  // wraps long lines
    std::wstring text(4096, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(label, &text[0], 4096)));
    EXPECT_EQ(text, IntroText());
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)), GetStockObject(DEFAULT_GUI_FONT));
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
