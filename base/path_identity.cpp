#include "base/path_identity.h"

#include <windows.h>

#include <cwchar>

#include "base/files.h"

namespace {

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

}  // namespace

bool IsPlainFullPath(const wchar_t* text, int length) {
    if (length < 3 || !IsDriveLetter(text[0]) || text[1] != L':' || text[2] != L'\\') return false;
    int start = 3;
    for (int i = 3; i <= length; ++i) {
        wchar_t c = i < length ? text[i] : L'\\';
        if (c == L'/') return false;
        if (c != L'\\') continue;
        int n = i - start;
        if (n == 0) {
            if (i < length) return false;  // "\\" inside the path
        } else {
            wchar_t last = text[i - 1];
            if (last == L'.' || last == L' ') return false;
        }
        start = i + 1;
    }
    return true;
}

namespace {

// Upper-cases `length` units into `to`; false when the system's mapping
// would change the length (then `to` holds nothing usable).
bool UpperInto(const wchar_t* from, int length, wchar_t* to) {
    // Most paths are ASCII: those need no call into the system.
    bool ascii = true;
    for (int i = 0; i < length && ascii; ++i) {
        wchar_t c = from[i];
        ascii = c < 0x80;
        to[i] = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c;
    }
    if (ascii) return true;
    return LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, from, length, to, length, nullptr, nullptr, 0) ==
           length;
}

VQWString UpperInvariant(const VQWString& text) {
    int length = text.GetLength();
    if (length == 0) return VQWString();
    VQWString upper;
    upper.SetLength(length);
    if (!UpperInto(text.Text(), length, upper.GetData())) return text.DeepCopy();
    return upper;
}

uint64_t HashOf(const VQWString& text) {
    // FNV-1a over the units; 0 marks an empty slot, so it is never a hash.
    uint64_t hash = 1469598103934665603ULL;
    for (int i = 0; i < text.GetLength(); ++i) {
        hash ^= static_cast<uint16_t>(text.GetAt(i));
        hash *= 1099511628211ULL;
    }
    return hash ? hash : 1;
}

}  // namespace

VQWString FoldNameCase(const VQWString& text) { return UpperInvariant(text); }

void AppendFoldedName(const wchar_t* name, int length, std::wstring& to) {
    size_t at = to.size();
    to.resize(at + static_cast<size_t>(length));
    if (length > 0 && !UpperInto(name, length, &to[at])) to.replace(at, static_cast<size_t>(length), name, static_cast<size_t>(length));
}

bool ReadFileIdentity(const VQWString& path, FileIdentity& identity) {
    // Backup semantics open folders; asking for no data keeps a file that a
    // child holds open for writing openable.
    HANDLE file = CreateFileW(SystemForm(path).Text(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    bool ok = GetFileInformationByHandle(file, &information) != FALSE;
    CloseHandle(file);
    if (!ok) return false;
    identity.volume = information.dwVolumeSerialNumber;
    identity.index = (uint64_t(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    // Some network servers number no file: 0 for all would make every folder one.
    return identity.index != 0 && identity.index != ~uint64_t(0);
}

VQWString PathIdentity(const VQWString& path) {
    VQWString plain = path;
    // The \\?\ form is the same file without it; GetFullPathNameW leaves it alone.
    if (plain.GetLength() >= 8 && wcsncmp(plain.Text(), L"\\\\?\\UNC\\", 8) == 0) {
        plain = VQWString(L"\\\\").Append(plain.Mid(8));
    } else if (plain.GetLength() >= 4 && wcsncmp(plain.Text(), L"\\\\?\\", 4) == 0) {
        plain = plain.Mid(4);
    }
    VQWString full;
    if (!IsPlainFullPath(plain.Text(), plain.GetLength()) && GetFullPath(plain, full)) plain = full;
    return UpperInvariant(plain);
}

VQPathSet::VQPathSet(std::function<VQWString(int)> of) : pathOf(std::move(of)) {}

void VQPathSet::Reserve(int wanted) {
    size_t slots = 16;
    while (slots < static_cast<size_t>(wanted) * 2) slots *= 2;
    if (slots <= hashes.size()) return;
    std::vector<uint64_t> oldHashes;
    std::vector<int> oldIndices;
    oldHashes.swap(hashes);
    oldIndices.swap(indices);
    hashes.assign(slots, 0);
    indices.assign(slots, -1);
    size_t mask = slots - 1;
    for (size_t i = 0; i < oldHashes.size(); ++i) {
        if (!oldHashes[i]) continue;
        size_t at = static_cast<size_t>(oldHashes[i]) & mask;
        while (hashes[at]) at = (at + 1) & mask;
        hashes[at] = oldHashes[i];
        indices[at] = oldIndices[i];
    }
}

void VQPathSet::Grow() { Reserve(count * 2 + 16); }

// The slot of the entry with this identity, or (as -2 - slot) the empty slot
// where it would go.
int VQPathSet::FindSlot(const VQWString& identity, uint64_t hash) const {
    if (hashes.empty()) return -1;
    size_t mask = hashes.size() - 1;
    for (size_t at = static_cast<size_t>(hash) & mask;; at = (at + 1) & mask) {
        if (!hashes[at]) return -2 - static_cast<int>(at);
        // Equal hashes are confirmed on the paths themselves: the rule stays exact.
        if (hashes[at] == hash && PathIdentity(pathOf(indices[at])) == identity) return static_cast<int>(at);
    }
}

int VQPathSet::Find(const VQWString& path) const {
    VQWString identity = PathIdentity(path);
    int slot = FindSlot(identity, HashOf(identity));
    return slot >= 0 ? indices[static_cast<size_t>(slot)] : -1;
}

bool VQPathSet::Reassign(const VQWString& path, int index) {
    VQWString identity = PathIdentity(path);
    int slot = FindSlot(identity, HashOf(identity));
    if (slot < 0) return false;
    indices[static_cast<size_t>(slot)] = index;
    return true;
}

bool VQPathSet::Insert(const VQWString& path, int index) {
    if (static_cast<size_t>(count + 1) * 2 > hashes.size()) Grow();
    VQWString identity = PathIdentity(path);
    uint64_t hash = HashOf(identity);
    int slot = FindSlot(identity, hash);
    if (slot >= 0) return false;
    size_t at = static_cast<size_t>(-2 - slot);
    hashes[at] = hash;
    indices[at] = index;
    ++count;
    return true;
}

namespace {

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; }

bool IsDeviceBase(const wchar_t* name, int length) {
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        int n = static_cast<int>(wcslen(device));
        if (n != length) continue;
        int i = 0;
        while (i < n && AsciiUpper(name[i]) == device[i]) ++i;
        if (i == n) return true;
    }
    if (length != 4) return false;
    bool com = AsciiUpper(name[0]) == L'C' && AsciiUpper(name[1]) == L'O' && AsciiUpper(name[2]) == L'M';
    bool lpt = AsciiUpper(name[0]) == L'L' && AsciiUpper(name[1]) == L'P' && AsciiUpper(name[2]) == L'T';
    wchar_t digit = name[3];
    bool numbered = (digit >= L'0' && digit <= L'9') || digit == L'\x00B9' || digit == L'\x00B2' || digit == L'\x00B3';
    return (com || lpt) && numbered;
}

}  // namespace

bool IsUnopenableName(const wchar_t* name, int length) {
    if (!name || length <= 0) return false;
    // "." and ".." are the folder itself and its parent, not names.
    if (name[0] == L'.' && (length == 1 || (length == 2 && name[1] == L'.'))) return false;
    wchar_t last = name[length - 1];
    if (last == L'.' || last == L' ') return true;
    int base = 0;
    while (base < length && name[base] != L'.') ++base;
    while (base > 0 && name[base - 1] == L' ') --base;
    return IsDeviceBase(name, base);
}

bool HasUnopenableName(const VQWString& path) {
    const wchar_t* text = path.Text();
    int length = path.GetLength();
    int start = 0;
    if (length >= 4 && wcsncmp(text, L"\\\\?\\", 4) == 0) start = 4;
    if (length >= start + 2 && text[start + 1] == L':') {
        start += 2;
    } else if (start == 0 && length >= 2 && text[0] == L'\\' && text[1] == L'\\') {
        // \\server\share\ belongs to the network's naming.
        int slashes = 0;
        for (start = 2; start < length && slashes < 2; ++start) {
            if (text[start] == L'\\') ++slashes;
        }
    }
    int component = start;
    for (int i = start; i <= length; ++i) {
        if (i < length && text[i] != L'\\' && text[i] != L'/') continue;
        if (i > component && IsUnopenableName(text + component, i - component)) return true;
        component = i + 1;
    }
    return false;
}
