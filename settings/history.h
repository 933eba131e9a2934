// The history of a command field: the last distinct values that were run,
// newest first, kept in a settings store (settings/settings_store.h) under
// the field's own list name.
#pragma once

#include <vector>

#include "base/strings.h"

class SettingsStore;

class FieldHistory {
public:
    enum { kMaxEntries = 20 };

    // listName: "CommandHistory" and the like.
    explicit FieldHistory(const wchar_t* listName) : name(listName) {}

    // Reads the list back (more than kMaxEntries, empty values and repeats left out).
    void Load(SettingsStore& store);
    bool Save(SettingsStore& store) const;

    // A value that was run: it goes first, an equal one further down goes,
    // and the oldest beyond kMaxEntries drop off. Empty values are not kept.
    // True when the list changed.
    bool Add(const VQWString& value);
    // True when the value was there.
    bool Remove(const VQWString& value);

    const std::vector<VQWString>& Entries() const { return entries; }
    const wchar_t* Name() const { return name; }

private:
    const wchar_t* name;
    std::vector<VQWString> entries;
};
