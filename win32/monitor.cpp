// FitRectToMonitor and its process-wide monitor cache.
#include "win32/monitor.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kMaxMonitors = 16;

struct MonitorCache {
    RECT monitors[kMaxMonitors];
    RECT workAreas[kMaxMonitors];
    int count;    // -1 until the first enumeration
    RECT bounds;  // grows from (0, 0, 0, 0), so it always holds the origin
};
MonitorCache g_cache = {{}, {}, -1, {0, 0, 0, 0}};

void ClearCache() {
    g_cache.count = 0;
    g_cache.bounds = RECT{0, 0, 0, 0};
}

// False once the cache is full.
bool AddMonitor(const RECT& monitor, const RECT& workArea) {
    g_cache.monitors[g_cache.count] = monitor;
    g_cache.workAreas[g_cache.count] = workArea;
    // An inverted rectangle is kept but would make the bounds meaningless.
    if (monitor.left <= monitor.right && monitor.top <= monitor.bottom) {
        RECT& b = g_cache.bounds;
        if (monitor.left < b.left) b.left = monitor.left;
        if (monitor.top < b.top) b.top = monitor.top;
        if (monitor.right > b.right) b.right = monitor.right;
        if (monitor.bottom > b.bottom) b.bottom = monitor.bottom;
    }
    ++g_cache.count;
    return g_cache.count < kMaxMonitors;
}

BOOL CALLBACK CollectMonitor(HMONITOR monitor, HDC, LPRECT monitorRect, LPARAM) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    RECT work = GetMonitorInfoW(monitor, &info) ? info.rcWork : *monitorRect;
    return AddMonitor(*monitorRect, work) ? TRUE : FALSE;
}

void EnsureMonitors() {
    if (g_cache.count >= 0) return;
    ClearCache();
    EnumDisplayMonitors(nullptr, nullptr, CollectMonitor, 0);
}

// Shifts [low, high) into [min, max) when it is narrower, else centres it on centre.
void FitSpan(LONG* low, LONG* high, LONG min, LONG max, LONG centre) {
    LONG size = *high - *low;
    if (size < max - min) {
        if (*low < min) {
            *high += min - *low;
            *low = min;
        }
        if (*high > max) {
            *low -= *high - max;
            *high = max;
        }
    } else {
        *low = centre - size / 2;
        *high = *low + size;
    }
}

}  // namespace

void VQWin32ReplaceMonitors(const RECT* monitors, int count, const RECT* workAreas) {
    if (count < 0) {
        g_cache.count = -1;
        return;
    }
    ClearCache();
    for (int i = 0; i < count && AddMonitor(monitors[i], workAreas ? workAreas[i] : monitors[i]); ++i) {
    }
}

bool RectOnMonitors(const RECT& rect) {
    EnsureMonitors();
    if (rect.left >= rect.right || rect.top >= rect.bottom) return false;
    // Cut the rectangle into columns at every monitor edge inside it; each
    // column must be covered from top to bottom by the monitors spanning it.
    LONG edges[2 + 2 * kMaxMonitors];
    int edgeCount = 0;
    edges[edgeCount++] = rect.left;
    edges[edgeCount++] = rect.right;
    for (int i = 0; i < g_cache.count; ++i) {
        for (LONG x : {g_cache.monitors[i].left, g_cache.monitors[i].right}) {
            if (x > rect.left && x < rect.right) edges[edgeCount++] = x;
        }
    }
    std::sort(edges, edges + edgeCount);
    for (int e = 0; e + 1 < edgeCount; ++e) {
        if (edges[e] == edges[e + 1]) continue;
        LONG covered = rect.top;
        // Grow the covered span downwards until no monitor extends it.
        for (bool grew = true; grew && covered < rect.bottom;) {
            grew = false;
            for (int i = 0; i < g_cache.count; ++i) {
                const RECT& m = g_cache.monitors[i];
                if (m.left <= edges[e] && m.right >= edges[e + 1] && m.top <= covered && m.bottom > covered) {
                    covered = m.bottom;
                    grew = true;
                }
            }
        }
        if (covered < rect.bottom) return false;
    }
    return true;
}

namespace {

// The monitor under the rectangle's centre (the centre first brought within
// the monitors' horizontal bounds), or in the centre's column; null when none.
const RECT* MonitorOf(const RECT& rect, LONG* centreX, LONG* centreY) {
    EnsureMonitors();
    if (g_cache.count <= 0) return nullptr;
    LONG cx = (rect.left + rect.right) / 2;
    LONG cy = (rect.top + rect.bottom) / 2;
    if (cx < g_cache.bounds.left) cx = g_cache.bounds.left;
    if (cx > g_cache.bounds.right) cx = g_cache.bounds.right;
    *centreX = cx;
    *centreY = cy;
    for (int i = 0; i < g_cache.count; ++i) {
        const RECT& m = g_cache.monitors[i];
        if (cx >= m.left && cx <= m.right && cy >= m.top && cy <= m.bottom) return &m;
    }
    // Below or above every monitor: take the column the centre is in.
    for (int i = g_cache.count - 1; i >= 0; --i) {
        const RECT& m = g_cache.monitors[i];
        if (cx >= m.left && cx <= m.right) return &m;
    }
    return nullptr;
}

}  // namespace

void FitRectToMonitor(RECT* rect) {
    LONG cx = 0, cy = 0;
    const RECT* chosen = MonitorOf(*rect, &cx, &cy);
    if (!chosen) return;
    FitSpan(&rect->left, &rect->right, chosen->left, chosen->right, cx);
    FitSpan(&rect->top, &rect->bottom, chosen->top, chosen->bottom, cy);
}

RECT WorkAreaOf(const RECT& rect) {
    LONG cx = 0, cy = 0;
    const RECT* chosen = MonitorOf(rect, &cx, &cy);
    if (chosen) return g_cache.workAreas[chosen - g_cache.monitors];
    return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

void FitRectToWorkArea(RECT* rect) {
    RECT work = WorkAreaOf(*rect);
    FitSpan(&rect->left, &rect->right, work.left, work.right, (work.left + work.right) / 2);
    FitSpan(&rect->top, &rect->bottom, work.top, work.bottom, (work.top + work.bottom) / 2);
}

namespace {

bool OnAnOpenWindow(const RECT& rect, const RECT* open, int count, int step) {
    LONG within = step / 2 > 0 ? step / 2 : 1;
    for (int i = 0; i < count; ++i) {
        if (std::abs(open[i].left - rect.left) < within && std::abs(open[i].top - rect.top) < within) return true;
    }
    return false;
}

}  // namespace

RECT CascadeRect(const RECT& wanted, const RECT* open, int count, int step) {
    RECT rect = wanted;
    if (!open || count <= 0 || step <= 0) return rect;
    // Every open window can push it once, and each start again at a corner
    // once more; beyond that the places are all taken and it stays.
    for (int tries = 0; tries < 2 * count + 2 && OnAnOpenWindow(rect, open, count, step); ++tries) {
        LONG cx = 0, cy = 0;
        const RECT* monitor = MonitorOf(rect, &cx, &cy);
        OffsetRect(&rect, step, step);
        if (monitor && (rect.right > monitor->right || rect.bottom > monitor->bottom)) {
            OffsetRect(&rect, monitor->left - rect.left, monitor->top - rect.top);
        }
    }
    return rect;
}

std::vector<RECT> VQWin32OpenWindowsOfClass(const wchar_t* className) {
    std::vector<RECT> found;
    for (HWND other = FindWindowExW(nullptr, nullptr, className, nullptr); other;
         other = FindWindowExW(nullptr, other, className, nullptr)) {
        if (!IsWindowVisible(other)) continue;
        RECT rect;
        if (IsIconic(other)) {
            WINDOWPLACEMENT placement = {};
            placement.length = sizeof placement;
            if (!GetWindowPlacement(other, &placement)) continue;
            rect = placement.rcNormalPosition;
            // Workspace coordinates: they start at the corner of the monitor's
            // work area, which a taskbar at the top or left moves.
            MONITORINFO monitor = {};
            monitor.cbSize = sizeof monitor;
            if (GetMonitorInfoW(MonitorFromRect(&rect, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
                OffsetRect(&rect, monitor.rcWork.left - monitor.rcMonitor.left,
                           monitor.rcWork.top - monitor.rcMonitor.top);
            }
        } else if (!GetWindowRect(other, &rect)) {
            continue;
        }
        found.push_back(rect);
    }
    return found;
}
