#include "app/target_table.h"

#include "app/entry_text.h"
#include "app/main_window.h"
#include "app/target_list_model.h"
#include "engine/run_report.h"

namespace {

COLORREF MarkColor(TargetStatus status) {
    switch (status) {
    case TargetStatus::Done:
    case TargetStatus::Skipped: return RGB(0x1E, 0x8E, 0x3E);
    case TargetStatus::Running: return RGB(0x1A, 0x73, 0xE8);
    case TargetStatus::Stopped: return RGB(0xE3, 0x8A, 0x00);
    case TargetStatus::NotRun: return RGB(0x9A, 0xA0, 0xA6);
    default: return RGB(0xD9, 0x30, 0x25);
    }
}


}  // namespace

// A mark drawn with lines, so that it looks the same whatever the font has:
// a tick for done, a cross for a failure, a square for stopped, a dot for
// running and a ring for not run.
void DrawStatusMark(HDC dc, const RECT& box, TargetStatus status) {
    int size = box.bottom - box.top;
    int unit = size / 8 > 0 ? size / 8 : 1;
    int left = box.left + unit, top = box.top + unit * 2, right = box.left + size - unit * 2,
        bottom = box.bottom - unit * 2;
    COLORREF color = MarkColor(status);
    HPEN pen = CreatePen(PS_SOLID, unit + 1, color);
    HBRUSH brush = CreateSolidBrush(color);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    switch (status) {
    case TargetStatus::Done:
    case TargetStatus::Skipped: {
        POINT tick[3] = {{left, (top + bottom) / 2}, {(left + right) / 2 - unit, bottom - unit}, {right, top}};
        Polyline(dc, tick, 3);
        break;
    }
    case TargetStatus::Running:
        SelectObject(dc, brush);
        Ellipse(dc, left + unit, top + unit, right - unit, bottom - unit);
        break;
    case TargetStatus::Stopped:
        SelectObject(dc, brush);
        Rectangle(dc, left + unit, top + unit, right - unit, bottom - unit);
        break;
    case TargetStatus::NotRun: Ellipse(dc, left + unit, top + unit, right - unit, bottom - unit); break;
    default: {
        POINT a[2] = {{left + unit, top + unit}, {right - unit, bottom - unit}};
        POINT b[2] = {{right - unit, top + unit}, {left + unit, bottom - unit}};
        Polyline(dc, a, 2);
        Polyline(dc, b, 2);
        break;
    }
    }
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(brush);
    DeleteObject(pen);
}


TargetTable::TargetTable(MainWindow& owner) : window(owner) {}

std::vector<VQWin32ListViewColumn> TargetTable::Columns() {
    return {
        {L"状態", 84, LVCFMT_LEFT, true},   {L"#", 48, LVCFMT_RIGHT, false},
        {L"名前", 160, LVCFMT_LEFT, false}, {L"フォルダ", 200, LVCFMT_LEFT, false},
        {L"終了コード", 72, LVCFMT_RIGHT, false}, {L"時間", 64, LVCFMT_RIGHT, false},
        {L"出力", 200, LVCFMT_LEFT, false},
    };
}

VQWString TargetTable::CellText(int row, int column) {
    TargetListModel& model = window.Targets();
    if (row < 0 || row >= model.GetCount()) return VQWString();
    const TargetEntry& entry = model.At(row);
    const EntryResult* result = model.ResultOf(row);
    switch (column) {
    case -1: return entry.path;
    case static_cast<int>(TargetColumn::Status):
        return window.HasMark(row) ? VQWString(StatusText(window.EntryStatus(row))) : VQWString();
    case static_cast<int>(TargetColumn::Number): return VQWString().Format(L"%d", entry.number);
    case static_cast<int>(TargetColumn::Name): return NameOfPath(entry.path);
    case static_cast<int>(TargetColumn::Folder): return FolderOfPath(entry.path);
    case static_cast<int>(TargetColumn::ExitCode):
        if (!result || !(result->preEnded || result->commandEnded)) return VQWString();
        if (!result->preEnded) return FormatExitCode(result->commandExitCode);
        return VQWString().Format(L"%s / %s", FormatExitCode(result->preExitCode).Text(),
                                  StepExitCodeText(result->commandEnded, result->commandExitCode).Text());
    case static_cast<int>(TargetColumn::Time):
        if (!result || result->status == TargetStatus::NotRun) return VQWString();
        return SecondsText(result->milliseconds);
    case static_cast<int>(TargetColumn::Output): return result ? result->firstLine : VQWString();
    default: return VQWString();
    }
}

void TargetTable::DrawCellMark(HDC dc, const RECT& area, int row, int) {
    if (window.HasMark(row)) DrawStatusMark(dc, area, window.EntryStatus(row));
}

void TargetTable::OnColumnClick(int column) {
    if (column < 0 || column >= static_cast<int>(TargetColumn::Count)) return;
    bool descending = column == sortColumn && !sortDescending;
    window.SortTable(static_cast<TargetColumn>(column), descending);
}

void TargetTable::OnOpenRow(int row) { window.ShowOutputOf(row); }

void TargetTable::OnContextMenu(POINT screen) { window.ShowTableMenu(screen); }

void TargetTable::OnSelectionChanged() { window.OnListSelectionChanged(); }

void TargetTable::OnDeleteKey() { window.OnDeleteKey(); }

bool TargetTable::RunRedrawDue(DWORD now) {
    if (runShown && now - runShownAt < kRunRedrawMs) return false;
    runShown = true;
    runShownAt = now;
    return true;
}

bool TargetTable::ShowRunChanges() {
    changedRows.clear();
    const BatchRunner& runner = window.RunControl().Runner();
    window.Targets().FollowRun([&runner](int runIndex) { return runner.GetLiveStatus(runIndex); }, &changedRows);
    if (changedRows.empty()) return false;
    VQWin32DialogItemListView* view = window.TargetList();
    if (!view) return true;
    // Rows out of view are drawn when they come into it.
    int top = view->GetTopIndex();
    int bottom = top + view->GetCountPerPage();
    for (int row : changedRows) {
        if (row >= top && row <= bottom) view->RedrawRows(row, row);
    }
    return true;
}

VQWString TargetTable::EmptyText() {
    return VQWString(L"ここにファイルやフォルダをドロップするか、追加・リスト追加で選んでください。");
}
