// ControlSyncHost over real controls: a list, a log box, an interval box and a start button
// on a window of the test's thread, which stands in for the UI thread and keeps pumping
// while the worker asks it for cells and log lines.
#include "ui/sync_host.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "dirset/directory_list.h"
#include "sync/scheduler.h"
#include "sync/sync_state.h"
#include "tests/support/scratch_tree.h"
#include "tests/support/window_driver.h"
#include "ui/log_panel.h"
#include "ui/sync_progress.h"
#include "ui/ui_thread.h"

namespace {

using qf::test::ScratchTree;

// Serves the window's messages, and the worker's requests among them, until `done`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() > end)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

class SyncHostWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        qf::SetSyncRunning(false);
        qf::BindUiThread();
        window = qf::test::CreateTestWindow(L"QfSyncHostTest", 40, 40, 480, 360);
        interval = CreateWindowExW(0, L"EDIT", L"600", WS_CHILD | WS_VISIBLE | WS_BORDER, 8, 8, 80, 24, window,
                                   nullptr, GetModuleHandleW(nullptr), nullptr);
        button = CreateWindowExW(0, L"BUTTON", L"开  始", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 96, 8, 80, 24,
                                 window, nullptr, GetModuleHandleW(nullptr), nullptr);
        qf::CreateDirectoryList(window, 1001, RECT{8, 40, 460, 180});
        log = qf::CreateLogBox(window, 1002, RECT{8, 190, 460, 330});
        host = new qf::ControlSyncHost(interval, button);  // kept: a worker may outlive the test
    }
    void TearDown() override
    {
        qf::SetSyncRunning(false);
        DestroyWindow(window);
    }

    void AddRow(const std::wstring& kind, const std::wstring& path)
    {
        qf::DirectoryListView list = qf::DirectoryList();
        const int row = list.AppendRow();
        list.SetCellText(row, 0, std::to_wstring(row + 1));
        list.SetCellText(row, 1, kind);
        list.SetCellText(row, 2, path);
    }
    bool LogHas(const std::wstring& text) const { return qf::test::WindowText(log).find(text) != std::wstring::npos; }

    HWND window = nullptr;
    HWND interval = nullptr;
    HWND button = nullptr;
    HWND log = nullptr;
    qf::ControlSyncHost* host = nullptr;
    ScratchTree tree;
};

TEST_F(SyncHostWindow, RefusalsReachTheLogAndLeaveTheCaption)
{
    qf::ToggleSync(*host);
    AddRow(L"目标目录", tree.Directory(L"target"));
    qf::ToggleSync(*host);
    EXPECT_EQ(qf::test::WindowText(log), L"提示: 请先添加目标目录\r\n提示: 请先添加源目录\r\n");
    EXPECT_EQ(qf::test::WindowText(button), L"开  始");
    EXPECT_FALSE(qf::IsSyncRunning());
}

TEST_F(SyncHostWindow, WorkerReadsTheControlsAndLogsThroughTheUiThread)
{
    const std::wstring target = tree.Directory(L"target");
    const std::wstring source = tree.Directory(L"source");
    qf::test::WriteBytes(source + L"\\report.doc", "quarterly figures");
    AddRow(L"目标目录", target);
    AddRow(L"源目录", L"");  // skipped
    AddRow(L"源目录", source);
    SetWindowTextW(interval, L"１");  // full-width: one second

    qf::ToggleSync(*host);
    EXPECT_EQ(qf::test::WindowText(button), L"关  闭");
    ASSERT_TRUE(PumpUntil([&] { return LogHas(L"同步次数: 1\r\n"); }));
    EXPECT_EQ(qf::test::ReadBytes(target + L"\\report.doc"), "quarterly figures");
    // The worker is now in its next one-second wait.
    qf::ToggleSync(*host);
    EXPECT_EQ(qf::test::WindowText(button), L"开  始");
    ASSERT_TRUE(PumpUntil([&] { return LogHas(L"提示: -\r\n"); }));
    EXPECT_EQ(qf::test::WindowText(log), L"提示: １ 秒后开始执行第一次同步\r\n"
                           L"提示: +\r\n"
                           L"提示: 同步开始\r\n"
                           L"同步次数: 1\r\n"
                           L"提示: 关闭同步\r\n"
                           L"提示: -\r\n");
}

// The taskbar's view of the passes, as the main window wires it: red after a pass with a
// failure line, clear after a clean one and after switching off.
TEST_F(SyncHostWindow, PassesReachTheTaskbarButton)
{
    const std::wstring target = tree.Directory(L"target");
    const std::wstring source = tree.Path(L"not-yet");
    AddRow(L"目标目录", target);
    AddRow(L"源目录", source);
    SetWindowTextW(interval, L"1");
    auto progress = new qf::SyncProgress(window);  // kept, as the host is
    auto withProgress = new qf::ControlSyncHost(interval, button, progress);
    auto toggle = [&] {
        qf::ToggleSync(*withProgress);
        progress->Switched(qf::IsSyncRunning());
    };

    toggle();
    EXPECT_EQ(progress->Mark(), qf::TaskbarMark::None);
    ASSERT_TRUE(PumpUntil([&] { return progress->Mark() == qf::TaskbarMark::Failed; }));
    EXPECT_TRUE(LogHas(L"个目录无法访问,如: "));
    CreateDirectoryW(source.c_str(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return progress->Mark() == qf::TaskbarMark::None; }));
    RemoveDirectoryW(source.c_str());
    ASSERT_TRUE(PumpUntil([&] { return progress->Mark() == qf::TaskbarMark::Failed; }));
    toggle();
    EXPECT_EQ(progress->Mark(), qf::TaskbarMark::None);
    ASSERT_TRUE(PumpUntil([&] { return LogHas(L"提示: -\r\n"); }));
    EXPECT_EQ(progress->Mark(), qf::TaskbarMark::None);
}

}  // namespace
