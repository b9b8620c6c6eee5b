#include "tests/sync/temp_tree.h"

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace qf::testing {
namespace {
std::atomic<int> gNext{0};
}

TempTree::TempTree()
{
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    root_ = std::wstring(temp) + L"qf-sched-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(gNext++);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
    std::filesystem::create_directories(root_, ignored);
}

TempTree::~TempTree()
{
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::wstring TempTree::Dir(const std::wstring& relative) const
{
    const std::wstring path = root_ + L"\\" + relative;
    std::error_code ignored;
    std::filesystem::create_directories(path, ignored);
    return path;
}

void TempTree::Write(const std::wstring& path, const std::string& content)
{
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out << content;
}

std::string TempTree::Read(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TempTree::Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace qf::testing
