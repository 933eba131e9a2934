// List files: a text file with one path per line, turned into targets.
//
// The text is UTF-16LE with its FF FE mark, UTF-8 with its EF BB BF mark or,
// without a mark, UTF-8 when its bytes are valid UTF-8 and not plain ASCII;
// anything else is text in the system ANSI code page. A line ends at an LF;
// a CR before it is dropped. Blanks (spaces, tabs) around a line and one
// pair of double quotes around the path are not part of it, so the quoted
// paths that Explorer copies can be pasted as they are; lines with nothing
// else are passed over. A line is taken whole or not at all: one longer
// than kListLineLimit units or holding a NUL is skipped and counted.
//
// A line names a file, which becomes a target, or a folder, whose files
// become targets as those of a dropped folder do; a line naming nothing that
// exists is skipped and counted. A path that is not a full one is taken
// relative to the list file's folder. Targets are full paths.
#pragma once

#include <vector>

#include "base/arrays.h"
#include "base/files.h"
#include "base/strings.h"

enum : int {
    kListLineLimit = 32767,               // units: the longest path Windows takes
    kListFileLimit = 256 * 1024 * 1024,   // bytes of the largest list file read
};

// Why a line of a list file was not taken.
enum class VQSkipReason { Missing, Long, Nul, Unopenable };

// A skipped line as the message names it.
struct VQSkippedLine {
    int number;         // 1-based, as an editor counts the file's lines
    VQSkipReason reason;
    VQWString text;     // its start, with a NUL shown as "[NUL]"
};

struct VQTargetList {
    enum { kKeptSkippedLines = 5 };

    VQArray<VQWString, VQWString> paths;  // in line order, a folder's files at its line
    // By path: the folder line it was found under, with its closing "\";
    // empty for a path that a line named itself.
    VQArray<VQWString, VQWString> roots;
    int missingLines = 0;                 // named nothing that exists
    int longLines = 0;                    // longer than kListLineLimit units
    int nulLines = 0;                     // held a NUL
    int unopenableLines = 0;              // named a file Windows cannot open as written (HasUnopenableName)
    bool tooLarge = false;                // over kListFileLimit bytes: nothing was read
    bool cancelled = false;               // the progress callback said stop: paths holds nothing
    // The first kKeptSkippedLines skipped lines, in line order.
    std::vector<VQSkippedLine> firstSkipped;
    // What the search of the folders that lines named passed over.
    VQFolderSearch search;

    int SkippedLines() const { return missingLines + longLines + nulLines + unopenableLines; }
    void Skip(int number, VQSkipReason reason, const wchar_t* text, int length);
};

// The lines of a list file's bytes, decoded, with the blanks and quotes
// around them removed; a pair of quotes around nothing gives an empty line.
// Counts the long lines and the lines with a NUL into `list`. With numbers,
// each line's 1-based number in the file goes there too.
void SplitListText(const char* bytes, int count, VQArray<VQWString, VQWString>& lines, VQTargetList& list,
                   std::vector<int>* numbers = nullptr);

// Appends `path` when it names a file, or every file below it, depth-first,
// when it names a folder. False when it names nothing that exists. With a
// search record, links and names that cannot be opened inside a folder are
// passed over and counted there (see EnumFiles). With roots, each path
// appended gets its root there: the folder with its closing "\" (one
// string shared by all its files), or empty for a file named itself.
bool CollectTargets(const VQWString& path, VQArray<VQWString, VQWString>& out, VQFolderSearch* search = nullptr,
                    VQArray<VQWString, VQWString>* roots = nullptr);

// Reads the list file at `path` into `list`. False when it cannot be opened
// or read, or is too large (`tooLarge`); `list` then holds no paths. The
// progress callback of list.search is asked now and then with the paths
// found so far; when it says stop, the result is true with no paths and
// `cancelled` set.
bool ReadTargetListFile(const wchar_t* path, VQTargetList& list);
