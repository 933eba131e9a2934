#include "app/main_window.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "base/files.h"
#include "base/timing_log.h"
#include "win32/combo_box.h"
#include "win32/common_dialogs.h"
#include "win32/link_line.h"
#include "win32/dialog_items.h"
#include "win32/list_view.h"
#include "win32/dpi.h"
#include "win32/drop_down.h"
#include "win32/message_box.h"
#include "win32/monitor.h"

const wchar_t kIdleCaption[] = L"対象ファイルにコマンドを実行する";

namespace {

const wchar_t kErrorCaption[] = L"エラー";

// Copies text into a caller's buffer of `units` units, cut and terminated.
void CopyCut(wchar_t* dst, int units, const wchar_t* text) {
    int n = text ? static_cast<int>(wcsnlen(text, units - 1)) : 0;
    wmemcpy(dst, text ? text : L"", n);
    dst[n] = L'\0';
}

VQWin32DialogItem* Anchored(VQWin32DialogItem* item, int anchors) {
    item->anchorFlags = anchors;
    return item;
}

bool OpenWithShell(HWND owner, const wchar_t* path) {
    return reinterpret_cast<INT_PTR>(ShellExecuteW(owner, L"open", path, nullptr, nullptr, SW_SHOWNORMAL)) > 32;
}

bool ShowInExplorer(HWND, const wchar_t* path) {
    // The folder opens with the file selected.
    VQWString parameters;
    parameters.Format(L"/select,\"%s\"", path);
    return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", L"explorer.exe", parameters.Text(), nullptr,
                                                   SW_SHOWNORMAL)) > 32;
}

bool CopyTextToClipboard(HWND owner, const VQWString& text) {
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    size_t bytes = (static_cast<size_t>(text.GetLength()) + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool copied = false;
    if (block) {
        void* data = GlobalLock(block);
        memcpy(data, text.Text(), bytes);
        GlobalUnlock(block);
        copied = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
        // The clipboard owns a block it took.
        if (!copied) GlobalFree(block);
    }
    CloseClipboard();
    return copied;
}

// The frame rectangles of the windows of this class that are open now; a
// minimised one by the place it comes back to.
std::vector<RECT> OpenWindowsOfClass(const wchar_t* className) {
    std::vector<RECT> found;
    for (HWND other = FindWindowExW(nullptr, nullptr, className, nullptr); other;
         other = FindWindowExW(nullptr, other, className, nullptr)) {
        if (!IsWindowVisible(other)) continue;
        RECT rect;
        if (IsIconic(other)) {
            WINDOWPLACEMENT placement = {};
            placement.length = sizeof placement;
            if (!GetWindowPlacement(other, &placement)) continue;
            rect = placement.rcNormalPosition;
            // Workspace coordinates: they start at the corner of the monitor's
            // work area, which a taskbar at the top or left moves.
            MONITORINFO monitor = {};
            monitor.cbSize = sizeof monitor;
            if (GetMonitorInfoW(MonitorFromRect(&rect, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
                OffsetRect(&rect, monitor.rcWork.left - monitor.rcMonitor.left,
                           monitor.rcWork.top - monitor.rcMonitor.top);
            }
        } else if (!GetWindowRect(other, &rect)) {
            continue;
        }
        found.push_back(rect);
    }
    return found;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance)
    : VQWin32DialogWindow(instance),
      dataFolder(CurrentStoragePlace().dataFolder),
      showInFolder(ShowInExplorer),
      copyToClipboard(CopyTextToClipboard),
      storagePlace(CurrentStoragePlace()),
      openInDefaultProgram(OpenWithShell),
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

VQWin32DialogWindowCreateInfo* MainWindow::MakeCreateInfo(const JobSettings& s, int showCommand) {
    const int down = VQWin32AnchorMoveDown;
    const int downWide = VQWin32AnchorMoveDown | VQWin32AnchorStretchRight;
    const int downRight = VQWin32AnchorMoveDown | VQWin32AnchorMoveRight;
    // A job setting's control as the settings table describes it.
    auto setting = [&s](int id) { return JobForm::NewControl(s, id); };
    VQWin32DialogWindowCreateInfo* info = new VQWin32DialogWindowCreateInfo({
        setting(IDC_FILEEXT_EDIT),
        setting(IDC_PRECOMMAND_EDIT),
        setting(IDC_COMMAND_EDIT),
        setting(IDC_DIRECTORY_EDIT),
        new VQWin32DialogItem(IDC_JOB_LABEL),
        Anchored(new VQWin32DialogItemComboBoxW(IDC_JOB_COMBO, L"", -1), VQWin32AnchorStretchRight),
        Anchored(new VQWin32DialogItem(IDC_JOB_MENU_BUTTON), VQWin32AnchorMoveRight),
        Anchored(new VQWin32DialogItemListView(IDC_TARGET_LIST, &table, TargetTable::Columns()),
                 VQWin32AnchorStretchRight | VQWin32AnchorStretchDown),
        setting(IDC_DELETE_CHECK),
        // The list's own buttons sit above it, at its right.
        Anchored(new VQWin32DialogItem(IDC_ADD_BUTTON), VQWin32AnchorMoveRight),
        Anchored(new VQWin32DialogItem(IDC_LIST_ADD_BUTTON), VQWin32AnchorMoveRight),
        Anchored(new VQWin32DialogItem(IDC_DELETE_BUTTON), VQWin32AnchorMoveRight),
        Anchored(new VQWin32DialogItem(IDC_DELETE_ALL_BUTTON), VQWin32AnchorMoveRight),
        Anchored(new VQWin32DialogItem(IDC_RUN_BUTTON), downRight),
        Anchored(new VQWin32DialogItem(IDC_SELECT_DIRECTORY_BUTTON), downRight),
        Anchored(new VQWin32DialogItem(IDC_LOAD_BUTTON), down),
        Anchored(new VQWin32DialogItem(IDC_SAVE_BUTTON), down),
        setting(IDC_CHECK_EXIT_CODE),
        setting(IDC_HIDE_COMMAND),
        setting(IDC_PARALLEL_EDIT),
        Anchored(new VQWin32DialogItemUpDown(IDC_PARALLEL_SPIN, 1, BatchRunner::kMaxParallel), downRight),
        Anchored(new VQWin32DialogItem(IDC_PARALLEL_LABEL), downRight),
        Anchored(new VQWin32DialogItem(IDC_OPEN_RESULTS_BUTTON), down),
        Anchored(new VQWin32DialogItem(IDC_PREVIEW), downWide),
        new VQWin32DialogItem(IDC_TARGET_LABEL),
        Anchored(new VQWin32DialogItem(IDC_SELECT_MENU_BUTTON), VQWin32AnchorMoveRight),
        Anchored(new VQWin32DialogItem(IDC_RESULT_DETAIL), downWide),
        Anchored(new VQWin32DialogItemLinkLine(IDC_TABLE_STATUS, [this](const wchar_t* name) { table.OnStatusClick(name); }),
                 downWide),
        Anchored(new VQWin32DialogItemProgressBar(IDC_TABLE_PROGRESS), downRight),
        Anchored(new VQWin32DialogItem(IDC_FILEEXT_LABEL), down),
        Anchored(new VQWin32DialogItem(IDC_PRECOMMAND_LABEL), down),
        Anchored(new VQWin32DialogItem(IDC_COMMAND_LABEL), down),
        Anchored(new VQWin32DialogItem(IDC_DIRECTORY_LABEL), down),
        Anchored(new VQWin32DialogItem(IDC_OUTPUT_LABEL), down),
        setting(IDC_OUTPUT_EDIT),
        Anchored(new VQWin32DialogItem(IDC_ON_FAILURE_LABEL), down),
        setting(IDC_ON_FAILURE_COMBO),
        Anchored(new VQWin32DialogItem(IDC_TIME_LIMIT_LABEL), down),
        setting(IDC_TIME_LIMIT_EDIT),
        Anchored(new VQWin32DialogItem(IDC_RETRIES_LABEL), down),
        setting(IDC_RETRIES_EDIT),
        setting(IDC_LOW_PRIORITY_CHECK),
        setting(IDC_SKIP_UP_TO_DATE_CHECK),
        setting(IDC_CHECK_OUTPUT_CHECK),
        setting(IDC_KEEP_FAILED_OUTPUT_CHECK),
    });
    info->templateId = IDD_MAIN;
    info->showCommand = showCommand;
    info->className = L"Quenbrix";
    info->caption = kIdleCaption;
    info->resizable = true;
    info->uiFont = true;
    info->style = WS_OVERLAPPEDWINDOW;
    info->exStyle = 0;
    char narrow[128] = {};
    WideCharToMultiByte(932, 0, kIdleCaption, -1, narrow, sizeof narrow - 1, nullptr, nullptr);
    info->narrowTitle = narrow;
    info->icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    return info;
}

RECT MainWindow::DefaultClientRect(const RECT& workArea, UINT dpi, const RECT& frame) {
    // The client area starts where it always did, 32 pixels in.
    int left = workArea.left + VQWin32ScaleToDpi(32, dpi);
    int width = std::min<int>(workArea.right - frame.right - left, VQWin32ScaleToDpi(1000, dpi));
    return RECT{left, workArea.top - frame.top, left + width, workArea.bottom - frame.bottom};
}

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
    CascadeFromOpenWindows(info);
    return true;
}

void MainWindow::CascadeFromOpenWindows(VQWin32WindowCreateInfo* info) {
    // Another instance opened at the same saved place: this one goes a
    // caption further down and right, not on top of it.
    std::vector<RECT> open = OpenWindowsOfClass(info->className.Text());
    if (open.empty()) return;
    RECT frame = info->rect;
    if (!info->rectIsWindowRect) AdjustWindowRectEx(&frame, info->style, info->menuName != nullptr, info->exStyle);
    int step = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYSIZEFRAME);
    // A window as high as the work area (a first start) makes room for the
    // steps by growing shorter, rather than going back to the corner.
    RECT work = WorkAreaOf(frame);
    int count = static_cast<int>(open.size());
    RECT shorter = frame;
    if (frame.top <= work.top) {
        LONG past = frame.bottom + count * step - work.bottom;
        shorter.bottom -= std::max<LONG>(0, std::min<LONG>(past, frame.bottom - frame.top - step));
    }
    RECT placed = CascadeRect(shorter, open.data(), count, step);
    if (placed.left == frame.left && placed.top == frame.top) return;
    int bottom = std::min<int>(placed.top + (frame.bottom - frame.top), std::max(work.bottom, placed.bottom));
    OffsetRect(&info->rect, placed.left - frame.left, placed.top - frame.top);
    info->rect.bottom -= (placed.top + (frame.bottom - frame.top)) - bottom;
    cascaded = true;
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
    COMBOBOXINFO directory = {};
    directory.cbSize = sizeof directory;
    if (VQWin32DialogItem* item = FindItemById(IDC_DIRECTORY_EDIT)) {
        if (GetComboBoxInfo(item->GetHandle(), &directory) && directory.hwndItem) {
            SendMessageW(directory.hwndItem, EM_SETCUEBANNER, TRUE,
                         reinterpret_cast<LPARAM>(L"空欄の場合は起動時のカレントディレクトリ"));
        }
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
    openedPlace = clientScreenRect;
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
    // A window placed beside another instance leaves the saved place to that
    // one unless the user moved or sized it, so the place does not creep a
    // step further with every second instance.
    if (cascaded && EqualRect(&clientScreenRect, &openedPlace)) savePlacement = 0;
    // The last rewrite is on the disk before the window is gone.
    keeper.Close();
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
    // The columns keep their share of the scale.
    VQWin32DialogItemListView* view = TargetList();
    if (!view || old == newDpi) return;
    std::vector<int> widths = view->GetColumnWidths();
    for (int& width : widths) width = MulDiv(width, static_cast<int>(newDpi), static_cast<int>(old));
    view->SetColumnWidths(widths);
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
    case IDC_JOB_MENU_BUTTON: OnJobMenu(); return 0;
    case IDM_JOB_SAVE_AS: OnJobSaveAs(); return 0;
    case IDM_JOB_SAVE: SaveJob(); return 0;
    case IDM_JOB_DELETE: OnJobDelete(); return 0;
    case IDM_PLAN_SAVE: OnPlanSave(); return 0;
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
    jobs.SetCurrent(VQWString());
    jobs.MarkSaved(SettingsSnapshot());
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
