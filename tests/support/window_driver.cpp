#include "tests/support/window_driver.h"

#include <commctrl.h>
#include <shlobj.h>

#include <utility>

namespace qf::test {

bool WaitFor(const std::function<bool()>& ready, DWORD milliseconds)
{
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        if (ready())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(20);
    }
}

namespace {

struct Search {
    DWORD pid;
    const wchar_t* className;
    const wchar_t* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK Match(HWND window, LPARAM parameter)
{
    auto& search = *reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if ((search.pid && owner != search.pid) || !IsWindowVisible(window))
        return TRUE;
    if (search.className && ClassOf(window) != search.className)
        return TRUE;
    // The caption is read without a message, so a busy thread's windows cannot stall the search.
    wchar_t caption[512] = {};
    const int length = InternalGetWindowText(window, caption, 512);
    if (search.caption && std::wstring(caption, static_cast<size_t>(length)) != search.caption)
        return TRUE;
    search.found.push_back(window);
    return TRUE;
}

HWND First(const std::vector<HWND>& windows)
{
    return windows.empty() ? nullptr : windows.front();
}

}  // namespace

std::vector<HWND> ProcessWindows(DWORD pid, const wchar_t* className, const wchar_t* caption)
{
    Search search{pid, className, caption, {}};
    EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* caption, DWORD milliseconds)
{
    HWND window = nullptr;
    WaitFor([&] { return (window = First(ProcessWindows(pid, className, caption))) != nullptr; }, milliseconds);
    return window;
}

HWND WaitForThreadWindow(DWORD thread, const wchar_t* className, const wchar_t* caption, DWORD timeoutMs)
{
    HWND window = nullptr;
    WaitFor(
        [&] {
            Search search{0, className, caption, {}};
            EnumThreadWindows(thread, Match, reinterpret_cast<LPARAM>(&search));
            return (window = First(search.found)) != nullptr;
        },
        timeoutMs);
    return window;
}

HWND WaitForDialog(const std::wstring& caption, DWORD timeoutMs)
{
    return WaitForProcessWindow(GetCurrentProcessId(), L"#32770", caption.c_str(), timeoutMs);
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
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return std::wstring();
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG, 5000,
                        &copied);
    text.resize(copied);
    return text;
}

bool SetText(HWND window, const std::wstring& text)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000,
                               &result) != 0;
}

std::wstring ItemText(HWND dialog, int itemId)
{
    return WindowText(GetDlgItem(dialog, itemId));
}

void SetItemText(HWND dialog, int itemId, const std::wstring& text)
{
    SetText(GetDlgItem(dialog, itemId), text);
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

namespace {

struct ChildSearch {
    std::function<bool(HWND)> wanted;
    HWND found;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM parameter)
{
    auto& search = *reinterpret_cast<ChildSearch*>(parameter);
    if (!search.wanted(child))
        return TRUE;
    search.found = child;
    return FALSE;
}

HWND FindChild(HWND parent, std::function<bool(HWND)> wanted)
{
    ChildSearch search{std::move(wanted), nullptr};
    EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

HWND CreateTestWindow(const wchar_t* className, int x, int y, int width, int height, WNDPROC proc, HWND parent)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = className;
    RegisterClassW(&wc);
    const DWORD style = parent == HWND_MESSAGE ? 0 : WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    return CreateWindowExW(0, className, className, style, x, y, width, height, parent, nullptr, wc.hInstance, nullptr);
}

HWND FindDescendant(HWND parent, const wchar_t* className)
{
    return FindChild(parent, [&](HWND child) { return ClassOf(child) == className; });
}

bool HasChildWithText(HWND parent, const std::wstring& text)
{
    return FindChild(parent, [&](HWND child) { return WindowText(child) == text; }) != nullptr;
}

RECT ClientRectOf(HWND child)
{
    RECT at{};
    GetWindowRect(child, &at);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&at), 2);
    return at;
}

// Every event carries the absolute position, so the press lands where the pointer was moved
// even when the system has not yet caught up with an earlier SetCursorPos.
void ClickAt(POINT screen, bool rightButton)
{
    const LONG x = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    const LONG y = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    const DWORD down = rightButton ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    const DWORD up = rightButton ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    for (DWORD flags : {static_cast<DWORD>(MOUSEEVENTF_MOVE), down, up}) {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dx = x;
        input.mi.dy = y;
        input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        SendInput(1, &input, sizeof(INPUT));
        Sleep(60);
    }
}

void ClickCentre(HWND window, bool rightButton)
{
    RECT at{};
    GetWindowRect(window, &at);
    ClickAt(POINT{(at.left + at.right) / 2, (at.top + at.bottom) / 2}, rightButton);
}

RemoteBuffer::RemoteBuffer(HANDLE process, size_t bytes)
    : process_(process), address_(VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))
{
}

RemoteBuffer::~RemoteBuffer()
{
    if (address_)
        VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
}

bool RemoteBuffer::Write(const void* data, size_t bytes, size_t offset)
{
    SIZE_T done = 0;
    return address_ && WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, bytes, &done) &&
           done == bytes;
}

bool RemoteBuffer::Read(void* data, size_t bytes, size_t offset) const
{
    SIZE_T done = 0;
    return address_ && ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, bytes, &done) &&
           done == bytes;
}

int ListRowCount(HWND list)
{
    DWORD_PTR count = 0;
    SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
    return static_cast<int>(count);
}

std::wstring ListCellText(HANDLE process, HWND list, int row, int column)
{
    constexpr size_t kChars = 1024;
    RemoteBuffer remote(process, sizeof(LVITEMW) + kChars * sizeof(wchar_t));
    LVITEMW item{};
    item.iSubItem = column;
    item.cchTextMax = kChars;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote.address()) + sizeof(LVITEMW));
    if (!remote.Write(&item, sizeof(item)))
        return L"<unreadable>";
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.address()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
    std::wstring text(copied, L'\0');
    if (copied && !remote.Read(&text[0], copied * sizeof(wchar_t), sizeof(LVITEMW)))
        return L"<unreadable>";
    return text;
}

std::wstring SelectedTreeName(HANDLE process, HWND tree)
{
    DWORD_PTR item = 0;
    SendMessageTimeoutW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, SMTO_ABORTIFHUNG, 5000, &item);
    if (!item)
        return std::wstring();
    constexpr size_t kChars = MAX_PATH;
    RemoteBuffer remote(process, sizeof(TVITEMW) + kChars * sizeof(wchar_t));
    TVITEMW query{};
    query.mask = TVIF_TEXT | TVIF_HANDLE;
    query.hItem = reinterpret_cast<HTREEITEM>(item);
    query.cchTextMax = kChars;
    query.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote.address()) + sizeof(TVITEMW));
    if (!remote.Write(&query, sizeof(query)))
        return std::wstring();
    DWORD_PTR ok = 0;
    SendMessageTimeoutW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.address()), SMTO_ABORTIFHUNG, 5000,
                        &ok);
    wchar_t name[kChars] = {};
    remote.Read(name, sizeof(name) - sizeof(wchar_t), sizeof(TVITEMW));
    return name;
}

std::wstring SelectInFolderBrowser(HANDLE process, HWND browser, const std::wstring& path)
{
    const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    RemoteBuffer remote(process, (path.size() + 1) * sizeof(wchar_t));
    remote.Write(path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    HWND tree = FindDescendant(browser, WC_TREEVIEWW);
    std::wstring selected;
    // The browser compares folder ids including their access time, so a folder touched
    // meanwhile may leave the selection where it was: read it back and try once more.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(remote.address()),
                            SMTO_ABORTIFHUNG, 10000, &result);
        WaitFor([&] { return (selected = SelectedTreeName(process, tree)) == name; }, 2000);
        if (selected == name)
            break;
    }
    return selected;
}

}  // namespace qf::test
