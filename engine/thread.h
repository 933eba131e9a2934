// One long-lived worker thread that runs one posted job at a time.
//
// A job is identified by a positive code. Post hands it over, the worker runs
// `procedure` and signals its done event; Wait (or IsBusy(true)) sees that
// event and puts the code back to 0, and only then can the next job be
// posted. The fields the two threads share while a job runs are atomic.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

class VQThread;

// The job procedure; its result is ignored.
typedef int (*VQThreadProcedure)(VQThread* thread, void* param);

class VQThread {
public:
    explicit VQThread(VQThreadProcedure procedure)
        : procedure(procedure), code(0), param(nullptr), quit(false), cancel(false), negateAfter(false) {}
    VQThread(const VQThread&) = delete;
    VQThread& operator=(const VQThread&) = delete;
    virtual ~VQThread() {}

    virtual bool Create() = 0;
    virtual void Destroy() = 0;
    virtual bool IsCreated() = 0;
    virtual bool IsBusy(bool checkDone) = 0;
    virtual bool IsRunning() = 0;
    virtual bool IsIdle() = 0;
    virtual bool Post(int code, void* param, bool negateAfter) = 0;
    // A negative timeout waits without limit.
    virtual bool Wait(int timeoutMs, bool clearCode, bool requestCancel) = 0;

    VQThreadProcedure procedure;
    // 0: no job; > 0: posted (running or finished); < 0: finished, posted with negateAfter.
    std::atomic<int> code;
    void* param;  // not owned; handed to procedure
    // Leave the thread loop; a running job takes it as a stop request too.
    std::atomic<bool> quit;
    // Stop request for the current job; Post clears it.
    std::atomic<bool> cancel;
    std::atomic<bool> negateAfter;
};

class VQWin32ThreadEx : public VQThread {
public:
    explicit VQWin32ThreadEx(VQThreadProcedure procedure);
    // Destroys the thread if it still exists.
    ~VQWin32ThreadEx() override;

    bool Create() override;
    // Asks the thread to quit, waits at most 10 s for the job, then for the
    // thread to end (without a limit: it still reads this object), and
    // closes the handles.
    void Destroy() override;
    bool IsCreated() override;
    bool IsBusy(bool checkDone) override;
    bool IsRunning() override;
    bool IsIdle() override;
    bool Post(int code, void* param, bool negateAfter) override;
    bool Wait(int timeoutMs, bool clearCode, bool requestCancel) override;

    HANDLE threadHandle;  // owned: closed by Destroy
    unsigned threadId;
    HANDLE startEvent;  // owned: auto-reset, wakes the thread; closed by Destroy
    HANDLE doneEvent;   // owned: manual-reset, signalled while no job is in progress; closed by Destroy
    bool created;
    DWORD destroyWaitMs;  // how long Destroy waits for a running job before it wakes the thread
    // Called on the thread once a job is done and Wait sees it so, that
    // whoever waits is told at once rather than at its next look. Set
    // before the first Post.
    std::function<void()> onDone;

private:
    static unsigned __stdcall ThreadMain(void* self);
    bool IsDone() const;
    void CloseHandles();
};
