// MainWindow: the application's one top-level window. It hosts the main
// panel (dialog 129), owns the worker that carries out a run, shows the
// run's progress in its caption, accepts dropped files and folders, and turns
// the panel's commands into the target-list, settings and run operations.
#pragma once

#include "app/resource.h"
#include "engine/batch_runner.h"
#include "win32/dialog_window.h"

class VQWin32DialogItemCheckBox;
class VQWin32DialogItemEditBoxW;
class VQWin32DialogItemListBoxW;

extern const wchar_t kIdleCaption[];

// The five job settings as start-up reads them, before the controls exist.
struct JobSettings {
    enum { kFileExtLimit = 256, kPreCommandLimit = 1024, kCommandLimit = 1024, kDirectoryLimit = 260 };
    wchar_t fileExt[kFileExtLimit + 1];
    wchar_t preCommand[kPreCommandLimit + 1];
    wchar_t command[kCommandLimit + 1];
    wchar_t directory[kDirectoryLimit + 1];
    DWORD deleteFinished;  // 1 (the default): remove finished targets after a run
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

class MainWindow : public VQWin32DialogWindow, public BatchRunner {
public:
    enum { kTimerId = 1, kTimerPeriodMs = 100 };

    explicit MainWindow(HINSTANCE instance);
    ~MainWindow() override;

    int OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    int OnDropFiles(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    int OnTimer(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    bool PreCreate(VQWin32WindowCreateInfo* info) override;
    bool PostCreate(VQWin32WindowCreateInfo* info) override;
    void OnCreated() override;
    bool CanClose() override;
    void OnDestroyed() override;
    // Filters the candidates by FileExt and appends those not yet listed.
    virtual void AddTargets(const VQArray<VQWString, VQWString>* batch);

    // The main panel's create info: the fourteen control wrappers bound to
    // the settings, the class, caption and icon. The caller owns it.
    VQWin32DialogWindowCreateInfo* MakeCreateInfo(const JobSettings& settings, int showCommand);

    // Job settings: the registry (under registryKey) and settings files.
    // A registry value of the wrong type or too long for its control leaves
    // the default, and is not written back while the control keeps it.
    void LoadRegistrySettings(JobSettings& settings);
    void SaveRegistrySettings();
    // A value too long for its control leaves the control as it was, and is
    // named in the report.
    bool ImportSettingsFile(const wchar_t* path, SettingsFileReport* report = nullptr);
    // Without overwrite, an existing file that does not load whole (it fails
    // to load, or lines were left out) is not replaced: false, kNeedsOverwrite.
    bool ExportSettingsFile(const wchar_t* path, bool overwrite = false, SettingsFileReport* report = nullptr);
    // What the Load and Save commands do with the path their dialog gave:
    // the import or export with its messages (and the question before
    // overwriting a file that does not load whole).
    void ImportSettingsFileReporting(const wchar_t* path);
    void ExportSettingsFileAsking(const wchar_t* path);

    // Target list entry routes that need no dialog.
    void AddListFile(const wchar_t* path);
    void AddDroppedPaths(const VQArray<VQWString, VQWString>& paths);

    // Run pressed while idle, or Stop while a job runs.
    void RunOrStop();
    void SetRunning(bool running);

    VQWString settingsPath;
    // Bits, by job setting: the registry held a value that could not be read.
    unsigned unreadRegistrySettings = 0;

private:
    void OnAbout();
    void OnAdd();
    void OnListAdd();
    void OnDelete();
    void OnDeleteAll();
    void OnSelectDirectory();
    void OnLoad();
    void OnSave();
    void OnJobEnded();
    void RemoveFinishedTargets();
    void ShowError(const wchar_t* text);

    VQWin32DialogItemEditBoxW* EditBox(int id);
    VQWin32DialogItemListBoxW* TargetList();
    bool IsDeleteChecked();
    VQWString EditText(int id);
    void SetEditText(int id, const wchar_t* text);
};
