#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/app/app_window.h"
#include "tests/support/temp_dir.h"

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

TEST(Import, OnlyCommandPresentEmptiesTheRestAndChecksDelete) {
    TempDir dir;
    std::wstring path = dir.WriteFile(L"only command.ini", Utf16File(L"[Quenbrix]\r\nCommand = copy $name x\r\n"));
    AppWindow app;
    Fill(app, L"txt", L"pre", L"old", L"C:\\", false);
    ASSERT_TRUE(app.window->ImportSettingsFile(path.c_str()));
    EXPECT_EQ(L"", app.Text(IDC_FILEEXT_EDIT));
    EXPECT_EQ(L"", app.Text(IDC_PRECOMMAND_EDIT));
    EXPECT_EQ(L"copy $name x", app.Text(IDC_COMMAND_EDIT));
    EXPECT_EQ(L"", app.Text(IDC_DIRECTORY_EDIT));
    EXPECT_TRUE(app.IsChecked(IDC_DELETE_CHECK));
    EXPECT_STREQ(path.c_str(), app.window->settingsPath.Text());
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
        ASSERT_TRUE(app.window->ImportSettingsFile(path.c_str())) << c.line;
        EXPECT_EQ(c.checked, app.IsChecked(IDC_DELETE_CHECK)) << c.line;
    }
}

TEST(Import, AValuePastItsLimitEmptiesOnlyThatBox) {
    TempDir dir;
    std::wstring text = L"[Quenbrix]\r\nFileExt = " + std::wstring(257, L'e') + L"\r\nCommand = run\r\n";
    std::wstring path = dir.WriteFile(L"long.ini", Utf16File(text));
    AppWindow app;
    app.SetText(IDC_FILEEXT_EDIT, L"txt");
    ASSERT_TRUE(app.window->ImportSettingsFile(path.c_str()));
    EXPECT_EQ(L"", app.Text(IDC_FILEEXT_EDIT));
    EXPECT_EQ(L"run", app.Text(IDC_COMMAND_EDIT));
}

TEST(Import, FailuresLeaveEveryControlAlone) {
    TempDir dir;
    AppWindow app;
    Fill(app, L"txt", L"pre", L"cmd", L"C:\\", false);
    std::wstring other = dir.WriteFile(L"other.ini", Utf16File(L"[Other]\r\nCommand = x\r\n"));
    std::wstring ansi = dir.WriteFile(L"ansi.ini", "[Quenbrix]\r\nCommand = x\r\n");
    for (const std::wstring& path : {other, ansi, dir.Join(L"missing.ini")}) {
        EXPECT_FALSE(app.window->ImportSettingsFile(path.c_str()));
        EXPECT_EQ(L"cmd", app.Text(IDC_COMMAND_EDIT));
        EXPECT_EQ(L"txt", app.Text(IDC_FILEEXT_EDIT));
        EXPECT_FALSE(app.IsChecked(IDC_DELETE_CHECK));
    }
    EXPECT_TRUE(app.window->settingsPath.IsEmpty());
}

TEST(Export, ANewFileHasExactlyTheSectionAndFiveLines) {
    TempDir dir;
    AppWindow app;
    Fill(app, L"", L"echo $name", L"copy \"$fullname\" D:\\", L"", true);
    std::wstring path = dir.Join(L"新しい 設定.ini");
    ASSERT_TRUE(app.window->ExportSettingsFile(path.c_str()));
    EXPECT_EQ(Utf16File(L"[Quenbrix]\r\nFileExt\r\nPreCommand = echo $name\r\nCommand = copy \"$fullname\" D:\\\r\n"
                        L"Directory\r\nDelete = 1\r\n\r\n"),
              TempDir::ReadWholeFile(path));
    EXPECT_STREQ(path.c_str(), app.window->settingsPath.Text());

    // The bare FileExt key reads back as empty.
    app.SetText(IDC_FILEEXT_EDIT, L"zzz");
    ASSERT_TRUE(app.window->ImportSettingsFile(path.c_str()));
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
              L"PreCommand\r\nDirectory\r\nDelete = 0\r\n\r\n",
              Wide(TempDir::ReadWholeFile(path)));
    // No temporary file is left beside it.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L".tmp.*").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, search);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

TEST(Export, AFileThatIsNotSettingsTextIsReplaced) {
    TempDir dir;
    std::wstring path = dir.WriteFile(L"plain.ini", "[Tools]\r\nEditor = notepad\r\n");
    AppWindow app;
    Fill(app, L"a", L"b", L"c", L"d", true);
    ASSERT_TRUE(app.window->ExportSettingsFile(path.c_str()));
    EXPECT_EQ(L"\xFEFF[Quenbrix]\r\nFileExt = a\r\nPreCommand = b\r\nCommand = c\r\nDirectory = d\r\nDelete = 1\r\n\r\n",
              Wide(TempDir::ReadWholeFile(path)));
}

TEST(Export, TheLongestCommandSurvivesAFileRoundTrip) {
    TempDir dir;
    AppWindow app;
    std::wstring longCommand(1024, L'k');
    Fill(app, L"", L"", longCommand.c_str(), L"", true);
    std::wstring path = dir.Join(L"long.ini");
    ASSERT_TRUE(app.window->ExportSettingsFile(path.c_str()));
    app.SetText(IDC_COMMAND_EDIT, L"");
    ASSERT_TRUE(app.window->ImportSettingsFile(path.c_str()));
    EXPECT_EQ(longCommand, app.Text(IDC_COMMAND_EDIT));
}

TEST(Export, AFolderAtThePathFailsAndKeepsTheSettingsPath) {
    TempDir dir;
    std::wstring folder = dir.MakeDir(L"taken.ini");
    AppWindow app;
    EXPECT_FALSE(app.window->ExportSettingsFile(folder.c_str()));
    EXPECT_TRUE(app.window->settingsPath.IsEmpty());
}
