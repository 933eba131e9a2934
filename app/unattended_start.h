// A start that nobody watches (/run, /plan) as a record: the boxes it
// answered by itself, whether the loading ruled the run out, the run's
// start and end; and what it leaves, the process's exit code and the report
// for the console. The window tells it what happens; nothing here shows or
// waits for anything.
//
// And the data a second start hands to the open window (WM_COPYDATA).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/strings.h"
#include "engine/run_summary.h"
#include "settings/settings_store.h"

// A run's end as the report tells it.
struct UnattendedRunEnd {
    RunSummary counts;
    int targets = 0;                  // the files of the run
    std::vector<VQWString> failures;  // "path: reason", at most kShownFailures
    int moreFailures = 0;             // the failures left out
    VQWString resultsFile;            // empty: none was written
};

class BatchRunner;
// The end of the run the runner ended last.
UnattendedRunEnd RunEndOf(const BatchRunner& runner);

class UnattendedRun {
public:
    // The failed files the report names one a line; a count stands for the rest.
    enum { kShownFailures = 50 };

    // A box answered by its default: its text goes to the report.
    void NoteBox(const wchar_t* text);
    size_t BoxCount() const { return boxes.size(); }
    // The boxes from reasonsFrom on rule the run out: they are what it says
    // it did not start for, those before are notes. A later call keeps the
    // first one's reasons.
    void Block(size_t reasonsFrom);
    bool Blocked() const { return blocked; }

    // The start is one nobody watches. Until it ends otherwise, a close (the
    // session ended) means the run did not start. Paths that named nothing
    // are files the run does not run.
    void Begin(bool pathsMissing);
    // /plan: written to file for this many files, or not, and why.
    void EndPlan(bool written, const VQWString& file, int files, const VQWString& error);
    // The loading ruled the run out.
    void EndBlocked();
    // The boxes from here on are the run's own.
    void RunStarting();
    // Whether the run began after RunStarting; when it did not, it ends for
    // the run's own boxes.
    bool RunStarted(bool began);
    bool Running() const { return running; }
    void EndRun(const UnattendedRunEnd& end);

    int ExitCode() const { return exitCode; }
    const VQWString& Report() const { return report; }

private:
    VQWString Notes(size_t from, size_t to) const;
    void EndNotStarted(size_t reasonsFrom);
    void End(int code, const VQWString& text);

    std::vector<VQWString> boxes;
    bool blocked = false;
    size_t blockedFrom = 0;  // the first of the boxes that blocked it
    size_t runFrom = 0;      // the first of the run's own boxes
    bool running = false;
    bool pathsMissing = false;
    int exitCode = 0;
    VQWString report;
};

// What a second start hands over: its storage place (StoragePlaceKey), the
// job it names (/job) and full paths. In the data, each is NUL-terminated,
// the key first; a hand-over with a job is of a kind of its own, the job
// after the key, so that a window of a version that knows no jobs refuses it.
enum { kHandOverData = 0x51424832, kJobHandOverData = 0x51424833 };
struct HandOver {
    VQWString placeKey;
    std::vector<VQWString> paths;
    VQWString job = VQWString();  // empty: any window takes them
};
std::wstring PackHandOver(const HandOver& handOver);
// The data's dwData for the packed hand-over.
ULONG_PTR HandOverKind(const HandOver& handOver);
// False when the data is no hand-over: another kind, no whole key (or job),
// a size of odd bytes. Empty paths are passed over, and a last one without its NUL.
bool UnpackHandOver(const COPYDATASTRUCT* data, HandOver& handOver);

// What a second start and a window compare: the portable file, folded; empty: the registry.
VQWString StoragePlaceKey(const StoragePlace& place);
// Gives the paths to the open window of another instance that keeps its
// things in the same place (the same portable file, or the registry) and,
// with a job, has that job loaded; false when there is none or it did not
// take them.
bool HandOverToOpenWindow(const std::vector<VQWString>& paths, const StoragePlace& place,
                          const VQWString& job = VQWString());

// Starts that Explorer makes near-simultaneously, one per selected file,
// pass here one at a time: the first that finds no window to hand its paths
// to opens one and holds the gate until that window takes hand-overs; the
// others wait for it and then hand theirs over. One gate per storage place
// and job (none: the plain adding).
class HandOverGate {
public:
    enum { kWaitMs = 10000 };

    HandOverGate() = default;
    ~HandOverGate() { Leave(); }
    HandOverGate(const HandOverGate&) = delete;
    HandOverGate& operator=(const HandOverGate&) = delete;

    // Waits up to waitMs for the gate; false when it was not had (the start
    // goes on without it).
    bool Enter(const StoragePlace& place, const VQWString& job, DWORD waitMs = kWaitMs);
    void Leave();
    // The kernel object's name: per user session, place and job.
    static VQWString Name(const StoragePlace& place, const VQWString& job);

private:
    HANDLE mutex = nullptr;  // owned: closed by Leave
    bool held = false;
};
