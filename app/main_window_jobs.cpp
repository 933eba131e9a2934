// The window's side of what it keeps: the settings store of this start
// (registry or portable file), the command fields' histories, the named jobs
// of the ジョブ row with their questions and messages, and 実行予定を保存.
#include <windows.h>

#include "app/main_window.h"
#include "win32/combo_box.h"
#include "win32/common_dialogs.h"
#include "win32/message_box.h"
#include "win32/text_prompt.h"

SettingsStore& MainWindow::Store() {
    if (!store) {
        if (storagePlace.portable) {
            store = NewFileStore(storagePlace.settingsFile, !storagePlace.unwritable, &settingsFileState);
            // Nothing of this start goes to the registry, not even by the window's own values.
            registryKey = VQString();
        } else {
            store = NewRegistryStore(registryKey.Text());
        }
    }
    return *store;
}

int MainWindow::ReadBlock16(const char* valueName, void* buffer16) {
    return Store().ReadBlock16(valueName, buffer16) ? 16 : 0;
}

bool MainWindow::WriteBlock16(const char* valueName, const void* data16) {
    return Store().WriteBlock16(valueName, data16);
}

void MainWindow::TellStorageProblems() {
    if (!storagePlace.portable) return;
    Store();
    if (storagePlace.unwritable) {
        VQWString text;
        text.Format(L"プログラムのフォルダーに書き込めません。設定、履歴、リスト、結果とジョブはどれも保存しません"
                    L"（レジストリにも保存しません）。\n%s",
                    storagePlace.settingsFile.Text());
        ShowError(text.Text());
    } else if (settingsFileState == kSettingsFileUnreadable) {
        VQWString text;
        text.Format(L"Quenbrix.ini を設定ファイルとして読み込めません。既定の設定で起動します。"
                    L"このファイルは書き換えません。\n%s",
                    storagePlace.settingsFile.Text());
        ShowError(text.Text());
    }
}

VQWin32DialogItemComboBoxW* MainWindow::Combo(int id) {
    return dynamic_cast<VQWin32DialogItemComboBoxW*>(FindItemById(id));
}

void MainWindow::LoadHistories() {
    histories.Load(Store());
    for (int id : FieldHistories::Fields()) {
        VQWin32DialogItemComboBoxW* combo = Combo(id);
        if (!combo) continue;
        combo->SetEntries(histories.Of(id)->Entries());
        // Shift+Delete in the open list: the entry goes from the kept history too.
        combo->onRemoveEntry = [this, id](const VQWString& value) { histories.Forget(id, value, Store()); };
    }
}

void MainWindow::RememberRunValues() {
    for (int id : histories.Remember([this](int field) { return EditText(field); }, Store())) {
        if (VQWin32DialogItemComboBoxW* combo = Combo(id)) combo->SetEntries(histories.Of(id)->Entries());
    }
}

VQWString MainWindow::IdleCaption() const {
    if (jobs.Current().IsEmpty()) return VQWString(kIdleCaption);
    VQWString caption;
    return caption.Format(L"%s - %s", jobs.Current().Text(), kIdleCaption);
}

void MainWindow::RefreshJobList() {
    jobs.Refresh();
    if (VQWin32DialogItemComboBoxW* combo = Combo(IDC_JOB_COMBO)) combo->SetEntries(jobs.ShownEntries());
    ShowCurrentJob();
}

void MainWindow::ShowCurrentJob() {
    if (VQWin32DialogItemComboBoxW* combo = Combo(IDC_JOB_COMBO)) combo->SetSelection(jobs.ShownIndex());
    if (handle && runController.State() == RunState::Idle) SetWindowTextW(handle, IdleCaption().Text());
}

bool MainWindow::AskToSaveChanges() {
    if (!jobs.IsChanged(SettingsSnapshot())) return true;
    int answer = MsgBox(this, L"変更を保存しますか？", L"確認", VQMB_YESNOCANCEL, 1);
    if (answer == IDCANCEL || answer == 0) return false;
    if (answer == IDNO) return true;
    if (!jobs.Current().IsEmpty()) return SaveJobAs(jobs.Current());
    OnJobSaveAs();
    return !jobs.IsChanged(SettingsSnapshot());
}

bool MainWindow::ChooseJob(const VQWString& name) {
    bool same = name == jobs.Current() && !name.IsEmpty();
    if (same || !AskToSaveChanges()) {
        ShowCurrentJob();
        return same;
    }
    VQWString path, error;
    if (!jobs.FileToLoad(name, path, error)) {
        ShowError(error.Text());
        ShowCurrentJob();
        return false;
    }
    if (!name.IsEmpty() && !ImportSettingsFileReporting(path.Text(), true)) {
        ShowCurrentJob();
        return false;
    }
    // 「（なし）」: the fields stay, they are no job's any more.
    jobs.SetCurrent(name);
    jobs.MarkSaved(SettingsSnapshot());
    if (name.IsEmpty()) {
        ShowCurrentJob();
    } else {
        RefreshJobList();
    }
    return true;
}

void MainWindow::OnJobChosen() {
    if (VQWin32DialogItemComboBoxW* combo = Combo(IDC_JOB_COMBO)) ChooseJob(jobs.NameAt(combo->GetSelection()));
}

void MainWindow::OnJobMenu() {
    HMENU menu = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_JOB_MENU));
    if (!menu) return;
    HMENU popup = GetSubMenu(menu, 0);
    if (jobs.Current().IsEmpty()) {
        EnableMenuItem(popup, IDM_JOB_SAVE, MF_BYCOMMAND | MF_GRAYED);
        EnableMenuItem(popup, IDM_JOB_DELETE, MF_BYCOMMAND | MF_GRAYED);
    }
    RECT button = {};
    if (VQWin32DialogItem* item = FindItemById(IDC_JOB_MENU_BUTTON)) GetWindowRect(item->GetHandle(), &button);
    // The command comes to OnCommand as a menu's does.
    TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, button.left, button.bottom, 0, handle,
                   nullptr);
    DestroyMenu(menu);
}

bool MainWindow::SaveJobAs(const VQWString& name) {
    VQWString path, error;
    if (!jobs.SavePath(name, path, error)) {
        ShowError(error.Text());
        return false;
    }
    SettingsFileReport report;
    bool saved = ExportSettingsFile(path.Text(), false, &report);
    if (!saved && report.problem == SettingsFileReport::kNeedsOverwrite) {
        VQWString question = JobLibrary::OverwritePartlyReadQuestion(name);
        if (MsgBox(this, question.Text(), L"確認", VQMB_YESNO, 2) != IDYES) return false;
        saved = ExportSettingsFile(path.Text(), true, &report);
    }
    if (!saved) {
        ShowError(JobLibrary::SaveFailedText(path).Text());
        return false;
    }
    jobs.SetCurrent(name);
    jobs.MarkSaved(SettingsSnapshot());
    RefreshJobList();
    return true;
}

void MainWindow::OnJobSaveAs() {
    VQWString name = jobs.Current();
    for (;;) {
        if (!PromptForText(instance, handle, IDD_JOB_NAME, IDC_JOB_NAME_EDIT, JobStore::kMaxNameLength, name)) return;
        JobLibrary::NameCheck check = jobs.CheckSaveName(name);
        if (!check.refusal.IsEmpty()) {
            ShowError(check.refusal.Text());
            continue;
        }
        if (!check.question.IsEmpty()) {
            int answer = MsgBox(this, check.question.Text(), L"確認", VQMB_YESNOCANCEL, 2);
            if (answer == IDNO) continue;
            if (answer != IDYES) return;
        }
        SaveJobAs(name);
        return;
    }
}

void MainWindow::OnJobSave() {
    if (jobs.Current().IsEmpty()) {
        OnJobSaveAs();
        return;
    }
    SaveJobAs(jobs.Current());
}

void MainWindow::OnJobDelete() {
    if (jobs.Current().IsEmpty()) return;
    if (MsgBox(this, jobs.DeleteQuestion().Text(), L"確認", VQMB_YESNO, 2) != IDYES) return;
    VQWString error;
    if (!jobs.DeleteCurrent(error)) {
        ShowError(error.Text());
        return;
    }
    RefreshJobList();
}

PlanInputs MainWindow::PlanOfFields() {
    PlanInputs plan;
    plan.job.preCommand = EditText(IDC_PRECOMMAND_EDIT);
    plan.job.command = EditText(IDC_COMMAND_EDIT);
    plan.job.directory = runController.DirectoryOf(EditText(IDC_DIRECTORY_EDIT));
    plan.job.outputTemplate = EditText(IDC_OUTPUT_EDIT);
    // The kept list is part of what a run would run, as 実行 takes it.
    keeper.FinishLoad();
    for (const RunTarget& target : RunTargetsFromList()) plan.targets.push_back(PlanTarget{target.path, target.root});
    plan.jobName = jobs.Current();
    return plan;
}

void MainWindow::OnPlanSave() {
    wchar_t path[MAX_PATH] = L"";
    if (!ChoosePlanSavePath(path, handle)) return;
    VQWString error;
    if (!WritePlan(PlanOfFields(), path, error)) ShowError(error.Text());
}
