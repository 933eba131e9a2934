// The five job settings between runs: the registry under the window's key,
// and settings files (section "Quenbrix" of the UTF-16 settings text form).
#include <cwchar>
#include <cstdlib>

#include "app/main_window.h"
#include "base/files.h"
#include "settings/settings_text.h"
#include "win32/dialog_items.h"

namespace {

const wchar_t kSection[] = L"Quenbrix";
const wchar_t kDeleteName[] = L"Delete";

struct TextSetting {
    const wchar_t* name;
    int controlId;
    int limit;
};

// In the order they are read and written.
const TextSetting kTextSettings[] = {
    {L"FileExt", IDC_FILEEXT_EDIT, JobSettings::kFileExtLimit},
    {L"PreCommand", IDC_PRECOMMAND_EDIT, JobSettings::kPreCommandLimit},
    {L"Command", IDC_COMMAND_EDIT, JobSettings::kCommandLimit},
    {L"Directory", IDC_DIRECTORY_EDIT, JobSettings::kDirectoryLimit},
};

wchar_t* SettingBuffer(JobSettings& settings, int index) {
    wchar_t* buffers[] = {settings.fileExt, settings.preCommand, settings.command, settings.directory};
    return buffers[index];
}

}  // namespace

void MainWindow::LoadRegistrySettings(JobSettings& settings) {
    for (int i = 0; i < 4; ++i) {
        const TextSetting& setting = kTextSettings[i];
        wchar_t* text = SettingBuffer(settings, i);
        // Room for the limit and a terminator the data may carry; the data
        // need not have one, and a NUL inside it ends the text.
        int bytes = ReadValue(setting.name, text, (setting.limit + 1) * static_cast<int>(sizeof(wchar_t)));
        int units = bytes / static_cast<int>(sizeof(wchar_t));
        if (units > setting.limit) units = text[setting.limit] == L'\0' ? setting.limit : 0;
        text[units] = L'\0';
    }
    settings.deleteFinished = 1;
    DWORD value = 1;
    if (ReadValue(kDeleteName, &value, sizeof value) == sizeof value) settings.deleteFinished = value;
}

void MainWindow::SaveRegistrySettings() {
    for (const TextSetting& setting : kTextSettings) {
        VQWString text = EditText(setting.controlId);
        WriteValue(setting.name, text.Text(), text.GetLength(true), REG_SZ);
    }
    DWORD value = IsDeleteChecked() ? 1 : 0;
    WriteValue(kDeleteName, &value, sizeof value, REG_DWORD);
}

bool MainWindow::ImportSettingsFile(const wchar_t* path) {
    VQSettingsText store;
    VQFile* file = NewFile(path, kFileShareRead);
    if (!file || !store.Load(file)) return false;
    VQSettingsSection* section = store.FindSection(kSection, false);
    if (!section) return false;
    for (const TextSetting& setting : kTextSettings) {
        VQSettingsKey* key = store.FindKey(section, setting.name);
        bool usable = key && wcslen(key->value) <= static_cast<size_t>(setting.limit);
        SetEditText(setting.controlId, usable ? key->value : L"");
    }
    VQSettingsKey* deleteKey = store.FindKey(section, kDeleteName);
    int deleteFinished = deleteKey ? _wtoi(deleteKey->value) : 1;
    if (VQWin32DialogItem* check = FindItemById(IDC_DELETE_CHECK)) {
        if (check->GetHandle()) {
            SendMessageW(check->GetHandle(), BM_SETCHECK, deleteFinished != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        if (VQWin32DialogItemCheckBox* box = dynamic_cast<VQWin32DialogItemCheckBox*>(check)) {
            box->checkState = deleteFinished != 0;
        }
    }
    settingsPath = path;
    return true;
}

bool MainWindow::ExportSettingsFile(const wchar_t* path) {
    VQSettingsText store;
    // Other sections and keys of a valid existing file are kept; anything
    // else at the path is simply replaced.
    if (VQFile* existing = NewFile(path, kFileShareRead)) store.Load(existing);
    VQSettingsSection* section = store.FindSection(kSection, true);
    if (!section) return false;
    for (const TextSetting& setting : kTextSettings) {
        if (!store.SetValue(section, setting.name, EditText(setting.controlId).Text())) return false;
    }
    if (!store.SetValue(section, kDeleteName, IsDeleteChecked() ? L"1" : L"0")) return false;
    VQWString tempPath = MakeReplaceTempName(path);
    if (tempPath.IsEmpty()) return false;
    if (!store.Save(tempPath.Text())) {
        // A half-written temporary file is of no use to anyone.
        DeleteFileW(tempPath.Text());
        return false;
    }
    if (!VQWin32ReplaceFile(path, tempPath.Text())) {
        // The file at the path stays as it was; the new content has no use.
        DeleteFileW(tempPath.Text());
        return false;
    }
    settingsPath = path;
    return true;
}
