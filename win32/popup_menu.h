// A menu of the resources shown as a pop-up under a control, as a button's
// drop-down menu opens.
#pragma once

#include <windows.h>

#include <vector>

// Shows the first pop-up of menu resource menuId at the bottom left of
// `below` (the screen's corner without it), the commands in `grayed` greyed
// and those in `removed` left out. The chosen command comes to owner as a
// menu's WM_COMMAND. False when the resource does not load.
bool ShowMenuBelow(HINSTANCE instance, int menuId, HWND owner, HWND below, const std::vector<int>& grayed,
                   const std::vector<int>& removed = {});
