#include "dirset/shell_folder.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "dirset/directory_list.h"
#include "dirset/list_rules.h"
#include "win/unique_handle.h"

namespace qf {
namespace {

// Room for the longest path the file system allows, not only MAX_PATH.
constexpr DWORD kPathCapacity = 32768;

}  // namespace

std::wstring PickFolder(const PickFolderOptions& options)
{
    BROWSEINFOW info{};
    info.hwndOwner = options.owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = nullptr;
    info.lpszTitle = options.instruction.c_str();
    info.ulFlags = BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallback;
    info.lParam = options.initialFolder.empty() ? 0 : reinterpret_cast<LPARAM>(options.initialFolder.c_str());
    info.iImage = 0;

    ItemList chosen(SHBrowseForFolderW(&info));
    if (!chosen)
        return std::wstring();
    // A place without a file-system path (a virtual folder) fails here and gives no choice.
    std::vector<wchar_t> path(kPathCapacity, L'\0');
    if (!SHGetPathFromIDListEx(chosen.get(), path.data(), kPathCapacity, GPFIDL_DEFAULT))
        return std::wstring();
    return TrimSpaces(path.data());
}

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM /*parameter*/, LPARAM data)
{
    if (message == BFFM_INITIALIZED && data != 0)
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
    return 1;
}

void LocateDirectory()
{
    const DirectoryListView list = DirectoryList();
    const int selected = list.Selection();
    if (selected < 0)
        return;
    const std::wstring path = list.CellText(selected, kColumnPath);
    // An empty cell plus "\" would name the current drive's root: not this row's directory.
    if (path.empty())
        return;
    RevealInFileManager(path + L"\\", false);
}

bool RevealInFileManager(const std::wstring& path, bool edit)
{
    if (!PathExists(path))
        return false;
    ItemList item(ILCreateFromPathW(path.c_str()));
    if (!item)
        return false;
    // With no children named, the shell opens the item's parent and selects the item.
    const HRESULT result = SHOpenFolderAndSelectItems(item.get(), 0, nullptr, edit ? OFASI_EDIT : 0);
    return result == S_OK;
}

bool PathExists(const std::wstring& path)
{
    return PathFileExistsW(path.c_str()) == TRUE;
}

}  // namespace qf
