// Where the program keeps what it keeps between starts, behind one interface:
// the job settings, the window's place and the command fields' history. Two
// stores: the registry (HKCU\<key>, as the program always kept them), and the
// portable file (Quenbrix.ini beside the program, in the settings-file form:
// section "Quenbrix" holds the job keys as a settings file does, sections
// "Window" and "History" the rest).
//
// And where the program keeps its files: the data folder (kept list, results)
// and the jobs folder, which follow the same choice (StoragePlace).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "base/strings.h"

class SettingsStore {
public:
    enum ReadResult {
        kAbsent,      // no such value: the default
        kRead,        // the value, whole
        kUnreadable,  // there, but of the wrong type, too long or not a number
    };

    virtual ~SettingsStore() = default;

    // A text of at most `limit` units.
    virtual ReadResult ReadText(const wchar_t* name, int limit, VQWString& text) = 0;
    virtual ReadResult ReadNumber(const wchar_t* name, DWORD& number) = 0;
    virtual bool WriteText(const wchar_t* name, const VQWString& text) = 0;
    virtual bool WriteNumber(const wchar_t* name, DWORD number) = 0;
    // 16 bytes (a RECT, for the window's place); false when there is no whole one.
    virtual bool ReadBlock16(const char* name, void* block) = 0;
    virtual bool WriteBlock16(const char* name, const void* block) = 0;
    // Exactly `count` numbers (the table's columns); false when there are
    // not that many, or they are of another form. Kept with the window's place.
    virtual bool ReadNumbers(const char* name, int count, int32_t* numbers) = 0;
    virtual bool WriteNumbers(const char* name, int count, const int32_t* numbers) = 0;
    // A list of texts, in order (a history); empty when absent or unreadable.
    virtual std::vector<VQWString> ReadList(const wchar_t* name) = 0;
    virtual bool WriteList(const wchar_t* name, const std::vector<VQWString>& values) = 0;
    // Makes what was written lasting: the portable file is rewritten whole
    // (the registry writes at once). False when nothing may be written or
    // the write failed.
    virtual bool Flush() = 0;
};

// Values under HKEY_CURRENT_USER\keyPath, the key made when first opened.
// An empty path reads nothing and writes nothing.
std::unique_ptr<SettingsStore> NewRegistryStore(const char* keyPath);

// How the portable file stood when it was opened.
enum SettingsFileState {
    kSettingsFileReady,       // read (or empty, or absent): it is rewritten by Flush
    kSettingsFileUnreadable,  // there but not readable as a settings file: defaults, never written
    kSettingsFileReadOnly,    // its folder cannot be written: read, never written
};

// The portable file at path. With writable false nothing is ever written.
std::unique_ptr<SettingsStore> NewFileStore(const VQWString& path, bool writable, SettingsFileState* state);

// The section the job settings have in a settings file.
extern const wchar_t kSettingsSection[];

// Where this start keeps its things.
struct StoragePlace {
    bool portable = false;
    VQWString settingsFile;  // portable: ...\Quenbrix.ini; empty in the registry mode
    VQWString dataFolder;    // kept list and results; empty: nothing is kept
    VQWString jobsFolder;    // named jobs; empty: none can be kept
    // Portable mode only: the folder beside the program cannot be written
    // (a read-only medium). The program says so once and keeps nothing.
    bool unwritable = false;
};

// /portable: the start keeps everything beside the program even without a
// Quenbrix.ini there. Called by start-up before the window exists.
void RequestPortableMode();
bool IsPortableModeRequested();

// The place for a program in programFolder (ends with "\"): portable when
// programFolder holds Quenbrix.ini or `requested`; otherwise the registry
// with %LOCALAPPDATA%\Quenbrix and %APPDATA%\Quenbrix\jobs. In portable mode
// the data folder is made (Quenbrix-data) and tried with a file of its own.
StoragePlace FindStoragePlace(const VQWString& programFolder, bool requested);
// The place of this process: its own folder and the request above; found
// once, the same answer after.
const StoragePlace& CurrentStoragePlace();
// The folder of the running program, ending with "\".
VQWString ProgramFolder();
