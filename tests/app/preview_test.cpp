// The preview under the command fields and the check of the whole list
// before a run, in the real window driven by real messages.
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
#include "tests/support/window_queries.h"

namespace {

// The colour the panel gives the preview's text, asked as the edit box asks.
COLORREF PreviewTextColor(const AppWindow& app) {
    HDC dc = CreateCompatibleDC(nullptr);
    LRESULT brush = SendMessageW(app.Panel(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(app.Control(IDC_PREVIEW)));
    COLORREF color = GetTextColor(dc);
    DeleteDC(dc);
    EXPECT_NE(0, brush) << "a colour answer must come with a brush";
    return color;
}

bool IsRed(COLORREF c) { return GetRValue(c) >= 0xA0 && GetGValue(c) < 0x50 && GetBValue(c) < 0x50; }

const wchar_t kPhoto[] = L"C:\\写真\\旅行.v1.jpg";

}  // namespace

TEST(Preview, ShowsTheSelectedEntryOrTheFirstAndFollowsTheList) {
    JobSettings settings = MakeSettings(L"", L"identify $name", L"conv \"$fullname\" \"out\\$stem.png\" $pre", L"", true);
    AppWindow app(&settings);
    EXPECT_EQ(L"対象ファイルを追加すると、展開したコマンドラインがここに表示されます。", app.Text(IDC_PREVIEW));
    app.AddTargets({kPhoto, L"D:\\b.txt"});
    EXPECT_EQ(L"先行: identify 旅行.v1.jpg\r\nコマンド: conv \"C:\\写真\\旅行.v1.jpg\" \"out\\旅行.v1.png\" ‹先行コマンドの出力›",
              app.Text(IDC_PREVIEW));
    EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), PreviewTextColor(app));
    app.Select(1);
    EXPECT_EQ(L"先行: identify b.txt\r\nコマンド: conv \"D:\\b.txt\" \"out\\b.png\" ‹先行コマンドの出力›", app.Text(IDC_PREVIEW));
    // Deleted, the entry leaves the preview with the list.
    app.Click(IDC_DELETE_BUTTON);
    EXPECT_EQ(std::wstring::npos, app.Text(IDC_PREVIEW).find(L"b.txt"));
    EXPECT_NE(std::wstring::npos, app.Text(IDC_PREVIEW).find(L"identify 旅行.v1.jpg"));
}

TEST(Preview, FollowsTypingInBothFields) {
    AppWindow app;
    app.AddTargets({kPhoto});
    // As a settings file fills the box: the text is set whole.
    app.SetText(IDC_COMMAND_EDIT, L"x $title");
    EXPECT_EQ(L"コマンド: x 旅行", app.Text(IDC_PREVIEW));
    // As the user types: one character at a time into the focused box.
    for (wchar_t c : std::wstring(L"$ext")) SendMessageW(app.Control(IDC_PRECOMMAND_EDIT), WM_CHAR, c, 1);
    EXPECT_EQ(L"先行: jpg\r\nコマンド: x 旅行", app.Text(IDC_PREVIEW));
}

TEST(Preview, ATemplateThatDoesNotExpandShowsWhereAndWhyInRed) {
    AppWindow app;
    app.AddTargets({kPhoto});
    app.SetText(IDC_COMMAND_EDIT, L"copy \"$fullname\" \"out\\$titel.$ext\"");
    EXPECT_EQ(L"コマンド 23 文字目: 文法が間違ってます。\r\ncopy \"C:\\写真\\旅行.v1.jpg\" \"out\\ >> $titel.$ext\"\r\n"
              L"$titel は変数ではありません。$title のことですか？",
              app.Text(IDC_PREVIEW));
    EXPECT_TRUE(IsRed(PreviewTextColor(app)));
    // The pre-command is looked at first, as a run would fail there first.
    app.SetText(IDC_PRECOMMAND_EDIT, L"echo $level2");
    EXPECT_EQ(L"先行コマンド 6 文字目: level指定で存在しないパスが指定されています。\r\necho  >> $level2",
              app.Text(IDC_PREVIEW));
    // A character outside the first plane counts once.
    app.SetText(IDC_PRECOMMAND_EDIT, L"\U00020BB7 $level2");
    EXPECT_EQ(0u, app.Text(IDC_PREVIEW).find(L"先行コマンド 3 文字目: "));
    app.SetText(IDC_PRECOMMAND_EDIT, L"");
    app.SetText(IDC_COMMAND_EDIT, L"x $stem");
    EXPECT_EQ(L"コマンド: x 旅行.v1", app.Text(IDC_PREVIEW));
    EXPECT_FALSE(IsRed(PreviewTextColor(app)));
}

TEST(Preview, ACommandBuiltIntoCmdIsFlaggedAndStillRuns) {
    TempDir dir;
    JobSettings settings = MakeSettings(L"", L"", L"copy \"$fullname\" x", dir.Path().c_str(), true);
    AppWindow app(&settings);
    std::wstring file = dir.WriteFile(L"a.txt", "a");
    app.AddTargets({file});
    // Under the line it is about, which stays in view.
    EXPECT_EQ(L"コマンド: copy \"" + file + L"\" x\r\nコマンド: copy は cmd の内部コマンドです。cmd /c copy … と書いてください。",
              app.Text(IDC_PREVIEW));
    EXPECT_TRUE(IsRed(PreviewTextColor(app)));
    // Whatever the run makes of it, it is the run's to say.
    EXPECT_TRUE(app.RunAnswering(IDOK));
    EXPECT_EQ(1, app.window->RunControl().Runner().GetStartedCount());
}

TEST(RunCheck, AListWhoseFifthEntryFailsDoesNotStartAndSelectsIt) {
    std::wstring command = ChildProgram() + L" $level5";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    AppWindow app(&settings);
    std::vector<std::wstring> targets;
    for (int i = 1; i <= 4; ++i) targets.push_back(L"C:\\1\\2\\3\\4\\5\\6\\f" + std::to_wstring(i) + L".txt");
    app.AddTargets(targets);
    app.AddTargets({L"C:\\1\\2\\f5.txt", L"C:\\1\\f6.txt"});

    DrawnText drawn;
    BoxAnswer error;
    TimerScript script;
    script.Then(AnswerBox(&error, IDOK));
    script.Start();
    app.Click(IDC_RUN_BUTTON);
    EXPECT_EQ(L"エラー", error.caption);
    EXPECT_TRUE(drawn.Saw(L"対象ファイル: C:\\1\\2\\f5.txt\n\nlevel指定で存在しないパスが指定されています。\n" +
                          ChildProgram() + L"  >> $level5"));
    EXPECT_EQ(0, app.window->RunControl().Runner().GetTargetCount()) << "no run was started";
    EXPECT_EQ(std::vector<int>{4}, app.Selected());
    EXPECT_EQ(0u, app.Text(IDC_PREVIEW).find(L"コマンド "));
    // Had a run started after all, the window could not close until it ends.
    app.WaitForRunEnd();
}

TEST(RunCheck, ClashingOutputsAskFirstAndStemDoesNot) {
    TempDir dir;
    std::vector<std::wstring> trip = {dir.WriteFile(L"旅行.v1.jpg", "1"), dir.WriteFile(L"旅行.v2.jpg", "2")};
    dir.MakeDir(L"out");
    JobSettings settings =
        MakeSettings(L"", L"", L"cmd /c copy \"$fullname\" \"out\\$title.$ext\"", dir.Path().c_str(), false);
    AppWindow app(&settings);
    app.AddTargets(trip);

    // Enter takes the default answer, いいえ: nothing runs.
    DrawnText drawn;
    std::wstring caption, defaultLabel;
    TimerScript refuse;
    refuse.Then([&] {
        HWND box = FindThreadWindow(L"VQMsgBox");
        if (!box) return false;
        caption = WindowText(box);
        SendMessageW(box, WM_SETFOCUS, 0, 0);
        for (HWND b = GetWindow(box, GW_CHILD); b; b = GetWindow(b, GW_HWNDNEXT)) {
            if ((GetWindowLongPtrW(b, GWL_STYLE) & BS_TYPEMASK) != BS_DEFPUSHBUTTON) continue;
            defaultLabel = WindowText(b);
            PostMessageW(b, WM_CHAR, VK_RETURN, 1);
        }
        return true;
    });
    refuse.Start();
    app.Click(IDC_RUN_BUTTON);
    EXPECT_EQ(L"確認", caption);
    EXPECT_EQ(L"いいえ", defaultLabel);
    EXPECT_TRUE(drawn.Saw(L"2 件の対象が同じコマンドになります。実行しますか？\n"
                          L"対象ファイル自身のパスのほかは同じコマンドラインで、同じ出力先に書き込むおそれがあります。\n\n" +
                          trip[0] + L"\n" + trip[1]));
    EXPECT_EQ(0, app.window->RunControl().Runner().GetTargetCount()) << "no run was started";

    BoxAnswer yes;
    ASSERT_TRUE(app.RunAnswering(IDYES, &yes));
    EXPECT_TRUE(yes.seen);
    EXPECT_EQ("2", dir.ReadFile(L"out\\旅行.jpg")) << "the second copy went over the first";

    // Named by $stem, the outputs stay apart: no question (one would be refused).
    app.SetText(IDC_COMMAND_EDIT, L"cmd /c copy \"$fullname\" \"out\\$stem.$ext\"");
    BoxAnswer question;
    ASSERT_TRUE(app.RunAnswering(IDNO, &question));
    EXPECT_FALSE(question.seen);
    EXPECT_EQ("1", dir.ReadFile(L"out\\旅行.v1.jpg"));
    EXPECT_EQ("2", dir.ReadFile(L"out\\旅行.v2.jpg"));
}

TEST(RunCheck, RedirectionsToOneFileAskFirst) {
    TempDir dir;
    std::vector<std::wstring> files = {dir.WriteFile(L"a.txt", "a"), dir.WriteFile(L"b.txt", "b")};
    JobSettings settings = MakeSettings(L"", L"", L"cmd /c echo $name> list.txt", dir.Path().c_str(), false);
    settings.parallel = 2;
    AppWindow app(&settings);
    app.AddTargets(files);
    // Each file's output would replace the one before.
    {
        DrawnText drawn;
        BoxAnswer question;
        ASSERT_TRUE(app.RunAnswering(IDNO, &question));
        EXPECT_EQ(L"確認", question.caption);
        EXPECT_TRUE(drawn.Saw(L"2 件の対象が同じファイル list.txt に書き込みます。実行しますか？\n"
                              L"> で書き込むと、前の対象の出力が後の対象の出力で置き換わります。\n\n" +
                              files[0] + L"\n" + files[1]));
        EXPECT_EQ(0, app.window->RunControl().Runner().GetTargetCount()) << "no run was started";
    }
    // Appends at once can lose lines; one at a time they cannot, and nothing asks.
    app.SetText(IDC_COMMAND_EDIT, L"cmd /c echo $name>> sizes.txt");
    {
        DrawnText drawn;
        BoxAnswer question;
        ASSERT_TRUE(app.RunAnswering(IDNO, &question));
        EXPECT_TRUE(drawn.Saw(L"同時に実行すると sizes.txt への追記が失われることがあります。実行しますか？\n"
                              L"2 件の対象が同じファイルに追記します。同時実行数が 1 なら失われません。"));
        EXPECT_EQ(0, app.window->RunControl().Runner().GetTargetCount());
    }
    app.SetText(IDC_PARALLEL_EDIT, L"1");
    BoxAnswer none;
    ASSERT_TRUE(app.RunAnswering(IDNO, &none));
    EXPECT_FALSE(none.seen);
    EXPECT_EQ("a.txt\r\nb.txt\r\n", dir.ReadFile(L"sizes.txt"));
}

TEST(RunCheck, ANameThatCmdWouldExpandAsksAndNamesTheSafeForm) {
    TempDir dir;
    std::wstring file = dir.WriteFile(L"%OS%.txt", "x");
    JobSettings settings = MakeSettings(L"", L"", L"cmd /c copy \"$fullname\" \"$fullname.bak\"", dir.Path().c_str(), false);
    AppWindow app(&settings);
    app.AddTargets({file});
    DrawnText drawn;
    BoxAnswer question;
    ASSERT_TRUE(app.RunAnswering(IDNO, &question));
    EXPECT_EQ(L"確認", question.caption);
    EXPECT_TRUE(drawn.Saw(L"1 件の対象ファイルのパスに %…% があり、cmd が環境変数として展開するおそれがあります。実行しますか？\n"
                          L"コマンドで $fullname の代わりに %QB_FULLNAME% と書くと、cmd は値をそのまま渡します。\n\n" +
                          file));
    EXPECT_EQ(0, app.window->RunControl().Runner().GetTargetCount()) << "no run was started";
    // The safe form asks nothing.
    app.SetText(IDC_COMMAND_EDIT, L"cmd /c copy \"%QB_FULLNAME%\" \"%QB_FULLNAME%.bak\"");
    BoxAnswer none;
    ASSERT_TRUE(app.RunAnswering(IDOK, &none));
    EXPECT_FALSE(none.seen);
    EXPECT_EQ(1, app.window->RunControl().Runner().GetTargetCount());
}
