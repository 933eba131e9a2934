#include "tests/support/temp_dir.h"

#include <windows.h>

#include <atomic>

namespace {

std::wstring LongForm(const std::wstring& path) {
    // Deep test trees pass the classic 260-unit limit.
    if (path.size() >= 248 && path.compare(0, 4, L"\\\\?\\") != 0) return L"\\\\?\\" + path;
    return path;
}

}  // namespace

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
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(LongForm(child).c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(LongForm(child).c_str());
            }
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    return RemoveDirectoryW(longPath.c_str()) != 0;
}
