#include "ui/dialogs.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "tests/support/window_driver.h"
#include "ui/dialog_ids.h"
#include "ui/dpi.h"
#include "ui/ui_thread.h"

namespace {

using qf::test::DialogAnswerer;

constexpr wchar_t kDefaultCaption[] = L"信息：";
constexpr wchar_t kRemarkPrompt[] = L"请输入备注信息,留空可不填写!!\r\n点击取消可退出";
constexpr int kMessageTextId = 0xFFFF;

// A visible top-level window of the test thread, standing in for the main window.
class HostWindow {
public:
    HostWindow() : window_(qf::test::CreateTestWindow(L"QfDialogsTestHost", 10, 10, 300, 200)) {}
    ~HostWindow() { DestroyWindow(window_); }
    HWND get() const { return window_; }

private:
    HWND window_ = nullptr;
};

TEST(ShowMessageBox, AnswersWithTheProgramsCodesUnderTheDefaultCaption)
{
    struct Case {
        const char* name;
        UINT type;
        std::function<void(HWND)> press;
        int expected;
    };
    const std::vector<Case> cases = {
        {"OK", MB_OK, [](HWND box) { qf::test::PressButton(box, IDOK); }, qf::kAnswerOk},
        {"Esc on OK", MB_OK, [](HWND box) { qf::test::PressKey(box, VK_ESCAPE); }, qf::kAnswerOk},
        {"close box on OK", MB_OK, [](HWND box) { qf::test::PressCloseBox(box); }, qf::kAnswerOk},
        {"Yes", MB_YESNO, [](HWND box) { qf::test::PressButton(box, IDYES); }, qf::kAnswerYes},
        {"No", MB_YESNO, [](HWND box) { qf::test::PressButton(box, IDNO); }, qf::kAnswerNo},
        {"Cancel", MB_OKCANCEL, [](HWND box) { qf::test::PressButton(box, IDCANCEL); }, qf::kAnswerCancel},
        {"Retry", MB_RETRYCANCEL, [](HWND box) { qf::test::PressButton(box, IDRETRY); }, qf::kAnswerRetry},
    };
    for (const Case& c : cases) {
        std::wstring shownText;
        DialogAnswerer answer(kDefaultCaption, [&](HWND box) {
            shownText = qf::test::ItemText(box, kMessageTextId);
            c.press(box);
        });
        EXPECT_EQ(qf::ShowMessageBox(L"已达上限", c.type), c.expected) << c.name;
        EXPECT_TRUE(answer.Found()) << c.name;
        EXPECT_EQ(shownText, L"已达上限") << c.name;
    }
}

// Opens a dialog beside a window of the program: the window must be disabled while the
// dialog is open and enabled again once it is answered with `button`.
template <class Open>
void ExpectTaskModal(const wchar_t* caption, int button, Open open)
{
    HostWindow host;
    bool hostEnabledMeanwhile = true;
    DialogAnswerer answer(caption, [&](HWND dialog) {
        hostEnabledMeanwhile = IsWindowEnabled(host.get()) != FALSE;
        qf::test::PressButton(dialog, button);
    });
    open();
    EXPECT_TRUE(answer.Found());
    EXPECT_FALSE(hostEnabledMeanwhile);
    EXPECT_TRUE(IsWindowEnabled(host.get()));
}

TEST(ShowMessageBox, IsTaskModalWithoutOwnerAndKeepsAGivenCaption)
{
    ExpectTaskModal(L"别的标题", IDOK,
                    [] { EXPECT_EQ(qf::ShowMessageBox(L"x", MB_OK, L"别的标题"), qf::kAnswerOk); });
}

struct PromptSeen {
    std::wstring prompt;
    std::wstring edit;
    DWORD selStart = 99, selEnd = 99;
    bool editHasFocus = false;
};

PromptSeen Look(HWND dialog)
{
    PromptSeen seen;
    seen.prompt = qf::test::ItemText(dialog, IDC_ASK_TEXT_PROMPT);
    HWND edit = GetDlgItem(dialog, IDC_ASK_TEXT_EDIT);
    seen.edit = qf::test::WindowText(edit);
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&seen.selStart), reinterpret_cast<LPARAM>(&seen.selEnd));
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
    seen.editHasFocus = info.hwndFocus == edit;
    return seen;
}

TEST(AskText, ConfirmsTypedTextWithEnterAfterShowingTheInitialTextSelected)
{
    PromptSeen seen;
    DialogAnswerer answer(L"提示", [&](HWND dialog) {
        seen = Look(dialog);
        qf::test::SetItemText(dialog, IDC_ASK_TEXT_EDIT, L"新的 备注");
        qf::test::PressKey(dialog, VK_RETURN);
    });
    std::wstring text = L"old";
    EXPECT_TRUE(qf::AskText(kRemarkPrompt, text, L"提示", L"初始"));
    EXPECT_TRUE(answer.Found());
    EXPECT_EQ(text, L"新的 备注");
    EXPECT_EQ(seen.prompt, kRemarkPrompt);
    EXPECT_EQ(seen.edit, L"初始");
    EXPECT_EQ(seen.selStart, 0u);
    EXPECT_EQ(seen.selEnd, 2u);
    EXPECT_TRUE(seen.editHasFocus);
}

TEST(AskText, ConfirmsAnEmptyBoxWithTheButtonUnderTheDefaultTitle)
{
    DialogAnswerer answer(L"请输入：", [](HWND dialog) {
        qf::test::SetItemText(dialog, IDC_ASK_TEXT_EDIT, L"");
        qf::test::PressButton(dialog, IDOK);
    });
    std::wstring text = L"old";
    EXPECT_TRUE(qf::AskText(L"?", text, nullptr, L"x"));
    EXPECT_TRUE(answer.Found());
    EXPECT_EQ(text, L"");
}

TEST(AskText, CancelButtonEscAndCloseBoxLeaveTheTextAlone)
{
    const std::vector<std::function<void(HWND)>> cancels = {
        [](HWND dialog) { qf::test::PressButton(dialog, IDCANCEL); },
        [](HWND dialog) { qf::test::PressKey(dialog, VK_ESCAPE); },
        [](HWND dialog) { qf::test::PressCloseBox(dialog); },
    };
    for (size_t i = 0; i < cancels.size(); ++i) {
        DialogAnswerer answer(L"提示", [&](HWND dialog) {
            qf::test::SetItemText(dialog, IDC_ASK_TEXT_EDIT, L"typed");
            cancels[i](dialog);
        });
        std::wstring text = L"kept";
        EXPECT_FALSE(qf::AskText(kRemarkPrompt, text, L"提示")) << i;
        EXPECT_TRUE(answer.Found()) << i;
        EXPECT_EQ(text, L"kept") << i;
    }
}

TEST(AskText, KeepsTheProgramsOtherWindowsDisabledWhileOpen)
{
    ExpectTaskModal(L"请输入：", IDCANCEL, [] {
        std::wstring text;
        EXPECT_FALSE(qf::AskText(L"?", text));
    });
}

// Rows of the prompt control's own drawing that hold any ink, in text lines of the font.
std::vector<bool> InkedTextLines(HWND prompt)
{
    RECT client{};
    GetClientRect(prompt, &client);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    ReleaseDC(nullptr, screen);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    SendMessageW(prompt, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);

    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(prompt, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, oldFont);

    const COLORREF background = GetPixel(dc, client.right - 1, client.bottom - 1);
    std::vector<bool> inked(static_cast<size_t>(client.bottom / metrics.tmHeight + 1), false);
    for (int y = 0; y < client.bottom; ++y) {
        for (int x = 0; x < client.right; ++x) {
            if (GetPixel(dc, x, y) != background)
                inked[static_cast<size_t>(y / metrics.tmHeight)] = true;
        }
    }
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return inked;
}

TEST(AskText, DrawsTheTwoLinePromptOnTwoLinesInTheTemplatesLayout)
{
    qf::BindUiThread();  // the answerer inspects the dialog on its own thread
    struct Item {
        int id;
        RECT units;
    };
    const std::vector<Item> items = {
        {IDC_ASK_TEXT_FRAME, {7, 7, 238, 35}}, {IDC_ASK_TEXT_PROMPT, {12, 11, 229, 27}},
        {IDC_ASK_TEXT_EDIT, {7, 45, 238, 12}}, {IDOK, {63, 66, 55, 19}},
        {IDCANCEL, {134, 66, 55, 19}},
    };
    std::vector<bool> inked;
    std::vector<std::pair<RECT, RECT>> placed;  // expected (left, top, width, height), actual
    RECT dialogExpected{0, 0, 252, 92}, dialogActual{};
    LOGFONTW font{};
    std::wstring confirm, cancel;
    RECT outer{};
    // Moved to a monitor of twice the scale: 宋体 9 pt of that scale, places doubled.
    const UINT movedDpi = 2 * qf::SystemDpi();
    LOGFONTW movedFont{}, madeFont{};
    std::vector<std::pair<RECT, RECT>> moved;  // before, after
    std::vector<HFONT> movedFonts;
    DialogAnswerer answer(L"提示", [&](HWND dialog) {
        confirm = qf::test::ItemText(dialog, IDOK);
        cancel = qf::test::ItemText(dialog, IDCANCEL);
        qf::RunOnUiThread([&] {
            inked = InkedTextLines(GetDlgItem(dialog, IDC_ASK_TEXT_PROMPT));
            MapDialogRect(dialog, &dialogExpected);
            GetClientRect(dialog, &dialogActual);
            GetWindowRect(dialog, &outer);
            GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
            for (const Item& item : items) {
                RECT expected = item.units;  // left, top, width, height: each mapped on its own
                MapDialogRect(dialog, &expected);
                RECT actual{};
                HWND control = GetDlgItem(dialog, item.id);
                GetWindowRect(control, &actual);
                MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
                placed.emplace_back(expected, actual);
            }
            GetObjectW(qf::DialogFontForDpi(qf::SystemDpi()), sizeof madeFont, &madeFont);
            RECT suggested{outer.left, outer.top, outer.left + 2 * (outer.right - outer.left),
                           outer.top + 2 * (outer.bottom - outer.top)};
            SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(movedDpi, movedDpi), reinterpret_cast<LPARAM>(&suggested));
            GetObjectW(qf::DialogFontForDpi(movedDpi), sizeof movedFont, &movedFont);
            for (size_t i = 0; i < items.size(); ++i) {
                HWND control = GetDlgItem(dialog, items[i].id);
                RECT actual{};
                GetWindowRect(control, &actual);
                MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
                moved.emplace_back(placed[i].second, actual);
                movedFonts.push_back(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
            }
        });
        qf::test::PressButton(dialog, IDCANCEL);
    });
    std::wstring text;
    qf::AskText(kRemarkPrompt, text, L"提示");
    ASSERT_TRUE(answer.Found());

    ASSERT_GE(inked.size(), 3u);
    EXPECT_TRUE(inked[0]);
    EXPECT_TRUE(inked[1]);
    for (size_t line = 2; line < inked.size(); ++line)
        EXPECT_FALSE(inked[line]) << "ink on text line " << line;

    EXPECT_EQ(std::wstring(font.lfFaceName), L"宋体");
    EXPECT_EQ(madeFont.lfHeight, font.lfHeight) << "the font of a DPI is the template's font at that DPI";
    EXPECT_EQ(movedFont.lfHeight, -MulDiv(9, static_cast<int>(movedDpi), 72));
    EXPECT_EQ(std::wstring(movedFont.lfFaceName), L"宋体");
    ASSERT_EQ(moved.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(movedFonts[i], qf::DialogFontForDpi(movedDpi)) << items[i].id;
        EXPECT_EQ(moved[i].second.left, 2 * moved[i].first.left) << items[i].id;
        EXPECT_EQ(moved[i].second.top, 2 * moved[i].first.top) << items[i].id;
        EXPECT_EQ(moved[i].second.right - moved[i].second.left, 2 * (moved[i].first.right - moved[i].first.left))
            << items[i].id;
    }
    EXPECT_EQ(confirm, L"确认输入(&O)");
    EXPECT_EQ(cancel, L"取消(&C)");
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR((outer.left + outer.right) / 2, (work.left + work.right) / 2, 1);
    EXPECT_NEAR((outer.top + outer.bottom) / 2, (work.top + work.bottom) / 2, 1);
    EXPECT_EQ(dialogActual.right, dialogExpected.right);
    EXPECT_EQ(dialogActual.bottom, dialogExpected.bottom);
    ASSERT_EQ(placed.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(placed[i].second.left, placed[i].first.left) << items[i].id;
        EXPECT_EQ(placed[i].second.top, placed[i].first.top) << items[i].id;
        EXPECT_EQ(placed[i].second.right - placed[i].second.left, placed[i].first.right) << items[i].id;
        EXPECT_EQ(placed[i].second.bottom - placed[i].second.top, placed[i].first.bottom) << items[i].id;
    }
}

}  // namespace
