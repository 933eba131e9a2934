// The time a run has left, for the caption: "処理中(37/120) 残り約 4分 - …".
// Pure arithmetic on what the runner counts; nothing here looks at a clock.
#pragma once

#include <cstdint>

#include "base/strings.h"

// Minimum run time before an estimate is shown: the first files say little.
const int64_t kEstimateAfterMs = 5000;

// The milliseconds left, from the finished targets (finished of total that
// run), the slots running at once, the milliseconds the finished ones took
// together and the milliseconds since the run began. False (nothing to show)
// until one target has finished and kEstimateAfterMs have passed, when the
// finished ones took under 1 ms together (no average to speak of), when
// nothing is left, and for a result past kMaxEstimateMs.
bool EstimateTimeLeft(int finished, int total, int slots, int64_t finishedMs, int64_t elapsedMs, int64_t& leftMs);

// Longer than this the estimate says nothing useful (and hides an overflow).
const int64_t kMaxEstimateMs = int64_t(1000) * 3600 * 1000;

// "残り約 45秒" up to 59 s, "残り約 4分" under two hours, then
// "残り約 2時間5分" ("残り約 3時間" on the hour). Seconds are rounded up,
// minutes to the nearest; never below 1 of the unit shown.
VQWString FormatTimeLeft(int64_t leftMs);
