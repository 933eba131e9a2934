#include "engine/template.h"

#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <string>

#include "engine/file_variables.h"

namespace {

enum Variable {
    kExt, kDir, kPre, kName, kPath, kTitle, kDrive, kLevel,
    kHashDir, kFullName, kHashName, kHashPath, kFullTitle, kHashTitle, kHashLevel, kStem,
    kOut, kRoot, kRelDir, kDollar
};

struct VariableName {
    const wchar_t* name;
    int letters;
    Variable variable;
};

// The order decides between names that share a beginning: it is part of the language.
const VariableName kNames[] = {
    {L"ext", 3, kExt},           {L"dir", 3, kDir},           {L"pre", 3, kPre},
    {L"name", 4, kName},         {L"path", 4, kPath},         {L"title", 5, kTitle},
    {L"drive", 5, kDrive},       {L"level", 5, kLevel},       {L"hashdir", 7, kHashDir},
    {L"fullname", 8, kFullName}, {L"hashname", 8, kHashName}, {L"hashpath", 8, kHashPath},
    {L"fulltitle", 9, kFullTitle}, {L"hashtitle", 9, kHashTitle}, {L"hashlevel", 9, kHashLevel},
    // No name begins with "stem" and none is its prefix: its place changes nothing.
    {L"stem", 4, kStem},
    // Nor for these: none shares a beginning with another name.
    {L"out", 3, kOut},           {L"root", 4, kRoot},         {L"reldir", 6, kRelDir},
    {L"$", 1, kDollar},
};

enum Match { kNoMatch, kMatched, kBadSyntax };

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The argument "d" or "d/e" after a level name of `letters` units: a rest too
// short for the digit is no match at all, a wrong digit or "/e" is a syntax error.
Match ParseLevelArgument(const wchar_t* rest, int restLength, int letters, int* skip, int* keep, int* replaced) {
    if (restLength < letters + 1) return kNoMatch;
    wchar_t d = rest[letters];
    if (!IsDigit(d)) return kBadSyntax;
    *skip = d - L'0';
    *keep = 0;
    *replaced = letters + 2;
    if (restLength >= letters + 3 && rest[letters + 1] == L'/') {
        wchar_t e = rest[letters + 2];
        if (!IsDigit(e) || e <= d) return kBadSyntax;
        *keep = e - d;
        *replaced = letters + 4;
    }
    return kMatched;
}

// Edits between two words (ASCII letters folded), a swap of two neighbours
// counting as one: "titel" is one from "title".
int Distance(const std::wstring& a, const std::wstring& b) {
    std::vector<std::vector<int>> d(a.size() + 1, std::vector<int>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = static_cast<int>(i);
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = static_cast<int>(j);
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

wchar_t Folded(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; }

// The start of an over-long text is enough to recognise it.
void SetTooLongError(const VQWString& text, int maxLength, VQWString& errorText) {
    const int kShown = 200;
    VQWString start = text.Left(kShown);
    errorText.Format(L"コマンドラインが長すぎます（%d 文字まで）。\n%s%s", maxLength, start.Text(),
                     text.GetLength() > kShown ? L"…" : L"");
}

}  // namespace

bool ExpandTemplate(VQWString& text, const VQWString& target, const VQWString& preOutput, VQWString& errorText,
                    int maxLength, int* failedMarker, std::vector<VQInsertedValue>* inserted) {
    return ExpandTemplate(text, target, preOutput, VQTemplateContext(), errorText, maxLength, failedMarker, inserted);
}

namespace {

// Whether `path` begins with `folder` (which ends in "\"), ASCII case folded
// as the rest of the path handling folds it.
bool IsBelow(const VQWString& path, const VQWString& folder) {
    int n = folder.GetLength();
    return n > 0 && path.GetLength() >= n && VQWString::CompareNoCase(path.Text(), n, folder.Text(), n, n) == 0;
}

VQWString WithClosingBackslash(const VQWString& folder) {
    if (folder.IsEmpty() || folder.GetAt(folder.GetLength() - 1) == L'\\') return folder;
    VQWString closed = folder;
    closed.Append(L'\\');
    return closed;
}

}  // namespace

VQWString GetRootPath(const VQWString& target, const VQWString& root) {
    VQWString dir = GetDirPath(target);
    VQWString closed = WithClosingBackslash(root);
    return IsBelow(dir, closed) ? closed : dir;
}

VQWString GetRelativeDir(const VQWString& target, const VQWString& root) {
    VQWString dir = GetDirPath(target);
    VQWString closed = WithClosingBackslash(root);
    return IsBelow(dir, closed) ? dir.Mid(closed.GetLength()) : VQWString();
}

namespace {

// The variable a "$" begins, with its level arguments.
struct VariableAt {
    Match match = kNoMatch;
    Variable variable = kDollar;
    const wchar_t* name = nullptr;
    int replaced = 0, skip = 0, keep = 0;  // units from the "$" on; the level's arguments
};

VariableAt MatchVariable(const wchar_t* rest, int restLength) {
    VariableAt at;
    for (const VariableName& candidate : kNames) {
        if (VQWString::CompareNoCase(rest, restLength, candidate.name, candidate.letters, candidate.letters) != 0) {
            continue;
        }
        at.variable = candidate.variable;
        at.name = candidate.name;
        at.replaced = candidate.letters + 1;
        if (at.variable == kLevel || at.variable == kHashLevel) {
            at.match = ParseLevelArgument(rest, restLength, candidate.letters, &at.skip, &at.keep, &at.replaced);
            if (at.match == kNoMatch) continue;
        } else {
            at.match = kMatched;
        }
        break;
    }
    return at;
}

// The variable's value for the target into value; the reason it has none, or null.
const wchar_t* ValueOf(const VariableAt& at, const VQWString& t, const VQWString& preOutput,
                       const VQTemplateContext& context, VQWString& value) {
    switch (at.variable) {
        case kExt: value = GetFileExt(t); break;
        case kDir: value = GetDirWithoutDrive(t); break;
        case kPre:
            // The output is known before the pre-command runs.
            if (context.forOutput) return L"出力先の中では $pre は使えません。";
            value = preOutput;
            break;
        case kName: value = GetFileName(t); break;
        case kPath: value = GetDirPath(t); break;
        case kTitle: value = GetFileTitle(t); break;
        case kDrive: value = GetDrive(t); break;
        case kHashDir: value = ToHashForm(GetDirWithoutDrive(t)); break;
        case kFullName: value = t; break;
        case kHashName: value = ToHashForm(t); break;
        case kHashPath: value = ToHashForm(GetDirPath(t)); break;
        case kFullTitle: value = GetFullTitle(t); break;
        case kHashTitle: value = ToHashForm(GetFullTitle(t)); break;
        case kStem: value = GetFileStem(t); break;
        case kRoot: value = GetRootPath(t, context.root); break;
        case kRelDir: value = GetRelativeDir(t, context.root); break;
        case kOut:
            if (context.forOutput) return L"出力先の中では $out は使えません。";
            if (!context.hasOutput) return L"出力先が空なので $out は使えません。";
            value = context.output;
            break;
        case kDollar: value = L"$"; break;
        case kLevel:
        case kHashLevel:
            if (!GetLevelPath(t, at.skip, at.keep, value)) {
                return L"level指定で存在しないパスが指定されています。";
            }
            if (at.variable == kHashLevel) value = ToHashForm(value);
            break;
    }
    return nullptr;
}

}  // namespace

bool ExpandTemplate(VQWString& text, const VQWString& target, const VQWString& preOutput,
                    const VQTemplateContext& context, VQWString& errorText, int maxLength, int* failedMarker,
                    std::vector<VQInsertedValue>* inserted) {
    // What follows a failing marker is still the template's own text, so its
    // length places the marker in the template.
    const int templateLength = text.GetLength();
    auto failAt = [&](int pos) {
        if (failedMarker) *failedMarker = pos < 0 ? -1 : templateLength - (text.GetLength() - pos);
        return false;
    };
    if (failedMarker) *failedMarker = -1;
    int pos = text.FindOneOf(L"$", 0);
    while (pos >= 0) {
        VariableAt at = MatchVariable(text.Text() + pos + 1, text.GetLength() - pos - 1);
        VQWString value;
        const wchar_t* reason =
            at.match != kMatched ? L"文法が間違ってます。" : ValueOf(at, target, preOutput, context, value);
        if (reason) {
            errorText.Format(L"%s\n%s >> %s", reason, text.Left(pos).Text(), text.Mid(pos).Text());
            return failAt(pos);
        }
        if (maxLength >= 0 && static_cast<int64_t>(text.GetLength()) - at.replaced + value.GetLength() > maxLength) {
            SetTooLongError(text, maxLength, errorText);
            return failAt(pos);
        }
        text.Delete(pos, at.replaced);
        text.Insert(pos, value);
        if (inserted && at.variable != kDollar) inserted->push_back(VQInsertedValue{at.name, pos, value.GetLength()});
        pos = text.FindOneOf(L"$", pos + value.GetLength());
    }
    if (maxLength >= 0 && text.GetLength() > maxLength) {
        SetTooLongError(text, maxLength, errorText);
        return failAt(-1);
    }
    return true;
}

VQWString UnknownVariableHint(const VQWString& templateText, int marker) {
    if (marker < 0 || marker >= templateText.GetLength() || templateText.GetAt(marker) != L'$') return VQWString();
    const wchar_t* rest = templateText.Text() + marker + 1;
    int restLength = templateText.GetLength() - marker - 1;
    for (const VariableName& candidate : kNames) {
        if (VQWString::CompareNoCase(rest, restLength, candidate.name, candidate.letters, candidate.letters) == 0) {
            return VQWString();
        }
    }
    // The word meant for a name: what a name could be made of.
    int length = 0;
    while (length < restLength && (iswalnum(rest[length]) && rest[length] < 0x80)) ++length;
    if (length == 0) return VQWString();
    std::wstring word;
    for (int i = 0; i < length; ++i) word += Folded(rest[i]);
    const wchar_t* nearest = nullptr;
    int best = 0;
    for (const VariableName& candidate : kNames) {
        if (candidate.variable == kDollar) continue;
        int distance = Distance(word, candidate.name);
        // One slip in a short name, two in a longer one; never most of the word.
        int allowed = candidate.letters <= 4 ? 1 : 2;
        if (distance > allowed || distance * 2 >= length) continue;
        if (!nearest || distance < best) {
            nearest = candidate.name;
            best = distance;
        }
    }
    VQWString hint;
    hint.Append(L'$');
    hint.Append(rest, length);
    hint.Append(L" は変数ではありません。");
    if (nearest) {
        hint.Append(L'$');
        hint.Append(nearest);
        hint.Append(L" のことですか？");
    }
    return hint;
}
