#include "base/vm_values.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/support/vm_string_support.h"

TEST(VMStringSearch, BackslashInsideADoubleByteCharacterIsNoMatch) {
    VMString only("\x83\x5cx");  // its only 0x5C is a second byte
    EXPECT_EQ(-1, only.Find('\\'));
    EXPECT_EQ(-1, only.ReverseFind('\\'));
    EXPECT_EQ(-1, only.FindOneOf("\\/"));
    EXPECT_FALSE(only.IsCharAt(1, '\\'));
    EXPECT_EQ(1, only.ShiftJisByteKind(0));
    EXPECT_EQ(-1, only.ShiftJisByteKind(1));
    EXPECT_EQ(0, only.ShiftJisByteKind(2));

    VMString path("dir\\\x83\x5c\\name");
    EXPECT_EQ(3, path.Find('\\'));
    EXPECT_EQ(6, path.Find('\\', 4)) << "a start inside a character does not split it";
    EXPECT_EQ(6, path.ReverseFind('\\'));
    EXPECT_EQ(3, path.ReverseFind('\\', 5));
    EXPECT_TRUE(path.IsCharAt(6, '\\'));
    VMString lone("a\x82");
    EXPECT_EQ(0, lone.ShiftJisByteKind(1)) << "a lead byte at the end stands alone";
}

TEST(VMStringSearch, FindNotCountsDoubleByteCharactersAsMismatches) {
    VMString s("  \x82\xa0x");
    EXPECT_EQ(2, s.FindNot(' '));
    EXPECT_EQ(2, s.FindNotOneOf(" \x82\xa0"));
    VMString t("--x-");
    EXPECT_EQ(2, t.FindNot('-'));
    EXPECT_EQ(-1, t.FindNot('-', 3));
    EXPECT_EQ(2, t.FindOneOf("xyz", -5));
    EXPECT_EQ(-1, t.FindOneOf(""));
    EXPECT_EQ(3, t.ReverseFindOneOf("-"));
    EXPECT_EQ(1, t.ReverseFindOneOf("-", 2));
    VMString none;
    EXPECT_EQ(-1, none.Find('a'));
    EXPECT_EQ(-1, none.ReverseFind('a'));
}

TEST(VMStringSearch, ComparisonsPutLengthFirst) {
    VMString b("b");
    EXPECT_EQ(-1, b.Compare("aa"));
    EXPECT_EQ(1, b.Compare("a"));
    EXPECT_EQ(0, b.Compare("bx", 1));
    VMString high("\xe0");
    EXPECT_EQ(1, high.Compare("a")) << "bytes compare unsigned";
    VMString none;
    VMString empty("");
    EXPECT_EQ(0, none.Compare(&empty));
    EXPECT_EQ(-1, none.Compare("x"));
    EXPECT_EQ(1, b.Compare(static_cast<const VMString*>(nullptr)));

    VMString upper("ABC");
    EXPECT_EQ(0, upper.CompareNoCase("abc"));
    EXPECT_EQ(-1, upper.CompareNoCase("abcd"));
    EXPECT_NE(0, upper.CompareNoCase("ab["));
    VMString apple("apple");
    EXPECT_EQ(-1, apple.CompareNoCaseLex("Banana")) << "dictionary order";
    EXPECT_EQ(1, apple.CompareNoCase("Bana")) << "length first";
    EXPECT_EQ(1, apple.CompareNoCase("Bpple")) << "unequal bytes order unfolded";
    EXPECT_EQ(-1, apple.CompareNoCaseLex("APPLES"));
    EXPECT_EQ(0, apple.CompareNoCaseLex("APPLE"));
}

TEST(VMStringSearch, PrefixComparisons) {
    VMString s("key=Value");
    EXPECT_EQ(0, s.CompareN("key", 3));
    EXPECT_EQ(0, s.CompareN("Value", 5, 4));
    EXPECT_EQ(0, s.CompareNNoCase("VALUE", 5, 4));
    EXPECT_EQ(-1, s.CompareN("Values", 6, 4)) << "this string ends first";
    EXPECT_EQ(1, s.CompareN("kex", 3));

    EXPECT_TRUE(s.StartsWith("key"));
    EXPECT_FALSE(s.StartsWith("KEY"));
    EXPECT_TRUE(s.StartsWithNoCase("KEY="));
    EXPECT_TRUE(s.StartsWith("keyboard", 3));
    EXPECT_TRUE(s.EndsWith("Value"));
    EXPECT_FALSE(s.EndsWith("value"));
    EXPECT_TRUE(s.EndsWithNoCase("=VALUE"));
    EXPECT_FALSE(s.EndsWith("a longer text than it"));
    EXPECT_TRUE(s.EndsWith(""));
}

TEST(VMStringSearch, Wildcards) {
    VMString s("xxabcxAbc");
    EXPECT_EQ(2, s.FindWildcard("a?c"));
    EXPECT_EQ(5, s.FindWildcard("a?c", true));
    EXPECT_EQ(-1, s.FindWildcard("a?c", false, 3));
    EXPECT_EQ(6, s.FindWildcardNoCase("a?c", false, 3));
    EXPECT_EQ(9, s.FindWildcardNoCase("a?c", true, 3));
    EXPECT_EQ(7, s.FindWildcard("b??", 2, false, 4)) << "only the first two bytes of the pattern";
    VMString pattern("??c");
    EXPECT_EQ(2, s.FindWildcard(&pattern));
    EXPECT_EQ(-1, s.FindWildcard("abcd"));
    EXPECT_EQ(-1, s.FindWildcard("?????????x"));
}

TEST(VMStringSubstrings, CopiesViewsAndInPlace) {
    VMString s("abcdef");
    VMPtr mid(s.Mid(2, 100));
    EXPECT_EQ("cdef", Bytes(mid));
    EXPECT_NE(s.GetBuffer(), mid->GetBuffer());
    VMPtr left(s.Left(2));
    EXPECT_EQ("ab", Bytes(left));
    VMPtr midView(s.MidView(2));
    EXPECT_EQ("cdef", Bytes(midView));
    EXPECT_EQ(s.GetBuffer(), midView->GetBuffer());
    VMPtr outside(s.Mid(6, 1));
    EXPECT_TRUE(outside->IsNull());
    VMPtr negative(s.MidView(-1, 3));
    EXPECT_TRUE(negative->IsNull());

    VMString t("abcdef");
    t.MidInPlace(1, 3);
    EXPECT_EQ("bcd", Bytes(&t));
    t.LeftInPlace(2);
    EXPECT_EQ("bc", Bytes(&t));
    t.MidInPlace(5);
    EXPECT_TRUE(t.IsNull()) << "an out-of-range Mid clears the string";
}

TEST(VMStringSubstrings, TrimSets) {
    VMString s(" \nx\t");
    VMPtr all(s.Trim());
    EXPECT_EQ("x", Bytes(all));
    VMString lf("\nx");
    VMPtr blanks(lf.Trim(nullptr, nullptr));
    EXPECT_EQ("\nx", Bytes(blanks)) << "the default set is space and TAB";
    EXPECT_EQ(lf.GetBuffer(), blanks->GetBuffer()) << "nothing stripped: shared";

    int removed = 5;
    VMString padded("  ab \t");
    VMPtr view(padded.TrimView(nullptr, &removed));
    EXPECT_EQ("ab", Bytes(view));
    EXPECT_EQ(7, removed);
    EXPECT_EQ(padded.GetBuffer(), view->GetBuffer());
    padded.TrimInPlace("b \t", nullptr);
    EXPECT_EQ("a", Bytes(&padded));

    VMString blank(" \t\r\n");
    blank.TrimInPlace();
    EXPECT_EQ(0, blank.GetLength());

    VMString kana("\\\x83\x5c\\");
    VMPtr trimmed(kana.Trim("\\", nullptr));
    EXPECT_EQ("\x83\x5c", Bytes(trimmed)) << "a second byte is never stripped";
}

TEST(VMStringSubstrings, SplitIntoSharedViews) {
    VMString s("a,,b\x83\x5c,");
    VMStringArray parts;
    EXPECT_EQ(4, s.Split(',', parts));
    ASSERT_EQ(4, parts.GetCount());
    EXPECT_EQ("a", Bytes(parts.GetAt(0)));
    EXPECT_EQ("", Bytes(parts.GetAt(1)));
    EXPECT_EQ("b\x83\x5c", Bytes(parts.GetAt(2)));
    EXPECT_EQ("", Bytes(parts.GetAt(3)));
    EXPECT_EQ(s.GetBuffer(), parts.GetAt(2)->GetBuffer());
    EXPECT_EQ(5, s.GetBuffer()->refCount);

    VMString path("x\\\x83\x5c\\y");
    EXPECT_EQ(3, path.Split('\\', parts)) << "appends; the 0x5C of a character is no separator";
    EXPECT_EQ(7, parts.GetCount());
    EXPECT_EQ("\x83\x5c", Bytes(parts.GetAt(5)));
    parts.RemoveAll();
    EXPECT_EQ(1, s.GetBuffer()->refCount);
}

TEST(VMStringSubstrings, ExtensionAndNamePart) {
    VMString file("dir.d\\name.tar.gz");
    VMPtr ext(file.GetExtension());
    EXPECT_EQ("gz", Bytes(ext));
    VMString plain("README");
    VMPtr noExt(plain.GetExtension());
    EXPECT_EQ(0, noExt->GetLength());

    VMPtr title(file.GetNamePart(false));
    EXPECT_EQ("name.tar", Bytes(title));
    VMString bare("name.txt");
    VMPtr bareTitle(bare.GetNamePart(false));
    EXPECT_EQ("name", Bytes(bareTitle));
    VMString noDot("dir\\name");
    VMPtr afterSeparator(noDot.GetNamePart(false));
    EXPECT_EQ("name", Bytes(afterSeparator));
    VMString slashes("a.b/c.d");
    VMPtr slashTitle(slashes.GetNamePart(true));
    EXPECT_EQ("c", Bytes(slashTitle));
    VMPtr backslashTitle(slashes.GetNamePart(false));
    EXPECT_EQ("a.b/c", Bytes(backslashTitle));
    VMPtr neither(plain.GetNamePart(false));
    EXPECT_EQ(0, neither->GetLength());
}

TEST(VMStringNumbers, IntegerRangesAndStatus) {
    int status = -1;
    VMString big("256");
    EXPECT_EQ(7, big.ToUInt8(7, &status));
    EXPECT_EQ(VQParseRange, status);
    EXPECT_EQ(255, VMString("255").ToUInt8(7, &status));
    EXPECT_EQ(VQParseOk, status);
    EXPECT_EQ(-128, VMString("-128").ToInt8(0, &status));
    EXPECT_EQ(0, VMString("-129").ToInt8(0, &status));
    EXPECT_EQ(VQParseRange, status);
    EXPECT_EQ(5, VMString("-1").ToUInt16(5, &status)) << "-1 wraps to 4294967295 first";
    EXPECT_EQ(VQParseRange, status);
    EXPECT_EQ(4294967295u, VMString("-1").ToUInt32(0, &status));
    EXPECT_EQ(INT64_MIN, VMString("-9223372036854775808").ToInt64(0, &status));
    EXPECT_EQ(UINT64_MAX, VMString("18446744073709551615").ToUInt64(0, &status));
    EXPECT_EQ(VQParseOk, status);
    EXPECT_EQ(3, VMString("12a").ToInt32(3, &status));
    EXPECT_EQ(VQParseBadDigit, status);
    EXPECT_EQ(3, VMString("12345678901").ToInt32(3, &status));
    EXPECT_EQ(VQParseTooLong, status);
    VMString none;
    EXPECT_EQ(9, none.ToInt32(9, &status));
    EXPECT_EQ(VQParseEmpty, status);
    EXPECT_EQ(0, VMString("x").ToInt32());
}

TEST(VMStringNumbers, FractionsAreCutTowardZero) {
    int status = -1;
    VMString s("12.9");
    EXPECT_EQ(12, s.ToInt32(0, &status, true));
    EXPECT_EQ(VQParseOk, status);
    EXPECT_EQ(0, s.ToInt32(0, &status, false));
    EXPECT_EQ(VQParseBadDigit, status);
    EXPECT_EQ(-12, VMString("-12.9").ToInt64(0, &status, true));
    EXPECT_EQ(1000, VMString("1e3").ToInt16(0, &status, true));
    EXPECT_EQ(4, VMString("3e9").ToInt32(4, &status, true));
    EXPECT_EQ(VQParseRange, status);
    EXPECT_EQ(3000000000u, VMString("3e9").ToUInt32(0, &status, true));
    EXPECT_EQ(8, VMString("-5.5").ToUInt8(8, &status, true));
    EXPECT_EQ(VQParseRange, status);
    EXPECT_EQ(6, VMString("abc").ToInt32(6, &status, true));
    EXPECT_EQ(VQParseBadDigit, status) << "the integer parser's reason stands";

    // The view is read without its neighbours: "12.5" inside "12.5x".
    VMString wider("12.5x");
    VMPtr number(wider.LeftView(4));
    EXPECT_EQ(12, number->ToInt32(0, &status, true));
    EXPECT_DOUBLE_EQ(12.5, number->ToDouble(0, &status));
    EXPECT_EQ(VQParseOk, status);
    EXPECT_FLOAT_EQ(2.5f, VMString("2.5").ToFloat(0, &status));
    EXPECT_FLOAT_EQ(1.0f, VMString("1e300").ToFloat(1.0f, &status));
    EXPECT_EQ(VQParseRange, status);
    EXPECT_DOUBLE_EQ(-1.0, VMString("1.5.2").ToDouble(-1.0, &status));
    EXPECT_EQ(VQParseTooLong, status);
}

TEST(VMStringNumbers, HashIsCrc32WithAsciiFolding) {
    EXPECT_EQ(0xCBF43926u, VMString("123456789").GetHash());
    // The plain CRC-32 of this text is 0x414FA339; its 'T' goes in as 't'.
    EXPECT_EQ(0xCE0C5114u, VMString("The quick brown fox jumps over the lazy dog").GetHash());
    EXPECT_EQ(0x352441C2u, VMString("abc").GetHash());
    EXPECT_EQ(0x352441C2u, VMString("ABC").GetHash());
    EXPECT_EQ(0x22598B08u, VMString("ReadMe.TXT").GetHash());
    // The second byte 0x41 ('A') of a double-byte character is not folded.
    EXPECT_EQ(0x49B79930u, VMString("\x82\x41").GetHash());
    EXPECT_EQ(0x30893F5Du, VMString("\x83\x5c" "A").GetHash());
    EXPECT_EQ(0u, VMString().GetHash());
    EXPECT_EQ(0u, VMString("").GetHash());
}

TEST(VMStringNumbers, ParseIntAfter) {
    VMString s("id=-42");
    EXPECT_EQ(-42, s.ParseIntAfter("id="));
    EXPECT_EQ(0, s.ParseIntAfter("ID="));
    EXPECT_EQ(0, s.ParseIntAfter("id=-42")) << "nothing after the prefix";
    EXPECT_EQ(0, VMString("id=4x").ParseIntAfter("id="));
    EXPECT_EQ(17, VMString("17").ParseIntAfter(""));
}
