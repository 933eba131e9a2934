#include "base/text_hash.h"

#include <cstdint>

VQWString TextHashHex(const VQWString& text) {
    uint64_t hash = 14695981039346656037ull;
    for (int i = 0; i < text.GetLength(); ++i) hash = (hash ^ static_cast<uint16_t>(text.GetAt(i))) * 1099511628211ull;
    return VQWString().Format(L"%08lx%08lx", static_cast<unsigned long>(hash >> 32),
                              static_cast<unsigned long>(hash & 0xFFFFFFFFu));
}
