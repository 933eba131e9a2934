// VQLog, VQWin32Semaphore and the program's one log object.
#include "base/log.h"

#include <cstdio>
#include <cstring>

#include "base/files.h"

VQLog vqLog;

namespace {

// The texts are Shift-JIS, as every narrow diagnostic is.
// "[VQLog::VQLog]セマフォの作成に失敗しました。複数のスレッドから呼び出すと不具合が起こる可能性があります。\n"
const char kSemaphoreFailure[] =
    "[VQLog::VQLog]\x83Z\x83}\x83t\x83H\x82\xCC\x8D\xEC\x90\xAC\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD"
    "\x81" "B\x95\xA1\x90\x94\x82\xCC\x83X\x83\x8C\x83" "b\x83h\x82\xA9\x82\xE7\x8C\xC4\x82\xD1\x8Fo\x82\xB7\x82\xC6"
    "\x95s\x8B\xEF\x8D\x87\x82\xAA\x8BN\x82\xB1\x82\xE9\x89\xC2\x94\x5C\x90\xAB\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB7"
    "\x81" "B\n";
// "ログファイル("
const char kFailureBefore[] = "\x83\x8D\x83O\x83t\x83@\x83" "C\x83\x8B(";
// ")への出力に失敗しました。\n"
const char kFailureAfter[] = ")\x82\xD6\x82\xCC\x8Fo\x97\xCD\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81" "B\n";

const int kStampLength = 22;

bool SameSecond(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

// The line that could not reach the file goes to the debugger instead, after
// the notice, and so does every later line.
void ReportFileFailure(VQLog& log, const char* stamp, const char* spaces, const char* message) {
    OutputDebugStringA(kFailureBefore);
    OutputDebugStringA(log.fileName.Text());
    OutputDebugStringA(kFailureAfter);
    if (log.timestamps) OutputDebugStringA(stamp);
    OutputDebugStringA(spaces);
    OutputDebugStringA(message);
    log.toFile = 0;
}

}  // namespace

VQWin32Semaphore::VQWin32Semaphore(int initialCount, int maximumCount)
    : handle(CreateSemaphoreW(nullptr, initialCount, maximumCount, nullptr)) {}

VQWin32Semaphore::~VQWin32Semaphore() {
    if (handle) CloseHandle(handle);
}

bool VQWin32Semaphore::IsCreated() { return handle != nullptr; }

bool VQWin32Semaphore::Wait(int timeoutMs) {
    if (!handle) return false;
    DWORD limit = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    return WaitForSingleObject(handle, limit) == WAIT_OBJECT_0;
}

void VQWin32Semaphore::Release(int count) {
    if (handle) ReleaseSemaphore(handle, count, nullptr);
}

VQLog::VQLog() : VQLog(new VQWin32Semaphore(1, 1)) {}

VQLog::VQLog(VQSemaphore* lock)
    : enabled(0), toFile(0), indent(0), timestamps(0), lastTime(), buffered(0), bufferFill(0), buffer(),
      semaphore(lock) {
    if (semaphore && !semaphore->IsCreated()) {
        OutputDebugStringA(kSemaphoreFailure);
        // A lock that cannot be waited on would drop every line.
        delete semaphore;
        semaphore = nullptr;
    }
}

VQLog::~VQLog() { Close(); }

void VQLog::Write(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteV(format, args);
    va_end(args);
}

void VQLog::WriteV(const char* format, va_list args) {
    if (!enabled) return;
    if (semaphore && !semaphore->Wait(-1)) return;

    char message[kMessageSize];
    message[0] = 0;
    if (format) vsnprintf(message, sizeof message, format, args);

    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    if (SameSecond(now, lastTime)) {
        // Lines within one second line up under the first one's text.
        memset(stamp, ' ', kStampLength);
        stamp[kStampLength] = 0;
    } else {
        snprintf(stamp, sizeof stamp, "%04d/%02d/%02d %02d:%02d:%02d : ", now.wYear, now.wMonth, now.wDay, now.wHour,
                 now.wMinute, now.wSecond);
    }
    char spaces[kMaxIndent + 1];
    int indentation = indent < 0 ? 0 : indent > kMaxIndent ? kMaxIndent : indent;
    memset(spaces, ' ', indentation);
    spaces[indentation] = 0;
    const char* shownStamp = timestamps ? stamp : "";

    if (!toFile) {
        if (timestamps) OutputDebugStringA(stamp);
        OutputDebugStringA(spaces);
        OutputDebugStringA(message);
    } else if (buffered) {
        bool ok = AppendToBuffer(shownStamp, static_cast<int>(strlen(shownStamp)));
        lastTime = now;
        ok = ok && AppendToBuffer(spaces, indentation) && AppendToBuffer(message, static_cast<int>(strlen(message)));
        if (!ok) ReportFileFailure(*this, stamp, spaces, message);
    } else {
        VQFile* file = NewFile(fileName.Text(), kFileWrite | kFileAppend);
        if (file) {
            bool ok = file->WriteText(shownStamp);
            if (ok) {
                lastTime = now;
                ok = file->WriteText(spaces) && file->WriteText(message);
            }
            // The bytes reach the file only when it is closed.
            ok = file->Close(false) && ok;
            delete file;
            if (!ok) ReportFileFailure(*this, stamp, spaces, message);
        }
    }

    if (semaphore) semaphore->Release(1);
}

void VQLog::Close() {
    if (!semaphore || semaphore->Wait(-1)) {
        // After a failed write the file is given up for good.
        if (buffered && toFile) Flush();
        if (semaphore) semaphore->Release(1);
    }
    delete semaphore;
    semaphore = nullptr;
    fileName = VQString();
}

bool VQLog::Flush() {
    if (bufferFill == 0) return true;
    VQFile* file = NewFile(fileName.Text(), kFileWrite | kFileAppend);
    if (!file) return false;
    bool ok = file->WriteTextBytes(buffer, bufferFill) && file->Close(false);
    delete file;
    if (ok) bufferFill = 0;
    return ok;
}

bool VQLog::AppendToBuffer(const char* text, int length) {
    while (length > 0) {
        if (length > kBufferSize - bufferFill && !Flush()) return false;
        int room = kBufferSize - bufferFill;
        int piece = length < room ? length : room;
        memcpy(buffer + bufferFill, text, piece);
        bufferFill += piece;
        text += piece;
        length -= piece;
    }
    return true;
}
