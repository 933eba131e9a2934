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
// Switches (none is defined yet): an argument is a switch when it begins with
// "/" or "-" and the rest names one of the program's switches, compared
// without regard to case ("/run", "-Run"). A switch that takes a value takes
// the argument after it ("/list FILE"). Every other argument is a path, taken
// as it stands, so "/data/a.ini" and "-a.ini" name files as long as no switch
// has that name, and ".\-x" names the file "-x" whatever switches there are.
#pragma once

#include <vector>

#include "base/strings.h"

struct CommandLine {
    VQWString program;                        // argument 0
    std::vector<VQWString> arguments;  // the others, in order
    // The first argument: a settings file imported at start (the others are
    // not used yet). Empty: none.
    VQWString settingsFile;
};

// The record of a whole command line as GetCommandLineW gives it. Null or
// empty: an empty record.
CommandLine ParseCommandLine(const wchar_t* line);
