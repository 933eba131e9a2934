#include "tests/support/registry_key.h"

#include "tests/support/temp_dir.h"

#include <winternl.h>

#include <atomic>
#include <cstring>

namespace {

void CreateEmptyKey(const std::string& path) {
    RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        RegCloseKey(key);
    }
}

}  // namespace

TestRegistryKey::TestRegistryKey() {
    static std::atomic<int> counter{0};
    path = "Software\\QuenbrixTests\\key_" + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(GetTickCount()) + "_" + std::to_string(counter++);
    CreateEmptyKey(path);
}

TestRegistryKey::TestRegistryKey(const std::string& keyPath) : path(keyPath) { CreateEmptyKey(path); }

TestRegistryKey::~TestRegistryKey() {
    RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

namespace {

// Value names are ASCII; the wide calls keep REG_SZ data as the UTF-16 bytes
// the program stores (the narrow ones would convert it).
std::wstring WideName(const char* name) { return std::wstring(name, name + strlen(name)); }

}  // namespace

bool TestRegistryKey::Read(const char* valueName, std::string* bytes, DWORD* type) const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    // The stored bytes exactly as they are: Wine's RegQueryValueExW makes
    // room for a terminator that text stored without one does not have.
    typedef LONG(WINAPI * QueryValue)(HANDLE, UNICODE_STRING*, int, void*, ULONG, ULONG*);
    static QueryValue query =
        reinterpret_cast<QueryValue>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryValueKey"));
    std::wstring name = WideName(valueName);
    UNICODE_STRING ntName;
    ntName.Buffer = &name[0];
    ntName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    ntName.MaximumLength = ntName.Length;
    struct PartialInformation {
        ULONG titleIndex;
        ULONG type;
        ULONG dataLength;
        UCHAR data[1];
    };
    const int kPartialInformation = 2;
    std::string info(sizeof(PartialInformation) + 65536, '\0');
    ULONG got = 0;
    LONG status = query(key, &ntName, kPartialInformation, &info[0], static_cast<ULONG>(info.size()), &got);
    RegCloseKey(key);
    if (status != 0) return false;
    const auto* partial = reinterpret_cast<const PartialInformation*>(info.data());
    *type = partial->type;
    bytes->assign(reinterpret_cast<const char*>(partial->data), partial->dataLength);
    return true;
}

bool TestRegistryKey::Write(const char* valueName, DWORD type, const void* data, DWORD size) const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS) return false;
    LONG status = RegSetValueExW(key, WideName(valueName).c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

std::string ExportedRegistryKey(const std::wstring& key, const std::wstring& file) {
    DeleteFileW(file.c_str());
    std::wstring line = L"reg.exe export \"HKCU\\" + key + L"\" \"" + file + L"\" /y";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        return std::string();
    }
    DWORD waited = WaitForSingleObject(process.hProcess, 120000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return waited == WAIT_OBJECT_0 ? TempDir::ReadWholeFile(file) : std::string();
}

namespace {

// One try of reg query; false when reg.exe did not start or did not end well.
bool QueryOnce(const std::wstring& key, const std::wstring& file, std::wstring& text) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    std::wstring line = L"reg.exe query \"HKCU\\" + key + L"\" /s";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = out;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                                  &startup, &process);
    CloseHandle(out);
    if (!started) return false;
    DWORD waited = WaitForSingleObject(process.hProcess, 120000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (waited != WAIT_OBJECT_0 || code != 0) return false;
    std::string bytes = TempDir::ReadWholeFile(file);
    UINT codePage = GetConsoleOutputCP() ? GetConsoleOutputCP() : GetOEMCP();
    int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    text.assign(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], n);
    return true;
}

}  // namespace

std::wstring QueriedRegistryKey(const std::wstring& key, const std::wstring& file) {
    // Under load Wine now and then fails to start a process at all: that is
    // the harness's trouble, so reg.exe is tried once more. A key that is not
    // there fails both tries and reads as empty.
    std::wstring text;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0) Sleep(500);
        if (QueryOnce(key, file, text)) return text;
    }
    return std::wstring();
}
