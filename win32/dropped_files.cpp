#include "win32/dropped_files.h"

#include <vector>

VQArray<VQWString, VQWString> TakeDroppedPaths(HDROP drop) {
    VQArray<VQWString, VQWString> paths;
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::vector<wchar_t> path(length + 1, L'\0');
        DragQueryFileW(drop, i, path.data(), length + 1);
        paths.Add(VQWString(path.data()));
    }
    DragFinish(drop);
    return paths;
}
