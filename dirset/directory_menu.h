#pragma once
// The directory list's pop-up menus: the right-click handler that offers them and the
// commands they send.
#include <windows.h>

namespace qf {

// Menu command ids; they reach the owner window as WM_COMMAND after the menu has closed.
constexpr int kCmdAddTarget = 40101;
constexpr int kCmdAddSource = 40102;
constexpr int kCmdLocate = 40103;
constexpr int kCmdModify = 40104;
constexpr int kCmdDelete = 40105;

// The list's right-click handler: opens "功能", "功能2" or "功能3" (or refuses while
// synchronisation runs) at the cursor + (3, 3), owned by `owner`.
void ShowDirectoryMenu(HWND owner);

// Runs the operation of a menu command id; false when the id is not one of the above.
bool RunDirectoryCommand(int commandId);

}  // namespace qf
