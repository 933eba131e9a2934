// One file's whole story in a window of its own: its path, its result and
// message, both command lines as expanded, both exit codes, when it began
// and how long it took, and the whole output kept (with a mark where it was
// cut). It shows the file as it was when opened, and again on 更新.
#pragma once

#include <windows.h>

#include "app/target_list_model.h"
#include "base/strings.h"
#include "win32/text_viewer.h"

class MainWindow;

// The mark put where a kept output was cut.
extern const wchar_t kOutputCutMark[];

// The text the window shows for an entry; status is the one the table
// shows (the live one during a run).
VQWString OutputReport(const TargetEntry& entry, const EntryResult* result, TargetStatus status);

class OutputWindow {
public:
    // Opens (or fills again) the window with the entry at `index`.
    void Show(MainWindow& window, int index);
    VQWin32TextViewer viewer;
};
