#include "app/main_window.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "base/files.h"
#include "win32/common_dialogs.h"
#include "win32/dialog_items.h"
#include "win32/message_box.h"

const wchar_t kIdleCaption[] = L"対象ファイルにコマンドを実行する";

namespace {

const wchar_t kErrorCaption[] = L"エラー";

// Inputs that a run locks; the run button and the check box stay usable.
const int kLockedDuringRun[] = {IDC_FILEEXT_EDIT, IDC_PRECOMMAND_EDIT,  IDC_COMMAND_EDIT,
                                IDC_DIRECTORY_EDIT, IDC_TARGET_LIST,    IDC_ADD_BUTTON,
                                IDC_LIST_ADD_BUTTON, IDC_DELETE_BUTTON, IDC_DELETE_ALL_BUTTON,
                                IDC_SELECT_DIRECTORY_BUTTON, IDC_LOAD_BUTTON, IDC_SAVE_BUTTON};

// Copies text into a caller's buffer of `units` units, cut and terminated.
void CopyCut(wchar_t* dst, int units, const wchar_t* text) {
    int n = text ? static_cast<int>(wcsnlen(text, units - 1)) : 0;
    wmemcpy(dst, text ? text : L"", n);
    dst[n] = L'\0';
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance) : VQWin32DialogWindow(instance) {}

MainWindow::~MainWindow() { DestroyWorker(); }

VQWin32DialogWindowCreateInfo* MainWindow::MakeCreateInfo(const JobSettings& s, int showCommand) {
    VQWin32DialogWindowCreateInfo* info = new VQWin32DialogWindowCreateInfo({
        new VQWin32DialogItemEditBoxW(IDC_FILEEXT_EDIT, s.fileExt, JobSettings::kFileExtLimit),
        new VQWin32DialogItemEditBoxW(IDC_PRECOMMAND_EDIT, s.preCommand, JobSettings::kPreCommandLimit),
        new VQWin32DialogItemEditBoxW(IDC_COMMAND_EDIT, s.command, JobSettings::kCommandLimit),
        new VQWin32DialogItemEditBoxW(IDC_DIRECTORY_EDIT, s.directory, JobSettings::kDirectoryLimit),
        new VQWin32DialogItemListBoxW(IDC_TARGET_LIST),
        new VQWin32DialogItemCheckBox(IDC_DELETE_CHECK, s.deleteFinished != 0),
        new VQWin32DialogItem(IDC_ADD_BUTTON),
        new VQWin32DialogItem(IDC_LIST_ADD_BUTTON),
        new VQWin32DialogItem(IDC_DELETE_BUTTON),
        new VQWin32DialogItem(IDC_DELETE_ALL_BUTTON),
        new VQWin32DialogItem(IDC_RUN_BUTTON),
        new VQWin32DialogItem(IDC_SELECT_DIRECTORY_BUTTON),
        new VQWin32DialogItem(IDC_LOAD_BUTTON),
        new VQWin32DialogItem(IDC_SAVE_BUTTON),
    });
    info->templateId = IDD_MAIN;
    info->showCommand = showCommand;
    info->className = L"Quenbrix";
    info->caption = kIdleCaption;
    char narrow[128] = {};
    WideCharToMultiByte(932, 0, kIdleCaption, -1, narrow, sizeof narrow - 1, nullptr, nullptr);
    info->narrowTitle = narrow;
    info->icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    return info;
}

bool MainWindow::PreCreate(VQWin32WindowCreateInfo* info) { return VQWin32DialogWindow::PreCreate(info); }

bool MainWindow::PostCreate(VQWin32WindowCreateInfo* info) {
    if (!VQWin32DialogWindow::PostCreate(info)) return false;
    SetSizeLimits(320, 128, -1, -1, 0, 0);
    LoadAccelerators(MAKEINTRESOURCEA(IDR_ACCELERATORS));
    DragAcceptFiles(handle, TRUE);
    // A worker that cannot start leaves Run without effect; the window still works.
    CreateWorker();
    SetTimer(handle, kTimerId, kTimerPeriodMs, nullptr);
    return true;
}

void MainWindow::OnCreated() {
    const wchar_t* commandLine = GetCommandLineW();
    if (!commandLine) return;
    wchar_t program[520];
    const wchar_t* rest = NextArgument(program, 520, commandLine);
    if (!rest) return;
    wchar_t argument[260] = {};
    NextArgument(argument, 260, rest);
    // A file that cannot be imported leaves the registry settings in place, silently.
    if (argument[0]) ImportSettingsFile(argument);
}

bool MainWindow::CanClose() {
    VQWin32DialogWindow::CanClose();
    if (handle) KillTimer(handle, kTimerId);
    // Stops a running job (at most about 200 ms for its step) before saving.
    DestroyWorker();
    if (handle) DragAcceptFiles(handle, FALSE);
    SaveRegistrySettings();
    return true;
}

void MainWindow::OnDestroyed() { VQWin32DialogWindow::OnDestroyed(); }

int MainWindow::OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDM_ABOUT: OnAbout(); return 0;
    case IDM_EXIT: SendMessageW(handle, WM_CLOSE, 0, 0); return 0;
    case IDC_RUN_BUTTON: RunOrStop(); return 0;
    case IDC_ADD_BUTTON: OnAdd(); return 0;
    case IDC_DELETE_BUTTON: OnDelete(); return 0;
    case IDC_DELETE_ALL_BUTTON: OnDeleteAll(); return 0;
    case IDC_SELECT_DIRECTORY_BUTTON: OnSelectDirectory(); return 0;
    case IDC_LIST_ADD_BUTTON: OnListAdd(); return 0;
    case IDC_LOAD_BUTTON: OnLoad(); return 0;
    case IDC_SAVE_BUTTON: OnSave(); return 0;
    default: return VQWin32DialogWindow::OnCommand(hwnd, wParam, lParam);
    }
}

void MainWindow::OnAbout() { DialogBox(IDD_ABOUT, IDC_ABOUT_DESCRIPTION, IDC_ABOUT_VERSION, IDC_ABOUT_COPYRIGHT); }

void MainWindow::RunOrStop() {
    if (!thread) return;
    if (thread->IsIdle()) {
        VQArray<VQWString, VQWString> list;
        if (VQWin32DialogItemListBoxW* box = TargetList()) box->GetAllStrings(list);
        switch (StartRun(EditText(IDC_PRECOMMAND_EDIT), EditText(IDC_COMMAND_EDIT), EditText(IDC_DIRECTORY_EDIT),
                         list)) {
        case Started: SetRunning(true); break;
        case NoTargets: ShowError(L"対象ファイルを指定してください。"); break;
        case NoCommand: ShowError(L"コマンドを入力してください。"); break;
        case NoDirectory: {
            VQWString message;
            message.Format(L"カレントディレクトリが見つかりません。\n%s", runDirectory.Text());
            ShowError(message.Text());
            break;
        }
        case NotStarted: break;
        }
    } else if (thread->IsBusy(true)) {
        RequestStop();
    }
}

void MainWindow::SetRunning(bool running) {
    for (int id : kLockedDuringRun) {
        if (VQWin32DialogItem* item = FindItemById(id)) item->Enable(!running);
    }
    if (VQWin32DialogItem* run = FindItemById(IDC_RUN_BUTTON)) {
        run->SetTextW(running ? L"停止(&T)" : L"実行(&E)", false);
    }
}

int MainWindow::OnTimer(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    if (wParam != kTimerId) return VQWin32DialogWindow::OnTimer(hwnd, wParam, lParam);
    if (!thread || !thread->IsCreated() || thread->IsIdle()) return 0;
    if (!thread->Wait(0, true, false)) {
        VQWString caption;
        caption.Format(L"処理中(%d/%d) - %s", startedCount.load(), targets.GetCount(), kIdleCaption);
        SetWindowTextW(handle, caption.Text());
        return 0;
    }
    OnJobEnded();
    return 0;
}

void MainWindow::OnJobEnded() {
    SetRunning(false);
    SetWindowTextW(handle, kIdleCaption);
    // The box's state when the run ends decides, not its state at the start.
    if (IsDeleteChecked()) RemoveFinishedTargets();
    // The error comes last, from a copy: while its box waits, the next run
    // may already start (an about box closed under it gives the window back)
    // and reset the counters and errorText of this one.
    VQWString error = errorText;
    if (!error.IsEmpty()) ShowError(error.Text());
}

void MainWindow::OnSelectDirectory() {
    VQWString start = EditText(IDC_DIRECTORY_EDIT);
    if (start.IsEmpty()) start = startDirectory;
    wchar_t folder[MAX_PATH];
    CopyCut(folder, MAX_PATH, start.Text());
    if (ChooseFolder(folder) == 1) SetEditText(IDC_DIRECTORY_EDIT, folder);
}

void MainWindow::OnLoad() {
    wchar_t path[MAX_PATH];
    CopyCut(path, MAX_PATH, settingsPath.Text());
    if (!ChooseOpenFile(path, L"設定を読み込む", L"設定ファイル", L"ini", handle)) return;
    ImportSettingsFileReporting(path);
}

void MainWindow::OnSave() {
    wchar_t path[MAX_PATH];
    CopyCut(path, MAX_PATH, settingsPath.Text());
    if (!ChooseSettingsSavePath(path)) return;
    ExportSettingsFileAsking(path);
}

void MainWindow::ShowError(const wchar_t* text) { MsgBox(this, text, kErrorCaption, VQMB_OK, 1); }

VQWin32DialogItemEditBoxW* MainWindow::EditBox(int id) {
    return dynamic_cast<VQWin32DialogItemEditBoxW*>(FindItemById(id));
}

VQWin32DialogItemListBoxW* MainWindow::TargetList() {
    return dynamic_cast<VQWin32DialogItemListBoxW*>(FindItemById(IDC_TARGET_LIST));
}

bool MainWindow::IsDeleteChecked() {
    VQWin32DialogItemCheckBox* box = dynamic_cast<VQWin32DialogItemCheckBox*>(FindItemById(IDC_DELETE_CHECK));
    if (!box) return false;
    if (box->GetHandle()) return SendMessageW(box->GetHandle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
    return box->checkState != 0;
}

VQWString MainWindow::EditText(int id) {
    VQWin32DialogItemEditBoxW* box = EditBox(id);
    return box ? box->GetTextW(false) : VQWString();
}

void MainWindow::SetEditText(int id, const wchar_t* text) {
    if (VQWin32DialogItemEditBoxW* box = EditBox(id)) box->SetTextW(text, false);
}
