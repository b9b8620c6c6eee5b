#include "soak_tree.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace soak {
namespace {

int gFolders = 1;
int gPerFolder = 1;

std::wstring FilePath(const std::wstring& root, int n)
{
    return root + L"\\f" + std::to_wstring(n % gFolders) + L"\\file" + std::to_wstring(n / gFolders) + L".dat";
}

void WriteFile(const std::wstring& path, int size, int seed)
{
    std::string data(static_cast<size_t>(size), '\0');
    unsigned state = static_cast<unsigned>(seed) * 2654435761u + 1;
    for (char& c : data) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    std::ofstream(std::filesystem::path(path), std::ios::binary | std::ios::trunc) << data;
}

}  // namespace

SoakTree MakeSoakTree(int folders, int perFolder)
{
    gFolders = folders;
    gPerFolder = perFolder;
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    SoakTree tree;
    tree.root = std::wstring(temp) + L"qf-soak-" + std::to_wstring(GetCurrentProcessId());
    tree.source = tree.root + L"\\source";
    tree.target = tree.root + L"\\target";
    std::error_code ignored;
    for (int folder = 0; folder < folders; ++folder) {
        std::filesystem::create_directories(tree.source + L"\\f" + std::to_wstring(folder), ignored);
        std::filesystem::create_directories(tree.target + L"\\f" + std::to_wstring(folder), ignored);
    }
    tree.files = folders * perFolder;
    for (int n = 0; n < tree.files; ++n)
        WriteFile(FilePath(tree.source, n), 1024 + (n * 977) % 7168, n);
    return tree;
}

void RemoveSoakTree(const SoakTree& tree)
{
    std::error_code ignored;
    std::filesystem::remove_all(tree.root, ignored);
}

void ChangeOneFile(const SoakTree& tree, int n)
{
    const int file = n % tree.files;
    WriteFile(FilePath(tree.source, file), 1024 + (n * 131) % 7168, n + 100000);
}

}  // namespace soak
