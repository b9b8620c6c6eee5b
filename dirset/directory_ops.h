#pragma once
// The editing operations of the directory list: add, modify, delete, renumber.
#include <windows.h>

#include <functional>
#include <string>

namespace qf {

void AddTargetDirectory();
void AddSourceDirectory();
void ModifyDirectory();
void DeleteDirectory();
void RenumberDirectoryIds();

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
