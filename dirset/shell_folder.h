#pragma once
// Bridges to the Windows shell: the folder browser and "show in the file manager".
#include <windows.h>

#include <string>

namespace qf {

struct PickFolderOptions {
    std::wstring instruction = L"请选择一个文件夹";
    std::wstring initialFolder;   // pre-selected when not empty
    HWND owner = nullptr;
};

// The chosen folder's path with ASCII and full-width blanks trimmed at both ends; empty text
// when the user cancels or chooses a place without a file-system path.
std::wstring PickFolder(const PickFolderOptions& options = PickFolderOptions());

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM parameter, LPARAM data);

// The handler of "定位目录": opens the file manager on the selected row's directory.
void LocateDirectory();
bool RevealInFileManager(const std::wstring& path, bool edit);
bool PathExists(const std::wstring& path);

}  // namespace qf
