// VQWin32Window: geometry, size limits, WM_SIZE and docking.
#include "win32/window.h"

bool VQWin32Window::UpdateGeometry() {
    RECT client;
    GetClientRect(handle, &client);
    // A minimised window has no client height; keep the last real geometry.
    if (client.top == 0 && client.bottom == 0) return false;
    GetWindowRect(handle, &windowRect);
    clientWidth = client.right - client.left;
    clientHeight = client.bottom - client.top;
    clientScreenRect.left = windowRect.left - frameOffsets.left;
    clientScreenRect.top = windowRect.top - frameOffsets.top;
    clientScreenRect.right = clientScreenRect.left + clientWidth;
    clientScreenRect.bottom = clientScreenRect.top + clientHeight;
    frameWidth = (windowRect.right - windowRect.left) - clientWidth;
    frameHeight = (windowRect.bottom - windowRect.top) - clientHeight;
    return true;
}

void VQWin32Window::SetSizeLimits(int minW, int minH, int maxW, int maxH, int stepW, int stepH) {
    minWidth = minW;
    minHeight = minH;
    maxWidth = maxW;
    maxHeight = maxH;
    widthStep = stepW;
    heightStep = stepH;
}

int VQWin32Window::OnGetMinMaxInfo(HWND, MINMAXINFO* info) {
    if (!info || takingSuggestedRect) return 1;
    bool changed = false;
    if (minWidth >= 0) info->ptMinTrackSize.x = minWidth + frameWidth, changed = true;
    if (minHeight >= 0) info->ptMinTrackSize.y = minHeight + frameHeight, changed = true;
    if (maxWidth >= 0) info->ptMaxTrackSize.x = maxWidth + frameWidth, changed = true;
    if (maxHeight >= 0) info->ptMaxTrackSize.y = maxHeight + frameHeight, changed = true;
    return changed ? 0 : 1;
}

int VQWin32Window::OnSizing(HWND, WPARAM wParam, LPARAM lParam) {
    RECT* rect = reinterpret_cast<RECT*>(lParam);
    int width = (rect->right - rect->left) - frameWidth;
    int height = (rect->bottom - rect->top) - frameHeight;
    bool changed = false;
    if (minWidth >= 0 && width < minWidth) width = minWidth, changed = true;
    if (minHeight >= 0 && height < minHeight) height = minHeight, changed = true;
    if (maxWidth >= 0 && width > maxWidth) width = maxWidth, changed = true;
    if (maxHeight >= 0 && height > maxHeight) height = maxHeight, changed = true;
    if (widthStep > 0 && width % widthStep != 0) width -= width % widthStep, changed = true;
    if (heightStep > 0 && height % heightStep != 0) height -= height % heightStep, changed = true;
    if (!changed) return 1;

    bool left = false, top = false, right = false, bottom = false;
    switch (wParam) {
    case WMSZ_LEFT: left = true; break;
    case WMSZ_RIGHT: right = true; break;
    case WMSZ_TOP: top = true; break;
    case WMSZ_TOPLEFT: top = left = true; break;
    case WMSZ_TOPRIGHT: top = right = true; break;
    case WMSZ_BOTTOM: bottom = true; break;
    case WMSZ_BOTTOMLEFT: bottom = left = true; break;
    case WMSZ_BOTTOMRIGHT: bottom = right = true; break;
    default: break;
    }
    // The dragged edges move; the opposite ones stay where they are.
    if (top) rect->top = rect->bottom - frameHeight - height;
    if (right) rect->right = rect->left + frameWidth + width;
    if (bottom) rect->bottom = rect->top + frameHeight + height;
    if (left) rect->left = rect->right - width - frameWidth;
    return 1;
}

int VQWin32Window::OnSize(HWND, WPARAM wParam, LPARAM) {
    switch (wParam) {
    case SIZE_RESTORED:
        if (!UpdateGeometry()) return 1;
        minimized = maximized = 0;
        break;
    case SIZE_MINIMIZED:
        minimized = 1;
        break;
    case SIZE_MAXIMIZED:
        maximized = 1;
        if (!UpdateGeometry()) return 1;
        break;
    default:
        break;
    }
    // Edges first, then the windows that fill what the edges leave.
    for (int i = 0; i < dockedChildren.GetCount(); ++i) {
        VQWin32Window* child = dockedChildren[i];
        if (child->dockMode == 1 || child->dockMode == 2) child->DockToParent(0, 0);
    }
    for (int i = 0; i < dockedChildren.GetCount(); ++i) {
        VQWin32Window* child = dockedChildren[i];
        if (child->dockMode == 3) child->DockToParent(0, 0);
    }
    return 1;
}

void VQWin32Window::Relayout() {
    RECT client;
    GetClientRect(handle, &client);
    OnSize(handle, SIZE_RESTORED, MAKELPARAM(client.right - client.left, client.bottom - client.top));
}

namespace {

struct DockScan {
    HWND container;
    HWND self;
    int mode;
    RECT* rect;
};

BOOL CALLBACK ExcludeSibling(HWND sibling, LPARAM lParam) {
    const DockScan* scan = reinterpret_cast<const DockScan*>(lParam);
    if (sibling == scan->self || GetParent(sibling) != GetParent(scan->self)) return TRUE;
    VQWin32Window* window = VQWin32Window::FromHandle(sibling);
    if (!window || window->dockMode == 0) return TRUE;
    RECT bounds;
    GetWindowRect(sibling, &bounds);
    POINT topLeft = {bounds.left, bounds.top};
    ScreenToClient(scan->container, &topLeft);
    int top = topLeft.y;
    int bottom = top + (bounds.bottom - bounds.top);
    if (window->dockMode == 1 && (scan->mode == 1 || scan->mode == 3)) {
        if (bottom > scan->rect->top) scan->rect->top = bottom;
    } else if (window->dockMode == 2 && (scan->mode == 2 || scan->mode == 3)) {
        if (top < scan->rect->bottom) scan->rect->bottom = top;
    }
    return TRUE;
}

}  // namespace

void VQWin32Window::ExcludeDockedSiblings(HWND container, HWND self, int mode, RECT* rect) {
    DockScan scan = {container, self, mode, rect};
    EnumChildWindows(container, ExcludeSibling, reinterpret_cast<LPARAM>(&scan));
}

void VQWin32Window::DockToParent(WPARAM, LPARAM) {
    if (!handle || !parent) return;
    GetClientRect(parent->handle, &dockRect);
    ExcludeDockedSiblings(parent->handle, handle, dockMode, &dockRect);
    // A bar docked at an edge keeps its own height; only the fill takes the rest.
    RECT own;
    GetWindowRect(handle, &own);
    int ownHeight = own.bottom - own.top;
    if (dockMode == 1) dockRect.bottom = dockRect.top + ownHeight;
    if (dockMode == 2) dockRect.top = dockRect.bottom - ownHeight;
    MoveWindow(handle, dockRect.left, dockRect.top, dockRect.right - dockRect.left, dockRect.bottom - dockRect.top,
               TRUE);
}
