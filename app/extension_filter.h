// 対象の拡張子 (FileExt) as the list takes it: "jpg; PNG" split at ";",
// each piece trimmed. Files of other extensions are not added; the Add
// dialog offers only them.
#pragma once

#include "base/arrays.h"
#include "base/strings.h"

class ExtensionFilter {
public:
    explicit ExtensionFilter(const VQWString& fileExt);

    // Every path when FileExt names nothing; else one whose extension is one
    // of them, compared without regard to ASCII case.
    bool Admits(const VQWString& path) const;
    // The Add dialog's filter: "対象ファイル(*.jpg;*.PNG)" and its patterns
    // (「全てのファイル(*.*)」 without FileExt), each ending in NUL, then one more NUL.
    VQWString DialogFilter() const;

private:
    VQArray<VQWString, VQWString> pieces;   // as written
    VQArray<VQWString, VQWString> lowered;  // A to Z lower-cased, for matching
};
