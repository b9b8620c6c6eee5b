// The real quenfold.exe, started in a fresh folder and driven from this second process through
// its own windows: context menu, folder browser, remark prompt, message box, buttons, list
// cells, log text and the files synchronised on disk.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/main_window_places.h"
#include "tests/support/scratch_tree.h"
#include "tests/support/window_driver.h"
#include "ui/dialog_ids.h"
#include "ui/resource.h"

namespace qf::test {
namespace {

constexpr DWORD kShortWait = 15000;
constexpr DWORD kPassWait = 30000;
const wchar_t kCaption[] = L"987Quenfold";

std::wstring ModuleDirectory()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path);
    return text.substr(0, text.find_last_of(L'\\'));
}

std::vector<std::wstring> Lines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    for (size_t from = 0; from < text.size();) {
        const size_t end = text.find(L"\r\n", from);
        if (end == std::wstring::npos) {
            lines.push_back(text.substr(from) + L"<no line end>");
            break;
        }
        lines.push_back(text.substr(from, end - from));
        from = end + 2;
    }
    return lines;
}

// A folder of its own for each test, with the program copied in, so that 配置.ini lands there.
// Under the long form of the temporary path, as the program shows the folders it is given.
std::wstring LongTempPath()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    wchar_t longTemp[MAX_PATH] = {};
    GetLongPathNameW(temp, longTemp, MAX_PATH);
    return longTemp;
}

class Sandbox {
public:
    Sandbox() { CopyFileW((ModuleDirectory() + L"\\quenfold.exe").c_str(), Exe().c_str(), FALSE); }

    std::wstring Path(const std::wstring& relative) const { return tree_.Path(relative); }
    std::wstring AppDir() const { return tree_.Directory(L"程序"); }
    std::wstring Exe() const { return AppDir() + L"\\quenfold.exe"; }
    std::wstring Settings() const { return AppDir() + L"\\配置.ini"; }

private:
    ScratchTree tree_{LongTempPath()};
};

// One running copy of the program; ended by force if a test leaves it running.
class App {
public:
    explicit App(const Sandbox& sandbox)
    {
        // Started from the sandbox root, not the program's folder: the settings file must
        // follow the program, not the working directory.
        if (!process_.Start(sandbox.Exe(), L"", sandbox.Path(L"")))
            return;
        WaitForInputIdle(Process(), kShortWait);
        main_ = WaitForProcessWindow(Pid(), nullptr, kCaption, kShortWait);
    }

    HWND Main() const { return main_; }
    HWND Item(int id) const { return GetDlgItem(main_, id); }
    HANDLE Process() const { return process_.Handle(); }
    DWORD Pid() const { return GetProcessId(Process()); }
    std::wstring Log() const { return WindowText(Item(IDC_LOG_EDIT)); }
    int Rows() const { return ListRowCount(Item(IDC_DIRECTORY_LIST)); }
    std::wstring Cell(int row, int column) const
    {
        return ListCellText(Process(), Item(IDC_DIRECTORY_LIST), row, column);
    }

    // The exit code once the process has ended, or -1 if it does not end in time.
    long ExitCode(DWORD milliseconds = kShortWait)
    {
        return process_.Wait(milliseconds) ? static_cast<long>(process_.ExitCode()) : -1;
    }

    bool LogHas(const std::wstring& line, DWORD milliseconds = kShortWait) const
    {
        return WaitFor([&] { return Log().find(line + L"\r\n") != std::wstring::npos; }, milliseconds);
    }

    HWND Menu(DWORD milliseconds = 3000) const
    {
        return WaitForProcessWindow(Pid(), L"#32768", nullptr, milliseconds);
    }

    // A right click in the list, `fromBottom` pixels above its bottom edge (or on the first
    // row when negative), with the real mouse.
    void RightClickList(int fromBottom) const
    {
        HWND list = Item(IDC_DIRECTORY_LIST);
        RECT at;
        GetWindowRect(list, &at);
        POINT point{at.left + 60, at.bottom - fromBottom};
        if (fromBottom < 0) {
            RECT header{};
            GetWindowRect(FindDescendant(list, WC_HEADERW), &header);
            point.y = header.bottom + 8;
        }
        SetForegroundWindow(main_);
        ClickAt(point, true);
    }

    // Chooses the only item of an open pop-up menu with a left click in its middle.
    static void ClickOnlyMenuItem(HWND menu) { ClickCentre(menu, false); }

    // Chooses the last of `count` items of an open pop-up menu: a click a little above the
    // middle of the bottom item, clear of the menu's lower border.
    static void ClickLastMenuItem(HWND menu, int count)
    {
        RECT at;
        GetWindowRect(menu, &at);
        const int itemHeight = (at.bottom - at.top) / count;
        ClickAt(POINT{at.left + 20, at.bottom - itemHeight / 2 - 2}, false);
    }

    HWND FolderBrowser() const
    {
        HWND found = nullptr;
        WaitFor(
            [&] {
                for (HWND w : ProcessWindows(Pid(), L"#32770", nullptr)) {
                    if (FindDescendant(w, WC_TREEVIEWW)) {
                        found = w;
                        return true;
                    }
                }
                return false;
            },
            kShortWait);
        return found;
    }

    // Adds a row the way a user does: a right click `fromBottom` pixels above the list's
    // bottom edge, the one item the menu offers there, then the folder and the remark.
    void AddThroughTheMenu(int fromBottom, const std::wstring& folder, const std::wstring& remark) const
    {
        RightClickList(fromBottom);
        HWND menu = Menu();
        ASSERT_NE(menu, nullptr) << "no context menu";
        ClickOnlyMenuItem(menu);
        AnswerFolderAndRemark(folder, remark);
    }

    // The row's cells; the path is compared ignoring case, as the folder browser may spell it.
    void ExpectRow(int row, const wchar_t* number, const wchar_t* role, const std::wstring& path,
                   const wchar_t* remark) const
    {
        EXPECT_EQ(Cell(row, 0), number);
        EXPECT_EQ(Cell(row, 1), role);
        EXPECT_EQ(_wcsicmp(Cell(row, 2).c_str(), path.c_str()), 0) << Cell(row, 2).c_str();
        EXPECT_EQ(Cell(row, 3), remark);
    }

    // Answers the folder browser with `folder` and the remark prompt with `remark`.
    void AnswerFolderAndRemark(const std::wstring& folder, const std::wstring& remark) const
    {
        HWND browser = FolderBrowser();
        ASSERT_NE(browser, nullptr) << "no folder browser";
        const std::wstring name = folder.substr(folder.find_last_of(L'\\') + 1);
        ASSERT_EQ(SelectInFolderBrowser(Process(), browser, folder), name);
        PostMessageW(GetDlgItem(browser, IDOK), BM_CLICK, 0, 0);

        HWND prompt = WaitForProcessWindow(Pid(), L"#32770", L"提示", kShortWait);
        ASSERT_NE(prompt, nullptr) << "no remark prompt";
        ASSERT_TRUE(SetText(GetDlgItem(prompt, IDC_ASK_TEXT_EDIT), remark));
        PostMessageW(GetDlgItem(prompt, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(prompt); }, kShortWait));
    }

private:
    ChildProcess process_;
    HWND main_ = nullptr;
};

UINT DpiOf(HWND window)
{
    using Fn = UINT(WINAPI*)(HWND);
    static const Fn forWindow =
        reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    const UINT dpi = forWindow ? forWindow(window) : 0;
    return dpi ? dpi : 96;
}

int Scaled(int pixels, UINT dpi)
{
    return MulDiv(pixels, static_cast<int>(dpi), 96);
}

TEST(EndToEnd, AddSaveRestartSynchroniseAndClose)
{
    Sandbox sandbox;
    const std::wstring target = sandbox.Path(L"备份目标");
    const std::wstring source = sandbox.Path(L"源文件夹");
    for (const std::wstring& dir : {target, source, target + L"\\子目录", source + L"\\子目录", source + L"\\仅源有"})
        CreateDirectoryW(dir.c_str(), nullptr);
    WriteBytes(source + L"\\新文件.txt", "new in the source");
    WriteBytes(source + L"\\changed.txt", "the source's version");
    WriteBytes(target + L"\\changed.txt", "the target's old version");
    WriteBytes(source + L"\\same.txt", "equal on both sides");
    WriteBytes(target + L"\\same.txt", "equal on both sides");
    WriteBytes(target + L"\\only-in-target.txt", "never deleted");
    WriteBytes(source + L"\\子目录\\inner.txt", "inside a directory both sides have");
    WriteBytes(source + L"\\仅源有\\skipped.txt", "the target has no such directory");

    {
        App app(sandbox);
        ASSERT_NE(app.Main(), nullptr) << "main window not found";
        EXPECT_EQ(app.Rows(), 0);

        // Target, through the real context menu: an empty list offers one item.
        app.AddThroughTheMenu(40, target, L"备份盘");
        ASSERT_TRUE(app.LogHas(L"提示: 添加目标目录成功"));
        ASSERT_EQ(app.Rows(), 1);
        app.ExpectRow(0, L"1", L"目标目录", target, L"备份盘");

        // Source: a click below the last row offers "添加源目录".
        app.AddThroughTheMenu(20, source, L"");
        ASSERT_TRUE(app.LogHas(L"提示: 添加源目录成功"));
        ASSERT_EQ(app.Rows(), 2);
        app.ExpectRow(1, L"2", L"源目录", source, L"");

        // Deleting the target while a source exists is refused with a message box.
        app.RightClickList(-1);
        HWND menu = app.Menu();
        ASSERT_NE(menu, nullptr) << "no row menu";
        App::ClickLastMenuItem(menu, 3);  // 删除目录
        HWND box = WaitForProcessWindow(app.Pid(), L"#32770", L"信息：", kShortWait);
        ASSERT_NE(box, nullptr) << "no message box";
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, kShortWait));
        EXPECT_EQ(app.Rows(), 2);

        PostMessageW(app.Item(IDC_SAVE_BUTTON), BM_CLICK, 0, 0);
        ASSERT_TRUE(app.LogHas(L"提示: 保存设置完成"));
        EXPECT_TRUE(Exists(sandbox.Settings()));

        PostMessageW(app.Main(), WM_CLOSE, 0, 0);  // the close box
        EXPECT_EQ(app.ExitCode(), 0);
    }

    App app(sandbox);
    ASSERT_NE(app.Main(), nullptr) << "main window not found after the restart";
    ASSERT_TRUE(WaitFor([&] { return app.Rows() == 2; }, kShortWait)) << "rows not loaded";
    EXPECT_EQ(app.Cell(0, 3), L"备份盘");
    EXPECT_EQ(_wcsicmp(app.Cell(1, 2).c_str(), source.c_str()), 0);
    EXPECT_EQ(WindowText(app.Item(IDC_INTERVAL_EDIT)), L"600");
    const size_t logStart = app.Log().size();

    ASSERT_TRUE(SetText(app.Item(IDC_INTERVAL_EDIT), L"1"));
    PostMessageW(app.Item(IDC_START_BUTTON), BM_CLICK, 0, 0);
    ASSERT_TRUE(app.LogHas(L"同步次数: 1", kPassWait));
    EXPECT_EQ(WindowText(app.Item(IDC_START_BUTTON)), L"关  闭");
    EXPECT_EQ(ReadBytes(target + L"\\新文件.txt"), "new in the source");
    EXPECT_EQ(ReadBytes(target + L"\\changed.txt"), "the source's version");
    EXPECT_EQ(ReadBytes(target + L"\\same.txt"), "equal on both sides");
    EXPECT_EQ(ReadBytes(target + L"\\only-in-target.txt"), "never deleted");
    EXPECT_EQ(ReadBytes(target + L"\\子目录\\inner.txt"), "inside a directory both sides have");
    EXPECT_FALSE(Exists(target + L"\\仅源有"));

    // No menu while synchronisation runs, only the refusal. The log is read through a message
    // the program answers only once the click's handler is done or inside a menu's own loop,
    // so a menu shown with the refusal would be open by the time the line is read.
    app.RightClickList(20);
    ASSERT_TRUE(app.LogHas(L"提示: 先关闭同步后,再进行操作"));
    EXPECT_EQ(app.Menu(0), nullptr);

    // A change made now arrives with a later pass.
    WriteBytes(source + L"\\changed.txt", "changed again while running");
    WriteBytes(source + L"\\later.txt", "added while running");
    ASSERT_TRUE(app.LogHas(L"同步次数: 3", kPassWait));
    EXPECT_EQ(ReadBytes(target + L"\\changed.txt"), "changed again while running");
    EXPECT_EQ(ReadBytes(target + L"\\later.txt"), "added while running");

    PostMessageW(app.Item(IDC_START_BUTTON), BM_CLICK, 0, 0);
    ASSERT_TRUE(app.LogHas(L"提示: -", kPassWait));
    EXPECT_EQ(WindowText(app.Item(IDC_START_BUTTON)), L"开  始");

    const std::vector<std::wstring> lines = Lines(app.Log().substr(logStart));
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], L"提示: 1 秒后开始执行第一次同步");
    EXPECT_EQ(lines[1], L"提示: +");
    EXPECT_EQ(lines[2], L"提示: 同步开始");
    EXPECT_EQ(lines[3], L"同步次数: 1");
    EXPECT_EQ(lines.back(), L"提示: -");
    // A pass under way when switching off still ends with its count line.
    int expectedPass = 1;
    int offLines = 0;
    for (size_t i = 3; i + 1 < lines.size(); ++i) {
        if (lines[i] == L"提示: 先关闭同步后,再进行操作")
            continue;
        if (lines[i] == L"提示: 关闭同步") {
            ++offLines;
            continue;
        }
        EXPECT_EQ(lines[i], L"同步次数: " + std::to_wstring(expectedPass)) << "line " << i;
        ++expectedPass;
    }
    EXPECT_EQ(offLines, 1);

    // Esc, with the focus on a control, closes the window and ends the program.
    HWND interval = app.Item(IDC_INTERVAL_EDIT);
    PostMessageW(interval, WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_EQ(app.ExitCode(), 0);
}

TEST(EndToEnd, WindowLayoutAndOneIntroWindow)
{
    Sandbox sandbox;
    App app(sandbox);
    ASSERT_NE(app.Main(), nullptr);
    const UINT dpi = DpiOf(app.Main());

    RECT outer;
    GetWindowRect(app.Main(), &outer);
    EXPECT_EQ(outer.right - outer.left, Scaled(386, dpi));
    EXPECT_EQ(outer.bottom - outer.top, Scaled(312, dpi));
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);
    EXPECT_FALSE(GetWindowLongW(app.Main(), GWL_STYLE) & (WS_MAXIMIZEBOX | WS_THICKFRAME));

    for (const ExpectedControl& e : kMainWindowControls) {
        HWND control = app.Item(e.id);
        ASSERT_NE(control, nullptr) << e.id;
        const RECT at = ClientRectOf(control);
        const RECT expected = ScaledPlace(e.at96, dpi);
        EXPECT_TRUE(EqualRect(&at, &expected)) << e.id;
    }

    // "程序介绍" twice leaves one introduction window; Esc closes it and only it.
    PostMessageW(app.Main(), WM_COMMAND, MAKEWPARAM(IDM_SHOW_INTRO, 0), 0);
    HWND intro = WaitForProcessWindow(app.Pid(), nullptr, L"程序介绍", kShortWait);
    ASSERT_NE(intro, nullptr);
    DWORD_PTR handled = 0;  // sent, so it returns once the command has been carried out
    ASSERT_TRUE(SendMessageTimeoutW(app.Main(), WM_COMMAND, MAKEWPARAM(IDM_SHOW_INTRO, 0), 0, SMTO_ABORTIFHUNG,
                                    kShortWait, &handled));
    EXPECT_EQ(ProcessWindows(app.Pid(), nullptr, L"程序介绍").size(), 1u);
    EXPECT_EQ(GetWindow(intro, GW_OWNER), nullptr);
    PostMessageW(intro, WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(intro); }, kShortWait));
    EXPECT_TRUE(IsWindow(app.Main()));

    // Closing the main window with the introduction open ends the program.
    PostMessageW(app.Main(), WM_COMMAND, MAKEWPARAM(IDM_SHOW_INTRO, 0), 0);
    ASSERT_NE(WaitForProcessWindow(app.Pid(), nullptr, L"程序介绍", kShortWait), nullptr);
    PostMessageW(app.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.ExitCode(), 0);
}

}  // namespace
}  // namespace qf::test
