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

// Expands a template that must fail, and checks the message and the text left behind.
void ExpectFailure(const wchar_t* templ, const std::wstring& message, const std::wstring& left,
                   const wchar_t* target = kPhoto) {
    Expansion e = Expand(templ, target);
    EXPECT_FALSE(e.ok) << std::string(templ, templ + wcslen(templ)).c_str();
    EXPECT_EQ(message, e.error);
    EXPECT_EQ(left, e.text);
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
    EXPECT_EQ(L"img01", Value(L"$stem"));
}

TEST(Template, StemCutsAtTheLastDotWhereTitleCutsAtTheFirst) {
    const wchar_t* trip = L"C:\\写真\\旅行.v1.jpg";
    EXPECT_EQ(L"旅行.v1|旅行|jpg", Value(L"$stem|$title|$ext", trip));
    EXPECT_EQ(L"旅行.v1.JPG", Value(L"$STEM.JPG", trip));
    EXPECT_EQ(L"a.bs", Value(L"$Stems", L"a.b.c"));
    EXPECT_EQ(L"[]", Value(L"[$stem]", L"C:\\cfg\\.profile"));
    EXPECT_EQ(L"readme", Value(L"$stem", L"C:\\ver.2\\readme"));
    // "$ste" is no name.
    ExpectFailure(L"x $ste", Syntax(L"x ", L"$ste"), L"x $ste");
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
    ExpectFailure(L"$level1/ tail", Syntax(L"", L"$level1/ tail"), L"$level1/ tail");
}

TEST(Template, SyntaxErrorsNameBothHalves) {
    ExpectFailure(L"a $title b $", Syntax(L"a img01 b ", L"$"), L"a img01 b $");
    ExpectFailure(L"copy $name $unknown $ext", Syntax(L"copy img01.jpg ", L"$unknown $ext"),
                  L"copy img01.jpg $unknown $ext");
    for (const wchar_t* bad : {L"$level2/2", L"$level3/1", L"$level1/x", L"$levelx", L"$level", L"$hashlevel",
                               L"$hashlevelx", L"$hashlevel3/3", L"$LEVEL", L"$hash"}) {
        ExpectFailure(bad, Syntax(L"", bad), bad);
    }
}

TEST(Template, LevelErrorsWhenTheDirectoryIsTooShallow) {
    ExpectFailure(L"x $title $level3 $ext", LevelError(L"x img01 ", L"$level3 $ext"), L"x img01 $level3 $ext");
    ExpectFailure(L"$level0/3", LevelError(L"", L"$level0/3"), L"$level0/3");
    ExpectFailure(L"$hashlevel1", LevelError(L"", L"$hashlevel1"), L"$hashlevel1", L"img.jpg");
}

TEST(Template, DollarAtTheEndOfAValueDoesNotJoinTheTextAfterIt) {
    EXPECT_EQ(L"a$$ext", Value(L"$pre$$ext", kPhoto, L"a$"));
    EXPECT_EQ(L"a$jpg", Value(L"$pre$ext", kPhoto, L"a$"));
}

TEST(Template, ALimitStopsAnExpansionBeforeTheValueThatWouldPassIt) {
    VQWString error;
    VQWString pre;
    pre.SetLength(30000);
    for (int i = 0; i < 30000; ++i) pre.GetData()[i] = L'p';
    VQWString fits(L"x $pre");
    EXPECT_TRUE(ExpandTemplate(fits, VQWString(L"C:\\a.txt"), pre, error, 30002));
    EXPECT_EQ(30002, fits.GetLength());
    VQWString twice(L"[$pre][$pre]");
    EXPECT_FALSE(ExpandTemplate(twice, VQWString(L"C:\\a.txt"), pre, error, kMaxCommandLineUnits));
    EXPECT_EQ(0, std::wstring(error.Text()).find(L"コマンドラインが長すぎます（32766 文字まで）。\n[ppp"));
    EXPECT_LT(error.GetLength(), 300) << "the message shows the start of the line, not all of it";
    EXPECT_EQ(30000 + 2 + 6, twice.GetLength()) << "expanded up to the marker that would pass the limit";
    // Without a limit the same expansion goes through.
    VQWString free(L"[$pre][$pre]");
    EXPECT_TRUE(ExpandTemplate(free, VQWString(L"C:\\a.txt"), pre, error));
}

TEST(Template, AFailureTellsWhereItsMarkerStandsInTheTemplate) {
    // Values longer and shorter than their markers come before it.
    const wchar_t* templ = L"copy \"$fullname\" $ext\\$titel $level3";
    VQWString text(templ), error;
    int marker = 99;
    EXPECT_FALSE(ExpandTemplate(text, VQWString(kPhoto), VQWString(), error, -1, &marker));
    EXPECT_EQ(22, marker);
    VQWString level(L"$fullname $level3");
    EXPECT_FALSE(ExpandTemplate(level, VQWString(kPhoto), VQWString(), error, -1, &marker));
    EXPECT_EQ(10, marker);
    VQWString fine(L"$name $level0");
    EXPECT_TRUE(ExpandTemplate(fine, VQWString(kPhoto), VQWString(), error, -1, &marker));
    EXPECT_EQ(-1, marker);
    // Over the limit: at the marker whose value would pass it, or at none
    // when the text alone is too long.
    VQWString grows(L"ab $pre $pre");
    EXPECT_FALSE(ExpandTemplate(grows, VQWString(kPhoto), VQWString(L"0123456789"), error, 20, &marker));
    EXPECT_EQ(8, marker);
    VQWString plain(L"abcdefghijklmnopqrstuvwxyz");
    EXPECT_FALSE(ExpandTemplate(plain, VQWString(kPhoto), VQWString(), error, 20, &marker));
    EXPECT_EQ(-1, marker);
}

TEST(Template, AnUnknownNameIsToldWithTheNearestVariable) {
    auto hint = [](const wchar_t* templ, int marker) { return W(UnknownVariableHint(VQWString(templ), marker)); };
    EXPECT_EQ(L"$fulname は変数ではありません。$fullname のことですか？", hint(L"x \"$fulname\"", 3));
    EXPECT_EQ(L"$Titel は変数ではありません。$title のことですか？", hint(L"$Titel.txt", 0)) << "as written, swapped letters";
    EXPECT_EQ(L"$nmae は変数ではありません。$name のことですか？", hint(L"$nmae", 0));
    EXPECT_EQ(L"$levle0 は変数ではありません。$level のことですか？", hint(L"$levle0", 0));
    // Nothing near: only what is wrong.
    EXPECT_EQ(L"$foo は変数ではありません。", hint(L"$foo", 0));
    EXPECT_EQ(L"$5 は変数ではありません。", hint(L"cost $5", 5));
    // A "$" that begins a variable ($level with a bad argument), ends the text or is no "$" at all.
    EXPECT_EQ(L"", hint(L"$levelx", 0));
    EXPECT_EQ(L"", hint(L"a $", 2));
    EXPECT_EQ(L"", hint(L"$name", 1));
    EXPECT_EQ(L"", hint(L"$name", -1));
}

namespace {

Expansion ExpandIn(const wchar_t* templ, const VQTemplateContext& context, const wchar_t* target = kPhoto,
                   const wchar_t* pre = L"") {
    VQWString text(templ);
    VQWString error(L"earlier message");
    bool ok = ExpandTemplate(text, VQWString(target), VQWString(pre), context, error);
    return {ok, W(text), W(error)};
}

VQTemplateContext Rooted(const wchar_t* root) {
    VQTemplateContext context;
    context.root = VQWString(root);
    return context;
}

}  // namespace

TEST(Template, RootAndRelDirFollowTheFolderTheEntryWasFoundUnder) {
    const wchar_t* trip = L"D:\\写真\\2026\\旅行\\a.jpg";
    // A dropped folder, with or without its closing "\\".
    for (const wchar_t* root : {L"D:\\写真\\", L"D:\\写真"}) {
        Expansion e = ExpandIn(L"[$root][$reldir][$root$reldir$name]", Rooted(root), trip);
        EXPECT_TRUE(e.ok);
        EXPECT_EQ(L"[D:\\写真\\][2026\\旅行\\][D:\\写真\\2026\\旅行\\a.jpg]", e.text);
    }
    // Directly in the root: $reldir is empty. The root's case need not match.
    EXPECT_EQ(L"D:\\写真\\|", ExpandIn(L"$root|$reldir", Rooted(L"D:\\写真\\"), L"D:\\写真\\b.jpg").text);
    EXPECT_EQ(L"c:\\DATA\\|photos\\", ExpandIn(L"$root|$reldir", Rooted(L"c:\\DATA"), kPhoto).text);
    // A drive's root and a share.
    EXPECT_EQ(L"E:\\|x\\y\\", ExpandIn(L"$root|$reldir", Rooted(L"E:\\"), L"E:\\x\\y\\f.txt").text);
    EXPECT_EQ(L"\\\\srv\\share\\|in\\",
              ExpandIn(L"$root|$reldir", Rooted(L"\\\\srv\\share\\"), L"\\\\srv\\share\\in\\f.txt").text);
}

TEST(Template, ASingleFileIsItsOwnRoot) {
    // No root, a root the file is not in, or one that only begins like its folder.
    for (const wchar_t* root : {L"", L"D:\\other\\", L"C:\\da", L"C:\\data\\photos\\img01.jpg"}) {
        Expansion e = ExpandIn(L"$root|$reldir|", Rooted(root));
        EXPECT_TRUE(e.ok);
        EXPECT_EQ(L"C:\\data\\photos\\||", e.text) << std::string(root, root + wcslen(root)).c_str();
    }
    // The plain form has no context: every entry is a single file there.
    EXPECT_EQ(L"C:\\data\\photos\\||", Value(L"$root|$reldir|"));
    // Case of the names, and what they share with no other name.
    EXPECT_EQ(L"C:\\data\\photos\\s-", Value(L"$ROOTs-$RelDir"));
}

TEST(Template, OutIsTheExpandedOutputAndAnErrorWithoutOne) {
    VQTemplateContext context;
    context.hasOutput = true;
    context.output = VQWString(L"E:\\out\\img01.webp");
    Expansion e = ExpandIn(L"conv \"$fullname\" \"$out\" $$out", context);
    EXPECT_TRUE(e.ok);
    EXPECT_EQ(L"conv \"C:\\data\\photos\\img01.jpg\" \"E:\\out\\img01.webp\" $out", e.text);
    // A "$" inside the output is not expanded again.
    context.output = VQWString(L"E:\\$name");
    EXPECT_EQ(L"E:\\$name-", ExpandIn(L"$out-", context).text);

    // Without an output template, $out stands for nothing: its own message, at its place.
    Expansion none = ExpandIn(L"copy $name $out", VQTemplateContext());
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(L"出力先が空なので $out は使えません。\ncopy img01.jpg  >> $out", none.error);
    EXPECT_EQ(L"copy img01.jpg $out", none.text);
    EXPECT_FALSE(Expand(L"$out").ok) << "the plain form has no output";
}

TEST(Template, TheOutputTemplateCannotUseOutOrPre) {
    VQTemplateContext context;
    context.forOutput = true;
    context.hasOutput = true;
    context.root = VQWString(L"C:\\data\\");
    Expansion ok = ExpandIn(L"E:\\変換後\\$reldir$stem.webp", context);
    EXPECT_TRUE(ok.ok);
    EXPECT_EQ(L"E:\\変換後\\photos\\img01.webp", ok.text);

    Expansion out = ExpandIn(L"E:\\$reldir$out", context);
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(L"出力先の中では $out は使えません。\nE:\\photos\\ >> $out", out.error);
    Expansion pre = ExpandIn(L"E:\\$pre.txt", context, kPhoto, L"made by the pre-command");
    EXPECT_FALSE(pre.ok);
    EXPECT_EQ(L"出力先の中では $pre は使えません。\nE:\\ >> $pre.txt", pre.error);
    // Elsewhere $pre is as before.
    context.forOutput = false;
    EXPECT_EQ(L"E:\\x.txt", ExpandIn(L"E:\\$pre.txt", context, kPhoto, L"x").text);
}
