#include "base/text_decode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring W(const VQWString& s) { return std::wstring(s.Text(), s.GetLength()); }

std::wstring Decode(const std::string& bytes, unsigned detect, UINT codePage = 932,
                    VQTextEncoding* used = nullptr) {
    return W(DecodeText(bytes.data(), static_cast<int>(bytes.size()), detect, codePage, used));
}

}  // namespace

TEST(TextDecode, MarksDecideAndAreDropped) {
    VQTextEncoding used;
    EXPECT_EQ(L"写真", Decode(std::string("\xFF\xFE\x99\x51\x1F\x77", 6), kDetectAll, 932, &used));
    EXPECT_EQ(kTextUtf16, used);
    EXPECT_EQ(L"写真", Decode("\xEF\xBB\xBF\xE5\x86\x99\xE7\x9C\x9F", kDetectAll, 932, &used));
    EXPECT_EQ(kTextUtf8, used);
    // Without the flag the mark is just bytes of the code page.
    EXPECT_EQ(kTextCodePage, DetectTextEncoding("\xEF\xBB\xBF" "a", 4, kDetectUtf16Mark, nullptr));
}

TEST(TextDecode, Utf8WithoutMarkWhenValidAndNotAsciiUnlessAskedFor) {
    VQTextEncoding used;
    EXPECT_EQ(L"写真\\雪.jpg", Decode("\xE5\x86\x99\xE7\x9C\x9F\\\xE9\x9B\xAA.jpg", kDetectAll, 932, &used));
    EXPECT_EQ(kTextUtf8, used);
    // Shift-JIS bytes are not UTF-8: they stay in the code page.
    EXPECT_EQ(L"写真", Decode("\x8E\xCA\x90\x5E", kDetectAll, 932, &used));
    EXPECT_EQ(kTextCodePage, used);
    // Plain ASCII reads the same either way and is left to the code page,
    // unless UTF-8 is asked for as the only choice; a NUL makes it no text.
    Decode("abc.txt", kDetectAll, 932, &used);
    EXPECT_EQ(kTextCodePage, used);
    EXPECT_EQ(kTextUtf8, DetectTextEncoding("[a]\r\nb = c", 10, kDetectUtf8Ascii, nullptr));
    EXPECT_EQ(kTextUtf8, DetectTextEncoding("\xE5\x86\x99", 3, kDetectUtf8Ascii, nullptr));
    EXPECT_EQ(kTextCodePage, DetectTextEncoding("a\0b\0", 4, kDetectUtf8Ascii, nullptr));
    EXPECT_EQ(kTextCodePage, DetectTextEncoding("\x8E\xCA", 2, kDetectUtf8Ascii, nullptr));
    // Overlong forms, surrogates and a cut sequence are not UTF-8.
    bool nonAscii = false;
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF", 2, &nonAscii));
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80", 3, &nonAscii));
    EXPECT_FALSE(IsValidUtf8("\xE5\x86", 2, &nonAscii));
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80", 4, &nonAscii));
    EXPECT_TRUE(nonAscii);
}

TEST(TextDecode, Utf16WithoutMarkIsRecognisedFromItsNuls) {
    VQTextEncoding used;
    // What cmd /u /c echo hello prints.
    EXPECT_EQ(L"hello\r\n", Decode(std::string("h\0e\0l\0l\0o\0\r\0\n\0", 14), kDetectAll, 932, &used));
    EXPECT_EQ(kTextUtf16, used);
    // Japanese with an ideographic space (a NUL low byte) among Latin letters.
    std::string mixed("a\0\x00\x30" "b\0\x99\x51", 8);
    EXPECT_EQ(std::wstring(L"a\x3000" L"b写"), Decode(mixed, kDetectAll));
    // The guess is only made when asked for.
    EXPECT_EQ(kTextCodePage, DetectTextEncoding("h\0i\0", 4, kDetectMarks | kDetectUtf8, nullptr));
    // One stray NUL in 8-bit text is not UTF-16.
    EXPECT_EQ(kTextCodePage, DetectTextEncoding("abcdefgh\0ijklmnop", 17, kDetectAll, nullptr));
}

TEST(TextDecode, FallbackCodePageAndNulRemoval) {
    // 0x82 0xA0 is あ in code page 932 and ‚ followed by a space in 1252.
    EXPECT_EQ(L"あ", Decode("\x82\xA0", 0, 932));
    EXPECT_EQ(std::wstring(L"\x201A\xA0"), Decode("\x82\xA0", 0, 1252));
    VQWString text = DecodeText("a\0b\0\0c", 6, 0, 932);
    EXPECT_EQ(6, text.GetLength());
    EXPECT_EQ(3, RemoveNuls(text));
    EXPECT_EQ(L"abc", W(text));
    EXPECT_EQ(0, RemoveNuls(text));
}
