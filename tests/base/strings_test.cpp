#include "base/strings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/arrays.h"

namespace {

VQStringBuffer* BufferOf(const VQWString& s) {
    // The buffer is the second word of the string.
    VQStringBuffer* b;
    std::memcpy(&b, reinterpret_cast<const char*>(&s) + sizeof(void*), sizeof b);
    return b;
}

std::wstring W(const VQWString& s) { return std::wstring(s.Text(), s.GetLength()); }

}  // namespace

TEST(StringCapacity, FollowsTheRoundingRule) {
    EXPECT_EQ(16, VQStringCapacityFor(0));
    EXPECT_EQ(32, VQStringCapacityFor(15));
    EXPECT_EQ(1024, VQStringCapacityFor(1000));
    EXPECT_EQ(1024, VQStringCapacityFor(1008));
    EXPECT_EQ(2016, VQStringCapacityFor(2000));
    EXPECT_EQ(1040, VQStringCapacityFor(1023));
}

TEST(WString, IsTwoWordsAndEmptyHoldsNoBuffer) {
    EXPECT_EQ(2 * sizeof(void*), sizeof(VQWString));
    VQWString empty;
    EXPECT_TRUE(empty.IsNull());
    EXPECT_EQ(0, empty.GetLength());
    VQWString fromNull(static_cast<const wchar_t*>(nullptr));
    EXPECT_TRUE(fromNull.IsNull());
    VQWString blank(L"");
    EXPECT_FALSE(blank.IsNull());
    EXPECT_TRUE(blank.IsEmpty());
}

TEST(WString, SetLengthTerminatesForBothReaders) {
    VQWString s(L"abcdef");
    s.SetLength(3);
    EXPECT_EQ(3, s.GetLength());
    EXPECT_EQ(6, s.GetLength(true));
    const char* bytes = reinterpret_cast<const char*>(s.GetData());
    EXPECT_EQ(0, bytes[6]);
    EXPECT_EQ(0, bytes[7]);
    EXPECT_STREQ(L"abc", s.Text());
    s.SetLength(600);
    EXPECT_EQ(600, s.GetLength());
    EXPECT_EQ(0, s.GetData()[600]);
    EXPECT_EQ(L'a', s.GetData()[0]);
}

TEST(WString, CopiesShareUntilOneChanges) {
    VQWString a(L"hello");
    VQWString b(a);
    EXPECT_EQ(BufferOf(a), BufferOf(b));
    EXPECT_EQ(2, BufferOf(a)->refCount);
    b.Append(L"!", 1);
    EXPECT_STREQ(L"hello", a.Text());
    EXPECT_STREQ(L"hello!", b.Text());
    EXPECT_NE(BufferOf(a), BufferOf(b));
    EXPECT_EQ(1, BufferOf(a)->refCount);

    VQWString only(L"abc");
    VQStringBuffer* before = BufferOf(only);
    only.Delete(1, 1);
    EXPECT_EQ(before, BufferOf(only)) << "a sole owner changes in place";
    EXPECT_STREQ(L"ac", only.Text());

    VQWString c(L"xyz");
    VQWString d(c);
    d.Insert(1, VQWString(L"--"));
    EXPECT_STREQ(L"xyz", c.Text());
    EXPECT_STREQ(L"x--yz", d.Text());
}

TEST(WString, AppendToASoleOwnerWorksInPlace) {
    VQWString s(L"abcd");  // 16 bytes: room for two more units and the terminator
    // One step only: a block freed by a copy could come back at the same address.
    const wchar_t* before = s.GetData();
    s.Append(L"ef", 2);
    EXPECT_EQ(before, s.GetData()) << "no copy while the block has room";
    EXPECT_STREQ(L"abcdef", s.Text());

    // A source inside the string's own buffer survives the growth.
    s.Append(s.GetData() + 1, 3);
    EXPECT_STREQ(L"abcdefbcd", s.Text());
    s.Append(s);
    EXPECT_STREQ(L"abcdefbcdabcdefbcd", s.Text());
}

TEST(WString, DeepCopySharesNothing) {
    VQWString a(L"worker");
    VQWString b = a.DeepCopy();
    EXPECT_NE(BufferOf(a), BufferOf(b));
    EXPECT_EQ(1, BufferOf(a)->refCount);
    EXPECT_EQ(1, BufferOf(b)->refCount);
    EXPECT_TRUE(a == b);
}

TEST(WString, MidLeftAndTrimEdges) {
    VQWString s(L"abcdef");
    EXPECT_STREQ(L"cdef", s.Mid(2, 100).Text());
    EXPECT_TRUE(s.Mid(6, 1).IsEmpty());
    EXPECT_TRUE(s.Mid(-1, 3).IsEmpty());
    EXPECT_TRUE(s.Mid(1, 0).IsEmpty());
    EXPECT_STREQ(L"ab", s.Left(2).Text());
    EXPECT_STREQ(L"def", s.Mid(3).Text());
    EXPECT_EQ(BufferOf(s), BufferOf(s.Mid(0, 6))) << "the whole range shares";
    EXPECT_NE(BufferOf(s), BufferOf(s.Mid(0, 5)));

    EXPECT_STREQ(L"x", VQWString(L" \tx \t").Trim().Text());
    EXPECT_TRUE(VQWString(L" \t ").Trim().IsEmpty());
    VQWString clean(L"a b");
    EXPECT_EQ(BufferOf(clean), BufferOf(clean.Trim()));
    EXPECT_EQ(2, VQWString(L"\x3000\x3042").Trim().GetLength()) << "only space and tab are blanks";
}

TEST(WString, FindOneOfInsertDelete) {
    VQWString s(L"a$b$c");
    EXPECT_EQ(1, s.FindOneOf(L"$", 0));
    EXPECT_EQ(3, s.FindOneOf(L"$", 2));
    EXPECT_EQ(-1, s.FindOneOf(L"$", 4));
    EXPECT_EQ(-1, s.FindOneOf(L"$", -1));
    EXPECT_EQ(-1, s.FindOneOf(L"", 0));
    EXPECT_EQ(-1, s.FindOneOf(nullptr, 0));

    VQWString pad(L"ab");
    pad.Insert(4, VQWString(L"Z"));
    ASSERT_EQ(5, pad.GetLength());
    EXPECT_EQ(std::wstring(L"ab\0\0Z", 5), W(pad));
    pad.Insert(-1, VQWString(L"no"));
    EXPECT_EQ(5, pad.GetLength());

    VQWString sp(L"ab");
    sp.InsertSpaces(1, 2);
    EXPECT_STREQ(L"a  b", sp.Text());

    VQWString del(L"abcdef");
    del.Delete(4, 100);
    EXPECT_STREQ(L"abcd", del.Text());
    del.Delete(4, 1);
    del.Delete(-1, 1);
    del.Delete(0, 0);
    EXPECT_STREQ(L"abcd", del.Text());

    VQWString self(L"ab");
    self.Insert(1, self);
    EXPECT_STREQ(L"aabb", self.Text());
}

TEST(WString, ReplaceLineBreaks) {
    VQWString s(L"a\r\nb\r\n");
    VQWString copy(s);
    s.ReplaceLineBreaks(VQWString(L" "));
    EXPECT_STREQ(L"a  b  ", s.Text());
    EXPECT_STREQ(L"a\r\nb\r\n", copy.Text());

    VQWString wide(L"x\ny");
    wide.ReplaceLineBreaks(VQWString(L"<br>"));
    EXPECT_STREQ(L"x<br>y", wide.Text());

    VQWString unchanged(L"x\ny");
    unchanged.ReplaceLineBreaks(VQWString());
    EXPECT_STREQ(L"x\ny", unchanged.Text());

    // Scanning goes on after a replacement: its own line breaks stay.
    VQWString again(L"\rx\ny\n");
    again.ReplaceLineBreaks(VQWString(L"\r\n"));
    EXPECT_STREQ(L"\r\nx\r\ny\r\n", again.Text());
}

TEST(WString, SplitKeepsInnerEmptyPiecesButNoTrailingOne) {
    VQWStringArray out;
    EXPECT_EQ(3, VQWString(L"a;;b;").Split(out));
    EXPECT_STREQ(L"a", out[0].Text());
    EXPECT_TRUE(out[1].IsEmpty());
    EXPECT_STREQ(L"b", out[2].Text());
    EXPECT_EQ(1, VQWString(L";").Split(out));
    EXPECT_TRUE(out[0].IsEmpty());
    EXPECT_EQ(0, VQWString(L"").Split(out));
    EXPECT_EQ(0, VQWString().Split(out));
    EXPECT_EQ(2, VQWString(L";txt").Split(out));
    EXPECT_STREQ(L"txt", out[1].Text());
}

TEST(WString, CompareIsLengthFirstThenBytes) {
    EXPECT_EQ(-1, VQWString(L"b").Compare(VQWString(L"aa")));
    EXPECT_EQ(1, VQWString(L"aa").Compare(VQWString(L"b")));
    EXPECT_EQ(0, VQWString(L"ab").Compare(VQWString(L"ab")));
    EXPECT_EQ(-1, VQWString(L"aa").Compare(VQWString(L"ab")));
    // Memory order: 0x0100 is stored 00 01, 0x0001 is stored 01 00.
    const wchar_t a[] = {0x0100}, b[] = {0x0001};
    EXPECT_EQ(-1, VQWString::Compare(a, 1, b, 1));
    EXPECT_EQ(0, VQWString::Compare(nullptr, 0, L"", 0));
    EXPECT_EQ(0, VQWString::Compare(nullptr, 0, nullptr, 5));
    EXPECT_EQ(-1, VQWString::Compare(nullptr, 0, L"x", 1));
    EXPECT_EQ(1, VQWString::Compare(L"x", 1, nullptr, 0));
    EXPECT_EQ(0, VQWString::Compare(L"", 0, nullptr, 0));
}

TEST(WString, CompareNoCaseFoldsAsciiOnly) {
    EXPECT_EQ(0, VQWString::CompareNoCase(L"ABC", 3, L"abc", 3, 3));
    EXPECT_NE(0, VQWString::CompareNoCase(L"\x00C4", 1, L"\x00E4", 1, 1));
    EXPECT_NE(0, VQWString::CompareNoCase(L"@", 1, L"`", 1, 1)) << "0x40 and 0x60 are not letters";
    EXPECT_EQ(0, VQWString::CompareNoCase(L"EXTension", 9, L"ext", 3, 3));
    EXPECT_NE(0, VQWString::CompareNoCase(L"ex", 2, L"ext", 3, 3));
    EXPECT_EQ(-1, VQWString::CompareNoCase(L"ex", 2, L"ext", 3, 3));
    EXPECT_EQ(-1, VQWString::CompareNoCase(L"a", 1, L"b", 1, 1));
    EXPECT_EQ(1, VQWString::CompareNoCase(L"a", 1, L"B", 1, 1)) << "unequal units order unfolded";
}

TEST(WString, CopyToCutsAt519Units) {
    std::wstring long600(600, L'x');
    VQWString s(long600.c_str());
    wchar_t dst[520];
    std::wmemset(dst, L'?', 520);
    s.CopyTo(dst);
    EXPECT_EQ(519u, std::wcslen(dst));
    VQWString().CopyTo(dst);
    EXPECT_EQ(0u, std::wcslen(dst));
}

TEST(WString, FormatReadsPercentSAsWideText) {
    VQWString s;
    VQWString r = s.Format(L"文法が間違ってます。\n%s >> %s", L"copy 日本語", L"$x");
    EXPECT_STREQ(L"文法が間違ってます。\ncopy 日本語 >> $x", s.Text());
    EXPECT_TRUE(r == s);
    VQWString tmp;
    tmp.Format(L"%s.tmp.%08x", L"C:\\a\\設定.ini", 0xABCu);
    EXPECT_STREQ(L"C:\\a\\設定.ini.tmp.00000abc", tmp.Text());
}

TEST(WString, FormatRetriesPastTheFirstBlock) {
    std::wstring big(5000, L'z');
    VQWString s;
    s.Format(L"[%s]", big.c_str());
    ASSERT_EQ(5002, s.GetLength());
    EXPECT_EQ(L'[', s.GetAt(0));
    EXPECT_EQ(L']', s.GetAt(5001));

    // The block is 260 units for a short format, 256 more for every time the
    // text (with room for its terminator) does not fit.
    for (int n : {257, 258, 513, 514, 200000}) {
        VQWString t;
        t.Format(L"[%s]", std::wstring(n, L'y').c_str());
        ASSERT_EQ(n + 2, t.GetLength());
        EXPECT_EQ(L']', t.GetAt(n + 1));
        int units = 260;
        while (units - 1 < n + 2) units += 256;
        EXPECT_EQ(units * 2, BufferOf(t)->capacity) << n;
    }
}

TEST(WString, FromAnsiUsesCodePage932) {
    // 日本 in Shift-JIS.
    VQWString s = VQWString::FromAnsi("\x93\xfa\x96\x7b", -1);
    EXPECT_STREQ(L"日本", s.Text());
    EXPECT_TRUE(VQWString::FromAnsi("", -1).IsEmpty());
    EXPECT_TRUE(VQWString::FromAnsi(nullptr, 3).IsEmpty());
    EXPECT_STREQ(L"ab", VQWString::FromAnsi("abc", 2).Text());
    VQString narrow("\x83\x65\x83\x58\x83\x67");  // テスト
    EXPECT_STREQ(L"テスト", VQWString(narrow).Text());
}

TEST(NarrowString, ViewsShareTheBuffer) {
    VQString s("hello world");
    VQString view;
    view.AssignSub(s, 6, -1);
    EXPECT_EQ(5, view.GetLength());
    EXPECT_EQ(s.GetBuffer(), view.GetBuffer());
    EXPECT_EQ(2, s.GetBuffer()->refCount);
    EXPECT_TRUE(view.Equals("world"));

    VQString clipped;
    clipped.AssignSub(s, -3, 100);
    EXPECT_TRUE(clipped.Equals("hello world"));
    VQString past;
    past.AssignSub(s, 50, 2);
    EXPECT_EQ(0, past.GetLength());

    VQString first;
    first.AssignSub(s, 0, 5);
    EXPECT_STREQ("hello", first.Text()) << "CStr copies a view not followed by a zero byte";
    EXPECT_NE(s.GetBuffer(), first.GetBuffer());
    EXPECT_STREQ("hello world", s.Text());
}

TEST(NarrowString, SetLengthCopiesASharedBufferAndKeepsTheView) {
    VQString s("abcdef");
    VQString view;
    view.AssignSub(s, 2, 3);  // "cde"
    view.SetLength(5);
    EXPECT_NE(s.GetBuffer(), view.GetBuffer());
    EXPECT_EQ(0, std::memcmp(view.GetData(), "cde", 3));
    EXPECT_TRUE(s.Equals("abcdef"));

    VQString shrink("abcdef");
    VQString other(shrink);
    shrink.SetLength(2, 0, true);
    EXPECT_EQ(shrink.GetBuffer(), other.GetBuffer()) << "a shared buffer is only cut in the view";
    EXPECT_EQ(2, shrink.GetLength());

    VQString grow;
    grow.SetLength(100, 4096);
    EXPECT_EQ(4096, grow.GetBuffer()->capacity);
    grow.SetLength(4000, 8192);
    EXPECT_EQ(4096, grow.GetBuffer()->capacity) << "no reallocation while it fits";
}

TEST(NarrowString, AppendToASoleOwnerWorksInPlace) {
    VQString s("abc");  // 16 bytes
    const char* before = s.GetData();
    s.Append("de", 2);
    EXPECT_EQ(before, s.GetData()) << "no copy while the block has room";
    EXPECT_TRUE(s.Equals("abcde"));

    // A source inside the string's own buffer survives the growth.
    s.Append(s.GetData(), 5);
    s.Append(s.GetData() + 1, 9);
    EXPECT_STREQ("abcdeabcdebcdeabcde", s.Text());
    // ... and a move of a view to the start of its buffer.
    VQString whole("abcdef");
    VQString view;
    view.AssignSub(whole, 2, 3);
    whole = VQString();
    view.Append(view.GetData(), 3);
    EXPECT_STREQ("cdecde", view.Text());
}

TEST(NarrowString, AppendConcatDropFirstFormat) {
    VQString s("ab");
    s.Append("cd", 2);
    EXPECT_STREQ("abcd", s.Text());
    VQString t = s + VQString("ef");
    EXPECT_STREQ("abcdef", t.Text());
    EXPECT_STREQ("bcdef", t.DropFirst().Text());
    EXPECT_EQ(0, VQString("x").DropFirst().GetLength());
    EXPECT_STREQ("xxx", VQString('x', 3).Text());
    EXPECT_EQ(0, VQString('x', 0).GetLength());
    EXPECT_STREQ("-42", VQString::FromInt(-42).Text());
    EXPECT_STREQ("-9223372036854775808", VQString::FromInt64(INT64_MIN).Text());
    EXPECT_STREQ("18446744073709551615", VQString::FromUInt64(UINT64_MAX).Text());
    std::string big(3000, 'q');
    VQString f;
    f.Format("<%s>", big.c_str());
    EXPECT_EQ(3002, f.GetLength());
}

// Lengths whose sums pass what one buffer can hold. The long strings only
// claim their length: a real block of 64 bytes carries a length that the
// operations must refuse before they touch the text.
namespace {

VQWString ClaimingWide(int units) {
    VQWString s;
    s.Attach(new char[64], units * 2, 64);
    return s;
}

VQString ClaimingNarrow(int bytes) {
    VQString s;
    s.Attach(new char[64], bytes, 64);
    return s;
}

}  // namespace

TEST(StringLimits, TheCapacityRuleRefusesWhatAnIntCannotHold) {
    EXPECT_EQ(0x7FFFFFF0, VQStringCapacityFor(kVQStringMaxBytes));
    EXPECT_EQ(-1, VQStringCapacityFor(kVQStringMaxBytes + 1));
    EXPECT_EQ(-1, VQStringCapacityFor(INT32_MAX));
    EXPECT_EQ(-1, VQStringCapacityFor(int64_t(1) << 40));
    EXPECT_EQ(nullptr, VQStringBuffer::Create(int64_t(kVQStringMaxBytes) + 1));
    EXPECT_TRUE(VQString('x', INT32_MAX).IsEmpty());
}

TEST(StringLimits, WideSumsPastTheLimitChangeNothing) {
    const VQWString huge = ClaimingWide(kVQWStringMaxLength - 1);
    VQWString s(L"a\nb");  // a sole owner with room: the in-place branch
    const wchar_t* before = s.GetData();
    EXPECT_FALSE(s.Insert(1, huge));
    EXPECT_FALSE(s.Insert(INT32_MAX - 1, VQWString(L"x")));  // the gap alone is too long
    EXPECT_FALSE(s.InsertSpaces(2, INT32_MAX));
    s.Append(huge);
    EXPECT_FALSE(s.ReplaceLineBreaks(huge));
    EXPECT_FALSE(s.SetLength(kVQWStringMaxLength + 1));
    EXPECT_FALSE(s.SetLength(INT32_MAX, true));
    EXPECT_EQ(before, s.GetData());
    EXPECT_EQ(std::wstring(L"a\nb"), W(s));

    VQWString grown = huge;
    grown.Append(L"xyz", 3);
    EXPECT_EQ(kVQWStringMaxLength - 1, grown.GetLength());
    EXPECT_FALSE(grown.InsertSpaces(0, 2));
    EXPECT_EQ(kVQWStringMaxLength - 1, grown.GetLength());
    EXPECT_EQ(BufferOf(huge), BufferOf(grown)) << "a refused change makes no private copy either";
}

TEST(StringLimits, NarrowSumsPastTheLimitChangeNothing) {
    char bytes[8] = "1234567";
    VQString s("abc");
    s.Append(bytes, INT32_MAX - 1);
    EXPECT_TRUE(s.Equals("abc"));
    EXPECT_FALSE(s.SetLength(INT32_MAX));
    EXPECT_TRUE(s.Equals("abc"));

    VQString huge = ClaimingNarrow(kVQStringMaxBytes - 1);
    EXPECT_TRUE((huge + huge).IsEmpty());
    EXPECT_TRUE((s + huge).IsEmpty());
    huge.Append(bytes, 7);
    EXPECT_EQ(kVQStringMaxBytes - 1, huge.GetLength());
}

TEST(Parsers, LimitsAndStatusCodes) {
    int st = -1;
    EXPECT_EQ(0, ParseInt32("2147483648", 0, -1, &st));
    EXPECT_EQ(VQParseRange, st);
    EXPECT_EQ(INT32_MIN, ParseInt32("-2147483648", 0, -1, &st));
    EXPECT_EQ(VQParseOk, st);
    EXPECT_EQ(2147483647, ParseInt32("+2147483647", 0, -1, &st));
    EXPECT_EQ(0, ParseInt32("12345678901", 0, -1, &st));
    EXPECT_EQ(VQParseTooLong, st);
    EXPECT_EQ(0, ParseInt32("12a", 0, -1, &st));
    EXPECT_EQ(VQParseBadDigit, st);
    EXPECT_EQ(0, ParseInt32("", 0, -1, &st));
    EXPECT_EQ(VQParseEmpty, st);
    EXPECT_EQ(0, ParseInt32(nullptr, 0, -1, &st));
    EXPECT_EQ(VQParseEmpty, st);
    EXPECT_EQ(0, ParseInt32("-", 0, -1, &st));
    EXPECT_EQ(VQParseOk, st) << "a lone sign is zero digits";
    EXPECT_EQ(23, ParseInt32("x123y", 2, 2, &st));
    EXPECT_EQ(VQParseOk, st);

    EXPECT_EQ(0u, ParseUInt32("4294967296", 0, -1, &st));
    EXPECT_EQ(VQParseRange, st);
    EXPECT_EQ(4294967295u, ParseUInt32("4294967295", 0, -1, &st));
    EXPECT_EQ(4294967295u, ParseUInt32("-1", 0, -1, &st));
    EXPECT_EQ(VQParseOk, st);

    EXPECT_EQ(INT64_MIN, ParseInt64("-9223372036854775808", 0, -1, &st));
    EXPECT_EQ(VQParseOk, st);
    EXPECT_EQ(0, ParseInt64("9223372036854775808", 0, -1, &st));
    EXPECT_EQ(VQParseRange, st);
    EXPECT_EQ(0, ParseInt64("12345678901234567890", 0, -1, &st));
    EXPECT_EQ(VQParseTooLong, st);

    EXPECT_EQ(UINT64_MAX, ParseUInt64("18446744073709551615", 0, -1, &st));
    EXPECT_EQ(VQParseOk, st);
    EXPECT_EQ(0u, ParseUInt64("18446744073709551616", 0, -1, &st));
    EXPECT_EQ(VQParseRange, st);
    EXPECT_EQ(UINT64_MAX, ParseUInt64("-1", 0, -1, &st));

    EXPECT_DOUBLE_EQ(12.5, ParseDouble("12.5", 0, -1, &st));
    EXPECT_EQ(VQParseOk, st);
    EXPECT_EQ(0, ParseDouble("12.5x", 0, -1, &st));
    EXPECT_EQ(VQParseTooLong, st);
    EXPECT_DOUBLE_EQ(1.5, ParseDouble("1.5e9", 0, 3, &st)) << "count stops before the exponent";
    EXPECT_EQ(0, ParseDouble("1e999", 0, -1, &st));
    EXPECT_EQ(VQParseTooLong, st);
}

TEST(ShiftJis, ByteKinds) {
    const char* text = "a\x93\xfa" "b\x5c";  // a, 日, b, backslash
    EXPECT_EQ(0, ShiftJisByteKind(text, 0, 0));
    EXPECT_EQ(1, ShiftJisByteKind(text, 0, 1));
    EXPECT_EQ(-1, ShiftJisByteKind(text, 0, 2));
    EXPECT_EQ(0, ShiftJisByteKind(text, 0, 3));
    EXPECT_EQ(0, ShiftJisByteKind(nullptr, 0, 3));
    // 表 is 0x95 0x5C: its second byte is not a backslash.
    const char* hyo = "\x95\x5c";
    EXPECT_EQ(-1, ShiftJisByteKind(hyo, 0, 1));
}
