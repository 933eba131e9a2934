// VQWin32DialogWindow: the hosted dialog's procedure, the routing of frame
// and dialog messages to the items, focus, and layout on resize.
#include "win32/dialog_window.h"

INT_PTR VQWin32DialogWindow::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETFOCUS:
        OnDialogFocus(wParam);
        return 1;
    case WM_DRAWITEM: return OnDrawItem(dialog, wParam, lParam);
    case WM_NOTIFY: return OnNotify(dialog, wParam, lParam);
    case WM_INITDIALOG: return OnDialogInit(dialog, wParam, lParam);
    case WM_COMMAND: return OnCommand(dialog, wParam, lParam);
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (!lParam) {
            return message == WM_HSCROLL ? OnHScroll(dialog, wParam, 0) : OnVScroll(dialog, wParam, 0);
        }
        return RouteToItem(reinterpret_cast<HWND>(lParam), message, wParam, lParam);
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (!GetCapture()) {
            // A click on the dialog's background: the frame takes the focus.
            SetFocus(handle);
            return 1;
        }
        // A captured press goes where the capture is.
        [[fallthrough]];
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        if (GetCapture()) {
            for (int i = 0; i < items.GetCount(); ++i) {
                if (items[i]->HasCapture()) return RouteToItem(items[i]->GetHandle(), message, wParam, lParam);
            }
        }
        return 0;
    case WM_MOUSEWHEEL: return OnMouseWheel(dialog, wParam, lParam);
    default: return 0;
    }
}

int VQWin32DialogWindow::OnDialogInit(HWND, WPARAM, LPARAM) { return 1; }

void VQWin32DialogWindow::OnDialogFocus(WPARAM) {}

int VQWin32DialogWindow::RouteToItem(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    VQWin32DialogItem* item = FindItemByHandle(control);
    return item ? item->MessageProc(control, message, wParam, lParam) : 0;
}

int VQWin32DialogWindow::OnCommand(HWND, WPARAM wParam, LPARAM lParam) {
    int id = LOWORD(wParam);
    for (int i = 0; i < items.GetCount(); ++i) {
        if (items[i]->IsId(id)) return items[i]->OnCommand(id, HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    }
    return 1;
}

int VQWin32DialogWindow::OnNotify(HWND, WPARAM wParam, LPARAM lParam) {
    for (int i = 0; i < items.GetCount(); ++i) {
        if (items[i]->IsId(static_cast<int>(wParam))) {
            return items[i]->MessageProc(items[i]->GetHandle(), WM_NOTIFY, wParam, lParam);
        }
    }
    return 1;
}

int VQWin32DialogWindow::OnDrawItem(HWND, WPARAM wParam, LPARAM lParam) {
    for (int i = 0; i < items.GetCount(); ++i) {
        if (items[i]->IsId(static_cast<int>(wParam))) {
            items[i]->OnDrawItem(static_cast<int>(wParam), reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
            return 1;
        }
    }
    return 0;
}

namespace {

BOOL CALLBACK FindFirstTabStop(HWND child, LPARAM lParam) {
    if (!(GetWindowLongPtrW(child, GWL_STYLE) & WS_TABSTOP)) return TRUE;
    *reinterpret_cast<HWND*>(lParam) = child;
    return FALSE;
}

}  // namespace

int VQWin32DialogWindow::OnActivate(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    // Deactivation comes before the focus leaves: note where it was, so that
    // the user comes back to the same control after a box or another program.
    if (LOWORD(wParam) == WA_INACTIVE && dialogHandle) {
        HWND focus = GetFocus();
        if (focus && IsChild(dialogHandle, focus)) savedFocus = focus;
    }
    return VQWin32StandardWindow::OnActivate(hwnd, wParam, lParam);
}

int VQWin32DialogWindow::OnSetFocus(HWND, WPARAM, LPARAM) {
    if (savedFocus && dialogHandle && IsChild(dialogHandle, savedFocus) && IsWindowVisible(savedFocus) &&
        IsWindowEnabled(savedFocus)) {
        SetFocus(savedFocus);
        return defaultProc == DefMDIChildProcW ? 1 : 0;
    }
    if (focusFirstTabStop && dialogHandle) {
        HWND first = nullptr;
        EnumChildWindows(dialogHandle, FindFirstTabStop, reinterpret_cast<LPARAM>(&first));
        SetFocus(first ? first : dialogHandle);
    }
    return defaultProc == DefMDIChildProcW ? 1 : 0;
}

int VQWin32DialogWindow::OnSize(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    VQWin32StandardWindow::OnSize(hwnd, wParam, lParam);
    if (wParam == SIZE_RESTORED || wParam == SIZE_MAXIMIZED) LayoutDialog();
    return defaultProc == DefMDIChildProcW ? 1 : 0;
}

void VQWin32DialogWindow::Relayout() {
    relayoutInProgress = 1;
    VQWin32StandardWindow::Relayout();
    relayoutInProgress = 0;
}

int VQWin32DialogWindow::OnEnterSizeMove(HWND, WPARAM, LPARAM) {
    for (int i = 0; i < items.GetCount(); ++i) items[i]->OnEnterSizeMove();
    inSizeMove = 1;
    return 1;
}

int VQWin32DialogWindow::OnExitSizeMove(HWND, WPARAM, LPARAM) {
    for (int i = 0; i < items.GetCount(); ++i) items[i]->OnExitSizeMove();
    inSizeMove = 0;
    return 1;
}

void VQWin32DialogWindow::LayoutDialog() {
    // A fixed frame already fits its dialog.
    if (!handle || !dialogHandle || !resizable) return;
    GetClientRect(handle, &dockRect);
    int fullWidth = dockRect.right - dockRect.left;
    int fullHeight = dockRect.bottom - dockRect.top;
    ExcludeDockedSiblings(handle, dialogHandle, 3, &dockRect);
    int width = dockRect.right - dockRect.left;
    int height = dockRect.bottom - dockRect.top;
    if (relayoutInProgress && (width < fullWidth || height < fullHeight)) {
        // The docked bars must not squeeze the dialog below its own size.
        SetSizeLimits(dialogWidth + (fullWidth - width), dialogHeight + (fullHeight - height), -1, -1, 0, 0);
    }
    MoveWindow(dialogHandle, dockRect.left, dockRect.top, width, height, TRUE);
    SIZE newSize = {width, height};
    SIZE referenceSize = {dialogWidth, dialogHeight};
    for (int i = 0; i < items.GetCount(); ++i) items[i]->Layout(newSize, referenceSize, nullptr, false);
}

void VQWin32DialogWindow::LayoutItem(VQWin32DialogItem* item) {
    if (!handle || !dialogHandle || !resizable || !item) return;
    SIZE newSize = {dockRect.right - dockRect.left, dockRect.bottom - dockRect.top};
    SIZE referenceSize = {dialogWidth, dialogHeight};
    item->Layout(newSize, referenceSize, nullptr, false);
}
