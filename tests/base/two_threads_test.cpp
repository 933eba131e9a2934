#include "base/two_threads.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

TEST(TwoThreads, EachShareRunsOnceTheSecondOnAnotherThread) {
    DWORD caller = GetCurrentThreadId();
    DWORD ran[2] = {0, 0};
    std::atomic<int> runs[2];
    runs[0] = runs[1] = 0;
    RunOnTwoThreads([&](int share) {
        ++runs[share];
        ran[share] = GetCurrentThreadId();
    });
    EXPECT_EQ(1, runs[0].load());
    EXPECT_EQ(1, runs[1].load());
    EXPECT_EQ(caller, ran[0]);
    EXPECT_NE(caller, ran[1]);
}

TEST(TwoThreads, BesideTheCallerOrInItsJoinButNeverTwice) {
    DWORD caller = GetCurrentThreadId();
    for (bool beside : {true, false}) {
        DWORD ran[2] = {0, 0};
        std::atomic<int> runs(0);
        auto work = [&](int share) {
            ++runs;
            ran[share] = GetCurrentThreadId();
        };
        {
            TwoThreadsBeside<decltype(work)> threads(work, beside);
            threads.Join();
            threads.Join();
            EXPECT_EQ(2, runs.load()) << beside;
        }
        EXPECT_EQ(2, runs.load()) << "not again when it ends";
        for (DWORD id : ran) {
            EXPECT_NE(0u, id);
            EXPECT_EQ(beside, id != caller) << "beside " << beside;
        }
    }
}
