#pragma once
// The text of a window or control, whatever its length.
#include <windows.h>

#include <string>

namespace qf {

std::wstring WindowText(HWND window);

}  // namespace qf
