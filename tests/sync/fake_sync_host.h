#pragma once
// A SyncHost that stands in for the main window: rows and interval set by the test, every
// log line and caption recorded with the thread and time it came from. Workers call it from
// their own threads, so everything is under one lock; the hooks run outside it, on the
// calling thread, and may call back into the host (e.g. ToggleSync from inside a pass).
#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sync/scheduler.h"

namespace qf::test {

struct LoggedLine {
    DWORD thread;
    ULONGLONG tick;
    std::wstring text;  // label + ": " + message
};

class FakeSyncHost : public SyncHost {
public:
    // Workers may still be returning from their last call when a test ends, so hosts are
    // never destroyed.
    static FakeSyncHost& Make(std::vector<std::wstring> rows, std::wstring interval);

    std::wstring IntervalText() override;
    int RowCount() override;
    std::wstring PathOf(int row) override;
    void Log(const std::wstring& label, const std::wstring& message) override;
    void SetStartCaption(const std::wstring& caption) override;

    // Test side.
    void SetRow(int row, const std::wstring& path);
    void SetInterval(const std::wstring& text);
    std::vector<LoggedLine> Lines() const;
    std::vector<std::wstring> Texts() const;
    std::vector<std::wstring> Captions() const;
    std::vector<int> CellReads() const;  // rows whose path was read, in order
    int MostPassesAtOnce() const;
    // Waits until `done` holds for the lines so far; false after `timeoutMs`.
    bool WaitUntil(const std::function<bool(const std::vector<LoggedLine>&)>& done, DWORD timeoutMs = 10000);
    bool WaitForLine(const std::wstring& text, int times = 1, DWORD timeoutMs = 10000);

    std::function<void(const std::wstring& line)> onLog;
    std::function<void(int row)> onPathOf;
    std::function<void()> onIntervalText;

private:
    FakeSyncHost() = default;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::wstring> rows_;
    std::wstring interval_;
    std::vector<LoggedLine> lines_;
    std::vector<std::wstring> captions_;
    std::vector<int> cellReads_;
    int passesNow_ = 0;
    int passesMost_ = 0;
};

// ToggleSync as the start button runs it; the host's row count reads made inside it are
// not taken for the start of a pass.
void Toggle(SyncHost& host);

// Lines that count `text`.
int CountOf(const std::vector<LoggedLine>& lines, const std::wstring& text);

}  // namespace qf::test
