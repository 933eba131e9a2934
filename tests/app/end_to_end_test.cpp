// The real Quenbrix.exe, started as a process of its own and driven through
// its windows as a user would: settings file on the command line, a list file
// through the List add dialog, runs, Stop, the error box, closing and the
// next start, and the about box from the keyboard.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/resource.h"
#include "tests/app/quenbrix_process.h"
#include "tests/support/child_program.h"
#include "tests/support/kept_list_support.h"
#include "tests/support/registry_key.h"
#include "tests/support/temp_dir.h"

namespace {

typedef std::vector<std::wstring> Paths;

const wchar_t kIdle[] = L"対象ファイルにコマンドを実行する";
const int kEdits[] = {IDC_FILEEXT_EDIT, IDC_PRECOMMAND_EDIT, IDC_COMMAND_EDIT, IDC_DIRECTORY_EDIT};
// The file-name box and the file-type list of the explorer-style file dialog.
const int kFileNameBox = 1148;
const int kFilterBox = 1136;

std::string Corners(const RECT& rect) {
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + " - " + std::to_string(rect.right) + "," +
           std::to_string(rect.bottom);
}

// The program's own key, emptied for each test.
class EndToEnd : public ::testing::Test {
protected:
    EndToEnd() : key("Software\\velqo\\Quenbrix") {}

    std::wstring RegistryText(const char* name) {
        std::string bytes;
        DWORD type = 0;
        if (!key.Read(name, &bytes, &type) || type != REG_SZ) return L"<missing>";
        std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
        // The program stores the text alone; the system adds a terminator.
        if (!text.empty() && text.back() == L'\0') text.pop_back();
        return text;
    }
    // "ClientRect": 16 bytes of REG_BINARY, or "<missing>".
    std::string SavedClientRect() {
        std::string bytes;
        DWORD type = 0;
        RECT saved;
        if (!key.Read("ClientRect", &bytes, &type) || type != REG_BINARY || bytes.size() != sizeof saved) {
            return "<missing>";
        }
        std::memcpy(&saved, bytes.data(), sizeof saved);
        return Corners(saved);
    }
    void WriteRegistryText(const char* name, const std::wstring& text) {
        key.Write(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() * sizeof(wchar_t)));
    }

    TestRegistryKey key;
};

// UTF-16LE with the byte-order mark, as settings and list files are written.
std::string Utf16File(const std::wstring& text) {
    std::string bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// Run takes no press for a moment after a run has ended: a user waits that long.
void WaitOutTheEndOfARun() { Sleep(RunController::kRunAfterEndMs + 100); }

// Presses List add, picks the list file in the open dialog by typing its
// path, and waits for the dialog to go.
void AddListFile(QuenbrixProcess& app, const std::wstring& listFile) {
    app.Click(IDC_LIST_ADD_BUTTON);
    HWND dialog = app.WaitForWindow(L"#32770", L"ファイルリストを選択");
    ASSERT_NE(nullptr, dialog) << "no open dialog";
    HWND filters = GetDlgItem(dialog, kFilterBox);
    wchar_t filter[128] = {}, all[128] = {};
    if (SendRemote(filters, CB_GETCOUNT, 0, 0) == 2) {
        SendRemote(filters, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(filter));
        SendRemote(filters, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(all));
    }
    EXPECT_STREQ(L"リストファイル(*.txt)", filter) << "list files first";
    EXPECT_STREQ(L"すべてのファイル(*.*)", all) << "then every file";
    HWND name = GetDlgItem(dialog, kFileNameBox);
    ASSERT_NE(nullptr, name) << "no file-name box";
    SetRemoteText(name, listFile);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); })) << "the dialog stays open";
}

// Writes the targets, and a UTF-16 list file naming them, into dir.
Paths MakeTargets(const TempDir& dir, const std::vector<std::wstring>& names, std::wstring* listFile) {
    Paths targets;
    std::wstring lines;
    for (const std::wstring& name : names) {
        targets.push_back(dir.WriteFile(name, "x"));
        lines += targets.back() + L"\r\n";
    }
    *listFile = dir.WriteFile(L"対象 リスト.txt", Utf16File(lines));
    return targets;
}

// Starts the program and fills its list through List add with a list file
// naming new files of these names in dir; the paths, in list order.
void StartWithTargets(QuenbrixProcess& app, const TempDir& dir, const std::vector<std::wstring>& names,
                      Paths* targets) {
    std::wstring listFile;
    *targets = MakeTargets(dir, names, &listFile);
    ASSERT_TRUE(app.Start());
    ASSERT_NO_FATAL_FAILURE(AddListFile(app, listFile));
    ASSERT_TRUE(WaitUntil([&] { return app.List() == *targets; })) << "the list holds the files in order";
}

}  // namespace

TEST_F(EndToEnd, SettingsFileOnTheCommandLineFillsTheControlsAndAMissingOneIsNamedAndKeepsTheRegistry) {
    WriteRegistryText("FileExt", L"jpg");
    WriteRegistryText("Command", L"registry command");
    DWORD keep = 1;
    key.Write("Delete", REG_DWORD, &keep, sizeof keep);
    TempDir dir;
    std::wstring settings = dir.WriteFile(L"設定 フォルダ\\ジョブ 設定.ini",
                                          Utf16File(L"[Quenbrix]\r\n"
                                                    L"FileExt = txt; log\r\n"
                                                    L"PreCommand = echo $name\r\n"
                                                    L"Command = copy \"$fullname\" \"D:\\出力 先\\$name\"\r\n"
                                                    L"Directory = C:\\作業 場所\r\n"
                                                    L"Delete = 0\r\n"
                                                    L"\r\n"));
    {
        QuenbrixProcess app;
        ASSERT_TRUE(app.Start(Quoted(settings)));
        EXPECT_EQ(L"txt; log", app.Text(IDC_FILEEXT_EDIT));
        EXPECT_EQ(L"echo $name", app.Text(IDC_PRECOMMAND_EDIT));
        EXPECT_EQ(L"copy \"$fullname\" \"D:\\出力 先\\$name\"", app.Text(IDC_COMMAND_EDIT));
        EXPECT_EQ(L"C:\\作業 場所", app.Text(IDC_DIRECTORY_EDIT));
        EXPECT_FALSE(app.IsChecked(IDC_DELETE_CHECK));
        EXPECT_EQ(kIdle, app.Caption());
        EXPECT_EQ(nullptr, app.FindOwnWindow(L"VQMsgBox")) << "a file that loads says nothing";
        EXPECT_EQ(0u, app.Close());
    }
    // The file's values went to the registry at closing; put others back.
    WriteRegistryText("FileExt", L"jpg");
    WriteRegistryText("PreCommand", L"");
    WriteRegistryText("Command", L"registry command");
    WriteRegistryText("Directory", L"");
    key.Write("Delete", REG_DWORD, &keep, sizeof keep);
    // A missing file, and one that is no settings file: the box says which
    // and why, and the registry's settings stay.
    const std::wstring missing = dir.Join(L"設定 フォルダ\\無い 設定.ini");
    const std::wstring notSettings =
        dir.WriteFile(L"設定 フォルダ\\壊れた 設定.ini", std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10));
    const struct {
        std::wstring path;
        const wchar_t* message;
    } failures[] = {
        {missing, L"設定ファイルが見つかりません。"},
        {notSettings, L"設定ファイルの読み込みに失敗しました。"},
    };
    for (const auto& failure : failures) {
        QuenbrixProcess app;
        ASSERT_TRUE(app.Start(Quoted(failure.path)));
        HWND box = app.WaitForWindow(L"VQMsgBox");
        ASSERT_NE(nullptr, box) << "no message";
        EXPECT_EQ(L"エラー", RemoteText(box));
        std::wstring text = CopiedBoxText(box);
        EXPECT_NE(std::wstring::npos, text.find(std::wstring(failure.message) + L"\r\n" + failure.path + L"\r\n"))
            << std::string(text.begin(), text.end());
        ASSERT_TRUE(PressButton(box, L"OK"));
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
        EXPECT_EQ(L"jpg", app.Text(IDC_FILEEXT_EDIT));
        EXPECT_EQ(L"", app.Text(IDC_PRECOMMAND_EDIT));
        EXPECT_EQ(L"registry command", app.Text(IDC_COMMAND_EDIT));
        EXPECT_EQ(L"", app.Text(IDC_DIRECTORY_EDIT));
        EXPECT_TRUE(app.IsChecked(IDC_DELETE_CHECK));
        EXPECT_EQ(0u, app.Close());
    }
}

TEST_F(EndToEnd, ASettingsFileArgumentIsTakenWholeAndLaterOnesLoadInTurn) {
    TempDir dir;
    ASSERT_EQ(std::wstring::npos, dir.Path().find(L' ')) << "the unquoted case needs a folder without blanks";
    auto settingsWithCommand = [](const wchar_t* command) {
        return Utf16File(std::wstring(L"[Quenbrix]\r\nCommand = ") + command + L"\r\n");
    };
    dir.WriteFile(L"ジョブ", settingsWithCommand(L"from the name before the blank"));
    std::wstring named = dir.WriteFile(L"ジョブ 設定.ini", settingsWithCommand(L"from the whole name"));
    std::wstring other = dir.WriteFile(L"other.ini", settingsWithCommand(L"from the second argument"));
    // Past the 260 units a cut once left, every backslash counting twice
    // inside the quotes, and past MAX_PATH itself.
    std::wstring deep;
    for (int i = 0; i < 24; ++i) deep += L"深い フォルダ " + std::to_wstring(i) + L"\\";
    std::wstring deepFile = dir.WriteFile(deep + L"長い パスの 設定.ini", settingsWithCommand(L"from the long path"));
    ASSERT_GT(deepFile.size(), 270u);
    const struct {
        std::wstring arguments;
        const wchar_t* command;
        const wchar_t* missing;  // the settings file the box names as missing, or null
    } starts[] = {
        {named, L"from the name before the blank", L"設定.ini"},
        {Quoted(named) + L" " + Quoted(other), L"from the second argument", nullptr},
        {Quoted(deepFile), L"from the long path", nullptr},
    };
    for (const auto& start : starts) {
        QuenbrixProcess app;
        ASSERT_TRUE(app.Start(start.arguments));
        EXPECT_EQ(start.command, app.Text(IDC_COMMAND_EDIT)) << start.arguments.size();
        if (start.missing) {
            // The rest after the blank is a name of its own, and names nothing.
            HWND box = app.WaitForWindow(L"VQMsgBox");
            ASSERT_NE(nullptr, box);
            std::wstring text = CopiedBoxText(box);
            EXPECT_NE(std::wstring::npos, text.find(L"設定ファイルが見つかりません。")) << std::string(text.begin(), text.end());
            EXPECT_NE(std::wstring::npos, text.find(std::wstring(L"\\") + start.missing + L"\r\n"));
            ASSERT_TRUE(PressButton(box, L"OK"));
            ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
        }
        EXPECT_EQ(nullptr, app.FindOwnWindow(L"VQMsgBox"));
        EXPECT_EQ(0u, app.Close());
    }
}

TEST_F(EndToEnd, TargetsFromAListFileEachGetTheirFileAndLeaveTheList) {
    TempDir dir;
    QuenbrixProcess app;
    Paths targets;
    ASSERT_NO_FATAL_FAILURE(StartWithTargets(
        app, dir, {L"写真 フォルダ\\夏 休み 01.jpg", L"写真 フォルダ\\夏 休み 02.jpg", L"memo file.txt"}, &targets));
    ASSERT_TRUE(app.IsChecked(IDC_DELETE_CHECK)) << "Delete is ticked on a first start";

    app.SetText(IDC_COMMAND_EDIT, ChildProgram() + L" write \"$fulltitle 処理済.txt\" \"$name\"");
    // Before the run, the preview shows the first entry's line.
    EXPECT_EQ(L"コマンド: " + ChildProgram() + L" write \"" + dir.Join(L"写真 フォルダ\\夏 休み 01 処理済.txt") +
                  L"\" \"夏 休み 01.jpg\"",
              app.Text(IDC_PREVIEW));
    app.Click(IDC_RUN_BUTTON);
    EXPECT_TRUE(WaitUntil([&] { return app.List().empty(); })) << "finished targets leave the list";
    EXPECT_TRUE(WaitUntil([&] { return app.Text(IDC_RUN_BUTTON) == L"実行(&E)"; }));
    EXPECT_EQ(kIdle, app.Caption());
    EXPECT_EQ("夏 休み 01.jpg", dir.ReadFile(L"写真 フォルダ\\夏 休み 01 処理済.txt"));
    EXPECT_EQ("夏 休み 02.jpg", dir.ReadFile(L"写真 フォルダ\\夏 休み 02 処理済.txt"));
    EXPECT_EQ("memo file.txt", dir.ReadFile(L"memo file 処理済.txt"));
    EXPECT_EQ(nullptr, app.FindOwnWindow(L"VQMsgBox")) << "a run without failure shows nothing";
    EXPECT_EQ(0u, app.Close());
}

TEST_F(EndToEnd, ProgressShowsInTheCaptionAndStopEndsTheRun) {
    TempDir dir;
    QuenbrixProcess app;
    Paths targets;
    ASSERT_NO_FATAL_FAILURE(StartWithTargets(app, dir, {L"一.txt", L"二.txt", L"三.txt", L"四.txt"}, &targets));
    // Each target takes long enough for the test to see it and press Stop.
    app.SetText(IDC_COMMAND_EDIT,
                ChildProgram() + L" write \"$fullname.started\" x sleep 2500 write \"$fullname.done\" x");
    app.Click(IDC_RUN_BUTTON);

    EXPECT_TRUE(WaitUntil([&] { return app.Text(IDC_RUN_BUTTON) == L"停止(&T)"; }));
    EXPECT_TRUE(app.IsEnabled(IDC_TARGET_LIST)) << "the table can be sorted and read during a run";
    EXPECT_FALSE(app.IsEnabled(IDC_COMMAND_EDIT));
    EXPECT_TRUE(app.IsEnabled(IDC_RUN_BUTTON));
    const std::wstring first = L"処理中(1/4) - 対象ファイルにコマンドを実行する";
    const std::wstring second = L"処理中(2/4) - 対象ファイルにコマンドを実行する";
    EXPECT_TRUE(WaitUntil([&] { return app.Caption() == first; }));
    ASSERT_TRUE(WaitUntil([&] { return app.Caption() == second; }));
    app.Click(IDC_RUN_BUTTON);

    EXPECT_TRUE(WaitUntil([&] { return app.Text(IDC_RUN_BUTTON) == L"実行(&E)"; }));
    EXPECT_TRUE(WaitUntil([&] { return app.Caption() == kIdle; }));
    EXPECT_TRUE(app.IsEnabled(IDC_TARGET_LIST));
    EXPECT_TRUE(app.IsEnabled(IDC_COMMAND_EDIT));
    EXPECT_EQ(nullptr, app.FindOwnWindow(L"VQMsgBox")) << "a stop is no error";
    EXPECT_TRUE(FileExists(targets[0] + L".done"));
    // The running command was let finish: it is done, and leaves the list like the first.
    EXPECT_TRUE(FileExists(targets[1] + L".done"));
    EXPECT_FALSE(FileExists(targets[2] + L".started")) << "no target starts after Stop";
    EXPECT_FALSE(FileExists(targets[3] + L".started"));
    EXPECT_EQ(Paths(targets.begin() + 2, targets.end()), app.List());
    EXPECT_EQ(0u, app.Close());
}

TEST_F(EndToEnd, ClosingDuringARunAsksThenEndsTheChildAndKeepsTheList) {
    TempDir dir, appData;
    QuenbrixProcess app;
    app.appData = appData.Path();
    Paths targets;
    ASSERT_NO_FATAL_FAILURE(StartWithTargets(app, dir, {L"長い 処理.txt"}, &targets));
    std::wstring command = ChildProgram() + L" sleep 3000 write \"$fullname.done\" x";
    app.SetText(IDC_COMMAND_EDIT, command);
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(WaitUntil([&] { return app.Caption() == L"処理中(1/1) - 対象ファイルにコマンドを実行する"; }));
    app.RequestClose();
    HWND box = app.WaitForWindow(L"VQMsgBox");
    ASSERT_NE(nullptr, box) << "closing during a run must ask";
    EXPECT_EQ(L"確認", RemoteText(box));
    ASSERT_TRUE(PressButton(box, L"はい"));
    EXPECT_EQ(0u, app.WaitForExit());
    // The running child was ended with the program: nothing goes on unseen,
    // and the entry that did not finish is kept for the next start.
    EXPECT_EQ(command, RegistryText("Command"));
    QuenbrixProcess again;
    again.appData = appData.Path();
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(targets, again.List());
    EXPECT_EQ(0u, again.Close());
    Sleep(3500);
    EXPECT_FALSE(FileExists(targets[0] + L".done"));
}

TEST_F(EndToEnd, AMissingProgramShowsTheErrorBoxAndKeepsTheTarget) {
    TempDir dir;
    QuenbrixProcess app;
    Paths targets;
    ASSERT_NO_FATAL_FAILURE(StartWithTargets(app, dir, {L"対象 ファイル.txt"}, &targets));
    app.SetText(IDC_COMMAND_EDIT, L"\"" + dir.Join(L"無い プログラム.exe") + L"\" \"$fullname\"");
    app.Click(IDC_RUN_BUTTON);

    HWND box = app.WaitForWindow(L"VQMsgBox");
    ASSERT_NE(nullptr, box) << "no error box";
    EXPECT_EQ(L"エラー", RemoteText(box));
    std::vector<std::wstring> labels;
    for (HWND button : ChildWindows(box, L"Button")) labels.push_back(RemoteText(button));
    EXPECT_EQ((std::vector<std::wstring>{L"OK"}), labels);
    // The box is modal: the main window takes no input while it is up.
    EXPECT_FALSE(IsWindowEnabled(app.Frame()));
    ASSERT_TRUE(PressButton(box, L"OK"));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); })) << "OK closes the box";
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(app.Frame()) != FALSE; }));

    EXPECT_EQ(L"実行(&E)", app.Text(IDC_RUN_BUTTON));
    EXPECT_EQ(kIdle, app.Caption());
    EXPECT_EQ(targets, app.List()) << "the failed target stays";
    EXPECT_EQ(0u, app.Close());
}

TEST_F(EndToEnd, ClosingWhileTheErrorBoxIsUpEndsTheProcessAndSavesTheSettings) {
    TempDir dir;
    QuenbrixProcess app;
    Paths targets;
    ASSERT_NO_FATAL_FAILURE(StartWithTargets(app, dir, {L"対象.txt"}, &targets));
    std::wstring command = L"\"" + dir.Join(L"無い.exe") + L"\" \"$fullname\"";
    app.SetText(IDC_COMMAND_EDIT, command);
    app.Click(IDC_RUN_BUTTON);
    ASSERT_NE(nullptr, app.WaitForWindow(L"VQMsgBox")) << "no error box";
    // Closed from outside (the task list, the end of the session) while the
    // box waits for its answer.
    EXPECT_EQ(0u, app.Close());
    EXPECT_EQ(command, RegistryText("Command"));
}

TEST_F(EndToEnd, ARunStartedWhileTheLastErrorIsStillShownDoesNotLoseEntries) {
    TempDir dir;
    QuenbrixProcess app;
    Paths targets;
    ASSERT_NO_FATAL_FAILURE(StartWithTargets(app, dir, {L"一.exe", L"二.exe", L"三.exe"}, &targets));
    // The first and third are programs; the second is missing.
    std::wstring child = ChildProgram().substr(1, ChildProgram().size() - 2);
    ASSERT_TRUE(CopyFileW(child.c_str(), targets[0].c_str(), FALSE));
    ASSERT_TRUE(DeleteFileW(targets[1].c_str()));
    ASSERT_TRUE(CopyFileW(child.c_str(), targets[2].c_str(), FALSE));

    // A first run that fails on its first target, a moment after it starts.
    app.SetText(IDC_PRECOMMAND_EDIT, ChildProgram() + L" sleep 1500");
    // The target in the line keeps the lines apart: the same line for all would ask first.
    app.SetText(IDC_COMMAND_EDIT, L"\"" + dir.Join(L"無い.exe") + L"\" \"$fullname\"");
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(WaitUntil([&] { return app.Text(IDC_RUN_BUTTON) == L"停止(&T)"; }));
    // The user looks at the about box meanwhile; the error comes up over it.
    PostMessageW(app.Frame(), WM_COMMAND, IDM_ABOUT, 0);
    HWND about = app.WaitForWindow(L"#32770", L"バージョン情報");
    ASSERT_NE(nullptr, about);
    HWND box = app.WaitForWindow(L"VQMsgBox");
    ASSERT_NE(nullptr, box) << "no error box";
    // Closing the about box first gives the main window back to the user.
    ASSERT_TRUE(PressButton(about, L"OK"));
    // Hidden at once; destroyed only when the box's loop gives way to its own.
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(about); }));
    ASSERT_TRUE(app.Sync());
    bool secondRun = IsWindowEnabled(app.Frame()) != FALSE;
    if (secondRun) {
        // A second run: the first target succeeds, the second fails.
        app.SetText(IDC_PRECOMMAND_EDIT, L"");
        app.SetText(IDC_COMMAND_EDIT, L"\"$fullname\" write \"$fulltitle.ran\" ok");
        WaitOutTheEndOfARun();
        app.Click(IDC_RUN_BUTTON);
        ASSERT_TRUE(FileAppearsWithin(dir.Join(L"一.ran")));
        ASSERT_TRUE(WaitUntil([&] { return app.Text(IDC_RUN_BUTTON) == L"実行(&E)"; }));
    }
    ASSERT_TRUE(IsWindow(box));
    ASSERT_TRUE(PressButton(box, L"OK"));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    ASSERT_TRUE(app.Sync());
    // Only what a run finished leaves the list, once: the first run
    // finished nothing, the second one the first target.
    EXPECT_EQ(secondRun ? Paths(targets.begin() + 1, targets.end()) : targets, app.List());
    EXPECT_EQ(kIdle, app.Caption());
    EXPECT_EQ(0u, app.Close());
}

TEST_F(EndToEnd, ClosingSavesTheSettingsAndThePlaceAndTheNextStartRestoresThem) {
    // A Command as long as the box takes.
    std::wstring command = L"\"C:\\ツール 類\\conv.exe\" \"$fullname\" ";
    command += std::wstring(1024 - command.size(), L'c');
    const std::wstring texts[] = {L"jpg; PNG", L"echo 先行 $name", command, L"C:\\作業 場所"};
    RECT placed = {};
    {
        QuenbrixProcess app;
        ASSERT_TRUE(app.Start());
        // Nothing saved yet: the client area starts 32 pixels in, the frame
        // as high as the work area.
        RECT first = app.ClientScreenRect(), frame = {}, work = {};
        GetWindowRect(app.Frame(), &frame);
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        EXPECT_EQ(32, first.left);
        EXPECT_EQ(work.top, frame.top);
        EXPECT_EQ(work.bottom, frame.bottom);
        EXPECT_EQ("<missing>", SavedClientRect());
        for (int i = 0; i < 4; ++i) app.SetText(kEdits[i], texts[i]);
        // The user unticks Delete.
        SendRemote(app.Control(IDC_DELETE_CHECK), BM_CLICK, 0, 0);
        ASSERT_FALSE(app.IsChecked(IDC_DELETE_CHECK));
        // Moved away from where a first start puts it.
        SetWindowPos(app.Frame(), nullptr, 173, 139, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ASSERT_TRUE(app.Sync());
        placed = app.ClientScreenRect();
        EXPECT_EQ(0u, app.Close()) << "closing ends with exit code 0";
    }
    const char* names[] = {"FileExt", "PreCommand", "Command", "Directory"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(texts[i], RegistryText(names[i])) << names[i];
    std::string bytes;
    DWORD type = 0;
    ASSERT_TRUE(key.Read("Delete", &bytes, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(std::string("\0\0\0\0", 4), bytes);
    EXPECT_EQ(Corners(placed), SavedClientRect());

    QuenbrixProcess again;
    ASSERT_TRUE(again.Start());
    for (int i = 0; i < 4; ++i) EXPECT_EQ(texts[i], again.Text(kEdits[i])) << names[i];
    EXPECT_FALSE(again.IsChecked(IDC_DELETE_CHECK));
    EXPECT_EQ(Corners(placed), Corners(again.ClientScreenRect())) << "reopened where it was";
    EXPECT_EQ(0u, again.Close());
}

TEST_F(EndToEnd, ClosingWhileMinimisedKeepsTheLastPlace) {
    QuenbrixProcess app;
    ASSERT_TRUE(app.Start());
    SetWindowPos(app.Frame(), nullptr, 211, 97, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT placed = app.ClientScreenRect();
    // Closed from the task bar while it is an icon somewhere else.
    ShowWindow(app.Frame(), SW_MINIMIZE);
    ASSERT_TRUE(app.Sync());
    ASSERT_TRUE(IsIconic(app.Frame()));
    EXPECT_EQ(0u, app.Close());
    EXPECT_EQ(Corners(placed), SavedClientRect());
}

TEST_F(EndToEnd, AltQuestionMarkAndAltSlashOpenTheAboutBox) {
    QuenbrixProcess app;
    ASSERT_TRUE(app.Start());
    // "?" is Shift and the "/" key, on the US and the Japanese layout alike.
    const struct {
        const char* name;
        bool shift;
    } chords[] = {{"Alt+?", true}, {"Alt+/", false}};
    for (const auto& chord : chords) {
        ASSERT_TRUE(app.TypeAltChord(VK_OEM_2, chord.shift)) << chord.name;
        HWND about = app.WaitForWindow(L"#32770", L"バージョン情報");
        ASSERT_NE(nullptr, about) << "no about box for " << chord.name;
        // Read from the program's own version block.
        EXPECT_EQ(L"Quenbrix - 一括コマンド実行", RemoteText(GetDlgItem(about, IDC_ABOUT_DESCRIPTION)));
        EXPECT_EQ(L"Version 1.0.0.0", RemoteText(GetDlgItem(about, IDC_ABOUT_VERSION)));
        EXPECT_EQ(L"(C) 2026 velqo", RemoteText(GetDlgItem(about, IDC_ABOUT_COPYRIGHT)));
        EXPECT_FALSE(IsWindowEnabled(app.Frame())) << "the box is modal";
        ASSERT_TRUE(PressButton(about, L"OK"));
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(app.Frame()) != FALSE; }));
    }
    EXPECT_EQ(0u, app.Close());
}

TEST_F(EndToEnd, AFailedFileIsMarkedSelectedAndNamedAndTheRunLeavesAResultsFile) {
    TempDir dir, appData;
    // Each command ends with its file's title as exit code; codes are checked.
    std::wstring settings = dir.WriteFile(L"check.ini", Utf16File(L"[Quenbrix]\r\nCommand = " + ChildProgram() +
                                                                  L" exit $title\r\nDelete = 1\r\n"
                                                                  L"CheckExitCode = 1\r\n"));
    std::wstring listFile;
    Paths targets = MakeTargets(dir, {L"0.txt", L"7.txt", L"0 残り.txt"}, &listFile);
    QuenbrixProcess app;
    app.appData = appData.Path();
    ASSERT_TRUE(app.Start(Quoted(settings)));
    ASSERT_NO_FATAL_FAILURE(AddListFile(app, listFile));
    ASSERT_TRUE(WaitUntil([&] { return app.List() == targets; }));
    app.Click(IDC_RUN_BUTTON);
    HWND box = app.WaitForWindow(L"VQMsgBox");
    ASSERT_NE(nullptr, box) << "no error box";
    EXPECT_EQ(L"エラー", RemoteText(box));
    ASSERT_TRUE(PressButton(box, L"OK"));
    ASSERT_TRUE(WaitUntil([&] { return app.Caption() == kIdle; }));

    // The done one left; the failed one is first, selected, with its result under the list.
    EXPECT_EQ((Paths{targets[1], targets[2]}), app.List());
    HWND list = app.Control(IDC_TARGET_LIST);
    EXPECT_TRUE(app.IsRowSelected(0));
    EXPECT_FALSE(app.IsRowSelected(1));
    EXPECT_EQ(0u, app.Text(IDC_RESULT_DETAIL).find(L"終了コード異常"));
    // Its mark is drawn in the failure's red at the start of its row.
    ASSERT_TRUE(app.Sync());
    RECT row = app.RowRect(0);
    POINT origin = {0, 0};
    ClientToScreen(list, &origin);
    HDC screen = GetDC(nullptr);
    int red = 0;
    // Inside the row, clear of its focus rectangle; the mark's red is (D9, 30, 25).
    for (int y = row.top + 2; y < row.bottom - 2; ++y) {
        for (int x = row.left + 2; x < row.left + (row.bottom - row.top); ++x) {
            COLORREF pixel = GetPixel(screen, origin.x + x, origin.y + y);
            red += GetRValue(pixel) > 0xC0 && GetGValue(pixel) < 0x50 && GetBValue(pixel) < 0x50;
        }
    }
    ReleaseDC(nullptr, screen);
    EXPECT_GT(red, 3) << "no failure mark in front of the failed file";

    // The results file of the run: one row per file.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(appData.Join(L"Quenbrix\\runs\\*.csv").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search) << "no results file";
    FindClose(search);
    std::string csv = TempDir::ReadWholeFile(appData.Join(L"Quenbrix\\runs\\" + std::wstring(found.cFileName)));
    EXPECT_NE(std::string::npos, csv.find(",完了,")) << csv;
    EXPECT_NE(std::string::npos, csv.find(",終了コード異常,1,,7,")) << csv;
    EXPECT_NE(std::string::npos, csv.find(",未実行,")) << csv;
    EXPECT_EQ(0u, app.Close());
}

TEST_F(EndToEnd, AfterTheProgramWasEndedInARunTheNextStartHasEveryFileNotDone) {
    TempDir dir, appData;
    QuenbrixProcess app;
    app.appData = appData.Path();
    Paths targets;
    ASSERT_NO_FATAL_FAILURE(StartWithTargets(app, dir, {L"a.0", L"b.8000", L"c.0"}, &targets));
    app.SetText(IDC_COMMAND_EDIT, ChildProgram() + L" sleep $ext write \"$fullname.done\" x");
    app.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(FileAppearsWithin(targets[0] + L".done"));
    // The first one's command has ended and the second one's is under way:
    // one file at a time, the second begins only after the first was recorded done.
    const std::wstring second = L"処理中(2/3)";
    ASSERT_TRUE(WaitUntil(L"the second file's start in the caption",
                          [&] { return app.Caption().compare(0, second.size(), second) == 0; }));
    app.Kill();
    QuenbrixProcess again;
    again.appData = appData.Path();
    ASSERT_TRUE(again.Start());
    EXPECT_EQ((Paths{targets[1], targets[2]}), again.List());
    EXPECT_EQ(0u, again.Close());
    // The command that was running went with the program.
    Sleep(6000);
    EXPECT_FALSE(FileExists(targets[1] + L".done"));
}

TEST_F(EndToEnd, AKilledRunOfShortFilesComesBackWithExactlyTheFilesNotDone) {
    TempDir dir, appData;
    QuenbrixProcess app;
    app.appData = appData.Path();
    // Eight short files, then one that is still running when the program is killed.
    std::vector<std::wstring> names;
    for (int i = 0; i < 12; ++i) names.push_back(L"ファイル " + std::to_wstring(10 + i) + (i == 8 ? L".20000" : L".30"));
    Paths targets;
    ASSERT_NO_FATAL_FAILURE(StartWithTargets(app, dir, names, &targets));
    app.SetText(IDC_COMMAND_EDIT,
                ChildProgram() + L" write \"$fullname.started\" x sleep $ext write \"$fullname.done\" x");
    app.Click(IDC_RUN_BUTTON);
    // One file at a time: the ninth begins only after the eighth was recorded done.
    ASSERT_TRUE(FileAppearsWithin(targets[8] + L".started"));
    app.Kill();
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(FileExists(targets[i] + L".done")) << i;
    QuenbrixProcess again;
    again.appData = appData.Path();
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(Paths(targets.begin() + 8, targets.end()), again.List()) << "none done, every one not done";
    EXPECT_EQ(0u, again.Close());
}

TEST_F(EndToEnd, ASecondWindowHasAListOfItsOwnAndALaterStartBringsBackBoth) {
    TempDir dir, appData;
    QuenbrixProcess first;
    first.appData = appData.Path();
    Paths targets;
    ASSERT_NO_FATAL_FAILURE(StartWithTargets(first, dir, {L"一つ目 a.txt", L"一つ目 b.txt"}, &targets));
    first.SetText(IDC_COMMAND_EDIT, ChildProgram() + L" write \"$fullname.started\" x sleep 20000");
    first.Click(IDC_RUN_BUTTON);
    ASSERT_TRUE(FileAppearsWithin(targets[0] + L".started"));

    // Opened while the first one runs: empty, and its list is its own.
    std::wstring firstsFile = appData.Join(L"Quenbrix\\targets.txt");
    std::string firstsList;
    EXPECT_TRUE(WaitUntil([&] {
        firstsList = TempDir::ReadWholeFile(firstsFile);
        return DescribeKept(ReadKept(firstsList)) == Paths{targets[0] + L"|", targets[1] + L"|"};
    })) << "the first window's list is on the disk";
    QuenbrixProcess second;
    second.appData = appData.Path();
    ASSERT_TRUE(second.Start());
    EXPECT_TRUE(second.List().empty());
    std::wstring secondFile = dir.WriteFile(L"二つ目.txt", "x");
    std::wstring listFile = dir.WriteFile(L"二つ目のリスト.txt", Utf16File(secondFile + L"\r\n"));
    ASSERT_NO_FATAL_FAILURE(AddListFile(second, listFile));
    ASSERT_TRUE(WaitUntil([&] { return second.List() == Paths{secondFile}; }));
    EXPECT_EQ(0u, second.Close());
    EXPECT_EQ(firstsList, TempDir::ReadWholeFile(firstsFile)) << "the second window left the first one's list alone";
    EXPECT_EQ(targets, first.List());

    // The first one ends without finishing; the next start has both lists.
    first.Kill();
    QuenbrixProcess later;
    later.appData = appData.Path();
    ASSERT_TRUE(later.Start());
    EXPECT_EQ((Paths{targets[0], targets[1], secondFile}), later.List());
    EXPECT_EQ(0u, later.Close());
}

namespace {

// README.md of the source tree, as the test program sees it: the build
// machine's root is a drive of its own under Wine (Z:), a folder on Windows.
std::string ReadReadme() {
    std::string unixPath = std::string(QB_SOURCE_DIR) + "/README.md";
    std::string windowsPath = unixPath[0] == '/' ? "Z:" + unixPath : unixPath;
    for (char& c : windowsPath) c = c == '/' ? '\\' : c;
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    return TempDir::ReadWholeFile(wide);
}

std::wstring FromUtf8(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                    static_cast<int>(wide.size())));
    return wide;
}

// The ```job blocks of README: each a settings file as it stands there, with
// "// 結果: <path>" naming what it leaves in the folder of the files.
struct ReadmeJob {
    std::string file;  // the block's bytes, UTF-8 with LF line ends, as an editor saves it
    std::wstring command;
    std::vector<std::wstring> results;
};

std::vector<ReadmeJob> ReadmeJobs() {
    std::vector<ReadmeJob> jobs;
    std::string text = ReadReadme();
    size_t at = 0;
    const std::string open = "```job\n", close = "\n```";
    while ((at = text.find(open, at)) != std::string::npos) {
        size_t end = text.find(close, at + open.size());
        if (end == std::string::npos) break;
        ReadmeJob job;
        job.file = text.substr(at + open.size(), end - at - open.size() + 1);
        std::wstring block = FromUtf8(job.file);
        size_t start = 0;
        for (size_t stop; (stop = block.find(L'\n', start)) != std::wstring::npos; start = stop + 1) {
            std::wstring line = block.substr(start, stop - start);
            const std::wstring result = L"// 結果: ", command = L"Command = ";
            if (line.compare(0, result.size(), result) == 0) job.results.push_back(line.substr(result.size()));
            if (line.compare(0, command.size(), command) == 0) job.command = line.substr(command.size());
        }
        jobs.push_back(job);
        at = end + close.size();
    }
    return jobs;
}

}  // namespace

TEST_F(EndToEnd, EveryJobReadmeShowsRunsAsWritten) {
    std::vector<ReadmeJob> jobs = ReadmeJobs();
    ASSERT_GE(jobs.size(), 4u) << "README's examples were not found";
    for (size_t i = 0; i < jobs.size(); ++i) {
        SCOPED_TRACE(std::string("README job ") + std::to_string(i + 1));
        const ReadmeJob& job = jobs[i];
        TempDir dir;
        std::wstring listFile;
        Paths files = MakeTargets(dir, {L"写真\\夏 休み 01.jpg", L"写真\\夏 休み 02.jpg", L"メモ.txt"}, &listFile);
        std::wstring settings = dir.WriteFile(L"job.ini", job.file);
        QuenbrixProcess app;
        ASSERT_TRUE(app.Start(Quoted(settings)));
        ASSERT_EQ(nullptr, app.FindOwnWindow(L"VQMsgBox")) << "the file did not load as written";
        ASSERT_FALSE(job.command.empty());
        EXPECT_EQ(job.command, app.Text(IDC_COMMAND_EDIT));
        EXPECT_TRUE(app.IsChecked(IDC_DELETE_CHECK)) << "Delete is on where the file says nothing";
        app.SetText(IDC_DIRECTORY_EDIT, dir.Path());
        ASSERT_NO_FATAL_FAILURE(AddListFile(app, listFile));
        ASSERT_TRUE(WaitUntil([&] { return !app.List().empty(); }));
        // Every file done leaves the list; a message (an error, a question) would stop the wait.
        app.Click(IDC_RUN_BUTTON);
        WaitUntil([&] { return app.List().empty() || app.FindOwnWindow(L"VQMsgBox"); }, 60000);
        EXPECT_EQ(nullptr, app.FindOwnWindow(L"VQMsgBox")) << "the job stopped with a message";
        EXPECT_TRUE(app.List().empty()) << "a file was not done";
        ASSERT_TRUE(WaitUntil([&] { return app.Caption() == kIdle; }));
        for (const std::wstring& result : job.results) {
            EXPECT_TRUE(FileExists(dir.Join(result))) << "missing " << std::string(result.begin(), result.end());
        }
        EXPECT_EQ(0u, app.Close());
    }
}

TEST_F(EndToEnd, F5CtrlEnterAndAltERunAndEscapeStopsFromTheKeyboard) {
    TempDir dir;
    QuenbrixProcess app;
    Paths targets;
    ASSERT_NO_FATAL_FAILURE(StartWithTargets(app, dir, {L"一.txt", L"二.txt", L"三.txt", L"四.txt"}, &targets));
    app.SetText(IDC_COMMAND_EDIT, ChildProgram() + L" write \"$fullname.started\" x sleep 1500");

    // Each key starts a run; Escape is its first Stop, so only the running command finishes.
    const struct {
        const char* name;
        WORD key;
        bool ctrl;
    } runKeys[] = {{"F5", VK_F5, false}, {"Ctrl+Enter", VK_RETURN, true}};
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(app.TypeKey(runKeys[i].key, runKeys[i].ctrl)) << runKeys[i].name;
        ASSERT_TRUE(WaitUntil([&] { return FileExists(targets[i] + L".started"); })) << runKeys[i].name;
        // The caption takes the run's news a few times a second.
        std::wstring progress = L"処理中(1/" + std::to_wstring(4 - i) + L") - " + kIdle;
        EXPECT_TRUE(WaitUntil([&] { return app.Caption() == progress; })) << app.Caption();
        ASSERT_TRUE(app.TypeKey(VK_ESCAPE));
        EXPECT_TRUE(WaitUntil([&] { return app.Caption().compare(0, 4, L"停止中(") == 0; })) << runKeys[i].name;
        ASSERT_TRUE(WaitUntil([&] { return app.Caption() == kIdle; }));
        EXPECT_EQ(Paths(targets.begin() + i + 1, targets.end()), app.List()) << runKeys[i].name;
        WaitOutTheEndOfARun();
    }
    // Alt+E is the Run button's own mnemonic: it runs the rest.
    ASSERT_TRUE(app.TypeAltChord('E', false));
    ASSERT_TRUE(WaitUntil([&] { return app.List().empty(); })) << "Alt+E ran the rest";
    EXPECT_TRUE(FileExists(targets[3] + L".started"));
    EXPECT_EQ(nullptr, app.FindOwnWindow(L"VQMsgBox")) << "no question, no error";
    EXPECT_EQ(0u, app.Close());
}

TEST_F(EndToEnd, ASecondInstanceOpensACaptionFurtherDownAndLeavesTheSavedPlace) {
    QuenbrixProcess first, second, third;
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    RECT a = first.ClientScreenRect(), b = second.ClientScreenRect();
    // The first one's caption stays in view above the second.
    int step = b.top - a.top;
    EXPECT_GE(step, GetSystemMetrics(SM_CYCAPTION));
    EXPECT_LE(step, 2 * GetSystemMetrics(SM_CYCAPTION));
    EXPECT_EQ(step, b.left - a.left);
    EXPECT_EQ(a.right - a.left, b.right - b.left) << "the same width";
    // A first start is as high as the work area: the second keeps its bottom.
    EXPECT_EQ(a.bottom, b.bottom);

    // A third: past the places of both.
    ASSERT_TRUE(third.Start());
    RECT c = third.ClientScreenRect();
    EXPECT_EQ(a.left + 2 * step, c.left);
    EXPECT_EQ(a.top + 2 * step, c.top);

    // Closed after the first, the others leave the place it saved while the
    // user has not moved them; one that was moved saves its own.
    EXPECT_EQ(0u, first.Close());
    EXPECT_EQ(Corners(a), SavedClientRect());
    EXPECT_EQ(0u, second.Close());
    EXPECT_EQ(Corners(a), SavedClientRect());
    SetWindowPos(third.Frame(), nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(third.Sync());
    RECT moved = third.ClientScreenRect();
    EXPECT_EQ(0u, third.Close());
    EXPECT_EQ(Corners(moved), SavedClientRect());
}

TEST_F(EndToEnd, TheTablesColumnWidthsAndOrderSurviveARestartInTheRegistry) {
    int widths[3] = {};
    {
        QuenbrixProcess app;
        ASSERT_TRUE(app.Start());
        HWND list = app.Control(IDC_TARGET_LIST);
        // As a drag of the header's dividers leaves them.
        SendRemote(list, LVM_SETCOLUMNWIDTH, 2, MAKELPARAM(311, 0));
        SendRemote(list, LVM_SETCOLUMNWIDTH, 3, MAKELPARAM(97, 0));
        for (int i = 0; i < 3; ++i) widths[i] = static_cast<int>(SendRemote(list, LVM_GETCOLUMNWIDTH, i + 1, 0));
        EXPECT_EQ(0u, app.Close());
    }
    std::string bytes;
    DWORD type = 0;
    ASSERT_TRUE(key.Read("TableColumns", &bytes, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);

    QuenbrixProcess again;
    ASSERT_TRUE(again.Start());
    HWND list = again.Control(IDC_TARGET_LIST);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(widths[i], static_cast<int>(SendRemote(list, LVM_GETCOLUMNWIDTH, i + 1, 0))) << i + 1;
    }
    EXPECT_EQ(311, static_cast<int>(SendRemote(list, LVM_GETCOLUMNWIDTH, 2, 0)));
    EXPECT_EQ(0u, again.Close());

    // A value of another shape leaves the defaults.
    key.Write("TableColumns", REG_BINARY, "xx", 2);
    QuenbrixProcess third;
    ASSERT_TRUE(third.Start());
    EXPECT_NE(311, static_cast<int>(SendRemote(third.Control(IDC_TARGET_LIST), LVM_GETCOLUMNWIDTH, 2, 0)));
    EXPECT_EQ(0u, third.Close());
}
