#include "tests/ui/dialog_answerer.h"

#include <utility>

namespace qf::test {
namespace {

struct Search {
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window))
        return TRUE;
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    // The caption is read without a message, so a busy thread's windows cannot stall the search.
    wchar_t caption[512] = {};
    const int length = InternalGetWindowText(window, caption, 512);
    if (std::wstring(className) == L"#32770" && std::wstring(caption, static_cast<size_t>(length)) == *search->caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND WaitForDialog(const std::wstring& caption, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        Search search{&caption, nullptr};
        EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found || GetTickCount64() >= deadline)
            return search.found;
        Sleep(10);
    }
}

DialogAnswerer::DialogAnswerer(std::wstring caption, std::function<void(HWND)> answer, DWORD timeoutMs)
    : thread_([this, caption = std::move(caption), answer = std::move(answer), timeoutMs] {
          HWND dialog = WaitForDialog(caption, timeoutMs);
          if (dialog) {
              answer(dialog);
              found_ = true;
          }
      })
{
}

DialogAnswerer::~DialogAnswerer()
{
    if (thread_.joinable())
        thread_.join();
}

bool DialogAnswerer::Found()
{
    if (thread_.joinable())
        thread_.join();
    return found_;
}

void PressButton(HWND dialog, int buttonId)
{
    // What a click ends in; BM_CLICK from another thread is unreliable for some buttons.
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, buttonId)));
}

void PressKey(HWND dialog, UINT virtualKey)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = dialog;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus)
        target = info.hwndFocus;
    PostMessageW(target, WM_KEYDOWN, virtualKey, 1);
    PostMessageW(target, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u));
}

void PressCloseBox(HWND dialog)
{
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

std::wstring WindowText(HWND window)
{
    wchar_t buffer[1024] = {};
    const LRESULT length = SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer));
    return std::wstring(buffer, static_cast<size_t>(length));
}

std::wstring ItemText(HWND dialog, int itemId)
{
    return WindowText(GetDlgItem(dialog, itemId));
}

void SetItemText(HWND dialog, int itemId, const std::wstring& text)
{
    SendMessageW(GetDlgItem(dialog, itemId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace qf::test
