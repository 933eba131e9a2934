#include "app/field_histories.h"

#include "app/resource.h"
#include "settings/settings_store.h"

namespace {

// The fields with a history, and the list each keeps it under.
struct HistoryField {
    int controlId;
    const wchar_t* listName;
};
const HistoryField kHistoryFields[] = {
    {IDC_PRECOMMAND_EDIT, L"PreCommandHistory"},
    {IDC_COMMAND_EDIT, L"CommandHistory"},
    {IDC_DIRECTORY_EDIT, L"DirectoryHistory"},
    {IDC_OUTPUT_EDIT, L"OutputHistory"},
};

}  // namespace

FieldHistories::FieldHistories() {
    for (const HistoryField& field : kHistoryFields) histories.emplace_back(field.listName);
}

std::vector<int> FieldHistories::Fields() {
    std::vector<int> ids;
    for (const HistoryField& field : kHistoryFields) ids.push_back(field.controlId);
    return ids;
}

void FieldHistories::Load(SettingsStore& store) {
    for (FieldHistory& history : histories) history.Load(store);
}

const FieldHistory* FieldHistories::Of(int controlId) const {
    for (size_t i = 0; i < histories.size(); ++i) {
        if (kHistoryFields[i].controlId == controlId) return &histories[i];
    }
    return nullptr;
}

std::vector<int> FieldHistories::Remember(const std::function<VQWString(int controlId)>& valueOf,
                                          SettingsStore& store) {
    std::vector<int> changed;
    for (size_t i = 0; i < histories.size(); ++i) {
        if (!histories[i].Add(valueOf(kHistoryFields[i].controlId))) continue;
        histories[i].Save(store);
        changed.push_back(kHistoryFields[i].controlId);
    }
    if (!changed.empty()) store.Flush();
    return changed;
}

void FieldHistories::Forget(int controlId, const VQWString& value, SettingsStore& store) {
    for (size_t i = 0; i < histories.size(); ++i) {
        if (kHistoryFields[i].controlId != controlId || !histories[i].Remove(value)) continue;
        histories[i].Save(store);
        store.Flush();
    }
}
