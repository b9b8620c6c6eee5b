// Files that another program holds open, and files the pass may not write: the pass must not
// crash or lose anything, and the next pass must catch up once the file is free.
#include "sync/directory_pass.h"
#include "tests/reliability/file_holder.h"
#include "tests/support/file_content.h"
#include "tests/support/scratch_tree.h"
#include "win/unique_handle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>

namespace {

using qf::test::FileHolder;
using qf::test::TemporaryLeftovers;
using qf::test::ReadBytes;
using qf::test::ScratchTree;

const unsigned long long kOldTime = 130000000000000000ull;  // 2012

void Pass(const ScratchTree& scratch)
{
    qf::DirectoryPass(qf::test::SourceView(scratch.Path(L"src")), scratch.Path(L"dst"));
}

// Running as root under Wine, the platform lets root open any file, so a source "without
// read permission" is made the way Windows makes one for every user: another process holds
// it open with no sharing at all.
TEST(LockedFiles, SourceHeldWithoutSharingIsLeftForTheNextPass)
{
    ScratchTree scratch;
    scratch.File(L"src\\same-size.doc", "new!");
    scratch.File(L"dst\\same-size.doc", "old.");
    scratch.File(L"src\\longer.doc", "new and longer");
    scratch.File(L"dst\\longer.doc", "old");
    scratch.File(L"src\\missing.doc", "not in the target yet");
    scratch.File(L"src\\free.doc", "free");
    FileHolder holders[3];
    ASSERT_TRUE(holders[0].Hold(scratch.Path(L"src\\same-size.doc"), 0));
    ASSERT_TRUE(holders[1].Hold(scratch.Path(L"src\\longer.doc"), 0));
    ASSERT_TRUE(holders[2].Hold(scratch.Path(L"src\\missing.doc"), 0));

    Pass(scratch);
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\same-size.doc")), "old.");
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\longer.doc")), "old");
    EXPECT_FALSE(qf::test::Exists(scratch.Path(L"dst\\missing.doc"))) << "no empty or partial file";
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\free.doc")), "free") << "the pass goes on past locked files";
    EXPECT_TRUE(TemporaryLeftovers(scratch.Path(L"dst")).empty());

    for (FileHolder& holder : holders)
        holder.Release();
    Pass(scratch);
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\same-size.doc")), "new!");
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\longer.doc")), "new and longer");
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\missing.doc")), "not in the target yet");
}

// The target copy is open in another program (a user reading the backup): it cannot be
// replaced now; the new copy must not survive as a temporary either.
TEST(LockedFiles, TargetHeldWithoutSharingStaysWholeAndIsReplacedLater)
{
    ScratchTree scratch;
    scratch.File(L"src\\same-size.doc", "new!");
    scratch.File(L"dst\\same-size.doc", "old.");
    scratch.File(L"src\\longer.doc", "new and longer");
    scratch.File(L"dst\\longer.doc", "old");
    FileHolder holders[2];
    ASSERT_TRUE(holders[0].Hold(scratch.Path(L"dst\\same-size.doc"), 0));
    ASSERT_TRUE(holders[1].Hold(scratch.Path(L"dst\\longer.doc"), 0));

    Pass(scratch);
    EXPECT_TRUE(TemporaryLeftovers(scratch.Path(L"dst")).empty());
    for (FileHolder& holder : holders)
        holder.Release();
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\same-size.doc")), "old.");
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\longer.doc")), "old");

    Pass(scratch);
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\same-size.doc")), "new!");
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\longer.doc")), "new and longer");
    EXPECT_TRUE(TemporaryLeftovers(scratch.Path(L"dst")).empty());
}

// A program that keeps a file open for writing but lets others read and write it (a log being
// appended to). The digest cannot read it (it shuts writers out while it hashes), so it
// counts as empty and differs from the target; the platform's copy may still read it.
// Whatever the pass does, the target must hold the source's content, whole.
TEST(LockedFiles, SourceOpenForWritingWithSharingLosesNothing)
{
    ScratchTree scratch;
    scratch.File(L"src\\journal.log", "line 1\r\nline 2\r\n");
    scratch.File(L"dst\\journal.log", "line 1\r\nline 2\r\n");
    scratch.File(L"src\\grown.log", "line 1\r\nline 2\r\nline 3\r\n");
    scratch.File(L"dst\\grown.log", "line 1\r\n");
    qf::test::SetWriteTicks(scratch.Path(L"dst\\journal.log"), kOldTime);
    FileHolder holders[2];
    ASSERT_TRUE(holders[0].Hold(scratch.Path(L"src\\journal.log"), FILE_SHARE_READ | FILE_SHARE_WRITE));
    ASSERT_TRUE(holders[1].Hold(scratch.Path(L"src\\grown.log"), FILE_SHARE_READ | FILE_SHARE_WRITE));

    Pass(scratch);
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\journal.log")), "line 1\r\nline 2\r\n");
    std::string grown = ReadBytes(scratch.Path(L"dst\\grown.log"));
    EXPECT_TRUE(grown == "line 1\r\n" || grown == "line 1\r\nline 2\r\nline 3\r\n") << grown;
    EXPECT_TRUE(TemporaryLeftovers(scratch.Path(L"dst")).empty());
    std::printf("source shared for writing: equal target %s, grown target %s\n",
                qf::test::WriteTicks(scratch.Path(L"dst\\journal.log")) == kOldTime ? "left alone" : "copied again",
                grown == "line 1\r\n" ? "left old" : "brought up to date");

    for (FileHolder& holder : holders)
        holder.Release();
    Pass(scratch);
    EXPECT_EQ(ReadBytes(scratch.Path(L"dst\\grown.log")), "line 1\r\nline 2\r\nline 3\r\n");
}

// Spreadsheet and word-processor programs hold the files they have open for reading and
// writing and let others read them. Such a file must be backed up whole by one pass, as the
// platform's copy would: new, changed at the same size (so that it is hashed) or longer.
TEST(LockedFiles, SourceHeldByAnEditorIsBackedUpWhole)
{
    ScratchTree scratch;
    struct Case {
        const wchar_t* name;
        std::string source;
        std::string target;  // empty: the target lacks it
    };
    const Case cases[] = {
        {L"new.xls", qf::test::PatternContent(300000, 1), ""},
        {L"same-size.doc", qf::test::PatternContent(200000, 2), qf::test::PatternContent(200000, 3)},
        {L"longer.doc", qf::test::PatternContent(150000, 4), "old"},
    };
    FileHolder holders[std::size(cases)];
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        ASSERT_TRUE(scratch.File(std::wstring(L"src\\") + cases[i].name, cases[i].source));
        if (!cases[i].target.empty()) {
            ASSERT_TRUE(scratch.File(std::wstring(L"dst\\") + cases[i].name, cases[i].target));
        }
        ASSERT_TRUE(holders[i].Hold(scratch.Path(std::wstring(L"src\\") + cases[i].name), FILE_SHARE_READ));
    }
    scratch.Directory(L"dst");

    Pass(scratch);
    for (const Case& file : cases)
        EXPECT_TRUE(ReadBytes(scratch.Path(std::wstring(L"dst\\") + file.name)) == file.source)
            << file.name << " is not backed up while an editor holds it";
    EXPECT_TRUE(TemporaryLeftovers(scratch.Path(L"dst")).empty());
}

// An editor saves by renaming the file away and back. While a pass reads and hashes a large
// source file (its target copy has the same size and other content, so both are read whole),
// no such save may be refused, and the pass leaves no temporary, whatever it copied.
TEST(LockedFiles, SavesDuringAReadAreNeverRefused)
{
    ScratchTree scratch;
    const std::size_t size = qf::test::SlowStorage() ? 8 << 20 : 48 << 20;
    const std::string content = qf::test::PatternContent(size, 7);
    const std::string old = qf::test::PatternContent(size, 8);
    ASSERT_TRUE(scratch.File(L"src\\book.xls", content));
    ASSERT_TRUE(scratch.File(L"dst\\book.xls", old));
    const std::wstring source = scratch.Path(L"src\\book.xls");
    {
        // Some storages refuse to rename any open file, whatever its sharing: no pass can help it.
        qf::FileHandle open(CreateFileW(qf::test::Extended(source).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        0, nullptr));
        ASSERT_TRUE(open);
        const std::wstring aside = qf::test::Extended(source + L".probe");
        if (!MoveFileExW(qf::test::Extended(source).c_str(), aside.c_str(), 0))
            GTEST_SKIP() << "this storage refuses to rename an open file that shares everything (error "
                         << GetLastError() << ")";
        ASSERT_TRUE(MoveFileExW(aside.c_str(), qf::test::Extended(source).c_str(), 0));
    }

    qf::test::RepeatedSaves saves;
    ASSERT_TRUE(saves.Start(source));
    // Two passes: one may list or open the file just while it is away.
    DWORD started = GetTickCount();
    Pass(scratch);
    Pass(scratch);
    DWORD took = GetTickCount() - started;
    qf::test::RepeatedSaves::Counts counts;
    ASSERT_TRUE(saves.Stop(counts));
    std::printf("%lu saves during two passes of %lu ms, %lu refused\n", counts.saves, static_cast<unsigned long>(took),
                counts.refusals);
    EXPECT_GT(counts.saves, 0u);
    EXPECT_EQ(counts.refusals, 0u) << "the last refused with error " << counts.lastError;
    EXPECT_TRUE(TemporaryLeftovers(scratch.Path(L"dst")).empty());
    EXPECT_TRUE(TemporaryLeftovers(scratch.Path(L"src")).empty());
    std::string copied = ReadBytes(scratch.Path(L"dst\\book.xls"));
    EXPECT_TRUE(copied == content || copied == old) << "neither version, whole";

    Pass(scratch);
    EXPECT_TRUE(ReadBytes(scratch.Path(L"dst\\book.xls")) == content) << "the next pass catches up";
}

// A read-only target is replaced whole by the new content: its flag is cleared only for the
// replacing, and the new file has the source's attributes.
TEST(LockedFiles, ReadOnlyTargetIsReplacedWhole)
{
    ScratchTree scratch;
    scratch.File(L"src\\contract.doc", "signed version");
    scratch.File(L"dst\\contract.doc", "draft");
    std::wstring target = scratch.Path(L"dst\\contract.doc");
    ASSERT_TRUE(SetFileAttributesW(qf::test::Extended(target).c_str(), FILE_ATTRIBUTE_READONLY));

    Pass(scratch);
    EXPECT_EQ(ReadBytes(target), "signed version");
    EXPECT_EQ(GetFileAttributesW(qf::test::Extended(target).c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(TemporaryLeftovers(scratch.Path(L"dst")).empty());
}

}  // namespace
