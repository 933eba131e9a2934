// Checks of a job before it runs, for the window to show: a command whose
// first word is built into cmd (it cannot be started as a program), targets
// for which a template does not expand, targets whose command lines come out
// the same or write one file (one output would overwrite another), appends
// to one file that parallel steps could lose, and values that cmd would
// expand as variables.
#pragma once

#include <string>
#include <vector>

#include "base/arrays.h"
#include "base/strings.h"
#include "engine/batch_runner.h"

// What $pre stands for while nothing has run: a visible placeholder.
extern const wchar_t kPreOutputPlaceholder[];

// The first word of `commandLine` (after leading spaces and tabs) when it is
// a command built into cmd, as written; empty otherwise. The word ends at a
// blank or a "/" ("copy/y" is copy, "copy.exe" is not); a quoted first word
// is a program path and never a built-in. Letters compare without regard to
// ASCII case.
VQWString FindCmdBuiltin(const wchar_t* commandLine);
inline VQWString FindCmdBuiltin(const VQWString& commandLine) { return FindCmdBuiltin(commandLine.Text()); }

// "<word> は cmd の内部コマンドです。cmd /c <word> … と書いてください。"
VQWString CmdBuiltinMessage(const VQWString& word);

// Whether cmd reads the line: its first word is cmd itself or a batch file
// (which CreateProcessW hands to cmd), with or without quotes and folder.
bool GoesThroughCmd(const wchar_t* commandLine);

// A file a line's redirection writes to, as cmd reads it: ">", "1>", "2>"
// (or ">>" and the others, append) outside double quotes and not after "^",
// followed by its path (quotes taken off). "2>&1" names no file; nor does a
// device (nul, con, aux, com1, ...).
struct VQRedirection {
    std::wstring path;
    bool append;
};
std::vector<VQRedirection> FindRedirections(const wchar_t* commandLine);

// Whether a text holds a pair that cmd would expand as a variable: a "%", at
// least one other unit, another "%".
bool HoldsPercentPair(const wchar_t* text, int length);

// Targets whose command lines clash.
struct VQCommandClash {
    int count;   // targets in the group (2 or more)
    int first;   // the lowest of their indices
    int second;  // the next one
};

struct VQTemplateCheck {
    // The first target for which a template does not expand, or -1; the
    // message is ExpandTemplate's, and preCommandFailed tells which template.
    int failedIndex = -1;
    bool preCommandFailed = false;
    VQWString errorText;

    // Groups of clashing command lines, in the order of their first target;
    // clashingTargets counts the targets of all groups together.
    std::vector<VQCommandClash> clashes;
    int clashingTargets = 0;
    // The command uses $pre: no clash is looked for, since a line holding
    // another program's output cannot be known beforehand.
    bool commandUsesPre = false;

    // Files that the lines of two or more targets write to, at least one of
    // them with ">" (the later output overwrites the earlier), and files
    // only appended to (">>") by two or more: steps that run at once can
    // lose each other's lines. In the order of their first target; a path
    // holding $pre is not known beforehand and not looked at.
    struct OutputFile {
        std::wstring path;  // as the first line wrote it
        int count;          // targets writing it
        int first;
        int second;
    };
    std::vector<OutputFile> sharedWrites;
    std::vector<OutputFile> sharedAppends;

    // The first target for which a line that goes through cmd has a value
    // holding a "%" pair (cmd would expand it), or -1; the variable that
    // put it there, and how many targets have such a value.
    int percentIndex = -1;
    bool percentInPreCommand = false;
    const wchar_t* percentVariable = nullptr;
    int percentTargets = 0;

    // With an output template (CheckJob):
    // the failure at failedIndex is the output template's (a template error
    // or a path that cannot be written, see ExpandOutputPath, or one that is
    // an existing folder);
    bool outputFailed = false;
    // the clashes above are of outputs, not of command lines, and
    // clashOutputs[k] is the output of clashes[k] (the first target's);
    bool outputsCompared = false;
    std::vector<VQWString> clashOutputs;
    // the first target whose output is an entry of the list (its own input
    // or another's), or -1, and that entry: the run must be refused;
    int outputIsEntry = -1;
    int entryOfOutput = -1;
    // the outputs as the run will use them, one per target (when every
    // target expanded);
    std::vector<VQWString> outputs;
    // with skipUpToDate: per target, whether it is up to date (and not
    // interrupted), and how many are.
    std::vector<bool> skip;
    int skipCount = 0;
};

// Expands both templates for every target, as a run does ($pre empty in the
// pre-command, the placeholder in the command, a line no longer than
// kMaxCommandLineUnits), and stops at the first target that fails.
//
// When every target expands, the command lines are compared through a hash
// table. Two lines clash when they are the same once each target's own path
// (its $fullname text, and its hash form) is set aside where it stands as a
// whole argument: "copy $fullname out\$title.jpg" clashes for a.v1.jpg and
// a.v2.jpg, "del $fullname" never does, nor does "$fullname.$ext.bak". A
// command in which nothing but the target's path depends on the target
// clashes only where its lines are identical (a target listed twice).
//
// Redirections' relative paths are taken from `directory` (the run's working
// directory) when it is given, and compared without regard to case.
VQTemplateCheck CheckTemplates(const VQWString& preCommand, const VQWString& command,
                               const VQArray<VQWString, VQWString>& targets, const VQWString& directory = VQWString());

// The whole check before a run, for entries with roots and an output
// template (which may be empty: then it is CheckTemplates with $root and
// $reldir). With an output template each target's output is expanded
// first ($out in the other templates is its value; $out while the output
// template is empty is an error there), the outputs are compared instead of
// the command lines, by the file they name (PathIdentity: case, "..", "/",
// trailing dots and spaces), and each output is compared with every entry.
// An output that exists as a folder fails its target. The file-system
// look-ups of the up-to-date rule are made only with skipUpToDate (an
// interrupted target is never skipped); nothing is decided by them when a
// template failed.
VQTemplateCheck CheckJob(const VQWString& preCommand, const VQWString& command, const VQWString& outputTemplate,
                         const std::vector<RunTarget>& targets, const VQWString& directory, bool skipUpToDate);
