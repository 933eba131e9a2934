#include "base/format.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/strings.h"

namespace {

const char kConversionLetters[] = "diouxXeEfFgGaAsScCnpZ";

bool IsConversionLetter(char c) { return c != 0 && strchr(kConversionLetters, c) != nullptr; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiAlnum(char c) { return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The caller's block; every step checks the room before it writes.
class Output {
public:
    Output(char* out, int room) : out(out), room(room), used(0) {}

    bool Put(const char* bytes, int n) {
        if (n <= 0) return true;
        if (n > room - used) return false;
        memcpy(out + used, bytes, n);
        used += n;
        return true;
    }
    bool Put(char c) { return Put(&c, 1); }
    bool Repeat(char c, int n) {
        if (n <= 0) return true;
        if (n > room - used) return false;
        memset(out + used, static_cast<unsigned char>(c), n);
        used += n;
        return true;
    }
    bool Terminate() {
        if (used >= room) return false;
        out[used] = 0;
        return true;
    }
    int Used() const { return used; }

private:
    char* out;
    int room;
    int used;
};

struct Specification {
    bool showPlus = false;
    bool leftJustify = false;
    bool zeroPad = false;
    int width = -1;      // negative: no padding
    int precision = -1;  // negative: none given
    bool wide = false;   // 64-bit integer argument
};

// A run of width or precision digits: at most 10, as a signed 32-bit number;
// anything that does not fit counts as 0.
int ReadCount(const char* digits, int n) {
    int status;
    int value = ParseInt32(digits, 0, n, &status);
    return status == VQParseOk ? value : 0;
}

bool IsWideModifier(const char* modifier, int n) {
    if (n <= 0) return false;
    return (n <= 2 && strncmp(modifier, "ll", n) == 0) || (n <= 3 && strncmp(modifier, "I64", n) == 0);
}

// Reads the bytes between '%' and the conversion letter in their four phases.
Specification ReadSpecification(const char* p, const char* end, va_list& args) {
    Specification spec;
    for (; p < end; ++p) {
        if (*p == '+') {
            spec.showPlus = true;
        } else if (*p == '-') {
            spec.leftJustify = true;
        } else if (*p == '0') {
            spec.zeroPad = true;
        } else if (*p != ' ' && *p != '#') {
            break;
        }
    }
    if (spec.leftJustify) spec.zeroPad = false;

    bool precisionPhase = false;
    const char* run = p;
    for (; p < end; ++p) {
        if (IsDigit(*p)) continue;
        if (p > run) spec.width = ReadCount(run, static_cast<int>(p - run));
        run = p + 1;
        if (*p == '*') {
            spec.width = va_arg(args, int);
        } else {
            precisionPhase = *p == '.';
            break;
        }
    }
    if (!precisionPhase && p == end && p > run) spec.width = ReadCount(run, static_cast<int>(p - run));

    if (precisionPhase) {
        run = ++p;
        for (; p < end; ++p) {
            if (IsDigit(*p)) continue;
            if (*p != '*') break;
            if (p > run) spec.precision = ReadCount(run, static_cast<int>(p - run));
            int fromArgument = va_arg(args, int);
            // As in C, a negative precision from an argument counts as none.
            spec.precision = fromArgument < 0 ? -1 : fromArgument;
            run = p + 1;
        }
        if (p > run) spec.precision = ReadCount(run, static_cast<int>(p - run));
    }

    const char* modifier = p;
    while (p < end && IsAsciiAlnum(*p)) ++p;
    spec.wide = IsWideModifier(modifier, static_cast<int>(p - modifier));
    return spec;
}

// One argument's text from the runtime library, in a local block or, for a
// long floating-point text, on the heap.
class RuntimeText {
public:
    template <class... A>
    bool Print(const char* format, A... values) {
        int n = snprintf(local, sizeof local, format, values...);
        if (n < 0) return false;
        if (n >= static_cast<int>(sizeof local)) {
            heap.reset(new char[n + 1]);
            if (snprintf(heap.get(), n + 1, format, values...) != n) return false;
        }
        text = heap ? heap.get() : local;
        size = n;
        return true;
    }

    const char* text = nullptr;
    int size = 0;

private:
    char local[128];
    std::unique_ptr<char[]> heap;
};

// Spaces, sign, zeros, text, spaces; the sign and the zeros are outside the width.
bool Place(Output& out, const Specification& spec, bool negative, bool plus, int zeros, const char* text,
           int size) {
    int all = zeros + size;
    int pad = spec.width > all ? spec.width - all : 0;
    if (!spec.leftJustify && !out.Repeat(' ', pad)) return false;
    if (negative && !out.Put('-')) return false;
    if (!negative && plus && !out.Put('+')) return false;
    if (!out.Repeat('0', zeros) || !out.Put(text, size)) return false;
    return !spec.leftJustify || out.Repeat(' ', pad);
}

// kFormatNoRoom, kFormatMalformed, or 0 when the argument was placed.
int Convert(Output& out, const Specification& spec, char letter, va_list& args) {
    RuntimeText text;
    bool negative = false;
    bool plus = false;
    bool integer = true;
    switch (letter) {
    case 'd':
    case 'i': {
        long long value = spec.wide ? va_arg(args, long long) : va_arg(args, int);
        if (!(spec.wide ? text.Print("%lld", value) : text.Print("%d", static_cast<int>(value)))) {
            return kFormatMalformed;
        }
        if (text.text[0] == '-') {
            negative = true;
            ++text.text;
            --text.size;
        }
        plus = spec.showPlus && value > 0;
        break;
    }
    case 'u':
    case 'o':
    case 'x':
    case 'X': {
        static const char kLetters[] = "uoxX";
        static const char* const kNarrow[] = {"%u", "%o", "%x", "%X"};
        static const char* const kWide[] = {"%llu", "%llo", "%llx", "%llX"};
        int which = static_cast<int>(strchr(kLetters, letter) - kLetters);
        bool ok = spec.wide ? text.Print(kWide[which], va_arg(args, unsigned long long))
                            : text.Print(kNarrow[which], va_arg(args, unsigned int));
        if (!ok) return kFormatMalformed;
        break;
    }
    case 'e': case 'E': case 'g': case 'G': case 'f': case 'F': case 'a': case 'A': {
        integer = false;
        double value = va_arg(args, double);
        negative = value < 0;
        plus = spec.showPlus && value > 0;
        // The hexadecimal letters print in fixed notation.
        static const char kLetters[] = "eEgGfFaA";
        static const char* const kFormats[] = {"%.*e", "%.*E", "%.*g", "%.*G", "%.*f", "%.*F", "%.*f", "%.*F"};
        const char* format = kFormats[strchr(kLetters, letter) - kLetters];
        if (!text.Print(format, spec.precision < 0 ? 6 : spec.precision, std::fabs(value))) {
            return kFormatMalformed;
        }
        break;
    }
    case 's':
    case 'S': {
        integer = false;
        const char* s = va_arg(args, const char*);
        if (!s) s = "";
        int size;
        if (spec.precision >= 0) {
            // The text may be shorter than the precision and end its block there.
            size = 0;
            while (size < spec.precision && s[size]) ++size;
        } else {
            size = static_cast<int>(strlen(s));
        }
        return Place(out, spec, false, false, 0, s, size) ? 0 : kFormatNoRoom;
    }
    case 'c':
    case 'C': {
        char c = static_cast<char>(va_arg(args, int));
        return Place(out, spec, false, false, 0, &c, 1) ? 0 : kFormatNoRoom;
    }
    default:  // n, p, Z: nothing, and no argument
        return 0;
    }

    int zeros = 0;
    if (integer) {
        if (spec.precision >= 0) {
            zeros = spec.precision - text.size;
        } else if (spec.zeroPad) {
            zeros = spec.width - text.size;
        }
        if (zeros < 0) zeros = 0;
    }
    return Place(out, spec, negative, plus, zeros, text.text, text.size) ? 0 : kFormatNoRoom;
}

enum ScanState { kPlainText, kAfterBackslash, kAfterPercent };

}  // namespace

int FormatBuffer(char* out, int room, const char* format, va_list args) {
    if (!out || room <= 0) return kFormatNoRoom;
    if (!format) return kFormatMalformed;
    va_list local;
    va_copy(local, args);
    Output output(out, room);
    ScanState state = kPlainText;
    int result = 0;
    const char* p = format;
    while (*p && result == 0) {
        bool doubleByte = IsShiftJisLeadByte(static_cast<unsigned char>(*p)) && p[1] != 0;
        if (state == kPlainText) {
            if (doubleByte) {
                if (!output.Put(p, 2)) result = kFormatNoRoom;
                p += 2;
                continue;
            }
            if (*p == '%') {
                state = kAfterPercent;
            } else if (*p == '\\') {
                state = kAfterBackslash;
            } else if (!output.Put(*p)) {
                result = kFormatNoRoom;
            }
            ++p;
            continue;
        }
        if (doubleByte) {
            result = kFormatMalformed;
            break;
        }
        if (state == kAfterBackslash || *p == '%') {
            const char pair[2] = {'\\', *p};
            bool ok = state == kAfterBackslash ? output.Put(pair, 2) : output.Put('%');
            if (!ok) result = kFormatNoRoom;
            state = kPlainText;
            ++p;
            continue;
        }
        const char* letter = p;
        while (*letter && !IsConversionLetter(*letter)) ++letter;
        if (!*letter) {
            result = kFormatMalformed;
            break;
        }
        Specification spec = ReadSpecification(p, letter, local);
        result = Convert(output, spec, *letter, local);
        state = kPlainText;
        p = letter + 1;
    }
    va_end(local);
    if (result != 0) return result;
    // A '%' or backslash that ends the format produces nothing.
    return output.Terminate() ? output.Used() : kFormatNoRoom;
}
