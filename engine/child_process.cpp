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
        DWORD error = GetLastError();
        CloseIfOpen(readEnd);
        SetLastError(error);
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

CreateProcessFunction createChildProcess = CreateProcessW;

namespace {

// Windows 10 has it; the headers give it only to programs for Windows 10 and
// up, and this one starts on Windows 7 too (which refuses it, see Add).
const DWORD_PTR kJobListAttribute = ProcThreadAttributeValue(13, FALSE, TRUE, FALSE);

// The attributes of one start: the handles a child inherits and its job.
class AttributeList {
public:
    AttributeList() {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, kMaxAttributes, 0, &size);
        storage.resize(size);
        ready = size > 0 && InitializeProcThreadAttributeList(Raw(), kMaxAttributes, 0, &size);
    }
    AttributeList(const AttributeList&) = delete;
    AttributeList& operator=(const AttributeList&) = delete;
    ~AttributeList() {
        if (ready) DeleteProcThreadAttributeList(Raw());
    }
    // False where the system does not have the attribute; the list keeps what it had.
    bool Add(DWORD_PTR attribute, void* value, SIZE_T size) {
        if (!ready || !UpdateProcThreadAttribute(Raw(), 0, attribute, value, size, nullptr, nullptr)) return false;
        used = true;
        return true;
    }
    LPPROC_THREAD_ATTRIBUTE_LIST Get() { return used ? Raw() : nullptr; }

private:
    enum { kMaxAttributes = 2 };
    LPPROC_THREAD_ATTRIBUTE_LIST Raw() { return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data()); }
    std::vector<char> storage;
    bool ready = false;
    bool used = false;
};

// One CreateProcessW call for the request, the child suspended and in the
// job when it returns true. With withJobList the child is created inside
// the job where the system has that (triedJobList then tells); otherwise,
// or where the system ignored it, it joins the job at once, before its
// first instruction: killed in between, this program would leave it
// suspended in no job for ever.
bool CreateSuspended(const LaunchRequest& request, HANDLE input, bool withJobList, PROCESS_INFORMATION& process,
                     bool& triedJobList) {
    STARTUPINFOEXW startup;
    memset(&startup, 0, sizeof startup);
    startup.StartupInfo.cb = sizeof startup;
    DWORD flags = CREATE_SUSPENDED | request.priorityClass;
    if (request.environment) flags |= CREATE_UNICODE_ENVIRONMENT;
    AttributeList attributes;
    HANDLE inherited[2] = {request.output, input};
    if (request.output) {
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
        startup.StartupInfo.hStdInput = input;
        startup.StartupInfo.hStdOutput = request.output;
        startup.StartupInfo.hStdError = request.output;
        startup.StartupInfo.wShowWindow = SW_HIDE;
        // A console of its own but no window for it: far cheaper than a hidden
        // console window, and what it starts shares that console instead of
        // each opening a visible one.
        flags |= CREATE_NO_WINDOW;
        // Only these go to the child, whatever else this process has made
        // inheritable in the meantime.
        attributes.Add(PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, (input ? 2 : 1) * sizeof(HANDLE));
    }
    HANDLE jobs[1] = {request.job};
    triedJobList = withJobList && request.job && attributes.Add(kJobListAttribute, jobs, sizeof jobs);
    if (attributes.Get()) {
        startup.lpAttributeList = attributes.Get();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    // CreateProcessW may write into the command line: give it a private buffer.
    VQWString writable = request.commandLine->DeepCopy();
    writable.MakeUnique();
    wchar_t empty[1] = {L'\0'};
    memset(&process, 0, sizeof process);
    if (!createChildProcess(nullptr, writable.GetData() ? writable.GetData() : empty, nullptr, nullptr,
                            request.output ? TRUE : FALSE, flags, const_cast<wchar_t*>(request.environment),
                            request.directory, &startup.StartupInfo, &process)) {
        return false;
    }
    if (request.job) {
        BOOL inside = FALSE;
        // A process outside the job (the call can fail when this program runs
        // in a job of its own that forbids it) still runs; it is ended by itself.
        if (!triedJobList || !IsProcessInJob(process.hProcess, request.job, &inside) || !inside) {
            AssignProcessToJobObject(request.job, process.hProcess);
        }
    }
    return true;
}

}  // namespace

HANDLE LaunchChild(const LaunchRequest& request) {
    // A hidden child has nobody to answer it: asked for input, it reads the
    // end of the input at once instead of waiting for ever.
    HANDLE input = nullptr;
    if (request.output) {
        SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
        input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0,
                            nullptr);
        if (input == INVALID_HANDLE_VALUE) input = nullptr;
    }
    PROCESS_INFORMATION process;
    bool created = false;
    bool withJobList = true;
    bool retried = false;
    DWORD error = 0;
    for (;;) {
        bool triedJobList = false;
        created = CreateSuspended(request, input, withJobList, process, triedJobList);
        if (created) break;
        error = GetLastError();
        // The attribute was taken but the child refused inside the job: it is
        // started as where the system has no such attribute.
        if (triedJobList) {
            withJobList = false;
            continue;
        }
        // Wine's CreateProcessW fails now and then with ERROR_INTERNAL_ERROR
        // (about once in a few thousand starts, a plain loop too). The process
        // never ran, suspended as it was asked for: one more try is safe.
        if (error != ERROR_INTERNAL_ERROR || retried) break;
        retried = true;
    }
    if (input) CloseHandle(input);
    if (!created) {
        SetLastError(error);
        return nullptr;
    }
    if (request.suspendedThread) {
        *request.suspendedThread = process.hThread;
    } else {
        ResumeThread(process.hThread);
        CloseHandle(process.hThread);
    }
    return process.hProcess;
}

VQWString SystemErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' || buffer[length - 1] == L' ')) {
        --length;
    }
    VQWString text;
    if (length > 0) {
        text.Append(buffer, static_cast<int>(length));
    } else {
        text.Format(L"（エラー %lu）", static_cast<unsigned long>(error));
    }
    if (buffer) LocalFree(buffer);
    return text;
}
