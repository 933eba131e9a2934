// The target list: the model's entries are the list, and the table shows them. Files enter by the Add
// dialog, a list file or a drop, all through AddTargets; they leave by
// Delete (or the Delete key), Delete all and, after a run, by their result.
// The list outlives the program in the kept list (main_window_kept_list.cpp).
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "app/adding_messages.h"
#include "app/extension_filter.h"
#include "app/main_window.h"
#include "base/files.h"
#include "settings/target_list_file.h"
#include "win32/common_dialogs.h"
#include "win32/dialog_items.h"
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
    ExtensionFilter extensions(FindItemById(IDC_FILEEXT_EDIT) ? EditText(IDC_FILEEXT_EDIT) : VQWString());

    // A list never holds one file twice, however it was spelled or how often
    // a batch names it: paths compare as Windows resolves them.
    int listed = targetModel.GetCount();
    int total = batch->GetCount();
    targetModel.Reserve(total);
    bool hasRoots = roots && roots->GetCount() == total;
    int otherExtensions = 0;
    for (int i = 0; i < total; ++i) {
        const VQWString& candidate = (*batch)[i];
        if (i % 1024 == 0 && !progress.StepWith([&] { return CheckingText(i, total); })) {
            targetModel.Truncate(listed);
            return false;
        }
        if (!extensions.Admits(candidate)) {
            ++otherExtensions;
            continue;
        }
        targetModel.Add(candidate, hasRoots ? (*roots)[i] : VQWString());
    }
    // Files left out by their extension are told on the line under the
    // list, whichever way they came; a message box would be too much for a
    // folder of mixed files.
    if (otherExtensions > 0) {
        if (VQWin32DialogItem* line = FindItemById(IDC_RESULT_DETAIL)) {
            line->SetTextW(OtherExtensionsText(otherExtensions).Text(), false);
        }
    }
    if (targetModel.GetCount() == listed) return true;
    // The table asks for what it shows: it is told the count only.
    UpdateCount();
    return true;
}

void MainWindow::OnAdd() {
    VQWString filter = ExtensionFilter(EditText(IDC_FILEEXT_EDIT)).DialogFilter();
    std::vector<wchar_t> result(kVQFilesToAddUnits, L'\0');
    int filterIndex = 1;
    if (!ChooseFilesToAdd(result.data(), &filterIndex, filter.Text(), handle)) return;
    VQArray<VQWString, VQWString> batch;
    VQWString path;
    for (const wchar_t* cursor = NextSelectedPath(path, result.data(), nullptr); cursor;
         cursor = NextSelectedPath(path, result.data(), cursor)) {
        batch.Add(path);
    }
    AddTargets(&batch);
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
    HDROP drop = reinterpret_cast<HDROP>(wParam);
    SetForegroundWindow(handle);
    VQArray<VQWString, VQWString> paths;
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::vector<wchar_t> path(length + 1, L'\0');
        DragQueryFileW(drop, i, path.data(), length + 1);
        paths.Add(VQWString(path.data()));
    }
    DragFinish(drop);
    AddDroppedPaths(paths);
    return 0;
}

void MainWindow::AddDroppedPaths(const VQArray<VQWString, VQWString>& paths) {
    VQWin32ProgressWindow progress(handle, L"追加", PanelFont());
    VQFolderSearch search;
    search.progress = [&](int found) { return progress.StepWith([&] { return FoundText(found); }); };
    VQArray<VQWString, VQWString> batch, roots;
    // A dropped path that no longer exists adds nothing, without a word.
    for (int i = 0; i < paths.GetCount(); ++i) {
        if (HasUnopenableName(paths[i])) {
            ++search.unopenableNames;
            continue;
        }
        CollectTargets(paths[i], batch, &search, &roots);
        if (search.cancelled) return;
    }
    if (!AddTargets(&batch, &roots, progress)) return;
    VQWString message = PassedOverMessage(search);
    if (!message.IsEmpty()) MsgBox(this, message.Text(), L"追加", VQMB_OK, 1);
}

void MainWindow::OnDelete() {
    VQWin32DialogItemListView* view = TargetList();
    if (!view || !view->GetHandle()) return;
    std::vector<int> selected;
    if (view->GetSelectedIndices(selected) == 0) return;
    int first = selected[0];
    targetModel.Remove(std::move(selected));
    view->SetSelectedAll(false);
    view->SetCount(targetModel.GetCount());
    // The entry that took the first removed one's place is selected, so that
    // Delete can be pressed again.
    int next = first < targetModel.GetCount() ? first : targetModel.GetCount() - 1;
    view->SelectOnly(next);
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
    VQWin32DialogItemListView* view = TargetList();
    if (!view) return;
    int count = targetModel.GetCount();
    if (view->GetCount() != count) view->SetCount(count);
    view->RedrawRows(-1, -1);
    table.UpdateStatus();
    // Every change of the list comes here: the previewed entry may have changed too.
    UpdatePreview();
    keeper.Changed();
}

VQWString MainWindow::RootOf(const VQWString& path) {
    int at = targetModel.Find(path);
    return at < 0 ? VQWString() : targetModel.At(at).root;
}
