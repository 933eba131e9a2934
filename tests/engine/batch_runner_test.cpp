#include "engine/batch_runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

    // What the window's timer does: Wait(0, true, false) until the job has ended.
    bool WaitForEnd(DWORD limitMs = 60000) {
        DWORD start = GetTickCount();
        while (!runner.thread->Wait(0, true, false)) {
            if (GetTickCount() - start > limitMs) return false;
            Sleep(20);
        }
        return true;
    }

    void Run(const std::wstring& pre, const std::wstring& cmd, const std::vector<std::wstring>& names,
             const std::wstring& dir = L"") {
        ASSERT_EQ(BatchRunner::Started, runner.StartRun(VQWString(pre.c_str()), VQWString(cmd.c_str()),
                                                        VQWString(dir.c_str()), Targets(names)));
        ASSERT_TRUE(WaitForEnd());
    }

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
    EXPECT_EQ(3, runner.startedCount.load());
    EXPECT_EQ(3, runner.succeededCount.load());
    EXPECT_TRUE(runner.errorText.IsEmpty());
    EXPECT_EQ("[one  -  ]", temp.ReadFile(L"one.out"));
    EXPECT_EQ("[two  -  ]", temp.ReadFile(L"two.out"));
    EXPECT_EQ("[three  -  ]", temp.ReadFile(L"three.out"));
    // Each target's command overwrote the log: the last one ran last.
    EXPECT_EQ("three", TempDir::ReadWholeFile(log));
}

TEST_F(BatchRunnerTest, PreOutputOfCrLfLinesBecomesSpaces) {
    Run(child + L" out a\\r\\nb\\r\\n", child + L" write \"$path$title.out\" \"$pre\"", {L"t.txt"});
    EXPECT_EQ("a  b  ", temp.ReadFile(L"t.out"));
}

TEST_F(BatchRunnerTest, EmptyPreCommandRunsOnlyTheCommandWithAnEmptyPre) {
    Run(L"", child + L" write \"$path$title.out\" \"[$pre]\"", {L"a.txt", L"b.txt"});
    EXPECT_EQ(2, runner.succeededCount.load());
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
    EXPECT_EQ(5, runner.startedCount.load());
    EXPECT_EQ(2, runner.succeededCount.load());
    EXPECT_EQ(L"コマンドの実行に失敗しました。\n\"" + temp.Join(L"t3.exe") + L"\" write \"" + temp.Join(L"t3.pre") +
                  L"\" x",
              W(runner.errorText));
    for (const wchar_t* ran : {L"t1.pre", L"t1.done", L"t2.pre", L"t2.done"}) {
        EXPECT_TRUE(FileExists(temp.Join(ran))) << "missing " << std::string(ran, ran + wcslen(ran)).c_str();
    }
    for (const wchar_t* skipped : {L"t3.done", L"t4.pre", L"t4.done", L"t5.pre", L"t5.done"}) {
        EXPECT_FALSE(FileExists(temp.Join(skipped)))
            << "ran " << std::string(skipped, skipped + wcslen(skipped)).c_str();
    }
}

TEST_F(BatchRunnerTest, ChildrenStartInTheDirectoryOrElseInTheStartDirectory) {
    std::wstring work = temp.MakeDir(L"work dir");
    std::wstring start = temp.MakeDir(L"start");
    runner.startDirectory = VQWString(start.c_str());
    std::wstring report = temp.Join(L"cwd.txt");
    Run(L"", child + L" cwd " + Quoted(report), {L"x.txt"}, work);
    EXPECT_EQ(NormalPath(work), NormalPath(FromUtf8(TempDir::ReadWholeFile(report))));

    Run(L"", child + L" cwd " + Quoted(report), {L"x.txt"}, L"");
    EXPECT_EQ(NormalPath(start), NormalPath(FromUtf8(TempDir::ReadWholeFile(report))));
}

TEST_F(BatchRunnerTest, StopEndsTheRunWithinTheStepThatRuns) {
    // $ext is the helper's sleep: the second target keeps it busy.
    std::wstring cmd = child + L" write \"$path$title.started\" x sleep $ext";
    ASSERT_EQ(BatchRunner::Started, runner.StartRun(VQWString(), VQWString(cmd.c_str()), VQWString(),
                                                    Targets({L"a.0", L"b.8000", L"c.0"})));
    ASSERT_TRUE(FileAppearsWithin(temp.Join(L"b.started"), 20000));
    EXPECT_EQ(2, runner.startedCount.load()) << "the caption's count is the running target";
    DWORD start = GetTickCount();
    EXPECT_TRUE(runner.RequestStop());
    ASSERT_TRUE(WaitForEnd(10000));
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_EQ(2, runner.startedCount.load());
    EXPECT_EQ(1, runner.succeededCount.load());
    EXPECT_TRUE(runner.errorText.IsEmpty());
    Sleep(300);
    EXPECT_FALSE(FileExists(temp.Join(L"c.started")));
    EXPECT_FALSE(runner.RequestStop()) << "nothing left to stop";
}

TEST_F(BatchRunnerTest, DestroyingTheWorkerDuringARunStopsIt) {
    std::wstring cmd = child + L" write \"$path$title.started\" x sleep 8000";
    ASSERT_EQ(BatchRunner::Started,
              runner.StartRun(VQWString(), VQWString(cmd.c_str()), VQWString(), Targets({L"a.txt", L"b.txt"})));
    ASSERT_TRUE(FileAppearsWithin(temp.Join(L"a.started"), 20000));
    DWORD start = GetTickCount();
    runner.DestroyWorker();
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_EQ(nullptr, runner.thread);
    EXPECT_EQ(1, runner.startedCount.load());
    EXPECT_EQ(0, runner.succeededCount.load());
    EXPECT_FALSE(FileExists(temp.Join(L"b.started")));
}

TEST_F(BatchRunnerTest, StartRunChecksItsInputsAndTheWorkerState) {
    VQWString cmd((child + L" sleep 0").c_str());
    VQArray<VQWString, VQWString> none;
    EXPECT_EQ(BatchRunner::NoTargets, runner.StartRun(VQWString(), VQWString(), VQWString(), none));
    EXPECT_EQ(BatchRunner::NoCommand, runner.StartRun(VQWString(), VQWString(), VQWString(), Targets({L"a"})));
    EXPECT_TRUE(runner.thread->IsIdle()) << "nothing was posted";

    // The worker gets strings that share nothing with the window's.
    VQWString pre((child + L" sleep 0").c_str());
    VQWString dir(temp.Path().c_str());
    VQArray<VQWString, VQWString> list = Targets({L"a", L"b"});
    ASSERT_EQ(BatchRunner::Started, runner.StartRun(pre, cmd, dir, list));
    EXPECT_NE(pre.GetData(), runner.preCommand.GetData());
    EXPECT_NE(cmd.GetData(), runner.command.GetData());
    EXPECT_NE(dir.GetData(), runner.directory.GetData());
    EXPECT_NE(list[0].GetData(), runner.targets[0].GetData());
    EXPECT_EQ(W(list[1]), W(runner.targets[1]));
    EXPECT_EQ(BatchRunner::NotStarted, runner.StartRun(pre, cmd, dir, Targets({L"z"}))) << "a job runs";
    EXPECT_EQ(2, runner.targets.GetCount());

    // Ended but not yet collected by the timer: pressing the button does nothing.
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(runner.thread->doneEvent, 30000));
    EXPECT_FALSE(runner.thread->IsIdle());
    EXPECT_FALSE(runner.thread->IsBusy(true));
    EXPECT_EQ(BatchRunner::NotStarted, runner.StartRun(pre, cmd, dir, Targets({L"z"})));
    EXPECT_FALSE(runner.RequestStop());
    EXPECT_EQ(2, runner.targets.GetCount());
    EXPECT_EQ(2, runner.succeededCount.load());

    ASSERT_TRUE(WaitForEnd());
    runner.errorText = L"old message";
    ASSERT_EQ(BatchRunner::Started, runner.StartRun(VQWString(), cmd, VQWString(), Targets({L"z"})));
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(1, runner.startedCount.load());
    EXPECT_EQ(1, runner.succeededCount.load());
    EXPECT_TRUE(runner.errorText.IsEmpty());

    runner.DestroyWorker();
    EXPECT_EQ(BatchRunner::NotStarted, runner.StartRun(pre, cmd, dir, list));
}
