// 実行予定を保存 against the run that follows: the plan's rows equal what
// the run records, and the batch file run by cmd makes the same outputs.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "tests/app/app_window.h"
#include "tests/support/child_program.h"
#include "tests/support/csv_rows.h"
#include "tests/support/temp_dir.h"

namespace {

typedef std::vector<std::string> Row;

int Column(const Row& header, const char* name) {
    for (size_t i = 0; i < header.size(); ++i) {
        if (header[i] == name) return static_cast<int>(i);
    }
    return -1;
}

// Where a job puts each file's output: beside it, or in a folder of its
// own under out\ (as a job mirroring its sources does), which the run and
// the batch file must make first.
struct OutputCase {
    const wchar_t* outputTemplate;  // after the folder's path
    bool ownFolder;
};

std::wstring OutputOf(const TempDir& dir, const OutputCase& kind, const std::wstring& name) {
    if (!kind.ownFolder) return dir.Join(name + L".out");
    return dir.Join(L"out\\" + name.substr(0, name.rfind(L'.')) + L"\\" + name + L".out");
}

// The outputs the job makes, by file name, then removed (their folders too)
// for the next way of running it.
std::vector<std::string> TakeOutputs(const TempDir& dir, const OutputCase& kind,
                                     const std::vector<std::wstring>& names) {
    std::vector<std::string> outputs;
    for (const std::wstring& name : names) {
        std::wstring path = OutputOf(dir, kind, name);
        outputs.push_back(FileExists(path) ? TempDir::ReadWholeFile(path) : "<missing>");
        DeleteFileW(path.c_str());
        if (kind.ownFolder) RemoveDirectoryW(path.substr(0, path.rfind(L'\\')).c_str());
    }
    if (kind.ownFolder) RemoveDirectoryW(dir.Join(L"out").c_str());
    return outputs;
}

void PlanAgainstRun(const OutputCase& kind) {
    TempDir dir;
    const std::vector<std::wstring> names = {L"a b.txt", L"x&y.txt", L"100%.txt", L"写真 夏.txt", L"(1) ^c.txt"};
    std::vector<std::wstring> targets;
    for (const std::wstring& name : names) targets.push_back(dir.WriteFile(name, "x"));
    // The output through 出力先 and $out, the way a job names its outputs.
    std::wstring command = ChildProgram() + L" write \"$out\" \"$name\"";
    std::wstring directory = dir.Path();
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), directory.c_str(), false);
    AppWindow app(&settings);
    ASSERT_TRUE(app.IsOpen());
    app.AddTargets(targets);
    app.SetText(IDC_OUTPUT_EDIT, dir.Path() + kind.outputTemplate);

    VQWString error;
    std::wstring csvPath = dir.Join(L"予定.csv");
    ASSERT_TRUE(WritePlan(app.window->PlanOfFields(), csvPath.c_str(), error)) << error.Text();
    std::wstring cmdPath = dir.Join(L"予定.cmd");
    ASSERT_TRUE(WritePlan(app.window->PlanOfFields(), cmdPath.c_str(), error)) << error.Text();
    EXPECT_TRUE(TakeOutputs(dir, kind, names) == std::vector<std::string>(names.size(), "<missing>"))
        << "writing the plan runs nothing";

    // The batch file under cmd.
    std::wstring line = L"cmd.exe /c \"" + cmdPath + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               nullptr, &startup, &info));
    WaitForSingleObject(info.hProcess, 60000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    std::vector<std::string> fromBatch = TakeOutputs(dir, kind, names);

    ASSERT_TRUE(app.RunAnswering(IDOK));
    std::vector<std::string> fromRun = TakeOutputs(dir, kind, names);
    // Wine's cmd reads a batch file in the ANSI code page whatever chcp says
    // (Windows' cmd reads each line in the code page set): the Japanese name
    // comes out garbled there, and only Windows can show it right.
    bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    for (size_t i = 0; i < names.size(); ++i) {
        if (wine && names[i] == L"写真 夏.txt") continue;
        EXPECT_EQ(fromRun[i], fromBatch[i]) << i;
    }
    EXPECT_EQ("a b.txt", fromRun[0]);

    std::vector<Row> plan = CsvRows(TempDir::ReadWholeFile(csvPath));
    std::vector<Row> results = CsvRows(TempDir::ReadWholeFile(app.window->RunControl().Runner().GetLastResultsFile().Text()));
    ASSERT_EQ(names.size() + 1, plan.size());
    ASSERT_GE(results.size(), names.size() + 1);
    const char* columns[] = {"番号", "対象ファイル", "先行コマンド", "コマンド", "出力"};
    for (const char* name : columns) {
        int inPlan = Column(plan[0], name), inResults = Column(results[0], name);
        ASSERT_GE(inPlan, 0) << name;
        ASSERT_GE(inResults, 0) << name;
        for (size_t i = 1; i <= names.size(); ++i) {
            EXPECT_EQ(results[i][inResults], plan[i][inPlan]) << name << " row " << i;
        }
    }
    int directoryColumn = Column(plan[0], "カレントディレクトリ");
    ASSERT_GE(directoryColumn, 0);
    EXPECT_FALSE(plan[1][directoryColumn].empty());
}

}  // namespace

TEST(Plan, TheSavedPlansRowsAreWhatTheRunRecordsAndTheBatchFileMakesTheSameOutputs) {
    {
        SCOPED_TRACE("outputs beside the sources");
        PlanAgainstRun({L"\\$name.out", false});
    }
    SCOPED_TRACE("outputs in folders of their own");
    PlanAgainstRun({L"\\out\\$title\\$name.out", true});
}

TEST(Plan, AJobUsingPreIsRefusedAsABatchFileButWrittenAsCsv) {
    TempDir dir;
    std::wstring target = dir.WriteFile(L"a.txt", "x");
    PlanInputs inputs;
    inputs.job.preCommand = L"echo $name";
    inputs.job.command = L"copy $pre x";
    inputs.job.directory = dir.Path().c_str();
    VQWString error;
    EXPECT_FALSE(WritePlan(inputs, dir.Join(L"p.csv").c_str(), error)) << "an empty list";
    EXPECT_EQ(L"対象ファイルを指定してください。", std::wstring(error.Text()));
    inputs.targets.push_back(PlanTarget{VQWString(target.c_str()), VQWString()});
    EXPECT_FALSE(WritePlan(inputs, dir.Join(L"p.cmd").c_str(), error));
    EXPECT_NE(std::wstring::npos, std::wstring(error.Text()).find(L"$pre"));
    EXPECT_FALSE(FileExists(dir.Join(L"p.cmd")));
    ASSERT_TRUE(WritePlan(inputs, dir.Join(L"p.csv").c_str(), error));
    std::vector<Row> plan = CsvRows(TempDir::ReadWholeFile(dir.Join(L"p.csv")));
    ASSERT_EQ(2u, plan.size());
    EXPECT_EQ("echo a.txt", plan[1][2]);
    EXPECT_EQ("copy ‹先行コマンドの出力› x", plan[1][3]);
}
