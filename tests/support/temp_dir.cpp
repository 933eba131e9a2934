#include "tests/support/temp_dir.h"

#include <windows.h>

#include <atomic>

namespace {

std::wstring LongForm(const std::wstring& path) {
    // Deep test trees pass the classic 260-unit limit.
    if (path.size() >= 248 && path.compare(0, 4, L"\\\\?\\") != 0) return L"\\\\?\\" + path;
    return path;
}

typedef char* (CDECL* UnixFileName)(const wchar_t* dosPath);

// Wine's own export; null on Windows.
UnixFileName WineUnixFileName() {
    return reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
}

std::wstring Widen(const char* text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], n);
    return wide;
}

// Runs a program of the system below Wine (it starts ELF files as they are)
// and waits for it. False when it could not be started; Wine reports neither
// its exit code nor its end reliably, so callers look at what it did.
bool RunUnix(const wchar_t* program, const std::wstring& arguments) {
    std::wstring line = std::wstring(program) + L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

std::wstring UnixPathOf(const std::wstring& path) {
    UnixFileName unixName = WineUnixFileName();
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    if (!name) return std::wstring();
    std::wstring wide = Widen(name);
    HeapFree(GetProcessHeap(), 0, name);
    return wide;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A link goes without what it leads to.
void RemoveLink(const std::wstring& path) {
    if (RemoveDirectoryW(path.c_str()) && !Exists(path)) return;
    if (DeleteFileW(path.c_str()) && !Exists(path)) return;
    std::wstring unixPath = UnixPathOf(path);
    if (unixPath.empty() || !RunUnix(L"Z:\\bin\\rm", L"-f \"" + unixPath + L"\"")) return;
    for (int waited = 0; waited < 5000 && Exists(path); waited += 20) Sleep(20);
}

}  // namespace

std::wstring TempDir::MakeFolderLink(const std::wstring& name, const std::wstring& target) const {
    std::wstring link = Join(name);
    const DWORD kDirectory = 0x1, kUnprivileged = 0x2;
    // Wine's CreateSymbolicLinkW says yes and makes nothing: look.
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(), kDirectory | kUnprivileged) && Exists(link)) return link;
    std::wstring unixLink = UnixPathOf(link), unixTarget = UnixPathOf(target);
    if (unixLink.empty() || unixTarget.empty()) return std::wstring();
    if (!RunUnix(L"Z:\\bin\\ln", L"-s \"" + unixTarget + L"\" \"" + unixLink + L"\"")) return std::wstring();
    for (int waited = 0; waited < 5000 && !Exists(link); waited += 20) Sleep(20);
    return Exists(link) ? link : std::wstring();
}

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    wchar_t base[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, base);
    std::wstring root = n ? std::wstring(base, n) : std::wstring(L"C:\\");
    if (root.back() != L'\\') root += L'\\';
    for (;;) {
        path = root + L"qbtest_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
               std::to_wstring(GetTickCount()) + L"_" + std::to_wstring(counter++);
        if (CreateDirectoryW(path.c_str(), nullptr)) break;
    }
}

TempDir::~TempDir() { RemoveTree(path); }

std::wstring TempDir::Join(const std::wstring& name) const { return path + L"\\" + name; }

std::wstring TempDir::MakeDir(const std::wstring& name) const {
    std::wstring full = Join(name);
    for (size_t i = path.size() + 1; i <= full.size(); ++i) {
        if (i == full.size() || full[i] == L'\\') {
            CreateDirectoryW(LongForm(full.substr(0, i)).c_str(), nullptr);
        }
    }
    return full;
}

std::wstring TempDir::WriteFile(const std::wstring& name, const std::string& bytes) const {
    std::wstring full = Join(name);
    size_t slash = name.rfind(L'\\');
    if (slash != std::wstring::npos) MakeDir(name.substr(0, slash));
    HANDLE h = CreateFileW(LongForm(full).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        if (!bytes.empty()) ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
    }
    return full;
}

std::wstring TempDir::WriteSparseFile(const std::wstring& name, const std::string& bytes, long long length) const {
    std::wstring full = WriteFile(name, bytes);
    HANDLE h = CreateFileW(LongForm(full).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        LARGE_INTEGER size;
        size.QuadPart = length;
        if (SetFilePointerEx(h, size, nullptr, FILE_BEGIN)) SetEndOfFile(h);
        CloseHandle(h);
    }
    return full;
}

std::string TempDir::ReadFile(const std::wstring& name) const { return ReadWholeFile(Join(name)); }

std::string TempDir::ReadWholeFile(const std::wstring& path) {
    std::string bytes;
    HANDLE h = CreateFileW(LongForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    char chunk[65536];
    DWORD got = 0;
    while (::ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(h);
    return bytes;
}

bool TempDir::RemoveTree(const std::wstring& path) {
    std::wstring longPath = LongForm(path);
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((longPath + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                // Never into a link: it may lead anywhere, the folder above included.
                RemoveLink(child);
            } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                // Always the \\?\ form: names such as "aux.log" or "name." cannot go otherwise.
                std::wstring exact = child.compare(0, 4, L"\\\\?\\") == 0 ? child : L"\\\\?\\" + child;
                SetFileAttributesW(exact.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(exact.c_str());
            }
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    return RemoveDirectoryW(longPath.c_str()) != 0;
}
