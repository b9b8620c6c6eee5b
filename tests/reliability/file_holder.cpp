#include "tests/reliability/file_holder.h"

#include "tests/support/scratch_tree.h"

#include <atomic>
#include <cstdio>

namespace qf::test {

namespace {

std::wstring UniqueName(const wchar_t* what)
{
    static std::atomic<int> counter{0};
    return std::wstring(L"qf-") + what + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++);
}

// Starts qf-hold-file with `arguments` and waits until it signals `ready`.
bool StartAndAwait(ChildProcess& child, const std::wstring& arguments, HANDLE ready)
{
    bool started = child.Start(ProgramPath(QF_HOLD_FILE_EXE),
                               arguments + L" " + std::to_wstring(GetCurrentProcessId()));
    if (started) {
        HANDLE waits[] = {ready, child.Handle()};
        started = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
    }
    if (!started)
        child.Kill();
    return started;
}

}  // namespace

bool FileHolder::Hold(const std::wstring& path, DWORD shareMode)
{
    std::wstring eventName = UniqueName(L"hold");
    KernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    return ready && StartAndAwait(child_,
                                  L"\"" + Extended(path) + L"\" " + std::to_wstring(shareMode) + L" " + eventName,
                                  ready.get());
}

bool RepeatedSaves::Start(const std::wstring& path)
{
    std::wstring readyName = UniqueName(L"saved");
    std::wstring stopName = UniqueName(L"stop");
    KernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
    stop_ = KernelHandle(CreateEventW(nullptr, TRUE, FALSE, stopName.c_str()));
    wchar_t temp[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    result_ = std::wstring(temp, length) + UniqueName(L"saves") + L".txt";
    return ready && stop_ &&
           StartAndAwait(child_,
                         L"--save \"" + Extended(path) + L"\" " + readyName + L" " + stopName + L" \"" + result_ + L"\"",
                         ready.get());
}

bool RepeatedSaves::Stop(Counts& counts)
{
    SetEvent(stop_.get());
    bool ended = child_.Wait(20000) && child_.ExitCode() == 0;
    FILE* result = _wfopen(result_.c_str(), L"r");
    ended = ended && result && std::fscanf(result, "%lu %lu %lu", &counts.saves, &counts.refusals, &counts.lastError) == 3;
    if (result)
        std::fclose(result);
    DeleteFileW(result_.c_str());
    return ended;
}

}  // namespace qf::test
