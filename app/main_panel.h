// The main panel (dialog IDD_MAIN) as a description: every control's
// wrapper and anchors, the job settings' controls bound to their values
// (app/job_form.h), and the class, caption and icon of the window it fills.
#pragma once

#include <windows.h>

#include "app/job_form.h"

class TargetTable;
class VQWin32DialogWindowCreateInfo;

extern const wchar_t kIdleCaption[];

// The panel's create info, the table's list view and status line shown by
// table; instance holds the icon. The caller owns it.
VQWin32DialogWindowCreateInfo* MakeMainPanelCreateInfo(const JobSettings& settings, int showCommand,
                                                       HINSTANCE instance, TargetTable& table);
