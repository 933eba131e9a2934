// The window's side of what it keeps: the command fields' histories in their
// drop-downs, the ジョブ row with the questions and messages the job library
// gives (app/job_library.h), and 実行予定を保存.
#include <windows.h>

#include "app/main_window.h"
#include "win32/combo_box.h"
#include "win32/common_dialogs.h"
#include "win32/message_box.h"
#include "win32/popup_menu.h"
#include "win32/text_prompt.h"

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
    return answer == IDNO || (answer == IDYES && SaveJob());
}

bool MainWindow::ChooseJob(const VQWString& name) {
    bool same = jobs.IsCurrent(name);
    if (same || !AskToSaveChanges() || !LoadJob(name)) {
        ShowCurrentJob();
        return same;
    }
    // 「（なし）」: the fields stay, they are no job's any more.
    jobs.MarkLoaded(name, SettingsSnapshot());
    name.IsEmpty() ? ShowCurrentJob() : RefreshJobList();
    return true;
}

bool MainWindow::LoadJob(const VQWString& name) {
    VQWString path, error;
    if (jobs.FileToLoad(name, path, error)) return name.IsEmpty() || ImportSettingsFileReporting(path.Text(), true);
    ShowError(error.Text());
    return false;
}

void MainWindow::OnJobChosen() {
    if (VQWin32DialogItemComboBoxW* combo = Combo(IDC_JOB_COMBO)) ChooseJob(jobs.NameAt(combo->GetSelection()));
}

void MainWindow::OnJobMenu() {
    std::vector<int> grayed;
    if (jobs.Current().IsEmpty()) grayed = {IDM_JOB_SAVE, IDM_JOB_DELETE};
    VQWin32DialogItem* button = FindItemById(IDC_JOB_MENU_BUTTON);
    // The command comes to OnCommand as a menu's does.
    ShowMenuBelow(instance, IDR_JOB_MENU, handle, button ? button->GetHandle() : nullptr, grayed);
}

bool MainWindow::SaveJobAs(const VQWString& name) {
    VQWString path, error;
    if (!jobs.SavePath(name, path, error)) {
        ShowError(error.Text());
        return false;
    }
    if (!ExportAsking(path.Text(), JobLibrary::OverwritePartlyReadQuestion(name), JobLibrary::SaveFailedText(path))) {
        return false;
    }
    jobs.MarkLoaded(name, SettingsSnapshot());
    RefreshJobList();
    return true;
}

void MainWindow::OnJobSaveAs() {
    VQWString name = jobs.Current();
    while (PromptForText(instance, handle, IDD_JOB_NAME, IDC_JOB_NAME_EDIT, JobStore::kMaxNameLength, name)) {
        JobLibrary::NameCheck check = jobs.CheckSaveName(name);
        if (!check.refusal.IsEmpty()) {
            ShowError(check.refusal.Text());
            continue;
        }
        int answer = check.question.IsEmpty() ? IDYES : MsgBox(this, check.question.Text(), L"確認", VQMB_YESNOCANCEL, 2);
        if (answer == IDNO) continue;
        if (answer == IDYES) SaveJobAs(name);
        return;
    }
}

bool MainWindow::SaveJob() {
    if (!jobs.Current().IsEmpty()) return SaveJobAs(jobs.Current());
    OnJobSaveAs();
    return !jobs.IsChanged(SettingsSnapshot());
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
