// What a watched folder takes: which names are passed over, and when a file
// that keeps changing has settled enough to be run. No thread and no clock of
// its own: the watch asks it at its ticks, with the time and a look at the
// file, so the rules can be tried without a disk or waiting.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/strings.h"

// Names that copy tools, browsers and editors give a file while they are
// still writing it (*.tmp, *.part, *.crdownload, ~$*) and hidden dot-names:
// never input, whatever the extension filter says. name: the last part of a path.
bool IsPassedOverName(const wchar_t* name);

// A file as one look saw it.
struct WatchedLook {
    bool exists = false;
    uint64_t size = 0;
    uint64_t writeTime = 0;  // FILETIME as one number
    // It opened for reading with only readers shared: no writer has it open.
    bool openable = false;
    bool operator==(const WatchedLook& other) const {
        return exists == other.exists && size == other.size && writeTime == other.writeTime;
    }
};

// The files told as changed, each until its size and time have held for
// settleMs and it opens for reading. A file is looked at no more often than
// every lookMs, so a burst of thousands costs a few looks a second.
class SettleTracker {
public:
    using Look = std::function<WatchedLook(const VQWString& path)>;
    SettleTracker(DWORD settleMs, DWORD lookMs = 500) : settleMs(settleMs), lookMs(lookMs) {}

    // A notification (or a listing) says the file changed: its quiet time begins again.
    void Touch(const VQWString& path, DWORD now);
    struct Settled {
        VQWString path;
        WatchedLook look;  // as the last look saw it
    };
    // The files that have settled by now, in the order they were first told;
    // they leave the tracker. A file that is gone leaves it too, unreported.
    std::vector<Settled> TakeSettled(DWORD now, const Look& look);
    size_t PendingCount() const { return pending.size(); }
    bool IsPending(const VQWString& path) const;

private:
    struct Pending {
        VQWString path;
        uint64_t order = 0;
        DWORD quietSince = 0;   // the last change seen or told
        DWORD lookedAt = 0;
        bool looked = false;    // last holds a look
        WatchedLook last;
    };
    DWORD settleMs;
    DWORD lookMs;
    uint64_t nextOrder = 0;
    std::unordered_map<std::wstring, Pending> pending;  // by the folded path
};

// What a file was when it was last taken (or passed over as already there):
// a file is taken again only once it has changed since.
class WatchLedger {
public:
    // Whether the file, as it is now, was taken before.
    bool Knows(const VQWString& path, uint64_t size, uint64_t writeTime) const;
    void Note(const VQWString& path, uint64_t size, uint64_t writeTime);
    void Forget(const VQWString& path);
    size_t Count() const { return known.size(); }
    // One line a file: "size<TAB>time<TAB>path"; lines of another shape are left out.
    VQWString ToText() const;
    void FromText(const VQWString& text);

private:
    struct Known {
        VQWString path;
        uint64_t size;
        uint64_t writeTime;
    };
    std::unordered_map<std::wstring, Known> known;
};

// A look at a file on the disk, for the tracker.
WatchedLook LookAtFile(const VQWString& path);
