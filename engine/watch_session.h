// One watch of a job's folders, without a window: what the watch thread
// told, filtered (passed-over names, the extension filter, what the job
// itself writes, what was taken before as it is now) and held until it has
// settled. The owner hands the news in and takes the files ready to run at
// its ticks, and says which files a run finished so they are not taken again
// until they change.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "base/strings.h"
#include "engine/folder_watch.h"
#include "engine/watch_rules.h"

struct WatchSetup {
    std::vector<VQWString> folders;  // full paths, no closing "\"
    // The extension filter; null takes every file.
    std::function<bool(const VQWString& path)> accepts;
    // Files under this folder (the fixed part of the output template) are
    // never input; empty: none.
    VQWString outputFolder;
    // A file the job writes as it runs (another file's output): never input.
    std::function<bool(const VQWString& path)> isOutput;
    DWORD settleMs = 3000;
    // The files there when watching starts are run (true) or taken as seen.
    bool existing = true;
};

struct WatchedFile {
    VQWString path;
    VQWString root;  // its watched folder, with the closing "\"
};

class WatchSession {
public:
    // The ledger holds what was taken before (kept between starts by the owner).
    WatchSession(const WatchSetup& setup, WatchLedger& ledger);

    // The watch's news, as Take gave it. Listed files at the start, with
    // `existing` off and a ledger that knows nothing yet, are only noted.
    void Hear(const std::vector<WatchNews>& news, DWORD now);
    // The first listing is over (the watch tells it too): from now on every file counts as new.
    void EndStartListing() { startListing = false; }
    // The files settled by now and not taken before as they are, in the
    // order they came; each is in the ledger from now on.
    std::vector<WatchedFile> TakeReady(DWORD now, const SettleTracker::Look& look = LookAtFile);
    // A file (an input or an output) as it is after a run: not taken again until it changes.
    void NoteAsItIs(const VQWString& path);
    // A file taken for a run that did not run (the run was stopped before
    // it): taken again at its next change or start.
    void Unnote(const VQWString& path) { ledger.Forget(path); }
    size_t WaitingCount() const { return tracker.PendingCount(); }
    // The folders told gone and not back, by index.
    const std::vector<bool>& Gone() const { return gone; }

private:
    bool Passes(const VQWString& path) const;

    WatchSetup setup;
    WatchLedger& ledger;
    SettleTracker tracker;
    std::vector<bool> gone;
    bool startListing = true;
    bool noteStartListing = false;
};

// "D:\out\" for "D:\out\$name.flac": the folder before the template's first
// variable, or empty when it has none there (a relative template or one that
// begins with a variable).
VQWString FixedOutputFolder(const VQWString& outputTemplate);
// Whether path lies in folder or below it (folder with or without its "\"), by identity.
bool IsUnderFolder(const VQWString& path, const VQWString& folder);
