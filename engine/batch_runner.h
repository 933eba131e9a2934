// The run state of a batch job and the run itself: for every target, the
// pre-command step (captured, becomes $pre) and the command step, each a child
// process that is waited for. It needs no window; the main window derives from
// it and drives it from its button and its timer.
//
// Hand-over: the window thread writes the job's inputs only while the worker
// is idle (StartRun), and reads errorText and succeededCount only after the
// worker's done event has been seen (thread->Wait(0, true, false)). While a
// job runs it reads only the counters and the number of targets, and writes
// only the worker's cancel and quit flags.
#pragma once

#include <atomic>

#include "base/arrays.h"
#include "base/strings.h"
#include "engine/thread.h"

class BatchRunner {
public:
    enum StartResult { Started, NoTargets, NoCommand, NotStarted };

    // Records the current directory as startDirectory.
    BatchRunner();
    BatchRunner(const BatchRunner&) = delete;
    BatchRunner& operator=(const BatchRunner&) = delete;
    virtual ~BatchRunner();

    // Makes the worker with OnThreadJob and creates its thread; false when
    // the thread could not be created (the object is kept, and stays unusable).
    bool CreateWorker();
    // Stops a running job (quit), waits for the worker and deletes it.
    void DestroyWorker();

    // Run pressed: when the worker is idle, takes unshared copies of the
    // inputs, zeroes the counters, empties errorText and posts job 1.
    // Nothing is posted for an empty list or an empty command.
    StartResult StartRun(const VQWString& preCommandText, const VQWString& commandText,
                         const VQWString& directoryText, const VQArray<VQWString, VQWString>& targetList);
    // Stop pressed: asks a running job to stop; false when none runs.
    bool RequestStop();

    // One template run for one target: expand, start the child (hidden and
    // captured into *capture when capture is set, else visible) and wait for
    // it to end. False when it could not start or was stopped.
    bool RunStep(VQWin32ThreadEx& thread, VQWString templateText, VQWString target, VQWString preOutput,
                 VQWString* capture);
    // The whole list on the worker thread; stops running at the first failed step.
    void RunJob(VQWin32ThreadEx& thread);
    // The worker's job procedure; param is the BatchRunner. Job 1 is RunJob.
    static int OnThreadJob(VQThread* thread, void* param);

    VQWString preCommand;
    VQWString command;
    VQWString directory;
    VQArray<VQWString, VQWString> targets;
    VQWString startDirectory;
    VQWin32ThreadEx* thread;  // owned: made by CreateWorker, deleted by DestroyWorker
    std::atomic<int> startedCount;
    std::atomic<int> succeededCount;
    VQWString errorText;
};
