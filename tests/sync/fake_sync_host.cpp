#include "tests/sync/fake_sync_host.h"

#include <algorithm>
#include <chrono>

namespace qf::test {
namespace {

thread_local bool tInToggle = false;

}  // namespace

FakeSyncHost& FakeSyncHost::Make(std::vector<std::wstring> rows, std::wstring interval)
{
    auto* host = new FakeSyncHost;
    host->rows_ = std::move(rows);
    host->interval_ = std::move(interval);
    return *host;
}

std::wstring FakeSyncHost::IntervalText()
{
    if (onIntervalText)
        onIntervalText();
    std::lock_guard<std::mutex> lock(mutex_);
    return interval_;
}

int FakeSyncHost::RowCount()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!tInToggle) {
        passesMost_ = std::max(passesMost_, ++passesNow_);
    }
    return static_cast<int>(rows_.size());
}

std::wstring FakeSyncHost::PathOf(int row)
{
    if (onPathOf)
        onPathOf(row);
    std::lock_guard<std::mutex> lock(mutex_);
    cellReads_.push_back(row);
    return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<size_t>(row)] : std::wstring();
}

void FakeSyncHost::Log(const std::wstring& label, const std::wstring& message)
{
    const std::wstring text = label + L": " + message;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (label == L"同步次数")
            --passesNow_;
        lines_.push_back({GetCurrentThreadId(), GetTickCount64(), text});
    }
    changed_.notify_all();
    if (onLog)
        onLog(text);
}

void FakeSyncHost::SetStartCaption(const std::wstring& caption)
{
    std::lock_guard<std::mutex> lock(mutex_);
    captions_.push_back(caption);
}

void FakeSyncHost::SetRow(int row, const std::wstring& path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    rows_.at(static_cast<size_t>(row)) = path;
}

void FakeSyncHost::SetInterval(const std::wstring& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    interval_ = text;
}

std::vector<LoggedLine> FakeSyncHost::Lines() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

std::vector<std::wstring> FakeSyncHost::Texts() const
{
    std::vector<std::wstring> texts;
    for (const LoggedLine& line : Lines())
        texts.push_back(line.text);
    return texts;
}

std::vector<std::wstring> FakeSyncHost::Captions() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return captions_;
}

std::vector<int> FakeSyncHost::CellReads() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return cellReads_;
}

int FakeSyncHost::MostPassesAtOnce() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return passesMost_;
}

bool FakeSyncHost::WaitUntil(const std::function<bool(const std::vector<LoggedLine>&)>& done, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done(lines_); });
}

bool FakeSyncHost::WaitForLine(const std::wstring& text, int times, DWORD timeoutMs)
{
    return WaitUntil([&](const std::vector<LoggedLine>& lines) { return CountOf(lines, text) >= times; }, timeoutMs);
}

void Toggle(SyncHost& host)
{
    const bool outer = tInToggle;
    tInToggle = true;
    ToggleSync(host);
    tInToggle = outer;
}

int CountOf(const std::vector<LoggedLine>& lines, const std::wstring& text)
{
    return static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [&](const LoggedLine& line) { return line.text == text; }));
}

}  // namespace qf::test
