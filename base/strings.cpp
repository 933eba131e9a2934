#include "base/strings.h"

#include <cstdio>
#include <cstring>

// ---------------------------------------------------------------------------
// VQStringBuffer

int VQStringCapacityFor(int64_t n) {
    if (n < 0) n = 0;
    if (n > kVQStringMaxBytes) return -1;
    int r = static_cast<int>((n + 17) & ~int64_t(15));
    if (r > 1008) return r;
    int capacity = 16;
    while (capacity < r) capacity <<= 1;
    return capacity;
}

char* VQStringBuffer::AllocateBlock(int bytes, VQAllocator* allocator) {
    if (allocator) return static_cast<char*>(allocator->Allocate(bytes));
    return new char[bytes];
}

void VQStringBuffer::FreeBlock(char* block, VQAllocator* allocator) {
    if (!block) return;
    if (allocator) {
        allocator->Free(block);
    } else {
        delete[] block;
    }
}

VQStringBuffer* VQStringBuffer::Create(int64_t bytes, VQAllocator* allocator, int capacity) {
    if (bytes < 0) bytes = 0;
    if (bytes > kVQStringMaxBytes) return nullptr;
    if (capacity < bytes) capacity = VQStringCapacityFor(bytes);
    VQStringBuffer* b = new VQStringBuffer;
    b->data = AllocateBlock(capacity, allocator);
    b->length = 0;
    b->capacity = capacity;
    b->refCount = 1;
    b->unterminated = 0;
    b->allocator = allocator;
    b->SetLengthAndTerminate(0);
    return b;
}

VQStringBuffer* VQStringBuffer::Adopt(char* block, int length, int capacity, VQAllocator* allocator) {
    VQStringBuffer* b = new VQStringBuffer;
    b->data = block;
    b->length = length < 0 ? 0 : static_cast<uint32_t>(length);
    b->capacity = capacity == 0 ? length : capacity;
    b->refCount = 1;
    b->allocator = allocator;
    b->unterminated = 1;
    if (block && b->capacity >= 0 && static_cast<int64_t>(b->length) + 1 < b->capacity) {
        block[b->length] = 0;
        block[b->length + 1] = 0;
        b->unterminated = 0;
    }
    return b;
}

void VQStringBuffer::SetLengthAndTerminate(uint32_t n) {
    length = n;
    if (data && capacity >= 0 && static_cast<int64_t>(n) + 1 < capacity) {
        data[n] = 0;
        data[n + 1] = 0;
        unterminated = 0;
    } else {
        unterminated = 1;
    }
}

VQStringBuffer* VQStringBuffer::Copy(const char* bytes, int64_t n, VQAllocator* allocator) {
    if (n < 0) n = 0;
    VQStringBuffer* b = Create(n, allocator);
    if (!b) return nullptr;
    if (n > 0 && bytes) memcpy(b->data, bytes, static_cast<size_t>(n));
    b->SetLengthAndTerminate(static_cast<uint32_t>(n));
    return b;
}

bool VQStringBuffer::MakeWritable(VQStringBuffer*& b, const char* text, int size, int64_t wantedLength,
                                  int capacity) {
    if (wantedLength < 0) wantedLength = 0;
    if (wantedLength > kVQStringMaxBytes) return false;
    int n = static_cast<int>(wantedLength);
    int wanted = capacity >= n && capacity > 0 ? capacity : VQStringCapacityFor(n);
    if (Writable(b)) {
        if (text != b->data && size > 0) memmove(b->data, text, size);
        if (int64_t(n) + 2 > b->capacity) {
            char* block = AllocateBlock(wanted, b->allocator);
            int keep = b->capacity < wanted ? b->capacity : wanted;
            memcpy(block, b->data, keep);
            FreeBlock(b->data, b->allocator);
            b->data = block;
            b->capacity = wanted;
        }
    } else {
        VQStringBuffer* fresh = Create(n, b ? b->allocator : nullptr, wanted);
        int keep = size < n ? size : n;
        if (keep > 0) memcpy(fresh->data, text, keep);
        if (b) b->Release();
        b = fresh;
    }
    b->SetLengthAndTerminate(n);
    return true;
}

bool VQStringBuffer::IsTerminatedAfter(const char* text, int size) const {
    if (!data || capacity < 0) return false;
    int64_t end = (text - data) + static_cast<int64_t>(size);
    return end < capacity && text[size] == 0;
}

void VQStringBuffer::Release() {
    if (--refCount > 0) return;
    if (capacity >= 0) FreeBlock(data, allocator);
    data = nullptr;
    length = 0;
    capacity = 0;
    refCount = 0;
    allocator = nullptr;
    delete this;
}

// ---------------------------------------------------------------------------
// VQString

VQString::VQString(const char* bytes) : text(nullptr), size(0), buffer(nullptr) { Assign(bytes); }

VQString::VQString(char fill, int count) : text(nullptr), size(0), buffer(nullptr) {
    if (count <= 0) return;
    buffer = VQStringBuffer::Create(count);
    if (!buffer) return;
    memset(buffer->data, static_cast<unsigned char>(fill), count);
    buffer->SetLengthAndTerminate(count);
    text = buffer->data;
    size = count;
}

VQString::VQString(const VQString& other) : text(other.text), size(other.size), buffer(other.buffer) {
    if (buffer) buffer->AddRef();
}

VQString::VQString(VQString&& other) noexcept : text(other.text), size(other.size), buffer(other.buffer) {
    other.text = nullptr;
    other.size = 0;
    other.buffer = nullptr;
}

VQString::~VQString() { ReleaseBuffer(); }

void VQString::ReleaseBuffer() {
    if (buffer) buffer->Release();
    buffer = nullptr;
    text = nullptr;
    size = 0;
}

VQString& VQString::operator=(const VQString& other) {
    if (this == &other) return *this;
    if (other.buffer) other.buffer->AddRef();
    ReleaseBuffer();
    text = other.text;
    size = other.size;
    buffer = other.buffer;
    return *this;
}

VQString& VQString::operator=(VQString&& other) noexcept {
    if (this == &other) return *this;
    ReleaseBuffer();
    text = other.text;
    size = other.size;
    buffer = other.buffer;
    other.text = nullptr;
    other.size = 0;
    other.buffer = nullptr;
    return *this;
}

void VQString::Assign(const char* bytes) {
    VQStringBuffer* b = bytes ? VQStringBuffer::Copy(bytes, static_cast<int64_t>(strlen(bytes)), nullptr) : nullptr;
    if (bytes && !b) return;
    ReleaseBuffer();
    buffer = b;
    text = b ? b->data : nullptr;
    size = b ? static_cast<int>(b->length) : 0;
}

void VQString::AssignSub(const VQString& src, int start, int count) {
    if (src.size == 0 || !src.buffer) {
        ReleaseBuffer();
        return;
    }
    if (start < 0) start = 0;
    if (start > src.size) start = src.size;
    if (count < 0 || count > src.size - start) count = src.size - start;
    VQStringBuffer* b = src.buffer;
    char* t = src.text + start;
    b->AddRef();
    ReleaseBuffer();
    buffer = b;
    text = t;
    size = count;
}

void VQString::Attach(char* bytes, int length, int capacity) {
    ReleaseBuffer();
    buffer = VQStringBuffer::Adopt(bytes, length, capacity);
    text = buffer->data;
    size = length;
}

bool VQString::SetLength(int n, int capacity, bool shrinkInPlace) {
    if (n < 0) n = 0;
    if (shrinkInPlace && buffer && !buffer->IsPrivate() && n < static_cast<int>(buffer->length)) {
        if (n < size) size = n;
        return true;
    }
    if (!VQStringBuffer::MakeWritable(buffer, text, size, n, capacity)) return false;
    text = buffer->data;
    size = n;
    return true;
}

VQString& VQString::CStr() {
    if (!buffer) {
        buffer = VQStringBuffer::Create(0);
        text = buffer->data;
        size = 0;
        return *this;
    }
    if (buffer->IsTerminatedAfter(text, size)) return *this;
    VQStringBuffer* b = VQStringBuffer::Copy(text, size, buffer->allocator);
    int n = size;
    ReleaseBuffer();
    buffer = b;
    text = b->data;
    size = n;
    return *this;
}

const char* VQString::Text() {
    CStr();
    return text;
}

bool VQString::Equals(const char* bytes) const {
    size_t n = bytes ? strlen(bytes) : 0;
    return n == static_cast<size_t>(size) && (n == 0 || memcmp(text, bytes, n) == 0);
}

VQString VQString::Append(const void* bytes, int count) {
    if (count <= 0) return *this;
    int old = size;
    if (int64_t(old) + count > kVQStringMaxBytes) return *this;
    // Bytes inside this buffer must outlive a growth or a move of the view:
    // only then is the buffer held (and so copied).
    const char* from = static_cast<const char*>(bytes);
    VQString hold;
    if (from && buffer && buffer->data && from >= buffer->data && from < buffer->data + buffer->length) hold = *this;
    if (!SetLength(old + count, 0, false)) return *this;
    if (bytes) memmove(text + old, bytes, count);
    return *this;
}

VQString operator+(const VQString& a, const VQString& b) {
    VQString result;
    int64_t total = int64_t(a.size) + b.size;
    if (total > kVQStringMaxBytes) return result;
    int n = static_cast<int>(total);
    result.buffer = VQStringBuffer::Create(n);
    if (a.size > 0) memcpy(result.buffer->data, a.text, a.size);
    if (b.size > 0) memcpy(result.buffer->data + a.size, b.text, b.size);
    result.buffer->SetLengthAndTerminate(n);
    result.text = result.buffer->data;
    result.size = n;
    return result;
}

VQString VQString::Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    VQString result = FormatV(fmt, args);
    va_end(args);
    return result;
}

VQString VQString::FormatV(const char* fmt, va_list args) {
    if (!fmt) {
        ReleaseBuffer();
        return *this;
    }
    va_list copy;
    va_copy(copy, args);
    int needed = vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (needed < 0 || needed > kVQStringMaxBytes) {
        ReleaseBuffer();
        return *this;
    }
    int capacity = VQStringCapacityFor(needed);
    char* block = new char[capacity];
    va_copy(copy, args);
    int written = vsnprintf(block, capacity, fmt, copy);
    va_end(copy);
    if (written < 0) {
        delete[] block;
        ReleaseBuffer();
        return *this;
    }
    Attach(block, needed, capacity);
    return *this;
}

VQString VQString::FromInt(int value) { return VQString().Format("%d", value); }
VQString VQString::FromInt64(int64_t value) { return VQString().Format("%lld", static_cast<long long>(value)); }
VQString VQString::FromUInt64(uint64_t value) {
    return VQString().Format("%llu", static_cast<unsigned long long>(value));
}

VQString VQString::DropFirst() const {
    VQString result;
    if (size <= 1) return result;
    result.AssignSub(*this, 1, -1);
    return result;
}

VQString VQString::DeepCopy() const {
    VQString result;
    if (!buffer) return result;
    result.buffer = VQStringBuffer::Copy(text, size, buffer->allocator);
    result.text = result.buffer->data;
    result.size = size;
    return result;
}
