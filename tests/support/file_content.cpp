#include "tests/support/file_content.h"

#include "sync/md5_hasher.h"
#include "tests/support/scratch_tree.h"
#include "win/unique_handle.h"

#include <winioctl.h>

#include <vector>

namespace qf::test {

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

bool MakeSparseFile(const std::wstring& path, long long size)
{
    FileHandle file(CreateFileW(Extended(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file)
        return false;
    DWORD ignored = 0;
    DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = size;
    DWORD written = 0;
    return SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && WriteFile(file.get(), "END", 3, &written, nullptr);
}

std::wstring Md5OfFile(const std::wstring& path)
{
    FileHandle file(CreateFileW(Extended(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return L"<unreadable>";
    Hasher hasher(kAlgorithmMd5);
    hasher.Restart();
    std::vector<unsigned char> block(1 << 20);
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr) != FALSE) &&
           got > 0)
        hasher.Update(block.data(), got);
    std::vector<unsigned char> digest;
    if (!ok || !hasher.Finish(digest))
        return L"<unreadable>";
    return HexText(digest.data(), digest.size(), false);
}

}  // namespace qf::test
