#include "app/table_status.h"

#include <cwchar>

#include "engine/run_summary.h"

namespace {

const TableGroup kGroups[] = {TableGroup::All,     TableGroup::Done,    TableGroup::Failed,
                              TableGroup::Stopped, TableGroup::Running, TableGroup::NotRun};
const wchar_t* const kGroupNames[] = {L"all", L"done", L"failed", L"stopped", L"running", L"notrun"};

}  // namespace

bool InTableGroup(TableGroup group, TargetStatus status) {
    switch (group) {
    case TableGroup::All: return true;
    case TableGroup::Done: return IsDoneResult(status);
    case TableGroup::Failed: return IsFailure(status);
    case TableGroup::Stopped: return status == TargetStatus::Stopped;
    case TableGroup::Running: return status == TargetStatus::Running;
    case TableGroup::NotRun: return status == TargetStatus::NotRun;
    }
    return false;
}

namespace {

void Tally(TableCounts& counts, TargetStatus status, int entries) {
    if (IsDoneResult(status)) {
        counts.done += entries;
    } else if (IsFailure(status)) {
        counts.failed += entries;
    } else if (status == TargetStatus::Stopped) {
        counts.stopped += entries;
    } else if (status == TargetStatus::Running) {
        counts.running += entries;
    } else {
        counts.notRun += entries;
    }
}

}  // namespace

TableCounts CountTable(int total, int selected, const std::function<TargetStatus(int index)>& statusOf) {
    TableCounts counts;
    counts.total = total;
    counts.selected = selected;
    for (int i = 0; i < total; ++i) Tally(counts, statusOf(i), 1);
    return counts;
}

TableCounts CountTableByStatus(int selected, const std::function<int(TargetStatus)>& countOf) {
    TableCounts counts;
    counts.selected = selected;
    for (int i = 0; i <= static_cast<int>(TargetStatus::OutputFolderFailed); ++i) {
        int entries = countOf(static_cast<TargetStatus>(i));
        counts.total += entries;
        Tally(counts, static_cast<TargetStatus>(i), entries);
    }
    return counts;
}

const wchar_t* TableGroupName(TableGroup group) {
    for (size_t i = 0; i < sizeof kGroups / sizeof kGroups[0]; ++i) {
        if (kGroups[i] == group) return kGroupNames[i];
    }
    return L"";
}

bool TableGroupOfName(const wchar_t* name, TableGroup* group) {
    if (!name) return false;
    for (size_t i = 0; i < sizeof kGroups / sizeof kGroups[0]; ++i) {
        if (wcscmp(kGroupNames[i], name) == 0) {
            *group = kGroups[i];
            return true;
        }
    }
    return false;
}

std::vector<VQWin32LinkPart> TableStatusParts(const TableCounts& counts) {
    std::vector<VQWin32LinkPart> parts;
    if (counts.total <= 0) return parts;
    // word null: the total, "N 件"; link null: plain text.
    auto add = [&parts](const wchar_t* word, int value, const wchar_t* link) {
        if (!parts.empty()) parts.push_back({VQWString(L" ・ "), nullptr});
        VQWString number = FormatGroupedNumber(value);
        VQWString text;
        if (word) {
            text = word;
            text.Append(VQWString(L" "));
            text.Append(number);
        } else {
            text = number;
            text.Append(VQWString(L" 件"));
        }
        parts.push_back({text, value > 0 ? link : nullptr});
    };
    add(nullptr, counts.total, TableGroupName(TableGroup::All));
    add(L"完了", counts.done, TableGroupName(TableGroup::Done));
    add(L"失敗", counts.failed, TableGroupName(TableGroup::Failed));
    add(L"停止", counts.stopped, TableGroupName(TableGroup::Stopped));
    if (counts.running > 0) add(L"実行中", counts.running, TableGroupName(TableGroup::Running));
    add(L"未実行", counts.notRun, TableGroupName(TableGroup::NotRun));
    add(L"選択", counts.selected, nullptr);
    return parts;
}
