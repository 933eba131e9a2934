#include "engine/output_path.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace {

std::wstring W(const VQWString& s) { return std::wstring(s.Text(), s.GetLength()); }

struct Expanded {
    bool ok;
    std::wstring output;
    std::wstring error;
};

Expanded Output(const wchar_t* templ, const wchar_t* target = L"D:\\写真\\2026\\旅行\\a.jpg",
                const wchar_t* root = L"D:\\写真\\", const wchar_t* directory = L"E:\\作業") {
    VQWString output(L"unchanged"), error;
    bool ok = ExpandOutputPath(VQWString(templ), VQWString(target), VQWString(root), VQWString(directory), output,
                               error);
    return {ok, W(output), W(error)};
}

FILETIME At(int64_t ticks) {
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(ticks);
    t.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return t;
}

const int64_t kSecond = 10000000;
const int64_t kBase = int64_t(133000000) * kSecond;

OutputState State(bool exists, int64_t written, uint64_t size = 10) {
    OutputState s;
    s.exists = exists;
    s.written = At(written);
    s.size = size;
    return s;
}

}  // namespace

TEST(OutputPath, MirrorsTheTreeAndTakesRelativeOnesFromTheRunDirectory) {
    Expanded mirrored = Output(L"F:\\変換後\\$reldir$stem.webp");
    ASSERT_TRUE(mirrored.ok) << mirrored.error.size();
    EXPECT_EQ(L"F:\\変換後\\2026\\旅行\\a.webp", mirrored.output);
    EXPECT_EQ(L"E:\\作業\\out\\2026\\旅行\\a.webp", Output(L"out\\$reldir$stem.webp").output);
    EXPECT_EQ(L"E:\\a.jpg.bak", Output(L"..\\$name.bak").output) << "\"..\" resolved";
    EXPECT_EQ(L"E:\\x\\a.png", Output(L"\\x\\$title.png").output) << "on the run directory's drive";
    EXPECT_EQ(L"E:\\作業\\sub\\a.txt", Output(L"sub/$title.txt").output) << "\"/\" as Windows reads it";
    EXPECT_EQ(L"F:\\out\\a.txt", Output(L"F:\\out\\$title.txt. ").output) << "the closing dot and space Windows drops";
}

TEST(OutputPath, PathsThatCannotNameAFileAreErrors) {
    struct Case {
        const wchar_t* templ;
        const wchar_t* message;
    } cases[] = {
        {L"$reldir", L"出力先が空になります。\n$reldir"},  // a file directly in its root gives nothing
        {L"  ", L"出力先が空になります。\n  "},
        {L"Q:", L"出力先がドライブだけです。\nQ:"},
        {L"Q:\\", L"出力先がフォルダの形です（ファイル名がありません）。\nQ:\\"},
        {L"F:\\out\\$reldir", L"出力先がフォルダの形です（ファイル名がありません）。\nF:\\out\\"},
        {L"\\\\srv\\share", L"出力先がドライブだけです。\n\\\\srv\\share"},
        {L"F:\\out\\$title?.jpg", L"出力先に使えない文字 ? があります。\nF:\\out\\b?.jpg"},
        {L"F:\\a:b.txt", L"出力先に使えない文字 : があります。\nF:\\a:b.txt"},
        {L"F:\\<$title>", L"出力先に使えない文字 < があります。\nF:\\<b>"},
        {L"F:\\\"$title\"", L"出力先に使えない文字 \" があります。\nF:\\\"b\""},
        {L"F:\\a|b", L"出力先に使えない文字 | があります。\nF:\\a|b"},
        {L"F:\\*.txt", L"出力先に使えない文字 * があります。\nF:\\*.txt"},
        {L"F:\\a\tb", L"出力先に使えない文字（制御文字 0x09）があります。\nF:\\a\tb"},
    };
    for (const Case& c : cases) {
        Expanded e = Output(c.templ, L"D:\\写真\\b.jpg");
        EXPECT_FALSE(e.ok) << std::string(c.templ, c.templ + wcslen(c.templ)).c_str();
        EXPECT_EQ(c.message, e.error);
        EXPECT_EQ(L"unchanged", e.output) << "nothing written on failure";
    }
    // A device's name opens the device whatever folder it is given.
    Expanded device = Output(L"F:\\out\\aux.log");
    EXPECT_FALSE(device.ok);
    EXPECT_EQ(L"unchanged", device.output);
    // The drive's colon and a \\?\ prefix's question mark are fine.
    EXPECT_TRUE(Output(L"\\\\?\\F:\\out\\$name").ok);
    EXPECT_EQ(L"\\\\srv\\share\\a.jpg", Output(L"\\\\srv\\share\\$name").output);
    // Template errors of the output template itself.
    EXPECT_EQ(L"出力先の中では $out は使えません。\nF:\\ >> $out.bak", Output(L"F:\\$out.bak").error);
    EXPECT_EQ(L"出力先の中では $pre は使えません。\nF:\\ >> $pre", Output(L"F:\\$pre").error);
    EXPECT_EQ(L"文法が間違ってます。\nF:\\ >> $nope", Output(L"F:\\$nope").error);
}

TEST(OutputPath, TheUpToDateRuleAllowsForCoarseTimeStamps) {
    EXPECT_TRUE(IsUpToDate(At(kBase), At(kBase))) << "written at the same time";
    EXPECT_TRUE(IsUpToDate(At(kBase), At(kBase + kSecond)));
    EXPECT_TRUE(IsUpToDate(At(kBase), At(kBase - 2 * kSecond))) << "FAT's two seconds";
    EXPECT_FALSE(IsUpToDate(At(kBase), At(kBase - 2 * kSecond - 1)));
    EXPECT_FALSE(IsUpToDate(At(kBase + 3600 * kSecond), At(kBase))) << "the source changed an hour later";
}

TEST(OutputPath, WrittenDuringTheStepsByChangeOrByTime) {
    FILETIME began = At(kBase);
    OutputState absent;
    // Missing afterwards: never written, whatever was there before.
    EXPECT_FALSE(WrittenDuringSteps(absent, absent, began));
    EXPECT_FALSE(WrittenDuringSteps(State(true, kBase - 100 * kSecond), absent, began));
    // New, or changed in time or size.
    EXPECT_TRUE(WrittenDuringSteps(absent, State(true, kBase - 100 * kSecond), began)) << "a copy keeps its source's time";
    EXPECT_TRUE(WrittenDuringSteps(State(true, kBase - 100 * kSecond), State(true, kBase - 50 * kSecond), began));
    EXPECT_TRUE(WrittenDuringSteps(State(true, kBase - 100 * kSecond, 1), State(true, kBase - 100 * kSecond, 2), began));
    // Untouched: only a time inside the slack counts as written.
    EXPECT_FALSE(WrittenDuringSteps(State(true, kBase - 100 * kSecond), State(true, kBase - 100 * kSecond), began));
    EXPECT_TRUE(WrittenDuringSteps(State(true, kBase - kSecond), State(true, kBase - kSecond), began));
    EXPECT_FALSE(WrittenDuringSteps(State(true, kBase - 3 * kSecond), State(true, kBase - 3 * kSecond), began));
    // A folder is no output.
    OutputState folder = State(true, kBase + kSecond);
    folder.folder = true;
    EXPECT_FALSE(WrittenDuringSteps(absent, folder, began));

    // Deleting asks for a real change: the slack never deletes an untouched file.
    EXPECT_FALSE(ChangedDuringSteps(State(true, kBase - kSecond), State(true, kBase - kSecond)));
    EXPECT_TRUE(ChangedDuringSteps(absent, State(true, kBase)));
    EXPECT_TRUE(ChangedDuringSteps(State(true, kBase), State(true, kBase + 1)));
    EXPECT_FALSE(ChangedDuringSteps(State(true, kBase), absent));
}

TEST(OutputPath, TheFolderIsMadeWithEveryParent) {
    TempDir temp;
    DWORD error = 1;
    std::wstring output = temp.Join(L"変換後\\2026\\旅 行\\a.webp");
    ASSERT_TRUE(CreateOutputFolder(VQWString(output.c_str()), error));
    EXPECT_EQ(0u, error);
    EXPECT_TRUE(ReadOutputState(VQWString(temp.Join(L"変換後\\2026\\旅 行").c_str())).folder);
    EXPECT_FALSE(ReadOutputState(VQWString(output.c_str())).exists) << "only the folder is made";
    // Again: it is there already.
    EXPECT_TRUE(CreateOutputFolder(VQWString(output.c_str()), error));
    // A file where a folder should be.
    temp.WriteFile(L"blocker", "x");
    EXPECT_FALSE(CreateOutputFolder(VQWString(temp.Join(L"blocker\\sub\\a.txt").c_str()), error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), error);
    EXPECT_FALSE(ReadOutputState(VQWString(temp.Join(L"blocker\\sub").c_str())).exists);
    // A drive that is not there.
    EXPECT_FALSE(CreateOutputFolder(VQWString(L"\\\\?\\Q:\\none\\a.txt"), error) && error == 0);

    OutputState file = ReadOutputState(VQWString(temp.Join(L"blocker").c_str()));
    EXPECT_TRUE(file.exists);
    EXPECT_FALSE(file.folder);
    EXPECT_EQ(1u, file.size);
    EXPECT_NE(0u, file.written.dwHighDateTime);
}

namespace {

// Every field the look-up of one path gives, and the cache's answer beside it.
void ExpectSameState(OutputStateCache& cache, const std::wstring& path, const char* what) {
    OutputState alone = ReadOutputState(VQWString(path.c_str()));
    OutputState listed = cache.Read(VQWString(path.c_str()));
    EXPECT_EQ(alone.exists, listed.exists) << what;
    EXPECT_EQ(alone.folder, listed.folder) << what;
    EXPECT_EQ(alone.size, listed.size) << what;
    EXPECT_EQ(alone.written.dwLowDateTime, listed.written.dwLowDateTime) << what;
    EXPECT_EQ(alone.written.dwHighDateTime, listed.written.dwHighDateTime) << what;
}

void SetWritten(const std::wstring& path, int64_t ticks) {
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME t = At(ticks);
    SetFileTime(file, nullptr, nullptr, &t);
    CloseHandle(file);
}

}  // namespace

TEST(OutputStateCache, AnswersAsTheLookUpOfEachPath) {
    TempDir temp;
    std::wstring photo = temp.WriteFile(L"変換後\\Photo 1.WEBP", "twelve bytes");
    SetWritten(photo, kBase);
    temp.WriteFile(L"変換後\\b.webp", "b");
    temp.MakeDir(L"変換後\\sub.webp");
    std::wstring plainFile = temp.WriteFile(L"plain.txt", "x");
    OutputStateCache cache;
    ExpectSameState(cache, photo, "listed as written");
    ExpectSameState(cache, temp.Join(L"変換後\\photo 1.webp"), "another case: the folder may tell case apart");
    ExpectSameState(cache, temp.Join(L"変換後\\b.webp"), "a second name from the same list");
    ExpectSameState(cache, temp.Join(L"変換後\\sub.webp"), "a folder where the output goes");
    ExpectSameState(cache, temp.Join(L"変換後\\missing.webp"), "not in the list");
    ExpectSameState(cache, temp.Join(L"変換後\\Photo 1.WEBP."), "a trailing dot Windows drops");
    ExpectSameState(cache, temp.Join(L"変換後\\.\\b.webp"), "a form Windows changes");
    ExpectSameState(cache, temp.Join(L"ない\\a.webp"), "in a folder that is not there");
    ExpectSameState(cache, temp.Join(L"ない\\さらに\\a.webp"), "below one that is not there");
    ExpectSameState(cache, plainFile + L"\\a.webp", "below a file standing where a folder should be");
    EXPECT_TRUE(cache.Read(VQWString(photo.c_str())).exists);
    EXPECT_EQ(12u, cache.Read(VQWString(photo.c_str())).size);
    EXPECT_TRUE(cache.Read(VQWString(temp.Join(L"変換後\\sub.webp").c_str())).folder);
    EXPECT_FALSE(cache.Read(VQWString(temp.Join(L"変換後\\missing.webp").c_str())).exists);

    // A short name is not in a basic list; its look-up finds the file.
    wchar_t shortPath[MAX_PATH];
    DWORD got = GetShortPathNameW(photo.c_str(), shortPath, MAX_PATH);
    if (got > 0 && got < MAX_PATH && std::wstring(shortPath).find(L'~') != std::wstring::npos) {
        OutputStateCache fresh;
        ExpectSameState(fresh, temp.Join(L"変換後\\b.webp"), "the folder listed first");
        ExpectSameState(fresh, shortPath, "a short name");
    }
}

TEST(OutputStateCache, APathAskedAboutOnceIsAnsweredFromAListOnlyWhenOneIsThere) {
    TempDir temp;
    std::wstring a = temp.WriteFile(L"元\\a.jpg", "abc");
    std::wstring b = temp.WriteFile(L"元\\B.jpg", "b");
    OutputStateCache cache;
    auto same = [&](const std::wstring& path, const char* what) {
        OutputState alone = ReadOutputState(VQWString(path.c_str()));
        OutputState asked = cache.ReadIfListed(VQWString(path.c_str()));
        EXPECT_EQ(alone.exists, asked.exists) << what;
        EXPECT_EQ(alone.size, asked.size) << what;
        EXPECT_EQ(alone.written.dwLowDateTime, asked.written.dwLowDateTime) << what;
    };
    same(a, "its folder not listed: looked up");
    same(temp.Join(L"元\\b.jpg"), "another case, not listed");
    same(temp.Join(L"元\\c.jpg"), "missing, not listed");
    // Listed later through Read: then the list answers, in any spelling of the folder.
    temp.WriteFile(L"元\\d.jpg", "d");
    EXPECT_TRUE(cache.Read(VQWString(temp.Join(L"元\\d.jpg").c_str())).exists);
    DeleteFileW(temp.Join(L"元\\d.jpg").c_str());
    EXPECT_TRUE(cache.ReadIfListed(VQWString(temp.Join(L"元\\d.jpg").c_str())).exists) << "from the list made before";
    same(a, "listed");
    same(b, "listed, as written");
    same(temp.Join(L"元\\b.jpg"), "listed only in another case: looked up");
    same(temp.Join(L"元\\c.jpg"), "missing from the list");
}

TEST(OutputStateCache, AListOfManyBatchesAndAFolderBeyondMaxPath) {
    TempDir temp;
    // Far more names than one fetch of a folder's list holds.
    const int kNames = 3000;
    std::wstring folder = temp.MakeDir(L"多い");
    for (int i = 0; i < kNames; ++i) {
        std::wstring path = folder + L"\\出力ファイル 長めの名前 " + std::to_wstring(i) + L".webp";
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        CloseHandle(file);
    }
    OutputStateCache cache;
    int found = 0;
    for (int i = 0; i < kNames; i += 7) {
        found += cache.Read(VQWString((folder + L"\\出力ファイル 長めの名前 " + std::to_wstring(i) + L".webp").c_str())).exists;
    }
    EXPECT_EQ((kNames + 6) / 7, found);
    ExpectSameState(cache, folder + L"\\出力ファイル 長めの名前 " + std::to_wstring(kNames - 1) + L".webp", "the last");
    ExpectSameState(cache, folder + L"\\出力ファイル 長めの名前 " + std::to_wstring(kNames) + L".webp", "one more");

    // A folder whose path is longer than MAX_PATH, made in the \\?\ form.
    std::wstring deep = L"\\\\?\\" + temp.Path();
    for (int level = 0; deep.size() < MAX_PATH + 20; ++level) {
        deep += L"\\とても長いフォルダの名前 " + std::to_wstring(level) + L" ____________________";
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    std::wstring deepFile = deep + L"\\a.webp";
    HANDLE file = CreateFileW(deepFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, "abc", 3, &written, nullptr);
    CloseHandle(file);
    std::wstring plainDeep = deep.substr(4);
    OutputStateCache longCache;
    OutputState state = longCache.Read(VQWString((plainDeep + L"\\a.webp").c_str()));
    EXPECT_TRUE(state.exists);
    EXPECT_EQ(3u, state.size);
    ExpectSameState(longCache, plainDeep + L"\\a.webp", "beyond MAX_PATH");
    ExpectSameState(longCache, plainDeep + L"\\b.webp", "missing beyond MAX_PATH");
    // The tree is too deep for the temporary folder's own clean-up.
    DeleteFileW(deepFile.c_str());
    while (deep.size() > 4 + temp.Path().size()) {
        RemoveDirectoryW(deep.c_str());
        deep.resize(deep.rfind(L'\\'));
    }
}
