#include "dirset/directory_menu.h"
#include "dirset/directory_ops.h"

#include <gtest/gtest.h>

#include "dirset/directory_list.h"
#include "sync/sync_state.h"
#include "tests/dirset/directory_test_window.h"

namespace qf {
namespace {

using test::DirectoryTestWindow;
using test::Row;
using Rows = std::vector<Row>;
using Asked = std::vector<std::wstring>;

const std::wstring kTwoMarks = L"remark: 请输入备注信息,留空可不填写!!\r\n点击取消可退出";
const std::wstring kOneMark = L"remark: 请输入备注信息,留空可不填写!\r\n点击取消可退出";
const std::wstring kAddedTargetLine = L"提示: 添加目标目录成功\r\n";
const std::wstring kAddedSourceLine = L"提示: 添加源目录成功\r\n";
const std::wstring kSyncLine = L"提示: 先关闭同步后,再进行操作\r\n";

const Rows kFourRows = {
    {L"1", L"目标目录", L"C:\\target", L"t"},
    {L"2", L"源目录", L"C:\\a", L"a"},
    {L"3", L"源目录", L"C:\\b", L"b"},
    {L"4", L"源目录", L"C:\\c", L"c"},
};

class DirectoryOps : public ::testing::Test {
protected:
    void SetUp() override { SetSyncRunning(false); }
    void TearDown() override { SetSyncRunning(false); }

    DirectoryTestWindow ui;
};

TEST_F(DirectoryOps, AddTargetThenSourcesAskFolderThenRemark)
{
    // No test on paths: the target may be a source as well, and a folder may come twice.
    ui.folders = {L"D:\\backup", L"C:\\docs", L"C:\\docs", L"D:\\backup"};
    ui.remarks = {L"备份", L"文档", L"", L"x"};

    AddTargetDirectory();
    EXPECT_EQ(ui.Rows(), (Rows{{L"1", L"目标目录", L"D:\\backup", L"备份"}}));
    EXPECT_EQ(ui.asked, (Asked{L"pick", kTwoMarks}));
    EXPECT_EQ(ui.Log(), kAddedTargetLine);

    AddSourceDirectory();
    AddSourceDirectory();  // with an empty remark
    AddSourceDirectory();
    EXPECT_EQ(ui.Rows(), (Rows{{L"1", L"目标目录", L"D:\\backup", L"备份"},
                               {L"2", L"源目录", L"C:\\docs", L"文档"},
                               {L"3", L"源目录", L"C:\\docs", L""},
                               {L"4", L"源目录", L"D:\\backup", L"x"}}));
    EXPECT_EQ(ui.asked, (Asked{L"pick", kTwoMarks, L"pick", kOneMark, L"pick", kOneMark, L"pick", kOneMark}));
    EXPECT_EQ(ui.Log(), kAddedTargetLine + kAddedSourceLine + kAddedSourceLine + kAddedSourceLine);
    EXPECT_EQ(DirectoryListView(ui.list()).Selection(), -1);
}

TEST_F(DirectoryOps, AddInTheWrongStateEndsSilentlyAfterBothDialogs)
{
    ui.folders = {L"C:\\src"};
    ui.remarks = {L"r"};
    AddSourceDirectory();  // no target yet
    EXPECT_TRUE(ui.Rows().empty());
    EXPECT_EQ(ui.asked, (Asked{L"pick", kOneMark}));

    ui.SetRows(kFourRows);
    ui.asked.clear();
    ui.folders = {L"C:\\other"};
    ui.remarks = {L"r"};
    AddTargetDirectory();  // a target exists
    EXPECT_EQ(ui.Rows(), kFourRows);
    EXPECT_EQ(ui.asked, (Asked{L"pick", kTwoMarks}));
    EXPECT_EQ(ui.Log(), L"");
}

TEST_F(DirectoryOps, SixthSourceIsRefusedAfterBothDialogs)
{
    Rows six = kFourRows;
    six.push_back({L"5", L"源目录", L"C:\\d", L"d"});
    six.push_back({L"6", L"源目录", L"C:\\e", L"e"});
    ui.SetRows(six);
    ui.folders = {L"C:\\f"};
    ui.remarks = {L"f"};
    AddSourceDirectory();
    EXPECT_EQ(ui.asked, (Asked{L"pick", kOneMark, L"notify: 已达上限"}));
    EXPECT_EQ(ui.Rows(), six);
    EXPECT_EQ(ui.Log(), L"");

    // The fifth source still fits.
    six.pop_back();
    ui.SetRows(six);
    ui.folders = {L"C:\\f"};
    ui.remarks = {L"f"};
    AddSourceDirectory();
    EXPECT_EQ(ui.Rows().size(), 6u);
    EXPECT_EQ(ui.Rows().back(), (Row{L"6", L"源目录", L"C:\\f", L"f"}));
}

TEST_F(DirectoryOps, CancelInEitherDialogChangesNothing)
{
    ui.SetRows(kFourRows);
    ui.Select(2);
    ui.folders = {L"", L"", L"", L"C:\\x", L"C:\\x", L"C:\\x"};
    ui.remarks = {std::nullopt, std::nullopt, std::nullopt};
    AddSourceDirectory();
    ModifyDirectory();
    ui.SetRows({});
    AddTargetDirectory();  // picker cancelled: the remark is not asked
    EXPECT_EQ(ui.asked, (Asked{L"pick", L"pick", L"pick"}));
    ui.SetRows(kFourRows);
    ui.Select(2);
    AddSourceDirectory();
    ModifyDirectory();
    EXPECT_EQ(ui.Rows(), kFourRows);
    ui.SetRows({});
    AddTargetDirectory();
    EXPECT_TRUE(ui.Rows().empty());
    EXPECT_EQ(ui.asked, (Asked{L"pick", L"pick", L"pick", L"pick", kOneMark, L"pick", kTwoMarks, L"pick", kTwoMarks}));
    EXPECT_EQ(ui.Log(), L"");
}

TEST_F(DirectoryOps, DeletingASourceRenumbersTheRowsAfterIt)
{
    Rows rows = kFourRows;
    rows[0][0] = L"9";  // an ID as read from the file: renumbering leaves row 0 alone
    ui.SetRows(rows);
    ui.Select(1);
    DeleteDirectory();
    EXPECT_EQ(ui.Rows(), (Rows{{L"9", L"目标目录", L"C:\\target", L"t"},
                               {L"2", L"源目录", L"C:\\b", L"b"},
                               {L"3", L"源目录", L"C:\\c", L"c"}}));
    EXPECT_EQ(ui.Log(), L"提示: 删除成功\r\n");
    EXPECT_TRUE(ui.asked.empty());
}

TEST_F(DirectoryOps, TargetIsDeletedOnlyWhenAlone)
{
    ui.SetRows(kFourRows);
    ui.Select(0);
    DeleteDirectory();
    EXPECT_EQ(ui.Rows(), kFourRows);
    EXPECT_EQ(ui.asked, (Asked{L"notify: 当前存在源目录,不能删除目标目录!"}));
    EXPECT_EQ(ui.Log(), L"");

    ui.SetRows({kFourRows[0]});
    ui.Select(0);
    DeleteDirectory();
    EXPECT_TRUE(ui.Rows().empty());
    EXPECT_EQ(ui.Log(), L"提示: 删除成功\r\n");

    // With nothing selected there is nothing to delete, and nothing to report.
    ui.SetRows(kFourRows);
    ui.asked.clear();
    DeleteDirectory();
    EXPECT_EQ(ui.Rows(), kFourRows);
    EXPECT_TRUE(ui.asked.empty());
    EXPECT_EQ(ui.Log(), L"提示: 删除成功\r\n");
}

TEST_F(DirectoryOps, ModifyKeepsPositionAndRoleAndLeavesNoSelection)
{
    // IDs and kind texts as a settings file might hold them.
    ui.SetRows({{L"5", L"源目录", L"C:\\old", L"old"},
                {L"8", L"源目录", L"C:\\a", L"a"},
                {L"9", L"目标目录", L"C:\\b", L"b"},
                {L"2", L"源目录", L"C:\\c", L"c"}});
    ui.folders = {L"E:\\new target", L"E:\\new b"};
    ui.remarks = {L"", L"新"};

    // Each modification leaves the list as given and nothing selected.
    auto modify = [&](int row, const Rows& expected) {
        SCOPED_TRACE(row);
        ui.Select(row);
        ModifyDirectory();
        EXPECT_EQ(ui.Rows(), expected);
        EXPECT_EQ(DirectoryListView(ui.list()).Selection(), -1);
    };
    modify(0, {{L"1", L"目标目录", L"E:\\new target", L""},
               {L"2", L"源目录", L"C:\\a", L"a"},
               {L"3", L"目标目录", L"C:\\b", L"b"},
               {L"4", L"源目录", L"C:\\c", L"c"}});
    modify(2, {{L"1", L"目标目录", L"E:\\new target", L""},
               {L"2", L"源目录", L"C:\\a", L"a"},
               {L"3", L"源目录", L"E:\\new b", L"新"},
               {L"4", L"源目录", L"C:\\c", L"c"}});
    EXPECT_EQ(ui.asked, (Asked{L"pick", kTwoMarks, L"pick", kTwoMarks}));
    EXPECT_EQ(ui.Log(), L"");

    // The last row stays last.
    ui.Select(3);
    ui.folders = {L"E:\\c"};
    ui.remarks = {L"c2"};
    ModifyDirectory();
    EXPECT_EQ(ui.Rows().size(), 4u);
    EXPECT_EQ(ui.Rows()[3], (Row{L"4", L"源目录", L"E:\\c", L"c2"}));
}

TEST_F(DirectoryOps, ModifyWithoutSelectionAsksNothing)
{
    ui.SetRows(kFourRows);
    ui.folders = {L"C:\\x"};
    ui.remarks = {L"x"};
    ModifyDirectory();
    EXPECT_TRUE(ui.asked.empty());
    EXPECT_EQ(ui.Rows(), kFourRows);
}

TEST_F(DirectoryOps, ModifyLeavesTheListAloneWhenTheRowChangedDuringTheDialogs)
{
    ui.SetRows(kFourRows);
    ui.Select(3);
    ui.folders = {L"C:\\x"};
    ui.remarks = {L"x"};
    // Another command deleted a row while the picker was open: row 3 no longer exists.
    ui.duringRemark = [](DirectoryTestWindow& window) { DirectoryListView(window.list()).DeleteRow(1); };
    ModifyDirectory();
    EXPECT_EQ(ui.Rows(), (Rows{kFourRows[0], kFourRows[2], kFourRows[3]}));

    ui.SetRows(kFourRows);
    ui.Select(1);
    ui.folders = {L"C:\\x"};
    ui.remarks = {L"x"};
    // Row 1 now holds what was row 2.
    ModifyDirectory();
    EXPECT_EQ(ui.Rows(), (Rows{kFourRows[0], kFourRows[2], kFourRows[3]}));
}

TEST_F(DirectoryOps, SyncSwitchedOnDuringTheDialogsChangesNothing)
{
    ui.duringRemark = [](DirectoryTestWindow&) { SetSyncRunning(true); };

    ui.folders = {L"C:\\t"};
    ui.remarks = {L"t"};
    AddTargetDirectory();
    EXPECT_TRUE(ui.Rows().empty());
    EXPECT_EQ(ui.Log(), kSyncLine);

    SetSyncRunning(false);
    ui.SetRows(kFourRows);
    ui.folders = {L"C:\\s"};
    ui.remarks = {L"s"};
    AddSourceDirectory();
    ui.Select(2);
    SetSyncRunning(false);
    ui.folders = {L"C:\\m"};
    ui.remarks = {L"m"};
    ModifyDirectory();
    EXPECT_EQ(ui.Rows(), kFourRows);
    EXPECT_EQ(ui.Log(), kSyncLine + kSyncLine + kSyncLine);
}

TEST_F(DirectoryOps, CommandIdsRunTheirOperations)
{
    ui.SetRows(kFourRows);
    ui.Select(3);
    EXPECT_TRUE(RunDirectoryCommand(kCmdDelete));
    EXPECT_EQ(ui.Rows().size(), 3u);
    const int commands[] = {kCmdAddTarget, kCmdAddSource, kCmdModify};
    for (int command : commands)
        EXPECT_TRUE(RunDirectoryCommand(command));
    EXPECT_EQ(ui.asked, (Asked{L"pick", L"pick"}));  // modify found no selection
    EXPECT_TRUE(RunDirectoryCommand(kCmdLocate));
    EXPECT_FALSE(RunDirectoryCommand(0));
    EXPECT_FALSE(RunDirectoryCommand(kCmdDelete + 1));
}

}  // namespace
}  // namespace qf
