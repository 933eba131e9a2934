// The store of this start: the job settings, the window's place, the
// histories and the table's layout go to the portable file or to the
// registry, as the start's place says. Made on first use, it also knows what
// a portable start must tell once its window is open.
#pragma once

#include <memory>

#include "base/strings.h"
#include "settings/settings_store.h"

class StartStore {
public:
    // place: read at each use, so it may change until the store is first made.
    explicit StartStore(const StoragePlace& place) : place(place) {}

    // registryKey: where a start that is not portable keeps its things.
    SettingsStore& Open(const char* registryKey);
    // The next Open makes the store afresh (the registry key has changed).
    void Reset() { store.reset(); }
    // A folder that cannot be written, or a settings file that does not
    // read; empty when there is nothing to tell (always so in the registry).
    VQWString ProblemText();

private:
    const StoragePlace& place;
    std::unique_ptr<SettingsStore> store;
    SettingsFileState fileState = kSettingsFileReady;
};
