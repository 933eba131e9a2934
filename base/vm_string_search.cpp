// VMString: searches (by characters), comparisons and pattern matches (raw bytes).
#include <cstring>

#include "base/vm_values.h"

namespace {

int TextLength(const char* text) { return text ? static_cast<int>(strlen(text)) : 0; }

int CountOf(const char* bytes, int count) { return count < 0 ? TextLength(bytes) : (bytes ? count : 0); }

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

bool IsAsciiLower(unsigned c) { return c >= 'a' && c <= 'z'; }

// Equal when the bytes match after folding an ASCII letter against its other
// case; unequal bytes order by their own values.
int CompareFolded(char a, char b) {
    unsigned x = static_cast<unsigned char>(a);
    unsigned y = static_cast<unsigned char>(b);
    unsigned fx = x, fy = y;
    if (IsAsciiLower(x) && !IsAsciiLower(y)) fy += 32;
    if (IsAsciiLower(y) && !IsAsciiLower(x)) fx += 32;
    if (fx == fy) return 0;
    return x < y ? -1 : 1;
}

// Lower-cased ASCII values, for dictionary order.
int CompareLowered(char a, char b) {
    unsigned x = static_cast<unsigned char>(a);
    unsigned y = static_cast<unsigned char>(b);
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    return x == y ? 0 : (x < y ? -1 : 1);
}

// Length first, then the bytes; a null text equals a null or empty one.
int CompareLengthFirst(const char* a, int aLen, const char* b, int bLen, bool noCase) {
    if (!a) return (!b || bLen <= 0) ? 0 : -1;
    if (!b) return aLen > 0 ? 1 : 0;
    if (aLen != bLen) return aLen < bLen ? -1 : 1;
    if (!noCase) return Sign(memcmp(a, b, aLen));
    for (int i = 0; i < aLen; ++i) {
        int r = CompareFolded(a[i], b[i]);
        if (r != 0) return r;
    }
    return 0;
}

// Byte by byte over the shorter length, then the shorter is smaller.
int CompareInOrder(const char* a, int aLen, const char* b, int bLen, int (*compareByte)(char, char)) {
    int n = aLen < bLen ? aLen : bLen;
    for (int i = 0; i < n; ++i) {
        int r = compareByte(a[i], b[i]);
        if (r != 0) return r;
    }
    return aLen == bLen ? 0 : (aLen < bLen ? -1 : 1);
}

int CompareRaw(char a, char b) {
    return Sign(static_cast<int>(static_cast<unsigned char>(a)) - static_cast<unsigned char>(b));
}

// At most n bytes of `text` from `start` against at most n of `other`, which
// may end sooner at its NUL.
int ComparePrefix(const char* text, int length, const char* other, int n, int start,
                  int (*compareByte)(char, char)) {
    if (n <= 0) return 0;
    if (start < 0) start = 0;
    if (start > length) start = length;
    int mine = length - start < n ? length - start : n;
    int theirs = 0;
    while (other && theirs < n && other[theirs]) ++theirs;
    return CompareInOrder(text + start, mine, other, theirs, compareByte);
}

bool SameBytes(const char* a, const char* b, int n, bool noCase) {
    if (!noCase) return memcmp(a, b, n) == 0;
    for (int i = 0; i < n; ++i) {
        if (CompareFolded(a[i], b[i]) != 0) return false;
    }
    return true;
}

}  // namespace

int VMString::Scan(int from, int to, const char* set, char c, bool negate, bool last) const {
    int found = -1;
    for (int i = 0; i < length && i <= to;) {
        int n = CharSize(i);
        if (i >= from) {
            // A double-byte character matches nothing, so it is a hit only when negated.
            bool match = n == 1 && (set ? text[i] && strchr(set, text[i]) : text[i] == c);
            if (match != negate) {
                if (!last) return i;
                found = i;
            }
        }
        i += n;
    }
    return found;
}

int VMString::Find(char c, int start) const { return Scan(start < 0 ? 0 : start, length - 1, nullptr, c, false, false); }

int VMString::FindOneOf(const char* set, int start) const {
    if (!set || !*set) return -1;
    return Scan(start < 0 ? 0 : start, length - 1, set, 0, false, false);
}

int VMString::ReverseFind(char c, int end) const {
    return Scan(0, end < 0 || end >= length ? length - 1 : end, nullptr, c, false, true);
}

int VMString::ReverseFindOneOf(const char* set, int end) const {
    if (!set || !*set) return -1;
    return Scan(0, end < 0 || end >= length ? length - 1 : end, set, 0, false, true);
}

int VMString::FindNot(char c, int start) const { return Scan(start < 0 ? 0 : start, length - 1, nullptr, c, true, false); }

int VMString::FindNotOneOf(const char* set, int start) const {
    return Scan(start < 0 ? 0 : start, length - 1, set ? set : "", 0, true, false);
}

int VMString::Compare(const VMBase* other) const {
    const VMString* s = other && other->IsType(kVMStringTypeTag) ? static_cast<const VMString*>(other) : nullptr;
    return Compare(s);
}

int VMString::Compare(const char* bytes, int count) const {
    return CompareLengthFirst(text, length, bytes, CountOf(bytes, count), false);
}

int VMString::Compare(const char* bytes) const { return Compare(bytes, -1); }

int VMString::Compare(const VMString* s) const {
    return CompareLengthFirst(text, length, s ? s->text : nullptr, s ? s->length : 0, false);
}

int VMString::CompareNoCase(const char* bytes, int count) const {
    return CompareLengthFirst(text, length, bytes, CountOf(bytes, count), true);
}

int VMString::CompareNoCase(const char* bytes) const { return CompareNoCase(bytes, -1); }

int VMString::CompareNoCase(const VMString* s) const {
    return CompareLengthFirst(text, length, s ? s->text : nullptr, s ? s->length : 0, true);
}

int VMString::CompareNoCaseLex(const char* bytes, int count) const {
    return CompareInOrder(text, length, bytes, CountOf(bytes, count), CompareLowered);
}

int VMString::CompareNoCaseLex(const char* bytes) const { return CompareNoCaseLex(bytes, -1); }

int VMString::CompareNoCaseLex(const VMString* s) const {
    return CompareInOrder(text, length, s ? s->text : nullptr, s ? s->length : 0, CompareLowered);
}

int VMString::CompareN(const char* other, int n, int start) const {
    return ComparePrefix(text, length, other, n, start, CompareRaw);
}

int VMString::CompareNNoCase(const char* other, int n, int start) const {
    return ComparePrefix(text, length, other, n, start, CompareFolded);
}

int VMString::ShiftJisByteKind(int index) const {
    if (index < 0 || index >= length) return 0;
    int i = 0;
    while (i < index) i += CharSize(i);
    if (i > index) return -1;
    return CharSize(i) == 2 ? 1 : 0;
}

bool VMString::IsCharAt(int index, char c) const {
    return index >= 0 && index < length && text[index] == c && ShiftJisByteKind(index) != -1;
}

bool VMString::StartsWith(const char* bytes, int count) const {
    count = CountOf(bytes, count);
    return count <= length && SameBytes(text, bytes, count, false);
}

bool VMString::StartsWith(const char* bytes) const { return StartsWith(bytes, -1); }

bool VMString::StartsWithNoCase(const char* bytes, int count) const {
    count = CountOf(bytes, count);
    return count <= length && SameBytes(text, bytes, count, true);
}

bool VMString::StartsWithNoCase(const char* bytes) const { return StartsWithNoCase(bytes, -1); }

bool VMString::EndsWith(const char* bytes, int count) const {
    count = CountOf(bytes, count);
    return count <= length && SameBytes(text + length - count, bytes, count, false);
}

bool VMString::EndsWith(const char* bytes) const { return EndsWith(bytes, -1); }

bool VMString::EndsWithNoCase(const char* bytes, int count) const {
    count = CountOf(bytes, count);
    return count <= length && SameBytes(text + length - count, bytes, count, true);
}

bool VMString::EndsWithNoCase(const char* bytes) const { return EndsWithNoCase(bytes, -1); }

int VMString::FindPattern(const char* pattern, int patternLength, bool returnEnd, int start, bool noCase) const {
    if (!pattern || patternLength < 0) return -1;
    if (start < 0) start = 0;
    for (int at = start; at + patternLength <= length; ++at) {
        int k = 0;
        while (k < patternLength &&
               (pattern[k] == '?' || (noCase ? CompareFolded(text[at + k], pattern[k]) == 0 : text[at + k] == pattern[k]))) {
            ++k;
        }
        if (k == patternLength) return returnEnd ? at + patternLength : at;
    }
    return -1;
}

int VMString::FindWildcard(const char* pattern, int patternLength, bool returnEnd, int start) const {
    return FindPattern(pattern, patternLength, returnEnd, start, false);
}

int VMString::FindWildcard(const char* pattern, bool returnEnd, int start) const {
    return FindPattern(pattern, TextLength(pattern), returnEnd, start, false);
}

int VMString::FindWildcard(const VMString* pattern, bool returnEnd, int start) const {
    return pattern ? FindPattern(pattern->text, pattern->length, returnEnd, start, false) : -1;
}

int VMString::FindWildcardNoCase(const char* pattern, int patternLength, bool returnEnd, int start) const {
    return FindPattern(pattern, patternLength, returnEnd, start, true);
}

int VMString::FindWildcardNoCase(const char* pattern, bool returnEnd, int start) const {
    return FindPattern(pattern, TextLength(pattern), returnEnd, start, true);
}

int VMString::FindWildcardNoCase(const VMString* pattern, bool returnEnd, int start) const {
    return pattern ? FindPattern(pattern->text, pattern->length, returnEnd, start, true) : -1;
}
