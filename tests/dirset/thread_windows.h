#pragma once
// Finding the windows that an operation under test opens on this thread, from the helper
// thread that answers them.
#include <windows.h>

#include <string>

namespace qf::testing {

// The first visible top-level window of `thread` with class `className` (and `caption`, when
// given), waiting up to `timeoutMs`; null when none showed up.
HWND WaitForThreadWindow(DWORD thread, const wchar_t* className, const wchar_t* caption = nullptr,
                         DWORD timeoutMs = 15000);

std::wstring WindowText(HWND window);

// True when some descendant of `parent` shows exactly `text`.
bool HasChildWithText(HWND parent, const std::wstring& text);

}  // namespace qf::testing
