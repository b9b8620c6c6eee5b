#include "tests/reliability/file_holder.h"

#include "tests/support/scratch_tree.h"

#include <atomic>

namespace qf::test {

bool FileHolder::Hold(const std::wstring& path, DWORD shareMode)
{
    static std::atomic<int> counter{0};
    std::wstring eventName =
        L"qf-hold-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
    KernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    if (!ready)
        return false;
    bool held = child_.Start(ProgramPath(QF_HOLD_FILE_EXE),
                             L"\"" + Extended(path) + L"\" " + std::to_wstring(shareMode) + L" " + eventName);
    if (held) {
        HANDLE waits[] = {ready.get(), child_.Handle()};
        held = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
    }
    if (!held)
        child_.Kill();
    return held;
}

}  // namespace qf::test
