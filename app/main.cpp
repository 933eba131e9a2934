// The entry function: builds the main window from the registry settings,
// runs the message loop and ends with the loop's result.
#include <windows.h>

#include <new>

#include "app/main_window.h"
#include "base/log.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    MainWindow* window = new (std::nothrow) MainWindow(instance);
    if (!window) return -1;
    VQWin32SetMainWindow(window);
    window->registryKey = "Software\\velqo\\Quenbrix";
    window->savePlacement = 1;

    JobSettings settings;
    window->LoadRegistrySettings(settings);
    VQWin32DialogWindowCreateInfo* info = window->MakeCreateInfo(settings, showCommand);
    if (!window->Open(info)) {
        delete info;
        return -2;
    }
    delete info;
    int result = window->Run(0);
    delete window;
    VQWin32SetMainWindow(nullptr);
    vqLog.Close();
    return result;
}
