// The target list: the list box's items are the list. Files enter by the Add
// dialog, a list file or a drop, all through AddTargets; they leave by
// Delete (or the Delete key), Delete all and, after a run, by their result.
// The list outlives the program in dataFolder\targets.txt.
#include <windows.h>
#include <shellapi.h>

#include <string_view>
#include <unordered_set>
#include <vector>

#include "app/main_window.h"
#include "base/files.h"
#include "engine/file_variables.h"
#include "settings/target_list_file.h"
#include "win32/common_dialogs.h"
#include "win32/dialog_items.h"
#include "win32/message_box.h"

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

// What AddListFile says when lines were left out, one line per reason.
VQWString SkippedLinesMessage(const VQTargetList& list) {
    VQWString text;
    text.Format(L"リストファイルの %d 行を読み飛ばしました。", list.SkippedLines());
    struct Reason {
        int lines;
        const wchar_t* label;
    };
    const Reason reasons[] = {
        {list.missingLines, L"存在しないパス"},
        {list.longLines, L"長すぎる行（32,767 文字を超える）"},
        {list.nulLines, L"NUL 文字を含む行"},
    };
    for (const Reason& reason : reasons) {
        if (reason.lines == 0) continue;
        VQWString line;
        line.Format(L"\n%s: %d 行", reason.label, reason.lines);
        text.Append(line);
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

}  // namespace

void MainWindow::AddTargets(const VQArray<VQWString, VQWString>* batch) {
    if (!batch || batch->GetCount() == 0) return;
    VQWin32DialogItemListBoxW* box = TargetList();
    if (!box || !box->GetHandle()) return;
    VQArray<VQWString, VQWString> extensions;
    if (FindItemById(IDC_FILEEXT_EDIT)) SplitExtensions(EditText(IDC_FILEEXT_EDIT), true, extensions);

    // The entries are taken once, before the loop: a path already listed is
    // never added again, while one that occurs twice in the batch is.
    VQArray<VQWString, VQWString> existing;
    box->GetAllStrings(existing);
    std::unordered_set<std::wstring_view> listed;
    listed.reserve(existing.GetCount());
    for (int i = 0; i < existing.GetCount(); ++i) {
        listed.insert(std::wstring_view(existing[i].Text(), existing[i].GetLength()));
    }

    VQArray<VQWString, VQWString> accepted;
    for (int i = 0; i < batch->GetCount(); ++i) {
        const VQWString& candidate = (*batch)[i];
        if (listed.count(std::wstring_view(candidate.Text(), candidate.GetLength()))) continue;
        if (extensions.GetCount() > 0 && extensions.Find(AsciiLower(GetFileExt(candidate))) < 0) continue;
        accepted.Add(candidate);
    }
    if (accepted.GetCount() == 0) return;
    box->AddStrings(accepted);
    UpdateCount();
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
    if (!ChooseOpenFile(path, L"ファイルリストを選択", L"リストファイル", L"txt", handle)) return;
    AddListFile(path);
}

void MainWindow::AddListFile(const wchar_t* path) {
    VQTargetList list;
    if (!ReadTargetListFile(path, list)) {
        if (list.tooLarge) ShowError(L"リストファイルが大きすぎます（256 MiB まで）。");
        return;
    }
    AddTargets(&list.paths);
    if (list.SkippedLines() > 0) MsgBox(this, SkippedLinesMessage(list).Text(), L"リスト追加", VQMB_OK, 1);
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
    VQArray<VQWString, VQWString> batch;
    // A dropped path that no longer exists adds nothing, without a word.
    for (int i = 0; i < paths.GetCount(); ++i) CollectTargets(paths[i], batch);
    AddTargets(&batch);
}

void MainWindow::OnDelete() {
    VQWin32DialogItemListBoxW* box = TargetList();
    if (!box || !box->GetHandle()) return;
    VQArray<int, int> selected;
    if (box->GetSelectedIndices(selected) == 0) return;
    box->DeleteIndices(selected);
    // The entry that took the first removed one's place is selected, so that
    // Delete can be pressed again.
    int next = selected[0] < box->GetCount() ? selected[0] : box->GetCount() - 1;
    box->SelectOnly(next);
    UpdateCount();
    OnListSelectionChanged();
}

void MainWindow::OnDeleteAll() {
    VQWin32DialogItemListBoxW* box = TargetList();
    if (!box || box->GetCount() < 1) return;
    if (MsgBox(this, L"リストの全ての項目を削除しますか？（ファイルは削除されません）", L"確認", VQMB_YESNO, 2) ==
        IDYES) {
        box->ResetContent();
        UpdateCount();
        OnListSelectionChanged();
    }
}

void MainWindow::UpdateCount() {
    VQWin32DialogItemListBoxW* box = TargetList();
    VQWin32DialogItem* label = FindItemById(IDC_TARGET_LABEL);
    if (!box || !label) return;
    VQWString text(L"対象ファイル(&F)");
    int count = box->GetCount();
    if (count > 0) {
        VQWString number;
        number.Format(L" %s 件", GroupedNumber(count).Text());
        text.Append(number);
    }
    label->SetTextW(text.Text(), false);
    // Every change of the list comes here: the previewed entry may have changed too.
    UpdatePreview();
}

bool MainWindow::SaveTargetList() {
    VQWin32DialogItemListBoxW* box = TargetList();
    if (dataFolder.IsEmpty() || !box || !box->GetHandle()) return false;
    VQArray<VQWString, VQWString> entries;
    box->GetAllStrings(entries);
    // During a run, what is done already would leave the list at its end.
    RunState state = GetState();
    bool running = state != RunState::Idle && state != RunState::Ended;
    bool dropDone = running && IsChecked(IDC_DELETE_CHECK);
    if (!CreateFolders(dataFolder)) return false;
    VQWString path = dataFolder;
    path.Append(L"\\targets.txt");
    // The list file is replaced only by a whole one.
    return ReplaceWholeFile(path.Text(), [&](const wchar_t* tempPath) {
        VQFile* file = NewFile(tempPath, kFileWrite);
        if (!file) return false;
        bool ok = file->WriteUInt16(0xFEFF);
        for (int i = 0; ok && i < entries.GetCount(); ++i) {
            if (dropDone && i < GetTargetCount() && GetLiveStatus(i) == TargetStatus::Done) continue;
            ok = file->WriteWCString(entries[i].Text()) && file->WriteWCString(L"\r\n");
        }
        ok = file->Close() && ok;
        delete file;
        return ok;
    });
}

void MainWindow::RestoreTargetList() {
    VQWin32DialogItemListBoxW* box = TargetList();
    if (dataFolder.IsEmpty() || !box || !box->GetHandle()) return;
    VQWString path = dataFolder;
    path.Append(L"\\targets.txt");
    VQFile* file = NewFile(path.Text(), kFileShareRead);
    if (!file) return;
    // Every entry comes back as it was, whatever the filter says now.
    VQArray<VQWString, VQWString> entries;
    bool ok = false;
    if (file->ReadUInt16(&ok, 0) == 0xFEFF && ok) {
        std::vector<wchar_t> line(32768);
        int length;
        while ((length = file->ReadLineW(line.data(), 0, static_cast<int>(line.size()))) >= 0) {
            if (length > 0) entries.Add(VQWString(line.data()));
        }
    }
    delete file;
    if (entries.GetCount() == 0) return;
    box->AddStrings(entries);
    UpdateCount();
}
