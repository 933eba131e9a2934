#include "app/folder_watcher.h"

#include <cwchar>

#include "base/files.h"
#include "base/path_identity.h"
#include "base/text_hash.h"
#include "engine/output_path.h"

namespace {

VQWString ReadUtf16File(const VQWString& path) {
    HANDLE file = CreateFileW(SystemForm(path).Text(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return VQWString();
    LARGE_INTEGER size = {};
    std::wstring text;
    if (GetFileSizeEx(file, &size) && size.QuadPart >= 2 && size.QuadPart < (1ll << 31)) {
        std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
        DWORD read = 0;
        if (ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size() &&
            bytes[0] == '\xFF' && bytes[1] == '\xFE') {
            text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
        }
    }
    CloseHandle(file);
    return VQWString(text.c_str());
}

bool WriteUtf16File(const VQWString& path, const VQWString& text) {
    return ReplaceWholeFile(SystemForm(path).Text(), [&](const wchar_t* tempPath) {
        HANDLE file = CreateFileW(tempPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        bool ok = WriteFile(file, "\xFF\xFE", 2, &written, nullptr) != FALSE;
        DWORD bytes = static_cast<DWORD>(text.GetLength() * sizeof(wchar_t));
        ok = ok && (bytes == 0 || (WriteFile(file, text.Text(), bytes, &written, nullptr) && written == bytes));
        ok = FlushFileBuffers(file) && ok;
        CloseHandle(file);
        return ok;
    });
}

}  // namespace

std::vector<VQWString> SplitWatchFolders(const VQWString& text) {
    std::vector<VQWString> folders;
    const wchar_t* at = text.Text();
    while (*at) {
        const wchar_t* end = wcschr(at, L';');
        int length = end ? static_cast<int>(end - at) : static_cast<int>(wcslen(at));
        VQWString folder = VQWString(at).Left(length).Trim();
        // "D:\in\" and "D:\in" are one folder; a drive's root keeps its "\".
        while (folder.GetLength() > 3 && folder.GetAt(folder.GetLength() - 1) == L'\\') {
            folder = folder.Left(folder.GetLength() - 1);
        }
        if (!folder.IsEmpty()) folders.push_back(folder);
        at += length;
        if (*at == L';') ++at;
    }
    return folders;
}

VQWString WatchRefusal(const WatchRequest& request) {
    std::vector<VQWString> folders = SplitWatchFolders(request.folders);
    if (folders.empty()) return VQWString(L"監視するフォルダを入力してください。");
    if (request.command.Trim().IsEmpty()) return VQWString(L"コマンドを入力してください。");
    VQWString outputFolder = FixedOutputFolder(request.outputTemplate);
    VQWString message;
    for (const VQWString& folder : folders) {
        VQWString full;
        DWORD attributes = GetFullPath(folder, full) ? LookUpAttributes(full) : INVALID_FILE_ATTRIBUTES;
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return message.Format(L"監視するフォルダが見つかりません。\n%s", folder.Text());
        }
        if (IsUnderFolder(full, outputFolder)) {
            return message.Format(L"監視するフォルダが出力先のフォルダの中にあります。\n%s", folder.Text());
        }
    }
    return VQWString();
}

bool FolderWatcher::Start(const WatchRequest& request, VQWString& error) {
    Stop();
    error = WatchRefusal(request);
    if (!error.IsEmpty()) return false;
    folders.clear();
    for (const VQWString& folder : SplitWatchFolders(request.folders)) {
        VQWString full;
        GetFullPath(folder, full);
        while (full.GetLength() > 3 && full.GetAt(full.GetLength() - 1) == L'\\') full = full.Left(full.GetLength() - 1);
        folders.push_back(full);
    }
    // Two watches of the same folders would run every file twice, each with a ledger of its own.
    VQWString ownerName(L"Local\\Quenbrix-watch-");
    ownerName.Append(FoldersKey());
    owner = CreateMutexW(nullptr, FALSE, ownerName.Text());
    if (owner && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(owner);
        owner = nullptr;
        error = L"このフォルダは別のウィンドウで監視中です。";
        return false;
    }
    dataFolder = request.dataFolder;
    ledger = WatchLedger();
    if (!dataFolder.IsEmpty()) ledger.FromText(ReadUtf16File(LedgerPath()));
    WatchSetup setup;
    setup.folders = folders;
    setup.accepts = request.accepts;
    setup.outputFolder = FixedOutputFolder(request.outputTemplate);
    outputTemplate = request.outputTemplate;
    directory = request.directory;
    expectedOutputs.clear();
    setup.isOutput = [this](const VQWString& path) { return expectedOutputs.count(PathIdentity(path).Text()) > 0; };
    setup.settleMs = request.settleSeconds * 1000;
    setup.existing = request.existing;
    session = std::make_unique<WatchSession>(setup, ledger);
    FolderWatch::Options options;
    // What came while nobody watched is found by listing, with or without `existing`.
    options.listAtStart = true;
    watch = std::make_unique<FolderWatch>(folders, options);
    queued.clear();
    runs = 0;
    filesRun = 0;
    if (!watch->Start()) {
        watch.reset();
        session.reset();
        ReleaseFolders();
        error = L"監視を開始できませんでした。";
        return false;
    }
    return true;
}

void FolderWatcher::Stop() {
    if (!watch) return;
    watch->Stop();
    watch.reset();
    session.reset();
    // Files settled but not run are taken again at the next start.
    for (const WatchedFile& file : queued) ledger.Forget(file.path);
    queued.clear();
    SaveLedger();
    ReleaseFolders();
}

void FolderWatcher::ReleaseFolders() {
    if (owner) CloseHandle(owner);
    owner = nullptr;
}

VQWString FolderWatcher::FoldersKey() const {
    VQWString joined;
    for (const VQWString& folder : folders) {
        joined.Append(PathIdentity(folder));
        joined.Append(L";");
    }
    return TextHashHex(joined);
}

void FolderWatcher::Tick(DWORD now) {
    if (!watch) return;
    session->Hear(watch->Take(), now);
    for (WatchedFile& file : session->TakeReady(now)) {
        VQWString output, error;
        if (!outputTemplate.IsEmpty() &&
            ExpandOutputPath(outputTemplate, file.path, file.root, directory, output, error)) {
            expectedOutputs.insert(PathIdentity(output).Text());
        }
        queued.push_back(std::move(file));
    }
    if (queued.empty() || !host.WatchCanRun()) return;
    std::vector<WatchedFile> batch;
    batch.swap(queued);
    if (host.RunWatchedFiles(batch)) {
        ++runs;
        filesRun += static_cast<int>(batch.size());
    } else {
        queued.swap(batch);
    }
}

void FolderWatcher::RunEnded(const std::vector<VQWString>& ran, const std::vector<VQWString>& notRun,
                             const std::vector<VQWString>& outputs) {
    if (!session) return;
    for (const VQWString& path : ran) session->NoteAsItIs(path);
    for (const VQWString& path : outputs) session->NoteAsItIs(path);
    for (const VQWString& path : notRun) session->Unnote(path);
    SaveLedger();
}

VQWString FolderWatcher::StatusText() const {
    VQWString list;
    for (const VQWString& folder : folders) {
        if (!list.IsEmpty()) list.Append(L"; ");
        list.Append(folder);
    }
    VQWString text;
    // The counts first: a narrow line cuts the folders, not them.
    text.Format(L"監視中（実行 %d 件、待機 %d 件） %s", filesRun,
                static_cast<int>(queued.size() + (session ? session->WaitingCount() : 0)), list.Text());
    if (session) {
        for (size_t i = 0; i < session->Gone().size(); ++i) {
            if (!session->Gone()[i]) continue;
            VQWString gone;
            gone.Format(L"　見つからないフォルダ: %s", folders[i].Text());
            text.Append(gone);
        }
    }
    return text;
}

VQWString FolderWatcher::LedgerPath() const {
    VQWString path;
    path.Format(L"%s\\watch-%s.txt", dataFolder.Text(), FoldersKey().Text());
    return path;
}

void FolderWatcher::SaveLedger() {
    if (dataFolder.IsEmpty() || folders.empty()) return;
    CreateFolders(dataFolder);
    // A file settled but not yet run is not on the disk as taken: a watch
    // that ends unexpectedly runs it at its next start.
    WatchLedger saved = ledger;
    for (const WatchedFile& file : queued) saved.Forget(file.path);
    WriteUtf16File(LedgerPath(), saved.ToText());
}
