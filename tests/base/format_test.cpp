#include "base/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

namespace {

int Fmt(char* out, int room, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int r = FormatBuffer(out, room, format, args);
    va_end(args);
    return r;
}

// The formatted text, or "<-1>" / "<-2>" for the error results.
template <class... A>
std::string F(const char* format, A... values) {
    char out[512];
    int r = Fmt(out, sizeof out, format, values...);
    if (r < 0) return "<" + std::to_string(r) + ">";
    EXPECT_EQ(0, out[r]) << "terminated";
    return std::string(out, r);
}

}  // namespace

TEST(FormatBuffer, PercentSignsAndTheEndOfTheFormat) {
    EXPECT_EQ("5%", F("%d%%", 5));
    EXPECT_EQ("abc", F("abc%"));
    EXPECT_EQ("<-2>", F("%5"));
    EXPECT_EQ("<-2>", F("x%-08.3ll"));
    EXPECT_EQ("a", F("a\\")) << "a final backslash produces nothing";
    EXPECT_EQ("", F(""));
    char out[8];
    EXPECT_EQ(kFormatMalformed, Fmt(out, sizeof out, nullptr));
    EXPECT_EQ(kFormatNoRoom, Fmt(out, 0, "x"));
}

TEST(FormatBuffer, SignAndPaddingStayOutsideTheWidth) {
    EXPECT_EQ("7   |", F("%-4d|", 7));
    EXPECT_EQ("+7", F("%+d", 7));
    EXPECT_EQ("0", F("%+d", 0));
    EXPECT_EQ("-7", F("%+d", -7));
    EXPECT_EQ("005", F("%.3d", 5));
    EXPECT_EQ("-005", F("%.3d", -5));
    EXPECT_EQ("   -42", F("%5d", -42));
    EXPECT_EQ("-00042", F("%05d", -42));
    EXPECT_EQ("42   |", F("%-05d|", 42)) << "- cancels 0";
    EXPECT_EQ("  005", F("%05.3d", 5)) << "a precision pads the digits, the width pads with spaces";
    EXPECT_EQ("0", F("%.d", 0)) << "a bare '.' means no precision";
    EXPECT_EQ("7", F("%+u", 7u)) << "unsigned letters never get a sign";
    EXPECT_EQ("-2147483648", F("%d", INT32_MIN));
    EXPECT_EQ("-9223372036854775808", F("%lld", INT64_MIN));
}

TEST(FormatBuffer, WidthAndPrecisionSources) {
    EXPECT_EQ("   42", F("%*d", 5, 42));
    EXPECT_EQ("42", F("%*d", -5, 42)) << "a negative width from an argument means no padding";
    EXPECT_EQ("ab|", F("%.*s|", 2, "abcd"));
    EXPECT_EQ("abcd", F("%.*s", -1, "abcd"));
    EXPECT_EQ("   ab", F("%*.*s", 5, 2, "abcd"));
    EXPECT_EQ("7", F("%99999999999d", 7)) << "an overflowing width counts as 0";
    EXPECT_EQ("    7", F("%5!?d", 7)) << "bytes after the length modifier are ignored";
}

TEST(FormatBuffer, ConversionLetters) {
    EXPECT_EQ("ab", F("%.2s", "abcd"));
    EXPECT_EQ("[]", F("[%s]", static_cast<const char*>(nullptr)));
    EXPECT_EQ("  2.50", F("%6.2f", 2.5));
    EXPECT_EQ("1.000000", F("%f", 1.0));
    EXPECT_EQ("-1.50e+00", F("%.2e", -1.5));
    EXPECT_EQ("2.50", F("%.2a", 2.5)) << "hexadecimal floats print in fixed notation";
    EXPECT_EQ("INF", F("%A", INFINITY));
    EXPECT_EQ("    2.50", F("%08.2f", 2.5)) << "zero padding is for integers only";
    EXPECT_EQ("+2.5", F("%+.1f", 2.5));
    std::string nan = F("%+f", -NAN);
    EXPECT_TRUE(nan.find_first_of("+-") == std::string::npos) << nan;
    EXPECT_EQ("ff FF 17 7", F("%x %X %o %u", 255, 255, 15, 7));
    EXPECT_EQ("  x|y  ", F("%3c|%-3c", 'x', 'y'));
    EXPECT_EQ("|7", F("%p|%d", 7)) << "p, n and Z consume no argument";
    EXPECT_EQ("7", F("%5n%Z%d", 7));
}

TEST(FormatBuffer, LengthModifiersSelectSixtyFourBits) {
    const long long big = 0x100000000LL;
    EXPECT_EQ("4294967296 7", F("%ld %d", big, 7));
    EXPECT_EQ("4294967296 7", F("%lld %d", big, 7));
    EXPECT_EQ("4294967296 7", F("%I64d %d", big, 7));
    EXPECT_EQ("4294967296 7", F("%Id %d", big, 7));
    EXPECT_EQ("4294967296 7", F("%I6d %d", big, 7));
    EXPECT_EQ("100000000", F("%llx", big));
    EXPECT_EQ("0 7", F("%hd %d", 0, 7)) << "h reads 32 bits";
}

TEST(FormatBuffer, ShiftJisAndBackslashes) {
    // The second byte of the double-byte character is '%' or '\'.
    EXPECT_EQ("a\x83\x5c" "5", F("a\x83\x5c%d", 5));
    EXPECT_EQ("\x81%d", F("\x81%d", 5));
    EXPECT_EQ("<-2>", F("%\x82\xa0", 5));
    EXPECT_EQ("<-2>", F("\\\x82\xa0"));
    EXPECT_EQ("a\x82", F("a\x82")) << "a lead byte at the end stands alone";
    EXPECT_EQ("\\%d 5", F("\\%d %d", 5)) << "the byte after a backslash never starts a conversion";
    EXPECT_EQ("\\n\\\\", F("\\n\\\\"));
}

TEST(FormatBuffer, RoomMustHoldTheZeroByte) {
    char out[16];
    EXPECT_EQ(kFormatNoRoom, Fmt(out, 5, "%d", 12345));
    EXPECT_EQ(5, Fmt(out, 6, "%d", 12345));
    EXPECT_STREQ("12345", out);
    EXPECT_EQ(kFormatNoRoom, Fmt(out, 4, "%6s", "ab")) << "the padding checks the room too";
    EXPECT_EQ(kFormatNoRoom, Fmt(out, 2, "\x82\xa0"));
}

// Conversions on which the formatter and the runtime library must agree:
// no sign inside a width, no zero flag on floats, no '#', no 'l'.
namespace {

class Generator {
public:
    explicit Generator(uint32_t seed) : random(seed) {}

    int Below(int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); }
    bool Chance(int percent) { return Below(100) < percent; }

    std::string PlainText() {
        static const char kBytes[] = "abcXYZ 09=:;,._-";
        std::string s;
        for (int n = Below(4); n > 0; --n) s += Chance(10) ? std::string("%%") : std::string(1, kBytes[Below(16)]);
        return s;
    }

    // Flags, width and precision; a signed conversion is told whether a sign may appear.
    std::string Spec(bool allowWidth, bool allowZero, bool allowPrecision, int minPrecision, bool* widthUsed) {
        std::string s;
        bool left = Chance(25);
        if (left) s += '-';
        if (allowZero && !left && Chance(25)) s += '0';
        *widthUsed = allowWidth && Chance(60);
        if (*widthUsed) s += std::to_string(1 + Below(20));
        if (allowPrecision && Chance(50)) s += "." + std::to_string(minPrecision + Below(10));
        return s;
    }

    int64_t Int64() {
        uint64_t v = (static_cast<uint64_t>(random()) << 32) | random();
        return static_cast<int64_t>(v >> Below(64));
    }

    double Double() {
        double v = static_cast<double>(random()) / 4294967296.0 * std::pow(10.0, Below(24) - 8);
        return v == 0 ? 1.5 : v;
    }

    std::mt19937 random;
};

void ExpectSameAsRuntime(const std::string& format, ...) {
    char ours[1024];
    char theirs[1024];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int r = FormatBuffer(ours, sizeof ours, format.c_str(), args);
    int n = vsnprintf(theirs, sizeof theirs, format.c_str(), copy);
    va_end(copy);
    ASSERT_EQ(n, r) << format;
    EXPECT_EQ(std::string(theirs, n), std::string(ours, r)) << format;
    // The same text with no room for its zero byte.
    va_start(args, format);
    EXPECT_EQ(kFormatNoRoom, FormatBuffer(ours, n, format.c_str(), args)) << format;
    va_end(args);
}

}  // namespace

TEST(FormatBuffer, AgreesWithTheRuntimeOnPlainConversions) {
    Generator g(20240611);
    for (int i = 0; i < 4000; ++i) {
        bool width = false;
        std::string f = g.PlainText() + "%";
        switch (g.Below(7)) {
        case 0: {  // signed: a sign only where no width surrounds it
            bool wide = g.Chance(50);
            int64_t v = wide ? g.Int64() : static_cast<int32_t>(g.random());
            std::string spec = g.Spec(true, true, true, 1, &width);
            if (width && v < 0) v = -(v + 1);
            // Zero gets no '+' here, unlike the runtime's.
            if (!width && v != 0 && g.Chance(30)) spec = "+" + spec;
            f += spec + (wide ? (g.Chance(50) ? "ll" : "I64") : "") + (g.Chance(50) ? "d" : "i");
            f += g.PlainText();
            if (wide) {
                ExpectSameAsRuntime(f, static_cast<long long>(v));
            } else {
                ExpectSameAsRuntime(f, static_cast<int>(v));
            }
            break;
        }
        case 1: {  // unsigned
            bool wide = g.Chance(50);
            std::string spec = g.Spec(true, true, true, 1, &width);
            if (g.Chance(20)) spec = "+" + spec;
            f += spec + (wide ? "ll" : "") + "uoxX"[g.Below(4)] + g.PlainText();
            if (wide) {
                ExpectSameAsRuntime(f, static_cast<unsigned long long>(g.Int64()));
            } else {
                ExpectSameAsRuntime(f, static_cast<unsigned>(g.random()));
            }
            break;
        }
        case 2:
        case 3: {  // floating point
            double v = g.Double();
            std::string spec = g.Spec(true, false, true, 0, &width);
            if (!width && g.Chance(50)) v = -v;
            if (!width && g.Chance(20)) spec = "+" + spec;
            f += spec + "eEfFgG"[g.Below(6)] + g.PlainText();
            ExpectSameAsRuntime(f, v);
            break;
        }
        case 4:
        case 5: {  // byte strings
            std::string text;
            for (int n = g.Below(12); n > 0; --n) text += static_cast<char>(' ' + g.Below(95));
            f += g.Spec(true, false, true, 0, &width) + "s" + g.PlainText();
            ExpectSameAsRuntime(f, text.c_str());
            break;
        }
        default: {  // one byte
            f += g.Spec(true, false, false, 0, &width) + "c" + g.PlainText();
            ExpectSameAsRuntime(f, ' ' + 1 + g.Below(94));
            break;
        }
        }
        if (HasFailure()) break;
    }
}

TEST(FormatBuffer, ReadsSeveralArgumentsInOrder) {
    Generator g(7);
    for (int i = 0; i < 200 && !HasFailure(); ++i) {
        std::string name(1 + g.Below(8), static_cast<char>('a' + g.Below(26)));
        ExpectSameAsRuntime("%s=%d;%.3f;%llx|%5s|%c", name.c_str(), static_cast<int>(g.random()), g.Double(),
                            static_cast<unsigned long long>(g.Int64()), name.c_str(), 'a' + g.Below(26));
    }
}
