// A fresh folder under the system's temporary directory, removed with all
// its contents when the object goes.
#pragma once

#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& Path() const { return path; }
    // Path() + "\" + name.
    std::wstring Join(const std::wstring& name) const;
    // Writes the bytes to Join(name), creating folders on the way; returns the full path.
    std::wstring WriteFile(const std::wstring& name, const std::string& bytes) const;
    // The bytes, then zeros up to `length` bytes that take no room on disk.
    std::wstring WriteSparseFile(const std::wstring& name, const std::string& bytes, long long length) const;
    std::string ReadFile(const std::wstring& name) const;
    std::wstring MakeDir(const std::wstring& name) const;
    // A folder link Join(name) that leads to target (a symbolic link; under
    // Wine, which cannot make one itself, a link of the system below it).
    // Returns its full path, or empty when no link could be made.
    std::wstring MakeFolderLink(const std::wstring& name, const std::wstring& target) const;

    static std::string ReadWholeFile(const std::wstring& path);
    static bool RemoveTree(const std::wstring& path);

private:
    std::wstring path;
};
