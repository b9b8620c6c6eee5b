#include "tests/dirset/directory_test_window.h"

#include <commctrl.h>

#include "dirset/directory_list.h"
#include "dirset/directory_ops.h"
#include "tests/support/window_driver.h"
#include "ui/log_panel.h"
#include "ui/ui_thread.h"

namespace qf::test {

DirectoryTestWindow::DirectoryTestWindow()
{
    BindUiThread();
    window_ = CreateTestWindow(L"QuenfoldDirectoryTestWindow", 50, 50, 400, 320);
    list_ = CreateDirectoryList(window_, 1001, RECT{8, 88, 376, 224});
    CreateLogBox(window_, 1002, RECT{126, 5, 376, 88});
    AnswerDialogs(true);
}

void DirectoryTestWindow::UseRealPromptAndMessages()
{
    AnswerDialogs(false);
}

void DirectoryTestWindow::AnswerDialogs(bool all)
{
    DirectoryDialogs dialogs;
    dialogs.pickFolder = [this] {
        asked.push_back(L"pick");
        std::wstring folder;
        if (!folders.empty()) {
            folder = folders.front();
            folders.pop_front();
        }
        return folder;
    };
    if (!all) {
        SetDirectoryDialogsForTesting(dialogs);
        return;
    }
    dialogs.askRemark = [this](const std::wstring& prompt, std::wstring& remark) {
        asked.push_back(L"remark: " + prompt);
        if (duringRemark)
            duringRemark(*this);
        std::optional<std::wstring> answer;
        if (!remarks.empty()) {
            answer = remarks.front();
            remarks.pop_front();
        }
        if (!answer)
            return false;
        remark = *answer;
        return true;
    };
    dialogs.notify = [this](const std::wstring& text) {
        asked.push_back(L"notify: " + text);
        return 0;
    };
    SetDirectoryDialogsForTesting(dialogs);
}

DirectoryTestWindow::~DirectoryTestWindow()
{
    SetDirectoryDialogsForTesting(DirectoryDialogs{});
    AttachDirectoryList(nullptr);
    DestroyWindow(window_);
}

void DirectoryTestWindow::SetRows(const std::vector<Row>& rows)
{
    DirectoryListView view(list_);
    while (view.RowCount() > 0)
        view.DeleteRow(0);
    for (const Row& row : rows) {
        const int at = view.AppendRow();
        for (int column = 0; column < 4; ++column)
            view.SetCellText(at, column, row[static_cast<size_t>(column)]);
    }
}

std::vector<Row> DirectoryTestWindow::Rows() const
{
    DirectoryListView view(list_);
    std::vector<Row> rows;
    for (int row = 0; row < view.RowCount(); ++row) {
        rows.push_back({view.CellText(row, 0), view.CellText(row, 1), view.CellText(row, 2), view.CellText(row, 3)});
    }
    return rows;
}

void DirectoryTestWindow::Select(int row)
{
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::wstring DirectoryTestWindow::Log() const
{
    return WindowText(LogBox());
}

}  // namespace qf::test
