// The table as a user works it: sorting by a header, choosing by result and
// running only the chosen, a file's output window, its folder and its path.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/output_window.h"
#include "tests/app/app_window.h"
#include "tests/support/box_answer.h"
#include "tests/support/child_program.h"
#include "tests/support/message_pump.h"
#include "tests/support/temp_dir.h"
#include "tests/support/timer_script.h"
#include "win32/list_view.h"

namespace {

typedef std::vector<std::wstring> Paths;

// A click on a column's header, as the control reports it to the panel.
void ClickHeader(const AppWindow& app, TargetColumn column) {
    NMLISTVIEW click = {};
    click.hdr.hwndFrom = app.Control(IDC_TARGET_LIST);
    click.hdr.idFrom = IDC_TARGET_LIST;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = static_cast<int>(column);
    SendMessageW(app.Panel(), WM_NOTIFY, IDC_TARGET_LIST, reinterpret_cast<LPARAM>(&click));
}

std::wstring Cell(const AppWindow& app, int row, TargetColumn column) {
    return app.Table()->GetCellText(row, static_cast<int>(column)).Text();
}

// Ten entries named "<exit code>.<ms to sleep>": three fail. The sleeps
// differ, so no two command lines are the same (that would ask first).
Paths TenWithThreeFailing(const TempDir& dir) {
    Paths targets;
    const wchar_t* names[] = {L"0.1500", L"1.1501", L"0.1502", L"0.1503", L"1.1504",
                              L"0.1505", L"0.1506", L"1.1507", L"0.1508", L"0.1509"};
    for (const wchar_t* name : names) targets.push_back(dir.Join(name));
    return targets;
}

JobSettings AllAtOnce(const std::wstring& command) {
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", false);
    settings.checkExitCode = 1;
    // Every file begins before the first failure ends the run.
    settings.parallel = 10;
    return settings;
}

std::vector<std::wstring> copied;
bool RecordCopy(HWND, const VQWString& text) {
    copied.push_back(text.Text());
    return true;
}
std::vector<std::wstring> shownInFolder;
bool RecordShowInFolder(HWND, const wchar_t* path) {
    shownInFolder.push_back(path);
    return true;
}

}  // namespace

TEST(Table, SortedByStatusAfterARunWithThreeFailuresTheFailedComeFirstAndHashRestoresTheOrder) {
    TempDir dir;
    JobSettings settings = AllAtOnce(ChildProgram() + L" sleep $ext exit $title");
    AppWindow app(&settings);
    Paths targets = TenWithThreeFailing(dir);
    app.AddTargets(targets);
    ASSERT_TRUE(app.RunAnswering(IDOK));
    ClickHeader(app, TargetColumn::Status);
    Paths sorted = app.List();
    ASSERT_EQ(10u, sorted.size());
    EXPECT_EQ((Paths{targets[1], targets[4], targets[7]}), Paths(sorted.begin(), sorted.begin() + 3));
    EXPECT_EQ(L"終了コード異常", Cell(app, 0, TargetColumn::Status));
    EXPECT_EQ(L"完了", Cell(app, 3, TargetColumn::Status));
    EXPECT_EQ(L"1", Cell(app, 0, TargetColumn::ExitCode));
    // A second click reverses: the done ones first, in their order.
    ClickHeader(app, TargetColumn::Status);
    EXPECT_EQ(targets[0], app.List().front());
    EXPECT_EQ(targets[7], app.List().back());
    ClickHeader(app, TargetColumn::Number);
    EXPECT_EQ(targets, app.List());
    EXPECT_EQ(L"1", Cell(app, 0, TargetColumn::Number));
}

TEST(Table, TheFailedChosenAndRunAgainAreDoneAndTheOthersKeepTheirResults) {
    TempDir dir;
    JobSettings settings = AllAtOnce(ChildProgram() + L" sleep $ext exit $title");
    AppWindow app(&settings);
    Paths targets = TenWithThreeFailing(dir);
    app.AddTargets(targets);
    ASSERT_TRUE(app.RunAnswering(IDOK));
    app.window->Table().DoCommand(TargetTable::kSelectFailed);
    EXPECT_EQ((std::vector<int>{1, 4, 7}), app.Selected());

    // The command now succeeds for every file.
    app.SetText(IDC_COMMAND_EDIT, ChildProgram() + L" out $ext exit 0");
    app.PassTime(1000);
    app.window->Table().DoCommand(TargetTable::kRunSelected);
    ASSERT_TRUE(app.WaitForRunEnd());
    EXPECT_EQ(3, app.window->RunControl().Runner().GetTargetCount()) << "only the chosen ran";
    EXPECT_EQ(targets, app.List()) << "nothing left: 実行後にリストから削除 is off";
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(TargetStatus::Done, app.window->EntryStatus(i)) << i;
        const EntryResult* result = app.window->GetEntryResult(i);
        ASSERT_NE(nullptr, result);
        bool rerun = i == 1 || i == 4 || i == 7;
        // The others still have the first run's command line.
        EXPECT_EQ(rerun, std::wstring(result->commandLine.Text()).find(L"sleep") == std::wstring::npos) << i;
    }
}

TEST(Table, RunningTheChosenWithRemovalTakesOnlyTheDoneChosenOut) {
    TempDir dir;
    JobSettings settings = AllAtOnce(ChildProgram() + L" sleep $ext exit $title");
    AppWindow app(&settings);
    Paths targets = TenWithThreeFailing(dir);
    app.AddTargets(targets);
    app.SetChecked(IDC_DELETE_CHECK, false);
    ASSERT_TRUE(app.RunAnswering(IDOK));
    app.SetChecked(IDC_DELETE_CHECK, true);
    app.window->Table().DoCommand(TargetTable::kSelectFailed);
    app.SetText(IDC_COMMAND_EDIT, ChildProgram() + L" out $ext exit 0");
    app.PassTime(1000);
    app.window->Table().DoCommand(TargetTable::kRunSelected);
    ASSERT_TRUE(app.WaitForRunEnd());
    Paths left = app.List();
    EXPECT_EQ(7u, left.size());
    for (const std::wstring& path : left) EXPECT_EQ(L'0', path[dir.Join(L"").size()]) << path;
}

// A click on a link of the counts line, as the control reports it to the panel.
void ClickCount(const AppWindow& app, const wchar_t* name) {
    NMLINK click = {};
    click.hdr.hwndFrom = app.Control(IDC_TABLE_STATUS);
    click.hdr.idFrom = IDC_TABLE_STATUS;
    click.hdr.code = NM_CLICK;
    wcsncpy(click.item.szID, name, MAX_LINKID_TEXT - 1);
    SendMessageW(app.Panel(), WM_NOTIFY, IDC_TABLE_STATUS, reinterpret_cast<LPARAM>(&click));
}

TEST(Table, TheCountsAndTheBarFollowARunAndAClickOnACountChoosesThoseEntries) {
    TempDir dir;
    // The ten wait for the counts to be read while all of them run.
    std::wstring go = dir.Join(L"go");
    JobSettings settings = AllAtOnce(ChildProgram() + L" await \"" + go + L"\" 60000 sleep $ext exit $title");
    AppWindow app(&settings);
    Paths targets = TenWithThreeFailing(dir);
    app.AddTargets(targets);
    HWND bar = app.Control(IDC_TABLE_PROGRESS);
    EXPECT_FALSE(IsWindowVisible(bar)) << "no bar before a run";

    // While the ten sleep: the running ones are counted and the bar is there.
    std::wstring during;
    bool barDuring = false;
    app.PassTime(RunController::kRunAfterEndMs);
    BoxAnswer box;
    TimerScript script;
    script.Then([&] {
        if (app.Counts().find(L"実行中 10") == std::wstring::npos) return false;
        during = app.Counts();
        barDuring = IsWindowVisible(bar) != FALSE;
        dir.WriteFile(L"go", "x");
        return true;
    });
    script.Then(AnswerBox(&box, IDOK));
    script.Start();
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(app.WaitForRunEnd());
    PumpFor(100);
    EXPECT_EQ(0u, during.find(L"10 件 ・ 完了 0 ・ 失敗 0 ・ 停止 0 ・ 実行中 ")) << during;
    EXPECT_TRUE(barDuring);
    EXPECT_FALSE(IsWindowVisible(bar)) << "the bar goes with the run";
    EXPECT_EQ(L"10 件 ・ 完了 7 ・ 失敗 3 ・ 停止 0 ・ 未実行 0 ・ 選択 1", app.Counts()) << "the first failure is chosen";

    ClickCount(app, L"failed");
    EXPECT_EQ((std::vector<int>{1, 4, 7}), app.Selected());
    EXPECT_EQ(L"10 件 ・ 完了 7 ・ 失敗 3 ・ 停止 0 ・ 未実行 0 ・ 選択 3", app.Counts());
    ClickCount(app, L"done");
    EXPECT_EQ((std::vector<int>{0, 2, 3, 5, 6, 8, 9}), app.Selected());
    ClickCount(app, L"all");
    EXPECT_EQ(10u, app.Selected().size());
    ClickCount(app, L"no such count");
    EXPECT_EQ(10u, app.Selected().size()) << "a name that is no count changes nothing";
}

// The rows scroll with the run: the last file, which runs long, comes into
// view while it runs, however far below the first page it is.
TEST(Table, TheRunningFileComesIntoViewDuringTheRun) {
    TempDir dir;
    JobSettings settings = MakeSettings(L"", L"", (ChildProgram() + L" sleep $ext").c_str(), L"", false);
    settings.parallel = 2;
    AppWindow app(&settings);
    Paths targets;
    // Sleeps that differ: no two lines are the same (that would ask first).
    for (int i = 0; i < 15; ++i) targets.push_back(dir.Join(L"f" + std::to_wstring(i) + L"." + std::to_wstring(100 + i)));
    targets.push_back(dir.Join(L"last.8000"));
    app.AddTargets(targets);
    VQWin32DialogItemListView* table = app.Table();
    ASSERT_LT(table->GetCountPerPage(), 15) << "the last row starts out of view";
    bool seen = false;
    app.PassTime(RunController::kRunAfterEndMs);
    TimerScript script;
    script.Then([&] {
        if (app.window->EntryStatus(15) != TargetStatus::Running) return false;
        int top = table->GetTopIndex();
        if (15 < top || 15 >= top + table->GetCountPerPage()) return false;
        seen = true;
        app.window->RunOrStop();  // no need to wait for its end
        return true;
    });
    script.Start();
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(app.WaitForRunEnd(60000));
    EXPECT_TRUE(seen) << "the running last row never came into view";
}

TEST(Table, ChoosingByResultAndInverting) {
    TempDir dir;
    JobSettings settings = AllAtOnce(ChildProgram() + L" sleep $ext exit $title");
    AppWindow app(&settings);
    app.AddTargets(TenWithThreeFailing(dir));
    ASSERT_TRUE(app.RunAnswering(IDOK));
    app.window->Table().DoCommand(TargetTable::kSelectDone);
    EXPECT_EQ((std::vector<int>{0, 2, 3, 5, 6, 8, 9}), app.Selected());
    app.window->Table().DoCommand(TargetTable::kInvertSelection);
    EXPECT_EQ((std::vector<int>{1, 4, 7}), app.Selected());
    app.AddTargets({dir.Join(L"new.1510")});
    app.window->Table().DoCommand(TargetTable::kSelectNotRun);
    EXPECT_EQ((std::vector<int>{10}), app.Selected());
}

TEST(Table, CopyPathsAndOpenFolderTakeTheChosenFiles) {
    AppWindow app;
    app.AddTargets({L"C:\\写真\\a.jpg", L"C:\\写真\\b.jpg", L"D:\\c.jpg"});
    copied.clear();
    shownInFolder.clear();
    app.window->copyToClipboard = RecordCopy;
    app.window->showInFolder = RecordShowInFolder;
    app.Table()->SelectOnly(0);
    app.Table()->SetSelected(2, true);
    app.window->Table().DoCommand(TargetTable::kCopyPaths);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\写真\\a.jpg\r\nD:\\c.jpg\r\n"}), copied);
    app.window->Table().DoCommand(TargetTable::kOpenFolder);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\写真\\a.jpg"}), shownInFolder);
    app.window->Table().DoCommand(TargetTable::kDeleteSelected);
    EXPECT_EQ((Paths{L"C:\\写真\\b.jpg"}), app.List());
}

TEST(Table, AnEmptyTableSaysWhatToDoAndColumnsShowNameAndFolder) {
    AppWindow app;
    EXPECT_EQ(L"ここにファイルやフォルダをドロップするか、追加・リスト追加で選んでください。",
              std::wstring(app.window->Targets().GetCount() == 0 ? app.Table()->source->EmptyText().Text() : L""));
    app.AddTargets({L"C:\\写真\\IMG_10.jpg", L"C:\\写真\\IMG_2.jpg"});
    EXPECT_EQ(L"IMG_10.jpg", Cell(app, 0, TargetColumn::Name));
    EXPECT_EQ(L"C:\\写真\\", Cell(app, 0, TargetColumn::Folder));
    EXPECT_EQ(L"", Cell(app, 0, TargetColumn::Status)) << "no mark before a run";
    ClickHeader(app, TargetColumn::Name);
    EXPECT_EQ((Paths{L"C:\\写真\\IMG_2.jpg", L"C:\\写真\\IMG_10.jpg"}), app.List());
}

TEST(OutputWindow, ShowsTheWholeStoryWithTheCutMarkForAHundredKibOfHiddenOutputAndEscapeClosesIt) {
    TempDir dir;
    JobSettings settings = MakeSettings(L"", L"", (ChildProgram() + L" fill 102400").c_str(), L"", false);
    settings.hideCommand = 1;
    AppWindow app(&settings);
    app.AddTargets({dir.Join(L"big.txt")});
    ASSERT_TRUE(app.RunAnswering(IDOK));
    // Enter on the row opens it.
    HWND list = app.Control(IDC_TARGET_LIST);
    app.Select(0);
    SetFocus(list);
    SendMessageW(list, WM_KEYDOWN, VK_RETURN, 1);
    PumpPending();
    VQWin32TextViewer& viewer = app.window->Output().viewer;
    ASSERT_TRUE(viewer.IsOpen());
    std::wstring text = viewer.GetText().Text();
    EXPECT_NE(std::wstring::npos, text.find(L"ファイル: " + dir.Join(L"big.txt")));
    EXPECT_NE(std::wstring::npos, text.find(L"結果: 完了"));
    EXPECT_NE(std::wstring::npos, text.find(L"コマンド: " + ChildProgram() + L" fill 102400"));
    EXPECT_NE(std::wstring::npos, text.find(L"終了コード: 先行コマンド - / コマンド 0"));
    EXPECT_NE(std::wstring::npos, text.find(L"開始: "));
    EXPECT_NE(std::wstring::npos, text.find(kOutputCutMark)) << "the output was cut at the kept limit";
    EXPECT_NE(std::wstring::npos, text.find(L"!\"#$%&")) << "the kept output itself";
    EXPECT_LT(text.size(), 100000u);
    // The window's own Escape closes it; the run's Stop key does not reach the main window.
    SendMessageW(viewer.TextHandle(), WM_KEYDOWN, VK_ESCAPE, 1);
    PumpPending();
    EXPECT_FALSE(viewer.IsOpen());
    EXPECT_TRUE(IsWindow(app.Frame()));
}

TEST(OutputWindow, ANotRunFileSaysSoAndRefreshFollowsTheFile) {
    AppWindow app;
    app.AddTargets({L"C:\\a.txt"});
    app.window->ShowOutputOf(0);
    VQWin32TextViewer& viewer = app.window->Output().viewer;
    ASSERT_TRUE(viewer.IsOpen());
    EXPECT_NE(std::wstring::npos, std::wstring(viewer.GetText().Text()).find(L"まだ実行されていません"));
    app.window->Targets().RemoveAll();
    SendMessageW(viewer.Handle(), WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), reinterpret_cast<LPARAM>(viewer.RefreshButton()));
    EXPECT_NE(std::wstring::npos, std::wstring(viewer.GetText().Text()).find(L"もうリストにありません"));
    viewer.Close();
}

TEST(Table, AMillionEntriesAreCountedAndAListFileOfManyLinesAddsNoFileTwice) {
    TempDir dir;
    // A hundred thousand lines naming a thousand files, each in a hundred
    // spellings (every line is looked up on the disk: the million-line
    // figure is the bench's).
    std::wstring text = L"\xFEFF";
    for (int i = 0; i < 1000; ++i) dir.WriteFile(L"f\\" + std::to_wstring(i) + L".txt", "");
    std::wstring folder = dir.Join(L"f");
    for (int round = 0; round < 100; ++round) {
        for (int i = 0; i < 1000; ++i) {
            std::wstring line = (round % 2 ? folder : dir.Join(L"F\\.\\.")) + L"\\" + std::to_wstring(i) +
                                (round % 3 ? L".txt" : L".TXT");
            text += line + L"\r\n";
        }
    }
    std::wstring list = dir.WriteFile(L"many.txt", std::string(reinterpret_cast<const char*>(text.data()),
                                                                   text.size() * sizeof(wchar_t)));
    AppWindow app;
    app.window->AddListFile(list.c_str());
    EXPECT_EQ(1000, app.window->Targets().GetCount());
    EXPECT_EQ(0u, app.Counts().find(L"1,000 件 ・ "));

    VQArray<VQWString, VQWString> batch;
    batch.SetSize(-1000000);
    for (int i = 0; i < 1000000; ++i) batch.Add(VQWString().Format(L"C:\\archive\\%03d\\IMG_%07d.jpg", i % 997, i));
    app.window->AddTargets(&batch);
    EXPECT_EQ(L"1,001,000 件 ・ 完了 0 ・ 失敗 0 ・ 停止 0 ・ 未実行 1,001,000 ・ 選択 0", app.Counts());
    EXPECT_EQ(1001000, app.Table()->GetCount());
    EXPECT_EQ(L"IMG_0999999.jpg", Cell(app, 1000999, TargetColumn::Name));
}
