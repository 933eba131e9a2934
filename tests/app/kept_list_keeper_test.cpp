// The kept list's glue without a window: the rewrite after edits on a
// clock of the test's own, and what a run's start, its targets and its end
// leave for the next start.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/kept_list_keeper.h"
#include "tests/support/temp_dir.h"

namespace {

typedef std::vector<std::wstring> Paths;

DWORD fakeNow = 0;
DWORD WINAPI FakeNow() { return fakeNow; }

struct FakeWindow : KeptListEvents {
    RunState state = RunState::Idle;
    int failuresTold = 0;
    RunState KeptListRunState() override { return state; }
    bool KeptListRemovesDone() override { return true; }
    void OnKeptListComing() override {}
    void OnKeptListCountChanged() override {}
    void TellKeptListDamage(const VQWString&) override {}
    void TellKeptListFailure(const VQWString&) override { ++failuresTold; }
};

struct Kept {
    TempDir data;
    std::wstring folder = data.MakeDir(L"Quenbrix");
    TargetListModel model;
    FakeWindow window;
    KeptListKeeper keeper{model, window};

    // unwritable: a folder where the list's file should be, so every rewrite fails.
    explicit Kept(bool unwritable = false) {
        if (unwritable) data.MakeDir(L"Quenbrix\\targets.txt");
        keeper.tickCount = FakeNow;
        keeper.Restore(VQWString(folder.c_str()), KeptListChoice());
    }
    void Add(const wchar_t* path) {
        model.Add(VQWString(path), VQWString());
        keeper.Changed();
    }
    // What the next start reads: the list with its journals.
    Paths NextStart() {
        keeper.Close();
        KeptList next;
        std::vector<KeptEntry> entries;
        KeptListReport report;
        next.Open(VQWString(folder.c_str()), entries, report);
        Paths shown;
        for (const KeptEntry& entry : entries) {
            shown.push_back(std::wstring(entry.path.Text()) + (entry.running ? L"|running" : L"") +
                            (entry.failed ? L"|failed" : L""));
        }
        return shown;
    }
};

}  // namespace

TEST(KeptListKeeper, AnEditIsRewrittenHalfASecondAfterTheLastOneWhileIdle) {
    const DWORD late = 0xFFFFFF00;
    struct Case {
        const char* what;
        DWORD editAt, againAt, tickAt;  // againAt 0: one edit
        RunState state;
        bool rewritten;
    } cases[] = {
        {"just before the half second", 1000, 0, 1499, RunState::Idle, false},
        {"at the half second", 1000, 0, 1500, RunState::Idle, true},
        {"a second edit starts the wait again", 1000, 1300, 1700, RunState::Idle, false},
        {"half a second after the second edit", 1000, 1300, 1800, RunState::Idle, true},
        {"the clock wraps meanwhile", late, 0, late + 500, RunState::Idle, true},
        {"not while a run is going", 1000, 0, 9000, RunState::Running, false},
    };
    for (const Case& c : cases) {
        Kept kept;
        fakeNow = c.editAt;
        kept.Add(L"C:\\a.txt");
        if (c.againAt) {
            fakeNow = c.againAt;
            kept.Add(L"C:\\b.txt");
        }
        fakeNow = c.tickAt;
        kept.window.state = c.state;
        kept.keeper.Tick(true);
        EXPECT_EQ(c.rewritten, !kept.NextStart().empty()) << c.what;
    }
}

TEST(KeptListKeeper, WhatARunRecordsIsThereForTheNextStart) {
    struct Case {
        const char* what;
        std::function<void(Kept&)> during;
        Paths nextStart;
    } cases[] = {
        {"its start writes the edit not written yet", [](Kept&) {}, {L"C:\\a.txt", L"C:\\b.txt"}},
        {"a target begun is running", [](Kept& k) { k.keeper.RecordBegun(L"C:\\a.txt"); },
         {L"C:\\a.txt|running", L"C:\\b.txt"}},
        {"a target done leaves the list", [](Kept& k) { k.keeper.RecordFinished(L"C:\\a.txt", TargetStatus::Done); },
         {L"C:\\b.txt"}},
        {"a failed one stays, marked", [](Kept& k) { k.keeper.RecordFinished(L"C:\\b.txt", TargetStatus::Crashed); },
         {L"C:\\a.txt", L"C:\\b.txt|failed"}},
        {"a stopped one stays running", [](Kept& k) { k.keeper.RecordFinished(L"C:\\a.txt", TargetStatus::Stopped); },
         {L"C:\\a.txt|running", L"C:\\b.txt"}},
        {"a file dropped meanwhile is recorded", [](Kept& k) { k.Add(L"C:\\c.txt"); },
         {L"C:\\a.txt", L"C:\\b.txt", L"C:\\c.txt"}},
        {"its end makes the outcomes the entries' marks, and the rewrite keeps them", [](Kept& k) {
             k.keeper.KeepRunResult(0, TargetStatus::TimedOut);
             k.keeper.KeepRunResult(1, TargetStatus::NotRun);
             k.window.state = RunState::Idle;
             k.keeper.Save();
         }, {L"C:\\a.txt|failed", L"C:\\b.txt"}},
    };
    for (const Case& c : cases) {
        Kept kept;
        fakeNow = 1000;
        kept.Add(L"C:\\a.txt");
        kept.Add(L"C:\\b.txt");
        kept.window.state = RunState::Running;
        kept.model.BeginRun(nullptr);
        kept.keeper.AtRunStart();
        c.during(kept);
        EXPECT_TRUE(kept.keeper.ResultsNotes().IsEmpty()) << c.what;
        EXPECT_EQ(c.nextStart, kept.NextStart()) << c.what;
    }
}

TEST(KeptListKeeper, AListThatCannotBeWrittenIsToldOnceAndNotedForTheRun) {
    Kept kept(true);
    kept.Add(L"C:\\a.txt");
    kept.window.state = RunState::Running;
    kept.keeper.AtRunStart();
    // The writer fails in its own time.
    for (DWORD start = GetTickCount(); kept.window.failuresTold == 0 && GetTickCount() - start < 20000; Sleep(10)) {
        kept.keeper.Tick(true);
    }
    EXPECT_EQ(1, kept.window.failuresTold);
    kept.window.state = RunState::Idle;
    fakeNow = 1000;
    kept.Add(L"C:\\b.txt");
    fakeNow = 2000;
    kept.keeper.Tick(true);
    kept.keeper.Close();  // past the second failed rewrite
    kept.keeper.Tick(true);
    EXPECT_EQ(1, kept.window.failuresTold) << "a spell of failures is told once";
    EXPECT_FALSE(kept.keeper.ResultsNotes().IsEmpty());
}
