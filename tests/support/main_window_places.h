#pragma once
// What the main window's controls should be, front to back (which is also the tab order):
// class, initial text and place at 96 DPI in client coordinates. Shared by the in-process
// window test and the end-to-end test of the real program.
#include <windows.h>

#include "ui/resource.h"

namespace qf::test {

struct ExpectedControl {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    RECT at96;
};

inline const ExpectedControl kMainWindowControls[] = {
    {IDC_AUTOSTART_CHECK, L"Button", L"开机自启", {8, 232, 88, 256}},
    {IDC_SAVE_BUTTON, L"Button", L"保存设置", {256, 232, 376, 256}},
    {IDC_INTERVAL_EDIT, L"Edit", L"600", {59, 57, 95, 79}},
    {IDC_DIRECTORY_LIST, L"SysListView32", L"", {8, 88, 376, 224}},
    {IDC_LOG_EDIT, L"Edit", L"", {126, 5, 376, 88}},
    {IDC_START_BUTTON, L"Button", L"开  始", {9, 10, 121, 44}},
    {IDC_INTERVAL_LABEL, L"Static", L"同步间隔：      秒", {2, 51, 116, 83}},
};

// `at96` at `dpi`: each edge and size scaled on its own, as the window places them.
inline RECT ScaledPlace(const RECT& at96, UINT dpi)
{
    const auto scale = [dpi](int value) { return MulDiv(value, static_cast<int>(dpi), 96); };
    const int left = scale(at96.left);
    const int top = scale(at96.top);
    return RECT{left, top, left + scale(at96.right - at96.left), top + scale(at96.bottom - at96.top)};
}

}  // namespace qf::test
