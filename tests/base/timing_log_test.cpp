#include "base/timing_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

// The time a line gives, or -1 when no line of the log has that name.
double MarkedAt(const std::string& log, const std::string& name) {
    size_t at = log.find("\r\n" + name + ", ");
    if (at == std::string::npos) return -1;
    return atof(log.c_str() + at + 2 + name.size() + 2);
}

}  // namespace

TEST(TimingLogTest, WritesOnlyWhileTheVariableNamesAFile) {
    TempDir dir;
    std::wstring path = dir.Join(L"timing.log");
    SetEnvironmentVariableW(L"QUENBRIX_TIMING", nullptr);
    TimingLogFromEnvironment();
    EXPECT_FALSE(TimingLogOn());
    TimingMark("while off");
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));

    SetEnvironmentVariableW(L"QUENBRIX_TIMING", path.c_str());
    TimingLogFromEnvironment();
    SetEnvironmentVariableW(L"QUENBRIX_TIMING", nullptr);
    ASSERT_TRUE(TimingLogOn());
    TimingMark("first");
    TimingMark("second");
    TimingLogClose();
    TimingMark("after close");

    std::string log = TempDir::ReadWholeFile(path);
    double first = MarkedAt(log, "first");
    double second = MarkedAt(log, "second");
    // Milliseconds since this process began, in the order made.
    EXPECT_GT(first, 0) << log;
    EXPECT_GE(second, first) << log;
    EXPECT_EQ(-1, MarkedAt(log, "while off")) << log;
    EXPECT_EQ(-1, MarkedAt(log, "after close")) << log;
}
