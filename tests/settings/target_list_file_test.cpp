#include "settings/target_list_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

typedef std::vector<std::wstring> Lines;

std::string Utf16(const std::wstring& text) {
    return std::string("\xFF\xFE", 2) + std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

Lines Strings(const VQArray<VQWString, VQWString>& array) {
    Lines out;
    for (int i = 0; i < array.GetCount(); ++i) out.push_back(std::wstring(array[i].Text(), array[i].GetLength()));
    return out;
}

struct Split {
    Lines lines;
    int longLines;
    int nulLines;
};

Split SplitBytes(const std::string& bytes) {
    VQArray<VQWString, VQWString> lines;
    VQTargetList list;
    SplitListText(bytes.data(), static_cast<int>(bytes.size()), lines, list);
    return {Strings(lines), list.longLines, list.nulLines};
}

}  // namespace

TEST(ListText, Utf16WithMarkAndAnsiWithoutReadAsBefore) {
    Split wide = SplitBytes(Utf16(L"C:\\データ\\a.txt\r\n\r\nD:\\b c.txt\r\nlast"));
    EXPECT_EQ((Lines{L"C:\\データ\\a.txt", L"D:\\b c.txt", L"last"}), wide.lines);

    // C:\日本\x.txt in the ANSI code page (Shift-JIS here) stays that, LF or CR LF.
    std::string shiftJis = "C:\\\x93\xfa\x96\x7b\\x.txt\nC:\\\x93\xfa\x96\x7b\\y.txt\r\n\r\n";
    std::wstring x(VQWString::FromAnsi("C:\\\x93\xfa\x96\x7b\\x.txt", -1).Text());
    std::wstring y(VQWString::FromAnsi("C:\\\x93\xfa\x96\x7b\\y.txt", -1).Text());
    EXPECT_EQ((Lines{x, y}), SplitBytes(shiftJis).lines);
    EXPECT_EQ((Lines{L"plain\\ascii.txt"}), SplitBytes("plain\\ascii.txt\r\n").lines);
}

TEST(ListText, Utf8IsReadWithItsMarkOrWhenItsBytesSaySo) {
    std::string utf8 = "C:\\\xe5\x86\x99\xe7\x9c\x9f\\\xe9\x9b\xaa 02.jpg\r\n";  // C:\写真\雪 02.jpg
    EXPECT_EQ((Lines{L"C:\\写真\\雪 02.jpg"}), SplitBytes(utf8).lines);
    EXPECT_EQ((Lines{L"C:\\写真\\雪 02.jpg"}), SplitBytes("\xEF\xBB\xBF" + utf8).lines);
    EXPECT_EQ((Lines{L"a.txt"}), SplitBytes("\xEF\xBB\xBF" "a.txt").lines) << "the mark is not part of the path";
    // Shift-JIS after UTF-8 in one file: not valid UTF-8, so all of it is ANSI.
    Lines mixed = SplitBytes(utf8 + "C:\\\x93\xfa\x96\x7b\\x.txt").lines;
    ASSERT_EQ(2u, mixed.size());
    EXPECT_EQ(std::wstring(VQWString::FromAnsi("C:\\\x93\xfa\x96\x7b\\x.txt", -1).Text()), mixed[1]);
}

TEST(ListText, LinesAreTakenWholeOrSkipped) {
    std::wstring atLimit(kListLineLimit, L'a');
    Split wide = SplitBytes(Utf16(atLimit + L"\r\n" + atLimit + L"b\r\nZ:\\a" + std::wstring(1, L'\0') + L"b.txt\nok"));
    ASSERT_EQ(2u, wide.lines.size());
    EXPECT_EQ(atLimit, wide.lines[0]);
    EXPECT_EQ(L"ok", wide.lines[1]);
    EXPECT_EQ(1, wide.longLines);
    EXPECT_EQ(1, wide.nulLines);

    // A 286-unit path and a 1 MiB line: one line each, never pieces of one.
    std::string deep = "C:\\" + std::string(270, 'd') + "\\photo.txt";
    Split narrow = SplitBytes(deep + "\r\n" + std::string(1 << 20, 'x') + "\r\nZ:\\a" + std::string(1, '\0') + "b.txt");
    EXPECT_EQ((Lines{std::wstring(deep.begin(), deep.end())}), narrow.lines);
    EXPECT_EQ(1, narrow.longLines);
    EXPECT_EQ(1, narrow.nulLines);
    // The limit counts characters, not bytes: a double-byte one of Shift-JIS
    // (日) is one unit, as is é of a code page of single bytes. This line fits.
    const std::string one = GetACP() == 932 ? "\x93\xfa" : "\xe9";
    std::string full;
    for (int i = 0; i < kListLineLimit; ++i) full += one;
    EXPECT_EQ(1u, SplitBytes(full).lines.size());
    EXPECT_EQ(1, SplitBytes(full + one).longLines);
}

TEST(ListText, BlanksAndOneQuotePairAroundThePathGo) {
    Split split = SplitBytes(" \t\"C:\\a b\\c.txt\"  \r\n  C:\\d.txt\t\n\" lead.txt\"\n\"\"\n\"\n \t \r\n");
    EXPECT_EQ((Lines{L"C:\\a b\\c.txt", L"C:\\d.txt", L" lead.txt", L"", L"\""}), split.lines);
}

TEST(ListFile, LinesNameFilesAndFoldersAndTheRestIsCounted) {
    TempDir dir;
    std::wstring one = dir.WriteFile(L"一.jpg", "1");
    std::wstring folder = dir.MakeDir(L"写真 フォルダ");
    std::wstring inner = dir.WriteFile(L"写真 フォルダ\\..old\\内.jpg", "2");
    std::wstring beside = dir.WriteFile(L"near.txt", "3");
    std::wstring list = dir.WriteFile(L"list.txt", Utf16(folder + L"\r\n" + dir.Join(L"missing.jpg") + L"\r\n\"" + one +
                                                         L"\"\r\nnear.txt\r\n.\\sub\\..\\near.txt\r\n\"\"\r\n"));
    VQTargetList result;
    ASSERT_TRUE(ReadTargetListFile(list.c_str(), result));
    EXPECT_EQ((Lines{inner, one, beside, beside}), Strings(result.paths)) << "relative lines start at the list's folder";
    EXPECT_EQ(2, result.missingLines);
    EXPECT_EQ(2, result.SkippedLines());
    EXPECT_FALSE(result.tooLarge);
}

TEST(ListFile, JunkAddsNothingAndEveryLineOfItIsCounted) {
    TempDir dir;
    std::string junk;
    unsigned seed = 12345;
    for (int i = 0; i < 4096; ++i) {
        seed = seed * 1103515245 + 12345;
        junk += static_cast<char>(seed >> 16);
    }
    std::wstring list = dir.WriteFile(L"junk.txt", junk);
    VQTargetList result;
    ASSERT_TRUE(ReadTargetListFile(list.c_str(), result));
    EXPECT_EQ(0, result.paths.GetCount());
    EXPECT_GT(result.nulLines, 0);
    EXPECT_GT(result.missingLines, 0);
    // A line such as "CON" names a device, not a file.
    std::wstring devices = dir.WriteFile(L"devices.txt", "CON\r\nnul\r\n");
    VQTargetList named;
    ASSERT_TRUE(ReadTargetListFile(devices.c_str(), named));
    EXPECT_EQ(0, named.paths.GetCount());
    EXPECT_EQ(2, named.unopenableLines);
    EXPECT_EQ(0, named.missingLines);
}

TEST(ListFile, SkippedLinesAreNamedInLineOrderWithTheirNumbers) {
    TempDir dir;
    std::wstring kept = dir.WriteFile(L"kept.txt", "k");
    // Lines 2 and 5 are found missing after lines 3 and 4 were refused as text.
    std::wstring text = kept + L"\r\n" + dir.Join(L"gone.txt") + L"\r\nZ:\\a" + std::wstring(1, L'\0') + L"b.txt\r\n" +
                        std::wstring(40000, L'x') + L"\r\n" + dir.Join(L"aux.log") + L"\r\n\r\n";
    for (int i = 0; i < 6; ++i) text += dir.Join(L"more" + std::to_wstring(i) + L".txt") + L"\r\n";
    std::wstring list = dir.WriteFile(L"list.txt", Utf16(text));
    VQTargetList result;
    ASSERT_TRUE(ReadTargetListFile(list.c_str(), result));
    EXPECT_EQ((Lines{kept}), Strings(result.paths));
    EXPECT_EQ(10, result.SkippedLines());
    ASSERT_EQ(5u, result.firstSkipped.size());
    const int numbers[] = {2, 3, 4, 5, 7};
    const VQSkipReason reasons[] = {VQSkipReason::Missing, VQSkipReason::Nul, VQSkipReason::Long,
                                    VQSkipReason::Unopenable, VQSkipReason::Missing};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(numbers[i], result.firstSkipped[i].number) << i;
        EXPECT_EQ(reasons[i], result.firstSkipped[i].reason) << i;
    }
    EXPECT_EQ(std::wstring(L"Z:\\a[NUL]b.txt"), result.firstSkipped[1].text.Text());
    EXPECT_EQ(81, result.firstSkipped[2].text.GetLength()) << "a long line is shown by its start";
}

// Lines are looked up on the disk in blocks by two threads; what they name
// still comes in the order of the lines, every line counted once.
TEST(ListFile, ABigListKeepsItsOrderAndCanBeCancelled) {
    TempDir dir;
    std::wstring a = dir.WriteFile(L"a 写真.jpg", "a");
    std::wstring b = dir.WriteFile(L"b.jpg", "b");
    std::wstring inner = dir.WriteFile(L"中\\c.jpg", "c");
    std::wstring text;
    Lines expected;
    const int kLines = 5000;
    for (int i = 0; i < kLines; ++i) {
        switch (i % 5) {
        case 0: text += a; expected.push_back(a); break;
        case 1: text += dir.Join(L"gone " + std::to_wstring(i) + L".jpg"); break;
        case 2: text += L"b.jpg"; expected.push_back(b); break;
        case 3: text += dir.Join(L"中"); expected.push_back(inner); break;
        case 4: text += dir.Join(L"nul"); break;
        }
        text += L"\r\n";
    }
    std::wstring list = dir.WriteFile(L"list.txt", Utf16(text));
    VQTargetList result;
    int told = 0;
    result.search.progress = [&](int) { return ++told > 0; };
    ASSERT_TRUE(ReadTargetListFile(list.c_str(), result));
    EXPECT_EQ(expected, Strings(result.paths));
    EXPECT_EQ(kLines / 5, result.missingLines);
    EXPECT_EQ(kLines / 5, result.unopenableLines);
    ASSERT_EQ(static_cast<int>(expected.size()), result.roots.GetCount());
    EXPECT_STREQ((dir.Join(L"中") + L"\\").c_str(), result.roots[2].Text());
    EXPECT_GT(told, 0) << "progress is told while the lines are looked up";

    VQTargetList cancelled;
    cancelled.search.progress = [](int) { return false; };
    ASSERT_TRUE(ReadTargetListFile(list.c_str(), cancelled));
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_EQ(0, cancelled.paths.GetCount());
}

TEST(ListFile, MissingAndOversizedFilesAreRefusedUnread) {
    TempDir dir;
    VQTargetList result;
    EXPECT_FALSE(ReadTargetListFile(dir.Join(L"missing.txt").c_str(), result));
    EXPECT_FALSE(result.tooLarge);

    // A sparse file one byte over the limit; its contents are never read.
    std::wstring big = dir.Join(L"big.txt");
    HANDLE h = CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(kListFileLimit) + 1;
    EXPECT_TRUE(SetFilePointerEx(h, size, nullptr, FILE_BEGIN) && SetEndOfFile(h));
    CloseHandle(h);
    EXPECT_FALSE(ReadTargetListFile(big.c_str(), result));
    EXPECT_TRUE(result.tooLarge);
    EXPECT_EQ(0, result.paths.GetCount());
}
