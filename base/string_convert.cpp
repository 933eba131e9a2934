// Conversions between text and other forms: code pages to UTF-16, byte
// text to numbers, and the Shift-JIS byte classes.
#include "base/strings.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------------------
// Code pages

VQWString VQWString::FromAnsi(const char* text, int byteCount) { return FromCodePage(CP_ACP, text, byteCount); }

VQWString VQWString::FromCodePage(unsigned codePage, const char* text, int byteCount) {
    if (!text) return VQWString();
    if (byteCount < 0) {
        size_t n = strlen(text);
        if (n > INT32_MAX) return VQWString();
        byteCount = static_cast<int>(n);
    }
    if (byteCount == 0) return VQWString();
    int units = MultiByteToWideChar(codePage, 0, text, byteCount, nullptr, 0);
    if (units <= 0) return VQWString();
    VQWString result;
    if (!result.SetLength(units)) return VQWString();
    int written = MultiByteToWideChar(codePage, 0, text, byteCount, result.data, units);
    if (written <= 0) return VQWString();
    result.SetLength(written);
    return result;
}

// ---------------------------------------------------------------------------
// Number parsing

namespace {

// Splits off the sign and checks the digits; returns false with status set.
bool ScanDigits(const char* text, int offset, int count, int maxDigits, bool* negative, const char** digits,
                int* digitCount, int* status) {
    *status = VQParseOk;
    if (!text) {
        *status = VQParseEmpty;
        return false;
    }
    const char* p = text + offset;
    // Only the first few bytes matter: a longer text has too many digits anyway.
    int n = count < 0 ? static_cast<int>(strnlen(p, 64)) : count;
    if (n <= 0) {
        *status = VQParseEmpty;
        return false;
    }
    *negative = false;
    if (*p == '+' || *p == '-') {
        *negative = *p == '-';
        ++p;
        --n;
    }
    if (n > maxDigits) {
        *status = VQParseTooLong;
        return false;
    }
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') {
            *status = VQParseBadDigit;
            return false;
        }
    }
    *digits = p;
    *digitCount = n;
    return true;
}

// Accumulates up to 20 digits; false when the value passes 2^64 - 1.
bool Accumulate(const char* digits, int n, uint64_t* value) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) {
        unsigned d = static_cast<unsigned>(digits[i] - '0');
        if (v > (UINT64_MAX - d) / 10) return false;
        v = v * 10 + d;
    }
    *value = v;
    return true;
}

int* StatusSlot(int* status, int* local) { return status ? status : local; }

}  // namespace

int32_t ParseInt32(const char* text, int offset, int count, int* status) {
    int local;
    status = StatusSlot(status, &local);
    bool negative;
    const char* digits;
    int n;
    uint64_t v = 0;
    if (!ScanDigits(text, offset, count, 10, &negative, &digits, &n, status)) return 0;
    Accumulate(digits, n, &v);
    if (negative ? v > 2147483648ULL : v > 2147483647ULL) {
        *status = VQParseRange;
        return 0;
    }
    return negative ? static_cast<int32_t>(-static_cast<int64_t>(v)) : static_cast<int32_t>(v);
}

uint32_t ParseUInt32(const char* text, int offset, int count, int* status) {
    int local;
    status = StatusSlot(status, &local);
    bool negative;
    const char* digits;
    int n;
    uint64_t v = 0;
    if (!ScanDigits(text, offset, count, 10, &negative, &digits, &n, status)) return 0;
    Accumulate(digits, n, &v);
    if (v > 4294967295ULL) {
        *status = VQParseRange;
        return 0;
    }
    uint32_t r = static_cast<uint32_t>(v);
    return negative ? static_cast<uint32_t>(0u - r) : r;
}

int64_t ParseInt64(const char* text, int offset, int count, int* status) {
    int local;
    status = StatusSlot(status, &local);
    bool negative;
    const char* digits;
    int n;
    uint64_t v = 0;
    if (!ScanDigits(text, offset, count, 19, &negative, &digits, &n, status)) return 0;
    Accumulate(digits, n, &v);
    if (negative ? v > 9223372036854775808ULL : v > 9223372036854775807ULL) {
        *status = VQParseRange;
        return 0;
    }
    if (negative) return v == 9223372036854775808ULL ? INT64_MIN : -static_cast<int64_t>(v);
    return static_cast<int64_t>(v);
}

uint64_t ParseUInt64(const char* text, int offset, int count, int* status) {
    int local;
    status = StatusSlot(status, &local);
    bool negative;
    const char* digits;
    int n;
    uint64_t v = 0;
    if (!ScanDigits(text, offset, count, 20, &negative, &digits, &n, status)) return 0;
    if (!Accumulate(digits, n, &v)) {
        *status = VQParseRange;
        return 0;
    }
    return negative ? 0 - v : v;
}

double ParseDouble(const char* text, int offset, int count, int* status) {
    int local;
    status = StatusSlot(status, &local);
    *status = VQParseOk;
    if (!text) {
        *status = VQParseEmpty;
        return 0;
    }
    const char* p = text + offset;
    size_t n = count < 0 ? strlen(p) : static_cast<size_t>(count);
    if (n == 0) {
        *status = VQParseEmpty;
        return 0;
    }
    // strtod needs a terminated text; the caller's count may stop short of one.
    char small[64];
    char* copy = n < sizeof small ? small : new char[n + 1];
    memcpy(copy, p, n);
    copy[n] = 0;
    char* end = nullptr;
    errno = 0;
    double v = strtod(copy, &end);
    bool ok = errno != ERANGE && end == copy + n;
    if (copy != small) delete[] copy;
    if (!ok) {
        *status = VQParseTooLong;
        return 0;
    }
    return v;
}

int ShiftJisByteKind(const char* text, int offset, int index) {
    if (!text) return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    int i = offset;
    while (i < index) {
        if (IsShiftJisLeadByte(p[i]) && p[i + 1] != 0) {
            if (i + 1 == index) return -1;
            i += 2;
        } else {
            ++i;
        }
    }
    if (i == index && IsShiftJisLeadByte(p[i])) return 1;
    return 0;
}
