#include "app/unattended_start.h"

#include <cstdint>

#include "app/command_line.h"
#include "base/path_identity.h"
#include "base/text_hash.h"
#include "engine/batch_runner.h"

namespace {

// A box's text on one line of the console: its lines joined, blank ones left out.
VQWString OneLine(const VQWString& text) {
    VQWString line;
    const wchar_t* p = text.Text();
    const wchar_t* end = p + text.GetLength();
    while (p < end) {
        const wchar_t* stop = p;
        while (stop < end && *stop != L'\n' && *stop != L'\r') ++stop;
        if (stop > p) {
            if (!line.IsEmpty()) line.Append(L" / ");
            line.Append(p, static_cast<int>(stop - p));
        }
        p = stop < end ? stop + 1 : end;
    }
    return line;
}

VQWString CountsText(const RunSummary& counts) {
    VQWString text;
    text.Format(L"%d done", counts.done);
    if (counts.skipped > 0) text.Append(VQWString().Format(L", %d skipped", counts.skipped));
    text.Append(VQWString().Format(L", %d failed", counts.failed));
    if (counts.stopped > 0) text.Append(VQWString().Format(L", %d stopped", counts.stopped));
    text.Append(VQWString().Format(L", %d not run", counts.notRun));
    return text;
}

}  // namespace

UnattendedRunEnd RunEndOf(const BatchRunner& runner) {
    UnattendedRunEnd end;
    end.counts = runner.GetSummary();
    end.targets = runner.GetTargetCount();
    end.failures = runner.GetFailures(UnattendedRun::kShownFailures, &end.moreFailures);
    end.resultsFile = runner.GetLastResultsFile();
    return end;
}

void UnattendedRun::NoteBox(const wchar_t* text) { boxes.push_back(VQWString(text ? text : L"")); }

void UnattendedRun::Block(size_t reasonsFrom) {
    if (!blocked) blockedFrom = reasonsFrom;
    blocked = true;
}

void UnattendedRun::Begin(bool missing) {
    pathsMissing = missing;
    exitCode = kExitNotStarted;
    report = L"Quenbrix: the run did not start: the window was closed\n";
}

void UnattendedRun::EndPlan(bool written, const VQWString& file, int files, const VQWString& error) {
    // The loading's notes, and those of the list that came in for the plan.
    VQWString text = Notes(0, boxes.size());
    if (!written) {
        text.Append(VQWString().Format(L"Quenbrix: the plan was not written: %s\n", OneLine(error).Text()));
        End(kExitNotStarted, text);
        return;
    }
    text.Append(VQWString().Format(L"Quenbrix: plan of %d files: %s\n", files, file.Text()));
    // A path that named nothing is a file the run would not have run, as with /run.
    End(pathsMissing ? kExitSomeNotDone : kExitAllDone, text);
}

void UnattendedRun::EndBlocked() { EndNotStarted(blockedFrom); }

void UnattendedRun::RunStarting() { runFrom = boxes.size(); }

bool UnattendedRun::RunStarted(bool began) {
    if (!began) {
        EndNotStarted(runFrom);
        return false;
    }
    running = true;
    // Closed before the end (the session ended): files were left.
    exitCode = kExitSomeNotDone;
    report = L"Quenbrix: the run was ended before its end\n";
    return true;
}

void UnattendedRun::EndRun(const UnattendedRunEnd& end) {
    running = false;
    VQWString text(L"Quenbrix: ");
    text.Append(CountsText(end.counts));
    if (!end.resultsFile.IsEmpty()) text.Append(VQWString().Format(L"; results: %s", end.resultsFile.Text()));
    text.Append(L'\n');
    // Each failed file and why, so that a log names them all.
    for (const VQWString& failure : end.failures) {
        text.Append(VQWString().Format(L"Quenbrix: failed: %s\n", failure.Text()));
    }
    if (end.moreFailures > 0) text.Append(VQWString().Format(L"Quenbrix: %d more failed\n", end.moreFailures));
    // What the boxes would have said: the loading's notes and the run's errors.
    text.Append(Notes(0, boxes.size()));
    bool allDone = end.counts.done + end.counts.skipped == end.targets && !pathsMissing;
    End(allDone ? kExitAllDone : kExitSomeNotDone, text);
}

VQWString UnattendedRun::Notes(size_t from, size_t to) const {
    VQWString lines;
    for (size_t i = from; i < to && i < boxes.size(); ++i) {
        lines.Append(VQWString().Format(L"Quenbrix: %s\n", OneLine(boxes[i]).Text()));
    }
    return lines;
}

void UnattendedRun::EndNotStarted(size_t reasonsFrom) {
    // What came before the reason is told first, each on its line.
    VQWString text = Notes(0, reasonsFrom);
    VQWString reasons;
    for (size_t i = reasonsFrom; i < boxes.size(); ++i) {
        if (!reasons.IsEmpty()) reasons.Append(L" / ");
        reasons.Append(OneLine(boxes[i]));
    }
    if (reasons.IsEmpty()) reasons = L"実行を開始できませんでした。";
    text.Append(VQWString().Format(L"Quenbrix: the run did not start: %s\n", reasons.Text()));
    End(kExitNotStarted, text);
}

void UnattendedRun::End(int code, const VQWString& text) {
    exitCode = code;
    report = text;
}

std::wstring PackHandOver(const HandOver& handOver) {
    std::wstring payload(handOver.placeKey.Text(), static_cast<size_t>(handOver.placeKey.GetLength()));
    payload += L'\0';
    if (!handOver.job.IsEmpty()) {
        payload.append(handOver.job.Text(), static_cast<size_t>(handOver.job.GetLength()));
        payload += L'\0';
    }
    for (const VQWString& path : handOver.paths) {
        payload.append(path.Text(), static_cast<size_t>(path.GetLength()));
        payload += L'\0';
    }
    return payload;
}

ULONG_PTR HandOverKind(const HandOver& handOver) { return handOver.job.IsEmpty() ? kHandOverData : kJobHandOverData; }

namespace {

// The NUL-ended text from start, start moved past its NUL; false when it has none.
bool TakeText(const wchar_t* units, size_t count, size_t& start, VQWString& text) {
    size_t end = start;
    while (end < count && units[end] != L'\0') ++end;
    if (end >= count) return false;
    text = VQWString().Append(units + start, static_cast<int>(end - start));
    start = end + 1;
    return true;
}

}  // namespace

bool UnpackHandOver(const COPYDATASTRUCT* data, HandOver& handOver) {
    if (!data || (data->dwData != kHandOverData && data->dwData != kJobHandOverData) || !data->lpData ||
        data->cbData % sizeof(wchar_t) != 0) {
        return false;
    }
    const wchar_t* units = static_cast<const wchar_t*>(data->lpData);
    size_t count = data->cbData / sizeof(wchar_t);
    size_t start = 0;
    if (!TakeText(units, count, start, handOver.placeKey)) return false;
    handOver.job = VQWString();
    if (data->dwData == kJobHandOverData && (!TakeText(units, count, start, handOver.job) || handOver.job.IsEmpty())) {
        return false;
    }
    handOver.paths.clear();
    for (size_t i = start; i < count; ++i) {
        if (units[i] != L'\0') continue;
        if (i > start) handOver.paths.push_back(VQWString().Append(units + start, static_cast<int>(i - start)));
        start = i + 1;
    }
    return true;
}

VQWString StoragePlaceKey(const StoragePlace& place) {
    return place.portable ? PathIdentity(place.settingsFile) : VQWString();
}

bool HandOverToOpenWindow(const std::vector<VQWString>& paths, const StoragePlace& place, const VQWString& job) {
    HandOver handOver{StoragePlaceKey(place), paths, job};
    std::wstring payload = PackHandOver(handOver);
    COPYDATASTRUCT data = {};
    data.dwData = HandOverKind(handOver);
    data.cbData = static_cast<DWORD>(payload.size() * sizeof(wchar_t));
    data.lpData = &payload[0];
    // In z-order: the window the user used last first.
    for (HWND other = FindWindowExW(nullptr, nullptr, L"Quenbrix", nullptr); other;
         other = FindWindowExW(nullptr, other, L"Quenbrix", nullptr)) {
        if (!IsWindowVisible(other)) continue;
        // The window comes to the front to show what it took: the start the
        // user made may give it the foreground.
        DWORD process = 0;
        GetWindowThreadProcessId(other, &process);
        AllowSetForegroundWindow(process);
        DWORD_PTR answer = 0;
        if (SendMessageTimeoutW(other, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 10000,
                                &answer) &&
            answer == TRUE) {
            return true;
        }
    }
    return false;
}

VQWString HandOverGate::Name(const StoragePlace& place, const VQWString& job) {
    // A job's name compares as its file's does.
    VQWString key = FoldNameCase(job);
    key.Append(L'\n');
    key.Append(StoragePlaceKey(place));
    VQWString name(L"Local\\Quenbrix-gather-");
    name.Append(TextHashHex(key));
    return name;
}

bool HandOverGate::Enter(const StoragePlace& place, const VQWString& job, DWORD waitMs) {
    Leave();
    mutex = CreateMutexW(nullptr, FALSE, Name(place, job).Text());
    if (!mutex) return false;
    // Abandoned: its holder ended before its window took anything; the gate is this start's now.
    DWORD waited = WaitForSingleObject(mutex, waitMs);
    held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    return held;
}

void HandOverGate::Leave() {
    if (held) ReleaseMutex(mutex);
    held = false;
    if (mutex) CloseHandle(mutex);
    mutex = nullptr;
}
