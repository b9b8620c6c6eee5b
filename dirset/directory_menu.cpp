#include "dirset/directory_menu.h"

#include "dirset/directory_list.h"
#include "dirset/directory_ops.h"
#include "dirset/list_rules.h"
#include "dirset/shell_folder.h"
#include "sync/sync_state.h"
#include "ui/log_panel.h"
#include "win/log_labels.h"
#include "win/unique_handle.h"

namespace qf {
namespace {

struct MenuItem {
    int id;
    const wchar_t* text;
};

constexpr MenuItem kAddTargetItems[] = {{kCmdAddTarget, L"添加目标目录"}};                 // 功能
constexpr MenuItem kAddSourceItems[] = {{kCmdAddSource, L"添加源目录"}};                   // 功能2
constexpr MenuItem kRowItems[] = {                                                         // 功能3
    {kCmdLocate, L"定位目录"},
    {kCmdModify, L"修改目录"},
    {kCmdDelete, L"删除目录"},
};

template <size_t N>
MenuHandle BuildMenu(const MenuItem (&items)[N])
{
    MenuHandle menu(CreatePopupMenu());
    if (menu) {
        for (const MenuItem& item : items)
            AppendMenuW(menu.get(), MF_STRING, static_cast<UINT_PTR>(item.id), item.text);
    }
    return menu;
}

MenuHandle MenuFor(DirectoryMenu choice)
{
    switch (choice) {
    case DirectoryMenu::kAddTarget: return BuildMenu(kAddTargetItems);
    case DirectoryMenu::kAddSource: return BuildMenu(kAddSourceItems);
    case DirectoryMenu::kRowCommands: return BuildMenu(kRowItems);
    case DirectoryMenu::kNone: break;
    }
    return MenuHandle();
}

}  // namespace

void ShowDirectoryMenu(HWND owner)
{
    const DirectoryListView list = DirectoryList();
    const DirectoryMenu choice = ChooseDirectoryMenu(IsSyncRunning(), list.RowCount(), list.Selection());
    if (choice == DirectoryMenu::kNone) {
        AppendLog(kNotice, L"先关闭同步后,再进行操作");
        return;
    }
    MenuHandle menu = MenuFor(choice);
    if (!menu)
        return;
    POINT cursor{};
    GetCursorPos(&cursor);
    // Without TPM_RETURNCMD the choice is posted to `owner` as WM_COMMAND, so the operation
    // runs after this handler has returned, never inside it.
    TrackPopupMenu(menu.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, cursor.x + 3, cursor.y + 3, 0, owner,
                   nullptr);
}

bool RunDirectoryCommand(int commandId)
{
    switch (commandId) {
    case kCmdAddTarget: AddTargetDirectory(); return true;
    case kCmdAddSource: AddSourceDirectory(); return true;
    case kCmdLocate: LocateDirectory(); return true;
    case kCmdModify: ModifyDirectory(); return true;
    case kCmdDelete: DeleteDirectory(); return true;
    default: return false;
    }
}

}  // namespace qf
