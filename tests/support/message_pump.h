// Message pumping for tests that drive real windows on the test's thread.
#pragma once

#include <functional>
#include <string>

#include "tests/support/wait.h"

// Dispatches every message waiting in this thread's queue. A WM_QUIT among
// them is consumed (a destroyed top-level window posts one); returns whether
// there was one.
bool PumpPending();

// Keeps dispatching for about `ms` milliseconds.
void PumpFor(int ms);

// Keeps dispatching until `condition` holds, as WaitUntil waits for it.
::testing::AssertionResult PumpUntil(const std::wstring& what, const std::function<bool()>& condition,
                                     DWORD ms = kWaitMs);

// Posts WM_QUIT(code) after `ms` milliseconds through a thread timer, so that
// a message loop under test ends even when the message it waits for never
// comes. One watchdog at a time.
class QuitWatchdog {
public:
    QuitWatchdog(int ms, int code);
    ~QuitWatchdog();
    QuitWatchdog(const QuitWatchdog&) = delete;
    QuitWatchdog& operator=(const QuitWatchdog&) = delete;
    bool Fired() const;
};
