#include "app/command_line.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

std::wstring W(const VQWString& s) { return std::wstring(s.Text(), s.GetLength()); }

std::vector<std::wstring> Arguments(const CommandLine& line) {
    std::vector<std::wstring> out;
    for (const VQWString& argument : line.arguments) out.push_back(W(argument));
    return out;
}

typedef std::vector<std::wstring> Words;

}  // namespace

TEST(CommandLineSplit, ArgumentsEndAtBlanksOutsideDoubleQuotesAndOnlyThoseQuote) {
    CommandLine line = ParseCommandLine(L"\"C:\\Program Files\\Quenbrix\\Quenbrix.exe\"  \"D:\\設定 フォルダ\\ジョブ.ini\"\t"
                                        L"plain.ini 'C:\\two words.ini' \\\\server\\share\\a.ini");
    EXPECT_EQ(L"C:\\Program Files\\Quenbrix\\Quenbrix.exe", W(line.program));
    EXPECT_EQ((Words{L"D:\\設定 フォルダ\\ジョブ.ini", L"plain.ini", L"'C:\\two", L"words.ini'",
                     L"\\\\server\\share\\a.ini"}),
              Arguments(line));
}

TEST(CommandLineSplit, ALongQuotedPathStaysWhole) {
    // Far past the 260 units a cut would leave: 40 folders of 9 units, every
    // backslash inside the quotes.
    std::wstring path = L"C:";
    for (int i = 0; i < 40; ++i) path += L"\\フォルダ " + std::to_wstring(1000 + i);
    path += L"\\ジョブ.ini";
    ASSERT_GT(path.size(), 400u);
    CommandLine line = ParseCommandLine((L"q.exe \"" + path + L"\" second").c_str());
    EXPECT_EQ((Words{path, L"second"}), Arguments(line));
}

namespace {

// UTF-16LE with the byte-order mark, as settings files are written.
std::string Utf16(const std::wstring& text) {
    std::string bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

std::vector<std::wstring> Texts(const std::vector<VQWString>& values) {
    std::vector<std::wstring> out;
    for (const VQWString& value : values) out.push_back(W(value));
    return out;
}

}  // namespace

TEST(CommandLineSwitches, AreNamedWithoutRegardToCaseAndTakeTheirValuesWhateverTheyAre) {
    CommandLine line = ParseCommandLine(
        L"q.exe -RUN a.jpg /New /list \"リスト 1.txt\" /LIST /run /job 写真をWebPに /plan - /portable b.jpg");
    EXPECT_TRUE(line.error.IsEmpty()) << std::string(W(line.error).begin(), W(line.error).end());
    EXPECT_TRUE(line.run);
    EXPECT_TRUE(line.newWindow);
    EXPECT_TRUE(line.portable);
    EXPECT_FALSE(line.usage);
    EXPECT_EQ((Words{L"リスト 1.txt", L"/run"}), Texts(line.listFiles)) << "a value is never a switch";
    EXPECT_EQ(L"写真をWebPに", W(line.job));
    EXPECT_EQ(L"-", W(line.planFile));
    EXPECT_EQ((Words{L"a.jpg", L"b.jpg"}), Texts(line.paths));
    EXPECT_TRUE(line.Unattended());
    EXPECT_FALSE(line.OnlyPaths());

    CommandLine usage = ParseCommandLine(L"q.exe -?");
    EXPECT_TRUE(usage.usage);
    EXPECT_TRUE(usage.error.IsEmpty());
    EXPECT_FALSE(usage.Unattended());

    // A plan alone runs nothing and waits for nobody either.
    EXPECT_TRUE(ParseCommandLine(L"q.exe /plan p.csv").Unattended());
    EXPECT_TRUE(ParseCommandLine(L"q.exe a.jpg b").OnlyPaths());
    EXPECT_FALSE(ParseCommandLine(L"q.exe a.jpg /new").OnlyPaths());
    // A watch is a window's own: its paths are not handed to another window.
    CommandLine watch = ParseCommandLine(L"q.exe job.ini /WATCH a.jpg");
    EXPECT_TRUE(watch.watch && watch.error.IsEmpty() && !watch.Unattended() && !watch.OnlyPaths());
    EXPECT_TRUE(ParseCommandLine(L"q.exe /job 縮小 a.jpg").JobAndPaths());
    EXPECT_FALSE(ParseCommandLine(L"q.exe /job 縮小 /watch a.jpg").JobAndPaths());
}

TEST(CommandLineSwitches, OnlyASlashOrDashBeforeLettersIsASwitchEverythingElseIsAPath) {
    CommandLine line = ParseCommandLine(L"q.exe /data/a.ini -a.ini .\\-x / - /run2 C:\\x\\-run");
    EXPECT_TRUE(line.error.IsEmpty());
    EXPECT_FALSE(line.run);
    EXPECT_EQ((Words{L"/data/a.ini", L"-a.ini", L".\\-x", L"/", L"-", L"/run2", L"C:\\x\\-run"}), Texts(line.paths));
}

TEST(CommandLineSwitches, AWrongArgumentIsNamedTheFirstOneFirst) {
    const struct {
        const wchar_t* line;
        const wchar_t* error;
    } cases[] = {
        {L"q.exe a.jpg /bogus /also", L"不明なスイッチです: /bogus"},
        {L"q.exe /runs", L"不明なスイッチです: /runs"},
        {L"q.exe /run /list", L"/list のあとにリストファイルを指定してください。"},
        {L"q.exe /list \"\" x", L"/list のあとにリストファイルを指定してください。"},
        {L"q.exe /JOB", L"/JOB のあとにジョブの名前を指定してください。"},
        {L"q.exe /plan", L"/plan のあとに実行予定の保存先を指定してください。"},
        {L"q.exe /job a /job b", L"/job は一度だけ指定できます。"},
        {L"q.exe /plan a.csv /plan b.csv", L"/plan は一度だけ指定できます。"},
        {L"q.exe a.ini /Watch /run", L"/watch は /run、/plan と一緒には指定できません。"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error, W(ParseCommandLine(c.line).error)) << std::string(c.line, c.line + wcslen(c.line));
    }
    EXPECT_TRUE(ParseCommandLine(L"q.exe /list a.txt /list b.txt").error.IsEmpty()) << "list files add up";
}

TEST(CommandLinePaths, SettingsFilesTargetsAndNamesOfNothingAreToldApartOnTheDisk) {
    TempDir dir;
    std::wstring job = dir.WriteFile(L"ジョブ 設定.ini", Utf16(L"[Quenbrix]\r\nCommand = a\r\n"));
    // Any name: the section makes it one.
    std::wstring unnamedJob = dir.WriteFile(L"job settings", "[Quenbrix]\r\nCommand = b\r\n");
    std::wstring brokenIni = dir.WriteFile(L"壊れた.INI", std::string("\xFF\xD8\xFF\x00\x01", 5));
    std::wstring missingIni = dir.Join(L"無い.ini");
    std::wstring photo = dir.WriteFile(L"写真 01.jpg", std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10));
    std::wstring otherSection = dir.WriteFile(L"other.txt", "[Other]\r\nCommand = c\r\n");
    std::wstring plain = dir.WriteFile(L"memo.txt", "just text");
    std::wstring folder = dir.MakeDir(L"写真 2026");
    std::wstring missing = dir.Join(L"無い 写真.jpg");
    // A large text file is a target without being read as settings.
    std::wstring large = dir.WriteFile(L"large.log", "[Quenbrix]\r\n" + std::string(kSettingsSniffBytes, 'x'));

    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.Path().c_str()));
    CommandLine line = ParseCommandLine((L"q.exe \"" + job + L"\" \"job settings\" \"" + brokenIni + L"\" \"" +
                                         missingIni + L"\" \"写真 01.jpg\" \"" + otherSection + L"\" \"" + plain +
                                         L"\" \"" + folder + L"\" \"" + missing + L"\" \"" + large + L"\"")
                                            .c_str());
    SortPaths(line);
    SetCurrentDirectoryW(saved);
    EXPECT_EQ((Words{job, unnamedJob, brokenIni, missingIni}), Texts(line.settingsFiles));
    EXPECT_EQ((Words{photo, otherSection, plain, folder, large}), Texts(line.targets)) << "relative names made full";
    EXPECT_EQ((Words{missing}), Texts(line.missing));
}

TEST(CommandLinePaths, ListAndPlanFilesAreMadeFullAndHandedOverPathsSplitByPresence) {
    TempDir dir;
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.Path().c_str()));
    CommandLine line = ParseCommandLine(L"q.exe /list \"リスト 1.txt\" /plan 予定.csv");
    SortPaths(line);
    SetCurrentDirectoryW(saved);
    EXPECT_EQ((Words{dir.Join(L"リスト 1.txt")}), Texts(line.listFiles));
    EXPECT_EQ(dir.Join(L"予定.csv"), std::wstring(line.planFile.Text()));
    std::wstring here = dir.WriteFile(L"ある.txt", "x");
    std::vector<VQWString> found, gone;
    SplitByPresence({VQWString(dir.Join(L"無い.txt").c_str()), VQWString(here.c_str())}, found, gone);
    EXPECT_EQ((Words{here}), Texts(found));
    EXPECT_EQ((Words{dir.Join(L"無い.txt")}), Texts(gone));
}
