// The window's watch of a job's folders (監視): the watch thread's news taken
// at the window's ticks, the files that settled handed to the host as a run
// of their own when no run goes on (and kept until one ends when one does),
// what each run finished written to a ledger in the data folder, so that a
// restart runs only what came or changed meanwhile.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/strings.h"
#include "engine/folder_watch.h"
#include "engine/watch_session.h"

// What the watcher asks of the window.
class WatchHost {
public:
    // No run goes on: a new one may start.
    virtual bool WatchCanRun() = 0;
    // Adds the files (each with its watched folder as root) and runs them
    // alone; false when the run did not start (the files then wait for the next try).
    virtual bool RunWatchedFiles(const std::vector<WatchedFile>& files) = 0;

protected:
    ~WatchHost() = default;
};

struct WatchRequest {
    VQWString folders;  // the field's text: folders separated by ";"
    VQWString command;
    VQWString outputTemplate;
    VQWString directory;  // the run's working directory, that a relative output is taken from
    std::function<bool(const VQWString& path)> accepts;  // the extension filter
    DWORD settleSeconds = 3;
    bool existing = true;
    VQWString dataFolder;  // where the ledger is kept; empty: nowhere (a restart runs everything again)
};

// The folders of the field, trimmed, without a closing "\" and without empty parts.
std::vector<VQWString> SplitWatchFolders(const VQWString& text);
// Why the watch cannot start, as its box says it; empty when it can.
VQWString WatchRefusal(const WatchRequest& request);

class FolderWatcher {
public:
    explicit FolderWatcher(WatchHost& host) : host(host) {}
    ~FolderWatcher() { Stop(); }

    // False with the refusal (or why the thread did not start) in error.
    bool Start(const WatchRequest& request, VQWString& error);
    // Ends the watch; the ledger is written.
    void Stop();
    bool IsWatching() const { return watch != nullptr; }
    // At the window's tick: the news, the settled files, a run when one can start.
    void Tick(DWORD now);
    // The run of watched files ended: each file that ran (done or failed)
    // and each output it wrote is not taken again until it changes; a file
    // that did not run is taken at its next change or start.
    void RunEnded(const std::vector<VQWString>& ran, const std::vector<VQWString>& notRun,
                  const std::vector<VQWString>& outputs);
    // 監視中 with the folders and the counts, for the caption and the status line.
    VQWString StatusText() const;
    // The files settled and waiting for a run.
    size_t QueuedCount() const { return queued.size(); }
    int RunCount() const { return runs; }
    // The folders watched, as the field named them (full paths).
    const std::vector<VQWString>& Folders() const { return folders; }

private:
    VQWString LedgerPath() const;
    void SaveLedger();
    // The folders by identity, as 16 hex digits: the ledger's name and the owner's.
    VQWString FoldersKey() const;
    void ReleaseFolders();

    WatchHost& host;
    std::vector<VQWString> folders;
    VQWString dataFolder;
    WatchLedger ledger;
    std::unique_ptr<WatchSession> session;
    std::unique_ptr<FolderWatch> watch;
    std::vector<WatchedFile> queued;
    // Where the files taken write (by identity): a file that appears there is the job's, not input.
    VQWString outputTemplate;
    VQWString directory;
    std::set<std::wstring> expectedOutputs;
    bool startListing = true;
    int runs = 0;
    int filesRun = 0;
    HANDLE owner = nullptr;  // held while watching: one watch of the same folders per user session
};
