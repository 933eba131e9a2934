// Named jobs: settings files in a folder of their own (%APPDATA%\Quenbrix\jobs,
// portable: Quenbrix-data\jobs), each named by its file name without ".ini".
#pragma once

#include <vector>

#include "base/strings.h"

struct JobEntry {
    VQWString name;
    VQWString path;
    // It loads as a settings file with the job section; a job that does not
    // is listed all the same, marked, and says why when chosen.
    bool loads = false;
};

class JobStore {
public:
    // A name may hold at most this many units (the file name adds ".ini").
    enum { kMaxNameLength = 120 };

    explicit JobStore(const VQWString& folder);

    const VQWString& Folder() const { return folder; }
    // The jobs of the folder, by name (the user's locale, case ignored); empty when the folder is missing.
    std::vector<JobEntry> List() const;
    // The file a job of this name is kept in (whether or not it is there).
    VQWString PathOf(const VQWString& name) const;
    bool Exists(const VQWString& name) const;
    // Makes the folder when missing; false when it cannot be made.
    bool MakeFolder() const;
    bool Remove(const VQWString& name) const;

    // Whether Windows takes the name as a file name; when not, the reason in
    // the words the window shows.
    static bool CheckName(const VQWString& name, VQWString& reason);

private:
    VQWString folder;
};

// The job of this name in the jobs folder of this start: its file, or false
// and the reason (no such job, a name that cannot be a job's, a file that
// does not load).
bool FindJob(const VQWString& name, VQWString& path, VQWString& error);
