#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "engine/child_process.h"
#include "tests/app/app_window.h"
#include "tests/support/box_answer.h"
#include "tests/support/child_program.h"
#include "tests/support/drawn_text.h"
#include "tests/support/kept_list_support.h"
#include "tests/support/message_pump.h"
#include "tests/support/temp_dir.h"
#include "tests/support/timer_script.h"
#include "tests/support/window_queries.h"

namespace {

typedef std::vector<std::wstring> Paths;

const int kLocked[] = {IDC_FILEEXT_EDIT,      IDC_PRECOMMAND_EDIT,    IDC_COMMAND_EDIT,
                       IDC_DIRECTORY_EDIT,    IDC_ADD_BUTTON,
                       IDC_LIST_ADD_BUTTON,   IDC_DELETE_BUTTON,      IDC_DELETE_ALL_BUTTON,
                       IDC_SELECT_DIRECTORY_BUTTON, IDC_LOAD_BUTTON,  IDC_SAVE_BUTTON,
                       IDC_HIDE_COMMAND,      IDC_ON_FAILURE_COMBO,   IDC_TIME_LIMIT_EDIT,
                       IDC_RETRIES_EDIT,      IDC_LOW_PRIORITY_CHECK, IDC_OUTPUT_EDIT,
                       IDC_SKIP_UP_TO_DATE_CHECK, IDC_CHECK_OUTPUT_CHECK, IDC_KEEP_FAILED_OUTPUT_CHECK};

// Closes the message box of this thread once it is up, noting its caption.
TimerScript::Step CloseBox(std::wstring* caption) {
    return [caption] {
        HWND box = FindThreadWindow(L"VQMsgBox");
        if (!box) return false;
        *caption = WindowText(box);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return true;
    };
}

// Presses Run and answers the error box that must come at once.
std::wstring RunExpectingBox(AppWindow& app, DrawnText& drawn, const std::wstring& message) {
    std::wstring caption;
    TimerScript script;
    script.Then(CloseBox(&caption));
    script.Start();
    QuitWatchdog watchdog(kWaitMs, 99);
    app.Click(IDC_RUN_BUTTON);
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_TRUE(drawn.Saw(message)) << "no box with the text";
    return caption;
}

// Offers a key pressed in the command box to the window's accelerator table,
// as the message loop does, with Ctrl held or not: true when the key became
// a command (sent to the window before this returns).
bool PressAccelerator(AppWindow& app, UINT key, bool ctrl) {
    BYTE saved[256], keys[256];
    GetKeyboardState(saved);
    std::memcpy(keys, saved, sizeof keys);
    keys[VK_CONTROL] = keys[VK_LCONTROL] = ctrl ? 0x80 : 0;
    SetKeyboardState(keys);
    MSG msg = {};
    msg.hwnd = app.Control(IDC_COMMAND_EDIT);
    msg.message = WM_KEYDOWN;
    msg.wParam = key;
    msg.lParam = MAKELPARAM(1, MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    bool translated = TranslateAcceleratorW(app.Frame(), app.window->accelerators, &msg) != 0;
    SetKeyboardState(saved);
    return translated;
}

}  // namespace

TEST(RunButton, NothingStartsWithoutTargetsOrCommand) {
    AppWindow app;
    DrawnText drawn;
    // An empty list is reported first, even when the command is empty too.
    EXPECT_EQ(L"エラー", RunExpectingBox(app, drawn, L"対象ファイルを指定してください。"));
    app.AddTargets({L"C:\\a.txt"});
    drawn.Clear();
    EXPECT_EQ(L"エラー", RunExpectingBox(app, drawn, L"コマンドを入力してください。"));
    EXPECT_TRUE(app.window->RunControl().Runner().GetWorker()->IsIdle());
    EXPECT_EQ(L"実行(&E)", app.Text(IDC_RUN_BUTTON));
}

TEST(RunButton, EveryTargetRunsAndFinishedEntriesLeaveTheList) {
    TempDir dir;
    Paths targets;
    for (const wchar_t* name : {L"写真 01.jpg", L"写真 02.jpg", L"memo.txt"}) {
        targets.push_back(dir.WriteFile(std::wstring(L"in put\\") + name, "x"));
    }
    std::wstring command = ChildProgram() + L" write \"$path$title.done\" $ext";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    AppWindow app(&settings);
    app.AddTargets(targets);
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(app.WaitForRunEnd());
    EXPECT_EQ("jpg", dir.ReadFile(L"in put\\写真 01.done"));
    EXPECT_EQ("jpg", dir.ReadFile(L"in put\\写真 02.done"));
    EXPECT_EQ("txt", dir.ReadFile(L"in put\\memo.done"));
    EXPECT_EQ(3, app.window->RunControl().Runner().GetSucceededCount());
    EXPECT_TRUE(app.List().empty()) << "all finished: the whole list goes";
    EXPECT_EQ(kIdleCaption, WindowText(app.Frame()));
}

TEST(RunButton, ThirdOfFiveFailingLeavesItAtTheTop) {
    TempDir dir;
    // Each target is itself the program to run; the third does not exist.
    Paths targets;
    for (const wchar_t* name : {L"t1.exe", L"t2.exe", L"t3.exe", L"t4.exe", L"t5.exe"}) {
        targets.push_back(dir.Join(name));
    }
    std::wstring child = ChildProgram().substr(1, ChildProgram().size() - 2);
    for (int i : {0, 1, 3, 4}) CopyFileW(child.c_str(), targets[i].c_str(), FALSE);
    std::wstring command = L"\"$fullname\" write \"$fulltitle.ran\" ok";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    AppWindow app(&settings);
    app.AddTargets(targets);

    DrawnText drawn;
    std::wstring caption;
    TimerScript script;
    script.Then(CloseBox(&caption));
    script.Start();
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(app.WaitForRunEnd());
    EXPECT_TRUE(script.Finished()) << "the failure was not shown";
    EXPECT_EQ(L"エラー", caption);
    // The box names the file first, then says what went wrong.
    EXPECT_TRUE(drawn.Saw(L"対象ファイル: " + targets[2] + L"\n\nコマンドの実行に失敗しました。" +
                          SystemErrorText(ERROR_FILE_NOT_FOUND).Text() + L"\n\"" + targets[2] + L"\" write \"" +
                          dir.Join(L"t3") + L".ran\" ok"));
    EXPECT_TRUE(FileExists(dir.Join(L"t1.ran")));
    EXPECT_TRUE(FileExists(dir.Join(L"t2.ran")));
    EXPECT_FALSE(FileExists(dir.Join(L"t4.ran"))) << "nothing runs after a failed step";
    EXPECT_EQ(5, app.window->RunControl().Runner().GetStartedCount());
    EXPECT_EQ(2, app.window->RunControl().Runner().GetSucceededCount());
    EXPECT_EQ((Paths{targets[2], targets[3], targets[4]}), app.List());
}

TEST(RunButton, ProgressCaptionLockedInputsAndStop) {
    TempDir dir;
    Paths targets;
    for (int i = 0; i < 6; ++i) targets.push_back(dir.Join(L"f" + std::to_wstring(i) + L".txt"));
    std::wstring command = ChildProgram() + L" write \"$fulltitle.started\" x sleep 1500";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    AppWindow app(&settings);
    app.AddTargets(targets);
    app.Click(IDC_RUN_BUTTON);

    EXPECT_EQ(L"停止(&T)", app.Text(IDC_RUN_BUTTON));
    for (int id : kLocked) EXPECT_FALSE(app.IsEnabled(id)) << id;
    EXPECT_TRUE(app.IsEnabled(IDC_RUN_BUTTON));
    EXPECT_TRUE(app.IsEnabled(IDC_DELETE_CHECK));

    // The caption counts the target being worked on.
    std::wstring second = L"処理中(2/6) - 対象ファイルにコマンドを実行する";
    PumpUntil(L"the second target in the caption", [&] { return WindowText(app.Frame()) == second; });
    ASSERT_EQ(second, WindowText(app.Frame()));

    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(app.WaitForRunEnd()) << "the running command ends on its own";
    EXPECT_EQ(kIdleCaption, WindowText(app.Frame()));
    EXPECT_EQ(L"実行(&E)", app.Text(IDC_RUN_BUTTON));
    for (int id : kLocked) EXPECT_TRUE(app.IsEnabled(id)) << id;
    EXPECT_FALSE(FileExists(dir.Join(L"f2.started"))) << "no target starts after Stop";
    // The second target's command was let finish: both leave the list, the rest stay.
    EXPECT_EQ(2, app.window->RunControl().Runner().GetSucceededCount());
    EXPECT_EQ((Paths(targets.begin() + 2, targets.end())), app.List());
}

TEST(RunButton, ADoubleClickOnStopIsNoForceStopAndAClickJustAfterTheEndStartsNothing) {
    TempDir dir;
    Paths targets = {dir.Join(L"a.txt"), dir.Join(L"b.txt"), dir.Join(L"c.txt")};
    std::wstring command = ChildProgram() + L" write \"$fullname.started\" x sleep 1000 write \"$fullname.done\" x";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    AppWindow app(&settings);
    app.AddTargets(targets);
    // The presses' timing is the test's, not the machine's.
    app.FreezeClock(true);
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(FileAppearsWithin(targets[0] + L".started"));
    // Both clicks of a double-click on 停止: the second lands on 強制終了, which takes none yet.
    app.Click(IDC_RUN_BUTTON);
    app.Click(IDC_RUN_BUTTON);
    EXPECT_EQ(RunState::Stopping, app.window->RunControl().State());
    EXPECT_EQ(L"強制終了(&K)", app.Text(IDC_RUN_BUTTON));
    ASSERT_TRUE(app.WaitForRunEnd());
    EXPECT_TRUE(FileExists(targets[0] + L".done")) << "the running command was let finish";
    // Once the run has ended, the line under the list says what the stop left.
    EXPECT_EQ(L"停止しました。完了 1 件、失敗 0 件、未実行 2 件", app.Text(IDC_RESULT_DETAIL));

    // A click that lands just after the end starts nothing; one a moment later does.
    app.Click(IDC_RUN_BUTTON);
    EXPECT_EQ(RunState::Idle, app.window->RunControl().State());
    EXPECT_EQ(L"停止しました。完了 1 件、失敗 0 件、未実行 2 件", app.Text(IDC_RESULT_DETAIL));
    app.PassTime(RunController::kRunAfterEndMs);
    app.Click(IDC_RUN_BUTTON);
    EXPECT_EQ(RunState::Running, app.window->RunControl().State());
    ASSERT_TRUE(FileAppearsWithin(targets[1] + L".started"));
    // 強制終了 shown a while takes the press: the command is ended, not waited for.
    app.Click(IDC_RUN_BUTTON);
    app.PassTime(RunController::kForceStopArmMs);
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(app.WaitForRunEnd());
    EXPECT_FALSE(FileExists(targets[1] + L".done"));
    // The one 強制終了 ended counts apart from the one never begun.
    EXPECT_EQ(L"停止しました。完了 0 件、失敗 0 件、停止 1 件、未実行 1 件", app.Text(IDC_RESULT_DETAIL));
    EXPECT_EQ((Paths{targets[1], targets[2]}), app.List());
}

TEST(RunButton, TheCheckBoxAtTheEndDecidesAndLateDropsStay) {
    TempDir dir;
    Paths targets = {dir.Join(L"a.txt"), dir.Join(L"b.txt")};
    // A line of each target's own: the same line for both would ask first.
    std::wstring command = ChildProgram() + L" sleep 300 write \"$fullname.ran\" x";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", false);
    AppWindow app(&settings);
    app.AddTargets(targets);
    app.Click(IDC_RUN_BUTTON);
    // During the run: the box is ticked and one more file arrives.
    app.SetChecked(IDC_DELETE_CHECK, true);
    app.AddTargets({dir.Join(L"late.txt")});
    ASSERT_TRUE(app.WaitForRunEnd());
    EXPECT_EQ(2, app.window->RunControl().Runner().GetSucceededCount());
    EXPECT_EQ((Paths{dir.Join(L"late.txt")}), app.List()) << "only the run's targets are finished";
}

TEST(RunButton, WorkingDirectoryIsDirectoryOrTheStartDirectory) {
    TempDir dir;
    std::wstring work = dir.MakeDir(L"work dir");
    std::wstring command = ChildProgram() + L" cwd \"" + dir.Join(L"$title.cwd") + L"\"";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), work.c_str(), true);
    AppWindow app(&settings);
    app.AddTargets({L"X:\\set.txt"});
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(app.WaitForRunEnd());
    EXPECT_NE(std::string::npos, dir.ReadFile(L"set.cwd").find("work dir"));

    app.SetText(IDC_DIRECTORY_EDIT, L"");
    app.AddTargets({L"X:\\empty.txt"});
    app.PassTime(RunController::kRunAfterEndMs);
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(app.WaitForRunEnd());
    std::string started = dir.ReadFile(L"empty.cwd");
    VQWString expected = app.window->RunControl().Runner().GetStartDirectory();
    char narrow[MAX_PATH * 3] = {0};
    WideCharToMultiByte(CP_UTF8, 0, expected.Text(), -1, narrow, sizeof narrow, nullptr, nullptr);
    std::string want = narrow;
    if (!want.empty() && want.back() == '\\') want.pop_back();
    std::string got = started;
    if (!got.empty() && got.back() == '\\') got.pop_back();
    EXPECT_EQ(want, got);
}

TEST(Closing, WhileRunningAsksAndEachAnswerDoesWhatItSays) {
    TempDir dir;
    std::wstring command = ChildProgram() + L" write \"$fullname.started\" x sleep 3000 write \"$fullname.done\" x";
    JobSettings settings = MakeSettings(L"txt", L"", command.c_str(), L"", true);
    AppWindow app(&settings);
    app.AddTargets({dir.Join(L"a.txt"), dir.Join(L"b.txt")});
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(FileAppearsWithin(dir.Join(L"a.txt.started")));

    // No: the run goes on.
    DrawnText drawn;
    BoxAnswer no;
    TimerScript refuse;
    refuse.Then(AnswerBox(&no, IDNO));
    refuse.Start();
    app.Close();
    EXPECT_TRUE(no.seen);
    EXPECT_EQ(L"確認", no.caption);
    EXPECT_TRUE(drawn.Saw(L"実行中です。実行中のコマンドを終了して閉じますか？"));
    ASSERT_TRUE(IsWindow(app.Frame())) << "the window closed although the answer was no";
    EXPECT_EQ(RunState::Running, app.window->RunControl().State());

    // Yes: the children end at once, the list and the settings are saved.
    BoxAnswer yes;
    TimerScript accept;
    accept.Then(AnswerBox(&yes, IDYES));
    accept.Start();
    app.Close();
    EXPECT_TRUE(yes.seen);
    // A command waited for would have written its file before the close returned.
    EXPECT_FALSE(FileExists(dir.Join(L"a.txt.done"))) << "the running command is ended, not waited for";
    EXPECT_EQ(nullptr, app.window->RunControl().Runner().GetWorker());
    std::string bytes;
    DWORD type = 0;
    ASSERT_TRUE(app.key.Read("Command", &bytes, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    ASSERT_GE(bytes.size(), command.size() * sizeof(wchar_t));
    EXPECT_EQ(0, std::wmemcmp(command.c_str(), reinterpret_cast<const wchar_t*>(bytes.data()), command.size()));
    // Nothing was done, so both entries are kept for the next start; the
    // one the close ended is marked as not seen through.
    std::string kept = TempDir::ReadWholeFile(app.appData.Join(L"Quenbrix\\targets.txt"));
    EXPECT_EQ((Paths{dir.Join(L"a.txt") + L"||running", dir.Join(L"b.txt") + L"|"}), DescribeKept(ReadKept(kept)));
    Sleep(3500);
    EXPECT_FALSE(FileExists(dir.Join(L"a.txt.done"))) << "the command outlived the window";
}

TEST(Closing, TheEndOfTheSessionEndsARunWithoutAskingAndStillSaves) {
    TempDir dir;
    std::wstring command = ChildProgram() + L" write \"$fullname.started\" x sleep 3000 write \"$fullname.done\" x";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    AppWindow app(&settings);
    app.AddTargets({dir.Join(L"a.txt")});
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(FileAppearsWithin(dir.Join(L"a.txt.started")));
    DrawnText drawn;
    QuitWatchdog watchdog(kWaitMs, 99);
    // The session manager asks first; the window agrees and has closed itself.
    EXPECT_EQ(TRUE, SendMessageW(app.Frame(), WM_QUERYENDSESSION, 0, 0));
    EXPECT_FALSE(watchdog.Fired()) << "a question held the session up";
    EXPECT_FALSE(drawn.Saw(L"実行中です。実行中のコマンドを終了して閉じますか？"));
    EXPECT_FALSE(IsWindow(app.Frame()));
    std::string bytes;
    DWORD type = 0;
    EXPECT_TRUE(app.key.Read("Command", &bytes, &type));
    std::string kept = TempDir::ReadWholeFile(app.appData.Join(L"Quenbrix\\targets.txt"));
    EXPECT_EQ((Paths{dir.Join(L"a.txt") + L"||running"}), DescribeKept(ReadKept(kept)));
    Sleep(3500);
    EXPECT_FALSE(FileExists(dir.Join(L"a.txt.done")));
}

TEST(RunKeys, F5AndCtrlEnterRunOrStopAndEscapeIsOnlyTheFirstStop) {
    TempDir dir;
    Paths targets = {dir.Join(L"a.txt"), dir.Join(L"b.txt"), dir.Join(L"c.txt")};
    std::wstring command = ChildProgram() + L" write \"$fullname.started\" x sleep 1500 write \"$fullname.done\" x";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    AppWindow app(&settings);
    app.AddTargets(targets);
    QuitWatchdog watchdog(kWaitMs, 99);

    // Idle: Escape stops nothing and asks nothing; Enter alone is no key of the table.
    EXPECT_TRUE(PressAccelerator(app, VK_ESCAPE, false));
    EXPECT_FALSE(PressAccelerator(app, VK_RETURN, false));
    EXPECT_EQ(RunState::Idle, app.window->RunControl().State());

    SetFocus(app.Control(IDC_COMMAND_EDIT));
    EXPECT_TRUE(PressAccelerator(app, VK_F5, false));
    EXPECT_EQ(RunState::Running, app.window->RunControl().State());
    EXPECT_EQ(app.Control(IDC_RUN_BUTTON), GetFocus()) << "the locked box gave the focus to Stop";
    ASSERT_TRUE(FileAppearsWithin(targets[0] + L".started"));
    EXPECT_TRUE(PressAccelerator(app, VK_ESCAPE, false));
    EXPECT_EQ(RunState::Stopping, app.window->RunControl().State());
    EXPECT_TRUE(PressAccelerator(app, VK_ESCAPE, false));
    EXPECT_EQ(RunState::Stopping, app.window->RunControl().State()) << "a second Escape ends nothing";
    ASSERT_TRUE(app.WaitForRunEnd());
    EXPECT_EQ((Paths{targets[1], targets[2]}), app.List()) << "the running command was let finish";

    // Ctrl+Enter runs; F5 is then Stop, and a second F5 ends the command at
    // once when 強制終了 has been shown a while.
    app.PassTime(RunController::kRunAfterEndMs);
    EXPECT_TRUE(PressAccelerator(app, VK_RETURN, true));
    EXPECT_EQ(RunState::Running, app.window->RunControl().State());
    ASSERT_TRUE(FileAppearsWithin(targets[1] + L".started"));
    EXPECT_TRUE(PressAccelerator(app, VK_F5, false));
    EXPECT_EQ(RunState::Stopping, app.window->RunControl().State());
    app.PassTime(RunController::kForceStopArmMs);
    EXPECT_TRUE(PressAccelerator(app, VK_F5, false));
    EXPECT_NE(RunState::Stopping, app.window->RunControl().State());
    ASSERT_TRUE(app.WaitForRunEnd());
    // A command let finish would have written its file before the run ended.
    EXPECT_FALSE(FileExists(targets[1] + L".done")) << "the command was not ended";
    EXPECT_EQ((Paths{targets[1], targets[2]}), app.List());
    EXPECT_FALSE(watchdog.Fired());
}
