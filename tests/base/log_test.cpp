#include "base/log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/debug_output.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Narrow(const std::wstring& path) {
    int n = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring Wide(const std::string& shiftJis) {
    int n = MultiByteToWideChar(932, 0, shiftJis.data(), static_cast<int>(shiftJis.size()), nullptr, 0);
    std::wstring s(n, L'\0');
    MultiByteToWideChar(932, 0, shiftJis.data(), static_cast<int>(shiftJis.size()), &s[0], n);
    return s;
}

void UseFile(VQLog& log, const std::wstring& path, bool buffered) {
    log.enabled = 1;
    log.toFile = 1;
    log.fileName = Narrow(path).c_str();
    log.buffered = buffered ? 1 : 0;
}

bool SameSecond(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

std::string StampOf(const SYSTEMTIME& t) {
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%04d/%02d/%02d %02d:%02d:%02d : ", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
             t.wSecond);
    return stamp;
}

}  // namespace

TEST(Log, SwitchedOffWritesNothing) {
    TempDir dir;
    DebugOutputCapture debug;
    VQLog log;
    UseFile(log, dir.Join(L"off.log"), false);
    log.enabled = 0;
    log.Write("line %d\n", 1);
    log.toFile = 0;
    log.Write("line %d\n", 2);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(dir.Join(L"off.log").c_str()));
    EXPECT_TRUE(debug.Calls().empty());
    // The program's own log is built switched off.
    EXPECT_EQ(0, vqLog.enabled);
    EXPECT_EQ(0, vqLog.toFile);
}

TEST(Log, SameSecondLinesGetTheBlankStamp) {
    TempDir dir;
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::wstring path = dir.Join(L"stamp" + std::to_wstring(attempt) + L".log");
        VQLog log;
        UseFile(log, path, false);
        log.timestamps = 1;
        log.indent = 2;
        SYSTEMTIME before, after;
        GetLocalTime(&before);
        log.Write("first\n");
        log.Write("second %s\n", "line");
        GetLocalTime(&after);
        if (!SameSecond(before, after)) continue;  // straddled a second: try again
        EXPECT_EQ(StampOf(before) + "  first\r\n" + std::string(22, ' ') + "  second line\r\n",
                  TempDir::ReadWholeFile(path));
        EXPECT_TRUE(SameSecond(before, log.lastTime));
        return;
    }
    FAIL() << "no two lines fell within one second";
}

TEST(Log, DebuggerLinesLeaveLastTimeAlone) {
    DebugOutputCapture debug;
    VQLog log;
    log.enabled = 1;
    log.timestamps = 1;
    log.indent = 40;  // beyond the contract: held to 31
    SYSTEMTIME before;
    GetLocalTime(&before);
    log.Write("a\n");
    std::string text(2000, 'b');
    log.Write("%s", text.c_str());
    ASSERT_EQ(6u, debug.Calls().size());
    // Both lines carry a full stamp: nothing went to the file.
    EXPECT_EQ(22u, debug.Calls()[0].size());
    EXPECT_NE(' ', debug.Calls()[3][0]);
    EXPECT_EQ(std::string(31, ' '), debug.Calls()[1]);
    EXPECT_EQ(std::string(1023, 'b'), debug.Calls()[5]);  // cut to 1023 bytes
    EXPECT_EQ(0, log.lastTime.wYear);
}

TEST(Log, BufferedLinesReachTheFileOnClose) {
    TempDir dir;
    std::wstring path = dir.Join(L"buf.log");
    VQLog log;
    UseFile(log, path, true);
    // 表 ends in 0x5C, which must not be taken for anything but its trail byte.
    log.Write("x\n\x95\x5C\n");
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));
    log.Close();
    EXPECT_EQ("x\r\n\x95\x5C\r\n", TempDir::ReadWholeFile(path));
    log.Close();  // the second run finds nothing left to do
    EXPECT_EQ(nullptr, log.semaphore);
    EXPECT_TRUE(log.fileName.IsEmpty());
    EXPECT_EQ("x\r\n\x95\x5C\r\n", TempDir::ReadWholeFile(path));
}

TEST(Log, FullBufferIsWrittenInBulk) {
    TempDir dir;
    std::wstring path = dir.Join(L"bulk.log");
    VQLog log;
    UseFile(log, path, true);
    std::string line(999, 'x');
    for (int i = 0; i < 17; ++i) log.Write("%s\n", line.c_str());  // 17000 bytes
    // The 17th line did not fit: the first sixteen went out, with CR LF.
    std::string one = line + "\r\n";
    std::string sixteen;
    for (int i = 0; i < 16; ++i) sixteen += one;
    EXPECT_EQ(sixteen, TempDir::ReadWholeFile(path));
    EXPECT_EQ(1000, log.bufferFill);
}

TEST(Log, FailingFileGivesOneNoticeThenTheDebugger) {
    TempDir dir;
    DebugOutputCapture debug;
    VQLog log;
    std::wstring path = dir.Join(L"missing\\x.log");
    UseFile(log, path, true);
    std::string line(999, 'y');
    for (int i = 0; i < 16; ++i) log.Write("%s\n", line.c_str());
    EXPECT_TRUE(debug.Calls().empty());
    std::string overflow(500, 'z');
    log.Write("%s\n", overflow.c_str());  // needs a flush, which cannot open the file
    ASSERT_EQ(5u, debug.Calls().size());
    EXPECT_EQ(L"\u30ED\u30B0\u30D5\u30A1\u30A4\u30EB(", Wide(debug.Calls()[0]));  // ログファイル(
    EXPECT_EQ(Narrow(path), debug.Calls()[1]);
    EXPECT_EQ(L")\u3078\u306E\u51FA\u529B\u306B\u5931\u6557\u3057\u307E\u3057\u305F\u3002\n",
              Wide(debug.Calls()[2]));  // )への出力に失敗しました。
    EXPECT_EQ(overflow + "\n", debug.Calls()[4]);
    EXPECT_EQ(0, log.toFile);
    log.Write("after\n");
    ASSERT_EQ(7u, debug.Calls().size());
    EXPECT_EQ("after\n", debug.Calls()[6]);
}

// Writes to Linux's /dev/full fail after the open succeeded.
TEST(Log, DirectWriteFailureIsReported) {
    HANDLE probe = CreateFileW(L"Z:\\dev\\full", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no /dev/full behind drive Z:";
    CloseHandle(probe);
    DebugOutputCapture debug;
    VQLog log;
    UseFile(log, L"Z:\\dev\\full", false);
    log.Write("lost\n");
    ASSERT_EQ(5u, debug.Calls().size());
    EXPECT_EQ("Z:\\dev\\full", debug.Calls()[1]);
    EXPECT_EQ("lost\n", debug.Calls()[4]);
    EXPECT_EQ(0, log.toFile);
}

TEST(LogSemaphore, UncreatedLockIsReportedAndWritingGoesOn) {
    DebugOutputCapture debug;
    VQLog log(new VQSemaphore);  // the base never reports itself created
    ASSERT_EQ(1u, debug.Calls().size());
    EXPECT_EQ(L"[VQLog::VQLog]\u30BB\u30DE\u30D5\u30A9\u306E\u4F5C\u6210\u306B\u5931\u6557\u3057\u307E\u3057\u305F\u3002"
              L"\u8907\u6570\u306E\u30B9\u30EC\u30C3\u30C9\u304B\u3089\u547C\u3073\u51FA\u3059\u3068\u4E0D\u5177\u5408"
              L"\u304C\u8D77\u3053\u308B\u53EF\u80FD\u6027\u304C\u3042\u308A\u307E\u3059\u3002\n",
              Wide(debug.Calls()[0]));
    EXPECT_EQ(nullptr, log.semaphore);
    log.enabled = 1;
    log.Write("still\n");
    EXPECT_EQ("still\n", debug.Calls().back());
}

