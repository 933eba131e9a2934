// Message pumping for tests that drive real windows on the test's thread.
#pragma once

// Dispatches every message waiting in this thread's queue. A WM_QUIT among
// them is consumed (a destroyed top-level window posts one); returns whether
// there was one.
bool PumpPending();

// Keeps dispatching for about `ms` milliseconds.
void PumpFor(int ms);

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
