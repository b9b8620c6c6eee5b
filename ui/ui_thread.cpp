#include "ui/ui_thread.h"

#include <windows.h>

#include <atomic>

#include "win/app_messages.h"

namespace qf {
namespace {

// What the call window answers, so that a send to a window that is gone (answered 0) is told
// from a call that ran.
constexpr LRESULT kUiCallDone = 1;

std::atomic<HWND> gCallWindow{nullptr};
std::atomic<DWORD> gUiThreadId{0};

LRESULT CALLBACK CallWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP_UI_CALL) {
        try {
            (*reinterpret_cast<const std::function<void()>*>(lParam))();
        } catch (...) {
            // A failing call must not tear down the UI thread; the caller sees no result.
        }
        return kUiCallDone;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void BindUiThread()
{
    static const wchar_t kClass[] = L"QuenfoldUiCall";
    WNDCLASSW wc{};
    wc.lpfnWndProc = CallWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);  // fails harmlessly when already registered
    HWND old = gCallWindow.exchange(nullptr);
    if (old && gUiThreadId.load() == GetCurrentThreadId())
        DestroyWindow(old);
    gUiThreadId = GetCurrentThreadId();
    gCallWindow = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

void ReleaseUiThread()
{
    HWND old = gCallWindow.exchange(nullptr);
    if (old && gUiThreadId.load() == GetCurrentThreadId())
        DestroyWindow(old);
    gUiThreadId = 0;
}

bool IsUiThread()
{
    const DWORD id = gUiThreadId.load();
    return id != 0 && id == GetCurrentThreadId();
}

bool RunOnUiThread(const std::function<void()>& call)
{
    HWND window = gCallWindow.load();
    if (!window)
        return false;
    if (IsUiThread()) {
        call();
        return true;
    }
    // Fails when the UI thread's window is gone meanwhile; the call has then not run.
    return SendMessageW(window, WM_APP_UI_CALL, 0, reinterpret_cast<LPARAM>(&call)) == kUiCallDone;
}

}  // namespace qf
