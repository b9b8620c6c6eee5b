#include "tests/sync/test_tree.h"

#include <atomic>
#include <cwchar>

namespace qftest {

namespace {
void RemoveDirectoryLink(const std::wstring& link);
}

std::wstring Extended(const std::wstring& path)
{
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    if (path.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

TestTree::TestTree()
{
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    root_ = std::wstring(temp, length) + L"qf-engine-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(counter++) + L"-" + std::to_wstring(GetTickCount64());
    RemoveTree(root_);
    CreateDirectoryW(Extended(root_).c_str(), nullptr);
}

TestTree::~TestTree() { RemoveTree(root_); }

std::wstring TestTree::Path(const std::wstring& relative) const
{
    return relative.empty() ? root_ : root_ + L"\\" + relative;
}

void TestTree::Directory(const std::wstring& relative) const
{
    // Each level in turn, so deep trees need no other helper.
    std::wstring path = Path(relative);
    for (std::size_t at = root_.size() + 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == L'\\')
            CreateDirectoryW(Extended(path.substr(0, at)).c_str(), nullptr);
    }
}

void TestTree::File(const std::wstring& relative, const std::string& content) const
{
    std::size_t slash = relative.rfind(L'\\');
    if (slash != std::wstring::npos)
        Directory(relative.substr(0, slash));
    WriteBytes(Path(relative), content);
}

bool WriteBytes(const std::wstring& path, const std::string& content)
{
    SetFileAttributesW(Extended(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileW(Extended(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = content.empty() ||
              (WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
               written == content.size());
    CloseHandle(file);
    return ok;
}

std::string ReadBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(Extended(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<unreadable>";
    std::string content;
    char block[65536];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof block, &got, nullptr) && got > 0)
        content.append(block, got);
    CloseHandle(file);
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

unsigned long long Ticks(const FILETIME& time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME LastWriteTime(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(Extended(path).c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

bool SetLastWriteTime(const std::wstring& path, unsigned long long ticks)
{
    HANDLE file = CreateFileW(Extended(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    bool ok = SetFileTime(file, nullptr, nullptr, &time) != FALSE;
    CloseHandle(file);
    return ok;
}

std::vector<std::wstring> TemporaryLeftovers(const std::wstring& directory)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(Extended(directory + L"\\.quenfold-*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(data.cFileName);
    while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

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
    // A link is removed itself; what it points to is left alone.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveDirectoryLink(path);
        return;
    }
    if (!RemoveDirectoryW(extended.c_str())) {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((extended + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = data.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                RemoveTree(path + L"\\" + name);
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
    }
    RemoveDirectoryW(extended.c_str());
}

bool ReadOnlyIsEnforced(const std::wstring& scratchDirectory)
{
    // Under Wine run as root, writes to read-only files succeed, unlike on Windows.
    std::wstring probe = scratchDirectory + L"\\read-only-probe";
    WriteBytes(probe, "x");
    SetFileAttributesW(Extended(probe).c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE file = CreateFileW(Extended(probe).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    bool enforced = file == INVALID_HANDLE_VALUE;
    if (!enforced)
        CloseHandle(file);
    RemoveTree(probe);
    return enforced;
}

namespace {

// Under Wine, Unix symbolic links show as directories; Wine can neither make nor remove them,
// so the system's own ln and rm do it. Empty text where this is not Wine.
std::wstring UnixPath(const std::wstring& path)
{
    using UnixName = char*(CDECL*)(const wchar_t*);
    auto toUnix = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = toUnix ? toUnix(path.c_str()) : nullptr;
    std::wstring text;
    if (name) {
        int length = MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0);
        text.resize(length > 0 ? length - 1 : 0);
        MultiByteToWideChar(CP_UTF8, 0, name, -1, &text[0], length);
        HeapFree(GetProcessHeap(), 0, name);
    }
    return text;
}

// Runs a Unix program, then waits until `done` holds: a Unix process cannot be waited for
// through its handle.
template <typename Done>
void RunUnix(std::wstring command, Done done)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int tries = 0; tries < 500 && !done(); ++tries)
        Sleep(10);
}

void RemoveDirectoryLink(const std::wstring& link)
{
    if (RemoveDirectoryW(Extended(link).c_str()) && !Exists(link))
        return;
    std::wstring unixLink = UnixPath(link);
    if (!unixLink.empty())
        RunUnix(L"Z:\\bin\\rm -f \"" + unixLink + L"\"", [&] { return !Exists(link); });
}

}  // namespace

bool MakeDirectoryLink(const std::wstring& link, const std::wstring& target)
{
    // Wine's CreateSymbolicLinkW reports success without making anything.
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(),
                            SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
        IsDirectoryPath(link))
        return true;
    std::wstring unixLink = UnixPath(link);
    std::wstring unixTarget = UnixPath(target);
    if (unixLink.empty() || unixTarget.empty())
        return false;
    RunUnix(L"Z:\\bin\\ln -s \"" + unixTarget + L"\" \"" + unixLink + L"\"", [&] { return IsDirectoryPath(link); });
    return IsDirectoryPath(link);
}

}  // namespace qftest
