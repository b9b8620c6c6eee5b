// A small version of the load runs (tools/reliability/load.sh gives the figures): many files
// in many folders and a tree 40 levels deep are synchronised whole, and a second pass over
// them writes nothing.
#include "sync/directory_pass.h"
#include "tests/support/scratch_tree.h"

#include <gtest/gtest.h>

namespace {

using qf::test::ReadBytes;
using qf::test::ScratchTree;

const unsigned long long kOldTime = 130000000000000000ull;  // 2012

std::string Content(int folder, int file)
{
    std::string line = "folder " + std::to_string(folder) + " file " + std::to_string(file) + "\n";
    std::string text;
    for (int repeat = 0; repeat <= file % 5; ++repeat)
        text += line;
    return text;
}

TEST(Load, ManySmallFilesInManyFoldersAndASecondPassWritesNothing)
{
    const int kFolders = 30;
    const int kFiles = 20;
    ScratchTree scratch;
    for (int folder = 0; folder < kFolders; ++folder) {
        std::wstring name = L"folder-" + std::to_wstring(folder);
        scratch.Directory(L"dst\\" + name);
        for (int file = 0; file < kFiles; ++file)
            ASSERT_TRUE(scratch.File(L"src\\" + name + L"\\" + std::to_wstring(file) + L".txt", Content(folder, file)));
    }

    qf::DirectoryPass(scratch.Path(L"src"), scratch.Path(L"dst"));
    for (int folder = 0; folder < kFolders; ++folder) {
        for (int file = 0; file < kFiles; ++file) {
            std::wstring path = scratch.Path(L"dst\\folder-" + std::to_wstring(folder) + L"\\" +
                                             std::to_wstring(file) + L".txt");
            ASSERT_EQ(ReadBytes(path), Content(folder, file)) << folder << "/" << file;
            if (file % 7 == 0)
                qf::test::SetWriteTicks(path, kOldTime);
        }
        ASSERT_TRUE(qf::test::TemporaryLeftovers(scratch.Path(L"dst\\folder-" + std::to_wstring(folder))).empty());
    }

    qf::DirectoryPass(scratch.Path(L"src"), scratch.Path(L"dst"));
    for (int folder = 0; folder < kFolders; ++folder)
        for (int file = 0; file < kFiles; file += 7)
            EXPECT_EQ(qf::test::WriteTicks(scratch.Path(L"dst\\folder-" + std::to_wstring(folder) + L"\\" +
                                                      std::to_wstring(file) + L".txt")),
                      kOldTime);
}

TEST(Load, TreeFortyLevelsDeepOnBothSides)
{
    ScratchTree scratch;
    std::wstring level;
    for (int depth = 0; depth < 40; ++depth) {
        level += L"\\level-" + std::to_wstring(depth);
        scratch.Directory(L"dst" + level);
        ASSERT_TRUE(scratch.File(L"src" + level + L"\\at.txt", "depth " + std::to_string(depth)));
    }
    ASSERT_TRUE(scratch.File(L"src" + level + L"\\level-40\\below.txt", "only the source has this level"));
    ASSERT_GT(scratch.Path(L"dst" + level).size(), 300u);

    qf::DirectoryPass(scratch.Path(L"src"), scratch.Path(L"dst"));

    level.clear();
    for (int depth = 0; depth < 40; ++depth) {
        level += L"\\level-" + std::to_wstring(depth);
        EXPECT_EQ(ReadBytes(scratch.Path(L"dst" + level + L"\\at.txt")), "depth " + std::to_string(depth));
    }
    EXPECT_FALSE(qf::test::Exists(scratch.Path(L"dst" + level + L"\\level-40")));
}

}  // namespace
