// Fixed-parameter wrappers around the system's open, save and folder dialogs.
// Paths are UTF-16 and at most MAX_PATH units, except the multi-selection
// result.
#pragma once

#include <windows.h>

#include "base/arrays.h"
#include "base/strings.h"

// Units of the buffer that ChooseFilesToAdd fills.
constexpr int kVQFilesToAddUnits = 33280;
// Units of a single-type filter ("description(*.ext)", "*.ext").
constexpr int kVQSingleFilterUnits = MAX_PATH;

// "%s(*.%s)", NUL, "*.%s", NUL, NUL in filter; false (and an empty filter)
// when description and extension do not fit in kVQSingleFilterUnits.
bool BuildSingleTypeFilter(wchar_t* filter, const wchar_t* description, const wchar_t* extension);

// Every dialog here is modal to `owner`; a null owner means the main window
// (when there is one), so that no dialog leaves it open to input under it.
// None of them moves the process's current directory.

// One existing file. file: MAX_PATH units, the initial name in, the chosen
// path out. With allFiles, a second type 「すべてのファイル(*.*)」 follows
// the named one. False when cancelled or failed.
bool ChooseOpenFile(wchar_t* file, const wchar_t* title, const wchar_t* description, const wchar_t* extension,
                    HWND owner, bool allFiles = false);

// Several existing files, with the caller's filter. result: `units` units,
// zero-filled; it receives one full path, or the folder and the names (see
// NextSelectedPath). filterIndex is the chosen filter in and out.
bool ChooseFilesToAdd(wchar_t* result, int* filterIndex, const wchar_t* filter, HWND owner,
                      int units = kVQFilesToAddUnits);

// Walks a ChooseFilesToAdd result: start with a null cursor and pass each
// returned cursor back. Each call sets out to the next full path; null when
// there is none left.
const wchar_t* NextSelectedPath(VQWString& out, const wchar_t* result, const wchar_t* cursor);
// ChooseFilesToAdd with its own buffer: the full paths chosen, appended to
// paths. False when cancelled or failed.
bool ChooseFilesToAdd(VQArray<VQWString, VQWString>& paths, const wchar_t* filter, HWND owner);

// Where to save the settings file ("設定ファイル", *.ini). file: MAX_PATH
// units, the initial name in, the chosen path out.
bool ChooseSettingsSavePath(wchar_t* file, HWND owner = nullptr);

// The save dialog of 実行予定を保存: a .csv or a .cmd file.
bool ChoosePlanSavePath(wchar_t* file, HWND owner = nullptr);

// A folder, opening at path (MAX_PATH units), which receives the choice:
// 1 chosen, 0 failure, -1 cancelled (path unchanged).
int ChooseFolder(wchar_t* path, HWND owner = nullptr);
