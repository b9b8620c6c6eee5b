#include "tests/support/scratch_tree.h"

#include "tests/support/child_process.h"
#include "win/unique_handle.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

namespace qf::test {

std::wstring Extended(const std::wstring& path)
{
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    if (path.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

namespace {

std::wstring Environment(const wchar_t* name)
{
    wchar_t value[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

}  // namespace

ScratchTree::ScratchTree(const std::wstring& parent)
{
    static std::atomic<int> counter{0};
    std::wstring base = parent.empty() ? Environment(L"QF_SCRATCH_ROOT") : parent;
    if (base.empty()) {
        wchar_t temp[MAX_PATH + 1];
        DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        base = std::wstring(temp, length);
    }
    if (base.back() != L'\\')
        base.push_back(L'\\');
    root_ = base + L"qf-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L"-" +
            std::to_wstring(GetTickCount64());
    RemoveTree(root_);
    CreateDirectoryW(Extended(root_).c_str(), nullptr);
}

ScratchTree::~ScratchTree() { RemoveTree(root_); }

std::wstring ScratchTree::Path(const std::wstring& relative) const
{
    return relative.empty() ? root_ : root_ + L"\\" + relative;
}

std::wstring ScratchTree::Directory(const std::wstring& relative) const
{
    std::wstring path = Path(relative);
    for (std::size_t at = root_.size() + 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == L'\\')
            CreateDirectoryW(Extended(path.substr(0, at)).c_str(), nullptr);
    }
    return path;
}

bool ScratchTree::File(const std::wstring& relative, const std::string& content) const
{
    std::size_t slash = relative.rfind(L'\\');
    if (slash != std::wstring::npos)
        Directory(relative.substr(0, slash));
    return WriteBytes(Path(relative), content);
}

bool WriteBytes(const std::wstring& path, const std::string& content)
{
    SetFileAttributesW(Extended(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    FileHandle file(CreateFileW(Extended(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    for (std::size_t at = 0; at < content.size();) {
        DWORD piece = static_cast<DWORD>(std::min<std::size_t>(content.size() - at, 1 << 24));
        DWORD written = 0;
        if (!WriteFile(file.get(), content.data() + at, piece, &written, nullptr) || written != piece)
            return false;
        at += written;
    }
    return true;
}

std::string ReadBytes(const std::wstring& path)
{
    FileHandle file(CreateFileW(Extended(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    if (!file)
        return "<unreadable>";
    std::string content;
    std::vector<char> block(1 << 20);
    DWORD got = 0;
    while (ReadFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr) && got > 0)
        content.append(block.data(), got);
    return content;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(Extended(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectoryPath(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(Extended(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

unsigned long long WriteTicks(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(Extended(path).c_str(), GetFileExInfoStandard, &data);
    return (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

// exfat-fuse writes a file's time once more when the last handle of an earlier write has gone,
// which may be after this call: set it again until it stays (or the storage rounds it).
bool SetWriteTicks(const std::wstring& path, unsigned long long ticks)
{
    for (int tries = 0; tries < 10; ++tries) {
        {
            FileHandle file(CreateFileW(Extended(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
            // Both times: exFAT's driver drops a call that leaves the access time unchanged.
            FILETIME now;
            GetSystemTimeAsFileTime(&now);
            if (!file || !SetFileTime(file.get(), nullptr, &now, &time))
                return false;
        }
        const unsigned long long kept = WriteTicks(path);
        if (std::max(kept, ticks) - std::min(kept, ticks) <= 20000000)  // FAT keeps 2 s steps
            return true;
        Sleep(50);
    }
    return false;
}

namespace {

std::vector<std::wstring> Names(const std::wstring& pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileW(Extended(pattern).c_str(), &data));
    if (!find)
        return names;
    do {
        std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find.get(), &data));
    return names;
}

// Under Wine a Unix symbolic link shows as a directory; Wine can neither make nor remove one
// (CreateSymbolicLinkW claims success without making anything), so the system's ln and rm do.
bool RunUnixUntil(const std::wstring& command, const std::vector<std::wstring>& paths, bool (*done)(const std::wstring&))
{
    std::vector<std::wstring> unixPaths;
    for (const std::wstring& path : paths) {
        unixPaths.push_back(UnixPath(path));
        if (unixPaths.back().empty())
            return false;
    }
    std::wstring line = L"Z:\\bin\\" + command;
    for (const std::wstring& path : unixPaths)
        line += L" \"" + path + L"\"";
    ChildProcess unixProgram;
    if (!unixProgram.Start(L"", line))
        return false;
    // A Unix process cannot be waited for through its handle: watch for its effect instead.
    for (int tries = 0; tries < 500 && !done(paths.back()); ++tries)
        Sleep(10);
    return done(paths.back());
}

}  // namespace

void RemoveTree(const std::wstring& path)
{
    std::wstring extended = Extended(path);
    DWORD attributes = GetFileAttributesW(extended.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(extended.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(extended.c_str());
        return;
    }
    // A link goes by itself; what it points to stays (a loop would otherwise never end).
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (!RemoveDirectoryW(extended.c_str()) || Exists(path))
            RunUnixUntil(L"rm -f", {path}, [](const std::wstring& link) { return !Exists(link); });
        return;
    }
    if (!RemoveDirectoryW(extended.c_str())) {
        for (const std::wstring& name : Names(path + L"\\*"))
            RemoveTree(path + L"\\" + name);
    }
    RemoveDirectoryW(extended.c_str());
}

std::vector<std::wstring> TemporaryLeftovers(const std::wstring& directory)
{
    return Names(directory + L"\\.quenfold-*");
}

bool ReadOnlyIsEnforced(const std::wstring& scratchDirectory)
{
    std::wstring probe = scratchDirectory + L"\\read-only-probe";
    WriteBytes(probe, "x");
    SetFileAttributesW(Extended(probe).c_str(), FILE_ATTRIBUTE_READONLY);
    bool enforced =
        !FileHandle(CreateFileW(Extended(probe).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    RemoveTree(probe);
    return enforced;
}

std::wstring StorageKind() { return Environment(L"QF_STORAGE"); }

bool SlowStorage() { return StorageKind() == L"fat32" || StorageKind() == L"smb"; }

std::wstring SourceView(const std::wstring& path)
{
    const std::wstring root = Environment(L"QF_SCRATCH_ROOT");
    const std::wstring view = Environment(L"QF_SCRATCH_VIEW");
    if (root.empty() || view.empty() || path.size() < root.size() ||
        CompareStringOrdinal(path.c_str(), static_cast<int>(root.size()), root.c_str(), -1, TRUE) != CSTR_EQUAL)
        return path;
    return view + path.substr(root.size());
}

bool KeepsAttributes(const std::wstring& directory, DWORD attributes)
{
    const std::wstring probe = directory + L"\\attribute-probe.txt";
    WriteBytes(probe, "x");
    SetFileAttributesW(Extended(probe).c_str(), attributes);
    const DWORD kept = GetFileAttributesW(Extended(probe).c_str());
    RemoveTree(probe);
    return kept != INVALID_FILE_ATTRIBUTES && (kept & attributes) == attributes;
}

bool TakesNamesOutsideAscii(const std::wstring& directory)
{
    const std::wstring probe = directory + L"\\\u540d\u5b57-probe.txt";
    const bool taken = WriteBytes(probe, "x") && Exists(probe);
    RemoveTree(probe);
    return taken;
}

bool MakeDirectoryLink(const std::wstring& link, const std::wstring& target)
{
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(),
                            SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
        IsDirectoryPath(link))
        return true;
    return RunUnixUntil(L"ln -s", {target, link}, IsDirectoryPath);
}

bool MakeFileLink(const std::wstring& link, const std::wstring& target)
{
    auto made = [](const std::wstring& path) { return Exists(path) && !IsDirectoryPath(path); };
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) && made(link))
        return true;
    return RunUnixUntil(L"ln -s", {target, link}, made);
}

}  // namespace qf::test
