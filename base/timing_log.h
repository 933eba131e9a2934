// The timing log: one line "name, ms since the process began" for each mark,
// appended as it is made, so that a process that ends abruptly still leaves
// what it reached. Off unless the variable QUENBRIX_TIMING names a file;
// while off a mark costs one test of a flag and writes nothing.
#pragma once

#include <windows.h>

// Opens the file QUENBRIX_TIMING names, if it names one and none is open.
void TimingLogFromEnvironment();
// Opens PATH for appending (a test's seam); false if it cannot be opened.
bool TimingLogOpen(const wchar_t* path);
void TimingLogClose();
bool TimingLogOn();
// NAME: ASCII, without a comma. Any thread may mark.
void TimingMark(const char* name);
