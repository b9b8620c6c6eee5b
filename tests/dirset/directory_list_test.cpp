#include "dirset/directory_list.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "tests/dirset/directory_test_window.h"

namespace qf {
namespace {

using test::DirectoryTestWindow;

TEST(DirectoryListControl, LooksAndBehavesAsTheListOfDirectories)
{
    DirectoryTestWindow ui;
    HWND list = ui.list();
    EXPECT_EQ(DirectoryList().hwnd(), list);

    const auto style = static_cast<DWORD>(GetWindowLongPtrW(list, GWL_STYLE));
    EXPECT_EQ(style & LVS_TYPEMASK, static_cast<DWORD>(LVS_REPORT));
    EXPECT_TRUE(style & LVS_SINGLESEL);
    EXPECT_TRUE(style & WS_TABSTOP);
    EXPECT_FALSE(style & LVS_SHOWSELALWAYS);  // kept, but drawn plainly when unfocused
    EXPECT_FALSE(style & LVS_EDITLABELS);
    EXPECT_FALSE(style & LVS_NOCOLUMNHEADER);
    EXPECT_TRUE(GetWindowLongPtrW(list, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    const auto extended = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(extended & (LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES),
              static_cast<DWORD>(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES));
    EXPECT_EQ(SendMessageW(list, LVM_GETTEXTCOLOR, 0, 0), static_cast<LRESULT>(RGB(0, 0, 0)));
    EXPECT_EQ(SendMessageW(list, LVM_GETBKCOLOR, 0, 0), static_cast<LRESULT>(RGB(255, 255, 255)));
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)), GetStockObject(DEFAULT_GUI_FONT));

    struct Column {
        std::wstring header;
        int width;
        int format;
    };
    const Column expected[] = {
        {L" ID", 40, LVCFMT_LEFT},
        {L"目录类型", 60, LVCFMT_CENTER},
        {L"路   径", 150, LVCFMT_CENTER},
        {L"备   注", 100, LVCFMT_CENTER},
    };
    for (int i = 0; i < 4; ++i) {
        wchar_t text[32] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = text;
        column.cchTextMax = 32;
        ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column)));
        EXPECT_EQ(text, expected[i].header);
        EXPECT_EQ(column.cx, expected[i].width);
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, expected[i].format);
    }
    LVCOLUMNW fifth{};
    fifth.mask = LVCF_WIDTH;
    EXPECT_FALSE(SendMessageW(list, LVM_GETCOLUMNW, 4, reinterpret_cast<LPARAM>(&fifth)));
}

TEST(DirectoryListControl, PrimitivesReadAndWriteRows)
{
    DirectoryTestWindow ui;
    DirectoryListView view = DirectoryList();
    EXPECT_EQ(view.RowCount(), 0);
    EXPECT_EQ(view.Selection(), -1);
    EXPECT_EQ(view.CellText(0, kColumnPath), L"");

    EXPECT_EQ(view.AppendRow(), 0);
    EXPECT_EQ(view.AppendRow(), 1);
    view.SetCellText(0, kColumnPath, L"C:\\first");
    view.SetCellText(1, kColumnPath, L"C:\\second");
    ui.Select(1);
    EXPECT_EQ(view.Selection(), 1);

    // An inserted row is empty and unselected; the selection moves with its row.
    EXPECT_EQ(view.InsertRow(1), 1);
    EXPECT_EQ(view.RowCount(), 3);
    EXPECT_EQ(view.CellText(1, kColumnPath), L"");
    EXPECT_EQ(view.CellText(2, kColumnPath), L"C:\\second");
    EXPECT_EQ(view.Selection(), 2);
    EXPECT_EQ(SendMessageW(ui.list(), LVM_GETITEMSTATE, 1, LVIS_SELECTED), 0);

    // Deleting the selected row leaves no selection.
    view.DeleteRow(2);
    EXPECT_EQ(view.RowCount(), 2);
    EXPECT_EQ(view.Selection(), -1);

    // Long cells come back whole, wide characters included.
    std::wstring longPath = L"C:\\";
    while (longPath.size() < 3000)
        longPath += L"目录 dir\u3000";
    view.SetCellText(0, kColumnRemark, longPath);
    EXPECT_EQ(view.CellText(0, kColumnRemark), longPath);
    EXPECT_EQ(view.CellText(0, kColumnPath), L"C:\\first");
    EXPECT_EQ(view.CellText(5, kColumnPath), L"");
    EXPECT_EQ(view.CellText(-1, kColumnPath), L"");

    // A view of no control is an empty list.
    DirectoryListView none;
    EXPECT_EQ(none.RowCount(), 0);
    EXPECT_EQ(none.Selection(), -1);
    EXPECT_EQ(none.AppendRow(), -1);
}

}  // namespace
}  // namespace qf
