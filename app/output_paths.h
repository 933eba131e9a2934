// Each target's output as the window sees it before a run: the output
// template expanded for the target and made a full path from the run's
// working directory, what makes a path unusable as an output, and whether
// an output is up to date with its source.
#pragma once

#include "base/strings.h"

struct OutputPath {
    VQWString path;   // the full path; empty when the template fails
    VQWString error;  // why it fails, in the words of the template messages
    int marker = -1;  // the template's unit the error is about, or -1
};

// outputTemplate expanded for the target found under root (empty: a single
// file), a relative result taken from directory. An expansion that is empty,
// a bare drive, holds a character Windows refuses in a name (<>:"|?*
// outside the drive's colon) or names an existing folder fails.
OutputPath ExpandOutputPath(const VQWString& outputTemplate, const VQWString& target, const VQWString& root,
                            const VQWString& directory);

// The output exists and was last written no earlier than the source (with
// 2 s to spare for the coarse time stamps of FAT and network drives).
bool IsOutputUpToDate(const VQWString& source, const VQWString& output);
