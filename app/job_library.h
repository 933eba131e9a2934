// The named jobs of the ジョブ row: the jobs folder's list as the drop-down
// shows it, the job the fields came from, and the fields as they were last
// loaded or saved (what a change is measured against). It decides and keeps;
// the window asks the questions and shows the messages it is given.
#pragma once

#include <vector>

#include "base/strings.h"
#include "settings/job_store.h"

class JobLibrary {
public:
    JobLibrary() : store(VQWString()) {}

    // The jobs folder of this start; with writable false nothing is saved
    // there (a portable folder that cannot be written).
    void SetFolder(const VQWString& folder, bool writable);

    // Reads the folder's list again; a current job no longer in it is none any more.
    void Refresh();
    // The drop-down's texts: 「（なし）」, then each job by name, one that does not load marked.
    std::vector<VQWString> ShownEntries() const;
    // The drop-down's index of the current job; 0: 「（なし）」.
    int ShownIndex() const;
    // The jobs that load, in the list's order: what the menus outside the window offer.
    std::vector<VQWString> Names() const;
    // The job at a drop-down index; empty for 「（なし）」 and out of the list.
    VQWString NameAt(int shownIndex) const;

    // The job the fields came from; empty: none.
    const VQWString& Current() const { return current; }
    void SetCurrent(const VQWString& name) { current = name.DeepCopy(); }
    // Chosen again: a job (not 「（なし）」) that is the current one loads nothing.
    bool IsCurrent(const VQWString& name) const { return !name.IsEmpty() && name == current; }
    // The fields are this job's now (empty: none's), as just loaded or saved.
    void MarkLoaded(const VQWString& name, const VQWString& snapshot) {
        SetCurrent(name);
        MarkSaved(snapshot);
    }
    // The window's caption while no run goes: 「写真をWebPに - idle」, or idle without a job.
    VQWString CaptionWith(const wchar_t* idle) const;
    // The fields, in one text (equal texts, equal settings), as they were loaded or saved.
    void MarkSaved(const VQWString& snapshot) { saved = snapshot.DeepCopy(); }
    bool IsChanged(const VQWString& snapshot) const { return !(snapshot == saved); }

    // Choosing a job (empty: 「（なし）」) once the changes are settled:
    // the file to load (empty for none), or false and the message.
    bool FileToLoad(const VQWString& name, VQWString& path, VQWString& error) const;

    // Saving as a name: a refusal when it cannot be a job's name, a question
    // when it would replace another job; both empty: save.
    struct NameCheck {
        VQWString refusal;
        VQWString question;
    };
    NameCheck CheckSaveName(const VQWString& name) const;
    // The file the job goes to, its folder made; false and the message when it cannot be.
    bool SavePath(const VQWString& name, VQWString& path, VQWString& error) const;
    static VQWString OverwritePartlyReadQuestion(const VQWString& name);
    static VQWString SaveFailedText(const VQWString& path);

    // Deleting the current job: the question first, then the file goes and
    // the fields stay, no job's; false and the message when it could not.
    VQWString DeleteQuestion() const;
    bool DeleteCurrent(VQWString& error);

private:
    JobStore store;
    bool writable = true;
    std::vector<JobEntry> entries;  // the drop-down's, after its 「（なし）」
    VQWString current;
    VQWString saved;
};
