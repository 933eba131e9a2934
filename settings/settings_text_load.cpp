// Reading the settings text form into the store.
#include <cstring>
#include <cwchar>
#include <memory>
#include <unordered_map>

#include "base/files.h"
#include "base/strings.h"
#include "base/text_decode.h"
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

// Parses the text through a window: every line is read from a window of 2048
// code units that starts at the line. A line that does not end within it is
// left out whole, up to its line end.
class VQSettingsReader {
public:
    // The whole text, in memory.
    VQSettingsReader(VQSettingsText& store, const wchar_t* units, int count)
        : store(store), text(units), count(count) {}

    VQSettingsLoadStatus Run();

private:
    enum { kWindowUnits = 2048, kMaxLength = 1024 };

    int Available() const { return count - start; }
    void Consume(int units) { start += units; }
    int LineEndLength(const wchar_t* line, int at) const;

    bool ParseHeader(const wchar_t* line, int window);
    void ParseKeyLine(const wchar_t* line, int window, bool atEnd);
    void ParseBlockLine(const wchar_t* line, int window, bool atEnd);
    void SkipToLineEnd(const wchar_t* line, int available);
    bool StoreKey(const wchar_t* name, int nameLength, const wchar_t* value, int valueLength);
    // Counts a line left out by the limits, noting its key when it has one.
    void NoteDropped(const wchar_t* key, int keyLength);

    VQSettingsText& store;
    const wchar_t* text;  // borrowed: the caller's
    int count;
    int start = 0;  // unit where the next line begins
    int current = 0;
    bool blockMode = false;
    int emptyLines = 0;
    bool toLineEnd = false;  // inside a comment or a line left out
    VQSettingsLoadStatus status = kSettingsLoaded;
    SectionPrefixIndex prefixes;
};

int VQSettingsReader::LineEndLength(const wchar_t* line, int at) const {
    // Looks past the window: a CR LF split by the window's end is one line end.
    if (line[at] == L'\r' && at + 1 < Available() && line[at + 1] == L'\n') return 2;
    return 1;
}

bool VQSettingsReader::StoreKey(const wchar_t* name, int nameLength, const wchar_t* value, int valueLength) {
    if (store.keyCount >= store.maxLoadKeys) {
        status = kSettingsTooLarge;
        return false;
    }
    if (store.AppendKey(current, name, nameLength, value, valueLength) >= 0) return true;
    status = kSettingsOutOfMemory;
    return false;
}

void VQSettingsReader::NoteDropped(const wchar_t* key, int keyLength) {
    ++store.droppedLines;
    if (!key || keyLength <= 0 || keyLength >= kMaxLength) return;
    // A NUL inside the key ends it as the store would have seen it.
    int visible = static_cast<int>(wcsnlen(key, keyLength));
    store.droppedKeys.push_back({current, std::wstring(key, visible)});
}

void VQSettingsReader::SkipToLineEnd(const wchar_t* line, int available) {
    int end = 0;
    while (end < available && !IsLineEnd(line[end])) ++end;
    toLineEnd = false;
    Consume(end < available ? end + LineEndLength(line, end) : available);
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
        if (store.sectionCount >= store.maxLoadSections) {
            status = kSettingsTooLarge;
            return false;
        }
        index = store.AppendSection(name, length);
        if (index < 0) {
            status = kSettingsOutOfMemory;
            return false;
        }
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
        if (atEnd) {
            // The last line, without "=" and without a line end: not stored.
            Consume(window);
        } else {
            NoteDropped(nullptr, 0);
            toLineEnd = true;
        }
        return;
    }
    int keyLength = end;
    while (keyLength > 0 && IsSpace(line[keyLength - 1])) --keyLength;
    bool keyOk = end > 0 && end < kMaxLength;
    if (IsLineEnd(line[end])) {
        if (keyOk) {
            StoreKey(line, keyLength, L"", 0);
        } else if (end > 0) {
            NoteDropped(line, keyLength);
        }
        Consume(end + 1);
        return;
    }
    int valueStart = end + 1;
    while (valueStart < window && IsSpace(line[valueStart])) ++valueStart;
    int valueEnd = valueStart;
    while (valueEnd < window && !IsLineEnd(line[valueEnd])) ++valueEnd;
    if (valueEnd == window && !atEnd) {
        // The window cuts the value: the line is left out up to its end.
        NoteDropped(line, keyLength);
        toLineEnd = true;
        return;
    }
    int valueLength = valueEnd - valueStart;
    // Values as long as SetValue accepts read back: a saved 1024-unit
    // command must not come back empty.
    if (keyOk && valueLength <= kMaxLength) {
        StoreKey(line, keyLength, line + valueStart, valueLength);
    } else if (end > 0) {
        NoteDropped(line, keyLength);
    }
    Consume(valueEnd < window ? valueEnd + 1 : window);
}

void VQSettingsReader::ParseBlockLine(const wchar_t* line, int window, bool atEnd) {
    static const wchar_t kBlockKey[] = L"_CharBlock_";
    const int kBlockKeyLength = 11;
    int end = 0;
    while (end < window && !IsLineEnd(line[end])) ++end;
    if (end == 0) {
        Consume(LineEndLength(line, 0));
        if (++emptyLines == 2) blockMode = false;
        return;
    }
    if (end == window && !atEnd) {
        NoteDropped(kBlockKey, kBlockKeyLength);
        toLineEnd = true;
        return;
    }
    if (end < kMaxLength) {
        StoreKey(kBlockKey, kBlockKeyLength, line, end);
    } else {
        NoteDropped(kBlockKey, kBlockKeyLength);
    }
    Consume(end < window ? end + LineEndLength(line, end) : window);
}

VQSettingsLoadStatus VQSettingsReader::Run() {
    current = 0;
    prefixes.Add(L"", 0, 0);
    while (status == kSettingsLoaded) {
        int available = Available();
        if (available == 0) return status;
        const wchar_t* line = text + start;
        if (toLineEnd) {
            SkipToLineEnd(line, available);
            continue;
        }
        int window = available < kWindowUnits ? available : kWindowUnits;
        bool atEnd = available <= kWindowUnits;
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
            toLineEnd = true;
            Consume(2);
        } else if (line[0] == L'[') {
            if (!ParseHeader(line, window)) return status == kSettingsLoaded ? kSettingsNotText : status;
        } else {
            ParseKeyLine(line, window, atEnd);
        }
    }
    return status;
}

namespace {

// Upper bounds for the records a text makes, from its lines: a key needs a
// line with something on it, and (nearly always) a section needs a line that
// begins with "[" after its blanks.
void CountRecords(const wchar_t* text, int count, int64_t* lines, int64_t* headers) {
    *lines = 0;
    *headers = 0;
    bool lineStart = true;
    bool counted = false;
    for (int i = 0; i < count; ++i) {
        wchar_t c = text[i];
        if (IsLineEnd(c)) {
            lineStart = true;
            counted = false;
            continue;
        }
        if (IsSpace(c)) continue;
        if (!counted) {
            ++*lines;
            counted = true;
        }
        if (lineStart && c == L'[') ++*headers;
        lineStart = false;
    }
}

}  // namespace

VQSettingsLoadStatus VQSettingsText::LoadFrom(VQFile* file) {
    int64_t size = file->GetSize();
    if (size > kMaxFileBytes) return kSettingsTooLarge;
    if (!EnsureSectionTable()) return kSettingsOutOfMemory;
    // The whole file at once: at most kMaxFileBytes, and the records are
    // reserved from what it holds rather than from its length.
    int length = size > 0 ? static_cast<int>(size) : 0;
    std::unique_ptr<char[]> bytes(new char[length + 2]);
    int total = 0;
    while (total < length) {
        int piece = file->Read(bytes.get(), total, length - total);
        if (piece <= 0) return kSettingsReadError;
        total += piece;
    }
    const wchar_t* units;
    int count;
    VQWString decoded;
    if (total >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        units = reinterpret_cast<const wchar_t*>(bytes.get() + 2);
        count = (total - 2) / 2;
    } else {
        // Without that mark only UTF-8 is taken (plain ASCII is UTF-8 too),
        // which the whole text must show.
        int markBytes = 0;
        if (DetectTextEncoding(bytes.get(), total, kDetectUtf8Mark | kDetectUtf8Ascii, &markBytes) != kTextUtf8) {
            return kSettingsNotText;
        }
        decoded = VQWString::FromCodePage(CP_UTF8, bytes.get() + markBytes, total - markBytes);
        if (decoded.IsEmpty() && total > markBytes) return kSettingsNotText;
        bytes.reset();
        units = decoded.Text();
        count = decoded.GetLength();
    }
    int64_t lines, headers;
    CountRecords(units, count, &lines, &headers);
    if (lines > maxLoadKeys) lines = maxLoadKeys;
    if (headers > maxLoadSections) headers = maxLoadSections;
    if (!ReserveRecords(static_cast<int>(headers), static_cast<int>(lines))) return kSettingsOutOfMemory;
    VQSettingsReader reader(*this, units, count);
    return reader.Run();
}

bool VQSettingsText::Load(VQFile* file) {
    droppedLines = 0;
    droppedKeys.clear();
    Reset();
    loadStatus = kSettingsNoFile;
    if (file) {
        loadStatus = LoadFrom(file);
        delete file;
    }
    if (loadStatus != kSettingsLoaded) {
        Reset();
        droppedLines = 0;
        droppedKeys.clear();
    }
    return loadStatus == kSettingsLoaded;
}
