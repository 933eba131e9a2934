// The command template language: "$" followed by a variable name stands for
// a fact about the target file (see engine/file_variables.h for the values).
#pragma once

#include <vector>

#include "base/strings.h"

// Expands every "$" marker of `text` in place for `target`, with `preOutput`
// as the value of $pre. A value is never scanned again, so a "$" inside it
// stays literal. On an unknown name or a bad $level argument it writes the
// message to `errorText` and returns false, leaving `text` expanded up to the
// failing marker and literal from there.
//
// With maxLength >= 0, an expansion whose text would grow past maxLength units
// stops before the value is inserted, with its own message: values such as
// $pre can be megabytes, and a command line has a hard limit anyway.
//
// With failedMarker, a failure also gives the index in the template as it was
// passed in of the "$" at which the expansion stopped (-1 when it stopped at
// no marker: the whole text came out too long); success gives -1.
//
// With inserted, each value put into the text is recorded in order ($$ is not a value).
struct VQInsertedValue {
    const wchar_t* variable;  // as the language names it, without "$": "fullname", "level"
    int start;                // where the value stands in the expanded text
    int length;
};
bool ExpandTemplate(VQWString& text, const VQWString& target, const VQWString& preOutput, VQWString& errorText,
                    int maxLength = -1, int* failedMarker = nullptr, std::vector<VQInsertedValue>* inserted = nullptr);

// What a target brings to a template beyond its path: where it was found
// ($root, $reldir) and where its output goes ($out).
struct VQTemplateContext {
    // The folder the target was found under, with or without its closing
    // ""; empty (or a folder the target is not in): the target's own folder.
    VQWString root;
    // $out's value: the expanded output path. Only with hasOutput; without
    // it (no output template) $out is an error.
    VQWString output;
    bool hasOutput = false;
    // The text is the output template itself: $out and $pre are errors there
    // (the output must be known before anything runs).
    bool forOutput = false;
};

// ExpandTemplate with the values of the context: the form above is this one
// with an empty context ($root the target's folder, $reldir empty, $out an error).
bool ExpandTemplate(VQWString& text, const VQWString& target, const VQWString& preOutput,
                    const VQTemplateContext& context, VQWString& errorText, int maxLength = -1,
                    int* failedMarker = nullptr, std::vector<VQInsertedValue>* inserted = nullptr);

// $root's value: the root with its closing "", or the target's own folder
// (GetDirPath) when the root is empty or the target does not lie below it.
VQWString GetRootPath(const VQWString& target, const VQWString& root);
// $reldir's value: the target's folder below that root, with its closing
// ""; empty for a file directly in it.
VQWString GetRelativeDir(const VQWString& target, const VQWString& root);

// What to tell about a "$" at `marker` of the template that is followed by no
// variable name: "$foo は変数ではありません。", with "$fullname のことですか？"
// when a variable is near enough to be what was meant. Empty where the "$"
// begins a variable (a bad $level argument) or ends the text.
VQWString UnknownVariableHint(const VQWString& templateText, int marker);

// The longest command line CreateProcessW takes, without its terminating NUL.
const int kMaxCommandLineUnits = 32766;
