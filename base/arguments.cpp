// The command-line token splitter and the name-at-dot cutter.
#include "base/files.h"

namespace {

bool IsArgumentSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }
bool IsQuote(wchar_t c) { return c == L'"' || c == L'\''; }

// Copies units into dst while the count lasts; a null dst only counts.
class ArgumentWriter {
public:
    // A buffer without room for the terminator is treated as none.
    ArgumentWriter(wchar_t* dst, int n) : dst(n > 0 ? dst : nullptr), limit(n - 1), used(0), stored(0) {}
    ~ArgumentWriter() {
        if (dst) dst[stored] = 0;
    }
    bool Fits(int cost) const { return !dst || used + cost <= limit; }
    void Put(wchar_t c, int cost) {
        used += cost;
        if (dst) dst[stored++] = c;
    }

private:
    wchar_t* dst;
    int limit;
    int used;
    int stored;
};

const wchar_t* CopyPlain(ArgumentWriter& out, const wchar_t* p) {
    while (*p && !IsArgumentSpace(*p)) {
        if (!out.Fits(1)) return p;
        out.Put(*p++, 1);
    }
    return *p ? p + 1 : p;
}

const wchar_t* CopyQuoting(ArgumentWriter& out, const wchar_t* p) {
    wchar_t open = 0;  // the quote of the quoted part we are in, or 0
    while (*p) {
        wchar_t c = *p;
        if (!open && IsArgumentSpace(c)) return p + 1;
        if (c == L'\\') {
            // Every backslash counts one unit more than it copies.
            if (p[1] == L'"') {
                if (!out.Fits(2)) return p;
                out.Put(L'"', 2);
                p += 2;
                continue;
            }
            if (!out.Fits(2)) return p;
            out.Put(L'\\', 2);
            ++p;
            // The unit after it is taken as it is, except where it ends the argument.
            c = *p;
            if (!c) return p;
            if (!open && IsArgumentSpace(c)) return p + 1;
            int cost = c == L'\\' ? 2 : 1;
            if (!out.Fits(cost)) return p;
            out.Put(c, cost);
            ++p;
            continue;
        }
        if (IsQuote(c) && (!open || c == open)) {
            open = open ? 0 : c;
            ++p;
            continue;
        }
        if (!out.Fits(1)) return p;
        out.Put(c, 1);
        ++p;
    }
    return p;
}

}  // namespace

const wchar_t* NextArgument(wchar_t* dst, int n, const wchar_t* src) {
    if (dst && n > 0) dst[0] = 0;
    if (!src) return nullptr;
    while (IsArgumentSpace(*src)) ++src;
    if (!*src) return nullptr;
    ArgumentWriter out(dst, n);
    return IsQuote(*src) ? CopyQuoting(out, src) : CopyPlain(out, src);
}

int CutAtDot(wchar_t* name) {
    if (!name) return 0;
    int i = static_cast<int>(wcslen(name)) - 1;
    // Unit 0 is never looked at: a leading dot is part of the name.
    for (; i > 0; --i) {
        if (name[i] == L'.') {
            name[i] = 0;
            return i;
        }
        if (name[i] == L'\\') return i;
    }
    return i < 0 ? 0 : i;
}
