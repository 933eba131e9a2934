#include "settings/target_list_file.h"

#include <windows.h>

#include <cwchar>
#include <string>

#include "base/files.h"
#include "base/text_decode.h"

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Adds the path of one decoded line: blanks around it and one pair of quotes
// around the path are dropped; a line of blanks adds nothing.
void TakeLine(const wchar_t* units, int length, VQArray<VQWString, VQWString>& lines) {
    int start = 0;
    int end = length;
    while (start < end && IsBlank(units[start])) ++start;
    while (end > start && IsBlank(units[end - 1])) --end;
    if (start == end) return;
    if (end - start >= 2 && units[start] == L'"' && units[end - 1] == L'"') {
        ++start;
        --end;
    }
    VQWString line;
    if (end > start) line.Append(units + start, end - start);
    lines.Add(line);
}

// Calls take(start, length) for every line of `units` without its LF and
// the CR before it (or before the end of the text).
template <class Unit, class Take>
void ForEachLine(const Unit* units, int count, Take take) {
    int start = 0;
    while (start < count) {
        const Unit* lf = static_cast<const Unit*>(nullptr);
        for (int i = start; i < count; ++i) {
            if (units[i] == Unit('\n')) {
                lf = units + i;
                break;
            }
        }
        int end = lf ? static_cast<int>(lf - units) : count;
        int length = end - start;
        if (length > 0 && units[end - 1] == Unit('\r')) --length;
        take(units + start, length);
        start = end + 1;
    }
}

template <class Unit>
bool HasNul(const Unit* units, int length) {
    for (int i = 0; i < length; ++i) {
        if (units[i] == Unit(0)) return true;
    }
    return false;
}

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// A path that means nothing without a folder to start from: "a.txt",
// "sub\a.txt", ".\a.txt", "..\a.txt". Rooted ones ("\a.txt", "C:a.txt")
// are left to the system's rules.
bool IsFolderRelative(const VQWString& path) {
    wchar_t first = path.GetAt(0);
    if (first == L'\\' || first == L'/') return false;
    return !(path.GetLength() >= 2 && IsDriveLetter(first) && path.GetAt(1) == L':');
}

VQWString FullPath(const VQWString& path) {
    DWORD needed = GetFullPathNameW(path.Text(), 0, nullptr, nullptr);
    if (needed == 0) return VQWString();
    VQWString full;
    full.SetLength(static_cast<int>(needed));
    DWORD got = GetFullPathNameW(path.Text(), needed, full.GetData(), nullptr);
    if (got == 0 || got >= needed) return VQWString();
    full.SetLength(static_cast<int>(got));
    return full;
}

bool StartsWith(const VQWString& text, const wchar_t* prefix) {
    int n = static_cast<int>(wcslen(prefix));
    return text.GetLength() >= n && wcsncmp(text.Text(), prefix, n) == 0;
}

// The full path a line names; empty when it names nothing (an empty line,
// a device such as NUL or CON).
VQWString ResolveLine(const VQWString& line, const VQWString& listFolder) {
    if (line.IsEmpty()) return VQWString();
    VQWString path = line;
    if (IsFolderRelative(line)) path = VQWString(listFolder).Append(line);
    VQWString full = FullPath(path);
    if (StartsWith(full, L"\\\\.\\") && !StartsWith(line, L"\\\\.\\")) return VQWString();
    return full;
}

}  // namespace

void SplitListText(const char* bytes, int count, VQArray<VQWString, VQWString>& lines, VQTargetList& list) {
    if (!bytes || count <= 0) return;
    int mark = 0;
    VQTextEncoding encoding = DetectTextEncoding(bytes, count, kDetectMarks | kDetectUtf8, &mark);
    if (encoding == kTextUtf16) {
        const wchar_t* units = reinterpret_cast<const wchar_t*>(bytes + mark);
        ForEachLine(units, (count - mark) / 2, [&](const wchar_t* line, int length) {
            if (HasNul(line, length)) {
                ++list.nulLines;
            } else if (length > kListLineLimit) {
                ++list.longLines;
            } else {
                TakeLine(line, length, lines);
            }
        });
        return;
    }
    // Bytes are split before they are decoded: an LF byte is never part of
    // a UTF-8 sequence or of a double-byte character.
    UINT codePage = encoding == kTextUtf8 ? CP_UTF8 : CP_ACP;
    ForEachLine(bytes + mark, count - mark, [&](const char* line, int length) {
        if (HasNul(line, length)) {
            ++list.nulLines;
            return;
        }
        // Every unit takes at least one byte: a line that has few enough
        // bytes need not be measured, and none of three times the limit fits.
        if (length > 3 * kListLineLimit) {
            ++list.longLines;
            return;
        }
        VQWString text = DecodeText(line, length, 0, codePage);
        if (text.GetLength() > kListLineLimit) {
            ++list.longLines;
        } else {
            TakeLine(text.Text(), text.GetLength(), lines);
        }
    });
}

bool CollectTargets(const VQWString& path, VQArray<VQWString, VQWString>& out) {
    DWORD attributes = GetFileAttributesW(SystemForm(path).Text());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        out.Add(path);
        return true;
    }
    // A drive root ("C:\") would otherwise list "C:\\name".
    VQWString folder = path;
    int length = folder.GetLength();
    if (length > 0 && folder.GetAt(length - 1) == L'\\') folder = folder.Left(length - 1);
    // A folder that cannot be read to its end still gives what was found.
    EnumFiles(out, folder.Text(), nullptr, true);
    return true;
}

bool ReadTargetListFile(const wchar_t* path, VQTargetList& list) {
    VQFile* file = NewFile(path, kFileShareRead | kFileShareWrite);
    if (!file) return false;
    int64_t size = file->GetSize();
    if (size > kListFileLimit) {
        delete file;
        list.tooLarge = true;
        return false;
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    int got = size > 0 ? file->Read(&bytes[0], 0, static_cast<int>(size)) : 0;
    delete file;
    if (got < 0) return false;
    bytes.resize(static_cast<size_t>(got));

    VQArray<VQWString, VQWString> lines;
    SplitListText(bytes.data(), static_cast<int>(bytes.size()), lines, list);
    std::string().swap(bytes);
    VQWString listFolder = FullPath(VQWString(path));
    int cut = listFolder.GetLength();
    while (cut > 0 && listFolder.GetAt(cut - 1) != L'\\') --cut;
    listFolder = listFolder.Left(cut);
    for (int i = 0; i < lines.GetCount(); ++i) {
        VQWString target = ResolveLine(lines[i], listFolder);
        if (target.IsEmpty() || !CollectTargets(target, list.paths)) ++list.missingLines;
    }
    return true;
}
