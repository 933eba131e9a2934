#include "app/target_table.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <vector>

#include "app/resource.h"
#include "settings/settings_store.h"
#include "tests/support/temp_dir.h"

namespace {

// The window as the table sees it: statuses it is told, and what it was asked to do.
struct FakeWindow : TableEvents {
    std::vector<TargetStatus> statuses;  // by entry, and by run index for the live ones
    RunState state = RunState::Idle;
    int selectionNews = 0, sorts = 0;
    std::vector<int> ranRows;
    TargetStatus TableEntryStatus(int index) override { return statuses[static_cast<size_t>(index)]; }
    TargetStatus TableLiveStatus(int runIndex) override { return statuses[static_cast<size_t>(runIndex)]; }
    RunState TableRunState() override { return state; }
    void OnTableSelectionChanged() override { ++selectionNews; }
    void OnTableSorted() override { ++sorts; }
    void OnTableShowOutput(int) override {}
    void OnTableOpenFolder(int) override {}
    void OnTableCopyPaths(const VQWString&) override {}
    void OnTableRunSelected(const std::vector<int>& rows) override { ranRows = rows; }
    void OnTableDelete() override {}
    bool TableListLoading() override { return false; }
};

void AddEntries(TargetListModel& model, int count) {
    for (int i = 0; i < count; ++i) model.Add(VQWString().Format(L"C:\\in\\f%d.txt", i), VQWString());
}

// A report-mode list view of the table's columns in a window of its own.
struct ListWindow {
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 700, 300, nullptr, nullptr, nullptr, nullptr);
    VQWin32DialogItemListView view;
    explicit ListWindow(TargetTable& table) : view(IDC_TARGET_LIST, &table, TargetTable::Columns()) {
        CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA, 0, 0, 700, 300,
                        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TARGET_LIST)), nullptr, nullptr);
        view.OnInitDialog(nullptr, parent, nullptr);
        table.Attach(&view, nullptr);
    }
    ~ListWindow() { DestroyWindow(parent); }
};

}  // namespace

TEST(TargetTable, MarksShowARunsEntriesAndResultsOnly) {
    TargetListModel model;
    AddEntries(model, 3);
    FakeWindow window;
    window.statuses = {TargetStatus::NonZeroExit, TargetStatus::Done, TargetStatus::Running};
    TargetTable table(model, window);
    // Before any run nothing has a mark, whatever the window would say.
    EXPECT_FALSE(table.HasMark(0));
    EXPECT_EQ(L"", std::wstring(table.CellText(0, static_cast<int>(TargetColumn::Status)).Text()));
    EXPECT_TRUE(table.EntriesIn(TableGroup::Failed).empty());
    EXPECT_EQ((std::vector<int>{0, 1, 2}), table.EntriesIn(TableGroup::NotRun));
    // A run of the last two: marked while it is shown, the first entry not.
    std::vector<int> only = {1, 2};
    model.BeginRun(&only);
    table.SetShowsRun(true);
    EXPECT_FALSE(table.HasMark(0));
    EXPECT_TRUE(table.HasMark(2));
    EXPECT_EQ(StatusText(TargetStatus::Running),
              std::wstring(table.CellText(2, static_cast<int>(TargetColumn::Status)).Text()));
    EXPECT_EQ((std::vector<int>{1}), table.EntriesIn(TableGroup::Done));
    EXPECT_EQ((std::vector<int>{0}), table.EntriesIn(TableGroup::NotRun));
    // Once the run is no longer shown, only the result it left marks an entry.
    EntryResult result;
    result.status = TargetStatus::Done;
    model.SetRunResult(0, result);
    table.SetShowsRun(false);
    EXPECT_TRUE(table.HasMark(1));
    EXPECT_FALSE(table.HasMark(2));
}

TEST(TargetTable, RunChangesAreTheWorkersNewsAndComeOnce) {
    TargetListModel model;
    AddEntries(model, 2);
    FakeWindow window;
    window.statuses = {TargetStatus::NotRun, TargetStatus::NotRun};
    TargetTable table(model, window);
    model.BeginRun(nullptr);
    EXPECT_FALSE(table.ShowRunChanges());
    window.statuses[0] = TargetStatus::Running;
    EXPECT_TRUE(table.ShowRunChanges());
    EXPECT_FALSE(table.ShowRunChanges()) << "nothing changed since";
    EXPECT_EQ(0, model.LastRunningEntry());
    // The news is due at most every kRunRedrawMs.
    EXPECT_TRUE(table.RunRedrawDue(1000));
    EXPECT_FALSE(table.RunRedrawDue(1000 + TargetTable::kRunRedrawMs - 1));
    EXPECT_TRUE(table.RunRedrawDue(1000 + TargetTable::kRunRedrawMs));
}

TEST(TargetTable, CommandsChooseRowsAndTellTheWindowOnce) {
    TargetListModel model;
    AddEntries(model, 4);
    FakeWindow window;
    window.statuses = {TargetStatus::NonZeroExit, TargetStatus::Done, TargetStatus::NonZeroExit, TargetStatus::Done};
    TargetTable table(model, window);
    ListWindow list(table);
    list.view.SetCount(model.GetCount());
    model.BeginRun(nullptr);
    table.SetShowsRun(true);
    table.StartFollowingRun();
    table.DoCommand(TargetTable::kSelectFailed);
    EXPECT_EQ(1, window.selectionNews);
    EXPECT_FALSE(table.FollowsRun()) << "a choice ends the following";
    EXPECT_EQ(0, table.FirstSelected());
    table.DoCommand(TargetTable::kRunSelected);
    EXPECT_EQ((std::vector<int>{0, 2}), window.ranRows);
    table.DoCommand(TargetTable::kInvertSelection);
    table.DoCommand(TargetTable::kRunSelected);
    EXPECT_EQ((std::vector<int>{1, 3}), window.ranRows);
    // A sort keeps the chosen entries chosen and tells the window of the new order.
    table.Sort(TargetColumn::Number, true);
    EXPECT_EQ(1, window.sorts);
    table.DoCommand(TargetTable::kRunSelected);
    EXPECT_EQ((std::vector<int>{0, 2}), window.ranRows) << "entries 4 and 2 are now rows 0 and 2";
}

TEST(TargetTable, TheLayoutGoesThroughTheStore) {
    TempDir folder;
    TargetListModel model;
    FakeWindow window;
    std::vector<int> widths = {90, 40, 150, 210, 70, 60, 180};
    std::vector<int> order = {1, 0, 2, 3, 4, 5, 6};
    {
        std::unique_ptr<SettingsStore> store =
            NewFileStore(VQWString(folder.Join(L"Quenbrix.ini").c_str()), true, nullptr);
        TargetTable table(model, window);
        ListWindow list(table);
        table.SaveLayout(*store);
        int32_t kept[14] = {};
        EXPECT_FALSE(store->ReadNumbers("TableColumns", 14, kept)) << "nothing taken, nothing written";
        list.view.SetColumnWidths(widths);
        list.view.SetColumnOrder(order);
        table.TakeLayout(96);
        table.SaveLayout(*store);
        ASSERT_TRUE(store->Flush());
    }
    std::unique_ptr<SettingsStore> store = NewFileStore(VQWString(folder.Join(L"Quenbrix.ini").c_str()), true, nullptr);
    TargetTable table(model, window);
    ListWindow list(table);
    table.RestoreLayout(*store, 96);
    EXPECT_EQ(widths, list.view.GetColumnWidths());
    EXPECT_EQ(order, list.view.GetColumnOrder());
    // At twice the scale the widths double; a column of no width leaves the fitted ones.
    table.RestoreLayout(*store, 192);
    EXPECT_EQ(2 * widths[2], list.view.GetColumnWidths()[2]);
    int32_t bad[14] = {0, 40, 150, 210, 70, 60, 180, 0, 1, 2, 3, 4, 5, 6};
    store->WriteNumbers("TableColumns", 14, bad);
    table.RestoreLayout(*store, 96);
    EXPECT_GT(list.view.GetColumnWidths()[0], 8);
}

TEST(TargetTable, ARunsEndKeepsTheSelectionWithTheEntriesThatStayOrSelectsTheFirstFailure) {
    TargetListModel model;
    AddEntries(model, 4);
    FakeWindow window;
    TargetTable table(model, window);
    // Without a table shown nothing leaves, whatever the box says.
    std::vector<bool> asked;
    auto removeFirstAndThird = [&](bool removeDone) {
        asked.push_back(removeDone);
        if (removeDone) model.Remove({0, 2});
        return -1;
    };
    EXPECT_FALSE(table.ShowRunEnd(true, removeFirstAndThird));
    ListWindow list(table);
    list.view.SetCount(model.GetCount());
    list.view.SelectRows({1, 3});
    EXPECT_TRUE(table.ShowRunEnd(true, removeFirstAndThird));
    EXPECT_EQ((std::vector<bool>{false, true}), asked);
    std::vector<int> selected;
    list.view.GetSelectedIndices(selected);
    EXPECT_EQ((std::vector<int>{0, 1}), selected) << "the entries 2 and 4, now first and second";
    EXPECT_TRUE(table.ShowRunEnd(false, [](bool) { return 1; }));
    list.view.GetSelectedIndices(selected = {});
    EXPECT_EQ((std::vector<int>{1}), selected);
}
