#include "base/strings.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "base/arrays.h"

// ---------------------------------------------------------------------------
// VQWString

namespace {

// Past kVQWStringMaxLength the count is only good for being refused.
int64_t WideLength(const wchar_t* text) { return text ? static_cast<int64_t>(wcslen(text)) : 0; }

// Null when the units do not fit one buffer.
VQStringBuffer* NewWideBuffer(const wchar_t* text, int64_t units) {
    if (units < 0 || units > kVQWStringMaxLength) return nullptr;
    VQStringBuffer* b = VQStringBuffer::Create(units * 2);
    if (units > 0) memcpy(b->data, text, static_cast<size_t>(units) * 2);
    b->SetLengthAndTerminate(static_cast<uint32_t>(units * 2));
    return b;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

VQWString::VQWString(const wchar_t* text) : data(nullptr), buffer(nullptr) {
    if (text) AssignBuffer(NewWideBuffer(text, WideLength(text)));
}

VQWString::VQWString(const VQWString& other) : data(nullptr), buffer(nullptr) {
    if (other.buffer && other.data) {
        other.buffer->AddRef();
        AssignBuffer(other.buffer);
    }
}

VQWString::VQWString(VQWString&& other) noexcept : data(other.data), buffer(other.buffer) {
    other.data = nullptr;
    other.buffer = nullptr;
}

VQWString::VQWString(const VQString& narrow) : data(nullptr), buffer(nullptr) {
    *this = FromAnsi(narrow.GetData(), narrow.GetLength());
}

VQWString::~VQWString() { ReleaseBuffer(); }

void VQWString::ReleaseBuffer() {
    if (buffer) buffer->Release();
    buffer = nullptr;
    data = nullptr;
}

void VQWString::AssignBuffer(VQStringBuffer* b) {
    buffer = b;
    data = b ? reinterpret_cast<wchar_t*>(b->data) : nullptr;
}

VQWString& VQWString::operator=(const VQWString& other) {
    if (this == &other) return *this;
    VQStringBuffer* b = (other.buffer && other.data) ? other.buffer : nullptr;
    if (b) b->AddRef();
    ReleaseBuffer();
    AssignBuffer(b);
    return *this;
}

VQWString& VQWString::operator=(VQWString&& other) noexcept {
    if (this == &other) return *this;
    ReleaseBuffer();
    data = other.data;
    buffer = other.buffer;
    other.data = nullptr;
    other.buffer = nullptr;
    return *this;
}

VQWString& VQWString::operator=(const wchar_t* text) {
    // The text may point into this string's own buffer: build first.
    VQStringBuffer* b = text ? NewWideBuffer(text, WideLength(text)) : nullptr;
    if (text && !b) return *this;
    ReleaseBuffer();
    AssignBuffer(b);
    return *this;
}

int VQWString::GetLength(bool inBytes) const {
    if (!buffer) return 0;
    return inBytes ? static_cast<int>(buffer->length) : static_cast<int>(buffer->length / 2);
}

wchar_t VQWString::GetAt(int index) const {
    return (index >= 0 && index < GetLength()) ? data[index] : L'\0';
}

bool VQWString::Equals(const wchar_t* text) const {
    int64_t length = WideLength(text);
    if (length > kVQWStringMaxLength) return false;
    return Compare(data, GetLength(), text, static_cast<int>(length)) == 0;
}

bool VQWString::operator==(const VQWString& other) const { return Compare(other) == 0; }

int VQWString::Compare(const VQWString& other) const {
    return Compare(data, GetLength(), other.data, other.GetLength());
}

bool VQWString::Reserve(int64_t newUnits, int keepUnits) {
    if (newUnits < 0 || newUnits > kVQWStringMaxLength) return false;
    int64_t newBytes = newUnits * 2;
    if (VQStringBuffer::FitsInPlace(buffer, newBytes + 2)) return true;
    VQAllocator* allocator = buffer ? buffer->allocator : nullptr;
    VQStringBuffer* b = VQStringBuffer::Create(newBytes, allocator);
    int keep = keepUnits < GetLength() ? keepUnits : GetLength();
    if (keep > 0) memcpy(b->data, data, static_cast<size_t>(keep) * 2);
    b->length = static_cast<uint32_t>(keep) * 2;
    ReleaseBuffer();
    AssignBuffer(b);
    return true;
}

bool VQWString::SetLength(int n, bool inBytes) {
    if (n < 0) n = 0;
    int64_t bytes = inBytes ? n : int64_t(n) * 2;
    int64_t units = (bytes + 1) / 2;
    if (!Reserve(units, static_cast<int>(units < INT32_MAX ? units : INT32_MAX))) return false;
    buffer->SetLengthAndTerminate(static_cast<uint32_t>(bytes));
    return true;
}

void VQWString::MakeUnique() {
    if (!buffer) {
        AssignBuffer(VQStringBuffer::Create(0));
        return;
    }
    if (VQStringBuffer::Writable(buffer)) return;
    int units = GetLength();
    VQStringBuffer* b = NewWideBuffer(data, units);
    ReleaseBuffer();
    AssignBuffer(b);
}

VQWString VQWString::DeepCopy() const {
    VQWString copy;
    if (buffer) copy.AssignBuffer(NewWideBuffer(data, GetLength()));
    return copy;
}

void VQWString::Attach(char* bytes, int byteLength, int capacity) {
    ReleaseBuffer();
    AssignBuffer(VQStringBuffer::Adopt(bytes, byteLength, capacity == 0 ? byteLength : capacity));
}

VQWString VQWString::Append(const wchar_t* src, int count) {
    int64_t units = count;
    if (src && count == 0) units = WideLength(src);
    if (units <= 0) return *this;
    int old = GetLength();
    // A source inside this buffer must outlive a growth: only then is the
    // buffer held (and so copied); a sole owner otherwise appends in place.
    VQWString hold;
    if (src && data && src >= data && src < data + old) hold = *this;
    if (!Reserve(old + units, old)) return *this;
    if (src) memmove(data + old, src, static_cast<size_t>(units) * 2);
    buffer->SetLengthAndTerminate(static_cast<uint32_t>((old + units) * 2));
    return *this;
}

VQWString VQWString::Append(wchar_t ch) { return Append(&ch, 1); }

VQWString VQWString::Append(const VQWString& other) {
    VQWString copy(other);
    if (copy.GetLength() == 0) return *this;
    return Append(copy.data, copy.GetLength());
}

int VQWString::Compare(const wchar_t* a, int aLen, const wchar_t* b, int bLen) {
    if (!a) return (!b || bLen == 0) ? 0 : -1;
    if (!b) return aLen > 0 ? 1 : 0;
    if (aLen != bLen) return aLen < bLen ? -1 : 1;
    int r = memcmp(a, b, static_cast<size_t>(aLen) * 2);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int VQWString::CompareNoCase(const wchar_t* a, int aLen, const wchar_t* b, int bLen, int n) {
    if (!a) return (!b || bLen <= 0) ? 0 : -1;
    if (!b) return aLen > 0 ? 1 : 0;
    int units = n;
    if (aLen < n || bLen < n) {
        if (aLen != bLen) return aLen < bLen ? -1 : 1;
        units = aLen;
    }
    for (int i = 0; i < units; ++i) {
        unsigned x = a[i];
        unsigned y = b[i];
        bool xLower = x >= L'a' && x <= L'z';
        bool yLower = y >= L'a' && y <= L'z';
        unsigned fx = x, fy = y;
        if (xLower && !yLower) fy += 32;
        if (yLower && !xLower) fx += 32;
        if (fx != fy) return x < y ? -1 : 1;
    }
    return 0;
}

VQWString VQWString::Mid(int start, int count) const {
    int length = GetLength();
    if (start < 0 || count <= 0 || start >= length) return VQWString();
    if (count > length - start) count = length - start;
    if (start == 0 && count == length) return *this;
    VQWString result;
    result.AssignBuffer(NewWideBuffer(data + start, count));
    return result;
}

VQWString VQWString::Mid(int start) const { return start < 0 ? VQWString() : Mid(start, GetLength() - start); }

VQWString VQWString::Left(int count) const { return Mid(0, count); }

VQWString VQWString::Trim() const {
    int length = GetLength();
    int first = 0;
    while (first < length && IsBlank(data[first])) ++first;
    int end = length;
    while (end > first && IsBlank(data[end - 1])) --end;
    if (first == 0 && end == length) return *this;
    if (end == first) return VQWString(L"");
    VQWString result;
    result.AssignBuffer(NewWideBuffer(data + first, end - first));
    return result;
}

int VQWString::FindOneOf(const wchar_t* set, int start) const {
    int length = GetLength();
    if (!set || !*set || start < 0 || start >= length) return -1;
    for (int i = start; i < length; ++i) {
        if (wcschr(set, data[i])) return i;
    }
    return -1;
}

bool VQWString::InsertRaw(int index, const wchar_t* src, int count, wchar_t fill) {
    if (index < 0 || count <= 0) return true;
    int length = GetLength();
    int64_t end = index > length ? index : length;
    int64_t total = end + count;
    if (total > kVQWStringMaxLength) return false;
    int newLength = static_cast<int>(total);
    size_t tail = index < length ? static_cast<size_t>(length - index) * 2 : 0;
    if (VQStringBuffer::FitsInPlace(buffer, VQStringCapacityFor(int64_t(newLength) * 2))) {
        if (tail > 0) memmove(data + index + count, data + index, tail);
    } else {
        VQStringBuffer* b = VQStringBuffer::Create(int64_t(newLength) * 2, buffer ? buffer->allocator : nullptr);
        wchar_t* d = reinterpret_cast<wchar_t*>(b->data);
        int head = index < length ? index : length;
        if (head > 0) memcpy(d, data, static_cast<size_t>(head) * 2);
        if (tail > 0) memcpy(d + index + count, data + index, tail);
        // Copy the inserted text before the old buffer (its possible home) goes.
        if (src) {
            memcpy(d + index, src, static_cast<size_t>(count) * 2);
        } else {
            for (int i = 0; i < count; ++i) d[index + i] = fill;
        }
        for (int i = length; i < index; ++i) d[i] = L'\0';
        ReleaseBuffer();
        AssignBuffer(b);
        buffer->SetLengthAndTerminate(static_cast<uint32_t>(newLength) * 2);
        return true;
    }
    for (int i = length; i < index; ++i) data[i] = L'\0';
    if (src) {
        memmove(data + index, src, static_cast<size_t>(count) * 2);
    } else {
        for (int i = 0; i < count; ++i) data[index + i] = fill;
    }
    buffer->SetLengthAndTerminate(static_cast<uint32_t>(newLength) * 2);
    return true;
}

bool VQWString::Insert(int index, const VQWString& s) {
    VQWString copy(s);  // s may be this string
    return InsertRaw(index, copy.data, copy.GetLength(), L'\0');
}

bool VQWString::InsertSpaces(int index, int count) { return InsertRaw(index, nullptr, count, L' '); }

void VQWString::Delete(int index, int count) {
    int length = GetLength();
    if (index < 0 || count <= 0 || index >= length) return;
    if (count > length - index) count = length - index;
    int newLength = length - count;
    size_t tail = static_cast<size_t>(length - index - count) * 2;
    if (VQStringBuffer::FitsInPlace(buffer, VQStringCapacityFor(int64_t(newLength) * 2))) {
        memmove(data + index, data + index + count, tail);
        buffer->SetLengthAndTerminate(static_cast<uint32_t>(newLength) * 2);
        return;
    }
    VQStringBuffer* b = VQStringBuffer::Create(int64_t(newLength) * 2, buffer->allocator);
    wchar_t* d = reinterpret_cast<wchar_t*>(b->data);
    memcpy(d, data, static_cast<size_t>(index) * 2);
    memcpy(d + index, data + index + count, tail);
    b->SetLengthAndTerminate(static_cast<uint32_t>(newLength) * 2);
    ReleaseBuffer();
    AssignBuffer(b);
}

bool VQWString::ReplaceLineBreaks(const VQWString& with) {
    VQWString replacement(with);
    int withLength = replacement.GetLength();
    int length = GetLength();
    if (withLength == 0 || length == 0) return true;
    int64_t breaks = 0;
    for (int i = 0; i < length; ++i) {
        if (data[i] == L'\r' || data[i] == L'\n') ++breaks;
    }
    if (breaks == 0) return true;
    if (withLength == 1) {
        MakeUnique();
        for (int i = 0; i < length; ++i) {
            if (data[i] == L'\r' || data[i] == L'\n') data[i] = replacement.data[0];
        }
        return true;
    }
    // The whole result is sized first, so that a refusal changes nothing.
    int64_t total = length + breaks * (withLength - 1);
    if (total > kVQWStringMaxLength) return false;
    VQStringBuffer* b = VQStringBuffer::Create(total * 2, buffer->allocator);
    wchar_t* out = reinterpret_cast<wchar_t*>(b->data);
    for (int i = 0; i < length; ++i) {
        if (data[i] == L'\r' || data[i] == L'\n') {
            memcpy(out, replacement.data, static_cast<size_t>(withLength) * 2);
            out += withLength;
        } else {
            *out++ = data[i];
        }
    }
    b->SetLengthAndTerminate(static_cast<uint32_t>(total * 2));
    ReleaseBuffer();
    AssignBuffer(b);
    return true;
}

int VQWString::Split(VQArray<VQWString, VQWString>& out) const {
    int length = GetLength();
    int separators = 0;
    for (int i = 0; i < length; ++i) {
        if (data[i] == L';') ++separators;
    }
    // The array sizes its block in int bytes.
    if ((int64_t(separators) + 1) * int64_t(sizeof(VQWString)) > INT32_MAX) return -1;
    out.RemoveAll();
    out.SetSize(-(separators + 1));
    int pieceStart = 0;
    for (int i = 0; i < length; ++i) {
        if (data[i] != L';') continue;
        VQWString piece;
        piece.AssignBuffer(NewWideBuffer(data + pieceStart, i - pieceStart));
        out.Add(piece);
        pieceStart = i + 1;
    }
    if (pieceStart < length) {
        VQWString piece;
        piece.AssignBuffer(NewWideBuffer(data + pieceStart, length - pieceStart));
        out.Add(piece);
    }
    return out.GetCount();
}

VQWString VQWString::Format(const wchar_t* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    VQWString result = FormatV(fmt, args);
    va_end(args);
    return result;
}

VQWString VQWString::FormatV(const wchar_t* fmt, va_list args) {
    if (!fmt) {
        ReleaseBuffer();
        return *this;
    }
    // _vscwprintf and _vsnwprintf are the system library's own formatters,
    // which read %s as a wide string in a wide format; the C99 vswprintf that
    // MinGW may select reads it as a narrow one.
    va_list copy;
    va_copy(copy, args);
    int needed = _vscwprintf(fmt, copy);
    va_end(copy);
    // The block grows by 256 units until the text and its terminator fit.
    // Counting first finds that block at once: trying each size in turn
    // formats a long text (an error message quoting a command line of a few
    // megabytes) tens of thousands of times.
    int64_t units = (WideLength(fmt) / 256) * 256 + 260;
    if (needed >= units) units += (static_cast<int64_t>(needed - units) / 256 + 1) * 256;
    if (needed < 0 || units > INT32_MAX / 2) {
        ReleaseBuffer();
        return *this;
    }
    char* block = new char[units * 2];
    va_copy(copy, args);
    int written = _vsnwprintf(reinterpret_cast<wchar_t*>(block), static_cast<size_t>(units - 1), fmt, copy);
    va_end(copy);
    if (written < 0) {
        delete[] block;
        ReleaseBuffer();
        return *this;
    }
    Attach(block, written * 2, static_cast<int>(units * 2));
    return *this;
}

void VQWString::CopyTo(wchar_t* dst) const {
    if (!dst) return;
    int n = GetLength();
    if (n > 519) n = 519;
    if (n > 0) memcpy(dst, data, n * 2);
    dst[n] = L'\0';
}
