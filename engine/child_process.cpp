#include "engine/child_process.h"

#include <atomic>
#include <cstring>
#include <vector>

namespace {

// The largest piece of output kept in one buffer; a string's length is an int.
const int64_t kMaxKeep = (int64_t(1) << 30) - 64;

std::atomic<unsigned> pipeCounter{0};

void CloseIfOpen(HANDLE& handle) {
    if (handle) CloseHandle(handle);
    handle = nullptr;
}

// Lengthens the kept bytes by `count` for the caller to fill, growing the
// buffer geometrically so that long output is collected in linear time.
char* Extend(VQString& bytes, int count) {
    int length = bytes.GetLength();
    int64_t needed = int64_t(length) + count;
    VQStringBuffer* buffer = bytes.GetBuffer();
    int64_t capacity = buffer ? buffer->capacity : 0;
    int grow = 0;
    if (needed + 2 > capacity) {
        int64_t wanted = capacity * 2;
        if (wanted < needed + 2) wanted = needed + 2;
        if (wanted < 4096) wanted = 4096;
        if (wanted > kMaxKeep + 2) wanted = kMaxKeep + 2;
        grow = static_cast<int>(wanted);
    }
    bytes.SetLength(static_cast<int>(needed), grow);
    return bytes.GetData() + length;
}

}  // namespace

OutputPipe::OutputPipe(int64_t limit)
    : readEnd(nullptr),
      writeEnd(nullptr),
      pending(false),
      stopped(false),
      broken(false),
      failed(false),
      keepLimit(limit < 0 ? 0 : (limit > kMaxKeep ? kMaxKeep : limit)),
      total(0) {
    memset(&read, 0, sizeof read);
}

OutputPipe::~OutputPipe() {
    stopped = true;
    if (pending && readEnd) {
        CancelIoEx(readEnd, &read.overlapped);
        while (pending) SleepEx(INFINITE, TRUE);
    }
    CloseIfOpen(writeEnd);
    CloseIfOpen(readEnd);
}

bool OutputPipe::Create() {
    // A named pipe, because anonymous ones cannot be read overlapped. The name
    // is unique to this process and call; the first instance flag makes sure
    // no one else created it first.
    wchar_t name[96];
    for (int attempt = 0; attempt < 4 && !readEnd; ++attempt) {
        wsprintfW(name, L"\\\\.\\pipe\\Quenbrix-%lu-%lu-%u", GetCurrentProcessId(), GetTickCount(),
                  pipeCounter.fetch_add(1));
        HANDLE handle = CreateNamedPipeW(
            name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, 65536, 0, nullptr);
        if (handle != INVALID_HANDLE_VALUE) readEnd = handle;
    }
    if (!readEnd) return false;
    // The read end was made without security attributes, so no child inherits
    // it: a child holding its own read end would never see its pipe close.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    // The access an anonymous pipe's write end has: some programs look at their output's attributes.
    HANDLE handle = CreateFileW(name, GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, &inheritable, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        CloseIfOpen(readEnd);
        return false;
    }
    writeEnd = handle;
    return true;
}

void OutputPipe::CloseWriteEnd() { CloseIfOpen(writeEnd); }

bool OutputPipe::StartReading() {
    if (!readEnd) return false;
    return IssueRead() || broken;
}

bool OutputPipe::IssueRead() {
    memset(&read.overlapped, 0, sizeof read.overlapped);
    read.owner = this;
    pending = true;
    if (ReadFileEx(readEnd, buffer, sizeof buffer, &read.overlapped, OnReadDone)) return true;
    pending = false;
    if (GetLastError() == ERROR_BROKEN_PIPE) {
        broken = true;
    } else {
        failed = true;
    }
    return false;
}

void CALLBACK OutputPipe::OnReadDone(DWORD error, DWORD count, OVERLAPPED* overlapped) {
    OutputPipe* self = reinterpret_cast<PendingRead*>(overlapped)->owner;
    self->pending = false;
    // A cancelled read may still have taken bytes before the cancel.
    if (count > 0) self->Keep(self->buffer, count);
    if (error == ERROR_BROKEN_PIPE) {
        self->broken = true;
    } else if (error != 0 && error != ERROR_OPERATION_ABORTED && error != ERROR_MORE_DATA) {
        self->failed = true;
    }
    if (!self->stopped && !self->broken && !self->failed && error != ERROR_OPERATION_ABORTED) self->IssueRead();
}

void OutputPipe::Keep(const char* data, DWORD count) {
    int64_t room = keepLimit - bytes.GetLength();
    total += count;
    if (room <= 0) return;
    int take = count < room ? static_cast<int>(count) : static_cast<int>(room);
    memcpy(Extend(bytes, take), data, static_cast<size_t>(take));
}

void OutputPipe::Finish() {
    if (!readEnd) return;
    for (;;) {
        // Completions that are due run first; each issues the next read.
        SleepEx(0, TRUE);
        if (!pending) break;  // the pipe broke or a read failed: everything is in
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) || available == 0) {
            // Nothing left from the child; a descendant may hold the write
            // end open for much longer, and the step does not wait for it.
            stopped = true;
            CancelIoEx(readEnd, &read.overlapped);
            while (pending) SleepEx(INFINITE, TRUE);
            break;
        }
        // More than the pending read can take is waiting: let it complete.
        SleepEx(INFINITE, TRUE);
    }
    stopped = true;
}

HANDLE LaunchChild(const LaunchRequest& request) {
    STARTUPINFOEXW startup;
    memset(&startup, 0, sizeof startup);
    startup.StartupInfo.cb = sizeof startup;
    DWORD flags = CREATE_SUSPENDED;
    std::vector<char> attributeStorage;
    HANDLE inherited[1] = {request.output};
    if (request.output) {
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
        startup.StartupInfo.hStdOutput = request.output;
        startup.StartupInfo.hStdError = request.output;
        startup.StartupInfo.wShowWindow = SW_HIDE;
        // A console of its own but no window for it: far cheaper than a hidden
        // console window, and what it starts shares that console instead of
        // each opening a visible one.
        flags |= CREATE_NO_WINDOW;
        // Only the pipe's write end goes to the child, whatever else this
        // process has made inheritable in the meantime.
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        attributeStorage.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeStorage.data());
        if (size > 0 && InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited,
                                          nullptr, nullptr)) {
                startup.lpAttributeList = list;
                flags |= EXTENDED_STARTUPINFO_PRESENT;
            } else {
                DeleteProcThreadAttributeList(list);
            }
        }
    }
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof process);
    BOOL created = FALSE;
    DWORD error = 0;
    // Wine's CreateProcessW fails now and then with ERROR_INTERNAL_ERROR
    // (about once in a few thousand starts, a plain loop too). The process
    // never ran, suspended as it was asked for: one more try is safe.
    for (int attempt = 0; attempt < 2 && !created; ++attempt) {
        if (attempt > 0 && error != ERROR_INTERNAL_ERROR) break;
        // CreateProcessW may write into the command line: give it a private buffer.
        VQWString writable = request.commandLine->DeepCopy();
        writable.MakeUnique();
        wchar_t empty[1] = {L'\0'};
        created = CreateProcessW(nullptr, writable.GetData() ? writable.GetData() : empty, nullptr, nullptr,
                                 request.output ? TRUE : FALSE, flags, nullptr, request.directory,
                                 &startup.StartupInfo, &process);
        error = GetLastError();
    }
    if (startup.lpAttributeList) DeleteProcThreadAttributeList(startup.lpAttributeList);
    if (!created) {
        SetLastError(error);
        return nullptr;
    }
    // A process outside the job (the call can fail when this program runs in
    // a job of its own that forbids it) still runs; it is ended by itself.
    if (request.job) AssignProcessToJobObject(request.job, process.hProcess);
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    return process.hProcess;
}
