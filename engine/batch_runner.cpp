#include "engine/batch_runner.h"

#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/files.h"
#include "base/path_identity.h"
#include "base/text_decode.h"
#include "base/timing_log.h"
#include "engine/child_environment.h"
#include "engine/child_process.h"
#include "engine/file_variables.h"
#include "engine/output_path.h"
#include "engine/run_report.h"
#include "engine/template.h"

namespace {

// $pre goes into a command line of at most 32,767 units: this much pre-command
// output is plenty, and more fails the target rather than the memory.
const int64_t kPreOutputLimit = int64_t(64) << 20;
const int64_t kCommandOutputLimit = 64 * 1024;
// A run of 100,000 hidden commands that each print their limit must not keep 6 GB.
const int64_t kOutputBudget = int64_t(64) << 20;
// Once the budget is spent, each record still gets the start of its output.
const int64_t kOutputAfterBudget = 1024;
// The code a child ended by the second Stop gets.
const UINT kEndedExitCode = ERROR_CANCELLED;

// Console programs write the OEM code page unless they say otherwise with a
// byte-order mark, UTF-16 (cmd /u) or UTF-8. A NUL can never be passed on.
VQWString DecodeOutput(const VQString& bytes) {
    VQWString text = DecodeText(bytes.GetData(), bytes.GetLength(), kDetectAll, CP_OEMCP);
    RemoveNuls(text);
    return text;
}

// Whether a job ends its processes when its last handle closes.
bool SetKillOnClose(HANDLE job, bool kill) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    memset(&limits, 0, sizeof limits);
    if (kill) limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    return SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) != FALSE;
}

// How the messages name a step.
const wchar_t* StepName(int step) { return step == 0 ? L"先行コマンド" : L"コマンド"; }

bool ExitedSince(HANDLE process, const FILETIME& since) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return true;
    return CompareFileTime(&exited, &since) >= 0;
}

}  // namespace

// One place for a target in progress; target < 0 when free. While the target
// runs, exactly one of its steps has a live process. Each slot has a job
// object of its own, so that a time limit ends one target's tree and no other.
struct BatchRunner::Slot {
    int target = -1;
    int step = 0;  // 0: pre-command, 1: command
    HANDLE process = nullptr;  // owned: closed when the step ends
    HANDLE job = nullptr;      // owned: this slot's children
    std::unique_ptr<OutputPipe> pipe;
    VQWString preOutput;  // this target's $pre
    DWORD startTick = 0;      // the target's beginning
    DWORD stepStartTick = 0;  // the running step's
    bool timedOut = false;    // the running step was ended by the time limit
    FILETIME killedAt = {};
    OutputState outputBefore;  // the output as this try found it
    FILETIME tryBegan = {};
    std::wstring outputKey;  // the output's PathIdentity, while a try is on it
    uint64_t tryEvent = 0;   // RunLoop::events when this try began
};

// One job on the worker thread: the slots, their job objects and the wait loop.
class BatchRunner::RunLoop {
public:
    RunLoop(BatchRunner& runner, VQWin32ThreadEx& worker);
    ~RunLoop();
    void Go();
    bool Failed() const { return failed; }
    // A failure was seen and the run stops at the first one.
    bool StopsAtFailure() const { return failed && runner.runOptions.onFailure == 0; }
    bool Stopped() const { return Stage() > 0; }

private:
    int Stage() const;
    bool HasOutput() const { return !runner.outputTemplate.IsEmpty(); }
    void BeginTarget(Slot& slot, int index);
    void StartTry(Slot& slot);
    void StartStep(Slot& slot, int step);
    bool ExpandStep(int target, int step, const VQWString& preOutput, const VQWString& outputPath, VQWString& line,
                    VQWString& error);
    int64_t KeepFor(int step) const;
    HANDLE Launch(int target, const VQWString& preOutput, const VQWString& line, HANDLE job, OutputPipe* pipe,
                  HANDLE* suspendedThread);
    void LaunchAhead();
    HANDLE TakeAhead(Slot& slot, int step, const VQWString& line, std::unique_ptr<OutputPipe>& pipe);
    void DropAhead();
    void StepEnded(Slot& slot);
    void EndTry(Slot& slot, TargetStatus status, VQWString error);
    void FinishTarget(Slot& slot, TargetStatus status, const VQWString& error);
    void EndChildren();
    void EnforceTimeLimit();
    DWORD UntilNextLimit() const;
    int WaitForStepEnd();
    HANDLE NewJob();
    void TakeOutput(Slot& slot);
    bool WroteOutput(const Slot& slot, const OutputState& now);
    void LeaveOutput(Slot& slot, const OutputState& left);
    bool IsEntry(const VQWString& path);

    BatchRunner& runner;
    VQWin32ThreadEx& worker;
    // Jobs of slots whose finished targets left processes running (started
    // on purpose, as cmd /c start does): kept until the end of the run, so
    // that the second Stop and a crash of this program still end them.
    std::vector<HANDLE> leftoverJobs;
    ChildEnvironment environment;
    std::vector<Slot> slots;
    int next = 0;
    // The next target's first step while every slot is busy: its process is
    // created ahead and left suspended, so that a slot whose child ended does
    // not stand idle for the creation (50 to 90 ms under Wine). It is resumed
    // only as its target begins in a slot, after that target's records, or
    // ended without having run.
    struct Ahead {
        int target = -1;
        int step = 0;
        VQWString line;
        int64_t keep = 0;
        HANDLE process = nullptr;  // owned: ended by DropAhead unless taken
        HANDLE thread = nullptr;   // owned: suspended until taken
        HANDLE job = nullptr;      // owned: the child's; a slot's once taken, the slot's old one then serves here
        std::unique_ptr<OutputPipe> pipe;
    };
    Ahead ahead;
    bool failed = false;
    bool childrenEnded = false;
    FILETIME endedAt = {};
    int64_t budgetLeft;
    // The outputs tries are on, by PathIdentity (targets that share one, the
    // clash question answered yes): how many tries, and what the last try to
    // end left there. Another target's change is not this one's to delete.
    struct OutputUse {
        int tries = 0;
        uint64_t lastEnd = 0;  // `events` when it ended
        OutputState left;
    };
    std::unordered_map<std::wstring, OutputUse> outputUses;
    uint64_t events = 0;  // tries begun and ended, counted
    // The entries by their place on the disk, made when an output is first about to be deleted.
    std::unique_ptr<EntryPlaces> entryPlaces;
    std::vector<VQWString> entryIdentities;  // PathIdentity of each target, made as asked
};

HANDLE BatchRunner::RunLoop::NewJob() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    // Should this program end in the middle of a run (ended from outside, or
    // crashed), the run's children end with it instead of working on unseen.
    if (job) SetKillOnClose(job, true);
    return job;
}

BatchRunner::RunLoop::RunLoop(BatchRunner& r, VQWin32ThreadEx& w)
    : runner(r), worker(w), slots(r.runOptions.parallel), budgetLeft(r.outputBudget) {
    for (Slot& slot : slots) slot.job = NewJob();
}

BatchRunner::RunLoop::~RunLoop() {
    DropAhead();
    if (ahead.job) leftoverJobs.push_back(ahead.job);
    for (Slot& slot : slots) {
        if (slot.process) CloseHandle(slot.process);
        if (slot.job) leftoverJobs.push_back(slot.job);
    }
    // A run that ends as it should leaves what its commands started on purpose
    // (cmd /c start ...) running.
    for (HANDLE job : leftoverJobs) {
        SetKillOnClose(job, false);
        CloseHandle(job);
    }
}

int BatchRunner::RunLoop::Stage() const {
    if (worker.quit) return 2;
    return runner.stopStage.load();
}

void BatchRunner::RunLoop::Go() {
    int count = runner.targets.GetCount();
    // The check before the run found these up to date: they are done as they are.
    for (int i = 0; i < count; ++i) {
        if (runner.skipped[static_cast<size_t>(i)]) runner.records[i].status = static_cast<int>(TargetStatus::Skipped);
    }
    auto skipSkipped = [&] {
        while (next < count && runner.skipped[static_cast<size_t>(next)]) ++next;
    };
    skipSkipped();
    for (;;) {
        int stage = Stage();
        if (stage >= 2 && !childrenEnded) EndChildren();
        bool busy = false;
        for (Slot& slot : slots) {
            // Targets begin in list order, each in the first free slot. One that
            // fails as it begins (a template error, a program that cannot start)
            // leaves the slot free at once: the next takes it, or a run that goes
            // on past failures would end with this slot idle and files not run.
            while (slot.target < 0 && Stage() == 0 && !StopsAtFailure() && next < count) {
                BeginTarget(slot, next++);
                skipSkipped();
            }
            busy = busy || slot.target >= 0;
        }
        if (!busy) break;
        LaunchAhead();
        int ended = WaitForStepEnd();
        if (ended >= 0) StepEnded(slots[ended]);
        EnforceTimeLimit();
    }
}

void BatchRunner::RunLoop::BeginTarget(Slot& slot, int index) {
    TargetRecord& record = runner.records[index];
    ++runner.startedCount;
    slot.target = index;
    slot.startTick = GetTickCount();
    GetLocalTime(&record.startTime);
    record.status = static_cast<int>(TargetStatus::Running);
    if (runner.events) runner.events->OnRunTargetBegun(index);
    if (HasOutput()) {
        VQWString output, error;
        // Neither can change by trying again: no try is made.
        if (!ExpandOutputPath(runner.outputTemplate, runner.targets[index], runner.roots[static_cast<size_t>(index)],
                              runner.runDirectory, output, error)) {
            FinishTarget(slot, TargetStatus::TemplateError, error);
            return;
        }
        record.outputPath = output;
        if (ReadOutputState(output).folder) {
            FinishTarget(slot, TargetStatus::TemplateError, OutputIsFolderMessage(output));
            return;
        }
    }
    StartTry(slot);
}

void BatchRunner::RunLoop::StartTry(Slot& slot) {
    TargetRecord& record = runner.records[slot.target];
    ++record.tries;
    // The record tells of the last try.
    record.pre = StepRecord();
    record.command = StepRecord();
    record.output = VQWString();
    record.outputCut = false;
    record.outputDeleted = false;
    slot.preOutput = VQWString();
    if (HasOutput()) {
        TakeOutput(slot);
        slot.outputBefore = ReadOutputState(record.outputPath);
        GetSystemTimeAsFileTime(&slot.tryBegan);
        DWORD error = 0;
        if (!CreateOutputFolder(record.outputPath, error)) {
            VQWString message;
            message.Format(L"出力先のフォルダを作成できません。%s\n%s", SystemErrorText(error).Text(),
                           record.outputPath.Text());
            EndTry(slot, TargetStatus::OutputFolderFailed, message);
            return;
        }
    }
    StartStep(slot, runner.preCommand.IsEmpty() ? 1 : 0);
}

bool BatchRunner::RunLoop::ExpandStep(int target, int step, const VQWString& preOutput, const VQWString& outputPath,
                                      VQWString& line, VQWString& error) {
    line = step == 0 ? runner.preCommand : runner.command;
    VQTemplateContext context;
    context.root = runner.roots[static_cast<size_t>(target)];
    context.hasOutput = HasOutput();
    context.output = outputPath;
    return ExpandTemplate(line, runner.targets[target], preOutput, context, error, kMaxCommandLineUnits);
}

// The bytes of a step's output kept; 0: the step is not captured.
int64_t BatchRunner::RunLoop::KeepFor(int step) const {
    if (step == 0) return runner.preOutputLimit;
    if (!runner.runOptions.hideCommand) return 0;
    int64_t keep = runner.commandOutputLimit;
    if (budgetLeft < keep) keep = budgetLeft > kOutputAfterBudget ? budgetLeft : kOutputAfterBudget;
    return keep;
}

HANDLE BatchRunner::RunLoop::Launch(int target, const VQWString& preOutput, const VQWString& line, HANDLE job,
                                    OutputPipe* pipe, HANDLE* suspendedThread) {
    LaunchRequest request = {&line, runner.runDirectory.IsEmpty() ? nullptr : runner.runDirectory.Text(), job,
                             pipe ? pipe->WriteEnd() : nullptr, environment.For(runner.targets[target], preOutput)};
    if (runner.runOptions.lowPriority) request.priorityClass = BELOW_NORMAL_PRIORITY_CLASS;
    request.suspendedThread = suspendedThread;
    HANDLE process = LaunchChild(request);
    if (process && pipe) pipe->CloseWriteEnd();
    return process;
}

void BatchRunner::RunLoop::StartStep(Slot& slot, int step) {
    TargetRecord& record = runner.records[slot.target];
    StepRecord& stepRecord = step == 0 ? record.pre : record.command;
    VQWString line, error;
    // A command line that could not be expanded is not run: launching it half
    // expanded would hand the command literal "$" markers as arguments.
    if (!ExpandStep(slot.target, step, slot.preOutput, record.outputPath, line, error)) {
        EndTry(slot, TargetStatus::TemplateError, error);
        return;
    }
    stepRecord.commandLine = line;

    std::unique_ptr<OutputPipe> pipe;
    HANDLE process = slot.preOutput.IsEmpty() ? TakeAhead(slot, step, line, pipe) : nullptr;
    if (!process) {
        int64_t keep = KeepFor(step);
        if (keep > 0) {
            pipe.reset(new OutputPipe(keep));
            if (!pipe->Create()) {
                error.Format(L"%sのパイプの作成に失敗しました。%s\n%s", StepName(step),
                             SystemErrorText(GetLastError()).Text(), line.Text());
                EndTry(slot, TargetStatus::LaunchFailed, error);
                return;
            }
        }
        process = Launch(slot.target, slot.preOutput, line, slot.job, pipe.get(), nullptr);
        if (!process) {
            error.Format(L"%sの実行に失敗しました。%s\n%s", StepName(step), SystemErrorText(GetLastError()).Text(),
                         line.Text());
            EndTry(slot, TargetStatus::LaunchFailed, error);
            return;
        }
    }
    if (pipe) pipe->StartReading();
    TimingMark(step == 0 ? "pre-command started" : "command started");
    stepRecord.ran = true;
    slot.step = step;
    slot.process = process;
    slot.pipe = std::move(pipe);
    slot.stepStartTick = GetTickCount();
    slot.timedOut = false;
}

void BatchRunner::RunLoop::LaunchAhead() {
    int count = runner.targets.GetCount();
    bool wanted = next < count && Stage() == 0 && !StopsAtFailure();
    // Its target began without it (it failed before its step), or nothing more begins.
    if (ahead.process && (ahead.target < next || !wanted)) DropAhead();
    if (ahead.process || !wanted) return;
    for (const Slot& slot : slots) {
        if (slot.target < 0) return;
    }
    int index = next;
    int step = runner.preCommand.IsEmpty() ? 1 : 0;
    VQWString output, line, error;
    // What fails here fails again as the target begins, in its turn, and is recorded there.
    if (HasOutput() && !ExpandOutputPath(runner.outputTemplate, runner.targets[index],
                                         runner.roots[static_cast<size_t>(index)], runner.runDirectory, output, error)) {
        return;
    }
    if (!ExpandStep(index, step, VQWString(), output, line, error)) return;
    if (!ahead.job) ahead.job = NewJob();
    if (!ahead.job) return;
    int64_t keep = KeepFor(step);
    // Only a step without a window of its own: a visible console may open
    // as its process is made, long before its file's turn.
    if (keep == 0) return;
    std::unique_ptr<OutputPipe> pipe(new OutputPipe(keep));
    if (!pipe->Create()) return;
    HANDLE thread = nullptr;
    HANDLE process = Launch(index, VQWString(), line, ahead.job, pipe.get(), &thread);
    if (!process) return;
    ahead.target = index;
    ahead.step = step;
    ahead.line = line;
    ahead.keep = keep;
    ahead.process = process;
    ahead.thread = thread;
    ahead.pipe = std::move(pipe);
}

// The child made ahead when it is the one this step would launch now; null otherwise.
HANDLE BatchRunner::RunLoop::TakeAhead(Slot& slot, int step, const VQWString& line, std::unique_ptr<OutputPipe>& pipe) {
    if (!ahead.process || ahead.target != slot.target) return nullptr;
    if (ahead.step != step || ahead.keep != KeepFor(step) || !(ahead.line == line) ||
        ResumeThread(ahead.thread) == static_cast<DWORD>(-1)) {
        DropAhead();
        return nullptr;
    }
    CloseHandle(ahead.thread);
    HANDLE process = ahead.process;
    pipe = std::move(ahead.pipe);
    // The slot's job is empty (FinishTarget replaced one left with processes in it).
    std::swap(slot.job, ahead.job);
    ahead.process = nullptr;
    ahead.thread = nullptr;
    ahead.target = -1;
    return process;
}

void BatchRunner::RunLoop::DropAhead() {
    if (!ahead.process) return;
    TerminateProcess(ahead.process, kEndedExitCode);
    CloseHandle(ahead.process);
    CloseHandle(ahead.thread);
    ahead.pipe.reset();
    // A slot's old job may hold what a finished target left running: it is
    // kept with the others such, and the next child ahead gets a new one.
    if (ahead.job) leftoverJobs.push_back(ahead.job);
    ahead.job = nullptr;
    ahead.process = nullptr;
    ahead.thread = nullptr;
    ahead.target = -1;
}

void BatchRunner::RunLoop::StepEnded(Slot& slot) {
    TargetRecord& record = runner.records[slot.target];
    StepRecord& stepRecord = slot.step == 0 ? record.pre : record.command;
    DWORD code = 0;
    GetExitCodeProcess(slot.process, &code);
    TimingMark(slot.step == 0 ? "pre-command ended" : "command ended");
    // After the children were ended, one that ended before that still counts.
    bool endedByStop = childrenEnded && ExitedSince(slot.process, endedAt);
    bool endedByLimit = !endedByStop && slot.timedOut && ExitedSince(slot.process, slot.killedAt);
    slot.timedOut = false;
    CloseHandle(slot.process);
    slot.process = nullptr;
    std::unique_ptr<OutputPipe> pipe = std::move(slot.pipe);
    if (pipe) pipe->Finish();
    // The code of an ended step is the one the ending gave, not the program's:
    // it is not recorded, and the status says why the step ended.
    if (endedByStop) {
        EndTry(slot, TargetStatus::Stopped, VQWString());
        return;
    }
    if (endedByLimit) {
        VQWString error;
        error.Format(L"制限時間 %d 秒を過ぎたため終了しました。\n%s", runner.runOptions.timeLimitSeconds,
                     stepRecord.commandLine.Text());
        EndTry(slot, TargetStatus::TimedOut, error);
        return;
    }
    stepRecord.ended = true;
    stepRecord.exitCode = code;

    VQWString error;
    // Whatever the check of codes says: a crash is no tool's own code.
    if (IsCrashExitCode(code)) {
        error.Format(L"異常終了 (%s)\n%s", FormatExitCode(code).Text(), stepRecord.commandLine.Text());
        EndTry(slot, TargetStatus::Crashed, error);
        return;
    }
    VQWString output;  // what the step printed, when it was captured
    if (slot.step == 0) {
        if (pipe->Failed()) {
            error.Format(L"先行コマンドの出力を読み込めませんでした。\n%s", stepRecord.commandLine.Text());
            EndTry(slot, TargetStatus::ReadFailed, error);
            return;
        }
        if (pipe->Cut()) {
            error.Format(L"先行コマンドの出力が大きすぎます（%lld バイトまで）。\n%s",
                         static_cast<long long>(runner.preOutputLimit), stepRecord.commandLine.Text());
            EndTry(slot, TargetStatus::ReadFailed, error);
            return;
        }
        output = DecodeOutput(pipe->Bytes());
        slot.preOutput = FlattenOutput(output);
    } else if (pipe) {
        record.output = DecodeOutput(pipe->Bytes());
        record.outputCut = pipe->Cut() || pipe->Failed();
        budgetLeft -= pipe->Bytes().GetLength();
        output = record.output;
    }
    if (runner.runOptions.checkExitCode && code != 0) {
        // The program's own words say why; they go on the message's first line.
        VQWString said = FailureLine(output);
        error.Format(L"終了コード %s で終了しました。%s%s\n%s", FormatExitCode(code).Text(), said.IsEmpty() ? L"" : L"　",
                     said.Text(), stepRecord.commandLine.Text());
        EndTry(slot, TargetStatus::NonZeroExit, error);
        return;
    }
    if (slot.step == 1) {
        EndTry(slot, TargetStatus::Done, VQWString());
    } else if (Stage() > 0) {
        // A stop lets running steps end but starts no new one.
        EndTry(slot, TargetStatus::Stopped, VQWString());
    } else {
        StartStep(slot, 1);
    }
}

void BatchRunner::RunLoop::EndTry(Slot& slot, TargetStatus status, VQWString error) {
    TargetRecord& record = runner.records[slot.target];
    if (HasOutput()) {
        OutputState now = ReadOutputState(record.outputPath);
        if (status == TargetStatus::Done && runner.runOptions.checkOutput &&
            !WrittenDuringSteps(slot.outputBefore, now, slot.tryBegan)) {
            status = TargetStatus::NoOutput;
            error.Format(L"出力ファイルが作成されませんでした。\n%s", record.outputPath.Text());
        }
        // Whatever a failed or stopped try wrote may be half of it: it must
        // not look done. What it did not touch stays, and so does a file of
        // the list that the output's path reaches another way.
        if ((IsFailure(status) || status == TargetStatus::Stopped) && !runner.runOptions.keepFailedOutput &&
            WroteOutput(slot, now) && !IsEntry(record.outputPath) &&
            DeleteFileW(SystemForm(record.outputPath).Text())) {
            record.outputDeleted = true;
        }
        LeaveOutput(slot, record.outputDeleted ? OutputState() : now);
    }
    // A template error would come again, and a stop is the user's word.
    bool retry = IsFailure(status) && status != TargetStatus::TemplateError &&
                 record.tries <= runner.runOptions.retries && Stage() == 0 && !StopsAtFailure();
    if (retry) {
        StartTry(slot);
        return;
    }
    FinishTarget(slot, status, error);
}

void BatchRunner::RunLoop::TakeOutput(Slot& slot) {
    VQWString identity = PathIdentity(runner.records[slot.target].outputPath);
    slot.outputKey.assign(identity.Text(), static_cast<size_t>(identity.GetLength()));
    ++outputUses[slot.outputKey].tries;
    slot.tryEvent = ++events;
}

// Whether the output's state now is this try's doing: it changed since the
// try began, or since another try on it ended during this one, and no other
// try is on it now (its change could be that one's).
bool BatchRunner::RunLoop::WroteOutput(const Slot& slot, const OutputState& now) {
    const OutputUse& use = outputUses[slot.outputKey];
    if (use.tries > 1) return false;
    return ChangedDuringSteps(use.lastEnd > slot.tryEvent ? use.left : slot.outputBefore, now);
}

void BatchRunner::RunLoop::LeaveOutput(Slot& slot, const OutputState& left) {
    auto found = outputUses.find(slot.outputKey);
    if (found == outputUses.end()) return;
    if (--found->second.tries == 0) {
        // A try that begins later reads the output afresh.
        outputUses.erase(found);
    } else {
        found->second.lastEnd = ++events;
        found->second.left = left;
    }
    slot.outputKey.clear();
}

bool BatchRunner::RunLoop::IsEntry(const VQWString& path) {
    if (!entryPlaces) {
        entryIdentities.resize(static_cast<size_t>(runner.targets.GetCount()));
        entryPlaces.reset(new EntryPlaces(
            runner.targets.GetCount(), [this](int i) { return runner.targets[i]; },
            [this](int i) {
                VQWString& identity = entryIdentities[static_cast<size_t>(i)];
                if (identity.IsEmpty()) identity = PathIdentity(runner.targets[i]);
                return identity;
            }));
    }
    return entryPlaces->Find(path, PathIdentity(path)) >= 0;
}

void BatchRunner::RunLoop::FinishTarget(Slot& slot, TargetStatus status, const VQWString& error) {
    TargetRecord& record = runner.records[slot.target];
    record.errorText = error;
    record.milliseconds = GetTickCount() - slot.startTick;
    runner.finishedMilliseconds += record.milliseconds;
    if (status == TargetStatus::Done) ++runner.succeededCount;
    if (IsFailure(status)) {
        // The message shown is the first failure's; stopping at it, nothing new starts.
        if (!failed) runner.errorText = error;
        failed = true;
        runner.failureSeen = true;
    }
    record.status = static_cast<int>(status);
    if (runner.events) runner.events->OnRunTargetFinished(slot.target, status);
    ++runner.finishedCount;
    slot.target = -1;
    slot.preOutput = VQWString();
    // What the target left running stays in a job of its own: the next
    // target's time limit must not end it.
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting;
    memset(&accounting, 0, sizeof accounting);
    if (slot.job && (!QueryInformationJobObject(slot.job, JobObjectBasicAccountingInformation, &accounting,
                                                sizeof accounting, nullptr) ||
                     accounting.ActiveProcesses > 0)) {
        leftoverJobs.push_back(slot.job);
        slot.job = NewJob();
    }
}

void BatchRunner::RunLoop::EndChildren() {
    childrenEnded = true;
    DropAhead();
    GetSystemTimeAsFileTime(&endedAt);
    // The jobs take every descendant with them (cmd /c starts grandchildren).
    for (HANDLE job : leftoverJobs) TerminateJobObject(job, kEndedExitCode);
    for (Slot& slot : slots) {
        if (slot.job) TerminateJobObject(slot.job, kEndedExitCode);
        if (slot.process) TerminateProcess(slot.process, kEndedExitCode);
    }
}

void BatchRunner::RunLoop::EnforceTimeLimit() {
    int limit = runner.runOptions.timeLimitSeconds;
    if (limit <= 0 || childrenEnded) return;
    DWORD now = GetTickCount();
    for (Slot& slot : slots) {
        if (!slot.process || slot.timedOut) continue;
        if (now - slot.stepStartTick < static_cast<DWORD>(limit) * 1000) continue;
        slot.timedOut = true;
        GetSystemTimeAsFileTime(&slot.killedAt);
        // This slot's tree only; the others run on.
        if (slot.job) TerminateJobObject(slot.job, kEndedExitCode);
        TerminateProcess(slot.process, kEndedExitCode);
    }
}

// The milliseconds until the first running step reaches the time limit.
DWORD BatchRunner::RunLoop::UntilNextLimit() const {
    int limit = runner.runOptions.timeLimitSeconds;
    if (limit <= 0 || childrenEnded) return INFINITE;
    DWORD now = GetTickCount();
    DWORD soonest = INFINITE;
    for (const Slot& slot : slots) {
        if (!slot.process || slot.timedOut) continue;
        DWORD ran = now - slot.stepStartTick;
        DWORD total = static_cast<DWORD>(limit) * 1000;
        DWORD left = ran >= total ? 0 : total - ran;
        if (left < soonest) soonest = left;
    }
    return soonest;
}

// Waits, reading pipes meanwhile, until a step's process ends (its slot's
// index) or something else wants a look (-1): a stop, read completions, or
// a time limit reached.
int BatchRunner::RunLoop::WaitForStepEnd() {
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    int owners[MAXIMUM_WAIT_OBJECTS];
    DWORD n = 0;
    handles[n] = runner.wakeEvent;
    owners[n++] = -1;
    bool overflow = false;
    for (size_t i = 0; i < slots.size(); ++i) {
        if (!slots[i].process) continue;
        if (n < MAXIMUM_WAIT_OBJECTS) {
            handles[n] = slots[i].process;
            owners[n++] = static_cast<int>(i);
        } else {
            overflow = true;
        }
    }
    // Only with all 64 slots busy does one child fall outside the wait; it is
    // looked at between short waits.
    DWORD timeout = UntilNextLimit();
    if (overflow && (timeout == INFINITE || timeout > 20)) timeout = 20;
    DWORD result = WaitForMultipleObjectsEx(n, handles, FALSE, timeout, TRUE);
    if (result > WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + n) return owners[result - WAIT_OBJECT_0];
    if (result == WAIT_TIMEOUT && overflow) {
        for (size_t i = 0; i < slots.size(); ++i) {
            if (slots[i].process && WaitForSingleObject(slots[i].process, 0) == WAIT_OBJECT_0) {
                return static_cast<int>(i);
            }
        }
    }
    if (result == WAIT_FAILED) Sleep(10);
    return -1;
}

BatchRunner::BatchRunner(RunEvents* runEvents)
    : startDirectory(GetCurrentDirectoryPath()),
      thread(nullptr),
      startedCount(0),
      succeededCount(0),
      preOutputLimit(kPreOutputLimit),
      commandOutputLimit(kCommandOutputLimit),
      outputBudget(kOutputBudget),
      setExecutionState(SetThreadExecutionState),
      recordCount(0),
      finishedCount(0),
      failureSeen(false),
      stopStage(0),
      wakeEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      firstFailed(-1),
      runnableCount(0),
      finishedMilliseconds(0),
      awake(false),
      events(runEvents) {}

BatchRunner::~BatchRunner() {
    DestroyWorker();
    if (wakeEvent) CloseHandle(wakeEvent);
}

bool BatchRunner::CreateWorker() {
    if (!wakeEvent) return false;
    if (!thread) thread = new VQWin32ThreadEx(OnThreadJob);
    return thread->Create();
}

void BatchRunner::SetRunEndNotice(std::function<void()> notice) {
    if (thread) thread->onDone = std::move(notice);
}

void BatchRunner::DestroyWorker() {
    if (!thread) return;
    if (thread->IsCreated() && !thread->IsIdle()) {
        ForceStop();
        WaitUntilEnded();
    }
    thread->Destroy();
    delete thread;
    thread = nullptr;
    ReleaseAwake();
}

VQWString BatchRunner::ResolveDirectory(const VQWString& text, const VQWString& startDir) {
    // Relative to where the program started, the same on every run.
    return ResolvePath(text, startDir);
}

BatchRunner::StartResult BatchRunner::StartRun(const VQWString& preCommandText, const VQWString& commandText,
                                               const VQWString& directoryText,
                                               const VQArray<VQWString, VQWString>& targetList,
                                               const RunOptions& options) {
    std::vector<RunTarget> list(static_cast<size_t>(targetList.GetCount()));
    for (int i = 0; i < targetList.GetCount(); ++i) list[static_cast<size_t>(i)].path = targetList[i];
    return StartRun(preCommandText, commandText, directoryText, VQWString(), list, options);
}

BatchRunner::StartResult BatchRunner::StartRun(const VQWString& preCommandText, const VQWString& commandText,
                                               const VQWString& directoryText, const VQWString& outputText,
                                               const std::vector<RunTarget>& targetList, const RunOptions& options,
                                               const std::vector<bool>* skip) {
    // A running job reads these fields: they change only while the worker is idle.
    if (!thread || !thread->IsIdle()) return NotStarted;
    // Reference counts are plain ints: the worker gets strings that share nothing.
    preCommand = preCommandText.DeepCopy();
    command = commandText.DeepCopy();
    directory = directoryText.DeepCopy();
    outputTemplate = outputText.DeepCopy();
    targets.RemoveAll();
    int count = static_cast<int>(targetList.size());
    targets.SetSize(-count);
    roots.assign(static_cast<size_t>(count), VQWString());
    skipped.assign(static_cast<size_t>(count), false);
    int runnable = 0;
    for (int i = 0; i < count; ++i) {
        const RunTarget& target = targetList[static_cast<size_t>(i)];
        targets.Add(target.path.DeepCopy());
        roots[static_cast<size_t>(i)] = target.root.DeepCopy();
        bool skipIt = skip && static_cast<size_t>(i) < skip->size() && (*skip)[static_cast<size_t>(i)];
        skipped[static_cast<size_t>(i)] = skipIt;
        if (!skipIt) ++runnable;
    }
    if (targets.GetCount() == 0) return NoTargets;
    if (command.IsEmpty()) return NoCommand;
    runDirectory = ResolveDirectory(directory, startDirectory).DeepCopy();
    DWORD attributes = GetFileAttributesW(runDirectory.Text());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return NoDirectory;

    runOptions = options;
    if (runOptions.parallel < 1) runOptions.parallel = 1;
    if (runOptions.parallel > kMaxParallel) runOptions.parallel = kMaxParallel;
    if (runOptions.onFailure != 1) runOptions.onFailure = 0;
    if (runOptions.timeLimitSeconds < 0 || runOptions.timeLimitSeconds > kMaxTimeLimitSeconds) {
        runOptions.timeLimitSeconds = 0;
    }
    if (runOptions.retries < 0 || runOptions.retries > kMaxRetries) runOptions.retries = 0;
    records.reset(new TargetRecord[count]);
    recordCount = count;
    startedCount = 0;
    succeededCount = 0;
    finishedCount = 0;
    runnableCount = runnable;
    finishedMilliseconds = 0;
    failureSeen = false;
    firstFailed = -1;
    stopStage = 0;
    ResetEvent(wakeEvent);
    errorText = VQWString();
    lastResultsFile = VQWString();
    resultsFolder = resultsFolder.DeepCopy();
    thread->cancel = false;
    if (!thread->Post(1, this, false)) return NotStarted;
    // The run may go on all night: the system must not sleep under it.
    if (!awake && setExecutionState) setExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    awake = true;
    return Started;
}

void BatchRunner::ReleaseAwake() {
    if (!awake) return;
    awake = false;
    if (setExecutionState) setExecutionState(ES_CONTINUOUS);
}

bool BatchRunner::RequestStop() {
    RunState state = GetState();
    if (state == RunState::Idle || state == RunState::Ended) return false;
    int stage = stopStage.load();
    if (stage < 2) stopStage = stage + 1;
    thread->cancel = true;
    SetEvent(wakeEvent);
    if (stage + 1 >= 2) ReleaseAwake();
    return true;
}

void BatchRunner::ForceStop() {
    stopStage = 2;
    if (thread) thread->cancel = true;
    SetEvent(wakeEvent);
    ReleaseAwake();
}

void BatchRunner::WaitUntilEnded() {
    if (thread && thread->IsCreated() && !thread->IsIdle()) thread->Wait(-1, false, false);
}

RunState BatchRunner::GetState() {
    if (!thread || !thread->IsCreated() || thread->IsIdle()) return RunState::Idle;
    if (thread->Wait(0, false, false)) return RunState::Ended;
    switch (stopStage.load()) {
    case 0: return RunState::Running;
    case 1: return RunState::Stopping;
    default: return RunState::Forcing;
    }
}

bool BatchRunner::FinishRun() {
    if (GetState() != RunState::Ended) return false;
    ReleaseAwake();
    return thread->Wait(0, true, false);
}

TargetStatus BatchRunner::GetLiveStatus(int index) const {
    if (!records || index < 0 || index >= recordCount) return TargetStatus::NotRun;
    return records[index].Status();
}

const TargetRecord* BatchRunner::GetRecord(int index) const {
    if (!records || index < 0 || index >= recordCount) return nullptr;
    return &records[index];
}

int BatchRunner::GetFirstFailedIndex() const { return firstFailed; }

RunSummary BatchRunner::GetSummary() const { return SummarizeRecords(records.get(), recordCount); }

std::vector<VQWString> BatchRunner::GetFailures(int maxShown, int* more) const {
    return ListFailures(targets, records.get(), recordCount, maxShown, more);
}

int BatchRunner::OnThreadJob(VQThread* thread, void* param) {
    if (thread->code != 1 || !param) return 0;
    VQWin32ThreadEx* worker = dynamic_cast<VQWin32ThreadEx*>(thread);
    if (worker) static_cast<BatchRunner*>(param)->RunJob(*worker);
    return 0;
}

void BatchRunner::RunJob(VQWin32ThreadEx& worker) {
    SYSTEMTIME runStart;
    GetLocalTime(&runStart);
    {
        RunLoop run(*this, worker);
        run.Go();
        TimingMark("run loop ended");
        // After a failure the rest of the list is counted, though not run.
        if (run.StopsAtFailure() && !run.Stopped()) startedCount = runnableCount.load();
    }
    for (int i = 0; i < recordCount; ++i) {
        if (IsFailure(records[i].Status())) {
            firstFailed = i;
            break;
        }
    }
    WriteResults(runStart);
    TimingMark("results file written");
}

void BatchRunner::WriteResults(const SYSTEMTIME& runStart) {
    if (resultsFolder.IsEmpty()) return;
    VQWString notes = events ? events->RunResultsNotes() : VQWString();
    std::string csv = FormatResultsCsv(targets, records.get(), recordCount, notes, FormatSummary(GetSummary()));
    lastResultsFile = WriteResultsFile(resultsFolder, runStart, csv, kKeptResultFiles);
}
