// A run's results as a file: CSV in UTF-8 with a byte-order mark (so that
// spreadsheet programs read the Japanese right), one row per target.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/arrays.h"
#include "base/strings.h"
#include "engine/run_record.h"

// "0", "1", ... for ordinary codes, "0xC0000005" for the large ones that
// stand for crashes and other ends forced on a program.
VQWString FormatExitCode(DWORD code);

// Whether an exit code is one that Windows gives a program that crashed (an
// NTSTATUS error code, from 0xC0000000 up, such as 0xC0000005), not a tool's own.
inline bool IsCrashExitCode(DWORD code) { return code >= 0xC0000000u; }

// The first non-empty line of a text, without its line end.
VQWString FirstLine(const VQWString& text);
// The line of a tool's output that says what went wrong: the last one holding
// an error word of the common tools (error, failed, cannot, No such file,
// Permission denied, エラー, 失敗, ...) that is not a mere count of them
// ("1 error", "Scan WARNINGS: 1"); without one, the last non-empty line.
// Spaces at either end go; a long one is cut to maxUnits units and "…".
VQWString FailureLine(const VQWString& text, int maxUnits = 200);
// The last maxUnits units of a text without the line ends at its two ends,
// with "…" in front when it was cut.
VQWString OutputTail(const VQWString& text, int maxUnits = 2000);

// A header row, then for each target: number, target, status, tries, the
// two exit codes, start time, seconds, the two expanded command lines, the
// output path ("（削除しました）" after it when it was deleted), the error
// or else the first line of the command's output, and the kept output's tail
// (OutputTail); then a row of one cell for
// each line of `notes`, and `summary` (FormatSummary) as the last row. A cell that a spreadsheet would take for a formula
// (it begins with =, +, -, @, a tab or a CR) begins with a "'" instead, which
// makes it text.
std::string FormatResultsCsv(const VQArray<VQWString, VQWString>& targets, const TargetRecord* records, int count,
                             const VQWString& notes = VQWString(), const VQWString& summary = VQWString());

// Appends one field of a results-file row (quoted and made safe for
// spreadsheets as FormatResultsCsv does), then "," or, when last, CR LF.
void AppendCsvField(std::string& row, const VQWString& value, bool last = false);

// The results files of a folder (named as WriteResultsFile names them), oldest first.
std::vector<std::wstring> FindResultsFiles(const VQWString& folder);
// The full path of the newest of them, or empty when there is none.
VQWString FindNewestResultsFile(const VQWString& folder);

// Writes csv to folder\YYYYMMDD-HHMMSS.csv (local time of the run's start;
// "-2", "-3", ... when that name is taken), creating the folder, then removes
// all but the newest `keep` such files. Returns the file's path, or empty when
// it could not be written.
VQWString WriteResultsFile(const VQWString& folder, const SYSTEMTIME& runStart, const std::string& csv, int keep);
