#pragma once
// Support for the fault and load tests: a scratch directory, files by extended-length path,
// digests to check that a file is whole, and other processes that copy or lock files while a
// test watches them.
#include <windows.h>

#include <string>
#include <vector>

namespace qftest {

std::wstring Long(const std::wstring& path);  // "C:\x" -> "\\?\C:\x"

// A fresh directory under `parent` (the temporary directory when empty), removed with all
// its content when the object goes.
class Scratch {
public:
    explicit Scratch(const std::wstring& parent = L"");
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::wstring Path(const std::wstring& relative = L"") const;
    void Directory(const std::wstring& relative) const;  // every missing level
    bool File(const std::wstring& relative, const std::string& content) const;

private:
    std::wstring root_;
};

bool WriteContent(const std::wstring& path, const std::string& content);
std::string ReadContent(const std::wstring& path);  // "<unreadable>" when it cannot be opened
bool PathPresent(const std::wstring& path);
bool IsFolder(const std::wstring& path);
unsigned long long WriteTicks(const std::wstring& path);
bool SetWriteTicks(const std::wstring& path, unsigned long long ticks);
void RemoveAll(const std::wstring& path);

// Deterministic content of `size` bytes that differs for every seed.
std::string PatternContent(std::size_t size, unsigned seed);
// MD5 of bytes or of a file, as the engine writes it; independent of the engine's reader.
std::wstring Md5Of(const std::string& bytes);
std::wstring Md5OfFile(const std::wstring& path);

// The engine's temporary files in a directory (names only).
std::vector<std::wstring> Leftovers(const std::wstring& directory);

// A directory symbolic link; false when the platform refuses (checked by looking at it).
bool DirectoryLink(const std::wstring& link, const std::wstring& target);

// Windows path of a program built beside the tests (the build passes Unix paths under Wine).
std::wstring ProgramPath(const char* builtPath);

// Another process, ended with TerminateProcess when the object goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::wstring& program, const std::wstring& arguments);
    // True when it ended by itself within `milliseconds`.
    bool Wait(DWORD milliseconds);
    void Kill();
    DWORD ExitCode() const;
    HANDLE Handle() const { return process_; }

private:
    HANDLE process_ = nullptr;
};

// Holds `path` open for reading and writing in another process with the given share mode,
// until Release or the end of the object. False when the file could not be taken.
class FileHolder {
public:
    bool Hold(const std::wstring& path, DWORD shareMode);
    void Release() { child_.Kill(); }

private:
    ChildProcess child_;
};

}  // namespace qftest
