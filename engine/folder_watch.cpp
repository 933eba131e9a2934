#include "engine/folder_watch.h"

#include <process.h>

#include <algorithm>

#include "base/files.h"

struct FolderWatch::Folder {
    int number = 0;
    VQWString path;
    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped = {};
    HANDLE event = nullptr;
    bool armed = false;
    bool gone = false;     // told as gone, not yet back
    bool polled = false;   // no notifications here: listed on a timer
    DWORD dueAt = 0;       // the tick of the next look (gone or polled)
    // DWORD-aligned, as the system writes FILE_NOTIFY_INFORMATION records into it.
    std::vector<DWORD> buffer = std::vector<DWORD>(16 * 1024);
};

namespace {

uint64_t Combine(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

bool IsFolder(const VQWString& path) {
    DWORD attributes = LookUpAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A deleted folder that a handle (the watch's own) still holds keeps its
// attributes, but opens no more.
bool OpensAsFolder(const VQWString& path) {
    HANDLE folder = CreateFileW(SystemForm(path).Text(), FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return false;
    CloseHandle(folder);
    return true;
}

}  // namespace

FolderWatch::FolderWatch(const std::vector<VQWString>& paths, const Options& options) : options(options) {
    for (size_t i = 0; i < paths.size(); ++i) {
        auto folder = std::make_unique<Folder>();
        folder->number = static_cast<int>(i);
        folder->path = paths[i];
        folder->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        folders.push_back(std::move(folder));
    }
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    newsEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    readyEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

FolderWatch::~FolderWatch() {
    Stop();
    for (auto& folder : folders) {
        if (folder->event) CloseHandle(folder->event);
    }
    if (stopEvent) CloseHandle(stopEvent);
    if (newsEvent) CloseHandle(newsEvent);
    if (readyEvent) CloseHandle(readyEvent);
}

bool FolderWatch::Start() {
    if (thread || !stopEvent || !newsEvent || !readyEvent) return thread != nullptr;
    ResetEvent(stopEvent);
    ResetEvent(readyEvent);
    thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadMain, this, 0, nullptr));
    if (!thread) return false;
    HANDLE waits[] = {readyEvent, thread};
    WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    return true;
}

void FolderWatch::Stop() {
    if (!thread) return;
    SetEvent(stopEvent);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    thread = nullptr;
}

std::vector<WatchNews> FolderWatch::Take() {
    std::lock_guard<std::mutex> guard(lock);
    std::vector<WatchNews> taken;
    taken.swap(news);
    ResetEvent(newsEvent);
    return taken;
}

bool FolderWatch::IsPolled(int folder) const {
    std::lock_guard<std::mutex> guard(lock);
    return folder >= 0 && folder < static_cast<int>(folders.size()) && folders[folder]->polled;
}

void FolderWatch::Tell(WatchNews&& item) {
    std::lock_guard<std::mutex> guard(lock);
    news.push_back(std::move(item));
    SetEvent(newsEvent);
}

unsigned __stdcall FolderWatch::ThreadMain(void* self) {
    static_cast<FolderWatch*>(self)->Run();
    return 0;
}

void FolderWatch::List(Folder& folder, const VQWString& under) {
    std::vector<VQWString> pending{under};
    while (!pending.empty()) {
        if (WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0) return;
        VQWString dir = pending.back();
        pending.pop_back();
        VQWString pattern = dir;
        pattern.Append(L"\\*");
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileExW(SystemForm(pattern).Text(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                       nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0) continue;
            VQWString path = dir;
            path.Append(L"\\");
            path.Append(data.cFileName);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                // A link back to a parent would list the same files at every level.
                if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) pending.push_back(path);
                continue;
            }
            WatchNews item;
            item.kind = WatchNews::kChanged;
            item.path = path;
            item.listed = true;
            item.size = Combine(data.nFileSizeHigh, data.nFileSizeLow);
            item.writeTime = Combine(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
            item.folder = folder.number;
            Tell(std::move(item));
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
}

bool FolderWatch::Arm(Folder& folder) {
    ResetEvent(folder.event);
    folder.overlapped = OVERLAPPED{};
    folder.overlapped.hEvent = folder.event;
    const DWORD filter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_SIZE |
                         FILE_NOTIFY_CHANGE_LAST_WRITE;
    folder.dueAt = GetTickCount() + options.goneRetryMs;
    folder.armed = ReadDirectoryChangesW(folder.handle, folder.buffer.data(),
                                         static_cast<DWORD>(folder.buffer.size() * sizeof(DWORD)), TRUE, filter,
                                         nullptr, &folder.overlapped, nullptr) != FALSE;
    return folder.armed;
}

void FolderWatch::Open(Folder& folder) {
    DWORD now = GetTickCount();
    if (!IsFolder(folder.path)) {
        if (!folder.gone) {
            folder.gone = true;
            WatchNews item;
            item.kind = WatchNews::kFolderGone;
            item.path = folder.path;
            item.folder = folder.number;
            Tell(std::move(item));
        }
        folder.dueAt = now + options.goneRetryMs;
        return;
    }
    bool wasGone = folder.gone;
    folder.gone = false;
    if (wasGone) {
        WatchNews item;
        item.kind = WatchNews::kFolderBack;
        item.path = folder.path;
        item.folder = folder.number;
        Tell(std::move(item));
    }
    folder.handle = CreateFileW(SystemForm(folder.path).Text(), FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    // Armed before the listing: what changes while it lists is told twice at worst, never missed.
    bool notifies = folder.handle != INVALID_HANDLE_VALUE && Arm(folder);
    {
        std::lock_guard<std::mutex> guard(lock);
        folder.polled = !notifies;
    }
    if (!notifies) {
        if (folder.handle != INVALID_HANDLE_VALUE) CloseHandle(folder.handle);
        folder.handle = INVALID_HANDLE_VALUE;
        folder.dueAt = now + options.pollMs;
    }
}

void FolderWatch::Completed(Folder& folder) {
    DWORD bytes = 0;
    bool ok = GetOverlappedResult(folder.handle, &folder.overlapped, &bytes, FALSE) != FALSE;
    folder.armed = false;
    if (!ok || bytes == 0 || !IsFolder(folder.path)) {
        // The buffer overflowed (the changes are lost: list it again), or
        // the folder went: look again from the start.
        CancelIo(folder.handle);
        CloseHandle(folder.handle);
        folder.handle = INVALID_HANDLE_VALUE;
        Open(folder);
        if (!folder.gone) List(folder, folder.path);
        return;
    }
    std::vector<VQWString> changed;
    const BYTE* at = reinterpret_cast<const BYTE*>(folder.buffer.data());
    for (;;) {
        const FILE_NOTIFY_INFORMATION* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(at);
        if (info->Action == FILE_ACTION_ADDED || info->Action == FILE_ACTION_MODIFIED ||
            info->Action == FILE_ACTION_RENAMED_NEW_NAME) {
            VQWString path = folder.path;
            path.Append(L"\\");
            path.Append(info->FileName, static_cast<int>(info->FileNameLength / sizeof(wchar_t)));
            changed.push_back(path);
        }
        if (info->NextEntryOffset == 0) break;
        at += info->NextEntryOffset;
    }
    // Armed again before the news is looked at, so the next changes are kept meanwhile.
    Arm(folder);
    for (VQWString& path : changed) {
        if (IsFolder(path)) {
            // A folder moved or copied in tells only its own name.
            List(folder, path);
            continue;
        }
        WatchNews item;
        item.kind = WatchNews::kChanged;
        item.path = std::move(path);
        item.folder = folder.number;
        Tell(std::move(item));
    }
}

void FolderWatch::Run() {
    for (auto& folder : folders) Open(*folder);
    SetEvent(readyEvent);
    if (options.listAtStart) {
        for (auto& folder : folders) {
            if (!folder->gone) List(*folder, folder->path);
        }
    }
    WatchNews listed;
    listed.kind = WatchNews::kStartListed;
    Tell(std::move(listed));
    for (;;) {
        std::vector<HANDLE> waits{stopEvent};
        std::vector<Folder*> waiting;
        DWORD now = GetTickCount();
        DWORD timeout = INFINITE;
        for (auto& folder : folders) {
            if (folder->armed) {
                waits.push_back(folder->event);
                waiting.push_back(folder.get());
            }
            DWORD left = static_cast<int32_t>(folder->dueAt - now) > 0 ? folder->dueAt - now : 0;
            timeout = std::min(timeout, left);
        }
        DWORD result = WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, timeout);
        if (result == WAIT_OBJECT_0) break;
        if (result > WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + waits.size()) {
            Completed(*waiting[result - WAIT_OBJECT_0 - 1]);
            continue;
        }
        if (result != WAIT_TIMEOUT) break;
        now = GetTickCount();
        for (auto& folder : folders) {
            if (static_cast<int32_t>(folder->dueAt - now) > 0) continue;
            if (folder->armed) {
                // Not every system ends the read when the folder itself is
                // deleted: a look now and then finds it gone.
                folder->dueAt = now + options.goneRetryMs;
                if (IsFolder(folder->path) && OpensAsFolder(folder->path)) continue;
                CancelIo(folder->handle);
                DWORD bytes = 0;
                GetOverlappedResult(folder->handle, &folder->overlapped, &bytes, TRUE);
                CloseHandle(folder->handle);
                folder->handle = INVALID_HANDLE_VALUE;
                folder->armed = false;
            }
            bool wasPolled = folder->polled;
            Open(*folder);
            // A folder that came back, or one listed on a timer: its files now.
            if (!folder->gone) List(*folder, folder->path);
            if (wasPolled && folder->polled) folder->dueAt = now + options.pollMs;
        }
    }
    for (auto& folder : folders) {
        if (folder->handle == INVALID_HANDLE_VALUE) continue;
        CancelIo(folder->handle);
        if (folder->armed) {
            DWORD bytes = 0;
            GetOverlappedResult(folder->handle, &folder->overlapped, &bytes, TRUE);
        }
        CloseHandle(folder->handle);
        folder->handle = INVALID_HANDLE_VALUE;
        folder->armed = false;
    }
}
