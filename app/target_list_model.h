// The target list's entries, in the list's order: each file's path, the
// folder it was found under, whether the kept list says it was running when
// the program last ended, its number in the order of adding, and what the
// last run that took it made of it. The table shows it, runs read it, the
// kept list is written from it.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "base/path_identity.h"
#include "base/strings.h"
#include "engine/run_record.h"

struct KeptEntry;
enum class KeptOutcome;

// What the list shows of a target of a run, kept after the run's records
// go with the next run.
struct EntryResult {
    TargetStatus status = TargetStatus::NotRun;
    bool preEnded = false;
    bool commandEnded = false;
    DWORD preExitCode = 0;
    DWORD commandExitCode = 0;
    DWORD milliseconds = 0;
    VQWString firstLine;  // of the error, or else of the hidden command's output
    bool outputCut = false;
    int tries = 0;          // tries made; 0: never begun
    VQWString outputPath;   // the expanded output; empty without 出力先
    bool outputDeleted = false;
    // For the output window: the whole story.
    VQWString preLine;      // both command lines as expanded; empty when the step did not expand
    VQWString commandLine;
    VQWString errorText;
    VQWString output;       // the hidden command's kept output
    SYSTEMTIME startTime = {};
};

EntryResult MakeEntryResult(const TargetRecord& record);

// What the kept list records of a target that ended so.
KeptOutcome KeptOutcomeOf(TargetStatus status);

struct TargetEntry {
    VQWString path;
    VQWString root;        // the folder it was found under, ending in "\"; empty: added as a single file
    int number = 0;        // in the order of adding, from 1
    int runIndex = -1;     // its target index in the run going on (or the last one); -1: not in it
    int result = -1;       // into the model's results; -1: no run has taken it since the results went
    bool running = false;  // the kept list: begun and not seen through when the program last ended
    bool failed = false;   // its last try failed and none succeeded since
    // Its output is not known to be whole: it is never skipped as up to date.
    bool Unfinished() const { return running || failed; }
    // The status the table counts it under: during a run its target's live
    // status as last followed (FollowRun), else its result's.
    TargetStatus shown = TargetStatus::NotRun;
};

// How many statuses there are; TargetStatus values run from 0 below it.
const int kTargetStatusCount = static_cast<int>(TargetStatus::OutputFolderFailed) + 1;

// The table's columns, in the order they are made.
enum class TargetColumn { Status, Number, Name, Folder, ExitCode, Time, Output, Count };

// Where results go in a sort by result: failed, stopped, running, not run, done.
int ResultRank(TargetStatus status);
// Names compared as Explorer sorts them: "IMG_2" before "IMG_10".
int CompareNatural(const wchar_t* a, const wchar_t* b);
// The file name, and the folder with its closing "\", of a full path.
VQWString NameOfPath(const VQWString& path);
VQWString FolderOfPath(const VQWString& path);

class TargetListModel {
public:
    TargetListModel();
    TargetListModel(const TargetListModel&) = delete;
    TargetListModel& operator=(const TargetListModel&) = delete;

    int GetCount() const { return static_cast<int>(entries.size()); }
    const TargetEntry& At(int index) const { return entries[static_cast<size_t>(index)]; }
    const VQWString& PathAt(int index) const { return entries[static_cast<size_t>(index)].path; }
    void Reserve(int count);

    // Appends the file unless the list names it already (paths compare as
    // Windows resolves them, base/path_identity.h): then false.
    bool Add(const VQWString& path, const VQWString& root, bool running = false, bool failed = false);
    // Appends entries known to name different files, and none the list
    // holds (the kept list's own): no look at the paths now, so a kept
    // million is back at once; the duplicate rule's set is made when next needed.
    void AddKnownUnique(const VQWString& path, const VQWString& root, bool running, bool failed = false);
    // The index of the entry naming the same file, or -1.
    int Find(const VQWString& path);
    // Puts entries known to name different files (a kept list that came in
    // while the list was already in use) before the entries there, which
    // follow in their order, each left out when it names a file of those
    // put first (its marks then join that entry's). Numbers follow the new
    // order; results go. Returns how many were left out.
    int PutFirst(const std::vector<KeptEntry>& first);

    // Removes the entries at these indices (out of range and repeated ones
    // are passed by); returns how many went.
    int Remove(std::vector<int> indices);
    // Removes the entries from `count` on (a cancelled batch taken back).
    void Truncate(int count);
    void RemoveAll();

    void SetRunningMark(int index, bool running) { entries[static_cast<size_t>(index)].running = running; }
    // The kept list's marks after a run that took the entry ended so (not
    // run: as they were).
    void KeepOutcome(int index, TargetStatus status);

    // The run: the entries it takes, in its order (all of them without
    // `only`). Each gets its target index; their last results go (all
    // results when the run takes the whole list). skipped, when given, has
    // one value per target: true for those the run records skipped.
    void BeginRun(const std::vector<int>* only, const std::vector<bool>* skipped = nullptr);
    // The entry of a target index of the run, or -1 (it left the list).
    int EntryOfRunIndex(int runIndex) const;
    int RunCount() const { return static_cast<int>(runEntries.size()); }
    // The run's records become the entries' results.
    void SetRunResult(int runIndex, const EntryResult& result);
    const EntryResult* ResultOf(int index) const;
    void ClearResults();

    // During a run: the entries take their targets' live statuses (by run
    // index). Targets begin in the run's order and do not change once
    // ended, so only those running at the last call and those from the
    // first one not begun then are asked: the cost follows the targets that
    // changed, not the list. Appends the entries whose status changed.
    void FollowRun(const std::function<TargetStatus(int runIndex)>& liveStatus, std::vector<int>* changed);
    // The last and the first entry in the list's order whose target ran at
    // the last FollowRun, or -1.
    int LastRunningEntry() const;
    int FirstRunningEntry() const;
    // How many entries show the status (TargetEntry::shown): running totals.
    int CountShown(TargetStatus status) const { return shownCounts[static_cast<int>(status)]; }

    // Sorts by a column, stable; descending reverses the order of the keys
    // (entries with equal keys keep their order). statusOf, when given,
    // gives the status to sort by (the live one during a run).
    void Sort(TargetColumn column, bool descending,
              const std::function<TargetStatus(int index)>& statusOf = std::function<TargetStatus(int)>());
    // The status the table shows when no run goes on.
    TargetStatus StatusOf(int index) const;

private:
    // Entries of the list, by number: where each is now (-1: it left).
    void Renumber(size_t from);
    void EnsurePathSet();
    void ResetPathSet();
    void SetShown(TargetEntry& entry, TargetStatus status);

    std::vector<TargetEntry> entries;
    std::vector<EntryResult> results;
    // By number - 1: the entry's index now, or -1 once it left the list.
    std::vector<int> placeOfNumber;
    // The run's target index to the entry's number.
    std::vector<int> runEntries;
    // The duplicate rule: keyed by number - 1; an entry that left answers an
    // empty path, which names no file, so its slot matches nothing.
    VQPathSet paths;
    bool pathsComplete = true;  // false: entries are not in `paths` yet
    int nextNumber = 1;
    int shownCounts[kTargetStatusCount] = {};
    // FollowRun: the run indices seen running, and the first not seen begun.
    std::vector<int> liveRunning;
    int liveNext = 0;
};
