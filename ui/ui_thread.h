#pragma once
// The one path by which another thread gets work done on the user-interface thread.
// Every control is touched only by the UI thread; a worker that needs a cell, the interval
// text or a log line wraps the access in RunOnUiThread and waits for it:
//
//   std::wstring path;
//   RunOnUiThread([&] { path = DirectoryList().CellText(0, 2); });
#include <functional>

namespace qf {

// Makes the calling thread the user-interface thread (creates its hidden call window).
// Called once at start-up, and by tests that stand in for it.
void BindUiThread();

// True on the bound UI thread, and on any thread while none is bound.
bool IsUiThread();

// Runs `call` on the UI thread and returns once it has run. On the UI thread (or when none
// is bound) it runs at once. The UI thread carries it out between its other messages, also
// inside modal loops, so the calls of all threads run one at a time and in order.
void RunOnUiThread(const std::function<void()>& call);

}  // namespace qf
