// VQWin32File: VQFile over a Win32 file handle, and NewFile.
#include "base/files.h"

#include <cstring>

namespace {

struct OpenMode {
    DWORD access;
    DWORD creation;
    DWORD share;
    DWORD attributes;
};

OpenMode ModeFor(unsigned flags) {
    OpenMode mode;
    if (flags & kFileHandleOnly) {
        mode.access = GENERIC_READ | ((flags & kFileWrite) ? GENERIC_WRITE : 0);
        mode.creation = OPEN_EXISTING;
        mode.share = FILE_SHARE_READ;
        // Lets the handle open a folder as well, for its times.
        mode.attributes = FILE_FLAG_BACKUP_SEMANTICS;
        return mode;
    }
    mode.share = ((flags & kFileShareRead) ? FILE_SHARE_READ : 0) | ((flags & kFileShareWrite) ? FILE_SHARE_WRITE : 0);
    mode.attributes = FILE_ATTRIBUTE_NORMAL;
    if (!(flags & kFileWrite)) {
        mode.access = GENERIC_READ;
        mode.creation = OPEN_EXISTING;
        // Windows lets a second open in only when its share mode admits what
        // the first holder does: a reader that lets others read must also
        // admit an editor's write handle or a sync client's delete access.
        if (flags & kFileShareRead) mode.share |= FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    } else {
        mode.access = GENERIC_WRITE;
        mode.creation = (flags & kFileAppend) ? OPEN_ALWAYS : CREATE_ALWAYS;
    }
    return mode;
}

HANDLE CreateFor(const char* name, const OpenMode& mode) {
    return CreateFileA(name, mode.access, mode.share, nullptr, mode.creation, mode.attributes, nullptr);
}

HANDLE CreateFor(const wchar_t* name, const OpenMode& mode) {
    return CreateFileW(name, mode.access, mode.share, nullptr, mode.creation, mode.attributes, nullptr);
}

}  // namespace

VQWin32File::VQWin32File() : handle(INVALID_HANDLE_VALUE), windowStart(-1), windowEnd(-1) {}

VQWin32File::~VQWin32File() { Close(true); }

bool VQWin32File::Open(const char* name, unsigned openFlags, int openBufferSize) {
    Close(true);
    return name && FinishOpen(CreateFor(name, ModeFor(openFlags)), openFlags, openBufferSize);
}

bool VQWin32File::Open(const wchar_t* name, unsigned openFlags, int openBufferSize) {
    Close(true);
    return name && FinishOpen(CreateFor(name, ModeFor(openFlags)), openFlags, openBufferSize);
}

bool VQWin32File::FinishOpen(HANDLE opened, unsigned openFlags, int openBufferSize) {
    if (opened == INVALID_HANDLE_VALUE) return false;
    handle = opened;
    flags = openFlags;
    if (openFlags & kFileHandleOnly) return true;
    if (openBufferSize > 0) buffer = static_cast<char*>(GlobalAlloc(GPTR, openBufferSize));
    if (!buffer) {
        Close(true);
        return false;
    }
    bufferSize = requestedSize = openBufferSize;
    cursor = buffer;
    bytesLeft = 0;
    LARGE_INTEGER fileSize;
    if (!GetFileSizeEx(handle, &fileSize)) {
        Close(true);
        return false;
    }
    size = fileSize.QuadPart;
    position = 0;
    if ((openFlags & (kFileWrite | kFileAppend)) == (kFileWrite | kFileAppend)) {
        position = size;
        // Writes must never land at the start of a file opened to append.
        if (!Seek(0, 2)) {
            Close(true);
            return false;
        }
    }
    return true;
}

bool VQWin32File::Close(bool force) {
    if (IsWriteMode() && !Flush() && !force) return false;
    HANDLE old = handle;
    handle = INVALID_HANDLE_VALUE;
    windowStart = windowEnd = -1;
    ResetFields();
    if (old != INVALID_HANDLE_VALUE) CloseHandle(old);
    return true;
}

bool VQWin32File::SetWindow(int64_t length) {
    if (!buffer || IsWriteMode() || length < 0) return false;
    int64_t start = ReadPosition();
    int64_t end = start + length;
    // A window inside a window: Fill relies on the system pointer never
    // being behind `position` while `position` is below the window's end.
    if (HasWindow() && end > windowEnd) end = windowEnd;
    windowStart = start;
    windowEnd = end;
    if (position > end) {
        bytesLeft -= static_cast<int>(position - end);
        position = end;
    }
    size = end - start;
    return true;
}

bool VQWin32File::GetFileTime(FILETIME* created, FILETIME* accessed, FILETIME* written) {
    if (handle == INVALID_HANDLE_VALUE) return false;
    return ::GetFileTime(handle, created, accessed, written) != FALSE;
}

bool VQWin32File::SetFileTime(const FILETIME* created, const FILETIME* accessed, const FILETIME* written) {
    if (handle == INVALID_HANDLE_VALUE) return false;
    return ::SetFileTime(handle, created, accessed, written) != FALSE;
}

int64_t VQWin32File::Tell() {
    if (!buffer) return 0;
    if (IsWriteMode()) return position;
    return ReadPosition() - (HasWindow() ? windowStart : 0);
}

bool VQWin32File::Seek(int64_t distance, int whence) {
    if (!buffer || handle == INVALID_HANDLE_VALUE || whence < 0 || whence > 2) return false;
    int64_t current;
    if (IsWriteMode()) {
        if (!Flush()) return false;
        current = position;
    } else {
        current = ReadPosition();
        if (whence == 1) {
            int64_t target = current + distance;
            int64_t loadedStart = position - (static_cast<int64_t>(cursor - buffer) + bytesLeft);
            bool inWindow = !HasWindow() || target >= windowStart;
            if (target >= loadedStart && target <= position && inWindow) {
                cursor = buffer + (target - loadedStart);
                bytesLeft = static_cast<int>(position - target);
                return true;
            }
        }
    }
    LARGE_INTEGER move;
    DWORD method = FILE_BEGIN;
    if (HasWindow()) {
        int64_t target = whence == 0 ? windowStart + distance : whence == 1 ? current + distance : windowEnd + distance;
        if (target < windowStart || target > windowEnd) return false;
        move.QuadPart = target;
    } else if (whence == 2) {
        move.QuadPart = distance;
        method = FILE_END;
    } else {
        move.QuadPart = whence == 0 ? distance : current + distance;
    }
    LARGE_INTEGER now;
    if (!SetFilePointerEx(handle, move, &now, method)) return false;
    cursor = buffer;
    bytesLeft = 0;
    position = now.QuadPart;
    return true;
}

int VQWin32File::Fill() {
    if (!buffer || IsWriteMode()) return -1;
    cursor = buffer;
    bytesLeft = 0;
    if (HasWindow() && position >= windowEnd) return 0;
    DWORD got = 0;
    if (!ReadFile(handle, buffer, static_cast<DWORD>(bufferSize), &got, nullptr)) return -1;
    int64_t count = got;
    if (HasWindow() && position + count > windowEnd) count = windowEnd - position;
    position += count;
    bytesLeft = static_cast<int>(count);
    return count > 0 ? 1 : 0;
}

bool VQWin32File::Flush() {
    if (handle == INVALID_HANDLE_VALUE) return false;
    if (!buffer || !IsWriteMode()) return true;
    int pending = static_cast<int>(cursor - buffer);
    if (pending == 0) return true;
    DWORD written = 0;
    BOOL ok = WriteFile(handle, buffer, static_cast<DWORD>(pending), &written, nullptr);
    if (ok && static_cast<int>(written) == pending) {
        cursor = buffer;
        return true;
    }
    // Keep only what did not go out, so a retry writes nothing twice.
    if (written > 0 && static_cast<int>(written) < pending) {
        memmove(buffer, buffer + written, pending - written);
        cursor -= written;
    }
    return false;
}

namespace {

template <class Char>
VQFile* NewFileOf(const Char* name, unsigned flags) {
    VQWin32File* file = new VQWin32File;
    if (!file->Open(name, flags, VQFile::kDefaultBufferSize)) {
        delete file;
        return nullptr;
    }
    return file;
}

}  // namespace

VQFile* NewFile(const char* name, unsigned flags) { return NewFileOf(name, flags); }
VQFile* NewFile(const wchar_t* name, unsigned flags) { return NewFileOf(name, flags); }
