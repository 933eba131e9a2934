#include "engine/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// A job that reports what it saw and runs until the test releases it.
struct Gate {
    HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> runs{0};
    std::atomic<int> seenCode{0};
    std::atomic<bool> sawCancel{false};
    std::atomic<bool> sawQuit{false};
    std::atomic<bool> ignoreStop{false};  // a job busy elsewhere, deaf to quit and cancel
    void* seenParam = nullptr;

    ~Gate() {
        CloseHandle(entered);
        CloseHandle(release);
    }
};

Gate* gate = nullptr;

int GateJob(VQThread* thread, void* param) {
    gate->seenParam = param;
    gate->seenCode = thread->code.load();
    SetEvent(gate->entered);
    // Waits for the release, or notices a stop request as a real job would.
    while (WaitForSingleObject(gate->release, 5) == WAIT_TIMEOUT) {
        if (!gate->ignoreStop && (thread->cancel || thread->quit)) break;
    }
    gate->sawCancel = thread->cancel.load();
    gate->sawQuit = thread->quit.load();
    ++gate->runs;
    return 7;
}

class ThreadTest : public testing::Test {
protected:
    void SetUp() override { gate = &state; }
    void TearDown() override {
        SetEvent(state.release);
        worker.Destroy();
        gate = nullptr;
    }

    bool Entered() { return WaitForSingleObject(state.entered, 10000) == WAIT_OBJECT_0; }

    Gate state;
    VQWin32ThreadEx worker{GateJob};
};

}  // namespace

TEST_F(ThreadTest, NothingWorksBeforeCreate) {
    EXPECT_FALSE(worker.IsCreated());
    EXPECT_FALSE(worker.IsIdle());
    EXPECT_FALSE(worker.IsBusy(false));
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_FALSE(worker.Post(1, nullptr, false));
    EXPECT_TRUE(worker.Wait(0, true, false));
    worker.Destroy();  // harmless
    EXPECT_EQ(0, state.runs.load());
}

TEST_F(ThreadTest, PostRunsTheJobAndTheStateFollowsTheTable) {
    ASSERT_TRUE(worker.Create());
    EXPECT_TRUE(worker.IsCreated());
    EXPECT_NE(0u, worker.threadId);
    EXPECT_TRUE(worker.IsIdle());
    EXPECT_FALSE(worker.IsBusy(false));
    EXPECT_FALSE(worker.IsBusy(true));
    EXPECT_TRUE(worker.Wait(0, true, false));
    EXPECT_FALSE(worker.Post(0, nullptr, false));
    EXPECT_FALSE(worker.Post(-1, nullptr, false));

    int marker = 0;
    ASSERT_TRUE(worker.Post(1, &marker, false));
    ASSERT_TRUE(Entered());
    EXPECT_EQ(&marker, state.seenParam);
    EXPECT_EQ(1, state.seenCode.load());
    EXPECT_FALSE(worker.IsIdle());
    EXPECT_TRUE(worker.IsBusy(false));
    EXPECT_TRUE(worker.IsBusy(true));
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_FALSE(worker.Post(2, nullptr, false)) << "one job at a time";
    EXPECT_FALSE(worker.Wait(0, true, false));
    EXPECT_EQ(1, worker.code.load());

    SetEvent(state.release);
    ASSERT_TRUE(worker.Wait(10000, false, false));
    EXPECT_EQ(1, state.runs.load());
    // Ended, but nobody has collected it yet: neither idle nor busy, and a
    // second Run press (Post) does nothing.
    EXPECT_EQ(1, worker.code.load());
    EXPECT_FALSE(worker.IsIdle());
    EXPECT_FALSE(worker.IsBusy(true));
    EXPECT_TRUE(worker.IsBusy(false));
    EXPECT_FALSE(worker.Post(1, nullptr, false));
    EXPECT_EQ(1, state.runs.load());

    // The timer's collection puts the code back to 0.
    EXPECT_TRUE(worker.Wait(0, true, false));
    EXPECT_EQ(0, worker.code.load());
    EXPECT_TRUE(worker.IsIdle());
    ResetEvent(state.entered);
    ASSERT_TRUE(worker.Post(4, nullptr, false));
    ASSERT_TRUE(worker.Wait(10000, true, false));
    EXPECT_EQ(4, state.seenCode.load());
    EXPECT_EQ(2, state.runs.load());
}

TEST_F(ThreadTest, CancelIsRequestedByWaitAndClearedByPost) {
    ASSERT_TRUE(worker.Create());
    ASSERT_TRUE(worker.Post(1, nullptr, false));
    ASSERT_TRUE(Entered());
    EXPECT_FALSE(worker.Wait(0, false, true));
    EXPECT_TRUE(worker.cancel.load());
    ASSERT_TRUE(worker.Wait(10000, true, false));
    EXPECT_TRUE(state.sawCancel.load());

    ResetEvent(state.entered);
    ASSERT_TRUE(worker.Post(1, nullptr, false));
    EXPECT_FALSE(worker.cancel.load());
    ASSERT_TRUE(Entered());
    SetEvent(state.release);
    ASSERT_TRUE(worker.Wait(10000, true, false));
    EXPECT_FALSE(state.sawCancel.load());
}

TEST_F(ThreadTest, NegatedCodeIsAFinishedJobAndGoesBackToZero) {
    ASSERT_TRUE(worker.Create());
    SetEvent(state.release);
    ASSERT_TRUE(worker.Post(3, nullptr, true));
    ASSERT_TRUE(worker.Wait(10000, false, false));
    // Wait without clearCode still resets a negative code.
    EXPECT_EQ(0, worker.code.load());

    ASSERT_TRUE(worker.Post(5, nullptr, true));
    while (worker.code.load() > 0) Sleep(1);
    EXPECT_EQ(-5, worker.code.load());
    EXPECT_FALSE(worker.negateAfter.load());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker.doneEvent, 10000));
    EXPECT_TRUE(worker.IsBusy(false));
    EXPECT_FALSE(worker.IsBusy(true));
    EXPECT_EQ(0, worker.code.load());

    ASSERT_TRUE(worker.Post(6, nullptr, true));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker.doneEvent, 10000));
    while (worker.code.load() > 0) Sleep(1);
    EXPECT_TRUE(worker.IsIdle());
    EXPECT_EQ(0, worker.code.load());
}

TEST_F(ThreadTest, DestroyStopsARunningJobAndEndsTheThread) {
    ASSERT_TRUE(worker.Create());
    ASSERT_TRUE(worker.Post(1, nullptr, false));
    ASSERT_TRUE(Entered());
    HANDLE handle = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), worker.threadHandle, GetCurrentProcess(), &handle, SYNCHRONIZE,
                                FALSE, 0));
    DWORD start = GetTickCount();
    worker.Destroy();
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_TRUE(state.sawQuit.load());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(handle, 5000)) << "the thread has ended";
    CloseHandle(handle);
    EXPECT_FALSE(worker.IsCreated());
    EXPECT_EQ(0u, worker.threadId);
    EXPECT_EQ(nullptr, worker.threadHandle);
    EXPECT_EQ(nullptr, worker.startEvent);
    EXPECT_EQ(nullptr, worker.doneEvent);
    EXPECT_FALSE(worker.IsIdle());

    // The object can be created again and works.
    ResetEvent(state.entered);
    SetEvent(state.release);
    ASSERT_TRUE(worker.Create());
    EXPECT_TRUE(worker.IsIdle());
    ASSERT_TRUE(worker.Post(1, nullptr, false));
    ASSERT_TRUE(worker.Wait(10000, true, false));
    EXPECT_EQ(2, state.runs.load());
}

TEST_F(ThreadTest, DestroyOfAnIdleThreadEndsItWithoutRunningAJob) {
    ASSERT_TRUE(worker.Create());
    worker.Destroy();
    EXPECT_FALSE(worker.IsCreated());
    EXPECT_EQ(0, state.runs.load());
}

TEST_F(ThreadTest, DestroyWaitsForTheThreadEvenWhenTheJobOutlastsTheWait) {
    // A job that does not look at quit in time: the object must still not be
    // left to a thread that runs on.
    worker.destroyWaitMs = 50;
    state.ignoreStop = true;
    ASSERT_TRUE(worker.Create());
    ASSERT_TRUE(worker.Post(1, nullptr, false));
    ASSERT_TRUE(Entered());
    std::thread releaser([this] {
        Sleep(600);
        SetEvent(state.release);
    });
    HANDLE handle = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), worker.threadHandle, GetCurrentProcess(), &handle, SYNCHRONIZE,
                                FALSE, 0));
    worker.Destroy();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(handle, 0)) << "Destroy returned before the thread ended";
    CloseHandle(handle);
    releaser.join();
}

TEST_F(ThreadTest, TellsOfTheJobsEndOnceWaitSeesIt) {
    ASSERT_TRUE(worker.Create());
    HANDLE told = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> doneWhenTold{false};
    worker.onDone = [&] {
        doneWhenTold = worker.Wait(0, false, false);
        SetEvent(told);
    };
    ASSERT_TRUE(worker.Post(1, nullptr, false));
    ASSERT_TRUE(Entered());
    SetEvent(state.release);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(told, 10000));
    EXPECT_TRUE(doneWhenTold);
    worker.Destroy();
    worker.onDone = nullptr;
    CloseHandle(told);
}
