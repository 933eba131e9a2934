#include "settings/job_store.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "base/files.h"
#include "settings/settings_store.h"
#include "settings/settings_text.h"

namespace {

const wchar_t kJobExtension[] = L".ini";

// The names Windows keeps for devices, with or without an extension.
bool IsDeviceName(const VQWString& name) {
    static const wchar_t* const kDevices[] = {L"CON",  L"PRN",  L"AUX",  L"NUL",  L"COM1", L"COM2", L"COM3",
                                              L"COM4", L"COM5", L"COM6", L"COM7", L"COM8", L"COM9", L"LPT1",
                                              L"LPT2", L"LPT3", L"LPT4", L"LPT5", L"LPT6", L"LPT7", L"LPT8",
                                              L"LPT9"};
    int stem = name.FindOneOf(L".", 0);
    VQWString base = stem < 0 ? name : name.Left(stem);
    base = base.Trim();
    for (const wchar_t* device : kDevices) {
        if (_wcsicmp(base.Text(), device) == 0) return true;
    }
    return false;
}

bool LoadsAsJob(const VQWString& path) {
    VQFile* file = NewFile(SystemForm(path).Text(), kFileShareRead);
    if (!file) return false;
    VQSettingsText text;
    return text.Load(file) && text.FindSection(kSettingsSection, false) != nullptr;
}

}  // namespace

JobStore::JobStore(const VQWString& jobsFolder) : folder(jobsFolder.DeepCopy()) {}

std::vector<JobEntry> JobStore::List() const {
    std::vector<JobEntry> jobs;
    if (folder.IsEmpty()) return jobs;
    VQWString pattern = folder;
    pattern.Append(L"\\*.ini");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(SystemForm(pattern).Text(), &found);
    if (search == INVALID_HANDLE_VALUE) return jobs;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        size_t length = wcslen(found.cFileName);
        // "*.ini" also matches the short names of longer extensions.
        if (length <= 4 || _wcsicmp(found.cFileName + length - 4, kJobExtension) != 0) continue;
        JobEntry entry;
        entry.name = VQWString().Append(found.cFileName, static_cast<int>(length - 4));
        entry.path = PathOf(entry.name);
        entry.loads = LoadsAsJob(entry.path);
        jobs.push_back(entry);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(jobs.begin(), jobs.end(), [](const JobEntry& a, const JobEntry& b) {
        return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.name.Text(), -1, b.name.Text(), -1) ==
               CSTR_LESS_THAN;
    });
    return jobs;
}

VQWString JobStore::PathOf(const VQWString& name) const {
    VQWString path = folder;
    path.Append(L'\\');
    path.Append(name);
    path.Append(kJobExtension);
    return path;
}

bool JobStore::Exists(const VQWString& name) const {
    DWORD attributes = GetFileAttributesW(SystemForm(PathOf(name)).Text());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool JobStore::MakeFolder() const { return !folder.IsEmpty() && CreateFolders(folder); }

bool JobStore::Remove(const VQWString& name) const { return DeleteFileW(SystemForm(PathOf(name)).Text()) != 0; }

bool JobStore::CheckName(const VQWString& name, VQWString& reason) {
    const wchar_t* text = name.Text();
    int length = name.GetLength();
    if (name.Trim().IsEmpty()) {
        reason = L"ジョブの名前を入力してください。";
        return false;
    }
    if (length > kMaxNameLength) {
        reason.Format(L"ジョブの名前が長すぎます（%d 文字まで）。", static_cast<int>(kMaxNameLength));
        return false;
    }
    for (int i = 0; i < length; ++i) {
        if (text[i] < 0x20) {
            reason = L"ジョブの名前に制御文字は使えません。";
            return false;
        }
        if (wcschr(L"\\/:*?\"<>|", text[i])) {
            reason = L"ジョブの名前に次の文字は使えません: \\ / : * ? \" < > |";
            return false;
        }
    }
    if (text[length - 1] == L'.' || text[length - 1] == L' ' || text[0] == L' ') {
        reason = L"ジョブの名前の最初を空白に、最後を空白や「.」にすることはできません。";
        return false;
    }
    if (IsDeviceName(name)) {
        reason.Format(L"「%s」は Windows が装置の名前として予約しているため使えません。", name.Text());
        return false;
    }
    return true;
}

bool FindJob(const VQWString& name, VQWString& path, VQWString& error) {
    path = L"";
    VQWString reason;
    if (!JobStore::CheckName(name, reason)) {
        error.Format(L"ジョブ「%s」はありません。%s", name.Text(), reason.Text());
        return false;
    }
    JobStore store(CurrentStoragePlace().jobsFolder);
    if (store.Folder().IsEmpty() || !store.Exists(name)) {
        error.Format(L"ジョブ「%s」はありません。\n%s", name.Text(), store.PathOf(name).Text());
        return false;
    }
    if (!LoadsAsJob(store.PathOf(name))) {
        error.Format(L"ジョブ「%s」は設定ファイルとして読み込めません。\n%s", name.Text(), store.PathOf(name).Text());
        return false;
    }
    path = store.PathOf(name);
    error = L"";
    return true;
}
