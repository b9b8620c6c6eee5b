#include "ui/dialogs.h"

#include <utility>
#include <vector>

#include "ui/dialog_ids.h"
#include "ui/dpi.h"
#include "win/window_text.h"

namespace qf {
namespace {

constexpr wchar_t kDefaultMessageCaption[] = L"信息：";

int AnswerCodeOf(int pressed)
{
    switch (pressed) {
    case IDOK: return kAnswerOk;
    case IDCANCEL: return kAnswerCancel;
    case IDRETRY:
    case IDTRYAGAIN: return kAnswerRetry;
    case IDYES: return kAnswerYes;
    case IDNO: return kAnswerNo;
    default: return kAnswerOk;
    }
}

// With no owner the prompt would leave the program's other windows usable, and a second
// command could then change the directory list under the one waiting for its remark. So the
// prompt disables the thread's windows while it is open, as the task-modal message box does.
class ThreadWindowsDisabled {
public:
    ThreadWindowsDisabled() = default;
    ThreadWindowsDisabled(const ThreadWindowsDisabled&) = delete;
    ThreadWindowsDisabled& operator=(const ThreadWindowsDisabled&) = delete;
    ~ThreadWindowsDisabled() { Restore(); }

    void Disable(HWND except)
    {
        except_ = except;
        EnumThreadWindows(GetCurrentThreadId(), &ThreadWindowsDisabled::DisableOne, reinterpret_cast<LPARAM>(this));
    }

    // Called before the dialog goes away, so that activation returns to the program.
    void Restore()
    {
        for (HWND window : disabled_) {
            if (IsWindow(window))
                EnableWindow(window, TRUE);
        }
        disabled_.clear();
    }

private:
    static BOOL CALLBACK DisableOne(HWND window, LPARAM self)
    {
        auto* guard = reinterpret_cast<ThreadWindowsDisabled*>(self);
        if (window != guard->except_ && IsWindowVisible(window) && IsWindowEnabled(window)) {
            EnableWindow(window, FALSE);
            guard->disabled_.push_back(window);
        }
        return TRUE;
    }

    HWND except_ = nullptr;
    std::vector<HWND> disabled_;
};

struct AskTextDialog {
    const std::wstring& prompt;
    const wchar_t* title;
    const std::wstring& initial;
    bool disableOthers;
    std::wstring answer;
    ThreadWindowsDisabled others;
    UINT dpi;
};

using SetDialogDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
constexpr int kDialogDpiChangeDisableAll = 1;  // DDC_DISABLE_ALL, Windows 10 1703 on

// The prompt rescales itself when it moves to a monitor of another scale; where the platform
// would scale it too, that is switched off, so that it is not done twice.
void TakeOverDpiChanges(HWND dialog)
{
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const auto setBehaviour = user32 ? reinterpret_cast<SetDialogDpiChangeBehaviorFn>(reinterpret_cast<void*>(
                                           GetProcAddress(user32, "SetDialogDpiChangeBehavior")))
                                     : nullptr;
    if (setBehaviour)
        setBehaviour(dialog, kDialogDpiChangeDisableAll, kDialogDpiChangeDisableAll);
}

BOOL CALLBACK RescaleControl(HWND control, LPARAM lParam)
{
    const auto* dpis = reinterpret_cast<const UINT*>(lParam);  // from, to
    RECT at;
    GetWindowRect(control, &at);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&at), 2);
    const auto scale = [dpis](LONG v) { return MulDiv(v, static_cast<int>(dpis[1]), static_cast<int>(dpis[0])); };
    SetWindowPos(control, nullptr, scale(at.left), scale(at.top), scale(at.right - at.left),
                 scale(at.bottom - at.top), SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFontForDpi(dpis[1])), TRUE);
    return TRUE;
}

INT_PTR OnDpiChanged(HWND dialog, AskTextDialog& state, UINT dpi, const RECT& suggested)
{
    SetWindowPos(dialog, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    if (state.dpi && dpi && dpi != state.dpi) {
        const UINT dpis[2] = {state.dpi, dpi};
        EnumChildWindows(dialog, RescaleControl, reinterpret_cast<LPARAM>(dpis));
    }
    state.dpi = dpi;
    return TRUE;
}

INT_PTR OnInitDialog(HWND dialog, AskTextDialog& state)
{
    if (state.title)
        SetWindowTextW(dialog, state.title);
    SetDlgItemTextW(dialog, IDC_ASK_TEXT_PROMPT, state.prompt.c_str());
    HWND edit = GetDlgItem(dialog, IDC_ASK_TEXT_EDIT);
    SetWindowTextW(edit, state.initial.c_str());
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, EM_SCROLLCARET, 0, 0);
    SetFocus(edit);
    if (state.disableOthers)
        state.others.Disable(dialog);
    TakeOverDpiChanges(dialog);
    state.dpi = WindowDpi(dialog);
    return FALSE;  // the focus is set
}

INT_PTR OnCommand(HWND dialog, AskTextDialog& state, WORD id)
{
    if (id != IDOK && id != IDCANCEL)
        return FALSE;
    if (id == IDOK)
        state.answer = WindowText(GetDlgItem(dialog, IDC_ASK_TEXT_EDIT));
    state.others.Restore();
    EndDialog(dialog, id);
    return TRUE;
}

INT_PTR CALLBACK AskTextProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            return OnInitDialog(dialog, *reinterpret_cast<AskTextDialog*>(lParam));
        }
        auto* state = reinterpret_cast<AskTextDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (state && message == WM_COMMAND)
            return OnCommand(dialog, *state, LOWORD(wParam));
        if (state && message == WM_DPICHANGED)
            return OnDpiChanged(dialog, *state, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
    } catch (...) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int ShowMessageBox(const std::wstring& text, UINT type, const wchar_t* caption, HWND owner)
{
    UINT flags = type;
    if ((flags & MB_MODEMASK) != MB_SYSTEMMODAL)
        flags = (flags & ~MB_MODEMASK) | MB_TASKMODAL;
    const int pressed = MessageBoxW(owner, text.c_str(), caption ? caption : kDefaultMessageCaption, flags);
    // A box with OK alone has one answer, whichever way it was closed.
    if ((type & MB_TYPEMASK) == MB_OK)
        return kAnswerOk;
    return AnswerCodeOf(pressed);
}

bool AskText(const std::wstring& prompt, std::wstring& text, const wchar_t* title, const std::wstring& initial,
             HWND owner)
{
    AskTextDialog state{prompt, title, initial, owner == nullptr, std::wstring(), {}, 0};
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ASK_TEXT), owner,
                                           AskTextProc, reinterpret_cast<LPARAM>(&state));
    if (result != IDOK)
        return false;
    text = std::move(state.answer);
    return true;
}

}  // namespace qf
