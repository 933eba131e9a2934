// The target list between starts, as the window keeps it (settings/kept_list.h):
// read back before a settings file is imported, rewritten at a run's end, on
// close and shortly after an edit (at a run's start too when an edit is not
// written yet), and told from the worker what happens to each target as it
// happens.
#include <windows.h>
#include <process.h>

#include "app/main_window.h"
#include "engine/child_process.h"
#include "win32/dialog_items.h"
#include "win32/list_view.h"
#include "win32/message_box.h"

namespace {

// Edits that come one after another (the Delete key held) make one rewrite.
const DWORD kKeptListDebounceMs = 500;

// What RestoreTargetList says when a kept list did not come back whole.
VQWString DamageMessage(const KeptListReport& report) {
    VQWString text(L"前回のリストの一部を読み込めませんでした。");
    if (report.SkippedLines() > 0) {
        VQWString line;
        line.Format(L"\n読み飛ばした行: %d 行", report.SkippedLines());
        text.Append(line);
        struct Reason {
            int lines;
            const wchar_t* label;
        };
        const Reason reasons[] = {
            {report.nulLines, L"NUL 文字を含む行"},
            {report.longLines, L"長すぎる行（32,767 文字を超える）"},
            {report.cutLines, L"途中で切れた最後の行"},
        };
        for (const Reason& reason : reasons) {
            if (reason.lines == 0) continue;
            line.Format(L"\n　%s: %d 行", reason.label, reason.lines);
            text.Append(line);
        }
    }
    if (report.unmarkedFiles > 0) {
        VQWString line;
        line.Format(L"\n読めなかったファイル（形式が違うか、読み取れない）: %d 個", report.unmarkedFiles);
        text.Append(line);
    }
    if (report.setAside.GetCount() > 0) {
        text.Append(L"\n\n元のファイルは次の名前で残してあります:");
        for (int i = 0; i < report.setAside.GetCount(); ++i) {
            text.Append(L'\n');
            text.Append(report.setAside[i]);
        }
    }
    return text;
}

// The bytes of the kept lists and journals a start reads: the files in
// `folder` whose names begin with `name`.
ULONGLONG KeptFilesBytes(const VQWString& folder, const VQWString& name) {
    ULONGLONG bytes = 0;
    WIN32_FIND_DATAW found;
    VQWString pattern = folder.DeepCopy();
    pattern.Append(L'\\');
    pattern.Append(name);
    pattern.Append(L'*');
    HANDLE search = FindFirstFileW(pattern.Text(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        bytes += (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return bytes;
}

}  // namespace

unsigned __stdcall MainWindow::KeptListLoadMain(void* param) {
    auto* load = static_cast<KeptListLoad*>(param);
    if (load->gate) WaitForSingleObject(load->gate, INFINITE);
    load->list->Open(load->folder, load->entries, load->report);
    return 0;
}

void MainWindow::RestoreTargetList() {
    VQWin32DialogItemListView* view = TargetList();
    if (!view || !view->GetHandle()) return;
    KeptListChoice choice = ChooseKeptList(commandLine);
    if (choice.own) keptList.UseOwnSlot(choice.key);
    VQWString slotName = choice.own ? KeptList::OwnSlotName(choice.key) : VQWString(L"targets");
    // A big list is read while the window is already in use.
    if (!dataFolder.IsEmpty() && KeptFilesBytes(dataFolder, slotName) >= keptListBackgroundBytes) {
        std::unique_ptr<KeptListLoad> load(new KeptListLoad);
        load->list = &keptList;
        load->folder = dataFolder.DeepCopy();
        load->gate = keptListLoadGate;
        load->thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, KeptListLoadMain, load.get(), 0, nullptr));
        if (load->thread) {
            keptListLoad = std::move(load);
            UpdateCount();
            return;
        }
    }
    std::vector<KeptEntry> entries;
    KeptListReport report;
    keptList.Open(dataFolder, entries, report);
    TakeKeptList(entries, report, false);
}

void MainWindow::TakeKeptList(std::vector<KeptEntry>& entries, const KeptListReport& report, bool quiet) {
    // Every entry comes back as it was, whatever the filter says now, and
    // without a look at the disk: a big list is back at once. Entries added
    // while it was read come after it.
    int added = targetModel.GetCount();
    if (!entries.empty()) {
        if (added > 0) {
            if (VQWin32DialogItemListView* view = TargetList()) view->SetSelectedAll(false);
        }
        targetModel.PutFirst(entries);
    }
    std::vector<KeptEntry>().swap(entries);
    UpdateCount();
    keptListRestored = true;
    keptListDirty = false;
    // What was added meanwhile is not on the disk yet.
    if (added > 0) KeptListChanged();
    if (!quiet && (report.SkippedLines() > 0 || report.unmarkedFiles > 0)) {
        MsgBox(this, DamageMessage(report).Text(), L"リストの復元", VQMB_OK, 1);
    }
}

void MainWindow::FinishKeptListLoad(bool quiet, std::vector<int>* only) {
    if (!keptListLoad) return;
    std::vector<VQWString> chosen;
    if (only) {
        for (int index : *only) {
            if (index >= 0 && index < targetModel.GetCount()) chosen.push_back(targetModel.PathAt(index));
        }
    }
    HCURSOR cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    WaitForSingleObject(keptListLoad->thread, INFINITE);
    SetCursor(cursor);
    CloseHandle(keptListLoad->thread);
    std::unique_ptr<KeptListLoad> load = std::move(keptListLoad);
    TakeKeptList(load->entries, load->report, quiet);
    if (only) {
        only->clear();
        for (const VQWString& path : chosen) {
            int index = targetModel.Find(path);
            if (index >= 0) only->push_back(index);
        }
    }
}

void MainWindow::EndKeptListLoad() {
    if (!keptListLoad) return;
    WaitForSingleObject(keptListLoad->thread, INFINITE);
    CloseHandle(keptListLoad->thread);
    keptListLoad.reset();
}

void MainWindow::SaveTargetList() {
    keptListDirty = false;
    if (!keptList.IsOpen()) return;
    // The entries as they are now, sharing their strings: the text is made
    // on the writer's thread, and a million entries do not hold the window.
    std::unique_ptr<std::vector<KeptEntry>> entries(new std::vector<KeptEntry>);
    int count = targetModel.GetCount();
    entries->reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const TargetEntry& entry = targetModel.At(i);
        entries->push_back(KeptEntry{entry.path, entry.root, entry.running, entry.failed});
    }
    keptList.SaveEntries(std::move(entries));
}

void MainWindow::KeptListChanged() {
    if (!keptListRestored || !keptList.IsOpen()) return;
    RunState state = GetState();
    if (state == RunState::Idle) {
        keptListDirty = true;
        keptListChangedAt = GetTickCount();
        return;
    }
    // During a run the list only grows at its end (drops), and is not
    // rewritten: what came is recorded.
    // By the order of adding: the table may have been sorted meanwhile.
    int newest = keptListJournaled;
    for (int i = 0; i < targetModel.GetCount(); ++i) {
        const TargetEntry& entry = targetModel.At(i);
        if (entry.number <= keptListJournaled) continue;
        keptList.RecordAdded(entry.path, entry.root);
        if (entry.number > newest) newest = entry.number;
    }
    keptListJournaled = newest;
}

void MainWindow::KeepListAtRunStart() {
    keptList.SetRemoveDone(IsChecked(IDC_DELETE_CHECK));
    keptList.BeginRun();
    // The run's records speak of paths: they apply to the list on the disk,
    // which needs a rewrite only when it is behind the window's.
    if (keptListDirty || keptList.LastRewriteFailed()) SaveTargetList();
    keptListJournaled = 0;
    for (int i = 0; i < targetModel.GetCount(); ++i) {
        if (targetModel.At(i).number > keptListJournaled) keptListJournaled = targetModel.At(i).number;
    }
}

void MainWindow::KeepRunResults() {
    for (int i = 0; i < GetTargetCount(); ++i) {
        const TargetRecord* record = GetRecord(i);
        TargetStatus status = record ? record->Status() : TargetStatus::NotRun;
        if (status == TargetStatus::NotRun) continue;
        // A file a stop ended, or one whose kept output may be half made, is
        // not done until a try of it succeeds.
        int entry = targetModel.EntryOfRunIndex(i);
        if (entry >= 0) targetModel.KeepOutcome(entry, status);
    }
}

void MainWindow::KeepListTick() {
    // A list read in the background comes in while the window takes input:
    // not under a box or in the middle of an add.
    if (keptListLoad) {
        if (WaitForSingleObject(keptListLoad->thread, 0) != WAIT_OBJECT_0 || !IsWindowEnabled(handle)) return;
        FinishKeptListLoad();
    }
    keptList.ReleaseWritten();
    RunState state = GetState();
    // The box may change during a run; the fold after a crash takes its last state.
    if (state == RunState::Running || state == RunState::Stopping || state == RunState::Forcing) {
        keptList.SetRemoveDone(IsChecked(IDC_DELETE_CHECK));
    }
    KeptListFailure failure;
    if (keptList.TakeFailure(failure)) {
        VQWString message;
        message.Format(L"対象ファイルのリストを保存できません。\n%s\n%s\n\n"
                       L"このままでは、プログラムが異常終了したとき、次の起動でリストが戻らないか、"
                       L"完了したファイルがもう一度実行されることがあります。"
                       L"ディスクの空き容量とフォルダへの書き込みの権限を確かめてください。",
                       failure.path.Text(), SystemErrorText(failure.error).Text());
        ShowError(message.Text());
    }
    if (keptListDirty && GetState() == RunState::Idle && GetTickCount() - keptListChangedAt >= kKeptListDebounceMs) {
        SaveTargetList();
    }
}

void MainWindow::OnTargetBegun(int index) { keptList.RecordBegun(targets[index]); }

void MainWindow::OnTargetFinished(int index, TargetStatus status) {
    keptList.RecordFinished(targets[index], KeptOutcomeOf(status));
}

VQWString MainWindow::ResultsNotes() {
    if (!keptList.FailedSinceRunBegan()) return VQWString();
    return VQWString(L"注意: この実行の間、対象ファイルのリストを保存できないことがありました。"
                     L"プログラムが異常終了した場合、完了したファイルがもう一度実行されることがあります。");
}
