// Long lines of a message broken to fit a width, as the font of a device
// context measures them: paths break after a "\" (or a "/" or a blank)
// where one stands far enough along the line, any other text between two
// characters, never inside a surrogate pair and never just before a closing
// mark (、。」…) that belongs to the line above.
#pragma once

#include <windows.h>

#include "base/strings.h"

// The text with a line feed wherever a line would be wider than maxWidth
// pixels; its own line breaks (CR LF, LF or CR) become line feeds. With
// maxLines > 0 the result has at most that many lines, the last of them "…"
// when lines were left out.
VQWString WrapTextToWidth(HDC dc, const wchar_t* text, int maxWidth, int maxLines = 0);
