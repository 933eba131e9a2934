// The job settings' wiring: the form (app/job_form.h) against the window's
// store and controls, and the messages of the Load and Save commands.
#include "app/main_window.h"
#include "base/files.h"
#include "win32/dialog_items.h"
#include "win32/drop_down.h"
#include "win32/message_box.h"

namespace {

// Nothing at all by that name, as opposed to a file that does not load.
bool IsMissing(const wchar_t* path) {
    if (GetFileAttributesW(SystemForm(path).Text()) != INVALID_FILE_ATTRIBUTES) return false;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_BAD_NETPATH ||
           error == ERROR_BAD_NET_NAME || error == ERROR_INVALID_NAME;
}

}  // namespace

void MainWindow::LoadRegistrySettings(JobSettings& settings) {
    // Start-up has set registryKey by now: the store is made afresh for it.
    store.reset();
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
    SettingsFileReport report;
    VQWString named;
    if (nameFile && path) {
        VQWString full;
        named.Format(L"\n%s", GetFullPath(path, full) ? full.Text() : path);
    }
    if (!form.ImportSettingsFile(path, &report)) {
        const wchar_t* message = L"設定ファイルの読み込みに失敗しました。";
        if (report.problem == SettingsFileReport::kTooLarge) {
            message = L"設定ファイルが大きすぎます（16 MiB まで）。";
        } else if (nameFile && path && IsMissing(path)) {
            message = L"設定ファイルが見つかりません。";
        }
        ShowError(VQWString(message).Append(named).Text());
        return false;
    }
    VQWString skipped = JobForm::SkippedKeysMessage(report, named);
    if (!skipped.IsEmpty()) ShowError(skipped.Text());
    return true;
}

void MainWindow::ExportSettingsFileAsking(const wchar_t* path) {
    SettingsFileReport report;
    if (form.ExportSettingsFile(path, false, &report)) return;
    if (report.problem == SettingsFileReport::kNeedsOverwrite) {
        int answer = MsgBox(this,
                            L"この設定ファイルは一部を読み込めませんでした。保存すると読み込めなかった部分は失われます。"
                            L"上書きしますか？",
                            L"確認", VQMB_YESNO, 2);
        if (answer != IDYES) return;
        if (form.ExportSettingsFile(path, true, &report)) return;
    }
    ShowError(L"設定ファイルの保存に失敗しました。");
}
