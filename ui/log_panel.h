#pragma once
// The log box 编辑框_日志: lines of label + ": " + message + "\r\n", appended from any thread.
#include <windows.h>

#include <string>

namespace qf {

// Creates the log box as a child of `parent` (read-only, multi-line, bordered, no scroll
// bars, the platform's maximum length) and makes it the box AppendLog writes to. A right
// button press over it runs ClearLog. Colours are the parent's (WM_CTLCOLORSTATIC).
HWND CreateLogBox(HWND parent, int controlId, const RECT& bounds);
HWND LogBox();

// For the parent's WM_CTLCOLORSTATIC when lParam is LogBox(): sets red text on black in
// `dc` and returns the (stock) black brush for the background.
HBRUSH LogBoxColours(HDC dc);

// Appends one whole line at the very end; callable from any thread, which waits until the
// line is in.
void AppendLog(const std::wstring& label, const std::wstring& message);

// Asks "是否清空日志信息?" and empties the log on Yes.
void ClearLog();

}  // namespace qf
