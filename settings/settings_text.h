// The settings text store: named sections of ordered key/value pairs, and the
// reader and writer of their UTF-16 text file form. The reader takes UTF-8
// text too; the writer always writes UTF-16.
//
// Every name and value lives in a fixed-size record; the records sit in two
// movable global memory blocks (one for sections, one for keys) and keys are
// chained per section by record index, so nothing is allocated per string.
// A pointer handed out by FindSection, FindKey, GetSection or GetKey stays
// valid until its block grows (a section or key is added) or the store is
// loaded, reset or released.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class VQFile;

struct VQSettingsSection {
    wchar_t name[1028];  // NUL-terminated; empty for section 0
    int32_t firstKey;    // index in the key block, -1 when none
    int32_t lastKey;     // -1 when none
};

struct VQSettingsKey {
    int32_t previousKey;  // -1 for the section's first key
    int32_t nextKey;      // -1 for its last key
    wchar_t name[1028];   // NUL-terminated
    wchar_t value[1028];  // NUL-terminated; empty: a key without value
};

// How the last Load ended.
enum VQSettingsLoadStatus {
    kSettingsLoaded,         // the store holds the file (see GetDroppedLines)
    kSettingsNoFile,         // no file was given
    kSettingsTooLarge,       // over kMaxFileBytes, or more records than a load may make
    kSettingsNotText,        // neither UTF-16 with its mark nor UTF-8, or a broken section header
    kSettingsReadError,      // the file could not be read to its end
    kSettingsOutOfMemory,    // a record block could not grow
};

class VQSettingsText {
public:
    // Longest name or value the store accepts from a caller.
    enum { kMaxNameLength = 1024 };
    // Largest file Load reads.
    static constexpr int64_t kMaxFileBytes = 16 * 1024 * 1024;
    // Most records a load makes: the records have fixed sizes (a key takes
    // about 4 KiB), so the file's length alone does not bound the memory.
    // These keep a load under about 1.3 GiB.
    enum { kMaxLoadSections = 131072, kMaxLoadKeys = 262144 };

    VQSettingsText();
    ~VQSettingsText();
    VQSettingsText(const VQSettingsText&) = delete;
    VQSettingsText& operator=(const VQSettingsText&) = delete;

    void Release();
    void Reset();
    // Takes ownership of the file: it is closed and deleted before returning.
    // On failure the store is left reset; GetLoadStatus tells why.
    bool Load(VQFile* file);
    VQSettingsLoadStatus GetLoadStatus() const { return loadStatus; }
    // Lines the last successful Load left out because of the limits: a line
    // longer than the 2048-unit reading window, a key of 1024 units or more,
    // a value over 1024 units, a raw block line of 1024 units or more.
    int GetDroppedLines() const { return droppedLines; }
    // The last Load succeeded and left nothing out: a Save keeps all of it.
    bool LoadedWhole() const { return loadStatus == kSettingsLoaded && droppedLines == 0; }
    // Whether the last Load left out a line of the key `name` (ASCII case
    // ignored) in `section`.
    bool WasKeyDropped(VQSettingsSection* section, const wchar_t* name);
    // Lower record limits for a load, for tests; at most the defaults count.
    void SetLoadLimits(int maxSections, int maxKeys);
    // False when the file cannot be created or any write, the flush or the
    // close fails.
    bool Save(const wchar_t* path);

    // The first section whose name begins with `name` (ASCII case ignored).
    VQSettingsSection* FindSection(const wchar_t* name, bool create);
    VQSettingsKey* FindKey(VQSettingsSection* section, const wchar_t* name);
    bool SetValue(VQSettingsSection* section, const wchar_t* name, const wchar_t* value);

    int GetSectionCount() const { return sectionCount; }
    int GetSectionCapacity() const { return sectionCapacity; }
    int GetKeyCount() const { return keyCount; }
    int GetKeyCapacity() const { return keyCapacity; }
    // Records by index; null when out of range.
    VQSettingsSection* GetSection(int index);
    VQSettingsKey* GetKey(int index);

private:
    friend class VQSettingsReader;

    bool EnsureSectionTable();
    bool GrowSections(int needed, int step);
    bool GrowKeys(int needed, int step);
    // Room for this many more sections and keys.
    bool ReserveRecords(int sections, int keys);
    void DropKeyBlock();
    VQSettingsLoadStatus LoadFrom(VQFile* file);
    int FindSectionIndex(const wchar_t* name, int length);
    int AppendSection(const wchar_t* name, int length);
    int AppendKey(int section, const wchar_t* name, int nameLength, const wchar_t* value, int valueLength);
    int SectionIndexOf(const VQSettingsSection* section);

    int32_t sectionCount;
    int32_t sectionCapacity;
    HGLOBAL sectionBlock;  // owned: GMEM_MOVEABLE, freed by Release
    int32_t keyCount;
    int32_t keyCapacity;
    HGLOBAL keyBlock;  // owned: GMEM_MOVEABLE, freed by Release

    struct DroppedKey {
        int section;
        std::wstring name;
    };
    VQSettingsLoadStatus loadStatus;
    int droppedLines;
    std::vector<DroppedKey> droppedKeys;  // of the last Load
    int maxLoadSections;
    int maxLoadKeys;
};
