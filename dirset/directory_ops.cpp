#include "dirset/directory_ops.h"

#include <array>
#include <vector>

#include "dirset/directory_list.h"
#include "dirset/list_rules.h"
#include "dirset/shell_folder.h"
#include "sync/sync_state.h"
#include "ui/dialogs.h"
#include "ui/log_panel.h"
#include "win/log_labels.h"

namespace qf {
namespace {

constexpr wchar_t kRemarkPrompt[] = L"请输入备注信息,留空可不填写!!\r\n点击取消可退出";
constexpr wchar_t kSourceRemarkPrompt[] = L"请输入备注信息,留空可不填写!\r\n点击取消可退出";
constexpr wchar_t kSyncRunningNotice[] = L"先关闭同步后,再进行操作";

DirectoryDialogs gDialogs;  // UI thread only

std::wstring PickDirectory()
{
    return gDialogs.pickFolder ? gDialogs.pickFolder() : PickFolder();
}

// False when the user cancels; `remark` then stays as it was.
bool PromptRemark(const std::wstring& prompt, std::wstring& remark)
{
    if (gDialogs.askRemark)
        return gDialogs.askRemark(prompt, remark);
    return AskText(prompt, remark, kNotice);
}

void Notify(const std::wstring& text)
{
    if (gDialogs.notify)
        gDialogs.notify(text);
    else
        ShowMessageBox(text, MB_OK);
}

// The folder picker has no owner, so synchronisation may have been switched on while the
// operation waited in its dialogs. The list must not change under a running pass.
bool RefusedWhileSyncRuns()
{
    if (!IsSyncRunning())
        return false;
    AppendLog(kNotice, kSyncRunningNotice);
    return true;
}

void FillRow(DirectoryListView list, int row, const wchar_t* kind, const std::wstring& path,
             const std::wstring& remark)
{
    list.SetCellText(row, kColumnKind, kind);
    list.SetCellText(row, kColumnPath, path);
    list.SetCellText(row, kColumnRemark, remark);
}

using RowCells = std::array<std::wstring, 4>;

RowCells CellsOf(DirectoryListView list, int row)
{
    return {list.CellText(row, kColumnId), list.CellText(row, kColumnKind), list.CellText(row, kColumnPath),
            list.CellText(row, kColumnRemark)};
}

// The folder picker, then the remark prompt; false when either was cancelled, or when
// synchronisation was switched on meanwhile (refused with its log line).
bool AskDirectoryAndRemark(const wchar_t* prompt, std::wstring& path, std::wstring& remark)
{
    path = PickDirectory();
    if (path.empty())
        return false;
    if (!PromptRemark(prompt, remark))
        return false;
    return !RefusedWhileSyncRuns();
}

}  // namespace

void SetDirectoryDialogsForTesting(const DirectoryDialogs& dialogs)
{
    gDialogs = dialogs;
}

void AddTargetDirectory()
{
    std::wstring path;
    std::wstring remark;
    if (!AskDirectoryAndRemark(kRemarkPrompt, path, remark))
        return;
    DirectoryListView list = DirectoryList();
    if (list.RowCount() != 0)
        return;
    const int row = list.AppendRow();
    list.SetCellText(row, kColumnId, std::to_wstring(list.RowCount()));
    FillRow(list, row, kTargetKindText, path, remark);
    AppendLog(kNotice, L"添加目标目录成功");
}

void AddSourceDirectory()
{
    std::wstring path;
    std::wstring remark;
    if (!AskDirectoryAndRemark(kSourceRemarkPrompt, path, remark))
        return;
    DirectoryListView list = DirectoryList();
    const int rowCount = list.RowCount();
    switch (DecideAddSource(rowCount)) {
    case AddSourceOutcome::kAppend: {
        const int row = list.AppendRow();
        list.SetCellText(row, kColumnId, std::to_wstring(rowCount + 1));
        FillRow(list, row, kSourceKindText, path, remark);
        AppendLog(kNotice, L"添加源目录成功");
        break;
    }
    case AddSourceOutcome::kLimitReached:
        Notify(L"已达上限");
        break;
    case AddSourceOutcome::kNoTarget:
        break;
    }
}

void ModifyDirectory()
{
    DirectoryListView list = DirectoryList();
    const int selected = list.Selection();
    if (selected < 0)
        return;
    const RowCells before = CellsOf(list, selected);
    std::wstring path;
    std::wstring remark;
    if (!AskDirectoryAndRemark(kRemarkPrompt, path, remark))
        return;
    // The picker leaves the list usable: if the row was deleted or moved meanwhile, replacing
    // whatever now sits at that place would overwrite the wrong directory.
    if (selected >= list.RowCount() || CellsOf(list, selected) != before)
        return;
    list.DeleteRow(selected);
    const int row = list.InsertRow(selected);
    if (selected == 0) {
        list.SetCellText(row, kColumnId, RowIdText(0));
        FillRow(list, row, kTargetKindText, path, remark);
    } else {
        FillRow(list, row, kSourceKindText, path, remark);
    }
    RenumberDirectoryIds();
}

void DeleteDirectory()
{
    DirectoryListView list = DirectoryList();
    const int selected = list.Selection();
    switch (DecideDelete(list.RowCount(), selected)) {
    case DeleteOutcome::kDelete:
        list.DeleteRow(selected);
        AppendLog(kNotice, L"删除成功");
        RenumberDirectoryIds();
        break;
    case DeleteOutcome::kRefuseTarget:
        Notify(L"当前存在源目录,不能删除目标目录!");
        break;
    case DeleteOutcome::kNothing:
        break;
    }
}

void RenumberDirectoryIds()
{
    DirectoryListView list = DirectoryList();
    std::vector<std::wstring> ids;
    for (int row = 0; row < list.RowCount(); ++row)
        ids.push_back(list.CellText(row, kColumnId));
    const std::vector<std::wstring> renumbered = RenumberedIds(ids);
    for (size_t row = 0; row < ids.size(); ++row) {
        if (renumbered[row] != ids[row])
            list.SetCellText(static_cast<int>(row), kColumnId, renumbered[row]);
    }
}

}  // namespace qf
