// How an entry's result reads: the seconds and the exit codes as the table,
// the line under it and the output window write them, and the line under the
// list for one entry.
#pragma once

#include <windows.h>

#include "app/target_list_model.h"
#include "base/strings.h"

// "12.34 秒" (hundredths; thousandths with decimals 3), cut, not rounded.
VQWString SecondsText(DWORD milliseconds, int decimals = 2);
// A step's exit code (FormatExitCode), or "-" for a step that did not end.
VQWString StepExitCodeText(bool ended, DWORD code);
// The line under the list for an entry with this result: its status, the
// codes, the seconds, the tries, the first line and the output.
VQWString DescribeEntry(const EntryResult& result);
