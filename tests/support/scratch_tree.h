#pragma once
// A scratch directory for one test, removed with everything under it when the test ends, and
// helpers to write, read and inspect files by full path. Every helper takes paths longer than
// 260 characters, and every handle it opens is closed on every way out.
//
//   qf::test::ScratchTree tree;
//   tree.File(L"src\\a.txt", "content");
//   qf::DirectoryPass(tree.Path(L"src"), tree.Directory(L"dst"));
//   EXPECT_EQ(qf::test::ReadBytes(tree.Path(L"dst\\a.txt")), "content");
#include <windows.h>

#include <string>
#include <vector>

namespace qf::test {

std::wstring Extended(const std::wstring& path);  // "C:\x" -> "\\?\C:\x"

class ScratchTree {
public:
    // A fresh directory under `parent`; when that is empty, under the storage a harness names in
    // QF_SCRATCH_ROOT, else under the temporary directory.
    explicit ScratchTree(const std::wstring& parent = L"");
    ~ScratchTree();
    ScratchTree(const ScratchTree&) = delete;
    ScratchTree& operator=(const ScratchTree&) = delete;

    // Plain full path under the scratch root, e.g. Path(L"src\\a.txt").
    std::wstring Path(const std::wstring& relative = L"") const;
    // Creates every missing level; returns the directory's path.
    std::wstring Directory(const std::wstring& relative) const;
    bool File(const std::wstring& relative, const std::string& content) const;

private:
    std::wstring root_;
};

bool WriteBytes(const std::wstring& path, const std::string& content);
std::string ReadBytes(const std::wstring& path);  // "<unreadable>" when it cannot be opened
bool Exists(const std::wstring& path);
bool IsDirectoryPath(const std::wstring& path);
unsigned long long WriteTicks(const std::wstring& path);
bool SetWriteTicks(const std::wstring& path, unsigned long long ticks);
void RemoveTree(const std::wstring& path);

// The engine's temporary files in a directory (names only).
std::vector<std::wstring> TemporaryLeftovers(const std::wstring& directory);
// False where writes to read-only files succeed (Wine run as root).
bool ReadOnlyIsEnforced(const std::wstring& scratchDirectory);
// The storage the tests run on, as tools/reliability/with-storage.sh names it in QF_STORAGE
// ("ntfs", "exfat", "fat32", "smb", "reverse", ...); empty on the plain temporary directory.
std::wstring StorageKind();
// True on the storages that write only a few MiB a second (fusefat, the file server through
// smbnetfs), where the cases with large files use smaller ones.
bool SlowStorage();
// `path` as a pass should read it as its source: where the harness gives a read-only view of
// the scratch root (QF_SCRATCH_VIEW), the same place seen through that view; else `path`.
std::wstring SourceView(const std::wstring& path);
// Whether the storage under `directory` keeps these attributes on a file, and takes a name
// outside ASCII; each makes and removes a probe file there.
bool KeepsAttributes(const std::wstring& directory, DWORD attributes);
bool TakesNamesOutsideAscii(const std::wstring& directory);
// A directory symbolic link at `link` pointing to `target`; false when the platform refuses.
bool MakeDirectoryLink(const std::wstring& link, const std::wstring& target);
// A file symbolic link at `link` pointing to the existing file `target`; false when the
// platform refuses.
bool MakeFileLink(const std::wstring& link, const std::wstring& target);

}  // namespace qf::test
