// What the check of the whole list before a run says, as text: the entry
// that refuses the run and why, or the questions to ask first (outputs or
// lines that clash, appends that running at once could lose, paths that cmd
// would expand), and the entries skipped as up to date.
#pragma once

#include <vector>

#include "base/strings.h"
#include "engine/batch_runner.h"

struct RunQuestions {
    // The target that refuses the run (an index into the targets), or -1;
    // the error box's text.
    int refusedTarget = -1;
    VQWString refusal;
    // Asked in this order; the run starts only on a yes to every one.
    std::vector<VQWString> questions;
    // Per target, whether it is up to date (with skipUpToDate); may be empty.
    std::vector<bool> skip;
};

// CheckJob for the run's fields and targets, put in words. An empty list or
// command is the run's own message: nothing to say here. parallel is how
// many run at once (appends are asked about only above 1).
RunQuestions QuestionsBeforeRun(const VQWString& preCommand, const VQWString& command, const VQWString& output,
                                const std::vector<RunTarget>& targets, const VQWString& directory,
                                bool skipUpToDate, int parallel);
