// Drives a running quenfold.exe into the state the documentation shows and saves the main
// window and the introduction window as bitmaps:
//   qf-screenshot.exe MAIN.bmp INTRO.bmp
// Switches synchronisation on and off once, so the log holds lines, then opens the
// introduction and closes the program. A developer tool; waits by polling.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

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

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return Fail("usage: qf-screenshot.exe MAIN.bmp INTRO.bmp");
    HWND main = nullptr;
    // Found by caption already while it creates its controls: wait until it is shown.
    if (!WaitFor([&] {
            main = FindWindowW(L"QuenfoldMainWindow", L"987Quenfold");
            return main && IsWindowVisible(main);
        }))
        return Fail("the main window did not open");
    HWND list = GetDlgItem(main, IDC_DIRECTORY_LIST);
    HWND log = GetDlgItem(main, IDC_LOG_EDIT);
    HWND start = GetDlgItem(main, IDC_START_BUTTON);
    if (!WaitFor([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) >= 2; }))
        return Fail("the settings file's rows did not load");

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
