// Checks of a job before it runs, for the window to show: a command whose
// first word is built into cmd (it cannot be started as a program), targets
// for which a template does not expand, and targets whose command lines come
// out the same (one output would overwrite another).
#pragma once

#include <vector>

#include "base/arrays.h"
#include "base/strings.h"

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
VQTemplateCheck CheckTemplates(const VQWString& preCommand, const VQWString& command,
                               const VQArray<VQWString, VQWString>& targets);
