// RunController: the run as the window drives it. It owns the worker (a
// BatchRunner), decides what a press of 実行/停止/強制終了 means at the time it
// comes, tells the progress in words and figures, and takes a run's end into
// the list model. It needs no window: the clock is given, and the worker's
// news goes to the RunEvents given.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "app/target_list_model.h"
#include "base/strings.h"
#include "engine/batch_runner.h"

// The bar, the taskbar button and the caption's figures: targets finished of
// those that run (skipped ones are not worked on), and whether one failed.
struct RunProgress {
    int finished = 0;
    int total = 0;
    bool failed = false;
};

// What a run takes from the list: every entry in the list's order, or only
// the entries at these indices (in the order given).
std::vector<RunTarget> RunTargetsOf(const TargetListModel& model, const std::vector<int>* only);

class RunController {
public:
    // After the first Stop, 強制終了 takes a press only once shown this long;
    // after a run, Run takes none for this long.
    enum { kForceStopArmMs = 1000, kRunAfterEndMs = 500 };
    // What a press of the run button comes to.
    enum class Press {
        Ignored,  // too soon after the last change, no worker, or a run not yet collected
        Stopped,  // a stop was asked (the first, or 強制終了)
        Start,    // idle: the caller checks and starts a run
    };
    using Clock = std::function<DWORD()>;

    // events (may be null) is told of the run on the worker thread and must
    // outlive the worker; the clock gives the press rules' and the caption's time.
    RunController(RunEvents* events, Clock clock);

    BatchRunner& Runner() { return runner; }
    const BatchRunner& Runner() const { return runner; }
    RunState State() { return runner.GetState(); }

    // The run button pressed now. A stop is asked here; a start is the caller's.
    Press OnPress();
    // StartRun; a run that starts forgets the last one's stop.
    BatchRunner::StartResult Start(const VQWString& preCommand, const VQWString& command,
                                   const VQWString& directory, const VQWString& outputTemplate,
                                   const std::vector<RunTarget>& targets, const RunOptions& options,
                                   const std::vector<bool>* skip);
    // Collects an ended run (FinishRun), its end noted for the press rules.
    void Finish();
    // Stop was pressed in the current or last run.
    bool StopRequested() const { return stopRequested; }
    // A run has ended since the controller was made.
    bool HasRunEnded() const { return runEnded; }
    // A press now would be taken as the end's stray click (kRunAfterEndMs).
    bool JustEnded() const { return runEnded && clock() - runEndedAt < kRunAfterEndMs; }
    // From the last run's start to its end (after Finish).
    DWORD LastRunMilliseconds() const { return runEndedAt - startedAt; }

    // The folder a run of this カレントディレクトリ text starts its children in
    // (BatchRunner::ResolveDirectory from the start directory).
    VQWString DirectoryOf(const VQWString& directoryText) const {
        return BatchRunner::ResolveDirectory(directoryText, runner.GetStartDirectory());
    }

    RunProgress Progress() const;
    // The caption while a run goes: the progress, and the time left once it
    // can be told, before the idle caption.
    VQWString ProgressCaption(RunState state, const VQWString& idleCaption) const;
    // The status the list shows for an entry: with live (the table shows the
    // run) its target's as the worker last set it, else the model's.
    TargetStatus EntryStatus(const TargetListModel& model, int index, bool live) const;
    // What the window tells of a start that did not happen; empty when it has
    // nothing to tell (Started, or NotStarted: a run is on).
    VQWString StartProblem(BatchRunner::StartResult result) const;

    // After the end (Finish): every target's record becomes its entry's
    // result; with removeDone the entries done leave the list. The entry of
    // the first failure (in the list as it is then), or -1.
    int CollectResults(TargetListModel& model, bool removeDone) const;
    // The line under the list after a run: its summary, after 「停止しました。」
    // when stopped; empty for a run that ended at its failure (the failed
    // entry's details tell of it then).
    VQWString EndLine() const;
    // The error box after a run, naming the failed target's file, with the
    // summary first for a run that went on past its failures; empty without an error.
    VQWString EndMessage() const;
    // The results file 結果を開く opens: the last run's, else (after a
    // restart) the newest one of the folder; empty when there is none.
    VQWString ResultsFileToOpen() const;

private:
    BatchRunner runner;
    Clock clock;
    DWORD startedAt = 0;         // tick of the run's start, for the time left
    bool stopRequested = false;  // Stop was pressed in the current or last run
    DWORD forceShownAt = 0;      // tick at which the button became 強制終了
    bool runEnded = false;       // a run has ended
    DWORD runEndedAt = 0;        // tick of the last run's end
};
