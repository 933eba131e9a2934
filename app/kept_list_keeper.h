// The target list between starts, as the window keeps it (settings/kept_list.h):
// read back as the window opens (a big list on a thread of its own), rewritten
// at a run's end, on close and shortly after an edit (at a run's start too
// when an edit is not written yet), and told what happens to each target of
// a run as it happens.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "app/command_line.h"
#include "app/target_list_model.h"
#include "base/strings.h"
#include "engine/batch_runner.h"
#include "settings/kept_list.h"

// What the keeper asks of the window, and the boxes it has the window show.
class KeptListEvents {
public:
    virtual RunState KeptListRunState() = 0;
    // 完了したら削除 as it is checked now.
    virtual bool KeptListRemovesDone() = 0;
    // The list read back is about to go before the entries there.
    virtual void OnKeptListComing() = 0;
    // The entries changed in number, or the read in the background began.
    virtual void OnKeptListCountChanged() = 0;
    // The list came back in part (リストの復元), or could not be written.
    virtual void TellKeptListDamage(const VQWString& text) = 0;
    virtual void TellKeptListFailure(const VQWString& text) = 0;

protected:
    ~KeptListEvents() = default;
};

class KeptListKeeper {
public:
    // Edits that come one after another (the Delete key held) make one rewrite.
    enum { kDebounceMs = 500 };

    KeptListKeeper(TargetListModel& model, KeptListEvents& events);
    ~KeptListKeeper();
    KeptListKeeper(const KeptListKeeper&) = delete;
    KeptListKeeper& operator=(const KeptListKeeper&) = delete;

    // Reads the chosen slot of `folder` back into the model (empty folder:
    // nothing is kept). A kept list whose files hold at least
    // SetBackgroundBytes' bytes is read on a thread of its own: the window
    // answers at once, and the list comes in when it is read, before the
    // entries added meanwhile. With the gate (tests), the read waits for
    // that event first; the gate is borrowed.
    void Restore(const VQWString& folder, const KeptListChoice& choice);
    void SetBackgroundBytes(size_t bytes) { backgroundBytes = bytes; }
    void SetLoadGate(HANDLE gate) { loadGate = gate; }
    bool IsLoading() const { return load != nullptr; }
    // Waits for a list still read in the background and takes it; `only`
    // (a run of chosen entries) then names the same entries in the new order.
    void FinishLoad(bool quiet = false, std::vector<int>* only = nullptr);

    // Every change of the entries comes here: while idle the list is
    // rewritten kDebounceMs after the last one; during a run what was added
    // is recorded.
    void Changed();
    // The entries as they are now, rewritten by the writer.
    void Save();
    // The timer's tick: takes a list read in the background (when
    // canTakeList: not under a box or in the middle of an add), tells a
    // failure to write once, and makes the rewrite after edits.
    void Tick(bool canTakeList);

    // A run: at its start the list on the disk holds every entry; each
    // target's news is recorded as it comes (from the worker's thread);
    // at its end each target's outcome becomes its entry's marks.
    void AtRunStart();
    void RecordBegun(const VQWString& path);
    void RecordFinished(const VQWString& path, TargetStatus status);
    void KeepRunResult(int runIndex, TargetStatus status);
    // The results file's note when the list could not be written during the run.
    VQWString ResultsNotes();

    // The window closes: the read is taken, a start made now waits for the
    // last rewrite and takes this list; then the writes end and the slot goes.
    void BeginClosing();
    void Close();

    // The clock of the rewrite after edits (GetTickCount); replaceable by tests.
    DWORD(WINAPI* tickCount)();

private:
    // A kept list read in the background: the thread fills entries and report.
    struct Load {
        KeptList* list = nullptr;
        VQWString folder;       // shares nothing with the window's strings
        HANDLE gate = nullptr;  // borrowed
        std::vector<KeptEntry> entries;
        KeptListReport report;
        HANDLE thread = nullptr;  // owned: joined and closed by FinishLoad or EndLoad
    };
    static unsigned __stdcall LoadMain(void* param);
    void Take(std::vector<KeptEntry>& entries, const KeptListReport& report, bool quiet);
    // The read is waited for, what it read is dropped.
    void EndLoad();

    TargetListModel& model;
    KeptListEvents& events;
    KeptList list;
    bool restored = false;  // changes before that are the restore itself
    bool dirty = false;     // edited since the last rewrite
    DWORD changedAt = 0;
    int journaled = 0;      // during a run: the highest adding number the kept list knows of
    size_t backgroundBytes = 8 * 1024 * 1024;
    HANDLE loadGate = nullptr;  // borrowed
    std::unique_ptr<Load> load;
};
