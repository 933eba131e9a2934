// Collects the texts this process hands to OutputDebugStringA while the
// object lives, one entry per call. It watches for the exception through
// which the system delivers debugger output, so no debugger is needed.
#pragma once

#include <string>
#include <vector>

class DebugOutputCapture {
public:
    DebugOutputCapture();
    ~DebugOutputCapture();
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    const std::vector<std::string>& Calls() const { return calls; }
    // Every call's text joined.
    std::string Text() const;

private:
    std::vector<std::string> calls;
    void* handler;  // owned: removed by the destructor
};
