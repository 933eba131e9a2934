// What the real Quenbrix.exe keeps of jobs, driven as a user drives it: the
// command fields' history across runs and a restart, named jobs and the
// question before switching away from changes, the portable copy beside the
// program that leaves nothing in the registry or the profile, and the plan
// written before a run against what the run records.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/resource.h"
#include "app/unattended_start.h"
#include "tests/app/app_window.h"
#include "tests/app/quenbrix_process.h"
#include "tests/support/child_program.h"
#include "tests/support/message_pump.h"
#include "tests/support/registry_key.h"
#include "tests/support/temp_dir.h"

namespace {

typedef std::vector<std::wstring> Texts;

const wchar_t kIdle[] = L"対象ファイルにコマンドを実行する";
const int kFileNameBox = 1148;

std::string Utf16File(const std::wstring& text) {
    std::string bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

std::wstring FromUtf16File(const std::string& bytes) {
    if (bytes.size() < 2) return std::wstring();
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / sizeof(wchar_t));
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

void WaitOutTheEndOfARun() { Sleep(RunController::kRunAfterEndMs + 100); }

// A combo box's list in another process.
Texts Entries(HWND combo) {
    Texts entries;
    LRESULT count = SendRemote(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[2048] = {};
        if (SendRemote(combo, CB_GETLBTEXTLEN, i, 0) >= 2048) continue;
        SendRemote(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        entries.push_back(text);
    }
    return entries;
}

// Picks the entry of the ジョブ drop-down as a click in its list does.
void ChooseJob(const QuenbrixProcess& app, const std::wstring& shown) {
    HWND combo = app.Control(IDC_JOB_COMBO);
    Texts entries = Entries(combo);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i] != shown) continue;
        SendRemote(combo, CB_SETCURSEL, i, 0);
        PostMessageW(app.Panel(), WM_COMMAND, MAKEWPARAM(IDC_JOB_COMBO, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
        return;
    }
    ADD_FAILURE() << "no job entry shown as that";
}

std::wstring SelectedJob(const QuenbrixProcess& app) {
    HWND combo = app.Control(IDC_JOB_COMBO);
    LRESULT index = SendRemote(combo, CB_GETCURSEL, 0, 0);
    Texts entries = Entries(combo);
    return index >= 0 && index < static_cast<LRESULT>(entries.size()) ? entries[index] : L"<none>";
}

// List add with a list file naming the targets; waits until the list holds them.
void AddTargets(QuenbrixProcess& app, const TempDir& dir, const Texts& targets) {
    std::wstring lines;
    for (const std::wstring& target : targets) lines += target + L"\r\n";
    std::wstring listFile = dir.WriteFile(L"対象 リスト.txt", Utf16File(lines));
    app.Click(IDC_LIST_ADD_BUTTON);
    HWND dialog = app.WaitForWindow(L"#32770", L"ファイルリストを選択");
    ASSERT_NE(nullptr, dialog);
    SetRemoteText(GetDlgItem(dialog, kFileNameBox), listFile);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    ASSERT_TRUE(WaitUntil([&] { return app.List() == targets; }));
}

// Run, and wait for its end.
void RunToTheEnd(QuenbrixProcess& app) {
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(WaitUntil([&] { return app.Text(IDC_RUN_BUTTON) == L"停止(&T)"; }) ||
                app.Text(IDC_RUN_BUTTON) == L"実行(&E)");
    ASSERT_TRUE(WaitUntil([&] { return app.Text(IDC_RUN_BUTTON) == L"実行(&E)" && app.Caption().find(L"処理中") != 0; }));
    WaitOutTheEndOfARun();
}

bool KeyExists(const char* path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A copy of the program in folder, as a user makes a portable one.
std::wstring CopyProgram(const TempDir& dir, const std::wstring& folder) {
    std::wstring program = dir.MakeDir(folder) + L"\\Quenbrix.exe";
    CopyFileW(QuenbrixProcess::ProgramPath().c_str(), program.c_str(), FALSE);
    return program;
}

// HKEY_CURRENT_USER\Software whole, as reg export writes it; empty when
// the export failed.
std::string ExportedSoftwareKey(const TempDir& dir) {
    return ExportedRegistryKey(L"Software", dir.Join(L"software.reg"));
}

class JobsEndToEnd : public ::testing::Test {
protected:
    JobsEndToEnd() : key("Software\\velqo\\Quenbrix") {}
    TestRegistryKey key;
};

}  // namespace

TEST_F(JobsEndToEnd, ThreeRunsAreOfferedNewestFirstAndSurviveARestart) {
    TempDir dir, appData;
    std::wstring settings = dir.WriteFile(L"keep.ini", Utf16File(L"[Quenbrix]\r\nDelete = 0\r\n"));
    std::wstring target = dir.WriteFile(L"写真 1.txt", "x");
    Texts commands;
    {
        QuenbrixProcess app;
        app.appData = appData.Path();
        ASSERT_TRUE(app.Start(Quoted(settings)));
        ASSERT_NO_FATAL_FAILURE(AddTargets(app, dir, {target}));
        for (int i = 1; i <= 3; ++i) {
            commands.insert(commands.begin(),
                            ChildProgram() + L" write \"$fullname." + std::to_wstring(i) + L"\" x");
            app.SetText(IDC_COMMAND_EDIT, commands.front());
            ASSERT_NO_FATAL_FAILURE(RunToTheEnd(app));
            EXPECT_TRUE(FileExists(target + L"." + std::to_wstring(i)));
        }
        // The first again: it moves to the top, not in twice.
        app.SetText(IDC_COMMAND_EDIT, commands.back());
        ASSERT_NO_FATAL_FAILURE(RunToTheEnd(app));
        commands.insert(commands.begin(), commands.back());
        commands.pop_back();
        // Typed, never run: not kept.
        app.SetText(IDC_COMMAND_EDIT, L"typed only");
        EXPECT_EQ(commands, Entries(app.Control(IDC_COMMAND_EDIT)));
        EXPECT_EQ(Texts{}, Entries(app.Control(IDC_PRECOMMAND_EDIT))) << "an empty field keeps nothing";
        EXPECT_EQ(L"typed only", app.Text(IDC_COMMAND_EDIT)) << "the history leaves the field's text alone";
        EXPECT_EQ(0u, app.Close());
    }
    QuenbrixProcess again;
    again.appData = appData.Path();
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(commands, Entries(again.Control(IDC_COMMAND_EDIT)));
    // Choosing an entry puts it in the field, and the preview follows.
    HWND combo = again.Control(IDC_COMMAND_EDIT);
    SendRemote(combo, CB_SETCURSEL, 1, 0);
    PostMessageW(again.Panel(), WM_COMMAND, MAKEWPARAM(IDC_COMMAND_EDIT, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    EXPECT_TRUE(WaitUntil([&] { return again.Text(IDC_COMMAND_EDIT) == commands[1]; }));
    EXPECT_EQ(0u, again.Close());
}

TEST_F(JobsEndToEnd, SavingAJobAndSwitchingAwayFromChangesAsksFirst) {
    TempDir appData;
    std::wstring jobs = appData.MakeDir(L"Quenbrix\\jobs");
    appData.WriteFile(L"Quenbrix\\jobs\\写真をWebPに.ini",
                      Utf16File(L"[Quenbrix]\r\nCommand = cwebp \"$fullname\"\r\nDelete = 0\r\n"));
    appData.WriteFile(L"Quenbrix\\jobs\\壊れた.ini", "[Quenbrix\x80\x81\r\n");
    QuenbrixProcess app;
    app.appData = appData.Path();
    ASSERT_TRUE(app.Start());
    Texts shown = Entries(app.Control(IDC_JOB_COMBO));
    ASSERT_EQ(3u, shown.size());
    EXPECT_EQ(L"（なし）", shown[0]);
    EXPECT_NE(shown.end(), std::find(shown.begin(), shown.end(), L"写真をWebPに"));
    EXPECT_NE(shown.end(), std::find(shown.begin(), shown.end(), L"壊れた （読み込めません）"));
    EXPECT_EQ(kIdle, app.Caption());

    ChooseJob(app, L"写真をWebPに");
    EXPECT_TRUE(WaitUntil([&] { return app.Caption() == L"写真をWebPに - 対象ファイルにコマンドを実行する"; }));
    EXPECT_EQ(L"cwebp \"$fullname\"", app.Text(IDC_COMMAND_EDIT));
    EXPECT_FALSE(app.IsChecked(IDC_DELETE_CHECK));

    // 名前を付けて保存: a name Windows refuses first, then a good one.
    PostMessageW(app.Frame(), WM_COMMAND, IDM_JOB_SAVE_AS, 0);
    HWND dialog = app.WaitForWindow(L"#32770", L"名前を付けて保存");
    ASSERT_NE(nullptr, dialog);
    SetRemoteText(GetDlgItem(dialog, IDC_JOB_NAME_EDIT), L"写真|WebP");
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    HWND box = app.WaitForWindow(L"VQMsgBox");
    ASSERT_NE(nullptr, box);
    EXPECT_NE(std::wstring::npos, CopiedBoxText(box).find(L"ジョブの名前に次の文字は使えません"));
    ASSERT_TRUE(PressButton(box, L"OK"));
    dialog = app.WaitForWindow(L"#32770", L"名前を付けて保存");
    ASSERT_NE(nullptr, dialog) << "the name is asked again";
    SetRemoteText(GetDlgItem(dialog, IDC_JOB_NAME_EDIT), L"バックアップ");
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return Exists(jobs + L"\\バックアップ.ini"); }));
    EXPECT_TRUE(WaitUntil([&] { return app.Caption() == L"バックアップ - 対象ファイルにコマンドを実行する"; }));
    EXPECT_EQ(L"バックアップ", SelectedJob(app));

    // A change, then another job: the question; Cancel stays.
    app.SetText(IDC_COMMAND_EDIT, L"copy \"$fullname\" D:\\控え");
    ChooseJob(app, L"写真をWebPに");
    box = app.WaitForWindow(L"VQMsgBox");
    ASSERT_NE(nullptr, box);
    std::wstring question = CopiedBoxText(box);
    EXPECT_NE(std::wstring::npos, question.find(L"変更を保存しますか？"));
    EXPECT_NE(std::wstring::npos, question.find(L"はい"));
    EXPECT_NE(std::wstring::npos, question.find(L"いいえ"));
    ASSERT_TRUE(PressButton(box, L"ｷｬﾝｾﾙ") || PressButton(box, L"キャンセル"));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    ASSERT_TRUE(app.Sync());
    EXPECT_EQ(L"バックアップ", SelectedJob(app));
    EXPECT_EQ(L"copy \"$fullname\" D:\\控え", app.Text(IDC_COMMAND_EDIT));
    EXPECT_EQ(L"バックアップ - 対象ファイルにコマンドを実行する", app.Caption());

    // はい: the change goes into the job left, then the other one loads.
    ChooseJob(app, L"写真をWebPに");
    box = app.WaitForWindow(L"VQMsgBox");
    ASSERT_NE(nullptr, box);
    ASSERT_TRUE(PressButton(box, L"はい"));
    EXPECT_TRUE(WaitUntil([&] { return app.Caption() == L"写真をWebPに - 対象ファイルにコマンドを実行する"; }));
    EXPECT_EQ(L"cwebp \"$fullname\"", app.Text(IDC_COMMAND_EDIT));
    EXPECT_NE(std::wstring::npos,
              FromUtf16File(TempDir::ReadWholeFile(jobs + L"\\バックアップ.ini")).find(L"Command = copy \"$fullname\" D:\\控え"));

    // Unchanged: no question. A job that does not load: the message, nothing changes.
    ChooseJob(app, L"壊れた （読み込めません）");
    box = app.WaitForWindow(L"VQMsgBox");
    ASSERT_NE(nullptr, box);
    std::wstring message = CopiedBoxText(box);
    EXPECT_NE(std::wstring::npos, message.find(L"ジョブ「壊れた」は設定ファイルとして読み込めません。")) << "not the question";
    ASSERT_TRUE(PressButton(box, L"OK"));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    ASSERT_TRUE(app.Sync());
    EXPECT_EQ(L"写真をWebPに", SelectedJob(app));
    EXPECT_EQ(L"cwebp \"$fullname\"", app.Text(IDC_COMMAND_EDIT));

    // 「（なし）」: the idle caption alone, the fields stay.
    ChooseJob(app, L"（なし）");
    EXPECT_TRUE(WaitUntil([&] { return app.Caption() == kIdle; }));
    EXPECT_EQ(L"cwebp \"$fullname\"", app.Text(IDC_COMMAND_EDIT));
    EXPECT_EQ(0u, app.Close());
}

TEST_F(JobsEndToEnd, APortableCopyKeepsEverythingBesideItself) {
    TempDir dir, appData;
    std::wstring program = CopyProgram(dir, L"USB メモリ");
    std::wstring folder = dir.Join(L"USB メモリ");
    dir.WriteFile(L"USB メモリ\\Quenbrix.ini", "");
    std::wstring target = dir.WriteFile(L"対象\\夏.txt", "x");
    RegDeleteKeyA(HKEY_CURRENT_USER, key.Path().c_str());
    {
        QuenbrixProcess app;
        app.program = program;
        app.appData = appData.Path();
        ASSERT_TRUE(app.Start());
        EXPECT_EQ(nullptr, app.FindOwnWindow(L"VQMsgBox")) << "a portable start says nothing";
        ASSERT_NO_FATAL_FAILURE(AddTargets(app, dir, {target}));
        app.SetText(IDC_COMMAND_EDIT, ChildProgram() + L" write \"$fullname.out\" x");
        ASSERT_NO_FATAL_FAILURE(RunToTheEnd(app));
        EXPECT_TRUE(FileExists(target + L".out"));
        // A job too.
        PostMessageW(app.Frame(), WM_COMMAND, IDM_JOB_SAVE_AS, 0);
        HWND dialog = app.WaitForWindow(L"#32770", L"名前を付けて保存");
        ASSERT_NE(nullptr, dialog);
        SetRemoteText(GetDlgItem(dialog, IDC_JOB_NAME_EDIT), L"持ち運び");
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntil([&] { return Exists(folder + L"\\Quenbrix-data\\jobs\\持ち運び.ini"); }));
        EXPECT_EQ(0u, app.Close());
    }
    EXPECT_FALSE(KeyExists("Software\\velqo\\Quenbrix")) << "nothing in the registry";
    EXPECT_FALSE(Exists(appData.Join(L"Quenbrix"))) << "nothing in the profile";
    std::wstring ini = FromUtf16File(TempDir::ReadWholeFile(folder + L"\\Quenbrix.ini"));
    EXPECT_NE(std::wstring::npos, ini.find(L"[Quenbrix]"));
    EXPECT_NE(std::wstring::npos, ini.find(L"Command = " + ChildProgram() + L" write \"$fullname.out\" x"));
    EXPECT_NE(std::wstring::npos, ini.find(L"[Window]\r\nClientRect = "));
    EXPECT_NE(std::wstring::npos, ini.find(L"CommandHistory1 = " + ChildProgram()));
    EXPECT_TRUE(Exists(folder + L"\\Quenbrix-data\\runs")) << "the results beside the program";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\Quenbrix-data\\runs\\*.csv").c_str(), &found);
    EXPECT_NE(INVALID_HANDLE_VALUE, search);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);

    // The next start reads it back from there.
    QuenbrixProcess again;
    again.program = program;
    again.appData = appData.Path();
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(ChildProgram() + L" write \"$fullname.out\" x", again.Text(IDC_COMMAND_EDIT));
    EXPECT_EQ(1u, Entries(again.Control(IDC_COMMAND_EDIT)).size());
    EXPECT_EQ(0u, again.Close());
    EXPECT_FALSE(KeyExists("Software\\velqo\\Quenbrix"));
}

TEST_F(JobsEndToEnd, APortableStartRunAndCloseLeaveTheRegistryAsItWasAndKeepTheColumns) {
    TempDir dir, appData;
    std::wstring program = CopyProgram(dir, L"持ち運び");
    std::wstring folder = dir.Join(L"持ち運び");
    dir.WriteFile(L"持ち運び\\Quenbrix.ini", "");
    std::wstring target = dir.WriteFile(L"対象\\夏.txt", "x");
    const std::string before = ExportedSoftwareKey(dir);
    ASSERT_FALSE(before.empty()) << "reg export";
    int width = 0;
    {
        QuenbrixProcess app;
        app.program = program;
        app.appData = appData.Path();
        ASSERT_TRUE(app.Start(Quoted(target)));
        ASSERT_TRUE(WaitUntil([&] { return app.List() == Texts{target}; }));
        app.SetText(IDC_COMMAND_EDIT, ChildProgram() + L" write \"$fullname.out\" x");
        ASSERT_NO_FATAL_FAILURE(RunToTheEnd(app));
        EXPECT_TRUE(FileExists(target + L".out"));
        // As a drag of the header's divider leaves it.
        HWND list = app.Control(IDC_TARGET_LIST);
        SendRemote(list, LVM_SETCOLUMNWIDTH, 3, MAKELPARAM(313, 0));
        width = static_cast<int>(SendRemote(list, LVM_GETCOLUMNWIDTH, 3, 0));
        EXPECT_EQ(0u, app.Close());
    }
    EXPECT_TRUE(before == ExportedSoftwareKey(dir)) << "HKCU\\Software changed";
    std::wstring ini = FromUtf16File(TempDir::ReadWholeFile(folder + L"\\Quenbrix.ini"));
    EXPECT_NE(std::wstring::npos, ini.find(L"TableColumns = ")) << "kept beside the program";

    // /portable as well, and the next start has the width back.
    QuenbrixProcess again;
    again.program = program;
    again.appData = appData.Path();
    ASSERT_TRUE(again.Start(L"/portable"));
    EXPECT_EQ(width, static_cast<int>(SendRemote(again.Control(IDC_TARGET_LIST), LVM_GETCOLUMNWIDTH, 3, 0)));
    EXPECT_EQ(0u, again.Close());
    EXPECT_TRUE(before == ExportedSoftwareKey(dir)) << "HKCU\\Software changed";
}

TEST_F(JobsEndToEnd, AFolderThatCannotBeWrittenOrAnIniThatCannotBeReadIsToldAndLeftAlone) {
    TempDir dir, appData;
    std::wstring program = CopyProgram(dir, L"ro");
    dir.WriteFile(L"ro\\Quenbrix.ini", Utf16File(L"[Quenbrix]\r\nCommand = kept\r\n"));
    // A file where the data folder would be made: nothing can be written there.
    dir.WriteFile(L"ro\\Quenbrix-data", "");
    RegDeleteKeyA(HKEY_CURRENT_USER, key.Path().c_str());
    {
        QuenbrixProcess app;
        app.program = program;
        app.appData = appData.Path();
        ASSERT_TRUE(app.Start());
        HWND box = app.WaitForWindow(L"VQMsgBox");
        ASSERT_NE(nullptr, box);
        EXPECT_NE(std::wstring::npos, CopiedBoxText(box).find(L"プログラムのフォルダーに書き込めません。"));
        ASSERT_TRUE(PressButton(box, L"OK"));
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
        EXPECT_EQ(L"kept", app.Text(IDC_COMMAND_EDIT)) << "what is there is still read";
        app.SetText(IDC_COMMAND_EDIT, L"changed");
        EXPECT_EQ(0u, app.Close());
        EXPECT_EQ(nullptr, app.FindOwnWindow(L"VQMsgBox")) << "said once";
    }
    EXPECT_EQ(Utf16File(L"[Quenbrix]\r\nCommand = kept\r\n"), dir.ReadFile(L"ro\\Quenbrix.ini"));
    EXPECT_FALSE(KeyExists("Software\\velqo\\Quenbrix")) << "no silent fall back to the registry";
    EXPECT_FALSE(Exists(appData.Join(L"Quenbrix")));

    const std::string broken("[Quenbrix\x80\x81\r\nCommand = x\r\n");
    std::wstring second = CopyProgram(dir, L"broken");
    dir.WriteFile(L"broken\\Quenbrix.ini", broken);
    QuenbrixProcess app;
    app.program = second;
    app.appData = appData.Path();
    ASSERT_TRUE(app.Start());
    HWND box = app.WaitForWindow(L"VQMsgBox");
    ASSERT_NE(nullptr, box);
    EXPECT_NE(std::wstring::npos, CopiedBoxText(box).find(L"Quenbrix.ini を設定ファイルとして読み込めません。"));
    ASSERT_TRUE(PressButton(box, L"OK"));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    EXPECT_EQ(L"", app.Text(IDC_COMMAND_EDIT)) << "defaults";
    app.SetText(IDC_COMMAND_EDIT, L"typed");
    EXPECT_EQ(0u, app.Close());
    EXPECT_EQ(broken, dir.ReadFile(L"broken\\Quenbrix.ini")) << "never overwritten by defaults";
    EXPECT_FALSE(KeyExists("Software\\velqo\\Quenbrix"));
}

TEST(PortableHandOver, ASecondStartHandsItsFilesOnlyToAWindowThatKeepsThingsInTheSamePlace) {
    TempDir dir;
    StoragePlace installed, stick, stickAgain, otherCopy;
    stick.portable = stickAgain.portable = otherCopy.portable = true;
    stick.settingsFile = VQWString((dir.MakeDir(L"USB") + L"\\Quenbrix.ini").c_str());
    stickAgain.settingsFile = VQWString(dir.Join(L"usb\\.\\QUENBRIX.INI").c_str());
    otherCopy.settingsFile = VQWString((dir.MakeDir(L"コピー") + L"\\Quenbrix.ini").c_str());
    const struct {
        const StoragePlace *window, *sender;
        bool taken;
    } cases[] = {{&stick, &installed, false}, {&stick, &otherCopy, false}, {&stick, &stickAgain, true},
                 {&installed, &stick, false}};
    int n = 0;
    for (const auto& c : cases) {
        std::wstring file = dir.WriteFile(L"渡す " + std::to_wstring(++n) + L".txt", "x");
        AppWindow app(nullptr, nullptr, nullptr, [&](MainWindow& window) { window.storagePlace = *c.window; });
        EXPECT_EQ(c.taken, HandOverToOpenWindow({VQWString(file.c_str())}, *c.sender)) << n;
        PumpFor(200);
        EXPECT_EQ(c.taken ? 1u : 0u, app.List().size()) << n;
    }
}
