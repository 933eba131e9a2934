// The line of counts under the table: what it says and which parts link.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/table_status.h"

namespace {

std::wstring Plain(const std::vector<VQWin32LinkPart>& parts) {
    std::wstring text;
    for (const VQWin32LinkPart& part : parts) text += part.text.Text();
    return text;
}

// The parts that link, as "text=name".
std::vector<std::wstring> Links(const std::vector<VQWin32LinkPart>& parts) {
    std::vector<std::wstring> links;
    for (const VQWin32LinkPart& part : parts) {
        if (part.name && part.name[0]) links.push_back(std::wstring(part.text.Text()) + L"=" + part.name);
    }
    return links;
}

}  // namespace

TEST(TableStatus, CountsEveryEntryOnceByTheGroupItsStatusBelongsTo) {
    const std::vector<TargetStatus> statuses = {
        TargetStatus::Done,      TargetStatus::Skipped,     TargetStatus::NonZeroExit, TargetStatus::TimedOut,
        TargetStatus::NoOutput,  TargetStatus::Stopped,     TargetStatus::Running,     TargetStatus::NotRun,
        TargetStatus::Crashed,   TargetStatus::OutputFolderFailed};
    TableCounts counts = CountTable(static_cast<int>(statuses.size()), 4,
                                    [&](int i) { return statuses[static_cast<size_t>(i)]; });
    EXPECT_EQ(10, counts.total);
    EXPECT_EQ(2, counts.done) << "skipped counts as done, as 完了を選択 chooses it";
    EXPECT_EQ(5, counts.failed);
    EXPECT_EQ(1, counts.stopped);
    EXPECT_EQ(1, counts.running);
    EXPECT_EQ(1, counts.notRun);
    EXPECT_EQ(4, counts.selected);
    // Each group holds exactly what it counts.
    for (TargetStatus status : statuses) {
        int groups = 0;
        for (TableGroup group : {TableGroup::Done, TableGroup::Failed, TableGroup::Stopped, TableGroup::Running,
                                 TableGroup::NotRun}) {
            groups += InTableGroup(group, status) ? 1 : 0;
        }
        EXPECT_EQ(1, groups) << static_cast<int>(status);
    }
}

TEST(TableStatus, SaysTheCountsGroupedByThreeAndLinksOnlyCountsAboveZero) {
    TableCounts counts;
    EXPECT_TRUE(TableStatusParts(counts).empty()) << "an empty table has no counts";
    counts.total = 1234;
    counts.done = 1100;
    counts.failed = 3;
    counts.notRun = 131;
    counts.selected = 2;
    std::vector<VQWin32LinkPart> parts = TableStatusParts(counts);
    EXPECT_EQ(L"1,234 件 ・ 完了 1,100 ・ 失敗 3 ・ 停止 0 ・ 未実行 131 ・ 選択 2", Plain(parts));
    EXPECT_EQ((std::vector<std::wstring>{L"1,234 件=all", L"完了 1,100=done", L"失敗 3=failed", L"未実行 131=notrun"}),
              Links(parts))
        << "nothing to choose behind 停止 0; 選択 is what is chosen";

    // While entries run, they have a count of their own.
    counts.running = 2;
    counts.notRun = 129;
    parts = TableStatusParts(counts);
    EXPECT_EQ(L"1,234 件 ・ 完了 1,100 ・ 失敗 3 ・ 停止 0 ・ 実行中 2 ・ 未実行 129 ・ 選択 2", Plain(parts));
    EXPECT_EQ(L"実行中 2=running", Links(parts)[3]);
}

TEST(TableStatus, EveryLinkNameLeadsBackToItsGroup) {
    for (TableGroup group : {TableGroup::All, TableGroup::Done, TableGroup::Failed, TableGroup::Stopped,
                             TableGroup::Running, TableGroup::NotRun}) {
        TableGroup found = TableGroup::All;
        ASSERT_TRUE(TableGroupOfName(TableGroupName(group), &found));
        EXPECT_EQ(group, found);
    }
    TableGroup untouched = TableGroup::Done;
    EXPECT_FALSE(TableGroupOfName(L"", &untouched));
    EXPECT_FALSE(TableGroupOfName(nullptr, &untouched));
    EXPECT_EQ(TableGroup::Done, untouched);
}
