#include "settings/kept_list.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/kept_list_support.h"
#include "tests/support/temp_dir.h"

namespace {

typedef std::vector<std::wstring> Lines;

std::string Utf16(const std::wstring& text) {
    return std::string("\xFF\xFE", 2) + std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

std::wstring Text(const std::string& bytes) {
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    return text.empty() ? text : text.substr(1);
}

std::wstring Str(const VQWString& s) { return std::wstring(s.Text(), static_cast<size_t>(s.GetLength())); }

KeptEntry Entry(const std::wstring& path, const std::wstring& root = std::wstring(), bool running = false) {
    KeptEntry entry;
    entry.path = VQWString(path.c_str());
    entry.root = VQWString(root.c_str());
    entry.running = running;
    return entry;
}

struct Opened {
    bool ok = false;
    std::vector<KeptEntry> entries;
    KeptListReport report;
};

Opened Open(KeptList& kept, const std::wstring& folder) {
    Opened opened;
    opened.ok = kept.Open(VQWString(folder.c_str()), opened.entries, opened.report);
    return opened;
}

void SaveAll(KeptList& kept, const std::vector<KeptEntry>& entries) {
    KeptListText text = kept.BeginRewrite();
    for (const KeptEntry& e : entries) text.Add(e.path, e.root, e.running);
    kept.Save(std::move(text));
    kept.WaitForWrites();
}

Lines Names(const std::wstring& folder) {
    Lines names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// What a crash at this moment would leave on the disk: every file but the
// locks, which go with the process.
void CopyAsACrashLeavesIt(const std::wstring& from, const std::wstring& to) {
    CreateDirectoryW(to.c_str(), nullptr);
    for (const std::wstring& name : Names(from)) {
        if (name.size() > 5 && name.substr(name.size() - 5) == L".lock") continue;
        ASSERT_TRUE(CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE)) << name.c_str();
    }
}

}  // namespace

TEST(KeptListText, RootsAndRunningMarksComeBackAsWritten) {
    KeptListText text(7);
    text.Add(VQWString(L"C:\\one\\single.txt"), VQWString(), false);
    text.Add(VQWString(L"D:\\写真\\2026\\旅行\\a.jpg"), VQWString(L"D:\\写真\\"), false);
    text.Add(VQWString(L"D:\\写真\\b.jpg"), VQWString(L"D:\\写真\\"), true);
    text.Add(VQWString(L"E:\\共有\\名前の最後が空白 "), VQWString(L"E:\\"), true);
    text.Add(VQWString(L" F:\\頭に空白.txt"), VQWString(), false);
    text.Add(VQWString(L"G:\\root\\x.txt"), VQWString(L"H:\\elsewhere\\"), false);
    EXPECT_EQ(6, text.GetCount());
    std::wstring units = text.Units();
    // A root is written once for the entries that share it.
    EXPECT_EQ(0u, units.find(L"\xFEFF|journal 7\r\nC:\\one\\single.txt\r\n|root D:\\写真\\\r\nD:\\写真\\2026"));
    EXPECT_NE(std::wstring::npos, units.find(L"\r\n|root\r\n\" F:\\頭に空白.txt\"\r\n"));

    unsigned journal = 0;
    KeptListReport report;
    std::string bytes(reinterpret_cast<const char*>(units.data()), units.size() * 2);
    std::vector<KeptEntry> read = ReadKept(bytes, &journal, &report);
    EXPECT_EQ(7u, journal);
    EXPECT_EQ((Lines{L"C:\\one\\single.txt|", L"D:\\写真\\2026\\旅行\\a.jpg|D:\\写真\\", L"D:\\写真\\b.jpg|D:\\写真\\|running",
                     L"E:\\共有\\名前の最後が空白 |E:\\|running", L" F:\\頭に空白.txt|",
                     // A root its entry is not below is no root of it.
                     L"G:\\root\\x.txt|"}),
              DescribeKept(read));
    EXPECT_EQ(0, report.SkippedLines());
    // Entries of one root share its text rather than each holding a copy,
    // also when roots take turns (a list sorted across folders).
    EXPECT_EQ(read[1].root.GetData(), read[2].root.GetData());
    KeptListText turns(1);
    turns.Add(VQWString(L"C:\\a\\1"), VQWString(L"C:\\a\\"), false);
    turns.Add(VQWString(L"C:\\b\\1"), VQWString(L"C:\\b\\"), false);
    turns.Add(VQWString(L"C:\\a\\2"), VQWString(L"C:\\a\\"), false);
    std::vector<KeptEntry> taking = ReadKept(std::string(reinterpret_cast<const char*>(turns.Units().data()),
                                                         turns.Units().size() * 2));
    ASSERT_EQ(3u, taking.size());
    EXPECT_EQ(taking[0].root.GetData(), taking[2].root.GetData());
    EXPECT_EQ(L"C:\\a\\", Str(taking[2].root));
}

TEST(KeptListText, PlainPathsOfEarlierVersionsAreSingleFileEntriesAndDirectivesOfLaterOnesArePassedOver) {
    unsigned journal = 99;
    EXPECT_EQ((Lines{L"C:\\a.txt|", L"D:\\写真\\b.jpg|"}),
              DescribeKept(ReadKept(Utf16(L"C:\\a.txt\r\nD:\\写真\\b.jpg\r\n"), &journal)));
    EXPECT_EQ(0u, journal);
    EXPECT_EQ((Lines{L"C:\\a.txt|", L"C:\\b.txt|"}),
              DescribeKept(ReadKept(Utf16(L"|journal 3\r\n|colour blue\r\nC:\\a.txt\tcolour=blue\r\nC:\\b.txt\r\n"))));
    // The same file twice (in any case) is one entry.
    EXPECT_EQ((Lines{L"C:\\Data\\a.txt|"}), DescribeKept(ReadKept(Utf16(L"C:\\Data\\a.txt\r\nc:\\data\\A.TXT\r\n"))));
}

TEST(KeptListText, DamagedLinesAreLeftOutWholeAndCounted) {
    KeptListReport report;
    std::wstring longLine = L"C:\\" + std::wstring(32767, L'x');
    std::vector<KeptEntry> read = ReadKept(Utf16(L"|journal 1\r\nZ:\\data\\pho" + std::wstring(1, L'\0') +
                                                 L"tos\\img01.jpg\r\n" + longLine + L"\r\nC:\\whole.txt\r\nZ:\\img02.jp"),
                                           nullptr, &report);
    EXPECT_EQ((Lines{L"C:\\whole.txt|"}), DescribeKept(read)) << "no fragment of a damaged line runs";
    EXPECT_EQ(1, report.nulLines);
    EXPECT_EQ(1, report.longLines);
    EXPECT_EQ(1, report.cutLines);
    // Without the byte-order mark nothing is taken.
    KeptEntries entries;
    unsigned journal;
    std::string plain = "C:\\a.txt\r\n";
    EXPECT_FALSE(ReadKeptListText(plain.data(), static_cast<int>(plain.size()), entries, journal, report));
    EXPECT_EQ(0, entries.GetCount());
}

TEST(KeptListJournal, RecordsFoldIntoTheListAsAtTheEndOfARun) {
    auto fold = [](const std::wstring& list, const std::wstring& journal, KeptListReport* report = nullptr) {
        KeptEntries entries;
        KeptListReport ignored;
        unsigned number;
        std::string listBytes = Utf16(list), journalBytes = Utf16(journal);
        ReadKeptListText(listBytes.data(), static_cast<int>(listBytes.size()), entries, number, ignored);
        ApplyKeptJournal(journalBytes.data(), static_cast<int>(journalBytes.size()), entries, report ? *report : ignored);
        return DescribeKept(entries.Take());
    };
    std::wstring list = L"|journal 2\r\nC:\\a\r\nC:\\b\r\nC:\\c\r\nC:\\d\r\nC:\\e\trunning\r\n";
    std::wstring records = L"begun\tC:\\a\r\ndone\tC:\\a\r\nbegun\tC:\\b\r\nfailed\tC:\\b\r\nbegun\tC:\\c\r\n"
                           L"begun\tC:\\d\r\nstopped\tC:\\d\r\nadd\tC:\\x\\new\tC:\\x\\\r\ndone\tC:\\e\r\n"
                           L"done\tC:\\not-listed\r\n";
    // a and e are done, b failed (its steps ended by themselves), c was
    // running when the program ended, a stop ended d. Done entries leave
    // when the box said so last, whatever it said before.
    EXPECT_EQ((Lines{L"C:\\b|", L"C:\\c||running", L"C:\\d||running", L"C:\\x\\new|C:\\x\\"}),
              fold(list, L"|remove-done 0\r\n" + records + L"|remove-done 1\r\n"));
    EXPECT_EQ((Lines{L"C:\\a|", L"C:\\b|", L"C:\\c||running", L"C:\\d||running", L"C:\\e|", L"C:\\x\\new|C:\\x\\"}),
              fold(list, L"|remove-done 1\r\n" + records + L"|remove-done 0\r\n"))
        << "kept when done entries stay: their marks go";
    // A record cut short by a power cut passes without a word; a NUL is damage.
    KeptListReport report;
    EXPECT_EQ((Lines{L"C:\\a||running", L"C:\\b|"}),
              fold(L"C:\\a\r\nC:\\b\r\n", L"|remove-done 1\r\nbegun\tC:\\a\r\ndone\tC:\\", &report));
    EXPECT_EQ(0, report.SkippedLines());
    EXPECT_EQ((Lines{L"C:\\a|", L"C:\\b|"}),
              fold(L"C:\\a\r\nC:\\b\r\n", L"|remove-done 1\r\ndone\tC:\\a" + std::wstring(1, L'\0') + L"\r\n", &report));
    EXPECT_EQ(1, report.nulLines);
}

TEST(KeptListFiles, AListOfAnEarlierVersionLoadsAndIsWrittenAgainInThisForm) {
    TempDir dir;
    std::wstring folder = dir.MakeDir(L"Quenbrix");
    dir.WriteFile(L"Quenbrix\\targets.txt", Utf16(L"C:\\写真\\a.jpg\r\nZ:\\gone\\b.txt\r\n"));
    KeptList kept;
    Opened opened = Open(kept, folder);
    ASSERT_TRUE(opened.ok);
    EXPECT_EQ((Lines{L"C:\\写真\\a.jpg|", L"Z:\\gone\\b.txt|"}), DescribeKept(opened.entries)) << "nothing looked up";
    EXPECT_EQ(0, opened.report.SkippedLines() + opened.report.unmarkedFiles);
    EXPECT_EQ(0, opened.report.setAside.GetCount());
    kept.WaitForWrites();
    std::wstring written = Text(dir.ReadFile(L"Quenbrix\\targets.txt"));
    EXPECT_EQ(0u, written.find(L"|journal ")) << "rewritten in this version's form";
    EXPECT_EQ((Lines{L"C:\\写真\\a.jpg|", L"Z:\\gone\\b.txt|"}), DescribeKept(ReadKept(dir.ReadFile(L"Quenbrix\\targets.txt"))));
    kept.Close();
    EXPECT_EQ((Lines{L"targets.txt"}), Names(folder)) << "the lock goes with the window";
}

TEST(KeptListFiles, AListThatDidNotLoadWholeIsSetAsideNotWrittenOver) {
    struct Case {
        const char* what;
        std::string bytes;
        Lines whole;
    };
    std::string withNul = Utf16(L"|journal 4\r\nC:\\a.txt\r\nZ:\\pho" + std::wstring(1, L'\0') + L"tos\\img.jpg\r\n");
    std::string longLine = Utf16(L"C:\\a.txt\r\nC:\\" + std::wstring(40000, L'y') + L"\r\n");
    std::string cut = Utf16(L"|journal 4\r\nC:\\a.txt\r\nZ:\\img02.jp");
    cut += '\0';  // half a unit as well
    std::string noMark = "C:\\a.txt\r\nC:\\b.txt\r\n";
    Case cases[] = {{"NUL", withNul, {L"C:\\a.txt|"}},
                    {"over-long line", longLine, {L"C:\\a.txt|"}},
                    {"cut last line", cut, {L"C:\\a.txt|"}},
                    {"no byte-order mark", noMark, {}}};
    for (const Case& c : cases) {
        TempDir dir;
        std::wstring folder = dir.MakeDir(L"Quenbrix");
        dir.WriteFile(L"Quenbrix\\targets.txt", c.bytes);
        KeptList kept;
        Opened opened = Open(kept, folder);
        ASSERT_TRUE(opened.ok) << c.what;
        EXPECT_EQ(c.whole, DescribeKept(opened.entries)) << c.what;
        EXPECT_EQ(1, opened.report.SkippedLines() + opened.report.unmarkedFiles) << c.what;
        ASSERT_EQ(1, opened.report.setAside.GetCount()) << c.what;
        EXPECT_EQ(folder + L"\\targets.txt.bad", Str(opened.report.setAside[0])) << c.what;
        kept.WaitForWrites();
        EXPECT_EQ(c.bytes, dir.ReadFile(L"Quenbrix\\targets.txt.bad")) << c.what << ": the original, byte for byte";
        EXPECT_EQ(c.whole, DescribeKept(ReadKept(dir.ReadFile(L"Quenbrix\\targets.txt")))) << c.what;
    }

    // Damaged again: a second copy; the first stays.
    TempDir dir;
    std::wstring folder = dir.MakeDir(L"Quenbrix");
    dir.WriteFile(L"Quenbrix\\targets.txt.bad", "earlier");
    dir.WriteFile(L"Quenbrix\\targets.txt", noMark);
    KeptList kept;
    Opened opened = Open(kept, folder);
    ASSERT_EQ(1, opened.report.setAside.GetCount());
    EXPECT_EQ(folder + L"\\targets.txt.2.bad", Str(opened.report.setAside[0]));
    kept.Close();
    EXPECT_EQ("earlier", dir.ReadFile(L"Quenbrix\\targets.txt.bad"));
    EXPECT_EQ(noMark, dir.ReadFile(L"Quenbrix\\targets.txt.2.bad"));
}

TEST(KeptListFiles, WhatARunRecordsComesBackAfterACrashAndARewriteTakesItsJournalAlong) {
    TempDir dir;
    std::wstring folder = dir.MakeDir(L"Quenbrix");
    KeptList kept;
    ASSERT_TRUE(Open(kept, folder).ok);
    SaveAll(kept, {Entry(L"C:\\a"), Entry(L"D:\\写真\\b.jpg", L"D:\\写真\\"), Entry(L"C:\\c"), Entry(L"C:\\d")});
    kept.SetRemoveDone(true);
    kept.RecordBegun(VQWString(L"C:\\a"));
    kept.RecordFinished(VQWString(L"C:\\a"), KeptOutcome::Done);
    kept.RecordBegun(VQWString(L"D:\\写真\\b.jpg"));
    kept.RecordFinished(VQWString(L"D:\\写真\\b.jpg"), KeptOutcome::Failed);
    kept.RecordBegun(VQWString(L"C:\\c"));
    kept.RecordAdded(VQWString(L"E:\\dropped.txt"), VQWString());

    // Killed now: the next start has every entry not done, none done.
    CopyAsACrashLeavesIt(folder, dir.Join(L"crashed"));
    KeptList after;
    Opened opened = Open(after, dir.Join(L"crashed"));
    EXPECT_EQ((Lines{L"D:\\写真\\b.jpg|D:\\写真\\", L"C:\\c||running", L"C:\\d|", L"E:\\dropped.txt|"}),
              DescribeKept(opened.entries));
    EXPECT_EQ(0, opened.report.SkippedLines() + opened.report.unmarkedFiles);
    after.Close();
    EXPECT_EQ((Lines{L"targets.txt"}), Names(dir.Join(L"crashed"))) << "the journal is folded in and gone";

    // A rewrite holds what was recorded before it: the journal goes.
    SaveAll(kept, {Entry(L"D:\\写真\\b.jpg", L"D:\\写真\\"), Entry(L"C:\\c", L"", true), Entry(L"C:\\d")});
    EXPECT_EQ((Lines{L"targets.lock", L"targets.txt"}), Names(folder));
    kept.RecordBegun(VQWString(L"C:\\d"));
    kept.Close();
    KeptList again;
    EXPECT_EQ((Lines{L"D:\\写真\\b.jpg|D:\\写真\\", L"C:\\c||running", L"C:\\d||running"}),
              DescribeKept(Open(again, folder).entries));
}

TEST(KeptListSlots, AListAnOpenWindowHoldsIsNotTakenAndEachWindowWritesItsOwn) {
    TempDir dir;
    std::wstring folder = dir.MakeDir(L"Quenbrix");
    std::string first = Utf16(L"|journal 1\r\nC:\\a.txt\r\n");
    dir.WriteFile(L"Quenbrix\\targets.txt", first);
    KeptList a;
    EXPECT_EQ((Lines{L"C:\\a.txt|"}), DescribeKept(Open(a, folder).entries));
    {
        KeptList b;
        Opened opened = Open(b, folder);
        ASSERT_TRUE(opened.ok);
        EXPECT_TRUE(opened.entries.empty()) << "a second window starts with a list of its own";
        EXPECT_EQ(folder + L"\\targets-2.txt", Str(b.ListPath()));
        SaveAll(b, {Entry(L"C:\\b.txt")});
    }
    EXPECT_EQ(first, dir.ReadFile(L"Quenbrix\\targets.txt")) << "the first window's list is untouched";
    // The second window's list, left when it closed, is no open window's:
    // the next one opened beside the first takes it.
    KeptList c;
    Opened opened = Open(c, folder);
    EXPECT_EQ((Lines{L"C:\\b.txt|"}), DescribeKept(opened.entries));
    EXPECT_EQ(folder + L"\\targets-2.txt", Str(c.ListPath()));
    // An empty list leaves nothing behind.
    SaveAll(c, {});
    c.Close();
    EXPECT_EQ((Lines{L"targets.lock", L"targets.txt"}), Names(folder));
}

TEST(KeptListSlots, TwoStartsAtOnceTakeTwoSlotsAndOneList) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        TempDir dir;
        std::wstring folder = dir.MakeDir(L"Quenbrix");
        dir.WriteFile(L"Quenbrix\\targets.txt", Utf16(L"|journal 1\r\nC:\\a.txt\r\n"));
        KeptList one, two;
        Opened first, second;
        HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread a([&] {
            WaitForSingleObject(go, INFINITE);
            first = Open(one, folder);
        });
        std::thread b([&] {
            WaitForSingleObject(go, INFINITE);
            second = Open(two, folder);
        });
        SetEvent(go);
        a.join();
        b.join();
        CloseHandle(go);
        ASSERT_TRUE(first.ok && second.ok);
        EXPECT_NE(Str(one.ListPath()), Str(two.ListPath()));
        EXPECT_EQ(1u, first.entries.size() + second.entries.size()) << "the list comes back in one window only";
    }
}

TEST(KeptListSlots, ListsNoOpenWindowHoldsAreBroughtInInOrderWithoutDuplicatesThenRemoved) {
    TempDir dir;
    std::wstring folder = dir.MakeDir(L"Quenbrix");
    dir.WriteFile(L"Quenbrix\\targets.txt", Utf16(L"|journal 1\r\nC:\\a\r\nC:\\Data\\b\r\nC:\\d\r\n"));
    dir.WriteFile(L"Quenbrix\\targets-2.txt", Utf16(L"|journal 1\r\nc:\\data\\B\r\n|root C:\\c\\\r\nC:\\c\\x\r\n"));
    dir.WriteFile(L"Quenbrix\\targets-2.txt.tmp.0000abcd", "half written");
    // Slot 3 was left by a crash: a list and the journal of its run, which
    // speaks of its own entries only (d stays: this window's d was not done).
    dir.WriteFile(L"Quenbrix\\targets-3.txt", Utf16(L"|journal 5\r\nC:\\d\r\nC:\\f\r\n"));
    dir.WriteFile(L"Quenbrix\\targets-3.5.journal", Utf16(L"|remove-done 1\r\nbegun\tC:\\d\r\ndone\tC:\\d\r\nbegun\tC:\\f\r\n"));
    dir.WriteFile(L"Quenbrix\\targets-3.4.journal", Utf16(L"|remove-done 1\r\ndone\tC:\\f\r\n"));  // older than its list
    std::string damaged = Utf16(L"|journal 1\r\nC:\\g\r\nC:\\h" + std::wstring(1, L'\0') + L"\r\n");
    dir.WriteFile(L"Quenbrix\\targets-4.txt", damaged);
    // Slot 5 belongs to a window that is open.
    dir.WriteFile(L"Quenbrix\\targets-5.txt", Utf16(L"|journal 1\r\nC:\\held\r\n"));
    HANDLE held = CreateFileW((folder + L"\\targets-5.lock").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    KeptList kept;
    Opened opened = Open(kept, folder);
    Lines merged = {L"C:\\a|", L"C:\\Data\\b|", L"C:\\d|", L"C:\\c\\x|C:\\c\\", L"C:\\f||running", L"C:\\g|"};
    EXPECT_EQ(merged, DescribeKept(opened.entries));
    EXPECT_EQ(3, opened.report.mergedLists);
    EXPECT_EQ(1, opened.report.nulLines);
    ASSERT_EQ(1, opened.report.setAside.GetCount());
    EXPECT_EQ(damaged, dir.ReadFile(L"Quenbrix\\targets-4.txt.bad"));
    kept.WaitForWrites();
    EXPECT_EQ((Lines{L"targets-4.txt.bad", L"targets-5.lock", L"targets-5.txt", L"targets.lock", L"targets.txt"}),
              Names(folder))
        << "the lists brought in go once this one holds them";
    EXPECT_EQ(merged, DescribeKept(ReadKept(dir.ReadFile(L"Quenbrix\\targets.txt"))));
    CloseHandle(held);
}

TEST(KeptListSlots, AJobsOwnSlotNeitherTakesNorGivesAWindowsListAndComesBackByItsKey) {
    TempDir dir;
    std::wstring folder = dir.MakeDir(L"Quenbrix");
    dir.WriteFile(L"Quenbrix\\targets-2.txt", Utf16(L"|journal 1\r\nC:\\b.wav\r\n"));
    {
        KeptList own;
        own.UseOwnSlot(VQWString(L"file:C:\\Jobs\\js.ini"));
        EXPECT_EQ(Lines{}, DescribeKept(Open(own, folder).entries)) << "no window's list is brought in";
        SaveAll(own, {Entry(L"C:\\a.js", L"", true)});
    }
    const struct {
        const wchar_t* key;  // empty: the windows' lists
        Lines entries;
    } starts[] = {{L"FILE:c:\\jobs\\JS.INI", {L"C:\\a.js||running"}}, {L"job:js", {}}, {L"", {L"C:\\b.wav|"}}};
    for (const auto& start : starts) {
        KeptList kept;
        kept.UseOwnSlot(VQWString(start.key));
        EXPECT_EQ(start.entries, DescribeKept(Open(kept, folder).entries)) << start.key;
    }
}

TEST(KeptListSlots, AStartWaitsForAWindowThatIsClosingAndTakesItsList) {
    TempDir dir;
    std::wstring folder = dir.MakeDir(L"Quenbrix");
    KeptList closing;
    ASSERT_TRUE(Open(closing, folder).ok);
    closing.BeginClosing();
    // Its last rewrite is still on its way when the next start looks.
    std::thread last([&] {
        Sleep(500);
        SaveAll(closing, {Entry(L"C:\\a.txt")});
        closing.Close();
    });
    KeptList next;
    Opened opened = Open(next, folder);
    last.join();
    EXPECT_EQ((Lines{L"C:\\a.txt|"}), DescribeKept(opened.entries));
    EXPECT_EQ(folder + L"\\targets.txt", Str(next.ListPath()));
}

TEST(KeptListFailures, ASpellOfFailedWritesIsToldOnceAndNotedForTheRun) {
    TempDir dir;
    std::wstring folder = dir.MakeDir(L"Quenbrix");
    KeptList kept;
    ASSERT_TRUE(Open(kept, folder).ok);
    KeptListFailure failure;
    EXPECT_FALSE(kept.TakeFailure(failure));
    kept.BeginRun();
    EXPECT_FALSE(kept.FailedSinceRunBegan());

    // A folder where the list's file should be: no rewrite can take its place.
    ASSERT_TRUE(CreateDirectoryW((folder + L"\\targets.txt").c_str(), nullptr));
    SaveAll(kept, {Entry(L"C:\\a")});
    ASSERT_TRUE(kept.TakeFailure(failure));
    EXPECT_EQ(folder + L"\\targets.txt", Str(failure.path));
    EXPECT_NE(0u, failure.error);
    EXPECT_TRUE(kept.FailedSinceRunBegan());
    SaveAll(kept, {Entry(L"C:\\a")});
    EXPECT_FALSE(kept.TakeFailure(failure)) << "told once";

    // Written again: the next run has no note, and a new spell is told again.
    RemoveDirectoryW((folder + L"\\targets.txt").c_str());
    SaveAll(kept, {Entry(L"C:\\a")});
    EXPECT_FALSE(kept.TakeFailure(failure));
    kept.BeginRun();
    EXPECT_FALSE(kept.FailedSinceRunBegan());
    unsigned journal = 0;
    ReadKept(dir.ReadFile(L"Quenbrix\\targets.txt"), &journal);
    std::wstring journalPath = folder + L"\\targets." + std::to_wstring(journal) + L".journal";
    ASSERT_TRUE(CreateDirectoryW(journalPath.c_str(), nullptr));
    kept.RecordBegun(VQWString(L"C:\\a"));
    ASSERT_TRUE(kept.TakeFailure(failure));
    EXPECT_EQ(journalPath, Str(failure.path));
    EXPECT_TRUE(kept.FailedSinceRunBegan());
    RemoveDirectoryW(journalPath.c_str());

    // A folder that cannot be made: nothing is kept, and every run says so.
    KeptList nowhere;
    dir.WriteFile(L"file", "x");
    EXPECT_FALSE(Open(nowhere, dir.Join(L"file\\Quenbrix")).ok);
    EXPECT_TRUE(nowhere.TakeFailure(failure));
    nowhere.BeginRun();
    EXPECT_TRUE(nowhere.FailedSinceRunBegan());
    // No folder at all: keeping is off by choice, with nothing to tell.
    KeptList off;
    EXPECT_FALSE(Open(off, L"").ok);
    EXPECT_FALSE(off.TakeFailure(failure));
    off.BeginRun();
    EXPECT_FALSE(off.FailedSinceRunBegan());
}

TEST(KeptListFiles, EntriesHandedOverAreWrittenByTheWriterAsTheirTextWouldBeAndHoldWhatWasRecordedBefore) {
    TempDir dir;
    std::wstring byText = dir.MakeDir(L"text"), byEntries = dir.MakeDir(L"entries");
    std::vector<KeptEntry> list = {Entry(L"C:\\a"), Entry(L" C:\\blank "), Entry(L"D:\\写真\\b.jpg", L"D:\\写真\\", true),
                                   Entry(L"D:\\写真\\c.jpg", L"D:\\写真\\"), Entry(L"C:\\d")};
    {
        KeptList kept;
        ASSERT_TRUE(Open(kept, byText).ok);
        SaveAll(kept, list);
    }
    KeptList kept;
    ASSERT_TRUE(Open(kept, byEntries).ok);
    kept.SetRemoveDone(true);
    kept.RecordBegun(VQWString(L"C:\\a"));
    kept.RecordFinished(VQWString(L"C:\\a"), KeptOutcome::Done);
    // A first rewrite replaced before the writer takes it, then the one that counts.
    kept.SaveEntries(std::unique_ptr<std::vector<KeptEntry>>(new std::vector<KeptEntry>(1, Entry(L"C:\\old"))));
    kept.SaveEntries(std::unique_ptr<std::vector<KeptEntry>>(new std::vector<KeptEntry>(list)));
    kept.WaitForWrites();
    kept.ReleaseWritten();
    // The same lines after the journal's number (one rewrite there, two here).
    std::wstring text = Text(dir.ReadFile(L"text\\targets.txt")), entries = Text(dir.ReadFile(L"entries\\targets.txt"));
    EXPECT_EQ(L"|journal 3", entries.substr(0, entries.find(L"\r\n")));
    EXPECT_EQ(text.substr(text.find(L"\r\n")), entries.substr(entries.find(L"\r\n")));
    EXPECT_EQ((Lines{L"targets.lock", L"targets.txt"}), Names(byEntries)) << "the journal before it is held by it";
    kept.RecordFinished(VQWString(L"C:\\d"), KeptOutcome::Done);
    CopyAsACrashLeavesIt(byEntries, dir.Join(L"crashed"));
    KeptList after;
    EXPECT_EQ((Lines{L"C:\\a|", L" C:\\blank |", L"D:\\写真\\b.jpg|D:\\写真\\|running", L"D:\\写真\\c.jpg|D:\\写真\\"}),
              DescribeKept(Open(after, dir.Join(L"crashed")).entries));
}

TEST(KeptListText, EveryUnitANameMayHoldComesBackWholeFromTheListAndTheJournal) {
    // Under Wine (Z:), on shares and in WSL folders a name may hold any unit
    // from 1 to 31, and the ones the format itself uses.
    std::vector<std::wstring> units;
    for (wchar_t c = 1; c < 32; ++c) units.push_back(std::wstring(1, c));
    for (const wchar_t* c : {L"\"", L"|", L"%", L"%09", L"\" "}) units.push_back(c);
    for (const std::wstring& unit : units) {
        SCOPED_TRACE(static_cast<int>(unit[0]));
        std::wstring root = L"Z:\\tmp\\in" + unit + L"side\\";
        std::wstring path = root + L"photo" + unit + L"2024.txt";
        std::wstring ends = unit + L"Z:\\ends\\" + unit;  // at both ends, where quotes and blanks go
        KeptListText text(1);
        text.Add(VQWString(L"C:\\100%20before.txt"), VQWString(), true);
        text.Add(VQWString(path.c_str()), VQWString(root.c_str()), true, true);
        text.Add(VQWString(ends.c_str()), VQWString(), false, true);
        text.Add(VQWString(L"C:\\100%20after.txt"), VQWString(), false);
        std::string bytes(reinterpret_cast<const char*>(text.Units().data()), text.Units().size() * 2);
        KeptListReport report;
        std::vector<KeptEntry> read = ReadKept(bytes, nullptr, &report);
        EXPECT_EQ((Lines{L"C:\\100%20before.txt||running", path + L"|" + root + L"|running", ends + L"|",
                         L"C:\\100%20after.txt|"}),
                  DescribeKept(read));
        ASSERT_EQ(4u, read.size());
        EXPECT_TRUE(read[1].failed && read[2].failed && !read[0].failed && !read[3].failed);
        EXPECT_EQ(0, report.SkippedLines());

        // The same paths as records: "add" with its root, then how tries ended.
        bool escaped = false;
        std::wstring journal = L"|remove-done 0\r\n";
        journal += KeptJournalLine(L"add", VQWString(L"C:\\100%20plain"), VQWString(), escaped);
        journal += KeptJournalLine(L"add", VQWString(path.c_str()), VQWString(root.c_str()), escaped);
        journal += KeptJournalLine(L"add", VQWString(ends.c_str()), VQWString(), escaped);
        journal += KeptJournalLine(L"begun", VQWString(path.c_str()), VQWString(), escaped);
        journal += KeptJournalLine(L"failed", VQWString(ends.c_str()), VQWString(), escaped);
        std::string journalBytes = Utf16(journal);
        KeptEntries entries;
        EXPECT_TRUE(ApplyKeptJournal(journalBytes.data(), static_cast<int>(journalBytes.size()), entries, report));
        std::vector<KeptEntry> folded = entries.Take();
        EXPECT_EQ((Lines{L"C:\\100%20plain|", path + L"|" + root + L"|running", ends + L"|"}), DescribeKept(folded));
        ASSERT_EQ(3u, folded.size());
        EXPECT_TRUE(folded[2].failed);
    }
}

TEST(KeptListText, ListsAndJournalsWithoutEscapesReadAsBefore) {
    // What earlier versions wrote holds "%" as it is, and nothing after "%" is read as an escape.
    EXPECT_EQ((Lines{L"C:\\a%09b.txt|", L"C:\\100%25\\c%7C.txt|C:\\100%25\\|running", L" D:\\%22 |"}),
              DescribeKept(ReadKept(Utf16(L"|journal 1\r\nC:\\a%09b.txt\r\n|root C:\\100%25\\\r\n"
                                          L"C:\\100%25\\c%7C.txt\trunning\r\n|root\r\n\" D:\\%22 \"\r\n"))));
    std::string journal = Utf16(L"|remove-done 0\r\nadd\tC:\\x%09y\r\nbegun\tC:\\x%09y\r\n");
    KeptEntries entries;
    KeptListReport report;
    ApplyKeptJournal(journal.data(), static_cast<int>(journal.size()), entries, report);
    EXPECT_EQ((Lines{L"C:\\x%09y||running"}), DescribeKept(entries.Take()));
    // A list whose names need no escape is written as before.
    KeptListText text(3);
    text.Add(VQWString(L"C:\\100%20.txt"), VQWString(), false, true);
    EXPECT_EQ(L"\xFEFF|journal 3\r\nC:\\100%20.txt\tfailed\r\n", text.Units());
}

TEST(KeptListJournal, AFileStaysMarkedUntilATryOfItSucceeds) {
    auto fold = [](const std::wstring& list, const std::wstring& journal) {
        KeptEntries entries;
        KeptListReport report;
        unsigned number;
        std::string listBytes = Utf16(list), journalBytes = Utf16(journal);
        ReadKeptListText(listBytes.data(), static_cast<int>(listBytes.size()), entries, number, report);
        ApplyKeptJournal(journalBytes.data(), static_cast<int>(journalBytes.size()), entries, report);
        Lines marks;
        for (const KeptEntry& e : entries.Take()) {
            marks.push_back(Str(e.path) + (e.running ? L" running" : L"") + (e.failed ? L" failed" : L""));
        }
        return marks;
    };
    std::wstring list = L"|journal 2\r\nC:\\killed\trunning\r\nC:\\kept\tfailed\r\nC:\\both\trunning failed\r\nC:\\new\r\n";
    // killed: a run was killed in it, then a try failed without touching
    // its cut output; kept: a failed output kept for a look, then a stop;
    // both: a try that succeeded; new: failed, then done, then killed.
    std::wstring records = L"begun\tC:\\killed\r\nfailed\tC:\\killed\r\nbegun\tC:\\kept\r\nstopped\tC:\\kept\r\n"
                           L"begun\tC:\\both\r\ndone\tC:\\both\r\nbegun\tC:\\new\r\nfailed\tC:\\new\r\n"
                           L"begun\tC:\\new\r\ndone\tC:\\new\r\nbegun\tC:\\new\r\n";
    EXPECT_EQ((Lines{L"C:\\killed failed", L"C:\\kept running failed", L"C:\\both", L"C:\\new running"}),
              fold(list, L"|remove-done 0\r\n" + records));
    EXPECT_EQ((Lines{L"C:\\killed failed", L"C:\\kept running failed", L"C:\\new running"}),
              fold(list, L"|remove-done 1\r\n" + records))
        << "a done file begun again is not done";
}

TEST(KeptListSlots, ListsBroughtTogetherKeepTheMarkEitherCopyHas) {
    TempDir dir;
    std::wstring folder = dir.MakeDir(L"Quenbrix");
    // Both windows listed the files; the second was killed while running
    // "cut" and had seen "kept" fail.
    dir.WriteFile(L"Quenbrix\\targets.txt", Utf16(L"|journal 1\r\nC:\\cut\r\nC:\\kept\r\nC:\\own\trunning\r\n"));
    dir.WriteFile(L"Quenbrix\\targets-2.txt", Utf16(L"|journal 1\r\nC:\\CUT\r\nC:\\kept\tfailed\r\nC:\\own\r\n"));
    dir.WriteFile(L"Quenbrix\\targets-2.1.journal", Utf16(L"|remove-done 0\r\nbegun\tc:\\cut\r\n"));
    KeptList kept;
    Opened opened = Open(kept, folder);
    ASSERT_TRUE(opened.ok);
    EXPECT_EQ((Lines{L"C:\\cut||running", L"C:\\kept|", L"C:\\own||running"}), DescribeKept(opened.entries));
    ASSERT_EQ(3u, opened.entries.size());
    EXPECT_TRUE(opened.entries[1].failed);
    kept.WaitForWrites();
    std::wstring written = Text(dir.ReadFile(L"Quenbrix\\targets.txt"));
    EXPECT_NE(std::wstring::npos, written.find(L"C:\\cut\trunning\r\nC:\\kept\tfailed\r\n")) << written;
}
