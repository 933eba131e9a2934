// The run controller without a window: what a press of the run button comes
// to on a clock the test moves, and the caption's figures and time left.
#include "app/run_controller.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/support/child_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace {

using Press = RunController::Press;

// A run's life, in milliseconds after the test's base time: Run, the first
// Stop, 強制終了 pressed too soon and then once armed, a press while the end
// waits to be collected (at kCollectedAt), and the presses after it.
struct PressStep {
    DWORD at;
    Press comesTo;
    RunState after;
};
const DWORD kCollectedAt = 2000;
const PressStep kRunLife[] = {
    {0, Press::Start, RunState::Running},  // the test starts the run
    {10, Press::Stopped, RunState::Stopping},
    {300, Press::Ignored, RunState::Stopping},  // a double-click's second click
    {10 + RunController::kForceStopArmMs - 1, Press::Ignored, RunState::Stopping},
    {10 + RunController::kForceStopArmMs, Press::Stopped, RunState::Ended},
    {1500, Press::Ignored, RunState::Ended},
    {kCollectedAt + 100, Press::Ignored, RunState::Idle},
    {kCollectedAt + RunController::kRunAfterEndMs - 1, Press::Ignored, RunState::Idle},
    {kCollectedAt + RunController::kRunAfterEndMs, Press::Start, RunState::Idle},
};

std::vector<RunTarget> Targets(const TempDir& temp, const std::vector<std::wstring>& names) {
    std::vector<RunTarget> targets;
    for (const std::wstring& name : names) {
        targets.push_back(RunTarget{VQWString(temp.Join(name).c_str()), VQWString(), false});
    }
    return targets;
}

}  // namespace

TEST(RunPress, EachPressComesToWhatTheTimeSinceTheLastChangeAllows) {
    // The clock wraps while 強制終了 arms from the second base, and while Run
    // waits after the end from the third.
    for (DWORD base : {DWORD(0), DWORD(0xFFFFFE0C), DWORD(0xFFFFF768)}) {
        TempDir temp;
        DWORD now = base;
        RunController run(nullptr, [&now] { return now; });
        EXPECT_EQ(Press::Ignored, run.OnPress()) << "no worker";
        ASSERT_TRUE(run.Runner().CreateWorker());
        // The first Stop lets a running step finish: the step must be running by then.
        VQWString command((ChildProgram() + L" write \"$fullname.started\" x sleep 20000").c_str());
        bool started = false, collected = false;
        for (const PressStep& step : kRunLife) {
            if (!collected && step.at > kCollectedAt) {
                now = base + kCollectedAt;
                run.Finish();
                collected = true;
            }
            now = base + step.at;
            EXPECT_EQ(step.comesTo, run.OnPress()) << "at " << step.at << " from " << base;
            if (step.comesTo == Press::Start && !started) {
                ASSERT_EQ(BatchRunner::Started, run.Start(VQWString(), command, VQWString(), VQWString(),
                                                          Targets(temp, {L"a.txt"}), RunOptions(), nullptr));
                started = true;
                ASSERT_TRUE(FileAppearsWithin(temp.Join(L"a.txt.started")));
            }
            if (step.after == RunState::Ended) {
                ASSERT_TRUE(WaitUntil(L"the forced end", [&] { return run.State() == RunState::Ended; }));
            }
            EXPECT_EQ(step.after, run.State()) << "at " << step.at << " from " << base;
        }
        EXPECT_TRUE(run.StopRequested());
    }
}

TEST(RunCaption, TheProgressCountsTheStartedAndTheTimeLeftComesAfterFiveSeconds) {
    TempDir temp;
    DWORD now = 100000;
    RunController run(nullptr, [&now] { return now; });
    ASSERT_TRUE(run.Runner().CreateWorker());
    // a.0 ends at once, b.20000 goes on; c is skipped and does not count.
    std::vector<bool> skip = {false, false, true};
    VQWString command((ChildProgram() + L" sleep $ext").c_str());
    ASSERT_EQ(BatchRunner::Started, run.Start(VQWString(), command, VQWString(), VQWString(),
                                              Targets(temp, {L"a.0", L"b.20000", L"c.0"}), RunOptions(), &skip));
    ASSERT_TRUE(WaitUntil(L"a's end and b's start", [&] {
        return run.Progress().finished == 1 && run.Runner().GetStartedCount() == 2;
    }));
    const VQWString idle(L"写真 - 対象ファイルにコマンドを実行する");
    now += 4999;
    EXPECT_EQ(L"処理中(2/2) - 写真 - 対象ファイルにコマンドを実行する",
              std::wstring(run.ProgressCaption(RunState::Running, idle).Text()));
    now += 1;
    std::wregex estimate(L"処理中\\(2/2\\) 残り約 [0-9]+(秒|分) - 写真 - 対象ファイルにコマンドを実行する");
    EXPECT_TRUE(std::regex_match(std::wstring(run.ProgressCaption(RunState::Running, idle).Text()), estimate))
        << run.ProgressCaption(RunState::Running, idle).Text();
    EXPECT_EQ(1, run.Progress().finished);
    EXPECT_EQ(2, run.Progress().total);
    ASSERT_EQ(Press::Stopped, run.OnPress());
    EXPECT_EQ(L"停止中(2/2) - 写真 - 対象ファイルにコマンドを実行する",
              std::wstring(run.ProgressCaption(RunState::Stopping, idle).Text()));
}
