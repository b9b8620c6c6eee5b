#include "sync/content_reader.h"

#include <new>

namespace qf {

ContentReader::ContentReader(const std::wstring& path)
{
    if (!path.empty())
        file_.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    failed_ = !file_;
    ended_ = failed_;
}

std::size_t ContentReader::Read(unsigned char* buffer, std::size_t capacity)
{
    if (ended_)
        return 0;
    DWORD wanted = capacity > 0x40000000 ? 0x40000000 : static_cast<DWORD>(capacity);
    DWORD got = 0;
    if (!ReadFile(file_.get(), buffer, wanted, &got, nullptr)) {
        failed_ = true;
        ended_ = true;
        file_.reset();
        return 0;
    }
    if (got == 0) {
        ended_ = true;
        file_.reset();  // close as soon as the content is in, not when the reader goes
    }
    return got;
}

std::unique_ptr<unsigned char[]> NewContentBlock(std::size_t size)
{
    return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[size]);
}

}  // namespace qf
