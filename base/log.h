// The diagnostic log: narrow (Shift-JIS) lines to a log file or to the
// debugger, and the counting semaphore that serialises its writers.
//
// The program's one log object, vqLog, is built switched off by static
// initialisation and nothing in the program switches it on; the fields are
// public so that a test (or a debugging session) can set them.
#pragma once

#include <windows.h>

#include "base/strings.h"

class VQSemaphore {
public:
    virtual ~VQSemaphore() {}
    virtual bool IsCreated() { return false; }
    virtual bool Wait(int timeoutMs) {
        (void)timeoutMs;
        return false;
    }
    virtual void Release(int count) { (void)count; }
};

class VQWin32Semaphore : public VQSemaphore {
public:
    // CreateSemaphoreW(null, initial, maximum, no name).
    VQWin32Semaphore(int initialCount, int maximumCount);
    ~VQWin32Semaphore() override;
    bool IsCreated() override;
    bool Wait(int timeoutMs) override;  // negative: without limit
    void Release(int count) override;

private:
    HANDLE handle;  // owned: closed by the destructor
};

class VQLog {
public:
    enum { kBufferSize = 16384, kMessageSize = 1024, kMaxIndent = 31 };

    VQLog();
    // Takes the lock over; one that reports IsCreated() false is dropped
    // with a debugger message, and writing goes on unlocked.
    explicit VQLog(VQSemaphore* lock);
    ~VQLog();
    VQLog(const VQLog&) = delete;
    VQLog& operator=(const VQLog&) = delete;

    // Formats one message (the caller supplies the line end) and writes it
    // with stamp and indentation; returns at once while `enabled` is 0.
    void Write(const char* format, ...);
    void WriteV(const char* format, va_list args);
    // Flushes buffered output, deletes the semaphore, releases fileName.
    // Safe to call twice.
    void Close();

    uint8_t enabled;
    uint8_t toFile;
    VQString fileName;
    int indent;  // below 32
    uint8_t timestamps;
    SYSTEMTIME lastTime;
    uint8_t buffered;
    int bufferFill;
    char buffer[kBufferSize];
    VQSemaphore* semaphore;  // owned; null after Close

private:
    bool Flush();
    bool AppendToBuffer(const char* text, int length);
};

// The program's log, constructed before the entry function runs.
extern VQLog vqLog;
