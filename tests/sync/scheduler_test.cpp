// ToggleSync and its worker over a recording host, with real passes over scratch trees.
#include "sync/scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "sync/sync_state.h"
#include "tests/sync/fake_sync_host.h"
#include "tests/support/scratch_tree.h"
#include "win/unique_handle.h"

namespace {

using qf::test::CountOf;
using qf::test::FakeSyncHost;
using qf::test::LoggedLine;
using qf::test::ScratchTree;
using qf::test::Toggle;
using Texts = std::vector<std::wstring>;

const std::wstring kOff = L"提示: 关闭同步";
const std::wstring kEnd = L"提示: -";
const std::wstring kStarted = L"提示: 同步开始";

class Scheduler : public ::testing::Test {
protected:
    void SetUp() override { qf::SetSyncRunning(false); }
    // A test that failed half-way must not leave passes running into the next one.
    void TearDown() override { qf::SetSyncRunning(false); }

    ScratchTree tree;
};

const LoggedLine* Find(const std::vector<LoggedLine>& lines, const std::wstring& text)
{
    for (const LoggedLine& line : lines)
        if (line.text == text)
            return &line;
    return nullptr;
}

// Each worker thread's lines, by thread.
std::map<DWORD, Texts> ByThread(const std::vector<LoggedLine>& lines, DWORD except)
{
    std::map<DWORD, Texts> threads;
    for (const LoggedLine& line : lines)
        if (line.thread != except)
            threads[line.thread].push_back(line.text);
    return threads;
}

TEST_F(Scheduler, RefusesWithoutTargetOrSourceAndChangesNothing)
{
    FakeSyncHost& none = FakeSyncHost::Make({}, L"600");
    Toggle(none);
    EXPECT_EQ(none.Texts(), Texts{L"提示: 请先添加目标目录"});
    EXPECT_TRUE(none.Captions().empty());
    EXPECT_FALSE(qf::IsSyncRunning());

    FakeSyncHost& targetOnly = FakeSyncHost::Make({tree.Directory(L"t")}, L"600");
    Toggle(targetOnly);
    Toggle(targetOnly);
    EXPECT_EQ(targetOnly.Texts(), (Texts{L"提示: 请先添加源目录", L"提示: 请先添加源目录"}));
    EXPECT_TRUE(targetOnly.Captions().empty());
    EXPECT_FALSE(qf::IsSyncRunning());
}

TEST_F(Scheduler, CaptionAndFlagFollowEachToggle)
{
    // Empty paths: the passes touch no disk.
    FakeSyncHost& host = FakeSyncHost::Make({L"", L""}, L"0");
    Toggle(host);
    EXPECT_TRUE(qf::IsSyncRunning());
    EXPECT_EQ(host.Captions(), Texts{L"关  闭"});
    Toggle(host);
    EXPECT_FALSE(qf::IsSyncRunning());
    EXPECT_EQ(host.Captions(), (Texts{L"关  闭", L"开  始"}));
    Toggle(host);
    Toggle(host);
    EXPECT_EQ(host.Captions(), (Texts{L"关  闭", L"开  始", L"关  闭", L"开  始"}));
    ASSERT_TRUE(host.WaitForLine(kEnd, 2));
    EXPECT_EQ(CountOf(host.Lines(), kStarted), 2);
}

TEST_F(Scheduler, ZeroSecondsRunsPassesBackToBackEachCopyingBeforeItsCount)
{
    const std::wstring target = tree.Directory(L"target");
    const std::wstring source = tree.Directory(L"source");
    tree.Directory(L"target\\sub");
    tree.Directory(L"source\\sub");
    qf::test::WriteBytes(source + L"\\a.txt", "first");
    qf::test::WriteBytes(source + L"\\sub\\b.txt", "deep");
    FakeSyncHost& host = FakeSyncHost::Make({target, source}, L"0");
    std::string afterFirst;
    std::string afterSecond;
    host.onLog = [&](const std::wstring& line) {
        if (line == L"同步次数: 1") {
            afterFirst = qf::test::ReadBytes(target + L"\\a.txt");
            qf::test::WriteBytes(source + L"\\a.txt", "second, longer");
        } else if (line == L"同步次数: 2") {
            afterSecond = qf::test::ReadBytes(target + L"\\a.txt");
            Toggle(host);
        }
    };
    Toggle(host);
    ASSERT_TRUE(host.WaitForLine(kEnd));
    EXPECT_EQ(host.Texts(), (Texts{L"提示: 0 秒后开始执行第一次同步", L"提示: +", kStarted, L"同步次数: 1",
                                   L"同步次数: 2", kOff, kEnd}));
    EXPECT_EQ(afterFirst, "first");
    EXPECT_EQ(afterSecond, "second, longer");
    EXPECT_EQ(qf::test::ReadBytes(target + L"\\sub\\b.txt"), "deep");
    EXPECT_EQ(host.Captions(), (Texts{L"关  闭", L"开  始"}));
}

TEST_F(Scheduler, SwitchingOffDuringAWaitEndsOnlyAfterThatWait)
{
    const std::wstring target = tree.Directory(L"target");
    const std::wstring source = tree.Directory(L"source");
    qf::test::WriteBytes(source + L"\\a.txt", "content");
    // The box's text goes into the line unchanged, however it converts.
    FakeSyncHost& host = FakeSyncHost::Make({target, source}, L" 1秒");
    bool copiedBeforeCount = false;
    host.onLog = [&](const std::wstring& line) {
        if (line == L"同步次数: 1")
            copiedBeforeCount = qf::test::ReadBytes(target + L"\\a.txt") == "content";
    };
    const ULONGLONG on = GetTickCount64();
    Toggle(host);
    ASSERT_TRUE(host.WaitForLine(L"同步次数: 1"));  // the pass is over: the next wait follows
    Toggle(host);
    ASSERT_TRUE(host.WaitForLine(kEnd));

    const auto lines = host.Lines();
    EXPECT_EQ(host.Texts(), (Texts{L"提示:  1秒 秒后开始执行第一次同步", L"提示: +", kStarted, L"同步次数: 1", kOff, kEnd}));
    EXPECT_TRUE(copiedBeforeCount);
    // The first pass comes one full interval after switching on, and the end one full
    // interval after the pass, not at the switch-off.
    EXPECT_GE(Find(lines, L"同步次数: 1")->tick - on, 900u);
    EXPECT_GE(Find(lines, kEnd)->tick - Find(lines, L"同步次数: 1")->tick, 900u);
    EXPECT_GE(Find(lines, kEnd)->tick - Find(lines, kOff)->tick, 500u);
}

TEST_F(Scheduler, SwitchingOffDuringAPassFinishesEveryRowThenWaitsTheNewInterval)
{
    const std::wstring target = tree.Directory(L"target");
    const std::wstring first = tree.Directory(L"one");
    const std::wstring second = tree.Directory(L"two");
    qf::test::WriteBytes(first + L"\\1.txt", "1");
    qf::test::WriteBytes(second + L"\\2.txt", "2");
    FakeSyncHost& host = FakeSyncHost::Make({target, first, second}, L"1");
    std::atomic<bool> switched{false};
    host.onPathOf = [&](int row) {
        if (row == 1 && !switched.exchange(true)) {
            Toggle(host);
            host.SetInterval(L"2");  // read again for the wait after this pass
        }
    };
    Toggle(host);
    ASSERT_TRUE(host.WaitForLine(kEnd, 1, 15000));

    const auto lines = host.Lines();
    EXPECT_EQ(host.Texts(), (Texts{L"提示: 1 秒后开始执行第一次同步", L"提示: +", kStarted, kOff, L"同步次数: 1", kEnd}));
    EXPECT_EQ(qf::test::ReadBytes(target + L"\\1.txt"), "1");
    EXPECT_EQ(qf::test::ReadBytes(target + L"\\2.txt"), "2");
    EXPECT_GE(Find(lines, kEnd)->tick - Find(lines, L"同步次数: 1")->tick, 1900u);
}

TEST_F(Scheduler, OffAndOnWithinOneWaitLeavesOnlyTheNewWorkerPassing)
{
    const std::wstring target = tree.Directory(L"target");
    const std::wstring source = tree.Directory(L"source");
    qf::test::WriteBytes(source + L"\\a.txt", "a");
    FakeSyncHost& host = FakeSyncHost::Make({target, source}, L"1");
    host.onLog = [&](const std::wstring& line) {
        if (line == L"同步次数: 2")
            Toggle(host);
    };
    Toggle(host);
    Toggle(host);
    Toggle(host);
    ASSERT_TRUE(host.WaitForLine(kEnd, 2, 15000));

    const auto lines = host.Lines();
    const auto threads = ByThread(lines, GetCurrentThreadId());
    ASSERT_EQ(threads.size(), 2u);
    std::vector<Texts> seen;
    for (const auto& entry : threads)
        seen.push_back(entry.second);
    const Texts old{kStarted, kEnd};
    const Texts current{kStarted, L"同步次数: 1", L"同步次数: 2", kOff, kEnd};
    EXPECT_TRUE((seen == std::vector<Texts>{old, current}) || (seen == std::vector<Texts>{current, old}));
    EXPECT_EQ(host.MostPassesAtOnce(), 1);
    EXPECT_EQ(qf::test::ReadBytes(target + L"\\a.txt"), "a");
}

TEST_F(Scheduler, SupersededWorkerFinishesItsPassAloneThenEnds)
{
    const std::wstring target = tree.Directory(L"target");
    const std::wstring source = tree.Directory(L"source");
    qf::test::WriteBytes(source + L"\\a.txt", "a");
    FakeSyncHost& host = FakeSyncHost::Make({target, source}, L"0");
    std::atomic<DWORD> oldWorker{0};
    // The new worker reads its interval right before its wait of 0, which is over at once: from
    // then on nothing but the old worker's pass keeps it from starting its own.
    qf::KernelHandle newWorkerWaits(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    host.onIntervalText = [&] {
        if (oldWorker.load() && GetCurrentThreadId() != oldWorker.load())
            SetEvent(newWorkerWaits.get());
    };
    host.onPathOf = [&](int row) {
        DWORD none = 0;
        if (row == 1 && oldWorker.compare_exchange_strong(none, GetCurrentThreadId())) {
            Toggle(host);
            Toggle(host);
            EXPECT_EQ(WaitForSingleObject(newWorkerWaits.get(), 10000), WAIT_OBJECT_0);
        }
    };
    host.onLog = [&](const std::wstring& line) {
        if (line == L"同步次数: 2")
            Toggle(host);
    };
    Toggle(host);
    ASSERT_TRUE(host.WaitForLine(kEnd, 2));

    auto threads = ByThread(host.Lines(), GetCurrentThreadId());
    ASSERT_EQ(threads.size(), 2u);
    const Texts old = threads[oldWorker.load()];
    threads.erase(oldWorker.load());
    EXPECT_EQ(old, (Texts{kStarted, kOff, L"提示: 0 秒后开始执行第一次同步", L"提示: +", L"同步次数: 1", kEnd}));
    EXPECT_EQ(threads.begin()->second, (Texts{kStarted, L"同步次数: 1", L"同步次数: 2", kOff, kEnd}));
    EXPECT_EQ(host.MostPassesAtOnce(), 1);
}

TEST_F(Scheduler, EmptySourceRowIsSkippedWhileTheCountRises)
{
    const std::wstring target = tree.Directory(L"target");
    const std::wstring source = tree.Directory(L"source");
    qf::test::WriteBytes(source + L"\\a.txt", "a");
    FakeSyncHost& host = FakeSyncHost::Make({target, L"", source}, L"0");
    host.onLog = [&](const std::wstring& line) {
        if (line == L"同步次数: 2")
            Toggle(host);
    };
    Toggle(host);
    ASSERT_TRUE(host.WaitForLine(kEnd));
    EXPECT_EQ(CountOf(host.Lines(), L"同步次数: 2"), 1);
    // The empty row 1 is read but leads to no read of the target.
    EXPECT_EQ(host.CellReads(), (std::vector<int>{1, 2, 0, 1, 2, 0}));
    EXPECT_EQ(qf::test::ReadBytes(target + L"\\a.txt"), "a");
}

TEST_F(Scheduler, TargetIsReadAnewForEverySourceAndEveryPass)
{
    const std::wstring first = tree.Directory(L"one");
    const std::wstring second = tree.Directory(L"two");
    qf::test::WriteBytes(first + L"\\1.txt", "1");
    qf::test::WriteBytes(second + L"\\2.txt", "2");
    const std::wstring targetA = tree.Directory(L"a");
    const std::wstring targetB = tree.Directory(L"b");
    const std::wstring targetC = tree.Directory(L"c");
    FakeSyncHost& host = FakeSyncHost::Make({targetA, first, second}, L"0");
    std::atomic<bool> changed{false};
    host.onPathOf = [&](int row) {
        if (row == 2 && !changed.exchange(true))
            host.SetRow(0, targetB);
    };
    host.onLog = [&](const std::wstring& line) {
        if (line == L"同步次数: 1")
            host.SetRow(0, targetC);
        else if (line == L"同步次数: 2")
            Toggle(host);
    };
    Toggle(host);
    ASSERT_TRUE(host.WaitForLine(kEnd));
    EXPECT_TRUE(qf::test::Exists(targetA + L"\\1.txt"));
    EXPECT_FALSE(qf::test::Exists(targetA + L"\\2.txt"));
    EXPECT_FALSE(qf::test::Exists(targetB + L"\\1.txt"));
    EXPECT_TRUE(qf::test::Exists(targetB + L"\\2.txt"));
    EXPECT_TRUE(qf::test::Exists(targetC + L"\\1.txt"));
    EXPECT_TRUE(qf::test::Exists(targetC + L"\\2.txt"));
}

// Each pass tells what failed in it, once, after its count line: directories that could not
// be reached first, then files that could not be copied, with paths as the user gave them.
// The failures do not stop the pass, and once their causes are gone the next pass is clean.
TEST_F(Scheduler, FailuresOfAPassAreToldAfterItsCount)
{
    const std::wstring target = tree.Directory(L"target");
    const std::wstring source = tree.Directory(L"source");
    qf::test::WriteBytes(tree.Directory(L"source\\sub") + L"\\in-the-way.txt", "x");
    qf::test::WriteBytes(source + L"\\fine.txt", "fine");
    tree.Directory(L"target\\sub\\in-the-way.txt");
    const std::wstring moved = tree.Path() + L"\\moved";
    const std::wstring orphan = tree.Path() + L"\\gone\\target";
    FakeSyncHost& host = FakeSyncHost::Make({target, source + L"\\", moved}, L"0");
    host.onLog = [&](const std::wstring& line) {
        if (line == L"同步次数: 1") {
            host.SetRow(0, orphan);
        } else if (line == L"同步次数: 2") {
            host.SetRow(0, target);
            RemoveDirectoryW((target + L"\\sub\\in-the-way.txt").c_str());
            tree.Directory(L"moved");
        } else if (line == L"同步次数: 3") {
            Toggle(host);
        }
    };
    Toggle(host);
    ASSERT_TRUE(host.WaitForLine(kEnd));
    const Texts texts = host.Texts();
    const Texts expected = {
        L"同步次数: 1",
        L"提示: 1 个目录无法访问,如: " + moved,
        L"提示: 1 个文件未能复制,如: " + source + L"\\sub\\in-the-way.txt",
        L"同步次数: 2",
        L"提示: 2 个目录无法访问,如: " + orphan,
        L"同步次数: 3",
        kOff,
    };
    const auto first = std::find(texts.begin(), texts.end(), expected.front());
    ASSERT_NE(first, texts.end());
    EXPECT_EQ(Texts(first, first + std::min<std::ptrdiff_t>(texts.end() - first, expected.size())), expected);
    EXPECT_EQ(qf::test::ReadBytes(target + L"\\fine.txt"), "fine");
    EXPECT_EQ(qf::test::ReadBytes(target + L"\\sub\\in-the-way.txt"), "x");
}

TEST_F(Scheduler, PassRunsAtLoweredPriorityAndTheWorkerReturnsToNormalAfterIt)
{
    FakeSyncHost& host = FakeSyncHost::Make({tree.Directory(L"target"), tree.Directory(L"source")}, L"0");
    std::atomic<int> inPass{THREAD_PRIORITY_ERROR_RETURN};
    std::atomic<int> afterPass{THREAD_PRIORITY_ERROR_RETURN};
    host.onPathOf = [&](int row) {
        if (row == 1)
            inPass = GetThreadPriority(GetCurrentThread());
    };
    host.onLog = [&](const std::wstring& line) {
        if (line == L"同步次数: 1") {
            afterPass = GetThreadPriority(GetCurrentThread());
            Toggle(host);
        }
    };
    Toggle(host);
    ASSERT_TRUE(host.WaitForLine(kEnd));
    EXPECT_LT(inPass.load(), THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(afterPass.load(), THREAD_PRIORITY_NORMAL);
}

}  // namespace
