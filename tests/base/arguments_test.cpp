#include "base/files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every argument of a command line, through repeated calls.
std::vector<std::wstring> Split(const wchar_t* line, int n = 260) {
    std::vector<std::wstring> args;
    std::vector<wchar_t> buf(n > 0 ? n : 1);
    for (const wchar_t* p = NextArgument(buf.data(), n, line); p; p = NextArgument(buf.data(), n, p)) {
        args.push_back(buf.data());
    }
    return args;
}

typedef std::vector<std::wstring> Args;

}  // namespace

TEST(NextArgument, PlainArgumentsTakeQuotesLiterally) {
    wchar_t buf[32];
    const wchar_t* line = L" \t\r\nD:\\jobs\\a.ini  next";
    const wchar_t* rest = NextArgument(buf, 32, line);
    EXPECT_STREQ(L"D:\\jobs\\a.ini", buf);
    EXPECT_STREQ(L" next", rest);
    EXPECT_EQ(Args({L"ab\"c", L"d'e'"}), Split(L"ab\"c d'e'"));
}

TEST(NextArgument, QuotedArgumentsKeepTheirSpaces) {
    EXPECT_EQ(Args({L"C:\\Program Files\\x.ini", L"next"}), Split(L"\"C:\\Program Files\\x.ini\" next"));
    EXPECT_EQ(Args({L"a b", L"c"}), Split(L"'a b' c"));
    // Only the opening quote closes; the other one is copied.
    EXPECT_EQ(Args({L"say \"hi\"", L"it's"}), Split(L"'say \"hi\"' \"it's\""));
    // Quoted and unquoted parts join into one argument.
    EXPECT_EQ(Args({L"ab cd", L"e"}), Split(L"\"a\"'b c'd e"));
    EXPECT_EQ(Args({L"open end"}), Split(L"\"open end"));
}

TEST(NextArgument, BackslashesInQuotingArguments) {
    EXPECT_EQ(Args({L"a\"b", L"c"}), Split(L"\"a\\\"b\" c"));
    // A backslash stays and the unit after it is taken as it is.
    EXPECT_EQ(Args({L"a\\b"}), Split(L"\"a\\b\""));
    EXPECT_EQ(Args({L"a\\\\b"}), Split(L"\"a\\\\b\""));
    EXPECT_EQ(Args({L"x\\'y"}), Split(L"'x\\'y'"));
    // Whitespace after a backslash still ends the argument outside quotes.
    EXPECT_EQ(Args({L"x\\", L"y"}), Split(L"\"x\"\\ y"));
}

TEST(NextArgument, OverLongArgumentsAreCutWhereTheCountEnds) {
    wchar_t buf[8];
    const wchar_t* line = L"abcdefg h";
    const wchar_t* rest = NextArgument(buf, 5, line);
    EXPECT_STREQ(L"abcd", buf);
    EXPECT_EQ(line + 4, rest);
    // Each backslash counts two: a(1) \(2) b(1) leave no room for c.
    line = L"\"a\\bc\"";
    rest = NextArgument(buf, 5, line);
    EXPECT_STREQ(L"a\\b", buf);
    EXPECT_EQ(line + 4, rest);
    rest = NextArgument(buf, 1, L"xyz");
    EXPECT_STREQ(L"", buf);
    EXPECT_STREQ(L"xyz", rest);
}

TEST(NextArgument, NothingLeft) {
    wchar_t buf[8] = L"junk";
    EXPECT_EQ(nullptr, NextArgument(buf, 8, nullptr));
    EXPECT_EQ(nullptr, NextArgument(buf, 8, L" \t\r\n "));
    EXPECT_STREQ(L"", buf);
    EXPECT_EQ(Args({L"prog.exe", L"x.ini"}), Split(L"prog.exe x.ini \r\n"));
}

TEST(CutAtDot, CutsTheLastExtensionOnly) {
    wchar_t name[32] = L"a.b.txt";
    EXPECT_EQ(3, CutAtDot(name));
    EXPECT_STREQ(L"a.b", name);
    wchar_t noExt[32] = L"dir.x\\name";
    EXPECT_EQ(5, CutAtDot(noExt));
    EXPECT_STREQ(L"dir.x\\name", noExt);
    wchar_t hidden[32] = L".profile";
    EXPECT_EQ(0, CutAtDot(hidden));
    EXPECT_STREQ(L".profile", hidden);
    wchar_t shortName[32] = L"a.b";
    EXPECT_EQ(1, CutAtDot(shortName));
    EXPECT_STREQ(L"a", shortName);
}
