// The operations with the real remark prompt, message box and pop-up menus, answered from a
// helper thread as a user would answer them.
#include <gtest/gtest.h>

#include <thread>

#include "dirset/directory_list.h"
#include "dirset/directory_menu.h"
#include "dirset/directory_ops.h"
#include "sync/sync_state.h"
#include "tests/dirset/directory_test_window.h"
#include "tests/support/window_driver.h"
#include "ui/dialog_ids.h"

namespace qf {
namespace {

using test::DirectoryTestWindow;
using test::HasChildWithText;
using test::Row;
using test::WaitForThreadWindow;
using test::WindowText;
using Rows = std::vector<Row>;
using Texts = std::vector<std::wstring>;

const Row kTarget = {L"1", L"目标目录", L"C:\\t", L""};

class DirectoryDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSyncRunning(false);
        ui.UseRealPromptAndMessages();
    }
    void TearDown() override { SetSyncRunning(false); }

    DirectoryTestWindow ui;
    const DWORD uiThread = GetCurrentThreadId();
};

// Waits for the program's message box and confirms it; true when it says `text`.
bool AnswerMessageBox(DWORD uiThread, const wchar_t* text)
{
    HWND box = WaitForThreadWindow(uiThread, L"#32770", L"信息：");
    const bool said = box && HasChildWithText(box, text);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return said;
}

// Answers the remark prompt: records its prompt text, types `remark` and confirms, or cancels
// when `remark` is null.
std::thread AnswerPrompt(DWORD uiThread, const wchar_t* remark, std::wstring& prompt)
{
    return std::thread([=, &prompt] {
        HWND dialog = WaitForThreadWindow(uiThread, L"#32770", L"提示");
        if (!dialog)
            return;
        prompt = WindowText(GetDlgItem(dialog, IDC_ASK_TEXT_PROMPT));
        if (remark)
            SendMessageW(GetDlgItem(dialog, IDC_ASK_TEXT_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(remark));
        PostMessageW(dialog, WM_COMMAND, remark ? IDOK : IDCANCEL, 0);
    });
}

TEST_F(DirectoryDialogs, RemarkPromptIsTheRealTextDialog)
{
    std::wstring prompt;
    ui.folders = {L"C:\\t"};
    std::thread answer = AnswerPrompt(uiThread, L"备注 1", prompt);
    AddTargetDirectory();
    answer.join();
    EXPECT_EQ(prompt, L"请输入备注信息,留空可不填写!!\r\n点击取消可退出");
    EXPECT_EQ(ui.Rows(), (Rows{{L"1", L"目标目录", L"C:\\t", L"备注 1"}}));

    ui.folders = {L"C:\\s"};
    answer = AnswerPrompt(uiThread, nullptr, prompt);
    AddSourceDirectory();
    answer.join();
    EXPECT_EQ(prompt, L"请输入备注信息,留空可不填写!\r\n点击取消可退出");
    EXPECT_EQ(ui.Rows().size(), 1u);

    ui.folders = {L"C:\\s"};
    answer = AnswerPrompt(uiThread, L"", prompt);
    AddSourceDirectory();
    answer.join();
    EXPECT_EQ(ui.Rows(), (Rows{{L"1", L"目标目录", L"C:\\t", L"备注 1"}, {L"2", L"源目录", L"C:\\s", L""}}));
}

TEST_F(DirectoryDialogs, LimitAndTargetRefusalsShowTheMessageBox)
{
    Rows six(6, Row{L"2", L"源目录", L"C:\\s", L""});
    six[0] = kTarget;
    ui.SetRows(six);
    ui.folders = {L"C:\\seventh"};
    std::wstring prompt;
    bool sawLimit = false;
    std::thread answer([&] {
        HWND dialog = WaitForThreadWindow(uiThread, L"#32770", L"提示");
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        sawLimit = AnswerMessageBox(uiThread, L"已达上限");
    });
    AddSourceDirectory();
    answer.join();
    EXPECT_TRUE(sawLimit);
    EXPECT_EQ(ui.Rows(), six);

    bool sawRefusal = false;
    ui.Select(0);
    answer = std::thread([&] { sawRefusal = AnswerMessageBox(uiThread, L"当前存在源目录,不能删除目标目录!"); });
    DeleteDirectory();
    answer.join();
    EXPECT_TRUE(sawRefusal);
    EXPECT_EQ(ui.Rows(), six);
}

struct MenuSeen {
    bool opened = false;
    POINT topLeft{};
    Texts items;
};

// Watches for the pop-up menu of `uiThread`, records it and presses `keys` in it.
std::thread WatchMenu(DWORD uiThread, std::vector<WPARAM> keys, MenuSeen& seen, DWORD timeoutMs = 15000)
{
    return std::thread([=, &seen] {
        HWND menuWindow = WaitForThreadWindow(uiThread, L"#32768", nullptr, timeoutMs);
        if (!menuWindow)
            return;
        seen.opened = true;
        RECT bounds{};
        GetWindowRect(menuWindow, &bounds);
        seen.topLeft = {bounds.left, bounds.top};
        HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t text[64] = {};
            GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            seen.items.push_back(text);
        }
        for (WPARAM key : keys) {
            PostMessageW(menuWindow, WM_KEYDOWN, key, 0);
            PostMessageW(menuWindow, WM_KEYUP, key, 0);
        }
    });
}

// The WM_COMMAND id waiting in the owner's queue, 0 when none.
int QueuedCommand(HWND owner)
{
    MSG msg{};
    if (!PeekMessageW(&msg, owner, WM_COMMAND, WM_COMMAND, PM_REMOVE))
        return 0;
    return LOWORD(msg.wParam);
}

TEST_F(DirectoryDialogs, MenuOpensBesideTheCursorAndPostsTheChoice)
{
    SetForegroundWindow(ui.window());
    SetCursorPos(200, 150);
    POINT cursor{};
    GetCursorPos(&cursor);

    MenuSeen seen;
    std::thread watch = WatchMenu(uiThread, {VK_DOWN, VK_RETURN}, seen);
    ShowDirectoryMenu(ui.window());
    watch.join();
    EXPECT_TRUE(seen.opened);
    EXPECT_EQ(seen.items, Texts{L"添加目标目录"});
    EXPECT_EQ(seen.topLeft.x, cursor.x + 3);
    EXPECT_EQ(seen.topLeft.y, cursor.y + 3);
    // The choice waits in the queue: nothing ran inside the handler.
    EXPECT_TRUE(ui.asked.empty());
    EXPECT_TRUE(ui.Rows().empty());
    EXPECT_EQ(QueuedCommand(ui.window()), kCmdAddTarget);

    ui.SetRows({kTarget, kTarget});
    seen = MenuSeen();
    watch = WatchMenu(uiThread, {VK_ESCAPE}, seen);
    ShowDirectoryMenu(ui.window());
    watch.join();
    EXPECT_EQ(seen.items, Texts{L"添加源目录"});
    EXPECT_EQ(QueuedCommand(ui.window()), 0);  // dismissed: nothing to run

    ui.Select(1);
    seen = MenuSeen();
    watch = WatchMenu(uiThread, {VK_DOWN, VK_DOWN, VK_RETURN}, seen);
    ShowDirectoryMenu(ui.window());
    watch.join();
    EXPECT_EQ(seen.items, (Texts{L"定位目录", L"修改目录", L"删除目录"}));
    EXPECT_EQ(QueuedCommand(ui.window()), kCmdModify);
}

TEST_F(DirectoryDialogs, NoMenuWhileSyncRuns)
{
    ui.SetRows({kTarget});
    ui.Select(0);
    SetSyncRunning(true);
    MenuSeen seen;
    std::thread watch = WatchMenu(uiThread, {VK_ESCAPE}, seen, 1500);
    ShowDirectoryMenu(ui.window());
    watch.join();
    EXPECT_FALSE(seen.opened);
    EXPECT_EQ(ui.Log(), L"提示: 先关闭同步后,再进行操作\r\n");
    EXPECT_EQ(QueuedCommand(ui.window()), 0);
}

}  // namespace
}  // namespace qf
