// Where the console helper (tests/support/child) is, what it writes, and
// how a test sees the files it leaves.
#pragma once

#include <cstddef>
#include <string>

// The helper itself is built without the test framework.
namespace testing {
class AssertionResult;
}

// The helper's full path, beside the running test program, in double quotes
// ready for a command line.
std::wstring ChildProgram();

// Byte i of the helper's "fill" output: a pattern whose period (94) does not
// divide the read size, so lost or reordered pieces show.
inline char ChildFillByte(size_t i) { return static_cast<char>(0x21 + i % 94); }

bool FileExists(const std::wstring& path);
// Polls until the file exists; a failure naming it when it has not appeared
// within `ms` (kWaitMs when not given).
::testing::AssertionResult FileAppearsWithin(const std::wstring& path);
::testing::AssertionResult FileAppearsWithin(const std::wstring& path, unsigned ms);
