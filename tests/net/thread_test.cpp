// LThread: restarts, timed stops, and giving up on a thread that never polls.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "net/thread.h"

namespace {

DWORD Since(DWORD start) { return GetTickCount() - start; }

// What the runs of the test workers saw, kept outside the objects because a
// run may outlive its object.
struct Observations {
    std::atomic<int> runsStarted{0};
    std::atomic<int> runsEnded{0};
    std::atomic<bool> stopClearAtStart{false};
    std::atomic<int> runsReady{0};  // counted once stopClearAtStart is known
    std::atomic<bool> stopSeenAtEnd{false};
    std::atomic<bool> postAccepted{false};
};

enum class Behaviour { kReturnAtOnce, kPollUntilStopped, kNeverPoll };

class TestWorker : public LThread {
public:
    TestWorker(Behaviour b, Observations& o, HWND notify = nullptr) : behaviour(b), seen(&o), hwnd(notify) {}
    ~TestWorker() override { StopThreadTimed(5000); }
    const LSignalObject& Signal() const { return stopSignal; }
    HANDLE ThreadHandle() const { return hThread.Get(); }

    Behaviour behaviour;
    Observations* seen;
    HWND hwnd;
    DWORD neverPollMs = 3000;

protected:
    void ThreadFunction() override {
        LRunSignals run;
        Behaviour b = behaviour;
        Observations* o = seen;
        HWND notify = hwnd;
        DWORD busyMs = neverPollMs;
        ++o->runsStarted;
        HandOver(run);
        o->stopClearAtStart = !run.StopRequested();
        ++o->runsReady;
        if (b == Behaviour::kPollUntilStopped) {
            while (!run.StopRequested()) Sleep(20);
        } else if (b == Behaviour::kNeverPoll) {
            // Busy in the heap the whole time, as a run stuck in a library call
            // would be: killing it here could leave the heap locked.
            DWORD start = GetTickCount();
            while (Since(start) < busyMs) {
                void* p = malloc(1000 + rand() % 5000);
                free(p);
            }
        }
        o->stopSeenAtEnd = run.StopRequested();
        if (notify) o->postAccepted = run.Post(notify, WM_APP + 1, 0, 0);
        ++o->runsEnded;
    }
};

bool WaitFor(const std::atomic<int>& counter, int value, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (counter.load() < value) {
        if (Since(start) > timeoutMs) return false;
        Sleep(10);
    }
    return true;
}

}  // namespace

TEST(LThread, StartTwiceRunsOneThread) {
    Observations o;
    TestWorker w(Behaviour::kPollUntilStopped, o);
    w.Start(0);
    EXPECT_EQ(o.runsStarted.load(), 1);  // Start returns once the run has begun
    HANDLE first = w.ThreadHandle();
    w.Start(0);
    Sleep(100);
    EXPECT_EQ(o.runsStarted.load(), 1);
    EXPECT_EQ(w.ThreadHandle(), first);
    EXPECT_TRUE(w.Running());
    DWORD start = GetTickCount();
    w.StopThreadTimed(5000);
    EXPECT_LT(Since(start), 500u);
    EXPECT_EQ(o.runsEnded.load(), 1);
    EXPECT_FALSE(w.Running());
    EXPECT_TRUE(w.Signal().IsSet());  // stays set until the next Start
}

TEST(LThread, RestartsAfterTheThreadEnded) {
    Observations o;
    TestWorker w(Behaviour::kReturnAtOnce, o);
    w.Start(0);
    ASSERT_TRUE(WaitFor(o.runsEnded, 1, 2000));
    // The run has returned; wait until its thread has really exited, or the
    // next Start would rightly find it still running and do nothing.
    ASSERT_EQ(WaitForSingleObject(w.ThreadHandle(), 2000), WAIT_OBJECT_0);
    w.Signal().Set();  // a leftover request must not reach the next run
    w.Start(0);
    ASSERT_TRUE(WaitFor(o.runsEnded, 2, 2000));
    EXPECT_EQ(o.runsStarted.load(), 2);
    EXPECT_TRUE(o.stopClearAtStart.load());
}

TEST(LThread, StopWithoutThreadReturnsAtOnce) {
    Observations o;
    TestWorker w(Behaviour::kReturnAtOnce, o);
    DWORD start = GetTickCount();
    w.StopThreadTimed(5000);
    EXPECT_LT(Since(start), 50u);
    EXPECT_FALSE(w.Signal().IsSet());
    EXPECT_EQ(o.runsStarted.load(), 0);
}

TEST(LThread, DestroyingAfterTheThreadEndedDoesNotWait) {
    Observations o;
    DWORD start;
    {
        TestWorker w(Behaviour::kReturnAtOnce, o);
        w.Start(0);
        ASSERT_TRUE(WaitFor(o.runsEnded, 1, 2000));
        ASSERT_EQ(WaitForSingleObject(w.ThreadHandle(), 2000), WAIT_OBJECT_0);
        start = GetTickCount();
    }
    EXPECT_LT(Since(start), 100u);
}

TEST(LThread, ANeverPollingThreadIsAbandonedNotKilled) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QdxThreadTestSink";
    RegisterClassA(&wc);
    HWND sink = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(sink, nullptr);

    Observations old, fresh;
    TestWorker w(Behaviour::kNeverPoll, old, sink);
    w.Start(0);
    DWORD start = GetTickCount();
    w.StopThreadTimed(500);
    DWORD took = Since(start);
    EXPECT_GE(took, 450u);
    EXPECT_LT(took, 1000u);
    EXPECT_FALSE(w.Running());

    // The object starts again at once, with a clear signal of its own.
    w.behaviour = Behaviour::kPollUntilStopped;
    w.seen = &fresh;
    w.Start(0);
    EXPECT_TRUE(w.Running());
    ASSERT_TRUE(WaitFor(fresh.runsReady, 1, 1000));
    EXPECT_TRUE(fresh.stopClearAtStart.load());
    EXPECT_EQ(old.runsEnded.load(), 0);  // the old one is still at work

    // The heap stays usable while the old run works in it.
    for (int i = 0; i < 10000; ++i) free(malloc(100 + i % 900));

    // The old run ends by itself, having seen its own (set) stop signal, and
    // its late post is held back from the window.
    ASSERT_TRUE(WaitFor(old.runsEnded, 1, 5000));
    EXPECT_TRUE(old.stopSeenAtEnd.load());
    EXPECT_FALSE(old.postAccepted.load());
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, sink, WM_APP + 1, WM_APP + 1, PM_REMOVE));
    EXPECT_TRUE(w.Running());  // the new run was not disturbed

    start = GetTickCount();
    w.StopThreadTimed(5000);
    EXPECT_LT(Since(start), 500u);
    EXPECT_EQ(fresh.runsEnded.load(), 1);
    EXPECT_TRUE(fresh.postAccepted.load());  // a run that was waited for still reports
    EXPECT_TRUE(PeekMessageA(&m, sink, WM_APP + 1, WM_APP + 1, PM_REMOVE));
    DestroyWindow(sink);
}

TEST(LThread, DestroyingWithANeverPollingThreadStaysWithinTheLimit) {
    Observations o;
    DWORD start = GetTickCount();
    {
        TestWorker w(Behaviour::kNeverPoll, o);
        w.neverPollMs = 6500;
        w.Start(0);
    }  // waits its 5000 ms, then leaves the run behind
    DWORD took = Since(start);
    EXPECT_GE(took, 4900u);
    EXPECT_LT(took, 5800u);
    EXPECT_EQ(o.runsEnded.load(), 0);
    ASSERT_TRUE(WaitFor(o.runsEnded, 1, 4000));  // it finished on its own, object long gone
}
