#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <thread>

#include "engine/folder_watch.h"
#include "engine/watch_session.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace {

std::vector<std::wstring> Paths(const std::vector<WatchedFile>& files) {
    std::vector<std::wstring> paths;
    for (const WatchedFile& file : files) paths.push_back(file.path.Text());
    return paths;
}

// Files as the tests say they are, without a disk.
struct FakeDisk {
    std::map<std::wstring, WatchedLook> files;
    void Put(const std::wstring& path, uint64_t size, bool openable = true) {
        WatchedLook& look = files[path];
        look.exists = true;
        look.size = size;
        look.writeTime = size * 10;
        look.openable = openable;
    }
    SettleTracker::Look Look() {
        return [this](const VQWString& path) {
            auto found = files.find(path.Text());
            return found == files.end() ? WatchedLook() : found->second;
        };
    }
};

WatchNews Told(const wchar_t* path, int folder = 0) {
    WatchNews news;
    news.path = path;
    news.folder = folder;
    return news;
}

}  // namespace

TEST(Watching, NamesThatToolsWriteMeanwhileArePassedOver) {
    const struct {
        const wchar_t* name;
        bool passedOver;
    } cases[] = {
        {L"photo.jpg", false},      {L"photo.jpg.tmp", true},     {L"A.TMP", true},
        {L"movie.mkv.part", true},  {L"setup.exe.crdownload", true}, {L"~$report.docx", true},
        {L".hidden", true},         {L"~report.docx", false},     {L"partial.txt", false},
        {L"x.tmpl", false},         {L"", true},
    };
    for (const auto& c : cases) EXPECT_EQ(c.passedOver, IsPassedOverName(c.name)) << c.name;
}

// Each step: the time, what the disk holds then, a notification or not; the file settles when expected.
TEST(Watching, AFileIsTakenOnlyOnceItsSizeAndTimeHeldAndItOpens) {
    const struct {
        const char* what;
        std::vector<std::tuple<DWORD, uint64_t, bool, bool>> steps;  // time, size (0: gone), openable, told
        DWORD takenAt;                                               // 0: never
    } cases[] = {
        {"still from the first notification", {{0, 5, true, true}}, 3000},
        {"growing until 4 s", {{0, 1, true, true}, {2000, 2, true, true}, {4000, 3, true, true}}, 7000},
        {"grown without a notification", {{0, 1, true, true}, {2500, 9, true, false}}, 5500},
        {"held open by its writer", {{0, 5, false, true}, {6000, 5, true, false}}, 6000},
        {"deleted before it settled", {{0, 5, true, true}, {1000, 0, true, false}}, 0},
    };
    for (const auto& c : cases) {
        FakeDisk disk;
        SettleTracker tracker(3000, 500);
        size_t step = 0;
        DWORD takenAt = 0;
        for (DWORD now = 0; now <= 12000 && !takenAt; now += 250) {
            while (step < c.steps.size() && std::get<0>(c.steps[step]) == now) {
                uint64_t size = std::get<1>(c.steps[step]);
                if (size) disk.Put(L"C:\\in\\a.wav", size, std::get<2>(c.steps[step]));
                else disk.files.clear();
                if (std::get<3>(c.steps[step])) tracker.Touch(VQWString(L"C:\\in\\a.wav"), now);
                ++step;
            }
            if (!tracker.TakeSettled(now, disk.Look()).empty()) takenAt = now;
        }
        // A look every 500 ms: taken within that after the quiet time.
        if (c.takenAt) {
            EXPECT_GE(takenAt, c.takenAt) << c.what;
            EXPECT_LE(takenAt, c.takenAt + 500) << c.what;
        } else {
            EXPECT_EQ(0u, takenAt) << c.what;
        }
        EXPECT_EQ(0u, tracker.PendingCount()) << c.what;
    }
}

TEST(Watching, WhatTheJobWritesAndWhatWasTakenAsItIsAreNeverInput) {
    FakeDisk disk;
    for (const wchar_t* path : {L"C:\\in\\a.wav", L"C:\\in\\out\\a.flac", L"C:\\in\\b.wav", L"C:\\in\\b.flac",
                                L"C:\\in\\c.txt", L"C:\\in\\d.wav.part"}) {
        disk.Put(path, 10);
    }
    WatchLedger ledger;
    WatchSetup setup;
    setup.folders = {VQWString(L"C:\\in")};
    setup.outputFolder = FixedOutputFolder(VQWString(L"C:\\IN\\Out\\$name.flac"));
    setup.isOutput = [](const VQWString& path) { return VQWString(L"C:\\in\\b.flac") == path; };
    setup.accepts = [](const VQWString& path) { return wcsstr(path.Text(), L".txt") == nullptr; };
    WatchSession session(setup, ledger);
    std::vector<WatchNews> news;
    for (const auto& file : disk.files) news.push_back(Told(file.first.c_str()));
    session.Hear(news, 0);
    std::vector<WatchedFile> ready = session.TakeReady(3000, disk.Look());
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\in\\a.wav", L"C:\\in\\b.wav"}), Paths(ready));
    EXPECT_EQ(L"C:\\in\\", std::wstring(ready[0].root.Text()));
    // Told again unchanged (the run touched it, a listing saw it): not taken.
    session.Hear({Told(L"C:\\in\\a.wav")}, 4000);
    EXPECT_TRUE(session.TakeReady(8000, disk.Look()).empty());
    // Changed: taken again.
    disk.Put(L"C:\\in\\a.wav", 11);
    session.Hear({Told(L"C:\\in\\a.wav")}, 9000);
    EXPECT_EQ(std::vector<std::wstring>{L"C:\\in\\a.wav"}, Paths(session.TakeReady(12000, disk.Look())));
}

TEST(Watching, TheLedgerComesBackFromItsTextAndAFirstWatchWithoutExistingFilesTakesNone) {
    WatchLedger ledger;
    ledger.Note(VQWString(L"C:\\in\\日本語 a.wav"), 12345678901ull, 132000000000000000ull);
    WatchLedger back;
    VQWString text(L"x\tbroken\r\n");
    text.Append(ledger.ToText());
    back.FromText(text);
    EXPECT_EQ(1u, back.Count());
    EXPECT_TRUE(back.Knows(VQWString(L"c:\\IN\\日本語 A.wav"), 12345678901ull, 132000000000000000ull));

    FakeDisk disk;
    disk.Put(L"C:\\in\\old.wav", 1);
    WatchSetup setup;
    setup.folders = {VQWString(L"C:\\in")};
    setup.existing = false;
    WatchLedger empty;
    WatchSession session(setup, empty);
    WatchNews listed = Told(L"C:\\in\\old.wav");
    listed.listed = true;
    listed.size = 1;
    listed.writeTime = 10;
    session.Hear({listed}, 0);
    session.EndStartListing();
    disk.Put(L"C:\\in\\new.wav", 1);
    session.Hear({Told(L"C:\\in\\new.wav")}, 0);
    EXPECT_EQ(std::vector<std::wstring>{L"C:\\in\\new.wav"}, Paths(session.TakeReady(3000, disk.Look())));
}

TEST(Watching, OutputFolderIsTheTemplatesFixedFolder) {
    const struct {
        const wchar_t* outputTemplate;
        const wchar_t* folder;
    } cases[] = {
        {L"D:\\out\\$name.flac", L"D:\\out\\"}, {L"D:\\out\\a_$name", L"D:\\out\\"},
        {L"$dir\\$name.flac", L""},              {L"out\\$name", L""},
        {L"D:\\$name.flac", L""},               {L"\\\\nas\\share\\$name", L"\\\\nas\\share\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::wstring(c.folder), FixedOutputFolder(VQWString(c.outputTemplate)).Text()) << c.outputTemplate;
    }
}

// The watch thread on a real folder: a burst copied in, one file written
// slowly, each file settled once and only whole.
TEST(WatchingFolders, ABurstIsTakenWholeAndEachFileOnce) {
    TempDir dir;
    std::wstring watched = dir.MakeDir(L"in");
    FolderWatch watch({VQWString(watched.c_str())}, FolderWatch::Options());
    ASSERT_TRUE(watch.Start());
    WatchLedger ledger;
    WatchSetup setup;
    setup.folders = {VQWString(watched.c_str())};
    setup.settleMs = 700;
    WatchSession session(setup, ledger);
    const int kFiles = 2000;
    std::thread slow([&] {
        HANDLE file = CreateFileW((watched + L"\\slow.wav").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
        for (int i = 0; i < 30; ++i) {
            DWORD written = 0;
            WriteFile(file, "0123456789", 10, &written, nullptr);
            Sleep(100);
        }
        CloseHandle(file);
    });
    for (int i = 0; i < kFiles; ++i) {
        dir.WriteFile(L"in\\sub" + std::to_wstring(i % 7) + L"\\f" + std::to_wstring(i) + L".wav", "data");
    }
    std::map<std::wstring, int> taken;
    uint64_t slowSize = 0;
    bool all = WaitUntil(L"every file settled", [&] {
        session.Hear(watch.Take(), GetTickCount());
        for (const WatchedFile& file : session.TakeReady(GetTickCount())) {
            ++taken[file.path.Text()];
            if (wcsstr(file.path.Text(), L"slow.wav")) slowSize = LookAtFile(file.path).size;
        }
        return taken.size() == kFiles + 1;
    }, 120000);
    slow.join();
    EXPECT_TRUE(all);
    for (const auto& item : taken) EXPECT_EQ(1, item.second) << item.first;
    EXPECT_EQ(300u, slowSize);
    watch.Stop();
}

TEST(WatchingFolders, AFolderThatGoesIsToldOnceAndWatchedAgainWhenItIsMadeAgain) {
    TempDir dir;
    std::wstring watched = dir.MakeDir(L"in");
    FolderWatch::Options options;
    options.goneRetryMs = 200;
    FolderWatch watch({VQWString(watched.c_str())}, options);
    ASSERT_TRUE(watch.Start());
    std::vector<WatchNews> heard;
    auto hear = [&](WatchNews::Kind kind, const wchar_t* tail) {
        for (WatchNews& news : watch.Take()) heard.push_back(news);
        for (const WatchNews& news : heard) {
            if (news.kind == kind && (!tail || wcsstr(news.path.Text(), tail))) return true;
        }
        return false;
    };
    dir.WriteFile(L"in\\a.wav", "a");
    ASSERT_TRUE(WaitUntil(L"a.wav told", [&] { return hear(WatchNews::kChanged, L"a.wav"); }));
    // Moved away (as a drive or a share goes): under Wine a folder that a
    // handle holds stays until the handle closes, so a delete would not show.
    ASSERT_TRUE(MoveFileW(watched.c_str(), dir.Join(L"away").c_str()));
    ASSERT_TRUE(WaitUntil(L"the folder told gone", [&] { return hear(WatchNews::kFolderGone, nullptr); }));
    Sleep(600);  // a few retries while it is gone: still told once
    hear(WatchNews::kChanged, nullptr);
    int goneTold = 0;
    for (const WatchNews& news : heard) goneTold += news.kind == WatchNews::kFolderGone;
    EXPECT_EQ(1, goneTold);
    // Made again, empty, and a file put in.
    dir.MakeDir(L"in");
    dir.WriteFile(L"in\\b.wav", "b");
    EXPECT_TRUE(WaitUntil(L"the folder told back", [&] { return hear(WatchNews::kFolderBack, nullptr); }));
    EXPECT_TRUE(WaitUntil(L"b.wav told", [&] { return hear(WatchNews::kChanged, L"b.wav"); }));
    watch.Stop();
}
