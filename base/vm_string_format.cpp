// VMString: formatted text and the backslash escapes the formatter leaves in it.
#include <climits>
#include <cstring>

#include "base/format.h"
#include "base/vm_values.h"

bool VMString::FormatV(const char* format, va_list args) {
    if (!format) {
        Clear();
        return false;
    }
    int percents = 0;
    for (const char* p = format; *p; ++p) {
        if (*p == '%') ++percents;
    }
    // Every retry grows by the same estimate, however far the text is off.
    const int extra = 8 + 8 * percents;
    VQAllocator* allocator = GetAllocator();
    int capacity = VQStringCapacityFor(static_cast<int>(strlen(format)) + extra);
    for (;;) {
        char* block = VQStringBuffer::AllocateBlock(capacity, allocator);
        va_list copy;
        va_copy(copy, args);
        int written = FormatBuffer(block, capacity, format, copy);
        va_end(copy);
        if (written >= 0) {
            Attach(block, 0, written, capacity, allocator);
            return true;
        }
        VQStringBuffer::FreeBlock(block, allocator);
        // A text that cannot fit in an int-sized block never will.
        if (written != kFormatNoRoom || capacity > INT_MAX - 2 * extra - 32) {
            Clear();
            return false;
        }
        capacity = VQStringCapacityFor(capacity + extra);
    }
}

bool VMString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    bool formatted = FormatV(format, args);
    va_end(args);
    return formatted;
}

void VMString::UnescapeWith(const char* pairs, int pairCount) {
    auto lookup = [&](int i, char* replacement) {
        if (text[i] != '\\' || i + 1 >= length) return false;
        for (int k = 0; k < pairCount; ++k) {
            if (pairs[2 * k] == text[i + 1]) {
                *replacement = pairs[2 * k + 1];
                return true;
            }
        }
        return false;
    };
    char replacement;
    int first = 0;
    while (first < length && !(CharSize(first) == 1 && lookup(first, &replacement))) first += CharSize(first);
    if (first >= length) return;
    // Private only once there is something to change.
    MakeUnique();
    int w = first;
    for (int r = first; r < length;) {
        int n = CharSize(r);
        if (n == 1 && lookup(r, &replacement)) {
            text[w++] = replacement;
            r += 2;
            continue;
        }
        memmove(text + w, text + r, n);
        w += n;
        r += n;
    }
    SetLength(w);
}

void VMString::Unescape() {
    static const char kPairs[] = {'"', '"',   '\'', '\'', '0', '\0', '\\', '\\', 'b', '\b',
                                  'f', '\f',  'n',  '\n', 'r', '\r', 't',  '\t', 'v', '\v'};
    UnescapeWith(kPairs, sizeof kPairs / 2);
}

void VMString::UnescapeQuotes() {
    static const char kPairs[] = {'"', '"', '\'', '\''};
    UnescapeWith(kPairs, sizeof kPairs / 2);
}
