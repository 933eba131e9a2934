#include "app/unattended_start.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace {

std::wstring W(const VQWString& s) { return std::wstring(s.Text(), s.GetLength()); }

UnattendedRunEnd Ended(const RunSummary& counts, int targets) {
    UnattendedRunEnd end;
    end.counts = counts;
    end.targets = targets;
    return end;
}

// Every unit of the literal, its NULs included, the last one left out.
template <size_t N>
std::wstring Units(const wchar_t (&text)[N]) { return std::wstring(text, N - 1); }

COPYDATASTRUCT Data(const std::wstring& units) {
    COPYDATASTRUCT data = {};
    data.dwData = kHandOverData;
    data.cbData = static_cast<DWORD>(units.size() * sizeof(wchar_t));
    data.lpData = const_cast<wchar_t*>(units.data());
    return data;
}

}  // namespace

TEST(UnattendedRun, EachEndGivesItsExitCodeAndItsReport) {
    // Where the start ends: closed before it began, ruled out by the loading,
    // refused by the run, closed while running, at the run's end, or a plan.
    enum Until { kStart, kBlocked, kRefused, kRunning, kEnd, kPlan, kPlanNotWritten };
    UnattendedRunEnd failed = Ended({2, 0, 3, 0, 1}, 6);
    failed.failures = {L"C:\\a.jpg: 終了コード 1", L"C:\\b.jpg: 時間切れ"};
    failed.moreFailures = 1;
    failed.resultsFile = L"C:\\results.csv";
    const struct {
        Until until;
        std::vector<const wchar_t*> boxes;  // of the loading; kBlocked: from the second on they block
        const wchar_t* runBox;              // of the run's start, or null
        bool missing;                       // a path named nothing
        UnattendedRunEnd end;
        int code;
        std::wstring report;
    } cases[] = {
        {kStart, {}, nullptr, false, {}, kExitNotStarted, L"Quenbrix: the run did not start: the window was closed\n"},
        {kBlocked, {L"note\r\n\r\nline", L"読めません。", L"ない。\nC:\\l.txt"}, nullptr, false, {}, kExitNotStarted,
         L"Quenbrix: note / line\nQuenbrix: the run did not start: 読めません。 / ない。 / C:\\l.txt\n"},
        {kRefused, {L"loading"}, L"refused", false, {}, kExitNotStarted,
         L"Quenbrix: loading\nQuenbrix: the run did not start: refused\n"},
        {kRefused, {}, nullptr, false, {}, kExitNotStarted,
         L"Quenbrix: the run did not start: 実行を開始できませんでした。\n"},
        {kRunning, {}, nullptr, false, {}, kExitSomeNotDone, L"Quenbrix: the run was ended before its end\n"},
        {kEnd, {L"loading"}, L"error", false, failed, kExitSomeNotDone,
         L"Quenbrix: 2 done, 3 failed, 1 not run; results: C:\\results.csv\nQuenbrix: failed: C:\\a.jpg: 終了コード 1\n"
         L"Quenbrix: failed: C:\\b.jpg: 時間切れ\nQuenbrix: 1 more failed\nQuenbrix: loading\nQuenbrix: error\n"},
        {kEnd, {}, nullptr, false, Ended({1, 0, 0, 2, 1}, 4), kExitSomeNotDone,
         L"Quenbrix: 1 done, 0 failed, 2 stopped, 1 not run\n"},
        {kEnd, {}, nullptr, false, Ended({2, 1, 0, 0, 0}, 3), kExitAllDone,
         L"Quenbrix: 2 done, 1 skipped, 0 failed, 0 not run\n"},
        {kEnd, {}, nullptr, true, Ended({1, 0, 0, 0, 0}, 1), kExitSomeNotDone,
         L"Quenbrix: 1 done, 0 failed, 0 not run\n"},
        {kPlan, {L"list"}, nullptr, false, {}, kExitAllDone, L"Quenbrix: list\nQuenbrix: plan of 4 files: C:\\p.csv\n"},
        {kPlan, {}, nullptr, true, {}, kExitSomeNotDone, L"Quenbrix: plan of 4 files: C:\\p.csv\n"},
        {kPlanNotWritten, {}, nullptr, false, {}, kExitNotStarted, L"Quenbrix: the plan was not written: denied\n"},
    };
    int n = 0;
    for (const auto& c : cases) {
        UnattendedRun run;
        ++n;
        for (size_t i = 0; i < c.boxes.size(); ++i) {
            if (c.until == kBlocked && i > 0) run.Block(i);
            run.NoteBox(c.boxes[i]);
        }
        run.Begin(c.missing);
        if (c.until == kBlocked) run.EndBlocked();
        if (c.until == kPlan || c.until == kPlanNotWritten) {
            run.EndPlan(c.until == kPlan, L"C:\\p.csv", 4, L"denied\r\n");
        }
        if (c.until >= kRefused && c.until <= kEnd) {
            run.RunStarting();
            if (c.runBox) run.NoteBox(c.runBox);
            EXPECT_EQ(c.until != kRefused, run.RunStarted(c.until != kRefused)) << n;
        }
        if (c.until == kEnd) run.EndRun(c.end);
        EXPECT_EQ(c.code, run.ExitCode()) << n;
        EXPECT_EQ(c.report, W(run.Report())) << n;
        EXPECT_EQ(c.until == kRunning, run.Running()) << n;
    }
}

TEST(HandOver, WhatIsPackedUnpacksAsItWas) {
    for (const HandOver& sent : {HandOver{VQWString(L"D:\\USB\\QUENBRIX.INI"), {L"C:\\a b.txt", L"D:\\写真"}},
                                 HandOver{VQWString(), {L"C:\\x"}}}) {
        std::wstring packed = PackHandOver(sent);
        COPYDATASTRUCT data = Data(packed);
        HandOver got{VQWString(L"old"), {L"old"}};
        ASSERT_TRUE(UnpackHandOver(&data, got));
        EXPECT_EQ(W(sent.placeKey), W(got.placeKey));
        ASSERT_EQ(sent.paths.size(), got.paths.size());
        for (size_t i = 0; i < sent.paths.size(); ++i) EXPECT_EQ(W(sent.paths[i]), W(got.paths[i])) << i;
    }
}

TEST(HandOver, DataOfAnotherKindOrCutShortIsRefusedAndEmptyOrUnendedPathsPassedOver) {
    const std::wstring gaps = Units(L"key\0\0C:\\a\0\0C:\\cut"), noKeyEnd(L"key");
    COPYDATASTRUCT data = Data(gaps), otherKind = data, oddBytes = data, noData = data, keyUnended = Data(noKeyEnd);
    otherKind.dwData = kHandOverData + 1;
    oddBytes.cbData -= 1;
    noData.lpData = nullptr;
    HandOver got;
    const COPYDATASTRUCT* refused[] = {&otherKind, &oddBytes, &noData, &keyUnended, nullptr};
    for (const COPYDATASTRUCT* bad : refused) EXPECT_FALSE(UnpackHandOver(bad, got));
    ASSERT_TRUE(UnpackHandOver(&data, got));
    EXPECT_EQ(L"key", W(got.placeKey));
    ASSERT_EQ(1u, got.paths.size());
    EXPECT_EQ(L"C:\\a", W(got.paths[0]));
}

TEST(HandOver, AJobTravelsInAKindOfItsOwnAndPlainDataStaysAsItWas) {
    const struct {
        HandOver sent;
        ULONG_PTR kind;
        std::wstring units;
    } cases[] = {
        {HandOver{VQWString(L"K"), {L"C:\\a"}, VQWString(L"写真をWebPに")}, kJobHandOverData,
         Units(L"K\0写真をWebPに\0C:\\a\0")},
        {HandOver{VQWString(), {L"C:\\a", L"D:\\b"}, VQWString()}, kHandOverData, Units(L"\0C:\\a\0D:\\b\0")},
    };
    for (const auto& c : cases) {
        std::wstring packed = PackHandOver(c.sent);
        EXPECT_EQ(c.units, packed);
        EXPECT_EQ(c.kind, HandOverKind(c.sent));
        COPYDATASTRUCT data = Data(packed);
        data.dwData = c.kind;
        HandOver got{VQWString(L"old"), {L"old"}, VQWString(L"old")};
        ASSERT_TRUE(UnpackHandOver(&data, got));
        EXPECT_EQ(W(c.sent.job), W(got.job));
        EXPECT_EQ(W(c.sent.placeKey), W(got.placeKey));
        EXPECT_EQ(c.sent.paths.size(), got.paths.size());
    }
    // A job's data without its job's end, or with an empty job, is no hand-over.
    for (const std::wstring& bad : {Units(L"K\0job"), Units(L"K\0\0C:\\a\0")}) {
        COPYDATASTRUCT data = Data(bad);
        data.dwData = kJobHandOverData;
        HandOver got;
        EXPECT_FALSE(UnpackHandOver(&data, got));
    }
}
