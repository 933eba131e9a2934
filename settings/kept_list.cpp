// The kept list's files: the slots and their locks, the journal appends, and
// the writer thread that puts whole rewrites in place.
#include "settings/kept_list.h"

#include <windows.h>
#include <process.h>

#include <algorithm>
#include <cwchar>
#include <utility>

#include "base/files.h"
#include "base/path_identity.h"
#include "base/text_hash.h"
#include "base/timing_log.h"

namespace {

// A kept list grows with its list; past this it is not read, but set aside.
const int64_t kKeptFileLimit = int64_t(1) << 30;
const DWORD kWritePiece = 1 << 20;

// The whole file; false with the error when it exists and cannot be read.
// A file that is not there reads as empty.
bool ReadWhole(const std::wstring& path, std::string& bytes, bool& exists) {
    bytes.clear();
    exists = false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    exists = true;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= kKeptFileLimit;
    if (ok) bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (ok && done < bytes.size()) {
        DWORD piece = bytes.size() - done > kWritePiece ? kWritePiece : static_cast<DWORD>(bytes.size() - done);
        DWORD got = 0;
        ok = ReadFile(file, &bytes[done], piece, &got, nullptr) != FALSE;
        if (got == 0) break;
        done += got;
    }
    bytes.resize(done);
    CloseHandle(file);
    return ok;
}

bool WriteAll(HANDLE file, const char* bytes, size_t size) {
    size_t done = 0;
    while (done < size) {
        DWORD piece = size - done > kWritePiece ? kWritePiece : static_cast<DWORD>(size - done);
        DWORD written = 0;
        if (!WriteFile(file, bytes + done, piece, &written, nullptr) || written != piece) return false;
        done += written;
    }
    return true;
}

// "12" of "<base>.12.journal": the journal's number, or 0 when the name is
// not a journal's.
unsigned JournalNumber(const wchar_t* name, const wchar_t* baseName) {
    size_t n = wcslen(baseName);
    if (_wcsnicmp(name, baseName, n) != 0 || name[n] != L'.') return 0;
    const wchar_t* digits = name + n + 1;
    const wchar_t* end = digits;
    while (*end >= L'0' && *end <= L'9') ++end;
    if (end == digits || _wcsicmp(end, L".journal") != 0) return 0;
    return static_cast<unsigned>(wcstoul(digits, nullptr, 10));
}

// The slot a file belongs to ("targets.txt" 1, "targets-3.5.journal" 3), or
// 0 when it is no slot's list or journal.
int SlotOfFile(const wchar_t* name) {
    if (_wcsnicmp(name, L"targets", 7) != 0) return 0;
    const wchar_t* rest = name + 7;
    int slot = 1;
    if (*rest == L'-') {
        const wchar_t* digits = ++rest;
        while (*rest >= L'0' && *rest <= L'9') ++rest;
        if (rest == digits) return 0;
        slot = _wtoi(digits);
        if (slot < 2) return 0;
    }
    if (*rest != L'.') return 0;
    ++rest;
    if (_wcsicmp(rest, L"txt") == 0) return slot;
    const wchar_t* digits = rest;
    while (*rest >= L'0' && *rest <= L'9') ++rest;
    return rest > digits && _wcsicmp(rest, L".journal") == 0 ? slot : 0;
}

// The names in `folder` matching `pattern`.
std::vector<std::wstring> FilesMatching(const std::wstring& folder, const wchar_t* pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::wstring BaseName(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }

// 16 hex digits of the text, folded as names are: one name, one code.
VQWString HashName(const wchar_t* prefix, const VQWString& text) {
    VQWString name(prefix);
    name.Append(TextHashHex(FoldNameCase(text)));
    return name;
}

// A lock held for a scope.
class Held {
public:
    explicit Held(CRITICAL_SECTION& held) : section(held) { EnterCriticalSection(&section); }
    ~Held() { LeaveCriticalSection(&section); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    CRITICAL_SECTION& section;
};

}  // namespace

struct KeptList::Job {
    std::wstring units;  // the new list, from its byte-order mark on
    unsigned journal;    // the journals numbered below this one are in it
    bool empty;
    // Entries the writer makes the units of first; the caller's to let go.
    std::unique_ptr<std::vector<KeptEntry>> entries;
};

struct KeptList::Shared {
    Shared() {
        InitializeCriticalSection(&lock);
        InitializeConditionVariable(&wake);
        InitializeConditionVariable(&caughtUp);
    }
    ~Shared() { DeleteCriticalSection(&lock); }

    CRITICAL_SECTION lock;
    CONDITION_VARIABLE wake;      // the writer: a job, a journal to close or flush, the end
    CONDITION_VARIABLE caughtUp;  // WaitForWrites: no job left
    std::wstring folder;          // fixed once the writer runs
    std::wstring base;            // folder\targets or folder\targets-N
    std::unique_ptr<Job> job;     // the newest rewrite not begun yet
    // Entries of rewrites done with, for the caller's thread to let go.
    std::vector<std::unique_ptr<std::vector<KeptEntry>>> spent;
    bool writing = false;
    bool quit = false;
    // Files that did not load whole and their copies, made before anything
    // is written over them.
    std::vector<std::pair<std::wstring, std::wstring>> setAside;
    // Lists of closed windows brought in: they go once a rewrite holds them.
    std::vector<std::wstring> orphanFiles;
    std::vector<HANDLE> orphanLocks;  // owned: released with them
    HANDLE journal = INVALID_HANDLE_VALUE;  // owned: the current journal, opened at its first record
    unsigned journalNumber = 1;
    std::vector<HANDLE> retired;  // owned: earlier journals, flushed and closed by the writer
    bool dirty = false;           // the current journal has records not flushed yet
    bool journalEscaped = false;  // the current journal has "|escaped"
    DWORD lastFlush = 0;
    bool removeDone = false;
    bool lastWriteEmpty = false;  // the last rewrite in place held no entry
    bool lastWriteFailed = false;
    // Failures: one waits to be told; a spell is told once.
    bool failurePending = false;
    bool failureTold = false;
    std::wstring failurePath;
    DWORD failureError = 0;
    bool failedInRun = false;
    bool unusable = false;  // nothing can be kept
};

KeptList::KeptList() : shared(new Shared) {}

KeptList::~KeptList() { Close(); }

VQWString KeptList::SlotName(int n) const {
    VQWString name = folder;
    if (!ownName.IsEmpty()) {
        name.Append(L'\\');
        name.Append(ownName);
    } else if (n <= 1) {
        name.Append(L"\\targets");
    } else {
        VQWString suffix;
        suffix.Format(L"\\targets-%d", n);
        name.Append(suffix);
    }
    return name;
}

VQWString KeptList::ListPath() const {
    if (!slot) return VQWString();
    return SlotName(slot).Append(L".txt");
}

bool KeptList::ClaimSlot(int n, HANDLE& slotLock, DWORD& error) const {
    VQWString path = SlotName(n).Append(L".lock");
    // No sharing: a second open fails while this handle lives, and the file
    // goes with the handle, however the process ends.
    slotLock = CreateFileW(path.Text(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    error = slotLock == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    return slotLock != INVALID_HANDLE_VALUE;
}

VQWString KeptList::ClosingEventName(int n) const {
    return HashName(L"Local\\Quenbrix-closing-", SlotName(n).Append(L".lock"));
}

bool KeptList::ClaimSlotWaiting(int n, HANDLE& slotLock, DWORD& error) const {
    DWORD start = GetTickCount();
    for (;;) {
        if (ClaimSlot(n, slotLock, error)) return true;
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) return false;
        HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, ClosingEventName(n).Text());
        // Its holder may have let go of both since the try.
        if (!event) return ClaimSlot(n, slotLock, error);
        CloseHandle(event);
        if (GetTickCount() - start >= kClosingWaitMs) return false;
        Sleep(20);
    }
}

void KeptList::UseOwnSlot(const VQWString& key) {
    if (slot) return;
    ownName = key.IsEmpty() ? VQWString() : OwnSlotName(key);
}

VQWString KeptList::OwnSlotName(const VQWString& key) { return HashName(L"job-", key); }

void KeptList::BeginClosing() {
    if (!slot || closing) return;
    closing = CreateEventW(nullptr, TRUE, FALSE, ClosingEventName(slot).Text());
}

void KeptList::Fail(const VQWString& path, DWORD error) {
    std::wstring text(path.Text(), static_cast<size_t>(path.GetLength()));
    Held held(shared->lock);
    shared->failedInRun = true;
    if (!shared->failurePending && !shared->failureTold) {
        shared->failurePending = true;
        shared->failurePath = text;
        shared->failureError = error;
    }
}

// What reading a slot found besides its entries.
struct KeptList::SlotFiles {
    std::vector<std::wstring> all;  // its list, journals and half-written rewrites
    // Files that did not load whole, and the names of their copies.
    std::vector<std::pair<std::wstring, std::wstring>> damaged;
    unsigned nextJournal = 0;  // above every journal number it knows of
    bool changed = false;      // what it holds differs from its list file
};

void KeptList::ReadSlot(int n, KeptEntries& entries, KeptListReport& report, SlotFiles& files) {
    std::wstring base = SlotName(n).Text();
    std::wstring listPath = base + L".txt";
    auto damage = [&] { return report.SkippedLines() + report.unmarkedFiles; };
    auto setAside = [&](const std::wstring& path) {
        std::wstring copy = path + L".bad";
        for (int i = 2; i < 100 && GetFileAttributesW(copy.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) {
            copy = path + L"." + std::to_wstring(i) + L".bad";
        }
        files.damaged.push_back(std::make_pair(path, copy));
        report.setAside.Add(VQWString(copy.c_str()));
        files.changed = true;
    };

    std::string bytes;
    bool exists = false;
    unsigned journal = 0;
    bool read = ReadWhole(listPath, bytes, exists);
    if (exists) {
        files.all.push_back(listPath);
        int before = damage();
        if (!read || (!bytes.empty() && !ReadKeptListText(bytes.data(), static_cast<int>(bytes.size()), entries,
                                                          journal, report))) {
            ++report.unmarkedFiles;
        }
        if (damage() > before) setAside(listPath);
        // Plain paths of an earlier version: written again in this one's form.
        if (journal == 0) files.changed = true;
    }
    files.nextJournal = journal;

    std::vector<std::pair<unsigned, std::wstring>> journals;
    std::wstring baseName = BaseName(base);
    for (const std::wstring& name : FilesMatching(folder.Text(), (baseName + L".*.journal").c_str())) {
        unsigned number = JournalNumber(name.c_str(), baseName.c_str());
        if (number > 0) journals.push_back(std::make_pair(number, std::wstring(folder.Text()) + L"\\" + name));
    }
    std::sort(journals.begin(), journals.end());
    for (const auto& j : journals) {
        files.all.push_back(j.second);
        if (j.first + 1 > files.nextJournal) files.nextJournal = j.first + 1;
        // Older ones are in the list already; they go with the next rewrite.
        if (j.first < journal) continue;
        files.changed = true;
        int before = damage();
        if (!ReadWhole(j.second, bytes, exists) ||
            (!bytes.empty() && !ApplyKeptJournal(bytes.data(), static_cast<int>(bytes.size()), entries, report))) {
            ++report.unmarkedFiles;
        }
        if (damage() > before) setAside(j.second);
    }
    // Half-written rewrites of a process that ended while writing.
    for (const std::wstring& name : FilesMatching(folder.Text(), (baseName + L".txt.tmp.*").c_str())) {
        files.all.push_back(std::wstring(folder.Text()) + L"\\" + name);
    }
}

// The entries of every other slot whose lock can be taken (a window that
// is gone left them), each slot's journals folded in first; true when any came.
bool KeptList::BringInOtherSlots(KeptEntries& kept, KeptListReport& report) {
    std::vector<int> others;
    for (const std::wstring& name : FilesMatching(folder.Text(), L"targets*")) {
        int n = ownName.IsEmpty() ? SlotOfFile(name.c_str()) : 0;
        if (n > 0 && n != slot && std::find(others.begin(), others.end(), n) == others.end()) others.push_back(n);
    }
    std::sort(others.begin(), others.end());
    bool changed = false;
    for (int n : others) {
        HANDLE orphanLock;
        DWORD ignored;
        if (!ClaimSlotWaiting(n, orphanLock, ignored)) continue;
        KeptEntries orphan;
        KeptListReport orphanReport;
        SlotFiles files;
        ReadSlot(n, orphan, orphanReport, files);
        // Its files go once this list holds its entries: what did not load
        // whole is copied first, and a list that cannot be copied stays.
        bool copied = true;
        for (const auto& copy : files.damaged) {
            copied = copied && CopyFileW(copy.first.c_str(), copy.second.c_str(), TRUE);
        }
        if (!copied) {
            CloseHandle(orphanLock);
            continue;
        }
        for (const KeptEntry& entry : orphan.Take()) kept.Add(entry);
        report.nulLines += orphanReport.nulLines;
        report.longLines += orphanReport.longLines;
        report.cutLines += orphanReport.cutLines;
        report.unmarkedFiles += orphanReport.unmarkedFiles;
        for (int i = 0; i < orphanReport.setAside.GetCount(); ++i) report.setAside.Add(orphanReport.setAside[i]);
        shared->orphanFiles.insert(shared->orphanFiles.end(), files.all.begin(), files.all.end());
        shared->orphanLocks.push_back(orphanLock);
        ++report.mergedLists;
        changed = true;
    }
    return changed;
}

bool KeptList::Open(const VQWString& dataFolder, std::vector<KeptEntry>& entries, KeptListReport& report) {
    entries.clear();
    if (slot || dataFolder.IsEmpty()) return false;
    folder = dataFolder;
    if (!CreateFolders(folder)) {
        DWORD error = GetLastError();
        shared->unusable = true;
        Fail(folder, error);
        return false;
    }
    DWORD error = 0;
    // An own slot is the job's one place: no other slot stands in for it.
    const int slots = ownName.IsEmpty() ? kMaxSlots : 1;
    for (int n = 1; n <= slots && !slot; ++n) {
        HANDLE claimed;
        if (ClaimSlotWaiting(n, claimed, error)) {
            lock = claimed;
            slot = n;
        } else if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) {
            break;
        }
    }
    if (!slot) {
        shared->unusable = true;
        Fail(SlotName(1).Append(L".lock"), error);
        return false;
    }
    TimingMark("kept list: slot claimed");
    shared->folder = folder.Text();
    shared->base = SlotName(slot).Text();

    KeptEntries kept;
    SlotFiles own;
    ReadSlot(slot, kept, report, own);
    // Its damaged files are copied by the writer before its first rewrite.
    shared->setAside = own.damaged;
    for (const std::wstring& file : own.all) {
        if (file.find(L".txt.tmp.") != std::wstring::npos) DeleteFileW(file.c_str());
    }

    // Every other slot with a list or a journal whose lock can be taken
    // belongs to no open window: its entries come here, each slot's journals
    // folded into its own list first.
    // An own slot brings in nothing.
    TimingMark("kept list: own slot read");
    bool changed = BringInOtherSlots(kept, report) || own.changed;
    entries = kept.Take();
    TimingMark("kept list: other slots read");

    shared->journalNumber = own.nextJournal > 1 ? own.nextJournal : 1;
    writer = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WriterMain, this, 0, nullptr));
    if (!writer) {
        DWORD threadError = GetLastError();
        Fail(ListPath(), threadError);
    }
    if (changed) {
        KeptListText text = BeginRewrite();
        size_t units = 0;
        for (const KeptEntry& entry : entries) units += static_cast<size_t>(entry.path.GetLength());
        text.Reserve(units, static_cast<int>(entries.size()));
        for (const KeptEntry& entry : entries) text.Add(entry.path, entry.root, entry.running, entry.failed);
        Save(std::move(text));
    }
    TimingMark("kept list: open");
    return true;
}

KeptListText KeptList::BeginRewrite() {
    Held held(shared->lock);
    // Records from here on go to a new journal, which comes after the rewrite;
    // the one before is part of it.
    if (shared->journal != INVALID_HANDLE_VALUE) {
        shared->retired.push_back(shared->journal);
        shared->journal = INVALID_HANDLE_VALUE;
        shared->dirty = false;
    }
    WakeConditionVariable(&shared->wake);
    return KeptListText(++shared->journalNumber);
}

void KeptList::Save(KeptListText&& text) {
    if (!slot || !writer) return;
    std::unique_ptr<Job> job(new Job{std::wstring(), text.Journal(), text.GetCount() == 0, nullptr});
    job->units.swap(text.text);
    Offer(std::move(job));
}

std::unique_ptr<KeptList::Job> KeptList::Offer(std::unique_ptr<Job> job) {
    std::unique_ptr<Job> left;
    {
        Held held(shared->lock);
        // Only the newest rewrite matters: it holds everything an older one would.
        if (!shared->job || shared->job->journal <= job->journal) {
            left = std::move(shared->job);
            shared->job = std::move(job);
        } else {
            left = std::move(job);
        }
        WakeConditionVariable(&shared->wake);
    }
    return left;
}

void KeptList::SaveEntries(std::unique_ptr<std::vector<KeptEntry>> entries) {
    ReleaseWritten();
    if (!slot || !writer || !entries) return;
    KeptListText text = BeginRewrite();
    std::unique_ptr<Job> job(new Job{std::wstring(), text.Journal(), entries->empty(), std::move(entries)});
    // An older job not begun goes here, on the caller's thread, with its entries.
    Offer(std::move(job));
}

void KeptList::ReleaseWritten() {
    if (!shared) return;
    std::vector<std::unique_ptr<std::vector<KeptEntry>>> spent;
    {
        Held held(shared->lock);
        spent.swap(shared->spent);
    }
}

void KeptList::WaitForWrites() {
    if (!writer) return;
    Held held(shared->lock);
    while (shared->job || shared->writing) SleepConditionVariableCS(&shared->caughtUp, &shared->lock, INFINITE);
}

bool KeptList::LastRewriteFailed() {
    Held held(shared->lock);
    return shared->lastWriteFailed;
}

void KeptList::SetRemoveDone(bool remove) {
    Held held(shared->lock);
    bool changed = shared->removeDone != remove;
    shared->removeDone = remove;
    // A journal not begun yet starts with the word.
    if (changed && shared->journal != INVALID_HANDLE_VALUE) {
        AppendRecord(remove ? L"|remove-done 1\r\n" : L"|remove-done 0\r\n");
    }
}

void KeptList::RecordBegun(const VQWString& path) { AppendRecord(L"begun", path); }

void KeptList::RecordFinished(const VQWString& path, KeptOutcome outcome) {
    const wchar_t* kind = L"stopped";
    if (outcome == KeptOutcome::Done) kind = L"done";
    if (outcome == KeptOutcome::Failed) kind = L"failed";
    AppendRecord(kind, path);
}

void KeptList::RecordAdded(const VQWString& path, const VQWString& root) { AppendRecord(L"add", path, root); }

void KeptList::AppendRecord(const wchar_t* kind, const VQWString& path, const VQWString& root) {
    if (!slot) return;
    Held held(shared->lock);
    // A journal opened for this record has no "|escaped" yet.
    if (shared->journal == INVALID_HANDLE_VALUE) shared->journalEscaped = false;
    AppendRecord(KeptJournalLine(kind, path, root, shared->journalEscaped));
}

void KeptList::AppendRecord(const std::wstring& line) {
    if (!slot) return;
    Held held(shared->lock);
    std::wstring text;
    std::wstring path = shared->base + L"." + std::to_wstring(shared->journalNumber) + L".journal";
    DWORD error = 0;
    if (shared->journal == INVALID_HANDLE_VALUE) {
        // Deleting it must not wait for this handle.
        shared->journal = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER size = {};
        if (shared->journal == INVALID_HANDLE_VALUE || !GetFileSizeEx(shared->journal, &size) ||
            !SetFilePointerEx(shared->journal, LARGE_INTEGER(), nullptr, FILE_END)) {
            error = GetLastError();
            if (shared->journal != INVALID_HANDLE_VALUE) CloseHandle(shared->journal);
            shared->journal = INVALID_HANDLE_VALUE;
        } else {
            if (size.QuadPart == 0) text = L"\xFEFF";
            text += shared->removeDone ? L"|remove-done 1\r\n" : L"|remove-done 0\r\n";
        }
    }
    if (shared->journal != INVALID_HANDLE_VALUE) {
        text += line;
        // One write a record: a process ended at any moment leaves it whole or not at all.
        if (!WriteAll(shared->journal, reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t))) {
            error = GetLastError();
        }
        // A writer that sleeps with nothing to flush is told; one that waits to flush is not.
        if (!shared->dirty) WakeConditionVariable(&shared->wake);
        shared->dirty = true;
    }
    if (error) Fail(VQWString(path.c_str()), error);
}

bool KeptList::TakeFailure(KeptListFailure& failure) {
    Held held(shared->lock);
    if (!shared->failurePending) return false;
    failure.path = VQWString(shared->failurePath.c_str());
    failure.error = shared->failureError;
    shared->failurePending = false;
    shared->failureTold = true;
    return true;
}

void KeptList::BeginRun() {
    Held held(shared->lock);
    shared->failedInRun = shared->unusable;
}

bool KeptList::FailedSinceRunBegan() {
    Held held(shared->lock);
    return shared->failedInRun;
}

unsigned __stdcall KeptList::WriterMain(void* param) {
    static_cast<KeptList*>(param)->WriterLoop();
    return 0;
}

void KeptList::WriterLoop() {
    Shared& s = *shared;
    EnterCriticalSection(&s.lock);
    for (;;) {
        if (!s.retired.empty()) {
            std::vector<HANDLE> journals;
            journals.swap(s.retired);
            LeaveCriticalSection(&s.lock);
            // A rewrite that fails leaves them in force: they must reach the disk too.
            for (HANDLE journal : journals) {
                FlushFileBuffers(journal);
                CloseHandle(journal);
            }
            EnterCriticalSection(&s.lock);
            continue;
        }
        if (s.job) {
            std::unique_ptr<Job> job = std::move(s.job);
            s.writing = true;
            LeaveCriticalSection(&s.lock);
            if (job->entries) {
                KeptListText text(job->journal);
                size_t units = 0;
                for (const KeptEntry& entry : *job->entries) units += static_cast<size_t>(entry.path.GetLength());
                text.Reserve(units, static_cast<int>(job->entries->size()));
                for (const KeptEntry& entry : *job->entries) {
                    text.Add(entry.path.Text(), entry.path.GetLength(), entry.root.Text(), entry.root.GetLength(),
                             entry.running, entry.failed);
                }
                job->units.swap(text.text);
            }
            WriteJob(*job);
            EnterCriticalSection(&s.lock);
            // Their strings' counts are the caller's to change.
            if (job->entries) s.spent.push_back(std::move(job->entries));
            job.reset();
            s.writing = false;
            if (!s.job) WakeAllConditionVariable(&s.caughtUp);
            continue;
        }
        DWORD now = GetTickCount();
        DWORD since = now - s.lastFlush;
        if (s.dirty && (since >= kFlushMs || s.quit)) {
            // The journal's handle is closed only here or after this thread
            // has ended: it stays valid outside the lock.
            HANDLE journal = s.journal;
            s.dirty = false;
            s.lastFlush = now;
            LeaveCriticalSection(&s.lock);
            FlushFileBuffers(journal);
            EnterCriticalSection(&s.lock);
            continue;
        }
        if (s.quit) break;
        SleepConditionVariableCS(&s.wake, &s.lock, s.dirty ? kFlushMs - since : INFINITE);
    }
    LeaveCriticalSection(&s.lock);
}

bool KeptList::WriteJob(Job& job) {
    Shared& s = *shared;
    std::vector<std::pair<std::wstring, std::wstring>> copies;
    std::wstring base;
    {
        Held held(s.lock);
        copies = s.setAside;
        base = s.base;
    }
    auto failed = [&](const std::wstring& path, DWORD error) {
        Fail(VQWString(path.c_str()), error);
        Held held(s.lock);
        s.lastWriteFailed = true;
        return false;
    };
    // What did not load whole is copied aside before the rewrite takes its place.
    for (const auto& copy : copies) {
        if (!CopyFileW(copy.first.c_str(), copy.second.c_str(), TRUE)) {
            DWORD error = GetLastError();
            // Gone meanwhile: nothing is left to write over.
            if (error != ERROR_FILE_NOT_FOUND) return failed(copy.second, error);
        }
    }
    {
        Held held(s.lock);
        s.setAside.erase(s.setAside.begin(), s.setAside.begin() + static_cast<std::ptrdiff_t>(copies.size()));
    }

    std::wstring listPath = base + L".txt";
    DWORD error = 0;
    bool written = ReplaceWholeFile(listPath.c_str(), [&](const wchar_t* tempPath) {
        HANDLE file = CreateFileW(tempPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            error = GetLastError();
            return false;
        }
        // On the disk itself before it takes the list's place.
        bool ok = WriteAll(file, reinterpret_cast<const char*>(job.units.data()), job.units.size() * sizeof(wchar_t)) &&
                  FlushFileBuffers(file);
        if (!ok) error = GetLastError();
        CloseHandle(file);
        return ok;
    });
    if (!written) {
        if (!error) error = GetLastError();
        // A folder in the file's place is refused before the system is asked.
        return failed(listPath, error ? error : ERROR_ACCESS_DENIED);
    }

    // The journals it holds, and the lists it brought in, are of no more use.
    std::wstring baseName = BaseName(base);
    for (const std::wstring& name : FilesMatching(s.folder, (baseName + L".*.journal").c_str())) {
        unsigned number = JournalNumber(name.c_str(), baseName.c_str());
        if (number > 0 && number < job.journal) DeleteFileW((s.folder + L"\\" + name).c_str());
    }
    std::vector<std::wstring> orphans;
    std::vector<HANDLE> orphanLocks;
    {
        Held held(s.lock);
        orphans.swap(s.orphanFiles);
        orphanLocks.swap(s.orphanLocks);
        s.failureTold = false;
        s.lastWriteEmpty = job.empty;
        s.lastWriteFailed = false;
    }
    for (const std::wstring& file : orphans) DeleteFileW(file.c_str());
    for (HANDLE orphanLock : orphanLocks) CloseHandle(orphanLock);
    return true;
}

void KeptList::Close() {
    if (!shared) return;
    if (writer) {
        {
            Held held(shared->lock);
            shared->quit = true;
            WakeConditionVariable(&shared->wake);
        }
        WaitForSingleObject(writer, INFINITE);
        TimingMark("kept list: writer joined");
        CloseHandle(writer);
        writer = nullptr;
    }
    ReleaseWritten();
    bool recordsSince = shared->journal != INVALID_HANDLE_VALUE;
    if (recordsSince) CloseHandle(shared->journal);
    shared->journal = INVALID_HANDLE_VALUE;
    for (HANDLE journal : shared->retired) CloseHandle(journal);
    shared->retired.clear();
    // An empty list leaves no files behind.
    if (slot && shared->lastWriteEmpty && !recordsSince) DeleteFileW(ListPath().Text());
    // Lists brought in but not written here yet stay for the next start.
    for (HANDLE orphanLock : shared->orphanLocks) CloseHandle(orphanLock);
    shared->orphanLocks.clear();
    shared->orphanFiles.clear();
    if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
    lock = INVALID_HANDLE_VALUE;
    // Only once the lock is gone: a start that waits takes the slot next.
    if (closing) CloseHandle(closing);
    closing = nullptr;
    slot = 0;
}
