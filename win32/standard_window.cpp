// VQWin32StandardWindow: saved placement and the owner's list of owned windows.
#include "win32/standard_window.h"

#include "win32/monitor.h"

VQWin32StandardWindow::VQWin32StandardWindow(HINSTANCE instance)
    : VQWin32Window(instance), savePlacement(0), placementValueName("ClientRect") {}

void VQWin32StandardWindow::ReadPlacement(VQWin32WindowCreateInfo* info) {
    if (!savePlacement) return;
    RECT saved;
    // A shorter (damaged) value would leave a rectangle half old, half new.
    if (ReadBlock16(placementValueName.Text(), &saved) != static_cast<int>(sizeof saved)) return;
    // A place saved on a display that is gone (a laptop taken off its dock)
    // would open the window where nobody can see it: bring it onto one.
    if (!MonitorFromRect(&saved, MONITOR_DEFAULTTONULL)) FitRectToMonitor(&saved);
    info->rect = saved;
}

bool VQWin32StandardWindow::PreCreate(VQWin32WindowCreateInfo* info) {
    if (!VQWin32Window::PreCreate(info)) return false;
    ReadPlacement(info);
    return true;
}

bool VQWin32StandardWindow::PostCreate(VQWin32WindowCreateInfo* info) {
    if (!info) return true;
    if (parent && !(info->style & WS_CHILD)) parent->ownedWindows.Add(this);
    return true;
}

void VQWin32StandardWindow::OnDestroyed() {
    if (IsOwnedPopup()) {
        int index = parent->ownedWindows.Find(this);
        if (index >= 0) parent->ownedWindows.RemoveAt(index);
    }
    if (savePlacement) WriteBlock16(placementValueName.Text(), &clientScreenRect);
    VQWin32Window::OnDestroyed();
}
