// The main window in process: its frame, controls, keyboard, colours, menu and wiring.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dirset/directory_list.h"
#include "dirset/settings_file.h"
#include "dirset/settings_reader.h"
#include "sync/sync_state.h"
#include "tests/support/main_window_places.h"
#include "tests/support/window_driver.h"
#include "ui/dpi.h"
#include "ui/intro_window.h"
#include "ui/list_cell_tip.h"
#include "ui/log_panel.h"
#include "ui/main_window.h"
#include "ui/main_window_layout.h"
#include "ui/resource.h"
#include "ui/ui_thread.h"

namespace qf {
namespace test {
int DarkPixels(HWND label, int from, int to);  // tests/ui/interval_label_test.cpp
}  // namespace test
namespace {

using test::ClassOf;
using test::ClientRectOf;
using test::ExpectedControl;
using test::kMainWindowControls;
using test::ScaledPlace;
using test::WindowText;

int gDestroyed = 0;

void CountDestruction()
{
    ++gDestroyed;
    PostQuitMessage(0);
}

// Dispatches through the same pre-translation as the program's loop; true once WM_QUIT came.
bool Pump(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    bool quit = false;
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                continue;
            }
            if (PreTranslateMainWindowMessage(message))
                continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (milliseconds)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - start < milliseconds);
    return quit;
}

BOOL CALLBACK CountIntroWindow(HWND window, LPARAM count)
{
    wchar_t caption[32] = {};
    GetWindowTextW(window, caption, 32);
    if (IsWindowVisible(window) && std::wstring(caption) == L"程序介绍")
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        BindUiThread();
        CreateProfileReader();
        SetMainWindowDestroyHandler(CountDestruction);
    }

    void SetUp() override
    {
        SetSyncRunning(false);
        gDestroyed = 0;
        window_ = CreateMainWindow(GetModuleHandleW(nullptr));
        ASSERT_NE(window_, nullptr);
        SetForegroundWindow(window_);
        Pump(50);
    }

    void TearDown() override
    {
        SetSyncRunning(false);
        if (HWND intro = IntroWindow())
            DestroyWindow(intro);
        if (IsWindow(window_))
            DestroyWindow(window_);
        Pump(0);  // swallow the WM_QUIT of the destruction
    }

    HWND Item(int id) const { return GetDlgItem(window_, id); }
    UINT Dpi() const { return WindowDpi(window_); }

    // Presses a key on `control` as the keyboard would, through the program's loop.
    void PressKey(HWND control, WPARAM key)
    {
        SetFocus(control);
        PostMessageW(control, WM_KEYDOWN, key, 1);
        PostMessageW(control, WM_KEYUP, key, 0xC0000001);
        Pump(100);
    }

    HWND window_ = nullptr;
};

TEST_F(MainWindowTest, FrameIsFixedCentredAndOwnedByNobody)
{
    EXPECT_EQ(WindowText(window_), L"987Quenfold");
    const LONG style = GetWindowLongW(window_, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(GetWindowLongW(window_, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetWindow(window_, GW_OWNER), nullptr);
    EXPECT_TRUE(IsWindowVisible(window_));

    RECT outer;
    GetWindowRect(window_, &outer);
    const int width = ScaleForDpi(kMainWindowWidth, Dpi());
    const int height = ScaleForDpi(kMainWindowHeight, Dpi());
    EXPECT_EQ(outer.right - outer.left, width);
    EXPECT_EQ(outer.bottom - outer.top, height);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);

    EXPECT_EQ(GetClassLongPtrW(window_, GCLP_HBRBACKGROUND), static_cast<ULONG_PTR>(COLOR_BTNFACE + 1));
    EXPECT_NE(GetClassLongPtrW(window_, GCLP_HICON), 0u);
    EXPECT_NE(GetClassLongPtrW(window_, GCLP_HICONSM), 0u);

    // Every control fits inside the client area: nothing is clipped by the frame.
    RECT client;
    GetClientRect(window_, &client);
    for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const RECT at = ClientRectOf(child);
        EXPECT_LE(at.right, client.right) << GetDlgCtrlID(child);
        EXPECT_LE(at.bottom, client.bottom) << GetDlgCtrlID(child);
    }
}

TEST_F(MainWindowTest, ControlsStandFrontToBackAtTheirPlacesWithTheirContent)
{
    const HFONT guiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HWND child = GetWindow(window_, GW_CHILD);
    for (const ExpectedControl& e : kMainWindowControls) {
        ASSERT_NE(child, nullptr) << "missing control " << e.id;
        EXPECT_EQ(GetDlgCtrlID(child), e.id);
        EXPECT_EQ(ClassOf(child), e.className) << e.id;
        EXPECT_EQ(WindowText(child), e.text) << e.id;
        EXPECT_TRUE(IsWindowVisible(child)) << e.id;
        const RECT at = ClientRectOf(child);
        const RECT place = ScaledPlace(e.at96, Dpi());
        EXPECT_TRUE(EqualRect(&at, &place)) << e.id;
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)), guiFont) << e.id;
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr) << "a control beyond the table";
}

// Header text of a column, and whether it shows whole inside its header item and the list.
void ExpectHeaderInside(HWND list, int column, UINT dpi)
{
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    wchar_t text[64] = {};
    HDITEMW item{};
    item.mask = HDI_TEXT;
    item.pszText = text;
    item.cchTextMax = 64;
    SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&item));
    HDC dc = GetDC(header);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(header, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &size);
    SelectObject(dc, old);
    ReleaseDC(header, dc);
    RECT at{};
    SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&at));
    // The header leaves three edges' room beside the text on either side.
    EXPECT_LE(size.cx + 6 * GetSystemMetrics(SM_CXEDGE), at.right - at.left) << "column " << column << " at " << dpi;
    RECT client;
    GetClientRect(list, &client);
    EXPECT_LE(at.right, client.right) << "column " << column << " at " << dpi;
}

// What a window created at `dpi` has: the table's places, that DPI's font, scaled columns.
void ExpectLaidOutFor(HWND window, UINT dpi)
{
    for (const ExpectedControl& e : kMainWindowControls) {
        HWND control = GetDlgItem(window, e.id);
        const RECT at = ClientRectOf(control);
        const RECT expected = ScaledPlace(e.at96, dpi);
        EXPECT_TRUE(EqualRect(&at, &expected)) << e.id << " at " << dpi;
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), GuiFontForDpi(dpi))
            << e.id << " at " << dpi;
    }
    HWND list = GetDlgItem(window, IDC_DIRECTORY_LIST);
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(header, WM_GETFONT, 0, 0)), GuiFontForDpi(dpi)) << dpi;
    const int given[] = {40, 60, 150, 100};
    for (int column = 0; column < kDirectoryColumns; ++column) {
        EXPECT_GE(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0), ScaleForDpi(given[column], dpi))
            << "column " << column << " at " << dpi;
        ExpectHeaderInside(list, column, dpi);
    }
    // The unit "秒" shows beside the interval box, none of the label under it.
    HWND label = GetDlgItem(window, IDC_INTERVAL_LABEL);
    RECT box;
    GetWindowRect(GetDlgItem(window, IDC_INTERVAL_EDIT), &box);
    MapWindowPoints(nullptr, label, reinterpret_cast<POINT*>(&box), 2);
    RECT client;
    GetClientRect(label, &client);
    EXPECT_GT(test::DarkPixels(label, box.right, client.right), 5) << dpi;
    EXPECT_EQ(test::DarkPixels(label, box.left + 2, box.right - 2), 0) << dpi;
}

TEST_F(MainWindowTest, FontsAndColumnsFollowTheDpi)
{
    ExpectLaidOutFor(window_, Dpi());  // as created, at this prefix's DPI

    // Where the given widths hold their headers, they are kept exactly.
    HWND list = Item(IDC_DIRECTORY_LIST);
    const int given[] = {40, 60, 150, 100};
    for (int column = 0; column < kDirectoryColumns; ++column)
        EXPECT_EQ(DirectoryColumnWidth(column, Dpi(), 0), ScaleForDpi(given[column], Dpi()));

    std::vector<int> widthsAt96;
    for (UINT dpi : {120u, 144u, 192u, 96u, Dpi()}) {
        RECT suggested = CentredOnPrimaryScreen(kMainWindowWidth, kMainWindowHeight, dpi);
        SendMessageW(window_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        ExpectLaidOutFor(window_, dpi);
        if (dpi == 96) {
            for (int column = 0; column < kDirectoryColumns; ++column)
                widthsAt96.push_back(static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0)));
        }
    }
    // Back at the DPI it was created at, it is as it was created.
    ExpectLaidOutFor(window_, Dpi());
    if (Dpi() == 96) {
        for (int column = 0; column < kDirectoryColumns; ++column)
            EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0), widthsAt96[column]);
    }
}

TEST_F(MainWindowTest, ACutOffPathOrRemarkShowsWholeInATip)
{
    const std::wstring longPath = L"\\\\NAS-OFFICE\\共享文档\\2026年度\\财务报表\\月度汇总\\第四季度";
    const std::wstring longRemark = L"共享盘上的月度报表和季度汇总";
    DirectoryListView list = DirectoryList();
    ASSERT_EQ(list.hwnd(), Item(IDC_DIRECTORY_LIST));
    const int target = list.AppendRow();
    list.SetCellText(target, 1, L"目标目录");
    list.SetCellText(target, 2, L"D:\\备份");
    list.SetCellText(target, 3, L"每日");
    const int source = list.AppendRow();
    list.SetCellText(source, 1, L"源目录");
    list.SetCellText(source, 2, longPath);
    list.SetCellText(source, 3, longRemark);

    const auto cellCentre = [&](int row, int column) {
        RECT at{};
        at.top = column;
        at.left = LVIR_LABEL;
        SendMessageW(list.hwnd(), LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&at));
        return POINT{(at.left + at.right) / 2, (at.top + at.bottom) / 2};
    };
    EXPECT_EQ(CutCellText(list.hwnd(), cellCentre(source, 2)), longPath);
    EXPECT_EQ(CutCellText(list.hwnd(), cellCentre(source, 3)), longRemark);
    EXPECT_EQ(CutCellText(list.hwnd(), cellCentre(target, 2)), L"") << "a path that fits needs no tip";
    EXPECT_EQ(CutCellText(list.hwnd(), cellCentre(target, 1)), L"");
    EXPECT_EQ(list.CellText(source, 2), longPath);
    EXPECT_EQ(list.CellText(source, 3), longRemark);
}

TEST_F(MainWindowTest, ArrowKeysLeaveTheFocusOnAButton)
{
    for (int id : {IDC_START_BUTTON, IDC_SAVE_BUTTON}) {
        for (WPARAM key : {VK_RIGHT, VK_DOWN, VK_LEFT, VK_UP}) {
            PressKey(Item(id), key);
            EXPECT_EQ(GetFocus(), Item(id)) << id << " key " << key;
        }
    }
}

TEST_F(MainWindowTest, ControlStyles)
{
    HWND check = Item(IDC_AUTOSTART_CHECK);
    EXPECT_FALSE(IsWindowEnabled(check));
    EXPECT_EQ(GetWindowLongW(check, GWL_STYLE) & BS_TYPEMASK, BS_AUTOCHECKBOX);
    EXPECT_FALSE(GetWindowLongW(check, GWL_STYLE) & BS_LEFTTEXT);
    EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_UNCHECKED);

    for (int id : {IDC_SAVE_BUTTON, IDC_START_BUTTON}) {
        const LONG style = GetWindowLongW(Item(id), GWL_STYLE);
        EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON) << id;  // never a default button
        EXPECT_TRUE(style & WS_TABSTOP) << id;
    }

    HWND interval = Item(IDC_INTERVAL_EDIT);
    const LONG intervalStyle = GetWindowLongW(interval, GWL_STYLE);
    EXPECT_TRUE(intervalStyle & ES_CENTER);
    EXPECT_TRUE(intervalStyle & ES_AUTOHSCROLL);
    EXPECT_FALSE(intervalStyle & (ES_NUMBER | ES_MULTILINE | ES_NOHIDESEL | ES_READONLY));
    EXPECT_FALSE(GetWindowLongW(interval, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);  // thin border, not sunken
    EXPECT_GT(SendMessageW(interval, EM_GETLIMITTEXT, 0, 0), 30000);

    const LONG labelStyle = GetWindowLongW(Item(IDC_INTERVAL_LABEL), GWL_STYLE);
    EXPECT_TRUE(labelStyle & SS_NOPREFIX);
    EXPECT_TRUE(labelStyle & SS_CENTERIMAGE);
    EXPECT_EQ(labelStyle & SS_TYPEMASK, SS_LEFT);
    EXPECT_FALSE(labelStyle & WS_TABSTOP);
}

TEST_F(MainWindowTest, TabVisitsTheTabStopsInTableOrderAndSkipsTheDisabledCheckBox)
{
    const int order[] = {IDC_SAVE_BUTTON, IDC_INTERVAL_EDIT, IDC_DIRECTORY_LIST, IDC_LOG_EDIT, IDC_START_BUTTON,
                         IDC_SAVE_BUTTON};
    SetFocus(Item(order[0]));
    for (size_t i = 1; i < sizeof(order) / sizeof(order[0]); ++i) {
        PressKey(GetFocus(), VK_TAB);
        EXPECT_EQ(GetFocus(), Item(order[i])) << "step " << i;
    }
    // Shift+Tab goes back the same way.
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    PressKey(GetFocus(), VK_TAB);
    EXPECT_EQ(GetFocus(), Item(IDC_START_BUTTON));
    PressKey(GetFocus(), VK_TAB);
    EXPECT_EQ(GetFocus(), Item(IDC_LOG_EDIT));
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
}

TEST_F(MainWindowTest, EscapeClosesTheWindowFromEveryControl)
{
    for (int id : {IDC_INTERVAL_EDIT, IDC_DIRECTORY_LIST, IDC_LOG_EDIT, IDC_START_BUTTON}) {
        if (!IsWindow(window_)) {
            window_ = CreateMainWindow(GetModuleHandleW(nullptr));
            SetForegroundWindow(window_);
            Pump(50);
        }
        gDestroyed = 0;
        PressKey(Item(id), VK_ESCAPE);
        EXPECT_FALSE(IsWindow(window_)) << id;
        EXPECT_EQ(gDestroyed, 1) << id;
        EXPECT_EQ(MainWindow(), nullptr);
    }
}

TEST_F(MainWindowTest, EnterDoesNothing)
{
    for (int id : {IDC_START_BUTTON, IDC_SAVE_BUTTON, IDC_INTERVAL_EDIT, IDC_DIRECTORY_LIST}) {
        PressKey(Item(id), VK_RETURN);
        EXPECT_TRUE(IsWindow(window_)) << id;
        EXPECT_EQ(GetFocus(), Item(id)) << id;
    }
    EXPECT_EQ(WindowText(Item(IDC_START_BUTTON)), L"开  始");
    EXPECT_EQ(WindowText(Item(IDC_LOG_EDIT)), L"");
}

TEST_F(MainWindowTest, ColoursOfTheEditBoxesAndTheTransparentLabel)
{
    HDC dc = CreateCompatibleDC(nullptr);
    const auto ask = [&](UINT message, int id) {
        return reinterpret_cast<HBRUSH>(
            SendMessageW(window_, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(Item(id))));
    };
    EXPECT_EQ(ask(WM_CTLCOLOREDIT, IDC_INTERVAL_EDIT), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetTextColor(dc), RGB(255, 0, 0));
    EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255));

    EXPECT_EQ(ask(WM_CTLCOLORSTATIC, IDC_LOG_EDIT), GetStockObject(BLACK_BRUSH));
    EXPECT_EQ(GetTextColor(dc), RGB(255, 0, 0));
    EXPECT_EQ(GetBkColor(dc), RGB(0, 0, 0));

    EXPECT_EQ(ask(WM_CTLCOLORSTATIC, IDC_INTERVAL_LABEL), GetStockObject(NULL_BRUSH));
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    DeleteDC(dc);
}

TEST_F(MainWindowTest, MenuBarHoldsOnlyTheIntroduction)
{
    HMENU bar = GetMenu(window_);
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 1);
    wchar_t text[64] = {};
    GetMenuStringW(bar, 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"说明");
    HMENU explanation = GetSubMenu(bar, 0);
    ASSERT_NE(explanation, nullptr);
    ASSERT_EQ(GetMenuItemCount(explanation), 1);
    GetMenuStringW(explanation, 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"程序介绍");
    EXPECT_EQ(GetMenuItemID(explanation, 0), static_cast<UINT>(IDM_SHOW_INTRO));
    EXPECT_EQ(GetMenuState(explanation, 0, MF_BYPOSITION) & (MF_GRAYED | MF_CHECKED | MF_SEPARATOR), 0u);
}

TEST_F(MainWindowTest, ButtonsAndListAreWiredToTheirOperations)
{
    // An empty list refuses switching on; the refusal proves the click reached ToggleSync.
    PostMessageW(Item(IDC_START_BUTTON), BM_CLICK, 0, 0);
    Pump(100);
    EXPECT_EQ(WindowText(Item(IDC_LOG_EDIT)), L"提示: 请先添加目标目录\r\n");
    EXPECT_FALSE(IsSyncRunning());

    SetWindowTextW(Item(IDC_LOG_EDIT), L"");
    SetSyncRunning(true);
    NMHDR notice{Item(IDC_DIRECTORY_LIST), IDC_DIRECTORY_LIST, static_cast<UINT>(NM_RCLICK)};
    SendMessageW(window_, WM_NOTIFY, IDC_DIRECTORY_LIST, reinterpret_cast<LPARAM>(&notice));
    EXPECT_EQ(WindowText(Item(IDC_LOG_EDIT)), L"提示: 先关闭同步后,再进行操作\r\n");

    // Closing while synchronisation is on asks nothing and logs nothing.
    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(gDestroyed, 1);
}

TEST_F(MainWindowTest, IntroductionMenuItemOpensOneIntroWindow)
{
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDM_SHOW_INTRO, 0), 0);
    HWND intro = IntroWindow();
    ASSERT_NE(intro, nullptr);
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDM_SHOW_INTRO, 0), 0);
    EXPECT_EQ(IntroWindow(), intro);

    int introWindows = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountIntroWindow, reinterpret_cast<LPARAM>(&introWindows));
    EXPECT_EQ(introWindows, 1);

    // Esc in the introduction closes it alone.
    PressKey(intro, VK_ESCAPE);
    EXPECT_FALSE(IsWindow(intro));
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_EQ(gDestroyed, 0);
}

}  // namespace
}  // namespace qf
