// The target list: the list box's items are the list. Files enter by the Add
// dialog, a list file or a drop, all through AddTargets; they leave by
// Delete, Delete all and the removal of finished targets after a run.
#include <windows.h>
#include <shellapi.h>

#include <string_view>
#include <unordered_set>
#include <vector>

#include "app/main_window.h"
#include "engine/file_variables.h"
#include "settings/target_list_file.h"
#include "win32/common_dialogs.h"
#include "win32/dialog_items.h"
#include "win32/message_box.h"

namespace {

// Up to this many finished entries are deleted in place; more, and the list
// is rebuilt from what stays.
const int kDeleteOneByOne = 64;

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

// Adds many items at once: one reservation, no redrawing in between (a list
// box that grows item by item repaints and reallocates for each).
class ListBoxFiller {
public:
    ListBoxFiller(HWND listBox, int count, int bytes) : list(listBox) {
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        SendMessageW(list, LB_INITSTORAGE, count, bytes);
    }
    ~ListBoxFiller() {
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
    }
    void Add(const wchar_t* text) { SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)); }

private:
    HWND list;
};

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

    std::vector<const VQWString*> accepted;
    size_t bytes = 0;
    for (int i = 0; i < batch->GetCount(); ++i) {
        const VQWString& candidate = (*batch)[i];
        if (listed.count(std::wstring_view(candidate.Text(), candidate.GetLength()))) continue;
        if (extensions.GetCount() > 0 && extensions.Find(AsciiLower(GetFileExt(candidate))) < 0) continue;
        accepted.push_back(&candidate);
        bytes += (candidate.GetLength() + 1) * sizeof(wchar_t);
    }
    if (accepted.empty()) return;
    ListBoxFiller filler(box->GetHandle(), static_cast<int>(accepted.size()), static_cast<int>(bytes));
    for (const VQWString* path : accepted) filler.Add(path->Text());
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
    LRESULT selected = SendMessageW(box->GetHandle(), LB_GETCURSEL, 0, 0);
    if (selected != LB_ERR) SendMessageW(box->GetHandle(), LB_DELETESTRING, selected, 0);
}

void MainWindow::OnDeleteAll() {
    VQWin32DialogItemListBoxW* box = TargetList();
    if (!box || box->GetCount() < 1) return;
    if (MsgBox(this, L"全ファイルを削除しますか？", L"確認", VQMB_YESNO, 2) == IDYES) {
        SendMessageW(box->GetHandle(), LB_RESETCONTENT, 0, 0);
    }
}

void MainWindow::RemoveFinishedTargets() {
    VQWin32DialogItemListBoxW* box = TargetList();
    if (!box || !box->GetHandle()) return;
    HWND list = box->GetHandle();
    // A run stops at its first failure, so the finished targets are the first
    // succeededCount entries. Entries dropped during the run follow the run's
    // targets and were not run: they stay.
    int finished = succeededCount.load();
    int count = box->GetCount();
    if (finished <= 0) return;
    if (finished >= count) {
        SendMessageW(list, LB_RESETCONTENT, 0, 0);
        return;
    }
    if (finished <= kDeleteOneByOne) {
        for (int i = finished - 1; i >= 0; --i) SendMessageW(list, LB_DELETESTRING, i, 0);
        return;
    }
    // Deleting the front of a long list one by one moves the rest each time:
    // rebuild it from what stays instead.
    VQArray<VQWString, VQWString> all;
    box->GetAllStrings(all);
    size_t bytes = 0;
    for (int i = finished; i < count; ++i) bytes += (all[i].GetLength() + 1) * sizeof(wchar_t);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    ListBoxFiller filler(list, count - finished, static_cast<int>(bytes));
    for (int i = finished; i < count; ++i) filler.Add(all[i].Text());
}
