// Dropping a big folder on a long target list, in the real main window:
// a folder of 100,000 files (100 subfolders of 1,000) is dropped on a list
// that already holds 50,000 entries. Prints the time of the whole drop and of
// the enumeration alone, and of dropping the same folder again.
//   app_bench.exe [files] [existing]
// The files are made in a temporary folder, removed afterwards.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "app/main_window.h"
#include "base/files.h"
#include "base/path_identity.h"
#include "bench/bench_clock.h"
#include "tests/support/temp_dir.h"

namespace {

bool MakeFiles(const std::wstring& root, int count) {
    if (!CreateDirectoryW(root.c_str(), nullptr)) return false;
    for (int i = 0; i < count; ++i) {
        std::wstring folder = root + L"\\sub" + std::to_wstring(i / 1000);
        if (i % 1000 == 0 && !CreateDirectoryW(folder.c_str(), nullptr)) return false;
        std::wstring path = folder + L"\\写真 " + std::to_wstring(i) + L".jpg";
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        CloseHandle(h);
    }
    return true;
}

int ListCount(MainWindow& window) {
    return static_cast<int>(SendDlgItemMessageW(window.dialogHandle, IDC_TARGET_LIST, LVM_GETITEMCOUNT, 0, 0));
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int files = argc >= 2 ? _wtoi(argv[1]) : 100000;
    const int kExisting = argc >= 3 ? _wtoi(argv[2]) : 50000;

    TempDir dir;
    std::wstring root = dir.Join(L"drop");
    double t0 = Seconds();
    if (!MakeFiles(root, files)) {
        printf("could not make the files\n");
        return 2;
    }
    printf("made %d files in %.1f s\n", files, Seconds() - t0);

    MainWindow window(GetModuleHandleW(nullptr));
    VQWin32SetMainWindow(&window);
    window.registryKey = "Software\\QuenbrixBench";
    JobSettings settings = {};
    settings.deleteFinished = 1;
    VQWin32DialogWindowCreateInfo* info =
        MakeMainPanelCreateInfo(settings, SW_SHOWNOACTIVATE, window.instance, window.Table());
    if (!window.Open(info)) {
        printf("could not open the window\n");
        return 2;
    }
    delete info;
    SetDlgItemTextW(window.dialogHandle, IDC_FILEEXT_EDIT, L"jpg");

    VQArray<VQWString, VQWString> existing;
    for (int i = 0; i < kExisting; ++i) {
        VQWString path;
        path.Format(L"C:\\existing\\folder %d\\file %d.jpg", i / 100, i);
        existing.Add(path);
    }
    // The duplicate rule alone: every entry's identity into one set.
    double tSet = Seconds();
    VQPathSet set([&](int index) { return existing[index]; });
    set.Reserve(existing.GetCount());
    for (int i = 0; i < existing.GetCount(); ++i) set.Insert(existing[i], i);
    printf("duplicate rule over %d entries: %.2f s\n", set.GetCount(), Seconds() - tSet);
    double t1 = Seconds();
    window.AddTargets(&existing);
    printf("list filled with %d entries in %.2f s\n", ListCount(window), Seconds() - t1);

    VQArray<VQWString, VQWString> dropped;
    dropped.Add(VQWString(root.c_str()));
    VQArray<VQWString, VQWString> found;
    double t2 = Seconds();
    EnumFiles(found, root.c_str(), nullptr, true);
    double enumerated = Seconds() - t2;
    double t3 = Seconds();
    window.AddDroppedPaths(dropped);
    double dropTime = Seconds() - t3;
    printf("folder of %d files dropped on %d entries: %.2f s in all (enumeration alone %.2f s); list now %d\n",
           found.GetCount(), kExisting, dropTime, enumerated, ListCount(window));

    // The same drop again adds nothing: every path is already listed.
    double t4 = Seconds();
    window.AddDroppedPaths(dropped);
    printf("the same folder again: %.2f s, list still %d\n", Seconds() - t4, ListCount(window));

    DestroyWindow(window.handle);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\QuenbrixBench");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\QuenbrixBench");
    return 0;
}
