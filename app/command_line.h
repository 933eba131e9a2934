// The program's command line, read into a record before any window exists;
// start-up then acts on the record.
//
// Arguments are split as CommandLineToArgvW splits them, each one whole,
// however long: outside double quotes a blank ends an argument; 2n
// backslashes before a double quote give n backslashes and the quote opens
// or closes a quoted part, 2n + 1 give n and a literal quote; any other
// backslash is itself (so "\\server\share" stays whole); single quotes are
// ordinary characters. Argument 0, the program's path, ends at its closing
// quote or first blank.
//
// Switches: an argument is a switch when it is "/" or "-" followed by
// letters only, or "/?" ("-?"); the name compares without regard to case
// ("/run", "-Run"). A switch that takes a value takes the argument after
// it, whatever it is ("/list FILE"). Every other argument is a path, taken
// as it stands, so "/data/a.ini" and "-a.ini" name files, and ".\-x" names
// the file "-x". A switch-like argument that names no switch is an error.
#pragma once

#include <vector>

#include "base/strings.h"

struct CommandLine {
    VQWString program;                 // argument 0
    std::vector<VQWString> arguments;  // the others, in order
    // The path arguments, in order: settings files and targets (sorted
    // apart by ClassifyArgument when the program starts).
    std::vector<VQWString> paths;
    bool run = false;         // /run: run at once, close at the end, exit code
    bool newWindow = false;   // /new: never hand the targets to an open window
    bool portable = false;    // /portable: keep everything beside the program
    bool usage = false;       // /?
    bool watch = false;       // /watch: the window watches the job's folders until it is closed
    std::vector<VQWString> listFiles;  // /list FILE, each in order
    VQWString job;                     // /job NAME; empty: none
    VQWString jobPath;                 // the job's settings file, found at start
    VQWString planFile;                // /plan FILE; empty: none
    // Why the arguments are wrong, as the message says it; empty: they are right.
    VQWString error;
    // The paths sorted by SortPaths, each in order, as full paths.
    std::vector<VQWString> settingsFiles;
    std::vector<VQWString> targets;
    std::vector<VQWString> missing;

    // Nothing waits for a person: /run or /plan.
    bool Unattended() const { return run || !planFile.IsEmpty(); }
    // Only paths: what a second start may hand to a window that is open.
    bool OnlyPaths() const {
        return !run && !newWindow && !portable && !usage && !watch && listFiles.empty() && job.IsEmpty() &&
               planFile.IsEmpty() && !paths.empty();
    }
    // A job and paths only (as Explorer's menu starts a job on each selected
    // file): what a second start may hand to an open window of that job.
    bool JobAndPaths() const {
        return !job.IsEmpty() && !run && !newWindow && !portable && !usage && !watch && listFiles.empty() &&
               planFile.IsEmpty() && !paths.empty();
    }
};

// The record of a whole command line as GetCommandLineW gives it. Null or
// empty: an empty record.
CommandLine ParseCommandLine(const wchar_t* line);

// What a path argument names, as start-up sees it on the disk:
// - a settings file: a file named *.ini (it loads as one, or its failure is
//   told as the Load command tells it, a missing one as well), or any other
//   file of at most kSettingsSniffBytes that loads as settings text with a
//   [Quenbrix] section;
// - a target: any other file or folder that exists;
// - missing: anything else.
enum class ArgumentKind { SettingsFile, Target, Missing };
enum { kSettingsSniffBytes = 1024 * 1024 };
ArgumentKind ClassifyArgument(const VQWString& path);
// Fills settingsFiles, targets and missing from paths, each path made
// full from the current directory (a start by another program may give
// relative ones, and an open window has a current directory of its own);
// the list files and the plan file are made full as well.
void SortPaths(CommandLine& line);
// The paths that exist now and those that do not, each in order.
void SplitByPresence(const std::vector<VQWString>& paths, std::vector<VQWString>& found,
                     std::vector<VQWString>& missing);

// The box for path arguments that named nothing (a second start's as well):
// how many, and the first few of them.
VQWString MissingArgumentsText(const std::vector<VQWString>& missing);

// Which kept list a start works in (settings/kept_list.h). A start that
// nobody watches (/run, /plan) and names a job, a settings file or targets
// of its own (path arguments, /list), and a /new start that names targets,
// work in the job's own slot: the targets it names and what an earlier
// start of the same job left, never an open or closed window's list. Every
// other start works in the windows' lists, as a window opened by hand does.
struct KeptListChoice {
    bool own = false;
    // The job: "job:" and the /job name, "file:" and each settings file's
    // full path (a line each), or "fields" for the settings kept by the
    // program. Compared without regard to case.
    VQWString key;
};
// After SortPaths.
KeptListChoice ChooseKeptList(const CommandLine& line);

// The text /? shows, lines ending in "\n".
extern const wchar_t kUsageText[];

// The exit codes of an unattended start.
enum {
    kExitAllDone = 0,     // every file done or skipped
    kExitSomeNotDone = 1, // at least one failed, stopped or not run
    kExitNotStarted = 2,  // the run could not start
    kExitBadArguments = 3,
};

// Writes the text to the console of the process that started this one
// (AttachConsole of the parent), or to the standard output it was given
// when that is a file or a pipe (as UTF-8). False when there is neither.
bool WriteToParentConsole(const VQWString& text);
