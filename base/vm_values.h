// Reference-counted polymorphic values. VMString is a byte string (ANSI code
// page, Shift-JIS aware) over the same shared VQStringBuffer as VQString,
// with views, copy on write and the allocator hook. The file classes hand
// their contents out as new VMString objects.
//
// A value is made with refCount 1; whoever holds it last calls Release().
// Operations that return a VMString* return a new value with refCount 1.
// Reference counts are plain integers: one thread at a time.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "base/arrays.h"
#include "base/strings.h"

constexpr uint32_t kVMStringTypeTag = 0xCA007951u;

class VMBase {
public:
    virtual ~VMBase() = default;
    virtual uint32_t GetTypeTag() const { return 0; }
    virtual bool IsType(uint32_t tag) const {
        (void)tag;
        return false;
    }
    virtual bool Assign(const VMBase* other) {
        (void)other;
        return false;
    }
    virtual int ReservedQuery1() const { return 0; }
    virtual int ReservedQuery2() const { return 0; }
    virtual double ToNumber() const { return 0.0; }
    virtual int Compare(const VMBase* other) const { return other ? 0 : -1; }
    virtual bool IsSame(const VMBase* p) const { return this == p; }
    virtual bool ReservedTest1() const { return false; }
    virtual bool ReservedTest2() const { return false; }
};

class VMValue : public VMBase {
public:
    VMValue() : refCount(1) {}
    VMValue(const VMValue&) = delete;
    VMValue& operator=(const VMValue&) = delete;

    virtual void Destroy() {
        Clear();
        delete this;
    }
    virtual int ReservedQuery3() const { return 0; }
    virtual bool ReservedTest3() const { return false; }
    virtual bool ReservedIsSame(const VMBase* p) const { return this == p; }
    virtual void AddRef() { ++refCount; }
    virtual void Release() {
        if (--refCount <= 0) Destroy();
    }
    virtual void ReleaseIfZero() {
        if (refCount <= 0) Destroy();
    }
    // Assigns, then ends the caller's reference to `other`.
    virtual bool Take(VMValue* other);
    virtual void Clear() {}

    int GetRefCount() const { return refCount; }

protected:
    int32_t refCount;
};

class VMString;

// What Split appends to: each element holds one reference.
class VMStringArray {
public:
    VMStringArray() = default;
    VMStringArray(const VMStringArray&) = delete;
    VMStringArray& operator=(const VMStringArray&) = delete;
    ~VMStringArray() { RemoveAll(); }

    int GetCount() const { return items.GetCount(); }
    VMString* GetAt(int index) const { return items.GetAt(index); }
    // Takes over the caller's reference.
    void Add(VMString* s) { items.Add(s); }
    void RemoveAll();

private:
    VQArray<VMString*, VMString*> items;
};

class VMString : public VMValue {
public:
    VMString();
    explicit VMString(const char* text, VQAllocator* allocator = nullptr);
    // Values end through Release() or Destroy(); a string still holding a
    // buffer here (one on the stack, say) lets go of it as well.
    ~VMString() override;

    uint32_t GetTypeTag() const override { return kVMStringTypeTag; }
    bool IsType(uint32_t tag) const override { return tag == kVMStringTypeTag; }
    // Shares the other string's whole view; false when it is no string.
    bool Assign(const VMBase* other) override;
    int Compare(const VMBase* other) const override;
    void Clear() override;

    virtual VMString* Clone() const;
    virtual void AttachBuffer(VQStringBuffer* b);
    virtual void Assign(const char* text, VQAllocator* allocator = nullptr);
    virtual void AssignSub(const VMString* src, int start, int count);
    // A negative capacity borrows `src`: never copied, grown or freed.
    virtual void AssignBytes(const void* src, int length, int capacity = 0, VQAllocator* allocator = nullptr);
    // Takes over `block` (from `allocator`, or new[]); capacity 0 means offset + length.
    virtual void Attach(void* block, int offset, int length, int capacity = 0, VQAllocator* allocator = nullptr);
    // The get-writable-buffer operation; write into GetData() afterwards.
    virtual void SetLength(int n, int capacity = 0, bool shrinkInPlace = false);
    virtual void Reset(int n, int capacity = 0, VQAllocator* allocator = nullptr);
    virtual void MakeUnique();
    virtual bool IsUnique() const;
    virtual bool UsesAllocator(const VQAllocator* a) const;
    virtual VQAllocator* GetAllocator() const;
    virtual void SetAllocator(VQAllocator* a);
    virtual int GetBlockSize() const;
    virtual bool IsNull() const;
    virtual void MakeEmpty();  // the same as Clear()
    virtual VMString* CStr();
    virtual const char* GetText();
    virtual char GetAt(int index) const;
    virtual void SetAt(int index, char c);
    // Returns the bytes copied; never ends on the first byte of a double-byte character.
    virtual int CopyTo(char* dst, int dstSize) const;
    // False, and the string empty, when the format is malformed.
    virtual bool FormatV(const char* format, va_list args);
    virtual bool Format(const char* format, ...);

    virtual void AppendBytes(const void* bytes, int offset, int count);
    virtual void AppendFill(char c, int n);
    virtual void AppendInt32(int32_t value);
    virtual void Append(const char* text);
    virtual void Append(const VMString* s);
    virtual void Append(const VMString* s, int start, int count);
    virtual void AppendIndented(int tabs, const char* bytes, int count);
    virtual void AppendIndented(int tabs, const char* text);
    virtual void AppendIndented(int tabs, const VMString* s);
    virtual void AssignWithByte(const char* bytes, int count, char c);
    virtual void AssignWithByte(const char* text, char c);
    virtual void AssignWithByte(const VMString* s, char c);
    // Byte forms take a count; the others are NUL-terminated text or a
    // VMString. A null side assigns the other.
    virtual void AssignConcat(const char* a, int aCount, const char* b, int bCount);
    virtual void AssignConcat(const char* a, int aCount, const char* b);
    virtual void AssignConcat(const char* a, int aCount, const VMString* b);
    virtual void AssignConcat(const char* a, const char* b, int bCount);
    virtual void AssignConcat(const char* a, const char* b);
    virtual void AssignConcat(const char* a, const VMString* b);
    virtual void AssignConcat(const VMString* a, const char* b, int bCount);
    virtual void AssignConcat(const VMString* a, const char* b);
    virtual void AssignConcat(const VMString* a, const VMString* b);
    // A gap past the end is filled with zero bytes.
    virtual void InsertFill(int at, char c, int n);
    virtual void Insert(int at, const VMString* s);
    virtual void Delete(int at, int count);
    // These return the number of characters replaced.
    virtual int ReplaceChars(const char* set, char c);
    virtual int ReplaceCharsWith(const char* set, const VMString* s);
    virtual void Unescape();
    virtual void UnescapeQuotes();
    virtual void ToLower();
    virtual void ToUpper();

    // Copies. Trim(set) strips `set` (null: space and TAB), Trim() space, LF,
    // CR and TAB; a trim that strips nothing shares the whole text.
    virtual VMString* Mid(int start, int count) const;
    virtual VMString* Left(int count) const;
    virtual VMString* Mid(int start) const;
    virtual VMString* Trim(const char* set, int* removedFront) const;
    virtual VMString* Trim() const;
    // Views sharing this buffer.
    virtual VMString* MidView(int start, int count) const;
    virtual VMString* LeftView(int count) const;
    virtual VMString* MidView(int start) const;
    virtual VMString* TrimView(const char* set, int* removedFront) const;
    virtual VMString* TrimView() const;
    // This string itself; an out-of-range Mid clears it.
    virtual void MidInPlace(int start, int count);
    virtual void LeftInPlace(int count);
    virtual void MidInPlace(int start);
    virtual void TrimInPlace(const char* set, int* removedFront);
    virtual void TrimInPlace();
    // Appends separators + 1 shared views to `out`; returns that count.
    virtual int Split(char separator, VMStringArray& out) const;

    // Searches step over double-byte characters whole; -1 when nothing matches.
    // `end` -1 means the last byte.
    virtual int Find(char c, int start = 0) const;
    virtual int FindOneOf(const char* set, int start = 0) const;
    virtual int ReverseFind(char c, int end = -1) const;
    virtual int ReverseFindOneOf(const char* set, int end = -1) const;
    virtual int FindNot(char c, int start = 0) const;
    virtual int FindNotOneOf(const char* set, int start = 0) const;

    // Raw bytes: the shorter is smaller, equal lengths compare their bytes.
    virtual int Compare(const char* bytes, int count) const;
    virtual int Compare(const char* text) const;
    virtual int Compare(const VMString* s) const;
    virtual int CompareNoCase(const char* bytes, int count) const;
    virtual int CompareNoCase(const char* text) const;
    virtual int CompareNoCase(const VMString* s) const;
    // Dictionary order without regard to ASCII case.
    virtual int CompareNoCaseLex(const char* bytes, int count) const;
    virtual int CompareNoCaseLex(const char* text) const;
    virtual int CompareNoCaseLex(const VMString* s) const;
    // The first n bytes from `start` against the first n of `text`, like strncmp.
    virtual int CompareN(const char* text, int n, int start = 0) const;
    virtual int CompareNNoCase(const char* text, int n, int start = 0) const;
    virtual int ShiftJisByteKind(int index) const;
    virtual bool IsCharAt(int index, char c) const;
    virtual bool StartsWith(const char* bytes, int count) const;
    virtual bool StartsWith(const char* text) const;
    virtual bool StartsWithNoCase(const char* bytes, int count) const;
    virtual bool StartsWithNoCase(const char* text) const;
    virtual bool EndsWith(const char* bytes, int count) const;
    virtual bool EndsWith(const char* text) const;
    virtual bool EndsWithNoCase(const char* bytes, int count) const;
    virtual bool EndsWithNoCase(const char* text) const;
    // '?' matches any byte; returns the match's position, or the one after it.
    virtual int FindWildcard(const char* pattern, int patternLength, bool returnEnd = false, int start = 0) const;
    virtual int FindWildcard(const char* pattern, bool returnEnd = false, int start = 0) const;
    virtual int FindWildcard(const VMString* pattern, bool returnEnd = false, int start = 0) const;
    virtual int FindWildcardNoCase(const char* pattern, int patternLength, bool returnEnd = false,
                                   int start = 0) const;
    virtual int FindWildcardNoCase(const char* pattern, bool returnEnd = false, int start = 0) const;
    virtual int FindWildcardNoCase(const VMString* pattern, bool returnEnd = false, int start = 0) const;

    // `status` gets a VQParseStatus; any failure returns `defaultValue`.
    virtual int8_t ToInt8(int8_t defaultValue = 0, int* status = nullptr, bool allowFraction = false) const;
    virtual uint8_t ToUInt8(uint8_t defaultValue = 0, int* status = nullptr, bool allowFraction = false) const;
    virtual int16_t ToInt16(int16_t defaultValue = 0, int* status = nullptr, bool allowFraction = false) const;
    virtual uint16_t ToUInt16(uint16_t defaultValue = 0, int* status = nullptr, bool allowFraction = false) const;
    virtual int32_t ToInt32(int32_t defaultValue = 0, int* status = nullptr, bool allowFraction = false) const;
    virtual uint32_t ToUInt32(uint32_t defaultValue = 0, int* status = nullptr, bool allowFraction = false) const;
    virtual int64_t ToInt64(int64_t defaultValue = 0, int* status = nullptr, bool allowFraction = false) const;
    virtual uint64_t ToUInt64(uint64_t defaultValue = 0, int* status = nullptr, bool allowFraction = false) const;
    virtual float ToFloat(float defaultValue = 0, int* status = nullptr) const;
    virtual double ToDouble(double defaultValue = 0, int* status = nullptr) const;
    // The name between the last separator ('\', or '/' with `slash`) and the
    // last dot after it, as a view; empty when the text has neither.
    virtual VMString* GetNamePart(bool slash) const;
    // A view of the text after the last '.', or empty.
    virtual VMString* GetExtension() const;
    // CRC-32 with the ASCII capitals of single-byte characters folded.
    virtual uint32_t GetHash() const;
    virtual int32_t ParseIntAfter(const char* prefix) const;

    int GetLength() const { return length; }
    // The view; not terminated (GetText() is).
    char* GetData() const { return text; }
    VQStringBuffer* GetBuffer() const { return buffer; }
    int GetOffset() const { return offset; }

private:
    // Takes over one reference to `b` for the view [viewOffset, +viewLength).
    void SetView(VQStringBuffer* b, int viewOffset, int viewLength);
    void ShareView(const VMString* src, int start, int count);
    void ReleaseView();
    VMString* NewCopy(int start, int count) const;
    VMString* NewView(int start, int count) const;
    // Bytes in the character at `index`: 2 for a lead byte that is not last.
    int CharSize(int index) const;
    bool IsInBlock(const void* p) const;
    // Replaces `removeCount` bytes at `at` by `insertCount` bytes from `src`,
    // or copies of `fill` when `src` is null; a gap past the end is zeroed.
    void Splice(int at, int removeCount, const char* src, int insertCount, char fill);
    // The concatenation of two sides, each bytes or a VMString; a missing
    // side (null, or a null VMString) assigns the other.
    void AssignSides(const char* a, int aCount, const VMString* aString, const char* b, int bCount,
                     const VMString* bString);
    bool MidRange(int start, int count, int* first, int* end) const;
    void TrimRange(const char* set, int* first, int* end) const;
    VMString* MidPart(int start, int count, bool view) const;
    VMString* TrimPart(const char* set, int* removedFront, bool view) const;
    void ChangeCase(bool upper);
    int Scan(int from, int to, const char* set, char c, bool negate, bool last) const;
    int FindPattern(const char* pattern, int patternLength, bool returnEnd, int start, bool noCase) const;
    // `pairs` holds the byte after the backslash and its replacement, in turn.
    void UnescapeWith(const char* pairs, int pairCount);

    char* text;              // base + offset
    char* base;              // buffer->data when last assigned; null without a buffer
    int length;              // bytes in the view
    int offset;              // start of the view in the buffer
    VQStringBuffer* buffer;  // shared, counted; null for the null string
};
