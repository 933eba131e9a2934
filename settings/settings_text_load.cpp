// Reading the settings text form into the store.
#include <cstring>
#include <cwchar>
#include <memory>
#include <unordered_map>

#include "base/files.h"
#include "base/strings.h"
#include "settings/settings_text.h"

namespace {

bool IsLineEnd(wchar_t c) { return c == L'\n' || c == L'\r' || c == L'\f'; }
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\v' || IsLineEnd(c); }
// Trimmed around keys and before values: line ends are not among them.
bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\v'; }

wchar_t FoldCase(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; }

// First section whose name begins with a given text, by hashes of every
// prefix of every section name: headers look up sections without scanning
// the whole table, so a file of many sections still loads in linear time.
class SectionPrefixIndex {
public:
    void Add(const wchar_t* name, int length, int index) {
        uint64_t hash = kSeed;
        firstWithPrefix.emplace(hash, index);
        for (int i = 0; i < length; ++i) {
            hash = Step(hash, name[i]);
            firstWithPrefix.emplace(hash, index);
        }
    }
    // A candidate, or -1; equal hashes do not prove a match.
    int Candidate(const wchar_t* name, int length) const {
        uint64_t hash = kSeed;
        for (int i = 0; i < length; ++i) hash = Step(hash, name[i]);
        auto found = firstWithPrefix.find(hash);
        return found == firstWithPrefix.end() ? -1 : found->second;
    }

private:
    static const uint64_t kSeed = 14695981039346656037ull;
    static uint64_t Step(uint64_t hash, wchar_t c) {
        hash ^= FoldCase(c);
        return hash * 1099511628211ull;
    }

    std::unordered_map<uint64_t, int> firstWithPrefix;
};

}  // namespace

// Parses the file through a window: every line is read from a window of 2048
// code units that starts at the line, so a line that does not end within it
// is cut there. The buffer holds more than one window so that it is topped up
// only now and then, not after every line.
class VQSettingsReader {
public:
    VQSettingsReader(VQSettingsText& store, VQFile* file, int64_t bytesToRead)
        : store(store), file(file), bytesLeft(bytesToRead), buffer(new wchar_t[kBufferUnits]) {}

    bool Run();

private:
    enum { kWindowUnits = 2048, kBufferUnits = 16 * kWindowUnits, kMaxLength = 1024 };

    bool TopUp();
    int Available() const { return filledBytes / 2 - start; }
    void Consume(int units) { start += units; }
    int LineEndLength(const wchar_t* line, int at) const;

    bool ParseHeader(const wchar_t* line, int window);
    void ParseKeyLine(const wchar_t* line, int window, bool atEnd);
    void ParseBlockLine(const wchar_t* line, int window, bool atEnd);
    bool StoreKey(const wchar_t* name, int nameLength, const wchar_t* value, int valueLength);

    VQSettingsText& store;
    VQFile* file;  // borrowed: Load deletes it
    int64_t bytesLeft;
    std::unique_ptr<wchar_t[]> buffer;
    int filledBytes = 0;
    int start = 0;  // unit where the next line begins
    int current = 0;
    bool blockMode = false;
    int emptyLines = 0;
    bool inComment = false;
    bool failed = false;
    SectionPrefixIndex prefixes;
};

bool VQSettingsReader::TopUp() {
    if (Available() > kWindowUnits || bytesLeft == 0) return true;
    char* bytes = reinterpret_cast<char*>(buffer.get());
    int keep = filledBytes - start * 2;
    std::memmove(bytes, bytes + start * 2, keep);
    filledBytes = keep;
    start = 0;
    const int capacity = kBufferUnits * 2;
    while (bytesLeft > 0 && filledBytes < capacity) {
        int want = capacity - filledBytes;
        if (bytesLeft < want) want = static_cast<int>(bytesLeft);
        int got = file->Read(bytes, filledBytes, want);
        if (got <= 0) return false;
        if (got > want) got = want;
        filledBytes += got;
        bytesLeft -= got;
    }
    return true;
}

int VQSettingsReader::LineEndLength(const wchar_t* line, int at) const {
    // The buffer keeps one unit beyond the window, so a CR LF split by the
    // window's end is still seen as one line end.
    if (line[at] == L'\r' && at + 1 < Available() && line[at + 1] == L'\n') return 2;
    return 1;
}

bool VQSettingsReader::StoreKey(const wchar_t* name, int nameLength, const wchar_t* value, int valueLength) {
    if (store.AppendKey(current, name, nameLength, value, valueLength) >= 0) return true;
    failed = true;
    return false;
}

bool VQSettingsReader::ParseHeader(const wchar_t* line, int window) {
    bool block = window > 1 && line[1] == L'[';
    int nameStart = block ? 2 : 1;
    int close = nameStart;
    while (close < window && line[close] != L']') ++close;
    if (close >= window) return false;
    if (block && (close + 1 >= window || line[close + 1] != L']')) return false;
    int length = close - nameStart;
    if (length == 0 || length >= kMaxLength) return false;
    const wchar_t* name = line + nameStart;
    // A NUL inside the name ends it as the store will see it.
    int visible = static_cast<int>(wcsnlen(name, length));
    int index = prefixes.Candidate(name, visible);
    if (index >= 0) {
        const VQSettingsSection* section = store.GetSection(index);
        if (!section || wcsnlen(section->name, 1028) < static_cast<size_t>(visible) ||
            VQWString::CompareNoCase(section->name, visible, name, visible, visible) != 0) {
            index = store.FindSectionIndex(name, visible);
        }
    }
    if (index < 0) {
        index = store.AppendSection(name, length);
        if (index < 0) return false;
        prefixes.Add(name, visible, index);
    }
    current = index;
    Consume(close + (block ? 2 : 1));
    if (block) {
        blockMode = true;
        emptyLines = 0;
    }
    return true;
}

void VQSettingsReader::ParseKeyLine(const wchar_t* line, int window, bool atEnd) {
    int end = 0;
    while (end < window && line[end] != L'=' && !IsLineEnd(line[end])) ++end;
    if (end == window) {
        // Cut by the window (too long to keep), or the last line without "="
        // and without a line end: neither is stored.
        Consume(window);
        return;
    }
    int keyLength = end;
    while (keyLength > 0 && IsSpace(line[keyLength - 1])) --keyLength;
    bool keyOk = end > 0 && end < kMaxLength;
    if (IsLineEnd(line[end])) {
        if (keyOk) StoreKey(line, keyLength, L"", 0);
        Consume(end + 1);
        return;
    }
    int valueStart = end + 1;
    while (valueStart < window && IsSpace(line[valueStart])) ++valueStart;
    int valueEnd = valueStart;
    while (valueEnd < window && !IsLineEnd(line[valueEnd])) ++valueEnd;
    bool cut = valueEnd == window && !atEnd;
    int valueLength = valueEnd - valueStart;
    // Values as long as SetValue accepts read back: a saved 1024-unit
    // command must not come back empty.
    if (keyOk && !cut && valueLength <= kMaxLength) StoreKey(line, keyLength, line + valueStart, valueLength);
    Consume(valueEnd < window ? valueEnd + 1 : window);
}

void VQSettingsReader::ParseBlockLine(const wchar_t* line, int window, bool atEnd) {
    int end = 0;
    while (end < window && !IsLineEnd(line[end])) ++end;
    if (end == 0) {
        Consume(LineEndLength(line, 0));
        if (++emptyLines == 2) blockMode = false;
        return;
    }
    bool cut = end == window && !atEnd;
    if (!cut && end < kMaxLength) StoreKey(L"_CharBlock_", 11, line, end);
    Consume(end < window ? end + LineEndLength(line, end) : window);
}

bool VQSettingsReader::Run() {
    current = 0;
    prefixes.Add(L"", 0, 0);
    while (!failed) {
        if (!TopUp()) return false;
        int available = Available();
        if (available == 0) return true;
        const wchar_t* line = buffer.get() + start;
        if (inComment) {
            int end = 0;
            while (end < available && !IsLineEnd(line[end])) ++end;
            if (end < available) {
                inComment = false;
                ++end;
            }
            Consume(end);
            continue;
        }
        int window = available < kWindowUnits ? available : kWindowUnits;
        bool atEnd = bytesLeft == 0 && available <= kWindowUnits;
        if (blockMode) {
            ParseBlockLine(line, window, atEnd);
            continue;
        }
        int blanks = 0;
        while (blanks < available && IsBlank(line[blanks])) ++blanks;
        if (blanks > 0) {
            // A line's window starts at its first non-blank unit.
            Consume(blanks);
            continue;
        }
        if (line[0] == L'/' && window > 1 && line[1] == L'/') {
            inComment = true;
            Consume(2);
        } else if (line[0] == L'[') {
            if (!ParseHeader(line, window)) return false;
        } else {
            ParseKeyLine(line, window, atEnd);
        }
    }
    return false;
}

bool VQSettingsText::Load(VQFile* file) {
    bool ok = false;
    if (file) {
        unsigned char mark[2] = {0, 0};
        if (file->Read(mark, 0, 2) == 2 && mark[0] == 0xFF && mark[1] == 0xFE) {
            Reset();
            int64_t length = file->GetSize();
            if (ReserveForFile(length)) {
                VQSettingsReader reader(*this, file, length > 2 ? length - 2 : 0);
                ok = reader.Run();
            }
        }
        delete file;
    }
    if (!ok) Reset();
    return ok;
}
