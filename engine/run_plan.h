// The whole run written out before it runs: for every target in list order,
// both command lines as the run would expand them, the working directory and
// the output path; as CSV in the results files' form, or as a batch file for
// cmd that runs the same commands in order.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/strings.h"

// What stands in the plan where the command's $pre would put the
// pre-command's output, which only the run itself gives.
extern const wchar_t kPlanPreOutput[];

struct PlanJob {
    VQWString preCommand;      // template; empty: none
    VQWString command;         // template
    VQWString directory;       // the working directory as the run resolves it
    VQWString outputTemplate;  // 出力先; empty: none
};

struct PlanRow {
    VQWString target;
    VQWString preLine;  // empty without a pre-command
    VQWString commandLine;
    VQWString directory;
    VQWString output;  // empty without 出力先
    // The expansion's message when the run would not start this target's
    // commands; the lines then hold what expanded before it.
    VQWString error;
};

// One row for every target, in order.
std::vector<PlanRow> MakePlan(const PlanJob& job, const std::vector<VQWString>& targets);

// Whether the command template uses $pre (the batch file cannot give it).
bool UsesPreOutput(const VQWString& commandTemplate);

// A header row, then per target: number, target, the two lines, the output,
// the directory and the error; UTF-8 with a byte-order mark, fields quoted
// and safe for spreadsheets as in the results files.
std::string FormatPlanCsv(const std::vector<PlanRow>& rows);

// One line as cmd must read it in a batch file so that it starts what
// CreateProcessW would start from `line`: "%" doubled everywhere, cmd's
// operators (& | < > ^ and parentheses) escaped with "^" outside quotes.
// False for a line a batch file cannot hold (a line break or a NUL in it).
bool BatchLine(const VQWString& line, VQWString& out);

// The batch file: "@chcp 65001", remarks naming `madeBy` and the time, then
// for each target the change to its directory (when it differs from the
// line before) and its lines. UTF-8 without a byte-order mark (cmd would
// read the mark as part of the first command), CR LF line ends. False with
// the reason when the job uses $pre, a row did not expand, or a line cannot
// be written for cmd.
bool FormatPlanBatch(const std::vector<PlanRow>& rows, bool usesPre, const VQWString& madeBy, const SYSTEMTIME& when,
                     std::string& batch, VQWString& reason);

// Writes the bytes to path whole (the old file stays when that fails).
bool WritePlanFile(const VQWString& path, const std::string& bytes);
