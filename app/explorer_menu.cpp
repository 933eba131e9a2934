#include "app/explorer_menu.h"

#include <cwchar>

const wchar_t* const kExplorerMenuKeys[2] = {L"*\\shell\\Quenbrix", L"Directory\\shell\\Quenbrix"};

namespace {

std::wstring Quoted(const VQWString& text) { return L"\"" + std::wstring(text.Text()) + L"\""; }

std::wstring Under(const wchar_t* classesKey, const std::wstring& key) { return std::wstring(classesKey) + L"\\" + key; }

bool WriteValue(const wchar_t* classesKey, const ExplorerMenuValue& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, Under(classesKey, value.key).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG status = RegSetValueExW(key, value.name.empty() ? nullptr : value.name.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(value.value.c_str()),
                                 static_cast<DWORD>((value.value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool IsEmptyKey(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD subkeys = 0, values = 0;
    LONG status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                   nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && subkeys == 0 && values == 0;
}

}  // namespace

VQWString MenuText(const VQWString& name) {
    std::wstring text;
    for (const wchar_t* at = name.Text(); *at; ++at) {
        text += *at;
        if (*at == L'&') text += L'&';
    }
    return VQWString(text.c_str());
}

std::vector<ExplorerMenuValue> ExplorerMenuValues(const VQWString& exe, const std::vector<VQWString>& jobs) {
    std::vector<ExplorerMenuValue> values;
    std::wstring program = Quoted(exe);
    for (const wchar_t* base : kExplorerMenuKeys) {
        std::wstring top = base;
        values.push_back({top, L"MUIVerb", L"Quenbrix で実行"});
        values.push_back({top, L"Icon", program + L",0"});
        // An empty SubCommands makes the entry a submenu of the keys under its shell.
        values.push_back({top, L"SubCommands", L""});
        // Any number of selected files, not only the first fifteen.
        values.push_back({top, L"MultiSelectModel", L"Player"});
        values.push_back({top + L"\\shell\\00add", L"MUIVerb", L"ウィンドウに追加"});
        values.push_back({top + L"\\shell\\00add\\command", L"", program + L" \"%1\""});
        for (size_t i = 0; i < jobs.size(); ++i) {
            // Explorer reads "%1", "%L" and the like anywhere in a command: a
            // name holding "%" would reach the program changed, so it gets no entry.
            if (wcschr(jobs[i].Text(), L'%')) continue;
            wchar_t name[16];
            swprintf(name, 16, L"\\shell\\%02u", static_cast<unsigned>(i + 1));
            std::wstring job = top + name;
            values.push_back({job, L"MUIVerb", MenuText(jobs[i]).Text()});
            values.push_back({job + L"\\command", L"", program + L" /job " + Quoted(jobs[i]) + L" \"%1\""});
        }
    }
    return values;
}

VQWString ExplorerMenuProgram(const wchar_t* classesKey) {
    wchar_t command[2048];
    DWORD bytes = sizeof command;
    std::wstring key = Under(classesKey, std::wstring(kExplorerMenuKeys[0]) + L"\\shell\\00add\\command");
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, command, &bytes) !=
        ERROR_SUCCESS) {
        return VQWString();
    }
    // "C:\Tools\Quenbrix.exe" "%1": the part in the first quotes.
    if (command[0] != L'"') return VQWString();
    const wchar_t* end = wcschr(command + 1, L'"');
    if (!end) return VQWString();
    return VQWString(command + 1).Left(static_cast<int>(end - command - 1));
}

ExplorerMenuState ReadExplorerMenuState(const VQWString& exe, const wchar_t* classesKey) {
    VQWString program = ExplorerMenuProgram(classesKey);
    if (program.IsEmpty()) return ExplorerMenuState::kAbsent;
    return _wcsicmp(program.Text(), exe.Text()) == 0 ? ExplorerMenuState::kCurrent : ExplorerMenuState::kMoved;
}

bool AddExplorerMenu(const VQWString& exe, const std::vector<VQWString>& jobs, const wchar_t* classesKey) {
    RemoveExplorerMenu(classesKey);
    for (const ExplorerMenuValue& value : ExplorerMenuValues(exe, jobs)) {
        if (!WriteValue(classesKey, value)) {
            RemoveExplorerMenu(classesKey);
            return false;
        }
    }
    return true;
}

bool RemoveExplorerMenu(const wchar_t* classesKey) {
    bool removed = true;
    for (const wchar_t* base : kExplorerMenuKeys) {
        std::wstring key = Under(classesKey, base);
        LONG status = RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) removed = false;
        // "*\shell" and "*" exist for the user only because the menu made
        // them: once empty, they go too.
        for (int level = 0; level < 2; ++level) {
            key.resize(key.rfind(L'\\'));
            if (!IsEmptyKey(key)) break;
            RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
        }
    }
    return removed;
}

std::vector<SendToShortcut> SendToShortcuts(const std::vector<VQWString>& jobs, bool perJob) {
    std::vector<SendToShortcut> shortcuts{{VQWString(L"Quenbrix.lnk"), VQWString()}};
    if (!perJob) return shortcuts;
    for (const VQWString& job : jobs) {
        std::wstring file = L"Quenbrix - ";
        for (const wchar_t* at = job.Text(); *at; ++at) file += *at < 32 || wcschr(L"\\/:*?\"<>|", *at) ? L'_' : *at;
        file += L".lnk";
        shortcuts.push_back({VQWString(file.c_str()), VQWString((L"/job " + Quoted(job)).c_str())});
    }
    return shortcuts;
}
