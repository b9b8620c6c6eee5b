#pragma once
// A scratch directory for one test, removed with everything under it when the test ends,
// and small helpers to write, read and inspect files by wide (extended-length) paths.
#include <windows.h>

#include <string>
#include <vector>

namespace qftest {

std::wstring Extended(const std::wstring& path);  // "C:\x" -> "\\?\C:\x"

class TestTree {
public:
    TestTree();
    ~TestTree();
    TestTree(const TestTree&) = delete;
    TestTree& operator=(const TestTree&) = delete;

    // Plain full path under the scratch root, e.g. Path(L"src\\a.txt").
    std::wstring Path(const std::wstring& relative = L"") const;
    void Directory(const std::wstring& relative) const;
    void File(const std::wstring& relative, const std::string& content) const;

private:
    std::wstring root_;
};

// Helpers by full path; all accept paths longer than 260 characters.
bool WriteBytes(const std::wstring& path, const std::string& content);
std::string ReadBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
bool IsDirectoryPath(const std::wstring& path);
FILETIME LastWriteTime(const std::wstring& path);
bool SetLastWriteTime(const std::wstring& path, unsigned long long ticks);
unsigned long long Ticks(const FILETIME& time);
// Names in a directory that the engine's temporary files use.
std::vector<std::wstring> TemporaryLeftovers(const std::wstring& directory);
void RemoveTree(const std::wstring& path);
bool ReadOnlyIsEnforced(const std::wstring& scratchDirectory);
// A directory symbolic link at `link` pointing to `target`; false when the platform refuses.
bool MakeDirectoryLink(const std::wstring& link, const std::wstring& target);

}  // namespace qftest
