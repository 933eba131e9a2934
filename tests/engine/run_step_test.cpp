#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "engine/batch_runner.h"
#include "tests/support/child_program.h"
#include "tests/support/temp_dir.h"

namespace {

std::wstring W(const VQWString& s) { return std::wstring(s.Text(), s.GetLength()); }

std::wstring FillPattern(size_t n) {
    std::wstring text;
    for (size_t i = 0; i < n; ++i) text += static_cast<wchar_t>(ChildFillByte(i));
    return text;
}

class RunStepTest : public testing::Test {
protected:
    // The step only reads the worker's flags: an uncreated worker will do.
    bool Step(const std::wstring& templ, VQWString* capture, const wchar_t* pre = L"") {
        return runner.RunStep(worker, VQWString(templ.c_str()), VQWString(L"C:\\data\\img01.jpg"), VQWString(pre),
                              capture);
    }

    // Runs a captured step that must succeed; returns what it captured.
    std::wstring Captured(const std::wstring& arguments, const wchar_t* pre = L"") {
        VQWString capture(L"stale");
        EXPECT_TRUE(Step(child + arguments, &capture, pre));
        return W(capture);
    }

    BatchRunner runner;
    VQWin32ThreadEx worker{nullptr};
    TempDir temp;
    const std::wstring child = ChildProgram();
};

}  // namespace

TEST_F(RunStepTest, CapturesNothingFromASilentChild) {
    EXPECT_EQ(L"", Captured(L""));
    EXPECT_TRUE(runner.errorText.IsEmpty());
}

TEST_F(RunStepTest, CapturesLargeOutputWhole) {
    for (size_t n : {size_t(2049), size_t(300000)}) {
        EXPECT_TRUE(Captured(L" fill " + std::to_wstring(n)) == FillPattern(n))
            << "bytes lost or out of order for " << n;
    }
}

TEST_F(RunStepTest, StandardErrorGoesToTheSamePipe) {
    EXPECT_EQ(L"only errors\n", Captured(L" err \"only errors\\n\""));
    EXPECT_EQ(L"one,two,three", Captured(L" out one, err two, out three"));
}

TEST_F(RunStepTest, CaptureIsDecodedInTheAnsiCodePageWithoutDetection) {
    // UTF-8 for 日本, read byte for byte as Shift-JIS.
    EXPECT_EQ(L"\u8b4c\uff65\u8b5b\uff6c", Captured(L" out \\xE6\\x97\\xA5\\xE6\\x9C\\xAC"));
    EXPECT_EQ(L"\u3042\u3044", Captured(L" out \\x82\\xA0\\x82\\xA2"));
}

TEST_F(RunStepTest, ExpandsTheTemplateWithThePreOutput) {
    EXPECT_EQ(L"img01|a  b  |$", Captured(L" out \"$title|$pre|$$\"", L"a  b  "));
}

TEST_F(RunStepTest, ExitCodeIsNotLookedAt) {
    EXPECT_EQ(L"bye", Captured(L" out bye exit 3"));
    EXPECT_TRUE(Step(child + L" exit 1", nullptr));
}

TEST_F(RunStepTest, UncapturedCommandRunsToItsEnd) {
    std::wstring marker = temp.Join(L"done.txt");
    EXPECT_TRUE(Step(child + L" sleep 300 write \"" + marker + L"\" x", nullptr));
    EXPECT_TRUE(FileExists(marker)) << "the step waits for the child";
}

TEST_F(RunStepTest, MissingProgramFailsWithTheCommandLine) {
    std::wstring line = L"C:\\no\\such\\program_qb.exe \"$name\"";
    VQWString capture(L"kept");
    EXPECT_FALSE(Step(line, &capture));
    EXPECT_EQ(L"コマンドの実行に失敗しました。\nC:\\no\\such\\program_qb.exe \"img01.jpg\"", W(runner.errorText));
    EXPECT_EQ(L"kept", W(capture));

    runner.errorText = L"";
    EXPECT_FALSE(Step(L"C:\\no\\such\\program_qb.exe", nullptr));
    EXPECT_EQ(L"コマンドの実行に失敗しました。\nC:\\no\\such\\program_qb.exe", W(runner.errorText));
}

TEST_F(RunStepTest, AFailedExpansionLaunchesNothing) {
    std::wstring marker = temp.Join(L"ran.txt");
    std::wstring line = child + L" write \"" + marker + L"\" $name$bogus";
    VQWString capture(L"kept");
    EXPECT_FALSE(Step(line, &capture));
    std::wstring expanded = child + L" write \"" + marker + L"\" img01.jpg";
    EXPECT_EQ(L"文法が間違ってます。\n" + expanded + L" >> $bogus", W(runner.errorText));
    EXPECT_EQ(L"kept", W(capture));
    Sleep(300);
    EXPECT_FALSE(FileExists(marker));
}

TEST_F(RunStepTest, StopReturnsSoonAndLeavesTheChildRunning) {
    for (bool capturing : {true, false}) {
        std::wstring marker = temp.Join(capturing ? L"alive1.txt" : L"alive2.txt");
        worker.cancel = false;
        std::atomic<DWORD> stoppedAt{0};
        std::thread stopper([this, &stoppedAt] {
            Sleep(800);
            stoppedAt = GetTickCount();
            worker.cancel = true;
        });
        VQWString capture;
        // Only the captured child prints: the other one's output would land in the test's own.
        std::wstring print = capturing ? L" out early" : L"";
        bool ok = Step(child + print + L" sleep 3000 write \"" + marker + L"\" x", capturing ? &capture : nullptr);
        DWORD returnedAt = GetTickCount();
        stopper.join();
        EXPECT_FALSE(ok);
        EXPECT_LT(returnedAt - stoppedAt, 2000u);
        EXPECT_FALSE(FileExists(marker)) << "the step returned before the child ended";
        if (capturing) {
            EXPECT_EQ(L"early", W(capture)) << "what was read before the stop is kept";
        }
        EXPECT_TRUE(FileAppearsWithin(marker, 15000)) << "the child was not killed";
        EXPECT_TRUE(runner.errorText.IsEmpty());
    }
}

TEST_F(RunStepTest, QuitStopsTheStepToo) {
    worker.quit = true;
    VQWString capture(L"old");
    DWORD start = GetTickCount();
    EXPECT_FALSE(Step(child + L" sleep 1000", &capture));
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_TRUE(capture.IsEmpty());
}
