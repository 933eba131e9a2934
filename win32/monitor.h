// Keeps a window rectangle on one of the displays. The monitor rectangles are
// enumerated once per process and never refreshed.
#pragma once

#include <windows.h>

// Moves rect (screen coordinates, size kept) onto the monitor under its
// centre, or centres it there when it is too large for that monitor.
void FitRectToMonitor(RECT* rect);

// True when every point of rect (screen coordinates, not empty) lies on one
// of the monitors, so a rectangle across two adjoining monitors counts.
bool RectOnMonitors(const RECT& rect);

// Replaces the cached monitor list, as if the system had enumerated these
// rectangles in this order (at most 16 are kept). A negative count forgets
// the list, so the next FitRectToMonitor enumerates the real monitors.
void VQWin32ReplaceMonitors(const RECT* monitors, int count);
