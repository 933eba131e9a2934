#include "engine/batch_runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/child_process.h"
#include "engine/run_summary.h"
#include "tests/support/child_program.h"
#include "tests/support/temp_dir.h"

namespace {

std::wstring W(const VQWString& s) { return std::wstring(s.Text(), s.GetLength()); }

std::wstring CurrentDirectory() {
    wchar_t dir[MAX_PATH * 2];
    DWORD n = GetCurrentDirectoryW(MAX_PATH * 2, dir);
    return std::wstring(dir, n);
}

std::wstring FromUtf8(const std::string& bytes) {
    std::wstring text(bytes.size(), L'\0');
    int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0],
                                static_cast<int>(text.size()));
    text.resize(n > 0 ? n : 0);
    return text;
}

// Paths compare without regard to case or a closing backslash.
std::wstring NormalPath(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    for (wchar_t& c : path) c = static_cast<wchar_t>(towlower(c));
    return path;
}

class BatchRunnerTest : public testing::Test {
protected:
    void SetUp() override {
        savedDirectory = CurrentDirectory();
        ASSERT_TRUE(runner.CreateWorker());
    }
    void TearDown() override {
        runner.DestroyWorker();
        SetCurrentDirectoryW(savedDirectory.c_str());
    }

    VQArray<VQWString, VQWString> Targets(const std::vector<std::wstring>& names) {
        VQArray<VQWString, VQWString> list;
        for (const std::wstring& name : names) list.Add(VQWString(temp.Join(name).c_str()));
        return list;
    }

    // What the window's timer does: look at the state until the job has ended, then collect it.
    bool WaitForEnd(DWORD limitMs = 60000) {
        DWORD start = GetTickCount();
        while (runner.GetState() != RunState::Ended) {
            if (GetTickCount() - start > limitMs) return false;
            Sleep(20);
        }
        return runner.FinishRun();
    }

    void Run(const std::wstring& pre, const std::wstring& cmd, const std::vector<std::wstring>& names,
             const std::wstring& dir = L"", const RunOptions& options = RunOptions()) {
        ASSERT_EQ(BatchRunner::Started, runner.StartRun(VQWString(pre.c_str()), VQWString(cmd.c_str()),
                                                        VQWString(dir.c_str()), Targets(names), options));
        ASSERT_TRUE(WaitForEnd());
    }

    TargetStatus Status(int index) { return runner.GetRecord(index)->Status(); }
    std::wstring Error(int index) { return W(runner.GetRecord(index)->errorText); }

    std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

    std::wstring savedDirectory;
    TempDir temp;
    BatchRunner runner;
    const std::wstring child = ChildProgram();
};

}  // namespace

TEST_F(BatchRunnerTest, RunsEveryTargetInOrderWithItsFlattenedPreOutput) {
    std::wstring log = temp.Join(L"order.txt");
    Run(child + L" out \"$title\\r\\n-\\r\\n\"",
        child + L" write \"$path$title.out\" \"[$pre]\" write \"" + log + L"\" $title",
        {L"one.txt", L"two.txt", L"three.txt"});
    EXPECT_EQ(3, runner.GetStartedCount());
    EXPECT_EQ(3, runner.GetSucceededCount());
    EXPECT_TRUE(runner.GetErrorText().IsEmpty());
    EXPECT_EQ("[one -]", temp.ReadFile(L"one.out"));
    EXPECT_EQ("[two -]", temp.ReadFile(L"two.out"));
    EXPECT_EQ("[three -]", temp.ReadFile(L"three.out"));
    // Each target's command overwrote the log: the last one ran last.
    EXPECT_EQ("three", TempDir::ReadWholeFile(log));
}

TEST_F(BatchRunnerTest, PreOutputOfCrLfLinesBecomesOneLineWithoutTheLastBreak) {
    // As "cmd /c echo x" prints: the name made of it must not end in spaces.
    Run(child + L" out a\\r\\nb\\r\\n", child + L" write \"$path$title.out\" \"[$pre]\"", {L"t.txt"});
    EXPECT_EQ("[a b]", temp.ReadFile(L"t.out"));
}

TEST_F(BatchRunnerTest, EmptyPreCommandRunsOnlyTheCommandWithAnEmptyPre) {
    Run(L"", child + L" write \"$path$title.out\" \"[$pre]\"", {L"a.txt", L"b.txt"});
    EXPECT_EQ(2, runner.GetSucceededCount());
    EXPECT_EQ("[]", temp.ReadFile(L"a.out"));
    EXPECT_EQ("[]", temp.ReadFile(L"b.out"));
}

TEST_F(BatchRunnerTest, AFailedStepEndsTheRunButTheRestIsCounted) {
    // Each target's pre-command is a copy of the helper named after it; the
    // third one is missing, so its pre-command cannot start.
    std::wstring program = child.substr(1, child.size() - 2);
    for (const wchar_t* name : {L"t1", L"t2", L"t4", L"t5"}) {
        ASSERT_TRUE(CopyFileW(program.c_str(), temp.Join(std::wstring(name) + L".exe").c_str(), FALSE));
    }
    Run(L"\"$path$title.exe\" write \"$path$title.pre\" x", child + L" write \"$path$title.done\" x",
        {L"t1.dat", L"t2.dat", L"t3.dat", L"t4.dat", L"t5.dat"});
    EXPECT_EQ(5, runner.GetStartedCount());
    EXPECT_EQ(2, runner.GetSucceededCount());
    // Which step, and why in Windows' words.
    EXPECT_EQ(L"先行コマンドの実行に失敗しました。" + W(SystemErrorText(ERROR_FILE_NOT_FOUND)) + L"\n\"" +
                  temp.Join(L"t3.exe") + L"\" write \"" + temp.Join(L"t3.pre") + L"\" x",
              W(runner.GetErrorText()));
    for (const wchar_t* ran : {L"t1.pre", L"t1.done", L"t2.pre", L"t2.done"}) {
        EXPECT_TRUE(FileExists(temp.Join(ran))) << "missing " << std::string(ran, ran + wcslen(ran)).c_str();
    }
    for (const wchar_t* skipped : {L"t3.done", L"t4.pre", L"t4.done", L"t5.pre", L"t5.done"}) {
        EXPECT_FALSE(FileExists(temp.Join(skipped)))
            << "ran " << std::string(skipped, skipped + wcslen(skipped)).c_str();
    }
    // Every target has its own result.
    EXPECT_EQ(TargetStatus::Done, Status(0));
    EXPECT_EQ(TargetStatus::Done, Status(1));
    EXPECT_EQ(TargetStatus::LaunchFailed, Status(2));
    EXPECT_EQ(W(runner.GetErrorText()), Error(2));
    EXPECT_TRUE(runner.GetRecord(2)->pre.commandLine.Equals(
        (L"\"" + temp.Join(L"t3.exe") + L"\" write \"" + temp.Join(L"t3.pre") + L"\" x").c_str()));
    EXPECT_FALSE(runner.GetRecord(2)->pre.ran);
    EXPECT_FALSE(runner.GetRecord(2)->command.ran);
    EXPECT_EQ(TargetStatus::NotRun, Status(3));
    EXPECT_EQ(TargetStatus::NotRun, Status(4));
    EXPECT_EQ(2, runner.GetFirstFailedIndex());
    EXPECT_TRUE(runner.HasFailure());
}

TEST_F(BatchRunnerTest, ChildrenStartInTheDirectoryOrElseInTheStartDirectory) {
    std::wstring work = temp.MakeDir(L"work dir");
    std::wstring start = temp.MakeDir(L"start");
    runner.SetStartDirectory(VQWString(start.c_str()));
    std::wstring report = temp.Join(L"cwd.txt");
    Run(L"", child + L" cwd " + Quoted(report), {L"x.txt"}, work);
    EXPECT_EQ(NormalPath(work), NormalPath(FromUtf8(TempDir::ReadWholeFile(report))));

    Run(L"", child + L" cwd " + Quoted(report), {L"x.txt"}, L"");
    EXPECT_EQ(NormalPath(start), NormalPath(FromUtf8(TempDir::ReadWholeFile(report))));

    // A relative directory is taken from the start directory, the same on every run.
    std::wstring sub = temp.MakeDir(L"start\\sub");
    for (int run = 0; run < 2; ++run) {
        Run(L"", child + L" cwd " + Quoted(report), {L"x.txt"}, L"sub");
        EXPECT_EQ(NormalPath(sub), NormalPath(FromUtf8(TempDir::ReadWholeFile(report))));
    }
    EXPECT_EQ(NormalPath(savedDirectory), NormalPath(CurrentDirectory())) << "the program's own directory never moves";
}

TEST_F(BatchRunnerTest, AMissingDirectoryStartsNothing) {
    std::wstring marker = temp.Join(L"ran.txt");
    VQWString cmd((child + L" write " + Quoted(marker) + L" x").c_str());
    std::wstring missing = temp.Join(L"no such dir");
    EXPECT_EQ(BatchRunner::NoDirectory,
              runner.StartRun(VQWString(), cmd, VQWString(missing.c_str()), Targets({L"a.txt"})));
    EXPECT_EQ(NormalPath(missing), NormalPath(W(runner.GetRunDirectory())));
    EXPECT_EQ(RunState::Idle, runner.GetState());
    // A file is not a directory either.
    std::wstring file = temp.WriteFile(L"plain.txt", "x");
    EXPECT_EQ(BatchRunner::NoDirectory, runner.StartRun(VQWString(), cmd, VQWString(file.c_str()), Targets({L"a"})));
    Sleep(200);
    EXPECT_FALSE(FileExists(marker));
}

TEST(ResolveDirectory, TakesRelativeForms) {
    VQWString start(L"C:\\work\\start");
    auto resolve = [&](const wchar_t* text) { return W(BatchRunner::ResolveDirectory(VQWString(text), start)); };
    EXPECT_EQ(L"C:\\work\\start", resolve(L""));
    EXPECT_EQ(L"C:\\work\\start\\sub", resolve(L"sub"));
    EXPECT_EQ(L"C:\\work\\other", resolve(L"..\\other"));
    EXPECT_EQ(L"C:\\top", resolve(L"\\top"));
    EXPECT_EQ(L"D:\\data", resolve(L"D:\\data\\."));
    EXPECT_EQ(L"\\\\server\\share\\x", resolve(L"\\\\server\\share\\x"));
}

TEST_F(BatchRunnerTest, PreOutputIsDecodedByWhatItIs) {
    // UTF-8 for 日本, bytes of the OEM code page (あい in Shift-JIS), UTF-16
    // as cmd /u writes it, and NULs among 8-bit text.
    Run(child + L" out \\xE6\\x97\\xA5\\xE6\\x9C\\xAC", child + L" write \"$path$title.out\" \"[$pre]\"", {L"utf8.txt"});
    Run(child + L" out \\x82\\xA0\\x82\\xA2", child + L" write \"$path$title.out\" \"[$pre]\"", {L"sjis.txt"});
    EXPECT_EQ(TargetStatus::Done, Status(0)) << Error(0);
    Run(child + L" outw hello", child + L" write \"$path$title.out\" \"[$pre]-tail\"", {L"utf16.txt"});
    Run(child + L" out abcdef\\x00ghijkl\\x00mn", child + L" write \"$path$title.out\" \"[$pre]-tail\"", {L"zeros.txt"});
    EXPECT_EQ("[\xE6\x97\xA5\xE6\x9C\xAC]", temp.ReadFile(L"utf8.out"));
    // What a console program of a Japanese or a Western Windows means by those
    // bytes; the ANSI code page of the latter (1252) would give other letters.
    switch (GetOEMCP()) {
    case 932: EXPECT_EQ("[\xE3\x81\x82\xE3\x81\x84]", temp.ReadFile(L"sjis.out")); break;
    case 437:
    case 850: EXPECT_EQ("[\xC3\xA9\xC3\xA1\xC3\xA9\xC3\xB3]", temp.ReadFile(L"sjis.out")) << "éáéó"; break;
    default: ADD_FAILURE() << "no expected text for OEM code page " << GetOEMCP();
    }
    EXPECT_EQ("[hello]-tail", temp.ReadFile(L"utf16.out")) << "a NUL would have cut the command line";
    EXPECT_EQ("[abcdefghijklmn]-tail", temp.ReadFile(L"zeros.out"));
}

TEST_F(BatchRunnerTest, RecordsHoldTheLinesTimesAndExitCodes) {
    Run(child + L" out \"$title\" exit 4", child + L" exit 5 write \"$path$title.out\" \"[$pre]\"", {L"a.txt"});
    const TargetRecord* record = runner.GetRecord(0);
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(TargetStatus::Done, record->Status()) << "codes are recorded, not judged";
    EXPECT_TRUE(record->pre.ran && record->pre.ended);
    EXPECT_EQ(4u, record->pre.exitCode);
    EXPECT_EQ(5u, record->command.exitCode);
    EXPECT_EQ(child + L" out \"a\" exit 4", W(record->pre.commandLine));
    EXPECT_EQ(child + L" exit 5 write \"" + temp.Join(L"a.out") + L"\" \"[a]\"", W(record->command.commandLine));
    EXPECT_NE(0, record->startTime.wYear);
    EXPECT_TRUE(record->errorText.IsEmpty());
    EXPECT_EQ(1, runner.GetSucceededCount());
    EXPECT_EQ(1, runner.GetFinishedCount());
    EXPECT_TRUE(runner.GetErrorText().IsEmpty());
}

TEST_F(BatchRunnerTest, CheckedExitCodesFailTheTargetAndEndTheRun) {
    RunOptions options;
    options.checkExitCode = true;
    std::wstring cmd = child + L" write \"$path$title.done\" x exit $ext";
    Run(L"", cmd, {L"a.0", L"b.3", L"c.0"}, L"", options);
    EXPECT_EQ(TargetStatus::Done, Status(0));
    EXPECT_EQ(TargetStatus::NonZeroExit, Status(1));
    EXPECT_EQ(TargetStatus::NotRun, Status(2));
    EXPECT_EQ(L"終了コード 3 で終了しました。\n" + child + L" write \"" + temp.Join(L"b.done") + L"\" x exit 3",
              W(runner.GetErrorText()));
    EXPECT_EQ(1, runner.GetSucceededCount());
    EXPECT_FALSE(FileExists(temp.Join(L"c.done")));

    // The pre-command's code counts too, and the command then does not run.
    Run(child + L" exit 2", cmd, {L"d.0"}, L"", options);
    EXPECT_EQ(TargetStatus::NonZeroExit, Status(0));
    EXPECT_FALSE(runner.GetRecord(0)->command.ran);
    EXPECT_FALSE(FileExists(temp.Join(L"d.done")));
}

TEST_F(BatchRunnerTest, CheckedCodesKeepTheProgramsLastLineInTheMessage) {
    RunOptions options;
    options.checkExitCode = true;
    options.hideCommand = true;
    std::wstring cmd = child + L" out \"copying\\r\\nerror: disk full\\r\\n\\r\\n\" exit 3";
    Run(L"", cmd, {L"a.txt"}, L"", options);
    EXPECT_EQ(L"終了コード 3 で終了しました。　error: disk full\n" + cmd, W(runner.GetErrorText()));
    // The pre-command's output is always at hand.
    Run(child + L" err \"no such size\" exit 2", child + L" exit 0", {L"b.txt"}, L"", options);
    EXPECT_EQ(L"終了コード 2 で終了しました。　no such size\n" + child + L" err \"no such size\" exit 2", Error(0));
    // A command that printed nothing, or whose output was not kept, has the code alone.
    options.hideCommand = false;
    Run(L"", child + L" out x exit 4", {L"c.txt"}, L"", options);
    EXPECT_EQ(L"終了コード 4 で終了しました。\n" + child + L" out x exit 4", Error(0));
}

TEST_F(BatchRunnerTest, ACrashFailsTheTargetWhateverTheCheckOfCodes) {
    std::wstring cmd = child + L" write \"$fullname.done\" x exit $ext";
    for (bool checked : {false, true}) {
        RunOptions options;
        options.checkExitCode = checked;
        Run(L"", cmd, {L"a.0", L"b.0xC0000005", L"c.0"}, L"", options);
        EXPECT_EQ(TargetStatus::Done, Status(0)) << checked;
        EXPECT_EQ(TargetStatus::Crashed, Status(1)) << checked;
        EXPECT_EQ(TargetStatus::NotRun, Status(2)) << "a crash ends the run as a failure does";
        EXPECT_EQ(L"異常終了 (0xC0000005)\n" + child + L" write \"" + temp.Join(L"b.0xC0000005.done") +
                      L"\" x exit 0xC0000005",
                  W(runner.GetErrorText()));
        EXPECT_EQ(1, runner.GetFirstFailedIndex());
        EXPECT_STREQ(L"異常終了", StatusText(TargetStatus::Crashed));
    }
    // A pre-command that crashes leaves the command unrun; an ordinary large code is still a tool's own.
    Run(child + L" exit 0xC000013A", cmd, {L"d.0"});
    EXPECT_EQ(TargetStatus::Crashed, Status(0));
    EXPECT_FALSE(runner.GetRecord(0)->command.ran);
    Run(L"", cmd, {L"e.0xBFFFFFFF"});
    EXPECT_EQ(TargetStatus::Done, Status(0));
}

TEST_F(BatchRunnerTest, ACommandThatCannotStartSaysWhy) {
    std::wstring missing = temp.Join(L"no such tool.exe");
    Run(L"", L"\"" + missing + L"\" $name", {L"a.txt"});
    EXPECT_EQ(TargetStatus::LaunchFailed, Status(0));
    EXPECT_EQ(L"コマンドの実行に失敗しました。" + W(SystemErrorText(ERROR_FILE_NOT_FOUND)) + L"\n\"" + missing +
                  L"\" a.txt",
              W(runner.GetErrorText()));
}

TEST_F(BatchRunnerTest, EachStepGetsItsTargetsValuesAsEnvironmentVariables) {
    std::wstring pre = child + L" env QB_PRE \"$fullname.pre-pre\" out \"size 12\\r\\n\"";
    std::wstring cmd = child + L" env QB_FULLNAME \"$fullname.fullname\" env QB_PRE \"$fullname.pre\"";
    Run(pre, cmd, {L"100%OS%", L"b.txt"});
    ASSERT_EQ(2, runner.GetSucceededCount()) << W(runner.GetErrorText());
    EXPECT_EQ(temp.Join(L"100%OS%"), FromUtf8(temp.ReadFile(L"100%OS%.fullname")));
    EXPECT_EQ(temp.Join(L"b.txt"), FromUtf8(temp.ReadFile(L"b.txt.fullname")));
    EXPECT_EQ("(unset)", temp.ReadFile(L"b.txt.pre-pre")) << "$pre is empty in the pre-command";
    EXPECT_EQ("size 12", temp.ReadFile(L"b.txt.pre"));
}

TEST_F(BatchRunnerTest, TemplateErrorsAndOverLongLinesLaunchNothing) {
    std::wstring marker = temp.Join(L"ran.txt");
    Run(L"", child + L" write " + Quoted(marker) + L" $name$bogus", {L"a.txt"});
    EXPECT_EQ(TargetStatus::TemplateError, Status(0));
    EXPECT_EQ(L"文法が間違ってます。\n" + child + L" write " + Quoted(marker) + L" a.txt >> $bogus", W(runner.GetErrorText()));
    EXPECT_FALSE(runner.GetRecord(0)->command.ran);

    // 40,000 units of pre-command output cannot go into one command line.
    Run(child + L" fill 40000", child + L" write " + Quoted(marker) + L" $pre", {L"b.txt"});
    EXPECT_EQ(TargetStatus::TemplateError, Status(0));
    EXPECT_EQ(0u, W(runner.GetErrorText()).find(L"コマンドラインが長すぎます（32766 文字まで）。\n"));
    EXPECT_LT(runner.GetErrorText().GetLength(), 400);
    Sleep(200);
    EXPECT_FALSE(FileExists(marker));
}

TEST_F(BatchRunnerTest, PreOutputOverItsLimitFailsWithAReason) {
    runner.SetPreOutputLimit(1000);
    Run(child + L" fill 5000", child + L" exit 0", {L"a.txt"});
    EXPECT_EQ(TargetStatus::ReadFailed, Status(0));
    EXPECT_EQ(L"先行コマンドの出力が大きすぎます（1000 バイトまで）。\n" + child + L" fill 5000", W(runner.GetErrorText()));
    EXPECT_FALSE(runner.GetRecord(0)->command.ran);
}

TEST_F(BatchRunnerTest, AHiddenCommandsOutputIsKeptInItsRecord) {
    RunOptions options;
    options.hideCommand = true;
    runner.SetCommandOutputLimit(100);
    Run(L"", child + L" out \"first line\\r\\n\" err second fill $ext", {L"a.0", L"b.300"}, L"", options);
    EXPECT_EQ(L"first line\r\nsecond", W(runner.GetRecord(0)->output));
    EXPECT_FALSE(runner.GetRecord(0)->outputCut);
    EXPECT_EQ(100, runner.GetRecord(1)->output.GetLength());
    EXPECT_TRUE(runner.GetRecord(1)->outputCut);
    EXPECT_EQ(TargetStatus::Done, Status(1));
}

TEST_F(BatchRunnerTest, FirstStopLetsTheRunningCommandFinishAndCount) {
    // $ext is the helper's sleep: the second target keeps it busy.
    std::wstring cmd = child + L" write \"$path$title.started\" x sleep $ext write \"$path$title.done\" x";
    ASSERT_EQ(BatchRunner::Started, runner.StartRun(VQWString(), VQWString(cmd.c_str()), VQWString(),
                                                    Targets({L"a.0", L"b.1500", L"c.0"})));
    ASSERT_TRUE(FileAppearsWithin(temp.Join(L"b.started"), 20000));
    EXPECT_EQ(2, runner.GetStartedCount()) << "the caption's count is the running target";
    EXPECT_TRUE(runner.RequestStop());
    EXPECT_EQ(RunState::Stopping, runner.GetState());
    ASSERT_TRUE(WaitForEnd(20000));
    EXPECT_TRUE(FileExists(temp.Join(L"b.done")));
    EXPECT_EQ(TargetStatus::Done, Status(1)) << "it ended on its own: it is done and will not run again";
    EXPECT_EQ(TargetStatus::NotRun, Status(2));
    EXPECT_EQ(2, runner.GetSucceededCount());
    EXPECT_EQ(2, runner.GetStartedCount());
    EXPECT_FALSE(runner.HasFailure());
    EXPECT_TRUE(runner.GetErrorText().IsEmpty());
    EXPECT_FALSE(FileExists(temp.Join(L"c.started")));
    EXPECT_FALSE(runner.RequestStop()) << "nothing left to stop";
}

TEST_F(BatchRunnerTest, FirstStopDuringThePreCommandRunsNoCommand) {
    std::wstring pre = child + L" write \"$path$title.pre\" x sleep 1000";
    std::wstring cmd = child + L" write \"$path$title.done\" x";
    ASSERT_EQ(BatchRunner::Started,
              runner.StartRun(VQWString(pre.c_str()), VQWString(cmd.c_str()), VQWString(), Targets({L"a.txt"})));
    ASSERT_TRUE(FileAppearsWithin(temp.Join(L"a.pre"), 20000));
    EXPECT_TRUE(runner.RequestStop());
    ASSERT_TRUE(WaitForEnd(20000));
    EXPECT_EQ(TargetStatus::Stopped, Status(0));
    EXPECT_TRUE(runner.GetRecord(0)->pre.ended);
    EXPECT_FALSE(FileExists(temp.Join(L"a.done")));
    EXPECT_EQ(0, runner.GetSucceededCount());
}

TEST_F(BatchRunnerTest, SecondStopEndsTheChildAndItsGrandchildAtOnce) {
    std::wstring grandchild = temp.Join(L"grandchild.txt");
    // Each grandchild says it runs before the stop: one ended while Wine is still starting it can be
    // left waiting for ever in its start-up, holding the test's output open.
    std::wstring cmd = child + L" spawn \"write \\\"$path$title.started\\\" x sleep 3000 write \\\"" + grandchild +
                       L"\\\" x\" sleep 3000 write \"$path$title.done\" x";
    RunOptions options;
    options.parallel = 2;
    ASSERT_EQ(BatchRunner::Started,
              runner.StartRun(VQWString(), VQWString(cmd.c_str()), VQWString(), Targets({L"a", L"b", L"c"}), options));
    ASSERT_TRUE(FileAppearsWithin(temp.Join(L"a.started"), 20000));
    ASSERT_TRUE(FileAppearsWithin(temp.Join(L"b.started"), 20000));
    EXPECT_TRUE(runner.RequestStop());
    EXPECT_TRUE(runner.RequestStop());
    // The ending may already be over.
    RunState state = runner.GetState();
    EXPECT_TRUE(state == RunState::Forcing || state == RunState::Ended) << static_cast<int>(state);
    DWORD start = GetTickCount();
    ASSERT_TRUE(WaitForEnd(10000));
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_EQ(TargetStatus::Stopped, Status(0));
    EXPECT_EQ(TargetStatus::Stopped, Status(1));
    EXPECT_EQ(TargetStatus::NotRun, Status(2));
    EXPECT_EQ(0, runner.GetSucceededCount());
    Sleep(3500);
    EXPECT_FALSE(FileExists(temp.Join(L"a.done")));
    EXPECT_FALSE(FileExists(grandchild)) << "the grandchild outlived the stop";
}

TEST_F(BatchRunnerTest, DestroyingTheWorkerDuringARunEndsItsChildren) {
    std::wstring cmd = child + L" write \"$path$title.started\" x sleep 4000 write \"$path$title.done\" x";
    ASSERT_EQ(BatchRunner::Started,
              runner.StartRun(VQWString(), VQWString(cmd.c_str()), VQWString(), Targets({L"a.txt", L"b.txt"})));
    ASSERT_TRUE(FileAppearsWithin(temp.Join(L"a.started"), 20000));
    DWORD start = GetTickCount();
    runner.DestroyWorker();
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_EQ(nullptr, runner.GetWorker());
    EXPECT_EQ(1, runner.GetStartedCount());
    EXPECT_EQ(0, runner.GetSucceededCount());
    EXPECT_EQ(TargetStatus::Stopped, runner.GetLiveStatus(0));
    Sleep(4500);
    EXPECT_FALSE(FileExists(temp.Join(L"a.done")));
    EXPECT_FALSE(FileExists(temp.Join(L"b.started")));
}

TEST_F(BatchRunnerTest, ParallelSlotsOverlapAndStartInListOrder) {
    RunOptions options;
    options.parallel = 2;
    options.checkExitCode = true;
    // a.b waits until b.a has started and the other way round: only targets
    // that run at the same time can both succeed. c.d and d.c likewise.
    std::wstring cmd = child + L" time \"$fullname.start\" await \"$path$ext.$title.start\" 30000 time \"$fullname.end\"";
    Run(L"", cmd, {L"a.b", L"b.a", L"c.d", L"d.c"}, L"", options);
    auto time = [&](const std::wstring& name) { return std::stoull(temp.ReadFile(name)); };
    EXPECT_EQ(4, runner.GetSucceededCount()) << W(runner.GetErrorText());
    // A third target waits for a free slot.
    EXPECT_GT(time(L"c.d.start"), std::min(time(L"a.b.end"), time(L"b.a.end")));
    EXPECT_GT(time(L"d.c.start"), std::min(time(L"a.b.end"), time(L"b.a.end")));
    // Targets are begun in list order.
    for (int i = 1; i < 4; ++i) {
        FILETIME before, after;
        SystemTimeToFileTime(&runner.GetRecord(i - 1)->startTime, &before);
        SystemTimeToFileTime(&runner.GetRecord(i)->startTime, &after);
        EXPECT_LE(CompareFileTime(&before, &after), 0) << i;
    }
}

TEST_F(BatchRunnerTest, ParallelRunStartsNothingNewAfterAFailure) {
    RunOptions options;
    options.parallel = 2;
    options.checkExitCode = true;
    // Each target's own pre-command gives its own $pre, here its exit code:
    // 1.0 fails at once while 0.700 still runs; that one finishes and counts.
    std::wstring pre = child + L" out $title";
    std::wstring cmd = child + L" write \"$fullname.done\" x sleep $ext exit $pre";
    Run(pre, cmd, {L"1.0", L"0.700", L"0.1", L"0.2", L"0.3"}, L"", options);
    EXPECT_EQ(TargetStatus::NonZeroExit, Status(0));
    EXPECT_EQ(TargetStatus::Done, Status(1));
    for (int i = 2; i < 5; ++i) EXPECT_EQ(TargetStatus::NotRun, Status(i)) << i;
    EXPECT_FALSE(FileExists(temp.Join(L"0.1.done")));
    EXPECT_EQ(1, runner.GetSucceededCount());
    EXPECT_EQ(0, runner.GetFirstFailedIndex());
    EXPECT_EQ(5, runner.GetStartedCount()) << "the rest is counted, as in a sequential run";
}

TEST_F(BatchRunnerTest, AResultsFileIsWrittenAtTheEnd) {
    runner.SetResultsFolder(VQWString(temp.Join(L"runs").c_str()));
    Run(L"", child + L" exit 0", {L"a.txt", L"b.txt"});
    ASSERT_FALSE(runner.GetLastResultsFile().IsEmpty());
    std::string csv = TempDir::ReadWholeFile(W(runner.GetLastResultsFile()));
    EXPECT_EQ(0u, csv.find("\xEF\xBB\xBF"));
    EXPECT_NE(std::string::npos, csv.find("\r\n2,"));
}


TEST_F(BatchRunnerTest, StartRunChecksItsInputsAndTheWorkerState) {
    VQWString cmd((child + L" sleep 0").c_str());
    VQArray<VQWString, VQWString> none;
    EXPECT_EQ(BatchRunner::NoTargets, runner.StartRun(VQWString(), VQWString(), VQWString(), none));
    EXPECT_EQ(BatchRunner::NoCommand, runner.StartRun(VQWString(), VQWString(), VQWString(), Targets({L"a"})));
    EXPECT_TRUE(runner.GetWorker()->IsIdle()) << "nothing was posted";

    // The worker gets strings that share nothing with the window's.
    VQWString pre((child + L" sleep 0").c_str());
    VQWString dir(temp.Path().c_str());
    VQArray<VQWString, VQWString> list = Targets({L"a", L"b"});
    ASSERT_EQ(BatchRunner::Started, runner.StartRun(pre, cmd, dir, list));
    EXPECT_NE(pre.GetData(), runner.GetPreCommand().GetData());
    EXPECT_NE(cmd.GetData(), runner.GetCommand().GetData());
    EXPECT_NE(dir.GetData(), runner.GetDirectory().GetData());
    EXPECT_NE(list[0].GetData(), runner.GetTargetPath(0).GetData());
    EXPECT_EQ(W(list[1]), W(runner.GetTargetPath(1)));
    EXPECT_EQ(BatchRunner::NotStarted, runner.StartRun(pre, cmd, dir, Targets({L"z"}))) << "a job runs";
    EXPECT_EQ(2, runner.GetTargetCount());

    // Ended but not yet collected by the timer: pressing the button does nothing.
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(runner.GetWorker()->doneEvent, 30000));
    EXPECT_EQ(RunState::Ended, runner.GetState());
    EXPECT_EQ(BatchRunner::NotStarted, runner.StartRun(pre, cmd, dir, Targets({L"z"})));
    EXPECT_FALSE(runner.RequestStop());
    EXPECT_EQ(2, runner.GetTargetCount());
    EXPECT_EQ(2, runner.GetSucceededCount());

    ASSERT_TRUE(WaitForEnd());
    // A failed run leaves its message; the next run starts without it.
    RunOptions checking;
    checking.checkExitCode = true;
    Run(L"", child + L" exit 3", {L"y"}, L"", checking);
    ASSERT_FALSE(runner.GetErrorText().IsEmpty());
    ASSERT_EQ(BatchRunner::Started, runner.StartRun(VQWString(), cmd, VQWString(), Targets({L"z"})));
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(1, runner.GetStartedCount());
    EXPECT_EQ(1, runner.GetSucceededCount());
    EXPECT_TRUE(runner.GetErrorText().IsEmpty());

    runner.DestroyWorker();
    EXPECT_EQ(BatchRunner::NotStarted, runner.StartRun(pre, cmd, dir, list));
}

TEST_F(BatchRunnerTest, WhatACommandStartsOnPurposeOutlivesARunThatEnds) {
    // As `cmd /c start ...` leaves a program open: the run's end must not take it.
    std::wstring marker = temp.Join(L"left running.txt");
    Run(L"", child + L" spawn \"sleep 1500 write \\\"" + marker + L"\\\" x\"", {L"a.txt"});
    EXPECT_EQ(TargetStatus::Done, Status(0));
    EXPECT_FALSE(FileExists(marker));
    EXPECT_TRUE(FileAppearsWithin(marker, 15000)) << "the grandchild was ended with the run";
}

namespace {

// Notes, in order, what the worker tells: each target's name, and at its
// end the status its record holds by then.
class TellingEvents : public RunEvents {
public:
    BatchRunner runner{this};
    std::vector<std::wstring> told;  // written by the worker, read after the job has ended

    void OnRunTargetBegun(int index) override { told.push_back(L"begun " + Name(index)); }
    void OnRunTargetFinished(int index, TargetStatus status) override {
        told.push_back(L"finished " + Name(index) + L" " + StatusText(status) + L" " +
                       StatusText(runner.GetLiveStatus(index)));
    }
    VQWString RunResultsNotes() override { return VQWString(L"注意の行"); }

private:
    std::wstring Name(int index) {
        std::wstring path = W(runner.GetTargetPath(index));
        return path.substr(path.rfind(L'\\') + 1);
    }
};

}  // namespace

TEST(BatchRunnerNews, EachBeginAndEndIsToldAsItHappensAndTheNotesEndTheResultsFile) {
    TempDir temp;
    TellingEvents events;
    BatchRunner& runner = events.runner;
    ASSERT_TRUE(runner.CreateWorker());
    runner.SetResultsFolder(VQWString(temp.Join(L"runs").c_str()));
    VQArray<VQWString, VQWString> targets;
    for (const wchar_t* name : {L"a.0", L"b.3", L"c.0"}) targets.Add(VQWString(temp.Join(name).c_str()));
    RunOptions options;
    options.checkExitCode = true;
    std::wstring command = ChildProgram() + L" exit $ext";
    ASSERT_EQ(BatchRunner::Started,
              runner.StartRun(VQWString(), VQWString(command.c_str()), VQWString(), targets, options));
    while (runner.GetState() != RunState::Ended) Sleep(20);
    runner.FinishRun();
    // The third never begins after the second failed: nothing is told of it.
    EXPECT_EQ((std::vector<std::wstring>{L"begun a.0", L"finished a.0 完了 完了", L"begun b.3",
                                         L"finished b.3 終了コード異常 終了コード異常"}),
              events.told);
    std::string csv = TempDir::ReadWholeFile(W(runner.GetLastResultsFile()));
    std::string last = ",未実行,,,,,,,,,,\r\n注意の行\r\n完了 1 件、失敗 1 件、未実行 1 件\r\n";
    ASSERT_GE(csv.size(), last.size());
    EXPECT_EQ(last, csv.substr(csv.size() - last.size())) << "the notes and the summary come after the targets";
}

namespace {

BatchRunner* watchedRunner = nullptr;
std::vector<int> finishedAtCreation;  // the worker's: read after the job has ended
BOOL WINAPI CountingCreateProcess(LPCWSTR application, LPWSTR line, LPSECURITY_ATTRIBUTES process,
                                  LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                                  LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION information) {
    finishedAtCreation.push_back(watchedRunner->GetFinishedCount());
    return CreateProcessW(application, line, process, thread, inherit, flags, environment, directory, startup,
                          information);
}

// Tells, as each target begins, whether its child has run yet.
class RanWatchingEvents : public TellingEvents {
public:
    void OnRunTargetBegun(int index) override {
        std::wstring ran = W(runner.GetTargetPath(index)) + L".ran";
        told.push_back(FileExists(ran) ? L"begun after its child ran" : L"begun");
    }
    void OnRunTargetFinished(int, TargetStatus) override { told.push_back(L"finished"); }
};

}  // namespace

TEST(BatchRunnerNews, TheNextHiddenChildIsMadeWhileOneRunsAndRunsOnlyOnceItsTargetBegins) {
    const struct {
        bool hidden;
        std::vector<int> finishedAtCreation;
    } cases[] = {
        // b's child is made while a's runs, c's while b's: none waits for the slot to be free.
        {true, {0, 0, 1}},
        // A console of its own is made only in its file's turn.
        {false, {0, 1}},
    };
    for (const auto& c : cases) {
        TempDir temp;
        RanWatchingEvents events;
        BatchRunner& runner = events.runner;
        ASSERT_TRUE(runner.CreateWorker());
        VQArray<VQWString, VQWString> targets;
        for (const wchar_t* name : {L"a.0", L"b.3", L"c.0"}) targets.Add(VQWString(temp.Join(name).c_str()));
        RunOptions options;
        options.checkExitCode = true;
        options.hideCommand = c.hidden;
        std::wstring command = ChildProgram() + L" write \"$fullname.ran\" x sleep 300 exit $ext";
        watchedRunner = &runner;
        finishedAtCreation.clear();
        createChildProcess = CountingCreateProcess;
        ASSERT_EQ(BatchRunner::Started,
                  runner.StartRun(VQWString(), VQWString(command.c_str()), VQWString(), targets, options));
        while (runner.GetState() != RunState::Ended) Sleep(20);
        runner.FinishRun();
        createChildProcess = CreateProcessW;
        EXPECT_EQ(c.finishedAtCreation, finishedAtCreation) << c.hidden;
        EXPECT_EQ((std::vector<std::wstring>{L"begun", L"finished", L"begun", L"finished"}), events.told);
        EXPECT_FALSE(FileExists(temp.Join(L"c.0.ran"))) << "after b failed, c never ran";
    }
}

namespace {

// A fixture for the new overload: entries with roots, an output template, skips.
class RunOptionsTest : public BatchRunnerTest {
protected:
    std::vector<RunTarget> Entries(const std::vector<std::wstring>& names, const std::wstring& root = L"") {
        std::vector<RunTarget> entries;
        for (const std::wstring& name : names) {
            RunTarget t;
            t.path = VQWString(temp.Join(name).c_str());
            t.root = VQWString(root.c_str());
            entries.push_back(t);
        }
        return entries;
    }
    void RunWith(const std::wstring& cmd, const std::vector<RunTarget>& entries, const RunOptions& options,
                 const std::wstring& output = L"", const std::vector<bool>* skip = nullptr) {
        ASSERT_EQ(BatchRunner::Started, runner.StartRun(VQWString(), VQWString(cmd.c_str()), VQWString(),
                                                        VQWString(output.c_str()), entries, options, skip));
        ASSERT_TRUE(WaitForEnd());
    }
    const TargetRecord& Record(int i) { return *runner.GetRecord(i); }
};

RunOptions GoOn() {
    RunOptions options;
    options.onFailure = 1;
    options.checkExitCode = true;
    return options;
}

}  // namespace

TEST_F(RunOptionsTest, GoingOnTriesEveryTargetAndRecordsEachFailure) {
    std::wstring cmd = child + L" write \"$fullname.done\" x exit $ext";
    for (int parallel : {1, 2}) {
        RunOptions options = GoOn();
        options.parallel = parallel;
        RunWith(cmd, Entries({L"a.0", L"b.3", L"c.0", L"d.5", L"e.0"}), options);
        const TargetStatus expected[] = {TargetStatus::Done, TargetStatus::NonZeroExit, TargetStatus::Done,
                                         TargetStatus::NonZeroExit, TargetStatus::Done};
        for (int i = 0; i < 5; ++i) EXPECT_EQ(expected[i], Status(i)) << parallel << " " << i;
        EXPECT_TRUE(FileExists(temp.Join(L"e.0.done")));
        EXPECT_EQ(1, runner.GetFirstFailedIndex());
        EXPECT_EQ(0u, W(runner.GetErrorText()).find(L"終了コード 3 で終了しました。")) << "the first failure's message";
        EXPECT_EQ(0u, Error(3).find(L"終了コード 5 で終了しました。")) << "each failure keeps its own";
        EXPECT_EQ(5, runner.GetStartedCount());
        EXPECT_EQ(L"完了 3 件、失敗 2 件、未実行 0 件", W(FormatSummary(runner.GetSummary())));
        for (int i = 0; i < 5; ++i) EXPECT_EQ(1, Record(i).tries);
    }
}

TEST_F(RunOptionsTest, GoingOnPastFilesThatFailAsTheyBeginRunsTheRest) {
    // The program is the file itself: the middle one is missing, so it cannot start.
    std::wstring program = ChildProgram();
    std::wstring unquoted = program.front() == L'"' ? program.substr(1, program.size() - 2) : program;
    for (const wchar_t* name : {L"a.exe", L"c.exe"}) ASSERT_TRUE(CopyFileW(unquoted.c_str(), temp.Join(name).c_str(), FALSE));
    RunOptions options = GoOn();
    RunWith(L"\"$fullname\" write \"$fullname.done\" x", Entries({L"a.exe", L"b.exe", L"c.exe"}), options);
    EXPECT_EQ(TargetStatus::Done, Status(0));
    EXPECT_EQ(TargetStatus::LaunchFailed, Status(1));
    EXPECT_EQ(TargetStatus::Done, Status(2)) << "the slot a launch failure freed is taken again";
    EXPECT_TRUE(FileExists(temp.Join(L"c.exe.done")));
}

TEST_F(RunOptionsTest, SkippedTargetsAreRecordedAndNotRun) {
    std::wstring cmd = child + L" write \"$fullname.done\" x exit $ext";
    std::vector<bool> skip = {false, true, false, true};
    RunWith(cmd, Entries({L"a.0", L"b.0", L"c.4", L"d.0"}), RunOptions(), L"", &skip);
    EXPECT_EQ(TargetStatus::Done, Status(0));
    EXPECT_EQ(TargetStatus::Skipped, Status(1));
    EXPECT_EQ(TargetStatus::Done, Status(2)) << "codes are not checked here";
    EXPECT_EQ(TargetStatus::Skipped, Status(3));
    EXPECT_FALSE(FileExists(temp.Join(L"b.0.done")));
    EXPECT_FALSE(FileExists(temp.Join(L"d.0.done")));
    EXPECT_EQ(0, Record(1).tries);
    EXPECT_EQ(2, runner.GetRunnableCount()) << "the caption counts only what runs";
    EXPECT_EQ(2, runner.GetStartedCount());
    EXPECT_EQ(L"完了 2 件、スキップ 2 件、失敗 0 件、未実行 0 件", W(FormatSummary(runner.GetSummary())));
    // Stopping at a failure: what comes after is not run, a skip is still a skip.
    RunOptions checked;
    checked.checkExitCode = true;
    RunWith(cmd, Entries({L"e.0", L"f.0", L"g.4", L"h.0"}), checked, L"", &skip);
    EXPECT_EQ(TargetStatus::NonZeroExit, Status(2));
    EXPECT_EQ(TargetStatus::Skipped, Status(3));
    EXPECT_EQ(2, runner.GetStartedCount());
}

TEST_F(RunOptionsTest, ATimeLimitEndsOnlyItsOwnSlotsTree) {
    RunOptions options = GoOn();
    options.parallel = 2;
    options.timeLimitSeconds = 3;
    // Each target starts a grandchild that writes after 4 s, then sleeps $ext:
    // a hangs past the limit; b ends in time, leaving its grandchild running on
    // purpose; c follows in b's slot, its grandchild alive when a is ended.
    std::wstring cmd = child + L" spawn \"sleep 4000 write \\\"$fullname.grand\\\" x\" write \"$fullname.started\" x" +
                       L" sleep $ext write \"$fullname.done\" x";
    RunWith(cmd, Entries({L"a.30000", L"b.200", L"c.1000"}), options);
    EXPECT_EQ(TargetStatus::TimedOut, Status(0));
    EXPECT_EQ(TargetStatus::Done, Status(1));
    EXPECT_EQ(TargetStatus::Done, Status(2)) << "the other slot's step ran on";
    EXPECT_EQ(L"制限時間 3 秒を過ぎたため終了しました。\n" + W(Record(0).command.commandLine), Error(0));
    EXPECT_TRUE(Record(0).command.ran);
    EXPECT_FALSE(Record(0).command.ended) << "the code the ending gave is not the program's";
    EXPECT_TRUE(IsFailure(TargetStatus::TimedOut));
    EXPECT_EQ(0, runner.GetFirstFailedIndex());
    EXPECT_TRUE(FileAppearsWithin(temp.Join(L"b.200.grand"), 15000)) << "a finished target's leftovers were ended";
    EXPECT_TRUE(FileAppearsWithin(temp.Join(L"c.1000.grand"), 15000)) << "another slot's tree was ended";
    Sleep(1000);
    EXPECT_TRUE(FileExists(temp.Join(L"a.30000.started")));
    EXPECT_FALSE(FileExists(temp.Join(L"a.30000.grand"))) << "the timed-out target's grandchild lived on";
    EXPECT_FALSE(FileExists(temp.Join(L"a.30000.done")));
}

TEST_F(RunOptionsTest, ATimeOutEndsARunThatStopsAtFailures) {
    RunOptions options;
    options.timeLimitSeconds = 1;
    RunWith(child + L" sleep $ext write \"$fullname.done\" x", Entries({L"a.0", L"b.6000", L"c.0"}), options);
    EXPECT_EQ(TargetStatus::Done, Status(0));
    EXPECT_EQ(TargetStatus::TimedOut, Status(1));
    EXPECT_EQ(TargetStatus::NotRun, Status(2));
    EXPECT_EQ(Error(1), W(runner.GetErrorText()));
    // The pre-command has its own limit too.
    RunWith(child + L" sleep 6000", Entries({L"d.0"}), options);
    ASSERT_EQ(BatchRunner::Started, runner.StartRun(VQWString((child + L" sleep 6000").c_str()),
                                                    VQWString((child + L" write \"$fullname.done\" x").c_str()),
                                                    VQWString(), VQWString(), Entries({L"e.0"}), options));
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(TargetStatus::TimedOut, Status(0));
    EXPECT_FALSE(Record(0).command.ran);
    EXPECT_FALSE(FileExists(temp.Join(L"e.0.done")));
}

TEST_F(RunOptionsTest, RetriesTryAFailedTargetAgainInItsSlot) {
    // The helper fails while fewer than two earlier tries were counted in the target's own file.
    std::wstring cmd = child + L" count \"$fullname.tries\" failfirst 2 write \"$fullname.done\" x";
    RunOptions options = GoOn();
    options.retries = 2;
    RunWith(cmd, Entries({L"a.txt"}), options);
    EXPECT_EQ(TargetStatus::Done, Status(0));
    EXPECT_EQ(3, Record(0).tries);
    EXPECT_TRUE(Record(0).errorText.IsEmpty()) << "the record tells of the last try";
    options.retries = 1;
    RunWith(cmd, Entries({L"b.txt"}), options);
    EXPECT_EQ(TargetStatus::NonZeroExit, Status(0));
    EXPECT_EQ(2, Record(0).tries);
    EXPECT_EQ("x\nx\n", temp.ReadFile(L"b.txt.tries"));
    EXPECT_FALSE(FileExists(temp.Join(L"b.txt.done")));
    // Without retries, one try, as before.
    options.retries = 0;
    RunWith(cmd, Entries({L"c.txt"}), options);
    EXPECT_EQ(1, Record(0).tries);

    // A template error would fail again: no second try.
    options.retries = 5;
    RunWith(child + L" count \"$fullname.tries\" exit 0 $bogus", Entries({L"d.txt"}), options);
    EXPECT_EQ(TargetStatus::TemplateError, Status(0));
    EXPECT_EQ(1, Record(0).tries);
    // A time-out is a failure and is tried again.
    options.timeLimitSeconds = 1;
    options.retries = 1;
    RunWith(child + L" count \"$fullname.tries\" sleep 5000", Entries({L"e.txt"}), options);
    EXPECT_EQ(TargetStatus::TimedOut, Status(0));
    EXPECT_EQ(2, Record(0).tries);
}

TEST_F(RunOptionsTest, ATargetEndedByTheSecondStopIsNotTriedAgain) {
    RunOptions options = GoOn();
    options.retries = 3;
    std::wstring cmd = child + L" count \"$fullname.tries\" sleep 20000";
    ASSERT_EQ(BatchRunner::Started, runner.StartRun(VQWString(), VQWString(cmd.c_str()), VQWString(), VQWString(),
                                                    Entries({L"a.txt", L"b.txt"}), options));
    ASSERT_TRUE(FileAppearsWithin(temp.Join(L"a.txt.tries"), 20000));
    runner.ForceStop();
    ASSERT_TRUE(WaitForEnd(20000));
    EXPECT_EQ(TargetStatus::Stopped, Status(0));
    EXPECT_EQ(1, Record(0).tries);
    EXPECT_EQ(TargetStatus::NotRun, Status(1));
    EXPECT_EQ(0, Record(1).tries);
    EXPECT_EQ("x\n", temp.ReadFile(L"a.txt.tries"));
}

TEST_F(RunOptionsTest, AStepEndedByTheSecondStopHasNoExitCode) {
    std::wstring cmd = child + L" write \"$fullname.started\" x sleep 20000";
    ASSERT_EQ(BatchRunner::Started, runner.StartRun(VQWString((child + L" exit 0").c_str()), VQWString(cmd.c_str()),
                                                    VQWString(), VQWString(), Entries({L"a.txt"}), GoOn()));
    ASSERT_TRUE(FileAppearsWithin(temp.Join(L"a.txt.started"), 20000));
    runner.ForceStop();
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(TargetStatus::Stopped, Status(0));
    EXPECT_TRUE(Record(0).pre.ended) << "the pre-command ended on its own";
    EXPECT_FALSE(Record(0).command.ended) << "1223 is the ending's code, not the program's";
}

namespace {

std::vector<DWORD> creationFlags;
BOOL WINAPI RecordingCreateProcess(LPCWSTR application, LPWSTR line, LPSECURITY_ATTRIBUTES process,
                                   LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                                   LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION information) {
    creationFlags.push_back(flags);
    return CreateProcessW(application, line, process, thread, inherit, flags, environment, directory, startup,
                          information);
}

}  // namespace

TEST_F(RunOptionsTest, LowPriorityIsAskedForEveryStep) {
    creationFlags.clear();
    createChildProcess = RecordingCreateProcess;
    RunOptions options;
    options.lowPriority = true;
    ASSERT_EQ(BatchRunner::Started, runner.StartRun(VQWString((child + L" exit 0").c_str()),
                                                    VQWString((child + L" exit 0").c_str()), VQWString(), VQWString(),
                                                    Entries({L"a"}), options));
    ASSERT_TRUE(WaitForEnd());
    RunWith(child + L" exit 0", Entries({L"b"}), RunOptions());
    createChildProcess = CreateProcessW;
    ASSERT_EQ(3u, creationFlags.size());
    EXPECT_EQ(static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS), creationFlags[0] & BELOW_NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS), creationFlags[1] & BELOW_NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(0u, creationFlags[2] & BELOW_NORMAL_PRIORITY_CLASS) << "off by default";
}

namespace {

std::vector<EXECUTION_STATE> executionCalls;  // the window thread's calls: the test's own thread
EXECUTION_STATE WINAPI RecordExecutionState(EXECUTION_STATE state) {
    executionCalls.push_back(state);
    return ES_CONTINUOUS;
}

}  // namespace

TEST_F(RunOptionsTest, TheSystemIsAskedToStayAwakeForTheRunOnly) {
    executionCalls.clear();
    runner.SetExecutionStateFunction(RecordExecutionState);
    const EXECUTION_STATE awake = ES_CONTINUOUS | ES_SYSTEM_REQUIRED;
    RunWith(child + L" exit 0", Entries({L"a"}), RunOptions());
    EXPECT_EQ((std::vector<EXECUTION_STATE>{awake, ES_CONTINUOUS}), executionCalls);
    EXPECT_EQ(0u, awake & ES_DISPLAY_REQUIRED) << "the display may turn off";

    // 強制終了 lets go at once; the end adds nothing.
    executionCalls.clear();
    std::wstring cmd = child + L" write \"$fullname.started\" x sleep 20000";
    ASSERT_EQ(BatchRunner::Started,
              runner.StartRun(VQWString(), VQWString(cmd.c_str()), VQWString(), VQWString(), Entries({L"b"}), RunOptions()));
    ASSERT_TRUE(FileAppearsWithin(temp.Join(L"b.started"), 20000));
    EXPECT_TRUE(runner.RequestStop());
    EXPECT_EQ((std::vector<EXECUTION_STATE>{awake}), executionCalls) << "the first Stop lets the step finish";
    EXPECT_TRUE(runner.RequestStop());
    EXPECT_EQ((std::vector<EXECUTION_STATE>{awake, ES_CONTINUOUS}), executionCalls);
    ASSERT_TRUE(WaitForEnd(20000));
    EXPECT_EQ(2u, executionCalls.size());

    // Closing during a run.
    executionCalls.clear();
    ASSERT_EQ(BatchRunner::Started,
              runner.StartRun(VQWString(), VQWString(cmd.c_str()), VQWString(), VQWString(), Entries({L"c"}), RunOptions()));
    ASSERT_TRUE(FileAppearsWithin(temp.Join(L"c.started"), 20000));
    runner.DestroyWorker();
    EXPECT_EQ((std::vector<EXECUTION_STATE>{awake, ES_CONTINUOUS}), executionCalls);
    // A run that does not start asks nothing.
    executionCalls.clear();
    EXPECT_EQ(BatchRunner::NotStarted, runner.StartRun(VQWString(), VQWString(cmd.c_str()), VQWString(), VQWString(),
                                                       Entries({L"d"}), RunOptions()));
    EXPECT_TRUE(executionCalls.empty());
}

TEST_F(RunOptionsTest, OutputsGoIntoAMirroredTreeMadeBeforeTheSteps) {
    std::wstring root = temp.MakeDir(L"写真 元");
    temp.MakeDir(L"写真 元\\2026\\旅 行");
    std::wstring out = temp.Join(L"変換後\\$reldir$stem.txt");
    std::vector<RunTarget> entries = Entries({L"写真 元\\a.jpg", L"写真 元\\2026\\旅 行\\b.jpg"}, root + L"\\");
    // The helper does not make folders: the runner must have.
    RunWith(child + L" write \"$out\" \"$reldir|$root\"", entries, GoOn(), out);
    EXPECT_EQ(TargetStatus::Done, Status(0)) << Error(0);
    EXPECT_EQ(TargetStatus::Done, Status(1)) << Error(1);
    EXPECT_EQ(temp.Join(L"変換後\\a.txt"), W(Record(0).outputPath));
    EXPECT_EQ(temp.Join(L"変換後\\2026\\旅 行\\b.txt"), W(Record(1).outputPath));
    EXPECT_EQ(child + L" write \"" + temp.Join(L"変換後\\a.txt") + L"\" \"|" + root + L"\\\"",
              W(Record(0).command.commandLine));
    EXPECT_EQ(child + L" write \"" + temp.Join(L"変換後\\2026\\旅 行\\b.txt") + L"\" \"2026\\旅 行\\|" + root + L"\\\"",
              W(Record(1).command.commandLine));
    EXPECT_TRUE(FileExists(temp.Join(L"変換後\\2026\\旅 行\\b.txt")));
    EXPECT_FALSE(Record(0).outputDeleted);
    // A relative output is taken from the run's directory.
    std::wstring work = temp.MakeDir(L"work");
    ASSERT_EQ(BatchRunner::Started, runner.StartRun(VQWString(), VQWString((child + L" write \"$out\" x").c_str()),
                                                    VQWString(work.c_str()), VQWString(L"rel\\$name.out"),
                                                    Entries({L"c.txt"}), GoOn()));
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(TargetStatus::Done, Status(0)) << Error(0);
    EXPECT_EQ("x", temp.ReadFile(L"work\\rel\\c.txt.out"));
}

TEST_F(RunOptionsTest, AMissingOrUntouchedOutputFailsTheTarget) {
    std::wstring out = temp.Join(L"out\\$name.out");
    temp.WriteFile(L"out\\old.txt.out", "from last week");
    FILETIME lastWeek = {};
    SYSTEMTIME t = {2024, 1, 0, 1, 0, 0, 0, 0};
    SystemTimeToFileTime(&t, &lastWeek);
    HANDLE h = CreateFileW(temp.Join(L"out\\old.txt.out").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    SetFileTime(h, nullptr, nullptr, &lastWeek);
    CloseHandle(h);
    // Exits 0 and writes nothing: the converter's classic.
    RunWith(child + L" exit 0", Entries({L"new.txt", L"old.txt"}), GoOn(), out);
    EXPECT_EQ(TargetStatus::NoOutput, Status(0));
    EXPECT_EQ(L"出力ファイルが作成されませんでした。\n" + temp.Join(L"out\\new.txt.out"), Error(0));
    EXPECT_EQ(TargetStatus::NoOutput, Status(1)) << "last week's file was not written by this run";
    EXPECT_EQ("from last week", temp.ReadFile(L"out\\old.txt.out")) << "an untouched file is never deleted";
    EXPECT_FALSE(Record(1).outputDeleted);
    EXPECT_EQ(0, runner.GetFirstFailedIndex());
    // Without the check, the same run is done.
    RunOptions unchecked = GoOn();
    unchecked.checkOutput = false;
    RunWith(child + L" exit 0", Entries({L"new.txt"}), unchecked, out);
    EXPECT_EQ(TargetStatus::Done, Status(0));
    // Rewritten in place counts, whatever its time.
    RunWith(child + L" write \"$out\" again", Entries({L"old.txt"}), GoOn(), out);
    EXPECT_EQ(TargetStatus::Done, Status(0)) << Error(0);
    // A missing output is tried again like any failure.
    RunOptions retried = GoOn();
    retried.retries = 1;
    RunWith(child + L" count \"$fullname.tries\" failfirst 1 exit 0", Entries({L"r.txt"}), retried, out);
    EXPECT_EQ(TargetStatus::NoOutput, Status(0));
    EXPECT_EQ(2, Record(0).tries);
}

TEST_F(RunOptionsTest, WhatAFailedTargetWroteIsDeletedUnlessKept) {
    std::wstring out = temp.Join(L"out\\$name.out");
    temp.WriteFile(L"out\\untouched.txt.out", "old");
    std::wstring cmd = child + L" write \"$out\" half exit $ext";
    // a.3 writes and fails; untouched fails without writing (its old file stays).
    RunWith(cmd, Entries({L"a.3", L"b.0"}), GoOn(), out);
    EXPECT_EQ(TargetStatus::NonZeroExit, Status(0));
    EXPECT_TRUE(Record(0).outputDeleted);
    EXPECT_FALSE(FileExists(temp.Join(L"out\\a.3.out")));
    EXPECT_EQ(TargetStatus::Done, Status(1));
    EXPECT_EQ("half", temp.ReadFile(L"out\\b.0.out"));
    RunWith(child + L" exit 4", Entries({L"untouched.txt"}), GoOn(), out);
    EXPECT_EQ(TargetStatus::NonZeroExit, Status(0));
    EXPECT_FALSE(Record(0).outputDeleted);
    EXPECT_EQ("old", temp.ReadFile(L"out\\untouched.txt.out"));

    RunOptions keep = GoOn();
    keep.keepFailedOutput = true;
    RunWith(cmd, Entries({L"c.3"}), keep, out);
    EXPECT_EQ(TargetStatus::NonZeroExit, Status(0));
    EXPECT_FALSE(Record(0).outputDeleted);
    EXPECT_EQ("half", temp.ReadFile(L"out\\c.3.out"));

    // A time-out, too.
    RunOptions limited = GoOn();
    limited.timeLimitSeconds = 1;
    RunWith(child + L" write \"$out\" half sleep 10000", Entries({L"d.txt"}), limited, out);
    EXPECT_EQ(TargetStatus::TimedOut, Status(0));
    EXPECT_TRUE(Record(0).outputDeleted);
    EXPECT_FALSE(FileExists(temp.Join(L"out\\d.txt.out")));
}

TEST_F(RunOptionsTest, AFailureNeverDeletesAnEntryThatItsOutputReachesThroughALink) {
    std::wstring in = temp.MakeDir(L"in");
    ASSERT_FALSE(temp.MakeFolderLink(L"link", in).empty());
    // Through the link, the output is the target's own source, or another entry.
    for (const wchar_t* output : {L"link\\$name", L"link\\b.txt"}) {
        temp.WriteFile(L"in\\a.txt", "source a");
        temp.WriteFile(L"in\\b.txt", "source b");
        RunOptions options = GoOn();
        RunWith(child + L" write \"$out\" half exit 3", Entries({L"in\\a.txt", L"in\\b.txt"}), options,
                temp.Join(output));
        EXPECT_EQ(TargetStatus::NonZeroExit, Status(0)) << output;
        EXPECT_FALSE(Record(0).outputDeleted) << output;
        EXPECT_FALSE(Record(1).outputDeleted) << output;
        EXPECT_TRUE(FileExists(temp.Join(L"in\\a.txt"))) << output;
        EXPECT_TRUE(FileExists(temp.Join(L"in\\b.txt"))) << output;
    }
}

TEST_F(RunOptionsTest, AFailureLeavesAnOutputThatAnotherSlotWrote) {
    // Two targets, one output. b.3 begins while the output is not there;
    // then the first writes it ($fulltitle is the output for it alone) and is
    // done, and b.3 fails without touching it.
    std::wstring out = temp.Join(L"out\\same.out");
    std::wstring cmd = child + L" write \"$fullname.began\" x await " + Quoted(temp.Join(L"b.3.began")) +
                       L" 30000 write \"$fulltitle\" whole await " + Quoted(out) + L" 30000 sleep $ext000 exit $ext";
    RunOptions options = GoOn();
    options.parallel = 2;
    RunWith(cmd, Entries({L"out\\same.out.0", L"b.3"}), options, out);
    EXPECT_EQ(TargetStatus::Done, Status(0)) << Error(0);
    EXPECT_EQ(TargetStatus::NonZeroExit, Status(1)) << Error(1);
    EXPECT_FALSE(Record(1).outputDeleted);
    EXPECT_EQ("whole", temp.ReadFile(L"out\\same.out"));
}

TEST_F(RunOptionsTest, TheSecondStopLeavesNoHalfWrittenOutput) {
    std::wstring out = temp.Join(L"out\\$name.out");
    std::wstring cmd = child + L" write \"$out\" half sleep 20000 write \"$out\" whole";
    ASSERT_EQ(BatchRunner::Started, runner.StartRun(VQWString(), VQWString(cmd.c_str()), VQWString(),
                                                    VQWString(out.c_str()), Entries({L"a.txt"}), GoOn()));
    ASSERT_TRUE(FileAppearsWithin(temp.Join(L"out\\a.txt.out"), 20000));
    EXPECT_TRUE(runner.RequestStop());
    EXPECT_TRUE(runner.RequestStop());
    ASSERT_TRUE(WaitForEnd(20000));
    EXPECT_EQ(TargetStatus::Stopped, Status(0));
    EXPECT_TRUE(Record(0).outputDeleted);
    EXPECT_FALSE(FileExists(temp.Join(L"out\\a.txt.out")));
}

TEST_F(RunOptionsTest, AnOutputFolderThatCannotBeMadeRunsNothingOfThatTarget) {
    temp.WriteFile(L"blocker", "a file where the folder should be");
    std::wstring marker = L" write \"$fullname.ran\" x write \"$out\" x";
    RunWith(child + marker, Entries({L"a.txt"}), GoOn(), temp.Join(L"blocker\\sub\\$name"));
    EXPECT_EQ(TargetStatus::OutputFolderFailed, Status(0));
    EXPECT_EQ(L"出力先のフォルダを作成できません。" + W(SystemErrorText(ERROR_FILE_EXISTS)) + L"\n" +
                  temp.Join(L"blocker\\sub\\a.txt"),
              Error(0));
    EXPECT_FALSE(FileExists(temp.Join(L"a.txt.ran")));
    EXPECT_FALSE(Record(0).command.ran);
    EXPECT_TRUE(IsFailure(Status(0)));

    // Bad output paths and $out without an output template are template errors, never tried again.
    RunOptions retried = GoOn();
    retried.retries = 3;
    RunWith(child + marker, Entries({L"b.txt"}), retried, L"Q:\\");
    EXPECT_EQ(TargetStatus::TemplateError, Status(0));
    EXPECT_EQ(0, Record(0).tries);
    temp.MakeDir(L"dirs\\c.txt");
    RunWith(child + marker, Entries({L"c.txt"}), retried, temp.Join(L"dirs\\$name"));
    EXPECT_EQ(TargetStatus::TemplateError, Status(0));
    EXPECT_EQ(L"出力先がフォルダです。\n" + temp.Join(L"dirs\\c.txt"), Error(0));
    RunWith(child + marker, Entries({L"d.txt"}), retried, L"");
    EXPECT_EQ(TargetStatus::TemplateError, Status(0));
    EXPECT_EQ(0u, Error(0).find(L"出力先が空なので $out は使えません。"));
    EXPECT_EQ(1, Record(0).tries);
    EXPECT_FALSE(FileExists(temp.Join(L"b.txt.ran")));
    EXPECT_FALSE(FileExists(temp.Join(L"c.txt.ran")));
    EXPECT_FALSE(FileExists(temp.Join(L"d.txt.ran")));
}
