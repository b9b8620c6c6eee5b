#pragma once
// Answers the program's own dialogs in a test. The test's thread opens the dialog (and so runs
// its modal loop); a helper thread waits for the dialog window and answers it:
//
//   qf::test::DialogAnswerer answer(L"信息：", [](HWND box) { qf::test::PressButton(box, IDYES); });
//   EXPECT_EQ(qf::ShowMessageBox(L"?", MB_YESNO), qf::kAnswerYes);
//   EXPECT_TRUE(answer.Found());
//
// The answer runs on the helper thread, so it must only send or post messages to the dialog.
#include <windows.h>

#include <functional>
#include <string>
#include <thread>

namespace qf::test {

// A visible dialog (class #32770) of this process whose caption is exactly `caption`,
// waited for up to `timeoutMs`; null when none appears.
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

// Text of a window or of a dialog item; a message box's text is item 0xFFFF.
std::wstring WindowText(HWND window);
std::wstring ItemText(HWND dialog, int itemId);
void SetItemText(HWND dialog, int itemId, const std::wstring& text);

}  // namespace qf::test
