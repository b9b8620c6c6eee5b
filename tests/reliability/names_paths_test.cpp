// Names a code page cannot hold, paths past 260 characters, link loops that reach back more
// than one level, and files and directories of the same name on the two sides.
#include "sync/directory_pass.h"
#include "tests/support/scratch_tree.h"

#include <gtest/gtest.h>

namespace {

using qf::test::TemporaryLeftovers;
using qf::test::Exists;
using qf::test::ReadBytes;
using qf::test::ScratchTree;

const unsigned long long kOldTime = 130000000000000000ull;  // 2012

const std::wstring kHangul = L"\ubc31\uc5c5 \ubb38\uc11c";             // "backup documents"
const std::wstring kEmoji = L"\U0001F4C1\U0001F600\u2764\uFE0F";        // surrogate pairs and a variation selector
const std::wstring kMixed = L"\ud68c\uc758\ub85d \U0001F4DD 2024.txt";  // Hangul, emoji, digits

TEST(Names, HangulAndEmojiOnBothSidesAtAnyDepthPast260Characters)
{
    ScratchTree scratch;
    scratch.File(L"src\\" + kMixed, "minutes");
    scratch.File(L"src\\" + kHangul + L"\\" + kEmoji + L".bin", "emoji");
    scratch.File(L"dst\\" + kHangul + L"\\" + kEmoji + L".bin", "older");
    scratch.File(L"src\\" + kHangul + L"\\" + kHangul + L".txt", "equal");
    scratch.File(L"dst\\" + kHangul + L"\\" + kHangul + L".txt", "equal");
    qf::test::SetWriteTicks(scratch.Path(L"dst\\" + kHangul + L"\\" + kHangul + L".txt"), kOldTime);

    // Each level 60 characters of Hangul and emoji (well below a Unix name's 255 bytes), so
    // both the source and the target paths pass 260 characters at the third level.
    std::wstring deep;
    for (int level = 0; level < 5; ++level)
        deep += L"\\" + std::to_wstring(level) + std::wstring(50, L'\uac00') + kEmoji + L"\ud55c";
    scratch.File(L"src" + deep + L"\\" + kMixed, "deep and new");
    scratch.File(L"src" + deep + L"\\changed.txt", "new content");
    scratch.File(L"dst" + deep + L"\\changed.txt", "old content");
    ASSERT_GT(scratch.Path(L"dst" + deep).size(), 300u);
    ASSERT_TRUE(qf::test::IsDirectoryPath(scratch.Path(L"dst" + deep)));

    qf::DirectoryPass(scratch.Path(L"src"), scratch.Path(L"dst"));

    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\" + kMixed)), "minutes");
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\" + kHangul + L"\\" + kEmoji + L".bin")), "emoji");
    EXPECT_EQ(qf::test::WriteTicks(scratch.Path(L"dst\\" + kHangul + L"\\" + kHangul + L".txt")), kOldTime);
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst" + deep + L"\\" + kMixed)), "deep and new");
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst" + deep + L"\\changed.txt")), "new content");
    EXPECT_TRUE(TemporaryLeftovers(scratch.Path(L"dst" + deep)).empty());
}

// A link two levels down pointing back to the top, on both sides: the loop must be noticed
// through the whole way down, not only at the parent. Two links to one directory that is not
// on the way down are no loop, and both are synchronised.
TEST(Names, LinkLoopsThroughSeveralLevelsEndAndSharedDirectoriesAreEnteredEachTime)
{
    ScratchTree scratch;
    scratch.File(L"src\\" + kHangul + L"\\inner\\deep.txt", "deep");
    scratch.File(L"src\\top.txt", "top");
    scratch.Directory(L"dst\\" + kHangul + L"\\inner");
    if (!qf::test::MakeDirectoryLink(scratch.Path(L"src\\" + kHangul + L"\\inner\\up"), scratch.Path(L"src")) ||
        !qf::test::MakeDirectoryLink(scratch.Path(L"dst\\" + kHangul + L"\\inner\\up"), scratch.Path(L"dst")))
        GTEST_SKIP() << "directory links cannot be made here";
    // Shared: two source links to one directory, synchronised into two real target directories.
    scratch.File(L"shared\\common.txt", "common");
    ASSERT_TRUE(qf::test::MakeDirectoryLink(scratch.Path(L"src\\one"), scratch.Path(L"shared")));
    ASSERT_TRUE(qf::test::MakeDirectoryLink(scratch.Path(L"src\\two"), scratch.Path(L"shared")));
    scratch.Directory(L"dst\\one");
    scratch.Directory(L"dst\\two");

    qf::DirectoryPass(scratch.Path(L"src"), scratch.Path(L"dst"));

    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\top.txt")), "top");
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\" + kHangul + L"\\inner\\deep.txt")), "deep");
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\one\\common.txt")), "common");
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\two\\common.txt")), "common");
    // A second pass over the loops changes nothing and ends too.
    qf::test::SetWriteTicks(scratch.Path(L"dst\\top.txt"), kOldTime);
    qf::DirectoryPass(scratch.Path(L"src"), scratch.Path(L"dst"));
    EXPECT_EQ(qf::test::WriteTicks(scratch.Path(L"dst\\top.txt")), kOldTime);
}

// A file on one side and a directory of the same name (in any case) on the other: nothing
// changes on either side, and the pass goes on with the rest.
TEST(Names, FileAndDirectoryOfOneNameChangeNothing)
{
    ScratchTree scratch;
    scratch.File(L"src\\Report", "a file in the source");
    scratch.File(L"dst\\REPORT\\kept.txt", "kept");
    scratch.File(L"src\\" + kHangul, "");  // empty: its digest would equal an unreadable directory's
    scratch.File(L"dst\\" + kHangul + L"\\kept.txt", "kept too");
    scratch.File(L"src\\data\\inside.txt", "must not land anywhere");
    scratch.File(L"dst\\Data", "a file in the target");
    scratch.File(L"src\\after.txt", "after");
    qf::test::SetWriteTicks(scratch.Path(L"dst\\Data"), kOldTime);

    qf::DirectoryPass(scratch.Path(L"src"), scratch.Path(L"dst"));

    EXPECT_TRUE(qf::test::IsDirectoryPath(scratch.Path(L"dst\\REPORT")));
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\REPORT\\kept.txt")), "kept");
    EXPECT_TRUE(qf::test::IsDirectoryPath(scratch.Path(L"dst\\" + kHangul)));
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\" + kHangul + L"\\kept.txt")), "kept too");
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\Data")), "a file in the target");
    EXPECT_EQ(qf::test::WriteTicks(scratch.Path(L"dst\\Data")), kOldTime);
    EXPECT_FALSE(Exists(scratch.Path(L"dst\\Data\\inside.txt")));
    EXPECT_FALSE(Exists(scratch.Path(L"dst\\inside.txt")));
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\after.txt")), "after");
    EXPECT_TRUE(TemporaryLeftovers(scratch.Path(L"dst")).empty());
    EXPECT_TRUE(TemporaryLeftovers(scratch.Path(L"dst\\REPORT")).empty());
}

}  // namespace
