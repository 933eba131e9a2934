// The list a window keeps between starts. Each open window has a slot of
// its own under the data folder: "targets" for the first, "targets-2",
// "targets-3" ... for windows opened beside it. A slot's files:
//
// - <slot>.txt, the list: UTF-16LE with its FF FE mark, CR LF line ends, one
//   line per entry (its path, and after a tab its marks: "running",
//   "failed"), and lines beginning with "|", which no path can begin with:
//     |journal N    the journals numbered N and on come after this list
//     |root FOLDER  the folder the entries after it were found under
//     |root         the entries after it were added as single files
//     |escaped      in the paths and folders after it, "%" and two hex
//                   digits stand for a unit: written before the first path
//                   that holds a unit 1 to 31, a double quote or a leading
//                   "|", and from then on for each of those, "|" and "%"
//   A path that begins or ends with a blank is written in double quotes.
//   A file of plain paths, as earlier versions wrote it, is a list of
//   single-file entries.
// - <slot>.N.journal: what happened since the list was written, one record
//   a line, appended as it happens ("begun", "done", "failed", "stopped" or
//   "add", a tab, the path; "|remove-done 1" or 0; "|escaped" as in the
//   list). A killed process loses none; they reach the disk itself about
//   once a second.
// - <slot>.lock, held open without sharing while the window is open: a slot
//   whose lock can be taken belongs to no open window. A window that is
//   closing says so (a named event, until its lock is gone): a start then
//   waits for the slot instead of taking another one.
//
// A start that works on targets of its own keeps them in a slot of the
// job's own instead, "job-" and 16 hex digits of the job's key: it neither
// takes nor brings in the windows' slots, and no window brings in its list.
//
// Whole rewrites are made into text on the caller's thread and written by a
// thread of the component's own, through a temporary file that takes the
// list's place in one step. A file that does not load whole is copied aside
// (<name>.bad) before anything is written over it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/arrays.h"
#include "base/path_identity.h"
#include "base/strings.h"

struct KeptEntry {
    VQWString path;
    VQWString root;        // the folder it was found under, ending in "\"; empty: added as a single file
    bool running = false;  // begun in a run that did not see it through (the program ended, or a stop)
    bool failed = false;   // its last try failed, and none has succeeded since: a kept output may be half made
};

enum class KeptOutcome { Done, Failed, Stopped };

// The marks after a try of the file ended so. Only a success clears them:
// until then its output is not known to be whole.
void ApplyKeptOutcome(KeptOutcome outcome, bool& running, bool& failed);

// What reading the kept lists met. Each counted line was left out.
struct KeptListReport {
    int nulLines = 0;
    int longLines = 0;      // longer than the longest path Windows takes
    int cutLines = 0;       // a last line without its line end: the file was cut short
    int unmarkedFiles = 0;  // no byte-order mark, or not readable: nothing of it was taken
    VQArray<VQWString, VQWString> setAside;  // the copies of the files that did not load whole
    int mergedLists = 0;    // lists of windows no longer open, brought into this one

    int SkippedLines() const { return nulLines + longLines + cutLines; }
};

// Entries in order, each file at most once (paths compare as the list
// compares them, base/path_identity.h).
class KeptEntries {
public:
    KeptEntries();
    KeptEntries(const KeptEntries&) = delete;
    KeptEntries& operator=(const KeptEntries&) = delete;

    // False, and nothing added, when the file is there already; a mark of
    // this entry's then joins the one there (two lists brought together:
    // the copy that may be unfinished wins).
    bool Add(const KeptEntry& entry);
    // The entry's index, or -1.
    int Find(const VQWString& path) const;
    KeptEntry& At(int index) { return entries[static_cast<size_t>(index)]; }
    // The entry no longer counts: Find passes it by, Add takes its path again.
    void Remove(int index);
    int GetCount() const { return count; }
    // The entries left, in order; this object is empty afterwards.
    std::vector<KeptEntry> Take();
    void Reserve(int n);

private:
    std::vector<KeptEntry> entries;
    std::vector<bool> removed;  // by entry
    VQPathSet paths;            // by entry index; a removed entry's stays until its path is taken again
    int count = 0;              // entries not removed
};

// A whole list as its file holds it, made entry by entry.
class KeptListText {
public:
    explicit KeptListText(unsigned journal = 0);
    // Room for entries of this many units of paths in all: a list of a
    // million entries is then not copied again and again as it grows.
    void Reserve(size_t pathUnits, int entries);
    void Add(const VQWString& path, const VQWString& root, bool running, bool failed = false);
    // The same from units that stay put while it runs (another thread's strings, only read).
    void Add(const wchar_t* path, int pathLength, const wchar_t* root, int rootLength, bool running,
             bool failed = false);
    // The file's units, from the byte-order mark on.
    const std::wstring& Units() const { return text; }
    int GetCount() const { return count; }
    unsigned Journal() const { return journal; }

private:
    friend class KeptList;

    std::wstring text;
    std::wstring root;  // of the entries written last
    unsigned journal;
    bool escaped = false;  // "|escaped" is written
    int count = 0;
};

// One record of a journal: the kind, a tab, the path (and, for "add", a tab
// and the root when there is one), CR LF. `escaped` tells whether the
// journal has "|escaped" already; the line begins with it when it is the
// first to need it.
std::wstring KeptJournalLine(const wchar_t* kind, const VQWString& path, const VQWString& root, bool& escaped);

// Reads a kept list's bytes into `entries` (after those there, without
// duplicates) and gives its journal number (0 for plain paths). Damaged
// lines are counted into `report`. False when there is no byte-order mark:
// nothing was read.
bool ReadKeptListText(const char* bytes, int count, KeptEntries& entries, unsigned& journal,
                      KeptListReport& report);
// Applies a journal's records to `entries`. A last record cut short (the
// power went while it was written) is passed over without a word; other
// damage is counted. False when there is no byte-order mark.
bool ApplyKeptJournal(const char* bytes, int count, KeptEntries& entries, KeptListReport& report);

// Why the list could not be written: the file and the system's error code.
struct KeptListFailure {
    VQWString path;
    DWORD error = 0;
};

class KeptList {
public:
    enum { kMaxSlots = 100, kFlushMs = 1000, kClosingWaitMs = 60000 };

    KeptList();
    ~KeptList();
    KeptList(const KeptList&) = delete;
    KeptList& operator=(const KeptList&) = delete;

    // Takes the first slot under `folder` that no open window holds and reads
    // its list and journals, then brings in, in slot order and without
    // duplicates, the lists of the slots no open window holds; their files go
    // once this slot's list holds their entries. False when nothing can be
    // kept: the failure then waits in TakeFailure.
    bool Open(const VQWString& folder, std::vector<KeptEntry>& entries, KeptListReport& report);
    // Before Open: the slot is the job's own one, named by `key` (compared
    // without regard to case); empty: the windows' slots.
    void UseOwnSlot(const VQWString& key);
    // The name the files of the own slot of `key` begin with.
    static VQWString OwnSlotName(const VQWString& key);
    bool IsOpen() const { return slot > 0; }
    // The slot's list file; empty while not open.
    VQWString ListPath() const;

    // A whole rewrite: the caller adds the entries as they are now, then
    // hands it to Save. What was recorded before BeginRewrite counts as held
    // by it.
    KeptListText BeginRewrite();
    void Save(KeptListText&& text);
    // A whole rewrite of these entries, made into text by the writer: the
    // caller's thread only copies the strings (sharing their buffers), and
    // the writer only reads them. They are let go on the caller's thread,
    // by ReleaseWritten or Close; the caller changes no buffer in place.
    void SaveEntries(std::unique_ptr<std::vector<KeptEntry>> entries);
    // Lets go of the entries of rewrites written (or passed over) since.
    void ReleaseWritten();
    // Waits until the rewrites asked for so far are written (or have failed).
    void WaitForWrites();
    // The last rewrite that was tried failed: the list on the disk is older
    // than the last one handed to Save.
    bool LastRewriteFailed();

    // Whether entries that are done leave the list: the fold after a crash
    // follows the last word.
    void SetRemoveDone(bool remove);
    // Records, written at once; from any thread.
    void RecordBegun(const VQWString& path);
    void RecordFinished(const VQWString& path, KeptOutcome outcome);
    void RecordAdded(const VQWString& path, const VQWString& root);

    // The first failure to write since the last one was taken and a rewrite
    // then succeeded: each spell of failures is told once.
    bool TakeFailure(KeptListFailure& failure);
    // A run's notes: whether anything of the list failed to be written since
    // BeginRun (or nothing can be kept at all).
    void BeginRun();
    bool FailedSinceRunBegan();

    // The window is closing: until Close, a start that finds this slot
    // held waits for it (up to kClosingWaitMs) rather than starting empty.
    void BeginClosing();
    // Waits for the writes, ends the writer and gives up the slot.
    void Close();

private:
    struct Job;
    struct Shared;

    VQWString SlotName(int n) const;
    bool ClaimSlot(int n, HANDLE& lock, DWORD& error) const;
    // ClaimSlot, waiting while the slot's holder is closing.
    bool ClaimSlotWaiting(int n, HANDLE& lock, DWORD& error) const;
    VQWString ClosingEventName(int n) const;
    struct SlotFiles;
    void ReadSlot(int n, KeptEntries& entries, KeptListReport& report, SlotFiles& files);
    bool BringInOtherSlots(KeptEntries& kept, KeptListReport& report);
    void Fail(const VQWString& path, DWORD error);
    void AppendRecord(const std::wstring& line);
    void AppendRecord(const wchar_t* kind, const VQWString& path, const VQWString& root = VQWString());
    static unsigned __stdcall WriterMain(void* param);
    void WriterLoop();
    bool WriteJob(Job& job);
    // Hands a rewrite to the writer unless a newer one waits; gives back the
    // job it replaced (or this one) for the caller to free outside the lock.
    std::unique_ptr<Job> Offer(std::unique_ptr<Job> job);

    VQWString folder;
    VQWString ownName;  // the own slot's; empty: the windows' slots
    int slot = 0;
    HANDLE lock = INVALID_HANDLE_VALUE;  // owned: the slot's lock file, deleted when closed
    HANDLE closing = nullptr;            // owned: the event that says the holder is closing
    HANDLE writer = nullptr;             // owned: the writer thread, ended by Close
    std::unique_ptr<Shared> shared;      // what the writer, the worker and the window share
};
