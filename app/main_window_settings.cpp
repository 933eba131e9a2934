// The job settings between runs: the window's settings store (the registry
// under the window's key, or the portable file), and settings files
// (section "Quenbrix" of the settings text form).
#include <cwchar>
#include <cstdlib>

#include "app/main_window.h"
#include "base/files.h"
#include "settings/settings_text.h"
#include "win32/dialog_items.h"
#include "win32/drop_down.h"
#include "win32/message_box.h"

namespace {

const wchar_t kSection[] = L"Quenbrix";

enum SettingKind {
    kTextSetting,    // an edit box; REG_SZ, the text as it stands in a file
    kCheckSetting,   // a check box; REG_DWORD, a decimal number in a file
    kNumberSetting,  // an edit box holding a number from low to limit; REG_DWORD, decimal in a file
    kChoiceSetting,  // a drop-down list, its choice from 0 to limit; REG_DWORD, decimal in a file
};

// One job setting: its registry value and settings-file key, its control,
// and where start-up keeps it before the controls exist.
struct JobSetting {
    const wchar_t* name;
    SettingKind kind;
    int controlId;
    int limit;            // text: units the control takes; number: the largest
    DWORD defaultNumber;  // check box or number: when absent
    wchar_t* (*text)(JobSettings&);
    DWORD* (*number)(JobSettings&);
    int low = 1;  // number: the smallest
};

// In the order they are read and written.
const JobSetting kJobSettings[] = {
    {L"FileExt", kTextSetting, IDC_FILEEXT_EDIT, JobSettings::kFileExtLimit, 0,
     [](JobSettings& s) { return s.fileExt; }, nullptr},
    {L"PreCommand", kTextSetting, IDC_PRECOMMAND_EDIT, JobSettings::kPreCommandLimit, 0,
     [](JobSettings& s) { return s.preCommand; }, nullptr},
    {L"Command", kTextSetting, IDC_COMMAND_EDIT, JobSettings::kCommandLimit, 0,
     [](JobSettings& s) { return s.command; }, nullptr},
    {L"Directory", kTextSetting, IDC_DIRECTORY_EDIT, JobSettings::kDirectoryLimit, 0,
     [](JobSettings& s) { return s.directory; }, nullptr},
    {L"Delete", kCheckSetting, IDC_DELETE_CHECK, 0, 1, nullptr, [](JobSettings& s) { return &s.deleteFinished; }},
    {L"CheckExitCode", kCheckSetting, IDC_CHECK_EXIT_CODE, 0, 0, nullptr,
     [](JobSettings& s) { return &s.checkExitCode; }},
    {L"HideCommand", kCheckSetting, IDC_HIDE_COMMAND, 0, 0, nullptr, [](JobSettings& s) { return &s.hideCommand; }},
    {L"Parallel", kNumberSetting, IDC_PARALLEL_EDIT, BatchRunner::kMaxParallel, 1, nullptr,
     [](JobSettings& s) { return &s.parallel; }},
    {L"OnFailure", kChoiceSetting, IDC_ON_FAILURE_COMBO, 1, 0, nullptr, [](JobSettings& s) { return &s.onFailure; }},
    {L"TimeLimit", kNumberSetting, IDC_TIME_LIMIT_EDIT, JobSettings::kTimeLimitMax, 0, nullptr,
     [](JobSettings& s) { return &s.timeLimit; }, 0},
    {L"Retries", kNumberSetting, IDC_RETRIES_EDIT, JobSettings::kRetriesMax, 0, nullptr,
     [](JobSettings& s) { return &s.retries; }, 0},
    {L"LowPriority", kCheckSetting, IDC_LOW_PRIORITY_CHECK, 0, 0, nullptr,
     [](JobSettings& s) { return &s.lowPriority; }},
    {L"Output", kTextSetting, IDC_OUTPUT_EDIT, JobSettings::kOutputLimit, 0, [](JobSettings& s) { return s.output; },
     nullptr},
    {L"SkipUpToDate", kCheckSetting, IDC_SKIP_UP_TO_DATE_CHECK, 0, 0, nullptr,
     [](JobSettings& s) { return &s.skipUpToDate; }},
    {L"CheckOutput", kCheckSetting, IDC_CHECK_OUTPUT_CHECK, 0, 1, nullptr,
     [](JobSettings& s) { return &s.checkOutput; }},
    {L"KeepFailedOutput", kCheckSetting, IDC_KEEP_FAILED_OUTPUT_CHECK, 0, 0, nullptr,
     [](JobSettings& s) { return &s.keepFailedOutput; }},
};

bool InRange(const JobSetting& setting, long long number) {
    if (setting.kind == kNumberSetting) return number >= setting.low && number <= setting.limit;
    if (setting.kind == kChoiceSetting) return number >= 0 && number <= setting.limit;
    return true;
}

// A number as a settings file holds it: decimal digits only, in range.
bool ParseNumber(const JobSetting& setting, const wchar_t* text, int* number) {
    if (setting.kind == kCheckSetting) {
        *number = _wtoi(text);
        return true;
    }
    // A field that may hold 0 means 0 when it is left empty.
    if (!text[0] && setting.kind == kNumberSetting && setting.low == 0) {
        *number = 0;
        return true;
    }
    if (!text[0] || wcslen(text) > 9 || wcsspn(text, L"0123456789") != wcslen(text)) return false;
    *number = _wtoi(text);
    return InRange(setting, *number);
}

unsigned BitOf(const JobSetting& setting) { return 1u << (&setting - kJobSettings); }

int ChoiceOf(VQWin32DialogItem* item) {
    VQWin32DialogItemDropDown* list = dynamic_cast<VQWin32DialogItemDropDown*>(item);
    return list ? list->GetSelection() : 0;
}

void SetChoice(VQWin32DialogItem* item, int choice) {
    if (VQWin32DialogItemDropDown* list = dynamic_cast<VQWin32DialogItemDropDown*>(item)) list->SetSelection(choice);
}

bool IsBoxChecked(VQWin32DialogItem* item) {
    VQWin32DialogItemCheckBox* box = dynamic_cast<VQWin32DialogItemCheckBox*>(item);
    return box && box->IsChecked();
}

void SetBoxChecked(VQWin32DialogItem* item, bool checked) {
    if (VQWin32DialogItemCheckBox* box = dynamic_cast<VQWin32DialogItemCheckBox*>(item)) box->SetChecked(checked);
}

// A settings file as the Save command finds it before replacing it.
bool IsEmptyFile(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExW(path, GetFileExInfoStandard, &data) && data.nFileSizeLow == 0 &&
           data.nFileSizeHigh == 0;
}

// Nothing at all by that name, as opposed to a file that does not load.
bool IsMissing(const wchar_t* path) {
    if (GetFileAttributesW(SystemForm(path).Text()) != INVALID_FILE_ATTRIBUTES) return false;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_BAD_NETPATH ||
           error == ERROR_BAD_NET_NAME || error == ERROR_INVALID_NAME;
}

void SetProblem(SettingsFileReport* report, SettingsFileReport::Problem problem) {
    if (report) report->problem = problem;
}

}  // namespace

void MainWindow::LoadRegistrySettings(JobSettings& settings) {
    // Start-up has set registryKey by now: the store is made afresh for it.
    store.reset();
    SettingsStore& from = Store();
    unreadRegistrySettings = 0;
    for (const JobSetting& setting : kJobSettings) {
        SettingsStore::ReadResult read = SettingsStore::kAbsent;
        if (setting.kind == kTextSetting) {
            wchar_t* text = setting.text(settings);
            text[0] = L'\0';
            VQWString value;
            read = from.ReadText(setting.name, setting.limit, value);
            if (read == SettingsStore::kRead) wcscpy(text, value.Text());
        } else {
            DWORD* number = setting.number(settings);
            *number = setting.defaultNumber;
            DWORD value = 0;
            read = from.ReadNumber(setting.name, value);
            if (read == SettingsStore::kRead && !InRange(setting, value)) read = SettingsStore::kUnreadable;
            if (read == SettingsStore::kRead) *number = value;
        }
        if (read == SettingsStore::kUnreadable) unreadRegistrySettings |= BitOf(setting);
    }
}

// The one place a setting's control is read, whatever its kind: its value
// as a settings file holds it (a number field's text as typed, checked
// only by whoever stores it).
VQWString MainWindow::SettingValue(int index) {
    const JobSetting& setting = kJobSettings[index];
    VQWin32DialogItem* item = FindItemById(setting.controlId);
    switch (setting.kind) {
    case kCheckSetting: return VQWString(IsBoxChecked(item) ? L"1" : L"0");
    case kChoiceSetting: return VQWString().Format(L"%d", ChoiceOf(item));
    case kTextSetting:
    case kNumberSetting: break;
    }
    return EditText(setting.controlId);
}

std::vector<int> MainWindow::SettingControls() {
    std::vector<int> ids;
    for (const JobSetting& setting : kJobSettings) ids.push_back(setting.controlId);
    return ids;
}

void MainWindow::SaveRegistrySettings() {
    SettingsStore& to = Store();
    for (const JobSetting& setting : kJobSettings) {
        bool unread = (unreadRegistrySettings & BitOf(setting)) != 0;
        VQWString value = SettingValue(static_cast<int>(&setting - kJobSettings));
        if (setting.kind == kTextSetting) {
            // What would not be read back is not stored: the value stays as it was.
            if (value.GetLength() > setting.limit || (unread && value.IsEmpty())) continue;
            to.WriteText(setting.name, value);
        } else {
            int number = 0;
            if (!ParseNumber(setting, value.Text(), &number)) continue;
            DWORD stored = static_cast<DWORD>(number);
            if (unread && stored == setting.defaultNumber) continue;
            to.WriteNumber(setting.name, stored);
        }
    }
    to.Flush();
}

VQWString MainWindow::SettingsSnapshot() {
    VQWString snapshot;
    for (const JobSetting& setting : kJobSettings) {
        snapshot.Append(setting.name);
        snapshot.Append(L'=');
        snapshot.Append(SettingValue(static_cast<int>(&setting - kJobSettings)));
        snapshot.Append(L'\n');
    }
    return snapshot;
}

bool MainWindow::ImportSettingsFile(const wchar_t* path, SettingsFileReport* report) {
    SetProblem(report, SettingsFileReport::kNone);
    if (report) report->skippedKeys.RemoveAll();
    VQSettingsText store;
    VQFile* file = path ? NewFile(SystemForm(path).Text(), kFileShareRead) : nullptr;
    if (!file || !store.Load(file)) {
        bool tooLarge = file && store.GetLoadStatus() == kSettingsTooLarge;
        SetProblem(report, tooLarge ? SettingsFileReport::kTooLarge : SettingsFileReport::kFailed);
        return false;
    }
    VQSettingsSection* section = store.FindSection(kSection, false);
    if (!section) {
        SetProblem(report, SettingsFileReport::kFailed);
        return false;
    }
    for (const JobSetting& setting : kJobSettings) {
        VQSettingsKey* key = store.FindKey(section, setting.name);
        int number = static_cast<int>(setting.defaultNumber);
        bool fits = key ? (setting.kind == kTextSetting ? wcslen(key->value) <= static_cast<size_t>(setting.limit)
                                                        : ParseNumber(setting, key->value, &number))
                        : !store.WasKeyDropped(section, setting.name);
        if (!fits) {
            if (report) report->skippedKeys.Add(VQWString(setting.name));
            continue;
        }
        if (setting.kind == kTextSetting) {
            SetEditText(setting.controlId, key ? key->value : L"");
        } else if (setting.kind == kNumberSetting) {
            wchar_t digits[16];
            wsprintfW(digits, L"%d", number);
            SetEditText(setting.controlId, digits);
        } else if (setting.kind == kChoiceSetting) {
            SetChoice(FindItemById(setting.controlId), number);
        } else {
            SetBoxChecked(FindItemById(setting.controlId), number != 0);
        }
        unreadRegistrySettings &= ~BitOf(setting);
    }
    settingsPath = path;
    return true;
}

bool MainWindow::ExportSettingsFile(const wchar_t* path, bool overwrite, SettingsFileReport* report) {
    SetProblem(report, SettingsFileReport::kFailed);
    if (!path) return false;
    DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    VQSettingsText store;
    // Other sections and keys of the existing file are kept. A file that
    // does not load whole would lose the rest: only with overwrite.
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        VQFile* existing = NewFile(path, kFileShareRead);
        bool whole = existing && store.Load(existing) && store.LoadedWhole();
        if (!whole && !overwrite && !IsEmptyFile(path)) {
            SetProblem(report, SettingsFileReport::kNeedsOverwrite);
            return false;
        }
    }
    VQSettingsSection* section = store.FindSection(kSection, true);
    if (!section) return false;
    for (const JobSetting& setting : kJobSettings) {
        VQWString value = SettingValue(static_cast<int>(&setting - kJobSettings));
        if (setting.kind == kTextSetting) {
            // A value the import would not take back is not saved either.
            if (value.GetLength() > setting.limit) return false;
        } else if (setting.kind == kNumberSetting) {
            int number = 0;
            // A number the import would not take back is not saved either.
            if (!ParseNumber(setting, value.Text(), &number)) return false;
            value.Format(L"%d", number);
        }
        if (!store.SetValue(section, setting.name, value.Text())) return false;
    }
    if (!ReplaceWholeFile(path, [&](const wchar_t* tempPath) { return store.Save(tempPath); })) return false;
    settingsPath = path;
    SetProblem(report, SettingsFileReport::kNone);
    return true;
}

bool MainWindow::ImportSettingsFileReporting(const wchar_t* path, bool nameFile) {
    SettingsFileReport report;
    VQWString named;
    if (nameFile && path) {
        VQWString full;
        named.Format(L"\n%s", GetFullPath(path, full) ? full.Text() : path);
    }
    if (!ImportSettingsFile(path, &report)) {
        const wchar_t* message = L"設定ファイルの読み込みに失敗しました。";
        if (report.problem == SettingsFileReport::kTooLarge) {
            message = L"設定ファイルが大きすぎます（16 MiB まで）。";
        } else if (nameFile && path && IsMissing(path)) {
            message = L"設定ファイルが見つかりません。";
        }
        ShowError(VQWString(message).Append(named).Text());
        return false;
    }
    if (report.skippedKeys.GetCount() == 0) return true;
    // A text too long and a number out of range are told apart: the mend differs.
    VQWString tooLong, outOfRange;
    for (int i = 0; i < report.skippedKeys.GetCount(); ++i) {
        bool text = true;
        for (const JobSetting& setting : kJobSettings) {
            if (report.skippedKeys[i] == VQWString(setting.name)) text = setting.kind == kTextSetting;
        }
        VQWString& names = text ? tooLong : outOfRange;
        names.Append(L'\n');
        names.Append(report.skippedKeys[i]);
    }
    VQWString text;
    if (!tooLong.IsEmpty()) {
        text.Append(L"次の設定は値が長すぎるため読み込みませんでした。元の値のままです。");
        text.Append(named);
        text.Append(L'\n');
        text.Append(tooLong);
    }
    if (!outOfRange.IsEmpty()) {
        if (!text.IsEmpty()) text.Append(L"\n\n");
        text.Append(L"次の設定は値が範囲外か数値でないため読み込みませんでした。元の値のままです。");
        text.Append(named);
        text.Append(L'\n');
        text.Append(outOfRange);
    }
    ShowError(text.Text());
    return true;
}

void MainWindow::ExportSettingsFileAsking(const wchar_t* path) {
    SettingsFileReport report;
    if (ExportSettingsFile(path, false, &report)) return;
    if (report.problem == SettingsFileReport::kNeedsOverwrite) {
        int answer = MsgBox(this,
                            L"この設定ファイルは一部を読み込めませんでした。保存すると読み込めなかった部分は失われます。"
                            L"上書きしますか？",
                            L"確認", VQMB_YESNO, 2);
        if (answer != IDYES) return;
        if (ExportSettingsFile(path, true, &report)) return;
    }
    ShowError(L"設定ファイルの保存に失敗しました。");
}
