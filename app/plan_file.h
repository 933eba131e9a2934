// The plan of a run written to a file, from what the run would take: the
// command fields, the list's targets and the job the fields came from. The
// window's 実行予定を保存 and /plan both write it here.
#pragma once

#include <vector>

#include "base/strings.h"
#include "engine/run_plan.h"

struct PlanInputs {
    PlanJob job;                      // the templates, the directory as the run resolves it
    std::vector<PlanTarget> targets;  // in the list's order
    VQWString jobName;                // named in the batch file's remarks; empty: none
};

// The CSV, or for a path ending in ".cmd" the batch file. False and the
// reason when it could not be made or written.
bool WritePlan(const PlanInputs& inputs, const wchar_t* path, VQWString& error);
