// The real Quenbrix.exe started with arguments as a script, Send To or a
// scheduled task starts it: targets and settings files from the command
// line, /run with its exit code and its line on the standard output, the
// reasons a run does not start, and a second start handing its files to the
// window that is open.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/resource.h"
#include "tests/app/quenbrix_process.h"
#include "tests/support/child_program.h"
#include "tests/support/csv_rows.h"
#include "tests/support/registry_key.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_queries.h"

namespace {

typedef std::vector<std::wstring> Paths;

std::string Utf16File(const std::wstring& text) {
    std::string bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

std::string Utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

size_t Count(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size())) ++n;
    return n;
}

// What an unattended start left: its exit code, its standard output, and
// whether a window of it was still there when it ended.
struct Ended {
    DWORD code = STILL_ACTIVE;
    std::string output;
};

// Starts the program with its standard output in a file, as a scheduled
// task's log or a script's redirection gives it, and waits for its end
// (a program still running after `ms` is ended, and the test fails).
Ended RunToEnd(const std::wstring& arguments, const std::wstring& appData, DWORD ms = 120000) {
    Ended ended;
    TempDir outDir;
    std::wstring outPath = outDir.Join(L"stdout.txt");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        ended.output = "(the output file could not be made: error " + std::to_string(GetLastError()) + ")";
        return ended;
    }
    std::wstring commandLine = Quoted(QuenbrixProcess::ProgramPath()) + L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    startup.hStdInput = nullptr;
    // The kept list, the results and the jobs go where the test looks.
    SetEnvironmentVariableW(L"LOCALAPPDATA", appData.c_str());
    SetEnvironmentVariableW(L"APPDATA", appData.c_str());
    PROCESS_INFORMATION info = {};
    // Under load Wine now and then fails to start a process at all; that is
    // the harness's trouble, not the program's, so it is tried once more.
    bool started = false;
    DWORD startError = 0;
    for (int attempt = 0; attempt < 2 && !started; ++attempt) {
        if (attempt > 0) Sleep(500);
        started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                 &info) != FALSE;
        if (!started) startError = GetLastError();
    }
    if (started) {
        if (WaitForSingleObject(info.hProcess, ms) != WAIT_OBJECT_0) {
            TerminateProcess(info.hProcess, 99);
            WaitForSingleObject(info.hProcess, 5000);
        } else {
            GetExitCodeProcess(info.hProcess, &ended.code);
        }
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    CloseHandle(out);
    ended.output = TempDir::ReadWholeFile(outPath);
    if (!started) ended.output = "(the program did not start: error " + std::to_string(startError) + ")";
    return ended;
}

// The newest results file of a data folder, or empty.
std::wstring NewestResults(const TempDir& appData) {
    std::wstring pattern = appData.Join(L"Quenbrix\\runs\\*.csv");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return std::wstring();
    std::wstring newest;
    do {
        std::wstring name = found.cFileName;
        if (name > newest) newest = name;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return appData.Join(L"Quenbrix\\runs\\" + newest);
}

// The field of `column` (by the header's name) in the row whose second field is `target`.
std::string Field(const std::vector<std::vector<std::string>>& rows, const std::string& target,
                  const std::string& column) {
    if (rows.empty()) return "<no header>";
    size_t index = 0;
    while (index < rows[0].size() && rows[0][index] != column) ++index;
    for (const auto& row : rows) {
        if (row.size() > 1 && row[1] == target) return index < row.size() ? row[index] : "<short row>";
    }
    return "<no row>";
}

// The program's own key, emptied for each test and after each start that
// would leave its settings there.
class CommandLineRun : public ::testing::Test {
protected:
    CommandLineRun() : key(new TestRegistryKey("Software\\velqo\\Quenbrix")) {}
    ~CommandLineRun() override { delete key; }
    void FreshRegistry() {
        delete key;
        key = new TestRegistryKey("Software\\velqo\\Quenbrix");
    }
    // A settings file in dir with these lines below the section header.
    std::wstring Settings(const TempDir& dir, const std::wstring& name, const std::wstring& lines) {
        return dir.WriteFile(name, Utf16File(L"[Quenbrix]\r\n" + lines));
    }

    TestRegistryKey* key;
};

}  // namespace

// 20 files whose command ends with the code their name starts with: files
// 5, 11 and 17 fail. The arguments that name them, in order.
static std::wstring TwentyFiles(const TempDir& dir, Paths* files) {
    std::wstring arguments;
    for (int i = 1; i <= 20; ++i) {
        wchar_t name[32];
        wsprintfW(name, L"%d-%02d 写真.txt", i == 5 || i == 11 || i == 17 ? 3 : 0, i);
        files->push_back(dir.WriteFile(name, "x"));
        arguments += L" " + Quoted(files->back());
    }
    return arguments;
}

TEST_F(CommandLineRun, RunStopsAtTheFirstFailureExitsOneAndSaysSoOnTheOutput) {
    TempDir dir, appData;
    Paths files;
    std::wstring arguments = TwentyFiles(dir, &files);
    std::wstring settings = Settings(dir, L"ジョブ.ini",
                                     L"Command = " + ChildProgram() + L" write \"$fullname.ran\" x exit $title\r\n"
                                     L"CheckExitCode = 1\r\nOnFailure = 0\r\nDelete = 0\r\n");
    Ended ended = RunToEnd(L"/run " + Quoted(settings) + arguments, appData.Path());
    EXPECT_EQ(1u, ended.code);
    std::wstring results = NewestResults(appData);
    ASSERT_FALSE(results.empty()) << "no results file";
    // One line first, with the counts and the results file; then what the error box would have said.
    std::string first = ended.output.substr(0, ended.output.find("\r\n"));
    EXPECT_EQ("Quenbrix: 4 done, 1 failed, 15 not run; results: " + Utf8(results), first) << ended.output;
    EXPECT_NE(std::string::npos, ended.output.find("\r\nQuenbrix: 対象ファイル: " + Utf8(files[4])))
        << ended.output;
    std::string csv = TempDir::ReadWholeFile(results);
    EXPECT_EQ(4u, Count(csv, ",完了,"));
    EXPECT_EQ(1u, Count(csv, ",終了コード異常,"));
    EXPECT_EQ(15u, Count(csv, ",未実行,"));
    for (int i = 0; i < 20; ++i) EXPECT_EQ(i < 5, FileExists(files[i] + L".ran")) << i;
}

TEST_F(CommandLineRun, RunGoingOnPastFailuresTriesEveryFileAndExitsOne) {
    TempDir dir, appData;
    Paths files;
    std::wstring arguments = TwentyFiles(dir, &files);
    std::wstring settings = Settings(dir, L"ジョブ.ini",
                                     L"Command = " + ChildProgram() + L" write \"$fullname.ran\" x exit $title\r\n"
                                     L"CheckExitCode = 1\r\nOnFailure = 1\r\n");
    Ended ended = RunToEnd(L"/run " + Quoted(settings) + arguments, appData.Path());
    EXPECT_EQ(1u, ended.code);
    std::wstring results = NewestResults(appData);
    ASSERT_FALSE(results.empty()) << "no results file";
    std::string first = ended.output.substr(0, ended.output.find("\r\n"));
    EXPECT_EQ("Quenbrix: 17 done, 3 failed, 0 not run; results: " + Utf8(results), first) << ended.output;
    std::string csv = TempDir::ReadWholeFile(results);
    EXPECT_EQ(17u, Count(csv, ",完了,"));
    EXPECT_EQ(3u, Count(csv, ",終了コード異常,"));
    EXPECT_EQ(0u, Count(csv, ",未実行,"));
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(FileExists(files[i] + L".ran")) << i;
    // The kept list keeps what is not done, for the next night: the job's own list, which a
    // window of the job's own shows.
    FreshRegistry();
    QuenbrixProcess next;
    next.appData = appData.Path();
    ASSERT_TRUE(next.Start(L"/new " + Quoted(settings) + L" " + Quoted(files[4])));
    EXPECT_EQ((Paths{files[4], files[10], files[16]}), next.List());
    EXPECT_EQ(0u, next.Close());
}

TEST_F(CommandLineRun, EveryFailedFileIsNamedWithWhatWentWrongAfterTheSummary) {
    TempDir dir, appData;
    Paths files;
    std::wstring arguments;
    for (const wchar_t* name : {L"3-a.txt", L"0-b.txt", L"4-c.txt"}) {
        files.push_back(dir.WriteFile(name, "x"));
        arguments += L" " + Quoted(files.back());
    }
    // The tool's message, then a count of its errors as its last line.
    std::wstring settings = Settings(dir, L"ジョブ.ini",
                                     L"Command = " + ChildProgram() +
                                         L" out \"X [ERROR] bad $title\\r\\n\\r\\n1 error\\r\\n\" exit $title\r\n"
                                         L"CheckExitCode = 1\r\nOnFailure = 1\r\nHideCommand = 1\r\n");
    Ended ended = RunToEnd(L"/run " + Quoted(settings) + arguments, appData.Path());
    EXPECT_EQ(1u, ended.code);
    std::string expected = "Quenbrix: 1 done, 2 failed, 0 not run; results: " + Utf8(NewestResults(appData)) +
                           "\r\nQuenbrix: failed: " + Utf8(files[0]) +
                           ": 終了コード 3 で終了しました。　X [ERROR] bad 3-a\r\nQuenbrix: failed: " + Utf8(files[2]) +
                           ": 終了コード 4 で終了しました。　X [ERROR] bad 4-c\r\n";
    EXPECT_EQ(0u, ended.output.find(expected)) << ended.output;
}

TEST_F(CommandLineRun, AHungCommandIsEndedAtItsTimeLimitAndTheNextFilesRun) {
    TempDir dir, appData;
    // $title is how long each file's command sleeps (ms): the first hangs.
    std::wstring hung = dir.WriteFile(L"600000-1.txt", "x");
    std::wstring quick1 = dir.WriteFile(L"0-2.txt", "x");
    std::wstring quick2 = dir.WriteFile(L"0-3.txt", "x");
    std::wstring settings = Settings(dir, L"ジョブ.ini",
                                     L"Command = " + ChildProgram() + L" sleep $title write \"$fullname.ran\" x\r\n"
                                     L"TimeLimit = 2\r\nOnFailure = 1\r\n");
    Ended ended = RunToEnd(L"/run " + Quoted(settings) + L" " + Quoted(hung) + L" " + Quoted(quick1) + L" " +
                               Quoted(quick2),
                           appData.Path());
    EXPECT_EQ(1u, ended.code);
    EXPECT_EQ(0u, ended.output.find("Quenbrix: 2 done, 1 failed, 0 not run; results: ")) << ended.output;
    auto rows = CsvRows(TempDir::ReadWholeFile(NewestResults(appData)));
    EXPECT_EQ("時間切れ", Field(rows, Utf8(hung), "結果"));
    EXPECT_EQ("完了", Field(rows, Utf8(quick1), "結果"));
    EXPECT_EQ("完了", Field(rows, Utf8(quick2), "結果"));
    EXPECT_FALSE(FileExists(hung + L".ran")) << "the hung command was ended before it went on";
    EXPECT_TRUE(FileExists(quick2 + L".ran"));
}

TEST_F(CommandLineRun, ACommandThatFailsTheFirstTimeOnlyIsDoneOnItsRetry) {
    TempDir dir, appData;
    std::wstring a = dir.WriteFile(L"retry-a.txt", "x");
    std::wstring b = dir.WriteFile(L"retry-b.txt", "x");
    // The first try leaves a mark and fails; the next finds the mark and succeeds.
    std::wstring settings = Settings(
        dir, L"ジョブ.ini",
        L"Command = cmd /c if exist \"$fullname.tried\" (exit 0) else (echo x> \"$fullname.tried\" & exit 1)\r\n"
        L"CheckExitCode = 1\r\nRetries = 2\r\n");
    Ended ended = RunToEnd(L"/run " + Quoted(settings) + L" " + Quoted(a) + L" " + Quoted(b), appData.Path());
    EXPECT_EQ(0u, ended.code) << ended.output;
    EXPECT_EQ(0u, ended.output.find("Quenbrix: 2 done, 0 failed, 0 not run; results: ")) << ended.output;
    auto rows = CsvRows(TempDir::ReadWholeFile(NewestResults(appData)));
    EXPECT_EQ("完了", Field(rows, Utf8(a), "結果"));
    EXPECT_EQ("2", Field(rows, Utf8(a), "試行回数"));
    EXPECT_EQ("2", Field(rows, Utf8(b), "試行回数"));
}

TEST_F(CommandLineRun, AJobByItsNameRunsAndAPlanIsWrittenWithNothingRun) {
    TempDir dir, appData;
    std::wstring target1 = dir.WriteFile(L"写真 1.jpg", "x");
    std::wstring target2 = dir.WriteFile(L"写真 2.jpg", "x");
    appData.MakeDir(L"Quenbrix\\jobs");
    appData.WriteFile(L"Quenbrix\\jobs\\写真をWebPに.ini",
                      Utf16File(L"[Quenbrix]\r\nCommand = " + ChildProgram() + L" write \"$fullname.webp\" x\r\n"));
    // The plan first: every file's line, nothing run.
    std::wstring plan = dir.Join(L"予定 1.csv");
    Ended planned = RunToEnd(L"/job 写真をWebPに /plan " + Quoted(plan) + L" " + Quoted(target1) + L" " +
                                 Quoted(target2),
                             appData.Path());
    EXPECT_EQ(0u, planned.code) << planned.output;
    EXPECT_EQ("Quenbrix: plan of 2 files: " + Utf8(plan) + "\r\n", planned.output);
    std::string csv = TempDir::ReadWholeFile(plan);
    EXPECT_NE(std::string::npos, csv.find(Utf8(target1) + ".webp")) << csv;
    EXPECT_NE(std::string::npos, csv.find(Utf8(target2) + ".webp")) << csv;
    EXPECT_FALSE(FileExists(target1 + L".webp")) << "a plan runs nothing";
    EXPECT_TRUE(NewestResults(appData).empty());
    // The plan kept the list; the run takes it, and the job's command.
    FreshRegistry();
    Ended ran = RunToEnd(L"/job 写真をWebPに /run", appData.Path());
    EXPECT_EQ(0u, ran.code) << ran.output;
    EXPECT_EQ(0u, ran.output.find("Quenbrix: 2 done, 0 failed, 0 not run; results: ")) << ran.output;
    EXPECT_TRUE(FileExists(target1 + L".webp"));
    EXPECT_TRUE(FileExists(target2 + L".webp"));
    // A job that is not there: wrong arguments, nothing opened.
    Ended missing = RunToEnd(L"/run /job 無いジョブ", appData.Path());
    EXPECT_EQ(3u, missing.code);
    EXPECT_EQ(0u, missing.output.find("Quenbrix: bad arguments: ジョブ「無いジョブ」はありません。")) << missing.output;
    // A plan that cannot be made: the reason, exit 2.
    FreshRegistry();
    Ended empty = RunToEnd(L"/plan " + Quoted(dir.Join(L"予定 2.csv")) + L" " + Quoted(target1), appData.Path());
    EXPECT_EQ(2u, empty.code);
    EXPECT_EQ("Quenbrix: the plan was not written: コマンドを入力してください。\r\n", empty.output);
}

TEST_F(CommandLineRun, AScriptedRunWorksOnItsOwnFilesResumesThemAndLeavesTheWindowsListAlone) {
    TempDir dir, appData;
    std::wstring wav1 = dir.WriteFile(L"音 1.wav", "x");
    std::wstring wav2 = dir.WriteFile(L"音 2.wav", "x");
    {
        // A window closed holding files of its own.
        QuenbrixProcess window;
        window.appData = appData.Path();
        ASSERT_TRUE(window.Start(Quoted(wav1) + L" " + Quoted(wav2)));
        ASSERT_EQ((Paths{wav1, wav2}), window.List());
        EXPECT_EQ(0u, window.Close());
    }
    // $title is how many tries of the file fail: the second one fails once, and the run stops there.
    Paths js = {dir.WriteFile(L"0-1.js", "x"), dir.WriteFile(L"1-2.js", "x"), dir.WriteFile(L"0-3.js", "x")};
    std::wstring job = Settings(dir, L"js-job.ini",
                                L"Command = " + ChildProgram() +
                                    L" count \"$fullname.count\" failfirst $title write \"$fullname.ran\" x\r\n"
                                    L"CheckExitCode = 1\r\nOnFailure = 0\r\nDelete = 1\r\n");
    FreshRegistry();
    Ended cut = RunToEnd(Quoted(job) + L" " + Quoted(js[0]) + L" " + Quoted(js[1]) + L" " + Quoted(js[2]) + L" /run",
                         appData.Path());
    EXPECT_EQ(1u, cut.code);
    EXPECT_EQ(0u, cut.output.find("Quenbrix: 1 done, 1 failed, 1 not run; results: ")) << cut.output;
    // The job with no targets resumes its own files.
    FreshRegistry();
    Ended resumed = RunToEnd(Quoted(job) + L" /run", appData.Path());
    EXPECT_EQ(0u, resumed.code);
    EXPECT_EQ(0u, resumed.output.find("Quenbrix: 2 done, 0 failed, 0 not run; results: ")) << resumed.output;
    EXPECT_TRUE(FileExists(js[2] + L".ran"));
    // A run that refuses to start and a plan leave nothing in the window's list either.
    std::wstring other = dir.WriteFile(L"other.js", "x");
    FreshRegistry();
    EXPECT_EQ(2u, RunToEnd(Quoted(Settings(dir, L"broken.ini", L"Command = echo $nosuchname\r\n")) + L" " +
                               Quoted(other) + L" /run",
                           appData.Path())
                      .code);
    FreshRegistry();
    EXPECT_EQ(0u, RunToEnd(L"/plan " + Quoted(dir.Join(L"plan.csv")) + L" " + Quoted(job) + L" " + Quoted(other),
                           appData.Path())
                      .code);
    for (const std::wstring& wav : {wav1, wav2}) EXPECT_FALSE(FileExists(wav + L".count")) << "another job's file ran";
    FreshRegistry();
    QuenbrixProcess window;
    window.appData = appData.Path();
    ASSERT_TRUE(window.Start());
    EXPECT_EQ((Paths{wav1, wav2}), window.List());
    EXPECT_EQ(0u, window.Close());
}

TEST_F(CommandLineRun, EveryMessageOfAnUnattendedStartReachesTheOutputInOrder) {
    TempDir dir, appData;
    std::wstring target = dir.WriteFile(L"対象.txt", "x");
    std::wstring nothing = dir.Join(L"無い.txt");
    std::wstring plan = dir.Join(L"予定.csv");
    const std::string missing = "Quenbrix: コマンドラインの 1 件の引数を追加しませんでした。 / 存在しないパス: 1 件 / " +
                                Utf8(nothing) + "\r\n";
    const struct {
        std::wstring arguments;
        DWORD code;
        std::string output;
    } cases[] = {
        {L"/run", 2, missing + "Quenbrix: the run did not start: コマンドを入力してください。\r\n"},
        {L"/plan " + Quoted(plan) + L" " + Quoted(Settings(dir, L"job.ini", L"Command = echo $name\r\n")), 1,
         missing + "Quenbrix: plan of 1 files: " + Utf8(plan) + "\r\n"},
    };
    for (const auto& c : cases) {
        FreshRegistry();
        Ended ended = RunToEnd(c.arguments + L" " + Quoted(target) + L" " + Quoted(nothing), appData.Path());
        EXPECT_EQ(c.code, ended.code) << Utf8(c.arguments);
        EXPECT_EQ(c.output, ended.output) << Utf8(c.arguments);
    }
}

TEST_F(CommandLineRun, ARunThatCannotStartExitsTwoWithTheReason) {
    TempDir dir;
    std::wstring target = dir.WriteFile(L"対象 1.txt", "x");
    std::wstring ran = dir.Join(L"ran.txt");
    const std::wstring write = ChildProgram() + L" write \"" + ran + L"\" x";
    const struct {
        const wchar_t* what;
        std::wstring settingsLines;  // empty: no settings file
        std::wstring extra;          // further arguments
        const char* reason;
    } cases[] = {
        {L"template error", L"Command = " + write + L" $nosuchname\r\n", Quoted(target), "Quenbrix: the run did not start: "},
        {L"no command", L"Command = \r\n", Quoted(target), "the run did not start: コマンドを入力してください。"},
        {L"no targets", L"Command = " + write + L"\r\n", L"", "the run did not start: 対象ファイルを指定してください。"},
        {L"missing directory", L"Command = " + write + L"\r\nDirectory = " + dir.Join(L"無い 場所") + L"\r\n",
         Quoted(target), "the run did not start: カレントディレクトリが見つかりません。"},
        {L"value out of range", L"Command = " + write + L"\r\nRetries = 12\r\n", Quoted(target),
         "the run did not start: 次の設定は値が範囲外か数値でないため読み込みませんでした。"},
        {L"missing settings file", L"", Quoted(dir.Join(L"無い.ini")) + L" " + Quoted(target),
         "the run did not start: 設定ファイルが見つかりません。"},
        {L"missing list file", L"Command = " + write + L"\r\n", L"/list " + Quoted(dir.Join(L"無い.txt")),
         "the run did not start: リストファイルが見つかりません。"},
    };
    for (const auto& c : cases) {
        FreshRegistry();
        TempDir appData;
        std::wstring arguments = L"/run " + c.extra;
        if (!c.settingsLines.empty()) arguments += L" " + Quoted(Settings(dir, L"ジョブ.ini", c.settingsLines));
        Ended ended = RunToEnd(arguments, appData.Path());
        std::string what = Utf8(c.what);
        EXPECT_EQ(2u, ended.code) << what;
        EXPECT_NE(std::string::npos, ended.output.find(c.reason)) << what << ": " << ended.output;
        EXPECT_EQ(1u, Count(ended.output, "\r\n")) << what << ": one line: " << ended.output;
        EXPECT_FALSE(FileExists(ran)) << what << ": nothing ran";
    }
}

TEST_F(CommandLineRun, AWatchThatCannotStartExitsTwoWithTheReason) {
    TempDir dir;
    std::wstring in = dir.MakeDir(L"受け取り");
    const std::wstring command = L"Command = " + ChildProgram() + L" exit 0\r\n";
    const struct {
        const char* what;
        std::wstring lines;
        const char* reason;
    } cases[] = {
        {"no folder", command, "Quenbrix: 監視するフォルダを入力してください。\r\n"},
        {"no command", L"Watch = " + in + L"\r\n", "Quenbrix: コマンドを入力してください。\r\n"},
        {"missing folder", command + L"Watch = " + in + L";" + dir.Join(L"無い") + L"\r\n",
         "Quenbrix: 監視するフォルダが見つかりません。\r\n"},
        {"inside the output folder", command + L"Watch = " + in + L"\\下\r\nOutput = " + in + L"\\$name\r\n",
         "Quenbrix: 監視するフォルダが出力先のフォルダの中にあります。\r\n"},
    };
    dir.MakeDir(L"受け取り\\下");
    for (const auto& c : cases) {
        FreshRegistry();
        TempDir appData;
        Ended ended = RunToEnd(Quoted(Settings(dir, L"監視.ini", c.lines)) + L" /watch", appData.Path());
        EXPECT_EQ(2u, ended.code) << c.what;
        EXPECT_EQ(0u, ended.output.find(c.reason)) << c.what << ": " << ended.output;
    }
}

TEST_F(CommandLineRun, WrongArgumentsExitThreeWithTheReasonAndUsageGoesToTheOutput) {
    TempDir appData;
    const struct {
        const wchar_t* arguments;
        const char* output;
    } cases[] = {
        {L"/run /bogus", "Quenbrix: bad arguments: 不明なスイッチです: /bogus\r\n"},
        {L"/run /list", "Quenbrix: bad arguments: /list のあとにリストファイルを指定してください。\r\n"},
        {L"/run /job", "Quenbrix: bad arguments: /job のあとにジョブの名前を指定してください。\r\n"},
    };
    for (const auto& c : cases) {
        Ended ended = RunToEnd(c.arguments, appData.Path());
        std::string arguments = Utf8(c.arguments);
        EXPECT_EQ(3u, ended.code) << arguments;
        // The program's start is another line on a console: a shell that did not wait has its prompt there.
        EXPECT_EQ(c.output, ended.output) << arguments;
    }
    Ended usage = RunToEnd(L"/?", appData.Path());
    EXPECT_EQ(0u, usage.code);
    EXPECT_EQ(0u, usage.output.find("使い方: Quenbrix.exe")) << usage.output;
    for (const char* name : {"/run", "/new", "/list FILE", "/job NAME", "/plan FILE", "/portable", "/watch", "/?"}) {
        EXPECT_NE(std::string::npos, usage.output.find(std::string("\r\n  ") + name + " ")) << name;
    }
}

TEST_F(CommandLineRun, ArgumentsMixSettingsFilesTargetsFoldersAndNamesOfNothing) {
    TempDir dir;
    std::wstring settings = Settings(dir, L"設定\\ジョブ.ini", L"FileExt = jpg\r\nCommand = echo $name\r\n");
    std::wstring photo = dir.WriteFile(L"写真 1.jpg", "x");
    std::wstring inside1 = dir.WriteFile(L"写真 2026\\a.jpg", "x");
    std::wstring inside2 = dir.WriteFile(L"写真 2026\\下\\b.JPG", "x");
    dir.WriteFile(L"写真 2026\\memo.txt", "not a jpg");
    std::wstring folder = dir.Join(L"写真 2026");
    std::wstring missing1 = dir.Join(L"無い 1.jpg");
    std::wstring missing2 = dir.Join(L"無い フォルダ");
    QuenbrixProcess app;
    ASSERT_TRUE(app.Start(Quoted(photo) + L" " + Quoted(missing1) + L" " + Quoted(settings) + L" " + Quoted(folder) +
                          L" " + Quoted(missing2)));
    HWND box = app.WaitForWindow(L"VQMsgBox");
    ASSERT_NE(nullptr, box) << "the names of nothing are told";
    std::wstring text = CopiedBoxText(box);
    EXPECT_NE(std::wstring::npos, text.find(L"コマンドラインの 2 件の引数を追加しませんでした。\r\n存在しないパス: 2 件\r\n\r\n" +
                                            missing1 + L"\r\n" + missing2 + L"\r\n"))
        << std::string(text.begin(), text.end());
    ASSERT_TRUE(PressButton(box, L"OK"));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    EXPECT_EQ(L"echo $name", app.Text(IDC_COMMAND_EDIT)) << "the settings file loaded, wherever it stood";
    // The settings file's types decide, before the targets come.
    std::vector<std::wstring> list = app.List();
    ASSERT_EQ(3u, list.size());
    EXPECT_EQ(photo, list[0]);
    Paths fromFolder(list.begin() + 1, list.end());
    std::sort(fromFolder.begin(), fromFolder.end());
    EXPECT_EQ((Paths{inside1, inside2}), fromFolder);
    EXPECT_EQ(0u, app.Close());
}

TEST_F(CommandLineRun, ASecondStartWithFilesHandsThemToTheOpenWindowUnlessNew) {
    TempDir dir;
    std::wstring first = dir.WriteFile(L"一つ目.txt", "x");
    std::wstring second = dir.WriteFile(L"二つ目 写真.jpg", "x");
    std::wstring folder = dir.MakeDir(L"フォルダ 3");
    std::wstring inside = dir.WriteFile(L"フォルダ 3\\中.txt", "x");
    QuenbrixProcess app;
    ASSERT_TRUE(app.Start(Quoted(first)));
    ASSERT_EQ((Paths{first}), app.List());
    // The second start ends at once, with no window of its own.
    TempDir secondData;
    Ended handed = RunToEnd(Quoted(second) + L" " + Quoted(folder), secondData.Path());
    EXPECT_EQ(0u, handed.code);
    EXPECT_TRUE(WaitUntil([&] { return app.List() == Paths{first, second, inside}; })) << app.List().size();
    // A window of a run nobody watches, opened last, takes nothing: the
    // files go to the other one.
    std::wstring sleeper = dir.WriteFile(L"眠る.txt", "x");
    // Its command waits for the test to have looked at the window.
    std::wstring looked = dir.Join(L"見た");
    std::wstring settings =
        Settings(dir, L"眠る.ini", L"Command = " + ChildProgram() + L" await \"" + looked + L"\" 60000\r\n");
    QuenbrixProcess unattended;
    unattended.appData = secondData.Path();
    ASSERT_TRUE(unattended.Start(L"/run " + Quoted(settings) + L" " + Quoted(sleeper)));
    std::wstring third = dir.WriteFile(L"三つ目.txt", "x");
    TempDir thirdData;
    EXPECT_EQ(0u, RunToEnd(Quoted(third), thirdData.Path()).code);
    EXPECT_TRUE(WaitUntil([&] { return app.List() == Paths{first, second, inside, third}; })) << app.List().size();
    EXPECT_EQ((Paths{sleeper}), unattended.List());
    dir.WriteFile(L"見た", "x");
    EXPECT_EQ(0u, unattended.WaitForExit(60000)) << "the sleeping run ends by itself";
    // /new: a window of its own, with only its file.
    QuenbrixProcess other;
    ASSERT_TRUE(other.Start(L"/new " + Quoted(second)));
    EXPECT_EQ((Paths{second}), other.List());
    EXPECT_EQ((Paths{first, second, inside, third}), app.List());
    EXPECT_EQ(0u, other.Close());
    EXPECT_EQ(0u, app.Close());
}

// Explorer's menu starts the program once per selected file, all at once.
TEST_F(CommandLineRun, StartsOfOneJobAtOnceGatherInOneWindowOfThatJobAndPlainOnesInOneWindow) {
    TempDir dir, jobsData;
    jobsData.MakeDir(L"Quenbrix\\jobs");
    jobsData.WriteFile(L"Quenbrix\\jobs\\縮小.ini", Utf16File(L"[Quenbrix]\r\nCommand = echo 縮小\r\n"));
    jobsData.WriteFile(L"Quenbrix\\jobs\\別.ini", Utf16File(L"[Quenbrix]\r\nCommand = echo 別\r\n"));
    // A window of another job is not given them.
    QuenbrixProcess other;
    other.appData = jobsData.Path();
    ASSERT_TRUE(other.Start(L"/job 別"));
    TempDir plainData;
    const struct {
        const wchar_t* arguments;
        int starts;
        const TempDir* appData;
        const wchar_t* command;  // null: whatever the registry holds
    } batches[] = {{L"/job 縮小 ", 20, &jobsData, L"echo 縮小"}, {L"", 10, &plainData, nullptr}};
    int n = 0;
    for (const auto& batch : batches) {
        std::vector<std::unique_ptr<QuenbrixProcess>> starts;
        Paths files;
        for (int i = 0; i < batch.starts; ++i) {
            files.push_back(dir.WriteFile(L"選択 " + std::to_wstring(++n) + L".txt", "x"));
            starts.emplace_back(new QuenbrixProcess);
            starts.back()->appData = batch.appData->Path();
        }
        for (int i = 0; i < batch.starts; ++i) ASSERT_TRUE(starts[i]->Launch(batch.arguments + Quoted(files[i])));
        // All but the one that opened the window hand their file over and end.
        auto running = [&] {
            return std::count_if(starts.begin(), starts.end(), [](const auto& start) { return start->IsRunning(); });
        };
        EXPECT_TRUE(WaitUntil([&] { return running() <= 1; }, 180000)) << running();
        ASSERT_EQ(1, running());
        QuenbrixProcess& gathered =
            **std::find_if(starts.begin(), starts.end(), [](const auto& start) { return start->IsRunning(); });
        ASSERT_TRUE(gathered.WaitForMainWindow());
        std::sort(files.begin(), files.end());
        EXPECT_TRUE(WaitUntil([&] {
            Paths list = gathered.List();
            std::sort(list.begin(), list.end());
            return list == files;
        })) << gathered.List().size();
        if (batch.command) {
            EXPECT_EQ(batch.command, gathered.Text(IDC_COMMAND_EDIT));
        }
        EXPECT_TRUE(other.List().empty());
        EXPECT_EQ(0u, gathered.Close());
        // The plain starts would go to any window.
        if (other.IsRunning()) {
            EXPECT_EQ(0u, other.Close());
        }
    }
}
