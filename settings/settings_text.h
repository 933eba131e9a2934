// The settings text store: named sections of ordered key/value pairs, and the
// reader and writer of their UTF-16 text file form.
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

class VQSettingsText {
public:
    // Longest name or value the store accepts from a caller.
    enum { kMaxNameLength = 1024 };

    VQSettingsText();
    ~VQSettingsText();
    VQSettingsText(const VQSettingsText&) = delete;
    VQSettingsText& operator=(const VQSettingsText&) = delete;

    void Release();
    void Reset();
    // Takes ownership of the file: it is closed and deleted before returning.
    // On failure the store is left reset.
    bool Load(VQFile* file);
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
    bool ReserveForFile(int64_t fileLength);
    void DropKeyBlock();
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
};
