// A pass killed at random moments while it replaces large files: every target file must still
// hold either its old or its new content, whole, and the next complete pass must finish the
// job and leave no temporary behind.
#include "sync/directory_pass.h"
#include "sync/safe_copy.h"
#include "tests/support/child_process.h"
#include "tests/support/file_content.h"
#include "tests/support/scratch_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <random>

namespace {

using qf::test::Md5OfFile;
using qf::test::ScratchTree;

// Two versions of each file. Some keep their size between versions, so the pass must read
// and hash both sides before it copies; others change size and are copied at once.
struct Versions {
    std::wstring name;
    std::size_t sizeA;
    std::size_t sizeB;
};

Versions kFiles[] = {
    {L"same-size-1.bin", 4 << 20, 4 << 20},
    {L"same-size-2.bin", 3 << 20, 3 << 20},
    {L"grows.bin", 2 << 20, 5 << 20},
    {L"shrinks.bin", 5 << 20, 1 << 20},
    {L"\uc790\ub8cc \U0001F4BE.bin", 3 << 20, 4 << 20},  // Hangul and an emoji
};

// Fewer on each storage of the storage runs, which run the whole case once per storage.
int Trials() { return qf::test::StorageKind().empty() ? 24 : qf::test::SlowStorage() ? 6 : 8; }

class KilledPass : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!qf::test::TakesNamesOutsideAscii(scratch_.Path())) {
            std::printf("this storage takes ASCII names only: the Hangul file is named in ASCII\n");
            kFiles[4].name = L"hangul-and-emoji.bin";
        }
        if (qf::test::SlowStorage()) {
            for (Versions& file : kFiles) {
                file.sizeA = std::max<std::size_t>(file.sizeA / 8, 1);
                file.sizeB = std::max<std::size_t>(file.sizeB / 8, 1);
            }
        }
        unsigned seed = 1;
        for (const Versions& file : kFiles) {
            ASSERT_TRUE(scratch_.File(L"a\\" + file.name, qf::test::PatternContent(file.sizeA, seed++)));
            ASSERT_TRUE(scratch_.File(L"b\\" + file.name, qf::test::PatternContent(file.sizeB, seed++)));
            ASSERT_TRUE(scratch_.File(L"dst\\" + file.name, qf::test::PatternContent(file.sizeA, seed - 2)));
            digestA_.push_back(Md5OfFile(scratch_.Path(L"a\\" + file.name)));
            digestB_.push_back(Md5OfFile(scratch_.Path(L"b\\" + file.name)));
        }
    }

    // Runs quenfold-pass from `source` into the target; killed after `killAfter` ms unless it
    // ends first. True when it ran to its end.
    bool RunPass(const std::wstring& source, DWORD killAfter)
    {
        qf::test::ChildProcess pass;
        EXPECT_TRUE(pass.Start(qf::test::ProgramPath(QF_PASS_EXE), L"\"" + qf::test::SourceView(scratch_.Path(source)) +
                                                                       L"\" \"" + scratch_.Path(L"dst") + L"\""));
        if (pass.Wait(killAfter))
            return pass.ExitCode() <= 1;  // 1: it ran to its end and told failures
        pass.Kill();
        return false;
    }

    // Every target file is one version or the other, whole; the count of files at version B.
    // A share that cannot rename at all is written in place, as the platform's copy writes it:
    // there a kill may tear the file it was writing, which the next whole pass mends.
    int CheckWhole(int trial, bool afterKill = false)
    {
        const bool torn = afterKill && qf::test::StorageKind() == L"smb";
        int atB = 0;
        for (std::size_t i = 0; i < std::size(kFiles); ++i) {
            std::wstring digest = Md5OfFile(scratch_.Path(L"dst\\" + kFiles[i].name));
            EXPECT_TRUE(torn || digest == digestA_[i] || digest == digestB_[i])
                << "trial " << trial << ": " << kFiles[i].name << " is neither version: " << digest;
            atB += digest == digestB_[i];
        }
        return atB;
    }

    ScratchTree scratch_;
    std::vector<std::wstring> digestA_;
    std::vector<std::wstring> digestB_;
};

TEST_F(KilledPass, LeavesEveryTargetOldOrNewWholeAndTheNextPassFinishes)
{
    // How long the program takes to start and an uninterrupted pass takes here, so that the
    // kills fall across the work of the pass, not into the start of the process.
    DWORD started = GetTickCount();
    ASSERT_TRUE(RunPass(L"b", 120000));
    DWORD full = std::max<DWORD>(GetTickCount() - started, 50);
    started = GetTickCount();
    {
        qf::test::ChildProcess idle;
        ASSERT_TRUE(idle.Start(qf::test::ProgramPath(QF_PASS_EXE), L""));
        ASSERT_TRUE(idle.Wait(60000));
    }
    DWORD startup = std::min<DWORD>(GetTickCount() - started, full / 2);
    ASSERT_EQ(CheckWhole(-1), static_cast<int>(std::size(kFiles)));
    EXPECT_TRUE(qf::test::TemporaryLeftovers(scratch_.Path(L"dst")).empty());

    unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<DWORD> moment(startup, full);
    DWORD trialsStarted = GetTickCount();
    int before = static_cast<int>(std::size(kFiles));
    int completed = 0;
    int killedWithTemporary = 0;
    int partlyDone = 0;
    const int trials = Trials();
    for (int trial = 0; trial < trials; ++trial) {
        // Alternate the source so that every trial has files to replace.
        const wchar_t* source = trial % 2 == 0 ? L"a" : L"b";
        completed += RunPass(source, moment(random));
        int after = CheckWhole(trial, true);
        bool leftover = !qf::test::TemporaryLeftovers(scratch_.Path(L"dst")).empty();
        killedWithTemporary += leftover;
        partlyDone += after != before && after != 0 && after != static_cast<int>(std::size(kFiles));
        if (HasFailure())
            FAIL() << "seed " << seed;
        before = after;
    }
    std::printf("%d trials (%d ran to the end), %d killed mid-copy (temporary left), %d left a mix of versions; "
                "pass %lu ms, of which start %lu ms; trials took %lu ms\n",
                trials, completed, killedWithTemporary, partlyDone, static_cast<unsigned long>(full),
                static_cast<unsigned long>(startup), static_cast<unsigned long>(GetTickCount() - trialsStarted));

    // Complete passes bring everything to the source and remove every temporary the kills left.
    ASSERT_TRUE(RunPass(L"b", 120000));
    EXPECT_EQ(CheckWhole(trials), static_cast<int>(std::size(kFiles)));
    ASSERT_TRUE(RunPass(L"a", 120000));
    EXPECT_EQ(CheckWhole(trials), 0);
    for (const std::wstring& name : qf::test::TemporaryLeftovers(scratch_.Path(L"dst")))
        ADD_FAILURE() << "left over: " << name << ", attributes " << std::hex
                      << GetFileAttributesW(scratch_.Path(L"dst\\" + name).c_str()) << ", seed " << std::dec << seed;
}

// Temporaries of killed copies are the engine's own, marked from their creation: the next pass
// through their directory removes them whether their file still needs a copy, needs none, or
// has gone from the source. A file of the same form without the mark is the user's and stays.
// A copy killed just after its rename leaves the whole file still marked: it is copied again.
TEST(LeftoverTemporary, IsRemovedByTheNextPassWhateverBecameOfItsFile)
{
    ScratchTree scratch;
    scratch.Directory(L"dst");
    // Where read-only is not kept, hidden + system still mark a temporary.
    if (!qf::test::KeepsAttributes(scratch.Path(L"dst"), qf::kDiscardedMark))
        GTEST_SKIP() << "this storage cannot keep hidden + system: no leftover can be told from a file of the "
                        "user's there";
    scratch.File(L"src\\report.doc", "the new report");
    scratch.File(L"dst\\report.doc", "old");
    scratch.File(L"src\\same.doc", "equal content");
    scratch.File(L"dst\\same.doc", "equal content");
    // The third one's source is gone; the fourth was killed while its copy discarded it.
    const std::wstring killed[] = {L".quenfold-0000000000000001.tmp", L".quenfold-0000000000000002.tmp",
                                   L".quenfold-0000000000000003.tmp", L".quenfold-0000000000000004.tmp"};
    for (const std::wstring& name : killed) {
        ASSERT_TRUE(qf::test::WriteBytes(scratch.Path(L"dst\\" + name), std::string(100000, 'x')));
        SetFileAttributesW(qf::test::Extended(scratch.Path(L"dst\\" + name)).c_str(),
                           name == killed[3] ? qf::kDiscardedMark : qf::kTemporaryAttributes);
    }
    const std::wstring users = L".quenfold-00000000000000ff.tmp";
    ASSERT_TRUE(qf::test::WriteBytes(scratch.Path(L"dst\\" + users), "the user's"));
    SetFileAttributesW(qf::test::Extended(scratch.Path(L"dst\\same.doc")).c_str(), qf::kTemporaryAttributes);

    qf::DirectoryPass(qf::test::SourceView(scratch.Path(L"src")), scratch.Path(L"dst"));

    EXPECT_EQ(qf::test::ReadBytes(scratch.Path(L"dst\\report.doc")), "the new report");
    EXPECT_EQ(qf::test::TemporaryLeftovers(scratch.Path(L"dst")), std::vector<std::wstring>{users});
    EXPECT_EQ(qf::test::ReadBytes(scratch.Path(L"dst\\" + users)), "the user's");
    EXPECT_EQ(qf::test::ReadBytes(scratch.Path(L"dst\\same.doc")), "equal content");
    EXPECT_EQ(GetFileAttributesW(qf::test::Extended(scratch.Path(L"dst\\same.doc")).c_str()) & qf::kTemporaryMark, 0u);
}

}  // namespace
