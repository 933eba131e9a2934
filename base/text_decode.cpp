#include "base/text_decode.h"

#include <cstring>

namespace {

bool StartsWith(const char* bytes, int count, const char* mark, int markLength) {
    if (count < markLength) return false;
    for (int i = 0; i < markLength; ++i) {
        if (bytes[i] != mark[i]) return false;
    }
    return true;
}

// UTF-16LE without a mark: most pairs of Latin text have a zero high byte,
// while 8-bit text has no NULs at all. The high byte of a Japanese unit is
// never zero, but its low byte can be (U+3000), so the odd NULs must only
// outnumber the even ones and make up a quarter of the pairs or more.
bool LooksLikeUtf16(const unsigned char* bytes, int count) {
    if (count < 2) return false;
    int pairs = count / 2;
    int oddNuls = 0;
    int evenNuls = 0;
    for (int i = 0; i + 1 < count; i += 2) {
        if (bytes[i] == 0) ++evenNuls;
        if (bytes[i + 1] == 0) ++oddNuls;
    }
    return oddNuls > evenNuls && oddNuls * 4 >= pairs;
}

VQWString Utf16(const char* bytes, int count) {
    int units = count / 2;
    VQWString text;
    if (units <= 0) return text;
    text.SetLength(units);
    memcpy(text.GetData(), bytes, static_cast<size_t>(units) * 2);
    return text;
}

}  // namespace

bool IsValidUtf8(const char* text, int count, bool* hasNonAscii) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    bool nonAscii = false;
    int i = 0;
    while (i < count) {
        unsigned char c = bytes[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        nonAscii = true;
        int extra;
        unsigned minimum;
        unsigned value;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1, minimum = 0x80, value = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2, minimum = 0x800, value = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3, minimum = 0x10000, value = c & 0x07;
        } else {
            if (hasNonAscii) *hasNonAscii = nonAscii;
            return false;
        }
        if (count - i - 1 < extra) {
            if (hasNonAscii) *hasNonAscii = nonAscii;
            return false;
        }
        for (int k = 1; k <= extra; ++k) {
            unsigned char next = bytes[i + k];
            if ((next & 0xC0) != 0x80) {
                if (hasNonAscii) *hasNonAscii = nonAscii;
                return false;
            }
            value = (value << 6) | (next & 0x3F);
        }
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            if (hasNonAscii) *hasNonAscii = nonAscii;
            return false;
        }
        i += extra + 1;
    }
    if (hasNonAscii) *hasNonAscii = nonAscii;
    return true;
}

VQTextEncoding DetectTextEncoding(const char* bytes, int count, unsigned detect, int* markBytes) {
    if (markBytes) *markBytes = 0;
    if (!bytes || count <= 0) return kTextCodePage;
    if ((detect & kDetectUtf16Mark) && StartsWith(bytes, count, "\xFF\xFE", 2)) {
        if (markBytes) *markBytes = 2;
        return kTextUtf16;
    }
    if ((detect & kDetectUtf8Mark) && StartsWith(bytes, count, "\xEF\xBB\xBF", 3)) {
        if (markBytes) *markBytes = 3;
        return kTextUtf8;
    }
    if ((detect & kDetectUtf16Guess) && LooksLikeUtf16(reinterpret_cast<const unsigned char*>(bytes), count)) {
        return kTextUtf16;
    }
    if (!(detect & (kDetectUtf8 | kDetectUtf8Ascii))) return kTextCodePage;
    bool nonAscii = false;
    if (!IsValidUtf8(bytes, count, &nonAscii)) return kTextCodePage;
    if (nonAscii) return kTextUtf8;
    if ((detect & kDetectUtf8Ascii) && !memchr(bytes, 0, static_cast<size_t>(count))) return kTextUtf8;
    return kTextCodePage;
}

VQWString DecodeText(const char* bytes, int count, unsigned detect, UINT fallbackCodePage, VQTextEncoding* used) {
    int mark = 0;
    VQTextEncoding encoding = DetectTextEncoding(bytes, count, detect, &mark);
    if (used) *used = encoding;
    if (!bytes || count - mark <= 0) return VQWString();
    bytes += mark;
    count -= mark;
    switch (encoding) {
    case kTextUtf16: return Utf16(bytes, count);
    case kTextUtf8: return VQWString::FromCodePage(CP_UTF8, bytes, count);
    default: return VQWString::FromCodePage(fallbackCodePage, bytes, count);
    }
}

int RemoveNuls(VQWString& text) {
    int length = text.GetLength();
    const wchar_t* data = text.Text();
    int kept = 0;
    while (kept < length && data[kept] != L'\0') ++kept;
    if (kept == length) return 0;
    text.MakeUnique();
    wchar_t* out = text.GetData();
    for (int i = kept; i < length; ++i) {
        if (out[i] != L'\0') out[kept++] = out[i];
    }
    int removed = length - kept;
    text.SetLength(kept);
    return removed;
}
