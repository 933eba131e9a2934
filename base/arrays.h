// Growable arrays. The growth and search logic lives once in VQArrayBase;
// element handling goes through its virtual element operations.
//
// Elements are constructed as T() (null or zero for pointers and records),
// copied with T's assignment (strings share their buffer) and destroyed with
// ~T (a string releases its reference; a pointer's object is never deleted).
#pragma once

#include <cstring>
#include <new>
#include <type_traits>

#include "base/strings.h"

struct VQArrayHeader {
    void* items;   // element block, or null
    int count;     // elements in use
    int capacity;  // elements allocated
    int growBy;    // 0: automatic (count / 8, at least 4)
};

// Element equality for the default Find: strings compare exactly, anything
// else by value.
template <class T>
inline bool VQArrayElementsEqual(const T& a, const T& b) { return a == b; }
template <>
inline bool VQArrayElementsEqual<VQWString>(const VQWString& a, const VQWString& b) {
    return VQWString::Compare(a.GetData(), a.GetLength(), b.GetData(), b.GetLength()) == 0;
}

template <class T, class ARG>
class VQArrayBase {
public:
    // Receives the element before it is destroyed: a shared copy for strings,
    // the value for pointers, the address (a reference) for by-reference types.
    typedef void (*DestroyCallback)(ARG element);
    // >= 1 match, 0 go on, < 0 stop the search with -1.
    typedef int (*FindCallback)(ARG key, ARG element, void* userData);

    VQArrayBase() : header(nullptr) {}
    VQArrayBase(const VQArrayBase&) = delete;
    VQArrayBase& operator=(const VQArrayBase&) = delete;

    virtual ~VQArrayBase() { CleanUp(); }

    virtual void ConstructElements(T* at, int n) {
        for (int i = 0; i < n; ++i) new (at + i) T();
    }
    virtual void DestroyElements(T* at, int n, DestroyCallback callback) {
        for (int i = 0; i < n; ++i) {
            if (callback) callback(at[i]);
            at[i].~T();
        }
    }
    virtual void CopyElements(T* dst, const T* src, int n) {
        for (int i = 0; i < n; ++i) dst[i] = src[i];
    }
    virtual void CopyElementsReversed(T* dst, const T* src, int n) {
        for (int i = 0; i < n; ++i) dst[i] = src[n - 1 - i];
    }
    virtual void MoveElements(T* dst, const T* src, int n) {
        if (src < dst) {
            for (int i = n - 1; i >= 0; --i) dst[i] = src[i];
        } else {
            for (int i = 0; i < n; ++i) dst[i] = src[i];
        }
    }
    virtual void* AllocateBlock(int bytes) { return new char[bytes]; }
    virtual void FreeBlock(void* block) { delete[] static_cast<char*>(block); }
    virtual void RemoveAll() { CleanUp(); }
    virtual bool AttachHeader() { return false; }

    int GetCount() const { return header ? header->count : 0; }
    int GetCapacity() const { return header ? header->capacity : 0; }
    T* GetData() const { return header ? static_cast<T*>(header->items) : nullptr; }
    T& operator[](int index) const { return GetData()[index]; }
    T& GetAt(int index) const { return GetData()[index]; }

    bool SetSize(int n, DestroyCallback callback = nullptr) {
        if (!header && !AttachHeader()) return false;
        int m = n < 0 ? -n : n;
        T* items = static_cast<T*>(header->items);
        if (m == 0) {
            if (items) DestroyElements(items, header->count, callback);
            header->count = 0;
            return true;
        }
        if (!items) {
            if (static_cast<long long>(m) * static_cast<long long>(sizeof(T)) > 0x7FFFFFFF) return false;
            items = static_cast<T*>(AllocateBlock(m * static_cast<int>(sizeof(T))));
            ConstructElements(items, m);
            header->items = items;
            header->count = header->capacity = m;
        } else if (header->capacity < m) {
            // An eighth more each time, without an upper bound: a fixed
            // largest step made filling a list of a million entries quadratic.
            long long step = header->growBy;
            if (step == 0) {
                step = header->count / 8;
                if (step < 4) step = 4;
            }
            long long capacity = header->capacity + step;
            if (capacity < m) capacity = m;
            const long long largest = 0x7FFFFFFF / static_cast<long long>(sizeof(T));
            if (capacity > largest) capacity = largest;
            if (capacity < m) return false;
            T* block = static_cast<T*>(AllocateBlock(static_cast<int>(capacity * static_cast<long long>(sizeof(T)))));
            ConstructElements(block, m);
            CopyElements(block, items, header->count);
            DestroyElements(items, header->count, callback);
            FreeBlock(items);
            header->items = items = block;
            header->count = m;
            header->capacity = static_cast<int>(capacity);
        } else {
            if (m > header->count) {
                ConstructElements(items + header->count, m - header->count);
            } else if (m < header->count) {
                DestroyElements(items + m, header->count - m, callback);
            }
            header->count = m;
        }
        if (n < 0) {
            DestroyElements(items, header->count, callback);
            header->count = 0;
        }
        return true;
    }

    bool Add(ARG element, DestroyCallback callback = nullptr) {
        // The element may live in this array: copy it before the block moves.
        T copy = element;
        if (!SetSize(GetCount() + 1, callback)) return false;
        GetData()[header->count - 1] = copy;
        return true;
    }

    int AddIndex(ARG element) { return Add(element) ? header->count - 1 : -1; }

    int Find(ARG key, FindCallback callback = nullptr, void* userData = nullptr) const {
        if (!header) return -1;
        T* items = static_cast<T*>(header->items);
        for (int i = 0; i < header->count; ++i) {
            if (callback) {
                int r = callback(key, items[i], userData);
                if (r >= 1) return i;
                if (r < 0) return -1;
            } else if (VQArrayElementsEqual<T>(key, items[i])) {
                return i;
            }
        }
        return -1;
    }

    int AddUnique(ARG key, FindCallback callback = nullptr, void* userData = nullptr) {
        int index = Find(key, callback, userData);
        return index >= 0 ? index : AddIndex(key);
    }

    void RemoveAt(int index) {
        if (!header || header->count == 0) return;
        if (index < 0) index = header->count - 1;
        if (index >= header->count) return;
        T* items = static_cast<T*>(header->items);
        DestroyElements(items + index, 1, nullptr);
        int last = header->count - 1;
        if (index != last) {
            ConstructElements(items + index, 1);
            MoveElements(items + index, items + index + 1, last - index);
            DestroyElements(items + last, 1, nullptr);
        }
        header->count = last;
    }

protected:
    void CleanUp() {
        if (!header) return;
        if (header->items) {
            T* items = static_cast<T*>(header->items);
            for (int i = 0; i < header->count; ++i) items[i].~T();
            FreeBlock(header->items);
        }
        header->items = nullptr;
        header->count = header->capacity = 0;
        header = nullptr;
    }

    VQArrayHeader* header;  // null while the array holds no storage
};

template <class T, class ARG>
class VQArray : public VQArrayBase<T, ARG> {
public:
    VQArray() : embedded{nullptr, 0, 0, 0} {}
    VQArray(const VQArray& other) : embedded{nullptr, 0, 0, 0} { CopyFrom(other); }
    VQArray& operator=(const VQArray& other) {
        if (this != &other) {
            // The source may be shared through its elements only; copy first.
            VQArray copy;
            copy.CopyFrom(other);
            RemoveAll();
            CopyFrom(copy);
        }
        return *this;
    }
    ~VQArray() override { RemoveAll(); }

    void RemoveAll() override {
        if (!this->header) return;
        T* items = static_cast<T*>(this->header->items);
        if (items) {
            this->DestroyElements(items, this->header->count, nullptr);
            this->FreeBlock(items);
        }
        this->header->items = nullptr;
        this->header->count = this->header->capacity = 0;
        this->header = nullptr;
    }
    bool AttachHeader() override {
        this->header = &embedded;
        return true;
    }

private:
    void CopyFrom(const VQArray& other) {
        int n = other.GetCount();
        if (n == 0) return;
        this->SetSize(n);
        this->CopyElements(this->GetData(), other.GetData(), n);
    }

    VQArrayHeader embedded;
};

typedef VQArray<VQWString, VQWString> VQWStringArray;
