#include "app/target_list_model.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <numeric>

#include "engine/run_report.h"
#include "settings/kept_list.h"

EntryResult MakeEntryResult(const TargetRecord& record) {
    EntryResult result;
    result.status = record.Status();
    result.preEnded = record.pre.ended;
    result.commandEnded = record.command.ended;
    result.preExitCode = record.pre.exitCode;
    result.commandExitCode = record.command.exitCode;
    result.milliseconds = record.milliseconds;
    result.firstLine = FirstLine(record.errorText.IsEmpty() ? record.output : record.errorText).DeepCopy();
    result.outputCut = record.outputCut;
    result.tries = record.tries;
    result.outputPath = record.outputPath.DeepCopy();
    result.outputDeleted = record.outputDeleted;
    result.preLine = record.pre.commandLine;
    result.commandLine = record.command.commandLine;
    result.errorText = record.errorText;
    result.output = record.output;
    result.startTime = record.startTime;
    return result;
}

int ResultRank(TargetStatus status) {
    switch (status) {
    case TargetStatus::Stopped: return 1;
    case TargetStatus::Running: return 2;
    case TargetStatus::NotRun: return 3;
    default: return IsDoneResult(status) ? 4 : 0;
    }
}

namespace {

const DWORD kNaturalOrder = NORM_IGNORECASE | SORT_DIGITSASNUMBERS;

// Texts compared as names are: digits by their value, without regard to case.
int CompareNaturalRange(const wchar_t* a, int lengthA, const wchar_t* b, int lengthB) {
    int order = CompareStringEx(LOCALE_NAME_USER_DEFAULT, kNaturalOrder, a, lengthA, b, lengthB, nullptr, nullptr, 0);
    // A system without the digits rule still gives an order.
    if (order == 0) order = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, lengthA, b, lengthB);
    return order == 0 ? 0 : order - CSTR_EQUAL;
}

// The sort keys of texts, made once: bytes in the order CompareNatural gives,
// so a sort of a million compares bytes instead of calling it some twenty
// million times.
class NaturalKeys {
public:
    explicit NaturalKeys(size_t count) {
        starts.reserve(count + 1);
        starts.push_back(0);
        bytes.reserve(count * 48);
    }

    void Add(const wchar_t* text, int length) {
        if (length > 0) {
            BYTE key[512];
            int made = MakeKey(text, length, key, sizeof key);
            if (made > 0) {
                bytes.insert(bytes.end(), key, key + made);
            } else if ((made = MakeKey(text, length, nullptr, 0)) > 0) {
                size_t at = bytes.size();
                bytes.resize(at + static_cast<size_t>(made));
                made = MakeKey(text, length, &bytes[at], made);
                bytes.resize(at + static_cast<size_t>(made > 0 ? made : 0));
            }
        }
        starts.push_back(bytes.size());
    }

    int Compare(int a, int b) const {
        size_t lengthA = starts[static_cast<size_t>(a) + 1] - starts[static_cast<size_t>(a)];
        size_t lengthB = starts[static_cast<size_t>(b) + 1] - starts[static_cast<size_t>(b)];
        int order = memcmp(bytes.data() + starts[static_cast<size_t>(a)], bytes.data() + starts[static_cast<size_t>(b)],
                           std::min(lengthA, lengthB));
        if (order != 0) return order;
        return lengthA < lengthB ? -1 : lengthA > lengthB ? 1 : 0;
    }

private:
    static int MakeKey(const wchar_t* text, int length, BYTE* key, int size) {
        int made = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | kNaturalOrder, text, length,
                                 reinterpret_cast<LPWSTR>(key), size, nullptr, nullptr, 0);
        if (made == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
            made = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, text, length,
                                 reinterpret_cast<LPWSTR>(key), size, nullptr, nullptr, 0);
        }
        return made;
    }

    std::vector<BYTE> bytes;
    std::vector<size_t> starts;  // entry i's key is bytes[starts[i], starts[i + 1])
};

int NameStart(const VQWString& path) {
    int at = path.GetLength();
    while (at > 0 && path.GetAt(at - 1) != L'\\' && path.GetAt(at - 1) != L'/') --at;
    return at;
}

}  // namespace

int CompareNatural(const wchar_t* a, const wchar_t* b) { return CompareNaturalRange(a, -1, b, -1); }

VQWString NameOfPath(const VQWString& path) {
    int start = NameStart(path);
    return path.Mid(start, path.GetLength() - start);
}

VQWString FolderOfPath(const VQWString& path) { return path.Left(NameStart(path)); }

TargetListModel::TargetListModel()
    : paths([this](int key) {
          int place = placeOfNumber[static_cast<size_t>(key)];
          return place < 0 ? VQWString() : entries[static_cast<size_t>(place)].path;
      }) {}

void TargetListModel::Reserve(int count) {
    if (count <= 0) return;
    entries.reserve(static_cast<size_t>(count));
    placeOfNumber.reserve(static_cast<size_t>(nextNumber - 1 + count));
    if (pathsComplete) paths.Reserve(paths.GetCount() + count);
}

void TargetListModel::EnsurePathSet() {
    if (pathsComplete) return;
    ResetPathSet();
    paths.Reserve(GetCount());
    for (const TargetEntry& entry : entries) paths.Insert(entry.path, entry.number - 1);
    pathsComplete = true;
}

void TargetListModel::ResetPathSet() {
    paths = VQPathSet([this](int key) {
        int place = placeOfNumber[static_cast<size_t>(key)];
        return place < 0 ? VQWString() : entries[static_cast<size_t>(place)].path;
    });
}

bool TargetListModel::Add(const VQWString& path, const VQWString& root, bool running, bool failed) {
    EnsurePathSet();
    int number = nextNumber;
    placeOfNumber.push_back(GetCount());
    entries.push_back(TargetEntry{path, root, number, -1, -1, running, failed});
    if (!paths.Insert(path, number - 1)) {
        entries.pop_back();
        placeOfNumber.pop_back();
        return false;
    }
    ++nextNumber;
    ++shownCounts[static_cast<int>(TargetStatus::NotRun)];
    return true;
}

void TargetListModel::AddKnownUnique(const VQWString& path, const VQWString& root, bool running, bool failed) {
    placeOfNumber.push_back(GetCount());
    entries.push_back(TargetEntry{path, root, nextNumber++, -1, -1, running, failed});
    ++shownCounts[static_cast<int>(TargetStatus::NotRun)];
    pathsComplete = false;
}

int TargetListModel::Find(const VQWString& path) {
    EnsurePathSet();
    int key = paths.Find(path);
    return key < 0 ? -1 : placeOfNumber[static_cast<size_t>(key)];
}

int TargetListModel::PutFirst(const std::vector<KeptEntry>& first) {
    std::vector<TargetEntry> later;
    later.swap(entries);
    RemoveAll();
    Reserve(static_cast<int>(first.size() + later.size()));
    for (const KeptEntry& entry : first) AddKnownUnique(entry.path, entry.root, entry.running, entry.failed);
    int left = 0;
    for (const TargetEntry& entry : later) {
        if (Add(entry.path, entry.root, entry.running, entry.failed)) continue;
        ++left;
        TargetEntry& kept = entries[static_cast<size_t>(Find(entry.path))];
        kept.running = kept.running || entry.running;
        kept.failed = kept.failed || entry.failed;
    }
    return left;
}

KeptOutcome KeptOutcomeOf(TargetStatus status) {
    if (IsDoneResult(status)) return KeptOutcome::Done;
    return status == TargetStatus::Stopped ? KeptOutcome::Stopped : KeptOutcome::Failed;
}

void TargetListModel::KeepOutcome(int index, TargetStatus status) {
    if (status == TargetStatus::NotRun) return;
    TargetEntry& entry = entries[static_cast<size_t>(index)];
    ApplyKeptOutcome(KeptOutcomeOf(status), entry.running, entry.failed);
}

void TargetListModel::Renumber(size_t from) {
    for (size_t i = from; i < entries.size(); ++i) placeOfNumber[static_cast<size_t>(entries[i].number - 1)] = static_cast<int>(i);
}

int TargetListModel::Remove(std::vector<int> indices) {
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    size_t kept = 0, next = 0;
    int removed = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        while (next < indices.size() && indices[next] < static_cast<int>(i)) ++next;
        if (next < indices.size() && indices[next] == static_cast<int>(i)) {
            placeOfNumber[static_cast<size_t>(entries[i].number - 1)] = -1;
            --shownCounts[static_cast<int>(entries[i].shown)];
            ++removed;
            continue;
        }
        if (kept != i) entries[kept] = std::move(entries[i]);
        ++kept;
    }
    entries.resize(kept);
    if (entries.empty()) {
        RemoveAll();
        return removed;
    }
    Renumber(0);
    // Slots of entries that left outnumber the list's: the set is made afresh when next asked.
    if (paths.GetCount() > 2 * GetCount() + 1024) pathsComplete = false;
    return removed;
}

void TargetListModel::Truncate(int count) {
    if (count >= GetCount()) return;
    std::vector<int> tail(static_cast<size_t>(GetCount() - count));
    std::iota(tail.begin(), tail.end(), count);
    Remove(std::move(tail));
}

void TargetListModel::RemoveAll() {
    entries.clear();
    results.clear();
    placeOfNumber.clear();
    runEntries.clear();
    ResetPathSet();
    pathsComplete = true;
    nextNumber = 1;
    std::fill(std::begin(shownCounts), std::end(shownCounts), 0);
    liveRunning.clear();
    liveNext = 0;
}

void TargetListModel::BeginRun(const std::vector<int>* only, const std::vector<bool>* skipped) {
    for (TargetEntry& entry : entries) entry.runIndex = -1;
    runEntries.clear();
    liveRunning.clear();
    liveNext = 0;
    if (!only) {
        ClearResults();
        runEntries.reserve(entries.size());
        for (TargetEntry& entry : entries) {
            entry.runIndex = static_cast<int>(runEntries.size());
            runEntries.push_back(entry.number);
        }
    } else {
        for (int index : *only) {
            if (index < 0 || index >= GetCount()) continue;
            TargetEntry& entry = entries[static_cast<size_t>(index)];
            if (entry.runIndex >= 0) continue;
            entry.runIndex = static_cast<int>(runEntries.size());
            entry.result = -1;
            SetShown(entry, TargetStatus::NotRun);
            runEntries.push_back(entry.number);
        }
    }
    // Those are counted as skipped at once, as the runner records them
    // before it begins any: FollowRun comes to them only in their turn.
    if (!skipped) return;
    for (int i = 0; i < RunCount() && i < static_cast<int>(skipped->size()); ++i) {
        int index = EntryOfRunIndex(i);
        if ((*skipped)[static_cast<size_t>(i)] && index >= 0) {
            SetShown(entries[static_cast<size_t>(index)], TargetStatus::Skipped);
        }
    }
}

void TargetListModel::SetShown(TargetEntry& entry, TargetStatus status) {
    --shownCounts[static_cast<int>(entry.shown)];
    ++shownCounts[static_cast<int>(status)];
    entry.shown = status;
}

void TargetListModel::FollowRun(const std::function<TargetStatus(int)>& liveStatus, std::vector<int>* changed) {
    auto show = [&](int runIndex, TargetStatus status) {
        int index = EntryOfRunIndex(runIndex);
        if (index < 0) return;
        TargetEntry& entry = entries[static_cast<size_t>(index)];
        if (entry.shown == status) return;
        SetShown(entry, status);
        if (changed) changed->push_back(index);
    };
    size_t kept = 0;
    for (int runIndex : liveRunning) {
        TargetStatus status = liveStatus(runIndex);
        show(runIndex, status);
        if (status == TargetStatus::Running) liveRunning[kept++] = runIndex;
    }
    liveRunning.resize(kept);
    for (; liveNext < RunCount(); ++liveNext) {
        TargetStatus status = liveStatus(liveNext);
        // Not begun yet, and none after it but the skipped (counted from the start).
        if (status == TargetStatus::NotRun) break;
        show(liveNext, status);
        if (status == TargetStatus::Running) liveRunning.push_back(liveNext);
    }
}

int TargetListModel::LastRunningEntry() const {
    int last = -1;
    for (int runIndex : liveRunning) last = std::max(last, EntryOfRunIndex(runIndex));
    return last;
}

int TargetListModel::FirstRunningEntry() const {
    int first = -1;
    for (int runIndex : liveRunning) {
        int index = EntryOfRunIndex(runIndex);
        if (index >= 0 && (first < 0 || index < first)) first = index;
    }
    return first;
}

int TargetListModel::EntryOfRunIndex(int runIndex) const {
    if (runIndex < 0 || runIndex >= RunCount()) return -1;
    int number = runEntries[static_cast<size_t>(runIndex)];
    return placeOfNumber[static_cast<size_t>(number - 1)];
}

void TargetListModel::SetRunResult(int runIndex, const EntryResult& result) {
    int index = EntryOfRunIndex(runIndex);
    if (index < 0) return;
    TargetEntry& entry = entries[static_cast<size_t>(index)];
    if (entry.result < 0) {
        entry.result = static_cast<int>(results.size());
        results.push_back(result);
    } else {
        results[static_cast<size_t>(entry.result)] = result;
    }
    SetShown(entry, result.status);
}

const EntryResult* TargetListModel::ResultOf(int index) const {
    if (index < 0 || index >= GetCount()) return nullptr;
    int result = entries[static_cast<size_t>(index)].result;
    return result < 0 ? nullptr : &results[static_cast<size_t>(result)];
}

void TargetListModel::ClearResults() {
    results.clear();
    for (TargetEntry& entry : entries) {
        entry.result = -1;
        entry.shown = TargetStatus::NotRun;
    }
    std::fill(std::begin(shownCounts), std::end(shownCounts), 0);
    shownCounts[static_cast<int>(TargetStatus::NotRun)] = GetCount();
}

TargetStatus TargetListModel::StatusOf(int index) const {
    const EntryResult* result = ResultOf(index);
    return result ? result->status : TargetStatus::NotRun;
}

void TargetListModel::Sort(TargetColumn column, bool descending,
                           const std::function<TargetStatus(int)>& statusOf) {
    int count = GetCount();
    if (count < 2) return;
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    // Keys made once: a sort of a million compares some twenty million times.
    std::vector<int> ranks;
    auto sortBy = [&](auto less) {
        if (descending) {
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return less(b, a); });
        } else {
            std::stable_sort(order.begin(), order.end(), less);
        }
    };
    auto result = [&](int i) { return ResultOf(i); };
    switch (column) {
    case TargetColumn::Status:
        ranks.resize(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) ranks[static_cast<size_t>(i)] = ResultRank(statusOf ? statusOf(i) : StatusOf(i));
        sortBy([&](int a, int b) { return ranks[static_cast<size_t>(a)] < ranks[static_cast<size_t>(b)]; });
        break;
    case TargetColumn::Number:
        sortBy([&](int a, int b) { return At(a).number < At(b).number; });
        break;
    case TargetColumn::Name:
    case TargetColumn::Folder: {
        NaturalKeys names(static_cast<size_t>(count));
        NaturalKeys folders(column == TargetColumn::Folder ? static_cast<size_t>(count) : 0);
        for (int i = 0; i < count; ++i) {
            const VQWString& path = At(i).path;
            int start = NameStart(path);
            names.Add(path.Text() + start, path.GetLength() - start);
            if (column == TargetColumn::Folder) folders.Add(path.Text(), start);
        }
        if (column == TargetColumn::Name) {
            sortBy([&](int a, int b) { return names.Compare(a, b) < 0; });
        } else {
            sortBy([&](int a, int b) {
                int order = folders.Compare(a, b);
                return order != 0 ? order < 0 : names.Compare(a, b) < 0;
            });
        }
        break;
    }
    case TargetColumn::ExitCode:
        // Entries without a code after those with one.
        sortBy([&](int a, int b) {
            const EntryResult* x = result(a);
            const EntryResult* y = result(b);
            bool hasX = x && x->commandEnded, hasY = y && y->commandEnded;
            if (hasX != hasY) return hasX;
            return hasX && x->commandExitCode < y->commandExitCode;
        });
        break;
    case TargetColumn::Time:
        sortBy([&](int a, int b) {
            const EntryResult* x = result(a);
            const EntryResult* y = result(b);
            return (x ? x->milliseconds : 0) < (y ? y->milliseconds : 0);
        });
        break;
    case TargetColumn::Output: {
        NaturalKeys lines(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            const EntryResult* x = result(i);
            lines.Add(x ? x->firstLine.Text() : L"", x ? x->firstLine.GetLength() : 0);
        }
        sortBy([&](int a, int b) { return lines.Compare(a, b) < 0; });
        break;
    }
    case TargetColumn::Count: return;
    }
    std::vector<TargetEntry> sorted;
    sorted.reserve(entries.size());
    for (int i : order) sorted.push_back(std::move(entries[static_cast<size_t>(i)]));
    entries.swap(sorted);
    Renumber(0);
}
