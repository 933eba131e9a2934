#include "settings/history.h"

#include <algorithm>

#include "settings/settings_store.h"

void FieldHistory::Load(SettingsStore& store) {
    entries.clear();
    for (const VQWString& value : store.ReadList(name)) {
        if (value.IsEmpty() || std::find(entries.begin(), entries.end(), value) != entries.end()) continue;
        entries.push_back(value.DeepCopy());
        if (static_cast<int>(entries.size()) == kMaxEntries) break;
    }
}

bool FieldHistory::Save(SettingsStore& store) const { return store.WriteList(name, entries); }

bool FieldHistory::Add(const VQWString& value) {
    if (value.IsEmpty()) return false;
    if (!entries.empty() && entries.front() == value) return false;
    Remove(value);
    entries.insert(entries.begin(), value.DeepCopy());
    if (static_cast<int>(entries.size()) > kMaxEntries) entries.resize(kMaxEntries);
    return true;
}

bool FieldHistory::Remove(const VQWString& value) {
    auto found = std::find(entries.begin(), entries.end(), value);
    if (found == entries.end()) return false;
    entries.erase(found);
    return true;
}
