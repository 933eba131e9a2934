#include "settings/settings_store.h"

#include <cwchar>

#include "base/files.h"
#include "settings/settings_text.h"

const wchar_t kSettingsSection[] = L"Quenbrix";

namespace {

const wchar_t kWindowSection[] = L"Window";
const wchar_t kHistorySection[] = L"History";
// Entries of a list the file store reads back; a history keeps far fewer.
const int kMaxListEntries = 100;

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// Decimal digits only, at most nine of them.
bool ParseDecimal(const wchar_t* text, DWORD& number) {
    size_t length = wcslen(text);
    if (length == 0 || length > 9 || wcsspn(text, L"0123456789") != length) return false;
    number = static_cast<DWORD>(_wtoi(text));
    return true;
}

VQWString Widen(const char* name) {
    VQWString wide;
    for (const char* c = name; *c; ++c) wide.Append(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
    return wide;
}

class RegistryStore : public SettingsStore {
public:
    explicit RegistryStore(const char* keyPath) : path(keyPath ? keyPath : "") {}

    ReadResult ReadText(const wchar_t* name, int limit, VQWString& text) override {
        text = L"";
        HKEY key = Open(KEY_READ);
        if (!key) return kAbsent;
        // The size and type first: a value that would not fit is left alone, not read in part.
        DWORD type = REG_NONE, size = 0;
        LONG status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
        ReadResult result = kAbsent;
        if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
            result = kUnreadable;
            DWORD bytes = static_cast<DWORD>(limit + 1) * sizeof(wchar_t);
            if (IsTextType(type) && size <= bytes) {
                // Room for the limit and a terminator the data may carry; the
                // data need not have one, and a NUL inside it ends the text.
                std::vector<wchar_t> buffer(static_cast<size_t>(limit) + 2, L'\0');
                DWORD got = bytes;
                if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got) ==
                        ERROR_SUCCESS &&
                    IsTextType(type)) {
                    int units = static_cast<int>(got / sizeof(wchar_t));
                    if (units <= limit || buffer[limit] == L'\0') {
                        buffer[units > limit ? limit : units] = L'\0';
                        text = buffer.data();
                        result = kRead;
                    }
                }
            }
        }
        RegCloseKey(key);
        return result;
    }

    ReadResult ReadNumber(const wchar_t* name, DWORD& number) override {
        HKEY key = Open(KEY_READ);
        if (!key) return kAbsent;
        DWORD type = REG_NONE, value = 0, size = sizeof value;
        LONG status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        if (status == ERROR_FILE_NOT_FOUND) return kAbsent;
        if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return kUnreadable;
        number = value;
        return kRead;
    }

    bool WriteText(const wchar_t* name, const VQWString& text) override {
        return Write(name, REG_SZ, text.Text(), text.GetLength(true) + static_cast<int>(sizeof(wchar_t)));
    }

    bool WriteNumber(const wchar_t* name, DWORD number) override {
        return Write(name, REG_DWORD, &number, sizeof number);
    }

    bool ReadBlock16(const char* name, void* block) override {
        HKEY key = Open(KEY_READ);
        if (!key) return false;
        DWORD size = 16, type = REG_NONE;
        LONG status = RegQueryValueExA(key, name, nullptr, &type, static_cast<BYTE*>(block), &size);
        RegCloseKey(key);
        return status == ERROR_SUCCESS && size == 16;
    }

    bool WriteBlock16(const char* name, const void* block) override {
        HKEY key = Create();
        if (!key) return false;
        LONG status = RegSetValueExA(key, name, 0, REG_BINARY, static_cast<const BYTE*>(block), 16);
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }

    // REG_BINARY, the numbers one after another.
    bool ReadNumbers(const char* name, int count, int32_t* numbers) override {
        if (count <= 0) return false;
        HKEY key = Open(KEY_READ);
        if (!key) return false;
        DWORD bytes = static_cast<DWORD>(count) * sizeof(int32_t), size = bytes, type = REG_NONE;
        std::vector<int32_t> stored(static_cast<size_t>(count));
        LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(stored.data()), &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS || type != REG_BINARY || size != bytes) return false;
        memcpy(numbers, stored.data(), bytes);
        return true;
    }

    bool WriteNumbers(const char* name, int count, const int32_t* numbers) override {
        HKEY key = Create();
        if (!key || count <= 0) {
            if (key) RegCloseKey(key);
            return false;
        }
        LONG status = RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(numbers),
                                     static_cast<DWORD>(count) * sizeof(int32_t));
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }

    // REG_MULTI_SZ: the texts one after another, each with its NUL, and one more.
    std::vector<VQWString> ReadList(const wchar_t* name) override {
        std::vector<VQWString> values;
        HKEY key = Open(KEY_READ);
        if (!key) return values;
        DWORD type = REG_NONE, size = 0;
        LONG status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
        if (status == ERROR_SUCCESS && type == REG_MULTI_SZ && size <= 4 * 1024 * 1024) {
            std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
            if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) ==
                    ERROR_SUCCESS &&
                type == REG_MULTI_SZ) {
                size_t units = size / sizeof(wchar_t);
                for (size_t i = 0; i < units && buffer[i];) {
                    size_t length = wcsnlen(&buffer[i], units - i);
                    values.push_back(VQWString().Append(&buffer[i], static_cast<int>(length)));
                    i += length + 1;
                }
            }
        }
        RegCloseKey(key);
        return values;
    }

    bool WriteList(const wchar_t* name, const std::vector<VQWString>& values) override {
        std::vector<wchar_t> data;
        for (const VQWString& value : values) {
            if (value.IsEmpty()) continue;
            data.insert(data.end(), value.Text(), value.Text() + value.GetLength());
            data.push_back(L'\0');
        }
        data.push_back(L'\0');
        return Write(name, REG_MULTI_SZ, data.data(), static_cast<int>(data.size() * sizeof(wchar_t)));
    }

    bool Flush() override { return !path.empty(); }

private:
    // The key is made on the first read too, as the program always did.
    HKEY Open(REGSAM access) {
        HKEY key = nullptr;
        if (path.empty() || RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, access, nullptr, &key,
                                            nullptr) != ERROR_SUCCESS) {
            return nullptr;
        }
        return key;
    }

    HKEY Create() {
        HKEY key = nullptr;
        if (path.empty() || RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                            nullptr) != ERROR_SUCCESS) {
            return nullptr;
        }
        return key;
    }

    bool Write(const wchar_t* name, DWORD type, const void* data, int bytes) {
        HKEY key = Create();
        if (!key) return false;
        LONG status = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(bytes));
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }

    std::string path;
};

class FileStore : public SettingsStore {
public:
    FileStore(const VQWString& filePath, bool mayWrite, SettingsFileState* state)
        : path(filePath.DeepCopy()), writable(mayWrite) {
        SettingsFileState opened = kSettingsFileReady;
        WIN32_FILE_ATTRIBUTE_DATA data;
        bool exists = GetFileAttributesExW(SystemForm(path).Text(), GetFileExInfoStandard, &data) != 0;
        bool empty = exists && data.nFileSizeLow == 0 && data.nFileSizeHigh == 0;
        if (exists && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            opened = kSettingsFileUnreadable;
        } else if (exists && !empty) {
            VQFile* file = NewFile(SystemForm(path).Text(), kFileShareRead);
            // A file that does not load whole would lose the rest when rewritten.
            if (!file || !text.Load(file) || !text.LoadedWhole()) {
                text.Reset();
                opened = kSettingsFileUnreadable;
            }
        } else if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND) {
            opened = kSettingsFileUnreadable;
        }
        if (opened == kSettingsFileUnreadable) writable = false;
        if (opened == kSettingsFileReady && !writable) opened = kSettingsFileReadOnly;
        if (state) *state = opened;
    }

    ReadResult ReadText(const wchar_t* name, int limit, VQWString& value) override {
        value = L"";
        VQSettingsKey* key = nullptr;
        ReadResult found = Find(kSettingsSection, name, &key);
        if (found != kRead) return found;
        if (wcslen(key->value) > static_cast<size_t>(limit)) return kUnreadable;
        value = key->value;
        return kRead;
    }

    ReadResult ReadNumber(const wchar_t* name, DWORD& number) override {
        VQSettingsKey* key = nullptr;
        ReadResult found = Find(kSettingsSection, name, &key);
        if (found != kRead) return found;
        return ParseDecimal(key->value, number) ? kRead : kUnreadable;
    }

    bool WriteText(const wchar_t* name, const VQWString& value) override {
        return Set(kSettingsSection, name, value.Text());
    }

    bool WriteNumber(const wchar_t* name, DWORD number) override {
        wchar_t digits[16];
        wsprintfW(digits, L"%lu", static_cast<unsigned long>(number));
        return Set(kSettingsSection, name, digits);
    }

    // "left,top,right,bottom" in decimal, each may be negative.
    bool ReadBlock16(const char* name, void* block) override {
        int32_t parts[4];
        if (!ReadNumbers(name, 4, parts)) return false;
        memcpy(block, parts, 16);
        return true;
    }

    bool WriteBlock16(const char* name, const void* block) override {
        int32_t parts[4];
        memcpy(parts, block, 16);
        return WriteNumbers(name, 4, parts);
    }

    // The numbers in decimal, with commas between.
    bool ReadNumbers(const char* name, int count, int32_t* numbers) override {
        VQSettingsKey* key = nullptr;
        if (count <= 0 || Find(kWindowSection, Widen(name).Text(), &key) != kRead) return false;
        std::vector<int32_t> parts;
        const wchar_t* at = key->value;
        for (int i = 0; i < count; ++i) {
            wchar_t* end = nullptr;
            long value = wcstol(at, &end, 10);
            if (end == at || (i < count - 1 ? *end != L',' : *end != L'\0')) return false;
            parts.push_back(static_cast<int32_t>(value));
            at = end + 1;
        }
        memcpy(numbers, parts.data(), parts.size() * sizeof(int32_t));
        return true;
    }

    bool WriteNumbers(const char* name, int count, const int32_t* numbers) override {
        if (count <= 0) return false;
        VQWString value;
        for (int i = 0; i < count; ++i) {
            wchar_t number[16];
            wsprintfW(number, i > 0 ? L",%ld" : L"%ld", static_cast<long>(numbers[i]));
            value.Append(number);
        }
        return Set(kWindowSection, Widen(name).Text(), value.Text());
    }

    // Keys name1, name2, ... in order; an empty one is a place left free.
    std::vector<VQWString> ReadList(const wchar_t* name) override {
        std::vector<VQWString> values;
        for (int i = 1; i <= kMaxListEntries; ++i) {
            VQSettingsKey* key = nullptr;
            if (Find(kHistorySection, ItemName(name, i).Text(), &key) != kRead) continue;
            if (key->value[0]) values.push_back(VQWString(key->value));
        }
        return values;
    }

    bool WriteList(const wchar_t* name, const std::vector<VQWString>& values) override {
        int slot = 1;
        for (const VQWString& value : values) {
            if (value.IsEmpty() || slot > kMaxListEntries) continue;
            if (!Set(kHistorySection, ItemName(name, slot++).Text(), value.Text())) return false;
        }
        // The store cannot drop a key: those after the list are emptied.
        for (; slot <= kMaxListEntries; ++slot) {
            VQSettingsKey* key = nullptr;
            if (Find(kHistorySection, ItemName(name, slot).Text(), &key) == kRead && key->value[0]) {
                if (!Set(kHistorySection, ItemName(name, slot).Text(), L"")) return false;
            }
        }
        return true;
    }

    bool Flush() override {
        if (!writable) return false;
        if (!changed) return true;
        if (!ReplaceWholeFile(SystemForm(path).Text(), [&](const wchar_t* tempPath) { return text.Save(tempPath); })) {
            return false;
        }
        changed = false;
        return true;
    }

private:
    static VQWString ItemName(const wchar_t* name, int index) {
        VQWString item;
        return item.Format(L"%s%d", name, index);
    }

    // The section is looked up by its whole name: the store's own lookup
    // takes the first whose name begins with it.
    VQSettingsSection* Section(const wchar_t* name) {
        for (int i = 0; i < text.GetSectionCount(); ++i) {
            VQSettingsSection* section = text.GetSection(i);
            if (section && _wcsicmp(section->name, name) == 0) return section;
        }
        return nullptr;
    }

    ReadResult Find(const wchar_t* sectionName, const wchar_t* name, VQSettingsKey** key) {
        VQSettingsSection* section = Section(sectionName);
        if (!section) return kAbsent;
        *key = text.FindKey(section, name);
        if (*key) return kRead;
        return text.WasKeyDropped(section, name) ? kUnreadable : kAbsent;
    }

    bool Set(const wchar_t* sectionName, const wchar_t* name, const wchar_t* value) {
        if (!writable) return false;
        if (wcslen(name) >= VQSettingsText::kMaxNameLength || wcslen(value) > VQSettingsText::kMaxNameLength) {
            return false;
        }
        VQSettingsSection* section = Section(sectionName);
        if (!section) section = text.FindSection(sectionName, true);
        if (!section) return false;
        VQSettingsKey* key = text.FindKey(section, name);
        if (key && wcscmp(key->value, value) == 0) return true;
        // FindSection gave a pointer into the section block, which SetValue does not grow.
        if (!text.SetValue(section, name, value)) return false;
        changed = true;
        return true;
    }

    VQWString path;
    bool writable;
    bool changed = false;
    VQSettingsText text;
};

bool g_portableRequested = false;

VQWString EnvironmentFolder(const wchar_t* variable, const wchar_t* below) {
    wchar_t folder[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(variable, folder, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return VQWString();
    VQWString path(folder);
    path.Append(below);
    return path;
}

bool IsFile(const VQWString& path) {
    DWORD attributes = GetFileAttributesW(SystemForm(path).Text());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Made (when missing) and a file of this process's own created and removed in it.
bool CanWriteIn(const VQWString& folder) {
    if (!CreateFolders(folder)) return false;
    VQWString probe;
    probe.Format(L"%s\\~write-check-%lu.tmp", folder.Text(), static_cast<unsigned long>(GetCurrentProcessId()));
    HANDLE file = CreateFileW(SystemForm(probe).Text(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool wrote = WriteFile(file, "x", 1, &written, nullptr) && written == 1;
    CloseHandle(file);
    DeleteFileW(SystemForm(probe).Text());
    return wrote;
}

}  // namespace

std::unique_ptr<SettingsStore> NewRegistryStore(const char* keyPath) {
    return std::unique_ptr<SettingsStore>(new RegistryStore(keyPath));
}

std::unique_ptr<SettingsStore> NewFileStore(const VQWString& path, bool writable, SettingsFileState* state) {
    return std::unique_ptr<SettingsStore>(new FileStore(path, writable, state));
}

void RequestPortableMode() { g_portableRequested = true; }

bool IsPortableModeRequested() { return g_portableRequested; }

StoragePlace FindStoragePlace(const VQWString& programFolder, bool requested) {
    StoragePlace place;
    VQWString settingsFile = programFolder;
    settingsFile.Append(L"Quenbrix.ini");
    place.portable = requested || IsFile(settingsFile);
    if (!place.portable) {
        place.dataFolder = EnvironmentFolder(L"LOCALAPPDATA", L"\\Quenbrix");
        place.jobsFolder = EnvironmentFolder(L"APPDATA", L"\\Quenbrix\\jobs");
        return place;
    }
    place.settingsFile = settingsFile;
    VQWString data = programFolder;
    data.Append(L"Quenbrix-data");
    place.jobsFolder = data;
    place.jobsFolder.Append(L"\\jobs");
    place.unwritable = !CanWriteIn(data);
    // Jobs already there can still be read from a read-only medium.
    if (!place.unwritable) place.dataFolder = data;
    return place;
}

VQWString ProgramFolder() {
    for (DWORD size = MAX_PATH; size <= 65536; size *= 2) {
        std::vector<wchar_t> buffer(size);
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (n == 0) return VQWString();
        if (n >= size) continue;
        while (n > 0 && buffer[n - 1] != L'\\' && buffer[n - 1] != L'/') --n;
        return VQWString().Append(buffer.data(), static_cast<int>(n));
    }
    return VQWString();
}

const StoragePlace& CurrentStoragePlace() {
    static StoragePlace place = FindStoragePlace(ProgramFolder(), g_portableRequested);
    return place;
}
