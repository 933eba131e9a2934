// The framework's own printf-style formatter for byte text. It parses the
// format itself, so Shift-JIS characters in it are copied whole, and it only
// hands single numbers to the runtime library, placing width, sign and
// padding itself. VMString::FormatV sizes the block and retries on -1.
#pragma once

#include <cstdarg>

enum { kFormatNoRoom = -1, kFormatMalformed = -2 };

// Writes at most `room` bytes into `out`, the terminating zero included, and
// returns the bytes written without it; kFormatNoRoom when `room` is too
// small, kFormatMalformed when the format is. Backslash sequences are copied
// as they stand (VMString::Unescape reads them later).
int FormatBuffer(char* out, int room, const char* format, va_list args);
