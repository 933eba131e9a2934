#include "app/target_list_model.h"

#include "settings/kept_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Paths(const TargetListModel& model) {
    std::vector<std::wstring> paths;
    for (int i = 0; i < model.GetCount(); ++i) paths.push_back(model.PathAt(i).Text());
    return paths;
}

std::vector<int> Numbers(const TargetListModel& model) {
    std::vector<int> numbers;
    for (int i = 0; i < model.GetCount(); ++i) numbers.push_back(model.At(i).number);
    return numbers;
}

void AddAll(TargetListModel& model, const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths) model.Add(VQWString(path.c_str()), VQWString());
}

EntryResult Result(TargetStatus status, DWORD ms = 0) {
    EntryResult result;
    result.status = status;
    result.milliseconds = ms;
    return result;
}

// The model after a whole run that gave these statuses, one per entry in order.
void RunWith(TargetListModel& model, const std::vector<TargetStatus>& statuses) {
    model.BeginRun(nullptr);
    for (size_t i = 0; i < statuses.size(); ++i) model.SetRunResult(static_cast<int>(i), Result(statuses[i]));
}

}  // namespace

TEST(TargetListModelAdding, KeepsOrderNumbersAndRoots) {
    TargetListModel model;
    EXPECT_TRUE(model.Add(VQWString(L"D:\\写真\\2026\\旅行\\a.jpg"), VQWString(L"D:\\写真\\")));
    EXPECT_TRUE(model.Add(VQWString(L"C:\\one.txt"), VQWString()));
    ASSERT_EQ(2, model.GetCount());
    EXPECT_STREQ(L"D:\\写真\\", model.At(0).root.Text());
    EXPECT_TRUE(model.At(1).root.IsEmpty());
    EXPECT_EQ((std::vector<int>{1, 2}), Numbers(model));
}

TEST(TargetListModelAdding, RefusesAFileSpelledAnotherWay) {
    TargetListModel model;
    EXPECT_TRUE(model.Add(VQWString(L"C:\\Data\\a.jpg"), VQWString()));
    EXPECT_FALSE(model.Add(VQWString(L"c:\\data\\.\\A.JPG"), VQWString()));
    EXPECT_FALSE(model.Add(VQWString(L"C:\\data\\sub\\..\\a.jpg"), VQWString()));
    EXPECT_EQ(1, model.GetCount());
    EXPECT_EQ(0, model.Find(VQWString(L"C:\\DATA\\A.jpg")));
    EXPECT_EQ(-1, model.Find(VQWString(L"C:\\Data\\b.jpg")));
}

TEST(TargetListModelAdding, AFileThatLeftCanComeBackAndTheRuleHoldsAfterRemovals) {
    TargetListModel model;
    AddAll(model, {L"C:\\a", L"C:\\b", L"C:\\c"});
    EXPECT_EQ(1, model.Remove({1}));
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\a", L"C:\\c"}), Paths(model));
    EXPECT_EQ(1, model.Find(VQWString(L"C:\\c")));
    EXPECT_TRUE(model.Add(VQWString(L"C:\\B"), VQWString()));
    EXPECT_FALSE(model.Add(VQWString(L"C:\\c"), VQWString()));
    // The one that came back is the newest by the order of adding.
    EXPECT_EQ((std::vector<int>{1, 3, 4}), Numbers(model));
}

TEST(TargetListModelAdding, KeptEntriesComeBackWithoutALookAndStillRefuseDuplicates) {
    TargetListModel model;
    model.AddKnownUnique(VQWString(L"C:\\x\\1.txt"), VQWString(L"C:\\x\\"), true);
    model.AddKnownUnique(VQWString(L"C:\\x\\2.txt"), VQWString(L"C:\\x\\"), false);
    EXPECT_TRUE(model.At(0).running);
    EXPECT_FALSE(model.Add(VQWString(L"c:\\X\\2.TXT"), VQWString()));
    EXPECT_TRUE(model.Add(VQWString(L"C:\\x\\3.txt"), VQWString()));
    EXPECT_EQ(3, model.GetCount());
}

TEST(TargetListModelAdding, AKeptListThatComesInLateGoesFirstAndWhatWasAddedFollowsOnce) {
    TargetListModel model;
    AddAll(model, {L"C:\\new\\b.txt", L"C:\\KEPT\\TWO.TXT", L"C:\\new\\a.txt"});
    model.Sort(TargetColumn::Name, false);
    ASSERT_EQ((std::vector<std::wstring>{L"C:\\new\\a.txt", L"C:\\new\\b.txt", L"C:\\KEPT\\TWO.TXT"}), Paths(model));
    RunWith(model, {TargetStatus::Done, TargetStatus::Done, TargetStatus::Done});
    std::vector<KeptEntry> kept = {{VQWString(L"C:\\kept\\one.txt"), VQWString(L"C:\\kept\\"), true},
                                   {VQWString(L"C:\\kept\\two.txt"), VQWString(), false}};
    EXPECT_EQ(1, model.PutFirst(kept)) << "the second spelling of a kept file is left out";
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\kept\\one.txt", L"C:\\kept\\two.txt", L"C:\\new\\a.txt",
                                         L"C:\\new\\b.txt"}),
              Paths(model))
        << "the entries added meanwhile keep the order they had";
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), Numbers(model));
    EXPECT_EQ(L"C:\\kept\\", std::wstring(model.At(0).root.Text()));
    EXPECT_TRUE(model.At(0).running);
    EXPECT_EQ(nullptr, model.ResultOf(2));
    EXPECT_EQ(3, model.Find(VQWString(L"c:\\NEW\\b.txt")));
    EXPECT_FALSE(model.Add(VQWString(L"C:\\Kept\\One.txt"), VQWString())) << "the rule covers the kept entries";
}

TEST(TargetListModelAdding, TruncateTakesBackABatch) {
    TargetListModel model;
    AddAll(model, {L"C:\\a", L"C:\\b", L"C:\\c"});
    model.Truncate(1);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\a"}), Paths(model));
    EXPECT_TRUE(model.Add(VQWString(L"C:\\b"), VQWString()));
}

TEST(TargetListModelAdding, TheDuplicateRuleStaysExactAtScale) {
    TargetListModel model;
    const int kCount = 200000;
    model.Reserve(kCount);
    wchar_t path[64];
    for (int i = 0; i < kCount; ++i) {
        wsprintfW(path, L"C:\\photos\\%03d\\IMG_%06d.jpg", i % 500, i);
        ASSERT_TRUE(model.Add(VQWString(path), VQWString()));
    }
    // Every one again, spelled in other case: none is taken.
    int taken = 0;
    for (int i = 0; i < kCount; i += 7) {
        wsprintfW(path, L"c:\\PHOTOS\\%03d\\img_%06d.JPG", i % 500, i);
        if (model.Add(VQWString(path), VQWString())) ++taken;
    }
    EXPECT_EQ(0, taken);
    std::vector<int> everyOther;
    for (int i = 0; i < kCount; i += 2) everyOther.push_back(i);
    EXPECT_EQ(kCount / 2, model.Remove(everyOther));
    // The removed come back, the others still do not.
    wsprintfW(path, L"C:\\photos\\%03d\\IMG_%06d.jpg", 0, 0);
    EXPECT_TRUE(model.Add(VQWString(path), VQWString()));
    wsprintfW(path, L"C:\\photos\\%03d\\IMG_%06d.jpg", 1, 1);
    EXPECT_FALSE(model.Add(VQWString(path), VQWString()));
    EXPECT_EQ(kCount / 2 + 1, model.GetCount());
}

TEST(TargetListModelSorting, NamesInNaturalOrderAndNumberRestoresAdding) {
    TargetListModel model;
    AddAll(model, {L"C:\\b\\IMG_10.jpg", L"C:\\a\\IMG_2.jpg", L"C:\\c\\img_1.jpg", L"C:\\a\\IMG_100.jpg"});
    model.Sort(TargetColumn::Name, false);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\c\\img_1.jpg", L"C:\\a\\IMG_2.jpg", L"C:\\b\\IMG_10.jpg",
                                         L"C:\\a\\IMG_100.jpg"}),
              Paths(model));
    model.Sort(TargetColumn::Name, true);
    EXPECT_EQ(L"C:\\a\\IMG_100.jpg", Paths(model).front());
    model.Sort(TargetColumn::Number, false);
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), Numbers(model));
    EXPECT_EQ(L"C:\\b\\IMG_10.jpg", Paths(model).front());
    // The duplicate rule follows the entries to their new places.
    model.Sort(TargetColumn::Name, false);
    EXPECT_EQ(3, model.Find(VQWString(L"C:\\A\\img_100.JPG")));
}

// The sort compares keys made once; they must give the order CompareNatural
// gives, names that compare equal keeping the order they had.
TEST(TargetListModelSorting, KeysGiveTheOrderOfTheComparison) {
    std::vector<std::wstring> names = {L"file-1.txt", L"file_1.txt", L"file 1.txt", L"file1.txt", L"x007.txt",
                                       L"x7.txt",     L"X7.TXT",     L"写真 10.jpg", L"写真 2.jpg", L"ｘ7.txt",
                                       L"a",          L"A",          L"a.b.c",      L"IMG_9",     L"IMG_10",
                                       L"~$tmp",      L"#1",         L"１２.txt",   L"2.txt",     L"é.txt",
                                       L"e.txt"};
    TargetListModel model;
    for (size_t i = 0; i < names.size(); ++i) {
        model.Add(VQWString((L"C:\\d" + std::to_wstring(i) + L"\\" + names[i]).c_str()), VQWString());
    }
    std::vector<std::wstring> expected = names;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const std::wstring& a, const std::wstring& b) { return CompareNatural(a.c_str(), b.c_str()) < 0; });
    model.Sort(TargetColumn::Name, false);
    std::vector<std::wstring> sorted;
    for (int i = 0; i < model.GetCount(); ++i) sorted.push_back(NameOfPath(model.PathAt(i)).Text());
    EXPECT_EQ(expected, sorted);
}

TEST(TargetListModelSorting, FolderThenName) {
    TargetListModel model;
    AddAll(model, {L"C:\\f10\\a", L"C:\\f2\\b", L"C:\\f2\\a"});
    model.Sort(TargetColumn::Folder, false);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\f2\\a", L"C:\\f2\\b", L"C:\\f10\\a"}), Paths(model));
}

TEST(TargetListModelSorting, ResultsFailedStoppedNotRunDoneAndStable) {
    TargetListModel model;
    AddAll(model, {L"C:\\1", L"C:\\2", L"C:\\3", L"C:\\4", L"C:\\5", L"C:\\6", L"C:\\7"});
    RunWith(model, {TargetStatus::Done, TargetStatus::NonZeroExit, TargetStatus::NotRun, TargetStatus::Stopped,
                    TargetStatus::Done, TargetStatus::Crashed, TargetStatus::NotRun});
    model.Sort(TargetColumn::Status, false);
    EXPECT_EQ((std::vector<int>{2, 6, 4, 3, 7, 1, 5}), Numbers(model));
    // Reversed, entries with equal keys keep their order.
    model.Sort(TargetColumn::Status, true);
    EXPECT_EQ((std::vector<int>{1, 5, 3, 7, 4, 2, 6}), Numbers(model));
    // The results went with their entries.
    EXPECT_EQ(TargetStatus::Done, model.StatusOf(0));
    EXPECT_EQ(TargetStatus::Stopped, model.StatusOf(4));
}

TEST(TargetListModelSorting, TheStatusGivenDecidesDuringARun) {
    TargetListModel model;
    AddAll(model, {L"C:\\1", L"C:\\2", L"C:\\3"});
    model.Sort(TargetColumn::Status, false, [](int index) {
        return index == 2 ? TargetStatus::Running : TargetStatus::NotRun;
    });
    EXPECT_EQ((std::vector<int>{3, 1, 2}), Numbers(model));
}

TEST(TargetListModelSorting, TimeAndExitCode) {
    TargetListModel model;
    AddAll(model, {L"C:\\1", L"C:\\2", L"C:\\3"});
    model.BeginRun(nullptr);
    EntryResult slow = Result(TargetStatus::Done, 900), quick = Result(TargetStatus::Done, 5);
    slow.commandEnded = quick.commandEnded = true;
    slow.commandExitCode = 3;
    quick.commandExitCode = 1;
    model.SetRunResult(0, slow);
    model.SetRunResult(2, quick);
    model.Sort(TargetColumn::Time, true);
    EXPECT_EQ((std::vector<int>{1, 3, 2}), Numbers(model));
    // Entries without a code after those with one.
    model.Sort(TargetColumn::ExitCode, false);
    EXPECT_EQ((std::vector<int>{3, 1, 2}), Numbers(model));
}

TEST(TargetListModelRun, OnlyTheChosenRunAndTheOthersKeepTheirResults) {
    TargetListModel model;
    AddAll(model, {L"C:\\1", L"C:\\2", L"C:\\3", L"C:\\4"});
    RunWith(model, {TargetStatus::Done, TargetStatus::NonZeroExit, TargetStatus::Done, TargetStatus::Crashed});
    std::vector<int> only = {3, 1};
    model.BeginRun(&only);
    EXPECT_EQ(2, model.RunCount());
    EXPECT_EQ(3, model.EntryOfRunIndex(0));
    EXPECT_EQ(1, model.EntryOfRunIndex(1));
    EXPECT_EQ(-1, model.At(0).runIndex);
    EXPECT_EQ(nullptr, model.ResultOf(1));
    EXPECT_EQ(TargetStatus::Done, model.StatusOf(0));
    model.SetRunResult(0, Result(TargetStatus::Done));
    model.SetRunResult(1, Result(TargetStatus::Done));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(TargetStatus::Done, model.StatusOf(i)) << i;
}

TEST(TargetListModelRun, ResultsFollowEntriesSortedOrRemovedDuringTheRun) {
    TargetListModel model;
    AddAll(model, {L"C:\\b", L"C:\\a", L"C:\\c"});
    model.BeginRun(nullptr);
    model.Sort(TargetColumn::Name, false);
    model.Remove({2});  // C:\c
    model.SetRunResult(0, Result(TargetStatus::Crashed));  // C:\b, now at 1
    model.SetRunResult(2, Result(TargetStatus::Done));     // gone: nothing happens
    EXPECT_EQ(-1, model.EntryOfRunIndex(2));
    EXPECT_EQ(TargetStatus::Crashed, model.StatusOf(1));
    EXPECT_EQ(TargetStatus::NotRun, model.StatusOf(0));
}

// A run as the runner makes it, followed now and then as the window's timer
// does: after each look every entry's shown status, the running totals and
// the last running entry must be what a walk over the whole list gives.
TEST(TargetListModelRun, RunningTotalsEqualARecountThroughoutARun) {
    struct Case {
        const char* what;
        int entries;
        int slots;
        int onlyEvery;    // 0: the whole list; else every n-th entry runs
        int skipEvery;    // 0: none skipped; else every n-th target is
        int followEvery;  // steps between looks
        int stopAfter;    // targets begun before a stop; -1: no stop
    } cases[] = {
        {"one slot, every step looked at", 40, 1, 0, 0, 1, -1},
        {"four slots, looks seldom", 200, 4, 0, 0, 7, -1},
        {"skipped targets, a stop", 300, 3, 0, 4, 3, 120},
        {"the chosen entries only", 150, 2, 3, 5, 2, -1},
        {"many slots, a stop at once", 90, 16, 0, 0, 5, 10},
    };
    const TargetStatus ends[] = {TargetStatus::Done, TargetStatus::NonZeroExit, TargetStatus::Done,
                                 TargetStatus::Crashed, TargetStatus::Done, TargetStatus::TimedOut};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TargetListModel model;
        for (int i = 0; i < c.entries; ++i) model.Add(VQWString().Format(L"C:\\d\\%d.txt", i), VQWString());
        // An earlier run left results; the chosen ones lose theirs.
        RunWith(model, std::vector<TargetStatus>(static_cast<size_t>(c.entries / 2), TargetStatus::NonZeroExit));
        std::vector<int> only;
        for (int i = 0; c.onlyEvery > 0 && i < c.entries; i += c.onlyEvery) only.push_back(i);
        int targets = c.onlyEvery > 0 ? static_cast<int>(only.size()) : c.entries;
        std::vector<bool> skipped(static_cast<size_t>(targets), false);
        for (int i = 0; c.skipEvery > 0 && i < targets; i += c.skipEvery) skipped[static_cast<size_t>(i)] = true;
        model.BeginRun(c.onlyEvery > 0 ? &only : nullptr, &skipped);
        std::vector<TargetStatus> live(static_cast<size_t>(targets), TargetStatus::NotRun);
        // The runner records the skipped before it begins any.
        for (int i = 0; i < targets; ++i) {
            if (skipped[static_cast<size_t>(i)]) live[static_cast<size_t>(i)] = TargetStatus::Skipped;
        }
        auto check = [&](int step) {
            std::vector<int> changed;
            model.FollowRun([&](int runIndex) { return live[static_cast<size_t>(runIndex)]; }, &changed);
            std::vector<int> expected(kTargetStatusCount, 0);
            int lastRunning = -1, firstRunning = -1;
            for (int i = 0; i < model.GetCount(); ++i) {
                int runIndex = model.At(i).runIndex;
                TargetStatus status = runIndex >= 0 ? live[static_cast<size_t>(runIndex)] : model.StatusOf(i);
                if (status == TargetStatus::Running) lastRunning = i;
                if (status == TargetStatus::Running && firstRunning < 0) firstRunning = i;
                ++expected[static_cast<size_t>(status)];
                ASSERT_EQ(status, model.At(i).shown) << "step " << step << ", entry " << i;
            }
            for (int s = 0; s < kTargetStatusCount; ++s) {
                ASSERT_EQ(expected[static_cast<size_t>(s)], model.CountShown(static_cast<TargetStatus>(s)))
                    << "step " << step << ", status " << s;
            }
            ASSERT_EQ(lastRunning, model.LastRunningEntry()) << "step " << step;
            ASSERT_EQ(firstRunning, model.FirstRunningEntry()) << "step " << step;
        };
        // The runner: targets begin in order in free slots (the skipped are
        // passed over) and end in any order; after a stop nothing begins
        // and the running end stopped.
        unsigned seed = 12345;
        auto random = [&seed](int below) {
            seed = seed * 1103515245u + 12345u;
            return static_cast<int>((seed >> 16) % static_cast<unsigned>(below));
        };
        std::vector<int> running;
        int next = 0, begun = 0;
        for (int step = 1; step < 100000; ++step) {
            while (next < targets && skipped[static_cast<size_t>(next)]) ++next;
            bool stopped = c.stopAfter >= 0 && begun >= c.stopAfter;
            bool canBegin = !stopped && next < targets && static_cast<int>(running.size()) < c.slots;
            if (!canBegin && running.empty()) break;
            if (canBegin && (running.empty() || random(2) == 0)) {
                live[static_cast<size_t>(next)] = TargetStatus::Running;
                running.push_back(next++);
                ++begun;
            } else {
                size_t at = static_cast<size_t>(random(static_cast<int>(running.size())));
                live[static_cast<size_t>(running[at])] = stopped ? TargetStatus::Stopped : ends[random(6)];
                running.erase(running.begin() + static_cast<long>(at));
            }
            // A drop and a sort during the run.
            if (step == 25) model.Add(VQWString(L"C:\\dropped.txt"), VQWString());
            if (step == 40) model.Sort(TargetColumn::Name, true);
            if (step % c.followEvery == 0) check(step);
            if (HasFatalFailure()) return;
        }
        check(-1);
        // The run's end: its records become results, and the done may leave.
        for (int i = 0; i < targets; ++i) {
            model.SetRunResult(i, Result(live[static_cast<size_t>(i)]));
        }
        std::vector<int> done;
        for (int i = 0; i < model.GetCount(); ++i) {
            if (IsDoneResult(model.StatusOf(i))) done.push_back(i);
        }
        model.Remove(done);
        std::vector<int> expected(kTargetStatusCount, 0);
        for (int i = 0; i < model.GetCount(); ++i) ++expected[static_cast<size_t>(model.StatusOf(i))];
        for (int s = 0; s < kTargetStatusCount; ++s) {
            EXPECT_EQ(expected[static_cast<size_t>(s)], model.CountShown(static_cast<TargetStatus>(s)))
                << "status " << s;
        }
    }
}

TEST(TargetListModelPaths, NameAndFolder) {
    EXPECT_STREQ(L"a.jpg", NameOfPath(VQWString(L"D:\\写真\\a.jpg")).Text());
    EXPECT_STREQ(L"D:\\写真\\", FolderOfPath(VQWString(L"D:\\写真\\a.jpg")).Text());
    EXPECT_LT(CompareNatural(L"IMG_2", L"IMG_10"), 0);
    EXPECT_LT(ResultRank(TargetStatus::LaunchFailed), ResultRank(TargetStatus::Stopped));
    EXPECT_LT(ResultRank(TargetStatus::NotRun), ResultRank(TargetStatus::Done));
}

// How each status of the table counts for the marks (the rule itself is
// the kept list's, ApplyKeptOutcome).
TEST(TargetListModelMarks, ARunLeavesAFileMarkedUntilATryOfItSucceeds) {
    struct Case {
        bool running, failed;  // as the kept list had them
        TargetStatus status;
        bool runningAfter, failedAfter;
    };
    const Case cases[] = {
        // Killed before, then a try that failed without touching the cut output.
        {true, false, TargetStatus::NonZeroExit, false, true},
        // A timed-out file whose half output was kept.
        {false, false, TargetStatus::TimedOut, false, true},
        {false, false, TargetStatus::Stopped, true, false},
        {true, false, TargetStatus::NotRun, true, false},
        {true, true, TargetStatus::Done, false, false},
        {false, true, TargetStatus::Skipped, false, false},
    };
    for (const Case& c : cases) {
        TargetListModel model;
        model.AddKnownUnique(VQWString(L"C:\\a.txt"), VQWString(), c.running, c.failed);
        model.KeepOutcome(0, c.status);
        EXPECT_EQ(c.runningAfter, model.At(0).running) << static_cast<int>(c.status);
        EXPECT_EQ(c.failedAfter, model.At(0).failed) << static_cast<int>(c.status);
    }
}

TEST(TargetListModelMarks, AnEntryLeftOutAsADuplicateHandsItsMarkOn) {
    TargetListModel model;
    model.Add(VQWString(L"C:\\A.txt"), VQWString(), true, false);
    model.Add(VQWString(L"C:\\b.txt"), VQWString(), false, true);
    std::vector<KeptEntry> kept = {{VQWString(L"C:\\a.txt"), VQWString(), false},
                                   {VQWString(L"C:\\b.txt"), VQWString(), false}};
    EXPECT_EQ(2, model.PutFirst(kept));
    ASSERT_EQ(2, model.GetCount());
    EXPECT_TRUE(model.At(0).running);
    EXPECT_TRUE(model.At(1).failed);
}
