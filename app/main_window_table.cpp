// The table's commands: sorting by a column, choosing entries by their
// result, running only the chosen ones, a file's output, its folder, its
// path, and keeping the running entries in view during a run.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <initializer_list>

#include "app/main_window.h"
#include "app/table_status.h"
#include "win32/dpi.h"
#include "win32/list_view.h"

bool MainWindow::HasMark(int index) {
    if (index < 0 || index >= targetModel.GetCount()) return false;
    return (table.ShowsRun() && targetModel.At(index).runIndex >= 0) || targetModel.ResultOf(index) != nullptr;
}

int MainWindow::FirstSelected() {
    VQWin32DialogItemListView* view = TargetList();
    if (!view || view->GetSelectedCount() == 0) return -1;
    std::vector<int> selected;
    // The first only: asking for every one of a million is slow.
    int focused = view->GetFocused();
    if (focused >= 0 && view->IsSelected(focused) && view->GetSelectedCount() == 1) return focused;
    view->GetSelectedIndices(selected);
    return selected.empty() ? -1 : selected[0];
}

void MainWindow::SelectNumbers(const std::vector<int>& numbers) {
    VQWin32DialogItemListView* view = TargetList();
    if (!view || numbers.empty()) return;
    std::vector<bool> wanted;
    for (int number : numbers) {
        if (number >= static_cast<int>(wanted.size())) wanted.resize(static_cast<size_t>(number) + 1, false);
        wanted[static_cast<size_t>(number)] = true;
    }
    std::vector<int> rows;
    for (int i = 0; i < targetModel.GetCount(); ++i) {
        int number = targetModel.At(i).number;
        if (number < static_cast<int>(wanted.size()) && wanted[static_cast<size_t>(number)]) rows.push_back(i);
    }
    followingSelection = true;
    view->SelectRows(rows);
    followingSelection = false;
}

void MainWindow::SortTable(TargetColumn column, bool descending) {
    VQWin32DialogItemListView* view = TargetList();
    if (!view) return;
    // The selection stays with its entries.
    std::vector<int> selected;
    view->GetSelectedIndices(selected);
    std::vector<int> numbers;
    for (int index : selected) numbers.push_back(targetModel.At(index).number);
    RunState state = runController.State();
    bool running = state != RunState::Idle && state != RunState::Ended;
    targetModel.Sort(column, descending, [this, running](int index) {
        return running ? EntryStatus(index) : targetModel.StatusOf(index);
    });
    table.sortColumn = static_cast<int>(column);
    table.sortDescending = descending;
    view->SetSortMark(table.sortColumn, descending);
    followingSelection = true;
    view->SetSelectedAll(false);
    followingSelection = false;
    SelectNumbers(numbers);
    ShowSelection();
    view->RedrawRows(-1, -1);
    // The sorted order is the list's order: the kept list follows.
    keeper.Changed();
}

TargetStatus MainWindow::ShownStatus(int index) { return HasMark(index) ? EntryStatus(index) : TargetStatus::NotRun; }

std::vector<int> MainWindow::EntriesIn(TableGroup group) {
    std::vector<int> rows;
    for (int i = 0; i < targetModel.GetCount(); ++i) {
        if (InTableGroup(group, ShownStatus(i))) rows.push_back(i);
    }
    return rows;
}

void MainWindow::SelectRows(const std::vector<int>& rows) {
    VQWin32DialogItemListView* view = TargetList();
    if (!view) return;
    // A choice of the user's own ends following the run.
    followRun = false;
    followingSelection = true;
    view->SelectRows(rows);
    followingSelection = false;
    OnListSelectionChanged();
}

void MainWindow::SelectGroup(TableGroup group) { SelectRows(EntriesIn(group)); }

void MainWindow::UpdateTableStatus() {
    VQWin32DialogItemListView* view = TargetList();
    if (!view) return;
    shownCounts = CountTableByStatus(view->GetSelectedCount(),
                                     [this](TargetStatus status) { return targetModel.CountShown(status); });
    ShowTableStatus();
}

void MainWindow::UpdateTableSelection() {
    VQWin32DialogItemListView* view = TargetList();
    if (!view) return;
    shownCounts.selected = view->GetSelectedCount();
    ShowTableStatus();
}

void MainWindow::ShowTableStatus() {
    auto* line = static_cast<VQWin32DialogItemLinkLine*>(FindItemById(IDC_TABLE_STATUS));
    if (!line) return;
    std::vector<VQWin32LinkPart> parts = TableStatusParts(shownCounts);
    if (keeper.IsLoading()) {
        parts.push_back({VQWString(parts.empty() ? L"前回のリストを読み込み中…" : L" ・ 前回のリストを読み込み中…"), nullptr});
    }
    line->SetParts(parts);
}

void MainWindow::OnTableStatusClick(const wchar_t* name) {
    TableGroup group;
    if (TableGroupOfName(name, &group)) SelectGroup(group);
}

void MainWindow::TableCommand(int command) {
    VQWin32DialogItemListView* view = TargetList();
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
        for (int i = 0; i < targetModel.GetCount(); ++i) {
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
        if (view->GetSelectedIndices(selected) > 0) RunOrStop(&selected);
        break;
    case kShowOutput: ShowOutputOf(FirstSelected()); break;
    case kOpenFolder: {
        int first = FirstSelected();
        if (first < 0) break;
        if (!showInFolder || !showInFolder(handle, targetModel.PathAt(first).Text())) {
            ShowError(VQWString().Format(L"フォルダを開けませんでした。\n%s", targetModel.PathAt(first).Text()).Text());
        }
        break;
    }
    case kCopyPaths: {
        if (view->GetSelectedIndices(selected) == 0) break;
        VQWString text;
        for (int index : selected) {
            text.Append(targetModel.PathAt(index));
            text.Append(L"\r\n");
        }
        if (copyToClipboard) copyToClipboard(handle, text);
        break;
    }
    case kDeleteSelected: OnDeleteKey(); break;
    default: break;
    }
}

void MainWindow::ShowTableMenu(POINT screen) {
    VQWin32DialogItemListView* view = TargetList();
    if (!view) return;
    RunState state = runController.State();
    bool idle = state == RunState::Idle;
    bool any = view->GetSelectedCount() > 0;
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    auto add = [&](int id, const wchar_t* text, bool enabled) {
        AppendMenuW(menu, MF_STRING | (enabled ? 0 : MF_GRAYED), static_cast<UINT_PTR>(id), text);
    };
    bool hasEntries = targetModel.GetCount() > 0;
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
    int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, screen.x, screen.y, 0, handle,
                                nullptr);
    DestroyMenu(menu);
    if (chosen > 0) TableCommand(chosen);
}

void MainWindow::ShowOutputOf(int index) {
    if (index < 0 || index >= targetModel.GetCount()) return;
    outputWindow.Show(*this, index);
}

void MainWindow::OnDeleteKey() {
    VQWin32DialogItem* deleteButton = FindItemById(IDC_DELETE_BUTTON);
    if (deleteButton && deleteButton->IsEnabled()) OnDelete();
}

void MainWindow::FollowRun() {
    VQWin32DialogItemListView* view = TargetList();
    if (!view || !followRun) return;
    // A scroll of the user's own ends the following.
    if (followedTop >= 0 && view->GetTopIndex() != followedTop) {
        followRun = false;
        return;
    }
    // The last running entry of the table's order comes into view. Each
    // scroll redraws the view: one jump brings the running entries to the
    // top, and the rows below it take those that begin next.
    int last = targetModel.LastRunningEntry();
    int top = view->GetTopIndex();
    int page = std::max(view->GetCountPerPage(), 1);
    if (last >= 0 && (last < top || last >= top + page)) {
        int first = std::max(targetModel.FirstRunningEntry(), last - page + 1);
        if (!view->ScrollToTop(first)) view->EnsureVisible(last);
    }
    followedTop = view->GetTopIndex();
}

namespace {

const char kTableColumnsValue[] = "TableColumns";
const int kColumns = static_cast<int>(TargetColumn::Count);

}  // namespace

void MainWindow::RestoreTableLayout() {
    VQWin32DialogItemListView* view = TargetList();
    if (!view) return;
    int32_t stored[2 * kColumns] = {};
    std::vector<int> widths, order;
    bool kept = Store().ReadNumbers(kTableColumnsValue, 2 * kColumns, stored);
    for (int i = 0; kept && i < kColumns; ++i) {
        // A column the user shrank to nothing stays findable.
        int width = stored[i];
        if (width < 8 || width > 4000) kept = false;
        widths.push_back(MulDiv(width, static_cast<int>(dpi ? dpi : 96), 96));
        order.push_back(stored[kColumns + i]);
    }
    if (!kept || !view->SetColumnOrder(order)) {
        FitColumnsToTable();
        return;
    }
    view->SetColumnWidths(widths);
}

void MainWindow::FitColumnsToTable() {
    VQWin32DialogItemListView* view = TargetList();
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
    std::vector<VQWin32ListViewColumn> columns = TargetTable::Columns();
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

void MainWindow::TakeTableLayout() {
    VQWin32DialogItemListView* view = TargetList();
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

void MainWindow::SaveTableLayout() {
    if (static_cast<int>(closingLayout.size()) != 2 * kColumns) return;
    Store().WriteNumbers(kTableColumnsValue, 2 * kColumns, closingLayout.data());
}
