// The kept list's cost:
//  1. a run of many short files (the program itself as a child that does
//     nothing), with the kept list off and with it recording each file as
//     the window does, beside a list of 1,000 and of 1,000,000 entries
//     (goal: keeping costs under 5 % of the run), and the rewrite a run
//     begins with, on its own and written during the run; rounds alternate
//     which side goes first;
//  2. the records alone: a begun and a done record for 100,000 files;
//  3. a list of 1,000,000 entries (paths of about 80 characters, 1,000
//     folders dropped one by one): read by a start that folds a journal in,
//     read again, made into a rewrite on the caller's thread and written by
//     the writer; and the same list sorted by name across its folders, every
//     entry's root another than the one before it.
//   kept_list_bench.exe [files] [rounds] [pair] [parallel]   (files 0: parts 2 and 3 only;
//   pair: part 1 with its first two sides only, the kept list as long as the run;
//   parallel: targets at once, 1 by default)
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "bench/bench_entries.h"
#include "engine/batch_runner.h"
#include "settings/kept_list.h"
#include "tests/support/temp_dir.h"

namespace {

std::wstring SelfCommand(const std::wstring& arguments) {
    wchar_t module[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH * 2);
    return L"\"" + std::wstring(module, n) + L"\" " + arguments;
}

// A runner that tells a kept list what happens, as the main window does.
class KeepingRunner : public RunEvents {
public:
    BatchRunner runner{this};
    KeptList* kept = nullptr;

    void OnRunTargetBegun(int index) override {
        if (kept) kept->RecordBegun(runner.GetTargetPath(index));
    }
    void OnRunTargetFinished(int index, TargetStatus status) override {
        if (!kept) return;
        kept->RecordFinished(runner.GetTargetPath(index),
                             status == TargetStatus::Done ? KeptOutcome::Done : KeptOutcome::Failed);
    }
    VQWString RunResultsNotes() override { return VQWString(); }
};

// The rewrite a run begins with, as the window makes it: the whole list made
// into text on this thread and handed to the writer. Seconds spent here.
double RewriteAtRunStart(KeptList& kept, const std::vector<KeptEntry>& listed) {
    double start = Seconds();
    KeptListText text = kept.BeginRewrite();
    size_t units = 0;
    for (const KeptEntry& entry : listed) units += static_cast<size_t>(entry.path.GetLength());
    text.Reserve(units, static_cast<int>(listed.size()));
    for (const KeptEntry& entry : listed) text.Add(entry.path, entry.root, entry.running);
    kept.Save(std::move(text));
    return Seconds() - start;
}

// One run of `count` files; keeping off when kept is null.
int gParallel = 1;

double RunOnce(const std::wstring& line, int count, KeptList* kept) {
    KeepingRunner keeping;
    keeping.kept = kept;
    BatchRunner& runner = keeping.runner;
    if (!runner.CreateWorker()) {
        fprintf(stderr, "worker not created\n");
        exit(2);
    }
    VQArray<VQWString, VQWString> targets;
    targets.SetSize(-count);
    for (int i = 0; i < count; ++i) targets.Add(EntryPath(i));
    double start = Seconds();
    RunOptions options;
    options.parallel = gParallel;
    if (runner.StartRun(VQWString(), VQWString(line.c_str()), VQWString(), targets, options) != BatchRunner::Started) {
        fprintf(stderr, "run not started\n");
        exit(2);
    }
    while (runner.GetState() != RunState::Ended) Sleep(20);
    double elapsed = Seconds() - start;
    runner.FinishRun();
    int failed = count - runner.GetSucceededCount();
    if (failed == 0) return elapsed;
    // Wine now and then fails to start one of thousands of children. A file
    // that failed cost about what one that ran did, so a long run with a few
    // of them still measures keeping; more than that and it is run again.
    if (failed <= count / 1000) {
        fprintf(stderr, "%d of %d children not started (Wine's process start); the run counts as it went\n", failed,
                count);
        return elapsed;
    }
    return -1;
}

double Run(const std::wstring& line, int count, KeptList* kept) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        double elapsed = RunOnce(line, count, kept);
        if (elapsed >= 0) return elapsed;
        fprintf(stderr, "a run failed (Wine's process start); measured again\n");
    }
    exit(2);
}

// Memory the process has committed for itself.
size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    // Wine leaves PrivateUsage at 0; the commit charge is the same figure there.
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

// 1. A run of short files, keeping off and on (a goal missed sets missed;
// 2 when the lists could not be made). Beside 1,000 entries the
// rewrite the run begins with is written before the clock starts (what
// keeping costs file by file); beside 1,000,000 it is made and written
// during the run, as the window does. A process that holds a million
// entries starts its children more slowly under Wine whatever it does
// with them, so that side is compared with a run off beside the same
// million in memory. Wine's process start drifts by tens of percent
// within minutes: each round's sides are compared with each other, and
// the median of the rounds' ratios counts.
int TimeRuns(int files, int rounds, bool pairOnly, bool& missed) {
    TempDir small, large;
    if (!WriteKeptArchive(small.Path(), pairOnly ? std::max(files, 1000) : 1000, false) ||
        (!pairOnly && !WriteKeptArchive(large.Path(), 1000000, false))) {
        fprintf(stderr, "lists not made\n");
        return 2;
    }
    std::wstring line = SelfCommand(L"child-noop");
    enum { kOff, kKeptSmall, kOffLarge, kKeptLarge, kSides };
    const int sides = pairOnly ? 2 : kSides;
    std::vector<double> times[kSides], ratios[kSides];
    double made = 0, written = 0;
    for (int round = 0; round < rounds; ++round) {
        double seconds[kSides];
        for (int k = 0; k < sides; ++k) {
            int side = (k + round) % sides;
            KeptList kept;
            std::vector<KeptEntry> entries;
            KeptListReport report;
            const TempDir& list = side == kKeptSmall ? small : large;
            if (side != kOff) kept.Open(VQWString(list.Path().c_str()), entries, report);
            // The last round's records folded in, outside the time.
            kept.WaitForWrites();
            kept.SetRemoveDone(true);
            bool keeping = side == kKeptSmall || side == kKeptLarge;
            seconds[side] = 0;
            if (side == kKeptSmall) {
                RewriteAtRunStart(kept, entries);
                kept.WaitForWrites();
            } else if (side == kKeptLarge) {
                // Its cost on its own, then once more at the start of the run.
                double start = Seconds();
                made += RewriteAtRunStart(kept, entries) / rounds;
                kept.WaitForWrites();
                written += (Seconds() - start) / rounds;
                seconds[side] = RewriteAtRunStart(kept, entries);
            }
            seconds[side] += Run(line, files, keeping ? &kept : nullptr);
            times[side].push_back(seconds[side]);
        }
        ratios[kKeptSmall].push_back(seconds[kKeptSmall] / seconds[kOff]);
        if (!pairOnly) ratios[kKeptLarge].push_back(seconds[kKeptLarge] / seconds[kOffLarge]);
    }
    auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    printf("%d files of a child that does nothing, %d at once, %d rounds (median time; median of the rounds' "
           "ratios):\n",
           files, gParallel, rounds);
    printf("  keeping off                                   %7.2f s\n", median(times[kOff]));
    printf("  kept, beside %d entries                    %7.2f s  ratio %.3f to off\n",
           pairOnly ? std::max(files, 1000) : 1000, median(times[kKeptSmall]), median(ratios[kKeptSmall]));
    if (median(ratios[kKeptSmall]) > 1.05) missed = true;
    if (pairOnly) return 0;
    printf("  keeping off, 1,000,000 entries held           %7.2f s\n", median(times[kOffLarge]));
    printf("  kept, beside those 1,000,000, the rewrite at the start included %7.2f s  ratio %.3f to that\n",
           median(times[kKeptLarge]), median(ratios[kKeptLarge]));
    printf("  that rewrite: %.2f s made on the caller's thread, %.2f s until written\n", made, written);
    return 0;
}

// 2. The records alone.
void TimeRecords() {
    TempDir folder;
    KeptList kept;
    std::vector<KeptEntry> entries;
    KeptListReport report;
    kept.Open(VQWString(folder.Path().c_str()), entries, report);
    const int records = 100000;
    std::vector<VQWString> paths;
    paths.reserve(records);
    for (int i = 0; i < records; ++i) paths.push_back(EntryPath(i));
    double start = Seconds();
    for (int i = 0; i < records; ++i) {
        kept.RecordBegun(paths[static_cast<size_t>(i)]);
        kept.RecordFinished(paths[static_cast<size_t>(i)], KeptOutcome::Done);
    }
    double seconds = Seconds() - start;
    printf("begun and done records for %d files: %.2f s, %.1f us a file\n", records, seconds,
           seconds / records * 1e6);
}

// 3. A million entries; 2 when they did not come back.
int TimeMillion() {
    const int count = 1000000;
    TempDir folder;
    std::wstring quenbrix = folder.MakeDir(L"Quenbrix");
    {
        KeptList kept;
        std::vector<KeptEntry> entries;
        KeptListReport report;
        kept.Open(VQWString(quenbrix.c_str()), entries, report);
        KeptListText text = kept.BeginRewrite();
        for (int i = 0; i < count; ++i) text.Add(EntryPath(i), EntryRoot(i), i % 97 == 0);
        kept.Save(std::move(text));
        kept.WaitForWrites();
        // A run's records after it, as a crash leaves them.
        for (int i = 0; i < 1000; ++i) kept.RecordFinished(EntryPath(i), KeptOutcome::Done);
        kept.SetRemoveDone(true);
        kept.Close();
    }
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW((quenbrix + L"\\targets.txt").c_str(), GetFileExInfoStandard, &data);
    double megabytes = (static_cast<double>(data.nFileSizeHigh) * 4294967296.0 + data.nFileSizeLow) / 1048576.0;

    size_t before = PrivateBytes();
    KeptList kept;
    std::vector<KeptEntry> entries;
    KeptListReport report;
    double start = Seconds();
    kept.Open(VQWString(quenbrix.c_str()), entries, report);
    double opened = Seconds() - start;
    kept.WaitForWrites();
    double folded = Seconds() - start;
    size_t after = PrivateBytes();
    printf("a list of %d entries (%.0f MiB) with a journal of 1,000 done:\n", count, megabytes);
    printf("  read, journal folded in          %7.2f s   (%zu entries, %.0f bytes an entry held)\n", opened,
           entries.size(), static_cast<double>(after - before) / static_cast<double>(entries.size()));
    printf("  its rewrite written as well      %7.2f s\n", folded);
    if (static_cast<int>(entries.size()) != count - 1000) {
        fprintf(stderr, "%zu entries came back, not %d\n", entries.size(), count - 1000);
        return 2;
    }

    kept.Close();
    entries.clear();
    KeptList clean;
    start = Seconds();
    clean.Open(VQWString(quenbrix.c_str()), entries, report);
    printf("  the same list read again, with nothing to fold in %5.2f s\n", Seconds() - start);

    start = Seconds();
    KeptListText text = clean.BeginRewrite();
    size_t units = 0;
    for (const KeptEntry& entry : entries) units += static_cast<size_t>(entry.path.GetLength());
    text.Reserve(units, static_cast<int>(entries.size()));
    for (const KeptEntry& entry : entries) text.Add(entry.path, entry.root, entry.running);
    double made = Seconds() - start;
    clean.Save(std::move(text));
    clean.WaitForWrites();
    double written = Seconds() - start;
    printf("  a rewrite: made on the caller's thread %5.2f s, written by the writer %5.2f s more\n", made,
           written - made);
    entries.clear();
    clean.Close();

    // Sorted by name across the folders: every entry's root another than the one before.
    TempDir sortedFolder;
    {
        KeptList kept;
        std::vector<KeptEntry> none;
        kept.Open(VQWString(sortedFolder.Path().c_str()), none, report);
        KeptListText mixed = kept.BeginRewrite();
        for (int i = 0; i < count; ++i) {
            int k = (i % 1000) * 1000 + i / 1000;
            mixed.Add(EntryPath(k), EntryRoot(k), false);
        }
        kept.Save(std::move(mixed));
        kept.Close();
    }
    before = PrivateBytes();
    KeptList sorted;
    start = Seconds();
    sorted.Open(VQWString(sortedFolder.Path().c_str()), entries, report);
    double mixedRead = Seconds() - start;
    after = PrivateBytes();
    printf("  sorted across its folders: read %.2f s, %.0f bytes an entry held\n", mixedRead,
           static_cast<double>(after - before) / static_cast<double>(entries.size()));
    if (static_cast<int>(entries.size()) != count) {
        fprintf(stderr, "%zu sorted entries came back, not %d\n", entries.size(), count);
        return 2;
    }
    return 0;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc > 1 && wcscmp(argv[1], L"child-noop") == 0) return 0;
    int files = argc > 1 ? _wtoi(argv[1]) : 200;  // 0: no runs, only parts 2 and 3
    int rounds = argc > 2 ? _wtoi(argv[2]) : 3;
    if (files < 0) files = 200;
    if (rounds < 1) rounds = 3;
    // A long run measured in the time there is: off against kept, nothing else.
    bool pairOnly = argc > 3 && wcscmp(argv[3], L"pair") == 0;
    if (argc > 4) gParallel = std::max(1, std::min(_wtoi(argv[4]), static_cast<int>(BatchRunner::kMaxParallel)));
    bool missed = false;

    if (files > 0 && TimeRuns(files, rounds, pairOnly, missed) == 2) return 2;
    if (pairOnly && files > 0) return missed ? 1 : 0;
    TimeRecords();
    if (TimeMillion() == 2) return 2;
    return missed ? 1 : 0;
}
