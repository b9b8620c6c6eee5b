// The main window's procedure: one short handler per message, each handing the event to the
// operation that owns it.
#include "ui/main_window.h"

#include <commctrl.h>

#include <memory>

#include "dirset/directory_menu.h"
#include "dirset/settings_file.h"
#include "sync/scheduler.h"
#include "sync/start_thread.h"
#include "sync/sync_state.h"
#include "ui/interval_label.h"
#include "ui/intro_window.h"
#include "ui/log_panel.h"
#include "ui/main_window_layout.h"
#include "ui/resource.h"
#include "ui/window_class.h"
#include "ui/sync_host.h"
#include "ui/sync_progress.h"

namespace qf {
namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr DWORD kMainWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

struct MainWindowState {
    std::unique_ptr<SyncProgress> progress;  // before the host, which points at it
    std::unique_ptr<ControlSyncHost> syncHost;
    HWND lastFocus = nullptr;
};

HWND gMainWindow = nullptr;
MainWindowDestroyHandler gDestroyHandler = nullptr;

MainWindowState* StateOf(HWND window)
{
    return reinterpret_cast<MainWindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

DWORD WINAPI LoadSettingsThread(void*)
{
    try {
        LoadSettings();
    } catch (...) {
        // The list then stays as far as it was filled.
    }
    return 0;
}

// The creation handler. The platform's own look stands in for a skin.
void OnCreated()
{
    SetSyncRunning(false);
    StartThread(LoadSettingsThread);
}

bool OnCreate(HWND window)
{
    auto state = std::make_unique<MainWindowState>();
    CreateMainWindowControls(window, WindowDpi(window));
    KeepUnitBesideBox(GetDlgItem(window, IDC_INTERVAL_LABEL), GetDlgItem(window, IDC_INTERVAL_EDIT));
    state->progress = std::make_unique<SyncProgress>(window);
    SyncProgress::AllowButtonCreatedMessage(window);
    state->syncHost = std::make_unique<ControlSyncHost>(GetDlgItem(window, IDC_INTERVAL_EDIT),
                                                        GetDlgItem(window, IDC_START_BUTTON), state->progress.get());
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state.release()));
    gMainWindow = window;
    OnCreated();
    return true;
}

void OnCommand(HWND window, int id, int code, HWND control)
{
    if (control) {
        if (code != BN_CLICKED)
            return;
        if (id == IDC_START_BUTTON) {
            if (MainWindowState* state = StateOf(window)) {
                ToggleSync(*state->syncHost);
                state->progress->Switched(IsSyncRunning());
            }
        } else if (id == IDC_SAVE_BUTTON) {
            OnSaveSettingsClicked();
        }
        return;
    }
    switch (id) {
    case IDCANCEL:  // Esc, when it reaches the window through the dialog manager
        SendMessageW(window, WM_CLOSE, 0, 0);
        return;
    case IDOK:  // Enter: deliberately nothing
        return;
    case IDM_SHOW_INTRO:
        ShowIntroWindow();
        return;
    default:
        RunDirectoryCommand(id);
        return;
    }
}

LRESULT OnNotify(HWND window, const NMHDR& header)
{
    if (header.idFrom == IDC_DIRECTORY_LIST && header.code == NM_RCLICK)
        ShowDirectoryMenu(window);
    return 0;
}

LRESULT OnControlColour(HWND window, UINT message, HDC dc, HWND control)
{
    switch (GetDlgCtrlID(control)) {
    case IDC_LOG_EDIT:  // read-only edits colour themselves through WM_CTLCOLORSTATIC
        return reinterpret_cast<LRESULT>(LogBoxColours(dc));
    case IDC_INTERVAL_EDIT:
        SetTextColor(dc, kRed);
        SetBkColor(dc, kWhite);
        return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    case IDC_INTERVAL_LABEL:
        SetTextColor(dc, kBlack);
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    default:
        return DefWindowProcW(window, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
    }
}

// Keeps the focus on a control across deactivation, as a dialog does.
void OnActivate(HWND window, WORD state)
{
    MainWindowState* windowState = StateOf(window);
    if (!windowState)
        return;
    if (state == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(window, focus))
            windowState->lastFocus = focus;
        return;
    }
    HWND target = windowState->lastFocus;
    if (!target || !IsWindow(target) || !IsWindowEnabled(target))
        target = GetNextDlgTabItem(window, nullptr, FALSE);
    if (target)
        SetFocus(target);
}

// Moves the focus to the next (or previous) tab stop; an edit box entered so has its text
// selected, as in a dialog.
void FocusControl(HWND window, HWND target)
{
    if (!target || !IsChild(window, target))
        return;
    SetFocus(target);
    if (SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
        SendMessageW(target, EM_SETSEL, 0, -1);
}

// Multi-line edits may ask their parent for the next control themselves, as in a dialog.
void OnNextControl(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(lParam))
        FocusControl(window, reinterpret_cast<HWND>(wParam));
    else
        FocusControl(window, GetNextDlgTabItem(window, GetFocus(), wParam != 0 ? TRUE : FALSE));
}

void OnDpiChanged(HWND window, UINT dpi, const RECT& suggested)
{
    SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceMainWindowControls(window, dpi);
}

// The destruction handler.
void OnDestroy()
{
    gMainWindow = nullptr;
    if (gDestroyHandler)
        gDestroyHandler();
    else
        PostQuitMessage(0);
}

void OnNcDestroy(HWND window)
{
    delete StateOf(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
}

LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window) ? 0 : -1;
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NOTIFY:
        return OnNotify(window, *reinterpret_cast<const NMHDR*>(lParam));
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
        return OnControlColour(window, message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_ACTIVATE:
        OnActivate(window, LOWORD(wParam));
        return 0;
    case WM_NEXTDLGCTL:
        OnNextControl(window, wParam, lParam);
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(window, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_NCDESTROY:
        OnNcDestroy(window);
        break;
    default:
        if (message != 0 && message == SyncProgress::ButtonCreatedMessage()) {
            if (MainWindowState* state = StateOf(window))
                state->progress->ButtonCreated();
            return 0;
        }
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void MoveFocus(HWND window, bool backwards)
{
    HWND focus = GetFocus();
    FocusControl(window, GetNextDlgTabItem(window, IsChild(window, focus) ? focus : nullptr, backwards ? TRUE : FALSE));
}

}  // namespace

HWND CreateMainWindow(HINSTANCE instance)
{
    if (!RegisterProgramWindowClass(instance, kMainWindowClass, GuardedWindowProc<HandleMessage>))
        return nullptr;
    const RECT at = CentredOnPrimaryScreen(kMainWindowWidth, kMainWindowHeight, SystemDpi());
    HMENU menu = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_MAIN_MENU));
    HWND window = CreateWindowExW(0, kMainWindowClass, kMainWindowCaption, kMainWindowStyle, at.left, at.top,
                                  at.right - at.left, at.bottom - at.top, nullptr, menu, instance, nullptr);
    if (!window) {
        if (menu)
            DestroyMenu(menu);
        return nullptr;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return window;
}

HWND MainWindow()
{
    return gMainWindow;
}

void SetMainWindowDestroyHandler(MainWindowDestroyHandler handler)
{
    gDestroyHandler = handler;
}

bool PreTranslateMainWindowMessage(MSG& message)
{
    HWND window = gMainWindow;
    if (!window || (message.hwnd != window && !IsChild(window, message.hwnd)))
        return false;
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
        SendMessageW(window, WM_CLOSE, 0, 0);
        return true;
    }
    // Tab is taken here rather than left to the dialog manager, which hands it to the
    // multi-line log box, where it would stay.
    if (message.message == WM_KEYDOWN && message.wParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0 &&
        GetKeyState(VK_MENU) >= 0) {
        MoveFocus(window, GetKeyState(VK_SHIFT) < 0);
        return true;
    }
    return IsDialogMessageW(window, &message) != FALSE;
}

}  // namespace qf
