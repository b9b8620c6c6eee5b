#include "tests/reliability/fault_support.h"

#include "sync/file_digest.h"
#include "sync/md5_hasher.h"

#include <algorithm>
#include <atomic>
#include <cwctype>

namespace qftest {

std::wstring Long(const std::wstring& path)
{
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    if (path.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

Scratch::Scratch(const std::wstring& parent)
{
    static std::atomic<int> counter{0};
    std::wstring base = parent;
    if (base.empty()) {
        wchar_t temp[MAX_PATH + 1];
        DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        base = std::wstring(temp, length);
    }
    if (base.back() != L'\\')
        base.push_back(L'\\');
    root_ = base + L"qf-fault-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
    RemoveAll(root_);
    CreateDirectoryW(Long(root_).c_str(), nullptr);
}

Scratch::~Scratch() { RemoveAll(root_); }

std::wstring Scratch::Path(const std::wstring& relative) const
{
    return relative.empty() ? root_ : root_ + L"\\" + relative;
}

void Scratch::Directory(const std::wstring& relative) const
{
    std::wstring path = Path(relative);
    for (std::size_t at = root_.size() + 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == L'\\')
            CreateDirectoryW(Long(path.substr(0, at)).c_str(), nullptr);
    }
}

bool Scratch::File(const std::wstring& relative, const std::string& content) const
{
    std::size_t slash = relative.rfind(L'\\');
    if (slash != std::wstring::npos)
        Directory(relative.substr(0, slash));
    return WriteContent(Path(relative), content);
}

bool WriteContent(const std::wstring& path, const std::string& content)
{
    SetFileAttributesW(Long(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    for (std::size_t at = 0; ok && at < content.size();) {
        DWORD piece = static_cast<DWORD>(std::min<std::size_t>(content.size() - at, 1 << 24));
        DWORD written = 0;
        ok = WriteFile(file, content.data() + at, piece, &written, nullptr) && written == piece;
        at += written;
    }
    CloseHandle(file);
    return ok;
}

std::string ReadContent(const std::wstring& path)
{
    HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<unreadable>";
    std::string content;
    std::vector<char> block(1 << 20);
    DWORD got = 0;
    while (ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &got, nullptr) && got > 0)
        content.append(block.data(), got);
    CloseHandle(file);
    return content;
}

bool PathPresent(const std::wstring& path)
{
    return GetFileAttributesW(Long(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(Long(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

unsigned long long WriteTicks(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(Long(path).c_str(), GetFileExInfoStandard, &data);
    return (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

bool SetWriteTicks(const std::wstring& path, unsigned long long ticks)
{
    HANDLE file = CreateFileW(Long(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    bool ok = SetFileTime(file, nullptr, nullptr, &time) != FALSE;
    CloseHandle(file);
    return ok;
}

void RemoveAll(const std::wstring& path)
{
    std::wstring extended = Long(path);
    DWORD attributes = GetFileAttributesW(extended.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(extended.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(extended.c_str());
        return;
    }
    // A link goes by itself; what it points to stays (a loop would otherwise never end).
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !RemoveDirectoryW(extended.c_str())) {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((extended + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = data.cFileName;
                if (name != L"." && name != L"..")
                    RemoveAll(path + L"\\" + name);
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
    }
    RemoveDirectoryW(extended.c_str());
}

std::string PatternContent(std::size_t size, unsigned seed)
{
    std::string content(size, '\0');
    unsigned long long state = 0x9E3779B97F4A7C15ull * (seed + 1);
    for (std::size_t at = 0; at < size; ++at) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        content[at] = static_cast<char>(state);
    }
    return content;
}

std::wstring Md5Of(const std::string& bytes)
{
    std::wstring text = qf::HashToHex(std::vector<unsigned char>(bytes.begin(), bytes.end()), 0x8003, 16);
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring Md5OfFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return L"<unreadable>";
    qf::Hasher hasher(qf::kAlgorithmMd5);
    hasher.Restart();
    std::vector<unsigned char> block(1 << 20);
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &got, nullptr) != FALSE) && got > 0)
        hasher.Update(block.data(), got);
    CloseHandle(file);
    std::vector<unsigned char> digest;
    if (!ok || !hasher.Finish(digest))
        return L"<unreadable>";
    return qf::HexText(digest.data(), digest.size(), false);
}

std::vector<std::wstring> Leftovers(const std::wstring& directory)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(Long(directory + L"\\.quenfold-*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(data.cFileName);
    while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

namespace {

// Under Wine a Unix symbolic link shows as a directory; Wine's CreateSymbolicLinkW claims
// success without making one, so the link is made by the system's own ln.
std::string UnixName(const std::wstring& path)
{
    using ToUnix = char*(CDECL*)(const wchar_t*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix)
        return {};
    char* name = toUnix(path.c_str());
    std::string text = name ? name : "";
    if (name)
        HeapFree(GetProcessHeap(), 0, name);
    return text;
}

std::wstring Utf8ToWide(const std::string& text)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length - 1 : 0, L'\0');
    if (length > 1)
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], length);
    return wide;
}

}  // namespace

bool DirectoryLink(const std::wstring& link, const std::wstring& target)
{
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(),
                            SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
        IsFolder(link))
        return true;
    std::string unixTarget = UnixName(target);
    std::string unixLink = UnixName(link);
    if (unixTarget.empty() || unixLink.empty())
        return false;
    std::wstring command = L"Z:\\bin\\ln -s \"" + Utf8ToWide(unixTarget) + L"\" \"" + Utf8ToWide(unixLink) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // A Unix process cannot be waited for through its handle: watch for the link instead.
    for (int tries = 0; tries < 500 && !IsFolder(link); ++tries)
        Sleep(10);
    return IsFolder(link);
}

std::wstring ProgramPath(const char* builtPath)
{
    std::wstring path = Utf8ToWide(builtPath);
    if (!path.empty() && path[0] == L'/') {
        for (wchar_t& c : path)
            if (c == L'/')
                c = L'\\';
        path = L"Z:" + path;
    }
    return path;
}

ChildProcess::~ChildProcess() { Kill(); }

bool ChildProcess::Start(const std::wstring& program, const std::wstring& arguments)
{
    Kill();
    std::wstring command = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    return true;
}

bool ChildProcess::Wait(DWORD milliseconds)
{
    return process_ && WaitForSingleObject(process_, milliseconds) == WAIT_OBJECT_0;
}

void ChildProcess::Kill()
{
    if (!process_)
        return;
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_, 9);
        WaitForSingleObject(process_, 10000);
    }
    CloseHandle(process_);
    process_ = nullptr;
}

DWORD ChildProcess::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (process_)
        GetExitCodeProcess(process_, &code);
    return code;
}

bool FileHolder::Hold(const std::wstring& path, DWORD shareMode)
{
    static std::atomic<int> counter{0};
    std::wstring eventName =
        L"qf-hold-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    if (!ready)
        return false;
    bool held = child_.Start(ProgramPath(QF_HOLD_FILE_EXE),
                             L"\"" + Long(path) + L"\" " + std::to_wstring(shareMode) + L" " + eventName);
    if (held) {
        HANDLE waits[] = {ready, child_.Handle()};
        held = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
    }
    CloseHandle(ready);
    if (!held)
        child_.Kill();
    return held;
}

}  // namespace qftest
