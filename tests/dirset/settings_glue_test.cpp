// The save button and the settings loader on the real directory list, with 配置.ini beside
// this test program.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "dirset/directory_list.h"
#include "dirset/settings_file.h"
#include "dirset/settings_path.h"
#include "dirset/settings_io.h"
#include "dirset/settings_reader.h"
#include "sync/sync_state.h"
#include "tests/dirset/directory_test_window.h"
#include "win/unique_handle.h"

namespace qf {
namespace {

using test::DirectoryTestWindow;
using test::Row;

std::vector<Row> SixRows()
{
    std::vector<Row> rows = {{L"1", L"目标目录", L"D:\\备份", L"每日"}};
    for (int i = 2; i <= 6; ++i)
        rows.push_back({std::to_wstring(i), L"源目录", L"E:\\源 " + std::to_wstring(i), i == 4 ? L"" : L"第" + std::to_wstring(i)});
    return rows;
}

DWORD WINAPI LoaderThread(void*)
{
    LoadSettings();
    return 0;
}

class SettingsGlue : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = SettingsFilePath();
        DeleteFileW(path_.c_str());
    }
    void TearDown() override { DeleteFileW(path_.c_str()); }

    void WriteFile(const std::string& bytes) { ASSERT_TRUE(ReplaceFileContents(path_, bytes)); }

    // Runs the loader on a thread of its own, as the main window does, and serves its
    // requests meanwhile. Returns every row count the list showed between two messages.
    std::set<int> RunLoader()
    {
        std::set<int> seen;
        KernelHandle thread(CreateThread(nullptr, 0, LoaderThread, nullptr, 0, nullptr));
        EXPECT_TRUE(thread);
        if (!thread)
            return seen;
        const HANDLE handle = thread.get();
        for (;;) {
            seen.insert(DirectoryList().RowCount());
            const DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, 10000, QS_ALLINPUT);
            if (result != WAIT_OBJECT_0 + 1)
                break;
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&message);
                seen.insert(DirectoryList().RowCount());
            }
        }
        EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_OBJECT_0) << "the loader did not end";
        return seen;
    }

    std::wstring path_;
};

TEST_F(SettingsGlue, SaveThenLoadGivesTheSameRowsAndTheLogLine)
{
    std::vector<Row> rows;
    {
        DirectoryTestWindow window;
        window.SetRows(SixRows());
        OnSaveSettingsClicked();
        EXPECT_EQ(window.Log(), L"提示: 保存设置完成\r\n");
        EXPECT_EQ(ProfileReader().Open(path_).CountSections(), 6u);

        // Delete two rows and save again: exactly four sections are left.
        DirectoryList().DeleteRow(4);
        DirectoryList().DeleteRow(1);
        rows = window.Rows();
        EXPECT_TRUE(SaveSettings());
        EXPECT_EQ(ProfileReader().Open(path_).CountSections(), 4u);
    }
    DirectoryTestWindow fresh;
    SetSyncRunning(true);
    const std::set<int> seen = RunLoader();
    EXPECT_FALSE(IsSyncRunning()) << "the loader switches synchronisation off first";
    EXPECT_EQ(fresh.Rows(), rows);
    EXPECT_EQ(seen, (std::set<int>{0, 4})) << "all rows arrive in one step";
    EXPECT_EQ(fresh.Log(), L"") << "a load logs nothing";
}

TEST_F(SettingsGlue, AnEmptyListRemovesTheFileAndAFailedSaveSaysSo)
{
    DirectoryTestWindow window;
    window.SetRows(SixRows());
    ASSERT_TRUE(SaveSettings());
    std::string old;
    ASSERT_TRUE(ReadFileBytes(path_, old));
    {
        FileHandle holder(CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        window.SetRows({{L"1", L"目标目录", L"X:\\", L""}});
        OnSaveSettingsClicked();
        EXPECT_EQ(window.Log(), L"提示: 保存设置失败\r\n");
    }
    std::string now;
    ASSERT_TRUE(ReadFileBytes(path_, now));
    EXPECT_EQ(now, old);

    window.SetRows({});
    OnSaveSettingsClicked();
    EXPECT_EQ(GetFileAttributesW(path_.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(window.Log(), L"提示: 保存设置失败\r\n提示: 保存设置完成\r\n");
}

TEST_F(SettingsGlue, LoadWithoutAFileLeavesTheListEmpty)
{
    DirectoryTestWindow window;
    RunLoader();
    EXPECT_TRUE(window.Rows().empty());
    EXPECT_EQ(window.Log(), L"");
}

TEST_F(SettingsGlue, LoadNeverFillsTheListBeyondItsLimit)
{
    std::string text;
    for (int i = 1; i <= 9; ++i)
        text += "[\xC5\xE4\xD6\xC3" + std::to_string(i) + "]\r\nID=" + std::to_string(i) + "\r\n";
    text += "[foreign]\r\n";
    WriteFile(text);
    {
        DirectoryTestWindow window;
        RunLoader();
        const std::vector<Row> rows = window.Rows();
        ASSERT_EQ(rows.size(), static_cast<size_t>(kMaxDirectoryRows));
        EXPECT_EQ(rows[0][0], L"1");
        EXPECT_EQ(rows[5][0], L"6");
    }
    // Rows the user added before the load arrived keep their places; the load fills up to six.
    DirectoryTestWindow window;
    window.SetRows({{L"1", L"目标目录", L"C:\\", L""}, {L"2", L"源目录", L"D:\\", L""}});
    RunLoader();
    const std::vector<Row> rows = window.Rows();
    ASSERT_EQ(rows.size(), static_cast<size_t>(kMaxDirectoryRows));
    EXPECT_EQ(rows[1][2], L"D:\\");
    EXPECT_EQ(rows[2][0], L"1");
    EXPECT_EQ(rows[5][0], L"4");
}

TEST_F(SettingsGlue, RowsShowWhatTheFileSays)
{
    // 配置1 says 源目录 with ID 7; a gap after 配置2 gives an empty row and 配置4 is not read.
    WriteFile("[\xC5\xE4\xD6\xC3" "1]\r\nID=7\r\n\xC4\xBF\xC2\xBC\xC0\xE0\xD0\xCD=\xD4\xB4\xC4\xBF\xC2\xBC\r\n"
              "\xC2\xB7\xBE\xB6=  'C:\\a b'  \r\n\xB1\xB8\xD7\xA2=\r\n"
              "[\xC5\xE4\xD6\xC3" "2]\r\nID=2\r\n\xB1\xB8\xD7\xA2=  x  \r\n"
              "[\xC5\xE4\xD6\xC3" "4]\r\nID=4\r\n");
    DirectoryTestWindow window;
    RunLoader();
    EXPECT_EQ(window.Rows(), (std::vector<Row>{{L"7", L"源目录", L"C:\\a b", L""}, {L"2", L"", L"", L"x"}, {}}));
}

}  // namespace
}  // namespace qf
