// The run state of a batch job and the run itself: for every target, the
// pre-command step (captured, becomes $pre) and the command step, each a child
// process in the run's job object. It needs no window; the main window derives
// from it and asks it, in its own words, what the run is doing (GetState) and
// what became of each target (records).
//
// Hand-over: the window thread writes the job's inputs only while the worker
// is idle (StartRun), and reads errorText, the records and the counters' final
// values only after the job has ended (GetState() == RunState::Ended). While
// a job runs it reads only atomics (counters, each record's status) and asks
// for a stop through RequestStop / ForceStop.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "base/arrays.h"
#include "base/strings.h"
#include "engine/run_record.h"
#include "engine/thread.h"

enum class RunState {
    Idle,      // no job: Run can start one
    Running,
    Stopping,  // first Stop: nothing new starts, running steps end on their own
    Forcing,   // second Stop or close: running children are being ended
    Ended,     // the job is over and its results wait to be collected (FinishRun)
};

// How a run goes, beyond its texts. The defaults are the plain sequential run.
struct RunOptions {
    bool checkExitCode = false;  // a code other than 0 fails the target
    bool hideCommand = false;    // the command too runs hidden, its output kept in the record
    int parallel = 1;            // targets run at once, 1 to kMaxParallel
};

class BatchRunner {
public:
    enum StartResult { Started, NoTargets, NoCommand, NoDirectory, NotStarted };
    enum { kMaxParallel = 64 };

    // Records the current directory as startDirectory.
    BatchRunner();
    BatchRunner(const BatchRunner&) = delete;
    BatchRunner& operator=(const BatchRunner&) = delete;
    virtual ~BatchRunner();

    // Makes the worker with OnThreadJob and creates its thread; false when
    // the thread could not be created (the object is kept, and stays unusable).
    bool CreateWorker();
    // Ends a running job as ForceStop does, waits for the worker's thread to
    // end (without a time limit: the thread object must outlive its thread)
    // and deletes it.
    void DestroyWorker();

    // Run pressed: when the worker is idle, takes unshared copies of the
    // inputs, resets the counters, records and errorText, and posts job 1.
    // Nothing is posted for an empty list, an empty command, or a working
    // directory that does not exist (runDirectory then names it).
    StartResult StartRun(const VQWString& preCommandText, const VQWString& commandText,
                         const VQWString& directoryText, const VQArray<VQWString, VQWString>& targetList,
                         const RunOptions& options = RunOptions());
    // Stop pressed: the first asks the run to start nothing new, the second
    // ends the running children and everything they started. False when no
    // job runs.
    bool RequestStop();
    // Close or end of session: straight to the second stage.
    void ForceStop();
    // Waits, without a limit, until a running job has ended (then GetState() is Ended).
    void WaitUntilEnded();

    RunState GetState();
    // Collects an ended job: the state goes back to Idle. False while it has not ended.
    bool FinishRun();

    int GetTargetCount() const { return targets.GetCount(); }
    int GetStartedCount() const { return startedCount.load(); }
    int GetFinishedCount() const { return finishedCount.load(); }
    bool HasFailure() const { return failureSeen.load(); }
    // Any time: the target's status as the worker last set it.
    TargetStatus GetLiveStatus(int index) const;
    // After the job has ended: the whole record, or null for an index out of range.
    const TargetRecord* GetRecord(int index) const;
    // After the job has ended: the first target in list order that failed, or -1.
    int GetFirstFailedIndex() const;

    // The working directory for a run: the start directory when empty, a
    // relative one taken from the start directory. Does not look at the disk.
    static VQWString ResolveDirectory(const VQWString& directoryText, const VQWString& startDir);

    // The worker's job procedure; param is the BatchRunner. Job 1 is RunJob.
    static int OnThreadJob(VQThread* thread, void* param);

    // Job inputs and results shared with the worker (see the hand-over above).
    VQWString preCommand;
    VQWString command;
    VQWString directory;
    VQArray<VQWString, VQWString> targets;
    VQWString startDirectory;
    VQWString runDirectory;  // the directory the children start in, resolved by StartRun
    RunOptions runOptions;
    VQWin32ThreadEx* thread;  // owned: made by CreateWorker, deleted by DestroyWorker
    std::atomic<int> startedCount;
    std::atomic<int> succeededCount;
    VQWString errorText;  // the message of the run's first failure

    // A results file (CSV) is written into this folder at the end of every
    // run when it is not empty; the newest kKeptResultFiles are kept.
    VQWString resultsFolder;
    VQWString lastResultsFile;  // after the end: the file written, or empty
    enum { kKeptResultFiles = 20 };

    // Limits, replaceable by tests.
    int64_t preOutputLimit;      // bytes of pre-command output; more fails the target
    int64_t commandOutputLimit;  // bytes of a hidden command's output kept in its record
    int64_t outputBudget;        // bytes of command output kept over the whole run

protected:
    // Called on the worker thread as a target begins, and as it finishes
    // (its record's status set by then); and for notes to end the results
    // file with, a row a line. The defaults do nothing.
    virtual void OnTargetBegun(int index);
    virtual void OnTargetFinished(int index, TargetStatus status);
    virtual VQWString ResultsNotes();

private:
    struct Slot;
    class RunLoop;
    friend class RunLoop;

    void RunJob(VQWin32ThreadEx& worker);
    void WriteResults(const SYSTEMTIME& runStart);

    std::unique_ptr<TargetRecord[]> records;
    int recordCount;
    std::atomic<int> finishedCount;
    std::atomic<bool> failureSeen;
    std::atomic<int> stopStage;  // 0 none, 1 stop asked, 2 end the children
    HANDLE wakeEvent;            // owned: auto-reset, tells the worker that stopStage changed
    int firstFailed;
};
