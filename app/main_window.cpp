#include "app/main_window.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>

#include "base/files.h"
#include "base/timing_log.h"
#include "win32/combo_box.h"
#include "win32/common_dialogs.h"
#include "win32/link_line.h"
#include "win32/dialog_items.h"
#include "win32/list_view.h"
#include "win32/message_box.h"
#include "win32/shell.h"
#include "win32/taskbar.h"

namespace {

const wchar_t kErrorCaption[] = L"エラー";

// Copies text into a caller's buffer of `units` units, cut and terminated.
void CopyCut(wchar_t* dst, int units, const wchar_t* text) {
    int n = text ? static_cast<int>(wcsnlen(text, units - 1)) : 0;
    wmemcpy(dst, text ? text : L"", n);
    dst[n] = L'\0';
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance)
    : VQWin32DialogWindow(instance),
      dataFolder(CurrentStoragePlace().dataFolder),
      showInFolder(VQWin32ShowInExplorer),
      copyToClipboard(VQWin32CopyTextToClipboard),
      storagePlace(CurrentStoragePlace()),
      openInDefaultProgram(VQWin32OpenWithShell),
      tickCount(GetTickCount),
      table(targetModel, *this),
      keeper(targetModel, *this),
      runController(this, [this] { return tickCount(); }) {
    // The panel's spin control and its link line are common controls of version 6.
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES |
                                                        ICC_LINK_CLASS | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
}

MainWindow::~MainWindow() { runController.Runner().DestroyWorker(); }

void MainWindow::Relayout() {
    VQWin32DialogWindow::Relayout();
    // A new width wraps the preview's lines anew.
    FitPreviewToText();
}

bool MainWindow::PreCreate(VQWin32WindowCreateInfo* info) {
    if (!VQWin32DialogWindow::PreCreate(info)) return false;
    // The base gives a window without a key one of its own; a portable
    // start keeps none, so that no value of the window reaches the registry.
    if (storagePlace.portable) registryKey = VQString();
    // A window for real work: it can be minimised and maximised as well as sized.
    info->style |= WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    cascade.Place(info);
    return true;
}

bool MainWindow::PostCreate(VQWin32WindowCreateInfo* info) {
    if (!VQWin32DialogWindow::PostCreate(info)) return false;
    table.Attach(dynamic_cast<VQWin32DialogItemListView*>(FindItemById(IDC_TARGET_LIST)),
                 dynamic_cast<VQWin32DialogItemLinkLine*>(FindItemById(IDC_TABLE_STATUS)),
                 dynamic_cast<VQWin32DialogItemProgressBar*>(FindItemById(IDC_TABLE_PROGRESS)));
    LoadAccelerators(MAKEINTRESOURCEA(IDR_ACCELERATORS));
    DragAcceptFiles(handle, TRUE);
    // A worker that cannot start leaves Run without effect; the window still works.
    runController.Runner().CreateWorker();
    // The run's end is taken as it comes, not at the next tick.
    runController.Runner().SetRunEndNotice([window = handle] { PostMessageW(window, WM_TIMER, kTimerId, 0); });
    if (!dataFolder.IsEmpty()) {
        VQWString results = dataFolder;
        results.Append(L"\\runs");
        runController.Runner().SetResultsFolder(results);
    }
    SetTimer(handle, kTimerId, kTimerPeriodMs, nullptr);
    // The field's note stands in it while it is empty: its label sits beside it.
    if (VQWin32DialogItemComboBoxW* directory = Combo(IDC_DIRECTORY_EDIT)) {
        directory->SetCueBanner(L"空欄の場合は起動時のカレントディレクトリ");
    }
    UpdateCount();
    TimingMark("controls made");
    LoadHistories();
    jobs.SetFolder(storagePlace.jobsFolder, !storagePlace.unwritable);
    RefreshJobList();
    TimingMark("histories and jobs read");
    return true;
}

void MainWindow::OnCreated() {
    cascade.Opened(clientScreenRect);
    table.RestoreLayout(Store(), dpi);
    // The list the program left comes back first; a settings file named on
    // the command line then sets the job.
    RestoreTargetList();
    TimingMark("kept list restored");
    VQWString storageProblem = storage.ProblemText();
    if (!storageProblem.IsEmpty()) ShowError(storageProblem.Text());
    ActOnCommandLine();
    TimingMark("command line acted on");
    // What the fields hold now counts as loaded: changes from here are asked about.
    jobs.MarkSaved(SettingsSnapshot());
}

LRESULT MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // The session ends: the run is ended without a question, the list and
    // the settings are still saved.
    if (message == WM_QUERYENDSESSION || (message == WM_ENDSESSION && wParam)) sessionEnding = true;
    if (message == WM_COPYDATA) return OnCopyData(lParam);
    if (message == WM_ENDSESSION && wParam && handle && IsWindow(handle)) {
        SendMessageW(handle, WM_CLOSE, 0, 0);
        return 0;
    }
    return VQWin32DialogWindow::WindowProc(hwnd, message, wParam, lParam);
}

bool MainWindow::CanClose() {
    BatchRunner& runner = runController.Runner();
    RunState state = runner.GetState();
    if (state == RunState::Running || state == RunState::Stopping || state == RunState::Forcing) {
        if (!sessionEnding &&
            MsgBox(this, L"実行中です。実行中のコマンドを終了して閉じますか？", L"確認", VQMB_YESNO, 2) != IDYES) {
            return false;
        }
        // The box may have waited long enough for the run to end by itself.
        runner.ForceStop();
        runner.WaitUntilEnded();
    }
    // An ended run's results decide what stays in the list that is kept.
    if (runner.GetState() == RunState::Ended) OnRunEnded(true);
    // After the run's end: what it finished is in the watch's ledger.
    StopWatching();
    VQWin32DialogWindow::CanClose();
    if (handle) KillTimer(handle, kTimerId);
    runner.DestroyWorker();
    if (handle) DragAcceptFiles(handle, FALSE);
    SaveRegistrySettings();
    table.TakeLayout(dpi);
    // The window goes: a start made now waits for its last rewrite and takes this list.
    keeper.BeginClosing();
    return true;
}

void MainWindow::OnDestroyed() {
    if (!cascade.KeepsSavedPlace(clientScreenRect)) savePlacement = 0;
    // The last rewrite is on the disk before the window is gone.
    keeper.Close();
    VQGetTaskbar()->EndNotify(handle);
    // The controls go with the panel.
    table.Attach(nullptr, nullptr);
    VQWin32DialogWindow::OnDestroyed();
    table.SaveLayout(Store());
    // The window's place is in the store now; the portable file is written once.
    Store().Flush();
}

void MainWindow::OnDpiChanged(UINT newDpi, const RECT* suggested) {
    UINT old = dpi ? dpi : 96;
    // The height the preview took is scaled with the rectangles that hold it.
    if (dialogHandle && dpi && newDpi) {
        previewGrowth = MulDiv(previewGrowth, static_cast<int>(newDpi), static_cast<int>(old));
    }
    VQWin32DialogWindow::OnDpiChanged(newDpi, suggested);
    table.ScaleColumns(old, newDpi);
}

int MainWindow::OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDM_ABOUT: OnAbout(); return 0;
    case IDM_EXIT: SendMessageW(handle, WM_CLOSE, 0, 0); return 0;
    case IDM_STOP:
        // The table's Escape belongs to the output window when it has the keyboard.
        if (outputWindow.viewer.IsOpen() && GetAncestor(GetFocus(), GA_ROOT) == outputWindow.viewer.Handle()) {
            outputWindow.viewer.Close();
            return 0;
        }
        // Escape asks for the first Stop only; the second stays a deliberate press.
        if (runController.State() == RunState::Running) RunOrStop();
        return 0;
    case IDC_SELECT_MENU_BUTTON: {
        RECT button = {};
        if (VQWin32DialogItem* item = FindItemById(IDC_SELECT_MENU_BUTTON)) GetWindowRect(item->GetHandle(), &button);
        table.ShowMenu(POINT{button.left, button.bottom});
        return 0;
    }
    case IDC_RUN_BUTTON: RunOrStop(); return 0;
    case IDC_ADD_BUTTON: OnAdd(); return 0;
    case IDC_DELETE_BUTTON: OnDelete(); return 0;
    case IDC_DELETE_ALL_BUTTON: OnDeleteAll(); return 0;
    case IDC_SELECT_DIRECTORY_BUTTON: OnSelectDirectory(); return 0;
    case IDC_LIST_ADD_BUTTON: OnListAdd(); return 0;
    case IDC_LOAD_BUTTON: OnLoad(); return 0;
    case IDC_SAVE_BUTTON: OnSave(); return 0;
    case IDC_OPEN_RESULTS_BUTTON: OpenLastResults(); return 0;
    case IDC_WATCH_BUTTON: OnWatchButton(); return 0;
    case IDC_JOB_MENU_BUTTON: OnJobMenu(); return 0;
    case IDM_JOB_SAVE_AS: OnJobSaveAs(); return 0;
    case IDM_JOB_SAVE: SaveJob(); return 0;
    case IDM_JOB_DELETE: OnJobDelete(); return 0;
    case IDM_PLAN_SAVE: OnPlanSave(); return 0;
    case IDM_EXPLORER_MENU_ADD: OnExplorerMenuAdd(false); return 0;
    case IDM_EXPLORER_MENU_REPAIR: OnExplorerMenuAdd(true); return 0;
    case IDM_EXPLORER_MENU_REMOVE: OnExplorerMenuRemove(); return 0;
    case IDM_SEND_TO_ADD: OnSendToAdd(); return 0;
    case IDC_JOB_COMBO:
        if (HIWORD(wParam) == CBN_SELCHANGE) OnJobChosen();
        return VQWin32DialogWindow::OnCommand(hwnd, wParam, lParam);
    case IDC_PRECOMMAND_EDIT:
    case IDC_COMMAND_EDIT:
    case IDC_OUTPUT_EDIT:
        // An entry chosen from the history reaches the field only after
        // CBN_SELCHANGE: it is put there first.
        if (HIWORD(wParam) == CBN_SELCHANGE) {
            if (VQWin32DialogItemComboBoxW* combo = Combo(LOWORD(wParam))) combo->TakeSelectedText();
        }
        if (HIWORD(wParam) == EN_CHANGE || HIWORD(wParam) == CBN_EDITCHANGE || HIWORD(wParam) == CBN_SELCHANGE) {
            UpdatePreview();
        }
        return VQWin32DialogWindow::OnCommand(hwnd, wParam, lParam);
    case IDC_DIRECTORY_EDIT:
        if (HIWORD(wParam) == CBN_SELCHANGE) {
            if (VQWin32DialogItemComboBoxW* combo = Combo(LOWORD(wParam))) combo->TakeSelectedText();
        }
        return VQWin32DialogWindow::OnCommand(hwnd, wParam, lParam);
    default: return VQWin32DialogWindow::OnCommand(hwnd, wParam, lParam);
    }
}

INT_PTR MainWindow::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CTLCOLORSTATIC:
        // The brush itself is the answer here, not DWLP_MSGRESULT.
        if (reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, IDC_PREVIEW)) {
            return PreviewColors(reinterpret_cast<HDC>(wParam));
        }
        break;
    default: break;
    }
    return VQWin32DialogWindow::DialogProc(dialog, message, wParam, lParam);
}

void MainWindow::OnAbout() { DialogBox(IDD_ABOUT, IDC_ABOUT_DESCRIPTION, IDC_ABOUT_VERSION, IDC_ABOUT_COPYRIGHT); }

void MainWindow::OnSelectDirectory() {
    VQWString start = EditText(IDC_DIRECTORY_EDIT);
    if (start.IsEmpty()) start = runController.Runner().GetStartDirectory();
    wchar_t folder[MAX_PATH];
    CopyCut(folder, MAX_PATH, start.Text());
    if (ChooseFolder(folder) == 1) SetEditText(IDC_DIRECTORY_EDIT, folder);
}

void MainWindow::OnLoad() {
    wchar_t path[MAX_PATH];
    CopyCut(path, MAX_PATH, form.SettingsPath().Text());
    if (!ChooseOpenFile(path, L"設定を読み込む", L"設定ファイル", L"ini", handle)) return;
    if (!ImportSettingsFileReporting(path)) return;
    // A file from anywhere: the fields are no named job's now.
    jobs.MarkLoaded(VQWString(), SettingsSnapshot());
    ShowCurrentJob();
}

void MainWindow::OnSave() {
    wchar_t path[MAX_PATH];
    CopyCut(path, MAX_PATH, form.SettingsPath().Text());
    if (!ChooseSettingsSavePath(path)) return;
    ExportSettingsFileAsking(path);
}

void MainWindow::ShowError(const wchar_t* text) { MsgBox(this, text, kErrorCaption, VQMB_OK, 1); }

VQWin32DialogItemEditBoxW* MainWindow::EditBox(int id) {
    return dynamic_cast<VQWin32DialogItemEditBoxW*>(FindItemById(id));
}

VQWin32DialogItemListView* MainWindow::TargetList() { return table.View(); }

HFONT MainWindow::PanelFont() {
    VQWin32DialogItemListView* view = TargetList();
    return view ? view->GetFont() : nullptr;
}

VQWin32DialogItemCheckBox* MainWindow::CheckBox(int id) {
    return dynamic_cast<VQWin32DialogItemCheckBox*>(FindItemById(id));
}

bool MainWindow::IsChecked(int id) {
    VQWin32DialogItemCheckBox* box = CheckBox(id);
    return box && box->IsChecked();
}

VQWString MainWindow::EditText(int id) {
    VQWin32DialogItemEditBoxW* box = EditBox(id);
    return box ? box->GetTextW(false) : VQWString();
}

void MainWindow::SetEditText(int id, const wchar_t* text) {
    if (VQWin32DialogItemEditBoxW* box = EditBox(id)) box->SetTextW(text, false);
}
