// The pieces of one step: the pipe that captures a child's output, and the
// launch of the child inside the run's job object.
//
// Output is read with overlapped reads whose completion routines run on the
// worker thread whenever it waits alertably, so one thread can read the pipes
// of many children at once without any of them stalling on a full pipe.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/strings.h"

class OutputPipe {
public:
    // Keeps at most keepLimit bytes; what comes after is read and counted, not kept.
    explicit OutputPipe(int64_t keepLimit);
    OutputPipe(const OutputPipe&) = delete;
    OutputPipe& operator=(const OutputPipe&) = delete;
    // Cancels a pending read and waits for it: its buffer lives here.
    ~OutputPipe();

    // The pipe itself: false, with the error in GetLastError, when it could not be made.
    bool Create();
    // The end the child writes to (standard output and error); inheritable.
    HANDLE WriteEnd() const { return writeEnd; }
    // After the launch: only the child (and what it starts) holds the write end then.
    void CloseWriteEnd();
    // Begins reading; false when the first read could not be issued.
    bool StartReading();
    // After the child ended: takes what it left in the pipe, then stops
    // reading. Output that descendants write later is not waited for.
    void Finish();

    bool Failed() const { return failed; }
    const VQString& Bytes() const { return bytes; }
    int64_t TotalBytes() const { return total; }
    bool Cut() const { return total > bytes.GetLength(); }

private:
    struct PendingRead {
        OVERLAPPED overlapped;  // first: the completion routine gets its address
        OutputPipe* owner;
    };
    static void CALLBACK OnReadDone(DWORD error, DWORD count, OVERLAPPED* overlapped);
    bool IssueRead();
    void Keep(const char* data, DWORD count);

    HANDLE readEnd;   // owned: overlapped, not inheritable
    HANDLE writeEnd;  // owned until CloseWriteEnd
    PendingRead read;
    bool pending;     // a read is issued and its routine has not run
    bool stopped;     // ended by Finish: no more reads are issued
    bool broken;      // every writer is gone
    bool failed;
    int64_t keepLimit;
    int64_t total;
    VQString bytes;
    // Under Wine every read is a round trip to the server: 2 KiB reads made an
    // 8 MiB capture four times slower than a plain blocking loop.
    char buffer[65536];
};

struct LaunchRequest {
    const VQWString* commandLine;  // as expanded
    const wchar_t* directory;      // full path, or null for the program's own
    // The job the child is created in, per call (each may have its own); may
    // be null: the child is then ended on its own.
    HANDLE job;
    // A pipe's write end: the child runs hidden, writes there and reads the
    // NUL device; null: a window of its own, with its console's input.
    HANDLE output;
    const wchar_t* environment = nullptr;  // a UTF-16 block, or null for the program's own
    // A priority class for the child (BELOW_NORMAL_PRIORITY_CLASS), or 0 for
    // the default; what it starts inherits it.
    DWORD priorityClass = 0;
    // When given, the child is left suspended, its first instruction not run,
    // and its thread's handle put here for ResumeThread (the caller closes it).
    HANDLE* suspendedThread = nullptr;
};

// Starts the child inside the job, so that nothing it starts can escape it,
// and so that it cannot outlive this program in no job at all. Only `output`
// and the NUL device are inherited. Returns the process handle (the caller
// closes it), or null with the error in GetLastError.
HANDLE LaunchChild(const LaunchRequest& request);

// The call that creates every child: CreateProcessW unless a test looks on.
typedef BOOL(WINAPI* CreateProcessFunction)(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                                            DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);
extern CreateProcessFunction createChildProcess;

// Windows' own words for an error code (FormatMessageW), without the line
// break it ends with; the code in figures when there are none.
VQWString SystemErrorText(DWORD error);
