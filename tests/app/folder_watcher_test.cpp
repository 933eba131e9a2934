// The window's part of a watch without a window: what reaches the ledger on
// the disk, so that a watch that ends unexpectedly loses no file.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/folder_watcher.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace {

class Host : public WatchHost {
public:
    bool WatchCanRun() override { return canRun; }
    bool RunWatchedFiles(const std::vector<WatchedFile>& files) override {
        for (const WatchedFile& file : files) ran.push_back(file.path.Text());
        return true;
    }
    bool canRun = false;
    std::vector<std::wstring> ran;
};

std::string LedgerText(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\watch-*.txt").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return std::string();
    FindClose(find);
    return TempDir::ReadWholeFile(folder + L"\\" + found.cFileName);
}

}  // namespace

TEST(FolderWatcher, AFileSettledButNotRunYetIsNotOnTheDiskAsTaken) {
    TempDir dir;
    std::wstring in = dir.MakeDir(L"in");
    std::wstring data = dir.MakeDir(L"data");
    std::wstring done = dir.WriteFile(L"in\\done.wav", "1");
    Host host;
    host.canRun = true;
    FolderWatcher watcher(host);
    WatchRequest request;
    request.folders = in.c_str();
    request.command = L"x";
    request.settleSeconds = 0;
    request.dataFolder = data.c_str();
    VQWString error;
    ASSERT_TRUE(watcher.Start(request, error));
    ASSERT_TRUE(WaitUntil(L"the first ran", [&] {
        watcher.Tick(GetTickCount());
        return host.ran.size() == 1;
    }));
    // The next settles while the first one's run goes on.
    host.canRun = false;
    std::wstring waiting = dir.WriteFile(L"in\\waiting.wav", "2");
    ASSERT_TRUE(WaitUntil(L"the next settled", [&] {
        watcher.Tick(GetTickCount());
        return watcher.QueuedCount() == 1;
    }));
    watcher.RunEnded({VQWString(done.c_str())}, {}, {});
    std::string ledger = LedgerText(data);
    auto holds = [&ledger](const std::wstring& path) {
        std::string wide(reinterpret_cast<const char*>(path.c_str()), path.size() * sizeof(wchar_t));
        return ledger.find(wide) != std::string::npos;
    };
    EXPECT_TRUE(holds(done));
    EXPECT_FALSE(holds(waiting)) << "a watch ended now must run it at its next start";
}

TEST(FolderWatcher, TheSameFoldersAreWatchedOnceAtATime) {
    TempDir dir;
    std::wstring in = dir.MakeDir(L"in");
    Host host;
    FolderWatcher first(host), second(host);
    WatchRequest request;
    request.folders = in.c_str();
    request.command = L"x";
    VQWString error;
    ASSERT_TRUE(first.Start(request, error));
    // The same folder written another way is the same folder.
    request.folders = (in + L"\\").c_str();
    EXPECT_FALSE(second.Start(request, error));
    EXPECT_TRUE(error == VQWString(L"このフォルダは別のウィンドウで監視中です。"));
    first.Stop();
    EXPECT_TRUE(second.Start(request, error));
}

