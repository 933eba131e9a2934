// The command template language: "$" followed by a variable name stands for
// a fact about the target file (see engine/file_variables.h for the values).
#pragma once

#include "base/strings.h"

// Expands every "$" marker of `text` in place for `target`, with `preOutput`
// as the value of $pre. A value is never scanned again, so a "$" inside it
// stays literal. On an unknown name or a bad $level argument it writes the
// message to `errorText` and returns false, leaving `text` expanded up to the
// failing marker and literal from there.
bool ExpandTemplate(VQWString& text, const VQWString& target, const VQWString& preOutput, VQWString& errorText);
