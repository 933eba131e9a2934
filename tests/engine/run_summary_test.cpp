#include "engine/run_summary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/run_estimate.h"

namespace {

std::wstring W(const VQWString& s) { return std::wstring(s.Text(), s.GetLength()); }

RunSummary Summary(int done, int skipped, int failed, int stopped, int notRun) {
    RunSummary s;
    s.done = done;
    s.skipped = skipped;
    s.failed = failed;
    s.stopped = stopped;
    s.notRun = notRun;
    return s;
}

}  // namespace

TEST(RunSummary, TheLineNamesSkippedAndStoppedOnlyWhenThereAreAny) {
    EXPECT_EQ(L"完了 47 件、失敗 3 件、未実行 0 件", W(FormatSummary(Summary(47, 0, 3, 0, 0))));
    EXPECT_EQ(L"完了 12 件、スキップ 9,988 件、失敗 0 件、未実行 0 件", W(FormatSummary(Summary(12, 9988, 0, 0, 0))));
    EXPECT_EQ(L"完了 0 件、失敗 1 件、停止 2 件、未実行 1,000,000 件",
              W(FormatSummary(Summary(0, 0, 1, 2, 1000000))));
    EXPECT_EQ(L"完了 1,234 件、スキップ 1 件、失敗 999 件、停止 1,000 件、未実行 0 件",
              W(FormatSummary(Summary(1234, 1, 999, 1000, 0))));
}

TEST(RunSummary, NumbersAreGroupedByThree) {
    EXPECT_EQ(L"0", W(FormatGroupedNumber(0)));
    EXPECT_EQ(L"999", W(FormatGroupedNumber(999)));
    EXPECT_EQ(L"1,000", W(FormatGroupedNumber(1000)));
    EXPECT_EQ(L"12,345,678", W(FormatGroupedNumber(12345678)));
    EXPECT_EQ(L"-100,000", W(FormatGroupedNumber(-100000)));
    EXPECT_EQ(L"2,147,483,647", W(FormatGroupedNumber(2147483647)));
}

TEST(RunSummary, RecordsAreCountedByTheirEnds) {
    TargetRecord records[9];
    const TargetStatus statuses[9] = {TargetStatus::Done,     TargetStatus::Done,    TargetStatus::Skipped,
                                      TargetStatus::TimedOut, TargetStatus::NoOutput, TargetStatus::OutputFolderFailed,
                                      TargetStatus::Stopped,  TargetStatus::NotRun,  TargetStatus::Crashed};
    for (int i = 0; i < 9; ++i) records[i].status = static_cast<int>(statuses[i]);
    RunSummary s = SummarizeRecords(records, 9);
    EXPECT_EQ(2, s.done);
    EXPECT_EQ(1, s.skipped);
    EXPECT_EQ(4, s.failed) << "time-outs and output failures are failures";
    EXPECT_EQ(1, s.stopped);
    EXPECT_EQ(1, s.notRun);
    EXPECT_TRUE(IsDoneResult(TargetStatus::Skipped));
    EXPECT_TRUE(IsDoneResult(TargetStatus::Done));
    EXPECT_FALSE(IsDoneResult(TargetStatus::Stopped));
    EXPECT_FALSE(IsFailure(TargetStatus::Skipped));
    EXPECT_STREQ(L"時間切れ", StatusText(TargetStatus::TimedOut));
    EXPECT_STREQ(L"スキップ", StatusText(TargetStatus::Skipped));
    EXPECT_STREQ(L"出力なし", StatusText(TargetStatus::NoOutput));
    EXPECT_STREQ(L"出力先エラー", StatusText(TargetStatus::OutputFolderFailed));
}

TEST(RunEstimate, ShownAfterOneFileAndFiveSeconds) {
    int64_t left = -1;
    EXPECT_FALSE(EstimateTimeLeft(0, 10, 1, 0, 60000, left)) << "nothing finished";
    EXPECT_FALSE(EstimateTimeLeft(3, 10, 1, 3000, 4999, left)) << "under 5 s";
    EXPECT_FALSE(EstimateTimeLeft(5, 10, 1, 0, 9000, left)) << "finished files took under 1 ms together";
    EXPECT_FALSE(EstimateTimeLeft(10, 10, 1, 5000, 9000, left)) << "nothing left";
    EXPECT_FALSE(EstimateTimeLeft(12, 10, 1, 5000, 9000, left)) << "more finished than total: no negative";
    EXPECT_EQ(-1, left) << "nothing written when nothing is shown";
    ASSERT_TRUE(EstimateTimeLeft(3, 10, 1, 3000, 5000, left));
    EXPECT_EQ(7000, left) << "1 s a file, 7 files";
}

TEST(RunEstimate, SlotsShareTheRest) {
    int64_t left = 0;
    // 37 of 120 done, 2 s a file, 4 at once: 83 × 2 s / 4.
    ASSERT_TRUE(EstimateTimeLeft(37, 120, 4, 74000, 30000, left));
    EXPECT_EQ(41500, left);
    // Fewer left than slots: they all run at once, one file's time.
    ASSERT_TRUE(EstimateTimeLeft(10, 12, 8, 20000, 10000, left));
    EXPECT_EQ(2000, left);
    // A slot count below 1 counts as one.
    ASSERT_TRUE(EstimateTimeLeft(1, 3, 0, 1000, 6000, left));
    EXPECT_EQ(2000, left);
    // Absurd figures show nothing rather than a wrapped or endless value.
    EXPECT_FALSE(EstimateTimeLeft(1, 2000000000, 1, int64_t(1) << 40, 6000, left));
}

TEST(RunEstimate, TextInSecondsMinutesThenHours) {
    EXPECT_EQ(L"残り約 1秒", W(FormatTimeLeft(1)));
    EXPECT_EQ(L"残り約 1秒", W(FormatTimeLeft(0)));
    EXPECT_EQ(L"残り約 45秒", W(FormatTimeLeft(44200)));
    EXPECT_EQ(L"残り約 59秒", W(FormatTimeLeft(59000)));
    EXPECT_EQ(L"残り約 1分", W(FormatTimeLeft(59001)));
    EXPECT_EQ(L"残り約 4分", W(FormatTimeLeft(4 * 60000 + 20000)));
    EXPECT_EQ(L"残り約 5分", W(FormatTimeLeft(4 * 60000 + 30000)));
    EXPECT_EQ(L"残り約 119分", W(FormatTimeLeft(119 * 60000 + 29000)));
    EXPECT_EQ(L"残り約 2時間", W(FormatTimeLeft(119 * 60000 + 31000)));
    EXPECT_EQ(L"残り約 2時間5分", W(FormatTimeLeft(125 * 60000)));
    EXPECT_EQ(L"残り約 26時間40分", W(FormatTimeLeft(int64_t(1600) * 60000)));
    EXPECT_EQ(L"残り約 1秒", W(FormatTimeLeft(-5000))) << "never negative";
}

TEST(RunSummary, FailuresAreListedWithTheirReasonsUpToALimit) {
    VQArray<VQWString, VQWString> targets;
    TargetRecord records[5];
    const TargetStatus statuses[] = {TargetStatus::Done, TargetStatus::NonZeroExit, TargetStatus::Stopped,
                                     TargetStatus::NoOutput, TargetStatus::TimedOut};
    for (int i = 0; i < 5; ++i) {
        targets.Add(VQWString().Format(L"C:\\%d.txt", i));
        records[i].status = static_cast<int>(statuses[i]);
    }
    records[1].errorText = VQWString(L"終了コード 1 で終了しました。　X [ERROR] bad\nx a.js");
    int more = -1;
    std::vector<VQWString> lines = ListFailures(targets, records, 5, 2, &more);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(L"C:\\1.txt: 終了コード 1 で終了しました。　X [ERROR] bad", W(lines[0]));
    EXPECT_EQ(L"C:\\3.txt: 出力なし", W(lines[1])) << "without a message, the status word";
    EXPECT_EQ(1, more);
}
