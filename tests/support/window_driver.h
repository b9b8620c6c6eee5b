#pragma once
// Finding and driving windows the way a user would: the program's own dialogs opened on a
// test's thread and answered from a helper thread, and another process's windows for the
// end-to-end test (clicks with the real mouse, control data copied across the boundary).
//
//   qf::test::DialogAnswerer answer(L"信息：", [](HWND box) { qf::test::PressButton(box, IDYES); });
//   EXPECT_EQ(qf::ShowMessageBox(L"?", MB_YESNO), qf::kAnswerYes);
//   EXPECT_TRUE(answer.Found());
//
// An answer runs on the helper thread, so it must only send or post messages to the dialog.
#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace qf::test {

// A window of this thread standing in for one of the program's, its class (`className`, run
// by `proc`) registered on first use: visible and top-level at (x, y), or message-only when
// `parent` is HWND_MESSAGE.
HWND CreateTestWindow(const wchar_t* className, int x, int y, int width, int height, WNDPROC proc = DefWindowProcW,
                      HWND parent = nullptr);

// Checks `ready` every 20 ms until it is true or `milliseconds` have passed.
bool WaitFor(const std::function<bool()>& ready, DWORD milliseconds);

// Visible top-level windows of process `pid` with this class and caption (null: any).
std::vector<HWND> ProcessWindows(DWORD pid, const wchar_t* className, const wchar_t* caption);
HWND WaitForProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* caption, DWORD milliseconds);
// The same among the windows of one thread.
HWND WaitForThreadWindow(DWORD thread, const wchar_t* className, const wchar_t* caption = nullptr,
                         DWORD timeoutMs = 15000);
// A dialog (class #32770) of this process captioned exactly `caption`; null when none appears.
HWND WaitForDialog(const std::wstring& caption, DWORD timeoutMs = 5000);

class DialogAnswerer {
public:
    DialogAnswerer(std::wstring caption, std::function<void(HWND dialog)> answer, DWORD timeoutMs = 5000);
    ~DialogAnswerer();
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;

    // Waits for the helper thread; true when the dialog appeared and was answered.
    bool Found();

private:
    std::thread thread_;
    bool found_ = false;
};

// Presses a button as a click would (posted, so a handler that opens a dialog cannot block).
void PressButton(HWND dialog, int buttonId);
// Posts a key press (e.g. VK_RETURN, VK_ESCAPE) to the control that has the dialog's focus.
void PressKey(HWND dialog, UINT virtualKey);
// Closes the dialog with its close box (the system menu's Close).
void PressCloseBox(HWND dialog);

// Text of any window, of this thread, another or another process; a message box's text is
// item 0xFFFF.
std::wstring WindowText(HWND window);
bool SetText(HWND window, const std::wstring& text);
std::wstring ItemText(HWND dialog, int itemId);
void SetItemText(HWND dialog, int itemId, const std::wstring& text);
std::wstring ClassOf(HWND window);
// First descendant of `parent` with this class name, or null.
HWND FindDescendant(HWND parent, const wchar_t* className);
// True when some descendant of `parent` shows exactly `text`.
bool HasChildWithText(HWND parent, const std::wstring& text);
// Where a child sits in its parent's client area.
RECT ClientRectOf(HWND child);

// The real pointer and buttons, as a user's hand would move them.
void ClickAt(POINT screen, bool rightButton);
void ClickCentre(HWND window, bool rightButton);

// Memory in another process, freed when it goes out of scope.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, size_t bytes);
    ~RemoteBuffer();
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    void* address() const { return address_; }
    bool Write(const void* data, size_t bytes, size_t offset = 0);
    bool Read(void* data, size_t bytes, size_t offset = 0) const;

private:
    HANDLE process_;
    void* address_;
};

int ListRowCount(HWND list);
std::wstring ListCellText(HANDLE process, HWND list, int row, int column);
// The name of the selected item of a tree view in `process`.
std::wstring SelectedTreeName(HANDLE process, HWND tree);
// Selects `path` in a folder browser of `process` and reads back the tree's selected name.
std::wstring SelectInFolderBrowser(HANDLE process, HWND browser, const std::wstring& path);

}  // namespace qf::test
