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

// Ends the binding: from then on RunOnUiThread refuses until a thread is bound again. For
// the UI thread's own end, and for tests.
void ReleaseUiThread();

// True on the bound UI thread only.
bool IsUiThread();

// Runs `call` on the UI thread and returns once it has run; on the UI thread it runs at once.
// The UI thread carries it out between its other messages, also inside modal loops, so the
// calls of all threads run one at a time and in order. False, without running `call`, when
// no UI thread is bound: a control is never touched from any other thread.
bool RunOnUiThread(const std::function<void()>& call);

}  // namespace qf
