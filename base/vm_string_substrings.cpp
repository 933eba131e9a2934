// VMString: substrings as copies, as views and in place; splitting; path parts.
#include <cstring>

#include "base/vm_values.h"

namespace {

const char kBlanks[] = " \t";
const char kWhiteSpace[] = " \n\r\t";

}  // namespace

bool VMString::MidRange(int start, int count, int* first, int* end) const {
    if (start < 0 || count <= 0 || start >= length) return false;
    if (count > length - start) count = length - start;
    *first = start;
    *end = start + count;
    return true;
}

void VMString::TrimRange(const char* set, int* first, int* end) const {
    auto stripped = [&](int i) { return CharSize(i) == 1 && text[i] && strchr(set, text[i]); };
    // From the end first; the second byte of a double-byte character is never stripped.
    int runStart = -1;
    for (int i = 0; i < length; i += CharSize(i)) {
        if (!stripped(i)) {
            runStart = -1;
        } else if (runStart < 0) {
            runStart = i;
        }
    }
    *end = runStart < 0 ? length : runStart;
    int i = 0;
    while (i < *end && stripped(i)) ++i;
    *first = i;
}

VMString* VMString::MidPart(int start, int count, bool view) const {
    int first, end;
    if (!MidRange(start, count, &first, &end)) return new VMString;
    return view ? NewView(first, end - first) : NewCopy(first, end - first);
}

VMString* VMString::TrimPart(const char* set, int* removedFront, bool view) const {
    int first, end;
    TrimRange(set ? set : kBlanks, &first, &end);
    if (removedFront) *removedFront += first;
    // Nothing stripped: the copy shares the whole text too.
    if (view || (first == 0 && end == length)) return NewView(first, end - first);
    return NewCopy(first, end - first);
}

VMString* VMString::Mid(int start, int count) const { return MidPart(start, count, false); }
VMString* VMString::Left(int count) const { return MidPart(0, count, false); }
VMString* VMString::Mid(int start) const { return MidPart(start, length - start, false); }
VMString* VMString::Trim(const char* set, int* removedFront) const { return TrimPart(set, removedFront, false); }
VMString* VMString::Trim() const { return TrimPart(kWhiteSpace, nullptr, false); }

VMString* VMString::MidView(int start, int count) const { return MidPart(start, count, true); }
VMString* VMString::LeftView(int count) const { return MidPart(0, count, true); }
VMString* VMString::MidView(int start) const { return MidPart(start, length - start, true); }
VMString* VMString::TrimView(const char* set, int* removedFront) const { return TrimPart(set, removedFront, true); }
VMString* VMString::TrimView() const { return TrimPart(kWhiteSpace, nullptr, true); }

void VMString::MidInPlace(int start, int count) {
    int first, end;
    if (!MidRange(start, count, &first, &end)) {
        Clear();
        return;
    }
    offset += first;
    text += first;
    length = end - first;
}

void VMString::LeftInPlace(int count) { MidInPlace(0, count); }

void VMString::MidInPlace(int start) { MidInPlace(start, length - start); }

void VMString::TrimInPlace(const char* set, int* removedFront) {
    int first, end;
    TrimRange(set ? set : kBlanks, &first, &end);
    if (removedFront) *removedFront += first;
    if (text) {
        offset += first;
        text += first;
    }
    length = end - first;
}

void VMString::TrimInPlace() { TrimInPlace(kWhiteSpace, nullptr); }

int VMString::Split(char separator, VMStringArray& out) const {
    int pieces = 0;
    int pieceStart = 0;
    for (int i = 0; i < length; i += CharSize(i)) {
        if (CharSize(i) != 1 || text[i] != separator) continue;
        out.Add(NewView(pieceStart, i - pieceStart));
        ++pieces;
        pieceStart = i + 1;
    }
    out.Add(NewView(pieceStart, length - pieceStart));
    return pieces + 1;
}

VMString* VMString::GetNamePart(bool slash) const {
    char separator = slash ? '/' : '\\';
    int last = ReverseFindOneOf(slash ? "./" : ".\\");
    if (last < 0) return new VMString;
    if (text[last] == separator) return NewView(last + 1, length - last - 1);
    int before = last > 0 ? ReverseFind(separator, last - 1) : -1;
    int start = before + 1;
    return NewView(start, last - start);
}

VMString* VMString::GetExtension() const {
    int dot = ReverseFind('.');
    return dot < 0 ? new VMString : NewView(dot + 1, length - dot - 1);
}
