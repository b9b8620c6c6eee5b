// Drives a running quenfold.exe into the states the documentation shows and saves windows as
// bitmaps. A developer tool; waits by polling.
//   qf-screenshot.exe MAIN.bmp INTRO.bmp
//     Switches synchronisation on and off once, so the log holds lines, saves the main window,
//     then opens the introduction, saves it and closes the program.
//   qf-screenshot.exe --failures SHOT.bmp FILE...
//     Holds each FILE open, sharing nothing, so a pass cannot replace it; runs one pass, one
//     second after switching on, and switches off as soon as its failure lines are in the log;
//     saves the main window with the interval box as it was, and closes the program.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ui/resource.h"

namespace {

template <typename Probe>
bool WaitFor(Probe probe, DWORD milliseconds = 20000)
{
    for (DWORD waited = 0; waited < milliseconds; waited += 50) {
        if (probe())
            return true;
        Sleep(50);
    }
    return probe();
}

std::wstring TextOf(HWND window)
{
    wchar_t text[4096] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, nullptr);
    return text;
}

// Copies the window's pixels off the screen into a 24-bit bitmap file.
bool SaveWindow(HWND window, const wchar_t* path)
{
    SetForegroundWindow(window);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(700);  // let both processes finish painting
    RECT at;
    GetWindowRect(window, &at);
    const int width = at.right - at.left, height = at.bottom - at.top;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    BitBlt(dc, 0, 0, width, height, screen, at.left, at.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = ((width * 3 + 3) / 4) * 4;
    const DWORD size = stride * height;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
    file.bfSize = file.bfOffBits + size;
    bool saved = false;
    if (FILE* out = _wfopen(path, L"wb")) {
        saved = fwrite(&file, sizeof(file), 1, out) == 1 && fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, out) == 1 &&
                fwrite(bits, size, 1, out) == 1;
        fclose(out);
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return saved;
}

// A click posted while the program is still settling can be lost: click again until the
// button's caption shows the switch took.
bool ClickUntilCaption(HWND button, const wchar_t* caption)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        Sleep(500);
        PostMessageW(button, BM_CLICK, 0, 0);
        if (WaitFor([&] { return TextOf(button) == caption; }, 4000))
            return true;
    }
    return false;
}

int Fail(const char* what)
{
    std::fprintf(stderr, "qf-screenshot: %s\n", what);
    return 1;
}

bool LogHas(HWND log, const wchar_t* text)
{
    return TextOf(log).find(text) != std::wstring::npos;
}

// The main window once it is shown and the settings file's rows are in its list.
HWND OpenedMainWindow(int rows)
{
    HWND main = nullptr;
    // Found by caption already while it creates its controls: wait until it is shown.
    if (!WaitFor([&] {
            main = FindWindowW(L"QuenfoldMainWindow", L"987Quenfold");
            return main && IsWindowVisible(main);
        }))
        return nullptr;
    HWND list = GetDlgItem(main, IDC_DIRECTORY_LIST);
    if (!WaitFor([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) >= rows; }))
        return nullptr;
    return main;
}

int FailuresShot(int argc, wchar_t** argv)
{
    std::vector<HANDLE> held;
    for (int i = 3; i < argc; ++i) {
        HANDLE file = CreateFileW(argv[i], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return Fail("cannot hold a file open");
        held.push_back(file);  // closed when the tool ends
    }
    HWND main = OpenedMainWindow(3);
    if (!main)
        return Fail("the main window did not open with its three rows");
    HWND log = GetDlgItem(main, IDC_LOG_EDIT);
    HWND interval = GetDlgItem(main, IDC_INTERVAL_EDIT);
    HWND start = GetDlgItem(main, IDC_START_BUTTON);
    const std::wstring shown = TextOf(interval);
    SendMessageTimeoutW(interval, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"1"), SMTO_ABORTIFHUNG, 2000, nullptr);
    SetForegroundWindow(main);
    if (!ClickUntilCaption(start, L"关  闭"))
        return Fail("synchronisation did not switch on");
    if (!WaitFor([&] { return LogHas(log, L"个文件未能复制"); }, 60000))
        return Fail("no pass ended with a file not copied");
    // At once, within the one-second wait before the next pass.
    if (!ClickUntilCaption(start, L"开  始") || !WaitFor([&] { return LogHas(log, L"提示: -"); }))
        return Fail("synchronisation did not switch off");
    SendMessageTimeoutW(interval, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(shown.c_str()), SMTO_ABORTIFHUNG, 2000,
                        nullptr);
    SetFocus(nullptr);
    const bool saved = SaveWindow(main, argv[2]);
    PostMessageW(main, WM_CLOSE, 0, 0);
    return saved ? 0 : Fail("cannot save the main window");
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 3 && std::wstring(argv[1]) == L"--failures")
        return FailuresShot(argc, argv);
    if (argc != 3)
        return Fail("usage: qf-screenshot.exe MAIN.bmp INTRO.bmp | --failures SHOT.bmp FILE...");
    HWND main = OpenedMainWindow(2);
    if (!main)
        return Fail("the main window did not open with its rows");
    HWND log = GetDlgItem(main, IDC_LOG_EDIT);
    HWND start = GetDlgItem(main, IDC_START_BUTTON);

    SetForegroundWindow(main);
    if (!ClickUntilCaption(start, L"关  闭") ||
        !WaitFor([&] { return TextOf(log).find(L"同步开始") != std::wstring::npos; }))
        return Fail("synchronisation did not switch on");
    if (!ClickUntilCaption(start, L"开  始") ||
        !WaitFor([&] { return TextOf(log).find(L"关闭同步") != std::wstring::npos; }))
        return Fail("synchronisation did not switch off");
    SetFocus(nullptr);
    if (!SaveWindow(main, argv[1]))
        return Fail("cannot save the main window");

    PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDM_SHOW_INTRO, 0), 0);
    HWND intro = nullptr;
    if (!WaitFor([&] {
            intro = FindWindowW(L"QuenfoldIntroWindow", nullptr);
            return intro && IsWindowVisible(intro);
        }))
        return Fail("the introduction did not open");
    const bool saved = SaveWindow(intro, argv[2]);
    PostMessageW(main, WM_CLOSE, 0, 0);
    return saved ? 0 : Fail("cannot save the introduction");
}
