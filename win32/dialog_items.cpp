// VQWin32DialogBaseItem and VQWin32DialogItem: binding, subclassing, change
// notification and layout.
#include "win32/dialog_items.h"

#include "base/log.h"
#include "win32/log_lines.h"
#include "win32/window.h"

LRESULT CALLBACK VQWin32DialogControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* item = reinterpret_cast<VQWin32DialogBaseItem*>(GetWindowLongPtrW(control, GWLP_USERDATA));
    if (item) return item->ControlProc(control, message, wParam, lParam);
    return DefWindowProcW(control, message, wParam, lParam);
}

VQWin32DialogBaseItem::VQWin32DialogBaseItem(int controlId)
    : controlId(controlId),
      owner(nullptr),
      notifyTarget(nullptr),
      dialogHandle(nullptr),
      controlHandle(nullptr),
      focusAfterClick(0),
      subclass(0),
      previousProc(nullptr) {}

VQWin32DialogBaseItem::~VQWin32DialogBaseItem() {}

bool VQWin32DialogBaseItem::IsId(int id) { return id == controlId; }

int VQWin32DialogBaseItem::GetId() { return controlId; }

bool VQWin32DialogBaseItem::IsHandle(HWND hwnd) { return hwnd == controlHandle; }

HWND VQWin32DialogBaseItem::GetHandle() { return controlHandle; }

bool VQWin32DialogBaseItem::HasCapture() { return false; }

bool VQWin32DialogBaseItem::IsEnabled() { return controlHandle && IsWindowEnabled(controlHandle); }

void VQWin32DialogBaseItem::Enable(bool enable) {
    if (controlHandle) EnableWindow(controlHandle, enable);
}

void VQWin32DialogBaseItem::Show(bool show) {
    if (controlHandle) ShowWindow(controlHandle, show ? SW_SHOW : SW_HIDE);
}

VQString VQWin32DialogBaseItem::GetTextA() {
    VQString result;
    if (!controlHandle) return result;
    int length = GetWindowTextLengthA(controlHandle);
    if (length < 1) return result;
    result.SetLength(length);
    int got = GetWindowTextA(controlHandle, result.GetData(), length + 1);
    result.SetLength(got < 0 ? 0 : got);
    return result;
}

VQWString VQWin32DialogBaseItem::GetTextW(bool) {
    VQWString result;
    if (!controlHandle) return result;
    int length = GetWindowTextLengthW(controlHandle);
    result = L"";
    if (length < 1) return result;
    result.SetLength(length);
    int got = GetWindowTextW(controlHandle, result.GetData(), length + 1);
    result.SetLength(got < 0 ? 0 : got);
    return result;
}

void VQWin32DialogBaseItem::SetTextA(const char* text) {
    if (controlHandle) SetWindowTextA(controlHandle, text);
}

void VQWin32DialogBaseItem::SetTextW(const wchar_t* text, bool) {
    if (controlHandle) SetWindowTextW(controlHandle, text);
}

bool VQWin32DialogBaseItem::OnInitDialog(VQWin32Window* ownerWindow, HWND dialog, VQWin32Window* target) {
    if (!dialog) {
        vqLog.Write(kLogItemNoDialog);
        return false;
    }
    owner = ownerWindow;
    notifyTarget = target;
    dialogHandle = dialog;
    controlHandle = GetDlgItem(dialog, controlId);
    if (!controlHandle) {
        vqLog.Write(kLogItemMissingId, controlId);
        return false;
    }
    SetWindowLongPtrW(controlHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (subclass) {
        previousProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(controlHandle, GWLP_WNDPROC));
        SetWindowLongPtrW(controlHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(VQWin32DialogControlProc));
    }
    return true;
}

bool VQWin32DialogBaseItem::OnDialogReady() { return true; }

void VQWin32DialogBaseItem::Commit() {}

void VQWin32DialogBaseItem::Unsubclass() {
    if (controlHandle && previousProc) {
        SetWindowLongPtrW(controlHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc));
    }
}

LRESULT VQWin32DialogBaseItem::ControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = CallWindowProcW(previousProc, control, message, wParam, lParam);
    if (message == WM_LBUTTONUP) {
        if (focusAfterClick == 1 && owner) {
            SetFocus(owner->handle);
        } else if (focusAfterClick == 2) {
            VQWin32Window* main = VQWin32GetMainWindow();
            SetFocus(main ? main->handle : nullptr);
        }
    }
    return result;
}

VQWin32DialogItem::VQWin32DialogItem(int controlId)
    : VQWin32DialogBaseItem(controlId),
      initialRect{0, 0, 0, 0},
      currentRect{0, 0, 0, 0},
      clientOffset{0, 0},
      anchorFlags(0),
      notifyEnabled(1) {}

bool VQWin32DialogItem::OnInitDialog(VQWin32Window* ownerWindow, HWND dialog, VQWin32Window* target) {
    if (!VQWin32DialogBaseItem::OnInitDialog(ownerWindow, dialog, target)) return false;
    GetWindowRect(controlHandle, &initialRect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&initialRect), 2);
    currentRect = initialRect;
    UpdateClientOffset();
    return true;
}

void VQWin32DialogItem::UpdateClientOffset() {
    POINT control = {0, 0};
    POINT dialog = {0, 0};
    ClientToScreen(controlHandle, &control);
    ClientToScreen(dialogHandle, &dialog);
    clientOffset.x = control.x - dialog.x;
    clientOffset.y = control.y - dialog.y;
}

bool VQWin32DialogItem::IsNotifyEnabled() { return notifyEnabled != 0; }

void VQWin32DialogItem::SetNotifyEnabled(bool enable) { notifyEnabled = enable ? 1 : 0; }

void VQWin32DialogItem::Layout(SIZE newSize, SIZE referenceSize, const POINT* offset, bool force) {
    if (!controlHandle || anchorFlags == 0) return;
    if (!(anchorFlags & VQWin32AnchorOnlyWhenForced) || force) {
        currentRect = initialRect;
        int dx = newSize.cx - referenceSize.cx;
        int dy = newSize.cy - referenceSize.cy;
        // A dialog at or below its reference size shows every control at its
        // initial place and size.
        if (dx > 0) {
            if (anchorFlags & VQWin32AnchorMoveRight) currentRect.left += dx, currentRect.right += dx;
            if (anchorFlags & VQWin32AnchorStretchRight) currentRect.right += dx;
        }
        if (dy > 0) {
            if (anchorFlags & VQWin32AnchorMoveDown) currentRect.top += dy, currentRect.bottom += dy;
            if (anchorFlags & VQWin32AnchorStretchDown) currentRect.bottom += dy;
        }
        if (offset) OffsetRect(&currentRect, offset->x, offset->y);
    }
    SetWindowPos(controlHandle, nullptr, currentRect.left, currentRect.top, currentRect.right - currentRect.left,
                 currentRect.bottom - currentRect.top, SWP_NOACTIVATE | SWP_NOZORDER);
    UpdateClientOffset();
}

void VQWin32DialogItem::OnEnterSizeMove() {}

void VQWin32DialogItem::OnExitSizeMove() {}

void VQWin32DialogItem::OnDrawItem(int, DRAWITEMSTRUCT*) {}

int VQWin32DialogItem::OnCommand(int, int, HWND) { return 1; }

int VQWin32DialogItem::MessageProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

bool VQWin32DialogItem::NotifyChange(WPARAM value1, LPARAM value2) {
    if (!notifyEnabled) return true;
    if (notifyTarget) return notifyTarget->OnItemNotify(dialogHandle, controlId, value1, value2, 0, 0, 0);
    if (!owner) return false;
    for (VQWin32Window* window = VQWin32Window::FromHandle(GetParent(dialogHandle)); window;
         window = window->parent) {
        if (window->OnItemNotify(dialogHandle, controlId, value1, value2, 0, 0, 0)) return true;
    }
    return false;
}
