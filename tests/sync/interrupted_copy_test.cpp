// Replacing a file goes through a temporary beside it: whatever stops a copy half-way, the
// file under its real name is either the old one or the complete new one.
#include "sync/directory_pass.h"
#include "sync/safe_copy.h"
#include "tests/support/child_process.h"
#include "tests/support/file_content.h"
#include "tests/support/scratch_tree.h"
#include "win/unique_handle.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using qf::test::Exists;
using qf::test::ReadBytes;
using qf::test::ScratchTree;

const long long kBigSize = 400LL * 1024 * 1024;

// Slow enough to copy that the copy can be caught.
bool MakeBigFile(const std::wstring& path)
{
    return qf::test::MakeSparseFile(path, kBigSize);
}

long long SizeOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Runs the one-pass tool and kills it as soon as its temporary copy has content, watching the
// target directory for changes rather than polling it.
bool KillPassMidCopy(const ScratchTree& tree)
{
    qf::FileHandle change(FindFirstChangeNotificationW(
        tree.Path(L"dst").c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE));
    qf::test::ChildProcess pass;
    if (!change ||
        !pass.Start(qf::test::ProgramPath(QF_PASS_TOOL), L"\"" + tree.Path(L"src") + L"\" \"" + tree.Path(L"dst") + L"\""))
        return false;
    for (;;) {
        const std::vector<std::wstring> temporaries = qf::test::TemporaryLeftovers(tree.Path(L"dst"));
        if (!temporaries.empty() && SizeOf(tree.Path(L"dst\\" + temporaries[0])) > 0)
            return true;  // the child process is killed as it goes
        HANDLE events[] = {change.get(), pass.Handle()};
        if (WaitForMultipleObjects(2, events, FALSE, 60000) != WAIT_OBJECT_0 || !FindNextChangeNotification(change.get()))
            return false;
    }
}

TEST(InterruptedCopy, KilledPassLeavesTheOldTargetAndTheNextPassCompletes)
{
    ScratchTree tree;
    tree.Directory(L"src");
    ASSERT_TRUE(MakeBigFile(tree.Path(L"src\\big.bin")));
    tree.File(L"dst\\big.bin", "the old target");
    ASSERT_TRUE(KillPassMidCopy(tree)) << "the copy was not caught under way";

    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\big.bin")), "the old target");
    const std::vector<std::wstring> left = qf::test::TemporaryLeftovers(tree.Path(L"dst"));
    ASSERT_EQ(left.size(), 1u) << "the killed copy's temporary stays";
    EXPECT_EQ(GetFileAttributesW(tree.Path(L"dst\\" + left[0]).c_str()) & qf::kTemporaryMark, qf::kTemporaryMark)
        << "marked from its creation";

    // The next pass removes the leftover and replaces the target whole.
    qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"dst"));
    EXPECT_EQ(SizeOf(tree.Path(L"dst\\big.bin")), kBigSize + 3);
    EXPECT_TRUE(qf::test::TemporaryLeftovers(tree.Path(L"dst")).empty());
}

TEST(InterruptedCopy, KilledPassLeavesNoNewFileUnderItsName)
{
    ScratchTree tree;
    tree.Directory(L"src");
    tree.Directory(L"dst");
    ASSERT_TRUE(MakeBigFile(tree.Path(L"src\\fresh.bin")));
    ASSERT_TRUE(KillPassMidCopy(tree)) << "the copy was not caught under way";
    EXPECT_FALSE(Exists(tree.Path(L"dst\\fresh.bin")));
}

}  // namespace
