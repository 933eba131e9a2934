#include "win32/progress_bar.h"

#include <commctrl.h>

VQWin32DialogItemProgressBar::VQWin32DialogItemProgressBar(int id) : VQWin32DialogItem(id) {}

bool VQWin32DialogItemProgressBar::OnInitDialog(VQWin32Window* ownerWindow, HWND dialog, VQWin32Window* target) {
    if (!VQWin32DialogItem::OnInitDialog(ownerWindow, dialog, target)) return false;
    int shownDone = done, shownTotal = total;
    bool shownFailed = failed;
    total = -1;  // forces the first SetProgress through to the control
    SetProgress(shownDone, shownTotal, shownFailed);
    return true;
}

void VQWin32DialogItemProgressBar::SetProgress(int doneNow, int totalNow, bool failedNow) {
    if (doneNow < 0) doneNow = 0;
    if (totalNow < 0) totalNow = 0;
    if (doneNow > totalNow) doneNow = totalNow;
    bool changedRange = totalNow != total;
    bool changedState = failedNow != failed || changedRange;
    bool changedPosition = doneNow != done || changedRange;
    done = doneNow;
    total = totalNow;
    failed = failedNow;
    if (!controlHandle) return;
    // The range takes 32 bits: a list of a million entries fits.
    if (changedRange) SendMessageW(controlHandle, PBM_SETRANGE32, 0, total > 0 ? total : 1);
    if (changedState) SendMessageW(controlHandle, PBM_SETSTATE, failed ? PBST_ERROR : PBST_NORMAL, 0);
    if (changedPosition) SendMessageW(controlHandle, PBM_SETPOS, done, 0);
}

int VQWin32DialogItemProgressBar::GetPosition() {
    return controlHandle ? static_cast<int>(SendMessageW(controlHandle, PBM_GETPOS, 0, 0)) : done;
}

int VQWin32DialogItemProgressBar::GetRange() {
    return controlHandle ? static_cast<int>(SendMessageW(controlHandle, PBM_GETRANGE, FALSE, 0)) : total;
}

bool VQWin32DialogItemProgressBar::IsFailedState() {
    return controlHandle ? SendMessageW(controlHandle, PBM_GETSTATE, 0, 0) == PBST_ERROR : failed;
}
