// MessageWait and PumpMessages on the test's own thread: how long, at what processor cost,
// and what happens to the messages that arrive meanwhile.
#include "sync/message_wait.h"
#include "sync/pump_messages.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>
#include <vector>

#include "tests/support/window_driver.h"
#include "win/unique_handle.h"

namespace {

double Seconds()
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Kernel plus user time of the calling thread.
double ThreadCpuSeconds()
{
    FILETIME created;
    FILETIME exited;
    FILETIME kernel;
    FILETIME user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (value(kernel) + value(user)) / 1e7;
}

// A window on the test's thread that records which messages reached it, and when.
struct Receiver {
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message >= WM_APP && message < WM_APP + 16) {
            gReceived.push_back(message);
            gReceivedAt.push_back(Seconds());
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    Receiver()
    {
        window = qf::test::CreateTestWindow(L"QfWaitReceiver", 0, 0, 0, 0, Proc, HWND_MESSAGE);
        gReceived.clear();
        gReceivedAt.clear();
    }
    ~Receiver() { DestroyWindow(window); }
    HWND window;
    static std::vector<UINT> gReceived;
    static std::vector<double> gReceivedAt;
};
std::vector<UINT> Receiver::gReceived;
std::vector<double> Receiver::gReceivedAt;

void DropQueuedQuit()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

TEST(MessageWait, WaitsTheTimeOnTheTimerWithoutProcessorTimeAndServesMessages)
{
    Receiver receiver;
    const HWND window = receiver.window;
    std::thread poster([window] {
        Sleep(300);
        PostMessageW(window, WM_APP, 0, 0);
        Sleep(300);
        SendMessageW(window, WM_APP + 1, 0, 0);  // a sent message must be served too
    });
    const double cpuBefore = ThreadCpuSeconds();
    const double start = Seconds();
    qf::MessageWait(2000);
    const double elapsed = Seconds() - start;
    const double cpu = ThreadCpuSeconds() - cpuBefore;
    poster.join();

    EXPECT_GE(elapsed, 1.9);
    EXPECT_LT(elapsed, 4.0);
    EXPECT_LT(cpu, 0.2) << "a wait must not spin";
    ASSERT_EQ(Receiver::gReceived, (std::vector<UINT>{WM_APP, WM_APP + 1}));
    EXPECT_LT(Receiver::gReceivedAt[0] - start, 1.0) << "messages are dispatched during the wait";
}

TEST(MessageWait, ZeroOrLessReturnsAtOnce)
{
    const double start = Seconds();
    qf::MessageWait(0);
    qf::MessageWait(-5000);
    qf::MessageWait(std::numeric_limits<long long>::min());
    EXPECT_LT(Seconds() - start, 0.2);
}

TEST(MessageWait, AQuitLeftInTheQueueNeitherShortensTheWaitNorMakesItSpin)
{
    PostQuitMessage(3);
    const double cpuBefore = ThreadCpuSeconds();
    const double start = Seconds();
    qf::MessageWait(1000);
    const double elapsed = Seconds() - start;
    const double cpu = ThreadCpuSeconds() - cpuBefore;
    EXPECT_GE(elapsed, 0.95);
    EXPECT_LT(cpu, 0.2);
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 3u);
    DropQueuedQuit();
}

DWORD WINAPI WaitPastThirtyTwoBits(void*)
{
    qf::MessageWait(4294968000LL);
    return 0;
}

TEST(MessageWait, WaitsPastTheThirtyTwoBitRange)
{
    // 2147484 seconds in milliseconds no longer fits 32 bits; wrapped, the wait would be
    // negative and over at once.
    EXPECT_EQ(qf::TimerDueTime(2147484000LL), -21474840000000LL);
    EXPECT_LT(qf::TimerDueTime(std::numeric_limits<long long>::max()), 0);
    qf::KernelHandle waiter(CreateThread(nullptr, 0, WaitPastThirtyTwoBits, nullptr, 0, nullptr));
    ASSERT_TRUE(waiter);
    EXPECT_EQ(WaitForSingleObject(waiter.get(), 500), static_cast<DWORD>(WAIT_TIMEOUT));
    // The thread is left waiting; the process ends it.
}

TEST(TimeoutMessageWait, WaitsWithoutATimerAndWithoutSpinning)
{
    Receiver receiver;
    PostMessageW(receiver.window, WM_APP + 2, 0, 0);
    PostQuitMessage(0);
    const double cpuBefore = ThreadCpuSeconds();
    const double start = Seconds();
    qf::TimeoutMessageWait(GetTickCount64() + 1000);
    const double elapsed = Seconds() - start;
    EXPECT_GE(elapsed, 0.95);
    EXPECT_LT(elapsed, 3.0);
    EXPECT_LT(ThreadCpuSeconds() - cpuBefore, 0.2);
    EXPECT_EQ(Receiver::gReceived, std::vector<UINT>{WM_APP + 2});
    DropQueuedQuit();
    const double past = Seconds();
    qf::TimeoutMessageWait(GetTickCount64() - 1);
    EXPECT_LT(Seconds() - past, 0.1);
}

TEST(PumpMessages, DispatchesUpToAQuitAndLeavesItQueued)
{
    Receiver receiver;
    PostMessageW(receiver.window, WM_APP, 0, 0);
    PostThreadMessageW(GetCurrentThreadId(), WM_QUIT, 9, 0);
    PostMessageW(receiver.window, WM_APP + 1, 0, 0);
    qf::PumpMessages();
    EXPECT_EQ(Receiver::gReceived, std::vector<UINT>{WM_APP});
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 9u);
    qf::PumpMessages();
    EXPECT_EQ(Receiver::gReceived, (std::vector<UINT>{WM_APP, WM_APP + 1}));
    EXPECT_FALSE(PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE));
}

}  // namespace
