// Watches folders (with their subfolders) for files that come or change, on
// a thread of its own that sleeps while nothing happens. What it sees waits
// in a queue for the owner's next Take. When the system's change buffer
// overflows, when a folder comes back after it was gone, and at the start
// when asked, the folder is listed instead and every file in it told with
// its size and time, so nothing that happened meanwhile is missed. A folder
// whose file system sends no notifications (some network shares) is listed
// on a timer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "base/strings.h"

struct WatchNews {
    enum Kind {
        kChanged,     // path: a file that came or changed
        kFolderGone,  // path: a watched folder that can no longer be read (told once)
        kFolderBack,  // path: a watched folder readable again (its files follow as kChanged)
        kStartListed, // the listing at the start is over
    };
    Kind kind = kChanged;
    VQWString path;
    // The file's size and time when a listing told it; a notification leaves them to a look.
    bool listed = false;
    uint64_t size = 0;
    uint64_t writeTime = 0;
    // The watched folder it came from, as given.
    int folder = -1;
};

class FolderWatch {
public:
    struct Options {
        bool listAtStart = false;  // tell the files already there
        DWORD goneRetryMs = 2000;  // how often a folder that is gone is looked for
        DWORD pollMs = 10000;      // how often a folder without notifications is listed
    };
    // folders: full paths, without a closing "\".
    FolderWatch(const std::vector<VQWString>& folders, const Options& options);
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Starts the thread and returns once the folders are watched (what
    // changes from then on is told); false when it could not be made.
    bool Start();
    // Ends the thread and waits for it.
    void Stop();
    // What was seen since the last call, in order.
    std::vector<WatchNews> Take();
    // Set while news waits; reset by Take.
    HANDLE NewsEvent() const { return newsEvent; }
    // Whether a folder is being listed on a timer because it sends no notifications.
    bool IsPolled(int folder) const;

private:
    struct Folder;
    static unsigned __stdcall ThreadMain(void* self);
    void Run();
    void Open(Folder& folder);
    bool Arm(Folder& folder);
    void Completed(Folder& folder);
    void List(Folder& folder, const VQWString& under);
    void Tell(WatchNews&& news);

    std::vector<std::unique_ptr<Folder>> folders;
    Options options;
    HANDLE stopEvent = nullptr;
    HANDLE newsEvent = nullptr;
    HANDLE readyEvent = nullptr;
    HANDLE thread = nullptr;
    mutable std::mutex lock;
    std::vector<WatchNews> news;
};
