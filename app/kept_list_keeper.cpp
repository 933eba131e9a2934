// The kept list's glue between the list model, the kept list's files and the window.
#include "app/kept_list_keeper.h"

#include <process.h>

#include "engine/child_process.h"

namespace {

// What Restore says when a kept list did not come back whole.
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

KeptListKeeper::KeptListKeeper(TargetListModel& model, KeptListEvents& events)
    : tickCount(GetTickCount), model(model), events(events) {}

KeptListKeeper::~KeptListKeeper() { EndLoad(); }

unsigned __stdcall KeptListKeeper::LoadMain(void* param) {
    auto* load = static_cast<Load*>(param);
    if (load->gate) WaitForSingleObject(load->gate, INFINITE);
    load->list->Open(load->folder, load->entries, load->report);
    return 0;
}

void KeptListKeeper::Restore(const VQWString& folder, const KeptListChoice& choice) {
    if (choice.own) list.UseOwnSlot(choice.key);
    VQWString slotName = choice.own ? KeptList::OwnSlotName(choice.key) : VQWString(L"targets");
    // A big list is read while the window is already in use.
    if (!folder.IsEmpty() && KeptFilesBytes(folder, slotName) >= backgroundBytes) {
        std::unique_ptr<Load> reading(new Load);
        reading->list = &list;
        reading->folder = folder.DeepCopy();
        reading->gate = loadGate;
        reading->thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, LoadMain, reading.get(), 0, nullptr));
        if (reading->thread) {
            load = std::move(reading);
            events.OnKeptListCountChanged();
            return;
        }
    }
    std::vector<KeptEntry> entries;
    KeptListReport report;
    list.Open(folder, entries, report);
    Take(entries, report, false);
}

void KeptListKeeper::Take(std::vector<KeptEntry>& entries, const KeptListReport& report, bool quiet) {
    // Every entry comes back as it was, whatever the filter says now, and
    // without a look at the disk: a big list is back at once. Entries added
    // while it was read come after it.
    int added = model.GetCount();
    if (!entries.empty()) {
        if (added > 0) events.OnKeptListComing();
        model.PutFirst(entries);
    }
    std::vector<KeptEntry>().swap(entries);
    events.OnKeptListCountChanged();
    restored = true;
    dirty = false;
    // What was added meanwhile is not on the disk yet.
    if (added > 0) Changed();
    if (!quiet && (report.SkippedLines() > 0 || report.unmarkedFiles > 0)) events.TellKeptListDamage(DamageMessage(report));
}

void KeptListKeeper::FinishLoad(bool quiet, std::vector<int>* only) {
    if (!load) return;
    std::vector<VQWString> chosen;
    if (only) {
        for (int index : *only) {
            if (index >= 0 && index < model.GetCount()) chosen.push_back(model.PathAt(index));
        }
    }
    HCURSOR cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    WaitForSingleObject(load->thread, INFINITE);
    SetCursor(cursor);
    CloseHandle(load->thread);
    std::unique_ptr<Load> done = std::move(load);
    Take(done->entries, done->report, quiet);
    if (only) {
        only->clear();
        for (const VQWString& path : chosen) {
            int index = model.Find(path);
            if (index >= 0) only->push_back(index);
        }
    }
}

void KeptListKeeper::EndLoad() {
    if (!load) return;
    WaitForSingleObject(load->thread, INFINITE);
    CloseHandle(load->thread);
    load.reset();
}

void KeptListKeeper::Save() {
    dirty = false;
    if (!list.IsOpen()) return;
    // The entries as they are now, sharing their strings: the text is made
    // on the writer's thread, and a million entries do not hold the window.
    std::unique_ptr<std::vector<KeptEntry>> entries(new std::vector<KeptEntry>);
    int count = model.GetCount();
    entries->reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const TargetEntry& entry = model.At(i);
        entries->push_back(KeptEntry{entry.path, entry.root, entry.running, entry.failed});
    }
    list.SaveEntries(std::move(entries));
}

void KeptListKeeper::Changed() {
    if (!restored || !list.IsOpen()) return;
    if (events.KeptListRunState() == RunState::Idle) {
        dirty = true;
        changedAt = tickCount();
        return;
    }
    // During a run the list only grows at its end (drops), and is not
    // rewritten: what came is recorded.
    // By the order of adding: the table may have been sorted meanwhile.
    int newest = journaled;
    for (int i = 0; i < model.GetCount(); ++i) {
        const TargetEntry& entry = model.At(i);
        if (entry.number <= journaled) continue;
        list.RecordAdded(entry.path, entry.root);
        if (entry.number > newest) newest = entry.number;
    }
    journaled = newest;
}

void KeptListKeeper::AtRunStart() {
    list.SetRemoveDone(events.KeptListRemovesDone());
    list.BeginRun();
    // The run's records speak of paths: they apply to the list on the disk,
    // which needs a rewrite only when it is behind the window's.
    if (dirty || list.LastRewriteFailed()) Save();
    journaled = 0;
    for (int i = 0; i < model.GetCount(); ++i) {
        if (model.At(i).number > journaled) journaled = model.At(i).number;
    }
}

void KeptListKeeper::KeepRunResult(int runIndex, TargetStatus status) {
    if (status == TargetStatus::NotRun) return;
    // A file a stop ended, or one whose kept output may be half made, is
    // not done until a try of it succeeds.
    int entry = model.EntryOfRunIndex(runIndex);
    if (entry >= 0) model.KeepOutcome(entry, status);
}

void KeptListKeeper::Tick(bool canTakeList) {
    // A list read in the background comes in while the window takes input.
    if (load) {
        if (WaitForSingleObject(load->thread, 0) != WAIT_OBJECT_0 || !canTakeList) return;
        FinishLoad();
    }
    list.ReleaseWritten();
    RunState state = events.KeptListRunState();
    // The box may change during a run; the fold after a crash takes its last state.
    if (state == RunState::Running || state == RunState::Stopping || state == RunState::Forcing) {
        list.SetRemoveDone(events.KeptListRemovesDone());
    }
    KeptListFailure failure;
    if (list.TakeFailure(failure)) {
        VQWString message;
        message.Format(L"対象ファイルのリストを保存できません。\n%s\n%s\n\n"
                       L"このままでは、プログラムが異常終了したとき、次の起動でリストが戻らないか、"
                       L"完了したファイルがもう一度実行されることがあります。"
                       L"ディスクの空き容量とフォルダへの書き込みの権限を確かめてください。",
                       failure.path.Text(), SystemErrorText(failure.error).Text());
        events.TellKeptListFailure(message);
    }
    if (dirty && events.KeptListRunState() == RunState::Idle && tickCount() - changedAt >= kDebounceMs) Save();
}

void KeptListKeeper::RecordBegun(const VQWString& path) { list.RecordBegun(path); }

void KeptListKeeper::RecordFinished(const VQWString& path, TargetStatus status) {
    list.RecordFinished(path, KeptOutcomeOf(status));
}

VQWString KeptListKeeper::ResultsNotes() {
    if (!list.FailedSinceRunBegan()) return VQWString();
    return VQWString(L"注意: この実行の間、対象ファイルのリストを保存できないことがありました。"
                     L"プログラムが異常終了した場合、完了したファイルがもう一度実行されることがあります。");
}

void KeptListKeeper::BeginClosing() {
    FinishLoad(true);
    // A start made now waits for the last rewrite and takes this list.
    list.BeginClosing();
    Save();
}

void KeptListKeeper::Close() {
    EndLoad();
    list.Close();
}
