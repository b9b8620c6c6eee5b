#include "ui/interval_label.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace qf::test {

// Dark pixels in columns [from, to) of a rendering of `label`; the main window's tests use it too.
int DarkPixels(HWND label, int from, int to)
{
    RECT client;
    GetClientRect(label, &client);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageW(label, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    int dark = 0;
    for (int x = from; x < to && x < client.right; ++x)
        for (int y = 0; y < client.bottom; ++y)
            if (GetRValue(GetPixel(dc, x, y)) < 160)
                ++dark;
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return dark;
}

}  // namespace qf::test

namespace {

using qf::test::DarkPixels;

TEST(IntervalLabel, SplitsAtTheRunTheBoxCovers)
{
    const qf::LabelParts parts = qf::SplitAtSpaceRun(L"同步间隔：      秒");
    EXPECT_EQ(parts.lead, L"同步间隔：");
    EXPECT_EQ(parts.unit, L"秒");
    EXPECT_EQ(qf::SplitAtSpaceRun(L"a b").unit, L"");       // one space is no run
    EXPECT_EQ(qf::SplitAtSpaceRun(L"trailing  ").unit, L"");
    EXPECT_EQ(qf::SplitAtSpaceRun(L"").lead, L"");
    EXPECT_EQ(qf::UnitLeft(100, 95, 2), 100);  // wide spaces: where the text puts it
    EXPECT_EQ(qf::UnitLeft(80, 95, 2), 97);    // narrow spaces: just after the box
}

TEST(IntervalLabel, UnitIsDrawnBesideTheBoxNotUnderIt)
{
    HWND parent = CreateWindowExW(0, WC_STATICW, L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                  nullptr, nullptr);
    HWND label = CreateWindowExW(0, WC_STATICW, L"同步间隔：      秒", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                                 2, 51, 114, 32, parent, nullptr, nullptr, nullptr);
    HWND box = CreateWindowExW(0, WC_EDITW, L"600", WS_CHILD | WS_VISIBLE | WS_BORDER, 59, 57, 36, 22, parent,
                               nullptr, nullptr, nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    qf::KeepUnitBesideBox(label, box);
    // The box ends at x 95 of the parent, 93 of the label: the unit must show after it.
    EXPECT_GT(DarkPixels(label, 95, 114), 5);
    EXPECT_EQ(DarkPixels(label, 62, 93), 0) << "nothing is drawn where the box lies";
    EXPECT_GT(DarkPixels(label, 0, 50), 5);
    DestroyWindow(parent);
}

}  // namespace
