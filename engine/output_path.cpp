#include "engine/output_path.h"

#include <algorithm>
#include <cwchar>
#include <string_view>

#include "base/files.h"
#include "base/path_identity.h"
#include "engine/file_variables.h"
#include "engine/template.h"

namespace {

int64_t Ticks(const FILETIME& t) { return static_cast<int64_t>((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime); }

bool IsDriveRoot(const VQWString& path) {
    return HasDrivePrefix(path) && (path.GetLength() == 2 || (path.GetLength() == 3 && path.GetAt(2) == L'\\'));
}

// \\server or \\server\share, with or without a closing "\": no file's name.
bool IsShareRoot(const VQWString& path) {
    if (path.GetLength() < 3 || path.GetAt(0) != L'\\' || path.GetAt(1) != L'\\') return false;
    int separators = 0;
    for (int i = 2; i < path.GetLength(); ++i) {
        if (path.GetAt(i) == L'\\' && i + 1 < path.GetLength()) ++separators;
    }
    return separators < 2;
}

// A full path that Windows opens as it is written, name by name: a drive or
// \\server\share, then names that are not "." or "..", hold no "/" and
// that Windows can open as written. For these alone a folder's list says
// what a look-up of the path would.
bool IsListablePath(const VQWString& path) {
    const wchar_t* text = path.Text();
    int length = path.GetLength();
    int start;
    if (HasDrivePrefix(path) && length > 3 && text[2] == L'\\') {
        start = 3;
    } else if (length > 2 && text[0] == L'\\' && text[1] == L'\\' && text[2] != L'?' && text[2] != L'.') {
        int separators = 0;
        for (start = 2; start < length && separators < 2; ++start) {
            if (text[start] == L'\\') ++separators;
        }
        if (separators < 2) return false;
    } else {
        return false;
    }
    int component = start;
    for (int i = start; i <= length; ++i) {
        wchar_t c = i < length ? text[i] : L'\\';
        if (c == L'/') return false;
        if (c != L'\\') continue;
        if (i == component) return false;  // "\\" inside, or a closing "\"
        if (text[component] == L'.' && (i - component == 1 || (i - component == 2 && text[component + 1] == L'.'))) {
            return false;
        }
        component = i + 1;
    }
    return !HasUnopenableName(path);
}

OutputState StateOf(DWORD attributes, const FILETIME& written, DWORD sizeHigh, DWORD sizeLow) {
    OutputState state;
    state.exists = true;
    state.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    state.written = written;
    state.size = (uint64_t(sizeHigh) << 32) | sizeLow;
    return state;
}

}  // namespace

bool ExpandOutputPath(const VQWString& outputTemplate, const VQWString& target, const VQWString& root,
                      const VQWString& directory, VQWString& output, VQWString& errorText) {
    VQWString text = outputTemplate;
    VQTemplateContext context;
    context.root = root;
    context.forOutput = true;
    context.hasOutput = true;
    if (!ExpandTemplate(text, target, VQWString(), context, errorText, kMaxCommandLineUnits)) return false;
    if (text.Trim().IsEmpty()) {
        errorText.Format(L"出力先が空になります。\n%s", outputTemplate.Text());
        return false;
    }
    // Characters no file name may hold; a \\?\ prefix has its own "?".
    int start = text.GetLength() >= 4 && wcsncmp(text.Text(), L"\\\\?\\", 4) == 0 ? 4 : 0;
    for (int i = start; i < text.GetLength(); ++i) {
        wchar_t c = text.GetAt(i);
        bool driveColon = c == L':' && i == start + 1 && HasDrivePrefix(text.Text() + start);
        if ((c < 0x20 || wcschr(L"<>:\"|?*", c)) && !driveColon) {
            if (c < 0x20) {
                errorText.Format(L"出力先に使えない文字（制御文字 0x%02X）があります。\n%s", static_cast<unsigned>(c),
                                 text.Text());
            } else {
                errorText.Format(L"出力先に使えない文字 %c があります。\n%s", c, text.Text());
            }
            return false;
        }
    }
    wchar_t last = text.GetAt(text.GetLength() - 1);
    if (last == L'\\' || last == L'/') {
        errorText.Format(L"出力先がフォルダの形です（ファイル名がありません）。\n%s", text.Text());
        return false;
    }
    VQWString full = ResolvePath(text, directory);
    // No name after the last "\": the resolved path is a folder's.
    if (IsDriveRoot(full) || IsShareRoot(full) || full.IsEmpty() || full.GetAt(full.GetLength() - 1) == L'\\') {
        errorText.Format(L"出力先がドライブだけです。\n%s", text.Text());
        return false;
    }
    output = full;
    return true;
}

VQWString OutputIsFolderMessage(const VQWString& output) {
    VQWString message;
    message.Format(L"出力先がフォルダです。\n%s", output.Text());
    return message;
}

OutputState ReadOutputState(const VQWString& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.IsEmpty() || !LookUpPath(path, &data)) return OutputState();
    return StateOf(data.dwFileAttributes, data.ftLastWriteTime, data.nFileSizeHigh, data.nFileSizeLow);
}

OutputState OutputStateCache::Read(const VQWString& path) { return Read(path, PathIdentity(path.DeepCopy())); }

namespace {

// Where the folder of a listable path ends: its last "\".
int FolderCut(const VQWString& path) {
    int cut = path.GetLength() - 1;
    while (path.GetAt(cut) != L'\\') --cut;
    return cut;
}

}  // namespace

OutputState OutputStateCache::Read(const VQWString& path, const VQWString& identity) {
    if (!IsListablePath(path)) return ReadOutputState(path);
    int cut = FolderCut(path);
    const Folder* folder = FolderOf(path, cut, true);
    if (!folder || !folder->listed) return ReadOutputState(path);
    return Answer(path, identity, cut, *folder);
}

OutputState OutputStateCache::ReadIfListed(const VQWString& path) {
    if (!IsListablePath(path)) return ReadOutputState(path);
    int cut = FolderCut(path);
    const Folder* folder = FolderOf(path, cut, false);
    if (!folder || !folder->listed) return ReadOutputState(path);
    return Answer(path, PathIdentity(path.DeepCopy()), cut, *folder);
}

OutputState OutputStateCache::Answer(const VQWString& path, const VQWString& identity, int cut, const Folder& folder) {
    // The identity of a plain full path is the path upper-cased, letter for letter.
    if (identity.GetLength() != path.GetLength() || identity.GetAt(cut) != L'\\') return ReadOutputState(path);
    int length = path.GetLength() - cut - 1;
    const Listed* listed = folder.Find(std::wstring_view(identity.Text() + cut + 1, static_cast<size_t>(length)));
    if (!listed) {
        if (path.FindOneOf(L"~", cut + 1) >= 0) return ReadOutputState(path);
        return OutputState();
    }
    if (listed->twice || listed->length != length ||
        folder.text.compare(static_cast<size_t>(listed->name), static_cast<size_t>(length), path.Text() + cut + 1,
                            static_cast<size_t>(length)) != 0) {
        return ReadOutputState(path);
    }
    return listed->state;
}

std::wstring_view OutputStateCache::Folder::FoldedOf(const Listed& entry) const {
    return std::wstring_view(text.data() + entry.folded, static_cast<size_t>(entry.length));
}

const OutputStateCache::Listed* OutputStateCache::Folder::Find(std::wstring_view folded) const {
    auto found = std::lower_bound(names.begin(), names.end(), folded,
                                  [&](const Listed& entry, std::wstring_view name) { return FoldedOf(entry) < name; });
    return found != names.end() && FoldedOf(*found) == folded ? &*found : nullptr;
}

void OutputStateCache::Folder::List(const VQWString& pattern) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW(SystemForm(pattern).Text(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        // Not there, or not a folder: nothing below it exists. Any other
        // failure (access, the network) is left to the look-ups.
        DWORD error = GetLastError();
        listed = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_DIRECTORY;
        return;
    }
    do {
        const wchar_t* name = data.cFileName;
        if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
        Listed entry;
        entry.length = static_cast<int>(wcslen(name));
        entry.name = static_cast<int>(text.size());
        text.append(name, static_cast<size_t>(entry.length));
        entry.folded = static_cast<int>(text.size());
        AppendFoldedName(name, entry.length, text);
        entry.state = StateOf(data.dwFileAttributes, data.ftLastWriteTime, data.nFileSizeHigh, data.nFileSizeLow);
        names.push_back(entry);
    } while (FindNextFileW(find, &data));
    listed = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(find);
    if (!listed) {
        names.clear();
        text.clear();
        return;
    }
    std::sort(names.begin(), names.end(), [&](const Listed& a, const Listed& b) { return FoldedOf(a) < FoldedOf(b); });
    for (size_t i = 1; i < names.size(); ++i) {
        if (FoldedOf(names[i]) == FoldedOf(names[i - 1])) names[i].twice = names[i - 1].twice = true;
    }
}

OutputStateCache::Folder* OutputStateCache::FolderOf(const VQWString& path, int cut, bool list) {
    std::wstring_view written(path.Text(), static_cast<size_t>(cut));
    LastFolder& last = list ? lastListed : lastAsked;
    if (last.valid && last.text == written) return last.folder;
    Folder* found = nullptr;
    auto known = byText.find(written);
    if (known != byText.end() && (known->second || !list)) {
        found = known->second;
    } else {
        VQWString folderIdentity = PathIdentity(path.Left(cut));
        std::wstring key(folderIdentity.Text(), static_cast<size_t>(folderIdentity.GetLength()));
        auto listed = folders.find(key);
        if (listed != folders.end()) {
            found = listed->second.get();
        } else if (list) {
            // The last folder asked about without listing may be this one.
            lastAsked.valid = false;
            std::unique_ptr<Folder>& slot = folders[key];
            slot.reset(new Folder);
            found = slot.get();
            found->List(path.Left(cut + 1).Append(L'*'));
        }
        if (known != byText.end()) {
            known->second = found;
        } else {
            byText.emplace(std::wstring(written), found);
        }
    }
    last.text.assign(written);
    last.folder = found;
    last.valid = true;
    return found;
}

bool IsUpToDate(const FILETIME& sourceWritten, const FILETIME& outputWritten) {
    return Ticks(outputWritten) + kTimeStampSlack100ns >= Ticks(sourceWritten);
}

bool ChangedDuringSteps(const OutputState& before, const OutputState& now) {
    if (!now.exists || now.folder) return false;
    if (!before.exists || before.folder) return true;
    return Ticks(before.written) != Ticks(now.written) || before.size != now.size;
}

bool WrittenDuringSteps(const OutputState& before, const OutputState& now, const FILETIME& stepsBegan) {
    if (!now.exists || now.folder) return false;
    return ChangedDuringSteps(before, now) || Ticks(now.written) + kTimeStampSlack100ns >= Ticks(stepsBegan);
}

namespace {

// Where the name of a path's identity begins: after its last "\".
int NameStart(const VQWString& identity) {
    int at = identity.GetLength();
    while (at > 0 && identity.GetAt(at - 1) != L'\\') --at;
    return at;
}

std::wstring_view NameOf(const VQWString& identity) {
    int start = NameStart(identity);
    return std::wstring_view(identity.Text() + start, static_cast<size_t>(identity.GetLength() - start));
}

size_t NameHash(std::wstring_view name) { return std::hash<std::wstring_view>()(name); }

}  // namespace

EntryPlaces::EntryPlaces(int n, std::function<VQWString(int)> path, std::function<VQWString(int)> identity)
    : count(n), pathOf(std::move(path)), identityOf(std::move(identity)) {}

void EntryPlaces::Index() {
    if (indexed) return;
    indexed = true;
    size_t size = 16;
    while (size < static_cast<size_t>(count) * 2) size *= 2;
    heads.assign(size, -1);
    next.assign(static_cast<size_t>(count), -1);
    nameHashes.resize(static_cast<size_t>(count));
    // From the end, so that each chain runs in list order.
    for (int i = count - 1; i >= 0; --i) {
        size_t hash = NameHash(NameOf(identityOf(i)));
        size_t at = hash & (size - 1);
        nameHashes[static_cast<size_t>(i)] = hash;
        next[static_cast<size_t>(i)] = heads[at];
        heads[at] = i;
    }
}

const EntryPlaces::Folder& EntryPlaces::FolderOf(const VQWString& path, const VQWString& identity) {
    int cut = NameStart(identity);
    std::wstring key(identity.Text(), static_cast<size_t>(cut));
    auto found = folders.find(key);
    if (found != folders.end()) return found->second;
    Folder& folder = folders[key];
    // With its closing "\": "C:" alone would be the drive's current folder.
    int written = path.GetLength();
    while (written > 0 && path.GetAt(written - 1) != L'\\') --written;
    if (written > 0) folder.known = ReadFileIdentity(path.Left(written), folder.identity);
    return folder;
}

int EntryPlaces::Find(const VQWString& path, const VQWString& identity) {
    Index();
    std::wstring_view name = NameOf(identity);
    const Folder* folder = nullptr;
    size_t hash = NameHash(name);
    for (int i = heads[hash & (heads.size() - 1)]; i >= 0; i = next[static_cast<size_t>(i)]) {
        if (nameHashes[static_cast<size_t>(i)] != hash) continue;
        VQWString entry = identityOf(i);
        if (NameOf(entry) != name) continue;
        if (entry == identity) return i;
        if (!folder) folder = &FolderOf(path, identity);
        if (!folder->known) return -1;
        const Folder& entryFolder = FolderOf(pathOf(i), entry);
        if (entryFolder.known && entryFolder.identity == folder->identity) return i;
    }
    return -1;
}

VQWString OutputFolderOf(const VQWString& output) {
    VQWString folder = GetDirPath(output);
    while (folder.GetLength() > 1 && folder.GetAt(folder.GetLength() - 1) == L'\\') {
        folder = folder.Left(folder.GetLength() - 1);
    }
    if (folder.IsEmpty() || IsDriveRoot(folder) || IsShareRoot(folder)) return VQWString();
    return folder;
}

bool CreateOutputFolder(const VQWString& output, DWORD& error) {
    error = 0;
    VQWString folder = OutputFolderOf(output);
    if (folder.IsEmpty()) return true;
    OutputState state = ReadOutputState(folder);
    if (state.exists) {
        if (state.folder) return true;
        error = ERROR_FILE_EXISTS;
        return false;
    }
    if (!CreateOutputFolder(folder, error)) return false;
    if (CreateDirectoryW(SystemForm(folder).Text(), nullptr)) return true;
    error = GetLastError();
    // Made by another slot in the meantime.
    if (error == ERROR_ALREADY_EXISTS) {
        state = ReadOutputState(folder);
        if (state.folder) {
            error = 0;
            return true;
        }
        error = ERROR_FILE_EXISTS;
    }
    return false;
}
