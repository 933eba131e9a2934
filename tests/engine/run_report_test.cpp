#include "engine/run_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/child_program.h"
#include "tests/support/temp_dir.h"

namespace {

SYSTEMTIME Time(int hour, int minute, int second) {
    SYSTEMTIME t = {};
    t.wYear = 2026;
    t.wMonth = 12;
    t.wDay = 7;
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    return t;
}

}  // namespace

TEST(RunReport, ThreeTargetsAsCsvBytes) {
    VQArray<VQWString, VQWString> targets;
    targets.Add(VQWString(L"C:\\写真\\雪.jpg"));
    targets.Add(VQWString(L"C:\\a,b\\say \"hi\".txt"));
    targets.Add(VQWString(L"C:\\c.txt"));
    TargetRecord records[3];
    records[0].status = static_cast<int>(TargetStatus::Done);
    records[0].startTime = Time(9, 5, 7);
    records[0].milliseconds = 1234;
    records[0].pre = {true, true, 0, VQWString(L"cmd /c echo 雪")};
    records[0].command = {true, true, 0, VQWString(L"cmd /c copy \"C:\\写真\\雪.jpg\" out")};
    records[0].output = VQWString(L"\r\n        1 個のファイルをコピーしました。\r\n");
    records[1].status = static_cast<int>(TargetStatus::NonZeroExit);
    records[1].startTime = Time(9, 5, 8);
    records[1].milliseconds = 20;
    records[1].command = {true, true, 0xC0000005, VQWString(L"x \"C:\\a,b\\say \"hi\".txt\"")};
    records[1].errorText = VQWString(L"終了コード 0xC0000005 で終了しました。\nx");
    records[0].tries = 1;
    records[1].tries = 3;
    records[1].outputPath = VQWString(L"D:\\out\\say.txt");
    records[1].outputDeleted = true;
    std::string csv = FormatResultsCsv(targets, records, 3);
    std::string expected =
        "\xEF\xBB\xBF"
        "番号,対象ファイル,結果,試行回数,先行コマンドの終了コード,コマンドの終了コード,開始時刻,秒,先行コマンド,コマンド,"
        "出力,エラーまたは出力の最初の行,コマンドの出力の末尾\r\n"
        "1,C:\\写真\\雪.jpg,完了,1,0,0,2026-12-07 09:05:07,1.234,cmd /c echo 雪,"
        "\"cmd /c copy \"\"C:\\写真\\雪.jpg\"\" out\",,        1 個のファイルをコピーしました。,"
        "        1 個のファイルをコピーしました。\r\n"
        "2,\"C:\\a,b\\say \"\"hi\"\".txt\",終了コード異常,3,,0xC0000005,2026-12-07 09:05:08,0.020,,"
        "\"x \"\"C:\\a,b\\say \"\"hi\"\".txt\"\"\",D:\\out\\say.txt（削除しました）,終了コード 0xC0000005 で終了しました。,\r\n"
        "3,C:\\c.txt,未実行,,,,,,,,,,\r\n";
    EXPECT_EQ(expected, csv);
}

TEST(RunReport, NotesEndTheFileARowOfOneCellALine) {
    VQArray<VQWString, VQWString> targets;
    targets.Add(VQWString(L"C:\\a.txt"));
    TargetRecord records[1];
    std::string plain = FormatResultsCsv(targets, records, 1);
    std::string noted = FormatResultsCsv(targets, records, 1, VQWString(L"リストを保存できません\n\n場所: C:\\a, C:\\b\n"));
    EXPECT_EQ(plain + "リストを保存できません\r\n\"場所: C:\\a, C:\\b\"\r\n", noted) << "empty lines make no row";
    // The summary is the run's last row, after the notes.
    std::string summed = FormatResultsCsv(targets, records, 1, VQWString(L"注意"), VQWString(L"完了 1,000 件、失敗 0 件"));
    EXPECT_EQ(plain + "注意\r\n\"完了 1,000 件、失敗 0 件\"\r\n", summed);
}

TEST(RunReport, FilesAreNamedByTheRunsStartAndOnlyTheNewestAreKept) {
    TempDir temp;
    VQWString folder(temp.Join(L"runs\\deeper").c_str());
    std::wstring first = std::wstring(WriteResultsFile(folder, Time(10, 0, 0), "a", 3).Text());
    EXPECT_EQ(temp.Join(L"runs\\deeper\\20261207-100000.csv"), first);
    EXPECT_EQ("a", TempDir::ReadWholeFile(first));
    // A second run within the same second gets a name of its own.
    std::wstring second = std::wstring(WriteResultsFile(folder, Time(10, 0, 0), "b", 3).Text());
    EXPECT_EQ(temp.Join(L"runs\\deeper\\20261207-100000-2.csv"), second);
    temp.WriteFile(L"runs\\deeper\\notes.csv", "mine");
    WriteResultsFile(folder, Time(10, 0, 1), "c", 3);
    WriteResultsFile(folder, Time(9, 59, 59), "old", 3);  // a clock set back: still the oldest name
    WriteResultsFile(folder, Time(10, 0, 2), "d", 3);
    EXPECT_FALSE(FileExists(first));
    EXPECT_FALSE(FileExists(temp.Join(L"runs\\deeper\\20261207-095959.csv")));
    EXPECT_TRUE(FileExists(second));
    EXPECT_TRUE(FileExists(temp.Join(L"runs\\deeper\\20261207-100001.csv")));
    EXPECT_TRUE(FileExists(temp.Join(L"runs\\deeper\\20261207-100002.csv")));
    EXPECT_TRUE(FileExists(temp.Join(L"runs\\deeper\\notes.csv"))) << "only results files are removed";
}

TEST(RunReport, ExitCodesAndFirstLines) {
    EXPECT_STREQ(L"0", FormatExitCode(0).Text());
    EXPECT_STREQ(L"259", FormatExitCode(259).Text());
    EXPECT_STREQ(L"0xC000013A", FormatExitCode(0xC000013A).Text());
    EXPECT_STREQ(L"second", FirstLine(VQWString(L"\r\n\nsecond\r\nthird")).Text());
    EXPECT_TRUE(FirstLine(VQWString(L"\r\n")).IsEmpty());
}

TEST(RunReport, CellsASpreadsheetWouldTakeForFormulasAreWrittenAsText) {
    VQArray<VQWString, VQWString> targets;
    const wchar_t* firstLines[] = {L"=HYPERLINK(\"http://x\")", L"-2", L"@SUM(A1)", L"\tx", L"a=b"};
    TargetRecord records[5];
    for (int i = 0; i < 5; ++i) {
        targets.Add(VQWString(L"C:\\a.txt"));
        records[i].status = static_cast<int>(TargetStatus::Done);
        records[i].output = VQWString(firstLines[i]);
    }
    std::string csv = FormatResultsCsv(targets, records, 5);
    EXPECT_NE(std::string::npos, csv.find(",\"'=HYPERLINK(\"\"http://x\"\")\"\r\n"));
    EXPECT_NE(std::string::npos, csv.find(",'-2\r\n"));
    EXPECT_NE(std::string::npos, csv.find(",'@SUM(A1)\r\n"));
    EXPECT_NE(std::string::npos, csv.find(",'\tx\r\n"));
    EXPECT_NE(std::string::npos, csv.find(",a=b\r\n")) << "only the first character counts";
}

TEST(RunReport, TheNewestRunOfASecondIsItsHighestNumber) {
    TempDir temp;
    VQWString folder(temp.MakeDir(L"runs").c_str());
    EXPECT_TRUE(FindNewestResultsFile(folder).IsEmpty());
    for (const wchar_t* name : {L"20261207-100000.csv", L"20261207-100000-2.csv", L"20261207-100000-10.csv",
                                L"20261207-100000-9.csv", L"20261207-095959-3.csv", L"notes.csv"}) {
        temp.WriteFile(std::wstring(L"runs\\") + name, "x");
    }
    EXPECT_EQ(temp.Join(L"runs\\20261207-100000-10.csv"), std::wstring(FindNewestResultsFile(folder).Text()));
    std::vector<std::wstring> expected = {L"20261207-095959-3.csv", L"20261207-100000.csv", L"20261207-100000-2.csv",
                                          L"20261207-100000-9.csv", L"20261207-100000-10.csv"};
    EXPECT_EQ(expected, FindResultsFiles(folder));
    // Pruning keeps the same newest ones.
    WriteResultsFile(folder, Time(10, 0, 1), "y", 2);
    EXPECT_EQ((std::vector<std::wstring>{L"20261207-100000-10.csv", L"20261207-100001.csv"}), FindResultsFiles(folder));
}

// Line ends and empty lines around the line, and its cut.
TEST(RunReport, LastLines) {
    EXPECT_STREQ(L"error: disk full", FailureLine(VQWString(L"copying\r\nerror: disk full\r\n\r\n")).Text());
    EXPECT_STREQ(L"only", FailureLine(VQWString(L"only")).Text());
    EXPECT_TRUE(FailureLine(VQWString(L"\r\n\n")).IsEmpty());
    EXPECT_STREQ(L"abc…", FailureLine(VQWString(L"x\nabcdef"), 3).Text());
}

TEST(RunReport, TheLineThatSaysWhatWentWrong) {
    const wchar_t* const cases[][2] = {
        // A bundler and an archiver: the message, then a count of the errors or warnings last.
        {L"X [ERROR] Expected identifier\r\n\r\n    a.js:1:4:\r\n\r\n1 error\r\n", L"X [ERROR] Expected identifier"},
        {L"WARNING: x\r\nno.7z : The system cannot find the file specified.\r\n----\r\nScan WARNINGS: 1\r\n",
         L"no.7z : The system cannot find the file specified."},
        {L"version 4.1\r\nin.mp4: No such file or directory\r\n  built with gcc\r\n",
         L"in.mp4: No such file or directory"},
        {L"Traceback:\n  File \"x.py\", line 1\nZeroDivisionError: division by zero\n",
         L"ZeroDivisionError: division by zero"},
        {L"処理中\r\nエラー: 開けません\r\n終わりました\r\n", L"エラー: 開けません"},
        // A word inside another is none; without an error word, the last line.
        {L"Permission denied\nterror.mp3 written\n", L"Permission denied"},
        {L"copying\r\n  done 3 of 4  \r\n\r\n", L"done 3 of 4"},
        {L"2 errors\r\n", L"2 errors"},
    };
    for (const auto& c : cases) EXPECT_STREQ(c[1], FailureLine(VQWString(c[0])).Text()) << c[0];
    std::wstring cut = FailureLine(VQWString(std::wstring(250, L'x').c_str())).Text();
    EXPECT_EQ(std::wstring(200, L'x') + L"…", cut);
}

TEST(RunReport, TheLastColumnHoldsTheOutputsTail) {
    VQArray<VQWString, VQWString> targets;
    targets.Add(VQWString(L"C:\\a.txt"));
    TargetRecord records[1];
    // A character of two units across the cut is left out whole; the closing line end goes.
    std::wstring output = std::wstring(600, L'a') + L"\U0001F600" + std::wstring(1999, L'b') + L"\r\n";
    records[0].output = VQWString(output.c_str());
    std::string csv = FormatResultsCsv(targets, records, 1);
    EXPECT_EQ(",…" + std::string(1999, 'b') + "\r\n", csv.substr(csv.size() - 2005));
}
