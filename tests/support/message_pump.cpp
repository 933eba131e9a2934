#include "tests/support/message_pump.h"

#include <windows.h>

namespace {

UINT_PTR g_timer = 0;
int g_code = 0;
bool g_fired = false;

void CALLBACK WatchdogExpired(HWND, UINT, UINT_PTR, DWORD) {
    KillTimer(nullptr, g_timer);
    g_timer = 0;
    g_fired = true;
    PostQuitMessage(g_code);
}

}  // namespace

bool PumpPending() {
    bool quit = false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = true;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return quit;
}

void PumpFor(int ms) {
    DWORD start = GetTickCount();
    while (static_cast<int>(GetTickCount() - start) < ms) {
        PumpPending();
        Sleep(5);
    }
}

::testing::AssertionResult PumpUntil(const std::wstring& what, const std::function<bool()>& condition, DWORD ms) {
    return WaitUntil(what, [&condition] {
        PumpPending();
        return condition();
    }, ms);
}

QuitWatchdog::QuitWatchdog(int ms, int code) {
    g_code = code;
    g_fired = false;
    g_timer = SetTimer(nullptr, 0, static_cast<UINT>(ms), WatchdogExpired);
}

QuitWatchdog::~QuitWatchdog() {
    if (g_timer) KillTimer(nullptr, g_timer);
    g_timer = 0;
}

bool QuitWatchdog::Fired() const { return g_fired; }
