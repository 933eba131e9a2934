// One target of a run as the list hands it over: its path, the folder it
// was found under and whether the kept list says it was running when the
// program last ended.
#pragma once

#include "base/strings.h"

struct RunTarget {
    VQWString path;
    VQWString root;  // ends in "\"; empty: added as a single file ($root is then the file's own folder)
    bool interrupted = false;
};
