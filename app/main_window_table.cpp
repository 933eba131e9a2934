// What the table asks of the window: the entries' statuses, the run's
// state, and the effects of its commands beyond the table.
#include "app/main_window.h"

TargetStatus MainWindow::TableEntryStatus(int index) { return EntryStatus(index); }

TargetStatus MainWindow::TableLiveStatus(int runIndex) { return runController.Runner().GetLiveStatus(runIndex); }

RunState MainWindow::TableRunState() { return runController.State(); }

void MainWindow::OnTableSelectionChanged() { ShowSelection(); }

void MainWindow::OnTableSorted() {
    ShowSelection();
    keeper.Changed();
}

void MainWindow::OnTableShowOutput(int index) { ShowOutputOf(index); }

void MainWindow::OnTableOpenFolder(int index) {
    if (!showInFolder || !showInFolder(handle, targetModel.PathAt(index).Text())) {
        ShowError(VQWString().Format(L"フォルダを開けませんでした。\n%s", targetModel.PathAt(index).Text()).Text());
    }
}

void MainWindow::OnTableCopyPaths(const VQWString& text) {
    if (copyToClipboard) copyToClipboard(handle, text);
}

void MainWindow::OnTableRunSelected(const std::vector<int>& rows) { RunOrStop(&rows); }

void MainWindow::OnTableDelete() {
    VQWin32DialogItem* deleteButton = FindItemById(IDC_DELETE_BUTTON);
    if (deleteButton && deleteButton->IsEnabled()) OnDelete();
}

bool MainWindow::TableListLoading() { return keeper.IsLoading(); }

void MainWindow::OnListSelectionChanged() { table.OnSelectionChanged(); }

void MainWindow::ShowOutputOf(int index) {
    if (index < 0 || index >= targetModel.GetCount()) return;
    outputWindow.Show(*this, index);
}
