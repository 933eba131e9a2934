#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring W(const VQWString& s) { return std::wstring(s.Text(), s.GetLength()); }

std::vector<std::wstring> Arguments(const CommandLine& line) {
    std::vector<std::wstring> out;
    for (const VQWString& argument : line.arguments) out.push_back(W(argument));
    return out;
}

typedef std::vector<std::wstring> Words;

}  // namespace

TEST(CommandLineSplit, ArgumentsEndAtBlanksOutsideDoubleQuotesAndOnlyThoseQuote) {
    CommandLine line = ParseCommandLine(L"\"C:\\Program Files\\Quenbrix\\Quenbrix.exe\"  \"D:\\設定 フォルダ\\ジョブ.ini\"\t"
                                        L"plain.ini 'C:\\two words.ini' \\\\server\\share\\a.ini");
    EXPECT_EQ(L"C:\\Program Files\\Quenbrix\\Quenbrix.exe", W(line.program));
    EXPECT_EQ((Words{L"D:\\設定 フォルダ\\ジョブ.ini", L"plain.ini", L"'C:\\two", L"words.ini'",
                     L"\\\\server\\share\\a.ini"}),
              Arguments(line));
    EXPECT_EQ(L"D:\\設定 フォルダ\\ジョブ.ini", W(line.settingsFile));
}

TEST(CommandLineSplit, ALongQuotedPathStaysWhole) {
    // Far past the 260 units a cut would leave: 40 folders of 9 units, every
    // backslash inside the quotes.
    std::wstring path = L"C:";
    for (int i = 0; i < 40; ++i) path += L"\\フォルダ " + std::to_wstring(1000 + i);
    path += L"\\ジョブ.ini";
    ASSERT_GT(path.size(), 400u);
    CommandLine line = ParseCommandLine((L"q.exe \"" + path + L"\" second").c_str());
    EXPECT_EQ(path, W(line.settingsFile));
    EXPECT_EQ((Words{path, L"second"}), Arguments(line));
}
