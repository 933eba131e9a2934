// The run options in the real window: going on past failures with one box
// at the end, the time limit, retries, and the caption's time left.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "engine/child_process.h"
#include "tests/app/app_window.h"
#include "tests/support/box_answer.h"
#include "tests/support/child_program.h"
#include "tests/support/drawn_text.h"
#include "tests/support/message_pump.h"
#include "tests/support/temp_dir.h"
#include "tests/support/timer_script.h"
#include "tests/support/window_queries.h"

namespace {

typedef std::vector<std::wstring> Paths;

int SelectedIndex(const AppWindow& app) {
    std::vector<int> selected = app.Selected();
    return selected.empty() ? -1 : selected[0];
}

// Whether a text beginning so was drawn (a box's message goes on with the command line).
bool SawStarting(const DrawnText& drawn, const std::wstring& start) {
    for (const std::wstring& text : drawn.Texts()) {
        if (text.compare(0, start.size(), start) == 0) return true;
    }
    return false;
}

// Runs with every box answered OK, counting the boxes.
int RunCountingBoxes(AppWindow& app, BoxAnswer& first) {
    app.PassTime(RunController::kRunAfterEndMs);
    BoxAnswer second, third;
    TimerScript script;
    script.Then(AnswerBox(&first, IDOK)).Then(AnswerBox(&second, IDOK)).Then(AnswerBox(&third, IDOK));
    script.Start();
    app.Click(IDC_RUN_BUTTON);
    EXPECT_TRUE(app.WaitForRunEnd());
    PumpFor(500);
    return (first.seen ? 1 : 0) + (second.seen ? 1 : 0) + (third.seen ? 1 : 0);
}

}  // namespace

TEST(GoOn, ThreeOfTenFailingGiveOneBoxTheSummaryAndTheFirstFailureSelected) {
    TempDir dir;
    // Three of the files carry a mark that makes their command end with 3.
    Paths targets;
    for (int i = 0; i < 10; ++i) targets.push_back(dir.WriteFile(L"写真 " + std::to_wstring(i) + L".txt", "x"));
    for (int i : {2, 5, 8}) dir.WriteFile(L"写真 " + std::to_wstring(i) + L".txt.bad", "");
    std::wstring command = L"cmd /c if exist \"$fullname.bad\" (exit 3) else (echo ok> \"$fulltitle.ran\")";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    settings.onFailure = 1;
    settings.checkExitCode = 1;
    AppWindow app(&settings);
    app.AddTargets(targets);
    DrawnText drawn;
    BoxAnswer box;
    EXPECT_EQ(1, RunCountingBoxes(app, box)) << "one box for the whole run";
    EXPECT_EQ(L"エラー", box.caption);
    EXPECT_TRUE(SawStarting(drawn, L"完了 7 件、失敗 3 件、未実行 0 件\n\n対象ファイル: " + targets[2] +
                                       L"\n\n終了コード 3 で終了しました。\n"));
    for (int i = 0; i < 10; ++i) {
        bool ran = i != 2 && i != 5 && i != 8;
        EXPECT_EQ(ran, FileExists(dir.Join(L"写真 " + std::to_wstring(i) + L".ran"))) << i;
    }
    // The done ones left; the first failure is selected, the summary under the list.
    EXPECT_EQ((Paths{targets[2], targets[5], targets[8]}), app.List());
    EXPECT_EQ(0, SelectedIndex(app));
    EXPECT_EQ(L"完了 7 件、失敗 3 件、未実行 0 件", app.Text(IDC_RESULT_DETAIL));
    app.Select(1);
    EXPECT_EQ(0u, app.Text(IDC_RESULT_DETAIL).find(L"終了コード異常"));

    // 停止する: the first failure ends the run, as before.
    HWND combo = app.Control(IDC_ON_FAILURE_COMBO);
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
    SendMessageW(app.Panel(), WM_COMMAND, MAKEWPARAM(IDC_ON_FAILURE_COMBO, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    DeleteFileW((targets[2] + L".bad").c_str());
    BoxAnswer stopBox;
    EXPECT_EQ(1, RunCountingBoxes(app, stopBox));
    EXPECT_TRUE(FileExists(dir.Join(L"写真 2.ran")));
    EXPECT_FALSE(FileExists(dir.Join(L"写真 8.ran"))) << "nothing after the failure";
    EXPECT_EQ((Paths{targets[5], targets[8]}), app.List());
    EXPECT_EQ(0u, app.Text(IDC_RESULT_DETAIL).find(L"終了コード異常")) << "the failure's own details, as before";
}

TEST(TimeLimit, AHungCommandIsEndedAsTimedOutAndTheNextFilesRun) {
    TempDir dir;
    Paths targets = {dir.WriteFile(L"a.txt", "a"), dir.WriteFile(L"b.txt", "b"), dir.WriteFile(L"c.txt", "c")};
    // The first waits for a file that never comes; the others find theirs.
    dir.WriteFile(L"b.txt.go", "");
    dir.WriteFile(L"c.txt.go", "");
    std::wstring command = ChildProgram() + L" await \"$fullname.go\" 60000 write \"$fullname.ran\" x";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    settings.onFailure = 1;
    settings.timeLimit = 2;
    AppWindow app(&settings);
    app.AddTargets(targets);
    DrawnText drawn;
    BoxAnswer box;
    EXPECT_EQ(1, RunCountingBoxes(app, box));
    EXPECT_TRUE(SawStarting(drawn, L"完了 2 件、失敗 1 件、未実行 0 件\n\n対象ファイル: " + targets[0] +
                                       L"\n\n制限時間 2 秒を過ぎたため終了しました。"));
    EXPECT_TRUE(FileExists(targets[1] + L".ran"));
    EXPECT_TRUE(FileExists(targets[2] + L".ran"));
    EXPECT_FALSE(FileExists(targets[0] + L".ran"));
    EXPECT_EQ((Paths{targets[0]}), app.List());
    EXPECT_EQ(TargetStatus::TimedOut, app.window->EntryStatus(0));
    app.Select(0);
    std::wstring details = app.Text(IDC_RESULT_DETAIL);
    EXPECT_EQ(0u, details.find(L"時間切れ　")) << "no exit codes for a step that was ended";
    EXPECT_NE(std::wstring::npos, details.find(L"制限時間 2 秒を過ぎたため終了しました。"));
}

TEST(Retries, ACommandFailingTheFirstTimeOnlyIsDoneOnItsSecondTry) {
    TempDir dir;
    Paths targets = {dir.WriteFile(L"a.txt", "a"), dir.WriteFile(L"b.txt", "b")};
    // Fails (exit 3) while its mark is missing, leaving the mark; then succeeds.
    std::wstring command = L"cmd /c if exist \"$fullname.1\" (echo ok> \"$fullname.ok\") else (echo x> \"$fullname.1\" & exit 3)";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", false);
    settings.checkExitCode = 1;
    settings.retries = 2;
    AppWindow app(&settings);
    app.AddTargets(targets);
    BoxAnswer box;
    EXPECT_EQ(0, RunCountingBoxes(app, box)) << "nothing failed in the end";
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(TargetStatus::Done, app.window->EntryStatus(i)) << i;
        EXPECT_TRUE(FileExists(targets[i] + L".ok")) << i;
    }
    app.Select(1);
    EXPECT_NE(std::wstring::npos, app.Text(IDC_RESULT_DETAIL).find(L"　試行 2 回"));
    EXPECT_EQ(2, app.window->GetEntryResult(1)->tries);

    // Without retries the same command fails the first time.
    app.SetText(IDC_RETRIES_EDIT, L"0");
    Paths fresh = {dir.WriteFile(L"c.txt", "c")};
    app.AddTargets(fresh);
    BoxAnswer failed;
    EXPECT_EQ(1, RunCountingBoxes(app, failed));
    EXPECT_EQ(TargetStatus::Done, app.window->EntryStatus(0));
    EXPECT_EQ(TargetStatus::NonZeroExit, app.window->EntryStatus(2));
    EXPECT_EQ(1, app.window->GetEntryResult(2)->tries);
    EXPECT_FALSE(FileExists(fresh[0] + L".ok"));
}

TEST(TimeLeft, TheCaptionShowsTheEstimateOnceAFileHasFinishedAndFiveSecondsPassed) {
    TempDir dir;
    Paths targets = {dir.Join(L"a.txt"), dir.Join(L"b.txt"), dir.Join(L"c.txt")};
    std::wstring command = ChildProgram() + L" sleep 2000 write \"$fullname.done\" x";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    AppWindow app(&settings);
    app.AddTargets(targets);
    app.Click(IDC_RUN_BUTTON);
    // Before any file has finished: the progress alone.
    EXPECT_EQ(L"処理中(1/3) - 対象ファイルにコマンドを実行する", WindowText(app.Frame()));
    std::wregex estimate(L"処理中\\([23]/3\\) 残り約 [0-9]+秒 - 対象ファイルにコマンドを実行する");
    bool seen = false;
    PumpUntil(L"the estimate or the end of the run", [&] {
        seen = std::regex_match(WindowText(app.Frame()), estimate);
        return seen || app.window->RunControl().State() == RunState::Idle;
    });
    EXPECT_TRUE(seen) << "no estimate in the caption";
    EXPECT_TRUE(app.WaitForRunEnd());
    EXPECT_EQ(kIdleCaption, WindowText(app.Frame()));
}
