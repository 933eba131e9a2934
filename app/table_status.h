// The line under the table: how many entries it has, how many of them ended
// which way, and how many are chosen; each count but the chosen one is a
// link that chooses those entries.
#pragma once

#include <functional>
#include <vector>

#include "engine/run_record.h"
#include "win32/link_line.h"

struct TableCounts {
    int total = 0;
    int done = 0;     // done or skipped: what 完了を選択 chooses
    int failed = 0;
    int stopped = 0;
    int running = 0;
    int notRun = 0;
    int selected = 0;
};

// The group of entries a count stands for.
enum class TableGroup { All, Done, Failed, Stopped, Running, NotRun };

// Whether an entry shown with this status (NotRun for one without a mark)
// belongs to the group.
bool InTableGroup(TableGroup group, TargetStatus status);

// Counts `total` entries, asking for each one's status as the table shows it.
TableCounts CountTable(int total, int selected, const std::function<TargetStatus(int index)>& statusOf);
// The same from how many entries show each status (countOf), without a look at any entry.
TableCounts CountTableByStatus(int selected, const std::function<int(TargetStatus status)>& countOf);

// 「1,234 件 ・ 完了 1,100 ・ 失敗 3 ・ 停止 0 ・ 未実行 131 ・ 選択 2」, with
// 「実行中 N」 after 停止 while entries run; nothing for an empty table.
// A count above 0 links to its group by the name TableGroupName gives.
std::vector<VQWin32LinkPart> TableStatusParts(const TableCounts& counts);

const wchar_t* TableGroupName(TableGroup group);
// The group a link names; false for a name that is none.
bool TableGroupOfName(const wchar_t* name, TableGroup* group);
