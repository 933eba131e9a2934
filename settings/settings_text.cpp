#include "settings/settings_text.h"

#include <cstring>
#include <cwchar>

#include "base/files.h"
#include "base/strings.h"

namespace {

const UINT kBlockFlags = GMEM_MOVEABLE | GMEM_ZEROINIT;
const int kSectionStep = 4;
const int kKeyStep = 16;

// Holds a movable block locked for the lifetime of one operation.
template <class T>
class BlockLock {
public:
    explicit BlockLock(HGLOBAL block)
        : block(block), records(block ? static_cast<T*>(GlobalLock(block)) : nullptr) {}
    ~BlockLock() {
        if (records) GlobalUnlock(block);
    }
    BlockLock(const BlockLock&) = delete;
    BlockLock& operator=(const BlockLock&) = delete;

    T* Records() const { return records; }

private:
    HGLOBAL block;  // borrowed from the store
    T* records;
};

// Grows (or first allocates) a block to newCapacity records, keeping its
// contents. A failed allocation frees the block and leaves it empty.
bool GrowBlock(HGLOBAL* block, int32_t* count, int32_t* capacity, int64_t newCapacity, size_t recordSize) {
    HGLOBAL grown = nullptr;
    if (newCapacity > *capacity && newCapacity <= INT32_MAX &&
        static_cast<uint64_t>(newCapacity) <= SIZE_MAX / recordSize) {
        SIZE_T bytes = static_cast<SIZE_T>(newCapacity) * recordSize;
        grown = *block ? GlobalReAlloc(*block, bytes, kBlockFlags) : GlobalAlloc(kBlockFlags, bytes);
    }
    if (!grown) {
        if (*block) GlobalFree(*block);
        *block = nullptr;
        *count = 0;
        *capacity = 0;
        return false;
    }
    *block = grown;
    *capacity = static_cast<int32_t>(newCapacity);
    return true;
}

// Small blocks grow by the fixed step; from 256 records on they double, so
// that a file with many more keys than its length suggests still loads in
// linear time (every growth copies the whole block).
int64_t GrowthStep(int32_t capacity, int fixedStep) { return capacity < 256 ? fixedStep : capacity; }

int FieldLength(const wchar_t* field) { return static_cast<int>(wcsnlen(field, 1028)); }

void CopyField(wchar_t* field, const wchar_t* text, int length) {
    if (length > 0) std::memcpy(field, text, length * sizeof(wchar_t));
    field[length] = 0;
}

bool SameNameNoCase(const wchar_t* a, int aLength, const wchar_t* b, int bLength) {
    return aLength == bLength && VQWString::CompareNoCase(a, aLength, b, bLength, aLength) == 0;
}

bool WriteUnits(VQFile* file, const wchar_t* text, int length) {
    return length == 0 || file->Write(text, length * static_cast<int>(sizeof(wchar_t)));
}

bool WriteText(VQFile* file, const wchar_t* text) { return WriteUnits(file, text, static_cast<int>(wcslen(text))); }

}  // namespace

VQSettingsText::VQSettingsText()
    : sectionCount(0),
      sectionCapacity(0),
      sectionBlock(nullptr),
      keyCount(0),
      keyCapacity(0),
      keyBlock(nullptr),
      loadStatus(kSettingsNoFile),
      droppedLines(0),
      maxLoadSections(kMaxLoadSections),
      maxLoadKeys(kMaxLoadKeys) {
    EnsureSectionTable();
}

VQSettingsText::~VQSettingsText() { Release(); }

void VQSettingsText::Release() {
    if (sectionBlock) GlobalFree(sectionBlock);
    if (keyBlock) GlobalFree(keyBlock);
    sectionBlock = nullptr;
    keyBlock = nullptr;
    sectionCount = sectionCapacity = 0;
    keyCount = keyCapacity = 0;
}

void VQSettingsText::Reset() {
    keyCount = 0;
    BlockLock<VQSettingsSection> sections(sectionBlock);
    if (!sections.Records()) return;
    sectionCount = 1;
    VQSettingsSection& first = sections.Records()[0];
    first.name[0] = 0;
    first.firstKey = -1;
    first.lastKey = -1;
}

bool VQSettingsText::EnsureSectionTable() {
    if (sectionBlock) return true;
    if (!GrowBlock(&sectionBlock, &sectionCount, &sectionCapacity, kSectionStep, sizeof(VQSettingsSection))) {
        return false;
    }
    BlockLock<VQSettingsSection> sections(sectionBlock);
    if (!sections.Records()) return false;
    sections.Records()[0].firstKey = -1;
    sections.Records()[0].lastKey = -1;
    sectionCount = 1;
    return true;
}

bool VQSettingsText::GrowSections(int needed, int step) {
    if (sectionCapacity - sectionCount >= needed) return true;
    int64_t by = needed > step ? needed : step;
    return GrowBlock(&sectionBlock, &sectionCount, &sectionCapacity, int64_t(sectionCapacity) + by,
                     sizeof(VQSettingsSection));
}

bool VQSettingsText::GrowKeys(int needed, int step) {
    if (keyCapacity - keyCount >= needed) return true;
    int64_t by = needed > step ? needed : step;
    if (GrowBlock(&keyBlock, &keyCount, &keyCapacity, int64_t(keyCapacity) + by, sizeof(VQSettingsKey))) {
        return true;
    }
    DropKeyBlock();
    return false;
}

void VQSettingsText::DropKeyBlock() {
    // The keys are gone: no section may still point into them.
    BlockLock<VQSettingsSection> sections(sectionBlock);
    if (!sections.Records()) return;
    for (int i = 0; i < sectionCount; ++i) {
        sections.Records()[i].firstKey = -1;
        sections.Records()[i].lastKey = -1;
    }
}

bool VQSettingsText::ReserveRecords(int sections, int keys) {
    return GrowSections(sections, kSectionStep) && GrowKeys(keys, kKeyStep);
}

void VQSettingsText::SetLoadLimits(int maxSections, int maxKeys) {
    maxLoadSections = maxSections > 0 && maxSections < kMaxLoadSections ? maxSections : kMaxLoadSections;
    maxLoadKeys = maxKeys > 0 && maxKeys < kMaxLoadKeys ? maxKeys : kMaxLoadKeys;
}

bool VQSettingsText::WasKeyDropped(VQSettingsSection* section, const wchar_t* name) {
    int owner = SectionIndexOf(section);
    if (owner < 0 || !name) return false;
    int nameLength = static_cast<int>(wcsnlen(name, kMaxNameLength + 1));
    for (const DroppedKey& dropped : droppedKeys) {
        if (dropped.section == owner &&
            SameNameNoCase(dropped.name.c_str(), static_cast<int>(dropped.name.size()), name, nameLength)) {
            return true;
        }
    }
    return false;
}

int VQSettingsText::FindSectionIndex(const wchar_t* name, int length) {
    BlockLock<VQSettingsSection> sections(sectionBlock);
    if (!sections.Records()) return -1;
    for (int i = 0; i < sectionCount; ++i) {
        const wchar_t* candidate = sections.Records()[i].name;
        if (FieldLength(candidate) >= length &&
            VQWString::CompareNoCase(candidate, length, name, length, length) == 0) {
            return i;
        }
    }
    return -1;
}

int VQSettingsText::AppendSection(const wchar_t* name, int length) {
    if (length < 0 || length > kMaxNameLength) return -1;
    if (!EnsureSectionTable()) return -1;
    if (sectionCount == sectionCapacity &&
        !GrowSections(1, static_cast<int>(GrowthStep(sectionCapacity, kSectionStep)))) {
        return -1;
    }
    BlockLock<VQSettingsSection> sections(sectionBlock);
    if (!sections.Records()) return -1;
    int index = sectionCount;
    VQSettingsSection& section = sections.Records()[index];
    CopyField(section.name, name, length);
    section.firstKey = -1;
    section.lastKey = -1;
    ++sectionCount;
    return index;
}

int VQSettingsText::AppendKey(int section, const wchar_t* name, int nameLength, const wchar_t* value,
                              int valueLength) {
    if (section < 0 || section >= sectionCount) return -1;
    if (nameLength < 0 || nameLength > kMaxNameLength || valueLength < 0 || valueLength > kMaxNameLength) {
        return -1;
    }
    if (keyCount == keyCapacity && !GrowKeys(1, static_cast<int>(GrowthStep(keyCapacity, kKeyStep)))) {
        return -1;
    }
    BlockLock<VQSettingsSection> sections(sectionBlock);
    BlockLock<VQSettingsKey> keys(keyBlock);
    if (!sections.Records() || !keys.Records()) return -1;
    VQSettingsSection& owner = sections.Records()[section];
    int index = keyCount;
    VQSettingsKey& key = keys.Records()[index];
    key.previousKey = owner.lastKey;
    key.nextKey = -1;
    CopyField(key.name, name, nameLength);
    CopyField(key.value, value, valueLength);
    if (owner.lastKey >= 0) {
        keys.Records()[owner.lastKey].nextKey = index;
    } else {
        owner.firstKey = index;
    }
    owner.lastKey = index;
    ++keyCount;
    return index;
}

int VQSettingsText::SectionIndexOf(const VQSettingsSection* section) {
    if (!section) return -1;
    BlockLock<VQSettingsSection> sections(sectionBlock);
    const VQSettingsSection* first = sections.Records();
    if (!first || section < first || section >= first + sectionCount) return -1;
    return static_cast<int>(section - first);
}

VQSettingsSection* VQSettingsText::GetSection(int index) {
    if (index < 0 || index >= sectionCount) return nullptr;
    BlockLock<VQSettingsSection> sections(sectionBlock);
    return sections.Records() ? sections.Records() + index : nullptr;
}

VQSettingsKey* VQSettingsText::GetKey(int index) {
    if (index < 0 || index >= keyCount) return nullptr;
    BlockLock<VQSettingsKey> keys(keyBlock);
    return keys.Records() ? keys.Records() + index : nullptr;
}

VQSettingsSection* VQSettingsText::FindSection(const wchar_t* name, bool create) {
    if (!name) return nullptr;
    size_t length = wcslen(name);
    int index = FindSectionIndex(name, static_cast<int>(length > INT32_MAX ? INT32_MAX : length));
    if (index < 0 && create && length <= kMaxNameLength) {
        index = AppendSection(name, static_cast<int>(length));
    }
    return GetSection(index);
}

VQSettingsKey* VQSettingsText::FindKey(VQSettingsSection* section, const wchar_t* name) {
    int owner = SectionIndexOf(section);
    if (owner < 0 || !name) return nullptr;
    int nameLength = static_cast<int>(wcsnlen(name, kMaxNameLength + 1));
    BlockLock<VQSettingsKey> keys(keyBlock);
    if (!keys.Records()) return nullptr;
    // Bounded by the key count, so a damaged chain cannot loop forever.
    int index = section->firstKey;
    for (int steps = 0; index >= 0 && index < keyCount && steps < keyCount; ++steps) {
        VQSettingsKey& key = keys.Records()[index];
        if (SameNameNoCase(key.name, FieldLength(key.name), name, nameLength)) return &key;
        index = key.nextKey;
    }
    return nullptr;
}

bool VQSettingsText::SetValue(VQSettingsSection* section, const wchar_t* name, const wchar_t* value) {
    int owner = SectionIndexOf(section);
    if (owner < 0 || !name) return false;
    if (!value) value = L"";
    size_t nameLength = wcslen(name);
    size_t valueLength = wcslen(value);
    // Both are checked first so that a refused value adds no key.
    if (nameLength > kMaxNameLength || valueLength > kMaxNameLength) return false;
    VQSettingsKey* key = FindKey(section, name);
    if (!key) {
        int index = AppendKey(owner, name, static_cast<int>(nameLength), value, static_cast<int>(valueLength));
        return index >= 0;
    }
    CopyField(key->value, value, static_cast<int>(valueLength));
    return true;
}

bool VQSettingsText::Save(const wchar_t* path) {
    if (!path) return false;
    VQFile* file = NewFile(path, kFileWrite);
    if (!file) return false;
    bool ok = file->WriteUInt16(0xFEFF);
    {
        BlockLock<VQSettingsSection> sections(sectionBlock);
        BlockLock<VQSettingsKey> keys(keyBlock);
        for (int i = 0; ok && sections.Records() && i < sectionCount; ++i) {
            const VQSettingsSection& section = sections.Records()[i];
            if (section.name[0]) {
                ok = WriteText(file, L"[") && WriteUnits(file, section.name, FieldLength(section.name)) &&
                     WriteText(file, L"]\r\n");
            }
            if (!keys.Records() || section.firstKey < 0) continue;
            int index = section.firstKey;
            for (int steps = 0; ok && index >= 0 && index < keyCount && steps < keyCount; ++steps) {
                const VQSettingsKey& key = keys.Records()[index];
                ok = WriteUnits(file, key.name, FieldLength(key.name));
                if (ok && key.value[0]) {
                    ok = WriteText(file, L" = ") && WriteUnits(file, key.value, FieldLength(key.value));
                }
                ok = ok && WriteText(file, L"\r\n");
                index = key.nextKey;
            }
            ok = ok && WriteText(file, L"\r\n");
        }
    }
    // A close that cannot flush keeps the file open; deleting it then forces the close.
    bool closed = file->Close(false);
    delete file;
    return ok && closed;
}
