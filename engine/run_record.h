// What a run did with each of its targets. The worker fills one record per
// target; the window reads `status` (atomic) while the run goes on and the
// rest only after the job has ended.
#pragma once

#include <windows.h>

#include <atomic>

#include "base/strings.h"

enum class TargetStatus : int {
    NotRun,         // never begun: after a failure or a stop, or not reached
    Running,
    Done,
    LaunchFailed,   // a step could not be started (pipe or process)
    TemplateError,  // a template did not expand for this target
    ReadFailed,     // the pre-command's output could not be read whole
    Stopped,        // a stop ended it before it was done
    NonZeroExit,    // a step ended with a code other than 0 while codes are checked
    Crashed,        // a step ended with a code from 0xC0000000 up (a crash), checked or not
    TimedOut,       // a step ran past the time limit and was ended with what it started
    Skipped,        // not run: its output was up to date
    NoOutput,       // the steps ended well but the output was not written
    OutputFolderFailed,  // the folder of the output could not be made
};

// A status that counts as a failure: it ends a run that stops at the first
// one (the ones the Stop button and a not-yet-reached target give do not).
inline bool IsFailure(TargetStatus status) {
    return status == TargetStatus::LaunchFailed || status == TargetStatus::TemplateError ||
           status == TargetStatus::ReadFailed || status == TargetStatus::NonZeroExit ||
           status == TargetStatus::Crashed || status == TargetStatus::TimedOut ||
           status == TargetStatus::NoOutput || status == TargetStatus::OutputFolderFailed;
}

// A result that needs no further run: the entry may leave the list.
inline bool IsDoneResult(TargetStatus status) {
    return status == TargetStatus::Done || status == TargetStatus::Skipped;
}

// The short Japanese word for a status, as the results file and the window show it.
const wchar_t* StatusText(TargetStatus status);

struct StepRecord {
    bool ran = false;     // the child was started
    bool ended = false;   // ... and its end was seen, so exitCode is real
    DWORD exitCode = 0;
    VQWString commandLine;  // as expanded; empty when the step was skipped or did not expand
};

struct TargetRecord {
    std::atomic<int> status{static_cast<int>(TargetStatus::NotRun)};
    StepRecord pre;
    StepRecord command;
    SYSTEMTIME startTime = {};  // local time the target was begun
    DWORD milliseconds = 0;     // from its beginning to its last step's end
    VQWString errorText;        // why it failed, in the words of the run's messages
    VQWString output;           // a hidden command's output (standard output and error), cut when long
    bool outputCut = false;
    int tries = 0;             // tries made (1 plus the retries); 0 when never begun
    VQWString outputPath;      // the expanded output, full path; empty without an output template
    bool outputDeleted = false;  // a half-written output was deleted after a failure or stop

    TargetStatus Status() const { return static_cast<TargetStatus>(status.load()); }
};
