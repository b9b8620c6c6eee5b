#include "sync/temporary_file.h"

#include <bcrypt.h>

#include <atomic>

namespace qf {
namespace {

const wchar_t kPrefix[] = L".quenfold-";
const wchar_t kSuffix[] = L".tmp";
constexpr std::size_t kPrefixLength = 10;
constexpr std::size_t kDigits = 16;

// The check of a name's random half: a fixed, keyed mix, so that it is the same in every
// process and every version that makes temporaries this way.
unsigned long Check(unsigned long random)
{
    unsigned long long value = (static_cast<unsigned long long>(random) << 32) ^ 0x51756e666f6c6454ull;
    value ^= value >> 33;
    value *= 0xff51afd7ed558ccdull;
    value ^= value >> 33;
    value *= 0xc4ceb9fe1a85ec53ull;
    value ^= value >> 33;
    return static_cast<unsigned long>(value & 0xffffffffu);
}

bool HexValue(const std::wstring& text, std::size_t at, std::size_t count, unsigned long& value)
{
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        const wchar_t c = text[i];
        if (c >= L'0' && c <= L'9')
            value = (value << 4) | static_cast<unsigned long>(c - L'0');
        else if (c >= L'a' && c <= L'f')
            value = (value << 4) | static_cast<unsigned long>(c - L'a' + 10);
        else
            return false;
    }
    return true;
}

void AppendHex(std::wstring& text, unsigned long value)
{
    static const wchar_t kHex[] = L"0123456789abcdef";
    for (int shift = 28; shift >= 0; shift -= 4)
        text.push_back(kHex[(value >> shift) & 0xF]);
}

unsigned long RandomHalf()
{
    unsigned long value = 0;
    if (BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<unsigned char*>(&value), sizeof(value),
                                       BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        return value;
    // Mixed from what tells this call from every other: the process, a counter, the clock.
    static std::atomic<unsigned long> counter{0};
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    unsigned long long mixed = (static_cast<unsigned long long>(GetCurrentProcessId()) << 40) ^ (++counter << 20) ^
                               static_cast<unsigned long long>(now.QuadPart);
    mixed ^= mixed >> 31;
    mixed *= 0x9E3779B97F4A7C15ull;
    return static_cast<unsigned long>(mixed >> 32);
}

}  // namespace

bool IsTemporaryName(const std::wstring& name)
{
    unsigned long value;
    return name.size() == kPrefixLength + kDigits + 4 && name.compare(0, kPrefixLength, kPrefix) == 0 &&
           name.compare(kPrefixLength + kDigits, 4, kSuffix) == 0 && HexValue(name, kPrefixLength, kDigits / 2, value) &&
           HexValue(name, kPrefixLength + kDigits / 2, kDigits / 2, value);
}

bool IsCheckedTemporaryName(const std::wstring& name)
{
    unsigned long random;
    unsigned long check;
    return IsTemporaryName(name) && HexValue(name, kPrefixLength, kDigits / 2, random) &&
           HexValue(name, kPrefixLength + kDigits / 2, kDigits / 2, check) && Check(random) == check;
}

bool IsLeftover(const std::wstring& name, DWORD attributes)
{
    return !(attributes & FILE_ATTRIBUTE_DIRECTORY) && IsTemporaryName(name) &&
           (IsMarked(attributes) || IsCheckedTemporaryName(name));
}

std::wstring NewTemporaryName()
{
    const unsigned long random = RandomHalf();
    std::wstring text = kPrefix;
    AppendHex(text, random);
    AppendHex(text, Check(random));
    return text + kSuffix;
}

bool RemoveTemporary(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), kDiscardedMark);
    return DeleteFileW(path.c_str()) != FALSE;
}

void RemoveLeftover(const std::wstring& directory, const std::wstring& name)
{
    // Checked again on the file itself just before it goes, not only in the listing.
    const std::wstring path = directory + name;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !IsLeftover(name, attributes))
        return;
    // A temporary still being written elsewhere is open without sharing: this already fails.
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !SetFileAttributesW(path.c_str(), kDiscardedMark))
        return;
    if (!DeleteFileW(path.c_str()) && readOnly)
        SetFileAttributesW(path.c_str(), attributes);
}

}  // namespace qf
