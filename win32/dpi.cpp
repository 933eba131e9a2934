// Display scale: the DPI functions, looked up at run time.
#include "win32/dpi.h"

namespace {

UINT g_override = 0;

typedef UINT(WINAPI* GetDpiForWindowProc)(HWND);
typedef UINT(WINAPI* GetDpiForSystemProc)();
typedef BOOL(WINAPI* SetDialogDpiChangeBehaviorProc)(HWND, int, int);

template <class Proc>
Proc User32Proc(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    FARPROC proc = user32 ? GetProcAddress(user32, name) : nullptr;
    // Through void*: FARPROC's own type says nothing of the arguments.
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(proc));
}

UINT SystemDpi() {
    static auto forSystem = User32Proc<GetDpiForSystemProc>("GetDpiForSystem");
    if (forSystem) {
        UINT dpi = forSystem();
        if (dpi > 0) return dpi;
    }
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kVQBaseDpi;
}

}  // namespace

UINT VQWin32GetWindowDpi(HWND window) {
    if (g_override) return g_override;
    static auto forWindow = User32Proc<GetDpiForWindowProc>("GetDpiForWindow");
    if (window && forWindow) {
        UINT dpi = forWindow(window);
        if (dpi > 0) return dpi;
    }
    return SystemDpi();
}

int VQWin32ScaleToDpi(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), kVQBaseDpi); }

void VQWin32OverrideDpi(UINT dpi) { g_override = dpi; }

void VQWin32TakeOverDialogScaling(HWND dialog) {
    static auto setBehavior =
        User32Proc<SetDialogDpiChangeBehaviorProc>("SetDialogDpiChangeBehavior");
    // DDC_DISABLE_ALL (1) in both the mask and the values.
    if (setBehavior && dialog) setBehavior(dialog, 1, 1);
}
