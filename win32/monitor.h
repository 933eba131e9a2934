// Keeps a window rectangle on one of the displays. The monitor rectangles are
// enumerated once per process and never refreshed.
#pragma once

#include <windows.h>

#include <vector>

// Moves rect (screen coordinates, size kept) onto the monitor under its
// centre, or centres it there when it is too large for that monitor.
void FitRectToMonitor(RECT* rect);

// True when every point of rect (screen coordinates, not empty) lies on one
// of the monitors, so a rectangle across two adjoining monitors counts.
bool RectOnMonitors(const RECT& rect);

// Where a new window opens so that it does not lie on a window of its kind
// that is open already. wanted and open[0 .. count) are frame rectangles in
// screen coordinates. The window moves down and right by step while one of
// the open windows has its top-left corner within half a step of its own; a
// step that would take it past its monitor's right or bottom edge starts
// again at that monitor's top-left corner. The size is kept.
RECT CascadeRect(const RECT& wanted, const RECT* open, int count, int step);
// The frame rectangles of the visible windows of this class that are open
// now, a minimised one by the place it comes back to.
std::vector<RECT> VQWin32OpenWindowsOfClass(const wchar_t* className);

// The work area (the monitor less its taskbars) of the monitor that
// FitRectToMonitor would keep rect on; the primary screen when there is none.
RECT WorkAreaOf(const RECT& rect);
// As FitRectToMonitor, within that monitor's work area.
void FitRectToWorkArea(RECT* rect);

// Replaces the cached monitor list, as if the system had enumerated these
// rectangles in this order (at most 16 are kept), with these work areas
// (null: each the whole monitor). A negative count forgets the list, so the
// next FitRectToMonitor enumerates the real monitors.
void VQWin32ReplaceMonitors(const RECT* monitors, int count, const RECT* workAreas = nullptr);
