#include "app/target_table.h"

#include "app/entry_text.h"
#include "app/target_list_model.h"
#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <initializer_list>

#include "engine/run_report.h"
#include "settings/settings_store.h"
#include "win32/dpi.h"
#include "win32/link_line.h"
#include "win32/progress_bar.h"

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

const char kTableColumnsValue[] = "TableColumns";
const int kColumns = static_cast<int>(TargetColumn::Count);

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


TargetTable::TargetTable(TargetListModel& entries, TableEvents& owner) : model(entries), events(owner) {}

void TargetTable::Attach(VQWin32DialogItemListView* list, VQWin32DialogItemLinkLine* line,
                         VQWin32DialogItemProgressBar* bar) {
    view = list;
    statusLine = line;
    runBar = bar;
}

void TargetTable::ShowRunBar(bool shown, int total) {
    if (!runBar) return;
    runBar->SetProgress(0, shown ? total : 0, false);
    runBar->Show(shown);
}

void TargetTable::ShowRunProgress(int finished, int total, bool failed) {
    if (runBar) runBar->SetProgress(finished, total, failed);
}

bool TargetTable::ShowRunEnd(bool removeChecked, const std::function<int(bool removeDone)>& collect) {
    bool shown = view && view->GetHandle();
    bool removeDone = shown && removeChecked;
    // The selection stays with the entries that stay.
    std::vector<int> selected, keptNumbers;
    if (removeDone) view->GetSelectedIndices(selected);
    for (int index : selected) keptNumbers.push_back(model.At(index).number);
    int failed = collect(removeDone);
    if (!shown) return false;
    if (removeDone) {
        view->SetSelectedAll(false);
        view->SetCount(model.GetCount());
        if (failed < 0) SelectNumbers(keptNumbers);
    }
    // The first failure is where the user looks next.
    if (failed >= 0) view->SelectOnly(failed);
    view->RedrawRows(-1, -1);
    return true;
}

std::vector<VQWin32ListViewColumn> TargetTable::Columns() {
    return {
        {L"状態", 84, LVCFMT_LEFT, true},   {L"#", 48, LVCFMT_RIGHT, false},
        {L"名前", 160, LVCFMT_LEFT, false}, {L"フォルダ", 200, LVCFMT_LEFT, false},
        {L"終了コード", 72, LVCFMT_RIGHT, false}, {L"時間", 64, LVCFMT_RIGHT, false},
        {L"出力", 200, LVCFMT_LEFT, false},
    };
}

VQWString TargetTable::CellText(int row, int column) {
    if (row < 0 || row >= model.GetCount()) return VQWString();
    const TargetEntry& entry = model.At(row);
    const EntryResult* result = model.ResultOf(row);
    switch (column) {
    case -1: return entry.path;
    case static_cast<int>(TargetColumn::Status):
        return HasMark(row) ? VQWString(StatusText(events.TableEntryStatus(row))) : VQWString();
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
    if (HasMark(row)) DrawStatusMark(dc, area, events.TableEntryStatus(row));
}

void TargetTable::OnColumnClick(int column) {
    if (column < 0 || column >= static_cast<int>(TargetColumn::Count)) return;
    bool descending = column == sortColumn && !sortDescending;
    Sort(static_cast<TargetColumn>(column), descending);
}

void TargetTable::OnOpenRow(int row) { events.OnTableShowOutput(row); }

void TargetTable::OnContextMenu(POINT screen) { ShowMenu(screen); }

void TargetTable::OnSelectionChanged() {
    // Rows chosen one by one by the program tell of each; whoever chose
    // them shows the selection once at the end (each look at it is a walk
    // over the selected rows).
    if (followingSelection) return;
    followRun = false;
    events.OnTableSelectionChanged();
}

void TargetTable::OnDeleteKey() { events.OnTableDelete(); }

VQWString TargetTable::EmptyText() {
    return VQWString(L"ここにファイルやフォルダをドロップするか、追加・リスト追加で選んでください。");
}

bool TargetTable::HasMark(int index) const {
    if (index < 0 || index >= model.GetCount()) return false;
    return (showsRun && model.At(index).runIndex >= 0) || model.ResultOf(index) != nullptr;
}

TargetStatus TargetTable::ShownStatus(int index) {
    return HasMark(index) ? events.TableEntryStatus(index) : TargetStatus::NotRun;
}

void TargetTable::Sort(TargetColumn column, bool descending) {
    if (!view) return;
    // The selection stays with its entries.
    std::vector<int> selected;
    view->GetSelectedIndices(selected);
    std::vector<int> numbers;
    for (int index : selected) numbers.push_back(model.At(index).number);
    RunState state = events.TableRunState();
    bool running = state != RunState::Idle && state != RunState::Ended;
    model.Sort(column, descending, [this, running](int index) {
        return running ? events.TableEntryStatus(index) : model.StatusOf(index);
    });
    sortColumn = static_cast<int>(column);
    sortDescending = descending;
    view->SetSortMark(sortColumn, descending);
    followingSelection = true;
    view->SetSelectedAll(false);
    followingSelection = false;
    SelectNumbers(numbers);
    view->RedrawRows(-1, -1);
    // The sorted order is the list's order: the kept list follows.
    events.OnTableSorted();
}

void TargetTable::DoCommand(int command) {
    if (!view) return;
    std::vector<int> selected;
    switch (command) {
    case kSelectFailed: SelectGroup(TableGroup::Failed); break;
    case kSelectNotRun: SelectGroup(TableGroup::NotRun); break;
    case kSelectDone: SelectGroup(TableGroup::Done); break;
    case kInvertSelection: {
        view->GetSelectedIndices(selected);
        std::vector<int> others;
        size_t next = 0;
        for (int i = 0; i < model.GetCount(); ++i) {
            if (next < selected.size() && selected[next] == i) {
                ++next;
                continue;
            }
            others.push_back(i);
        }
        SelectRows(others);
        break;
    }
    case kRunSelected:
        if (view->GetSelectedIndices(selected) > 0) events.OnTableRunSelected(selected);
        break;
    case kShowOutput: events.OnTableShowOutput(FirstSelected()); break;
    case kOpenFolder: {
        int first = FirstSelected();
        if (first >= 0) events.OnTableOpenFolder(first);
        break;
    }
    case kCopyPaths: {
        if (view->GetSelectedIndices(selected) == 0) break;
        VQWString text;
        for (int index : selected) {
            text.Append(model.PathAt(index));
            text.Append(L"\r\n");
        }
        events.OnTableCopyPaths(text);
        break;
    }
    case kDeleteSelected: events.OnTableDelete(); break;
    default: break;
    }
}

void TargetTable::ShowMenu(POINT screen) {
    if (!view || !view->GetHandle()) return;
    bool idle = events.TableRunState() == RunState::Idle;
    bool any = view->GetSelectedCount() > 0;
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    auto add = [&](int id, const wchar_t* text, bool enabled) {
        AppendMenuW(menu, MF_STRING | (enabled ? 0 : MF_GRAYED), static_cast<UINT_PTR>(id), text);
    };
    bool hasEntries = model.GetCount() > 0;
    add(kRunSelected, L"選択したファイルを実行(&E)", idle && any);
    add(kShowOutput, L"出力を表示(&V)\tEnter", any);
    add(kOpenFolder, L"フォルダを開く(&F)", any);
    add(kCopyPaths, L"パスをコピー(&C)", any);
    add(kDeleteSelected, L"削除(&D)\tDelete", idle && any);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    add(kSelectFailed, L"失敗したものを選択(&A)", hasEntries);
    add(kSelectNotRun, L"未実行を選択(&N)", hasEntries);
    add(kSelectDone, L"完了を選択(&O)", hasEntries);
    add(kInvertSelection, L"選択を反転(&I)", hasEntries);
    // The menu's commands come back as its result, not to its owner: the top-level window.
    int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, screen.x, screen.y, 0,
                                GetAncestor(view->GetHandle(), GA_ROOT), nullptr);
    DestroyMenu(menu);
    if (chosen > 0) DoCommand(chosen);
}

void TargetTable::OnStatusClick(const wchar_t* name) {
    TableGroup group;
    if (TableGroupOfName(name, &group)) SelectGroup(group);
}

int TargetTable::FirstSelected() {
    if (!view || view->GetSelectedCount() == 0) return -1;
    std::vector<int> selected;
    // The first only: asking for every one of a million is slow.
    int focused = view->GetFocused();
    if (focused >= 0 && view->IsSelected(focused) && view->GetSelectedCount() == 1) return focused;
    view->GetSelectedIndices(selected);
    return selected.empty() ? -1 : selected[0];
}

VQWString TargetTable::SelectionDetails() {
    int first = FirstSelected();
    const EntryResult* result = first >= 0 ? model.ResultOf(first) : nullptr;
    return result ? DescribeEntry(*result) : VQWString();
}

void TargetTable::SelectNumbers(const std::vector<int>& numbers) {
    if (!view || numbers.empty()) return;
    std::vector<bool> wanted;
    for (int number : numbers) {
        if (number >= static_cast<int>(wanted.size())) wanted.resize(static_cast<size_t>(number) + 1, false);
        wanted[static_cast<size_t>(number)] = true;
    }
    std::vector<int> rows;
    for (int i = 0; i < model.GetCount(); ++i) {
        int number = model.At(i).number;
        if (number < static_cast<int>(wanted.size()) && wanted[static_cast<size_t>(number)]) rows.push_back(i);
    }
    SelectQuietly(rows);
}

void TargetTable::SelectQuietly(const std::vector<int>& rows) {
    followingSelection = true;
    view->SelectRows(rows);
    followingSelection = false;
}

std::vector<int> TargetTable::EntriesIn(TableGroup group) {
    std::vector<int> rows;
    for (int i = 0; i < model.GetCount(); ++i) {
        if (InTableGroup(group, ShownStatus(i))) rows.push_back(i);
    }
    return rows;
}

void TargetTable::SelectRows(const std::vector<int>& rows) {
    if (!view) return;
    // A choice of the user's own ends following the run.
    followRun = false;
    SelectQuietly(rows);
    OnSelectionChanged();
}

void TargetTable::SelectGroup(TableGroup group) { SelectRows(EntriesIn(group)); }

void TargetTable::UpdateStatus() {
    if (!view) return;
    shownCounts = CountTableByStatus(view->GetSelectedCount(),
                                     [this](TargetStatus status) { return model.CountShown(status); });
    ShowStatus();
}

bool TargetTable::ShowCount() {
    if (!view) return false;
    if (view->GetCount() != model.GetCount()) view->SetCount(model.GetCount());
    view->RedrawRows(-1, -1);
    UpdateStatus();
    return true;
}

void TargetTable::ShowRemoved(int next) {
    view->SetSelectedAll(false);
    view->SetCount(model.GetCount());
    view->SelectOnly(next);
}

void TargetTable::UpdateSelectionCount() {
    if (!view) return;
    shownCounts.selected = view->GetSelectedCount();
    ShowStatus();
}

void TargetTable::ShowStatus() {
    if (!statusLine) return;
    std::vector<VQWin32LinkPart> parts = TableStatusParts(shownCounts);
    if (events.TableListLoading()) {
        parts.push_back({VQWString(parts.empty() ? L"前回のリストを読み込み中…" : L" ・ 前回のリストを読み込み中…"), nullptr});
    }
    if (!statusNote.IsEmpty()) {
        VQWString note(parts.empty() ? L"" : L" ・ ");
        note.Append(statusNote);
        parts.push_back({note, nullptr});
    }
    statusLine->SetParts(parts);
}

void TargetTable::SetStatusNote(const VQWString& note) {
    if (note == statusNote) return;
    statusNote = note;
    ShowStatus();
}

bool TargetTable::RunRedrawDue(DWORD now) {
    if (runShown && now - runShownAt < kRunRedrawMs) return false;
    runShown = true;
    runShownAt = now;
    return true;
}

bool TargetTable::ShowRunChanges() {
    changedRows.clear();
    model.FollowRun([this](int runIndex) { return events.TableLiveStatus(runIndex); }, &changedRows);
    if (changedRows.empty()) return false;
    followDue = true;
    if (!view) return true;
    // Rows out of view are drawn when they come into it.
    int top = view->GetTopIndex();
    int bottom = top + view->GetCountPerPage();
    for (int row : changedRows) {
        if (row >= top && row <= bottom) view->RedrawRows(row, row);
    }
    return true;
}

void TargetTable::StartFollowingRun() {
    followRun = true;
    followedTop = -1;
    followDue = false;
}

bool TargetTable::FollowRunIfDue() {
    if (!followDue) return false;
    followDue = false;
    FollowRun();
    return true;
}

void TargetTable::FollowRun() {
    if (!view || !followRun) return;
    // A scroll of the user's own ends the following.
    if (followedTop >= 0 && view->GetTopIndex() != followedTop) {
        followRun = false;
        return;
    }
    // The last running entry of the table's order comes into view. Each
    // scroll redraws the view: one jump brings the running entries to the
    // top, and the rows below it take those that begin next.
    int last = model.LastRunningEntry();
    int top = view->GetTopIndex();
    int page = std::max(view->GetCountPerPage(), 1);
    if (last >= 0 && (last < top || last >= top + page)) {
        int first = std::max(model.FirstRunningEntry(), last - page + 1);
        if (!view->ScrollToTop(first)) view->EnsureVisible(last);
    }
    followedTop = view->GetTopIndex();
}

void TargetTable::RestoreLayout(SettingsStore& store, UINT dpi) {
    if (!view) return;
    int32_t stored[2 * kColumns] = {};
    std::vector<int> widths, order;
    bool kept = store.ReadNumbers(kTableColumnsValue, 2 * kColumns, stored);
    for (int i = 0; kept && i < kColumns; ++i) {
        // A column the user shrank to nothing stays findable.
        int width = stored[i];
        if (width < 8 || width > 4000) kept = false;
        widths.push_back(MulDiv(width, static_cast<int>(dpi ? dpi : 96), 96));
        order.push_back(stored[kColumns + i]);
    }
    if (!kept || !view->SetColumnOrder(order)) {
        FitColumns(dpi);
        return;
    }
    view->SetColumnWidths(widths);
}

void TargetTable::FitColumns(UINT dpi) {
    if (!view || !view->GetHandle()) return;
    HWND list = view->GetHandle();
    HDC dc = GetDC(list);
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
    auto widest = [dc](std::initializer_list<const wchar_t*> texts) {
        int width = 0;
        for (const wchar_t* text : texts) {
            SIZE size = {};
            GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
            if (size.cx > width) width = size.cx;
        }
        return width;
    };
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    std::vector<VQWin32ListViewColumn> columns = Columns();
    std::vector<int> widths(columns.size(), 0);
    // The cells' padding on both sides, as the control draws them.
    const int padding = VQWin32ScaleToDpi(14, dpi ? dpi : 96);
    int statusText = 0;
    for (int status = 0; status <= static_cast<int>(TargetStatus::OutputFolderFailed); ++status) {
        statusText = std::max(statusText, widest({StatusText(static_cast<TargetStatus>(status))}));
    }
    RECT row = {};
    // The mark is as wide as a row is high.
    int mark = view->GetCount() > 0 && view->GetRowRect(0, &row) ? row.bottom - row.top : metrics.tmHeight + 4;
    auto at = [](TargetColumn column) { return static_cast<size_t>(column); };
    widths[at(TargetColumn::Status)] = std::max(widest({L"状態"}), mark + 2 + statusText) + padding;
    widths[at(TargetColumn::Number)] = widest({L"#", L"99999"}) + padding;
    widths[at(TargetColumn::ExitCode)] = widest({L"終了コード", L"0xC0000005"}) + padding;
    widths[at(TargetColumn::Time)] = widest({L"時間", L"9999.99 秒"}) + padding;
    SelectObject(dc, oldFont);
    ReleaseDC(list, dc);
    // The rest shares what the table shows without scrolling sideways.
    RECT client = {};
    GetClientRect(list, &client);
    int room = client.right - client.left - GetSystemMetrics(SM_CXVSCROLL);
    for (int width : widths) room -= width;
    const int floor = VQWin32ScaleToDpi(40, dpi ? dpi : 96);
    const struct {
        TargetColumn column;
        int share;  // of 100
    } shared[] = {{TargetColumn::Name, 28}, {TargetColumn::Folder, 38}, {TargetColumn::Output, 34}};
    int left = room;
    for (size_t i = 0; i < sizeof shared / sizeof shared[0]; ++i) {
        int width = i + 1 < sizeof shared / sizeof shared[0] ? room * shared[i].share / 100 : left;
        widths[at(shared[i].column)] = std::max(width, floor);
        left -= width;
    }
    view->SetColumnWidths(widths);
}

void TargetTable::TakeLayout(UINT dpi) {
    if (!view || !view->GetHandle()) return;
    std::vector<int> widths = view->GetColumnWidths();
    std::vector<int> order = view->GetColumnOrder();
    if (static_cast<int>(widths.size()) != kColumns || static_cast<int>(order.size()) != kColumns) return;
    closingLayout.assign(2 * kColumns, 0);
    for (size_t i = 0; i < static_cast<size_t>(kColumns); ++i) {
        closingLayout[i] = MulDiv(widths[i], 96, static_cast<int>(dpi ? dpi : 96));
        closingLayout[kColumns + i] = order[i];
    }
}

void TargetTable::ScaleColumns(UINT from, UINT to) {
    if (!view || from == to) return;
    std::vector<int> widths = view->GetColumnWidths();
    for (int& width : widths) width = MulDiv(width, static_cast<int>(to), static_cast<int>(from));
    view->SetColumnWidths(widths);
}

void TargetTable::SaveLayout(SettingsStore& store) {
    if (static_cast<int>(closingLayout.size()) != 2 * kColumns) return;
    store.WriteNumbers(kTableColumnsValue, 2 * kColumns, closingLayout.data());
}
