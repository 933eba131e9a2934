// The command fields' histories without a window: each field's own list in
// the store, newest first and at most twenty, written only when it changed.
#include "app/field_histories.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "app/resource.h"
#include "settings/settings_store.h"
#include "tests/support/temp_dir.h"

namespace {

typedef std::vector<std::wstring> Texts;

Texts W(const std::vector<VQWString>& values) {
    Texts texts;
    for (const VQWString& value : values) texts.push_back(value.Text());
    return texts;
}

}  // namespace

TEST(FieldHistories, EachFieldKeepsWhatRunsStartedWithNewestFirstUnderItsOwnList) {
    TempDir dir;
    VQWString file(dir.Join(L"Quenbrix.ini").c_str());
    std::unique_ptr<SettingsStore> store = NewFileStore(file, true, nullptr);
    FieldHistories histories;
    histories.Load(*store);
    const struct {
        const wchar_t *preCommand, *command, *directory, *output;
        std::vector<int> changed;
    } runs[] = {
        {L"", L"one", L"C:\\a", L"", {IDC_COMMAND_EDIT, IDC_DIRECTORY_EDIT}},
        {L"pre", L"two", L"C:\\a", L"", {IDC_PRECOMMAND_EDIT, IDC_COMMAND_EDIT}},
        {L"pre", L"two", L"C:\\a", L"", {}},
        {L"", L"one", L"C:\\a", L"$name.out", {IDC_COMMAND_EDIT, IDC_OUTPUT_EDIT}},
    };
    for (const auto& run : runs) {
        std::map<int, const wchar_t*> fields = {{IDC_PRECOMMAND_EDIT, run.preCommand},
                                                {IDC_COMMAND_EDIT, run.command},
                                                {IDC_DIRECTORY_EDIT, run.directory},
                                                {IDC_OUTPUT_EDIT, run.output}};
        EXPECT_EQ(run.changed, histories.Remember([&](int id) { return VQWString(fields[id]); }, *store))
            << run.command;
    }
    const struct {
        int field;
        const wchar_t* list;
        Texts kept;
    } expected[] = {{IDC_PRECOMMAND_EDIT, L"PreCommandHistory", {L"pre"}},
                    {IDC_COMMAND_EDIT, L"CommandHistory", {L"one", L"two"}},
                    {IDC_DIRECTORY_EDIT, L"DirectoryHistory", {L"C:\\a"}},
                    {IDC_OUTPUT_EDIT, L"OutputHistory", {L"$name.out"}}};
    // Made lasting: a store opened now reads them back.
    std::unique_ptr<SettingsStore> again = NewFileStore(file, true, nullptr);
    for (const auto& e : expected) {
        ASSERT_NE(nullptr, histories.Of(e.field));
        EXPECT_EQ(e.kept, W(histories.Of(e.field)->Entries())) << e.list;
        EXPECT_EQ(e.kept, W(again->ReadList(e.list))) << e.list;
    }
    EXPECT_EQ(nullptr, histories.Of(IDC_FILEEXT_EDIT));

    histories.Forget(IDC_COMMAND_EDIT, VQWString(L"two"), *store);
    EXPECT_EQ(Texts{L"one"}, W(NewFileStore(file, true, nullptr)->ReadList(L"CommandHistory"))) << "at once";
    for (int i = 1; i <= 25; ++i) {
        std::wstring command = L"c" + std::to_wstring(i);
        histories.Remember([&](int id) { return VQWString(id == IDC_COMMAND_EDIT ? command.c_str() : L""); }, *store);
    }
    FieldHistories loaded;
    loaded.Load(*NewFileStore(file, true, nullptr));
    Texts kept = W(loaded.Of(IDC_COMMAND_EDIT)->Entries());
    ASSERT_EQ(20u, kept.size());
    EXPECT_EQ(L"c25", kept.front());
    EXPECT_EQ(L"c6", kept.back());
}
