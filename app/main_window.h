// MainWindow: the application's one top-level window. It hosts the main
// panel (dialog 129), owns the worker that carries out a run, shows the
// run's progress in its caption and each target's result in the list,
// accepts dropped files and folders, and turns the panel's commands into the
// target-list, settings and run operations.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/output_window.h"
#include "app/resource.h"
#include "app/target_list_model.h"
#include "app/table_status.h"
#include "app/target_table.h"
#include "engine/batch_runner.h"
#include "settings/history.h"
#include "settings/job_store.h"
#include "settings/kept_list.h"
#include "settings/settings_store.h"
#include "win32/dialog_window.h"
#include "win32/progress_bar.h"

class VQWin32DialogItemCheckBox;
class VQWin32DialogItemComboBoxW;
class VQWin32DialogItemEditBoxW;
class VQWin32DialogItemListView;
class VQWin32ProgressWindow;

extern const wchar_t kIdleCaption[];

// The job settings as start-up reads them, before the controls exist.
struct JobSettings {
    enum {
        kFileExtLimit = 256,
        kPreCommandLimit = 1024,
        kCommandLimit = 1024,
        kDirectoryLimit = 260,
        kOutputLimit = 1024,
        kTimeLimitMax = 86400,
        kRetriesMax = 9,
    };
    wchar_t fileExt[kFileExtLimit + 1];
    wchar_t preCommand[kPreCommandLimit + 1];
    wchar_t command[kCommandLimit + 1];
    wchar_t directory[kDirectoryLimit + 1];
    DWORD deleteFinished = 1;  // 1 (the default): remove finished targets after a run
    DWORD checkExitCode = 0;   // 1: a code other than 0 fails the target
    DWORD hideCommand = 0;     // 1: the command too runs hidden, its output kept
    DWORD parallel = 1;        // targets run at once, 1 to 64
    DWORD onFailure = 0;       // 0: a failure ends the run; 1: the run goes on
    DWORD timeLimit = 0;       // seconds a step may take, 0 (none) to kTimeLimitMax
    DWORD retries = 0;         // tries more for a failed target, 0 to kRetriesMax
    DWORD lowPriority = 0;     // 1: children below normal priority
    wchar_t output[kOutputLimit + 1] = {};  // the output template; empty: none
    DWORD skipUpToDate = 0;      // 1: a target whose output is newer is not run
    DWORD checkOutput = 1;       // 1 (the default): a missing output fails the target
    DWORD keepFailedOutput = 0;  // 1: the output of a failed target stays
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

class MainWindow : public VQWin32DialogWindow, public BatchRunner, public TableEvents {
public:
    enum { kTimerId = 1, kTimerPeriodMs = 100 };

    explicit MainWindow(HINSTANCE instance);
    ~MainWindow() override;

    LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    int OnDropFiles(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    int OnTimer(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    int OnActivate(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    bool PreCreate(VQWin32WindowCreateInfo* info) override;
    bool PostCreate(VQWin32WindowCreateInfo* info) override;
    void OnCreated() override;
    bool CanClose() override;
    void OnDestroyed() override;
    // The list's entries follow the new scale with the fonts.
    void OnDpiChanged(UINT newDpi, const RECT* suggested) override;
    INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Filters the candidates by FileExt and appends those that name no file
    // the list (or the batch before them) already holds. roots, when given,
    // holds each candidate's root (settings/target_list_file.h); without it
    // every candidate is a single file.
    virtual void AddTargets(const VQArray<VQWString, VQWString>* batch,
                            const VQArray<VQWString, VQWString>* roots = nullptr);

    // The main panel's create info: the control wrappers bound to the
    // settings, their anchors, the class, caption and icon. The caller owns it.
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
    // overwriting a file that does not load whole). With nameFile the
    // import's messages name the file (its full path), and a missing file
    // says so: the path came from somewhere the user does not see.
    bool ImportSettingsFileReporting(const wchar_t* path, bool nameFile = false);
    void ExportSettingsFileAsking(const wchar_t* path);

    // Target list entry routes that need no dialog. AddDroppedPaths takes
    // files and folders as a drop does (a folder's files with the folder as
    // their root): the route of paths named on the command line too.
    void AddListFile(const wchar_t* path);
    void AddDroppedPaths(const VQArray<VQWString, VQWString>& paths);

    // The list's entries, in the list's order.
    TargetListModel& Targets() { return targetModel; }
    // What a run takes from the list: every entry in the list's order, or
    // only the entries at these indices (in the order given). The entries
    // are told their index in the run.
    std::vector<RunTarget> RunTargetsFromList(const std::vector<int>* only = nullptr);

    // The target list between starts, in a slot of dataFolder that this
    // window holds while it is open (settings/kept_list.h): read back before
    // a settings file is imported, with the lists no open window holds;
    // rewritten at a run's end, on close and shortly after an edit (at a
    // run's start too when an edit is not written yet), and told what
    // happens to each target as it happens.
    void RestoreTargetList();
    void SaveTargetList();
    // A kept list whose files hold at least this many bytes is read on a
    // thread of its own: the window answers at once, and the list comes in
    // when it is read, before the entries added meanwhile. A run waits for
    // it. With the gate (tests), the read waits for that event first.
    size_t keptListBackgroundBytes = 8 * 1024 * 1024;
    HANDLE keptListLoadGate = nullptr;
    bool IsKeptListLoading() const { return keptListLoad != nullptr; }
    // %LOCALAPPDATA%\Quenbrix: the target list and the results files. Empty: nothing is kept.
    VQWString dataFolder;

    // Run pressed while idle, or Stop while a job runs (the second Stop ends the children).
    // With `only`, a run of those entries alone (when idle).
    void RunOrStop(const std::vector<int>* only = nullptr);
    // Opens the last results file in the program Windows has for .csv files.
    void OpenLastResults();
    // The result the list shows for an entry: live during a run, else the last run's.
    TargetStatus EntryStatus(int index);
    const EntryResult* GetEntryResult(int index);
    // The description of an entry's result, as the line under the list shows it.
    VQWString DescribeEntry(int index);

    // The table of the entries: its order, selection, counts, following of a run and layout.
    TargetTable& Table() { return table; }
    // What the table asks of the window (main_window_table.cpp).
    TargetStatus TableEntryStatus(int index) override;
    TargetStatus TableLiveStatus(int runIndex) override;
    RunState TableRunState() override;
    void OnTableSelectionChanged() override;
    void OnTableSorted() override;
    void OnTableShowOutput(int index) override;
    void OnTableOpenFolder(int index) override;
    void OnTableCopyPaths(const VQWString& text) override;
    void OnTableRunSelected(const std::vector<int>& rows) override;
    void OnTableDelete() override;
    bool TableListLoading() override;
    void ShowOutputOf(int index);
    OutputWindow& Output() { return outputWindow; }
    // The client rectangle of a first start, when no place was saved: the
    // work area's whole height (the table takes what the panel leaves),
    // 32 pixels in from its left and up to 1000 wide (at 96 DPI). frame is the frame around
    // a client area (AdjustWindowRectEx of an empty one).
    static RECT DefaultClientRect(const RECT& workArea, UINT dpi, const RECT& frame);
    // The preview grows into the table's height (up to kPreviewMoreLines
    // lines more) to show its whole text, and gives the height back.
    enum { kPreviewMoreLines = 3 };
    void Relayout() override;
    // Opens Explorer at a file, the file selected; replaceable by tests.
    bool (*showInFolder)(HWND owner, const wchar_t* path);
    // Puts text on the clipboard; replaceable by tests.
    bool (*copyToClipboard)(HWND owner, const VQWString& text);

    VQWString settingsPath;

    // Where this start keeps its things (settings/settings_store.h): the
    // registry or the portable file, the data and jobs folders. Set from
    // CurrentStoragePlace by the constructor; tests may change it before
    // the window opens.
    StoragePlace storagePlace;
    // The store of the job settings, the window's place and the histories:
    // made on first use from storagePlace (the registry under registryKey,
    // or the portable file).
    SettingsStore& Store();
    // The window's place goes to the store, not always to the registry.
    int ReadBlock16(const char* valueName, void* buffer16) override;
    bool WriteBlock16(const char* valueName, const void* data16) override;

    // The command fields' histories: each field's value goes first when a
    // run starts, and the drop-downs show them (main_window_jobs.cpp).
    void RememberRunValues();
    const FieldHistory* HistoryOf(int controlId) const;

    // Named jobs. Choosing a job loads it as 読み込む does (the list stays),
    // asking first about changes since the last load or save; false when it
    // was not loaded (cancelled, or it does not load: the message was shown).
    bool ChooseJob(const VQWString& name);
    // The job the fields came from; empty: none.
    VQWString currentJob;
    // 「写真をWebPに - 対象ファイルにコマンドを実行する」, or kIdleCaption without a job.
    VQWString IdleCaption() const;
    // The fields as they are, in one text: equal texts, equal settings.
    VQWString SettingsSnapshot();
    // The controls of the job settings, in the order they are read and written.
    static std::vector<int> SettingControls();

    // The plan of a run of the fields and the list as they are: the CSV, or
    // for a path ending in ".cmd" the batch file. False and the reason when
    // it could not be made or written. The window's 実行予定を保存 and /plan
    // both come here.
    bool WritePlan(const wchar_t* path, VQWString& error);
    // Read by start-up before the window opens; OnCreated acts on it.
    CommandLine commandLine;
    // The command line's part (main_window_command_line.cpp): the jobs,
    // settings files, targets and list files it names, loaded as the window
    // opens; the targets a second start hands over; the run nobody watches
    // (/run, /plan), which ends the window with an exit code and a report.
    void ActOnCommandLine();
    // Existing paths are added as a drop adds them; the missing ones are
    // named in one message.
    void AddArgumentTargets(const std::vector<VQWString>& targets, const std::vector<VQWString>& missing);
    // WM_COPYDATA from a second start, and the command line's own timer.
    LRESULT OnCommandLineMessage(UINT message, WPARAM wParam, LPARAM lParam);
    int OnAppMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    // A box the unattended run answered by itself: its text is kept for the report.
    void NoteUnattendedBox(const wchar_t* text);
    // Gives the paths to the open window of another instance that keeps its
    // things in the same place (the same portable file, or the registry);
    // false when there is none or it did not take them.
    static bool HandOverToOpenWindow(const std::vector<VQWString>& paths, const StoragePlace& place);
    // What a second start and a window compare: the portable file, folded; empty: the registry.
    static VQWString StoragePlaceKey(const StoragePlace& place);
    enum { kCommandLineTimerId = 2, kHandOverData = 0x51424832 };
    // An unattended start's end: the process's exit code and what goes to the console.
    int unattendedExitCode = 0;
    VQWString unattendedReport;
    // Bits, by job setting: the registry held a value that could not be read.
    unsigned unreadRegistrySettings = 0;
    // Opens a file in the program Windows has for it; replaceable by tests.
    bool (*openInDefaultProgram)(HWND owner, const wchar_t* path);
    // The clock of the run button's guards (GetTickCount); replaceable by tests.
    DWORD(WINAPI* tickCount)();
    // After the first Stop, 強制終了 takes a press only once shown this long;
    // after a run, Run takes none for this long.
    enum { kForceStopArmMs = 1000, kRunAfterEndMs = 500 };

protected:
    // The worker's news for the kept list.
    void OnTargetBegun(int index) override;
    void OnTargetFinished(int index, TargetStatus status) override;
    VQWString ResultsNotes() override;

private:
    void OnAbout();
    void OnAdd();
    void OnListAdd();
    void OnDelete();
    void OnDeleteAll();
    void OnSelectDirectory();
    void OnLoad();
    void OnSave();
    // The ジョブ row and its menu.
    void OnJobChosen();
    void OnJobMenu();
    void OnJobSaveAs();
    void OnJobSave();
    void OnJobDelete();
    void OnPlanSave();
    bool SaveJobAs(const VQWString& name);
    bool AskToSaveChanges();
    void RefreshJobList();
    void ShowCurrentJob();
    void LoadHistories();
    void TellStorageProblems();
    // The job setting at this index of the settings table, read from its control.
    VQWString SettingValue(int index);
    VQWin32DialogItemComboBoxW* Combo(int id);
    void OnListSelectionChanged();
    VQWin32DialogItemProgressBar* RunProgressBar();
    // The details line, the preview and the chosen count, for the selection as it is.
    void ShowSelection();
    // AddTargets with the progress window of the whole adding; false when
    // the user cancelled it (the list is then as it was).
    bool AddTargets(const VQArray<VQWString, VQWString>* batch, const VQArray<VQWString, VQWString>* roots,
                    VQWin32ProgressWindow& progress);
    HFONT PanelFont();
    void CascadeFromOpenWindows(VQWin32WindowCreateInfo* info);
    void OnJobEnded(bool closing);
    void ShowProgress(RunState state);
    void SetRunning(bool running);
    void ApplyResults();
    void ShowError(const wchar_t* text);
    void UpdateCount();
    RunOptions ReadRunOptions();
    // The preview under the command fields: both templates expanded for the
    // selected entry (the first when none is), or what stops them, in red.
    void UpdatePreview();
    INT_PTR PreviewColors(HDC dc);
    // Before a run: every entry must expand; clashing lines ask first.
    // False when the run must not start.
    // With an output template the outputs are compared instead of the
    // lines, an output that is an entry refuses the run, and skip gets the
    // entries whose output is up to date (with 出力が新しければスキップ).
    bool CheckBeforeRun(const VQWString& preCommandText, const VQWString& commandText,
                        const VQWString& outputText, const std::vector<RunTarget>& targets,
                        std::vector<bool>& skip);
    // The root an entry was found under (with its closing "\"), or empty.
    VQWString RootOf(const VQWString& path);
    // The caption while a run goes: the progress, and the time left once it can be told.
    VQWString ProgressCaption(RunState state);
    // The kept list: every change of the entries comes to KeptListChanged;
    // the timer's tick makes the rewrite after edits and tells a failure once.
    void KeptListChanged();
    void KeepListAtRunStart();
    void KeepRunResults();
    void KeepListTick();

    VQWin32DialogItemEditBoxW* EditBox(int id);
    VQWin32DialogItemListView* TargetList();
    VQWin32DialogItemCheckBox* CheckBox(int id);
    bool IsChecked(int id);
    VQWString EditText(int id);
    void SetEditText(int id, const wchar_t* text);

    TargetListModel targetModel;  // the table shows it entry for entry
    TargetTable table;  // shows targetModel
    OutputWindow outputWindow;
    KeptList keptList;
    bool keptListRestored = false;  // changes before that are the restore itself
    bool keptListDirty = false;     // edited since the last rewrite
    DWORD keptListChangedAt = 0;
    int keptListJournaled = 0;      // during a run: the highest adding number the kept list knows of
    // A kept list read in the background: the thread fills entries and report.
    struct KeptListLoad {
        KeptList* list = nullptr;
        VQWString folder;       // shares nothing with the window's strings
        HANDLE gate = nullptr;  // borrowed
        std::vector<KeptEntry> entries;
        KeptListReport report;
        HANDLE thread = nullptr;
    };
    std::unique_ptr<KeptListLoad> keptListLoad;
    static unsigned __stdcall KeptListLoadMain(void* param);
    void TakeKeptList(std::vector<KeptEntry>& entries, const KeptListReport& report, bool quiet);
    // Waits for a list still read in the background and takes it; `only`
    // (a run of chosen entries) then names the same entries in the new order.
    void FinishKeptListLoad(bool quiet = false, std::vector<int>* only = nullptr);
    // The window goes: the read is waited for, what it read is dropped.
    void EndKeptListLoad();
    bool sessionEnding = false;
    bool cascaded = false;     // opened a step away from another instance
    RECT openedPlace = {};     // the client area in screen coordinates once opened
    std::unique_ptr<SettingsStore> store;
    SettingsFileState settingsFileState = kSettingsFileReady;
    std::vector<FieldHistory> histories;
    std::vector<JobEntry> jobEntries;  // the ジョブ drop-down's, after its 「（なし）」
    VQWString savedSnapshot;           // SettingsSnapshot at the last load or save
    bool previewShowsError = false;  // the preview holds a message, drawn red
    int previewGrowth = 0;           // pixels the preview took from the table
    bool fittingPreview = false;
    void FitPreviewToText();
    bool stopRequested = false;      // Stop was pressed in the current or last run
    DWORD forceShownAt = 0;          // tick at which the button became 強制終了
    bool runEnded = false;           // a run has ended since the window opened
    DWORD runEndedAt = 0;            // tick of the last run's end
    // The unattended start: the boxes it answered, from which one the run's
    // own began, whether the loading already rules the run out, whether it runs.
    std::vector<VQWString> unattendedBoxes;
    size_t runBoxesFrom = 0;
    bool unattendedBlocked = false;
    bool unattendedRunning = false;
    std::vector<VQWString> handedOver;  // paths from second starts, not yet added
    size_t blockedBoxesFrom = 0;  // the first of the boxes that blocked it
    void StartUnattended();
    // The boxes from..to, a console line each.
    VQWString UnattendedNotes(size_t from, size_t to) const;
    // The run did not start for the boxes from reasonsFrom on; those before are notes.
    void EndNotStarted(size_t reasonsFrom);
    void EndUnattended(int exitCode, const VQWString& report);
    void CheckUnattendedEnd();
};
