// Switches the program's log (vqLog) to a fresh temporary file, without time
// stamps or indentation, while the object lives, and off again afterwards.
#pragma once

#include <string>

#include "tests/support/temp_dir.h"

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The bytes written so far (Shift-JIS, lines ending in "\r\n").
    std::string Text() const;
    // A text as the log's Shift-JIS bytes, whatever the system's code page.
    static std::string ShiftJis(const std::wstring& text);

private:
    TempDir dir;
    std::wstring path;
};
