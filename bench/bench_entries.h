// The entries of a dropped archive the benchmarks hold: paths of about 80
// characters, a thousand to a folder, the files of one folder dropped
// together and sharing its root.
#pragma once

#include <string>
#include <vector>

#include "base/strings.h"
#include "settings/kept_list.h"

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

// A kept list of `count` such entries in folder, as a rewrite writes it;
// with roots, each entry under its dropped folder and every 97th one left
// running, as a crash leaves them. False when the list cannot be opened.
inline bool WriteKeptArchive(const std::wstring& folder, int count, bool withRoots) {
    KeptList kept;
    std::vector<KeptEntry> entries;
    KeptListReport report;
    if (!kept.Open(VQWString(folder.c_str()), entries, report)) return false;
    KeptListText text = kept.BeginRewrite();
    for (int i = 0; i < count; ++i) {
        text.Add(EntryPath(i), withRoots ? EntryRoot(i) : VQWString(), withRoots && i % 97 == 0);
    }
    kept.Save(std::move(text));
    kept.Close();
    return true;
}
