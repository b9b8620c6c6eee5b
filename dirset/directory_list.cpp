#include "dirset/directory_list.h"

#include <commctrl.h>

#include <atomic>

namespace qf {
namespace {

// Set once on the UI thread before any other thread starts; read by them through
// RunOnUiThread, but atomic so that a plain read is never torn.
std::atomic<HWND> gDirectoryList{nullptr};

struct ColumnSpec {
    const wchar_t* header;
    int width;
    int format;
};

constexpr ColumnSpec kColumns[] = {
    {L" ID", 40, LVCFMT_LEFT},
    {L"目录类型", 60, LVCFMT_CENTER},
    {L"路   径", 150, LVCFMT_CENTER},
    {L"备   注", 100, LVCFMT_CENTER},
};

// No LVS_SHOWSELALWAYS: the list keeps its selection when it loses the focus but draws it
// plainly. No LVS_NOSORTHEADER: the headers look like buttons; nobody handles their clicks.
constexpr DWORD kListStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL;
constexpr DWORD kListExStyle = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES;

void AddColumns(HWND list)
{
    int index = 0;
    for (const ColumnSpec& spec : kColumns) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = spec.format;
        column.cx = spec.width;
        column.pszText = const_cast<wchar_t*>(spec.header);
        column.iSubItem = index;
        SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
        ++index;
    }
}

}  // namespace

int DirectoryListView::RowCount() const
{
    if (!list_)
        return 0;
    return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
}

std::wstring DirectoryListView::CellText(int row, int column) const
{
    if (row < 0 || row >= RowCount())
        return std::wstring();
    // The control does not tell a text's length: grow until the text no longer fills it.
    for (size_t capacity = 512;; capacity *= 2) {
        std::wstring text(capacity, L'\0');
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = &text[0];
        item.cchTextMax = static_cast<int>(capacity);
        const auto length = static_cast<size_t>(
            SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
        if (length + 1 < capacity || capacity >= (1u << 20)) {
            text.resize(length < capacity ? length : capacity - 1);
            return text;
        }
    }
}

int DirectoryListView::AppendRow()
{
    return InsertRow(RowCount());
}

int DirectoryListView::InsertRow(int at)
{
    if (!list_)
        return -1;
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_STATE;
    item.iItem = at;
    item.pszText = const_cast<wchar_t*>(L"");
    item.state = 0;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    return static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void DirectoryListView::SetCellText(int row, int column, const std::wstring& text)
{
    if (!list_)
        return;
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void DirectoryListView::DeleteRow(int row)
{
    if (list_)
        SendMessageW(list_, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
}

int DirectoryListView::Selection() const
{
    if (!list_)
        return -1;
    return static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

HWND CreateDirectoryList(HWND parent, int controlId, const RECT& bounds)
{
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", kListStyle, bounds.left, bounds.top,
                                bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)),
                                GetModuleHandleW(nullptr), nullptr);
    if (!list)
        return nullptr;
    SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, kListExStyle, kListExStyle);
    SendMessageW(list, LVM_SETTEXTCOLOR, 0, RGB(0, 0, 0));
    SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, RGB(255, 255, 255));
    SendMessageW(list, LVM_SETBKCOLOR, 0, RGB(255, 255, 255));
    AddColumns(list);
    AttachDirectoryList(list);
    return list;
}

void AttachDirectoryList(HWND list)
{
    gDirectoryList = list;
}

DirectoryListView DirectoryList()
{
    return DirectoryListView(gDirectoryList.load());
}

}  // namespace qf
