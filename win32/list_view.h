// A report-mode list view whose rows its owner holds (LVS_OWNERDATA): the
// control knows only how many rows there are and asks the source for the
// text of each cell it paints. A column can have a mark drawn before its
// text by the source. The control's notifications that the app acts on
// (a header click, Enter, a double-click, the context menu, a selection
// change) come to the source as calls.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "base/strings.h"
#include "win32/dialog_items.h"

class VQWin32ListViewSource {
public:
    virtual ~VQWin32ListViewSource() = default;
    virtual VQWString CellText(int row, int column) = 0;
    // Draws the mark of a cell of a marked column into `area` (a square at its left).
    virtual void DrawCellMark(HDC dc, const RECT& area, int row, int column) = 0;
    virtual void OnColumnClick(int column) = 0;
    // Enter or a double-click on a row.
    virtual void OnOpenRow(int row) = 0;
    // A right click, the context-menu key or Shift+F10; `screen` is where the menu goes.
    virtual void OnContextMenu(POINT screen) = 0;
    virtual void OnSelectionChanged() = 0;
    virtual void OnDeleteKey() = 0;
    // The text the control shows while it has no rows.
    virtual VQWString EmptyText() = 0;
};

struct VQWin32ListViewColumn {
    const wchar_t* title;
    int width;      // in pixels at 96 DPI
    int format;     // LVCFMT_LEFT or LVCFMT_RIGHT
    bool marked;    // the source draws a mark before the text
};

class VQWin32DialogItemListView : public VQWin32DialogItem {
public:
    VQWin32DialogItemListView(int controlId, VQWin32ListViewSource* source,
                              const std::vector<VQWin32ListViewColumn>& columns);

    bool OnInitDialog(VQWin32Window* owner, HWND dialog, VQWin32Window* notifyTarget) override;
    int MessageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT ControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) override;

    int GetCount();
    // Keeps the selection and scrolling where they are as far as they stay in range.
    bool SetCount(int count);
    // The selected rows, ascending; returns their count.
    int GetSelectedIndices(std::vector<int>& into);
    int GetSelectedCount();
    bool IsSelected(int row);
    bool SetSelected(int row, bool selected);
    // -1: every row.
    bool SetSelectedAll(bool selected);
    // Selects this row and no other (none for -1), puts the focus mark on it
    // and scrolls it into view.
    bool SelectOnly(int row);
    // Selects exactly these rows; the focus mark goes to the first.
    void SelectRows(const std::vector<int>& rows);
    int GetFocused();
    bool EnsureVisible(int row);
    // Scrolls the row to the top as far as the rows below it allow.
    bool ScrollToTop(int row);
    int GetTopIndex();
    int GetCountPerPage();
    bool GetRowRect(int row, RECT* rect);
    // Repaints the rows (all for -1).
    void RedrawRows(int first, int last);
    // Widths in pixels and the order the user gave the columns.
    std::vector<int> GetColumnWidths();
    void SetColumnWidths(const std::vector<int>& widths);
    std::vector<int> GetColumnOrder();
    bool SetColumnOrder(const std::vector<int>& order);
    // The header's arrow: up, down or none (column -1) for every column.
    void SetSortMark(int column, bool descending);
    int HitTestRow(POINT client);
    // The text the control shows in a cell (it asks the source for it).
    VQWString GetCellText(int row, int column);
    HFONT GetFont();

    VQWin32ListViewSource* source;  // borrowed: the owner outlives the control
    std::vector<VQWin32ListViewColumn> columns;

private:
    LRESULT CustomDraw(NMLVCUSTOMDRAW* draw);
};
