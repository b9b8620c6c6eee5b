#include "tests/support/child_process.h"

#include "win/text.h"

namespace qf::test {

std::wstring ProgramPath(const char* builtPath)
{
    std::wstring path = WideFromBytes(builtPath, kCodePageUtf8);
    if (!path.empty() && path[0] == L'/') {
        for (wchar_t& c : path)
            if (c == L'/')
                c = L'\\';
        path = L"Z:" + path;
    }
    return path;
}

std::wstring UnixPath(const std::wstring& path)
{
    using ToUnix = char*(CDECL*)(const wchar_t*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = toUnix ? toUnix(path.c_str()) : nullptr;
    if (!name)
        return {};
    std::wstring text = WideFromBytes(name, kCodePageUtf8);
    HeapFree(GetProcessHeap(), 0, name);
    return text;
}

bool ChildProcess::Start(const std::wstring& program, const std::wstring& arguments,
                         const std::wstring& workingDirectory, DWORD creationFlags)
{
    Kill();
    std::wstring command = program.empty() ? arguments : L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.empty() ? nullptr : program.c_str(), &command[0], nullptr, nullptr, FALSE, creationFlags, nullptr,
                        workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup, &info))
        return false;
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    return true;
}

bool ChildProcess::Wait(DWORD milliseconds)
{
    return process_ && WaitForSingleObject(process_.get(), milliseconds) == WAIT_OBJECT_0;
}

void ChildProcess::Kill()
{
    if (process_ && WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_.get(), 9);
        WaitForSingleObject(process_.get(), 10000);
    }
    process_.reset();
}

DWORD ChildProcess::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (process_)
        GetExitCodeProcess(process_.get(), &code);
    return code;
}

}  // namespace qf::test
