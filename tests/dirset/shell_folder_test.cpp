#include "dirset/shell_folder.h"

#include <gtest/gtest.h>
#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "dirset/directory_list.h"
#include "tests/dirset/directory_test_window.h"
#include "tests/support/scratch_tree.h"
#include "tests/support/window_driver.h"
#include "win/unique_handle.h"

namespace qf {
namespace {

using test::HasChildWithText;
using test::WaitForThreadWindow;

class ShellFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        OleInitialize(nullptr);
        root = tree.Path();
        folder = tree.Directory(L"选择 folder");
        // Wine tells folders apart by their access time too: read both new folders and the one
        // that holds them once now, so that the browser's own listing does not change it
        // between lookup and selection.
        ListOnce(root.substr(0, root.rfind(L'\\')));
        ListOnce(root);
        ListOnce(folder);
    }

    static void ListOnce(const std::wstring& directory)
    {
        WIN32_FIND_DATAW entry{};
        FindHandle find(FindFirstFileW((directory + L"\\*.*").c_str(), &entry));
        while (find && FindNextFileW(find.get(), &entry)) {
        }
    }
    void TearDown() override { OleUninitialize(); }

    test::ScratchTree tree;
    std::wstring root;
    std::wstring folder;
    const DWORD uiThread = GetCurrentThreadId();
};

TEST_F(ShellFolder, PathExistsForDirectoriesAndFilesOnly)
{
    const std::wstring file = root + L"\\file.txt";
    ASSERT_TRUE(test::WriteBytes(file, ""));
    EXPECT_TRUE(PathExists(folder));
    EXPECT_TRUE(PathExists(folder + L"\\"));
    EXPECT_TRUE(PathExists(file));
    EXPECT_FALSE(PathExists(root + L"\\missing"));
    EXPECT_FALSE(PathExists(root + L"\\missing\\"));
    EXPECT_FALSE(PathExists(L""));
}

TEST_F(ShellFolder, LocatingAMissingDirectoryDoesNothing)
{
    const std::wstring gone = root + L"\\gone";
    EXPECT_FALSE(RevealInFileManager(gone + L"\\", false));
    EXPECT_FALSE(RevealInFileManager(gone + L"\\", true));

    test::DirectoryTestWindow ui;
    ui.SetRows({{L"1", L"目标目录", gone, L""}, {L"2", L"源目录", L"", L""}});
    ui.Select(0);
    LocateDirectory();
    ui.Select(1);  // an empty path is no directory either
    LocateDirectory();
    // Nothing was opened on this thread: no dialog, no message. Either would be modal, so
    // it would have been shown before the calls above returned.
    EXPECT_EQ(WaitForThreadWindow(uiThread, L"#32770", nullptr, 0), nullptr);
}

BOOL CALLBACK CollectForeignWindow(HWND window, LPARAM param)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() && IsWindowVisible(window))
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

// The visible top-level windows of other processes, the file manager's among them.
std::vector<HWND> ForeignWindows()
{
    std::vector<HWND> windows;
    EnumWindows(CollectForeignWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// The file manager is a process of its own: a busy machine may take tens of seconds to start
// it, the first time in a prefix most of all.
constexpr DWORD kFileManagerMs = 90000;

// Waits for a new window of another process whose caption names `folderName`, then closes
// every new one; true when it showed up.
bool NewWindowShowed(const std::vector<HWND>& before, const std::wstring& folderName)
{
    const auto isNew = [&before](HWND window) {
        return std::find(before.begin(), before.end(), window) == before.end();
    };
    const bool showed = test::WaitFor(
        [&] {
            for (HWND window : ForeignWindows())
                if (isNew(window) && test::WindowText(window).find(folderName) != std::wstring::npos)
                    return true;
            return false;
        },
        kFileManagerMs);
    std::vector<HWND> opened;
    for (HWND window : ForeignWindows()) {
        if (isNew(window)) {
            opened.push_back(window);
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
    }
    test::WaitFor([&] { return std::none_of(opened.begin(), opened.end(), IsWindow); }, kFileManagerMs);
    return showed;
}

// Starts the file manager on `directory` and waits for its window, so that what a case checks
// is a later start of it, not the prefix's first.
void BringUpFileManager(const std::wstring& directory)
{
    const std::vector<HWND> before = ForeignWindows();
    if (reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", L"explorer.exe", directory.c_str(), nullptr,
                                                SW_SHOWNORMAL)) > 32)
        NewWindowShowed(before, directory.substr(directory.rfind(L'\\') + 1));
}

TEST_F(ShellFolder, LocatingADirectoryOpensItsParent)
{
    // The file manager shows the parent folder (with the directory selected), not the directory.
    const std::wstring parentName = root.substr(root.rfind(L'\\') + 1);
    BringUpFileManager(folder);
    test::DirectoryTestWindow ui;
    ui.SetRows({{L"1", L"目标目录", folder, L""}});
    ui.Select(0);
    std::vector<HWND> before = ForeignWindows();
    LocateDirectory();
    EXPECT_TRUE(NewWindowShowed(before, parentName));

    // The result is the shell's: Wine's waits about 1.5 s for the new window and reports a
    // failure when the start takes longer, though the window still comes.
    before = ForeignWindows();
    RevealInFileManager(folder + L"\\", false);
    EXPECT_TRUE(NewWindowShowed(before, parentName));
}

// Presses `button` in the folder browser once it shows and its tree has `selected` (if
// given) selected; records whether it carried the instruction text.
std::thread AnswerBrowser(DWORD uiThread, int button, bool& sawInstruction, const std::wstring& selected = L"")
{
    return std::thread([=, &sawInstruction] {
        HWND dialog = WaitForThreadWindow(uiThread, L"#32770");
        if (!dialog)
            return;
        sawInstruction = HasChildWithText(dialog, L"请选择一个文件夹");
        if (!selected.empty()) {
            HWND tree = test::FindDescendant(dialog, WC_TREEVIEWW);
            test::WaitFor([&] { return test::SelectedTreeName(GetCurrentProcess(), tree) == selected; }, 10000);
        }
        PostMessageW(dialog, WM_COMMAND, button, 0);
    });
}

TEST_F(ShellFolder, PickerCancelGivesEmptyText)
{
    bool sawInstruction = false;
    std::thread answer = AnswerBrowser(uiThread, IDCANCEL, sawInstruction);
    const std::wstring chosen = PickFolder();
    answer.join();
    EXPECT_TRUE(sawInstruction);
    EXPECT_EQ(chosen, L"");
}

TEST_F(ShellFolder, PickerOpensOnTheInitialFolderAndReturnsIt)
{
    PickFolderOptions options;
    options.initialFolder = folder;
    bool sawInstruction = false;
    std::thread answer = AnswerBrowser(uiThread, IDOK, sawInstruction, L"选择 folder");
    const std::wstring chosen = PickFolder(options);
    answer.join();
    EXPECT_EQ(chosen, folder);  // no backslash added, inner blank kept
}

}  // namespace
}  // namespace qf
