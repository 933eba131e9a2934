// Every entry remembers the folder it was found under, through each way of
// adding and across a restart.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/app/app_window.h"
#include "tests/support/temp_dir.h"

namespace {

typedef std::vector<std::wstring> Texts;

// Each entry as "path|root".
Texts Entries(AppWindow& app) {
    Texts entries;
    TargetListModel& model = app.window->Targets();
    for (int i = 0; i < model.GetCount(); ++i) {
        entries.push_back(std::wstring(model.PathAt(i).Text()) + L"|" + model.At(i).root.Text());
    }
    return entries;
}

VQArray<VQWString, VQWString> Batch(const Texts& paths) {
    VQArray<VQWString, VQWString> batch;
    for (const std::wstring& p : paths) batch.Add(VQWString(p.c_str()));
    return batch;
}

}  // namespace

TEST(TargetRoots, ADroppedFolderIsTheRootOfItsFilesAndASingleFileHasNone) {
    TempDir dir;
    std::wstring deep = dir.WriteFile(L"写真\\2026\\旅行 夏\\a.jpg", "a");
    std::wstring top = dir.WriteFile(L"写真\\b.jpg", "b");
    std::wstring single = dir.WriteFile(L"one.txt", "1");
    AppWindow app;
    app.window->AddDroppedPaths(Batch({dir.Join(L"写真"), single}));
    std::wstring root = dir.Join(L"写真") + L"\\";
    Texts entries = Entries(app);
    ASSERT_EQ(3u, entries.size());
    EXPECT_NE(entries.end(), std::find(entries.begin(), entries.end(), deep + L"|" + root));
    EXPECT_NE(entries.end(), std::find(entries.begin(), entries.end(), top + L"|" + root));
    EXPECT_EQ(single + L"|", entries.back());
}

TEST(TargetRoots, AListFilesFolderLineIsTheRootAndItsFileLinesAreSingleFiles) {
    TempDir dir;
    std::wstring inner = dir.WriteFile(L"src\\sub\\x.txt", "x");
    std::wstring file = dir.WriteFile(L"y.txt", "y");
    std::wstring list = dir.WriteFile(L"list.txt", "src\r\ny.txt\r\n");
    AppWindow app;
    app.window->AddListFile(list.c_str());
    EXPECT_EQ((Texts{inner + L"|" + dir.Join(L"src") + L"\\", file + L"|"}), Entries(app));
}

TEST(TargetRoots, TheAddRouteWithoutRootsAddsSingleFiles) {
    AppWindow app;
    VQArray<VQWString, VQWString> batch = Batch({L"C:\\a\\b.txt"});
    app.window->AddTargets(&batch);
    EXPECT_EQ((Texts{L"C:\\a\\b.txt|"}), Entries(app));
}

TEST(TargetRoots, RootsComeBackAfterARestart) {
    TempDir dir;
    std::wstring data = dir.MakeDir(L"data");
    std::wstring a = dir.WriteFile(L"tree\\d\\a.txt", "a");
    std::wstring b = dir.WriteFile(L"b.txt", "b");
    Texts before;
    {
        AppWindow app(nullptr, data.c_str());
        app.window->AddDroppedPaths(Batch({dir.Join(L"tree"), b}));
        before = Entries(app);
        app.Close();
    }
    ASSERT_EQ((Texts{a + L"|" + dir.Join(L"tree") + L"\\", b + L"|"}), before);
    AppWindow again(nullptr, data.c_str());
    EXPECT_EQ(before, Entries(again));
    std::vector<RunTarget> run = again.window->RunTargetsFromList();
    ASSERT_EQ(2u, run.size());
    EXPECT_STREQ((dir.Join(L"tree") + L"\\").c_str(), run[0].root.Text());
    EXPECT_FALSE(run[0].interrupted);
    std::vector<int> only = {1};
    run = again.window->RunTargetsFromList(&only);
    ASSERT_EQ(1u, run.size());
    EXPECT_STREQ(b.c_str(), run[0].path.Text());
}
