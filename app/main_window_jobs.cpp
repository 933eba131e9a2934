// What the window keeps of jobs: the settings store of this start (registry
// or portable file), the command fields' histories, the named jobs of the
// ジョブ row, and the plan of a run written out before it runs.
#include <windows.h>

#include "app/main_window.h"
#include "engine/run_plan.h"
#include "win32/combo_box.h"
#include "win32/common_dialogs.h"
#include "win32/message_box.h"
#include "win32/text_prompt.h"

namespace {

// The fields with a history, and the list each keeps it under.
struct HistoryField {
    int controlId;
    const wchar_t* listName;
};
const HistoryField kHistoryFields[] = {
    {IDC_PRECOMMAND_EDIT, L"PreCommandHistory"},
    {IDC_COMMAND_EDIT, L"CommandHistory"},
    {IDC_DIRECTORY_EDIT, L"DirectoryHistory"},
    {IDC_OUTPUT_EDIT, L"OutputHistory"},
};

const wchar_t kNoJob[] = L"（なし）";
const wchar_t kBrokenMark[] = L" （読み込めません）";

bool EndsWithNoCase(const wchar_t* text, const wchar_t* tail) {
    size_t length = wcslen(text), tailLength = wcslen(tail);
    return length >= tailLength && _wcsicmp(text + length - tailLength, tail) == 0;
}

}  // namespace

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

// ---- History ----

void MainWindow::LoadHistories() {
    histories.clear();
    for (const HistoryField& field : kHistoryFields) {
        histories.emplace_back(field.listName);
        FieldHistory& history = histories.back();
        history.Load(Store());
        VQWin32DialogItemComboBoxW* combo = Combo(field.controlId);
        if (!combo) continue;
        combo->SetEntries(history.Entries());
        // Shift+Delete in the open list: the entry goes from the kept history too.
        combo->onRemoveEntry = [this, index = histories.size() - 1](const VQWString& value) {
            if (index < histories.size() && histories[index].Remove(value)) {
                histories[index].Save(Store());
                Store().Flush();
            }
        };
    }
}

const FieldHistory* MainWindow::HistoryOf(int controlId) const {
    for (size_t i = 0; i < histories.size() && i < sizeof kHistoryFields / sizeof kHistoryFields[0]; ++i) {
        if (kHistoryFields[i].controlId == controlId) return &histories[i];
    }
    return nullptr;
}

void MainWindow::RememberRunValues() {
    bool changed = false;
    for (size_t i = 0; i < histories.size() && i < sizeof kHistoryFields / sizeof kHistoryFields[0]; ++i) {
        if (!histories[i].Add(EditText(kHistoryFields[i].controlId))) continue;
        histories[i].Save(Store());
        if (VQWin32DialogItemComboBoxW* combo = Combo(kHistoryFields[i].controlId)) {
            combo->SetEntries(histories[i].Entries());
        }
        changed = true;
    }
    if (changed) Store().Flush();
}

// ---- Named jobs ----

VQWString MainWindow::IdleCaption() const {
    if (currentJob.IsEmpty()) return VQWString(kIdleCaption);
    VQWString caption;
    return caption.Format(L"%s - %s", currentJob.Text(), kIdleCaption);
}

void MainWindow::RefreshJobList() {
    jobEntries = JobStore(storagePlace.jobsFolder).List();
    VQWin32DialogItemComboBoxW* combo = Combo(IDC_JOB_COMBO);
    if (!combo) return;
    std::vector<VQWString> shown;
    shown.push_back(VQWString(kNoJob));
    for (const JobEntry& job : jobEntries) {
        VQWString text = job.name;
        if (!job.loads) text.Append(kBrokenMark);
        shown.push_back(text);
    }
    combo->SetEntries(shown);
    ShowCurrentJob();
}

void MainWindow::ShowCurrentJob() {
    int index = 0;
    for (size_t i = 0; i < jobEntries.size(); ++i) {
        if (jobEntries[i].name == currentJob) index = static_cast<int>(i) + 1;
    }
    if (index == 0) currentJob = VQWString();
    if (VQWin32DialogItemComboBoxW* combo = Combo(IDC_JOB_COMBO)) combo->SetSelection(index);
    if (handle && runController.State() == RunState::Idle) SetWindowTextW(handle, IdleCaption().Text());
}

bool MainWindow::AskToSaveChanges() {
    if (SettingsSnapshot() == savedSnapshot) return true;
    int answer = MsgBox(this, L"変更を保存しますか？", L"確認", VQMB_YESNOCANCEL, 1);
    if (answer == IDCANCEL || answer == 0) return false;
    if (answer == IDNO) return true;
    if (!currentJob.IsEmpty()) return SaveJobAs(currentJob);
    OnJobSaveAs();
    return SettingsSnapshot() == savedSnapshot;
}

bool MainWindow::ChooseJob(const VQWString& name) {
    if (name == currentJob && !name.IsEmpty()) {
        ShowCurrentJob();
        return true;
    }
    if (!AskToSaveChanges()) {
        ShowCurrentJob();
        return false;
    }
    if (name.IsEmpty()) {
        // 「（なし）」: the fields stay, they are no job's any more.
        currentJob = VQWString();
        savedSnapshot = SettingsSnapshot();
        ShowCurrentJob();
        return true;
    }
    VQWString path, error;
    if (!FindJob(name, path, error)) {
        // The window's own folder may differ from the start's (tests); its list decides.
        JobStore jobs(storagePlace.jobsFolder);
        bool listed = false;
        for (const JobEntry& job : JobStore(storagePlace.jobsFolder).List()) listed = listed || job.name == name;
        if (!listed) {
            ShowError(error.Text());
            ShowCurrentJob();
            return false;
        }
        path = jobs.PathOf(name);
    }
    for (const JobEntry& job : jobEntries) {
        if (job.name == name && !job.loads) {
            VQWString text;
            text.Format(L"ジョブ「%s」は設定ファイルとして読み込めません。\n%s", name.Text(), job.path.Text());
            ShowError(text.Text());
            ShowCurrentJob();
            return false;
        }
    }
    if (!ImportSettingsFileReporting(path.Text(), true)) {
        ShowCurrentJob();
        return false;
    }
    currentJob = name.DeepCopy();
    savedSnapshot = SettingsSnapshot();
    RefreshJobList();
    return true;
}

void MainWindow::OnJobChosen() {
    VQWin32DialogItemComboBoxW* combo = Combo(IDC_JOB_COMBO);
    if (!combo) return;
    int index = combo->GetSelection();
    VQWString name = index > 0 && index <= static_cast<int>(jobEntries.size()) ? jobEntries[index - 1].name : VQWString();
    ChooseJob(name);
}

void MainWindow::OnJobMenu() {
    HMENU menu = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_JOB_MENU));
    if (!menu) return;
    HMENU popup = GetSubMenu(menu, 0);
    if (currentJob.IsEmpty()) {
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
    JobStore jobs(storagePlace.jobsFolder);
    if (storagePlace.unwritable || !jobs.MakeFolder()) {
        VQWString text;
        text.Format(L"ジョブを保存するフォルダーを作れません。\n%s", jobs.Folder().Text());
        ShowError(text.Text());
        return false;
    }
    VQWString path = jobs.PathOf(name);
    SettingsFileReport report;
    bool saved = ExportSettingsFile(path.Text(), false, &report);
    if (!saved && report.problem == SettingsFileReport::kNeedsOverwrite) {
        VQWString text;
        text.Format(L"ジョブ「%s」のファイルは一部を読み込めませんでした。保存すると読み込めなかった部分は失われます。"
                    L"上書きしますか？",
                    name.Text());
        if (MsgBox(this, text.Text(), L"確認", VQMB_YESNO, 2) != IDYES) return false;
        saved = ExportSettingsFile(path.Text(), true, &report);
    }
    if (!saved) {
        VQWString text;
        text.Format(L"ジョブの保存に失敗しました。\n%s", path.Text());
        ShowError(text.Text());
        return false;
    }
    currentJob = name.DeepCopy();
    savedSnapshot = SettingsSnapshot();
    RefreshJobList();
    return true;
}

void MainWindow::OnJobSaveAs() {
    VQWString name = currentJob;
    for (;;) {
        if (!PromptForText(instance, handle, IDD_JOB_NAME, IDC_JOB_NAME_EDIT, JobStore::kMaxNameLength, name)) return;
        VQWString reason;
        if (!JobStore::CheckName(name, reason)) {
            ShowError(reason.Text());
            continue;
        }
        if (JobStore(storagePlace.jobsFolder).Exists(name) && !(name == currentJob)) {
            VQWString text;
            text.Format(L"ジョブ「%s」は既にあります。上書きしますか？", name.Text());
            int answer = MsgBox(this, text.Text(), L"確認", VQMB_YESNOCANCEL, 2);
            if (answer == IDNO) continue;
            if (answer != IDYES) return;
        }
        SaveJobAs(name);
        return;
    }
}

void MainWindow::OnJobSave() {
    if (currentJob.IsEmpty()) {
        OnJobSaveAs();
        return;
    }
    SaveJobAs(currentJob);
}

void MainWindow::OnJobDelete() {
    if (currentJob.IsEmpty()) return;
    VQWString text;
    text.Format(L"ジョブ「%s」を削除しますか？", currentJob.Text());
    if (MsgBox(this, text.Text(), L"確認", VQMB_YESNO, 2) != IDYES) return;
    JobStore jobs(storagePlace.jobsFolder);
    if (!jobs.Remove(currentJob)) {
        text.Format(L"ジョブを削除できませんでした。\n%s", jobs.PathOf(currentJob).Text());
        ShowError(text.Text());
        return;
    }
    // The fields stay as they were, now no job's.
    currentJob = VQWString();
    RefreshJobList();
}

// ---- The plan ----

bool MainWindow::WritePlan(const wchar_t* path, VQWString& error) {
    PlanJob job;
    job.preCommand = EditText(IDC_PRECOMMAND_EDIT);
    job.command = EditText(IDC_COMMAND_EDIT);
    job.directory = runController.DirectoryOf(EditText(IDC_DIRECTORY_EDIT));
    job.outputTemplate = EditText(IDC_OUTPUT_EDIT);
    // The kept list is part of what a run would run, as 実行 takes it.
    keeper.FinishLoad();
    std::vector<PlanTarget> targets;
    for (const RunTarget& target : RunTargetsFromList()) targets.push_back(PlanTarget{target.path, target.root});
    if (targets.empty()) {
        error = L"対象ファイルを指定してください。";
        return false;
    }
    if (job.command.IsEmpty()) {
        error = L"コマンドを入力してください。";
        return false;
    }
    std::vector<PlanRow> rows = MakePlan(job, targets);
    std::string bytes;
    if (path && EndsWithNoCase(path, L".cmd")) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        VQWString madeBy(L"Quenbrix " QUENBRIX_VERSION_TEXT);
        if (!currentJob.IsEmpty()) madeBy.Append(VQWString().Format(L"（ジョブ「%s」）", currentJob.Text()));
        if (!FormatPlanBatch(rows, UsesPreOutput(job.command), madeBy, now, bytes, error)) return false;
    } else {
        bytes = FormatPlanCsv(rows);
    }
    if (!path || !WritePlanFile(VQWString(path), bytes)) {
        error.Format(L"実行予定を保存できませんでした。\n%s", path ? path : L"");
        return false;
    }
    return true;
}

void MainWindow::OnPlanSave() {
    wchar_t path[MAX_PATH] = L"";
    if (!ChoosePlanSavePath(path, handle)) return;
    VQWString error;
    if (!WritePlan(path, error)) ShowError(error.Text());
}
