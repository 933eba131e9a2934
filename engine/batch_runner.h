// The run state of a batch job and the run itself: for every target, the
// pre-command step (captured, becomes $pre) and the command step, each a child
// process in the run's job object. It needs no window; the run controller
// (app/run_controller.h) owns one and asks it, in its own words, what the run
// is doing (GetState) and what became of each target (records).
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
#include <functional>
#include <memory>
#include <vector>

#include "base/arrays.h"
#include "base/strings.h"
#include "engine/run_record.h"
#include "engine/run_summary.h"
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
    int onFailure = 0;           // 0: the first failure ends the run; 1: every target is tried
    int timeLimitSeconds = 0;    // a step running longer is ended with its tree; 0 none, 1 to 86,400
    int retries = 0;             // a failed target is tried again up to this often, 0 to 9
    bool lowPriority = false;    // children start below normal priority
    // With an output template: a target whose output is missing or not
    // written by its steps fails (NoOutput).
    bool checkOutput = true;
    // An output written by a target that then failed or was stopped is kept
    // (by default it is deleted, so that nothing half-written looks done).
    bool keepFailedOutput = false;
    // Whether the window decided skips by the up-to-date rule (it passes the
    // skip vector to StartRun); the runner itself decides nothing by it.
    bool skipUpToDate = false;
};

// One entry of the list as a run sees it.
struct RunTarget {
    VQWString path;
    // The folder it was found under, with its closing "\"; empty for an
    // entry added as a single file ($root is then its own folder).
    VQWString root;
    // It was running when the program last ended without finishing it, or
    // its last try failed: its output may look whole but is not, so it is
    // never skipped.
    bool interrupted = false;
};

// What the worker tells as a run goes, on the worker thread: a target
// begins, a target has finished (its record's status set by then), and the
// notes to end the results file with, a row a line.
class RunEvents {
public:
    virtual void OnRunTargetBegun(int runIndex) = 0;
    virtual void OnRunTargetFinished(int runIndex, TargetStatus status) = 0;
    virtual VQWString RunResultsNotes() = 0;

protected:
    ~RunEvents() = default;
};

class BatchRunner {
public:
    enum StartResult { Started, NoTargets, NoCommand, NoDirectory, NotStarted };
    enum { kMaxParallel = 64, kMaxTimeLimitSeconds = 86400, kMaxRetries = 9 };

    // Records the current directory as the start directory. events, when
    // given, is told of the run; it must outlive the worker.
    explicit BatchRunner(RunEvents* events = nullptr);
    BatchRunner(const BatchRunner&) = delete;
    BatchRunner& operator=(const BatchRunner&) = delete;
    ~BatchRunner();

    // Makes the worker with OnThreadJob and creates its thread; false when
    // the thread could not be created (the object is kept, and stays unusable).
    bool CreateWorker();
    // Called on the worker's thread as a run ends, once GetState() says
    // Ended (a window posts itself a message: no timer tick is waited for).
    // Set after CreateWorker, before a run.
    void SetRunEndNotice(std::function<void()> notice);
    // Ends a running job as ForceStop does, waits for the worker's thread to
    // end (without a time limit: the thread object must outlive its thread)
    // and deletes it.
    void DestroyWorker();

    // Run pressed: when the worker is idle, takes unshared copies of the
    // inputs, resets the counters, records and errorText, and posts job 1.
    // Nothing is posted for an empty list, an empty command, or a working
    // directory that does not exist (runDirectory then names it).
    //
    // outputTemplate (may be empty) gives each target's output ($out, made
    // folder, checked after the steps). skip, when given, has one value per
    // target: true records the target Skipped without running it (the check
    // before the run decided so).
    StartResult StartRun(const VQWString& preCommandText, const VQWString& commandText,
                         const VQWString& directoryText, const VQWString& outputTemplate,
                         const std::vector<RunTarget>& targetList, const RunOptions& options,
                         const std::vector<bool>* skip = nullptr);
    // The same for entries that are single files, without an output template.
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
    // After the job has ended: how many targets came to each end.
    RunSummary GetSummary() const;
    // After the job has ended: its failed targets with their reasons (ListFailures).
    std::vector<VQWString> GetFailures(int maxShown, int* more) const;

    // For the estimate of the time left (engine/run_estimate.h), any time
    // during a run: the targets that run (not skipped), the milliseconds the
    // finished ones took together.
    int GetRunnableCount() const { return runnableCount.load(); }
    int64_t GetFinishedMilliseconds() const { return finishedMilliseconds.load(); }

    // The working directory for a run: the start directory when empty, a
    // relative one taken from the start directory. Does not look at the disk.
    static VQWString ResolveDirectory(const VQWString& directoryText, const VQWString& startDir);

    // The worker's job procedure; param is the BatchRunner. Job 1 is RunJob.
    static int OnThreadJob(VQThread* thread, void* param);

    // The worker, null before CreateWorker and after DestroyWorker.
    VQWin32ThreadEx* GetWorker() const { return thread; }
    // After StartRun (the run's own copies, shared with nothing of the caller's).
    const VQWString& GetPreCommand() const { return preCommand; }
    const VQWString& GetCommand() const { return command; }
    const VQWString& GetDirectory() const { return directory; }
    // Any time during or after a run: a target's path as the run has it.
    const VQWString& GetTargetPath(int index) const { return targets[index]; }
    const VQWString& GetRunDirectory() const { return runDirectory; }
    const RunOptions& GetRunOptions() const { return runOptions; }
    int GetSucceededCount() const { return succeededCount.load(); }
    // After the job has ended: the message of the run's first failure, or empty.
    const VQWString& GetErrorText() const { return errorText; }

    // Where relative working directories are taken from; at first the
    // current directory when the runner was made.
    const VQWString& GetStartDirectory() const { return startDirectory; }
    void SetStartDirectory(const VQWString& folder) { startDirectory = folder; }
    // A results file (CSV) is written into this folder at the end of every
    // run when it is not empty; the newest kKeptResultFiles are kept.
    const VQWString& GetResultsFolder() const { return resultsFolder; }
    void SetResultsFolder(const VQWString& folder) { resultsFolder = folder; }
    // After the end: the file written, or empty.
    const VQWString& GetLastResultsFile() const { return lastResultsFile; }
    enum { kKeptResultFiles = 20 };

    // Limits, replaceable by tests: bytes of pre-command output (more fails
    // the target), and bytes of a hidden command's output kept in its record.
    void SetPreOutputLimit(int64_t bytes) { preOutputLimit = bytes; }
    void SetCommandOutputLimit(int64_t bytes) { commandOutputLimit = bytes; }

    // The request that the system stay awake while a run goes on
    // (SetThreadExecutionState unless a test looks on). Called on the window
    // thread only: with ES_CONTINUOUS | ES_SYSTEM_REQUIRED when a run starts,
    // and with ES_CONTINUOUS when it ends (FinishRun), at the second stop
    // (ForceStop, or RequestStop's second stage) and in DestroyWorker, the
    // latter only while the request is held.
    void SetExecutionStateFunction(EXECUTION_STATE(WINAPI* function)(EXECUTION_STATE)) { setExecutionState = function; }

private:
    // Job inputs and results shared with the worker (see the hand-over above).
    VQWString preCommand;
    VQWString command;
    VQWString directory;
    VQArray<VQWString, VQWString> targets;
    VQWString outputTemplate;
    std::vector<VQWString> roots;       // per target, as RunTarget::root (all empty for the plain overload)
    std::vector<bool> skipped;          // per target: recorded Skipped, not run
    VQWString startDirectory;
    VQWString runDirectory;  // the directory the children start in, resolved by StartRun
    RunOptions runOptions;
    VQWin32ThreadEx* thread;  // owned: made by CreateWorker, deleted by DestroyWorker
    std::atomic<int> startedCount;
    std::atomic<int> succeededCount;
    VQWString errorText;  // the message of the run's first failure

    VQWString resultsFolder;
    VQWString lastResultsFile;

    int64_t preOutputLimit;      // bytes of pre-command output; more fails the target
    int64_t commandOutputLimit;  // bytes of a hidden command's output kept in its record
    int64_t outputBudget;        // bytes of command output kept over the whole run

    EXECUTION_STATE(WINAPI* setExecutionState)(EXECUTION_STATE);

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
    std::atomic<int> runnableCount;
    std::atomic<int64_t> finishedMilliseconds;
    bool awake;  // window thread: the stay-awake request is held
    RunEvents* events;  // borrowed; may be null
    void ReleaseAwake();
};
