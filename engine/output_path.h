// A target's output: its path from the output template, the checks a path
// must pass to be written, the folder it goes into, and the time-stamp rules
// that tell whether it is up to date or was written by the target's steps.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/path_identity.h"
#include "base/strings.h"

// Expands the output template for a target ($out and $pre are errors there)
// and takes a relative result from `directory` (the run's working
// directory): the full path. False, with the message in errorText, for a
// template error and for a path that cannot name a file: empty, a bare drive
// or share, a folder form (ending in "\"), a character Windows refuses
// (<>:"|?* outside the drive's colon, or a control character). Does not look
// at the disk.
bool ExpandOutputPath(const VQWString& outputTemplate, const VQWString& target, const VQWString& root,
                      const VQWString& directory, VQWString& output, VQWString& errorText);

// The message for an output that exists as a folder (the disk's part of the
// check above): "出力先がフォルダです。\n<path>".
VQWString OutputIsFolderMessage(const VQWString& output);

// What the disk says of a path: whether something is there, a folder or
// not, its last write and size.
struct OutputState {
    bool exists = false;
    bool folder = false;
    FILETIME written = {};
    uint64_t size = 0;
};
OutputState ReadOutputState(const VQWString& path);

// ReadOutputState for the many paths of a whole-list check, a folder at a
// time: each folder is listed once (FindFirstFileExW) and the paths in it are
// answered from that list, which costs a small part of one look-up a path.
// A path the list cannot answer as the look-up would is looked up on its
// own: one in a form Windows changes or cannot open as written (not a full
// path of plain names), one in a folder that cannot be listed (its files may
// still be readable), a name listed only in another case or more than once
// (a folder may tell case apart), and an unlisted name holding "~" (it may
// be a short name).
//
// A cache belongs to one thread. It only reads the characters of the paths
// it is given, never counts itself among their users, so other threads may
// hold the same strings meanwhile.
class OutputStateCache {
public:
    // identity is PathIdentity(path), which the check has anyway.
    OutputState Read(const VQWString& path, const VQWString& identity);
    OutputState Read(const VQWString& path);
    // For a path asked about once (a source for the up-to-date rule):
    // answered from its folder's list when that folder was listed already,
    // else looked up on its own. A list costs about what a look-up does for
    // each name it holds, more than the look-ups of a folder whose files
    // are asked about only in part.
    OutputState ReadIfListed(const VQWString& path);

private:
    struct Listed {
        int folded, name, length;  // in the folder's text: the name folded and as the folder holds it
        OutputState state;
        bool twice = false;  // another name folds to the same
    };
    struct Folder {
        bool listed = false;
        std::wstring text;
        std::vector<Listed> names;  // by the folded name
        std::wstring_view FoldedOf(const Listed& entry) const;
        const Listed* Find(std::wstring_view folded) const;
        // Lists the names that match `pattern` ("folder\*"): `listed` false
        // when the list may not be whole (access, the network).
        void List(const VQWString& pattern);
    };
    // The last folder asked for, by its text as written.
    struct LastFolder {
        std::wstring text;
        Folder* folder = nullptr;
        bool valid = false;
    };
    // The folder of path (its first `cut` units), listed unless `list` is
    // false; null when it is not listed and `list` is false.
    Folder* FolderOf(const VQWString& path, int cut, bool list);
    // From the folder's list, or looked up when the list cannot tell.
    OutputState Answer(const VQWString& path, const VQWString& identity, int cut, const Folder& folder);

    std::unordered_map<std::wstring, std::unique_ptr<Folder>> folders;  // by the folder's identity
    // The folder as written -> folders; null: asked about without listing.
    std::map<std::wstring, Folder*, std::less<>> byText;
    LastFolder lastListed, lastAsked;
};

// FAT keeps write times in 2 s steps, and network drives take them from the
// server's clock: comparisons of time stamps allow for this much.
const int64_t kTimeStampSlack100ns = int64_t(2) * 10000000;

// The up-to-date rule: the output was last written no earlier than its
// source, give or take the slack.
bool IsUpToDate(const FILETIME& sourceWritten, const FILETIME& outputWritten);

// Whether the output was written by steps that began at `stepsBegan`, when
// `before` is what was there then: it was not there, or it changed (time or
// size), or its last write is no earlier than the beginning, give or take
// the slack. A file that is not there now was not written.
bool WrittenDuringSteps(const OutputState& before, const OutputState& now, const FILETIME& stepsBegan);
// The stricter rule for deleting: only what was not there or has changed;
// a file the steps did not touch is never deleted, whatever its time.
bool ChangedDuringSteps(const OutputState& before, const OutputState& now);

// The entries of a list by the place they have on the disk: the folder they
// are in, as the file system numbers it (FileIdentity), and their name. A
// path that is an entry in another spelling (through a folder link, another
// drive letter or share for the same folder) is found where the paths
// themselves cannot tell. Only folders of entries named as a path asked
// about are opened, each once; a list whose names meet no such path costs a
// hash a name. Not found: a hard link or a short name ("PHOTO~1.JPG") of an
// entry, whose names differ.
class EntryPlaces {
public:
    // pathOf(i) is entry i's full path, identityOf(i) its PathIdentity; both
    // asked only once something is looked for.
    EntryPlaces(int count, std::function<VQWString(int)> pathOf, std::function<VQWString(int)> identityOf);
    // The first entry that `path` (a full path, `identity` its PathIdentity)
    // names: by its identity, or as the name in a folder that is the entry's
    // folder. -1 when none is, or its folder cannot be opened.
    int Find(const VQWString& path, const VQWString& identity);

private:
    struct Folder {
        bool known = false;
        FileIdentity identity;
    };
    void Index();
    // The folder of `path`, where `identity` is its PathIdentity.
    const Folder& FolderOf(const VQWString& path, const VQWString& identity);

    int count;
    std::function<VQWString(int)> pathOf, identityOf;
    bool indexed = false;
    std::vector<int> heads;  // by the hash of the folded name: the first entry, -1 none
    std::vector<int> next;   // per entry: the next one in its chain, in list order
    std::vector<size_t> nameHashes;  // per entry
    std::unordered_map<std::wstring, Folder> folders;  // by the folder's identity
};

// The folder CreateOutputFolder makes for the output, without a closing
// "\"; empty for a drive's or a share's root.
VQWString OutputFolderOf(const VQWString& output);

// Creates the folder of the output with every missing parent. False with
// the Windows error (ERROR_FILE_EXISTS when a file stands where a folder
// should) in `error`.
bool CreateOutputFolder(const VQWString& output, DWORD& error);
