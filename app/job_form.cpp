#include "app/job_form.h"

#include <algorithm>
#include <cstdlib>
#include <cwchar>

#include "app/resource.h"
#include "base/files.h"
#include "settings/settings_text.h"
#include "win32/combo_box.h"
#include "win32/dialog_items.h"
#include "win32/drop_down.h"

namespace {

enum SettingKind {
    kTextSetting,    // an edit box; REG_SZ, the text as it stands in a file
    kCheckSetting,   // a check box; REG_DWORD, a decimal number in a file
    kNumberSetting,  // an edit box holding a number from low to limit; REG_DWORD, decimal in a file
    kChoiceSetting,  // a drop-down list, its choice from 0 to the last; REG_DWORD, decimal in a file
};

const int kDown = VQWin32AnchorMoveDown;
const int kDownWide = VQWin32AnchorMoveDown | VQWin32AnchorStretchRight;
const int kDownRight = VQWin32AnchorMoveDown | VQWin32AnchorMoveRight;

// One job setting: its registry value and settings-file key, its control,
// where start-up keeps it before the controls exist, and what a run takes of it.
struct JobSetting {
    const wchar_t* name;
    SettingKind kind;
    int controlId;
    int low;              // number: the smallest
    int limit;            // text: units the control takes; number and choice: the largest
    DWORD defaultNumber;  // check box, number or choice: when absent
    wchar_t* (*text)(JobSettings&);
    DWORD* (*number)(JobSettings&);
    bool lockedDuringRun;  // a run reads it at its start: it is not changed while one goes
    int anchors;
    bool history;                   // text: the field is a drop-down of the values run before
    const wchar_t* const* choices;  // choice: the list's texts, limit + 1 of them
    bool RunOptions::*flag;         // check box: the run option it sets, if any
    int RunOptions::*option;        // number or choice: the run option it sets
};

typedef wchar_t* (*TextOf)(JobSettings&);
typedef DWORD* (*NumberOf)(JobSettings&);

constexpr JobSetting Text(const wchar_t* name, int id, int limit, TextOf text, bool history) {
    return {name, kTextSetting, id, 0, limit, 0, text, nullptr, true, kDownWide, history, nullptr, nullptr, nullptr};
}

constexpr JobSetting Check(const wchar_t* name, int id, DWORD byDefault, NumberOf number, bool RunOptions::*flag,
                           bool locked) {
    return {name, kCheckSetting, id, 0, 1, byDefault, nullptr, number, locked, kDown, false, nullptr, flag, nullptr};
}

constexpr JobSetting Number(const wchar_t* name, int id, int low, int limit, DWORD byDefault, NumberOf number,
                            int RunOptions::*option, int anchors) {
    return {name, kNumberSetting, id, low, limit, byDefault, nullptr, number, true, anchors, false, nullptr, nullptr,
            option};
}

const wchar_t* const kOnFailureChoices[] = {L"停止する", L"続ける"};

// In the order they are read and written.
constexpr JobSetting kJobSettings[] = {
    Text(L"FileExt", IDC_FILEEXT_EDIT, JobSettings::kFileExtLimit, [](JobSettings& s) { return s.fileExt; }, false),
    Text(L"PreCommand", IDC_PRECOMMAND_EDIT, JobSettings::kPreCommandLimit,
         [](JobSettings& s) { return s.preCommand; }, true),
    Text(L"Command", IDC_COMMAND_EDIT, JobSettings::kCommandLimit, [](JobSettings& s) { return s.command; }, true),
    Text(L"Directory", IDC_DIRECTORY_EDIT, JobSettings::kDirectoryLimit, [](JobSettings& s) { return s.directory; },
         true),
    Check(L"Delete", IDC_DELETE_CHECK, 1, [](JobSettings& s) { return &s.deleteFinished; }, nullptr, false),
    Check(L"CheckExitCode", IDC_CHECK_EXIT_CODE, 0, [](JobSettings& s) { return &s.checkExitCode; },
          &RunOptions::checkExitCode, false),
    Check(L"HideCommand", IDC_HIDE_COMMAND, 0, [](JobSettings& s) { return &s.hideCommand; },
          &RunOptions::hideCommand, true),
    Number(L"Parallel", IDC_PARALLEL_EDIT, 1, BatchRunner::kMaxParallel, 1, [](JobSettings& s) { return &s.parallel; },
           &RunOptions::parallel, kDownRight),
    {L"OnFailure", kChoiceSetting, IDC_ON_FAILURE_COMBO, 0, 1, 0, nullptr,
     [](JobSettings& s) { return &s.onFailure; }, true, kDown, false, kOnFailureChoices, nullptr,
     &RunOptions::onFailure},
    Number(L"TimeLimit", IDC_TIME_LIMIT_EDIT, 0, BatchRunner::kMaxTimeLimitSeconds, 0,
           [](JobSettings& s) { return &s.timeLimit; }, &RunOptions::timeLimitSeconds, kDown),
    Number(L"Retries", IDC_RETRIES_EDIT, 0, BatchRunner::kMaxRetries, 0, [](JobSettings& s) { return &s.retries; },
           &RunOptions::retries, kDown),
    Check(L"LowPriority", IDC_LOW_PRIORITY_CHECK, 0, [](JobSettings& s) { return &s.lowPriority; },
          &RunOptions::lowPriority, true),
    Text(L"Output", IDC_OUTPUT_EDIT, JobSettings::kOutputLimit, [](JobSettings& s) { return s.output; }, true),
    Check(L"SkipUpToDate", IDC_SKIP_UP_TO_DATE_CHECK, 0, [](JobSettings& s) { return &s.skipUpToDate; },
          &RunOptions::skipUpToDate, true),
    Check(L"CheckOutput", IDC_CHECK_OUTPUT_CHECK, 1, [](JobSettings& s) { return &s.checkOutput; },
          &RunOptions::checkOutput, true),
    Check(L"KeepFailedOutput", IDC_KEEP_FAILED_OUTPUT_CHECK, 0, [](JobSettings& s) { return &s.keepFailedOutput; },
          &RunOptions::keepFailedOutput, true),
    // The watch reads its settings when it starts, and its runs read the rest as any run does.
    Text(L"Watch", IDC_WATCH_EDIT, JobSettings::kWatchLimit, [](JobSettings& s) { return s.watch; }, false),
    Number(L"WatchSettle", IDC_WATCH_SETTLE_EDIT, 1, JobSettings::kMaxWatchSettleSeconds, 3,
           [](JobSettings& s) { return &s.watchSettle; }, nullptr, kDownRight),
    {L"WatchExisting", kCheckSetting, IDC_WATCH_EXISTING_CHECK, 0, 1, 1, nullptr,
     [](JobSettings& s) { return &s.watchExisting; }, true, kDownRight, false, nullptr, nullptr, nullptr},
    // Beside the job's name, at the window's top right.
    {L"Notify", kCheckSetting, IDC_NOTIFY_CHECK, 0, 1, 1, nullptr, [](JobSettings& s) { return &s.notify; }, false,
     VQWin32AnchorMoveRight, false, nullptr, nullptr, nullptr},
};

bool InRange(const JobSetting& setting, long long number) {
    if (setting.kind == kNumberSetting || setting.kind == kChoiceSetting) {
        return number >= setting.low && number <= setting.limit;
    }
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

const JobSetting* SettingOf(int controlId) {
    for (const JobSetting& setting : kJobSettings) {
        if (setting.controlId == controlId) return &setting;
    }
    return nullptr;
}

// A settings file as the Save command finds it before replacing it.
bool IsEmptyFile(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExW(path, GetFileExInfoStandard, &data) && data.nFileSizeLow == 0 &&
           data.nFileSizeHigh == 0;
}

void SetProblem(SettingsFileReport* report, SettingsFileReport::Problem problem) {
    if (report) report->problem = problem;
}

// Nothing at all by that name, as opposed to a file that does not load.
bool IsMissing(const wchar_t* path) {
    if (GetFileAttributesW(SystemForm(path).Text()) != INVALID_FILE_ATTRIBUTES) return false;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_BAD_NETPATH ||
           error == ERROR_BAD_NET_NAME || error == ERROR_INVALID_NAME;
}

}  // namespace

void JobForm::LoadRegistrySettings(SettingsStore& from, JobSettings& settings) {
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

VQWString JobForm::SettingValue(int index) {
    const JobSetting& setting = kJobSettings[index];
    switch (setting.kind) {
    case kCheckSetting: return VQWString(fields.IsChecked(setting.controlId) ? L"1" : L"0");
    case kChoiceSetting: return VQWString().Format(L"%d", fields.Choice(setting.controlId));
    case kTextSetting:
    case kNumberSetting: break;
    }
    return fields.EditText(setting.controlId);
}

std::vector<int> JobForm::SettingControls() {
    std::vector<int> ids;
    for (const JobSetting& setting : kJobSettings) ids.push_back(setting.controlId);
    return ids;
}

std::vector<int> JobForm::LockedDuringRun(std::initializer_list<int> others) {
    std::vector<int> ids;
    for (const JobSetting& setting : kJobSettings) {
        if (setting.lockedDuringRun) ids.push_back(setting.controlId);
    }
    ids.insert(ids.end(), others);
    return ids;
}

void JobForm::SaveRegistrySettings(SettingsStore& to) {
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

VQWString JobForm::SettingsSnapshot() {
    VQWString snapshot;
    for (const JobSetting& setting : kJobSettings) {
        snapshot.Append(setting.name);
        snapshot.Append(L'=');
        snapshot.Append(SettingValue(static_cast<int>(&setting - kJobSettings)));
        snapshot.Append(L'\n');
    }
    return snapshot;
}

RunOptions JobForm::ReadRunOptions() {
    RunOptions options;
    for (const JobSetting& setting : kJobSettings) {
        if (setting.flag) options.*setting.flag = fields.IsChecked(setting.controlId);
        if (setting.option) options.*setting.option = NumberValue(setting.controlId);
    }
    return options;
}

int JobForm::NumberValue(int controlId) {
    const JobSetting* setting = SettingOf(controlId);
    if (!setting) return 0;
    int value = setting->kind == kChoiceSetting ? fields.Choice(controlId) : _wtoi(fields.EditText(controlId).Text());
    return std::max(setting->low, std::min(value, setting->limit));
}

bool JobForm::ImportSettingsFile(const wchar_t* path, SettingsFileReport* report) {
    SetProblem(report, SettingsFileReport::kNone);
    if (report) report->skippedKeys.RemoveAll();
    VQSettingsText store;
    VQFile* file = path ? NewFile(SystemForm(path).Text(), kFileShareRead) : nullptr;
    if (!file || !store.Load(file)) {
        bool tooLarge = file && store.GetLoadStatus() == kSettingsTooLarge;
        SetProblem(report, tooLarge ? SettingsFileReport::kTooLarge : SettingsFileReport::kFailed);
        return false;
    }
    VQSettingsSection* section = store.FindSection(kSettingsSection, false);
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
            fields.SetEditText(setting.controlId, key ? key->value : L"");
        } else if (setting.kind == kNumberSetting) {
            fields.SetEditText(setting.controlId, VQWString().Format(L"%d", number).Text());
        } else if (setting.kind == kChoiceSetting) {
            fields.SetChoice(setting.controlId, number);
        } else {
            fields.SetChecked(setting.controlId, number != 0);
        }
        unreadRegistrySettings &= ~BitOf(setting);
    }
    settingsPath = path;
    return true;
}

bool JobForm::ExportSettingsFile(const wchar_t* path, bool overwrite, SettingsFileReport* report) {
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
    VQSettingsSection* section = store.FindSection(kSettingsSection, true);
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

VQWString JobForm::NamedFile(const wchar_t* path) {
    VQWString named, full;
    if (path) named.Format(L"\n%s", GetFullPath(path, full) ? full.Text() : path);
    return named;
}

VQWString JobForm::ImportFailedText(const SettingsFileReport& report, const wchar_t* namedPath) {
    const wchar_t* message = L"設定ファイルの読み込みに失敗しました。";
    if (report.problem == SettingsFileReport::kTooLarge) {
        message = L"設定ファイルが大きすぎます（16 MiB まで）。";
    } else if (namedPath && IsMissing(namedPath)) {
        message = L"設定ファイルが見つかりません。";
    }
    return VQWString(message).Append(NamedFile(namedPath));
}

VQWString JobForm::OverwritePartlyReadQuestion() {
    return VQWString(L"この設定ファイルは一部を読み込めませんでした。保存すると読み込めなかった部分は失われます。"
                     L"上書きしますか？");
}

VQWString JobForm::SkippedKeysMessage(const SettingsFileReport& report, const VQWString& named) {
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
    VQWString message;
    if (!tooLong.IsEmpty()) {
        message.Append(L"次の設定は値が長すぎるため読み込みませんでした。元の値のままです。");
        message.Append(named);
        message.Append(L'\n');
        message.Append(tooLong);
    }
    if (!outOfRange.IsEmpty()) {
        if (!message.IsEmpty()) message.Append(L"\n\n");
        message.Append(L"次の設定は値が範囲外か数値でないため読み込みませんでした。元の値のままです。");
        message.Append(named);
        message.Append(L'\n');
        message.Append(outOfRange);
    }
    return message;
}

VQWin32DialogItem* JobForm::NewControl(const JobSettings& settings, int controlId) {
    const JobSetting* setting = SettingOf(controlId);
    if (!setting) return nullptr;
    // The table's accessors are the writers' too: they are given a copy.
    JobSettings s = settings;
    VQWin32DialogItem* item = nullptr;
    if (setting->kind == kTextSetting) {
        const wchar_t* text = setting->text(s);
        item = setting->history ? new VQWin32DialogItemComboBoxW(controlId, text, setting->limit)
                                : new VQWin32DialogItemEditBoxW(controlId, text, setting->limit);
    } else if (setting->kind == kCheckSetting) {
        item = new VQWin32DialogItemCheckBox(controlId, *setting->number(s) != 0);
    } else if (setting->kind == kChoiceSetting) {
        VQWin32DialogItemDropDown* list = new VQWin32DialogItemDropDown(controlId, {}, 0);
        for (int i = 0; i <= setting->limit; ++i) list->choices.Add(VQWString(setting->choices[i]));
        DWORD chosen = *setting->number(s);
        // One out of range chooses the first.
        if (chosen <= static_cast<DWORD>(setting->limit)) list->selection = static_cast<int>(chosen);
        item = list;
    } else {
        // The field takes as many digits as the largest number has.
        int digits = 1;
        for (int largest = setting->limit; largest >= 10; largest /= 10) ++digits;
        item = new VQWin32DialogItemEditBoxW(controlId, VQWString().Format(L"%lu", *setting->number(s)).Text(),
                                             digits);
    }
    item->anchorFlags = setting->anchors;
    return item;
}
