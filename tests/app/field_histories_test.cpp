// The command fields' histories without a window: each field's own list in
// the store, newest first, written and made lasting when it changed (the limit of
// twenty is the single history's: tests/settings).
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
    const int pre = IDC_PRECOMMAND_EDIT, command = IDC_COMMAND_EDIT, folder = IDC_DIRECTORY_EDIT,
              output = IDC_OUTPUT_EDIT;
    const struct {
        std::map<int, const wchar_t*> fields;
        std::vector<int> changed;
    } runs[] = {{{{pre, L""}, {command, L"one"}, {folder, L"C:\\a"}, {output, L""}}, {command, folder}},
                {{{pre, L"pre"}, {command, L"two"}, {folder, L"C:\\a"}, {output, L""}}, {pre, command}},
                {{{pre, L"pre"}, {command, L"two"}, {folder, L"C:\\a"}, {output, L""}}, {}},
                {{{pre, L""}, {command, L"one"}, {folder, L"C:\\a"}, {output, L"$name.out"}}, {command, output}}};
    for (const auto& run : runs) {
        auto valueOf = [&](int id) { return VQWString(run.fields.at(id)); };
        EXPECT_EQ(run.changed, histories.Remember(valueOf, *store)) << run.fields.at(command);
    }
    const struct {
        int field;
        const wchar_t* list;
        Texts kept;
    } kept[] = {{pre, L"PreCommandHistory", {L"pre"}},
                {command, L"CommandHistory", {L"one", L"two"}},
                {folder, L"DirectoryHistory", {L"C:\\a"}},
                {output, L"OutputHistory", {L"$name.out"}}};
    // Made lasting: a store opened now reads them back.
    for (const auto& k : kept) {
        EXPECT_EQ(k.kept, W(histories.Of(k.field)->Entries())) << k.list;
        EXPECT_EQ(k.kept, W(NewFileStore(file, true, nullptr)->ReadList(k.list))) << k.list;
    }
    EXPECT_EQ(nullptr, histories.Of(IDC_FILEEXT_EDIT));
    histories.Forget(command, VQWString(L"two"), *store);
    EXPECT_EQ(Texts{L"one"}, W(NewFileStore(file, true, nullptr)->ReadList(L"CommandHistory"))) << "at once";
}
