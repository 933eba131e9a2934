#include "settings/settings_store.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "settings/history.h"
#include "tests/support/registry_key.h"
#include "tests/support/temp_dir.h"

namespace {

std::wstring W(const VQWString& text) { return std::wstring(text.Text(), text.GetLength()); }

std::vector<std::wstring> W(const std::vector<VQWString>& values) {
    std::vector<std::wstring> out;
    for (const VQWString& value : values) out.push_back(W(value));
    return out;
}

VQWString V(const std::wstring& text) { return VQWString(text.c_str()); }

// Writes a value of every kind and makes them lasting.
void WriteEveryKind(SettingsStore& writer) {
    ASSERT_TRUE(writer.WriteText(L"Command", V(L"copy \"$fullname\" D:\\出力 先")));
    ASSERT_TRUE(writer.WriteNumber(L"Parallel", 12));
    RECT place = {-1200, 40, -300, 700};
    ASSERT_TRUE(writer.WriteBlock16("ClientRect", &place));
    const int32_t columns[3] = {120, -1, 4000};
    ASSERT_TRUE(writer.WriteNumbers("TableColumns", 3, columns));
    ASSERT_TRUE(writer.WriteList(L"CommandHistory", {V(L"新しい"), V(L"古い & %x%")}));
    ASSERT_TRUE(writer.Flush());
}

}  // namespace

TEST(FileStore, EveryKindOfValueComesBackFromTheFileAfterAFlush) {
    TempDir dir;
    VQWString path = V(dir.Join(L"Quenbrix.ini"));
    SettingsFileState state = kSettingsFileUnreadable;
    {
        std::unique_ptr<SettingsStore> store = NewFileStore(path, true, &state);
        EXPECT_EQ(kSettingsFileReady, state) << "no file yet is a store to start";
        WriteEveryKind(*store);
    }
    std::unique_ptr<SettingsStore> again = NewFileStore(path, true, &state);
    EXPECT_EQ(kSettingsFileReady, state);
    VQWString text;
    EXPECT_EQ(SettingsStore::kRead, again->ReadText(L"Command", 1024, text));
    EXPECT_EQ(L"copy \"$fullname\" D:\\出力 先", W(text));
    EXPECT_EQ(SettingsStore::kUnreadable, again->ReadText(L"Command", 10, text)) << "longer than the field takes";
    EXPECT_EQ(SettingsStore::kAbsent, again->ReadText(L"PreCommand", 1024, text));
    DWORD number = 0;
    EXPECT_EQ(SettingsStore::kRead, again->ReadNumber(L"Parallel", number));
    EXPECT_EQ(12u, number);
    EXPECT_EQ(SettingsStore::kUnreadable, again->ReadNumber(L"Command", number)) << "a text is no number";
    RECT place = {};
    ASSERT_TRUE(again->ReadBlock16("ClientRect", &place));
    EXPECT_EQ(-1200, place.left);
    EXPECT_EQ(700, place.bottom);
    int32_t columns[3] = {};
    ASSERT_TRUE(again->ReadNumbers("TableColumns", 3, columns));
    EXPECT_EQ((std::vector<int32_t>{120, -1, 4000}), std::vector<int32_t>(columns, columns + 3));
    EXPECT_FALSE(again->ReadNumbers("TableColumns", 4, columns)) << "another shape";
    EXPECT_FALSE(again->ReadNumbers("TableColumns", 2, columns));
    EXPECT_EQ((std::vector<std::wstring>{L"新しい", L"古い & %x%"}), W(again->ReadList(L"CommandHistory")));
    // A shorter list leaves nothing of the longer one behind.
    ASSERT_TRUE(again->WriteList(L"CommandHistory", {V(L"一つ")}));
    ASSERT_TRUE(again->Flush());
    EXPECT_EQ((std::vector<std::wstring>{L"一つ"}),
              W(NewFileStore(path, true, nullptr)->ReadList(L"CommandHistory")));
    // The job keys sit where a settings file has them: the file loads as one.
    std::string bytes = dir.ReadFile(L"Quenbrix.ini");
    EXPECT_EQ(std::string("\xFF\xFE[", 3), bytes.substr(0, 3));
}

TEST(FileStore, AFileThatDoesNotReadIsNeverWrittenAndAnEmptyOneIsAStart) {
    TempDir dir;
    // Not UTF-16 with its mark, not UTF-8: a broken file.
    const std::string broken("[Quenbrix\x80\x81\r\nCommand = x\xC0\r\n");
    std::wstring brokenPath = dir.WriteFile(L"broken\\Quenbrix.ini", broken);
    SettingsFileState state = kSettingsFileReady;
    std::unique_ptr<SettingsStore> store = NewFileStore(V(brokenPath), true, &state);
    EXPECT_EQ(kSettingsFileUnreadable, state);
    VQWString text;
    EXPECT_EQ(SettingsStore::kAbsent, store->ReadText(L"Command", 1024, text)) << "defaults";
    EXPECT_FALSE(store->WriteText(L"Command", V(L"x")));
    EXPECT_FALSE(store->Flush());
    EXPECT_EQ(broken, TempDir::ReadWholeFile(brokenPath)) << "left as it was";

    std::wstring emptyPath = dir.WriteFile(L"empty\\Quenbrix.ini", "");
    std::unique_ptr<SettingsStore> empty = NewFileStore(V(emptyPath), true, &state);
    EXPECT_EQ(kSettingsFileReady, state) << "an empty Quenbrix.ini is how a portable copy begins";
    ASSERT_TRUE(empty->WriteNumber(L"Delete", 0));
    EXPECT_TRUE(empty->Flush());
    DWORD number = 1;
    EXPECT_EQ(SettingsStore::kRead, NewFileStore(V(emptyPath), true, nullptr)->ReadNumber(L"Delete", number));
    EXPECT_EQ(0u, number);

    // Not writable: read, never written.
    std::unique_ptr<SettingsStore> readOnly = NewFileStore(V(dir.Join(L"none.ini")), false, &state);
    EXPECT_EQ(kSettingsFileReadOnly, state);
    EXPECT_FALSE(readOnly->WriteText(L"Command", V(L"x")));
    EXPECT_FALSE(readOnly->Flush());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(dir.Join(L"none.ini").c_str()));
}

TEST(RegistryStore, ValuesAndListsRoundTripAndWrongTypesAreUnreadable) {
    TestRegistryKey key;
    std::unique_ptr<SettingsStore> store = NewRegistryStore(key.Path().c_str());
    WriteEveryKind(*store);
    VQWString text;
    EXPECT_EQ(SettingsStore::kRead, store->ReadText(L"Command", 1024, text));
    EXPECT_EQ(L"copy \"$fullname\" D:\\出力 先", W(text));
    EXPECT_EQ(SettingsStore::kUnreadable, store->ReadText(L"Command", 5, text));
    EXPECT_EQ(SettingsStore::kUnreadable, store->ReadText(L"Parallel", 1024, text)) << "a REG_DWORD is no text";
    DWORD number = 0;
    EXPECT_EQ(SettingsStore::kRead, store->ReadNumber(L"Parallel", number));
    EXPECT_EQ(12u, number);
    EXPECT_EQ(SettingsStore::kAbsent, store->ReadNumber(L"Missing", number));
    EXPECT_EQ((std::vector<std::wstring>{L"新しい", L"古い & %x%"}), W(store->ReadList(L"CommandHistory")));
    std::string bytes;
    DWORD type = 0;
    ASSERT_TRUE(key.Read("CommandHistory", &bytes, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
    RECT place = {};
    ASSERT_TRUE(store->ReadBlock16("ClientRect", &place));
    EXPECT_EQ(-300, place.right);
    int32_t columns[3] = {};
    ASSERT_TRUE(store->ReadNumbers("TableColumns", 3, columns));
    EXPECT_EQ(4000, columns[2]);
    ASSERT_TRUE(key.Read("TableColumns", &bytes, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type) << "as the program always kept it";
    EXPECT_EQ(12u, bytes.size());
    EXPECT_FALSE(store->ReadNumbers("TableColumns", 4, columns)) << "another shape";
    EXPECT_FALSE(store->ReadNumbers("Parallel", 1, columns)) << "a REG_DWORD is no list of numbers";
}

TEST(StoragePlace, QuenbrixIniBesideTheProgramOrTheRequestMakesItPortable) {
    TempDir dir;
    std::wstring program = dir.MakeDir(L"持ち運び") + L"\\";
    StoragePlace plain = FindStoragePlace(V(program), false);
    EXPECT_FALSE(plain.portable);
    EXPECT_TRUE(plain.settingsFile.IsEmpty());
    EXPECT_NE(std::wstring::npos, W(plain.jobsFolder).find(L"\\Quenbrix\\jobs"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((program + L"Quenbrix-data").c_str()))
        << "the registry mode makes nothing beside the program";

    StoragePlace requested = FindStoragePlace(V(program), true);
    EXPECT_TRUE(requested.portable);
    EXPECT_FALSE(requested.unwritable);
    EXPECT_EQ(program + L"Quenbrix.ini", W(requested.settingsFile));
    EXPECT_EQ(program + L"Quenbrix-data", W(requested.dataFolder));
    EXPECT_EQ(program + L"Quenbrix-data\\jobs", W(requested.jobsFolder));

    dir.WriteFile(L"持ち運び\\Quenbrix.ini", "");
    EXPECT_TRUE(FindStoragePlace(V(program), false).portable);
    // Nothing but the data folder itself is left there by the check.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((program + L"Quenbrix-data\\*").c_str(), &found);
    int entries = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (wcscmp(found.cFileName, L".") && wcscmp(found.cFileName, L"..")) ++entries;
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    EXPECT_EQ(0, entries);
}

TEST(StoragePlace, AFolderThatCannotBeWrittenKeepsNothing) {
    TempDir dir;
    std::wstring program = dir.MakeDir(L"ro") + L"\\";
    dir.WriteFile(L"ro\\Quenbrix.ini", "");
    // A file where the data folder would go: the folder cannot be made.
    dir.WriteFile(L"ro\\Quenbrix-data", "x");
    StoragePlace place = FindStoragePlace(V(program), false);
    EXPECT_TRUE(place.portable);
    EXPECT_TRUE(place.unwritable);
    EXPECT_TRUE(place.dataFolder.IsEmpty()) << "no kept list, no results";
}

TEST(FieldHistory, KeepsTwentyDistinctValuesNewestFirst) {
    FieldHistory history(L"CommandHistory");
    EXPECT_FALSE(history.Add(V(L""))) << "an empty field is not kept";
    for (int i = 1; i <= 25; ++i) history.Add(V(L"cmd " + std::to_wstring(i)));
    ASSERT_EQ(20u, history.Entries().size());
    EXPECT_EQ(L"cmd 25", W(history.Entries().front()));
    EXPECT_EQ(L"cmd 6", W(history.Entries().back()));
    // Run again: it moves to the front, once.
    EXPECT_TRUE(history.Add(V(L"cmd 10")));
    EXPECT_EQ(L"cmd 10", W(history.Entries()[0]));
    EXPECT_EQ(L"cmd 25", W(history.Entries()[1]));
    EXPECT_EQ(20u, history.Entries().size());
    EXPECT_FALSE(history.Add(V(L"cmd 10"))) << "already first";
    // Case counts: these are different command lines.
    history.Add(V(L"CMD 10"));
    EXPECT_EQ(L"CMD 10", W(history.Entries()[0]));
    EXPECT_EQ(L"cmd 10", W(history.Entries()[1]));
    EXPECT_TRUE(history.Remove(V(L"cmd 25")));
    EXPECT_FALSE(history.Remove(V(L"cmd 25")));

    TempDir dir;
    std::unique_ptr<SettingsStore> store = NewFileStore(V(dir.Join(L"Quenbrix.ini")), true, nullptr);
    ASSERT_TRUE(history.Save(*store));
    ASSERT_TRUE(store->Flush());
    FieldHistory loaded(L"CommandHistory");
    loaded.Load(*NewFileStore(V(dir.Join(L"Quenbrix.ini")), true, nullptr));
    EXPECT_EQ(W(history.Entries()), W(loaded.Entries()));
    FieldHistory other(L"DirectoryHistory");
    other.Load(*store);
    EXPECT_TRUE(other.Entries().empty()) << "each field has its own list";
}

TEST(FieldHistory, ALongOrRepeatingListFromTheStoreIsCutAndDeduplicated) {
    TestRegistryKey key;
    std::unique_ptr<SettingsStore> store = NewRegistryStore(key.Path().c_str());
    std::vector<VQWString> values;
    for (int i = 0; i < 50; ++i) values.push_back(V(i % 2 ? L"b" + std::to_wstring(i) : L"same"));
    ASSERT_TRUE(store->WriteList(L"PreCommandHistory", values));
    FieldHistory history(L"PreCommandHistory");
    history.Load(*store);
    ASSERT_EQ(20u, history.Entries().size());
    EXPECT_EQ(L"same", W(history.Entries()[0]));
    EXPECT_EQ(L"b1", W(history.Entries()[1]));
    EXPECT_EQ(L"b37", W(history.Entries()[19])) << "only distinct values, in their order";
}
