// The window's side of the kept list (app/kept_list_keeper.h): what the
// keeper asks of it, its boxes, and the worker's news passed on.
#include <windows.h>

#include "app/main_window.h"
#include "engine/child_process.h"
#include "win32/dialog_items.h"
#include "win32/list_view.h"
#include "win32/message_box.h"

void MainWindow::RestoreTargetList() {
    VQWin32DialogItemListView* view = TargetList();
    if (!view || !view->GetHandle()) return;
    keeper.Restore(dataFolder, ChooseKeptList(commandLine));
}

void MainWindow::KeepRunResults() {
    const BatchRunner& runner = runController.Runner();
    for (int i = 0; i < runner.GetTargetCount(); ++i) {
        const TargetRecord* record = runner.GetRecord(i);
        keeper.KeepRunResult(i, record ? record->Status() : TargetStatus::NotRun);
    }
}

RunState MainWindow::KeptListRunState() { return runController.State(); }

bool MainWindow::KeptListRemovesDone() { return IsChecked(IDC_DELETE_CHECK); }

void MainWindow::OnKeptListComing() {
    if (VQWin32DialogItemListView* view = TargetList()) view->SetSelectedAll(false);
}

void MainWindow::OnKeptListCountChanged() { UpdateCount(); }

void MainWindow::TellKeptListDamage(const VQWString& text) { MsgBox(this, text.Text(), L"リストの復元", VQMB_OK, 1); }

void MainWindow::TellKeptListFailure(const VQWString& text) { ShowError(text.Text()); }

void MainWindow::OnRunTargetBegun(int runIndex) { keeper.RecordBegun(runController.Runner().GetTargetPath(runIndex)); }

void MainWindow::OnRunTargetFinished(int runIndex, TargetStatus status) {
    keeper.RecordFinished(runController.Runner().GetTargetPath(runIndex), status);
}

VQWString MainWindow::RunResultsNotes() { return keeper.ResultsNotes(); }
