#include "engine/child_process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/child_program.h"
#include "tests/support/temp_dir.h"

namespace {

std::string FillPattern(size_t n) {
    std::string text;
    for (size_t i = 0; i < n; ++i) text += ChildFillByte(i);
    return text;
}

// Starts the helper with `arguments`, captured into `pipe`, waits for it
// (reading meanwhile, as the run does) and finishes the pipe.
DWORD RunCaptured(OutputPipe& pipe, const std::wstring& arguments, HANDLE job = nullptr) {
    EXPECT_TRUE(pipe.Create());
    VQWString line((ChildProgram() + arguments).c_str());
    LaunchRequest request = {&line, nullptr, job, pipe.WriteEnd()};
    HANDLE process = LaunchChild(request);
    EXPECT_NE(nullptr, process);
    if (!process) return 0;
    pipe.CloseWriteEnd();
    EXPECT_TRUE(pipe.StartReading());
    while (WaitForSingleObjectEx(process, 30000, TRUE) == WAIT_IO_COMPLETION) {
    }
    pipe.Finish();
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

std::string Text(const OutputPipe& pipe) { return std::string(pipe.Bytes().GetData(), pipe.Bytes().GetLength()); }

int ActiveProcesses(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr)) return -1;
    return static_cast<int>(info.ActiveProcesses);
}

bool JobEmptiesWithin(HANDLE job, DWORD ms) {
    DWORD start = GetTickCount();
    while (ActiveProcesses(job) != 0) {
        if (GetTickCount() - start > ms) return false;
        Sleep(20);
    }
    return true;
}

}  // namespace

TEST(OutputPipe, CapturesLargeOutputWholeAndInOrder) {
    for (size_t n : {size_t(2049), size_t(300000)}) {
        OutputPipe pipe(1 << 20);
        EXPECT_EQ(0u, RunCaptured(pipe, L" fill " + std::to_wstring(n)));
        EXPECT_TRUE(Text(pipe) == FillPattern(n)) << "bytes lost or out of order for " << n;
        EXPECT_FALSE(pipe.Cut());
        EXPECT_FALSE(pipe.Failed());
    }
}

TEST(OutputPipe, StandardErrorGoesToTheSamePipeAndTheExitCodeComesThrough) {
    OutputPipe pipe(1000);
    EXPECT_EQ(3u, RunCaptured(pipe, L" out one, err two, out three exit 3"));
    EXPECT_EQ("one,two,three", Text(pipe));
}

TEST(OutputPipe, KeepsOnlyItsLimitButReadsEverything) {
    OutputPipe pipe(1000);
    // A child whose pipe were left full would never end: this one ends.
    EXPECT_EQ(0u, RunCaptured(pipe, L" fill 200000"));
    EXPECT_EQ(1000, pipe.Bytes().GetLength());
    EXPECT_EQ(200000, pipe.TotalBytes());
    EXPECT_TRUE(pipe.Cut());
    EXPECT_TRUE(Text(pipe) == FillPattern(1000));
}

TEST(OutputPipe, ADescendantHoldingThePipeDoesNotHoldUpTheStep) {
    TempDir temp;
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    ASSERT_NE(nullptr, job);
    std::wstring marker = temp.Join(L"grandchild.txt");
    OutputPipe pipe(1000);
    DWORD start = GetTickCount();
    // The grandchild inherits the pipe's write end and keeps it for 8 s.
    RunCaptured(pipe, L" out early spawn \"sleep 8000 write \\\"" + marker + L"\\\" x\"", job);
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_EQ("early", Text(pipe));
    EXPECT_GE(ActiveProcesses(job), 1) << "the grandchild still runs";
    EXPECT_FALSE(FileExists(marker));
    TerminateJobObject(job, 1);
    EXPECT_TRUE(JobEmptiesWithin(job, 5000));
    CloseHandle(job);
}

TEST(OutputPipe, AWriterLeftBehindIsNotBlockedForEverOnceThePipeIsGone) {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    ASSERT_NE(nullptr, job);
    {
        OutputPipe pipe(1000);
        // The grandchild writes far more than a pipe holds after its parent ended.
        RunCaptured(pipe, L" spawn \"sleep 300 fill 20000000\"", job);
    }
    EXPECT_TRUE(JobEmptiesWithin(job, 20000)) << "the grandchild is stuck writing into a pipe nobody reads";
    CloseHandle(job);
}

TEST(LaunchChild, EndingTheJobEndsTheChildAndItsDescendants) {
    TempDir temp;
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    ASSERT_NE(nullptr, job);
    std::wstring childMarker = temp.Join(L"child.txt");
    std::wstring grandchildMarker = temp.Join(L"grandchild.txt");
    VQWString line((ChildProgram() + L" spawn \"sleep 4000 write \\\"" + grandchildMarker + L"\\\" x\" sleep 4000 write \"" +
                    childMarker + L"\" x")
                       .c_str());
    LaunchRequest request = {&line, nullptr, job, nullptr};
    HANDLE process = LaunchChild(request);
    ASSERT_NE(nullptr, process);
    DWORD start = GetTickCount();
    while (ActiveProcesses(job) < 2 && GetTickCount() - start < 10000) Sleep(20);
    ASSERT_EQ(2, ActiveProcesses(job));
    TerminateJobObject(job, 1);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 5000));
    EXPECT_TRUE(JobEmptiesWithin(job, 5000));
    Sleep(4500);
    EXPECT_FALSE(FileExists(childMarker));
    EXPECT_FALSE(FileExists(grandchildMarker));
    CloseHandle(process);
    CloseHandle(job);
}

TEST(LaunchChild, StartsInTheGivenDirectoryOrFailsForAMissingProgram) {
    TempDir temp;
    std::wstring folder = temp.MakeDir(L"作業 dir");
    std::wstring report = temp.Join(L"cwd.txt");
    VQWString line((ChildProgram() + L" cwd \"" + report + L"\"").c_str());
    LaunchRequest request = {&line, folder.c_str(), nullptr, nullptr};
    HANDLE process = LaunchChild(request);
    ASSERT_NE(nullptr, process);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 30000));
    CloseHandle(process);
    std::string bytes = TempDir::ReadWholeFile(report);
    std::wstring seen(bytes.size(), L'\0');
    seen.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &seen[0],
                                    static_cast<int>(seen.size())));
    EXPECT_EQ(folder, seen);

    VQWString missing(L"C:\\no\\such\\program_qb.exe");
    LaunchRequest bad = {&missing, nullptr, nullptr, nullptr};
    EXPECT_EQ(nullptr, LaunchChild(bad));
}

namespace {

// What the launch gave CreateProcessW, and what the child was right after it.
struct CreateCall {
    DWORD flags;
    bool inJobAtCreation;
};
std::vector<CreateCall> createCalls;
HANDLE watchedJob = nullptr;
int refusalsLeft = 0;

BOOL WINAPI WatchCreate(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                        LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags, LPVOID environment,
                        LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION process) {
    // As a system that takes the attribute but not the child inside the job.
    if (refusalsLeft > 0 && (flags & EXTENDED_STARTUPINFO_PRESENT)) {
        --refusalsLeft;
        createCalls.push_back({flags, false});
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    BOOL created = CreateProcessW(application, commandLine, processAttributes, threadAttributes, inherit, flags,
                                  environment, directory, startup, process);
    BOOL inside = FALSE;
    if (created && watchedJob) IsProcessInJob(process->hProcess, watchedJob, &inside);
    createCalls.push_back({flags, inside != FALSE});
    return created;
}

// Replaces the creating call for one test.
class WatchedLaunch {
public:
    explicit WatchedLaunch(HANDLE job) {
        createCalls.clear();
        watchedJob = job;
        refusalsLeft = 0;
        createChildProcess = WatchCreate;
    }
    ~WatchedLaunch() {
        createChildProcess = CreateProcessW;
        watchedJob = nullptr;
    }
};

bool InJob(HANDLE process, HANDLE job) {
    BOOL inside = FALSE;
    return IsProcessInJob(process, job, &inside) && inside;
}

}  // namespace

TEST(LaunchChild, TheChildIsInsideItsJobWhenItIsCreated) {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    ASSERT_NE(nullptr, job);
    WatchedLaunch watch(job);
    VQWString line((ChildProgram() + L" exit 0").c_str());
    OutputPipe pipe(100);
    ASSERT_TRUE(pipe.Create());
    // Hidden and visible alike: a kill of this program at any moment leaves no child outside the job.
    for (HANDLE output : {HANDLE(nullptr), pipe.WriteEnd()}) {
        LaunchRequest request = {&line, nullptr, job, output};
        HANDLE process = LaunchChild(request);
        ASSERT_NE(nullptr, process);
        ASSERT_EQ(1u, createCalls.size());
        EXPECT_TRUE(createCalls[0].inJobAtCreation) << "created outside the job, put into it afterwards";
        EXPECT_TRUE(createCalls[0].flags & CREATE_SUSPENDED) << "nothing runs before the job is sure";
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 30000)) << "and then it runs";
        CloseHandle(process);
        createCalls.clear();
    }
    CloseHandle(job);
}

TEST(LaunchChild, WhereTheJobCannotBeGivenAtCreationTheChildJoinsBeforeItRuns) {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    ASSERT_NE(nullptr, job);
    WatchedLaunch watch(job);
    refusalsLeft = 1;
    VQWString line((ChildProgram() + L" exit 0").c_str());
    LaunchRequest request = {&line, nullptr, job, nullptr};
    HANDLE process = LaunchChild(request);
    ASSERT_NE(nullptr, process);
    ASSERT_EQ(2u, createCalls.size()) << "refused with the job, started without it";
    EXPECT_FALSE(createCalls[1].flags & EXTENDED_STARTUPINFO_PRESENT);
    EXPECT_TRUE(createCalls[1].flags & CREATE_SUSPENDED);
    EXPECT_FALSE(createCalls[1].inJobAtCreation);
    EXPECT_TRUE(InJob(process, job));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 30000));
    CloseHandle(process);
    CloseHandle(job);
}

TEST(LaunchChild, AHiddenChildReadsTheNulDevice) {
    TempDir temp;
    std::wstring report = temp.Join(L"stdin.txt");
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    ASSERT_NE(nullptr, job);
    OutputPipe pipe(1000);
    // A child waiting for input that nobody can give ends at once.
    EXPECT_EQ(0u, RunCaptured(pipe, L" stdin \"" + report + L"\"", job));
    EXPECT_EQ("eof 0", TempDir::ReadWholeFile(report));
    // One that waits after all must not outlive the test.
    TerminateJobObject(job, 1);
    CloseHandle(job);
}

TEST(SystemErrorText, IsWindowsOwnWordsWithoutTheLineBreak) {
    wchar_t expected[512] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             ERROR_FILE_NOT_FOUND, 0, expected, 512, nullptr);
    ASSERT_GT(n, 2u);
    while (n > 0 && (expected[n - 1] == L'\r' || expected[n - 1] == L'\n')) expected[--n] = L'\0';
    EXPECT_STREQ(expected, SystemErrorText(ERROR_FILE_NOT_FOUND).Text());
    EXPECT_STREQ(L"（エラー 3758096383）", SystemErrorText(0xDFFFFFFF).Text()) << "a code Windows has no words for";
}
