// VMString: numbers, the hash and the prefixed integer.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "base/vm_values.h"

namespace {

int* StatusOrLocal(int* status, int* local) { return status ? status : local; }

// The integer parser of T's family; true with the value, or false with its status.
template <class T>
bool ParseInteger(const char* text, int length, T* value, int* status) {
    bool isSigned = std::is_signed<T>::value;
    if (sizeof(T) == 8) {
        if (isSigned) {
            int64_t v = ParseInt64(text, 0, length, status);
            if (*status != VQParseOk) return false;
            *value = static_cast<T>(v);
        } else {
            uint64_t v = ParseUInt64(text, 0, length, status);
            if (*status != VQParseOk) return false;
            *value = static_cast<T>(v);
        }
        return true;
    }
    int64_t v = isSigned ? static_cast<int64_t>(ParseInt32(text, 0, length, status))
                         : static_cast<int64_t>(ParseUInt32(text, 0, length, status));
    if (*status != VQParseOk) return false;
    if (v < static_cast<int64_t>(std::numeric_limits<T>::min()) ||
        v > static_cast<int64_t>(std::numeric_limits<T>::max())) {
        *status = VQParseRange;
        return false;
    }
    *value = static_cast<T>(v);
    return true;
}

// A fraction cut toward zero; false when that falls outside T.
template <class T>
bool FromFraction(double d, T* value) {
    if (std::isnan(d)) return false;
    d = std::trunc(d);
    // 2^63 and 2^64 are exact in a double.
    const double twoTo63 = 9223372036854775808.0;
    if (d < -twoTo63 || d >= 2 * twoTo63) return false;
    if (std::is_signed<T>::value) {
        if (d >= twoTo63) return false;
        int64_t v = static_cast<int64_t>(d);
        if (v < static_cast<int64_t>(std::numeric_limits<T>::min()) ||
            v > static_cast<int64_t>(std::numeric_limits<T>::max())) {
            return false;
        }
        *value = static_cast<T>(v);
        return true;
    }
    if (d < 0) return false;
    uint64_t v = static_cast<uint64_t>(d);
    if (v > static_cast<uint64_t>(std::numeric_limits<T>::max())) return false;
    *value = static_cast<T>(v);
    return true;
}

template <class T>
T ToInteger(const char* text, int length, T defaultValue, int* status, bool allowFraction) {
    int local;
    status = StatusOrLocal(status, &local);
    T value;
    if (ParseInteger(text, length, &value, status)) return value;
    if (!allowFraction || *status == VQParseEmpty || *status == VQParseRange) return defaultValue;
    // The integer parser's status stands when the text is no number at all.
    int fractionStatus;
    double d = ParseDouble(text, 0, length, &fractionStatus);
    if (fractionStatus != VQParseOk) return defaultValue;
    if (!FromFraction(d, &value)) {
        *status = VQParseRange;
        return defaultValue;
    }
    *status = VQParseOk;
    return value;
}

struct CrcTable {
    uint32_t entries[256];
    constexpr CrcTable() : entries() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[i] = c;
        }
    }
};

constexpr CrcTable kCrcTable;

}  // namespace

int8_t VMString::ToInt8(int8_t defaultValue, int* status, bool allowFraction) const {
    return ToInteger(text, length, defaultValue, status, allowFraction);
}

uint8_t VMString::ToUInt8(uint8_t defaultValue, int* status, bool allowFraction) const {
    return ToInteger(text, length, defaultValue, status, allowFraction);
}

int16_t VMString::ToInt16(int16_t defaultValue, int* status, bool allowFraction) const {
    return ToInteger(text, length, defaultValue, status, allowFraction);
}

uint16_t VMString::ToUInt16(uint16_t defaultValue, int* status, bool allowFraction) const {
    return ToInteger(text, length, defaultValue, status, allowFraction);
}

int32_t VMString::ToInt32(int32_t defaultValue, int* status, bool allowFraction) const {
    return ToInteger(text, length, defaultValue, status, allowFraction);
}

uint32_t VMString::ToUInt32(uint32_t defaultValue, int* status, bool allowFraction) const {
    return ToInteger(text, length, defaultValue, status, allowFraction);
}

int64_t VMString::ToInt64(int64_t defaultValue, int* status, bool allowFraction) const {
    return ToInteger(text, length, defaultValue, status, allowFraction);
}

uint64_t VMString::ToUInt64(uint64_t defaultValue, int* status, bool allowFraction) const {
    return ToInteger(text, length, defaultValue, status, allowFraction);
}

float VMString::ToFloat(float defaultValue, int* status) const {
    int local;
    status = StatusOrLocal(status, &local);
    double d = ParseDouble(text, 0, length, status);
    if (*status != VQParseOk) return defaultValue;
    if (std::isfinite(d) && std::fabs(d) > FLT_MAX) {
        *status = VQParseRange;
        return defaultValue;
    }
    return static_cast<float>(d);
}

double VMString::ToDouble(double defaultValue, int* status) const {
    int local;
    status = StatusOrLocal(status, &local);
    double d = ParseDouble(text, 0, length, status);
    return *status == VQParseOk ? d : defaultValue;
}

uint32_t VMString::GetHash() const {
    if (!text) return 0;
    uint32_t crc = 0xFFFFFFFFu;
    for (int i = 0; i < length; ++i) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        if (CharSize(i) == 2) {
            // Both bytes of a double-byte character go in as they are.
            crc = kCrcTable.entries[(crc ^ b) & 0xFF] ^ (crc >> 8);
            b = static_cast<unsigned char>(text[++i]);
        } else if (b >= 'A' && b <= 'Z') {
            b = static_cast<unsigned char>(b + 32);
        }
        crc = kCrcTable.entries[(crc ^ b) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

int32_t VMString::ParseIntAfter(const char* prefix) const {
    int n = prefix ? static_cast<int>(strlen(prefix)) : 0;
    if (length <= n || !StartsWith(prefix, n)) return 0;
    int status;
    int32_t value = ParseInt32(text, n, length - n, &status);
    return status == VQParseOk ? value : 0;
}
