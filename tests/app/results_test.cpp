// What a run leaves in the window: a result for every entry (its mark and
// its line of details), removal by result, the first failure selected and
// named, the two stages of Stop, the taskbar's progress, the results file,
// and the list kept for the next start.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/app_window.h"
#include "tests/support/box_answer.h"
#include "tests/support/child_program.h"
#include "tests/support/drawn_text.h"
#include "tests/support/message_pump.h"
#include "tests/support/temp_dir.h"
#include "tests/support/timer_script.h"
#include "tests/support/window_queries.h"
#include "win32/taskbar.h"

namespace {

typedef std::vector<std::wstring> Paths;

// Every call the window makes to the taskbar, in order.
class TaskbarRecorder : public VQTaskbar {
public:
    TaskbarRecorder() { previous = VQSetTaskbar(this); }
    ~TaskbarRecorder() override { VQSetTaskbar(previous); }
    void SetProgress(HWND, State state, int done, int total) override {
        calls.push_back({state, done, total});
    }
    void Flash(HWND) override { ++flashes; }

    struct Call {
        State state;
        int done;
        int total;
    };
    std::vector<Call> calls;
    int flashes = 0;

private:
    VQTaskbar* previous;
};

std::vector<std::wstring> openedFiles;
bool RecordOpen(HWND, const wchar_t* path) {
    openedFiles.push_back(path);
    return true;
}

}  // namespace

TEST(Results, EachEntryKeepsItsOwnResultAndOnlyTheDoneOnesLeave) {
    TempDir dir;
    // Two slots: the middle target fails late, while the third already ran.
    std::wstring command = ChildProgram() + L" sleep $ext exit $title";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    settings.checkExitCode = 1;
    settings.parallel = 2;
    AppWindow app(&settings);
    Paths targets = {dir.Join(L"0.0"), dir.Join(L"3.900"), dir.Join(L"0.1"), dir.Join(L"0.2")};
    app.AddTargets(targets);
    TaskbarRecorder taskbar;
    DrawnText drawn;
    BoxAnswer error;
    ASSERT_TRUE(app.RunAnswering(IDOK, &error));

    EXPECT_EQ(L"エラー", error.caption);
    EXPECT_TRUE(drawn.Saw(L"対象ファイル: " + targets[1] + L"\n\n終了コード 3 で終了しました。\n" + ChildProgram() +
                          L" sleep 900 exit 3"));
    // The failed entry stays; the ones done around it leave; what never ran stays too.
    Paths left = app.List();
    ASSERT_FALSE(left.empty());
    EXPECT_EQ(targets[1], left[0]);
    for (const std::wstring& entry : left) {
        EXPECT_TRUE(entry != targets[0] && entry != targets[2]) << "a done entry stayed";
    }
    // The failure is selected, with its details under the list.
    EXPECT_EQ(TargetStatus::NonZeroExit, app.window->EntryStatus(0));
    EXPECT_EQ(std::vector<int>{0}, app.Selected());
    std::wstring details = app.Text(IDC_RESULT_DETAIL);
    EXPECT_EQ(0u, details.find(L"終了コード異常　終了コード - / 3　")) << std::string(details.begin(), details.end());
    EXPECT_NE(std::wstring::npos, details.find(L"終了コード 3 で終了しました。"));
    // Progress went to the taskbar and ended in the error state (cleared once
    // the window is active again); the end was flashed.
    ASSERT_FALSE(taskbar.calls.empty());
    EXPECT_EQ(VQTaskbar::kNormal, taskbar.calls.front().state);
    EXPECT_EQ(4, taskbar.calls.front().total);
    bool sawFullError = false;
    for (const auto& call : taskbar.calls) {
        sawFullError = sawFullError || (call.state == VQTaskbar::kError && call.done == 4 && call.total == 4);
    }
    EXPECT_TRUE(sawFullError);
    EXPECT_EQ(1, taskbar.flashes);
}

TEST(Results, WithoutCheckingCodesEveryEntryIsDoneAndLeavesAsBefore) {
    TempDir dir;
    // Each target's line of its own: the same line for both would ask first.
    std::wstring command = ChildProgram() + L" write \"$fullname.ran\" x exit 5";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", false);
    AppWindow app(&settings);
    Paths targets = {dir.Join(L"a.txt"), dir.Join(L"b.txt")};
    app.AddTargets(targets);
    ASSERT_TRUE(app.RunAnswering(IDOK));
    // Kept (the box is not ticked): each shows its result, codes recorded but not judged.
    EXPECT_EQ(targets, app.List());
    for (int i = 0; i < 2; ++i) EXPECT_EQ(TargetStatus::Done, app.window->EntryStatus(i));
    app.Select(1);
    EXPECT_EQ(0u, app.Text(IDC_RESULT_DETAIL).find(L"完了　終了コード - / 5　"));
    // An entry added after the run has no result.
    app.AddTargets({dir.Join(L"c.txt")});
    EXPECT_EQ(nullptr, app.window->GetEntryResult(2));
    app.Select(2);
    EXPECT_EQ(L"", app.Text(IDC_RESULT_DETAIL));
}

TEST(Results, AHiddenCommandsFirstLineShowsInItsDetails) {
    TempDir dir;
    std::wstring command = ChildProgram() + L" out \"\\r\\n  1 個のファイルをコピーしました。\\r\\n\"";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", false);
    settings.hideCommand = 1;
    AppWindow app(&settings);
    app.AddTargets({dir.Join(L"a.txt")});
    ASSERT_TRUE(app.RunAnswering(IDOK));
    app.Select(0);
    std::wstring details = app.Text(IDC_RESULT_DETAIL);
    EXPECT_NE(std::wstring::npos, details.find(L"　  1 個のファイルをコピーしました。"));
}

TEST(Results, TheResultsFileIsWrittenAndOpenedInItsProgram) {
    TempDir dir;
    std::wstring command = ChildProgram() + L" write \"$fullname.ran\" x exit 0";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    AppWindow app(&settings);
    openedFiles.clear();
    app.window->openInDefaultProgram = RecordOpen;
    // Before any run there is nothing to open: the window says so.
    DrawnText drawn;
    BoxAnswer none;
    TimerScript script;
    script.Then(AnswerBox(&none, IDOK));
    script.Start();
    app.Click(IDC_OPEN_RESULTS_BUTTON);
    EXPECT_TRUE(drawn.Saw(L"開く結果ファイルがありません。"));
    EXPECT_TRUE(openedFiles.empty());

    app.AddTargets({dir.Join(L"写真 1.jpg"), dir.Join(L"a,b.txt")});
    ASSERT_TRUE(app.RunAnswering(IDOK));
    std::wstring written = app.window->RunControl().Runner().GetLastResultsFile().Text();
    ASSERT_EQ(0u, written.find(app.appData.Join(L"Quenbrix\\runs\\")));
    std::string csv = TempDir::ReadWholeFile(written);
    // The run's two targets, the one with a comma quoted.
    std::wstring commaPath = dir.Join(L"a,b.txt");
    char utf8[MAX_PATH * 3] = {};
    WideCharToMultiByte(CP_UTF8, 0, commaPath.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
    EXPECT_NE(std::string::npos, csv.find("\r\n2,\"" + std::string(utf8) + "\",完了,"));
    app.Click(IDC_OPEN_RESULTS_BUTTON);
    ASSERT_EQ(1u, openedFiles.size());
    EXPECT_EQ(written, openedFiles[0]);
}

TEST(Results, FirstStopShowsItAndTheSecondEndsTheCommands) {
    TempDir dir;
    std::wstring command = ChildProgram() + L" write \"$fullname.started\" x sleep 4000 write \"$fullname.done\" x";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    AppWindow app(&settings);
    Paths targets = {dir.Join(L"a.txt"), dir.Join(L"b.txt")};
    app.AddTargets(targets);
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(FileAppearsWithin(targets[0] + L".started"));
    app.Click(IDC_RUN_BUTTON);
    EXPECT_EQ(L"強制終了(&K)", app.Text(IDC_RUN_BUTTON));
    EXPECT_EQ(L"停止中(1/2) - 対象ファイルにコマンドを実行する", WindowText(app.Frame()));
    EXPECT_EQ(RunState::Stopping, app.window->RunControl().State());
    app.PassTime(RunController::kForceStopArmMs);
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(app.WaitForRunEnd());
    // A command let finish would have written its file before the run ended.
    EXPECT_FALSE(FileExists(targets[0] + L".done")) << "the command was ended, not waited for";
    // Ended, not done: it stays for the next run, and so does the one never begun.
    EXPECT_EQ(targets, app.List());
    EXPECT_EQ(TargetStatus::Stopped, app.window->EntryStatus(0));
    EXPECT_EQ(TargetStatus::NotRun, app.window->EntryStatus(1));
    EXPECT_EQ(L"実行(&E)", app.Text(IDC_RUN_BUTTON));
    Sleep(4500);
    EXPECT_FALSE(FileExists(targets[0] + L".done"));
}

TEST(Results, TheListComesBackAtTheNextStartAsItWasLeft) {
    TempDir dir, data;
    std::wstring folder = data.Join(L"Quenbrix");
    Paths targets = {dir.Join(L"写真 01.jpg"), L"Z:\\どこにもない\\ファイル.txt", dir.Join(L"a b.txt")};
    {
        JobSettings settings = MakeSettings(L"txt", L"", L"", L"", true);
        AppWindow app(&settings, folder.c_str());
        app.AddTargets(targets);  // the filter leaves out the .jpg
        app.Close();
    }
    // Everything comes back, whatever the filter, and before anything else is added.
    JobSettings settings = MakeSettings(L"jpg", L"", L"", L"", true);
    AppWindow app(&settings, folder.c_str());
    EXPECT_EQ((Paths{targets[1], targets[2]}), app.List());
    EXPECT_EQ(0u, app.Counts().find(L"2 件 ・ "));
}
