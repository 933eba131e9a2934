#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "settings/settings_text.h"
#include "tests/app/app_window.h"
#include "tests/support/box_answer.h"
#include "tests/support/drawn_text.h"
#include "tests/support/message_pump.h"
#include "tests/support/temp_dir.h"
#include "tests/support/timer_script.h"
#include "tests/support/window_queries.h"

namespace {

// The UTF-16 bytes of a settings text, with the FF FE mark.
std::string Utf16File(const std::wstring& text) {
    std::wstring marked = L"\xFEFF" + text;
    return std::string(reinterpret_cast<const char*>(marked.data()), marked.size() * sizeof(wchar_t));
}

std::wstring Wide(const std::string& bytes) {
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

// The bytes of a text stored without a terminator.
std::string RegistryText(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::string Utf8(const std::wstring& text) {
    int units = static_cast<int>(text.size());
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    std::string out(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), units, &out[0], bytes, nullptr, nullptr);
    return out;
}

std::vector<std::wstring> Names(const VQArray<VQWString, VQWString>& names) {
    std::vector<std::wstring> out;
    for (int i = 0; i < names.GetCount(); ++i) out.push_back(names[i].Text());
    return out;
}

void Fill(AppWindow& app, const wchar_t* fileExt, const wchar_t* pre, const wchar_t* command, const wchar_t* dir,
          bool del) {
    app.SetText(IDC_FILEEXT_EDIT, fileExt);
    app.SetText(IDC_PRECOMMAND_EDIT, pre);
    app.SetText(IDC_COMMAND_EDIT, command);
    app.SetText(IDC_DIRECTORY_EDIT, dir);
    app.SetChecked(IDC_DELETE_CHECK, del);
}

}  // namespace

TEST(Registry, FirstStartCreatesTheKeyWithEmptyTextsAndDeleteOn) {
    AppWindow app;
    RegDeleteKeyA(HKEY_CURRENT_USER, app.key.Path().c_str());
    JobSettings settings = MakeSettings(L"junk", L"junk", L"junk", L"junk", false);
    app.window->LoadRegistrySettings(settings);
    EXPECT_STREQ(L"", settings.fileExt);
    EXPECT_STREQ(L"", settings.preCommand);
    EXPECT_STREQ(L"", settings.command);
    EXPECT_STREQ(L"", settings.directory);
    EXPECT_EQ(1u, settings.deleteFinished);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, app.key.Path().c_str(), 0, KEY_READ, &key));
    RegCloseKey(key);
}

TEST(Registry, TheFiveValuesRoundTrip) {
    AppWindow app;
    std::wstring longCommand(1024, L'c');
    Fill(app, L"jpg;png", L"echo $name", longCommand.c_str(), L"D:\\作業 フォルダ", false);
    app.window->SaveRegistrySettings();

    std::string bytes;
    DWORD type = 0;
    ASSERT_TRUE(app.key.Read("Command", &bytes, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    // The program passes the 2048 bytes of the text alone; the system adds
    // the terminator that follows them in memory (NT does so, and Wine too).
    EXPECT_EQ(RegistryText(longCommand), bytes.substr(0, 2048));
    EXPECT_TRUE(bytes.size() == 2048 || bytes.substr(2048) == std::string(2, '\0')) << bytes.size();
    ASSERT_TRUE(app.key.Read("Delete", &bytes, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(std::string("\0\0\0\0", 4), bytes);

    JobSettings back;
    app.window->LoadRegistrySettings(back);
    EXPECT_STREQ(L"jpg;png", back.fileExt);
    EXPECT_STREQ(L"echo $name", back.preCommand);
    EXPECT_EQ(longCommand, back.command);
    EXPECT_STREQ(L"D:\\作業 フォルダ", back.directory);
    EXPECT_EQ(0u, back.deleteFinished);
}

TEST(Registry, ValuesPastTheirLimitReadAsEmpty) {
    AppWindow app;
    std::wstring tooLong(257, L'x');
    app.key.Write("FileExt", REG_SZ, tooLong.c_str(), static_cast<DWORD>(tooLong.size() * sizeof(wchar_t)));
    std::wstring withNul = std::wstring(L"ab\0cd", 5);
    app.key.Write("Command", REG_SZ, withNul.c_str(), static_cast<DWORD>(withNul.size() * sizeof(wchar_t)));
    JobSettings settings;
    app.window->LoadRegistrySettings(settings);
    EXPECT_STREQ(L"", settings.fileExt);
    EXPECT_STREQ(L"ab", settings.command) << "a NUL inside ends the text";
}

TEST(Registry, ValuesOfAWrongTypeKeepTheirDefaults) {
    AppWindow app;
    const DWORD ba = 0x00410042;  // reads as "BA" when taken for text
    app.key.Write("PreCommand", REG_DWORD, &ba, sizeof ba);
    app.key.Write("Delete", REG_SZ, L"0", 4);
    const std::wstring expand = L"%TEMP%\\x";
    app.key.Write("Command", REG_EXPAND_SZ, expand.c_str(), static_cast<DWORD>(expand.size() * 2));
    app.key.Write("Directory", REG_MULTI_SZ, L"C:\\\0\0", 8);
    JobSettings settings = MakeSettings(L"junk", L"junk", L"junk", L"junk", false);
    app.window->LoadRegistrySettings(settings);
    EXPECT_STREQ(L"", settings.preCommand);
    EXPECT_EQ(1u, settings.deleteFinished);
    EXPECT_EQ(expand, settings.command) << "an expandable text is taken as it stands";
    EXPECT_STREQ(L"", settings.directory);

    const char zeros[4] = {0, 0, 0, 0};
    app.key.Write("Delete", REG_BINARY, zeros, 4);
    app.window->LoadRegistrySettings(settings);
    EXPECT_EQ(1u, settings.deleteFinished);
}

TEST(Registry, WhatWasNotReadIsNotWrittenBack) {
    AppWindow app;
    const DWORD ba = 0x00410042;
    app.key.Write("PreCommand", REG_DWORD, &ba, sizeof ba);
    const std::wstring tooLong(1025, L'c');
    app.key.Write("Command", REG_SZ, tooLong.c_str(), static_cast<DWORD>(tooLong.size() * 2));
    app.key.Write("Delete", REG_SZ, L"0", 4);
    JobSettings settings;
    app.window->LoadRegistrySettings(settings);
    app.window->SaveRegistrySettings();
    std::string bytes;
    DWORD type = 0;
    ASSERT_TRUE(app.key.Read("PreCommand", &bytes, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    ASSERT_TRUE(app.key.Read("Command", &bytes, &type));
    EXPECT_EQ(RegistryText(tooLong), bytes.substr(0, 2050));
    ASSERT_TRUE(app.key.Read("Delete", &bytes, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);

    // A value the user gives takes the place of the unread one.
    app.SetText(IDC_PRECOMMAND_EDIT, L"echo");
    app.SetChecked(IDC_DELETE_CHECK, false);
    app.window->SaveRegistrySettings();
    ASSERT_TRUE(app.key.Read("PreCommand", &bytes, &type));
    EXPECT_EQ(RegistryText(L"echo"), bytes.substr(0, 8));
    ASSERT_TRUE(app.key.Read("Delete", &bytes, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);

    // A text longer than its box takes is not stored: it would come back empty.
    app.key.Write("Command", REG_SZ, L"old", 6);
    app.SetText(IDC_COMMAND_EDIT, tooLong);
    app.window->SaveRegistrySettings();
    ASSERT_TRUE(app.key.Read("Command", &bytes, &type));
    EXPECT_EQ(RegistryText(L"old"), bytes.substr(0, 6));
}

TEST(Import, OnlyCommandPresentEmptiesTheRestAndChecksDelete) {
    TempDir dir;
    std::wstring path = dir.WriteFile(L"only command.ini", Utf16File(L"[Quenbrix]\r\nCommand = copy $name x\r\n"));
    AppWindow app;
    Fill(app, L"txt", L"pre", L"old", L"C:\\", false);
    ASSERT_TRUE(app.window->Form().ImportSettingsFile(path.c_str()));
    EXPECT_EQ(L"", app.Text(IDC_FILEEXT_EDIT));
    EXPECT_EQ(L"", app.Text(IDC_PRECOMMAND_EDIT));
    EXPECT_EQ(L"copy $name x", app.Text(IDC_COMMAND_EDIT));
    EXPECT_EQ(L"", app.Text(IDC_DIRECTORY_EDIT));
    EXPECT_TRUE(app.IsChecked(IDC_DELETE_CHECK));
    EXPECT_STREQ(path.c_str(), app.window->Form().SettingsPath().Text());
}

TEST(Import, DeleteIsReadAsADecimalNumber) {
    TempDir dir;
    AppWindow app;
    struct Case {
        const wchar_t* line;
        bool checked;
    } cases[] = {{L"Delete = 0", false}, {L"Delete", false},     {L"Delete = 2", true},
                 {L"Delete = x1", false}, {L"Delete = -3", true}, {L"Delete = 1", true}};
    for (const Case& c : cases) {
        std::wstring path = dir.WriteFile(L"d.ini", Utf16File(L"[Quenbrix]\r\n" + std::wstring(c.line) + L"\r\n"));
        ASSERT_TRUE(app.window->Form().ImportSettingsFile(path.c_str())) << c.line;
        EXPECT_EQ(c.checked, app.IsChecked(IDC_DELETE_CHECK)) << c.line;
    }
}

TEST(Import, AValuePastItsLimitLeavesThatBoxAndIsNamed) {
    TempDir dir;
    // FileExt past its box's 256 units; Command past what a settings file holds.
    std::wstring text = L"[Quenbrix]\r\nFileExt = " + std::wstring(257, L'e') + L"\r\nPreCommand = pre\r\n" +
                        L"Command = " + std::wstring(1025, L'c') + L"\r\nDelete = 0\r\n";
    std::wstring path = dir.WriteFile(L"long.ini", Utf16File(text));
    AppWindow app;
    Fill(app, L"txt", L"", L"typed", L"D:\\", true);
    SettingsFileReport report;
    ASSERT_TRUE(app.window->Form().ImportSettingsFile(path.c_str(), &report));
    EXPECT_EQ(L"txt", app.Text(IDC_FILEEXT_EDIT));
    EXPECT_EQ(L"typed", app.Text(IDC_COMMAND_EDIT));
    EXPECT_EQ(L"pre", app.Text(IDC_PRECOMMAND_EDIT));
    EXPECT_EQ(L"", app.Text(IDC_DIRECTORY_EDIT)) << "a missing key still empties its box";
    EXPECT_FALSE(app.IsChecked(IDC_DELETE_CHECK));
    EXPECT_EQ((std::vector<std::wstring>{L"FileExt", L"Command"}), Names(report.skippedKeys));
    EXPECT_STREQ(path.c_str(), app.window->Form().SettingsPath().Text());
}

TEST(Import, FailuresLeaveEveryControlAlone) {
    TempDir dir;
    AppWindow app;
    Fill(app, L"txt", L"pre", L"cmd", L"C:\\", false);
    std::wstring other = dir.WriteFile(L"other.ini", Utf16File(L"[Other]\r\nCommand = x\r\n"));
    // Shift-JIS: neither UTF-16 nor UTF-8.
    std::wstring ansi = dir.WriteFile(L"ansi.ini", "[Quenbrix]\r\nCommand = \x8E\xCA\x90\x5E\r\n");
    for (const std::wstring& path : {other, ansi, dir.Join(L"missing.ini")}) {
        EXPECT_FALSE(app.window->Form().ImportSettingsFile(path.c_str()));
        EXPECT_EQ(L"cmd", app.Text(IDC_COMMAND_EDIT));
        EXPECT_EQ(L"txt", app.Text(IDC_FILEEXT_EDIT));
        EXPECT_FALSE(app.IsChecked(IDC_DELETE_CHECK));
    }
    EXPECT_TRUE(app.window->Form().SettingsPath().IsEmpty());
}

TEST(Export, ANewFileHasExactlyTheSectionAndItsKeys) {
    TempDir dir;
    AppWindow app;
    Fill(app, L"", L"echo $name", L"copy \"$fullname\" D:\\", L"", true);
    std::wstring path = dir.Join(L"新しい 設定.ini");
    ASSERT_TRUE(app.window->ExportSettingsFile(path.c_str()));
    EXPECT_EQ(Utf16File(L"[Quenbrix]\r\nFileExt\r\nPreCommand = echo $name\r\nCommand = copy \"$fullname\" D:\\\r\n"
                        L"Directory\r\nDelete = 1\r\nCheckExitCode = 0\r\nHideCommand = 0\r\nParallel = 1\r\n"
              L"OnFailure = 0\r\nTimeLimit = 0\r\nRetries = 0\r\nLowPriority = 0\r\nOutput\r\nSkipUpToDate = 0\r\n"
              L"CheckOutput = 1\r\nKeepFailedOutput = 0\r\n"
        L"Watch\r\nWatchSettle = 3\r\nWatchExisting = 1\r\nNotify = 1\r\n\r\n"),
              TempDir::ReadWholeFile(path));
    EXPECT_STREQ(path.c_str(), app.window->Form().SettingsPath().Text());

    // The bare FileExt key reads back as empty.
    app.SetText(IDC_FILEEXT_EDIT, L"zzz");
    ASSERT_TRUE(app.window->Form().ImportSettingsFile(path.c_str()));
    EXPECT_EQ(L"", app.Text(IDC_FILEEXT_EDIT));
    EXPECT_EQ(L"copy \"$fullname\" D:\\", app.Text(IDC_COMMAND_EDIT));
}

TEST(Export, OtherSectionsAndKeyPositionsAreKept) {
    TempDir dir;
    std::wstring path = dir.WriteFile(
        L"shared.ini", Utf16File(L"[Tools]\r\nEditor = notepad\r\n\r\n[Quenbrix]\r\nCommand = old\r\nNote = mine\r\n"
                                 L"FileExt = old\r\n"));
    AppWindow app;
    Fill(app, L"jpg", L"", L"new", L"", false);
    ASSERT_TRUE(app.window->ExportSettingsFile(path.c_str()));
    EXPECT_EQ(L"\xFEFF[Tools]\r\nEditor = notepad\r\n\r\n[Quenbrix]\r\nCommand = new\r\nNote = mine\r\nFileExt = jpg\r\n"
              L"PreCommand\r\nDirectory\r\nDelete = 0\r\nCheckExitCode = 0\r\nHideCommand = 0\r\nParallel = 1\r\n"
              L"OnFailure = 0\r\nTimeLimit = 0\r\nRetries = 0\r\nLowPriority = 0\r\nOutput\r\nSkipUpToDate = 0\r\n"
              L"CheckOutput = 1\r\nKeepFailedOutput = 0\r\n"
        L"Watch\r\nWatchSettle = 3\r\nWatchExisting = 1\r\nNotify = 1\r\n\r\n",
              Wide(TempDir::ReadWholeFile(path)));
    // No temporary file is left beside it.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L".tmp.*").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, search);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

TEST(Export, AFileThatIsNotSettingsTextIsReplacedOnlyWhenToldTo) {
    TempDir dir;
    // Shift-JIS, which no settings file is.
    const std::string plain = "[Tools]\r\nEditor = \x83\x81\x83\x82\r\n";
    std::wstring path = dir.WriteFile(L"plain.ini", plain);
    AppWindow app;
    Fill(app, L"a", L"b", L"c", L"d", true);
    SettingsFileReport report;
    EXPECT_FALSE(app.window->ExportSettingsFile(path.c_str(), false, &report));
    EXPECT_EQ(SettingsFileReport::kNeedsOverwrite, report.problem);
    EXPECT_EQ(plain, TempDir::ReadWholeFile(path));
    EXPECT_TRUE(app.window->Form().SettingsPath().IsEmpty());
    ASSERT_TRUE(app.window->ExportSettingsFile(path.c_str(), true));
    EXPECT_EQ(L"\xFEFF[Quenbrix]\r\nFileExt = a\r\nPreCommand = b\r\nCommand = c\r\nDirectory = d\r\nDelete = 1\r\nCheckExitCode = 0\r\nHideCommand = 0\r\nParallel = 1\r\n"
              L"OnFailure = 0\r\nTimeLimit = 0\r\nRetries = 0\r\nLowPriority = 0\r\nOutput\r\nSkipUpToDate = 0\r\n"
              L"CheckOutput = 1\r\nKeepFailedOutput = 0\r\n"
        L"Watch\r\nWatchSettle = 3\r\nWatchExisting = 1\r\nNotify = 1\r\n\r\n",
              Wide(TempDir::ReadWholeFile(path)));
}

TEST(Export, AFileThatDoesNotLoadWholeIsKeptUntilOverwriteIsGiven) {
    TempDir dir;
    AppWindow app;
    Fill(app, L"", L"", L"new", L"", true);
    const std::wstring broken = L"[Quenbrix]\r\nCommand = old\r\n[Other]\r\nx = 1\r\n[Third]\r\ny = 2\r\n[Broken\r\n";
    const std::wstring longKey =
        L"[Quenbrix]\r\nCommand = old\r\n[Other]\r\nx = 1\r\nlong = " + std::wstring(1100, L'v') + L"\r\n";
    for (const std::wstring& text : {broken, longKey}) {
        std::wstring path = dir.WriteFile(L"partial.ini", Utf16File(text));
        SettingsFileReport report;
        EXPECT_FALSE(app.window->ExportSettingsFile(path.c_str(), false, &report));
        EXPECT_EQ(SettingsFileReport::kNeedsOverwrite, report.problem);
        EXPECT_EQ(Utf16File(text), TempDir::ReadWholeFile(path));
    }
    // Overwriting keeps what did load.
    std::wstring path = dir.Join(L"partial.ini");
    ASSERT_TRUE(app.window->ExportSettingsFile(path.c_str(), true));
    EXPECT_EQ(L"\xFEFF[Quenbrix]\r\nCommand = new\r\nFileExt\r\nPreCommand\r\nDirectory\r\nDelete = 1\r\nCheckExitCode = 0\r\nHideCommand = 0\r\nParallel = 1\r\n"
              L"OnFailure = 0\r\nTimeLimit = 0\r\nRetries = 0\r\nLowPriority = 0\r\nOutput\r\nSkipUpToDate = 0\r\n"
              L"CheckOutput = 1\r\nKeepFailedOutput = 0\r\n"
        L"Watch\r\nWatchSettle = 3\r\nWatchExisting = 1\r\nNotify = 1\r\n\r\n"
              L"[Other]\r\nx = 1\r\n\r\n",
              Wide(TempDir::ReadWholeFile(path)));
    // An empty file holds nothing to lose.
    std::wstring empty = dir.WriteFile(L"empty.ini", "");
    EXPECT_TRUE(app.window->ExportSettingsFile(empty.c_str()));
}

TEST(Export, AValueTheImportWouldNotTakeBackIsNotSaved) {
    TempDir dir;
    AppWindow app;
    Fill(app, std::wstring(257, L'e').c_str(), L"", L"run", L"", true);
    std::wstring path = dir.Join(L"refused.ini");
    EXPECT_FALSE(app.window->ExportSettingsFile(path.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));
}

TEST(Export, TheLongestCommandSurvivesAFileRoundTrip) {
    TempDir dir;
    AppWindow app;
    std::wstring longCommand(1024, L'k');
    Fill(app, L"", L"", longCommand.c_str(), L"", true);
    std::wstring path = dir.Join(L"long.ini");
    ASSERT_TRUE(app.window->ExportSettingsFile(path.c_str()));
    app.SetText(IDC_COMMAND_EDIT, L"");
    ASSERT_TRUE(app.window->Form().ImportSettingsFile(path.c_str()));
    EXPECT_EQ(longCommand, app.Text(IDC_COMMAND_EDIT));
}

TEST(Export, AFolderAtThePathFailsAndKeepsTheSettingsPath) {
    TempDir dir;
    std::wstring folder = dir.MakeDir(L"taken.ini");
    AppWindow app;
    EXPECT_FALSE(app.window->ExportSettingsFile(folder.c_str()));
    EXPECT_TRUE(app.window->Form().SettingsPath().IsEmpty());
}

TEST(SettingsCommands, SaveAsksBeforeOverwritingAFileThatDoesNotLoadWhole) {
    TempDir dir;
    AppWindow app;
    Fill(app, L"", L"", L"new", L"", true);
    const std::string broken = Utf16File(L"[Other]\r\nx = 1\r\n[Broken\r\n");
    std::wstring path = dir.WriteFile(L"broken.ini", broken);
    const std::wstring question =
        L"この設定ファイルは一部を読み込めませんでした。保存すると読み込めなかった部分は失われます。上書きしますか？";

    DrawnText drawn;
    BoxAnswer no;
    TimerScript refuse;
    refuse.Then(AnswerBox(&no, IDNO));
    refuse.Start();
    {
        QuitWatchdog watchdog(kWaitMs, 99);
        app.window->ExportSettingsFileAsking(path.c_str());
        EXPECT_FALSE(watchdog.Fired());
    }
    EXPECT_TRUE(no.seen);
    EXPECT_EQ(L"確認", no.caption);
    EXPECT_TRUE(drawn.Saw(question));
    EXPECT_EQ(broken, TempDir::ReadWholeFile(path));

    BoxAnswer yes;
    TimerScript accept;
    accept.Then(AnswerBox(&yes, IDYES));
    accept.Start();
    {
        QuitWatchdog watchdog(kWaitMs, 99);
        app.window->ExportSettingsFileAsking(path.c_str());
        EXPECT_FALSE(watchdog.Fired());
    }
    EXPECT_TRUE(yes.seen);
    EXPECT_EQ(L"\xFEFF[Quenbrix]\r\nFileExt\r\nPreCommand\r\nCommand = new\r\nDirectory\r\nDelete = 1\r\nCheckExitCode = 0\r\nHideCommand = 0\r\nParallel = 1\r\n"
              L"OnFailure = 0\r\nTimeLimit = 0\r\nRetries = 0\r\nLowPriority = 0\r\nOutput\r\nSkipUpToDate = 0\r\n"
              L"CheckOutput = 1\r\nKeepFailedOutput = 0\r\n"
        L"Watch\r\nWatchSettle = 3\r\nWatchExisting = 1\r\nNotify = 1\r\n\r\n",
              Wide(TempDir::ReadWholeFile(path)));

    // A file that loads whole is saved without a word (a box would end at
    // the watchdog's quit).
    drawn.Clear();
    QuitWatchdog watchdog(kWaitMs, 99);
    app.window->ExportSettingsFileAsking(path.c_str());
    PumpFor(100);
    EXPECT_TRUE(drawn.Texts().empty());
    EXPECT_FALSE(watchdog.Fired());
}

TEST(SettingsCommands, LoadNamesWhatItCouldNotTake) {
    TempDir dir;
    AppWindow app;
    struct Case {
        std::string bytes;
        std::wstring message;
    } cases[] = {
        {"\xFF\xFE", L"設定ファイルが大きすぎます（16 MiB まで）。"},
        {Utf8(L"[Other]\r\nCommand = 写真\r\n"), L"設定ファイルの読み込みに失敗しました。"},
        {Utf16File(L"[Quenbrix]\r\nDirectory = " + std::wstring(261, L'd') + L"\r\nCommand = " + std::wstring(2000, L'c')),
         L"次の設定は値が長すぎるため読み込みませんでした。元の値のままです。\n\nCommand\nDirectory"},
    };
    for (const Case& c : cases) {
        std::wstring path = &c == cases ? dir.WriteSparseFile(L"load.ini", c.bytes, VQSettingsText::kMaxFileBytes + 1)
                                        : dir.WriteFile(L"load.ini", c.bytes);
        DrawnText drawn;
        BoxAnswer ok;
        TimerScript script;
        script.Then(AnswerBox(&ok, IDOK));
        script.Start();
        QuitWatchdog watchdog(kWaitMs, 99);
        app.window->ImportSettingsFileReporting(path.c_str());
        EXPECT_FALSE(watchdog.Fired());
        EXPECT_EQ(L"エラー", ok.caption);
        EXPECT_TRUE(drawn.Saw(c.message)) << c.message;
    }
}

TEST(RunSettings, CheckExitCodeHideCommandAndParallelRoundTrip) {
    TempDir dir;
    AppWindow app;
    // Absent everywhere: the plain sequential run, as before these settings existed.
    JobSettings first = MakeSettings(L"", L"", L"", L"", true);
    app.window->LoadRegistrySettings(first);
    EXPECT_EQ(0u, first.checkExitCode);
    EXPECT_EQ(0u, first.hideCommand);
    EXPECT_EQ(1u, first.parallel);

    app.SetChecked(IDC_CHECK_EXIT_CODE, true);
    app.SetChecked(IDC_HIDE_COMMAND, true);
    app.SetText(IDC_PARALLEL_EDIT, L"12");
    app.window->SaveRegistrySettings();
    std::string bytes;
    DWORD type = 0;
    ASSERT_TRUE(app.key.Read("Parallel", &bytes, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(std::string("\x0C\0\0\0", 4), bytes);
    JobSettings back;
    app.window->LoadRegistrySettings(back);
    EXPECT_EQ(1u, back.checkExitCode);
    EXPECT_EQ(1u, back.hideCommand);
    EXPECT_EQ(12u, back.parallel);

    // A settings file keeps them after the five keys, and takes them back.
    std::wstring path = dir.Join(L"run.ini");
    ASSERT_TRUE(app.window->ExportSettingsFile(path.c_str()));
    EXPECT_NE(std::string::npos,
              TempDir::ReadWholeFile(path).find(Utf16File(L"Delete = 1\r\nCheckExitCode = 1\r\nHideCommand = 1\r\n"
                                                          L"Parallel = 12\r\n").substr(2)));
    app.SetChecked(IDC_HIDE_COMMAND, false);
    app.SetText(IDC_PARALLEL_EDIT, L"3");
    ASSERT_TRUE(app.window->Form().ImportSettingsFile(path.c_str()));
    EXPECT_TRUE(app.IsChecked(IDC_HIDE_COMMAND));
    EXPECT_EQ(L"12", app.Text(IDC_PARALLEL_EDIT));
}

TEST(RunSettings, AnOldFileOrKeyMeansTheDefaultsAndABadNumberIsNotTaken) {
    TempDir dir;
    AppWindow app;
    app.SetChecked(IDC_CHECK_EXIT_CODE, true);
    app.SetText(IDC_PARALLEL_EDIT, L"4");
    // A file saved before these settings existed: the defaults, as then.
    std::wstring old = dir.WriteFile(L"old.ini", Utf16File(L"[Quenbrix]\r\nFileExt\r\nPreCommand\r\nCommand = x\r\n"
                                                           L"Directory\r\nDelete = 1\r\n\r\n"));
    ASSERT_TRUE(app.window->Form().ImportSettingsFile(old.c_str()));
    EXPECT_FALSE(app.IsChecked(IDC_CHECK_EXIT_CODE));
    EXPECT_EQ(L"1", app.Text(IDC_PARALLEL_EDIT));

    // Out of range or not a number: the box keeps what it had, and the key is named.
    for (const wchar_t* bad : {L"Parallel = 0", L"Parallel = 65", L"Parallel = 2x", L"Parallel"}) {
        app.SetText(IDC_PARALLEL_EDIT, L"7");
        std::wstring path = dir.WriteFile(L"bad.ini", Utf16File(L"[Quenbrix]\r\n" + std::wstring(bad) + L"\r\n"));
        SettingsFileReport report;
        ASSERT_TRUE(app.window->Form().ImportSettingsFile(path.c_str(), &report)) << bad;
        EXPECT_EQ(L"7", app.Text(IDC_PARALLEL_EDIT)) << bad;
        ASSERT_EQ(1, report.skippedKeys.GetCount()) << bad;
        EXPECT_STREQ(L"Parallel", report.skippedKeys[0].Text());
    }
    // The registry likewise: a DWORD out of range keeps the default.
    DWORD tooMany = 65;
    app.key.Write("Parallel", REG_DWORD, &tooMany, sizeof tooMany);
    JobSettings settings;
    app.window->LoadRegistrySettings(settings);
    EXPECT_EQ(1u, settings.parallel);
}

TEST(Snapshot, EverySettingChangedAloneChangesItAndChangedBackRestoresIt) {
    AppWindow app;
    const std::vector<int> controls = JobForm::SettingControls();
    ASSERT_GE(controls.size(), 16u);
    const VQWString loaded = app.window->SettingsSnapshot();
    for (int id : controls) {
        HWND control = app.Control(id);
        ASSERT_NE(nullptr, control) << id;
        std::wstring type = ClassName(control);
        bool list = type == L"ComboBox" && (GetWindowLongW(control, GWL_STYLE) & 3) == CBS_DROPDOWNLIST;
        // As the user changes it: a click, another choice, another text.
        std::function<void()> undo;
        if (type == L"Button") {
            bool was = app.IsChecked(id);
            app.SetChecked(id, !was);
            undo = [&app, id, was] { app.SetChecked(id, was); };
        } else if (list) {
            LRESULT was = SendMessageW(control, CB_GETCURSEL, 0, 0);
            ASSERT_GE(SendMessageW(control, CB_GETCOUNT, 0, 0), 2) << id;
            SendMessageW(control, CB_SETCURSEL, was == 0 ? 1 : 0, 0);
            SendMessageW(app.Panel(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(control));
            undo = [&app, control, id, was] {
                SendMessageW(control, CB_SETCURSEL, was, 0);
                SendMessageW(app.Panel(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                             reinterpret_cast<LPARAM>(control));
            };
        } else {
            // A number every number field takes.
            std::wstring was = app.Text(id);
            app.SetText(id, was == L"3" ? L"4" : L"3");
            undo = [&app, id, was] { app.SetText(id, was); };
        }
        EXPECT_NE(std::wstring(loaded.Text()), std::wstring(app.window->SettingsSnapshot().Text()))
            << "control " << id << " (" << std::string(type.begin(), type.end()) << ") changed alone";
        undo();
        EXPECT_EQ(std::wstring(loaded.Text()), std::wstring(app.window->SettingsSnapshot().Text())) << id;
    }
}

TEST(Snapshot, AChangeOfOnlyOnFailureThenAnotherJobAsksToSaveIt) {
    TempDir jobs;
    jobs.WriteFile(L"写真をWebPに.ini", Utf16File(L"[Quenbrix]\r\nCommand = cwebp \"$fullname\"\r\n"));
    jobs.WriteFile(L"控え.ini", Utf16File(L"[Quenbrix]\r\nCommand = copy \"$fullname\" D:\\控え\r\n"));
    AppWindow app(nullptr, nullptr, nullptr,
                  [&jobs](MainWindow& window) { window.storagePlace.jobsFolder = VQWString(jobs.Path().c_str()); });
    ASSERT_TRUE(app.window->ChooseJob(VQWString(L"写真をWebPに")));
    // 失敗したら: 続ける, as the user picks it.
    HWND combo = app.Control(IDC_ON_FAILURE_COMBO);
    SendMessageW(combo, CB_SETCURSEL, 1, 0);
    SendMessageW(app.Panel(), WM_COMMAND, MAKEWPARAM(IDC_ON_FAILURE_COMBO, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));

    DrawnText drawn;
    BoxAnswer cancel;
    TimerScript script;
    script.Then(AnswerBox(&cancel, IDCANCEL));
    script.Start();
    {
        QuitWatchdog watchdog(kWaitMs, 99);
        EXPECT_FALSE(app.window->ChooseJob(VQWString(L"控え")));
        EXPECT_FALSE(watchdog.Fired());
    }
    EXPECT_TRUE(cancel.seen);
    EXPECT_EQ(L"確認", cancel.caption);
    EXPECT_TRUE(drawn.Saw(L"変更を保存しますか？"));
    EXPECT_EQ(L"cwebp \"$fullname\"", app.Text(IDC_COMMAND_EDIT)) << "Cancel stays";
    EXPECT_EQ(1, static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)));
}
