// The window's side of what it keeps: the command fields' histories in their
// drop-downs, the ジョブ row with the questions and messages the job library
// gives (app/job_library.h), 実行予定を保存, and the entries outside the
// window that start the jobs: Explorer's menu and Send To.
#include <windows.h>

#include "app/explorer_menu.h"
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

namespace {

// This program's own path, as Explorer's menu and the shortcuts name it.
VQWString ThisProgram() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length < path.size()) return VQWString(path.c_str());
        path.resize(path.size() * 2);
    }
}

}  // namespace

void MainWindow::OnJobMenu() {
    std::vector<int> grayed, removed;
    if (jobs.Current().IsEmpty()) grayed = {IDM_JOB_SAVE, IDM_JOB_DELETE};
    // Read each time: another copy may have written or removed it meanwhile.
    ExplorerMenuState menu = ReadExplorerMenuState(ThisProgram(), explorerClassesKey);
    grayed.push_back(menu == ExplorerMenuState::kAbsent ? IDM_EXPLORER_MENU_REMOVE : IDM_EXPLORER_MENU_ADD);
    // Offered only when the menu starts another program: it is not asked about otherwise.
    if (menu != ExplorerMenuState::kMoved) removed.push_back(IDM_EXPLORER_MENU_REPAIR);
    VQWin32DialogItem* button = FindItemById(IDC_JOB_MENU_BUTTON);
    // The command comes to OnCommand as a menu's does.
    ShowMenuBelow(instance, IDR_JOB_MENU, handle, button ? button->GetHandle() : nullptr, grayed, removed);
}

void MainWindow::OnExplorerMenuAdd(bool repair) {
    VQWString exe = ThisProgram();
    VQWString before = ExplorerMenuProgram(explorerClassesKey);
    if (!AddExplorerMenu(exe, jobs.Names(), explorerClassesKey)) {
        ShowError(repair ? L"エクスプローラーのメニューを修復できませんでした。"
                         : L"エクスプローラーのメニューに追加できませんでした。");
        return;
    }
    VQWString text;
    if (repair) {
        text.Format(L"エクスプローラーのメニューを修復しました。\n\n起動するプログラム:\n%s\n（これまで: %s）",
                    exe.Text(), before.Text());
    } else {
        text = L"エクスプローラーの右クリックメニューに「Quenbrix で実行」を追加しました。\n"
               L"Windows 11 では「その他のオプションを確認」の中にあります。";
    }
    if (storagePlace.portable) {
        text.Append(VQWString().Format(L"\n\nこれはポータブル版です。メニューはこの場所の Quenbrix.exe を起動します:\n%s\n"
                                       L"移動したら、ジョブ操作の「エクスプローラーのメニューを修復」で直せます。",
                                       exe.Text()));
    }
    MsgBox(this, text.Text(), L"エクスプローラーのメニュー", VQMB_OK, 1);
}

void MainWindow::OnExplorerMenuRemove() {
    if (!RemoveExplorerMenu(explorerClassesKey)) {
        ShowError(L"エクスプローラーのメニューから削除できませんでした。");
        return;
    }
    MsgBox(this, L"エクスプローラーのメニューから「Quenbrix で実行」を削除しました。", L"エクスプローラーのメニュー",
           VQMB_OK, 1);
}

void MainWindow::FollowJobNames(const std::vector<VQWString>& before) {
    std::vector<VQWString> names = jobs.Names();
    if (names == before) return;
    // Another copy's menu is that copy's: only the repair takes it over.
    VQWString exe = ThisProgram();
    if (ReadExplorerMenuState(exe, explorerClassesKey) != ExplorerMenuState::kCurrent) return;
    if (!AddExplorerMenu(exe, names, explorerClassesKey)) {
        ShowError(L"エクスプローラーのメニューをジョブの名前に合わせられませんでした。");
    }
}

void MainWindow::OnSendToAdd() {
    VQWString folder = sendToFolder ? sendToFolder() : VQWString();
    if (folder.IsEmpty() || !createShortcut) {
        ShowError(L"「送る」のフォルダーが見つかりません。");
        return;
    }
    std::vector<VQWString> names = jobs.Names();
    bool perJob = false;
    if (!names.empty()) {
        VQWString question;
        question.Format(L"「送る」メニューに「Quenbrix」（ウィンドウに追加）を作ります。\n"
                        L"名前付きのジョブ %d 件にも、ジョブごとのショートカットを作りますか？",
                        static_cast<int>(names.size()));
        int answer = MsgBox(this, question.Text(), L"送るメニューに追加", VQMB_YESNOCANCEL, 1);
        if (answer != IDYES && answer != IDNO) return;
        perJob = answer == IDYES;
    }
    VQWString exe = ThisProgram();
    VQWString made, failed;
    for (const SendToShortcut& shortcut : SendToShortcuts(names, perJob)) {
        VQWString link = folder;
        link.Append(shortcut.fileName);
        VQWString description = shortcut.fileName.Left(shortcut.fileName.GetLength() - 4);
        VQWString& list = createShortcut(link, exe, shortcut.arguments, description) ? made : failed;
        list.Append(VQWString().Format(L"\n%s", shortcut.fileName.Text()));
    }
    VQWString text;
    if (!made.IsEmpty()) text.Format(L"「送る」のフォルダーに作りました（%s）:%s", folder.Text(), made.Text());
    if (!failed.IsEmpty()) {
        if (!text.IsEmpty()) text.Append(L"\n\n");
        text.Append(VQWString().Format(L"作れませんでした:%s", failed.Text()));
    }
    MsgBox(this, text.Text(), failed.IsEmpty() ? L"送るメニューに追加" : L"エラー", VQMB_OK, 1);
}

bool MainWindow::SaveJobAs(const VQWString& name) {
    std::vector<VQWString> before = jobs.Names();
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
    FollowJobNames(before);
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
    std::vector<VQWString> before = jobs.Names();
    VQWString error;
    if (!jobs.DeleteCurrent(error)) {
        ShowError(error.Text());
        return;
    }
    RefreshJobList();
    FollowJobNames(before);
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
