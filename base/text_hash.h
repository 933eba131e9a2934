// Names made from a text (a path, a job's name): the same text, the same name.
#pragma once

#include "base/strings.h"

// 16 lower-case hex digits of the 64-bit FNV-1a hash of the text's UTF-16 units.
VQWString TextHashHex(const VQWString& text);
