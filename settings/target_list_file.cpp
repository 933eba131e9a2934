#include "settings/target_list_file.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <string>
#include <vector>

#include "base/files.h"
#include "base/path_identity.h"
#include "base/text_decode.h"
#include "base/two_threads.h"

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Adds the path of one decoded line: blanks around it and one pair of quotes
// around the path are dropped; a line of blanks adds nothing (false).
bool TakeLine(const wchar_t* units, int length, VQArray<VQWString, VQWString>& lines) {
    int start = 0;
    int end = length;
    while (start < end && IsBlank(units[start])) ++start;
    while (end > start && IsBlank(units[end - 1])) --end;
    if (start == end) return false;
    if (end - start >= 2 && units[start] == L'"' && units[end - 1] == L'"') {
        ++start;
        --end;
    }
    VQWString line;
    if (end > start) line.Append(units + start, end - start);
    lines.Add(line);
    return true;
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
int CountLineFeeds(const Unit* units, int count) {
    int breaks = 0;
    for (int i = 0; i < count; ++i) breaks += units[i] == Unit('\n');
    return breaks;
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
    // Most paths fit at the first call; only longer ones ask for their size.
    wchar_t shortFull[MAX_PATH * 2];
    DWORD got = GetFullPathNameW(path.Text(), MAX_PATH * 2, shortFull, nullptr);
    if (got == 0) return VQWString();
    if (got < MAX_PATH * 2) {
        VQWString full;
        full.Append(shortFull, static_cast<int>(got));
        return full;
    }
    DWORD needed = got;
    VQWString full;
    full.SetLength(static_cast<int>(needed));
    got = GetFullPathNameW(path.Text(), needed, full.GetData(), nullptr);
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
    // Most lines are full paths already: no new string for them, which two
    // threads making at once would wait on each other for.
    if (line.GetLength() < MAX_PATH && IsPlainFullPath(line.Text(), line.GetLength())) return line;
    VQWString path = line;
    if (IsFolderRelative(line)) path = VQWString(listFolder).Append(line);
    VQWString full = FullPath(path);
    if (StartsWith(full, L"\\\\.\\") && !StartsWith(line, L"\\\\.\\")) return VQWString();
    return full;
}

}  // namespace

void VQTargetList::Skip(int number, VQSkipReason reason, const wchar_t* text, int length) {
    switch (reason) {
    case VQSkipReason::Missing: ++missingLines; break;
    case VQSkipReason::Long: ++longLines; break;
    case VQSkipReason::Nul: ++nulLines; break;
    case VQSkipReason::Unopenable: ++unopenableLines; break;
    }
    // Only the first lines by number are named; steps find them out of order.
    if (firstSkipped.size() >= kKeptSkippedLines && firstSkipped.back().number < number) return;
    // Enough of the line to find it in an editor; the number says where.
    const int kShown = 80;
    VQWString shown;
    for (int i = 0; i < length && shown.GetLength() < kShown; ++i) {
        if (text[i] == L'\0') {
            shown.Append(L"[NUL]");
        } else {
            shown.Append(text[i]);
        }
    }
    if (length > kShown) shown.Append(L"…");
    auto at = std::upper_bound(firstSkipped.begin(), firstSkipped.end(), number,
                               [](int n, const VQSkippedLine& line) { return n < line.number; });
    firstSkipped.insert(at, VQSkippedLine{number, reason, shown});
    if (firstSkipped.size() > kKeptSkippedLines) firstSkipped.pop_back();
}

void SplitListText(const char* bytes, int count, VQArray<VQWString, VQWString>& lines, VQTargetList& list,
                   std::vector<int>* numbers) {
    if (!bytes || count <= 0) return;
    int mark = 0;
    int number = 0;
    VQTextEncoding encoding = DetectTextEncoding(bytes, count, kDetectMarks | kDetectUtf8, &mark);
    // Room for every line at once: grown as it fills, a million lines' array
    // would be copied some eight times over.
    if (lines.GetCount() == 0) {
        const wchar_t* units = reinterpret_cast<const wchar_t*>(bytes + mark);
        int breaks = encoding == kTextUtf16 ? CountLineFeeds(units, (count - mark) / 2)
                                            : CountLineFeeds(bytes + mark, count - mark);
        lines.SetSize(-(breaks + 1));
        if (numbers) numbers->reserve(static_cast<size_t>(breaks) + 1);
    }
    auto take = [&](const wchar_t* line, int length) {
        if (TakeLine(line, length, lines) && numbers) numbers->push_back(number);
    };
    if (encoding == kTextUtf16) {
        const wchar_t* units = reinterpret_cast<const wchar_t*>(bytes + mark);
        ForEachLine(units, (count - mark) / 2, [&](const wchar_t* line, int length) {
            ++number;
            if (HasNul(line, length)) {
                list.Skip(number, VQSkipReason::Nul, line, length);
            } else if (length > kListLineLimit) {
                list.Skip(number, VQSkipReason::Long, line, length);
            } else {
                take(line, length);
            }
        });
        return;
    }
    // Bytes are split before they are decoded: an LF byte is never part of
    // a UTF-8 sequence or of a double-byte character.
    UINT codePage = encoding == kTextUtf8 ? CP_UTF8 : CP_ACP;
    ForEachLine(bytes + mark, count - mark, [&](const char* line, int length) {
        ++number;
        if (HasNul(line, length)) {
            // What comes before the NUL is enough to name the line.
            int before = 0;
            while (line[before]) ++before;
            VQWString text = DecodeText(line, before, 0, codePage);
            text.Append(L'\0');
            list.Skip(number, VQSkipReason::Nul, text.Text(), text.GetLength());
            return;
        }
        // Every unit takes at least one byte: a line that has few enough
        // bytes need not be measured, and none of three times the limit fits.
        VQWString text = DecodeText(line, length > 3 * kListLineLimit ? 256 : length, 0, codePage);
        if (length > 3 * kListLineLimit) {
            list.Skip(number, VQSkipReason::Long, text.Text(), kListLineLimit + 1);
            return;
        }
        if (text.GetLength() > kListLineLimit) {
            list.Skip(number, VQSkipReason::Long, text.Text(), text.GetLength());
        } else {
            take(text.Text(), text.GetLength());
        }
    });
}

namespace {

// What is collected from a path the disk described by `attributes`.
bool CollectLooked(const VQWString& path, DWORD attributes, VQArray<VQWString, VQWString>& out,
                   VQFolderSearch* search, VQArray<VQWString, VQWString>* roots) {
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        out.Add(path);
        if (roots) roots->Add(VQWString());
        return true;
    }
    // A drive root ("C:\") would otherwise list "C:\\name".
    VQWString folder = path;
    int length = folder.GetLength();
    if (length > 0 && folder.GetAt(length - 1) == L'\\') folder = folder.Left(length - 1);
    int before = out.GetCount();
    // A folder that cannot be read to its end still gives what was found.
    EnumFiles(out, folder.Text(), nullptr, true, search);
    if (roots) {
        VQWString root = folder;
        root.Append(L'\\');
        for (int i = before; i < out.GetCount(); ++i) roots->Add(root);
    }
    return true;
}

// A line of a list file as the disk knows it.
struct LookedLine {
    VQWString target;  // the line resolved; empty: it names nothing that can be looked up
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    bool unopenable = false;
};

// Asking the disk about every line is most of a big list's time, and the
// look-ups do not depend on each other: two threads take the lines in
// blocks, the caller's telling of progress between its blocks. Strings are
// not shared between the threads (their counts of users are not atomic):
// each line is read by one thread only and the folder is copied for each.
void LookUpLines(const VQArray<VQWString, VQWString>& lines, const VQWString& listFolder,
                 std::vector<LookedLine>& looked, VQFolderSearch& search) {
    const int count = lines.GetCount();
    const int kBlock = 1024;
    looked.resize(static_cast<size_t>(count));
    std::atomic<int> next(0), done(0);
    std::atomic<bool> stop(false);
    auto work = [&](int share) {
        bool caller = share == 0;
        // Each thread its own copy: the counts of users are not atomic.
        VQWString folder = listFolder.DeepCopy();
        while (!stop) {
            int from = next.fetch_add(kBlock);
            if (from >= count) return;
            int to = std::min(count, from + kBlock);
            for (int i = from; i < to; ++i) {
                LookedLine& line = looked[static_cast<size_t>(i)];
                if (HasUnopenableName(lines[i])) {
                    line.unopenable = true;
                    continue;
                }
                line.target = ResolveLine(lines[i], folder);
                if (!line.target.IsEmpty()) line.attributes = LookUpAttributes(line.target);
            }
            int total = done += to - from;
            if (caller && search.progress && !search.progress(total)) {
                search.cancelled = true;
                stop = true;
            }
        }
    };
    if (count > kBlock) {
        RunOnTwoThreads(work);
    } else {
        work(0);
    }
}

}  // namespace

bool CollectTargets(const VQWString& path, VQArray<VQWString, VQWString>& out, VQFolderSearch* search,
                    VQArray<VQWString, VQWString>* roots) {
    return CollectLooked(path, LookUpAttributes(path), out, search, roots);
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
    std::vector<int> numbers;
    SplitListText(bytes.data(), static_cast<int>(bytes.size()), lines, list, &numbers);
    std::string().swap(bytes);
    VQWString listFolder = FullPath(VQWString(path));
    int cut = listFolder.GetLength();
    while (cut > 0 && listFolder.GetAt(cut - 1) != L'\\') --cut;
    listFolder = listFolder.Left(cut);
    auto skip = [&](int i, VQSkipReason reason) {
        list.Skip(numbers[static_cast<size_t>(i)], reason, lines[i].Text(), lines[i].GetLength());
    };
    if (list.paths.GetCount() == 0) {
        list.paths.SetSize(-lines.GetCount());
        list.roots.SetSize(-lines.GetCount());
    }
    std::vector<LookedLine> looked;
    LookUpLines(lines, listFolder, looked, list.search);
    for (int i = 0; i < lines.GetCount() && !list.search.cancelled; ++i) {
        LookedLine& line = looked[static_cast<size_t>(i)];
        if (line.unopenable) {
            skip(i, VQSkipReason::Unopenable);
            continue;
        }
        if (line.target.IsEmpty() || !CollectLooked(line.target, line.attributes, list.paths, &list.search, &list.roots)) {
            skip(i, VQSkipReason::Missing);
        }
        line = LookedLine();
    }
    if (list.search.cancelled) {
        list.paths.RemoveAll();
        list.roots.RemoveAll();
        list.cancelled = true;
    }
    return true;
}
