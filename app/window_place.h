// Where the main window opens: the first start's place, and a step away
// from the other instances open at the same saved place.
#pragma once

#include <windows.h>

#include <vector>

class VQWin32WindowCreateInfo;

// The client rectangle of a first start, when no place was saved: the
// work area's whole height (the table takes what the panel leaves),
// 32 pixels in from its left and up to 1000 wide (at 96 DPI). frame is the frame around
// a client area (AdjustWindowRectEx of an empty one).
RECT DefaultClientRect(const RECT& workArea, UINT dpi, const RECT& frame);

// Moves rect (the create info's, whose frame is `frame`) a step down and
// right past the open windows' frames (CascadeRect, win32/monitor.h). A
// frame as high as the work area grows shorter to make room for the steps
// rather than going back to the corner. False when it stays.
bool CascadeBeside(const RECT& frame, const std::vector<RECT>& open, int step, const RECT& work, RECT* rect);

class WindowCascade {
public:
    // Moves the window about to be made beside the visible ones of its class.
    void Place(VQWin32WindowCreateInfo* info);
    void Opened(const RECT& clientScreenRect) { openedPlace = clientScreenRect; }
    // A window placed beside another instance leaves the saved place to that
    // one unless the user moved or sized it, so the place does not creep a
    // step further with every second instance.
    bool KeepsSavedPlace(const RECT& clientScreenRect) const {
        return !cascaded || !EqualRect(&clientScreenRect, &openedPlace);
    }

private:
    bool cascaded = false;  // opened a step away from another instance
    RECT openedPlace = {};  // the client area in screen coordinates once opened
};
