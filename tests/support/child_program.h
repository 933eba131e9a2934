// Where the console helper (tests/support/child) is, and what it writes.
#pragma once

#include <cstddef>
#include <string>

// The helper's full path, beside the running test program, in double quotes
// ready for a command line.
std::wstring ChildProgram();

// Byte i of the helper's "fill" output: a pattern whose period (94) does not
// divide the read size, so lost or reordered pieces show.
inline char ChildFillByte(size_t i) { return static_cast<char>(0x21 + i % 94); }
