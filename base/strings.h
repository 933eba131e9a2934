// Reference-counted strings: VQWString (UTF-16) and VQString (bytes in the
// ANSI code page), both over one shared VQStringBuffer with copy on write.
//
// Reference counts are plain integers, not atomics: a string and every copy
// that shares its buffer belong to one thread at a time. To hand a string to
// another thread, give it DeepCopy(), which shares nothing.
#pragma once

#include <cstdarg>
#include <cstdint>

template <class T, class ARG> class VQArray;

// Where a buffer's memory comes from. Nothing in the program installs one;
// the VM values accept it and pass it on to their buffers.
class VQAllocator {
public:
    virtual void* Allocate(int bytes) = 0;
    virtual void Free(void* block) = 0;
    virtual int GetBlockSize(void* block) = 0;

protected:
    ~VQAllocator() = default;
};

// The most bytes of text one buffer holds: with its two terminating zeros,
// rounded up to 16, the capacity still fits a 32-bit int. An operation whose
// result would be longer is refused and changes nothing: the string stays as
// it was, and still valid. Operations that return bool return false then;
// Append leaves the string as it was, Format and operator+ give an empty string.
constexpr int kVQStringMaxBytes = 0x7FFFFFFF - 17;
constexpr int kVQWStringMaxLength = kVQStringMaxBytes / 2;

// Bytes to allocate for n bytes of text, with room for two terminating zeros;
// -1 when n is past kVQStringMaxBytes.
int VQStringCapacityFor(int64_t n);

struct VQStringBuffer {
    char* data;        // owned unless capacity < 0 (borrowed memory)
    uint32_t length;   // bytes in use
    int32_t capacity;  // bytes allocated at data; negative: borrowed
    int32_t refCount;
    uint8_t unterminated;
    VQAllocator* allocator;  // null: global new[] / delete[]

    // A private buffer with room for `bytes` bytes by the capacity rule,
    // length 0 and terminated. `capacity` >= bytes overrides the rule. Null
    // when bytes is past kVQStringMaxBytes.
    static VQStringBuffer* Create(int64_t bytes, VQAllocator* allocator = nullptr, int capacity = -1);
    // Takes over a block from the allocator (or new[]); capacity 0 means length.
    static VQStringBuffer* Adopt(char* block, int length, int capacity, VQAllocator* allocator = nullptr);

    void AddRef() { ++refCount; }
    void Release();
    bool IsBorrowed() const { return capacity < 0; }
    bool IsPrivate() const { return refCount < 2 && capacity >= 0; }
    // The two rules of copy on write: a buffer may be written only when it is
    // private and allocated; it may be written in place only when, besides,
    // `capacityNeeded` bytes fit in it.
    static bool Writable(const VQStringBuffer* b) { return b && b->data && b->IsPrivate(); }
    static bool FitsInPlace(const VQStringBuffer* b, int64_t capacityNeeded) {
        return Writable(b) && capacityNeeded <= b->capacity;
    }
    // Sets length and writes the two zero bytes when they fit.
    void SetLengthAndTerminate(uint32_t n);

    static char* AllocateBlock(int bytes, VQAllocator* allocator);
    static void FreeBlock(char* block, VQAllocator* allocator);

    // The steps that the narrow string views (VQString, VMString) share.
    // A new private, terminated buffer holding n bytes copied from `bytes`;
    // null when n is past kVQStringMaxBytes.
    static VQStringBuffer* Copy(const char* bytes, int64_t n, VQAllocator* allocator);
    // Makes the view of `size` bytes at `text` inside `b` (which may be null)
    // writable for n bytes: a private, owned buffer moves the view to its start
    // and grows by the capacity rule (or to `capacity` when that is not below
    // n); any other is copied, keeping min(size, n) bytes. Ends with length n.
    // False, with nothing changed, when n is past kVQStringMaxBytes.
    static bool MakeWritable(VQStringBuffer*& b, const char* text, int size, int64_t n, int capacity);
    // A zero byte follows the view inside the block, so it can be read as C text.
    bool IsTerminatedAfter(const char* text, int size) const;
};

class VQString;

class VQWString {
public:
    VQWString() : data(nullptr), buffer(nullptr) {}
    VQWString(const wchar_t* text);
    VQWString(const VQWString& other);
    VQWString(VQWString&& other) noexcept;
    explicit VQWString(const VQString& narrow);
    ~VQWString();

    VQWString& operator=(const VQWString& other);
    VQWString& operator=(VQWString&& other) noexcept;
    VQWString& operator=(const wchar_t* text);

    int GetLength(bool inBytes = false) const;
    bool IsEmpty() const { return GetLength() == 0; }
    // No buffer at all (as opposed to a buffer holding no text).
    bool IsNull() const { return buffer == nullptr; }
    // The text, or L"" for an empty string; never null.
    const wchar_t* Text() const { return data ? data : L""; }
    wchar_t* GetData() const { return data; }
    wchar_t GetAt(int index) const;
    bool Equals(const wchar_t* text) const;
    bool operator==(const VQWString& other) const;
    bool operator!=(const VQWString& other) const { return !(*this == other); }

    // The get-writable-buffer operation: private buffer of n units (or bytes),
    // contents kept up to min(old, new), terminated; write into GetData().
    // False when refused (see kVQStringMaxBytes): then nothing is writable.
    bool SetLength(int n, bool inBytes = false);
    void MakeUnique();
    // A copy that shares nothing, for handing to another thread.
    VQWString DeepCopy() const;
    void Attach(char* bytes, int byteLength, int capacity);

    VQWString Append(const wchar_t* src, int count);
    VQWString Append(wchar_t ch);
    VQWString Append(const VQWString& other);

    static int Compare(const wchar_t* a, int aLen, const wchar_t* b, int bLen);
    static int CompareNoCase(const wchar_t* a, int aLen, const wchar_t* b, int bLen, int n);
    int Compare(const VQWString& other) const;

    VQWString Mid(int start, int count) const;
    VQWString Mid(int start) const;
    VQWString Left(int count) const;
    VQWString Trim() const;
    int FindOneOf(const wchar_t* set, int start) const;

    // False when the result would pass kVQWStringMaxLength (nothing inserted).
    bool Insert(int index, const VQWString& s);
    bool InsertSpaces(int index, int count);
    void Delete(int index, int count);
    // False when the result would pass kVQWStringMaxLength (nothing replaced).
    bool ReplaceLineBreaks(const VQWString& with);
    // The element count; -1, with out untouched, when the pieces cannot be held.
    int Split(VQArray<VQWString, VQWString>& out) const;

    VQWString Format(const wchar_t* fmt, ...);
    VQWString FormatV(const wchar_t* fmt, va_list args);

    // Copies at most 519 units into a 520-unit buffer, always terminated.
    void CopyTo(wchar_t* dst) const;

    // The system ANSI code page (which may itself be UTF-8).
    static VQWString FromAnsi(const char* text, int byteCount);
    // Any code page; no conversion flags, since UTF-8 and some others refuse them.
    static VQWString FromCodePage(unsigned codePage, const char* text, int byteCount);

private:
    void ReleaseBuffer();
    void AssignBuffer(VQStringBuffer* b);
    // Room for newUnits in a buffer this string alone owns, keeping keepUnits;
    // false, with nothing changed, when newUnits is past kVQWStringMaxLength.
    bool Reserve(int64_t newUnits, int keepUnits);
    bool InsertRaw(int index, const wchar_t* src, int count, wchar_t fill);

    wchar_t* data;           // always buffer->data, or null
    VQStringBuffer* buffer;  // shared, counted
};

// A view of bytes inside a shared buffer; substrings cost no allocation.
class VQString {
public:
    VQString() : text(nullptr), size(0), buffer(nullptr) {}
    VQString(const char* bytes);
    VQString(char fill, int count);
    VQString(const VQString& other);
    VQString(VQString&& other) noexcept;
    virtual ~VQString();

    VQString& operator=(const VQString& other);
    VQString& operator=(VQString&& other) noexcept;
    VQString& operator=(const char* bytes) { Assign(bytes); return *this; }

    void Assign(const char* bytes);
    void AssignSub(const VQString& src, int start, int count);
    void Attach(char* bytes, int length, int capacity);
    // Get-writable-buffer operation; write into GetData() afterwards.
    // False when refused (see kVQStringMaxBytes): then nothing is writable.
    bool SetLength(int n, int capacity = 0, bool shrinkInPlace = false);
    VQString& CStr();
    VQString Append(const void* bytes, int count);
    VQString Format(const char* fmt, ...);
    VQString FormatV(const char* fmt, va_list args);
    static VQString FromInt(int value);
    static VQString FromInt64(int64_t value);
    static VQString FromUInt64(uint64_t value);
    VQString DropFirst() const;
    VQString DeepCopy() const;

    int GetLength() const { return size; }
    bool IsEmpty() const { return size == 0; }
    char* GetData() const { return text; }
    // Terminated text (copies when the view is not followed by a zero byte).
    const char* Text();
    bool Equals(const char* bytes) const;
    VQStringBuffer* GetBuffer() const { return buffer; }

    friend VQString operator+(const VQString& a, const VQString& b);

private:
    void ReleaseBuffer();

    char* text;
    int size;
    VQStringBuffer* buffer;
};

// Number parsers over byte text: (text, offset, count, status); count < 0
// means up to the NUL. Status: 0 ok, 1 null or empty, 2 too many digits,
// 3 not a decimal digit, 4 out of range. Every failure returns 0.
enum VQParseStatus { VQParseOk = 0, VQParseEmpty = 1, VQParseTooLong = 2, VQParseBadDigit = 3, VQParseRange = 4 };
int32_t ParseInt32(const char* text, int offset, int count, int* status);
uint32_t ParseUInt32(const char* text, int offset, int count, int* status);
int64_t ParseInt64(const char* text, int offset, int count, int* status);
uint64_t ParseUInt64(const char* text, int offset, int count, int* status);
double ParseDouble(const char* text, int offset, int count, int* status);

inline bool IsShiftJisLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
// 1: first byte of a double-byte character, -1: its second byte, 0: single.
int ShiftJisByteKind(const char* text, int offset, int index);
