#include "app/window_place.h"

#include <algorithm>

#include "win32/dpi.h"
#include "win32/monitor.h"
#include "win32/window.h"

RECT DefaultClientRect(const RECT& workArea, UINT dpi, const RECT& frame) {
    // The client area starts where it always did, 32 pixels in.
    int left = workArea.left + VQWin32ScaleToDpi(32, dpi);
    int width = std::min<int>(workArea.right - frame.right - left, VQWin32ScaleToDpi(1000, dpi));
    return RECT{left, workArea.top - frame.top, left + width, workArea.bottom - frame.bottom};
}

bool CascadeBeside(const RECT& frame, const std::vector<RECT>& open, int step, const RECT& work, RECT* rect) {
    if (open.empty()) return false;
    int count = static_cast<int>(open.size());
    RECT shorter = frame;
    if (frame.top <= work.top) {
        LONG past = frame.bottom + count * step - work.bottom;
        shorter.bottom -= std::max<LONG>(0, std::min<LONG>(past, frame.bottom - frame.top - step));
    }
    RECT placed = CascadeRect(shorter, open.data(), count, step);
    if (placed.left == frame.left && placed.top == frame.top) return false;
    int bottom = std::min<int>(placed.top + (frame.bottom - frame.top), std::max(work.bottom, placed.bottom));
    OffsetRect(rect, placed.left - frame.left, placed.top - frame.top);
    rect->bottom -= (placed.top + (frame.bottom - frame.top)) - bottom;
    return true;
}

void WindowCascade::Place(VQWin32WindowCreateInfo* info) {
    // Another instance opened at the same saved place: this one goes a
    // caption further down and right, not on top of it.
    std::vector<RECT> open = VQWin32OpenWindowsOfClass(info->className.Text());
    if (open.empty()) return;
    RECT frame = info->rect;
    if (!info->rectIsWindowRect) AdjustWindowRectEx(&frame, info->style, info->menuName != nullptr, info->exStyle);
    int step = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYSIZEFRAME);
    if (CascadeBeside(frame, open, step, WorkAreaOf(frame), &info->rect)) cascaded = true;
}
