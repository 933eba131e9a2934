#include "engine/template.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring W(const VQWString& s) { return std::wstring(s.Text(), s.GetLength()); }

const wchar_t kPhoto[] = L"C:\\data\\photos\\img01.jpg";

struct Expansion {
    bool ok;
    std::wstring text;
    std::wstring error;
};

Expansion Expand(const wchar_t* templ, const wchar_t* target = kPhoto, const wchar_t* pre = L"") {
    VQWString text(templ);
    VQWString error(L"earlier message");
    bool ok = ExpandTemplate(text, VQWString(target), VQWString(pre), error);
    return {ok, W(text), W(error)};
}

std::wstring Value(const wchar_t* templ, const wchar_t* target = kPhoto, const wchar_t* pre = L"") {
    Expansion e = Expand(templ, target, pre);
    EXPECT_TRUE(e.ok) << "template " << std::string(templ, templ + wcslen(templ)).c_str();
    EXPECT_EQ(L"earlier message", e.error) << "success must leave errorText alone";
    return e.text;
}

std::wstring Syntax(const std::wstring& before, const std::wstring& after) {
    return L"文法が間違ってます。\n" + before + L" >> " + after;
}

std::wstring LevelError(const std::wstring& before, const std::wstring& after) {
    return L"level指定で存在しないパスが指定されています。\n" + before + L" >> " + after;
}

}  // namespace

TEST(Template, EveryVariableOnTheWorkedExamplePath) {
    EXPECT_EQ(L"jpg", Value(L"$ext"));
    EXPECT_EQ(L"\\data\\photos\\", Value(L"$dir"));
    EXPECT_EQ(L"", Value(L"$pre"));
    EXPECT_EQ(L"img01.jpg", Value(L"$name"));
    EXPECT_EQ(L"C:\\data\\photos\\", Value(L"$path"));
    EXPECT_EQ(L"img01", Value(L"$title"));
    EXPECT_EQ(L"C:", Value(L"$drive"));
    EXPECT_EQ(L"data\\photos\\", Value(L"$level0"));
    EXPECT_EQ(L"photos\\", Value(L"$level1"));
    EXPECT_EQ(L"", Value(L"$level2"));
    EXPECT_EQ(L"data\\", Value(L"$level0/1"));
    EXPECT_EQ(L"data\\photos\\", Value(L"$level0/2"));
    EXPECT_EQ(L"photos\\", Value(L"$level1/2"));
    EXPECT_EQ(L"^ data^ photos^ ", Value(L"$hashdir"));
    EXPECT_EQ(L"C:\\data\\photos\\img01.jpg", Value(L"$fullname"));
    EXPECT_EQ(L"C^;^ data^ photos^ img01.jpg", Value(L"$hashname"));
    EXPECT_EQ(L"C^;^ data^ photos^ ", Value(L"$hashpath"));
    EXPECT_EQ(L"C:\\data\\photos\\img01", Value(L"$fulltitle"));
    EXPECT_EQ(L"C^;^ data^ photos^ img01", Value(L"$hashtitle"));
    EXPECT_EQ(L"photos^ ", Value(L"$hashlevel1"));
    EXPECT_EQ(L"data^ ", Value(L"$hashlevel0/1"));
    EXPECT_EQ(L"$", Value(L"$$"));
    EXPECT_EQ(L"flat text", Value(L"$pre", kPhoto, L"flat text"));
}

TEST(Template, WorkedExamples) {
    EXPECT_EQ(L"copy C:\\data\\photos\\img01.jpg D:\\backup\\data\\photos\\img01.jpg",
              Value(L"copy $fullname D:\\backup\\$level0$title.$EXT"));
    EXPECT_EQ(L"echo $name costs $5", Value(L"echo $$name costs $$5"));
}

TEST(Template, NamesMatchTheirLettersOnlyAndIgnoreAsciiCase) {
    EXPECT_EQ(L"jpgension", Value(L"$extension"));
    EXPECT_EQ(L"img01.jpgs", Value(L"$names"));
    EXPECT_EQ(L"img012", Value(L"$Title2"));
    EXPECT_EQ(L"C:\\DATA", Value(L"$DRIVE\\DATA"));
    EXPECT_EQ(L"C^;^ data^ photos^ img01", Value(L"$HashTitle"));
    EXPECT_EQ(L"no markers at all", Value(L"no markers at all"));
    EXPECT_EQ(L"", Value(L""));
}

TEST(Template, InsertedValuesAreNeverScannedAgain) {
    EXPECT_EQ(L"$ext", Value(L"$$ext"));
    EXPECT_EQ(L"a$ext.txt", Value(L"$name", L"C:\\x\\a$ext.txt"));
    EXPECT_EQ(L"[$title] img01", Value(L"[$pre] $title", kPhoto, L"$title"));
    EXPECT_EQ(L"$$", Value(L"$$$$"));
}

TEST(Template, LevelKeepsWhatFollowsItsArgument) {
    EXPECT_EQ(L"photos\\/", Value(L"$level1/"));
    EXPECT_EQ(L"photos\\9", Value(L"$level19"));
    EXPECT_EQ(L"photos^ /", Value(L"$hashlevel1/"));
    EXPECT_EQ(L"photos\\-/", Value(L"$level1-/"));
    // With a unit after the "/", that unit must be the second digit.
    Expansion e = Expand(L"$level1/ tail");
    EXPECT_FALSE(e.ok);
    EXPECT_EQ(Syntax(L"", L"$level1/ tail"), e.error);
}

TEST(Template, SyntaxErrorsNameBothHalves) {
    Expansion e = Expand(L"a $title b $");
    EXPECT_FALSE(e.ok);
    EXPECT_EQ(Syntax(L"a img01 b ", L"$"), e.error);
    EXPECT_EQ(L"a img01 b $", e.text);

    e = Expand(L"copy $name $unknown $ext");
    EXPECT_FALSE(e.ok);
    EXPECT_EQ(Syntax(L"copy img01.jpg ", L"$unknown $ext"), e.error);
    EXPECT_EQ(L"copy img01.jpg $unknown $ext", e.text);

    for (const wchar_t* bad : {L"$level2/2", L"$level3/1", L"$level1/x", L"$levelx", L"$level", L"$hashlevel",
                               L"$hashlevelx", L"$hashlevel3/3", L"$LEVEL", L"$hash"}) {
        e = Expand(bad);
        EXPECT_FALSE(e.ok) << std::string(bad, bad + wcslen(bad)).c_str();
        EXPECT_EQ(Syntax(L"", bad), e.error);
        EXPECT_EQ(bad, e.text);
    }
}

TEST(Template, LevelErrorsWhenTheDirectoryIsTooShallow) {
    Expansion e = Expand(L"x $title $level3 $ext");
    EXPECT_FALSE(e.ok);
    EXPECT_EQ(LevelError(L"x img01 ", L"$level3 $ext"), e.error);
    EXPECT_EQ(L"x img01 $level3 $ext", e.text);

    e = Expand(L"$level0/3");
    EXPECT_FALSE(e.ok);
    EXPECT_EQ(LevelError(L"", L"$level0/3"), e.error);

    e = Expand(L"$hashlevel1", L"img.jpg");
    EXPECT_FALSE(e.ok);
    EXPECT_EQ(LevelError(L"", L"$hashlevel1"), e.error);
}

TEST(Template, DollarAtTheEndOfAValueDoesNotJoinTheTextAfterIt) {
    EXPECT_EQ(L"a$$ext", Value(L"$pre$$ext", kPhoto, L"a$"));
    EXPECT_EQ(L"a$jpg", Value(L"$pre$ext", kPhoto, L"a$"));
}
