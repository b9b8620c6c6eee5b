#include "sync/safe_copy.h"

#include "win/unique_handle.h"

#include <bcrypt.h>

#include <atomic>
#include <memory>
#include <new>
#include <vector>

namespace qf {
namespace {

const wchar_t kPrefix[] = L".quenfold-";
const wchar_t kSuffix[] = L".tmp";
constexpr std::size_t kPrefixLength = 10;
constexpr std::size_t kDigits = 16;
constexpr DWORD kLargestBlock = 1u << 20;

PlaceFunction gPlace = nullptr;  // PlaceByRename

bool PlaceOnce(HANDLE file, const std::wstring& destination)
{
    return gPlace ? gPlace(file, destination) : PlaceByRename(file, destination);
}

// The attributes the platform's copy gives a new file: the source's own, less those that
// describe how it is stored.
DWORD CopiedAttributes(DWORD source)
{
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                       FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    return (source & kept) ? (source & kept) : FILE_ATTRIBUTE_NORMAL;
}

// The source's last-write time and attributes, in one call; the other times stay (zero).
bool TakeOver(HANDLE file, const FILE_BASIC_INFO& source)
{
    FILE_BASIC_INFO info{};
    info.LastWriteTime = source.LastWriteTime;
    info.FileAttributes = CopiedAttributes(source.FileAttributes);
    return SetFileInformationByHandle(file, FileBasicInfo, &info, sizeof(info)) != FALSE;
}

// Removes the temporary when its handle closes; a read-only file cannot be removed, so the
// flag goes first.
void Discard(HANDLE file)
{
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = kDiscardedMark;
    SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof(basic));
    FILE_DISPOSITION_INFO info{TRUE};
    SetFileInformationByHandle(file, FileDispositionInfo, &info, sizeof(info));
}

// The buffer fits the listed size (a small file gets a small buffer, which costs no mapping of
// memory); a file that has grown since is copied whole all the same.
bool CopyContent(HANDLE from, HANDLE to, unsigned long long listedSize)
{
    const DWORD block = listedSize < kLargestBlock ? static_cast<DWORD>(listedSize) + 1 : kLargestBlock;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[block]);
    if (!buffer)
        return false;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, buffer.get(), block, &got, nullptr))
            return false;
        if (got == 0)
            return true;
        DWORD written = 0;
        if (!WriteFile(to, buffer.get(), got, &written, nullptr) || written != got)
            return false;
        // Only an empty read ends the copy: a share may return less than asked before the end.
    }
}

// A new temporary in `directory`, created exclusively and marked at once.
FileHandle CreateTemporary(const std::wstring& directory)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        FileHandle file(CreateFileW((directory + NewTemporaryName()).c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                    CREATE_NEW, kTemporaryAttributes | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file || (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS))
            return file;
    }
    return FileHandle();
}

// Puts the temporary in place of `destination`. Where the platform refuses a read-only
// destination, its flag is cleared only for the rename and put back when that fails, so the
// old file keeps its flag and content.
bool Place(HANDLE file, const std::wstring& destination)
{
    if (PlaceOnce(file, destination))
        return true;
    if (GetLastError() != ERROR_ACCESS_DENIED)
        return false;
    const DWORD attributes = GetFileAttributesW(destination.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !(attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    const DWORD cleared = attributes & ~FILE_ATTRIBUTE_READONLY;
    if (!SetFileAttributesW(destination.c_str(), cleared ? cleared : FILE_ATTRIBUTE_NORMAL))
        return false;
    if (PlaceOnce(file, destination))
        return true;
    SetFileAttributesW(destination.c_str(), attributes);
    return false;
}

}  // namespace

bool PlaceByRename(HANDLE file, const std::wstring& destination)
{
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + destination.size() * sizeof(wchar_t));
    auto info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(destination.size() * sizeof(wchar_t));
    destination.copy(info->FileName, destination.size());
    return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != FALSE;
}

bool IsTemporaryName(const std::wstring& name)
{
    if (name.size() != kPrefixLength + kDigits + 4 || name.compare(0, kPrefixLength, kPrefix) != 0 ||
        name.compare(kPrefixLength + kDigits, 4, kSuffix) != 0)
        return false;
    for (std::size_t at = kPrefixLength; at < kPrefixLength + kDigits; ++at)
        if (!((name[at] >= L'0' && name[at] <= L'9') || (name[at] >= L'a' && name[at] <= L'f')))
            return false;
    return true;
}

std::wstring NewTemporaryName()
{
    unsigned long long value = 0;
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<unsigned char*>(&value), sizeof(value),
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        // Mixed from what tells this call from every other: the process, a counter, the clock.
        static std::atomic<unsigned long long> counter{0};
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        value = (static_cast<unsigned long long>(GetCurrentProcessId()) << 40) ^ (++counter << 20) ^
                static_cast<unsigned long long>(now.QuadPart);
        value ^= value >> 31;
        value *= 0x9E3779B97F4A7C15ull;
    }
    static const wchar_t kHex[] = L"0123456789abcdef";
    std::wstring text = kPrefix;
    for (int shift = 60; shift >= 0; shift -= 4)
        text.push_back(kHex[(value >> shift) & 0xF]);
    return text + kSuffix;
}

bool SafeCopy(const std::wstring& sourceFile, const std::wstring& targetDirectory, const std::wstring& name,
              unsigned long long listedSize)
{
    FileHandle source(CreateFileW(sourceFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    // Not GetFileInformationByHandle: the volume serial it also gives costs Wine several calls.
    FILE_BASIC_INFO info;
    if (!source || !GetFileInformationByHandleEx(source.get(), FileBasicInfo, &info, sizeof(info)))
        return false;
    FileHandle temporary = CreateTemporary(targetDirectory);
    if (!temporary)
        return false;
    if (!CopyContent(source.get(), temporary.get(), listedSize) || !Place(temporary.get(), targetDirectory + name)) {
        Discard(temporary.get());
        return false;
    }
    // The time and attributes come only once the file is in place (and after the last write):
    // a copy killed just before leaves the whole file still marked, which the next pass copies
    // again (see DecideFile).
    TakeOver(temporary.get(), info);
    return true;
}

void RemoveLeftover(const std::wstring& targetDirectory, const std::wstring& name)
{
    if (!IsTemporaryName(name))
        return;
    // Checked again on the file itself just before it goes, not only in the listing.
    const std::wstring path = targetDirectory + name;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) || !IsMarked(attributes))
        return;
    // A temporary still being written elsewhere is open without sharing: this already fails.
    if (!SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
        return;
    if (!DeleteFileW(path.c_str()))
        SetFileAttributesW(path.c_str(), attributes);
}

void SetPlaceFunctionForTesting(PlaceFunction place)
{
    gPlace = place;
}

}  // namespace qf
