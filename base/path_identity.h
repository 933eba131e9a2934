// When two paths name the same file: compared as Windows resolves them, not
// as they are spelled. "C:\Data\a.jpg", "c:\data\.\A.JPG" and
// "C:\data\sub\..\a.jpg" are one file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/strings.h"

// The form two paths share exactly when they name the same file: the full
// path as GetFullPathNameW makes it ("." and "..", "/" for "\", the trailing
// dots and spaces Windows drops), without a \\?\ prefix, and upper-cased
// without regard to the user's language, as NTFS compares names. A path that
// cannot be resolved keeps its own upper-cased text.
VQWString PathIdentity(const VQWString& path);
// A full path that GetFullPathNameW would hand back unchanged: a drive, then
// components that are neither "." nor ".." and end in no dot or space,
// separated by single backslashes. Most paths of a list are of this form.
bool IsPlainFullPath(const wchar_t* text, int length);
// The upper-casing of PathIdentity alone, for a part of a path (a name in a
// folder): the part of an identity between two "\" is the folded name.
VQWString FoldNameCase(const VQWString& text);
// FoldNameCase of `length` units, appended to `to` without a string of its own.
void AppendFoldedName(const wchar_t* name, int length, std::wstring& to);

// The file or folder a path opens, as the file system numbers it: the
// volume's serial number and the file's index on that volume. Two paths that
// reach one file through a folder link, another drive letter or a share for
// the same place have one identity, though their spelling differs.
struct FileIdentity {
    uint32_t volume = 0;
    uint64_t index = 0;
    bool operator==(const FileIdentity& other) const { return volume == other.volume && index == other.index; }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};
// Opens the path (a folder too) for its attributes alone, sharing it with
// every other user. False when nothing can be opened there, or the file
// system gives it no number.
bool ReadFileIdentity(const VQWString& path, FileIdentity& identity);

// A set of the paths of a list, by their identity. It keeps only a hash and
// the entry's index per path; the paths themselves stay with the list and are
// asked for (pathOf) only to confirm a match, so that a list of a million
// entries costs a few bytes an entry here.
class VQPathSet {
public:
    explicit VQPathSet(std::function<VQWString(int index)> pathOf);

    void Reserve(int count);
    // The index of an entry already in the set that names the same file as
    // path, or -1.
    int Find(const VQWString& path) const;
    // Adds the entry at index unless one naming the same file is there: then
    // false, and nothing changes.
    bool Insert(const VQWString& path, int index);
    // The entry naming the same file as path is now the one at index (a list
    // that took the path of an entry it dropped again). False when none is there.
    bool Reassign(const VQWString& path, int index);
    int GetCount() const { return count; }

private:
    int FindSlot(const VQWString& identity, uint64_t hash) const;
    void Grow();

    std::function<VQWString(int)> pathOf;
    std::vector<uint64_t> hashes;  // 0: an empty slot
    std::vector<int> indices;
    int count = 0;
};

// A file or folder name that Windows cannot open as it is written: a device
// name (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9 with ¹²³ too, CONIN$,
// CONOUT$), also with blanks or an extension after it ("AUX.log",
// "nul .txt"), or a name that ends in a dot or a space (Windows drops those,
// and then opens another file or none). Found on shares, in WSL folders and
// in unpacked archives; opening "aux.log" reads a device and never ends.
bool IsUnopenableName(const wchar_t* name, int length);
// Whether a component of the path is such a name; a drive, a \\?\ prefix and
// the server and share of a UNC path are not components.
bool HasUnopenableName(const VQWString& path);
