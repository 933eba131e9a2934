#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/app/app_window.h"
#include "tests/support/drawn_text.h"
#include "tests/support/message_pump.h"
#include "tests/support/temp_dir.h"
#include "tests/support/timer_script.h"
#include "tests/support/window_queries.h"

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

// Answers the next message box of this thread by pressing the button with
// id `answer`, noting its caption and the text it drew.
struct BoxAnswer {
    std::wstring caption;
    bool seen = false;
};

TimerScript::Step Answer(BoxAnswer* note, int answer) {
    return [note, answer] {
        HWND box = FindThreadWindow(L"VQMsgBox");
        if (!box) return false;
        note->caption = WindowText(box);
        note->seen = true;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
        return true;
    };
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

TEST(Duplicates, ListedPathsAreNotAddedAgainButOneBatchMayRepeat) {
    AppWindow app;
    VQArray<VQWString, VQWString> batch = Batch({L"C:\\a.txt", L"C:\\b.txt", L"C:\\b.txt"});
    app.window->AddTargets(&batch);
    EXPECT_EQ((Paths{L"C:\\a.txt", L"C:\\b.txt", L"C:\\b.txt"}), app.List());
    VQArray<VQWString, VQWString> again = Batch({L"C:\\a.txt", L"c:\\a.txt", L"C:\\b.txt"});
    app.window->AddTargets(&again);
    // Paths compare exactly: another case of the drive letter is another entry.
    EXPECT_EQ((Paths{L"C:\\a.txt", L"C:\\b.txt", L"C:\\b.txt", L"c:\\a.txt"}), app.List());
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

TEST(Drops, OneFolderTwiceInOneDropIsAddedTwice) {
    TempDir dir;
    std::wstring folder = dir.MakeDir(L"f");
    dir.WriteFile(L"f\\one.txt", "1");
    AppWindow app;
    DropOn(app.Frame(), {folder, folder});
    EXPECT_EQ((Paths{folder + L"\\one.txt", folder + L"\\one.txt"}), app.List());
}

TEST(ListFiles, Utf16WithCrLfGivesOneEntryPerLine) {
    TempDir dir;
    std::wstring text = L"\xFEFF" L"C:\\データ\\a.txt\r\n\r\nD:\\b c.txt\r\n";
    std::wstring path = WriteUtf16(dir, L"list.txt", text);
    AppWindow app;
    app.window->AddListFile(path.c_str());
    EXPECT_EQ((Paths{L"C:\\データ\\a.txt", L"D:\\b c.txt"}), app.List());
}

TEST(ListFiles, WithoutTheMarkTheyAreAnsiText) {
    TempDir dir;
    // C:\日本\x.txt in Shift-JIS, then the same path in UTF-8, which is not detected.
    std::wstring path = dir.WriteFile(L"list.txt", "C:\\\x93\xfa\x96\x7b\\x.txt\nC:\\\xe6\x97\xa5\\y.txt");
    AppWindow app;
    app.window->AddListFile(path.c_str());
    Paths list = app.List();
    ASSERT_EQ(2u, list.size());
    EXPECT_EQ(L"C:\\日本\\x.txt", list[0]);
    EXPECT_EQ(std::wstring(VQWString::FromAnsi("C:\\\xe6\x97\xa5\\y.txt", -1).Text()), list[1]);
    EXPECT_EQ(std::wstring::npos, list[1].find(L"日"));
}

TEST(ListFiles, LongLinesComeInPiecesOf259Units) {
    TempDir dir;
    std::wstring longLine(300, L'p');
    std::wstring text = L"\xFEFF" + longLine + L"\n";
    std::wstring path = WriteUtf16(dir, L"long.txt", text);
    AppWindow app;
    app.window->AddListFile(path.c_str());
    EXPECT_EQ((Paths{std::wstring(259, L'p'), std::wstring(41, L'p')}), app.List());
    app.window->AddListFile(dir.Join(L"missing.txt").c_str());
    EXPECT_EQ(2u, app.List().size());
}

TEST(ListFiles, ALineThatEndsWhereTheBufferEndsLosesItsCarriageReturnToo) {
    // 258 units and the CR fill one piece; the LF comes only with the next.
    TempDir dir;
    std::wstring wide(258, L'w');
    std::wstring text = L"\xFEFF" + wide + L"\r\nnext.txt\r\n";
    std::wstring utf16 = WriteUtf16(dir, L"wide.txt", text);
    std::string narrow(258, 'n');
    std::wstring ansi = dir.WriteFile(L"narrow.txt", narrow + "\r\nlast.txt\r\n");
    AppWindow app;
    app.window->AddListFile(utf16.c_str());
    app.window->AddListFile(ansi.c_str());
    EXPECT_EQ((Paths{wide, L"next.txt", std::wstring(258, L'n'), L"last.txt"}), app.List());
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
    refuse.Then(Answer(&no, IDNO));
    refuse.Start();
    app.Click(IDC_DELETE_ALL_BUTTON);
    EXPECT_TRUE(no.seen);
    EXPECT_EQ(L"確認", no.caption);
    EXPECT_TRUE(drawn.Saw(L"全ファイルを削除しますか？"));
    EXPECT_EQ(2u, app.List().size());

    BoxAnswer yes;
    TimerScript accept;
    accept.Then(Answer(&yes, IDYES));
    accept.Start();
    app.Click(IDC_DELETE_ALL_BUTTON);
    EXPECT_TRUE(yes.seen);
    EXPECT_TRUE(app.List().empty());

    // An empty list asks nothing (a box would end at the watchdog's quit).
    drawn.Clear();
    QuitWatchdog watchdog(3000, 99);
    app.Click(IDC_DELETE_ALL_BUTTON);
    PumpFor(100);
    EXPECT_FALSE(drawn.Saw(L"全ファイルを削除しますか？"));
}
