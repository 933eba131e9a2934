// The target list: the model's entries are the list, and the table shows them. Files enter by the Add
// dialog, a list file or a drop, all through AddTargets; they leave by
// Delete (or the Delete key), Delete all and, after a run, by their result.
// What the model does of them is app/target_adding.h; here are the boxes.
// The list outlives the program in the kept list (main_window_kept_list.cpp).
#include <windows.h>

#include <vector>

#include "app/adding_messages.h"
#include "app/extension_filter.h"
#include "app/main_window.h"
#include "app/target_adding.h"
#include "base/files.h"
#include "settings/target_list_file.h"
#include "win32/common_dialogs.h"
#include "win32/dialog_items.h"
#include "win32/dropped_files.h"
#include "win32/list_view.h"
#include "win32/message_box.h"
#include "win32/progress_window.h"

void MainWindow::AddTargets(const VQArray<VQWString, VQWString>* batch, const VQArray<VQWString, VQWString>* roots) {
    VQWin32ProgressWindow progress(handle, L"追加", PanelFont());
    AddTargets(batch, roots, progress);
}

bool MainWindow::AddTargets(const VQArray<VQWString, VQWString>* batch, const VQArray<VQWString, VQWString>* roots,
                            VQWin32ProgressWindow& progress) {
    if (!batch || batch->GetCount() == 0) return true;
    VQWin32DialogItemListView* view = TargetList();
    if (!view || !view->GetHandle()) return true;
    AddedBatch added = AddBatch(
        targetModel, *batch, roots,
        ExtensionFilter(FindItemById(IDC_FILEEXT_EDIT) ? EditText(IDC_FILEEXT_EDIT) : VQWString()),
        [&](int checked, int total) { return progress.StepWith([&] { return CheckingText(checked, total); }); });
    if (added.cancelled) return false;
    // Files left out by their extension are told on the line under the
    // list, whichever way they came; a message box would be too much for a
    // folder of mixed files.
    VQWin32DialogItem* line = added.otherExtensions > 0 ? FindItemById(IDC_RESULT_DETAIL) : nullptr;
    if (line) line->SetTextW(OtherExtensionsText(added.otherExtensions).Text(), false);
    // The table asks for what it shows: it is told the count only.
    if (added.added > 0) UpdateCount();
    return true;
}

void MainWindow::OnAdd() {
    VQArray<VQWString, VQWString> batch;
    if (ChooseFilesToAdd(batch, ExtensionFilter(EditText(IDC_FILEEXT_EDIT)).DialogFilter().Text(), handle)) {
        AddTargets(&batch);
    }
}

void MainWindow::OnListAdd() {
    wchar_t path[MAX_PATH] = {};
    if (!ChooseOpenFile(path, L"ファイルリストを選択", L"リストファイル", L"txt", handle, true)) return;
    AddListFile(path);
}

void MainWindow::AddListFile(const wchar_t* path) {
    VQWin32ProgressWindow progress(handle, L"リスト追加", PanelFont());
    VQTargetList list;
    list.search.progress = [&](int found) { return progress.StepWith([&] { return FoundText(found); }); };
    if (!ReadTargetListFile(path, list)) {
        if (list.tooLarge) ShowError(L"リストファイルが大きすぎます（256 MiB まで）。");
        return;
    }
    if (list.cancelled || !AddTargets(&list.paths, &list.roots, progress)) return;
    VQWString message = SkippedLinesMessage(list);
    if (!message.IsEmpty()) MsgBox(this, message.Text(), L"リスト追加", VQMB_OK, 1);
}

int MainWindow::OnDropFiles(HWND, WPARAM wParam, LPARAM) {
    SetForegroundWindow(handle);
    AddDroppedPaths(TakeDroppedPaths(reinterpret_cast<HDROP>(wParam)));
    return 0;
}

void MainWindow::AddDroppedPaths(const VQArray<VQWString, VQWString>& paths) {
    VQWin32ProgressWindow progress(handle, L"追加", PanelFont());
    VQFolderSearch search;
    search.progress = [&](int found) { return progress.StepWith([&] { return FoundText(found); }); };
    VQArray<VQWString, VQWString> batch, roots;
    if (!CollectDroppedTargets(paths, batch, roots, search) || !AddTargets(&batch, &roots, progress)) return;
    VQWString message = PassedOverMessage(search);
    if (!message.IsEmpty()) MsgBox(this, message.Text(), L"追加", VQMB_OK, 1);
}

void MainWindow::OnDelete() {
    VQWin32DialogItemListView* view = TargetList();
    if (!view || !view->GetHandle()) return;
    std::vector<int> selected;
    if (view->GetSelectedIndices(selected) == 0) return;
    table.ShowRemoved(RemoveEntries(targetModel, std::move(selected)));
    UpdateCount();
    OnListSelectionChanged();
}

void MainWindow::OnDeleteAll() {
    if (targetModel.GetCount() < 1) return;
    if (MsgBox(this, L"リストの全ての項目を削除しますか？（ファイルは削除されません）", L"確認", VQMB_YESNO, 2) ==
        IDYES) {
        targetModel.RemoveAll();
        if (VQWin32DialogItemListView* view = TargetList()) view->SetSelectedAll(false);
        UpdateCount();
        OnListSelectionChanged();
    }
}

void MainWindow::UpdateCount() {
    if (!table.ShowCount()) return;
    // Every change of the list comes here: the previewed entry may have changed too.
    UpdatePreview();
    keeper.Changed();
}

