// The run options and the output template as job settings: their controls,
// the registry values and the settings-file keys, and what a value out of
// range or of the wrong type leaves.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/app_window.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

std::string Utf16File(const std::wstring& text) {
    std::wstring marked = L"\xFEFF" + text;
    return std::string(reinterpret_cast<const char*>(marked.data()), marked.size() * sizeof(wchar_t));
}

std::wstring Wide(const std::string& bytes) {
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

int Choice(const AppWindow& app) {
    return static_cast<int>(SendMessageW(app.Control(IDC_ON_FAILURE_COMBO), CB_GETCURSEL, 0, 0));
}

// As a user picks an entry of the drop-down: the choice, then the notification.
void Choose(const AppWindow& app, int index) {
    HWND combo = app.Control(IDC_ON_FAILURE_COMBO);
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(app.Panel(), WM_COMMAND, MAKEWPARAM(IDC_ON_FAILURE_COMBO, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

std::wstring ComboText(const AppWindow& app, int index) {
    HWND combo = app.Control(IDC_ON_FAILURE_COMBO);
    int length = static_cast<int>(SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0));
    if (length < 0) return L"<none>";
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(length));
    return text;
}

// Every new setting away from its default.
void SetAll(AppWindow& app) {
    Choose(app, 1);
    app.SetText(IDC_TIME_LIMIT_EDIT, L"86400");
    app.SetText(IDC_RETRIES_EDIT, L"9");
    app.SetChecked(IDC_LOW_PRIORITY_CHECK, true);
    app.SetText(IDC_OUTPUT_EDIT, L"D:\\変換後\\$reldir$stem.webp");
    app.SetChecked(IDC_SKIP_UP_TO_DATE_CHECK, true);
    app.SetChecked(IDC_CHECK_OUTPUT_CHECK, false);
    app.SetChecked(IDC_KEEP_FAILED_OUTPUT_CHECK, true);
}

void ExpectAllSet(const JobSettings& s) {
    EXPECT_EQ(1u, s.onFailure);
    EXPECT_EQ(86400u, s.timeLimit);
    EXPECT_EQ(9u, s.retries);
    EXPECT_EQ(1u, s.lowPriority);
    EXPECT_STREQ(L"D:\\変換後\\$reldir$stem.webp", s.output);
    EXPECT_EQ(1u, s.skipUpToDate);
    EXPECT_EQ(0u, s.checkOutput);
    EXPECT_EQ(1u, s.keepFailedOutput);
}

void ExpectDefaults(const JobSettings& s) {
    EXPECT_EQ(0u, s.onFailure);
    EXPECT_EQ(0u, s.timeLimit);
    EXPECT_EQ(0u, s.retries);
    EXPECT_EQ(0u, s.lowPriority);
    EXPECT_STREQ(L"", s.output);
    EXPECT_EQ(0u, s.skipUpToDate);
    EXPECT_EQ(1u, s.checkOutput);
    EXPECT_EQ(0u, s.keepFailedOutput);
}

}  // namespace

TEST(RunOptionSettings, AbsentMeansTodaysRunAndTheControlsSayIt) {
    JobSettings settings;
    for (DWORD* n : {&settings.onFailure, &settings.timeLimit, &settings.retries, &settings.lowPriority,
                     &settings.skipUpToDate, &settings.checkOutput, &settings.keepFailedOutput}) {
        *n = 7;
    }
    settings.output[0] = L'x';
    {
        AppWindow app;
        app.window->LoadRegistrySettings(settings);
        ExpectDefaults(settings);
        EXPECT_EQ(0u, app.window->Form().UnreadRegistrySettings());
    }
    AppWindow shown(&settings);
    EXPECT_EQ(0, Choice(shown));
    EXPECT_EQ(L"停止する", ComboText(shown, 0));
    EXPECT_EQ(L"続ける", ComboText(shown, 1));
    EXPECT_EQ(L"<none>", ComboText(shown, 2)) << "two choices only";
    EXPECT_EQ(L"0", shown.Text(IDC_TIME_LIMIT_EDIT));
    EXPECT_EQ(L"0", shown.Text(IDC_RETRIES_EDIT));
    EXPECT_FALSE(shown.IsChecked(IDC_LOW_PRIORITY_CHECK));
    EXPECT_EQ(L"", shown.Text(IDC_OUTPUT_EDIT));
    EXPECT_FALSE(shown.IsChecked(IDC_SKIP_UP_TO_DATE_CHECK));
    EXPECT_TRUE(shown.IsChecked(IDC_CHECK_OUTPUT_CHECK));
    EXPECT_FALSE(shown.IsChecked(IDC_KEEP_FAILED_OUTPUT_CHECK));
    // The output takes as much as the command does, and no more.
    // The field keeps a history: its limit is its edit child's.
    HWND outputEdit = FindWindowExW(shown.Control(IDC_OUTPUT_EDIT), nullptr, L"Edit", nullptr);
    ASSERT_NE(nullptr, outputEdit);
    EXPECT_EQ(1024, static_cast<int>(SendMessageW(outputEdit, EM_GETLIMITTEXT, 0, 0)));
}

TEST(RunOptionSettings, TheRegistryValuesRoundTrip) {
    JobSettings back;
    {
    AppWindow app;
    SetAll(app);
    app.window->SaveRegistrySettings();
    std::string bytes;
    DWORD type = 0;
    struct Expected {
        const char* name;
        DWORD value;
    } numbers[] = {{"OnFailure", 1},    {"TimeLimit", 86400},   {"Retries", 9},         {"LowPriority", 1},
                   {"SkipUpToDate", 1}, {"CheckOutput", 0},     {"KeepFailedOutput", 1}};
    for (const Expected& e : numbers) {
        ASSERT_TRUE(app.key.Read(e.name, &bytes, &type)) << e.name;
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type) << e.name;
        EXPECT_EQ(Dword(e.value), bytes) << e.name;
    }
    ASSERT_TRUE(app.key.Read("Output", &bytes, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::wstring(L"D:\\変換後\\$reldir$stem.webp"), Wide(bytes).c_str());

    app.window->LoadRegistrySettings(back);
    ExpectAllSet(back);
    }
    AppWindow shown(&back);
    EXPECT_EQ(1, Choice(shown));
    EXPECT_EQ(L"86400", shown.Text(IDC_TIME_LIMIT_EDIT));
    EXPECT_TRUE(shown.IsChecked(IDC_KEEP_FAILED_OUTPUT_CHECK));
    EXPECT_FALSE(shown.IsChecked(IDC_CHECK_OUTPUT_CHECK));
}

TEST(RunOptionSettings, RegistryValuesOutOfRangeOrOfTheWrongTypeKeepTheDefaultAndAreNotWrittenBack) {
    AppWindow app;
    const DWORD two = 2, tooLong = 86401, ten = 10, huge = 0xFFFFFFFF;
    app.key.Write("OnFailure", REG_DWORD, &two, sizeof two);
    app.key.Write("TimeLimit", REG_DWORD, &tooLong, sizeof tooLong);
    app.key.Write("Retries", REG_DWORD, &ten, sizeof ten);
    app.key.Write("LowPriority", REG_SZ, L"1", 4);
    app.key.Write("Output", REG_DWORD, &two, sizeof two);
    app.key.Write("CheckOutput", REG_SZ, L"0", 4);
    app.key.Write("KeepFailedOutput", REG_BINARY, "\x01", 1);
    app.key.Write("SkipUpToDate", REG_QWORD, "\x01\0\0\0\0\0\0\0", 8);
    JobSettings settings;
    app.window->LoadRegistrySettings(settings);
    ExpectDefaults(settings);

    // The controls at their defaults write nothing over what could not be read.
    app.window->SaveRegistrySettings();
    std::string bytes;
    DWORD type = 0;
    ASSERT_TRUE(app.key.Read("OnFailure", &bytes, &type));
    EXPECT_EQ(Dword(2), bytes);
    ASSERT_TRUE(app.key.Read("TimeLimit", &bytes, &type));
    EXPECT_EQ(Dword(86401), bytes);
    ASSERT_TRUE(app.key.Read("Retries", &bytes, &type));
    EXPECT_EQ(Dword(10), bytes);
    ASSERT_TRUE(app.key.Read("CheckOutput", &bytes, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    ASSERT_TRUE(app.key.Read("Output", &bytes, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);

    // The largest values are taken; a value the user then sets is written.
    app.key.Write("TimeLimit", REG_DWORD, &huge, sizeof huge);
    const DWORD day = 86400, nine = 9, one = 1;
    app.key.Write("Retries", REG_DWORD, &nine, sizeof nine);
    app.key.Write("OnFailure", REG_DWORD, &one, sizeof one);
    app.window->LoadRegistrySettings(settings);
    EXPECT_EQ(0u, settings.timeLimit);
    EXPECT_EQ(9u, settings.retries);
    EXPECT_EQ(1u, settings.onFailure);
    app.SetText(IDC_TIME_LIMIT_EDIT, L"86400");
    app.window->SaveRegistrySettings();
    ASSERT_TRUE(app.key.Read("TimeLimit", &bytes, &type));
    EXPECT_EQ(Dword(day), bytes);
}

TEST(RunOptionSettings, SettingsFileKeysRoundTripAndBadOnesAreNamedAndNotTaken) {
    TempDir dir;
    AppWindow app;
    SetAll(app);
    std::wstring path = dir.Join(L"出力 設定.ini");
    ASSERT_TRUE(app.window->ExportSettingsFile(path.c_str()));
    EXPECT_NE(std::wstring::npos,
              Wide(TempDir::ReadWholeFile(path))
                  .find(L"Parallel = 1\r\nOnFailure = 1\r\nTimeLimit = 86400\r\nRetries = 9\r\nLowPriority = 1\r\n"
                        L"Output = D:\\変換後\\$reldir$stem.webp\r\nSkipUpToDate = 1\r\nCheckOutput = 0\r\n"
                        L"KeepFailedOutput = 1\r\n"));

    // A file from before these keys: today's run.
    AppWindow& other = app;
    std::wstring old = dir.WriteFile(L"old.ini", Utf16File(L"[Quenbrix]\r\nCommand = x\r\n"));
    ASSERT_TRUE(other.window->Form().ImportSettingsFile(old.c_str()));
    EXPECT_EQ(0, Choice(other));
    EXPECT_EQ(L"0", other.Text(IDC_TIME_LIMIT_EDIT));
    EXPECT_EQ(L"0", other.Text(IDC_RETRIES_EDIT));
    EXPECT_FALSE(other.IsChecked(IDC_LOW_PRIORITY_CHECK));
    EXPECT_EQ(L"", other.Text(IDC_OUTPUT_EDIT));
    EXPECT_FALSE(other.IsChecked(IDC_SKIP_UP_TO_DATE_CHECK));
    EXPECT_TRUE(other.IsChecked(IDC_CHECK_OUTPUT_CHECK));
    EXPECT_FALSE(other.IsChecked(IDC_KEEP_FAILED_OUTPUT_CHECK));

    ASSERT_TRUE(other.window->Form().ImportSettingsFile(path.c_str()));
    EXPECT_EQ(1, Choice(other));
    EXPECT_EQ(L"86400", other.Text(IDC_TIME_LIMIT_EDIT));
    EXPECT_EQ(L"9", other.Text(IDC_RETRIES_EDIT));
    EXPECT_TRUE(other.IsChecked(IDC_LOW_PRIORITY_CHECK));
    EXPECT_EQ(L"D:\\変換後\\$reldir$stem.webp", other.Text(IDC_OUTPUT_EDIT));
    EXPECT_TRUE(other.IsChecked(IDC_SKIP_UP_TO_DATE_CHECK));
    EXPECT_FALSE(other.IsChecked(IDC_CHECK_OUTPUT_CHECK));
    EXPECT_TRUE(other.IsChecked(IDC_KEEP_FAILED_OUTPUT_CHECK));

    // Out of range or not a number: the control keeps what it had, the key is named.
    struct Bad {
        const wchar_t* line;
        const wchar_t* key;
    } bad[] = {{L"OnFailure = 2", L"OnFailure"},     {L"OnFailure = -1", L"OnFailure"},
               {L"TimeLimit = 86401", L"TimeLimit"}, {L"TimeLimit = 1m", L"TimeLimit"},
               {L"Retries = 10", L"Retries"},        {L"Retries = -1", L"Retries"}};
    for (const Bad& b : bad) {
        SetAll(app);
        std::wstring file = dir.WriteFile(L"bad.ini", Utf16File(L"[Quenbrix]\r\n" + std::wstring(b.line) + L"\r\n"));
        SettingsFileReport report;
        ASSERT_TRUE(app.window->Form().ImportSettingsFile(file.c_str(), &report)) << b.line;
        ASSERT_EQ(1, report.skippedKeys.GetCount()) << b.line;
        EXPECT_STREQ(b.key, report.skippedKeys[0].Text());
        // The key named keeps the control's value; the absent ones mean their defaults.
        std::wstring key = b.key;
        EXPECT_EQ(key == L"OnFailure" ? 1 : 0, Choice(app)) << b.line;
        EXPECT_EQ(key == L"TimeLimit" ? L"86400" : L"0", app.Text(IDC_TIME_LIMIT_EDIT)) << b.line;
        EXPECT_EQ(key == L"Retries" ? L"9" : L"0", app.Text(IDC_RETRIES_EDIT)) << b.line;
    }
    // An output longer than its field is not cut short.
    SetAll(app);
    std::wstring file = dir.WriteFile(
        L"long.ini", Utf16File(L"[Quenbrix]\r\nOutput = " + std::wstring(1025, L'o') + L"\r\nTimeLimit = 5\r\n"));
    SettingsFileReport report;
    ASSERT_TRUE(app.window->Form().ImportSettingsFile(file.c_str(), &report));
    ASSERT_EQ(1, report.skippedKeys.GetCount());
    EXPECT_STREQ(L"Output", report.skippedKeys[0].Text());
    EXPECT_EQ(L"D:\\変換後\\$reldir$stem.webp", app.Text(IDC_OUTPUT_EDIT));
    EXPECT_EQ(L"5", app.Text(IDC_TIME_LIMIT_EDIT));
}
