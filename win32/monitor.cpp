// FitRectToMonitor and its process-wide monitor cache.
#include "win32/monitor.h"

#include <algorithm>

namespace {

constexpr int kMaxMonitors = 16;

struct MonitorCache {
    RECT monitors[kMaxMonitors];
    int count;    // -1 until the first enumeration
    RECT bounds;  // grows from (0, 0, 0, 0), so it always holds the origin
};
MonitorCache g_cache = {{}, -1, {0, 0, 0, 0}};

void ClearCache() {
    g_cache.count = 0;
    g_cache.bounds = RECT{0, 0, 0, 0};
}

// False once the cache is full.
bool AddMonitor(const RECT& monitor) {
    g_cache.monitors[g_cache.count] = monitor;
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

BOOL CALLBACK CollectMonitor(HMONITOR, HDC, LPRECT monitorRect, LPARAM) {
    return AddMonitor(*monitorRect) ? TRUE : FALSE;
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

void VQWin32ReplaceMonitors(const RECT* monitors, int count) {
    if (count < 0) {
        g_cache.count = -1;
        return;
    }
    ClearCache();
    for (int i = 0; i < count && AddMonitor(monitors[i]); ++i) {
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

void FitRectToMonitor(RECT* rect) {
    EnsureMonitors();
    if (g_cache.count <= 0) return;
    LONG cx = (rect->left + rect->right) / 2;
    LONG cy = (rect->top + rect->bottom) / 2;
    if (cx < g_cache.bounds.left) cx = g_cache.bounds.left;
    if (cx > g_cache.bounds.right) cx = g_cache.bounds.right;

    const RECT* chosen = nullptr;
    for (int i = 0; i < g_cache.count && !chosen; ++i) {
        const RECT& m = g_cache.monitors[i];
        if (cx >= m.left && cx <= m.right && cy >= m.top && cy <= m.bottom) chosen = &m;
    }
    // Below or above every monitor: take the column the centre is in.
    for (int i = g_cache.count - 1; i >= 0 && !chosen; --i) {
        const RECT& m = g_cache.monitors[i];
        if (cx >= m.left && cx <= m.right) chosen = &m;
    }
    if (!chosen) return;
    FitSpan(&rect->left, &rect->right, chosen->left, chosen->right, cx);
    FitSpan(&rect->top, &rect->bottom, chosen->top, chosen->bottom, cy);
}
