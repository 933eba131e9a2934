// VQWin32Window: values under the window's own registry key.
#include "win32/window.h"

namespace {

// The key is created when missing and closed again by the caller.
HKEY OpenWindowKey(VQString& path, REGSAM access) {
    if (path.IsEmpty()) return nullptr;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.Text(), 0, nullptr, 0, access, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

}  // namespace

int VQWin32Window::ReadBlock16(const char* valueName, void* buffer16) {
    HKEY key = OpenWindowKey(registryKey, KEY_READ);
    if (!key) return 0;
    DWORD size = 16;
    LONG status = RegQueryValueExA(key, valueName, nullptr, nullptr, static_cast<BYTE*>(buffer16), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? static_cast<int>(size) : 0;
}

bool VQWin32Window::WriteBlock16(const char* valueName, const void* data16) {
    HKEY key = OpenWindowKey(registryKey, KEY_WRITE);
    if (!key) return false;
    LONG status = RegSetValueExA(key, valueName, 0, REG_BINARY, static_cast<const BYTE*>(data16), 16);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

int VQWin32Window::ReadValue(const wchar_t* valueName, void* buffer, int bufferBytes, DWORD* type) {
    if (type) *type = REG_NONE;
    if (bufferBytes < 0) return 0;
    HKEY key = OpenWindowKey(registryKey, KEY_READ);
    if (!key) return 0;
    DWORD size = static_cast<DWORD>(bufferBytes);
    DWORD stored = REG_NONE;
    LONG status = RegQueryValueExW(key, valueName, nullptr, &stored, static_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (type && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA)) *type = stored;
    return status == ERROR_SUCCESS ? static_cast<int>(size) : 0;
}

bool VQWin32Window::WriteValue(const wchar_t* valueName, const void* data, int bytes, DWORD type) {
    if (bytes < 0) return false;
    HKEY key = OpenWindowKey(registryKey, KEY_WRITE);
    if (!key) return false;
    LONG status = RegSetValueExW(key, valueName, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(bytes));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}
