// A progress bar in a dialog: how far a run has come, red once it has a failure.
#pragma once

#include <windows.h>

#include "win32/dialog_items.h"

class VQWin32DialogItemProgressBar : public VQWin32DialogItem {
public:
    explicit VQWin32DialogItemProgressBar(int controlId);

    bool OnInitDialog(VQWin32Window* owner, HWND dialog, VQWin32Window* notifyTarget) override;

    // done of total; a total of 0 shows an empty bar.
    void SetProgress(int done, int total, bool failed);
    int GetPosition();
    int GetRange();
    bool IsFailedState();

private:
    int done = 0;
    int total = 0;
    bool failed = false;
};
