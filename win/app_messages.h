#pragma once
// Private window messages, all numbered from WM_APP (WM_USER belongs to dialogs and controls).
#include <windows.h>

namespace qf {

// Sent to the user-interface thread's call window: lParam points at a std::function<void()>
// that the UI thread runs while the sender waits.
constexpr UINT WM_APP_UI_CALL = WM_APP + 1;

}  // namespace qf
