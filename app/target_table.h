// What the table of targets shows: the model's entries cell by cell, each
// entry's mark, the order the user chose by the header, the counts under
// it, its following of a run and its column layout. What its commands do
// beyond the table goes to the window through TableEvents.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "app/table_status.h"
#include "app/target_list_model.h"
#include "base/strings.h"
#include "engine/batch_runner.h"
#include "engine/run_record.h"
#include "win32/list_view.h"

class SettingsStore;
class VQWin32DialogItemLinkLine;
class VQWin32DialogItemProgressBar;

// What the table needs from the window that holds it.
class TableEvents {
public:
    virtual ~TableEvents() = default;
    // The status an entry has now: live during a run, else its last result's.
    virtual TargetStatus TableEntryStatus(int index) = 0;
    // A run target's status as the worker has it now.
    virtual TargetStatus TableLiveStatus(int runIndex) = 0;
    virtual RunState TableRunState() = 0;
    // The selection changed (not while the table itself chooses rows one by one).
    virtual void OnTableSelectionChanged() = 0;
    // The entries took a new order: the kept list follows.
    virtual void OnTableSorted() = 0;
    // The table's commands whose effects are the window's.
    virtual void OnTableShowOutput(int index) = 0;
    virtual void OnTableOpenFolder(int index) = 0;
    virtual void OnTableCopyPaths(const VQWString& text) = 0;
    virtual void OnTableRunSelected(const std::vector<int>& rows) = 0;
    virtual void OnTableDelete() = 0;
    // The last list is still read in the background: the counts say so.
    virtual bool TableListLoading() = 0;
};

class TargetTable : public VQWin32ListViewSource {
public:
    TargetTable(TargetListModel& model, TableEvents& events);

    // The columns as the control is made with them; TargetColumn names them.
    static std::vector<VQWin32ListViewColumn> Columns();
    // The controls, once the panel holds them (nullptr: none, e.g. once it is gone).
    void Attach(VQWin32DialogItemListView* view, VQWin32DialogItemLinkLine* statusLine,
                VQWin32DialogItemProgressBar* runBar = nullptr);
    VQWin32DialogItemListView* View() const { return view; }

    VQWString CellText(int row, int column) override;
    void DrawCellMark(HDC dc, const RECT& area, int row, int column) override;
    void OnColumnClick(int column) override;
    void OnOpenRow(int row) override;
    void OnContextMenu(POINT screen) override;
    void OnSelectionChanged() override;
    void OnDeleteKey() override;
    VQWString EmptyText() override;

    // Whether the table shows a mark for the entry: it is in the run going
    // on, or a run has given it a result.
    bool HasMark(int index) const;
    // The status an entry's mark shows: NotRun without a mark.
    TargetStatus ShownStatus(int index);

    // A sort during a run is for viewing: the run goes on in the order it started with.
    void Sort(TargetColumn column, bool descending);
    // The column the entries were last sorted by (-1: none since the list
    // came) and which way.
    int SortColumn() const { return sortColumn; }
    bool SortDescending() const { return sortDescending; }

    enum Command {
        kSelectFailed = 1, kSelectNotRun, kSelectDone, kInvertSelection, kRunSelected, kShowOutput, kOpenFolder,
        kCopyPaths, kDeleteSelected,
    };
    void DoCommand(int command);
    // The commands' menu at a point of the screen.
    void ShowMenu(POINT screen);
    // A link of the counts' line.
    void OnStatusClick(const wchar_t* name);

    // The first selected entry, or -1.
    int FirstSelected();
    // The line of details of the first selected entry's result; empty without one.
    VQWString SelectionDetails();
    // Selects the entries with these adding numbers.
    void SelectNumbers(const std::vector<int>& numbers);
    std::vector<int> EntriesIn(TableGroup group);
    void SelectRows(const std::vector<int>& rows);
    void SelectGroup(TableGroup group);

    // The counts under the table, from the list's running totals (during a
    // run they follow the table's redraws of the run).
    void UpdateStatus();
    // A note after the counts (the watch's), empty for none.
    void SetStatusNote(const VQWString& note);
    // Only the chosen count changed.
    void UpdateSelectionCount();
    // The list changed: the view takes the model's count, draws every row
    // anew and updates the counts. False without a view.
    bool ShowCount();
    // After a delete: nothing selected but `next` (-1: none).
    void ShowRemoved(int next);
    const TableCounts& ShownCounts() const { return shownCounts; }

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
    // The bar beside the counts: there while a run goes (total: the
    // targets that run), and its figures.
    void ShowRunBar(bool shown, int total);
    void ShowRunProgress(int finished, int total, bool failed);
    // A run's end: collect(removeDone) takes the results into the model
    // and gives the first failure's entry (-1: none). With removeChecked
    // and the table shown the entries done leave, the selection staying
    // with the entries that stay; the first failure is selected. False
    // when no table is shown.
    bool ShowRunEnd(bool removeChecked, const std::function<int(bool removeDone)>& collect);
    // During a run: the running entries stay in view until the user scrolls or selects.
    void StartFollowingRun();
    void FollowRun();
    // The following after news of the run, once: false when none was due.
    // Under Wine a scroll paints the rows in view before it returns (tens
    // of milliseconds): it comes on a tick of its own, once the changed
    // rows were painted, so that no answer of the window waits for both.
    bool FollowRunIfDue();
    bool FollowsRun() const { return followRun; }

    // The table's column widths (at 96 DPI) and order, kept with the
    // window's place in the store ("TableColumns": REG_BINARY in the
    // registry, a line of section "Window" in the portable file); a value
    // of another shape leaves the defaults.
    // TakeLayout reads the table as the window closes; SaveLayout keeps
    // that after the window's place.
    void RestoreLayout(SettingsStore& store, UINT dpi);
    void TakeLayout(UINT dpi);
    void SaveLayout(SettingsStore& store);
    // The columns' first widths, for a table without a kept layout: 状態,
    // #, 終了コード and 時間 as wide as their longest texts in the table's
    // font, and 名前, フォルダ and 出力 sharing the rest of its width, so that
    // every column shows without scrolling sideways (down to a floor each).
    void FitColumns(UINT dpi);
    // The columns keep their share of a new scale.
    void ScaleColumns(UINT from, UINT to);

private:
    // Rows chosen by the table itself, telling of the selection once at the end.
    void SelectQuietly(const std::vector<int>& rows);
    void ShowStatus();

    TargetListModel& model;     // borrowed: the window owns both
    TableEvents& events;        // borrowed: the window
    VQWin32DialogItemListView* view = nullptr;        // borrowed: the panel owns it
    VQWin32DialogItemLinkLine* statusLine = nullptr;  // borrowed: the panel owns it
    VQWin32DialogItemProgressBar* runBar = nullptr;   // borrowed: the panel owns it
    int sortColumn = -1;
    bool sortDescending = false;
    DWORD runShownAt = 0;
    bool runShown = false;          // runShownAt holds a time
    bool showsRun = false;
    std::vector<int> changedRows;   // kept between calls for its room
    bool followRun = false;           // the table follows the run (until the user scrolls or selects)
    bool followingSelection = false;  // a selection made by the table itself
    int followedTop = -1;             // the top row the following left
    bool followDue = false;           // news came since the last following
    TableCounts shownCounts;
    VQWString statusNote;
    std::vector<int32_t> closingLayout;
};

// The mark of a status, drawn with lines so that it looks the same whatever
// the font has.
void DrawStatusMark(HDC dc, const RECT& box, TargetStatus status);
