// VQWin32Window: the window procedure, the dispatch to handlers and their
// base behaviour, and the routing of the mouse wheel.
#include "win32/window.h"

LRESULT CALLBACK VQWin32FrameworkWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* window = reinterpret_cast<VQWin32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window) return window->WindowProc(hwnd, message, wParam, lParam);
    // Messages sent inside CreateWindowExW arrive before Create links the
    // object; the main window's procedure takes them in its place.
    VQWin32Window* main = VQWin32GetMainWindow();
    if (main && main->handle) return main->WindowProc(hwnd, message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT VQWin32Window::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    for (int i = 0; i < procHooks.GetCount(); ++i) {
        VQWin32WindowProcReg& hook = procHooks[i];
        if (hook.proc && hook.proc(hook.userData, hwnd, message, wParam, lParam) == 0) return 0;
    }
    if (message >= WM_USER && message <= 0x7FFF) {
        if (OnUserMessage(hwnd, message, wParam, lParam) == 0) return 0;
        return DefaultProc(hwnd, message, wParam, lParam);
    }
    if (message >= WM_APP && message <= 0xBFFF) {
        if (OnAppMessage(hwnd, message, wParam, lParam) == 0) return 0;
        return DefaultProc(hwnd, message, wParam, lParam);
    }
    int result;
    switch (message) {
    case WM_CREATE: result = OnCreate(hwnd, wParam, lParam); break;
    case WM_CLOSE:
    case WM_QUERYENDSESSION: result = OnClose(hwnd, wParam, lParam); break;
    case WM_DESTROY: result = OnDestroy(hwnd, wParam, lParam); break;
    case WM_KEYDOWN: result = OnKeyDown(hwnd, wParam, lParam); break;
    case WM_KEYUP: result = OnKeyUp(hwnd, wParam, lParam); break;
    case WM_CHAR: result = OnChar(hwnd, wParam, lParam); break;
    case WM_MOUSEMOVE: result = OnMouseMove(hwnd, wParam, lParam); break;
    case WM_LBUTTONDOWN: result = OnLButtonDown(hwnd, wParam, lParam); break;
    case WM_LBUTTONUP: result = OnLButtonUp(hwnd, wParam, lParam); break;
    case WM_LBUTTONDBLCLK: result = OnLButtonDblClk(hwnd, wParam, lParam); break;
    case WM_RBUTTONDOWN: result = OnRButtonDown(hwnd, wParam, lParam); break;
    case WM_RBUTTONUP: result = OnRButtonUp(hwnd, wParam, lParam); break;
    case WM_RBUTTONDBLCLK: result = OnRButtonDblClk(hwnd, wParam, lParam); break;
    case WM_MBUTTONDOWN: result = OnMButtonDown(hwnd, wParam, lParam); break;
    case WM_MBUTTONUP: result = OnMButtonUp(hwnd, wParam, lParam); break;
    case WM_MBUTTONDBLCLK: result = OnMButtonDblClk(hwnd, wParam, lParam); break;
    case WM_MOUSEWHEEL: result = OnMouseWheel(hwnd, wParam, lParam); break;
    case WM_COMMAND: result = OnCommand(hwnd, wParam, lParam); break;
    case WM_SYSCOMMAND: result = OnSysCommand(hwnd, wParam, lParam); break;
    case WM_NOTIFY: result = OnNotify(hwnd, wParam, lParam); break;
    case WM_DROPFILES: result = OnDropFiles(hwnd, wParam, lParam); break;
    case WM_PAINT: result = OnPaint(hwnd, wParam, lParam); break;
    case WM_ACTIVATEAPP: result = OnActivateApp(hwnd, wParam, lParam); break;
    case WM_ACTIVATE: result = OnActivate(hwnd, wParam, lParam); break;
    case WM_NCACTIVATE: result = OnNcActivate(hwnd, &wParam, &lParam); break;
    case WM_SETFOCUS: result = OnSetFocus(hwnd, wParam, lParam); break;
    case WM_KILLFOCUS: result = OnKillFocus(hwnd, wParam, lParam); break;
    case WM_SETCURSOR: result = OnSetCursor(hwnd, wParam, lParam); break;
    case WM_HSCROLL: result = OnHScroll(hwnd, wParam, lParam); break;
    case WM_VSCROLL: result = OnVScroll(hwnd, wParam, lParam); break;
    case WM_ENTERMENULOOP: result = OnEnterMenuLoop(hwnd, wParam, lParam); break;
    case WM_EXITMENULOOP: result = OnExitMenuLoop(hwnd, wParam, lParam); break;
    case WM_INITMENUPOPUP: result = OnInitMenuPopup(hwnd, wParam, lParam); break;
    case WM_MOVING: result = OnMoving(hwnd, wParam, lParam); break;
    case WM_MOVE: result = OnMove(hwnd, wParam, lParam); break;
    case WM_SIZING: result = OnSizing(hwnd, wParam, lParam); break;
    case WM_SIZE: result = OnSize(hwnd, wParam, lParam); break;
    case WM_ENTERSIZEMOVE: result = OnEnterSizeMove(hwnd, wParam, lParam); break;
    case WM_EXITSIZEMOVE: result = OnExitSizeMove(hwnd, wParam, lParam); break;
    case WM_TIMER: result = OnTimer(hwnd, wParam, lParam); break;
    case WM_DRAWITEM: result = OnDrawItem(hwnd, wParam, lParam); break;
    case WM_COPYDATA: result = OnCopyData(hwnd, wParam, lParam); break;
    case WM_GETMINMAXINFO:
        // Sent inside CreateWindowExW for windows not yet linked, which
        // reach this object in their place: only its own window's limits.
        result = hwnd == handle ? OnGetMinMaxInfo(hwnd, reinterpret_cast<MINMAXINFO*>(lParam)) : 1;
        break;
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        result = 0;
        break;
    default: result = 1; break;
    }
    // The window has closed itself (and saved what it keeps) at the end of
    // the session: it agrees that the session ends rather than holding it up.
    if (result == 0) return message == WM_QUERYENDSESSION ? TRUE : 0;
    return DefaultProc(hwnd, message, wParam, lParam);
}

LRESULT VQWin32Window::DefaultProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(defaultProc, hwnd, message, wParam, lParam);
}

int VQWin32Window::OnCreate(HWND, WPARAM, LPARAM) { return 0; }

int VQWin32Window::OnClose(HWND, WPARAM, LPARAM) {
    Close();
    return 0;
}

int VQWin32Window::OnDestroy(HWND, WPARAM, LPARAM) {
    OnDestroyed();
    if (!parent) PostQuitMessage(0);
    return 0;
}

int VQWin32Window::OnKeyDown(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnKeyUp(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnChar(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnMouseMove(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnLButtonDown(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnLButtonUp(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnLButtonDblClk(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnRButtonDown(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnRButtonUp(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnRButtonDblClk(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnMButtonDown(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnMButtonUp(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnMButtonDblClk(HWND, WPARAM, LPARAM) { return 1; }

int VQWin32Window::OnMouseWheel(HWND, WPARAM wParam, LPARAM lParam) {
    // The wheel goes to the owned popup under the cursor, not to the focus.
    POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    HWND under = WindowFromPoint(point);
    if (!under) return 1;
    HWND root = GetAncestor(under, GA_ROOT);
    if (!root) return 1;
    HWND owner = GetWindow(root, GW_OWNER);
    VQWin32Window* main = VQWin32GetMainWindow();
    if (!owner || !main || owner != main->handle) return 1;
    VQWin32Window* target = FromHandle(root);
    if (!target || target == this) return 1;
    return target->OnMouseWheel(under, wParam, lParam) == 0 ? 0 : 1;
}

int VQWin32Window::OnCommand(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnSysCommand(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnNotify(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnDropFiles(HWND, WPARAM, LPARAM) { return 1; }

int VQWin32Window::OnPaint(HWND hwnd, WPARAM, LPARAM) {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    EndPaint(hwnd, &ps);
    return 0;
}

int VQWin32Window::OnActivateApp(HWND, WPARAM, LPARAM) { return 0; }

int VQWin32Window::OnActivate(HWND, WPARAM wParam, LPARAM) {
    active = LOWORD(wParam) != 0 ? 1 : 0;
    return 0;
}

int VQWin32Window::OnNcActivate(HWND, WPARAM*, LPARAM*) { return 1; }
int VQWin32Window::OnSetFocus(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnKillFocus(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnSetCursor(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnHScroll(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnVScroll(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnEnterMenuLoop(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnExitMenuLoop(HWND, WPARAM, LPARAM) { return 1; }
int VQWin32Window::OnInitMenuPopup(HWND, WPARAM, LPARAM) { return 1; }

int VQWin32Window::OnMoving(HWND, WPARAM, LPARAM) {
    moving = 1;
    return 1;
}

int VQWin32Window::OnMove(HWND, WPARAM, LPARAM) {
    // Every move refreshes the geometry, not only a drag: the saved placement
    // must follow moves made by code as well.
    UpdateGeometry();
    moving = 0;
    return 1;
}

int VQWin32Window::OnEnterSizeMove(HWND, WPARAM, LPARAM) {
    inSizeMove = 1;
    return 1;
}

int VQWin32Window::OnExitSizeMove(HWND, WPARAM, LPARAM) {
    inSizeMove = 0;
    return 1;
}

int VQWin32Window::OnTimer(HWND, WPARAM, LPARAM) { return 0; }
int VQWin32Window::OnDrawItem(HWND, WPARAM, LPARAM) { return 0; }
int VQWin32Window::OnCopyData(HWND, WPARAM, LPARAM) { return 0; }
int VQWin32Window::OnUserMessage(HWND, UINT, WPARAM, LPARAM) { return -1; }
int VQWin32Window::OnAppMessage(HWND, UINT, WPARAM, LPARAM) { return -1; }

VQWin32Window* VQWin32Window::WindowFromScreenPoint(const POINT* point) {
    if (!point) return nullptr;
    HWND under = WindowFromPoint(*point);
    if (!under) return nullptr;
    if (under == handle) return this;
    VQWin32Window* main = VQWin32GetMainWindow();
    if (!main) return nullptr;
    HWND root = GetAncestor(under, GA_ROOT);
    if (!root) return nullptr;
    if (root == main->handle) return main;
    if (root == handle) return this;
    if (GetWindow(root, GW_OWNER) == main->handle) return FindOwnedWindow(root);
    return nullptr;
}
