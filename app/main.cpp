// The entry function: builds the main window from the registry settings,
// runs the message loop and ends with the loop's result.
#include <windows.h>

#include <new>

#include "app/command_line.h"
#include "app/main_window.h"
#include "base/log.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // The whole line, not wWinMain's: it still holds the program's own path,
    // which the splitting rules treat apart.
    CommandLine commandLine = ParseCommandLine(GetCommandLineW());
    MainWindow* window = new (std::nothrow) MainWindow(instance);
    if (!window) return -1;
    window->commandLine = commandLine;
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
