// A target's values as environment variables of its children (QB_FULLNAME,
// QB_NAME, ...). cmd expands %QB_FULLNAME% once and never looks into the
// value, whereas a "%" pair in a path put into the command line is expanded
// again as a variable of its own (%OS%.txt becomes Windows_NT.txt).
#pragma once

#include <string>
#include <vector>

#include "base/strings.h"

// One variable: its name and the template variable whose value it holds.
struct FileEnvironmentVariable {
    const wchar_t* name;      // "QB_FULLNAME"
    const wchar_t* variable;  // "fullname", the template variable without its "$"
};

// Every one of them, by name.
extern const FileEnvironmentVariable kFileEnvironment[];
extern const int kFileEnvironmentCount;

// The environment variable holding a template variable's value ("fullname",
// any case, gives "QB_FULLNAME"), or null when it has none ($level takes an
// argument and has none).
const wchar_t* FileEnvironmentName(const wchar_t* variable);

// The longest value a variable is given; a longer one ($pre can be) is left out.
const int kMaxEnvironmentValueUnits = 32766;

class ChildEnvironment {
public:
    // From an environment block (null: this program's own), leaving out
    // every variable that is set for each target, so that a Quenbrix started
    // by a Quenbrix command does not hand on its parent's values.
    explicit ChildEnvironment(const wchar_t* block = nullptr);

    // The block for one step of `target`: what was inherited and the
    // target's values ($pre is `preOutput`). An empty value is left out, as
    // Windows has no empty variables. Valid until the next call.
    const wchar_t* For(const VQWString& target, const VQWString& preOutput);

private:
    std::vector<std::wstring> inherited;  // "NAME=value", in the block's order
    std::vector<wchar_t> block;
};
