#include "tests/support/reference_pass.h"

#include "sync/directory_listing.h"
#include "sync/directory_pass.h"
#include "win/unique_handle.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <utility>

namespace qf::test {
namespace {

struct Entry {
    std::wstring name;
    bool directory = false;
    unsigned long long size = 0;
};

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool List(const std::wstring& directory, std::vector<Entry>& entries)
{
    entries.clear();
    WIN32_FIND_DATAW found;
    FindHandle find(FindFirstFileExW((directory + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, 0));
    if (!find)
        return false;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                               (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow});
    } while (FindNextFileW(find.get(), &found));
    return GetLastError() == ERROR_NO_MORE_FILES;
}

// The entry answering to `name` as Windows would find it: the exact spelling first.
bool Find(const std::vector<Entry>& entries, const std::wstring& name, Entry& found)
{
    auto exact = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.name == name; });
    if (exact == entries.end())
        exact = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return SameName(e.name, name); });
    if (exact == entries.end())
        return false;
    found = *exact;
    return true;
}

bool ReadWhole(const std::wstring& path, std::string& content)
{
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return false;
    content.clear();
    char block[65536];
    DWORD read = 0;
    while (ReadFile(file.get(), block, sizeof block, &read, nullptr)) {
        if (read == 0)
            return true;
        content.append(block, read);
    }
    return false;
}

// A copy that replaces the name, never what a link under it points to.
bool Copy(const std::string& content, const std::wstring& directory, const std::wstring& name)
{
    const std::wstring temporary = directory + L"\\.reference.tmp";
    {
        FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        if (!file || (!content.empty() && (!WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()),
                                                      &written, nullptr) ||
                                           written != content.size())))
            return false;
    }
    if (MoveFileExW(temporary.c_str(), (directory + L"\\" + name).c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    DeleteFileW(temporary.c_str());
    return false;
}

using Identity = std::pair<DWORD, unsigned long long>;

// The directory's own identity, whatever link led to it.
Identity RealIdentity(const std::wstring& directory)
{
    FileHandle handle(CreateFileW(directory.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handle || !GetFileInformationByHandle(handle.get(), &info))
        return {0, 0};
    return {info.dwVolumeSerialNumber, (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

class Reference {
public:
    ReferenceFailures failures;

    void Level(const std::wstring& source, const std::wstring& target, std::size_t depth)
    {
        if (depth > kDeepestLevel) {
            failures.directories.push_back(source);
            return;
        }
        // A pair of directories already on the way would find everything as the earlier level
        // left it; a target met again under another source would take that source's files
        // over the earlier level's.
        const std::pair<Identity, Identity> identity{RealIdentity(source), RealIdentity(target)};
        if (std::find(way_.begin(), way_.end(), identity) != way_.end())
            return;
        if (std::any_of(way_.begin(), way_.end(), [&](const auto& earlier) { return earlier.second == identity.second; })) {
            failures.directories.push_back(target);
            return;
        }
        std::vector<Entry> sources;
        std::vector<Entry> targets;
        if (!List(target, targets)) {
            failures.directories.push_back(target);
            return;
        }
        if (!List(source, sources)) {
            failures.directories.push_back(source);
            return;
        }
        for (const Entry& entry : sources)
            if (!entry.directory)
                File(source, target, sources, targets, entry.name);
        way_.push_back(identity);
        // Sub-directories in one order whatever the listing's: case ignored first, then exact.
        std::sort(sources.begin(), sources.end(),
                  [](const Entry& a, const Entry& b) { return NameOrderLess(a.name, b.name); });
        Entry existing;
        const Entry* previous = nullptr;  // the directory before, whose twins are not entered
        for (const Entry& entry : sources) {
            if (!entry.directory)
                continue;
            const bool twin = previous && SameName(previous->name, entry.name);
            if (!twin)
                previous = &entry;
            if (!Find(targets, entry.name, existing) || !existing.directory)
                continue;
            if (twin)
                failures.directories.push_back(source + L"\\" + entry.name);
            else
                Level(source + L"\\" + entry.name, target + L"\\" + existing.name, depth + 1);
        }
        way_.pop_back();
    }

private:
    // `targets` is the target's listing as it is now, the copies made so far included.
    void File(const std::wstring& source, const std::wstring& target, const std::vector<Entry>& sources,
              std::vector<Entry>& targets, const std::wstring& name)
    {
        const std::wstring sourceFile = source + L"\\" + name;
        for (const Entry& other : sources)
            if (!other.directory && other.name != name && SameName(other.name, name) &&
                std::wcscmp(other.name.c_str(), name.c_str()) < 0) {
                failures.files.push_back(sourceFile);
                return;
            }
        Entry existing;
        const bool exists = Find(targets, name, existing);
        // Two files listed empty hold the same content, known without reading either.
        const auto listed = std::find_if(sources.begin(), sources.end(), [&](const Entry& e) { return e.name == name; });
        if (exists && !existing.directory && existing.size == 0 && listed != sources.end() && listed->size == 0)
            return;
        std::string content;
        if ((exists && existing.directory) || !ReadWhole(sourceFile, content)) {
            failures.files.push_back(sourceFile);
            return;
        }
        std::string old;
        if (exists && ReadWhole(target + L"\\" + existing.name, old) && old == content)
            return;
        if (!Copy(content, target, exists ? existing.name : name))
            failures.files.push_back(sourceFile);
        else if (!exists)
            List(target, targets);
    }

    std::vector<std::pair<Identity, Identity>> way_;
};

std::wstring Trimmed(std::wstring path)
{
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return path;
}

}  // namespace

ReferenceFailures ReferencePass(const std::wstring& source, const std::wstring& target)
{
    Reference reference;
    CreateDirectoryW(target.c_str(), nullptr);
    reference.Level(Trimmed(source), Trimmed(target), 0);
    return reference.failures;
}

}  // namespace qf::test
