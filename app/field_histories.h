// The command fields' histories (settings/history.h), one for each field
// that keeps one: read from the store, added to with what a run starts with,
// and shortened by the user in a field's open list.
#pragma once

#include <functional>
#include <vector>

#include "settings/history.h"

class SettingsStore;

class FieldHistories {
public:
    FieldHistories();

    // The controls of the fields that keep a history, in the order they are kept.
    static std::vector<int> Fields();

    void Load(SettingsStore& store);
    // The history of a field; null for a field without one.
    const FieldHistory* Of(int controlId) const;
    // Each field's value (valueOf) goes first in its history, the changed
    // histories are written and made lasting. The fields whose history changed.
    std::vector<int> Remember(const std::function<VQWString(int controlId)>& valueOf, SettingsStore& store);
    // The value goes from the field's history, and from the store at once.
    void Forget(int controlId, const VQWString& value, SettingsStore& store);

private:
    std::vector<FieldHistory> histories;  // by Fields()
};
