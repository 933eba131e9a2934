// Bytes of unknown origin (list files, settings files, what a child program
// prints) turned into UTF-16 text: the encoding is recognised from a byte-order
// mark or from the bytes themselves, and only then does a code page decide.
#pragma once

#include <windows.h>

#include "base/strings.h"

// What DetectTextEncoding may recognise. A mark is always honoured when its
// flag is given; the guesses look at the bytes.
enum : unsigned {
    kDetectUtf16Mark = 0x01,   // FF FE
    kDetectUtf8Mark = 0x02,    // EF BB BF
    kDetectUtf8 = 0x04,        // valid UTF-8 with at least one byte above 0x7F
    kDetectUtf16Guess = 0x08,  // NULs in the odd bytes of ASCII-looking text (cmd /u)
    // As kDetectUtf8, and plain ASCII without a NUL too: for text that is
    // UTF-8 or nothing. Where a code page is the other choice, plain ASCII
    // reads the same either way, and kDetectUtf8 leaves it to the code page.
    kDetectUtf8Ascii = 0x10,
    kDetectMarks = kDetectUtf16Mark | kDetectUtf8Mark,
    kDetectAll = kDetectMarks | kDetectUtf8 | kDetectUtf16Guess,
};

enum VQTextEncoding { kTextCodePage, kTextUtf8, kTextUtf16 };

// The encoding of the bytes; *markBytes gets the length of the mark found (0 without one).
VQTextEncoding DetectTextEncoding(const char* bytes, int count, unsigned detect, int* markBytes);

// True when the bytes are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF); *hasNonAscii tells whether any byte is above 0x7F.
bool IsValidUtf8(const char* bytes, int count, bool* hasNonAscii);

// Decodes the bytes after any mark: UTF-16LE, UTF-8, or else fallbackCodePage
// (CP_ACP, CP_OEMCP or a number). No conversion flags are passed, so a code
// page that is itself UTF-8 works too. NULs stay; see RemoveNuls.
VQWString DecodeText(const char* bytes, int count, unsigned detect, UINT fallbackCodePage,
                     VQTextEncoding* used = nullptr);

// Removes every NUL unit; returns how many were removed.
int RemoveNuls(VQWString& text);
