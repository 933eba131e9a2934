// Shortcuts (.lnk) made as Explorer makes them, and the user's Send To folder.
#pragma once

#include "base/strings.h"

// Writes a shortcut at linkPath to target with these arguments (the icon the
// target's first); false when it could not be made.
bool CreateShortcut(const VQWString& linkPath, const VQWString& target, const VQWString& arguments,
                    const VQWString& description);
// The Send To folder of the user, with its closing "\"; empty when the system has none.
VQWString SendToFolder();
