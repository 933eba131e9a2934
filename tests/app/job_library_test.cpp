// The named jobs without a window: the drop-down's entries, what choosing,
// saving as and deleting a job come to, and what counts as changed.
#include "app/job_library.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace {

std::wstring W(const VQWString& text) { return std::wstring(text.Text(), text.GetLength()); }
VQWString V(const std::wstring& text) { return VQWString(text.c_str()); }

// A jobs folder with a job that loads and one that does not, read by a library.
struct Folder {
    Folder() {
        const std::wstring job = L"\xFEFF[Quenbrix]\r\nCommand = cwebp\r\n";
        dir.WriteFile(L"jobs\\写真.ini", std::string(reinterpret_cast<const char*>(job.data()), job.size() * 2));
        dir.WriteFile(L"jobs\\壊れた.ini", "[Quenbrix\x80\x81\r\n");
        jobs.SetFolder(V(dir.Join(L"jobs")), true);
        jobs.Refresh();
    }
    TempDir dir;
    JobLibrary jobs;
};

}  // namespace

TEST(JobLibrary, ShowsEveryJobAfterNoneAndChoosesOnlyWhatLoads) {
    Folder f;
    ASSERT_EQ(3u, f.jobs.ShownEntries().size());
    EXPECT_EQ(L"（なし）", W(f.jobs.ShownEntries()[0]));
    // By name in the user's locale: which comes first is the locale's.
    int photo = W(f.jobs.ShownEntries()[1]) == L"写真" ? 1 : 2;
    EXPECT_EQ(L"壊れた （読み込めません）", W(f.jobs.ShownEntries()[3 - photo]));
    EXPECT_EQ(L"壊れた", W(f.jobs.NameAt(3 - photo))) << "the name, without the mark";
    EXPECT_EQ(L"", W(f.jobs.NameAt(3))) << "out of the list";
    const struct {
        const wchar_t* name;
        bool loads;
        std::wstring told;  // the path, or the message's first line
    } cases[] = {{L"", true, L""},
                 {L"写真", true, f.dir.Join(L"jobs\\写真.ini")},
                 {L"壊れた", false, L"ジョブ「壊れた」は設定ファイルとして読み込めません。"},
                 {L"ない", false, L"ジョブ「ない」はありません。"}};
    for (const auto& c : cases) {
        VQWString path, error;
        EXPECT_EQ(c.loads, f.jobs.FileToLoad(V(c.name), path, error)) << c.told;
        std::wstring told = W(c.loads ? path : error);
        EXPECT_EQ(c.told, told.substr(0, told.find(L'\n')));
    }
}

TEST(JobLibrary, SavingAsAsksBeforeReplacingAnotherJobAndRefusesBadNames) {
    Folder f;
    f.jobs.SetCurrent(V(L"写真"));
    const struct {
        const wchar_t* name;
        bool refused, asked;
    } cases[] = {{L"写真|WebP", true, false}, {L"写真", false, false}, {L"壊れた", false, true}, {L"新しい", false, false}};
    for (const auto& c : cases) {
        JobLibrary::NameCheck check = f.jobs.CheckSaveName(V(c.name));
        EXPECT_EQ(c.refused, !check.refusal.IsEmpty()) << W(V(c.name));
        EXPECT_EQ(c.asked, W(check.question) == L"ジョブ「" + std::wstring(c.name) + L"」は既にあります。上書きしますか？");
    }
    VQWString path, error;
    f.jobs.SetFolder(V(f.dir.Join(L"new")), false);
    EXPECT_FALSE(f.jobs.SavePath(V(L"a"), path, error)) << "an unwritable portable folder";
    EXPECT_NE(std::wstring::npos, W(error).find(L"ジョブを保存するフォルダーを作れません。"));
}

TEST(JobLibrary, DeletingLeavesNoJobAndAChangeIsWhatDiffersFromTheLastSave) {
    Folder f;
    f.jobs.SetCurrent(V(L"写真"));
    f.jobs.MarkSaved(V(L"Command=a"));
    EXPECT_TRUE(f.jobs.IsChanged(V(L"Command=b")));
    VQWString error;
    ASSERT_TRUE(f.jobs.DeleteCurrent(error));
    EXPECT_EQ(L"", W(f.jobs.Current()));
    EXPECT_FALSE(f.jobs.IsChanged(V(L"Command=a"))) << "the fields stay as saved";
    f.jobs.SetCurrent(V(L"写真"));
    EXPECT_FALSE(f.jobs.DeleteCurrent(error)) << "already gone";
    EXPECT_NE(std::wstring::npos, W(error).find(L"ジョブを削除できませんでした。"));
    // A job whose file went meanwhile is no longer the current one.
    f.jobs.Refresh();
    EXPECT_EQ(L"", W(f.jobs.Current()));
    EXPECT_EQ(2u, f.jobs.ShownEntries().size());
}
