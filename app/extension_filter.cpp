#include "app/extension_filter.h"

#include "engine/file_variables.h"

namespace {

// Letters A to Z only: extensions compare without regard to ASCII case.
VQWString AsciiLower(const VQWString& text) {
    VQWString lower = text.DeepCopy();
    for (int i = 0; i < lower.GetLength(); ++i) {
        wchar_t& c = lower.GetData()[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    }
    return lower;
}

}  // namespace

ExtensionFilter::ExtensionFilter(const VQWString& fileExt) {
    VQArray<VQWString, VQWString> split;
    fileExt.Split(split);
    for (int i = 0; i < split.GetCount(); ++i) {
        VQWString piece = split[i].Trim();
        pieces.Add(piece);
        lowered.Add(AsciiLower(piece));
    }
}

bool ExtensionFilter::Admits(const VQWString& path) const {
    return lowered.GetCount() == 0 || lowered.Find(AsciiLower(GetFileExt(path))) >= 0;
}

VQWString ExtensionFilter::DialogFilter() const {
    VQWString patterns;
    for (int i = 0; i < pieces.GetCount(); ++i) {
        if (i > 0) patterns.Append(L';');
        VQWString pattern;
        pattern.Format(L"*.%s", pieces[i].Text());
        patterns.Append(pattern);
    }
    VQWString filter;
    if (patterns.IsEmpty()) {
        filter = L"全てのファイル(*.*)";
        filter.Append(L'\0');
        filter.Append(L"*.*");
    } else {
        filter.Format(L"対象ファイル(%s)", patterns.Text());
        filter.Append(L'\0');
        filter.Append(patterns);
    }
    filter.Append(L'\0');
    filter.Append(L'\0');
    return filter;
}
