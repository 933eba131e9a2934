// The entries of a dropped archive the benchmarks hold: paths of about 80
// characters, a thousand to a folder, the files of one folder dropped
// together and sharing its root.
#pragma once

#include "base/strings.h"

inline VQWString EntryPath(int i) {
    VQWString path;
    path.Format(L"D:\\写真アーカイブ\\2026\\フォルダ %04d\\サブフォルダ\\IMG_%07d_holiday_photo.jpg", i / 1000, i);
    return path;
}

inline VQWString EntryRoot(int i) {
    VQWString root;
    root.Format(L"D:\\写真アーカイブ\\2026\\フォルダ %04d\\", i / 1000);
    return root;
}
