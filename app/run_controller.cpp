#include "app/run_controller.h"

#include <utility>

#include "engine/run_estimate.h"
#include "engine/run_report.h"
#include "engine/run_summary.h"

RunController::RunController(RunEvents* events, Clock runClock) : runner(events), clock(std::move(runClock)) {}

RunController::Press RunController::OnPress() {
    if (!runner.GetWorker()) return Press::Ignored;
    DWORD now = clock();
    RunState state = runner.GetState();
    if (state == RunState::Running || state == RunState::Stopping) {
        // The second click of a double-click on 停止 lands on 強制終了: that
        // takes a press only once it has been shown for a while.
        if (state == RunState::Stopping && now - forceShownAt < kForceStopArmMs) return Press::Ignored;
        runner.RequestStop();
        stopRequested = true;
        if (state == RunState::Running) forceShownAt = now;
        return Press::Stopped;
    }
    if (state != RunState::Idle) return Press::Ignored;
    // A click meant for 停止 that lands just after the run ended starts nothing.
    if (runEnded && now - runEndedAt < kRunAfterEndMs) return Press::Ignored;
    return Press::Start;
}

BatchRunner::StartResult RunController::Start(const VQWString& preCommand, const VQWString& command,
                                              const VQWString& directory, const VQWString& outputTemplate,
                                              const std::vector<RunTarget>& targets, const RunOptions& options,
                                              const std::vector<bool>* skip) {
    BatchRunner::StartResult result =
        runner.StartRun(preCommand, command, directory, outputTemplate, targets, options, skip);
    if (result != BatchRunner::Started) return result;
    stopRequested = false;
    startedAt = clock();
    return result;
}

void RunController::Finish() {
    runEnded = true;
    runEndedAt = clock();
    runner.FinishRun();
}

RunProgress RunController::Progress() const {
    return RunProgress{runner.GetFinishedCount(), runner.GetRunnableCount(), runner.HasFailure()};
}

VQWString RunController::ProgressCaption(RunState state, const VQWString& idleCaption) const {
    VQWString caption;
    // Skipped entries are not worked on: the count is of those that run.
    int total = runner.GetRunnableCount();
    int started = runner.GetStartedCount();
    if (started > total) started = total;
    caption.Format(state == RunState::Running ? L"処理中(%d/%d)" : L"停止中(%d/%d)", started, total);
    if (state == RunState::Running) {
        int64_t left = 0;
        int64_t elapsed = static_cast<int64_t>(static_cast<DWORD>(clock() - startedAt));
        if (EstimateTimeLeft(runner.GetFinishedCount(), total, runner.GetRunOptions().parallel,
                             runner.GetFinishedMilliseconds(), elapsed, left)) {
            caption.Append(L" ");
            caption.Append(FormatTimeLeft(left));
        }
    }
    caption.Append(L" - ");
    caption.Append(idleCaption);
    return caption;
}

TargetStatus RunController::EntryStatus(const TargetListModel& model, int index, bool live) const {
    if (index < 0 || index >= model.GetCount()) return TargetStatus::NotRun;
    int runIndex = model.At(index).runIndex;
    if (live && runIndex >= 0 && runIndex < runner.GetTargetCount()) return runner.GetLiveStatus(runIndex);
    return model.StatusOf(index);
}

VQWString RunController::StartProblem(BatchRunner::StartResult result) const {
    switch (result) {
    case BatchRunner::NoTargets: return VQWString(L"対象ファイルを指定してください。");
    case BatchRunner::NoCommand: return VQWString(L"コマンドを入力してください。");
    case BatchRunner::NoDirectory: {
        VQWString message;
        return message.Format(L"カレントディレクトリが見つかりません。\n%s", runner.GetRunDirectory().Text());
    }
    default: return VQWString();
    }
}

int RunController::CollectResults(TargetListModel& model, bool removeDone) const {
    int count = runner.GetTargetCount();
    for (int i = 0; i < count; ++i) {
        if (const TargetRecord* record = runner.GetRecord(i)) model.SetRunResult(i, MakeEntryResult(*record));
    }
    int failed = model.EntryOfRunIndex(runner.GetFirstFailedIndex());
    if (!removeDone) return failed;
    std::vector<int> doneEntries;
    int doneBeforeFailed = 0;
    for (int i = 0; i < count; ++i) {
        int entry = model.EntryOfRunIndex(i);
        if (entry < 0 || !IsDoneResult(model.StatusOf(entry))) continue;
        doneEntries.push_back(entry);
        if (entry < failed) ++doneBeforeFailed;
    }
    model.Remove(std::move(doneEntries));
    return failed >= 0 ? failed - doneBeforeFailed : failed;
}

VQWString RunController::EndLine() const {
    VQWString summary = FormatSummary(runner.GetSummary());
    bool goesOn = runner.GetRunOptions().onFailure == 1;
    if (!stopRequested && !goesOn && runner.HasFailure()) return VQWString();
    if (!stopRequested) return summary;
    VQWString line(L"停止しました。");
    line.Append(summary);
    return line;
}

VQWString RunController::EndMessage() const {
    const VQWString& error = runner.GetErrorText();
    if (error.IsEmpty()) return VQWString();
    int first = runner.GetFirstFailedIndex();
    VQWString message;
    if (first >= 0 && first < runner.GetTargetCount()) {
        message.Format(L"対象ファイル: %s\n\n%s", runner.GetTargetPath(first).Text(), error.Text());
    } else {
        message = error;
    }
    // A run that went on past its failures says so once, with the first of them.
    if (runner.GetRunOptions().onFailure != 1) return message;
    VQWString whole = FormatSummary(runner.GetSummary());
    whole.Append(L"\n\n");
    whole.Append(message);
    return whole;
}

VQWString RunController::ResultsFileToOpen() const {
    VQWString path = runner.GetLastResultsFile();
    // After a restart: the newest file of the folder.
    if (path.IsEmpty()) path = FindNewestResultsFile(runner.GetResultsFolder());
    return path;
}

std::vector<RunTarget> RunTargetsOf(const TargetListModel& model, const std::vector<int>* only) {
    std::vector<RunTarget> run;
    auto take = [&](int index) {
        const TargetEntry& entry = model.At(index);
        run.push_back(RunTarget{entry.path, entry.root, entry.Unfinished()});
    };
    if (only) {
        run.reserve(only->size());
        for (int index : *only) {
            if (index >= 0 && index < model.GetCount()) take(index);
        }
    } else {
        run.reserve(static_cast<size_t>(model.GetCount()));
        for (int i = 0; i < model.GetCount(); ++i) take(i);
    }
    return run;
}
