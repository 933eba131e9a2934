// Display scale. The program declares itself aware of each monitor's DPI, so
// the system no longer stretches its windows as bitmaps: whatever is laid out
// in pixels scales itself by the DPI of the window's monitor. The functions
// that tell it are looked up at run time, so the program still starts on
// systems that lack them (before Windows 10 1607).
#pragma once

#include <windows.h>

// The DPI at which sizes in pixels are given unscaled.
constexpr UINT kVQBaseDpi = 96;

// The DPI of the monitor the window is on: GetDpiForWindow where the system
// has it, else the system's DPI (GetDpiForSystem, or LOGPIXELSY of the
// screen). A null window gives the system's DPI.
UINT VQWin32GetWindowDpi(HWND window);

// value (pixels at kVQBaseDpi) at dpi, rounded to the nearest.
int VQWin32ScaleToDpi(int value, UINT dpi);

// For tests: every window reports this DPI; 0 asks the system again.
void VQWin32OverrideDpi(UINT dpi);

// Leaves the scaling of a hosted dialog's controls and fonts to the
// framework (the dialog manager of newer systems would do it a second time);
// nothing where the system has no such behaviour.
void VQWin32TakeOverDialogScaling(HWND dialog);
