#include "tests/support/registry_key.h"

#include <atomic>

TestRegistryKey::TestRegistryKey() {
    static std::atomic<int> counter{0};
    path = "Software\\QuenbrixTests\\key_" + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(GetTickCount()) + "_" + std::to_string(counter++);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        RegCloseKey(key);
    }
}

TestRegistryKey::~TestRegistryKey() {
    RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

bool TestRegistryKey::Read(const char* valueName, std::string* bytes, DWORD* type) const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, valueName, nullptr, type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        bytes->assign(size, '\0');
        status = RegQueryValueExA(key, valueName, nullptr, type, reinterpret_cast<BYTE*>(&(*bytes)[0]), &size);
        bytes->resize(size);
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool TestRegistryKey::Write(const char* valueName, DWORD type, const void* data, DWORD size) const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS) return false;
    LONG status = RegSetValueExA(key, valueName, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}
