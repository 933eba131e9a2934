#include "engine/job_check.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

std::wstring W(const VQWString& s) { return std::wstring(s.Text(), s.GetLength()); }

std::wstring Builtin(const wchar_t* line) { return W(FindCmdBuiltin(line)); }

VQTemplateCheck Check(const wchar_t* pre, const wchar_t* command, const std::vector<std::wstring>& paths) {
    VQArray<VQWString, VQWString> targets;
    for (const std::wstring& p : paths) targets.Add(VQWString(p.c_str()));
    return CheckTemplates(VQWString(pre), VQWString(command), targets);
}

const wchar_t kCopyByTitle[] = L"cmd /c copy \"$fullname\" \"out\\$title.$ext\"";
const wchar_t kCopyByStem[] = L"cmd /c copy \"$fullname\" \"out\\$stem.$ext\"";

}  // namespace

TEST(CmdBuiltin, FirstWordBuiltIntoCmdIsFound) {
    EXPECT_EQ(L"copy", Builtin(L"copy a b"));
    EXPECT_EQ(L"COPY", Builtin(L"COPY a b")) << "found as written";
    EXPECT_EQ(L"Del", Builtin(L" \t Del \"$fullname\""));
    EXPECT_EQ(L"copy", Builtin(L"copy/y a b"));
    EXPECT_EQ(L"md", Builtin(L"md"));
    EXPECT_EQ(L"mklink", Builtin(L"mklink /h a b"));
}

TEST(CmdBuiltin, ProgramsAndQuotedPathsAreNotBuiltIns) {
    EXPECT_EQ(L"", Builtin(L"\"copy\" a b"));
    EXPECT_EQ(L"", Builtin(L"copy.exe a b"));
    EXPECT_EQ(L"", Builtin(L"xcopy a b"));
    EXPECT_EQ(L"", Builtin(L"copying a b"));
    EXPECT_EQ(L"", Builtin(L"cmd /c copy a b"));
    EXPECT_EQ(L"", Builtin(L"C:\\tools\\copy a b"));
    EXPECT_EQ(L"", Builtin(L""));
    EXPECT_EQ(L"", Builtin(L"   "));
    EXPECT_EQ(L"", Builtin(static_cast<const wchar_t*>(nullptr)));
}

TEST(CmdBuiltin, MessageShowsTheMend) {
    EXPECT_EQ(L"copy は cmd の内部コマンドです。cmd /c copy … と書いてください。",
              W(CmdBuiltinMessage(FindCmdBuiltin(L"copy \"$fullname\" out"))));
}

TEST(TemplateCheck, FirstTargetThatDoesNotExpandIsNamed) {
    std::vector<std::wstring> targets;
    for (int i = 1; i <= 4; ++i) targets.push_back(L"C:\\a\\b\\c\\d\\e\\f\\file" + std::to_wstring(i) + L".txt");
    targets.push_back(L"C:\\a\\b\\file5.txt");
    targets.push_back(L"C:\\x\\file6.txt");
    VQTemplateCheck check = Check(L"", L"echo $level5", targets);
    EXPECT_EQ(4, check.failedIndex);
    EXPECT_FALSE(check.preCommandFailed);
    EXPECT_EQ(L"level指定で存在しないパスが指定されています。\necho  >> $level5", W(check.errorText));
    EXPECT_TRUE(check.clashes.empty());

    // The pre-command is checked as well, with the same messages.
    check = Check(L"type $nosuch", L"echo $name", targets);
    EXPECT_EQ(0, check.failedIndex);
    EXPECT_TRUE(check.preCommandFailed);
    EXPECT_EQ(L"文法が間違ってます。\ntype  >> $nosuch", W(check.errorText));

    check = Check(L"echo $level1", L"echo $level5", targets);
    EXPECT_EQ(4, check.failedIndex);
    EXPECT_EQ(-1, Check(L"echo $level0", L"echo $level1", targets).failedIndex);
}

TEST(TemplateCheck, ALineTooLongToStartFailsAsInARun) {
    std::wstring command(32700, L'x');
    command += L" $fullname";
    std::vector<std::wstring> targets = {L"C:\\a.txt", L"C:\\" + std::wstring(100, L'd') + L"\\b.txt"};
    VQTemplateCheck check = Check(L"", command.c_str(), targets);
    EXPECT_EQ(1, check.failedIndex);
    EXPECT_EQ(0u, W(check.errorText).find(L"コマンドラインが長すぎます（32766 文字まで）。"));
}

TEST(TemplateCheck, OutputsNamedByTitleClashWhereStemKeepsThemApart) {
    std::vector<std::wstring> trip = {L"C:\\写真\\旅行.v1.jpg", L"C:\\写真\\旅行.v2.jpg", L"C:\\写真\\海.jpg"};
    VQTemplateCheck check = Check(L"", kCopyByTitle, trip);
    EXPECT_EQ(-1, check.failedIndex);
    ASSERT_EQ(1u, check.clashes.size());
    EXPECT_EQ(2, check.clashes[0].count);
    EXPECT_EQ(0, check.clashes[0].first);
    EXPECT_EQ(1, check.clashes[0].second);
    EXPECT_EQ(2, check.clashingTargets);

    EXPECT_TRUE(Check(L"", kCopyByStem, trip).clashes.empty());
    // The hash form of the path is the target's own as well.
    EXPECT_EQ(1u, Check(L"", L"conv $hashname out\\$title.png", trip).clashes.size());
    // Inside a longer argument the path names a file of the target's own.
    EXPECT_TRUE(Check(L"", L"conv $title \"$fullname.png\"", trip).clashes.empty());
}

TEST(TemplateCheck, GroupsAreCountedInTheOrderOfTheirFirstTarget) {
    std::vector<std::wstring> targets = {L"C:\\p\\a.1.txt", L"C:\\p\\b.1.txt", L"C:\\q\\b.2.txt",
                                         L"C:\\q\\c.txt",   L"C:\\q\\a.2.txt", L"C:\\r\\b.3.txt"};
    VQTemplateCheck check = Check(L"", L"move \"$fullname\" D:\\$title.txt", targets);
    ASSERT_EQ(2u, check.clashes.size());
    EXPECT_EQ(0, check.clashes[0].first);
    EXPECT_EQ(4, check.clashes[0].second);
    EXPECT_EQ(2, check.clashes[0].count);
    EXPECT_EQ(1, check.clashes[1].first);
    EXPECT_EQ(2, check.clashes[1].second);
    EXPECT_EQ(3, check.clashes[1].count);
    EXPECT_EQ(5, check.clashingTargets);
}

TEST(TemplateCheck, CommandsThatUseOnlyThePathClashOnlyWhenIdentical) {
    std::vector<std::wstring> targets = {L"C:\\p\\a.txt", L"C:\\q\\a.txt", L"D:\\b.txt"};
    EXPECT_TRUE(Check(L"", L"del \"$fullname\"", targets).clashes.empty());
    EXPECT_TRUE(Check(L"", L"copy \"$path$name\" \"$fullname.bak\"", targets).clashes.empty());
    EXPECT_TRUE(Check(L"", L"attrib +r $fullname", targets).clashes.empty());
    // Same names in two folders give one line once the folder is left out.
    EXPECT_EQ(1u, Check(L"", L"echo $name", targets).clashes.size());

    std::vector<std::wstring> shared = {L"\\\\srv\\photos\\a.v1.jpg", L"\\\\srv\\photos\\a.v2.jpg"};
    EXPECT_TRUE(Check(L"", L"del \"$fullname\"", shared).clashes.empty());
    EXPECT_EQ(1u, Check(L"", kCopyByTitle, shared).clashes.size());

    // A target listed twice gives the same line whatever the command.
    targets.push_back(L"D:\\b.txt");
    VQTemplateCheck check = Check(L"", L"del \"$fullname\"", targets);
    ASSERT_EQ(1u, check.clashes.size());
    EXPECT_EQ(2, check.clashes[0].first);
    EXPECT_EQ(3, check.clashes[0].second);
}

TEST(TemplateCheck, CommandsUsingThePreCommandsOutputAreNotCompared) {
    std::vector<std::wstring> trip = {L"C:\\写真\\旅行.v1.jpg", L"C:\\写真\\旅行.v2.jpg"};
    VQTemplateCheck check = Check(L"hash $fullname", L"copy $fullname out\\$title-$pre.jpg", trip);
    EXPECT_EQ(-1, check.failedIndex);
    EXPECT_TRUE(check.commandUsesPre);
    EXPECT_TRUE(check.clashes.empty());
    EXPECT_FALSE(Check(L"hash $fullname", kCopyByTitle, trip).commandUsesPre);
    // "$$pre" is text, not the output.
    EXPECT_FALSE(Check(L"", L"echo $$pre $name", trip).commandUsesPre);
}

namespace {

std::vector<std::wstring> Redirected(const wchar_t* line) {
    std::vector<std::wstring> found;
    for (const VQRedirection& r : FindRedirections(line)) found.push_back((r.append ? L">>" : L">") + r.path);
    return found;
}

typedef std::vector<std::wstring> Lines;

VQTemplateCheck CheckIn(const wchar_t* directory, const wchar_t* pre, const wchar_t* command, const Lines& paths) {
    VQArray<VQWString, VQWString> targets;
    for (const std::wstring& p : paths) targets.Add(VQWString(p.c_str()));
    return CheckTemplates(VQWString(pre), VQWString(command), targets, VQWString(directory));
}

}  // namespace

TEST(Redirections, AreReadAsCmdReadsThem) {
    EXPECT_EQ((Lines{L">out.txt"}), Redirected(L"cmd /c echo a>out.txt"));
    EXPECT_EQ((Lines{L">>sizes.txt"}), Redirected(L"cmd /c echo a b  >>  sizes.txt"));
    EXPECT_EQ((Lines{L">log\\my file.txt", L">err.txt"}), Redirected(L"x 1>\"log\\my file.txt\" 2>err.txt"));
    EXPECT_EQ((Lines{L">a.txt", L">>b.txt"}), Redirected(L"x >a.txt&y>>b.txt|z <in.txt"));
    EXPECT_EQ((Lines{L">o(1).txt"}), Redirected(L"x > o^(1^).txt"));
    // Another handle, quoted or escaped text, and devices write no file.
    EXPECT_EQ(Lines{}, Redirected(L"cmd /c x 2>&1 >nul"));
    EXPECT_EQ(Lines{}, Redirected(L"cmd /c echo \"a > b\" ^> c"));
    EXPECT_EQ(Lines{}, Redirected(L"x >NUL.txt 2>C:\\out\\con >>aux >lpt1 >COM9: >\\\\.\\pipe\\p >conout$"));
    EXPECT_EQ((Lines{L">com10", L">nulls.txt"}), Redirected(L"x >com10 >nulls.txt"));
    EXPECT_EQ(Lines{}, Redirected(L"x >"));
}

TEST(Redirections, SharedWritesClashAndSharedAppendsAreTold) {
    Lines photos = {L"C:\\p\\a.jpg", L"C:\\p\\b.jpg", L"C:\\p\\c.jpg"};
    // Every file overwrites the one list, however its path is spelt.
    VQTemplateCheck check = CheckIn(L"C:\\work", L"", L"cmd /c echo $name > list.txt", photos);
    EXPECT_TRUE(check.clashes.empty()) << "the lines differ";
    ASSERT_EQ(1u, check.sharedWrites.size());
    EXPECT_EQ(L"list.txt", check.sharedWrites[0].path);
    EXPECT_EQ(3, check.sharedWrites[0].count);
    EXPECT_EQ(0, check.sharedWrites[0].first);
    EXPECT_EQ(1, check.sharedWrites[0].second);
    EXPECT_EQ(1u, CheckIn(L"C:\\work", L"", L"cmd /c echo $name > .\\sub\\..\\LIST.txt", {L"C:\\a", L"C:\\b"})
                      .sharedWrites.size());
    EXPECT_EQ(1u, CheckIn(L"C:\\work", L"cmd /c echo $name > C:\\work\\list.txt", L"cmd /c type $name >> list.txt",
                          {L"C:\\a", L"C:\\b"})
                      .sharedWrites.size())
        << "one overwrite among appends loses them too";
    EXPECT_TRUE(CheckIn(L"C:\\work", L"", L"cmd /c echo $name > $name.txt", photos).sharedWrites.empty());
    EXPECT_TRUE(CheckIn(L"C:\\work", L"", L"cmd /c echo $name > nul", photos).sharedWrites.empty());
    // One target writing and then appending in its own two steps does not clash.
    check = CheckIn(L"C:\\work", L"cmd /c echo x > $name.log", L"cmd /c echo y >> $name.log", photos);
    EXPECT_TRUE(check.sharedWrites.empty());
    EXPECT_TRUE(check.sharedAppends.empty());

    // Appends only: kept apart from the clashes, with $pre before the path as in README's example.
    check = CheckIn(L"C:\\work", L"cmd /c for %I in (\"$fullname\") do @echo %~zI", L"cmd /c echo $name $pre>> sizes.txt",
                    photos);
    EXPECT_TRUE(check.sharedWrites.empty());
    ASSERT_EQ(1u, check.sharedAppends.size());
    EXPECT_EQ(L"sizes.txt", check.sharedAppends[0].path);
    EXPECT_EQ(3, check.sharedAppends[0].count);
    // A path made of output not yet known is not looked at.
    EXPECT_TRUE(CheckIn(L"C:\\work", L"x", L"cmd /c echo $name >> $pre.txt", photos).sharedAppends.empty());
}

TEST(PercentValues, OnlyValuesThatCmdWouldExpandAreTold) {
    EXPECT_TRUE(GoesThroughCmd(L"  \"C:\\Windows\\System32\\CMD.EXE\" /c x"));
    EXPECT_TRUE(GoesThroughCmd(L"tools\\convert.bat a"));
    EXPECT_FALSE(GoesThroughCmd(L"cmdow a"));
    EXPECT_FALSE(GoesThroughCmd(L"qb.exe cmd /c x"));
    auto pair = [](const wchar_t* text) { return HoldsPercentPair(text, static_cast<int>(wcslen(text))); };
    EXPECT_TRUE(pair(L"a%%b%"));
    EXPECT_FALSE(pair(L"a%%b"));

    Lines targets = {L"C:\\sale\\plain.txt", L"C:\\50% off\\%OS%.txt", L"C:\\x\\%TEMP%.log"};
    VQTemplateCheck check = Check(L"", L"cmd /c copy \"$fullname\" \"$path$stem.bak\"", targets);
    EXPECT_EQ(1, check.percentIndex);
    EXPECT_FALSE(check.percentInPreCommand);
    EXPECT_STREQ(L"fullname", check.percentVariable);
    EXPECT_EQ(2, check.percentTargets);
    // The pair must stand in one value: "50% off\" and "%OS%" are two.
    check = Check(L"", L"cmd /c echo $path", {L"C:\\50% off\\5%.txt", L"C:\\a%\\b%\\c.txt"});
    EXPECT_EQ(1, check.percentIndex);
    EXPECT_EQ(1, check.percentTargets);
    EXPECT_STREQ(L"path", check.percentVariable);
    // Programs other than cmd are given the value as it is.
    EXPECT_EQ(-1, Check(L"", L"conv \"$fullname\"", targets).percentIndex);
    check = Check(L"cmd /c echo $name", L"conv \"$fullname\"", targets);
    EXPECT_TRUE(check.percentInPreCommand);
    EXPECT_STREQ(L"name", check.percentVariable);
    // The safe form itself is template text, not a value.
    EXPECT_EQ(-1, Check(L"", L"cmd /c copy \"%QB_FULLNAME%\" out", targets).percentIndex);
}

namespace {

std::vector<RunTarget> Entries(const std::vector<std::wstring>& paths, const wchar_t* root = L"") {
    std::vector<RunTarget> entries;
    for (const std::wstring& p : paths) {
        RunTarget t;
        t.path = VQWString(p.c_str());
        t.root = VQWString(root);
        entries.push_back(t);
    }
    return entries;
}

VQTemplateCheck CheckOut(const wchar_t* command, const wchar_t* output, const std::vector<RunTarget>& entries,
                         bool skip = false, const wchar_t* pre = L"") {
    return CheckJob(VQWString(pre), VQWString(command), VQWString(output), entries, VQWString(L"E:\\作業"), skip);
}

}  // namespace

TEST(JobCheck, OutputsNamingOneFileClashHoweverTheyAreSpelled) {
    // Case, "..", "/" and the trailing dots and spaces Windows drops.
    std::vector<RunTarget> entries = Entries({L"D:\\in\\a.jpg", L"D:\\in\\b.JPG", L"D:\\in\\c.jpg", L"D:\\in\\d.jpg"});
    VQTemplateCheck check = CheckOut(L"conv $fullname $out", L"F:\\out\\x\\..\\same$ext. ", entries);
    ASSERT_EQ(-1, check.failedIndex) << W(check.errorText);
    EXPECT_TRUE(check.outputsCompared);
    ASSERT_EQ(1u, check.clashes.size());
    EXPECT_EQ(4, check.clashes[0].count) << "jpg, JPG, and the dots and spaces";
    EXPECT_EQ(0, check.clashes[0].first);
    EXPECT_EQ(1, check.clashes[0].second);
    EXPECT_EQ(L"F:\\out\\samejpg", W(check.clashOutputs[0]));
    EXPECT_EQ(4, check.clashingTargets);
    EXPECT_EQ(L"F:\\out\\sameJPG", W(check.outputs[1])) << "the output as it will be used";

    // One output each: no clash, though the command lines would be the same.
    check = CheckOut(L"conv", L"F:\\out\\$name", entries);
    EXPECT_TRUE(check.clashes.empty());
    EXPECT_EQ(4u, check.outputs.size());
    // Names that differ only beyond ASCII's case compare as NTFS does.
    check = CheckOut(L"conv", L"F:\\out\\$title.txt", Entries({L"D:\\Ä.jpg", L"D:\\ä.png", L"D:\\Σ.jpg", L"D:\\σ.png"}));
    EXPECT_EQ(2u, check.clashes.size());
}

TEST(JobCheck, AnOutputThatIsAnEntryIsFoundWithBothIndices) {
    std::vector<RunTarget> entries = Entries({L"D:\\in\\a.txt", L"D:\\in\\b.txt", L"D:\\in\\a.txt.bak"});
    // b's output is a's input (in another spelling).
    VQTemplateCheck check = CheckOut(L"conv", L"D:\\IN\\sub\\..\\$title.txt.bak", entries);
    EXPECT_EQ(0, check.outputIsEntry) << "a.txt.bak is entry 2";
    EXPECT_EQ(2, check.entryOfOutput);
    // Its own input.
    check = CheckOut(L"conv", L"$fullname", entries);
    EXPECT_EQ(0, check.outputIsEntry);
    EXPECT_EQ(0, check.entryOfOutput);
    check = CheckOut(L"conv", L"F:\\$name", entries);
    EXPECT_EQ(-1, check.outputIsEntry);
    EXPECT_EQ(-1, check.entryOfOutput);
}

TEST(JobCheck, AnOutputReachingAnEntryThroughAFolderLinkIsAnEntry) {
    TempDir temp;
    std::wstring in = temp.MakeDir(L"in");
    std::vector<RunTarget> entries =
        Entries({temp.WriteFile(L"in\\a.txt", "a"), temp.WriteFile(L"in\\b.txt", "b")});
    temp.WriteFile(L"in\\a.txt.out", "not an entry");
    temp.WriteFile(L"other\\a.txt", "another file of the same name");
    ASSERT_FALSE(temp.MakeFolderLink(L"link", in).empty());
    struct Case {
        const wchar_t* output;
        int target, entry;
    } cases[] = {
        {L"link\\$name", 0, 0},         // its own input, through the link
        {L"link\\b.txt", 0, 1},         // another entry, for every target
        {L"link\\$name.out", -1, -1},   // in the entries' folder, but no entry
        {L"other\\$name", -1, -1},      // an entry's name in another folder
        {L"link\\c.txt", -1, -1},       // not there
    };
    for (const Case& c : cases) {
        VQTemplateCheck check = CheckOut(L"conv", temp.Join(c.output).c_str(), entries);
        ASSERT_EQ(-1, check.failedIndex) << c.output;
        EXPECT_EQ(c.target, check.outputIsEntry) << c.output;
        EXPECT_EQ(c.entry, check.entryOfOutput) << c.output;
    }
}

TEST(JobCheck, OutputAndOutErrorsStopAtTheirTarget) {
    std::vector<RunTarget> entries = Entries({L"D:\\写真\\a.jpg", L"D:\\写真\\2026\\b.jpg"}, L"D:\\写真\\");
    // The first target lies directly in the root: its output is empty.
    VQTemplateCheck check = CheckOut(L"conv", L"$reldir", entries);
    EXPECT_EQ(0, check.failedIndex);
    EXPECT_TRUE(check.outputFailed);
    EXPECT_EQ(L"出力先が空になります。\n$reldir", W(check.errorText));
    check = CheckOut(L"conv", L"F:\\$reldir?$name", entries);
    EXPECT_EQ(0, check.failedIndex) << "the first has no ?-free name either";
    check = CheckOut(L"conv", L"F:\\$reldir$pre", entries);
    EXPECT_TRUE(check.outputFailed);
    EXPECT_EQ(L"出力先の中では $pre は使えません。\nF:\\ >> $pre", W(check.errorText));

    // $out in the command with no output template.
    check = CheckOut(L"conv $fullname $out", L"", entries);
    EXPECT_EQ(0, check.failedIndex);
    EXPECT_FALSE(check.outputFailed);
    EXPECT_FALSE(check.preCommandFailed);
    EXPECT_EQ(L"出力先が空なので $out は使えません。\nconv D:\\写真\\a.jpg  >> $out", W(check.errorText));
    check = CheckOut(L"conv", L"", entries, false, L"probe $out");
    EXPECT_TRUE(check.preCommandFailed);

    // With the output: $out, $root and $reldir in the lines.
    check = CheckOut(L"conv $root|$reldir|$out", L"F:\\$reldir$stem.webp", entries);
    ASSERT_EQ(-1, check.failedIndex) << W(check.errorText);
    EXPECT_EQ(L"F:\\2026\\b.webp", W(check.outputs[1]));
}

TEST(JobCheck, WithoutAnOutputTheRootsStillMatterToTheLines) {
    // Same name, different folders below one root: the lines made of $reldir differ.
    std::vector<RunTarget> entries = Entries({L"D:\\r\\x\\a.jpg", L"D:\\r\\y\\a.jpg"}, L"D:\\r\\");
    VQTemplateCheck check = CheckJob(VQWString(), VQWString(L"conv $fullname F:\\$reldir$name"), VQWString(), entries,
                                     VQWString(), false);
    EXPECT_EQ(-1, check.failedIndex);
    EXPECT_TRUE(check.clashes.empty());
    EXPECT_FALSE(check.outputsCompared);
    check = CheckJob(VQWString(), VQWString(L"conv $fullname F:\\$name"), VQWString(), entries, VQWString(), false);
    EXPECT_EQ(1u, check.clashes.size());
}

TEST(JobCheck, UpToDateOutputsAreSkippedButNeverAnInterruptedOne) {
    TempDir temp;
    std::wstring in = temp.MakeDir(L"in");
    FILETIME old = {}, fresh = {};
    SYSTEMTIME t = {2024, 1, 0, 1, 0, 0, 0, 0};
    SystemTimeToFileTime(&t, &old);
    t.wYear = 2025;
    SystemTimeToFileTime(&t, &fresh);
    auto stamp = [](const std::wstring& path, const FILETIME& when) {
        HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        SetFileTime(h, nullptr, nullptr, &when);
        CloseHandle(h);
    };
    std::vector<std::wstring> names = {L"a", L"b", L"c", L"d", L"e"};
    std::vector<std::wstring> paths;
    for (const std::wstring& n : names) {
        paths.push_back(temp.WriteFile(L"in\\" + n + L".txt", "source"));
        stamp(paths.back(), old);
    }
    // a: output newer; b: output older; c: no output; d: newer but interrupted; e: output the same second.
    stamp(temp.WriteFile(L"out\\a.out", "o"), fresh);
    FILETIME older = {};
    t.wYear = 2023;
    SystemTimeToFileTime(&t, &older);
    stamp(temp.WriteFile(L"out\\b.out", "o"), older);
    stamp(temp.WriteFile(L"out\\d.out", "o"), fresh);
    stamp(temp.WriteFile(L"out\\e.out", "o"), old);
    std::vector<RunTarget> entries = Entries(paths, in.c_str());
    entries[3].interrupted = true;
    std::wstring outputTemplate = temp.Join(L"out\\$title.out");
    VQTemplateCheck check = CheckOut(L"conv", outputTemplate.c_str(), entries, true);
    ASSERT_EQ(-1, check.failedIndex) << W(check.errorText);
    EXPECT_EQ((std::vector<bool>{true, false, false, false, true}), check.skip);
    EXPECT_EQ(2, check.skipCount);
    // Not asked: nothing decided.
    check = CheckOut(L"conv", outputTemplate.c_str(), entries, false);
    EXPECT_TRUE(check.skip.empty());
    EXPECT_EQ(0, check.skipCount);

    // An output that exists as a folder fails its target.
    temp.MakeDir(L"out\\c.out");
    check = CheckOut(L"conv", outputTemplate.c_str(), entries, true);
    EXPECT_EQ(2, check.failedIndex);
    EXPECT_TRUE(check.outputFailed);
    EXPECT_EQ(L"出力先がフォルダです。\n" + temp.Join(L"out\\c.out"), W(check.errorText));
}

TEST(JobCheck, AListOfManyBlocksIsAnsweredAsOneTargetAtATimeWould) {
    // Enough targets for the disk to be asked by two threads in blocks,
    // sources in 21 folders, every other output there and newer.
    TempDir temp;
    const int kTargets = 2100;
    std::wstring in = temp.MakeDir(L"in") + L"\\";
    std::vector<std::wstring> paths;
    for (int i = 0; i < kTargets; ++i) {
        std::wstring reldir = L"撮影 " + std::to_wstring(i / 100) + L"\\";
        std::wstring name = L"写真 " + std::to_wstring(i);
        paths.push_back(temp.WriteFile(L"in\\" + reldir + name + L".jpg", "s"));
        if (i % 2 == 0) temp.WriteFile(L"out\\" + reldir + name + L".webp", "o");
    }
    std::vector<RunTarget> entries = Entries(paths, in.c_str());
    entries[1001].interrupted = true;  // output missing anyway
    entries[1002].interrupted = true;
    std::wstring outputTemplate = temp.Join(L"out\\$reldir$stem.webp");
    VQTemplateCheck check = CheckOut(L"conv $level1", outputTemplate.c_str(), entries, true);
    ASSERT_EQ(-1, check.failedIndex) << W(check.errorText);
    ASSERT_EQ(static_cast<size_t>(kTargets), check.skip.size());
    int wrong = 0;
    for (int i = 0; i < kTargets; ++i) wrong += check.skip[static_cast<size_t>(i)] != (i % 2 == 0 && i != 1002);
    EXPECT_EQ(0, wrong);
    EXPECT_EQ(kTargets / 2 - 1, check.skipCount);
    EXPECT_EQ(-1, check.outputIsEntry);

    // The first target that fails is told, whichever way it fails and
    // whichever thread met it: an output that is a folder, late in the list...
    temp.MakeDir(L"out\\撮影 20\\写真 2001.webp");
    check = CheckOut(L"conv $level1", outputTemplate.c_str(), entries, true);
    EXPECT_EQ(2001, check.failedIndex);
    EXPECT_TRUE(check.outputFailed);
    // ...before the lines of a later target that fail, after those of an earlier one.
    entries[2050].path = VQWString(L"C:\\浅い.jpg");
    check = CheckOut(L"conv $level1", outputTemplate.c_str(), entries, true);
    EXPECT_EQ(2001, check.failedIndex);
    EXPECT_TRUE(check.outputFailed);
    entries[1500].path = VQWString(L"C:\\浅い.jpg");
    check = CheckOut(L"conv $level1", outputTemplate.c_str(), entries, true);
    EXPECT_EQ(1500, check.failedIndex);
    EXPECT_FALSE(check.outputFailed);
    EXPECT_NE(-1, W(check.errorText).find(L"level"));
}

namespace {

// The files cmd makes for a line run in an empty folder, by name, sorted.
std::vector<std::wstring> FilesCmdMakes(const std::wstring& line, const std::wstring& folder) {
    std::wstring command = line;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, folder.c_str(),
                        &startup, &info)) {
        return {L"<not started>"};
    }
    WaitForSingleObject(info.hProcess, 60000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0) names.push_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(Redirections, TheFilesNamedAreTheFilesCmdMakes) {
    // Every redirection of these lines is carried out, so cmd makes every file a line writes.
    const wchar_t* const lines[] = {
        L"cmd /c if \"a\"==\"b\" (echo x >nul) else (echo y> \"y.done\" & exit 3)",
        L"cmd /c (echo a>out.txt)",
        L"cmd /c (echo a 2>>log)",
        L"cmd /c (echo a >nul 2>&1) & echo b 1>&2 2>nul",
        L"cmd /c (echo a >>\"my file.txt\")",
        L"cmd /c echo a > o^(1^).txt",
        L"cmd /c (echo a > \"x).txt\")",
        L"cmd /c echo a)>r.txt",
        L"cmd /c (echo a)>s.txt",
        L"cmd /c if exist nosuch.txt (echo a) else (echo b>t.txt)",
        L"cmd /c if not \"a\"==\"b\" (echo a&echo b>u.txt)&echo c>v.txt",
        L"cmd /c echo a>a1.txt&echo b>>b1.txt",
        L"cmd /c \"echo a > q.txt\"",
        L"cmd /c for %i in (1 2) do (echo %i>f.txt)",
    };
    TempDir temp;
    int n = 0;
    for (const wchar_t* line : lines) {
        std::wstring folder = temp.MakeDir(L"run" + std::to_wstring(++n));
        std::vector<std::wstring> named;
        for (const VQRedirection& r : FindRedirections(line)) named.push_back(r.path);
        std::sort(named.begin(), named.end());
        named.erase(std::unique(named.begin(), named.end()), named.end());
        EXPECT_EQ(FilesCmdMakes(line, folder), named) << line;
    }
}

TEST(TemplateCheck, EqualLinesClashOnlyWhenTheyNameAFileBesidesTheTargets) {
    // Two folders added: the roots differ, so the lines are compared without each file's own path.
    std::vector<RunTarget> entries = Entries({L"D:\\a\\x.zip", L"D:\\b\\y.zip"}, L"D:\\a\\");
    entries[1].root = VQWString(L"D:\\b\\");
    struct Case {
        const wchar_t* command;
        size_t clashes;
    } cases[] = {
        {L"7za t \"$fullname\"", 0},
        {L"C:\\tools\\7za.exe t \"$fullname\"", 0},
        {L"cmd /c type \"$fullname\"", 0},
        {L"ffmpeg -i \"$fullname\" -f null -", 0},
        {L"cmd /c ping -n 1 127.0.0.1 >nul & type \"$fullname\"", 0},
        {L"cmd /c copy \"$fullname\" \"D:\\out\\x.bak\"", 1},
        {L"copy \"$fullname\" x.bak", 1},
        {L"cmd /c type \"$fullname\" > list", 1},
        {L"conv \"$fullname\" -o E:out", 1},
    };
    for (const Case& c : cases) {
        VQTemplateCheck check =
            CheckJob(VQWString(), VQWString(c.command), VQWString(), entries, VQWString(L"E:\\作業"), false);
        EXPECT_EQ(c.clashes, check.clashes.size()) << c.command;
    }
    // The same file twice is still told, whatever the command.
    entries.push_back(entries[0]);
    VQTemplateCheck check = CheckJob(VQWString(), VQWString(L"7za t \"$fullname\""), VQWString(), entries,
                                     VQWString(L"E:\\作業"), false);
    ASSERT_EQ(1u, check.clashes.size());
    EXPECT_EQ(0, check.clashes[0].first);
    EXPECT_EQ(2, check.clashes[0].second);
}
