// The job settings as one table: each setting's registry value and
// settings-file key, its kind, limits, default, control, and whether a run
// locks it. Start-up's reading, saving, the settings files, the snapshot and
// the run options all walk that table, against the fields of JobFields
// (the window's controls, or a test's).
#pragma once

#include <windows.h>

#include <initializer_list>
#include <vector>

#include "base/arrays.h"
#include "base/strings.h"
#include "engine/batch_runner.h"
#include "settings/settings_store.h"

class VQWin32DialogItem;

// The job settings as start-up reads them, before the controls exist.
struct JobSettings {
    enum {
        kFileExtLimit = 256,
        kPreCommandLimit = 1024,
        kCommandLimit = 1024,
        kDirectoryLimit = 260,
        kOutputLimit = 1024,
        kWatchLimit = 1024,
        kMaxWatchSettleSeconds = 3600,
    };
    wchar_t fileExt[kFileExtLimit + 1];
    wchar_t preCommand[kPreCommandLimit + 1];
    wchar_t command[kCommandLimit + 1];
    wchar_t directory[kDirectoryLimit + 1];
    DWORD deleteFinished = 1;  // 1 (the default): remove finished targets after a run
    DWORD checkExitCode = 0;   // 1: a code other than 0 fails the target
    DWORD hideCommand = 0;     // 1: the command too runs hidden, its output kept
    DWORD parallel = 1;        // targets run at once, 1 to BatchRunner::kMaxParallel
    DWORD onFailure = 0;       // 0: a failure ends the run; 1: the run goes on
    DWORD timeLimit = 0;       // seconds a step may take, 0 (none) to BatchRunner::kMaxTimeLimitSeconds
    DWORD retries = 0;         // tries more for a failed target, 0 to BatchRunner::kMaxRetries
    DWORD lowPriority = 0;     // 1: children below normal priority
    wchar_t output[kOutputLimit + 1] = {};  // the output template; empty: none
    DWORD skipUpToDate = 0;      // 1: a target whose output is newer is not run
    DWORD checkOutput = 1;       // 1 (the default): a missing output fails the target
    DWORD keepFailedOutput = 0;  // 1: the output of a failed target stays
    wchar_t watch[kWatchLimit + 1] = {};  // the folders watched, separated by ";"; empty: none
    DWORD watchSettle = 3;    // seconds a file must stay as it is before it is taken
    DWORD watchExisting = 1;  // 1 (the default): files there when watching starts are run too
    DWORD notify = 1;         // 1 (the default): a long run's end is told when the window is not in front
};

// What a settings file import or export ran into, for the messages of the
// Load and Save commands.
struct SettingsFileReport {
    enum Problem {
        kNone,
        kFailed,          // not read, or not written; the file is as it was
        kTooLarge,        // over the settings text's size limit
        kNeedsOverwrite,  // the file to replace does not load whole: ask first
    };
    Problem problem = kNone;
    // Import: keys whose value did not fit; their controls kept their values.
    VQArray<VQWString, VQWString> skippedKeys;
};

// The settings' controls by id, as the form reads and sets them.
class JobFields {
public:
    virtual VQWString EditText(int id) = 0;
    virtual void SetEditText(int id, const wchar_t* text) = 0;
    virtual bool IsChecked(int id) = 0;
    virtual void SetChecked(int id, bool checked) = 0;
    // A drop-down list's choice, from 0.
    virtual int Choice(int id) = 0;
    virtual void SetChoice(int id, int choice) = 0;

protected:
    ~JobFields() = default;
};

class JobForm {
public:
    explicit JobForm(JobFields& fields) : fields(fields) {}

    // The store's values (before the controls exist). A value of the wrong
    // type, too long for its control or out of range leaves the default, and
    // is not written back while the control keeps it.
    void LoadRegistrySettings(SettingsStore& from, JobSettings& settings);
    void SaveRegistrySettings(SettingsStore& to);
    // A value too long for its control or out of range leaves the control as
    // it was, and is named in the report.
    bool ImportSettingsFile(const wchar_t* path, SettingsFileReport* report = nullptr);
    // Without overwrite, an existing file that does not load whole (it fails
    // to load, or lines were left out) is not replaced: false, kNeedsOverwrite.
    bool ExportSettingsFile(const wchar_t* path, bool overwrite = false, SettingsFileReport* report = nullptr);
    // The fields as they are, in one text: equal texts, equal settings.
    VQWString SettingsSnapshot();
    // What a run takes from the fields; a number past its field's range is
    // taken as the nearest end of it.
    RunOptions ReadRunOptions();
    // A number field's value, taken to its range as ReadRunOptions takes it.
    int NumberValue(int controlId);
    // The settings file last imported or exported; empty: none.
    const VQWString& SettingsPath() const { return settingsPath; }
    // Bits, by job setting: the store held a value that could not be read.
    unsigned UnreadRegistrySettings() const { return unreadRegistrySettings; }

    // The message for the keys an import skipped (empty: none), texts too
    // long apart from numbers out of range, as their mends differ; `named`
    // follows each heading (the file's line, or empty).
    static VQWString SkippedKeysMessage(const SettingsFileReport& report, const VQWString& named);
    // The line that names a file under a message's heading (its full path);
    // empty without a path.
    static VQWString NamedFile(const wchar_t* path);
    // Why an import failed. With namedPath (a path the user does not see)
    // the file is named, and a file missing altogether says so.
    static VQWString ImportFailedText(const SettingsFileReport& report, const wchar_t* namedPath);
    // Asked before an export overwrites a file that did not load whole.
    static VQWString OverwritePartlyReadQuestion();
    // The controls of the job settings, in the order they are read and written.
    static std::vector<int> SettingControls();
    // The settings' controls that a run locks (it reads them at its start), then `others`.
    static std::vector<int> LockedDuringRun(std::initializer_list<int> others);
    // The main panel's wrapper of the setting with this control, bound to
    // its value in settings and anchored; the caller owns it.
    static VQWin32DialogItem* NewControl(const JobSettings& settings, int controlId);

private:
    // The setting at this index of the table, read from its control as a
    // settings file holds it (a number field's text as typed).
    VQWString SettingValue(int index);

    JobFields& fields;  // borrowed: the window outlives its form
    VQWString settingsPath;
    unsigned unreadRegistrySettings = 0;
};
