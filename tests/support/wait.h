// Waiting in a test for something to happen: the test polls for the thing
// itself, never for a fixed time, and gives up only after a deadline that
// holds on a busy machine (Wine on two cores shared with other programs).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

// How long a test waits for anything before it fails.
constexpr DWORD kWaitMs = 60000;

// Polls `condition` every 20 ms for up to `ms`; success once it holds, else
// a failure that says what was awaited and for how long.
::testing::AssertionResult WaitUntil(const std::wstring& what, const std::function<bool()>& condition,
                                     DWORD ms = kWaitMs);
// The same where the condition's own text, as a failed check prints it, says what was awaited.
::testing::AssertionResult WaitUntil(const std::function<bool()>& condition, DWORD ms = kWaitMs);
