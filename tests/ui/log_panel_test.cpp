#include "ui/log_panel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/window_driver.h"
#include "ui/ui_thread.h"

namespace {

constexpr int kLogBoxId = 1001;

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == qf::LogBox())
        return reinterpret_cast<LRESULT>(qf::LogBoxColours(reinterpret_cast<HDC>(wParam)));
    return DefWindowProcW(window, message, wParam, lParam);
}

// A worker must never touch a control on its own thread: without a bound UI thread every
// call is refused, whichever thread makes it.
TEST(UiThread, RefusesCallsWhileNoThreadIsBound)
{
    qf::ReleaseUiThread();
    bool ran = false;
    EXPECT_FALSE(qf::RunOnUiThread([&] { ran = true; }));
    std::thread([&] { EXPECT_FALSE(qf::RunOnUiThread([&] { ran = true; })); }).join();
    EXPECT_FALSE(ran);
    qf::BindUiThread();
    EXPECT_TRUE(qf::RunOnUiThread([&] { ran = true; }));
    EXPECT_TRUE(ran);
}

// A top-level window of the test thread with the log box where the main window has it.
class LogPanelTest : public testing::Test {
protected:
    void SetUp() override
    {
        qf::BindUiThread();
        host_ = qf::test::CreateTestWindow(L"QfLogPanelTestHost", 20, 20, 386, 312, HostProc);
        box_ = qf::CreateLogBox(host_, kLogBoxId, RECT{126, 5, 126 + 250, 5 + 83});
        ASSERT_NE(box_, nullptr);
    }
    void TearDown() override { DestroyWindow(host_); }

    std::wstring Text() const { return qf::test::WindowText(box_); }
    std::pair<DWORD, DWORD> Selection() const
    {
        DWORD start = 0, end = 0;
        SendMessageW(box_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return {start, end};
    }
    void RightClick() { SendMessageW(box_, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20)); }

    HWND host_ = nullptr;
    HWND box_ = nullptr;
};

TEST_F(LogPanelTest, IsAReadOnlyWrappingBoxWithoutScrollBarsOrLimit)
{
    EXPECT_EQ(qf::LogBox(), box_);
    EXPECT_EQ(GetDlgCtrlID(box_), kLogBoxId);
    const LONG style = GetWindowLongW(box_, GWL_STYLE);
    // No WS_BORDER here: some edit controls take it out of the style and draw the border themselves.
    const LONG wanted = ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_TABSTOP | WS_VISIBLE;
    EXPECT_EQ(style & wanted, wanted);
    EXPECT_EQ(style & (WS_VSCROLL | WS_HSCROLL | ES_AUTOHSCROLL), 0);
    EXPECT_GE(static_cast<UINT>(SendMessageW(box_, EM_GETLIMITTEXT, 0, 0)), 0x7FFFFFFEu);
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageW(box_, WM_GETFONT, 0, 0)), GetStockObject(DEFAULT_GUI_FONT));
    EXPECT_EQ(Text(), L"");
}

TEST_F(LogPanelTest, AppendsWholeLinesAtTheEndWithNothingAdded)
{
    qf::AppendLog(L"提示", L"同步开始");
    EXPECT_EQ(Text(), L"提示: 同步开始\r\n");
    qf::AppendLog(L"", L"");
    qf::AppendLog(L"同步次数", L"1");
    EXPECT_EQ(Text(), L"提示: 同步开始\r\n: \r\n同步次数: 1\r\n");
    EXPECT_EQ(SendMessageW(box_, EM_CANUNDO, 0, 0), FALSE);
}

TEST_F(LogPanelTest, AppendAfterTheUserSelectedTextLandsAtTheEndWithTheCaretAfterIt)
{
    qf::AppendLog(L"提示", L"+");
    qf::AppendLog(L"提示", L"同步开始");
    const std::wstring before = Text();
    SendMessageW(box_, EM_SETSEL, 5, static_cast<LPARAM>(before.size() - 2));  // into the last line
    qf::AppendLog(L"同步次数", L"1");
    const std::wstring after = Text();
    EXPECT_EQ(after, before + L"同步次数: 1\r\n");
    EXPECT_EQ(Selection(), std::make_pair(static_cast<DWORD>(after.size()), static_cast<DWORD>(after.size())));
}

TEST_F(LogPanelTest, LinesFromSeveralThreadsLandWholeAndInEachThreadsOrder)
{
    constexpr int kThreads = 4;
    constexpr int kLines = 150;
    std::atomic<int> running{kThreads};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([t, &running] {
            for (int i = 0; i < kLines; ++i)
                qf::AppendLog(L"t" + std::to_wstring(t), L"line " + std::to_wstring(i) + L" 同步次数");
            --running;
        });
    }
    // The UI thread goes on with its messages meanwhile, as the main window's loop does.
    qf::AppendLog(L"ui", L"while workers run");
    while (running > 0) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    for (std::thread& worker : workers)
        worker.join();

    const std::wstring text = Text();
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), L"\r\n");
    std::vector<int> next(kThreads, 0);
    int uiLines = 0;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find(L"\r\n", start);
        ASSERT_NE(end, std::wstring::npos);
        const std::wstring line = text.substr(start, end - start);
        start = end + 2;
        if (line == L"ui: while workers run") {
            ++uiLines;
            continue;
        }
        int t = -1, i = -1;
        wchar_t tail[8] = {};
        ASSERT_EQ(swscanf(line.c_str(), L"t%d: line %d %7ls", &t, &i, tail), 3) << "broken line: " << line.size();
        ASSERT_TRUE(t >= 0 && t < kThreads);
        EXPECT_EQ(line, L"t" + std::to_wstring(t) + L": line " + std::to_wstring(i) + L" 同步次数");
        EXPECT_EQ(i, next[static_cast<size_t>(t)]) << "thread " << t;
        next[static_cast<size_t>(t)] = i + 1;
    }
    EXPECT_EQ(uiLines, 1);
    for (int n : next)
        EXPECT_EQ(n, kLines);
}

TEST_F(LogPanelTest, RightButtonAsksAndOnlyYesEmptiesTheLog)
{
    qf::AppendLog(L"提示", L"同步开始");
    const std::wstring before = Text();

    std::wstring question;
    {
        qf::test::DialogAnswerer answer(L"信息：", [&](HWND box) {
            question = qf::test::ItemText(box, 0xFFFF);
            qf::test::PressButton(box, IDNO);
        });
        RightClick();
        EXPECT_TRUE(answer.Found());
    }
    EXPECT_EQ(question, L"是否清空日志信息?");
    EXPECT_EQ(Text(), before);

    {
        qf::test::DialogAnswerer answer(L"信息：", [](HWND box) { qf::test::PressButton(box, IDYES); });
        RightClick();
        EXPECT_TRUE(answer.Found());
    }
    EXPECT_EQ(Text(), L"");
    qf::AppendLog(L"提示", L"-");
    EXPECT_EQ(Text(), L"提示: -\r\n");
}

TEST_F(LogPanelTest, AtItsMaximumTheBoxDropsTheOldestWholeLines)
{
    SendMessageW(box_, EM_SETLIMITTEXT, 40, 0);  // stands in for the platform's maximum
    for (int i = 0; i < 10; ++i)
        qf::AppendLog(L"n", L"000" + std::to_wstring(i));  // 9 characters a line
    EXPECT_EQ(Text(), L"n: 0006\r\nn: 0007\r\nn: 0008\r\nn: 0009\r\n");

    qf::AppendLog(L"long", L"0123456789012345678901234567890123456789");  // can never fit
    EXPECT_EQ(Text(), L"n: 0006\r\nn: 0007\r\nn: 0008\r\nn: 0009\r\n");

    qf::AppendLog(L"longer", L"01234567890123456789");  // 30 characters: three lines go
    EXPECT_EQ(Text(), L"n: 0009\r\nlonger: 01234567890123456789\r\n");
}

TEST_F(LogPanelTest, DrawsRedTextOnBlackThroughTheParentsColours)
{
    for (int i = 0; i < 3; ++i)
        qf::AppendLog(L"提示", L"同步开始 同步次数");
    SendMessageW(box_, EM_SETSEL, 0, 0);  // no highlight in the picture
    RedrawWindow(box_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    RECT client{};
    GetClientRect(box_, &client);
    HDC dc = GetDC(box_);
    int red = 0, black = 0, other = 0;
    for (int y = 0; y < client.bottom; ++y) {
        for (int x = 0; x < client.right; ++x) {
            const COLORREF pixel = GetPixel(dc, x, y);
            if (pixel == RGB(0, 0, 0))
                ++black;
            else if (GetGValue(pixel) < 64 && GetBValue(pixel) < 64)
                ++red;  // any shade of red, smoothed edges too
            else
                ++other;
        }
    }
    ReleaseDC(box_, dc);
    EXPECT_GT(black, red);
    EXPECT_GT(red, 50);
    EXPECT_LT(other, red);
}

}  // namespace
