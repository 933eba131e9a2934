#include "base/vm_values.h"

#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------------------
// VMValue, VMStringArray

bool VMValue::Take(VMValue* other) {
    bool assigned = Assign(other);
    if (other) other->Release();
    return assigned;
}

void VMStringArray::RemoveAll() {
    for (int i = 0; i < items.GetCount(); ++i) {
        if (items[i]) items[i]->Release();
    }
    items.RemoveAll();
}

// ---------------------------------------------------------------------------
// VMString: buffer and view handling

VMString::VMString() : text(nullptr), base(nullptr), length(0), offset(0), buffer(nullptr) {}

VMString::VMString(const char* bytes, VQAllocator* allocator) : VMString() { Assign(bytes, allocator); }

VMString::~VMString() { ReleaseView(); }

void VMString::SetView(VQStringBuffer* b, int viewOffset, int viewLength) {
    VQStringBuffer* old = buffer;
    buffer = b;
    base = b ? b->data : nullptr;
    // A buffer without memory (borrowing null) holds no view.
    offset = base ? viewOffset : 0;
    length = base ? viewLength : 0;
    text = base ? base + offset : nullptr;
    // Last, so that `b` may be the buffer this string held.
    if (old) old->Release();
}

void VMString::ShareView(const VMString* src, int start, int count) {
    VQStringBuffer* b = src ? src->buffer : nullptr;
    if (b) b->AddRef();
    SetView(b, b ? src->offset + start : 0, count);
}

void VMString::ReleaseView() { SetView(nullptr, 0, 0); }

VMString* VMString::NewCopy(int start, int count) const {
    VMString* s = new VMString;
    s->SetView(VQStringBuffer::Copy(text + start, count, GetAllocator()), 0, count);
    return s;
}

VMString* VMString::NewView(int start, int count) const {
    VMString* s = new VMString;
    s->ShareView(this, start, count);
    return s;
}

int VMString::CharSize(int index) const {
    return IsShiftJisLeadByte(static_cast<unsigned char>(text[index])) && index + 1 < length ? 2 : 1;
}

bool VMString::IsInBlock(const void* p) const {
    if (!p || !buffer || !buffer->data) return false;
    int64_t extent = buffer->capacity < 0 ? -static_cast<int64_t>(buffer->capacity) : buffer->capacity;
    if (extent < buffer->length) extent = buffer->length;
    const char* c = static_cast<const char*>(p);
    return c >= buffer->data && c < buffer->data + extent;
}

void VMString::Splice(int at, int removeCount, const char* src, int insertCount, char fill) {
    int head = at < length ? at : length;
    int gap = at - head;
    int tailStart = head + removeCount;
    int tail = length > tailStart ? length - tailStart : 0;
    int newLength = head + gap + insertCount + tail;
    if (!IsInBlock(src) && VQStringBuffer::FitsInPlace(buffer, int64_t(newLength) + 2)) {
        char* d = buffer->data;
        if (text != d && length > 0) memmove(d, text, length);
        if (tail > 0) memmove(d + head + gap + insertCount, d + tailStart, tail);
        memset(d + head, 0, gap);
        if (src) {
            memcpy(d + head + gap, src, insertCount);
        } else {
            memset(d + head + gap, static_cast<unsigned char>(fill), insertCount);
        }
        buffer->SetLengthAndTerminate(newLength);
        base = text = d;
        offset = 0;
        length = newLength;
        return;
    }
    // Build beside the old block: `src` may live in it.
    VQStringBuffer* b = VQStringBuffer::Create(newLength, GetAllocator());
    char* d = b->data;
    if (head > 0) memcpy(d, text, head);
    memset(d + head, 0, gap);
    if (src) {
        memcpy(d + head + gap, src, insertCount);
    } else {
        memset(d + head + gap, static_cast<unsigned char>(fill), insertCount);
    }
    if (tail > 0) memcpy(d + head + gap + insertCount, text + tailStart, tail);
    b->SetLengthAndTerminate(newLength);
    SetView(b, 0, newLength);
}

bool VMString::Assign(const VMBase* other) {
    if (other == this) return true;
    if (!other) {
        Clear();
        return true;
    }
    if (!other->IsType(kVMStringTypeTag)) return false;
    const VMString* s = static_cast<const VMString*>(other);
    ShareView(s, 0, s->length);
    return true;
}

void VMString::Clear() { ReleaseView(); }

VMString* VMString::Clone() const { return NewView(0, length); }

void VMString::AttachBuffer(VQStringBuffer* b) {
    if (b) b->AddRef();
    SetView(b, 0, b ? static_cast<int>(b->length) : 0);
}

void VMString::Assign(const char* bytes, VQAllocator* allocator) {
    if (bytes) {
        int n = static_cast<int>(strlen(bytes));
        SetView(VQStringBuffer::Copy(bytes, n, allocator), 0, n);
    } else if (allocator) {
        SetView(VQStringBuffer::Create(0, allocator), 0, 0);
    } else {
        Clear();
    }
}

void VMString::AssignSub(const VMString* src, int start, int count) {
    if (!src || !src->buffer || src->length == 0) {
        Clear();
        return;
    }
    if (start < 0) start = 0;
    if (start > src->length) start = src->length;
    if (count < 0 || count > src->length - start) count = src->length - start;
    ShareView(src, start, count);
}

void VMString::AssignBytes(const void* src, int n, int capacity, VQAllocator* allocator) {
    if (n < 0) n = 0;
    char* bytes = static_cast<char*>(const_cast<void*>(src));
    if (capacity < 0) {
        SetView(VQStringBuffer::Adopt(bytes, n, capacity, allocator), 0, n);
        return;
    }
    VQStringBuffer* b = VQStringBuffer::Create(n, allocator, capacity);
    if (bytes && n > 0) memcpy(b->data, bytes, n);
    b->SetLengthAndTerminate(n);
    SetView(b, 0, n);
}

void VMString::Attach(void* block, int viewOffset, int viewLength, int capacity, VQAllocator* allocator) {
    if (viewOffset < 0) viewOffset = 0;
    if (viewLength < 0) viewLength = 0;
    int total = viewOffset + viewLength;
    VQStringBuffer* b = VQStringBuffer::Adopt(static_cast<char*>(block), total, capacity == 0 ? total : capacity,
                                              allocator);
    SetView(b, viewOffset, viewLength);
}

void VMString::SetLength(int n, int capacity, bool shrinkInPlace) {
    if (n < 0) n = 0;
    if (shrinkInPlace && buffer && !buffer->IsPrivate() && n < static_cast<int>(buffer->length)) {
        if (n < length) length = n;
        return;
    }
    if (!VQStringBuffer::MakeWritable(buffer, text, length, n, capacity)) return;
    base = text = buffer->data;
    offset = 0;
    length = n;
}

void VMString::Reset(int n, int capacity, VQAllocator* allocator) {
    if (n < 0) n = 0;
    bool reuse = VQStringBuffer::FitsInPlace(buffer, int64_t(n) + 2) && buffer->allocator == allocator;
    if (!reuse) SetView(VQStringBuffer::Create(n, allocator, capacity), 0, 0);
    memset(buffer->data, 0, n);
    buffer->SetLengthAndTerminate(n);
    base = text = buffer->data;
    offset = 0;
    length = n;
}

void VMString::MakeUnique() {
    if (!buffer) {
        SetView(VQStringBuffer::Create(0, nullptr), 0, 0);
        return;
    }
    if (VQStringBuffer::Writable(buffer)) return;
    SetView(VQStringBuffer::Copy(text, length, buffer->allocator), 0, length);
}

bool VMString::IsUnique() const { return VQStringBuffer::Writable(buffer); }

bool VMString::UsesAllocator(const VQAllocator* a) const {
    return buffer && buffer->allocator && (!a || a == buffer->allocator);
}

VQAllocator* VMString::GetAllocator() const { return buffer ? buffer->allocator : nullptr; }

void VMString::SetAllocator(VQAllocator* a) {
    if (!buffer) {
        SetView(VQStringBuffer::Create(0, a), 0, 0);
        return;
    }
    if (buffer->allocator == a) return;
    SetView(VQStringBuffer::Copy(text, length, a), 0, length);
}

int VMString::GetBlockSize() const {
    if (!buffer || !buffer->allocator || !buffer->data) return 0;
    return buffer->allocator->GetBlockSize(buffer->data);
}

bool VMString::IsNull() const { return !buffer || !buffer->data; }

void VMString::MakeEmpty() { Clear(); }

VMString* VMString::CStr() {
    if (!buffer) {
        SetView(VQStringBuffer::Create(0, nullptr), 0, 0);
    } else if (!buffer->IsTerminatedAfter(text, length)) {
        SetView(VQStringBuffer::Copy(text, length, buffer->allocator), 0, length);
    }
    return this;
}

const char* VMString::GetText() { return CStr()->text; }

char VMString::GetAt(int index) const { return index >= 0 && index < length ? text[index] : 0; }

void VMString::SetAt(int index, char c) {
    if (index < 0) return;
    if (index >= length) {
        Splice(length, 0, nullptr, index + 1 - length, 0);
    } else {
        MakeUnique();
    }
    text[index] = c;
}

int VMString::CopyTo(char* dst, int dstSize) const {
    if (!dst || dstSize <= 0) return 0;
    int n = length < dstSize - 1 ? length : dstSize - 1;
    if (n < length && n > 0 && ShiftJisByteKind(n - 1) == 1) --n;
    if (n > 0) memcpy(dst, text, n);
    dst[n] = 0;
    return n;
}
