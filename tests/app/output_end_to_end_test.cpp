// Outputs in the real Quenbrix.exe, driven from outside as a user would:
// the output folder made, a second run skipping what is up to date, a
// touched source run again, a missing output failing its file, an output
// that is an entry refused, and 強制終了 leaving no half-written output.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/resource.h"
#include "tests/app/quenbrix_process.h"
#include "tests/support/child_program.h"
#include "tests/support/registry_key.h"
#include "tests/support/temp_dir.h"

namespace {

typedef std::vector<std::wstring> Paths;

std::string Utf16File(const std::wstring& text) {
    std::string bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// Presses リスト追加 and picks the list file in the open dialog.
void AddList(QuenbrixProcess& app, const std::wstring& listFile) {
    app.Click(IDC_LIST_ADD_BUTTON);
    HWND dialog = app.WaitForWindow(L"#32770", L"ファイルリストを選択");
    ASSERT_NE(nullptr, dialog) << "no open dialog";
    HWND name = GetDlgItem(dialog, 1148);  // the open dialog's file-name box
    ASSERT_NE(nullptr, name) << "no file-name box";
    SetRemoteText(name, listFile);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); })) << "the dialog stays open";
}

// Presses 実行 a while after the last run and waits for its end, and for a
// box when one must come (it follows the caption's return).
HWND RunToEnd(QuenbrixProcess& app, const std::wstring& idle, bool boxComes = false) {
    Sleep(RunController::kRunAfterEndMs + 100);
    app.Click(IDC_RUN_BUTTON);
    HWND box = nullptr;
    // The press is taken once the run shows or a box refuses it; a run so short
    // that no look sees it only costs the wait.
    WaitUntil([&] { return app.Caption() != idle || app.FindOwnWindow(L"VQMsgBox"); });
    WaitUntil([&] { return (box = app.FindOwnWindow(L"VQMsgBox")) != nullptr || app.Caption() == idle; });
    if (!box && boxComes) WaitUntil([&] { return (box = app.FindOwnWindow(L"VQMsgBox")) != nullptr; });
    if (!box) box = app.FindOwnWindow(L"VQMsgBox");
    return box;
}

void SetWrittenLater(const std::wstring& path, int seconds) {
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart += static_cast<ULONGLONG>(seconds) * 10000000ULL;
    FILETIME when = {t.LowPart, t.HighPart};
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &when));
    CloseHandle(file);
}

}  // namespace

TEST(OutputEndToEnd, FoldersMadeSkipsTouchedFilesMissingOutputsRefusalsAndForceStop) {
    TestRegistryKey key("Software\\velqo\\Quenbrix");
    TempDir dir, appData;
    const std::wstring idle = kIdleCaption;
    Paths files;
    std::wstring lines;
    for (const wchar_t* name : {L"写真\\夏 休み 01.jpg", L"写真\\夏 休み 02.jpg", L"メモ.txt"}) {
        files.push_back(dir.WriteFile(name, "x"));
        lines += files.back() + L"\r\n";
    }
    std::wstring listFile = dir.WriteFile(L"対象 リスト.txt", Utf16File(lines));
    std::wstring settings = dir.WriteFile(
        L"job.ini", Utf16File(L"[Quenbrix]\r\nCommand = cmd /c copy \"$fullname\" \"$out\"\r\n"
                              L"Output = 出力 先\\新しい フォルダ\\$stem.txt\r\nSkipUpToDate = 1\r\nDelete = 0\r\n"));
    QuenbrixProcess app;
    app.appData = appData.Path();
    ASSERT_TRUE(app.Start(Quoted(settings)));
    ASSERT_EQ(nullptr, app.FindOwnWindow(L"VQMsgBox")) << "the settings did not load";
    app.SetText(IDC_DIRECTORY_EDIT, dir.Path());
    ASSERT_NO_FATAL_FAILURE(AddList(app, listFile));
    ASSERT_TRUE(WaitUntil([&] { return app.List() == files; }));

    // Into folders that do not exist yet: made, every file written.
    EXPECT_EQ(nullptr, RunToEnd(app, idle));
    EXPECT_EQ(L"完了 3 件、失敗 0 件、未実行 0 件", app.Text(IDC_RESULT_DETAIL));
    for (const wchar_t* name : {L"夏 休み 01.txt", L"夏 休み 02.txt", L"メモ.txt"}) {
        EXPECT_EQ("x", dir.ReadFile(std::wstring(L"出力 先\\新しい フォルダ\\") + name));
    }
    // The same job again: everything is up to date.
    EXPECT_EQ(nullptr, RunToEnd(app, idle));
    EXPECT_EQ(L"完了 0 件、スキップ 3 件、失敗 0 件、未実行 0 件", app.Text(IDC_RESULT_DETAIL));
    // One source changed: exactly that one runs.
    dir.WriteFile(L"写真\\夏 休み 02.jpg", "changed");
    SetWrittenLater(files[1], 10);
    EXPECT_EQ(nullptr, RunToEnd(app, idle));
    EXPECT_EQ(L"完了 1 件、スキップ 2 件、失敗 0 件、未実行 0 件", app.Text(IDC_RESULT_DETAIL));
    EXPECT_EQ("changed", dir.ReadFile(L"出力 先\\新しい フォルダ\\夏 休み 02.txt"));
    EXPECT_EQ("x", dir.ReadFile(L"出力 先\\新しい フォルダ\\夏 休み 01.txt"));

    // A command that ends with 0 and writes nothing: 出力なし.
    app.SetText(IDC_COMMAND_EDIT, L"cmd /c echo $name");
    app.SetText(IDC_OUTPUT_EDIT, L"なし\\$stem.txt");
    HWND box = RunToEnd(app, idle, true);
    ASSERT_NE(nullptr, box) << "no error box";
    EXPECT_NE(std::wstring::npos, CopiedBoxText(box).find(L"出力ファイルが作成されませんでした。"));
    ASSERT_TRUE(PressButton(box, L"OK"));
    ASSERT_TRUE(WaitUntil([&] { return app.Caption() == idle; }));

    // An output that is another entry: refused, nothing written.
    app.SetText(IDC_COMMAND_EDIT, L"cmd /c copy \"$fullname\" \"$out\"");
    app.SetText(IDC_OUTPUT_EDIT, L"$path夏 休み 02.jpg");
    box = RunToEnd(app, idle, true);
    ASSERT_NE(nullptr, box) << "no refusal";
    std::wstring text = CopiedBoxText(box);
    EXPECT_NE(std::wstring::npos, text.find(L"出力先が対象ファイルと同じです。")) << "refused";
    EXPECT_NE(std::wstring::npos, text.find(files[1]));
    ASSERT_TRUE(PressButton(box, L"OK"));
    EXPECT_EQ("changed", dir.ReadFile(L"写真\\夏 休み 02.jpg"));
    EXPECT_EQ("x", dir.ReadFile(L"写真\\夏 休み 01.jpg"));

    // 強制終了 while the command is writing: no output left behind.
    app.SetText(IDC_COMMAND_EDIT, ChildProgram() + L" write \"$out\" partial sleep 30000");
    app.SetText(IDC_OUTPUT_EDIT, L"途中\\$stem.txt");
    Sleep(RunController::kRunAfterEndMs + 100);
    app.Click(IDC_RUN_BUTTON);
    std::wstring partial = dir.Join(L"途中\\夏 休み 01.txt");
    ASSERT_TRUE(FileAppearsWithin(partial));
    app.Click(IDC_RUN_BUTTON);
    // 強制終了 takes a press once it has been shown a while: from when it shows, not from the first press.
    ASSERT_TRUE(WaitUntil(L"強制終了 on the button", [&] { return app.Text(IDC_RUN_BUTTON) == L"強制終了(&K)"; }));
    Sleep(RunController::kForceStopArmMs + 200);
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(WaitUntil([&] { return app.Caption() == idle; }));
    EXPECT_FALSE(FileExists(partial)) << "the half-written output was deleted";
    EXPECT_EQ(0u, app.Close());
}

TEST(OutputEndToEnd, AFolderGivenToTheProgramIsMirroredBelowTheOutputFolder) {
    TestRegistryKey key("Software\\velqo\\Quenbrix");
    TempDir dir, appData;
    const std::wstring idle = kIdleCaption;
    // Three levels below the folder, with Japanese names and blanks; the
    // folders of the outputs do not exist yet.
    for (const wchar_t* name : {L"写真\\2026\\旅行 1\\海 の 朝.jpg", L"写真\\2026\\家.jpg", L"写真\\表紙.jpg"}) {
        dir.WriteFile(name, "x");
    }
    std::wstring settings = dir.WriteFile(
        L"job.ini", Utf16File(L"[Quenbrix]\r\nFileExt = jpg\r\nCommand = cmd /c copy \"$fullname\" \"$out\"\r\nOutput = " +
                              dir.Join(L"変換 後") + L"\\$reldir$stem.txt\r\nDelete = 0\r\n"));
    QuenbrixProcess app;
    app.appData = appData.Path();
    ASSERT_TRUE(app.Start(Quoted(settings) + L" " + Quoted(dir.Join(L"写真"))));
    ASSERT_TRUE(WaitUntil([&] { return app.List().size() == 3; }));
    EXPECT_EQ(nullptr, RunToEnd(app, idle));
    EXPECT_EQ(L"完了 3 件、失敗 0 件、未実行 0 件", app.Text(IDC_RESULT_DETAIL));
    for (const wchar_t* name : {L"変換 後\\2026\\旅行 1\\海 の 朝.txt", L"変換 後\\2026\\家.txt", L"変換 後\\表紙.txt"}) {
        EXPECT_TRUE(FileExists(dir.Join(name))) << "not mirrored: " << testing::PrintToString(std::wstring(name));
    }
    EXPECT_EQ(0u, app.Close());
}

TEST(OutputEndToEnd, AFileCutOffByAKillRunsAgainThoughItsOutputLooksUpToDate) {
    TestRegistryKey key("Software\\velqo\\Quenbrix");
    TempDir dir, appData;
    const std::wstring idle = kIdleCaption;
    // The extension is how long the command sleeps after writing its output.
    Paths files;
    for (const wchar_t* name : {L"一 番.30", L"二 番.20000", L"三 番.30"}) files.push_back(dir.WriteFile(name, "x"));
    std::wstring settings = dir.WriteFile(
        L"job.ini", Utf16File(L"[Quenbrix]\r\nCommand = " + ChildProgram() +
                              L" write \"$out\" first sleep $ext\r\nOutput = " + dir.Join(L"出力") +
                              L"\\$name.txt\r\nSkipUpToDate = 1\r\nDelete = 0\r\n"));
    {
        QuenbrixProcess app;
        app.appData = appData.Path();
        ASSERT_TRUE(app.Start(Quoted(settings) + L" " + Quoted(files[0]) + L" " + Quoted(files[1]) + L" " +
                              Quoted(files[2])));
        ASSERT_TRUE(WaitUntil([&] { return app.List() == files; }));
        Sleep(RunController::kRunAfterEndMs + 100);
        app.Click(IDC_RUN_BUTTON);
        // The second file's output is written, and the program ends while its command still runs.
        ASSERT_TRUE(FileAppearsWithin(dir.Join(L"出力\\二 番.20000.txt")));
        app.Kill();
    }
    QuenbrixProcess again;
    again.appData = appData.Path();
    ASSERT_TRUE(again.Start(Quoted(settings)));
    ASSERT_TRUE(WaitUntil([&] { return again.List() == files; }));
    again.SetText(IDC_COMMAND_EDIT, ChildProgram() + L" write \"$out\" again");
    EXPECT_EQ(nullptr, RunToEnd(again, idle));
    EXPECT_EQ(L"完了 2 件、スキップ 1 件、失敗 0 件、未実行 0 件", again.Text(IDC_RESULT_DETAIL));
    EXPECT_EQ("first", dir.ReadFile(L"出力\\一 番.30.txt")) << "done before the kill: up to date";
    EXPECT_EQ("again", dir.ReadFile(L"出力\\二 番.20000.txt")) << "cut off by the kill: run again";
    EXPECT_EQ("again", dir.ReadFile(L"出力\\三 番.30.txt"));
    EXPECT_EQ(0u, again.Close());
}
