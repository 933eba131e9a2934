#include "win32/progress_window.h"

#include "win32/dpi.h"

DWORD VQWin32ProgressWindow::showAfterMs = 1000;
DWORD VQWin32ProgressWindow::lookEveryMs = 40;
void (*VQWin32ProgressWindow::onShown)(HWND) = nullptr;

namespace {

const wchar_t kClassName[] = L"VQProgress";

bool RegisterOnce(HINSTANCE instance, WNDPROC proc) {
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, kClassName, &existing)) return true;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_3DFACE + 1);
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc) != 0;
}

}  // namespace

VQWin32ProgressWindow::VQWin32ProgressWindow(HWND ownerWindow, const wchar_t* captionText, HFONT textFont)
    : owner(ownerWindow),
      font(textFont),
      caption(captionText ? captionText : L""),
      handle(nullptr),
      text(nullptr),
      button(nullptr),
      ownerDisabled(false),
      cancelled(false),
      started(GetTickCount()),
      lastLook(GetTickCount()) {}

VQWin32ProgressWindow::~VQWin32ProgressWindow() {
    // The owner first: a window that is destroyed while its owner is disabled
    // hands the activation to some other program.
    if (ownerDisabled && owner && IsWindow(owner)) EnableWindow(owner, TRUE);
    if (handle) {
        SetWindowLongPtrW(handle, GWLP_USERDATA, 0);
        DestroyWindow(handle);
    }
}

LRESULT CALLBACK VQWin32ProgressWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<VQWin32ProgressWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && ((message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) || message == WM_CLOSE)) {
        self->cancelled = true;
        if (self->button) EnableWindow(self->button, FALSE);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void VQWin32ProgressWindow::Show() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!RegisterOnce(instance, WindowProc)) return;
    UINT dpi = VQWin32GetWindowDpi(owner);
    int width = VQWin32ScaleToDpi(360, dpi), height = VQWin32ScaleToDpi(120, dpi);
    RECT frame = {0, 0, width, height};
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
    int frameWidth = frame.right - frame.left, frameHeight = frame.bottom - frame.top;
    RECT around = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (owner) GetWindowRect(owner, &around);
    int x = (around.left + around.right - frameWidth) / 2, y = (around.top + around.bottom - frameHeight) / 2;
    handle = CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, caption.Text(), style, x, y, frameWidth, frameHeight,
                             owner, nullptr, instance, nullptr);
    if (!handle) return;
    SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    int margin = VQWin32ScaleToDpi(12, dpi);
    int buttonWidth = VQWin32ScaleToDpi(88, dpi), buttonHeight = VQWin32ScaleToDpi(26, dpi);
    text = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOPREFIX | SS_PATHELLIPSIS, margin, margin,
                           width - 2 * margin, VQWin32ScaleToDpi(40, dpi), handle, nullptr, instance, nullptr);
    button = CreateWindowExW(0, L"BUTTON", L"キャンセル", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                             width - margin - buttonWidth, height - margin - buttonHeight, buttonWidth, buttonHeight,
                             handle, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDCANCEL)), instance, nullptr);
    if (font) {
        SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    // Nothing of the owner may change while the work holds its state.
    if (owner && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        ownerDisabled = true;
    }
    ShowWindow(handle, SW_SHOW);
    SetFocus(button);
    if (onShown) onShown(handle);
}

bool VQWin32ProgressWindow::Step(const wchar_t* line) {
    if (cancelled) return false;
    DWORD now = GetTickCount();
    if (now - lastLook < lookEveryMs) return true;
    lastLook = now;
    if (!handle) {
        if (now - started < showAfterMs) return true;
        Show();
        if (!handle) return true;
    }
    SetWindowTextW(text, line ? line : L"");
    MSG msg;
    while (!cancelled && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The real loop ends the program; the work stops first.
            PostQuitMessage(static_cast<int>(msg.wParam));
            cancelled = true;
            break;
        }
        if (IsDialogMessageW(handle, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return !cancelled;
}
