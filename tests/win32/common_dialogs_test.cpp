#include "win32/common_dialogs.h"

#include <commctrl.h>
#include <commdlg.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/timer_script.h"
#include "tests/win32/test_windows.h"

namespace {

// Control ids of the explorer-style file dialog.
constexpr int kFileNameBox = 1148;  // cmb13
constexpr int kFilterBox = 1136;    // cmb1
// The folder dialog's title text.
constexpr int kFolderTitle = 14146;

std::vector<std::wstring> WalkSelection(const wchar_t* result) {
    std::vector<std::wstring> paths;
    VQWString path;
    const wchar_t* cursor = nullptr;
    while ((cursor = NextSelectedPath(path, result, cursor)) != nullptr) {
        paths.push_back(path.Text());
        if (paths.size() > 10) break;
    }
    return paths;
}

std::wstring ComboItem(HWND combo, int index) {
    wchar_t text[512] = {0};
    SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

// The current directory is where the file dialogs open.
class InFolder {
public:
    explicit InFolder(const std::wstring& folder) {
        GetCurrentDirectoryW(MAX_PATH, previous);
        SetCurrentDirectoryW(folder.c_str());
    }
    ~InFolder() { SetCurrentDirectoryW(previous); }

private:
    wchar_t previous[MAX_PATH];
};

std::wstring LongPath(const std::wstring& path) {
    wchar_t full[MAX_PATH];
    DWORD n = GetLongPathNameW(path.c_str(), full, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(full) : path;
}

// What a script saw of a dialog while it was open.
struct DialogView {
    std::wstring caption;
    std::wstring title;
    std::vector<std::wstring> filters;
};

// Waits for the file dialog, notes what it shows, types `name` and presses
// OK (or Cancel when name is null); filterIndex >= 0 picks that filter first.
TimerScript::Step AnswerFileDialog(DialogView* view, const wchar_t* name, int filterIndex = -1) {
    return [=] {
        HWND dialog = FindThreadWindow(L"#32770");
        // Up and initialised: the file name box exists.
        if (!dialog || !GetDlgItem(dialog, kFileNameBox)) return false;
        view->caption = WindowText(dialog);
        HWND filters = GetDlgItem(dialog, kFilterBox);
        int count = static_cast<int>(SendMessageW(filters, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) view->filters.push_back(ComboItem(filters, i));
        if (filterIndex >= 0) {
            SendMessageW(filters, CB_SETCURSEL, filterIndex, 0);
            // As the list does when a user picks an entry.
            for (WORD code : {CBN_SELCHANGE, CBN_SELENDOK}) {
                SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kFilterBox, code), reinterpret_cast<LPARAM>(filters));
            }
        }
        if (!name) {
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            return true;
        }
        SendMessageW(dialog, CDM_SETCONTROLTEXT, kFileNameBox, reinterpret_cast<LPARAM>(name));
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        return true;
    };
}

const wchar_t kAddFilter[] = L"対象ファイル(*.txt)\0*.txt\0全てのファイル(*.*)\0*.*\0";

// The shell's dialogs can take seconds to come up on a loaded machine (a
// build beside the tests): the scripts wait on the dialog's own state, and
// this limit only ends a test whose dialog never answers.
constexpr int kShellDialogLimitMs = 120000;

// The folder dialog as a script sees it at one tick.
struct FolderDialogView {
    HWND dialog = nullptr;
    HWND tree = nullptr;
    std::wstring title;     // the dialog's title text, set while it initialises
    std::wstring selected;  // the tree's selected folder; empty while none is
    bool hasSelection = false;

    // Initialised: our title is shown. The initial-folder callback runs inside
    // the initialisation too, so an existing initial folder is selected by now.
    bool Ready() const { return title == L"カレントディレクトリの選択"; }
    std::string Describe() const {
        std::string text = "last seen: dialog " + std::string(dialog ? "up" : "not up");
        text += tree ? ", tree" : ", no tree";
        text += title.empty() ? ", no title" : ", a title";
        if (!hasSelection) return text + ", no selection";
        int n = WideCharToMultiByte(CP_UTF8, 0, selected.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(n > 0 ? n - 1 : 0, '\0');
        if (n > 1) WideCharToMultiByte(CP_UTF8, 0, selected.c_str(), -1, &utf8[0], n, nullptr, nullptr);
        return text + ", selected \"" + utf8 + "\"";
    }
};

FolderDialogView ReadFolderDialog() {
    FolderDialogView view;
    view.dialog = FindThreadWindow(L"#32770");
    if (!view.dialog) return view;
    view.title = WindowText(GetDlgItem(view.dialog, kFolderTitle));
    view.tree = FindWindowExW(view.dialog, nullptr, WC_TREEVIEWW, nullptr);
    HTREEITEM selected = view.tree ? TreeView_GetSelection(view.tree) : nullptr;
    if (!selected) return view;
    view.hasSelection = true;
    wchar_t name[MAX_PATH] = {0};
    TVITEMW item = {};
    item.mask = TVIF_TEXT;
    item.hItem = selected;
    item.pszText = name;
    item.cchTextMax = MAX_PATH;
    TreeView_GetItem(view.tree, &item);
    view.selected = name;
    return view;
}

}  // namespace

TEST(NextSelectedPath, JoinsTheFolderWithEachNameInOrder) {
    const wchar_t result[] = L"C:\\data\\in\0a.txt\0b b.txt\0c.txt\0";
    std::vector<std::wstring> paths = WalkSelection(result);
    ASSERT_EQ(3u, paths.size());
    EXPECT_EQ(L"C:\\data\\in\\a.txt", paths[0]);
    EXPECT_EQ(L"C:\\data\\in\\b b.txt", paths[1]);
    EXPECT_EQ(L"C:\\data\\in\\c.txt", paths[2]);

    // At a drive root the folder already ends in a backslash: no second one.
    const wchar_t atRoot[] = L"C:\\\0x.txt\0y.txt\0";
    paths = WalkSelection(atRoot);
    ASSERT_EQ(2u, paths.size());
    EXPECT_EQ(L"C:\\x.txt", paths[0]);
    EXPECT_EQ(L"C:\\y.txt", paths[1]);
}

TEST(NextSelectedPath, GivesOneChosenFileOnceAndNothingForAnEmptyResult) {
    const wchar_t result[] = L"C:\\data\\in\\only.txt\0";
    std::vector<std::wstring> paths = WalkSelection(result);
    ASSERT_EQ(1u, paths.size());
    EXPECT_EQ(L"C:\\data\\in\\only.txt", paths[0]);

    const wchar_t empty[4] = {0, 0, 0, 0};
    EXPECT_TRUE(WalkSelection(empty).empty());
}

TEST(SingleTypeFilter, HoldsTheDescriptionAndThePatternAndRefusesWhatDoesNotFit) {
    wchar_t filter[kVQSingleFilterUnits];
    ASSERT_TRUE(BuildSingleTypeFilter(filter, L"リストファイル", L"txt"));
    const wchar_t expected[] = L"リストファイル(*.txt)\0*.txt\0";
    EXPECT_EQ(0, memcmp(expected, filter, sizeof expected));

    std::wstring longDescription(kVQSingleFilterUnits - 10, L'説');
    EXPECT_FALSE(BuildSingleTypeFilter(filter, longDescription.c_str(), L"txt"));
    EXPECT_EQ(L'\0', filter[0]);
    EXPECT_EQ(L'\0', filter[1]);
    // Exactly full: the description, "(*.)", NUL, "*.", NUL and the final NUL.
    std::wstring fits(kVQSingleFilterUnits - 11, L'a');
    EXPECT_TRUE(BuildSingleTypeFilter(filter, fits.c_str(), L"x"));
    std::wstring oneMore(kVQSingleFilterUnits - 10, L'a');
    EXPECT_FALSE(BuildSingleTypeFilter(filter, oneMore.c_str(), L"x"));
}

TEST(FileDialogs, AddingThreeFilesGivesTheirPathsAndTheChosenFilter) {
    TempDir dir;
    dir.WriteFile(L"a.txt", "a");
    dir.WriteFile(L"b.txt", "b");
    dir.WriteFile(L"c.txt", "c");
    InFolder in(dir.Path());
    std::wstring folder = LongPath(dir.Path());

    std::vector<wchar_t> result(kVQFilesToAddUnits, L'\0');
    int filterIndex = 2;
    DialogView view;
    TimerScript script;
    script.Then(AnswerFileDialog(&view, L"\"a.txt\" \"b.txt\" \"c.txt\"", 0));
    script.Start();
    QuitWatchdog watchdog(kShellDialogLimitMs, 99);
    ASSERT_TRUE(ChooseFilesToAdd(result.data(), &filterIndex, kAddFilter, nullptr));
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(L"ファイルを追加", view.caption);
    ASSERT_EQ(2u, view.filters.size());
    EXPECT_EQ(L"対象ファイル(*.txt)", view.filters[0]);
    EXPECT_EQ(1, filterIndex);

    std::vector<std::wstring> paths = WalkSelection(result.data());
    ASSERT_EQ(3u, paths.size());
    EXPECT_EQ(folder + L"\\a.txt", LongPath(paths[0]));
    EXPECT_EQ(folder + L"\\b.txt", LongPath(paths[1]));
    EXPECT_EQ(folder + L"\\c.txt", LongPath(paths[2]));

    // One file: its full path once.
    std::fill(result.begin(), result.end(), L'\0');
    DialogView one;
    TimerScript again;
    again.Then(AnswerFileDialog(&one, L"b.txt"));
    again.Start();
    ASSERT_TRUE(ChooseFilesToAdd(result.data(), &filterIndex, kAddFilter, nullptr));
    paths = WalkSelection(result.data());
    ASSERT_EQ(1u, paths.size());
    EXPECT_EQ(folder + L"\\b.txt", LongPath(paths[0]));

    // Cancelled: false, and the filter index stays as it was.
    filterIndex = 2;
    DialogView cancelled;
    TimerScript cancel;
    cancel.Then(AnswerFileDialog(&cancelled, nullptr, 0));
    cancel.Start();
    EXPECT_FALSE(ChooseFilesToAdd(result.data(), &filterIndex, kAddFilter, nullptr));
    EXPECT_EQ(2, filterIndex);
    PumpPending();
}

TEST(FileDialogs, OpenAndSaveShowTheirTitleAndFilterAndSaveAddsTheExtension) {
    TempDir dir;
    dir.WriteFile(L"list.txt", "x");
    InFolder in(dir.Path());
    std::wstring folder = LongPath(dir.Path());
    QuitWatchdog watchdog(kShellDialogLimitMs, 99);

    wchar_t file[MAX_PATH] = L"";
    DialogView open;
    TimerScript openScript;
    openScript.Then(AnswerFileDialog(&open, L"list.txt"));
    openScript.Start();
    ASSERT_TRUE(ChooseOpenFile(file, L"ファイルリストを選択", L"リストファイル", L"txt", nullptr));
    EXPECT_EQ(L"ファイルリストを選択", open.caption);
    ASSERT_EQ(1u, open.filters.size());
    EXPECT_EQ(L"リストファイル(*.txt)", open.filters[0]);
    EXPECT_EQ(folder + L"\\list.txt", LongPath(file));

    DialogView cancelled;
    TimerScript cancelScript;
    cancelScript.Then(AnswerFileDialog(&cancelled, nullptr));
    cancelScript.Start();
    EXPECT_FALSE(ChooseOpenFile(file, L"設定を読み込む", L"設定ファイル", L"ini", nullptr));
    EXPECT_EQ(L"設定を読み込む", cancelled.caption);

    wchar_t target[MAX_PATH] = L"";
    DialogView save;
    TimerScript saveScript;
    saveScript.Then(AnswerFileDialog(&save, L"new"));
    saveScript.Start();
    ASSERT_TRUE(ChooseSettingsSavePath(target));
    EXPECT_EQ(L"設定を保存", save.caption);
    ASSERT_EQ(1u, save.filters.size());
    EXPECT_EQ(L"設定ファイル(*.ini)", save.filters[0]);
    EXPECT_EQ(folder + L"\\new.ini", std::wstring(target));
    EXPECT_FALSE(watchdog.Fired());
    PumpPending();
}

TEST(FolderDialog, OpensAtTheInitialFolderAndCancelLeavesThePath) {
    TempDir dir;
    std::wstring inner = LongPath(dir.MakeDir(L"作業"));
    QuitWatchdog watchdog(kShellDialogLimitMs, 99);

    wchar_t path[MAX_PATH];
    lstrcpynW(path, inner.c_str(), MAX_PATH);
    FolderDialogView seen;
    // Wine's tree now and then shows the folders but never selects the one
    // asked for (seen once in five runs of the suite here): such a
    // dialog is cancelled after a while and opened once more.
    bool gaveUp = false;
    auto openAndPressOk = [&] {
        gaveUp = false;
        DWORD readySince = 0;
        TimerScript okScript;
        okScript.Then([&seen, &gaveUp, &readySince] {
            seen = ReadFolderDialog();
            // Should the tree fill in later than the dialog shows, wait for it.
            if (seen.Ready() && seen.selected.empty()) {
                if (readySince == 0) readySince = GetTickCount();
                if (GetTickCount() - readySince > 20000) {
                    gaveUp = true;
                    PostMessageW(seen.dialog, WM_COMMAND, IDCANCEL, 0);
                    return true;
                }
            }
            if (!seen.Ready() || seen.selected != L"作業") return false;
            // OK with nothing else done: the answer is the folder it opened at.
            PostMessageW(seen.dialog, WM_COMMAND, IDOK, 0);
            return true;
        });
        okScript.Start();
        return ChooseFolder(path);
    };
    int answer = openAndPressOk();
    if (answer == -1 && gaveUp) answer = openAndPressOk();
    EXPECT_EQ(1, answer) << seen.Describe();
    EXPECT_EQ(L"作業", seen.selected);
    EXPECT_EQ(inner, LongPath(path));

    wchar_t kept[MAX_PATH] = L"C:\\no\\such\\folder";
    TimerScript cancelScript;
    cancelScript.Then([&seen] {
        seen = ReadFolderDialog();
        if (!seen.Ready()) return false;
        PostMessageW(seen.dialog, WM_COMMAND, IDCANCEL, 0);
        return true;
    });
    cancelScript.Start();
    EXPECT_EQ(-1, ChooseFolder(kept)) << seen.Describe();
    EXPECT_EQ(std::wstring(L"C:\\no\\such\\folder"), kept);
    EXPECT_FALSE(watchdog.Fired()) << seen.Describe();
    PumpPending();
}

namespace {

std::wstring CurrentDirectory() {
    wchar_t path[MAX_PATH] = {0};
    GetCurrentDirectoryW(MAX_PATH, path);
    return LongPath(path);
}

}  // namespace

TEST(FileDialogs, AChoiceInAnotherFolderLeavesTheCurrentDirectoryWhereItWas) {
    TempDir dir;
    std::wstring listFile = dir.WriteFile(L"elsewhere\\list.txt", "x");
    std::wstring other = LongPath(dir.Join(L"elsewhere"));
    std::wstring home = LongPath(dir.MakeDir(L"home"));
    InFolder in(home);
    QuitWatchdog watchdog(kShellDialogLimitMs, 99);

    wchar_t file[MAX_PATH] = L"";
    DialogView open;
    TimerScript openScript;
    openScript.Then(AnswerFileDialog(&open, listFile.c_str()));
    openScript.Start();
    ASSERT_TRUE(ChooseOpenFile(file, L"ファイルリストを選択", L"リストファイル", L"txt", nullptr));
    EXPECT_EQ(other + L"\\list.txt", LongPath(file));
    EXPECT_EQ(home, CurrentDirectory());

    std::vector<wchar_t> result(kVQFilesToAddUnits, L'\0');
    int filterIndex = 1;
    DialogView add;
    TimerScript addScript;
    addScript.Then(AnswerFileDialog(&add, listFile.c_str()));
    addScript.Start();
    ASSERT_TRUE(ChooseFilesToAdd(result.data(), &filterIndex, kAddFilter, nullptr));
    EXPECT_EQ(home, CurrentDirectory());

    wchar_t target[MAX_PATH] = L"";
    std::wstring newFile = other + L"\\new.ini";
    DialogView save;
    TimerScript saveScript;
    saveScript.Then(AnswerFileDialog(&save, newFile.c_str()));
    saveScript.Start();
    ASSERT_TRUE(ChooseSettingsSavePath(target));
    EXPECT_EQ(newFile, LongPath(target));
    EXPECT_EQ(home, CurrentDirectory());
    EXPECT_FALSE(watchdog.Fired());
    PumpPending();
}

namespace {

// What a script saw while a dialog was open: its owner, and whether the
// window that should be locked under it took input.
struct OwnerView {
    HWND owner = nullptr;
    bool lockedEnabled = true;
};

TimerScript::Step NoteOwnerAndCancel(OwnerView* view, HWND locked) {
    return [view, locked] {
        HWND dialog = FindThreadWindow(L"#32770");
        // The folder dialog has no file name box; either dialog has an OK button.
        if (!dialog || !GetDlgItem(dialog, IDOK)) return false;
        view->owner = GetWindow(dialog, GW_OWNER);
        view->lockedEnabled = IsWindowEnabled(locked) != 0;
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return true;
    };
}

}  // namespace

TEST(FileDialogs, TheSaveAndFolderDialogsLockTheMainWindowOrTheGivenOne) {
    MainWithPopup windows(L"QBTestDialogOwnerMain", L"QBTestDialogOwnerPopup");
    ASSERT_TRUE(windows.opened);
    TempDir dir;
    InFolder in(dir.Path());
    QuitWatchdog watchdog(kShellDialogLimitMs, 99);

    wchar_t target[MAX_PATH] = L"";
    OwnerView save;
    TimerScript saveScript;
    saveScript.Then(NoteOwnerAndCancel(&save, windows.main.handle));
    saveScript.Start();
    EXPECT_FALSE(ChooseSettingsSavePath(target));
    EXPECT_EQ(windows.main.handle, save.owner);
    EXPECT_FALSE(save.lockedEnabled);
    EXPECT_TRUE(IsWindowEnabled(windows.main.handle));

    OwnerView saveOnPopup;
    TimerScript popupScript;
    popupScript.Then(NoteOwnerAndCancel(&saveOnPopup, windows.popup.handle));
    popupScript.Start();
    EXPECT_FALSE(ChooseSettingsSavePath(target, windows.popup.handle));
    EXPECT_EQ(windows.popup.handle, saveOnPopup.owner);
    EXPECT_FALSE(saveOnPopup.lockedEnabled);

    wchar_t folder[MAX_PATH];
    lstrcpynW(folder, dir.Path().c_str(), MAX_PATH);
    OwnerView browse;
    TimerScript folderScript;
    folderScript.Then(NoteOwnerAndCancel(&browse, windows.main.handle));
    folderScript.Start();
    EXPECT_EQ(-1, ChooseFolder(folder));
    EXPECT_EQ(windows.main.handle, browse.owner);
    EXPECT_FALSE(browse.lockedEnabled);
    EXPECT_TRUE(IsWindowEnabled(windows.main.handle));
    EXPECT_FALSE(watchdog.Fired());
    PumpPending();
}

