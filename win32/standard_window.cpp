// VQWin32StandardWindow: saved placement and the owner's list of owned windows.
#include "win32/standard_window.h"

#include <cstdint>

#include "win32/monitor.h"

VQWin32StandardWindow::VQWin32StandardWindow(HINSTANCE instance)
    : VQWin32Window(instance), savePlacement(0), placementValueName("ClientRect"), placementRestored(0),
      defaultRect{0, 0, 0, 0} {}

namespace {

// Window coordinates beyond 16 bits are cut by the system.
constexpr int64_t kMaxCoordinate = 32767;

// A saved place may be damaged, or from a display that is gone (a laptop
// taken off its dock): only one whose caption bar the user can reach, and
// whose size shows the whole content, is worth restoring.
bool SavedPlaceIsUsable(const RECT& saved, const VQWin32WindowCreateInfo* info, int minW, int minH) {
    const int64_t edges[] = {saved.left, saved.top, saved.right, saved.bottom};
    for (int64_t edge : edges) {
        if (edge < -kMaxCoordinate || edge > kMaxCoordinate) return false;
    }
    int64_t width = static_cast<int64_t>(saved.right) - saved.left;
    int64_t height = static_cast<int64_t>(saved.bottom) - saved.top;
    if (width < (minW > 1 ? minW : 1) || height < (minH > 1 ? minH : 1)) return false;
    RECT frame = {0, 0, 0, 0};
    if (!info->rectIsWindowRect) AdjustWindowRectEx(&frame, info->style, info->menuName != nullptr, info->exStyle);
    // The strip above the client area (caption and top border), at least one row.
    RECT caption = {saved.left + frame.left, saved.top + frame.top, saved.right + frame.right, saved.top};
    if (caption.bottom <= caption.top) caption.bottom = caption.top + 1;
    return RectOnMonitors(caption);
}

}  // namespace

void VQWin32StandardWindow::ReadPlacement(VQWin32WindowCreateInfo* info) {
    placementRestored = 0;
    defaultRect = info->rect;
    if (!savePlacement) return;
    RECT saved;
    // A shorter (damaged) value would leave a rectangle half old, half new.
    if (ReadBlock16(placementValueName.Text(), &saved) != static_cast<int>(sizeof saved)) return;
    if (!SavedPlaceIsUsable(saved, info, minWidth, minHeight)) return;
    info->rect = saved;
    placementRestored = 1;
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
