#include "win32/taskbar.h"

#include <objbase.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <cwchar>

namespace {

// Spelled out: the import library with these identifiers is not linked.
const CLSID kTaskbarListClass = {0x56FDF344, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
const IID kTaskbarList3 = {0xEA1AFB91, 0x9E28, 0x4B86, {0x90, 0xE9, 0x9E, 0x9F, 0x8A, 0x5E, 0xEF, 0xAF}};

// Lives as long as the process: COM is not to be called from static destructors.
class SystemTaskbar : public VQTaskbar {
public:
    void SetProgress(HWND window, State state, int done, int total) override {
        ITaskbarList3* taskbar = List();
        if (!taskbar || !window) return;
        if (state == kNone || total <= 0) {
            taskbar->SetProgressState(window, TBPF_NOPROGRESS);
            return;
        }
        taskbar->SetProgressState(window, state == kError ? TBPF_ERROR : TBPF_NORMAL);
        taskbar->SetProgressValue(window, static_cast<ULONGLONG>(done), static_cast<ULONGLONG>(total));
    }

    void Flash(HWND window) override {
        if (!window || GetForegroundWindow() == window) return;
        FLASHWINFO flash = {sizeof flash, window, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
        FlashWindowEx(&flash);
    }

    void Notify(HWND window, UINT callbackMessage, const wchar_t* title, const wchar_t* text) override {
        if (!window) return;
        NOTIFYICONDATAW icon = {};
        icon.cbSize = sizeof icon;
        icon.hWnd = window;
        icon.uID = kIconId;
        icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
        icon.uCallbackMessage = callbackMessage;
        icon.hIcon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
        if (!icon.hIcon) icon.hIcon = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICONSM));
        wcsncpy(icon.szTip, title, ARRAYSIZE(icon.szTip) - 1);
        wcsncpy(icon.szInfoTitle, title, ARRAYSIZE(icon.szInfoTitle) - 1);
        wcsncpy(icon.szInfo, text, ARRAYSIZE(icon.szInfo) - 1);
        icon.dwInfoFlags = NIIF_INFO;
        // One icon a window: a second run's word takes the place of the first.
        if (!Shell_NotifyIconW(NIM_MODIFY, &icon)) Shell_NotifyIconW(NIM_ADD, &icon);
    }

    void EndNotify(HWND window) override {
        NOTIFYICONDATAW icon = {};
        icon.cbSize = sizeof icon;
        icon.hWnd = window;
        icon.uID = kIconId;
        Shell_NotifyIconW(NIM_DELETE, &icon);
    }

private:
    enum { kIconId = 1 };
    // Made on first use, on the window's thread; a system without it (or
    // before the button exists) leaves the calls without effect.
    ITaskbarList3* List() {
        if (list || tried) return list;
        tried = true;
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        void* object = nullptr;
        if (SUCCEEDED(CoCreateInstance(kTaskbarListClass, nullptr, CLSCTX_INPROC_SERVER, kTaskbarList3, &object))) {
            list = static_cast<ITaskbarList3*>(object);
            if (FAILED(list->HrInit())) {
                list->Release();
                list = nullptr;
            }
        }
        return list;
    }

    ITaskbarList3* list = nullptr;
    bool tried = false;
};

VQTaskbar* replacement = nullptr;

}  // namespace

VQTaskbar* VQGetTaskbar() {
    if (replacement) return replacement;
    static SystemTaskbar* system = new SystemTaskbar;
    return system;
}

VQTaskbar* VQSetTaskbar(VQTaskbar* taskbar) {
    VQTaskbar* before = replacement;
    replacement = taskbar;
    return before;
}
