// Folder enumeration, the safe replace-on-save and the directory helpers.
#include "base/files.h"

#include <cstring>
#include <cwchar>

#include "base/log.h"
#include "base/path_identity.h"

namespace {

bool StartsWith(const wchar_t* text, const wchar_t* prefix) { return wcsncmp(text, prefix, wcslen(prefix)) == 0; }

}  // namespace

bool GetFullPath(const VQWString& path, VQWString& full) {
    DWORD needed = GetFullPathNameW(path.Text(), 0, nullptr, nullptr);
    if (needed == 0) return false;
    full.SetLength(static_cast<int>(needed));
    DWORD got = GetFullPathNameW(path.Text(), needed, full.GetData(), nullptr);
    if (got == 0 || got >= needed) return false;
    full.SetLength(static_cast<int>(got));
    return true;
}

bool CreateFolders(const VQWString& folder) {
    DWORD attributes = GetFileAttributesW(folder.Text());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    int cut = folder.GetLength() - 1;
    while (cut > 0 && folder.GetAt(cut) != L'\\') --cut;
    if (cut > 0 && !CreateFolders(folder.Left(cut))) return false;
    return CreateDirectoryW(folder.Text(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

VQWString SystemForm(const VQWString& path) {
    if (path.GetLength() < MAX_PATH || StartsWith(path.Text(), L"\\\\?\\")) return path;
    VQWString full;
    if (!GetFullPath(path, full)) return path;
    if (StartsWith(full.Text(), L"\\\\?\\") || StartsWith(full.Text(), L"\\\\.\\")) return full;
    if (StartsWith(full.Text(), L"\\\\")) return VQWString(L"\\\\?\\UNC").Append(full.Mid(1));
    return VQWString(L"\\\\?\\").Append(full);
}

namespace {

// The system's own look-ups, under the names GetFileAttributes(Ex)W hand
// them. The layout of what the full one answers is fixed by the system.
struct NetworkOpenInformation {
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;
    LARGE_INTEGER allocationSize, endOfFile;
    ULONG fileAttributes;
};
struct UnicodeText {
    USHORT length, maximumLength;
    PWSTR buffer;
};
struct ObjectAttributes {
    ULONG length;
    HANDLE rootDirectory;
    UnicodeText* objectName;
    ULONG attributes;
    PVOID securityDescriptor, securityQualityOfService;
};
typedef LONG(WINAPI* QueryFullAttributes)(ObjectAttributes*, NetworkOpenInformation*);

QueryFullAttributes SystemLookUp() {
    static const QueryFullAttributes query = reinterpret_cast<QueryFullAttributes>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryFullAttributesFile")));
    return query;
}

}  // namespace

bool LookUpPath(const VQWString& path, WIN32_FILE_ATTRIBUTE_DATA* data) {
    // A plain full path's system name is itself behind \??\: made here on
    // the stack, where GetFileAttributesExW makes it on the process heap, for
    // which two threads asking at once wait on each other.
    const int kShort = 1024;
    int length = path.GetLength();
    QueryFullAttributes query = SystemLookUp();
    if (!query || length >= kShort - 4 || !IsPlainFullPath(path.Text(), length)) {
        // SystemForm would count itself among the users of the caller's string.
        VQWString copy = length >= MAX_PATH ? path.DeepCopy() : VQWString();
        return GetFileAttributesExW(length >= MAX_PATH ? SystemForm(copy).Text() : path.Text(), GetFileExInfoStandard,
                                    data) != 0;
    }
    wchar_t name[kShort];
    memcpy(name, L"\\??\\", 4 * sizeof(wchar_t));
    memcpy(name + 4, path.Text(), static_cast<size_t>(length) * sizeof(wchar_t));
    UnicodeText text = {static_cast<USHORT>((length + 4) * sizeof(wchar_t)),
                        static_cast<USHORT>((length + 4) * sizeof(wchar_t)), name};
    const ULONG kCaseInsensitive = 0x40;
    ObjectAttributes attributes = {sizeof attributes, nullptr, &text, kCaseInsensitive, nullptr, nullptr};
    NetworkOpenInformation info;
    if (query(&attributes, &info) < 0) return false;
    data->dwFileAttributes = info.fileAttributes;
    data->ftCreationTime = {info.creationTime.LowPart, static_cast<DWORD>(info.creationTime.HighPart)};
    data->ftLastAccessTime = {info.lastAccessTime.LowPart, static_cast<DWORD>(info.lastAccessTime.HighPart)};
    data->ftLastWriteTime = {info.lastWriteTime.LowPart, static_cast<DWORD>(info.lastWriteTime.HighPart)};
    data->nFileSizeHigh = static_cast<DWORD>(info.endOfFile.HighPart);
    data->nFileSizeLow = info.endOfFile.LowPart;
    return true;
}

DWORD LookUpAttributes(const VQWString& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return LookUpPath(path, &data) ? data.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

namespace {

HANDLE FindFirstIn(const VQWString& dir, const wchar_t* pattern, WIN32_FIND_DATAW* entry) {
    VQWString search;
    if (pattern && *pattern) {
        search.Format(L"%s\\%s", dir.Text(), pattern);
    } else {
        search.Format(L"%s\\*.*", dir.Text());
    }
    return FindFirstFileW(SystemForm(search).Text(), entry);
}

// The folder itself and its parent; "..old" is an ordinary folder name.
bool IsSkippedFolderName(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

struct SearchLevel {
    HANDLE find = INVALID_HANDLE_VALUE;  // owned: closed when the level is left
    VQWString dir;
};

// A folder that is a reparse point standing for another place (a junction,
// a symbolic link): following it may lead back up the tree. Folders of cloud
// storage and the like are reparse points too, but hold their own files:
// those carry a tag of the system's own (its high bit) that does not name
// another place. Any other tag counts as a link, so that an unknown kind
// cannot loop (Wine reports its links with no real tag at all).
bool IsFolderLink(const WIN32_FIND_DATAW& entry) {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    DWORD tag = entry.dwReserved0;
    bool systemsOwn = (tag & 0x80000000u) != 0;
    return !systemsOwn || IsReparseTagNameSurrogate(tag);
}

}  // namespace

bool EnumFiles(VQArray<VQWString, VQWString>& out, const wchar_t* dir, const wchar_t* pattern, bool recurse,
               VQFolderSearch* search) {
    // The open searches live on the heap rather than the call stack, so a
    // very deep tree cannot exhaust the stack.
    VQArray<SearchLevel, const SearchLevel&> levels;
    WIN32_FIND_DATAW entry;
    SearchLevel first;
    first.dir = VQWString(dir ? dir : L"");
    first.find = FindFirstIn(first.dir, pattern, &entry);
    if (first.find == INVALID_HANDLE_VALUE) return true;
    levels.Add(first);
    bool haveEntry = true;
    while (levels.GetCount() > 0) {
        SearchLevel& top = levels[levels.GetCount() - 1];
        if (!haveEntry) {
            if (!FindNextFileW(top.find, &entry)) {
                bool finished = GetLastError() == ERROR_NO_MORE_FILES;
                FindClose(top.find);
                levels.RemoveAt(levels.GetCount() - 1);
                if (!finished) {
                    for (int i = levels.GetCount() - 1; i >= 0; --i) FindClose(levels[i].find);
                    return false;
                }
                continue;
            }
        }
        haveEntry = false;
        bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (folder && IsSkippedFolderName(entry.cFileName)) continue;
        if (search && IsUnopenableName(entry.cFileName, static_cast<int>(wcslen(entry.cFileName)))) {
            ++search->unopenableNames;
            continue;
        }
        VQWString full;
        full.Format(L"%s\\%s", top.dir.Text(), entry.cFileName);
        if (!folder) {
            out.Add(full);
            if (search && search->progress && out.GetCount() % 256 == 0 && !search->progress(out.GetCount())) {
                search->cancelled = true;
                for (int i = levels.GetCount() - 1; i >= 0; --i) FindClose(levels[i].find);
                return false;
            }
        } else if (recurse && search && IsFolderLink(entry)) {
            ++search->linksPassed;
        } else if (recurse) {
            SearchLevel inner;
            inner.dir = full;
            inner.find = FindFirstIn(full, pattern, &entry);
            if (inner.find != INVALID_HANDLE_VALUE) {
                levels.Add(inner);
                haveEntry = true;
            }
        }
    }
    return true;
}

VQWString MakeReplaceTempName(const wchar_t* path) { return MakeReplaceTempName(path, GetTickCount()); }

VQWString MakeReplaceTempName(const wchar_t* path, DWORD tick) {
    if (!path) return VQWString();
    for (DWORD i = 0; i < 10; ++i) {
        VQWString name;
        name.Format(L"%s.tmp.%08x", path, static_cast<unsigned>(tick + i));
        if (GetFileAttributesW(name.Text()) == INVALID_FILE_ATTRIBUTES) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return name;
        }
    }
    return VQWString();
}

namespace {

// Errors that last only while another program holds the file (or, for
// access denied, while a delete of it is still pending).
bool IsHeldFileError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

}  // namespace

bool ReplaceWholeFile(const wchar_t* path, const std::function<bool(const wchar_t* tempPath)>& write) {
    VQWString tempPath = MakeReplaceTempName(path);
    if (tempPath.IsEmpty()) return false;
    // A half-written temporary file, or one that could not take the path's
    // place, is of no use to anyone.
    if (!write(tempPath.Text()) || !VQWin32ReplaceFile(path, tempPath.Text())) {
        DeleteFileW(tempPath.Text());
        return false;
    }
    return true;
}

bool VQWin32ReplaceFile(const wchar_t* path, const wchar_t* tempPath, DWORD retryMs) {
    if (!path || !tempPath) return false;
    DWORD attributes = GetFileAttributesW(path);
    bool existed = attributes != INVALID_FILE_ATTRIBUTES;
    if (existed && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    // One rename that replaces: whatever happens, either the old file or the
    // new one is at the path. No copy fallback, as a copy that stops half
    // way would leave neither.
    const DWORD start = GetTickCount();
    DWORD error;
    for (;;) {
        if (MoveFileExW(tempPath, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        error = GetLastError();
        DWORD waited = GetTickCount() - start;
        if (!IsHeldFileError(error) || waited >= retryMs) break;
        DWORD left = retryMs - waited;
        Sleep(left < 50 ? left : 50);
    }
    if (!existed) return false;
    vqLog.Write("[VQWin32ReplaceFile]delete failure:%08x\n", static_cast<unsigned>(error));
    DeleteFileW(tempPath);
    return false;
}

VQWString GetCurrentDirectoryPath() {
    int size = MAX_PATH;
    for (int attempt = 0; attempt < 5; ++attempt, size += 2) {
        VQWString dir;
        dir.SetLength(size);
        if (CurrentDirectoryWithSlash(dir.GetData(), size)) {
            dir.SetLength(static_cast<int>(wcslen(dir.GetData())));
            return dir;
        }
    }
    return VQWString();
}

bool CurrentDirectoryWithSlash(wchar_t* buffer, int size) {
    if (!buffer || size <= 0) return false;
    DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(size), buffer);
    if (n == 0 || n >= static_cast<DWORD>(size)) return false;
    if (static_cast<int>(n) >= size - 1) return false;
    if (buffer[n - 1] != L'\\') {
        buffer[n] = L'\\';
        buffer[n + 1] = 0;
    }
    return true;
}

VQString GetModuleDirectory() {
    for (DWORD size = MAX_PATH; size <= 65536; size *= 2) {
        VQString path;
        path.SetLength(static_cast<int>(size));
        char* text = path.GetData();
        DWORD n = GetModuleFileNameA(nullptr, text, size);
        if (n == 0) return VQString();
        if (n >= size) continue;
        // The trail byte of a double-byte character can be 0x5C.
        int cut = -1;
        for (DWORD i = 0; i < n;) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            if (IsShiftJisLeadByte(c) && i + 1 < n) {
                i += 2;
                continue;
            }
            if (c == '\\') cut = static_cast<int>(i);
            ++i;
        }
        if (cut < 0) return VQString();
        path.SetLength(cut + 1);
        return path;
    }
    return VQString();
}
