#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/app/app_window.h"
#include "tests/support/box_answer.h"
#include "tests/support/drawn_text.h"
#include "tests/support/message_pump.h"
#include "tests/support/temp_dir.h"
#include "tests/support/timer_script.h"
#include "tests/support/window_queries.h"
#include "win32/list_view.h"
#include "win32/progress_window.h"

namespace {

typedef std::vector<std::wstring> Paths;

VQArray<VQWString, VQWString> Batch(const Paths& paths) {
    VQArray<VQWString, VQWString> batch;
    for (const std::wstring& p : paths) batch.Add(VQWString(p.c_str()));
    return batch;
}

// What passes the FileExt filter `fileExt` out of `names`, in a fresh window.
Paths Accepted(const wchar_t* fileExt, const Paths& names) {
    AppWindow app;
    app.SetText(IDC_FILEEXT_EDIT, fileExt);
    VQArray<VQWString, VQWString> batch = Batch(names);
    app.window->AddTargets(&batch);
    return app.List();
}

// A real drop: the shell's HDROP block with wide paths, sent as the shell
// sends it. The window frees it with DragFinish.
void DropOn(HWND window, const Paths& paths) {
    size_t units = 1;
    for (const std::wstring& p : paths) units += p.size() + 1;
    HGLOBAL block = GlobalAlloc(GHND, sizeof(DROPFILES) + units * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(block));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    wchar_t* out = reinterpret_cast<wchar_t*>(drop + 1);
    for (const std::wstring& p : paths) {
        wmemcpy(out, p.c_str(), p.size() + 1);
        out += p.size() + 1;
    }
    *out = L'\0';
    GlobalUnlock(block);
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
}

// Writes a UTF-16LE list file (the text brings its own mark) into dir.
std::wstring WriteUtf16(const TempDir& dir, const std::wstring& name, const std::wstring& text) {
    return dir.WriteFile(name, std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)));
}

// The text in a code page (CP_ACP, CP_UTF8), as another program writes it.
std::string Narrow(UINT codePage, const std::wstring& text) {
    int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

// A folder name with a letter outside ASCII that the ANSI code page holds
// (its bytes are then not valid UTF-8).
std::wstring AnsiName() {
    for (const wchar_t* name : {L"日本", L"café", L"Ωμέγα"}) {
        BOOL lost = FALSE;
        WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, &lost);
        if (!lost) return name;
    }
    return L"ansi";
}

}  // namespace

TEST(FileExtFilter, PiecesAreTrimmedAndCaseFolded) {
    EXPECT_EQ((Paths{L"a.txt", L"B.Txt", L"c.LOG"}),
              Accepted(L" TXT ; log ", {L"a.txt", L"B.Txt", L"c.LOG", L"d.text", L"e"}));
}

TEST(FileExtFilter, EmptyPiecesStandForFilesWithoutExtension) {
    EXPECT_EQ((Paths{L"a.txt", L"e", L"f."}), Accepted(L";txt", {L"a.txt", L"e", L"f.", L"g.log"}));
    EXPECT_EQ((Paths{L"a.txt"}), Accepted(L"txt;", {L"a.txt", L"e", L"g.log"}));
    // Blanks only is one piece that trims to the empty extension.
    EXPECT_EQ((Paths{L"e", L"f."}), Accepted(L" \t ", {L"a.txt", L"e", L"f."}));
}

TEST(FileExtFilter, PatternsAndDotsAcceptNothingWhileEmptyAcceptsAll) {
    EXPECT_TRUE(Accepted(L"*.txt;.log", {L"a.txt", L"b.log"}).empty());
    EXPECT_EQ((Paths{L"a.txt", L"b", L"c.tar.gz"}), Accepted(L"", {L"a.txt", L"b", L"c.tar.gz"}));
    // The last dot of the last component counts; a dot in a folder name does not.
    EXPECT_EQ((Paths{L"C:\\x\\c.tar.gz"}), Accepted(L"gz", {L"C:\\x\\c.tar.gz", L"C:\\v.gz\\readme"}));
}

TEST(FileExtFilter, ChangingItLaterKeepsWhatWasAdded) {
    AppWindow app;
    app.SetText(IDC_FILEEXT_EDIT, L"txt");
    VQArray<VQWString, VQWString> first = Batch({L"a.txt"});
    app.window->AddTargets(&first);
    app.SetText(IDC_FILEEXT_EDIT, L"log");
    VQArray<VQWString, VQWString> second = Batch({L"b.log", L"c.txt"});
    app.window->AddTargets(&second);
    EXPECT_EQ((Paths{L"a.txt", L"b.log"}), app.List());
}

TEST(FileExtFilter, FilesLeftOutByTheirExtensionAreCountedOnTheLineUnderTheList) {
    TempDir dir;
    std::wstring folder = dir.MakeDir(L"録音");
    dir.WriteFile(L"録音\\a.wav", "x");
    dir.WriteFile(L"録音\\notes.txt", "x");
    std::wstring script = dir.WriteFile(L"build.js", "x");
    std::wstring song = dir.WriteFile(L"song.WAV", "x");
    AppWindow app;
    app.SetText(IDC_FILEEXT_EDIT, L"wav");
    // A drop (Send To and the command line come the same way), then a
    // batch with nothing left out, which says nothing.
    DropOn(app.Frame(), {script, folder});
    EXPECT_EQ((Paths{folder + L"\\a.wav"}), app.List());
    EXPECT_EQ(L"対象の拡張子に合わない 2 件を追加しませんでした", app.Text(IDC_RESULT_DETAIL));
    app.Select(0);
    VQArray<VQWString, VQWString> batch = Batch({song});
    app.window->AddTargets(&batch);
    EXPECT_EQ(2u, app.List().size());
    EXPECT_EQ(std::wstring::npos, app.Text(IDC_RESULT_DETAIL).find(L"対象の拡張子")) << "nothing left out";
    batch = Batch({script});
    app.window->AddTargets(&batch);
    EXPECT_EQ(L"対象の拡張子に合わない 1 件を追加しませんでした", app.Text(IDC_RESULT_DETAIL))
        << "said also when nothing is added";
}

TEST(Duplicates, OneFileIsListedOnceHoweverItIsSpelled) {
    AppWindow app;
    VQArray<VQWString, VQWString> batch =
        Batch({L"C:\\a.txt", L"C:\\b.txt", L"C:\\b.txt", L"c:\\B.TXT", L"C:\\x\\..\\b.txt"});
    app.window->AddTargets(&batch);
    EXPECT_EQ((Paths{L"C:\\a.txt", L"C:\\b.txt"}), app.List()) << "within one batch";
    VQArray<VQWString, VQWString> again = Batch({L"c:\\a.txt", L"C:\\.\\a.txt", L"C:\\c.txt", L"C:\\a.txt."});
    app.window->AddTargets(&again);
    EXPECT_EQ((Paths{L"C:\\a.txt", L"C:\\b.txt", L"C:\\c.txt"}), app.List()) << "across batches";
}

TEST(Drops, FoldersAreSearchedDepthFirstAndFiltered) {
    TempDir dir;
    std::wstring root = dir.MakeDir(L"写真 2026");
    dir.WriteFile(L"写真 2026\\a.jpg", "x");
    dir.WriteFile(L"写真 2026\\sub\\b.JPG", "x");
    dir.WriteFile(L"写真 2026\\sub\\notes.txt", "x");
    std::wstring loose = dir.WriteFile(L"loose.jpg", "x");

    AppWindow app;
    app.SetText(IDC_FILEEXT_EDIT, L"jpg");
    DropOn(app.Frame(), {root, dir.Join(L"missing.jpg"), loose});
    Paths list = app.List();
    ASSERT_EQ(3u, list.size());
    EXPECT_EQ(loose, list[2]);
    EXPECT_NE(list.end(), std::find(list.begin(), list.end(), root + L"\\a.jpg"));
    EXPECT_NE(list.end(), std::find(list.begin(), list.end(), root + L"\\sub\\b.JPG"));

    // The same files again, in a later drop: nothing new.
    DropOn(app.Frame(), {root, loose});
    EXPECT_EQ(3u, app.List().size());
}

TEST(Drops, AFolderAndItsFileInOneDropAddTheFileOnce) {
    TempDir dir;
    std::wstring folder = dir.MakeDir(L"f");
    std::wstring one = dir.WriteFile(L"f\\one.txt", "1");
    AppWindow app;
    QuitWatchdog watchdog(kWaitMs, 99);
    DropOn(app.Frame(), {folder, folder, one});
    EXPECT_EQ((Paths{one}), app.List());
    EXPECT_FALSE(watchdog.Fired()) << "nothing was passed over, so nothing is shown";
}

TEST(Drops, LinksAndUnopenableNamesArePassedOverAndNamedInOneMessage) {
    TempDir dir;
    std::wstring top = dir.MakeDir(L"top");
    std::wstring a = dir.WriteFile(L"top\\a.txt", "a");
    ASSERT_FALSE(dir.MakeFolderLink(L"top\\loop", top).empty());
    HANDLE h = CreateFileW((L"\\\\?\\" + top + L"\\aux.log").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    AppWindow app;
    DrawnText drawn;
    BoxAnswer ok;
    TimerScript script;
    script.Then(AnswerBox(&ok, IDOK));
    script.Start();
    DropOn(app.Frame(), {top});
    EXPECT_EQ((Paths{a}), app.List());
    EXPECT_TRUE(ok.seen);
    EXPECT_EQ(L"追加", ok.caption);
    EXPECT_TRUE(drawn.Saw(L"フォルダの中の次のものは追加しませんでした。\n"
                          L"フォルダのリンク（ジャンクション、シンボリックリンク）: 1 個\n"
                          L"Windows で開けない名前（CON、AUX.log、末尾が「.」や空白の名前など）: 1 件"));
}

namespace {

// The progress window at once, answered with キャンセル as soon as it is up.
class CancelAtOnce {
public:
    CancelAtOnce() : showAfter(VQWin32ProgressWindow::showAfterMs), lookEvery(VQWin32ProgressWindow::lookEveryMs) {
        VQWin32ProgressWindow::showAfterMs = 0;
        VQWin32ProgressWindow::lookEveryMs = 0;
        VQWin32ProgressWindow::onShown = [](HWND window) {
            shown = window;
            ownerEnabled = IsWindowEnabled(GetWindow(window, GW_OWNER)) != FALSE;
            PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        };
    }
    ~CancelAtOnce() {
        VQWin32ProgressWindow::showAfterMs = showAfter;
        VQWin32ProgressWindow::lookEveryMs = lookEvery;
        VQWin32ProgressWindow::onShown = nullptr;
    }
    static HWND shown;
    static bool ownerEnabled;

private:
    DWORD showAfter, lookEvery;
};
HWND CancelAtOnce::shown = nullptr;
bool CancelAtOnce::ownerEnabled = true;

}  // namespace

TEST(Drops, ALongAddCanBeCancelledAndThenAddsNothing) {
    TempDir dir;
    for (int i = 0; i < 300; ++i) dir.WriteFile(L"many\\" + std::to_wstring(i) + L".txt", "");
    AppWindow app;
    VQArray<VQWString, VQWString> first = Batch({L"C:\\kept.txt"});
    app.window->AddTargets(&first);
    {
        CancelAtOnce cancel;
        VQArray<VQWString, VQWString> folder = Batch({dir.Join(L"many")});
        app.window->AddDroppedPaths(folder);
        ASSERT_NE(nullptr, CancelAtOnce::shown);
        EXPECT_FALSE(CancelAtOnce::ownerEnabled) << "the main window takes no input while the work holds its state";
    }
    EXPECT_EQ((Paths{L"C:\\kept.txt"}), app.List());
    EXPECT_TRUE(IsWindowEnabled(app.Frame()));
    EXPECT_FALSE(IsWindow(CancelAtOnce::shown));
}

TEST(ListFiles, Utf16WithCrLfGivesOneEntryPerLine) {
    TempDir dir;
    std::wstring a = dir.WriteFile(L"データ\\a.txt", "a");
    std::wstring b = dir.WriteFile(L"b c.txt", "b");
    std::wstring path = WriteUtf16(dir, L"list.txt", L"\xFEFF" + a + L"\r\n\r\n" + b + L"\r\n");
    AppWindow app;
    QuitWatchdog watchdog(kWaitMs, 99);
    app.window->AddListFile(path.c_str());
    EXPECT_EQ((Paths{a, b}), app.List());
    EXPECT_FALSE(watchdog.Fired()) << "nothing was skipped, so nothing is shown";
}

TEST(ListFiles, WithoutTheMarkTheyAreUtf8WhenTheBytesSaySoElseAnsi) {
    TempDir dir;
    std::wstring x = dir.WriteFile(AnsiName() + L"\\x.txt", "x");
    std::wstring y = dir.WriteFile(L"写真\\雪 02.jpg", "y");
    std::wstring ansi = dir.WriteFile(L"ansi.txt", Narrow(CP_ACP, x + L"\n"));
    std::wstring utf8 = dir.WriteFile(L"utf8.txt", Narrow(CP_UTF8, y + L"\r\n"));
    std::wstring marked = dir.WriteFile(L"marked.txt", "\xEF\xBB\xBF" + Narrow(CP_UTF8, y + L"\r\n" + x));
    QuitWatchdog watchdog(kWaitMs, 99);
    {
        AppWindow app;
        app.window->AddListFile(ansi.c_str());
        app.window->AddListFile(utf8.c_str());
        EXPECT_EQ((Paths{x, y}), app.List());
    }
    AppWindow app;
    app.window->AddListFile(marked.c_str());
    EXPECT_EQ((Paths{y, x}), app.List());
    EXPECT_FALSE(watchdog.Fired());
}

TEST(ListFiles, LongLinesAreReadWholeAndFoldersAreSearched) {
    TempDir dir;
    std::wstring deep = dir.WriteFile(std::wstring(140, L'd') + L"\\" + std::wstring(140, L'd') + L"\\photo.txt", "p");
    ASSERT_GT(deep.size(), 286u);
    ASSERT_EQ("p", TempDir::ReadWholeFile(deep));
    std::wstring folder = dir.MakeDir(L"folder");
    std::wstring inside = dir.WriteFile(L"folder\\..old\\inside.txt", "i");
    dir.WriteFile(L"folder\\skipped.log", "s");
    std::wstring path = WriteUtf16(dir, L"list.txt", L"\xFEFF" + deep + L"\r\n" + folder + L"\r\n");
    AppWindow app;
    app.SetText(IDC_FILEEXT_EDIT, L"txt");
    QuitWatchdog watchdog(kWaitMs, 99);
    app.window->AddListFile(path.c_str());
    EXPECT_EQ((Paths{deep, inside}), app.List());
    app.window->AddListFile(dir.Join(L"missing.txt").c_str());
    EXPECT_EQ(2u, app.List().size());
    EXPECT_FALSE(watchdog.Fired()) << "a list file that cannot be opened shows nothing";
}

TEST(ListFiles, SkippedLinesAreCountedInAMessage) {
    TempDir dir;
    std::wstring kept = dir.WriteFile(L"kept.txt", "k");
    std::wstring text = L"\xFEFF" + kept + L"\r\n" + dir.Join(L"gone.txt") + L"\r\nZ:\\a" + std::wstring(1, L'\0') +
                        L"b.txt\r\n" + std::wstring(40000, L'x') + L"\r\n" + dir.Join(L"gone too.txt") + L"\r\n";
    std::wstring path = WriteUtf16(dir, L"list.txt", text);
    AppWindow app;
    DrawnText drawn;
    BoxAnswer ok;
    TimerScript script;
    script.Then(AnswerBox(&ok, IDOK));
    script.Start();
    app.window->AddListFile(path.c_str());
    EXPECT_EQ((Paths{kept}), app.List());
    EXPECT_TRUE(ok.seen);
    EXPECT_EQ(L"リスト追加", ok.caption);
    EXPECT_TRUE(drawn.Saw(L"リストファイルの 4 行を読み飛ばしました。\n存在しないパス: 2 行\n"
                          L"長すぎる行（32,767 文字を超える）: 1 行\nNUL 文字を含む行: 1 行\n\n"
                          L"2 行目: " + dir.Join(L"gone.txt") + L"\n3 行目: Z:\\a[NUL]b.txt\n4 行目: " +
                          std::wstring(80, L'x') + L"…\n5 行目: " + dir.Join(L"gone too.txt")));

    // Only the reasons that occurred are named.
    std::wstring one = WriteUtf16(dir, L"one.txt", L"\xFEFF" + kept + L"\r\n" + dir.Join(L"gone.txt"));
    drawn.Clear();
    BoxAnswer again;
    TimerScript second;
    second.Then(AnswerBox(&again, IDOK));
    second.Start();
    app.window->AddListFile(one.c_str());
    EXPECT_TRUE(again.seen);
    EXPECT_TRUE(drawn.Saw(L"リストファイルの 1 行を読み飛ばしました。\n存在しないパス: 1 行\n\n2 行目: " +
                          dir.Join(L"gone.txt")));
}

TEST(DeleteCommands, DeleteTakesTheSelectionAndDeleteAllAsksFirst) {
    AppWindow app;
    VQArray<VQWString, VQWString> batch = Batch({L"a", L"b", L"c"});
    app.window->AddTargets(&batch);
    app.Click(IDC_DELETE_BUTTON);
    EXPECT_EQ(3u, app.List().size()) << "nothing selected, nothing deleted";
    app.Select(1);
    app.Click(IDC_DELETE_BUTTON);
    EXPECT_EQ((Paths{L"a", L"c"}), app.List());

    DrawnText drawn;
    BoxAnswer no;
    TimerScript refuse;
    refuse.Then(AnswerBox(&no, IDNO));
    refuse.Start();
    app.Click(IDC_DELETE_ALL_BUTTON);
    EXPECT_TRUE(no.seen);
    EXPECT_EQ(L"確認", no.caption);
    EXPECT_TRUE(drawn.Saw(L"リストの全ての項目を削除しますか？（ファイルは削除されません）"));
    EXPECT_EQ(2u, app.List().size());

    BoxAnswer yes;
    TimerScript accept;
    accept.Then(AnswerBox(&yes, IDYES));
    accept.Start();
    app.Click(IDC_DELETE_ALL_BUTTON);
    EXPECT_TRUE(yes.seen);
    EXPECT_TRUE(app.List().empty());

    // An empty list asks nothing (a box would end at the watchdog's quit).
    drawn.Clear();
    QuitWatchdog watchdog(kWaitMs, 99);
    app.Click(IDC_DELETE_ALL_BUTTON);
    PumpFor(100);
    EXPECT_FALSE(drawn.Saw(L"全ファイルを削除しますか？"));
}

namespace {

std::vector<int> SelectedEntries(const AppWindow& app) { return app.Selected(); }

// A key pressed while the list has the focus, as the keyboard sends it.
void PressKeyInList(const AppWindow& app, WPARAM key) {
    HWND list = app.Control(IDC_TARGET_LIST);
    SetFocus(list);
    SendMessageW(list, WM_KEYDOWN, key, MAKELPARAM(1, MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC)));
    SendMessageW(list, WM_KEYUP, key, MAKELPARAM(1, MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC)) |
                                          0xC0000000);
    PumpPending();
}

}  // namespace

TEST(DeleteCommands, SeveralSelectedGoTogetherByButtonOrKeyAndTheNextOneIsSelected) {
    AppWindow app;
    VQArray<VQWString, VQWString> batch = Batch({L"a", L"b", L"c", L"d", L"e", L"f", L"g"});
    app.window->AddTargets(&batch);
    VQWin32DialogItemListView* list = app.Table();
    list->SetSelected(0, true);
    list->SetSelected(2, true);
    app.Click(IDC_DELETE_BUTTON);
    EXPECT_EQ((Paths{L"b", L"d", L"e", L"f", L"g"}), app.List());
    EXPECT_EQ(std::vector<int>{0}, SelectedEntries(app)) << "b took a's place";

    list->SelectOnly(1);
    list->SetSelected(3, true);
    PressKeyInList(app, VK_DELETE);
    EXPECT_EQ((Paths{L"b", L"e", L"g"}), app.List());
    EXPECT_EQ(std::vector<int>{1}, SelectedEntries(app)) << "e took d's place";
    EXPECT_EQ(L"3 件 ・ 完了 0 ・ 失敗 0 ・ 停止 0 ・ 未実行 3 ・ 選択 1", app.Counts());

    // Other keys keep their meaning in the list.
    PressKeyInList(app, VK_DOWN);
    EXPECT_EQ(std::vector<int>{2}, SelectedEntries(app));
    EXPECT_EQ(3u, app.List().size());
    // The last one removed: the one before it is selected, so Delete can go on.
    PressKeyInList(app, VK_DELETE);
    EXPECT_EQ((Paths{L"b", L"e"}), app.List());
    EXPECT_EQ(std::vector<int>{1}, SelectedEntries(app));
    PressKeyInList(app, VK_DELETE);
    PressKeyInList(app, VK_DELETE);
    EXPECT_TRUE(app.List().empty());
    EXPECT_EQ(L"", app.Counts());
}

TEST(TargetCount, TheCountsUnderTheTableFollowTheListAndTheSelection) {
    AppWindow app;
    EXPECT_EQ(L"", app.Counts()) << "nothing for an empty list";
    Paths names;
    for (int i = 0; i < 1234; ++i) names.push_back(L"C:\\写真\\" + std::to_wstring(i) + L".jpg");
    VQArray<VQWString, VQWString> batch = Batch(names);
    app.window->AddTargets(&batch);
    EXPECT_EQ(L"1,234 件 ・ 完了 0 ・ 失敗 0 ・ 停止 0 ・ 未実行 1,234 ・ 選択 0", app.Counts());
    for (int i = 0; i <= 234; ++i) app.Table()->SetSelected(i, true);
    EXPECT_EQ(L"1,234 件 ・ 完了 0 ・ 失敗 0 ・ 停止 0 ・ 未実行 1,234 ・ 選択 235", app.Counts());
    app.Click(IDC_DELETE_BUTTON);
    EXPECT_EQ(L"999 件 ・ 完了 0 ・ 失敗 0 ・ 停止 0 ・ 未実行 999 ・ 選択 1", app.Counts());
    batch = Batch({L"C:\\one more.jpg"});
    app.window->AddTargets(&batch);
    EXPECT_EQ(L"1,000 件 ・ 完了 0 ・ 失敗 0 ・ 停止 0 ・ 未実行 1,000 ・ 選択 1", app.Counts());
    EXPECT_EQ(L"対象ファイル(&F)", app.Text(IDC_TARGET_LABEL)) << "the label names the list alone";
}
