// The open, add, save and folder dialogs.
#include "win32/common_dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cwchar>
#include <vector>

#include "win32/window.h"

namespace {

// A hooked dialog stays the classic explorer-style one on systems that would
// otherwise show a newer kind; the hook itself does nothing.
UINT_PTR CALLBACK OpenHook(HWND, UINT, WPARAM, LPARAM) { return 0; }

// Claims the type-change notification and changes nothing in the dialog.
UINT_PTR CALLBACK SaveHook(HWND, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == CDN_TYPECHANGE) return 1;
    return 0;
}

// An ownerless dialog would leave the main window open to input under it
// (Run, or closing it, would re-enter the window's code).
HWND OwnerOrMainWindow(HWND owner) {
    if (owner) return owner;
    VQWin32Window* main = VQWin32GetMainWindow();
    return main ? main->handle : nullptr;
}

void InitFileDialog(OPENFILENAMEW* ofn, wchar_t* file, int units, const wchar_t* filter, DWORD flags,
                    LPOFNHOOKPROC hook, HWND owner) {
    ZeroMemory(ofn, sizeof *ofn);
    ofn->lStructSize = sizeof *ofn;
    ofn->hwndOwner = OwnerOrMainWindow(owner);
    ofn->lpstrFilter = filter;
    ofn->nFilterIndex = 1;
    ofn->lpstrFile = file;
    ofn->nMaxFile = static_cast<DWORD>(units);
    // The dialogs would otherwise leave the current directory in the last
    // folder shown: runs would depend on it, and the folder stays locked.
    ofn->Flags = flags | OFN_NOCHANGEDIR;
    ofn->lpfnHook = hook;
}

int CALLBACK FolderCallback(HWND dialog, UINT message, LPARAM, LPARAM initialPath) {
    if (message == BFFM_INITIALIZED) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, initialPath);
    return 0;
}

}  // namespace

bool BuildSingleTypeFilter(wchar_t* filter, const wchar_t* description, const wchar_t* extension) {
    // _snwprintf reads %s as wide and reports a result that does not fit as -1.
    int n = _snwprintf(filter, kVQSingleFilterUnits, L"%s(*.%s)", description, extension);
    if (n >= 0 && n + 1 < kVQSingleFilterUnits) {
        wchar_t* pattern = filter + n + 1;
        int room = kVQSingleFilterUnits - (n + 1);
        int m = _snwprintf(pattern, room, L"*.%s", extension);
        if (m >= 0 && m + 1 < room) {
            pattern[m] = L'\0';
            pattern[m + 1] = L'\0';
            return true;
        }
    }
    filter[0] = filter[1] = L'\0';
    return false;
}

bool ChooseOpenFile(wchar_t* file, const wchar_t* title, const wchar_t* description, const wchar_t* extension,
                    HWND owner, bool allFiles) {
    const wchar_t kAllFiles[] = L"すべてのファイル(*.*)\0*.*\0";
    wchar_t filter[kVQSingleFilterUnits + sizeof kAllFiles / sizeof kAllFiles[0]];
    if (!BuildSingleTypeFilter(filter, description, extension)) return false;
    if (allFiles) {
        // After the named type's double NUL: its last NUL becomes the start of the next pair.
        wchar_t* end = filter;
        while (*end) end += wcslen(end) + 1;
        wmemcpy(end, kAllFiles, sizeof kAllFiles / sizeof kAllFiles[0]);
    }
    OPENFILENAMEW ofn;
    InitFileDialog(&ofn, file, MAX_PATH, filter, 0x00881024, OpenHook, owner);
    ofn.lpstrTitle = title;
    ofn.lpstrDefExt = extension;
    return GetOpenFileNameW(&ofn) != 0;
}

bool ChooseFilesToAdd(wchar_t* result, int* filterIndex, const wchar_t* filter, HWND owner, int units) {
    OPENFILENAMEW ofn;
    InitFileDialog(&ofn, result, units, filter, 0x00881224, OpenHook, owner);
    ofn.nFilterIndex = static_cast<DWORD>(*filterIndex);
    ofn.lpstrTitle = L"ファイルを追加";
    if (!GetOpenFileNameW(&ofn)) return false;
    *filterIndex = static_cast<int>(ofn.nFilterIndex);
    return true;
}

const wchar_t* NextSelectedPath(VQWString& out, const wchar_t* result, const wchar_t* cursor) {
    const wchar_t* first = result;
    size_t firstLength = wcslen(first);
    // Nothing chosen: there is no path to give.
    if (firstLength == 0) return nullptr;
    const wchar_t* rest = first + firstLength + 1;
    if (*rest == L'\0') {
        if (cursor) return nullptr;
        out = first;
        return rest;
    }
    const wchar_t* name = cursor ? cursor : rest;
    if (*name == L'\0') return nullptr;
    // At a drive root the folder already ends in its backslash ("C:\\").
    const wchar_t* separator = first[firstLength - 1] == L'\\' ? L"" : L"\\";
    out = VQWString().Format(L"%s%s%s", first, separator, name);
    return name + wcslen(name) + 1;
}

bool ChooseFilesToAdd(VQArray<VQWString, VQWString>& paths, const wchar_t* filter, HWND owner) {
    std::vector<wchar_t> result(kVQFilesToAddUnits, L'\0');
    int filterIndex = 1;
    if (!ChooseFilesToAdd(result.data(), &filterIndex, filter, owner)) return false;
    VQWString path;
    for (const wchar_t* cursor = NextSelectedPath(path, result.data(), nullptr); cursor;
         cursor = NextSelectedPath(path, result.data(), cursor)) {
        paths.Add(path);
    }
    return true;
}

bool ChooseSettingsSavePath(wchar_t* file, HWND owner) {
    wchar_t filter[kVQSingleFilterUnits];
    BuildSingleTypeFilter(filter, L"設定ファイル", L"ini");
    OPENFILENAMEW ofn;
    InitFileDialog(&ofn, file, MAX_PATH, filter, 0x00880026, SaveHook, owner);
    ofn.lpstrTitle = L"設定を保存";
    ofn.lpstrDefExt = L"ini";
    return GetSaveFileNameW(&ofn) != 0;
}

bool ChoosePlanSavePath(wchar_t* file, HWND owner) {
    // Two types: the CSV, or the batch file (which the job may not allow).
    static const wchar_t kFilter[] = L"実行予定 (CSV) (*.csv)\0*.csv\0バッチファイル (*.cmd)\0*.cmd\0";
    OPENFILENAMEW ofn;
    InitFileDialog(&ofn, file, MAX_PATH, kFilter, 0x00880006, nullptr, owner);
    ofn.lpstrTitle = L"実行予定を保存";
    ofn.lpstrDefExt = L"csv";
    return GetSaveFileNameW(&ofn) != 0;
}

namespace {

// The folder browser is a shell (COM) object: the calling thread must have
// COM for the time of the call.
class ComScope {
public:
    ComScope() : initialized(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ComScope() {
        if (initialized) CoUninitialize();
    }

private:
    bool initialized;
};

}  // namespace

int ChooseFolder(wchar_t* path, HWND owner) {
    ComScope com;
    IMalloc* shellMalloc = nullptr;
    if (FAILED(SHGetMalloc(&shellMalloc)) || !shellMalloc) return 0;
    wchar_t initial[MAX_PATH];
    lstrcpynW(initial, path, MAX_PATH);
    BROWSEINFOW info;
    ZeroMemory(&info, sizeof info);
    info.hwndOwner = OwnerOrMainWindow(owner);
    info.lpszTitle = L"カレントディレクトリの選択";
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = FolderCallback;
    info.lParam = reinterpret_cast<LPARAM>(initial);
    LPITEMIDLIST chosen = SHBrowseForFolderW(&info);
    if (!chosen) {
        shellMalloc->Release();
        return -1;
    }
    // A failed conversion leaves the caller's path as it was.
    wchar_t folder[MAX_PATH];
    int result = 0;
    if (SHGetPathFromIDListW(chosen, folder)) {
        lstrcpynW(path, folder, MAX_PATH);
        result = 1;
    }
    shellMalloc->Free(chosen);
    shellMalloc->Release();
    return result;
}
