// Opens the real main window with a sample job and a few targets, for the
// README's screenshots (scripts/screenshot.sh): the list has no way in from
// the command line, so this small host fills it the way a drop would.
//   qb_main_window_demo.exe [preview | error]
// "preview" adds a pre-command whose output the command uses and selects an
// entry in a subfolder; "error" asks for a folder level the first entry
// does not have.
#include <windows.h>

#include <cwchar>

#include "app/main_window.h"
#include "base/log.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int showCommand) {
    bool preview = arguments && wcsstr(arguments, L"preview");
    bool error = arguments && wcsstr(arguments, L"error");
    MainWindow* window = new MainWindow(instance);
    VQWin32SetMainWindow(window);
    // A key of its own: the demo never touches the program's settings.
    window->registryKey = "Software\\velqo\\QuenbrixDemo";
    JobSettings settings = {};
    lstrcpyW(settings.fileExt, L"jpg;png");
    lstrcpyW(settings.command, L"magick \"$fullname\" -resize 50% \"D:\\縮小\\$level1$title.$ext\"");
    if (preview) {
        lstrcpyW(settings.preCommand, L"magick identify -format %wx%h \"$fullname\"");
        lstrcpyW(settings.command, L"magick \"$fullname\" -resize 50% \"D:\\縮小\\$level1$stem ($pre).$ext\"");
    }
    if (error) lstrcpyW(settings.command, L"magick \"$fullname\" -resize 50% \"D:\\縮小\\$level3$stem.$ext\"");
    lstrcpyW(settings.directory, L"D:\\縮小");
    settings.deleteFinished = 1;
    VQWin32DialogWindowCreateInfo* info = window->MakeCreateInfo(settings, showCommand);
    if (!window->Open(info)) return -2;
    delete info;

    VQArray<VQWString, VQWString> targets;
    const wchar_t* samples[] = {
        L"C:\\写真\\2026 春\\IMG_0001.jpg",   L"C:\\写真\\2026 春\\IMG_0002.jpg",
        L"C:\\写真\\2026 春\\IMG_0003.jpg",   L"C:\\写真\\2026 夏\\海 (1).png",
        L"C:\\写真\\2026 夏\\海 (2).png",     L"C:\\写真\\2026 夏\\花火大会\\DSC01234.jpg",
        L"C:\\写真\\2026 夏\\花火大会\\DSC01235.jpg", L"C:\\写真\\スキャン\\古いアルバム 03.png",
    };
    for (const wchar_t* sample : samples) targets.Add(VQWString(sample));
    window->AddTargets(&targets);
    if (preview) {
        // As a click on the entry does.
        HWND list = GetDlgItem(window->dialogHandle, IDC_TARGET_LIST);
        SendMessageW(list, LB_SETSEL, TRUE, 5);
        SendMessageW(list, LB_SETCARETINDEX, 5, FALSE);
        SendMessageW(window->dialogHandle, WM_COMMAND, MAKEWPARAM(IDC_TARGET_LIST, LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
    }
    // Under Wine's virtual desktop the first activation can arrive before the
    // window is the foreground one, which leaves the caption drawn inactive.
    SetForegroundWindow(window->handle);
    SendMessageW(window->handle, WM_NCACTIVATE, TRUE, 0);
    int result = window->Run(0);
    delete window;
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\velqo\\QuenbrixDemo");
    vqLog.Close();
    return result;
}
