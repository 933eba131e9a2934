// How a run ended, counted over its targets, and the one line that says it:
// the end box, the details line and the results file's last row.
#pragma once

#include <vector>

#include "base/arrays.h"
#include "base/strings.h"
#include "engine/run_record.h"

struct RunSummary {
    int done = 0;     // Done
    int skipped = 0;  // Skipped (up to date)
    int failed = 0;   // every IsFailure status
    int stopped = 0;  // Stopped
    int notRun = 0;   // never begun (and, should one be left so, still running)
};

// Counts the statuses of `count` records.
RunSummary SummarizeRecords(const TargetRecord* records, int count);

// "完了 47 件、失敗 3 件、未実行 0 件", with "スキップ N 件、" after 完了 and
// "停止 N 件、" after 失敗 only when they are not 0; numbers of four digits
// and more grouped by three with ",".
VQWString FormatSummary(const RunSummary& summary);

// A number grouped by three with "," ("9,988").
VQWString FormatGroupedNumber(long long value);

// The failed targets in list order, one line each: "path: reason", the reason
// the first line of its error (or its status word). At most maxShown lines;
// *more gets the number of failures left out.
std::vector<VQWString> ListFailures(const VQArray<VQWString, VQWString>& targets, const TargetRecord* records,
                                    int count, int maxShown, int* more);
