// A fresh registry key of a test's own under HKEY_CURRENT_USER\Software,
// deleted with everything below it when the object goes, so that tests never
// touch the program's real key (except the end-to-end tests, which start the
// program itself and empty its key first).
#pragma once

#include <windows.h>

#include <string>

class TestRegistryKey {
public:
    TestRegistryKey();
    // The key at `path` below HKEY_CURRENT_USER, for a program that has a key
    // of its own: emptied now, and removed when the object goes.
    explicit TestRegistryKey(const std::string& path);
    ~TestRegistryKey();
    TestRegistryKey(const TestRegistryKey&) = delete;
    TestRegistryKey& operator=(const TestRegistryKey&) = delete;

    // The key's path below HKEY_CURRENT_USER (narrow, as the window base wants it).
    const std::string& Path() const { return path; }
    // A value's stored bytes and type; false when it is missing.
    bool Read(const char* valueName, std::string* bytes, DWORD* type) const;
    bool Write(const char* valueName, DWORD type, const void* data, DWORD size) const;

private:
    std::string path;
};

// The key below HKEY_CURRENT_USER whole, as `reg export` writes it to file
// (a path of the test's); empty when the export failed.
std::string ExportedRegistryKey(const std::wstring& key, const std::wstring& file);
// What `reg query KEY /s` prints for the key below HKEY_CURRENT_USER and all
// below it, read through a file of the test's (its text in the console's code
// page); empty when the query failed or found nothing.
std::wstring QueriedRegistryKey(const std::wstring& key, const std::wstring& file);
