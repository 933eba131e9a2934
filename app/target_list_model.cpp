#include "app/target_list_model.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
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

int CompareNatural(const wchar_t* a, const wchar_t* b) { return StrCmpLogicalW(a, b); }

namespace {

int NameStart(const VQWString& path) {
    int at = path.GetLength();
    while (at > 0 && path.GetAt(at - 1) != L'\\' && path.GetAt(at - 1) != L'/') --at;
    return at;
}

// Folders compared as names are: digits by their value, without regard to case.
int CompareNaturalRange(const wchar_t* a, int lengthA, const wchar_t* b, int lengthB) {
    int order = CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE | SORT_DIGITSASNUMBERS, a, lengthA, b,
                                lengthB, nullptr, nullptr, 0);
    // A system without the digits rule still gives an order.
    if (order == 0) order = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, lengthA, b, lengthB);
    return order == 0 ? 0 : order - CSTR_EQUAL;
}

}  // namespace

VQWString NameOfPath(const VQWString& path) {
    int start = NameStart(path);
    return path.Mid(start, path.GetLength() - start);
}

VQWString FolderOfPath(const VQWString& path) { return path.Left(NameStart(path)); }

VQWString RootOfFolder(const VQWString& folder) {
    VQWString root = folder;
    int length = root.GetLength();
    while (length > 0 && (root.GetAt(length - 1) == L'\\' || root.GetAt(length - 1) == L'/')) --length;
    root = root.Left(length);
    root.Append(L'\\');
    return root;
}

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

bool TargetListModel::Add(const VQWString& path, const VQWString& root, bool running) {
    EnsurePathSet();
    int number = nextNumber;
    placeOfNumber.push_back(GetCount());
    entries.push_back(TargetEntry{path, root, number, -1, -1, running});
    if (!paths.Insert(path, number - 1)) {
        entries.pop_back();
        placeOfNumber.pop_back();
        return false;
    }
    ++nextNumber;
    return true;
}

void TargetListModel::AddKnownUnique(const VQWString& path, const VQWString& root, bool running) {
    placeOfNumber.push_back(GetCount());
    entries.push_back(TargetEntry{path, root, nextNumber++, -1, -1, running});
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
    for (const KeptEntry& entry : first) AddKnownUnique(entry.path, entry.root, entry.running);
    int left = 0;
    for (const TargetEntry& entry : later) {
        if (!Add(entry.path, entry.root, entry.running)) ++left;
    }
    return left;
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
}

void TargetListModel::BeginRun(const std::vector<int>* only) {
    for (TargetEntry& entry : entries) entry.runIndex = -1;
    runEntries.clear();
    if (!only) {
        ClearResults();
        runEntries.reserve(entries.size());
        for (TargetEntry& entry : entries) {
            entry.runIndex = static_cast<int>(runEntries.size());
            runEntries.push_back(entry.number);
        }
        return;
    }
    for (int index : *only) {
        if (index < 0 || index >= GetCount()) continue;
        TargetEntry& entry = entries[static_cast<size_t>(index)];
        if (entry.runIndex >= 0) continue;
        entry.runIndex = static_cast<int>(runEntries.size());
        entry.result = -1;
        runEntries.push_back(entry.number);
    }
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
}

const EntryResult* TargetListModel::ResultOf(int index) const {
    if (index < 0 || index >= GetCount()) return nullptr;
    int result = entries[static_cast<size_t>(index)].result;
    return result < 0 ? nullptr : &results[static_cast<size_t>(result)];
}

void TargetListModel::ClearResults() {
    results.clear();
    for (TargetEntry& entry : entries) entry.result = -1;
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
    std::vector<int> starts;
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
    case TargetColumn::Folder:
        starts.resize(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) starts[static_cast<size_t>(i)] = NameStart(At(i).path);
        if (column == TargetColumn::Name) {
            sortBy([&](int a, int b) {
                return CompareNatural(At(a).path.Text() + starts[static_cast<size_t>(a)],
                                      At(b).path.Text() + starts[static_cast<size_t>(b)]) < 0;
            });
        } else {
            sortBy([&](int a, int b) {
                int order = CompareNaturalRange(At(a).path.Text(), starts[static_cast<size_t>(a)], At(b).path.Text(),
                                                starts[static_cast<size_t>(b)]);
                if (order != 0) return order < 0;
                return CompareNatural(At(a).path.Text() + starts[static_cast<size_t>(a)],
                                      At(b).path.Text() + starts[static_cast<size_t>(b)]) < 0;
            });
        }
        break;
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
    case TargetColumn::Output:
        sortBy([&](int a, int b) {
            const EntryResult* x = result(a);
            const EntryResult* y = result(b);
            return CompareNatural(x ? x->firstLine.Text() : L"", y ? y->firstLine.Text() : L"") < 0;
        });
        break;
    case TargetColumn::Count: return;
    }
    std::vector<TargetEntry> sorted;
    sorted.reserve(entries.size());
    for (int i : order) sorted.push_back(std::move(entries[static_cast<size_t>(i)]));
    entries.swap(sorted);
    Renumber(0);
}
