// The paths of a drop (WM_DROPFILES), read out and the drop's memory given back.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "base/arrays.h"
#include "base/strings.h"

// Every path the drop names, in its order; the drop is finished (DragFinish)
// and must not be used after.
VQArray<VQWString, VQWString> TakeDroppedPaths(HDROP drop);
