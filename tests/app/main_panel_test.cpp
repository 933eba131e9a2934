#include "app/main_panel.h"

#include <gtest/gtest.h>

#include <map>

#include "app/resource.h"
#include "app/target_table.h"
#include "win32/dialog_window.h"

namespace {

struct NoWindow : TableEvents {
    TargetStatus TableEntryStatus(int) override { return TargetStatus::NotRun; }
    TargetStatus TableLiveStatus(int) override { return TargetStatus::NotRun; }
    RunState TableRunState() override { return RunState::Idle; }
    void OnTableSelectionChanged() override {}
    void OnTableSorted() override {}
    void OnTableShowOutput(int) override {}
    void OnTableOpenFolder(int) override {}
    void OnTableCopyPaths(const VQWString&) override {}
    void OnTableRunSelected(const std::vector<int>&) override {}
    void OnTableDelete() override {}
    bool TableListLoading() override { return false; }
};

}  // namespace

TEST(MainPanel, EverySettingHasOneControlAndTheTableTakesTheRoomLeft) {
    TargetListModel model;
    NoWindow window;
    TargetTable table(model, window);
    VQWin32DialogWindowCreateInfo* info = MakeMainPanelCreateInfo(JobSettings{}, SW_HIDE, nullptr, table);
    std::map<int, int> anchorsById;
    for (int i = 0; i < info->items.GetCount(); ++i) {
        EXPECT_TRUE(anchorsById.emplace(info->items[i]->GetId(), info->items[i]->anchorFlags).second)
            << "control " << info->items[i]->GetId() << " twice";
    }
    for (int id : JobForm::SettingControls()) EXPECT_EQ(1u, anchorsById.count(id)) << "setting control " << id;
    EXPECT_EQ(VQWin32AnchorStretchRight | VQWin32AnchorStretchDown, anchorsById[IDC_TARGET_LIST]);
    EXPECT_EQ(IDD_MAIN, info->templateId);
    delete info;
}
