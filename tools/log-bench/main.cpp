// Developer benchmark: does appending to the log box slow down as the log grows?
//
//   qf-log-bench.exe [lines] [--worker] [--no-paint]
//
// Appends `lines` (default 100,000) pass-count lines to a log box placed as in the main
// window, letting the window repaint after each append, and prints the time of the first
// and the last 1,000 appends. With --worker the lines come from a second thread, as the
// synchronisation worker's do; --no-paint leaves out the repaints. Exit code 0 when the last
// 1,000 took under three times the first 1,000.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <atomic>
#include <thread>

#include "ui/log_panel.h"
#include "ui/ui_thread.h"

namespace {

constexpr int kBatch = 1000;

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == qf::LogBox())
        return reinterpret_cast<LRESULT>(qf::LogBoxColours(reinterpret_cast<HDC>(wParam)));
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateHost()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = L"QfLogBench";
    RegisterClassW(&wc);
    HWND host = CreateWindowExW(0, wc.lpszClassName, L"log bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 386, 312,
                                nullptr, nullptr, wc.hInstance, nullptr);
    qf::CreateLogBox(host, 1001, RECT{126, 5, 376, 88});
    return host;
}

// `first` gets the time of the first 1,000 appends, `last` that of the last 1,000.
void AppendAll(int lines, double* first, double* last, bool pumpEach)
{
    double start = Now();
    for (int i = 0; i < lines; ++i) {
        qf::AppendLog(L"同步次数", std::to_wstring(i + 1));
        if (pumpEach)
            Pump();
        if (i + 1 == kBatch)
            *first = Now() - start;
        if (i + 1 == lines - kBatch)
            start = Now();
    }
    *last = Now() - start;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int lines = 100000;
    bool worker = false;
    bool paint = true;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--worker") == 0)
            worker = true;
        else if (std::wcscmp(argv[i], L"--no-paint") == 0)
            paint = false;
        else
            lines = std::wcstol(argv[i], nullptr, 10);
    }
    if (lines < 2 * kBatch)
        lines = 2 * kBatch;

    qf::BindUiThread();
    HWND host = CreateHost();
    Pump();

    double first = 0, last = 0;
    const double begin = Now();
    if (worker) {
        std::atomic<bool> done{false};
        std::thread thread([&] {
            AppendAll(lines, &first, &last, false);
            done = true;
            PostMessageW(host, WM_NULL, 0, 0);
        });
        while (!done) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            Pump();
        }
        thread.join();
    } else {
        AppendAll(lines, &first, &last, paint);
    }
    const double total = Now() - begin;

    const int length = GetWindowTextLengthW(qf::LogBox());
    std::printf("%d lines (%s%s), %d characters, %.2f s in all\n", lines, worker ? "worker thread" : "UI thread",
                paint ? "" : ", no repaints", length, total);
    std::printf("first %d appends: %.1f ms\nlast %d appends: %.1f ms\nratio: %.2f (goal < 3)\n", kBatch,
                first * 1000, kBatch, last * 1000, last / first);
    DestroyWindow(host);
    return last < 3 * first ? 0 : 1;
}
