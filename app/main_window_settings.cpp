// The job settings' wiring: the form (app/job_form.h) against the window's
// store and controls, and the messages of the Load and Save commands.
#include "app/main_window.h"
#include "win32/dialog_items.h"
#include "win32/drop_down.h"
#include "win32/message_box.h"

SettingsStore& MainWindow::Store() {
    // Nothing of a portable start goes to the registry, not even by the window's own values.
    if (storagePlace.portable) registryKey = VQString();
    return storage.Open(registryKey.Text());
}

int MainWindow::ReadBlock16(const char* valueName, void* buffer16) {
    return Store().ReadBlock16(valueName, buffer16) ? 16 : 0;
}

bool MainWindow::WriteBlock16(const char* valueName, const void* data16) {
    return Store().WriteBlock16(valueName, data16);
}

void MainWindow::LoadRegistrySettings(JobSettings& settings) {
    // Start-up has set registryKey by now: the store is made afresh for it.
    storage.Reset();
    form.LoadRegistrySettings(Store(), settings);
}

void MainWindow::SaveRegistrySettings() { form.SaveRegistrySettings(Store()); }

void MainWindow::SetChecked(int id, bool checked) {
    if (VQWin32DialogItemCheckBox* box = CheckBox(id)) box->SetChecked(checked);
}

int MainWindow::Choice(int id) {
    VQWin32DialogItemDropDown* list = dynamic_cast<VQWin32DialogItemDropDown*>(FindItemById(id));
    return list ? list->GetSelection() : 0;
}

void MainWindow::SetChoice(int id, int choice) {
    if (VQWin32DialogItemDropDown* list = dynamic_cast<VQWin32DialogItemDropDown*>(FindItemById(id))) {
        list->SetSelection(choice);
    }
}

bool MainWindow::ImportSettingsFileReporting(const wchar_t* path, bool nameFile) {
    const wchar_t* named = nameFile ? path : nullptr;
    SettingsFileReport report;
    bool imported = form.ImportSettingsFile(path, &report);
    VQWString message = imported ? JobForm::SkippedKeysMessage(report, JobForm::NamedFile(named))
                                 : JobForm::ImportFailedText(report, named);
    if (!message.IsEmpty()) ShowError(message.Text());
    return imported;
}

bool MainWindow::ExportAsking(const wchar_t* path, const VQWString& question, const VQWString& failed) {
    SettingsFileReport report;
    if (form.ExportSettingsFile(path, false, &report)) return true;
    if (report.problem == SettingsFileReport::kNeedsOverwrite) {
        if (MsgBox(this, question.Text(), L"確認", VQMB_YESNO, 2) != IDYES) return false;
        if (form.ExportSettingsFile(path, true, &report)) return true;
    }
    ShowError(failed.Text());
    return false;
}

void MainWindow::ExportSettingsFileAsking(const wchar_t* path) {
    ExportAsking(path, JobForm::OverwritePartlyReadQuestion(), VQWString(L"設定ファイルの保存に失敗しました。"));
}
