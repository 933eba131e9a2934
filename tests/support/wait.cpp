#include "tests/support/wait.h"

::testing::AssertionResult WaitUntil(const std::wstring& what, const std::function<bool()>& condition, DWORD ms) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return ::testing::AssertionSuccess();
        DWORD waited = GetTickCount() - start;
        if (waited > ms) {
            return ::testing::AssertionFailure() << "waited " << waited / 1000.0 << " s for " << what;
        }
        Sleep(20);
    }
}

::testing::AssertionResult WaitUntil(const std::function<bool()>& condition, DWORD ms) {
    return WaitUntil(L"the condition", condition, ms);
}

