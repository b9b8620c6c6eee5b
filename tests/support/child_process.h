#pragma once
// Other processes a test starts: the engine's own tools, or a Unix program under Wine.
#include "win/unique_handle.h"

#include <windows.h>

#include <string>

namespace qf::test {

// Windows path of a program built beside the tests (the build passes Unix paths under Wine).
std::wstring ProgramPath(const char* builtPath);
// The Unix name of a path under Wine; empty text elsewhere.
std::wstring UnixPath(const std::wstring& path);

// Another process, ended with TerminateProcess when the object goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Kill(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // With an empty `program`, `arguments` is the whole command line.
    bool Start(const std::wstring& program, const std::wstring& arguments,
               const std::wstring& workingDirectory = L"", DWORD creationFlags = 0);
    // True when it ended by itself within `milliseconds`.
    bool Wait(DWORD milliseconds);
    void Kill();
    DWORD ExitCode() const;
    DWORD Id() const { return process_ ? GetProcessId(process_.get()) : 0; }
    HANDLE Handle() const { return process_.get(); }

private:
    KernelHandle process_;
};

}  // namespace qf::test
