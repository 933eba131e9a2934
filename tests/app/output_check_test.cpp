// The output template in the real window: the preview's 出力先 line and its
// errors, and the check before a run that compares outputs, refuses an
// output that is an entry, and decides what is up to date.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/app_window.h"
#include "tests/support/box_answer.h"
#include "tests/support/child_program.h"
#include "tests/support/drawn_text.h"
#include "tests/support/temp_dir.h"
#include "tests/support/timer_script.h"

namespace {

typedef std::vector<std::wstring> Paths;

COLORREF PreviewTextColor(const AppWindow& app) {
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageW(app.Panel(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(app.Control(IDC_PREVIEW)));
    COLORREF color = GetTextColor(dc);
    DeleteDC(dc);
    return color;
}

bool IsRed(COLORREF c) { return GetRValue(c) >= 0xA0 && GetGValue(c) < 0x50 && GetBValue(c) < 0x50; }

int SelectedIndex(const AppWindow& app) {
    std::vector<int> selected = app.Selected();
    return selected.empty() ? -1 : selected[0];
}

// Sets a file's last write time this many seconds away from now.
void SetAge(const std::wstring& path, int secondsAgo) {
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << std::string(path.begin(), path.end());
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart -= static_cast<ULONGLONG>(secondsAgo) * 10000000ULL;
    FILETIME when = {t.LowPart, t.HighPart};
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &when));
    CloseHandle(file);
}

// A job writing $path\out\$name with 出力が新しければスキップ, the output not checked.
JobSettings SkippingJob(const std::wstring& command) {
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", false);
    wcscpy(settings.output, L"$path\\out\\$name");
    settings.skipUpToDate = 1;
    settings.checkOutput = 0;
    return settings;
}

}  // namespace

TEST(OutputPreview, ShowsTheOutputOfTheSelectedEntryAndItsPathInTheCommand) {
    JobSettings settings = MakeSettings(L"", L"", L"conv \"$fullname\" \"$out\"", L"C:\\作業", true);
    wcscpy(settings.output, L"D:\\変換後\\$stem.webp");
    AppWindow app(&settings);
    app.AddTargets({L"C:\\写真\\旅行.v1.jpg", L"C:\\写真\\b.png"});
    EXPECT_EQ(L"コマンド: conv \"C:\\写真\\旅行.v1.jpg\" \"D:\\変換後\\旅行.v1.webp\"\r\n出力先: D:\\変換後\\旅行.v1.webp",
              app.Text(IDC_PREVIEW));
    EXPECT_FALSE(IsRed(PreviewTextColor(app)));
    app.Select(1);
    EXPECT_EQ(L"コマンド: conv \"C:\\写真\\b.png\" \"D:\\変換後\\b.webp\"\r\n出力先: D:\\変換後\\b.webp", app.Text(IDC_PREVIEW));
    // A relative output is taken from the working directory; typing follows.
    app.SetText(IDC_OUTPUT_EDIT, L"out\\..\\small\\$name");
    EXPECT_EQ(L"コマンド: conv \"C:\\写真\\b.png\" \"C:\\作業\\small\\b.png\"\r\n出力先: C:\\作業\\small\\b.png",
              app.Text(IDC_PREVIEW));
}

TEST(OutputPreview, OutErrorsAndBadOutputsShowInRed) {
    TempDir dir;
    JobSettings settings = MakeSettings(L"", L"", L"conv \"$fullname\" \"$out\"", L"", true);
    AppWindow app(&settings);
    app.AddTargets({dir.WriteFile(L"a.jpg", "a")});
    // $out with no output to stand for.
    EXPECT_NE(std::wstring::npos, app.Text(IDC_PREVIEW).find(L"出力先が空なので $out は使えません。"))
        << std::string(app.Text(IDC_PREVIEW).size(), '?');
    EXPECT_TRUE(IsRed(PreviewTextColor(app)));
    struct Case {
        const wchar_t* output;
        std::wstring message;
    } cases[] = {
        {L"D:\\out\\$pre.txt", L"出力先 8 文字目: 出力先の中では $pre は使えません。"},
        {L"D:\\out\\$out", L"出力先 8 文字目: 出力先の中では $out は使えません。"},
        {L"$drive", L"出力先: 出力先がドライブだけです。\r\n" + dir.Path().substr(0, 2)},
        {L"D:\\out\\$stem|x.txt", L"出力先: 出力先に使えない文字 | があります。\r\nD:\\out\\a|x.txt"},
        {L"$path", L"出力先: 出力先がフォルダの形です（ファイル名がありません）。"},
        {L"$path.", L"出力先: 出力先がフォルダです。"},
    };
    for (const Case& c : cases) {
        app.SetText(IDC_OUTPUT_EDIT, c.output);
        EXPECT_EQ(0u, app.Text(IDC_PREVIEW).find(c.message)) << std::string(c.output, c.output + wcslen(c.output));
        EXPECT_TRUE(IsRed(PreviewTextColor(app)));
    }
    app.SetText(IDC_OUTPUT_EDIT, L"D:\\out\\$stem.txt");
    EXPECT_FALSE(IsRed(PreviewTextColor(app)));
}

TEST(OutputCheck, TwoFilesToOneOutputAskFirstNamingTheOutputAndTheFiles) {
    TempDir dir;
    Paths files = {dir.WriteFile(L"a\\旅行.jpg", "1"), dir.WriteFile(L"b\\旅行.jpg", "2"), dir.WriteFile(L"c.jpg", "3")};
    JobSettings settings =
        MakeSettings(L"", L"", L"cmd /c copy \"$fullname\" \"$out\"", dir.Path().c_str(), false);
    wcscpy(settings.output, L"out\\$name");
    AppWindow app(&settings);
    app.AddTargets(files);
    DrawnText drawn;
    BoxAnswer question;
    ASSERT_TRUE(app.RunAnswering(IDNO, &question));
    EXPECT_EQ(L"確認", question.caption);
    EXPECT_TRUE(drawn.Saw(L"2 件の対象が同じ出力先 " + dir.Join(L"out\\旅行.jpg") + L" に書き込みます。実行しますか？\n"
                          L"後の対象の出力が前の対象の出力を置き換えます。\n\n" +
                          files[0] + L"\n" + files[1]));
    EXPECT_EQ(0, app.window->RunControl().Runner().GetTargetCount()) << "no run was started";
    // Outputs that differ ask nothing, though the commands differ only in the file's own path.
    app.SetText(IDC_COMMAND_EDIT, ChildProgram() + L" write \"$out\" x");
    app.SetText(IDC_OUTPUT_EDIT, L"out\\$level0$name");
    BoxAnswer none;
    ASSERT_TRUE(app.RunAnswering(IDNO, &none));
    EXPECT_FALSE(none.seen);
    EXPECT_EQ(3, app.window->RunControl().Runner().GetTargetCount());
}

TEST(OutputCheck, AnOutputThatIsAnEntryIsRefusedWithBothPathsAndNothingRuns) {
    TempDir dir;
    Paths files = {dir.WriteFile(L"a.txt", "a"), dir.WriteFile(L"b.txt", "b"), dir.WriteFile(L"b.bak", "keep")};
    std::wstring command = ChildProgram() + L" write \"$out\" new";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", false);
    // The second entry's output is the third entry.
    wcscpy(settings.output, L"$path$stem.bak");
    AppWindow app(&settings);
    app.AddTargets({files[0], files[1], files[2]});
    DrawnText drawn;
    BoxAnswer box;
    ASSERT_TRUE(app.RunAnswering(IDYES, &box));
    EXPECT_EQ(L"エラー", box.caption) << "refused, not asked";
    EXPECT_TRUE(drawn.Saw(L"出力先が対象ファイルと同じです。\n\n対象ファイル: " + files[1] + L"\n出力先: " +
                          dir.Join(L"b.bak")));
    EXPECT_EQ(1, SelectedIndex(app));
    EXPECT_EQ(0, app.window->RunControl().Runner().GetTargetCount()) << "no run was started";
    EXPECT_EQ("keep", dir.ReadFile(L"b.bak"));
    EXPECT_FALSE(FileExists(dir.Join(L"a.bak"))) << "nothing ran, not even the entries before";

    // The file's own input, spelt in another case, is refused too.
    app.SetText(IDC_OUTPUT_EDIT, L"$path$title.TXT");
    drawn.Clear();
    ASSERT_TRUE(app.RunAnswering(IDYES, &box));
    EXPECT_TRUE(drawn.Saw(L"出力先が対象ファイルと同じです。\n\n対象ファイル: " + files[0] + L"\n出力先: " +
                          dir.Join(L"a.TXT")));
    EXPECT_EQ(0, SelectedIndex(app));
    EXPECT_EQ("a", dir.ReadFile(L"a.txt"));
}

TEST(OutputCheck, AnOutputTemplateThatFailsForOneEntryRunsNothing) {
    TempDir dir;
    Paths files = {dir.WriteFile(L"x\\y\\a.txt", "a"), dir.WriteFile(L"b.txt", "b")};
    std::wstring command = ChildProgram() + L" write \"$out\" new";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", false);
    wcscpy(settings.output, L"$path$stem|.out");
    AppWindow app(&settings);
    app.AddTargets(files);
    DrawnText drawn;
    BoxAnswer box;
    ASSERT_TRUE(app.RunAnswering(IDOK, &box));
    EXPECT_EQ(L"エラー", box.caption);
    EXPECT_TRUE(drawn.Saw(L"対象ファイル: " + files[0] + L"\n\n出力先: 出力先に使えない文字 | があります。\n" +
                          dir.Join(L"x\\y\\a|.out")));
    EXPECT_EQ(0, app.window->RunControl().Runner().GetTargetCount());
}

TEST(OutputCheck, UpToDateOutputsAreSkippedAndTheRestRun) {
    TempDir dir;
    Paths files = {dir.WriteFile(L"a.txt", "a"), dir.WriteFile(L"b.txt", "b"), dir.WriteFile(L"c.txt", "c")};
    dir.WriteFile(L"out\\a.txt", "old a");
    dir.WriteFile(L"out\\b.txt", "old b");
    SetAge(files[0], 600);
    SetAge(files[1], 10);
    SetAge(dir.Join(L"out\\b.txt"), 600);  // older than its source
    JobSettings settings = SkippingJob(ChildProgram() + L" write \"$path\\out\\$name\" new");
    AppWindow app(&settings);
    app.AddTargets(files);
    ASSERT_TRUE(app.RunAnswering(IDOK));
    EXPECT_EQ(TargetStatus::Skipped, app.window->EntryStatus(0));
    EXPECT_EQ("old a", dir.ReadFile(L"out\\a.txt")) << "up to date: not run";
    EXPECT_EQ(TargetStatus::Done, app.window->EntryStatus(1));
    EXPECT_EQ("new", dir.ReadFile(L"out\\b.txt")) << "older than its source: run";
    EXPECT_EQ("new", dir.ReadFile(L"out\\c.txt")) << "no output yet: run";
    EXPECT_EQ(L"完了 2 件、スキップ 1 件、失敗 0 件、未実行 0 件", app.Text(IDC_RESULT_DETAIL));
    app.Select(0);
    EXPECT_EQ(0u, app.Text(IDC_RESULT_DETAIL).find(L"スキップ"));

    // Off, nothing is skipped.
    app.SetChecked(IDC_SKIP_UP_TO_DATE_CHECK, false);
    dir.WriteFile(L"out\\a.txt", "old a");
    ASSERT_TRUE(app.RunAnswering(IDOK));
    EXPECT_EQ("new", dir.ReadFile(L"out\\a.txt"));
}

TEST(OutputCheck, AFailedOutputKeptForALookIsNotSkippedUntilATrySucceeds) {
    TempDir dir;
    Paths files = {dir.WriteFile(L"a.txt", "a")};
    SetAge(files[0], 600);
    JobSettings settings = SkippingJob(ChildProgram() + L" write \"$path\\out\\$name\" half exit 1");
    settings.checkExitCode = 1;
    settings.keepFailedOutput = 1;
    AppWindow app(&settings);
    app.AddTargets(files);
    ASSERT_TRUE(app.RunAnswering(IDOK));
    EXPECT_EQ(TargetStatus::NonZeroExit, app.window->EntryStatus(0));
    EXPECT_EQ("half", dir.ReadFile(L"out\\a.txt")) << "kept, and newer than its file";
    EXPECT_TRUE(app.window->Targets().At(0).failed);
    ASSERT_TRUE(app.RunAnswering(IDOK));
    EXPECT_EQ(TargetStatus::NonZeroExit, app.window->EntryStatus(0)) << "not skipped as up to date";
    app.SetText(IDC_COMMAND_EDIT, ChildProgram() + L" write \"$path\\out\\$name\" whole");
    ASSERT_TRUE(app.RunAnswering(IDOK));
    EXPECT_EQ(TargetStatus::Done, app.window->EntryStatus(0));
    EXPECT_EQ("whole", dir.ReadFile(L"out\\a.txt"));
    ASSERT_TRUE(app.RunAnswering(IDOK));
    EXPECT_EQ(TargetStatus::Skipped, app.window->EntryStatus(0)) << "a try succeeded";
}
