#include "dirset/settings_file.h"

#include "dirset/directory_list.h"
#include "dirset/settings_io.h"
#include "dirset/settings_path.h"
#include "dirset/settings_reader.h"
#include "sync/sync_state.h"
#include "ui/log_panel.h"
#include "ui/ui_thread.h"
#include "win/log_labels.h"

namespace qf {
namespace {

std::vector<SettingsRow> ListRows(const DirectoryListView& list)
{
    std::vector<SettingsRow> rows;
    const int count = list.RowCount();
    for (int row = 0; row < count; ++row)
        rows.push_back(SettingsRow{list.CellText(row, kColumnId), list.CellText(row, kColumnKind),
                                   list.CellText(row, kColumnPath), list.CellText(row, kColumnRemark)});
    return rows;
}

// All rows in one go, so no edit of the user's lands between two of them; never beyond the
// list's limit, even when the user has added rows before the load arrived.
void AppendRows(DirectoryListView list, const std::vector<SettingsRow>& rows)
{
    for (const SettingsRow& source : rows) {
        if (list.RowCount() >= kMaxDirectoryRows)
            return;
        const int row = list.AppendRow();
        if (row < 0)
            return;
        list.SetCellText(row, kColumnId, source.id);
        list.SetCellText(row, kColumnKind, source.kind);
        list.SetCellText(row, kColumnPath, source.path);
        list.SetCellText(row, kColumnRemark, source.remark);
    }
}

}  // namespace

bool SaveSettings()
{
    return WriteSettingsRows(SettingsFilePath(), ListRows(DirectoryList()));
}

void OnSaveSettingsClicked()
{
    AppendLog(kNotice, SaveSettings() ? L"保存设置完成" : L"保存设置失败");
}

void LoadSettings()
{
    SetSyncRunning(false);
    const IniDocument doc = CurrentProfileReader().Open(SettingsFilePath());
    // A file with more sections than the list can hold gives its first rows only.
    const std::vector<SettingsRow> rows = RowsFromDocument(doc, kMaxDirectoryRows);
    if (rows.empty())
        return;
    RunOnUiThread([&rows] { AppendRows(DirectoryList(), rows); });
}

}  // namespace qf
