#include "engine/batch_runner.h"

#include <cstdint>
#include <cstring>

#include "base/files.h"
#include "engine/template.h"

namespace {

const DWORD kPollMs = 200;
// One read never asks for more; a full pipe is drained piece after piece
// without waiting in between.
const DWORD kReadSize = 2048;
// Past this the decoded text would no longer fit a string's int length.
const int kMaxCapture = (1 << 30) - 64;

// Lengthens the capture by `count` bytes for the caller to fill, growing the
// buffer geometrically so that output of any size is collected in linear
// time. Null when the capture would pass kMaxCapture.
char* ExtendCapture(VQString& bytes, int count) {
    int length = bytes.GetLength();
    if (count > kMaxCapture - length) return nullptr;
    int needed = length + count;
    VQStringBuffer* buffer = bytes.GetBuffer();
    int64_t capacity = buffer ? buffer->capacity : 0;
    int grow = 0;
    if (needed + 2 > capacity) {
        int64_t wanted = capacity * 2;
        if (wanted < needed + 2) wanted = needed + 2;
        if (wanted < 4096) wanted = 4096;
        if (wanted > kMaxCapture + 2) wanted = kMaxCapture + 2;
        grow = static_cast<int>(wanted);
    }
    bytes.SetLength(needed, grow);
    return bytes.GetData() + length;
}

// How long to wait on a captured child after finding its pipe empty for the
// `quietPasses`-th time in a row: a child in the middle of writing refills
// the pipe at once, and one that starts slowly or pauses is looked at every
// few milliseconds, so its output is not left waiting for a whole poll.
DWORD QuietWaitMs(int quietPasses) {
    const DWORD kQuietMaxMs = 10;
    if (quietPasses < 4) return 0;
    if (quietPasses > 8) return kQuietMaxMs;
    DWORD ms = 1u << (quietPasses - 4);
    return ms < kQuietMaxMs ? ms : kQuietMaxMs;
}

void CloseIfOpen(HANDLE handle) {
    if (handle) CloseHandle(handle);
}

bool StopRequested(const VQThread& thread) { return thread.quit || thread.cancel; }

}  // namespace

BatchRunner::BatchRunner()
    : startDirectory(GetCurrentDirectoryPath()), thread(nullptr), startedCount(0), succeededCount(0) {}

BatchRunner::~BatchRunner() { DestroyWorker(); }

bool BatchRunner::CreateWorker() {
    if (!thread) thread = new VQWin32ThreadEx(OnThreadJob);
    return thread->Create();
}

void BatchRunner::DestroyWorker() {
    if (!thread) return;
    thread->Destroy();
    delete thread;
    thread = nullptr;
}

BatchRunner::StartResult BatchRunner::StartRun(const VQWString& preCommandText, const VQWString& commandText,
                                               const VQWString& directoryText,
                                               const VQArray<VQWString, VQWString>& targetList) {
    // A running job reads these fields: they change only while the worker is idle.
    if (!thread || !thread->IsIdle()) return NotStarted;
    // Reference counts are plain ints: the worker gets strings that share nothing.
    preCommand = preCommandText.DeepCopy();
    command = commandText.DeepCopy();
    directory = directoryText.DeepCopy();
    targets.RemoveAll();
    int count = targetList.GetCount();
    targets.SetSize(-count);
    for (int i = 0; i < count; ++i) targets.Add(targetList[i].DeepCopy());
    if (targets.GetCount() == 0) return NoTargets;
    if (command.IsEmpty()) return NoCommand;
    startedCount = 0;
    succeededCount = 0;
    errorText = VQWString();
    thread->cancel = false;
    return thread->Post(1, this, false) ? Started : NotStarted;
}

bool BatchRunner::RequestStop() {
    if (!thread || !thread->IsBusy(true)) return false;
    thread->cancel = true;
    return true;
}

int BatchRunner::OnThreadJob(VQThread* thread, void* param) {
    if (thread->code != 1 || !param) return 0;
    VQWin32ThreadEx* worker = dynamic_cast<VQWin32ThreadEx*>(thread);
    if (worker) static_cast<BatchRunner*>(param)->RunJob(*worker);
    return 0;
}

void BatchRunner::RunJob(VQWin32ThreadEx& worker) {
    SetCurrentDirectoryW(directory.IsEmpty() ? startDirectory.Text() : directory.Text());
    bool last = true;
    VQWString preOutput;
    for (int i = 0; i < targets.GetCount(); ++i) {
        if (StopRequested(worker)) return;
        ++startedCount;
        preOutput = VQWString();
        // After a failed step the rest of the list is only counted.
        if (!last) continue;
        for (int step = 0; step < 2; ++step) {
            if (StopRequested(worker)) return;
            VQWString templateText = step == 0 ? preCommand : command;
            if (templateText.IsEmpty()) continue;
            last = RunStep(worker, templateText, targets[i], preOutput, step == 0 ? &preOutput : nullptr);
            if (!last) break;
            if (step == 0) preOutput.ReplaceLineBreaks(VQWString(L" "));
        }
        if (last) ++succeededCount;
    }
}

bool BatchRunner::RunStep(VQWin32ThreadEx& worker, VQWString templateText, VQWString target, VQWString preOutput,
                          VQWString* capture) {
    // A command line that could not be expanded is not run: launching it half
    // expanded would hand the command literal "$" markers as arguments.
    if (!ExpandTemplate(templateText, target, preOutput, errorText)) return false;
    VQWString& commandLine = templateText;

    HANDLE readEnd = nullptr;   // owned: closed before returning
    HANDLE writeEnd = nullptr;  // owned: kept open until the end, so the pipe never reports end-of-data
    if (capture) {
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, TRUE};
        if (!CreatePipe(&readEnd, &writeEnd, &attributes, 0)) {
            errorText.Format(L"パイプの作成に失敗しました。\n%s", commandLine.Text());
            return false;
        }
    }

    STARTUPINFOW startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (capture) {
        startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
        startup.hStdOutput = writeEnd;
        startup.hStdError = writeEnd;
        startup.wShowWindow = SW_HIDE;
    }
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof process);
    // CreateProcessW may write into the command line: give it a private buffer.
    VQWString writable = commandLine;
    writable.MakeUnique();
    if (!CreateProcessW(nullptr, writable.GetData(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        errorText.Format(L"コマンドの実行に失敗しました。\n%s", commandLine.Text());
        CloseIfOpen(writeEnd);
        CloseIfOpen(readEnd);
        return false;
    }

    bool result = true;
    bool ended = false;
    bool readFailed = false;
    int quietPasses = 0;
    VQString bytes;
    for (;;) {
        if (StopRequested(worker)) {
            result = false;
            break;
        }
        // Seen before the peek: an ended child has already written everything.
        if (!ended && WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) ended = true;
        if (capture) {
            DWORD available = 0;
            if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;
            if (available > 0) {
                // No read asks for more than the peek found, so none blocks.
                while (available > 0) {
                    DWORD ask = available < kReadSize ? available : kReadSize;
                    int length = bytes.GetLength();
                    char* space = ExtendCapture(bytes, static_cast<int>(ask));
                    DWORD got = 0;
                    if (!space || !ReadFile(readEnd, space, ask, &got, nullptr)) {
                        bytes.SetLength(length);
                        readFailed = true;
                        break;
                    }
                    bytes.SetLength(length + static_cast<int>(got));
                    if (got == 0) break;
                    available -= got < available ? got : available;
                }
                if (readFailed) {
                    result = false;
                    break;
                }
                quietPasses = 0;
                // A running child may be writing more at this moment: look again at once.
                if (ended) break;
                continue;
            }
        }
        if (ended) break;
        DWORD waitMs = capture ? QuietWaitMs(quietPasses++) : kPollMs;
        if (waitMs == 0) {
            SwitchToThread();
        } else {
            WaitForSingleObject(process.hProcess, waitMs);
        }
    }

    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseIfOpen(writeEnd);
    CloseIfOpen(readEnd);
    if (capture && !readFailed) *capture = VQWString::FromAnsi(bytes.GetData(), bytes.GetLength());
    return result;
}
