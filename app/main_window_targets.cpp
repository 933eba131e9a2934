// The target list: the model's entries are the list, and the table shows them. Files enter by the Add
// dialog, a list file or a drop, all through AddTargets; they leave by
// Delete (or the Delete key), Delete all and, after a run, by their result.
// The list outlives the program in the kept list (main_window_kept_list.cpp).
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "app/main_window.h"
#include "base/files.h"
#include "base/path_identity.h"
#include "engine/file_variables.h"
#include "settings/target_list_file.h"
#include "win32/common_dialogs.h"
#include "win32/dialog_items.h"
#include "win32/list_view.h"
#include "win32/message_box.h"
#include "win32/progress_window.h"

namespace {

// Letters A to Z only: extensions compare without regard to ASCII case.
VQWString AsciiLower(const VQWString& text) {
    VQWString lower = text.DeepCopy();
    for (int i = 0; i < lower.GetLength(); ++i) {
        wchar_t& c = lower.GetData()[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    }
    return lower;
}

// FileExt split at ";", each piece trimmed; lower-cased for matching only.
void SplitExtensions(const VQWString& fileExt, bool lowerCase, VQArray<VQWString, VQWString>& out) {
    VQArray<VQWString, VQWString> pieces;
    fileExt.Split(pieces);
    out.RemoveAll();
    for (int i = 0; i < pieces.GetCount(); ++i) {
        VQWString piece = pieces[i].Trim();
        out.Add(lowerCase ? AsciiLower(piece) : piece);
    }
}

// The lines that name what a folder search passed over, each after a line
// break; empty when it passed over nothing.
VQWString PassedOverLines(const VQFolderSearch& search) {
    VQWString text;
    if (search.linksPassed > 0) {
        VQWString line;
        line.Format(L"\nフォルダのリンク（ジャンクション、シンボリックリンク）: %d 個", search.linksPassed);
        text.Append(line);
    }
    if (search.unopenableNames > 0) {
        VQWString line;
        line.Format(L"\nWindows で開けない名前（CON、AUX.log、末尾が「.」や空白の名前など）: %d 件",
                    search.unopenableNames);
        text.Append(line);
    }
    return text;
}

// What a drop or the Add dialog says when a folder search passed something
// over; empty when it passed over nothing.
VQWString PassedOverMessage(const VQFolderSearch& search) {
    VQWString lines = PassedOverLines(search);
    if (lines.IsEmpty()) return lines;
    VQWString text(L"フォルダの中の次のものは追加しませんでした。");
    text.Append(lines);
    return text;
}

const wchar_t* ReasonLabel(VQSkipReason reason) {
    switch (reason) {
    case VQSkipReason::Missing: return L"存在しないパス";
    case VQSkipReason::Long: return L"長すぎる行（32,767 文字を超える）";
    case VQSkipReason::Nul: return L"NUL 文字を含む行";
    case VQSkipReason::Unopenable: return L"Windows で開けない名前（CON、AUX.log、末尾が「.」や空白の名前など）";
    }
    return L"";
}

// What AddListFile says when lines were left out: one line per reason, then
// the first of those lines with their numbers, then what the search of the
// folders named by lines passed over.
VQWString SkippedLinesMessage(const VQTargetList& list) {
    VQWString text;
    if (list.SkippedLines() > 0) {
        text.Format(L"リストファイルの %d 行を読み飛ばしました。", list.SkippedLines());
        struct Reason {
            int lines;
            VQSkipReason reason;
        };
        const Reason reasons[] = {
            {list.missingLines, VQSkipReason::Missing},
            {list.longLines, VQSkipReason::Long},
            {list.nulLines, VQSkipReason::Nul},
            {list.unopenableLines, VQSkipReason::Unopenable},
        };
        for (const Reason& reason : reasons) {
            if (reason.lines == 0) continue;
            VQWString line;
            line.Format(L"\n%s: %d 行", ReasonLabel(reason.reason), reason.lines);
            text.Append(line);
        }
        text.Append(L"\n");
        for (const VQSkippedLine& skipped : list.firstSkipped) {
            VQWString line;
            line.Format(L"\n%d 行目: %s", skipped.number, skipped.text.Text());
            text.Append(line);
        }
        if (list.SkippedLines() > static_cast<int>(list.firstSkipped.size())) text.Append(L"\n…");
    }
    VQWString passed = PassedOverLines(list.search);
    if (!passed.IsEmpty()) {
        if (!text.IsEmpty()) text.Append(L"\n\n");
        text.Append(L"リストのフォルダの中の次のものは追加しませんでした。");
        text.Append(passed);
    }
    return text;
}

// "1,234": the count with a separator every three digits.
VQWString GroupedNumber(int value) {
    wchar_t digits[16];
    wsprintfW(digits, L"%d", value);
    VQWString text;
    int length = static_cast<int>(wcslen(digits));
    for (int i = 0; i < length; ++i) {
        if (i > 0 && (length - i) % 3 == 0) text.Append(L',');
        text.Append(digits[i]);
    }
    return text;
}

VQWString FoundText(int found) {
    return VQWString().Format(L"ファイルを探しています… %s 件", GroupedNumber(found).Text());
}

}  // namespace

void MainWindow::AddTargets(const VQArray<VQWString, VQWString>* batch, const VQArray<VQWString, VQWString>* roots) {
    VQWin32ProgressWindow progress(handle, L"追加", PanelFont());
    AddTargets(batch, roots, progress);
}

bool MainWindow::AddTargets(const VQArray<VQWString, VQWString>* batch, const VQArray<VQWString, VQWString>* roots,
                            VQWin32ProgressWindow& progress) {
    if (!batch || batch->GetCount() == 0) return true;
    VQWin32DialogItemListView* view = TargetList();
    if (!view || !view->GetHandle()) return true;
    VQArray<VQWString, VQWString> extensions;
    if (FindItemById(IDC_FILEEXT_EDIT)) SplitExtensions(EditText(IDC_FILEEXT_EDIT), true, extensions);

    // A list never holds one file twice, however it was spelled or how often
    // a batch names it: paths compare as Windows resolves them.
    int listed = targetModel.GetCount();
    int total = batch->GetCount();
    targetModel.Reserve(total);
    auto checking = [&](int i) {
        return VQWString().Format(L"リストと照らし合わせています… %s / %s 件", GroupedNumber(i).Text(),
                                  GroupedNumber(total).Text());
    };
    bool hasRoots = roots && roots->GetCount() == total;
    int otherExtensions = 0;
    for (int i = 0; i < total; ++i) {
        const VQWString& candidate = (*batch)[i];
        if (i % 1024 == 0 && !progress.StepWith([&] { return checking(i); })) {
            targetModel.Truncate(listed);
            return false;
        }
        if (extensions.GetCount() > 0 && extensions.Find(AsciiLower(GetFileExt(candidate))) < 0) {
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
            line->SetTextW(VQWString()
                               .Format(L"対象の拡張子に合わない %s 件を追加しませんでした",
                                       GroupedNumber(otherExtensions).Text())
                               .Text(),
                           false);
        }
    }
    if (targetModel.GetCount() == listed) return true;
    // The table asks for what it shows: it is told the count only.
    UpdateCount();
    return true;
}

void MainWindow::OnAdd() {
    VQArray<VQWString, VQWString> pieces;
    SplitExtensions(EditText(IDC_FILEEXT_EDIT), false, pieces);
    VQWString patterns;
    for (int i = 0; i < pieces.GetCount(); ++i) {
        if (i > 0) patterns.Append(L';');
        VQWString pattern;
        pattern.Format(L"*.%s", pieces[i].Text());
        patterns.Append(pattern);
    }
    // The filter is a list of NUL-terminated description/pattern pairs ending
    // in one more NUL.
    VQWString filter;
    if (patterns.IsEmpty()) {
        filter = L"全てのファイル(*.*)";
        filter.Append(L'\0');
        filter.Append(L"*.*");
    } else {
        filter.Format(L"対象ファイル(%s)", patterns.Text());
        filter.Append(L'\0');
        filter.Append(patterns);
    }
    filter.Append(L'\0');
    filter.Append(L'\0');

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
    KeptListChanged();
}
