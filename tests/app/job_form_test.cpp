// The job form without a window: its fields are a fake that knows each
// control's kind from the wrapper the form makes for the panel, and fails a
// read or write of the wrong kind.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "app/job_form.h"
#include "app/resource.h"
#include "tests/support/temp_dir.h"
#include "win32/dialog_items.h"
#include "win32/drop_down.h"

namespace {

enum Kind { kEdit, kCheck, kChoice };

class FakeFields : public JobFields {
public:
    FakeFields() {
        for (int id : JobForm::SettingControls()) {
            std::unique_ptr<VQWin32DialogItem> item(JobForm::NewControl(JobSettings(), id));
            kinds[id] = dynamic_cast<VQWin32DialogItemDropDown*>(item.get())   ? kChoice
                        : dynamic_cast<VQWin32DialogItemCheckBox*>(item.get()) ? kCheck
                                                                                : kEdit;
        }
    }
    VQWString EditText(int id) override { return VQWString(texts[Of(id, kEdit)].c_str()); }
    void SetEditText(int id, const wchar_t* text) override { texts[Of(id, kEdit)] = text; }
    bool IsChecked(int id) override { return checks[Of(id, kCheck)]; }
    void SetChecked(int id, bool checked) override { checks[Of(id, kCheck)] = checked; }
    int Choice(int id) override { return choices[Of(id, kChoice)]; }
    void SetChoice(int id, int choice) override { choices[Of(id, kChoice)] = choice; }

    std::map<int, Kind> kinds;
    std::map<int, std::wstring> texts;
    std::map<int, bool> checks;
    std::map<int, int> choices;

private:
    int Of(int id, Kind kind) {
        EXPECT_EQ(kinds.at(id), kind) << "control " << id << " taken for another kind";
        return id;
    }
};

// The fields of a job as one text, through the table's keys.
std::wstring Snapshot(JobForm& form) { return form.SettingsSnapshot().Text(); }

}  // namespace

TEST(JobForm, EveryKindRoundTripsThroughTheStoreAndASettingsFileAndReachesTheRun) {
    struct Case {
        int id;
        const wchar_t* line;  // as the settings file holds it
        DWORD stored;         // as start-up reads it back (texts: their length)
        int option;           // what the run takes, -1: nothing
    } cases[] = {
        {IDC_COMMAND_EDIT, L"Command = cwebp \"$fullname\"", 17, -1},
        {IDC_DELETE_CHECK, L"Delete = 0", 0, -1},
        {IDC_LOW_PRIORITY_CHECK, L"LowPriority = 1", 1, 1},
        {IDC_PARALLEL_EDIT, L"Parallel = 64", 64, 64},
        {IDC_TIME_LIMIT_EDIT, L"TimeLimit = 86400", 86400, 86400},
        {IDC_ON_FAILURE_COMBO, L"OnFailure = 1", 1, 1},
    };
    TempDir dir;
    FakeFields from, to;
    JobForm form(from), back(to);
    for (const Case& c : cases) {
        std::wstring value = wcschr(c.line, L'=') + 2;
        if (from.kinds[c.id] == kEdit) from.SetEditText(c.id, value.c_str());
        if (from.kinds[c.id] == kCheck) from.SetChecked(c.id, value == L"1");
        if (from.kinds[c.id] == kChoice) from.SetChoice(c.id, _wtoi(value.c_str()));
    }
    // Every number field holds a number, as the panel's do.
    from.SetEditText(IDC_RETRIES_EDIT, L"0");
    from.SetEditText(IDC_WATCH_SETTLE_EDIT, L"3");
    SettingsFileState state;
    form.SaveRegistrySettings(*NewFileStore(VQWString(dir.Join(L"store.ini").c_str()), true, &state));
    JobSettings read;
    back.LoadRegistrySettings(*NewFileStore(VQWString(dir.Join(L"store.ini").c_str()), false, &state), read);
    EXPECT_EQ(0u, back.UnreadRegistrySettings());
    DWORD got[] = {static_cast<DWORD>(wcslen(read.command)), read.deleteFinished, read.lowPriority, read.parallel,
                   read.timeLimit, read.onFailure};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) EXPECT_EQ(cases[i].stored, got[i]) << cases[i].line;

    std::wstring path = dir.Join(L"job.ini");
    ASSERT_TRUE(form.ExportSettingsFile(path.c_str()));
    std::string bytes = TempDir::ReadWholeFile(path);
    std::wstring file(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    ASSERT_TRUE(back.ImportSettingsFile(path.c_str()));
    EXPECT_EQ(Snapshot(form), Snapshot(back));
    RunOptions options = back.ReadRunOptions();
    int taken[] = {-1, -1, options.lowPriority, options.parallel, options.timeLimitSeconds, options.onFailure};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        EXPECT_NE(std::wstring::npos, file.find(std::wstring(cases[i].line) + L"\r\n")) << cases[i].line;
        EXPECT_EQ(cases[i].option, taken[i]) << cases[i].line;
    }
    // A number past its field's range runs as the nearest end of it.
    to.SetEditText(IDC_PARALLEL_EDIT, L"65");
    to.SetEditText(IDC_RETRIES_EDIT, L"");
    EXPECT_EQ(64, back.ReadRunOptions().parallel);
    EXPECT_EQ(0, back.ReadRunOptions().retries);
}

TEST(JobForm, EverySettingChangedAloneChangesTheSnapshotAndChangedBackRestoresIt) {
    FakeFields fields;
    JobForm form(fields);
    ASSERT_EQ(20u, fields.kinds.size());
    const std::wstring loaded = Snapshot(form);
    for (const auto& control : fields.kinds) {
        int id = control.first;
        // As the user changes it: another text (a number every number field takes), a click, another choice.
        if (control.second == kEdit) fields.SetEditText(id, L"3");
        if (control.second == kCheck) fields.SetChecked(id, true);
        if (control.second == kChoice) fields.SetChoice(id, 1);
        EXPECT_NE(loaded, Snapshot(form)) << "control " << id << " changed alone";
        if (control.second == kEdit) fields.SetEditText(id, L"");
        if (control.second == kCheck) fields.SetChecked(id, false);
        if (control.second == kChoice) fields.SetChoice(id, 0);
        EXPECT_EQ(loaded, Snapshot(form)) << id;
    }
}
