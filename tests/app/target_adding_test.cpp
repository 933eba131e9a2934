// Adding to and taking from the target list on the model, without a window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/target_adding.h"

namespace {

VQArray<VQWString, VQWString> Batch(const std::vector<std::wstring>& paths) {
    VQArray<VQWString, VQWString> batch;
    for (const std::wstring& path : paths) batch.Add(VQWString(path.c_str()));
    return batch;
}

std::vector<std::wstring> Paths(const TargetListModel& model) {
    std::vector<std::wstring> paths;
    for (int i = 0; i < model.GetCount(); ++i) paths.push_back(model.PathAt(i).Text());
    return paths;
}

}  // namespace

TEST(TargetAdding, FiltersAndLeavesOutWhatTheListNames) {
    TargetListModel model;
    model.Add(L"C:\\a.jpg", VQWString());
    AddedBatch added = AddBatch(model, Batch({L"c:\\A.JPG", L"C:\\b.png", L"C:\\c.txt", L"C:\\b.png"}), nullptr,
                                ExtensionFilter(L"jpg; png"), AddingStep());
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\a.jpg", L"C:\\b.png"}), Paths(model));
    EXPECT_EQ(1, added.otherExtensions);
    EXPECT_EQ(1, added.added);
    EXPECT_FALSE(added.cancelled);
}

TEST(TargetAdding, CancelTakesTheWholeBatchBack) {
    TargetListModel model;
    model.Add(L"C:\\kept.txt", VQWString());
    std::vector<std::wstring> many;
    for (int i = 0; i < 2000; ++i) many.push_back(L"C:\\f" + std::to_wstring(i) + L".txt");
    std::vector<int> asked;
    AddedBatch added = AddBatch(model, Batch(many), nullptr, ExtensionFilter(L""),
                                [&](int checked, int) { asked.push_back(checked); return checked < 1024; });
    EXPECT_TRUE(added.cancelled);
    EXPECT_EQ((std::vector<int>{0, 1024}), asked);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\kept.txt"}), Paths(model));
}

TEST(TargetAdding, AfterRemovingTheNextInPlaceIsSelected) {
    struct Case {
        std::vector<int> removed;
        int next;
        int left;
    } cases[] = {{{1, 3}, 1, 3}, {{4}, 3, 4}, {{3, 4}, 2, 3}, {{0, 1, 2, 3, 4}, -1, 0}};
    for (const Case& c : cases) {
        TargetListModel model;
        for (int i = 0; i < 5; ++i) model.Add(VQWString().Format(L"C:\\%d", i), VQWString());
        EXPECT_EQ(c.next, RemoveEntries(model, c.removed)) << c.removed.size();
        EXPECT_EQ(c.left, model.GetCount());
    }
}
