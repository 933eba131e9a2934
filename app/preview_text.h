// The preview under the command fields as text: the lines that the templates
// become for one entry of the list, or what stops them. It expands as the
// run does, so that it cannot promise what the run then refuses.
#pragma once

#include "base/strings.h"

// What the preview is made of: the fields as they are and the entry it is about.
struct PreviewInput {
    int entries = 0;      // in the list
    VQWString target;     // the entry previewed
    VQWString root;       // the folder it was found under, or empty
    VQWString preCommand;
    VQWString command;
    VQWString output;     // the output template; empty: none
    VQWString directory;  // the run's working directory, resolved
};

struct PreviewText {
    VQWString text;      // lines broken by LF alone
    bool error = false;  // it tells what stops or troubles the run: drawn red
};

// A hint while the list or both commands are empty; else the expanded lines
// (先行:, コマンド:, 出力先:) with a warning under them for a first word
// built into cmd, or the first template's error ("コマンド 23 文字目: ...")
// in the order a run meets them: the output, the pre-command, the command.
// The only disk look-up: whether the output is an existing folder.
PreviewText MakePreviewText(const PreviewInput& input);

// The pixels the preview takes from the table to show its text: the lines
// beyond those it shows by itself (shownHeight less the growth it has),
// up to moreLines, each lineHeight high.
int PreviewGrowth(int shownHeight, int growth, int lineHeight, int lines, int moreLines);
