// What the table of targets shows: the model's entries cell by cell, each
// entry's mark, the order the user chose by the header, and the table's
// commands, handed to the window that owns both.
#pragma once

#include <windows.h>

#include <vector>

#include "base/strings.h"
#include "engine/run_record.h"
#include "win32/list_view.h"

class MainWindow;

class TargetTable : public VQWin32ListViewSource {
public:
    explicit TargetTable(MainWindow& window);

    // The columns as the control is made with them; TargetColumn names them.
    static std::vector<VQWin32ListViewColumn> Columns();

    VQWString CellText(int row, int column) override;
    void DrawCellMark(HDC dc, const RECT& area, int row, int column) override;
    void OnColumnClick(int column) override;
    void OnOpenRow(int row) override;
    void OnContextMenu(POINT screen) override;
    void OnSelectionChanged() override;
    void OnDeleteKey() override;
    VQWString EmptyText() override;

    // The column the entries were last sorted by (-1: none since the list
    // came) and which way.
    int sortColumn = -1;
    bool sortDescending = false;

    // Whether the run's news is due (at most every kRunRedrawMs; now: the
    // window's clock), and the news itself: the entries take their targets'
    // live statuses and only the rows in view whose status changed are
    // redrawn. True when a status changed.
    bool RunRedrawDue(DWORD now);
    bool ShowRunChanges();
    enum { kRunRedrawMs = 250 };
    // The table shows a run: from its start until the window has taken its
    // results. Marks then come from the runner, without asking the worker
    // for its state at every cell.
    void SetShowsRun(bool shows) { showsRun = shows; }
    bool ShowsRun() const { return showsRun; }

private:
    MainWindow& window;  // borrowed: owns this
    DWORD runShownAt = 0;
    bool runShown = false;          // runShownAt holds a time
    bool showsRun = false;
    std::vector<int> changedRows;   // kept between calls for its room
};

// The mark of a status, drawn with lines so that it looks the same whatever
// the font has.
void DrawStatusMark(HDC dc, const RECT& box, TargetStatus status);
