// MainWindow: the application's one top-level window, and the wiring of the
// parts behind it. It hosts the main panel (dialog 129), reads and writes its
// controls, shows the boxes and dialogs, and turns the panel's commands and
// its timer into calls on the parts: the run (RunController), the settings
// (JobForm), the list and its table (TargetListModel, TargetTable), the kept
// list (KeptListKeeper), the named jobs and histories, and the unattended start.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/job_form.h"
#include "app/kept_list_keeper.h"
#include "app/main_panel.h"
#include "app/field_histories.h"
#include "app/folder_watcher.h"
#include "app/job_library.h"
#include "app/output_window.h"
#include "app/plan_file.h"
#include "app/resource.h"
#include "app/run_controller.h"
#include "app/start_store.h"
#include "app/target_list_model.h"
#include "app/table_status.h"
#include "app/target_table.h"
#include "app/unattended_start.h"
#include "app/window_place.h"
#include "engine/batch_runner.h"
#include "settings/kept_list.h"
#include "settings/settings_store.h"
#include "win32/dialog_window.h"
#include "win32/progress_bar.h"
#include "win32/shell_link.h"

class VQWin32DialogItemCheckBox;
class VQWin32DialogItemComboBoxW;
class VQWin32DialogItemEditBoxW;
class VQWin32DialogItemListView;
class VQWin32ProgressWindow;

class MainWindow : public VQWin32DialogWindow, private RunEvents, private JobFields, private KeptListEvents,
                   public TableEvents, private WatchHost {
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
    void AddTargets(const VQArray<VQWString, VQWString>* batch,
                    const VQArray<VQWString, VQWString>* roots = nullptr);

    // Job settings (app/job_form.h): the store (the registry under
    // registryKey, or the portable file) and settings files.
    JobForm& Form() { return form; }
    void LoadRegistrySettings(JobSettings& settings);
    void SaveRegistrySettings();
    bool ExportSettingsFile(const wchar_t* path, bool overwrite = false, SettingsFileReport* report = nullptr) {
        return form.ExportSettingsFile(path, overwrite, report);
    }
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
    // window holds while it is open (app/kept_list_keeper.h): read back
    // before a settings file is imported, with the lists no open window holds.
    void RestoreTargetList();
    KeptListKeeper& Keeper() { return keeper; }
    // %LOCALAPPDATA%\Quenbrix: the target list and the results files. Empty: nothing is kept.
    VQWString dataFolder;

    // The run: the worker, the press rules, the progress (app/run_controller.h).
    RunController& RunControl() { return runController; }
    // Run pressed while idle, or Stop while a run goes (the second Stop ends the children).
    // With `only`, a run of those entries alone (when idle).
    void RunOrStop(const std::vector<int>* only = nullptr);
    // Opens the last results file in the program Windows has for .csv files.
    void OpenLastResults();
    // The result the list shows for an entry: live during a run, else the last run's.
    TargetStatus EntryStatus(int index);
    const EntryResult* GetEntryResult(int index);

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
    // The preview grows into the table's height (up to kPreviewMoreLines
    // lines more) to show its whole text, and gives the height back.
    enum { kPreviewMoreLines = 3 };
    void Relayout() override;
    // Opens Explorer at a file, the file selected; replaceable by tests.
    bool (*showInFolder)(HWND owner, const wchar_t* path);
    // Puts text on the clipboard; replaceable by tests.
    bool (*copyToClipboard)(HWND owner, const VQWString& text);
    // Explorer's menu and Send To (main_window_jobs.cpp): the key below
    // HKEY_CURRENT_USER the menu is written under (app/explorer_menu.h), and
    // the shell's calls that make the shortcuts (win32/shell_link.h);
    // replaceable by tests.
    const wchar_t* explorerClassesKey = L"Software\\Classes";
    VQWString (*sendToFolder)() = SendToFolder;
    bool (*createShortcut)(const VQWString& linkPath, const VQWString& target, const VQWString& arguments,
                           const VQWString& description) = CreateShortcut;

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
    const FieldHistories& Histories() const { return histories; }

    // Named jobs. Choosing a job loads it as 読み込む does (the list stays),
    // asking first about changes since the last load or save; false when it
    // was not loaded (cancelled, or it does not load: the message was shown).
    bool ChooseJob(const VQWString& name);
    // 「写真をWebPに - 対象ファイルにコマンドを実行する」, or kIdleCaption without a job.
    VQWString IdleCaption() const { return jobs.CaptionWith(kIdleCaption); }
    VQWString SettingsSnapshot() { return form.SettingsSnapshot(); }

    // What the plan of a run of the fields and the list as they are is made
    // of (the kept list read first, as a run reads it), for WritePlan
    // (app/plan_file.h): the window's 実行予定を保存 and /plan both write it.
    PlanInputs PlanOfFields();
    // Read by start-up before the window opens; OnCreated acts on it.
    CommandLine commandLine;
    int showOnceRunning = -1;  // a /run's window shows so once its run has begun; -1: none waits
    // The command line's part (main_window_command_line.cpp): the jobs,
    // settings files, targets and list files it names, loaded as the window
    // opens; the targets a second start hands over; the run nobody watches
    // (/run, /plan), which ends the window with an exit code and a report.
    void ActOnCommandLine();
    // Existing paths are added as a drop adds them; the missing ones are
    // named in one message.
    void AddArgumentTargets(const std::vector<VQWString>& targets, const std::vector<VQWString>& missing);
    // WM_COPYDATA from a second start.
    LRESULT OnCopyData(LPARAM lParam);
    // Borrowed: wWinMain's; left once the job is loaded and hand-overs are taken. Null: none.
    HandOverGate* startGate = nullptr;
    int OnAppMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    // The unattended start: the boxes it answered, and at its end the
    // process's exit code and what goes to the console.
    UnattendedRun& Unattended() { return unattended; }
    // The watch of the job's folders (main_window_watch.cpp): 監視を開始 and
    // 監視を停止, /watch, the runs of the files that settled. Start is false
    // when the watch was refused (its box shown, or under /watch kept for the console).
    bool StartWatching();
    void StopWatching();
    const FolderWatcher& Watcher() const { return watcher; }
    const VQWString& WatchRefusalText() const { return watchRefusal; }
    int showOnceWatching = -1;  // a /watch's window shows so once watching began; -1: none waits
    // A run that took this long is told at its end when the window is not in front.
    enum { kNotifyAfterMs = 5000 };
    // Opens a file in the program Windows has for it; replaceable by tests.
    bool (*openInDefaultProgram)(HWND owner, const wchar_t* path);
    // The window's clock (GetTickCount): the run button's guards, the
    // caption's time left, the table's redraws, the kept list's rewrite
    // after edits; replaceable by tests.
    DWORD(WINAPI* tickCount)();

private:
    // The worker's news for the kept list.
    void OnRunTargetBegun(int runIndex) override;
    void OnRunTargetFinished(int runIndex, TargetStatus status) override;
    VQWString RunResultsNotes() override;

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
    // 保存: to the current job, or as a name asked for without one; true when the fields are saved.
    bool SaveJob();
    void OnJobDelete();
    // Explorer's menu: added, written again for this program (repair), removed;
    // and rewritten when the jobs' names changed from `before` while it starts this program.
    void OnExplorerMenuAdd(bool repair);
    void OnExplorerMenuRemove();
    void FollowJobNames(const std::vector<VQWString>& before);
    void OnSendToAdd();
    void OnPlanSave();
    bool SaveJobAs(const VQWString& name);
    // The export, the question asked before a file that did not load whole
    // is overwritten; false when it did not save (failed is shown unless refused).
    bool ExportAsking(const wchar_t* path, const VQWString& question, const VQWString& failed);
    bool AskToSaveChanges();
    // The job's file imported (nothing for 「（なし）」); false, its message shown, when it does not load.
    bool LoadJob(const VQWString& name);
    void RefreshJobList();
    void ShowCurrentJob();
    void LoadHistories();
    VQWin32DialogItemComboBoxW* Combo(int id);
    void OnListSelectionChanged();
    // The details line, the preview and the chosen count, for the selection as it is.
    void ShowSelection();
    // AddTargets with the progress window of the whole adding; false when
    // the user cancelled it (the list is then as it was).
    bool AddTargets(const VQArray<VQWString, VQWString>* batch, const VQArray<VQWString, VQWString>* roots,
                    VQWin32ProgressWindow& progress);
    HFONT PanelFont();
    void OnRunEnded(bool closing);
    void ShowProgress(RunState state);
    void SetRunning(bool running);
    void ApplyResults();
    void ShowError(const wchar_t* text);
    void UpdateCount();
    RunOptions ReadRunOptions() { return form.ReadRunOptions(); }
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
    // The caption while a run goes: the progress, and the time left once it can be told.
    VQWString ProgressCaption(RunState state);
    // The kept list's asks and boxes (KeptListEvents); at a run's end each
    // target's outcome goes to the keeper.
    RunState KeptListRunState() override;
    bool KeptListRemovesDone() override;
    void OnKeptListComing() override;
    void OnKeptListCountChanged() override;
    void TellKeptListDamage(const VQWString& text) override;
    void TellKeptListFailure(const VQWString& text) override;
    void KeepRunResults();

    VQWin32DialogItemEditBoxW* EditBox(int id);
    VQWin32DialogItemListView* TargetList();
    VQWin32DialogItemCheckBox* CheckBox(int id);
    // The job settings' fields (JobFields).
    bool IsChecked(int id) override;
    void SetChecked(int id, bool checked) override;
    VQWString EditText(int id) override;
    void SetEditText(int id, const wchar_t* text) override;
    int Choice(int id) override;
    void SetChoice(int id, int choice) override;

    JobForm form{*this};
    TargetListModel targetModel;  // the table shows it entry for entry
    TargetTable table;  // shows targetModel
    OutputWindow outputWindow;
    KeptListKeeper keeper;
    bool sessionEnding = false;
    WindowCascade cascade;  // where it opened beside another instance
    StartStore storage{storagePlace};
    FieldHistories histories;
    JobLibrary jobs;  // the ジョブ drop-down's, and the SettingsSnapshot at the last load or save
    bool previewShowsError = false;  // the preview holds a message, drawn red
    int previewGrowth = 0;           // pixels the preview took from the table
    bool fittingPreview = false;
    void FitPreviewToText();
    RunController runController;
    UnattendedRun unattended;
    std::vector<VQWString> handedOver;  // paths from second starts, not yet added
    void StartUnattended();
    void CheckUnattendedEnd();

    bool WatchCanRun() override;
    bool RunWatchedFiles(const std::vector<WatchedFile>& files) override;
    void OnWatchButton();
    void WatchTick();
    // 監視中 in the caption (when no run shows its progress there) and under the table.
    void ShowWatchState();
    // A run of watched files ended: what it finished is not taken again until it changes.
    void WatchRunEnded();
    void NotifyRunEnd();
    bool OnNotifyIcon(LPARAM lParam);
    // The watch's own messages; -1 for any other.
    int OnWatchMessage(UINT message, LPARAM lParam);
    FolderWatcher watcher{*this};
    bool watchRunGoing = false;     // the run going on is one of watched files
    bool stopWatchAtRunEnd = false;  // 停止 was pressed during it
    bool inWatchTick = false;
    VQWString watchRefusal;
    // What ShowWatchState last showed.
    VQWString shownWatchText;
    bool shownWatching = false;
    bool shownIdle = true;
};
