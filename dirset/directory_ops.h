#pragma once
// The commands of the directory list's pop-up menus and the right-click handler that offers them.
#include <windows.h>

#include <functional>
#include <string>

namespace qf {

// Menu command ids; they reach the owner window as WM_COMMAND after the menu has closed.
constexpr int kCmdAddTarget = 40101;
constexpr int kCmdAddSource = 40102;
constexpr int kCmdLocate = 40103;
constexpr int kCmdModify = 40104;
constexpr int kCmdDelete = 40105;

void AddTargetDirectory();
void AddSourceDirectory();
void ModifyDirectory();
void DeleteDirectory();
void RenumberDirectoryIds();

// The list's right-click handler: opens "功能", "功能2" or "功能3" (or refuses while
// synchronisation runs) at the cursor + (3, 3), owned by `owner`.
void ShowDirectoryMenu(HWND owner);

// Runs the operation of a menu command id; false when the id is not one of the above.
bool RunDirectoryCommand(int commandId);

// The dialogs the operations open. A member left empty means the real dialog: PickFolder with
// its defaults, AskText titled "提示", ShowMessageBox with OK alone.
struct DirectoryDialogs {
    std::function<std::wstring()> pickFolder;
    std::function<bool(const std::wstring& prompt, std::wstring& remark)> askRemark;
    std::function<int(const std::wstring& text)> notify;
};

// Lets tests answer the dialogs; DirectoryDialogs{} brings the real ones back.
void SetDirectoryDialogsForTesting(const DirectoryDialogs& dialogs);

}  // namespace qf
