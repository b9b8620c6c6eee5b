#include "tests/dirset/thread_windows.h"

namespace qf::testing {
namespace {

struct Search {
    const wchar_t* className;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM param)
{
    auto& search = *reinterpret_cast<Search*>(param);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (!IsWindowVisible(window) || lstrcmpW(name, search.className) != 0)
        return TRUE;
    if (search.caption && WindowText(window) != search.caption)
        return TRUE;
    search.found = window;
    return FALSE;
}

struct TextSearch {
    const std::wstring& text;
    bool found;
};

BOOL CALLBACK MatchText(HWND window, LPARAM param)
{
    auto& search = *reinterpret_cast<TextSearch*>(param);
    if (WindowText(window) == search.text) {
        search.found = true;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND WaitForThreadWindow(DWORD thread, const wchar_t* className, const wchar_t* caption, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    do {
        Search search{className, caption, nullptr};
        EnumThreadWindows(thread, Match, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(20);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[1024] = {};
    // WM_GETTEXT, not GetWindowText: the window belongs to another thread.
    SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

bool HasChildWithText(HWND parent, const std::wstring& text)
{
    TextSearch search{text, false};
    EnumChildWindows(parent, MatchText, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace qf::testing
