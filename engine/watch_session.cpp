#include "engine/watch_session.h"

#include <cwchar>

#include "base/path_identity.h"

namespace {

const wchar_t* NameOf(const VQWString& path) {
    const wchar_t* text = path.Text();
    const wchar_t* slash = wcsrchr(text, L'\\');
    return slash ? slash + 1 : text;
}

bool IsFullPath(const wchar_t* text) {
    return (text[0] && text[1] == L':' && text[2] == L'\\') || (text[0] == L'\\' && text[1] == L'\\');
}

}  // namespace

VQWString FixedOutputFolder(const VQWString& outputTemplate) {
    const wchar_t* text = outputTemplate.Text();
    if (!IsFullPath(text)) return VQWString();
    const wchar_t* variable = wcschr(text, L'$');
    int end = variable ? static_cast<int>(variable - text) : outputTemplate.GetLength();
    // Back to the last "\" before the variable: "D:\out\a_$name" writes into D:\out.
    while (end > 0 && text[end - 1] != L'\\') --end;
    if (end <= 3 && text[0] != L'\\') return VQWString();  // a drive's root holds everything
    return outputTemplate.Left(end);
}

bool IsUnderFolder(const VQWString& path, const VQWString& folder) {
    if (folder.IsEmpty()) return false;
    VQWString inside = PathIdentity(folder);
    if (inside.GetLength() > 0 && inside.GetAt(inside.GetLength() - 1) != L'\\') inside.Append(L"\\");
    VQWString identity = PathIdentity(path);
    VQWString asFolder = identity;
    asFolder.Append(L"\\");
    if (asFolder == inside) return true;
    return identity.GetLength() > inside.GetLength() &&
           wcsncmp(identity.Text(), inside.Text(), static_cast<size_t>(inside.GetLength())) == 0;
}

WatchSession::WatchSession(const WatchSetup& setup, WatchLedger& ledger)
    : setup(setup), ledger(ledger), tracker(setup.settleMs), gone(setup.folders.size(), false) {
    // A first watch without `existing` takes what is there as seen; a later
    // one runs what came while nobody watched.
    noteStartListing = !setup.existing && ledger.Count() == 0;
}

bool WatchSession::Passes(const VQWString& path) const {
    if (IsPassedOverName(NameOf(path))) return false;
    if (setup.accepts && !setup.accepts(path)) return false;
    if (IsUnderFolder(path, setup.outputFolder)) return false;
    if (setup.isOutput && setup.isOutput(path)) return false;
    return true;
}

void WatchSession::Hear(const std::vector<WatchNews>& news, DWORD now) {
    for (const WatchNews& item : news) {
        if (item.folder >= 0 && item.folder < static_cast<int>(gone.size())) {
            if (item.kind == WatchNews::kFolderGone) gone[item.folder] = true;
            if (item.kind == WatchNews::kFolderBack) gone[item.folder] = false;
        }
        if (item.kind == WatchNews::kStartListed) startListing = false;
        if (item.kind != WatchNews::kChanged || !Passes(item.path)) continue;
        if (item.listed) {
            // A listing tells every file: only the new and the changed go on.
            if (ledger.Knows(item.path, item.size, item.writeTime)) continue;
            if (startListing && noteStartListing) {
                ledger.Note(item.path, item.size, item.writeTime);
                continue;
            }
        }
        tracker.Touch(item.path, now);
    }
}

std::vector<WatchedFile> WatchSession::TakeReady(DWORD now, const SettleTracker::Look& look) {
    std::vector<WatchedFile> ready;
    for (SettleTracker::Settled& settled : tracker.TakeSettled(now, look)) {
        const VQWString& path = settled.path;
        const WatchedLook& seen = settled.look;
        if (ledger.Knows(path, seen.size, seen.writeTime)) continue;
        // Asked again as it settles: an output may have begun meanwhile.
        if (!Passes(path)) continue;
        ledger.Note(path, seen.size, seen.writeTime);
        WatchedFile file;
        file.path = path;
        for (const VQWString& folder : setup.folders) {
            if (IsUnderFolder(path, folder)) {
                file.root = folder;
                file.root.Append(L"\\");
                break;
            }
        }
        ready.push_back(std::move(file));
    }
    return ready;
}

void WatchSession::NoteAsItIs(const VQWString& path) {
    WatchedLook seen = LookAtFile(path);
    if (seen.exists) ledger.Note(path, seen.size, seen.writeTime);
}
