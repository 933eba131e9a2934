// Windows and helpers shared by the window framework's tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/message_pump.h"
#include "tests/support/window_queries.h"
#include "tests/win32/test_resources.h"
#include "win32/dialog_window.h"
#include "win32/dpi.h"

inline HINSTANCE TestInstance() { return GetModuleHandleW(nullptr); }

// The narrow (code page 932) form of a wide text, as the log and the ANSI
// window functions see it.
inline std::string ToAnsi(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

// Sets the main-window pointer for one test and clears it again.
class MainWindowScope {
public:
    explicit MainWindowScope(VQWin32Window* window) { VQWin32SetMainWindow(window); }
    ~MainWindowScope() { VQWin32SetMainWindow(nullptr); }
};

// Every window reports this DPI for one test, as on a monitor of that scale.
class DpiScope {
public:
    explicit DpiScope(UINT dpi) { VQWin32OverrideDpi(dpi); }
    ~DpiScope() { VQWin32OverrideDpi(0); }
};

// Destroys a framework window (if it still exists) and swallows the WM_QUIT
// that a top-level window posts.
inline void DestroyAndPump(VQWin32Window& window) {
    if (window.handle && IsWindow(window.handle)) DestroyWindow(window.handle);
    PumpPending();
}

// The main window (client 100, 100 - 700, 500, set as the main-window
// pointer) and one popup that it owns, both open: what a modal box must lock.
class MainWithPopup {
public:
    MainWithPopup(const wchar_t* mainClass, const wchar_t* popupClass)
        : main(TestInstance()), scope(&main), popup(TestInstance()) {
        VQWin32WindowCreateInfo mainInfo;
        mainInfo.className = mainClass;
        mainInfo.rect = RECT{100, 100, 700, 500};
        VQWin32WindowCreateInfo popupInfo;
        popupInfo.className = popupClass;
        popupInfo.parentWindow = &main;
        popupInfo.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
        popupInfo.rect = RECT{800, 100, 1000, 200};
        opened = main.Open(&mainInfo) && popup.Open(&popupInfo);
        PumpPending();
    }
    ~MainWithPopup() {
        if (popup.handle && IsWindow(popup.handle)) DestroyWindow(popup.handle);
        DestroyAndPump(main);
    }

    VQWin32StandardWindow main;
    MainWindowScope scope;
    VQWin32StandardWindow popup;
    bool opened;
};

struct NotifyRecord {
    int controlId;
    WPARAM value1;
    LPARAM value2;
};

struct CommandRecord {
    int id;
    int code;
};

// A dialog window that records what reaches its handlers.
class TestPanel : public VQWin32DialogWindow {
public:
    TestPanel() : VQWin32DialogWindow(TestInstance()) {}

    int OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam) override {
        commands.push_back({LOWORD(wParam), HIWORD(wParam)});
        if (LOWORD(wParam) == IDOK && closeOnOk) Close();
        return VQWin32DialogWindow::OnCommand(hwnd, wParam, lParam);
    }
    bool OnItemNotify(HWND, int controlId, WPARAM value1, LPARAM value2, WPARAM, WPARAM, WPARAM) override {
        notifications.push_back({controlId, value1, value2});
        return takeNotifications;
    }
    bool SawCommand(int id) const {
        for (const CommandRecord& c : commands) {
            if (c.id == id) return true;
        }
        return false;
    }

    std::vector<CommandRecord> commands;
    std::vector<NotifyRecord> notifications;
    bool closeOnOk = false;
    bool takeNotifications = true;
};

// Points a dialog create info at the test panel, under a class of its own.
inline void UseTestPanel(VQWin32DialogWindowCreateInfo* info, const wchar_t* className) {
    info->className = className;
    info->caption = L"テストパネル";
    info->templateId = IDD_TEST_PANEL;
}
