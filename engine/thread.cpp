#include "engine/thread.h"

#include <process.h>

namespace {

void CloseIfOpen(HANDLE& handle) {
    if (handle) CloseHandle(handle);
    handle = nullptr;
}

}  // namespace

VQWin32ThreadEx::VQWin32ThreadEx(VQThreadProcedure procedure)
    : VQThread(procedure),
      threadHandle(nullptr),
      threadId(0),
      startEvent(nullptr),
      doneEvent(nullptr),
      created(false),
      destroyWaitMs(10000) {}

VQWin32ThreadEx::~VQWin32ThreadEx() { Destroy(); }

bool VQWin32ThreadEx::Create() {
    if (created) return false;
    // A thread object made again after Destroy starts from a clean state.
    quit = false;
    cancel = false;
    code = 0;
    startEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (startEvent) doneEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (doneEvent) {
        threadHandle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadMain, this, 0, &threadId));
    }
    if (!threadHandle) {
        CloseHandles();
        threadId = 0;
        return false;
    }
    created = true;
    return true;
}

void VQWin32ThreadEx::Destroy() {
    if (!created) return;
    quit = true;
    WaitForSingleObject(doneEvent, destroyWaitMs);
    SetEvent(startEvent);
    // The thread reads this object until its last line: whatever the job is
    // doing, the object must not go before the thread has ended.
    WaitForSingleObject(threadHandle, INFINITE);
    CloseHandles();
    created = false;
    threadId = 0;
}

void VQWin32ThreadEx::CloseHandles() {
    CloseIfOpen(doneEvent);
    CloseIfOpen(startEvent);
    CloseIfOpen(threadHandle);
}

bool VQWin32ThreadEx::IsCreated() { return created; }

bool VQWin32ThreadEx::IsDone() const { return WaitForSingleObject(doneEvent, 0) == WAIT_OBJECT_0; }

bool VQWin32ThreadEx::IsBusy(bool checkDone) {
    if (!created || code == 0) return false;
    if (!checkDone) return true;
    if (!IsDone()) return true;
    int current = code;
    if (current < 0) code.compare_exchange_strong(current, 0);
    return false;
}

bool VQWin32ThreadEx::IsRunning() { return IsBusy(true); }

bool VQWin32ThreadEx::IsIdle() {
    if (!created) return false;
    int current = code;
    if (current == 0) return true;
    // A negated code is a finished job whose result nobody has to collect.
    if (current < 0 && IsDone()) {
        code.compare_exchange_strong(current, 0);
        return true;
    }
    return false;
}

bool VQWin32ThreadEx::Post(int newCode, void* newParam, bool negate) {
    if (!created || code != 0 || newCode < 1) return false;
    ResetEvent(doneEvent);
    param = newParam;
    code = newCode;
    cancel = false;
    negateAfter = negate;
    SetEvent(startEvent);
    return true;
}

bool VQWin32ThreadEx::Wait(int timeoutMs, bool clearCode, bool requestCancel) {
    if (!created || code == 0) return true;
    if (requestCancel) cancel = true;
    DWORD limit = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    if (WaitForSingleObject(doneEvent, limit) != WAIT_OBJECT_0) return false;
    if (clearCode || code < 0) code = 0;
    return true;
}

unsigned __stdcall VQWin32ThreadEx::ThreadMain(void* self) {
    VQWin32ThreadEx* thread = static_cast<VQWin32ThreadEx*>(self);
    WaitForSingleObject(thread->startEvent, INFINITE);
    while (!thread->quit) {
        if (thread->procedure && thread->code != 0) thread->procedure(thread, thread->param);
        if (thread->negateAfter) {
            thread->negateAfter = false;
            thread->code = -thread->code;
        }
        SetEvent(thread->doneEvent);
        if (thread->onDone) thread->onDone();
        WaitForSingleObject(thread->startEvent, INFINITE);
    }
    SetEvent(thread->doneEvent);
    _endthreadex(0);
    return 0;
}
