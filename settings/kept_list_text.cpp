// The kept list's text: the list file and the journals, written and read
// back, and the entries they fold into.
#include <windows.h>

#include <cwchar>
#include <string_view>
#include <unordered_map>

#include "settings/kept_list.h"
#include "settings/target_list_file.h"

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// After "|escaped": a unit that would end a field or a line, or be taken for
// the format's own, is written as "%" and two hex digits, and so is "%".
bool IsEscaped(wchar_t c) { return (c >= 1 && c < 32) || c == L'"' || c == L'%' || c == L'|'; }

// Whether a path read back as it is would not be itself.
bool NeedsEscapes(const wchar_t* path, int length) {
    if (length > 0 && path[0] == L'|') return true;
    for (int i = 0; i < length; ++i) {
        if ((path[i] >= 1 && path[i] < 32) || path[i] == L'"') return true;
    }
    return false;
}

bool NeedsEscapes(const VQWString& path) { return NeedsEscapes(path.Text(), path.GetLength()); }

void AppendEscaped(std::wstring& text, const wchar_t* path, int length) {
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    int from = 0;
    for (int i = 0; i < length; ++i) {
        if (!IsEscaped(path[i])) continue;
        text.append(path + from, static_cast<size_t>(i - from));
        text += L'%';
        text += kHex[(path[i] >> 4) & 15];
        text += kHex[path[i] & 15];
        from = i + 1;
    }
    text.append(path + from, static_cast<size_t>(length - from));
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

// The units escaped fields stand for; a "%" without two hex digits (or
// with 00) stands for itself. Text without one comes back as it is.
VQWString Unescape(const VQWString& field) {
    const wchar_t* units = field.Text();
    int length = field.GetLength();
    if (!wmemchr(units, L'%', static_cast<size_t>(length))) return field;
    VQWString out;
    int from = 0;
    for (int i = 0; i + 2 < length; ++i) {
        if (units[i] != L'%') continue;
        int high = HexDigit(units[i + 1]), low = HexDigit(units[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) continue;
        if (i > from) out.Append(units + from, i - from);
        out.Append(static_cast<wchar_t>(high * 16 + low));
        from = i + 3;
        i += 2;
    }
    if (length > from) out.Append(units + from, length - from);
    return out;
}

// Blanks at either end would be taken for the line's own and trimmed.
void AppendPathField(std::wstring& text, const wchar_t* path, int length, bool escaped) {
    // A tab is escaped then: only spaces are left to be trimmed.
    bool quote = length > 0 && (escaped ? path[0] == L' ' || path[length - 1] == L' '
                                        : IsBlank(path[0]) || IsBlank(path[length - 1]));
    if (quote) text += L'"';
    if (escaped) {
        AppendEscaped(text, path, length);
    } else {
        text.append(path, static_cast<size_t>(length));
    }
    if (quote) text += L'"';
}

void AppendPathField(std::wstring& text, const VQWString& path, bool escaped) {
    AppendPathField(text, path.Text(), path.GetLength(), escaped);
}

// One field of a line: from `start` to the next tab or the end, without a
// pair of double quotes around it, and after "|escaped" with its escapes
// read.
VQWString Field(const VQWString& line, int& start, bool escaped = false) {
    int length = line.GetLength();
    if (start > length) return VQWString();
    int end = start;
    while (end < length && line.GetAt(end) != L'\t') ++end;
    int from = start, to = end;
    start = end + 1;
    if (to - from >= 2 && line.GetAt(from) == L'"' && line.GetAt(to - 1) == L'"') {
        ++from;
        --to;
    }
    // A whole line comes back sharing its buffer, not as a copy.
    VQWString field = line.Mid(from, to - from);
    return escaped ? Unescape(field) : field;
}

bool StartsWith(const VQWString& text, const wchar_t* prefix, int prefixLength) {
    return text.GetLength() >= prefixLength && wmemcmp(text.Text(), prefix, static_cast<size_t>(prefixLength)) == 0;
}

// A directive line: its name and, after one space, its value.
bool IsDirective(const VQWString& line, const wchar_t* name, VQWString& value) {
    int n = static_cast<int>(wcslen(name));
    if (line.GetLength() < n + 1 || line.GetAt(0) != L'|' || wmemcmp(line.Text() + 1, name, n) != 0) return false;
    if (line.GetLength() == n + 1) {
        value = VQWString();
        return true;
    }
    if (line.GetAt(n + 1) != L' ') return false;
    value = line.Mid(n + 2);
    return true;
}

// The root counts for an entry found below it; anything else is an entry
// added as a single file.
VQWString RootFor(const VQWString& path, const VQWString& root) {
    if (root.IsEmpty() || path.GetLength() <= root.GetLength()) return VQWString();
    return StartsWith(path, root.Text(), root.GetLength()) ? root : VQWString();
}

bool HasMark(const VQWString& marks, const wchar_t* mark) {
    int n = static_cast<int>(wcslen(mark));
    int length = marks.GetLength();
    for (int start = 0; start < length;) {
        int end = start;
        while (end < length && marks.GetAt(end) != L' ' && marks.GetAt(end) != L',') ++end;
        if (end - start == n && wmemcmp(marks.Text() + start, mark, static_cast<size_t>(n)) == 0) return true;
        start = end + 1;
    }
    return false;
}

// The lines of a kept file, by the list file's rules for damaged lines; the
// last line is left out unless it ends in a line feed (the writer ends every
// line, so one without is cut short). False without the byte-order mark.
bool SplitKeptLines(const char* bytes, int count, VQArray<VQWString, VQWString>& lines, KeptListReport& report,
                    bool countCut) {
    if (count < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF || static_cast<unsigned char>(bytes[1]) != 0xFE) {
        return false;
    }
    const wchar_t* units = reinterpret_cast<const wchar_t*>(bytes + 2);
    int unitCount = (count - 2) / 2;
    int whole = unitCount;
    while (whole > 0 && units[whole - 1] != L'\n') --whole;
    if ((whole < unitCount || (count - 2) % 2 != 0) && countCut) ++report.cutLines;
    VQTargetList damage;
    SplitListText(bytes, 2 + whole * 2, lines, damage);
    report.nulLines += damage.nulLines;
    report.longLines += damage.longLines;
    return true;
}

}  // namespace

KeptEntries::KeptEntries() : paths([this](int index) { return entries[static_cast<size_t>(index)].path; }) {}

void KeptEntries::Reserve(int n) {
    entries.reserve(static_cast<size_t>(n));
    removed.reserve(static_cast<size_t>(n));
    paths.Reserve(n);
}

int KeptEntries::Find(const VQWString& path) const {
    int index = paths.Find(path);
    return index >= 0 && !removed[static_cast<size_t>(index)] ? index : -1;
}

bool KeptEntries::Add(const KeptEntry& entry) {
    int index = static_cast<int>(entries.size());
    if (!paths.Insert(entry.path, index)) {
        // A file the list dropped may come back, at its end.
        int found = paths.Find(entry.path);
        if (found < 0) return false;
        KeptEntry& there = entries[static_cast<size_t>(found)];
        if (!removed[static_cast<size_t>(found)]) {
            there.running = there.running || entry.running;
            there.failed = there.failed || entry.failed;
            return false;
        }
        entries.push_back(entry);
        removed.push_back(false);
        paths.Reassign(entry.path, index);
        ++count;
        return true;
    }
    entries.push_back(entry);
    removed.push_back(false);
    ++count;
    return true;
}

void KeptEntries::Remove(int index) {
    if (index < 0 || static_cast<size_t>(index) >= entries.size() || removed[static_cast<size_t>(index)]) return;
    removed[static_cast<size_t>(index)] = true;
    --count;
}

std::vector<KeptEntry> KeptEntries::Take() {
    std::vector<KeptEntry> left;
    if (count == static_cast<int>(entries.size())) {
        left.swap(entries);
    } else {
        left.reserve(static_cast<size_t>(count));
        for (size_t i = 0; i < entries.size(); ++i) {
            if (!removed[i]) left.push_back(std::move(entries[i]));
        }
    }
    entries.clear();
    removed.clear();
    paths = VQPathSet([this](int index) { return entries[static_cast<size_t>(index)].path; });
    count = 0;
    return left;
}

KeptListText::KeptListText(unsigned journalNumber) : journal(journalNumber) {
    text = L"\xFEFF|journal ";
    text += std::to_wstring(journal);
    text += L"\r\n";
}

void KeptListText::Reserve(size_t pathUnits, int entries) {
    // A line end each, and a quote pair or a mark now and then.
    text.reserve(text.size() + pathUnits + static_cast<size_t>(entries) * 4);
}

void KeptListText::Add(const VQWString& path, const VQWString& entryRoot, bool running, bool failed) {
    Add(path.Text(), path.GetLength(), entryRoot.Text(), entryRoot.GetLength(), running, failed);
}

void KeptListText::Add(const wchar_t* path, int pathLength, const wchar_t* entryRoot, int rootLength, bool running,
                       bool failed) {
    if (pathLength <= 0) return;
    // Lists without such names stay as earlier versions wrote them.
    if (!escaped && (NeedsEscapes(path, pathLength) || NeedsEscapes(entryRoot, rootLength))) {
        text += L"|escaped\r\n";
        escaped = true;
    }
    if (root.size() != static_cast<size_t>(rootLength) || root.compare(0, root.size(), entryRoot, root.size()) != 0) {
        text += L"|root";
        if (rootLength > 0) {
            text += L' ';
            if (escaped) {
                AppendEscaped(text, entryRoot, rootLength);
            } else {
                text.append(entryRoot, static_cast<size_t>(rootLength));
            }
        }
        text += L"\r\n";
        root.assign(entryRoot, static_cast<size_t>(rootLength));
    }
    AppendPathField(text, path, pathLength, escaped);
    if (running || failed) text += L'\t';
    if (running) text += L"running";
    if (running && failed) text += L' ';
    if (failed) text += L"failed";
    text += L"\r\n";
    ++count;
}

void ApplyKeptOutcome(KeptOutcome outcome, bool& running, bool& failed) {
    switch (outcome) {
    case KeptOutcome::Done:
        running = false;
        failed = false;
        break;
    case KeptOutcome::Failed:
        // Its end was seen; what it left is still not known to be whole.
        running = false;
        failed = true;
        break;
    case KeptOutcome::Stopped:
        running = true;
        break;
    }
}

std::wstring KeptJournalLine(const wchar_t* kind, const VQWString& path, const VQWString& root, bool& escaped) {
    std::wstring line;
    if (!escaped && (NeedsEscapes(path) || NeedsEscapes(root))) {
        line = L"|escaped\r\n";
        escaped = true;
    }
    line += kind;
    line += L'\t';
    AppendPathField(line, path, escaped);
    if (!root.IsEmpty()) {
        line += L'\t';
        AppendPathField(line, root, escaped);
    }
    line += L"\r\n";
    return line;
}

bool ReadKeptListText(const char* bytes, int count, KeptEntries& entries, unsigned& journal,
                      KeptListReport& report) {
    journal = 0;
    VQArray<VQWString, VQWString> lines;
    if (!SplitKeptLines(bytes, count, lines, report, true)) return false;
    entries.Reserve(entries.GetCount() + lines.GetCount());
    VQWString root, value;
    bool escaped = false;
    // Entries of one root share its text, even where roots take turns.
    std::unordered_map<std::wstring_view, VQWString> roots;
    for (int i = 0; i < lines.GetCount(); ++i) {
        const VQWString& line = lines[i];
        if (line.GetAt(0) == L'|') {
            if (StartsWith(line, L"|root ", 6)) {
                std::wstring_view text(line.Text() + 6, static_cast<size_t>(line.GetLength() - 6));
                VQWString read;
                if (escaped && text.find(L'%') != std::wstring_view::npos) {
                    read = Unescape(line.Mid(6));
                    text = std::wstring_view(read.Text(), static_cast<size_t>(read.GetLength()));
                }
                auto found = roots.find(text);
                if (found == roots.end()) {
                    VQWString copy = read.IsEmpty() ? line.Mid(6) : read;
                    found = roots.emplace(std::wstring_view(copy.Text(), text.size()), copy).first;
                }
                root = found->second;
            } else if (line.Equals(L"|root")) {
                root = VQWString();
            } else if (line.Equals(L"|escaped")) {
                escaped = true;
            } else if (IsDirective(line, L"journal", value)) {
                journal = static_cast<unsigned>(wcstoul(value.Text(), nullptr, 10));
            }
            // Other directives are a later version's: passed over.
            continue;
        }
        int at = 0;
        KeptEntry entry;
        entry.path = Field(line, at, escaped);
        VQWString marks = Field(line, at);
        entry.running = HasMark(marks, L"running");
        entry.failed = HasMark(marks, L"failed");
        entry.root = RootFor(entry.path, root);
        if (!entry.path.IsEmpty()) entries.Add(entry);
    }
    return true;
}

bool ApplyKeptJournal(const char* bytes, int count, KeptEntries& entries, KeptListReport& report) {
    VQArray<VQWString, VQWString> lines;
    if (!SplitKeptLines(bytes, count, lines, report, false)) return false;
    bool removeDone = false;
    bool escaped = false;
    std::vector<int> done;
    VQWString value;
    for (int i = 0; i < lines.GetCount(); ++i) {
        const VQWString& line = lines[i];
        if (line.GetAt(0) == L'|') {
            if (IsDirective(line, L"remove-done", value)) removeDone = value.Equals(L"1");
            if (line.Equals(L"|escaped")) escaped = true;
            continue;
        }
        int at = 0;
        VQWString kind = Field(line, at);
        VQWString path = Field(line, at, escaped);
        if (path.IsEmpty()) continue;
        if (kind.Equals(L"add")) {
            KeptEntry entry;
            entry.path = path;
            entry.root = RootFor(path, Field(line, at, escaped));
            entries.Add(entry);
            continue;
        }
        int index = entries.Find(path);
        if (index < 0) continue;
        KeptEntry& entry = entries.At(index);
        if (kind.Equals(L"begun")) {
            entry.running = true;
        } else if (kind.Equals(L"stopped")) {
            ApplyKeptOutcome(KeptOutcome::Stopped, entry.running, entry.failed);
        } else if (kind.Equals(L"failed")) {
            ApplyKeptOutcome(KeptOutcome::Failed, entry.running, entry.failed);
        } else if (kind.Equals(L"done")) {
            ApplyKeptOutcome(KeptOutcome::Done, entry.running, entry.failed);
            done.push_back(index);
        }
    }
    // As at the end of a run: the box's last word decides for every done
    // entry, unless a later try of it marked it again.
    if (removeDone) {
        for (int index : done) {
            if (!entries.At(index).running && !entries.At(index).failed) entries.Remove(index);
        }
    }
    return true;
}
