// The list the window keeps between starts, as the window shows and writes
// it: damage found at start, a list that cannot be written, what a run and
// an edit leave on the disk before the window closes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/app/app_window.h"
#include "tests/support/box_answer.h"
#include "tests/support/child_program.h"
#include "tests/support/csv_rows.h"
#include "tests/support/drawn_text.h"
#include "tests/support/kept_list_support.h"
#include "tests/support/message_pump.h"
#include "tests/support/temp_dir.h"
#include "tests/support/timer_script.h"
#include "tests/support/window_queries.h"

namespace {

typedef std::vector<std::wstring> Paths;

std::string Utf16(const std::wstring& text) {
    return std::string("\xFF\xFE", 2) + std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

bool SawPart(const DrawnText& drawn, const std::wstring& part) {
    for (const std::wstring& text : drawn.Texts()) {
        if (text.find(part) != std::wstring::npos) return true;
    }
    return false;
}

// What a crash at this moment would leave: every file but the locks.
std::vector<KeptEntry> ReadAsACrashLeavesIt(const std::wstring& folder, const TempDir& scratch) {
    std::wstring copy = scratch.MakeDir(L"crashed");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\targets*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name.size() > 5 && name.substr(name.size() - 5) == L".lock") continue;
            CopyFileW((folder + L"\\" + name).c_str(), (copy + L"\\" + name).c_str(), FALSE);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    KeptList kept;
    std::vector<KeptEntry> entries;
    KeptListReport report;
    kept.Open(VQWString(copy.c_str()), entries, report);
    return entries;
}

}  // namespace

TEST(KeptListWindow, ADamagedListComesBackInPartAndTheBoxNamesItsCopy) {
    // A quit left by an earlier test would end the box's loop at once.
    PumpPending();
    TempDir data;
    std::wstring folder = data.MakeDir(L"Quenbrix");
    std::string damaged = Utf16(L"|journal 1\r\nC:\\whole.txt\r\nZ:\\data\\pho" + std::wstring(1, L'\0') +
                                L"tos\\img02.jpg\r\nC:\\also whole.txt\r\nZ:\\img03.jp");
    data.WriteFile(L"Quenbrix\\targets.txt", damaged);
    DrawnText drawn;
    BoxAnswer box;
    TimerScript script;
    script.Then(AnswerBox(&box, IDOK));
    script.Start();
    AppWindow app(nullptr, folder.c_str());
    EXPECT_TRUE(box.seen);
    EXPECT_EQ(L"リストの復元", box.caption);
    EXPECT_TRUE(SawPart(drawn, L"読み飛ばした行: 2 行")) << "one count for every kind of damage";
    EXPECT_TRUE(SawPart(drawn, L"NUL 文字を含む行: 1 行"));
    EXPECT_TRUE(SawPart(drawn, L"途中で切れた最後の行: 1 行"));
    EXPECT_TRUE(SawPart(drawn, folder + L"\\targets.txt.bad"));
    EXPECT_EQ((Paths{L"C:\\whole.txt", L"C:\\also whole.txt"}), app.List()) << "no fragment comes back";
    app.Close();
    EXPECT_EQ(damaged, data.ReadFile(L"Quenbrix\\targets.txt.bad"));
    EXPECT_EQ((Paths{L"C:\\whole.txt|", L"C:\\also whole.txt|"}), DescribeKept(ReadKept(data.ReadFile(L"Quenbrix\\targets.txt"))));
}

TEST(KeptListWindow, AListThatCannotBeWrittenIsToldOnceAndTheResultsFileNotesIt) {
    TempDir dir, data;
    std::wstring folder = data.MakeDir(L"Quenbrix");
    // A folder where the list's file should be: every rewrite fails.
    data.MakeDir(L"Quenbrix\\targets.txt");
    std::wstring command =
        ChildProgram() + L" write \"$fullname.ran\" x await \"" + dir.Join(L"go") + L"\" 20000";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    AppWindow app(&settings, folder.c_str());
    app.AddTargets({dir.Join(L"a.txt"), dir.Join(L"b.txt")});

    // The run goes on behind the box; it ends only once the box was seen.
    DrawnText drawn;
    int boxes = 0;
    HWND last = nullptr;
    TimerScript script;
    script.Then([&] {
        HWND box = FindThreadWindow(L"VQMsgBox");
        if (box && box != last) {
            last = box;
            ++boxes;
            dir.WriteFile(L"go", "x");
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
        return false;
    });
    script.Start();
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(app.WaitForRunEnd());
    // Past the rewrite after the end of the run, which fails as well.
    PumpFor(700);
    app.Close();
    EXPECT_EQ(1, boxes) << "a spell of failures is told once";
    EXPECT_TRUE(SawPart(drawn, L"対象ファイルのリストを保存できません。"));
    EXPECT_TRUE(SawPart(drawn, folder + L"\\targets.txt"));
    std::string csv = TempDir::ReadWholeFile(app.window->RunControl().Runner().GetLastResultsFile().Text());
    std::string note = "注意: この実行の間、対象ファイルのリストを保存できないことがありました。";
    ASSERT_GE(csv.size(), note.size());
    EXPECT_NE(std::string::npos, csv.find("\r\n" + note)) << "a row of its own at the end";
    EXPECT_EQ("\r\n", csv.substr(csv.size() - 2));
}

TEST(KeptListWindow, WhatARunAndAnEditDoAreOnTheDiskBeforeTheWindowCloses) {
    TempDir dir, data, scratch, later;
    std::wstring folder = data.MakeDir(L"Quenbrix");
    std::wstring command =
        ChildProgram() + L" write \"$fullname.started\" x await \"" + dir.Join(L"go") + L"\" 20000";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    AppWindow app(&settings, folder.c_str());
    app.AddTargets({dir.Join(L"a.txt"), dir.Join(L"b.txt")});
    // An edit reaches the disk shortly, without waiting for a run or the close.
    Paths edited = {dir.Join(L"a.txt") + L"|", dir.Join(L"b.txt") + L"|"};
    PumpUntil(L"the edit on the disk",
              [&] { return DescribeKept(ReadKept(data.ReadFile(L"Quenbrix\\targets.txt"))) == edited; });
    EXPECT_EQ(edited, DescribeKept(ReadAsACrashLeavesIt(folder, scratch)));

    // During a run: the running file is marked, a file dropped then is kept.
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(FileAppearsWithin(dir.Join(L"a.txt.started")));
    app.AddTargets({dir.Join(L"dropped.txt")});
    EXPECT_EQ((Paths{dir.Join(L"a.txt") + L"||running", dir.Join(L"b.txt") + L"|", dir.Join(L"dropped.txt") + L"|"}),
              DescribeKept(ReadAsACrashLeavesIt(folder, later)));
    dir.WriteFile(L"go", "x");
    ASSERT_TRUE(app.WaitForRunEnd());
    app.Close();
    EXPECT_EQ((Paths{dir.Join(L"dropped.txt") + L"|"}),
              DescribeKept(ReadKept(data.ReadFile(L"Quenbrix\\targets.txt"))));
}

namespace {

// The window set to read its kept list in the background, held until the gate opens.
std::function<void(MainWindow&)> ReadInTheBackground(HANDLE gate) {
    return [gate](MainWindow& window) {
        window.Keeper().SetBackgroundBytes(0);
        window.Keeper().SetLoadGate(gate);
    };
}

::testing::AssertionResult KeptListComesIn(AppWindow& app) {
    return PumpUntil(L"the kept list read in the background", [&app] { return !app.window->Keeper().IsLoading(); });
}

}  // namespace

TEST(KeptListWindow, AListReadInTheBackgroundComesBeforeWhatWasAddedMeanwhile) {
    TempDir data;
    std::wstring folder = data.MakeDir(L"Quenbrix");
    data.WriteFile(L"Quenbrix\\targets.txt",
                   Utf16(L"|journal 1\r\n|root C:\\kept\\\r\nC:\\kept\\one.txt\r\nC:\\kept\\two.txt\trunning\r\n"));
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    AppWindow app(nullptr, folder.c_str(), nullptr, ReadInTheBackground(gate));
    ASSERT_TRUE(app.window->Keeper().IsLoading());
    EXPECT_EQ(L"前回のリストを読み込み中…", app.Counts());
    // The window is in use meanwhile: a file the kept list names as well is not known to be there yet.
    app.AddTargets({L"C:\\new\\b.txt", L"c:\\KEPT\\two.txt", L"C:\\new\\a.txt"});
    EXPECT_EQ(L"3 件 ・ 完了 0 ・ 失敗 0 ・ 停止 0 ・ 未実行 3 ・ 選択 0 ・ 前回のリストを読み込み中…", app.Counts());
    PumpFor(300);
    EXPECT_TRUE(app.window->Keeper().IsLoading()) << "nothing comes in before the read is done";
    SetEvent(gate);
    ASSERT_TRUE(KeptListComesIn(app));
    EXPECT_EQ((Paths{L"C:\\kept\\one.txt", L"C:\\kept\\two.txt", L"C:\\new\\b.txt", L"C:\\new\\a.txt"}), app.List());
    EXPECT_EQ(0u, app.Counts().find(L"4 件 ・ ")) << app.Counts();
    EXPECT_EQ(std::wstring::npos, app.Counts().find(L"読み込み中"));
    EXPECT_TRUE(app.window->Targets().At(1).running);
    EXPECT_EQ(L"C:\\kept\\", std::wstring(app.window->Targets().At(1).root.Text()));
    // What was added meanwhile reaches the disk as an edit does.
    Paths expected = {L"C:\\kept\\one.txt|C:\\kept\\", L"C:\\kept\\two.txt|C:\\kept\\|running", L"C:\\new\\b.txt|",
                      L"C:\\new\\a.txt|"};
    PumpUntil(L"what was added meanwhile on the disk",
              [&] { return DescribeKept(ReadKept(data.ReadFile(L"Quenbrix\\targets.txt"))) == expected; });
    EXPECT_EQ(expected, DescribeKept(ReadKept(data.ReadFile(L"Quenbrix\\targets.txt"))));
    app.Close();
    CloseHandle(gate);
}

TEST(KeptListWindow, ARunPressedWhileTheKeptListIsReadWaitsForItAndTakesItWhole) {
    TempDir dir, data;
    std::wstring folder = data.MakeDir(L"Quenbrix");
    for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt"}) dir.WriteFile(name, "");
    data.WriteFile(L"Quenbrix\\targets.txt",
                   Utf16(L"|journal 1\r\n" + dir.Join(L"a.txt") + L"\r\n" + dir.Join(L"b.txt") + L"\r\n"));
    std::wstring command = ChildProgram() + L" write \"$fullname.done\" x";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    AppWindow app(&settings, folder.c_str(), nullptr, ReadInTheBackground(gate));
    app.AddTargets({dir.Join(L"c.txt")});
    ASSERT_TRUE(app.window->Keeper().IsLoading());
    // The read goes on once Run waits for it.
    std::thread opener([gate] {
        Sleep(200);
        SetEvent(gate);
    });
    app.Click(IDC_RUN_BUTTON);
    opener.join();
    EXPECT_FALSE(app.window->Keeper().IsLoading());
    ASSERT_TRUE(app.WaitForRunEnd());
    for (const wchar_t* name : {L"a.txt.done", L"b.txt.done", L"c.txt.done"}) {
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(dir.Join(name).c_str())) << name;
    }
    EXPECT_EQ(Paths{}, app.List()) << "every file of the run was done and left the list";
    app.Close();
    EXPECT_EQ(Paths{}, DescribeKept(ReadKept(data.ReadFile(L"Quenbrix\\targets.txt"))));
    CloseHandle(gate);
}

TEST(KeptListWindow, APlanMadeWhileTheKeptListIsReadWaitsForItAndHoldsWhatARunWouldRun) {
    TempDir data;
    std::wstring folder = data.MakeDir(L"Quenbrix");
    data.WriteFile(L"Quenbrix\\targets.txt", Utf16(L"|journal 1\r\nC:\\kept\\a.txt\r\nC:\\kept\\b.txt\r\n"));
    JobSettings settings = MakeSettings(L"", L"", L"echo $name", L"", true);
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    AppWindow app(&settings, folder.c_str(), nullptr, ReadInTheBackground(gate));
    app.AddTargets({L"C:\\new\\c.txt"});
    ASSERT_TRUE(app.window->Keeper().IsLoading());
    std::thread opener([gate] {
        Sleep(200);
        SetEvent(gate);
    });
    VQWString error;
    std::wstring plan = data.Join(L"予定.csv");
    bool written = WritePlan(app.window->PlanOfFields(), plan.c_str(), error);
    opener.join();
    ASSERT_TRUE(written) << std::wstring(error.Text());
    std::vector<std::string> planned;
    for (const auto& row : CsvRows(TempDir::ReadWholeFile(plan))) {
        if (row.size() > 1) planned.push_back(row[1]);
    }
    EXPECT_EQ((std::vector<std::string>{"対象ファイル", "C:\\kept\\a.txt", "C:\\kept\\b.txt", "C:\\new\\c.txt"}),
              planned);
    app.Close();
    CloseHandle(gate);
}

TEST(KeptListWindow, ClosingWhileTheKeptListIsReadKeepsItAndWhatWasAdded) {
    TempDir data;
    std::wstring folder = data.MakeDir(L"Quenbrix");
    data.WriteFile(L"Quenbrix\\targets.txt", Utf16(L"|journal 1\r\nC:\\kept\\one.txt\r\n"));
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    AppWindow app(nullptr, folder.c_str(), nullptr, ReadInTheBackground(gate));
    app.AddTargets({L"C:\\new\\a.txt"});
    std::thread opener([gate] {
        Sleep(200);
        SetEvent(gate);
    });
    app.Close();
    opener.join();
    EXPECT_EQ((Paths{L"C:\\kept\\one.txt|", L"C:\\new\\a.txt|"}),
              DescribeKept(ReadKept(data.ReadFile(L"Quenbrix\\targets.txt"))));
    CloseHandle(gate);
}
