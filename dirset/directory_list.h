#pragma once
// The directory list 超级列表框_目录: its rows are the data. Row 0 is the target, rows 1 and
// on the sources; position, not the kind text, decides the role. Use only on the UI thread
// (other threads go through RunOnUiThread).
#include <windows.h>

#include <string>

#include "dirset/list_rules.h"

namespace qf {

// Non-owning view of the list control: the window that created it destroys it.
class DirectoryListView {
public:
    explicit DirectoryListView(HWND list = nullptr) : list_(list) {}
    HWND hwnd() const { return list_; }

    int RowCount() const;
    std::wstring CellText(int row, int column) const;  // "" for a row that does not exist
    int AppendRow();                                   // an empty row at the end; its index
    int InsertRow(int at);                             // an empty row at `at`, unselected
    void SetCellText(int row, int column, const std::wstring& text);
    void DeleteRow(int row);
    int Selection() const;                             // first selected row, -1 when none

private:
    HWND list_;
};

// Creates the report-view list with its four columns, check boxes and grid lines as a child
// of `parent`, and makes it the list that DirectoryList() returns.
HWND CreateDirectoryList(HWND parent, int controlId, const RECT& bounds);
void AttachDirectoryList(HWND list);
DirectoryListView DirectoryList();

}  // namespace qf
