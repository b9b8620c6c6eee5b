#pragma once
// The message box and the one-line text prompt that handlers use to ask the user.
#include <windows.h>

#include <string>

namespace qf {

enum AnswerCode : int {
    kAnswerOk = 0,
    kAnswerCancel = 1,
    kAnswerRetry = 3,
    kAnswerYes = 5,
    kAnswerNo = 6,
};

// `type` is the system's button set (MB_OK = 0, MB_YESNO = 4). Task-modal; caption
// "信息：" when none is given. Returns the answer code; 0 if the box cannot be shown.
int ShowMessageBox(const std::wstring& text, UINT type, const wchar_t* caption = nullptr, HWND owner = nullptr);

// Asks for one line of text. True and `text` set when confirmed (possibly empty); false and
// `text` untouched when cancelled or when the dialog cannot be shown.
bool AskText(const std::wstring& prompt, std::wstring& text, const wchar_t* title = nullptr,
             const std::wstring& initial = std::wstring(), HWND owner = nullptr);

}  // namespace qf
