// The taskbar button's progress and the flash at the end of a run. Windows
// shows them; Wine mostly does not, so the calls go through a seam that tests
// replace to see them.
#pragma once

#include <windows.h>

class VQTaskbar {
public:
    enum State { kNone, kNormal, kError };
    virtual ~VQTaskbar() {}
    // kNone clears the progress; otherwise done of total in that state.
    virtual void SetProgress(HWND window, State state, int done, int total) = 0;
    // Draws the user's attention to a window that is not in front.
    virtual void Flash(HWND window) = 0;
    // A notification of the window's (a balloon from its icon in the
    // notification area, shown as a toast where the system does so); a click
    // on it comes to the window as callbackMessage with NIN_BALLOONUSERCLICK
    // in lParam. The sound, if any, is the one the user's settings give it.
    virtual void Notify(HWND window, UINT callbackMessage, const wchar_t* title, const wchar_t* text) {
        (void)window, (void)callbackMessage, (void)title, (void)text;
    }
    // Takes the window's icon out of the notification area.
    virtual void EndNotify(HWND window) { (void)window; }
};

// The system's taskbar, or what was put in its place.
VQTaskbar* VQGetTaskbar();
// Replaces the taskbar (null: the system's again); returns the one before.
VQTaskbar* VQSetTaskbar(VQTaskbar* replacement);
