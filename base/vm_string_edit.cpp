// VMString: appending, assembling, inserting, deleting and replacing.
#include <cstring>

#include "base/vm_values.h"

namespace {

// Byte forms with a negative count read up to the NUL.
int CountOf(const char* bytes, int count) {
    if (!bytes) return 0;
    return count < 0 ? static_cast<int>(strlen(bytes)) : count;
}

bool IsAsciiUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsAsciiLower(char c) { return c >= 'a' && c <= 'z'; }

}  // namespace

void VMString::AppendBytes(const void* bytes, int offset, int count) {
    if (count <= 0) return;
    const char* src = bytes ? static_cast<const char*>(bytes) + offset : nullptr;
    Splice(length, 0, src, count, 0);
}

void VMString::AppendFill(char c, int n) {
    if (n > 0) Splice(length, 0, nullptr, n, c);
}

void VMString::AppendInt32(int32_t value) {
    char bytes[sizeof value];
    memcpy(bytes, &value, sizeof value);
    Splice(length, 0, bytes, sizeof value, 0);
}

void VMString::Append(const char* bytes) {
    int n = CountOf(bytes, -1);
    if (n > 0) Splice(length, 0, bytes, n, 0);
}

void VMString::Append(const VMString* s) {
    if (!s || s->IsNull()) return;
    if (IsNull()) {
        ShareView(s, 0, s->length);
    } else if (s->length > 0) {
        Splice(length, 0, s->text, s->length, 0);
    }
}

void VMString::Append(const VMString* s, int start, int count) {
    if (!s || s->IsNull()) return;
    if (start < 0) start = 0;
    if (start > s->length) start = s->length;
    if (count < 0 || count > s->length - start) count = s->length - start;
    if (IsNull()) {
        ShareView(s, start, count);
    } else if (count > 0) {
        Splice(length, 0, s->text + start, count, 0);
    }
}

void VMString::AppendIndented(int tabs, const char* bytes, int count) {
    count = CountOf(bytes, count);
    if (count <= 0) return;
    if (tabs <= 0) {
        Splice(length, 0, bytes, count, 0);
        return;
    }
    // A line that holds nothing before its LF (or only a CR) gets no tabs.
    auto indents = [&](int lineStart) {
        if (lineStart >= count || bytes[lineStart] == '\n') return false;
        return !(bytes[lineStart] == '\r' && lineStart + 1 < count && bytes[lineStart + 1] == '\n');
    };
    int lines = 0;
    for (int i = 0; i < count; ++i) {
        if ((i == 0 || bytes[i - 1] == '\n') && indents(i)) ++lines;
    }
    // Keeps the source readable should it lie in this string's own block.
    VQStringBuffer* hold = IsInBlock(bytes) ? buffer : nullptr;
    if (hold) hold->AddRef();
    int old = length;
    SetLength(old + count + lines * tabs);
    char* d = text + old;
    for (int i = 0; i < count; ++i) {
        if ((i == 0 || bytes[i - 1] == '\n') && indents(i)) {
            memset(d, '\t', tabs);
            d += tabs;
        }
        *d++ = bytes[i];
    }
    if (hold) hold->Release();
}

void VMString::AppendIndented(int tabs, const char* bytes) { AppendIndented(tabs, bytes, -1); }

void VMString::AppendIndented(int tabs, const VMString* s) {
    if (s && s->length > 0) AppendIndented(tabs, s->text, s->length);
}

void VMString::AssignSides(const char* a, int aCount, const VMString* aString, const char* b, int bCount,
                           const VMString* bString) {
    bool aMissing = aString ? aString->IsNull() : !a;
    bool bMissing = bString ? bString->IsNull() : !b;
    if (aString) {
        a = aString->text;
        aCount = aString->length;
    }
    if (bString) {
        b = bString->text;
        bCount = bString->length;
    }
    if (aMissing && bMissing) {
        Clear();
        return;
    }
    if (aMissing || bMissing) {
        const VMString* only = aMissing ? bString : aString;
        if (only) {
            Assign(static_cast<const VMBase*>(only));
        } else {
            const char* bytes = aMissing ? b : a;
            int n = CountOf(bytes, aMissing ? bCount : aCount);
            // Built before the old buffer goes: the bytes may live in it.
            SetView(VQStringBuffer::Copy(bytes, n, GetAllocator()), 0, n);
        }
        return;
    }
    aCount = CountOf(a, aCount);
    bCount = CountOf(b, bCount);
    VQStringBuffer* joined = VQStringBuffer::Create(aCount + bCount, GetAllocator());
    memcpy(joined->data, a, aCount);
    memcpy(joined->data + aCount, b, bCount);
    joined->SetLengthAndTerminate(aCount + bCount);
    SetView(joined, 0, aCount + bCount);
}

void VMString::AssignWithByte(const char* bytes, int count, char c) {
    AssignSides(bytes ? bytes : "", count, nullptr, &c, 1, nullptr);
}

void VMString::AssignWithByte(const char* bytes, char c) { AssignWithByte(bytes, -1, c); }

void VMString::AssignWithByte(const VMString* s, char c) {
    if (s) {
        AssignSides(s->text ? s->text : "", s->length, nullptr, &c, 1, nullptr);
    } else {
        AssignWithByte("", 0, c);
    }
}

void VMString::AssignConcat(const char* a, int aCount, const char* b, int bCount) {
    AssignSides(a, aCount, nullptr, b, bCount, nullptr);
}
void VMString::AssignConcat(const char* a, int aCount, const char* b) {
    AssignSides(a, aCount, nullptr, b, -1, nullptr);
}
void VMString::AssignConcat(const char* a, int aCount, const VMString* b) {
    AssignSides(a, aCount, nullptr, nullptr, 0, b);
}
void VMString::AssignConcat(const char* a, const char* b, int bCount) {
    AssignSides(a, -1, nullptr, b, bCount, nullptr);
}
void VMString::AssignConcat(const char* a, const char* b) { AssignSides(a, -1, nullptr, b, -1, nullptr); }
void VMString::AssignConcat(const char* a, const VMString* b) { AssignSides(a, -1, nullptr, nullptr, 0, b); }
void VMString::AssignConcat(const VMString* a, const char* b, int bCount) {
    AssignSides(nullptr, 0, a, b, bCount, nullptr);
}
void VMString::AssignConcat(const VMString* a, const char* b) { AssignSides(nullptr, 0, a, b, -1, nullptr); }
void VMString::AssignConcat(const VMString* a, const VMString* b) { AssignSides(nullptr, 0, a, nullptr, 0, b); }

void VMString::InsertFill(int at, char c, int n) {
    if (at >= 0 && n > 0) Splice(at, 0, nullptr, n, c);
}

void VMString::Insert(int at, const VMString* s) {
    if (at >= 0 && s && s->length > 0) Splice(at, 0, s->text, s->length, 0);
}

void VMString::Delete(int at, int count) {
    if (at < 0 || count <= 0 || at >= length) return;
    if (count > length - at) count = length - at;
    Splice(at, count, nullptr, 0, 0);
}

int VMString::ReplaceChars(const char* set, char c) {
    if (!set || !*set) return 0;
    int replaced = 0;
    for (int i = 0; i < length;) {
        // The step is taken first: `c` may itself be a lead byte.
        int n = CharSize(i);
        if (n == 1 && text[i] && strchr(set, text[i])) {
            if (replaced++ == 0) MakeUnique();
            text[i] = c;
        }
        i += n;
    }
    return replaced;
}

int VMString::ReplaceCharsWith(const char* set, const VMString* s) {
    if (!set || !*set || !s || s->length == 0) return 0;
    auto matches = [&](int i) { return CharSize(i) == 1 && text[i] && strchr(set, text[i]); };
    int count = 0;
    for (int i = 0; i < length; i += CharSize(i)) {
        if (matches(i)) ++count;
    }
    if (count == 0) return 0;
    int newLength = length + count * (s->length - 1);
    VQStringBuffer* b = VQStringBuffer::Create(newLength, GetAllocator());
    char* d = b->data;
    for (int i = 0; i < length;) {
        int n = CharSize(i);
        if (matches(i)) {
            memcpy(d, s->text, s->length);
            d += s->length;
        } else {
            memcpy(d, text + i, n);
            d += n;
        }
        i += n;
    }
    b->SetLengthAndTerminate(newLength);
    SetView(b, 0, newLength);
    return count;
}

void VMString::ChangeCase(bool upper) {
    bool unique = false;
    for (int i = 0; i < length; i += CharSize(i)) {
        if (CharSize(i) != 1 || !(upper ? IsAsciiLower(text[i]) : IsAsciiUpper(text[i]))) continue;
        if (!unique) MakeUnique();
        unique = true;
        text[i] = static_cast<char>(upper ? text[i] - 32 : text[i] + 32);
    }
}

void VMString::ToLower() { ChangeCase(false); }

void VMString::ToUpper() { ChangeCase(true); }
