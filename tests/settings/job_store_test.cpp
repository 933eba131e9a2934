#include "settings/job_store.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "settings/settings_store.h"
#include "tests/support/temp_dir.h"

namespace {

std::wstring W(const VQWString& text) { return std::wstring(text.Text(), text.GetLength()); }
VQWString V(const std::wstring& text) { return VQWString(text.c_str()); }

std::string Utf16File(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

bool Refused(const std::wstring& name, std::wstring* why = nullptr) {
    VQWString reason;
    bool ok = JobStore::CheckName(V(name), reason);
    if (why) *why = W(reason);
    return !ok && !reason.IsEmpty();
}

}  // namespace

TEST(JobNames, WhatWindowsRefusesInAFileNameIsRefusedWithTheReason) {
    std::wstring why;
    for (const wchar_t* bad : {L"a/b", L"a\\b", L"a:b", L"a*b", L"a?b", L"a\"b", L"a<b", L"a>b", L"a|b"}) {
        EXPECT_TRUE(Refused(bad, &why)) << bad;
        EXPECT_NE(std::wstring::npos, why.find(L"使えません")) << bad;
    }
    EXPECT_TRUE(Refused(L"", &why));
    EXPECT_EQ(L"ジョブの名前を入力してください。", why);
    EXPECT_TRUE(Refused(L"   "));
    EXPECT_TRUE(Refused(L"tab\there"));
    EXPECT_TRUE(Refused(L"末尾.", &why));
    EXPECT_NE(std::wstring::npos, why.find(L"最後"));
    EXPECT_TRUE(Refused(L"末尾 "));
    EXPECT_TRUE(Refused(L"CON", &why));
    EXPECT_NE(std::wstring::npos, why.find(L"予約")) << "device names";
    EXPECT_TRUE(Refused(L"com1.old"));
    EXPECT_TRUE(Refused(L"lpt9"));
    EXPECT_TRUE(Refused(std::wstring(JobStore::kMaxNameLength + 1, L'長')));

    VQWString reason;
    EXPECT_TRUE(JobStore::CheckName(V(L"写真をWebPに"), reason));
    EXPECT_TRUE(JobStore::CheckName(V(L"console backup (1) & 100%"), reason)) << "CON only as the whole name";
    EXPECT_TRUE(JobStore::CheckName(V(std::wstring(JobStore::kMaxNameLength, L'長')), reason));
}

TEST(JobStore, ListsEveryIniByNameAndMarksTheOnesThatDoNotLoad) {
    TempDir dir;
    dir.WriteFile(L"jobs\\写真をWebPに.ini", Utf16File(L"[Quenbrix]\r\nCommand = cwebp \"$fullname\"\r\n"));
    dir.WriteFile(L"jobs\\b-backup.ini", "[Quenbrix]\r\nCommand = copy $name x\r\n");  // UTF-8 loads too
    dir.WriteFile(L"jobs\\壊れた.ini", "[Quenbrix\x80\x81\r\nCommand = \xC0\r\n");
    dir.WriteFile(L"jobs\\other-section.ini", "[Other]\r\nCommand = x\r\n");
    dir.WriteFile(L"jobs\\notes.txt", "[Quenbrix]\r\n");
    dir.MakeDir(L"jobs\\folder.ini");
    JobStore store(V(dir.Join(L"jobs")));
    std::vector<JobEntry> jobs = store.List();
    ASSERT_EQ(4u, jobs.size());
    std::vector<std::wstring> names;
    for (const JobEntry& job : jobs) names.push_back(W(job.name));
    // By name in the user's locale: the Latin ones first, the Japanese in its order.
    EXPECT_EQ(L"b-backup", names[0]);
    EXPECT_EQ(L"other-section", names[1]);
    auto job = [&](const std::wstring& name) {
        for (const JobEntry& entry : jobs) {
            if (W(entry.name) == name) return entry;
        }
        ADD_FAILURE() << "not listed";
        return JobEntry();
    };
    EXPECT_TRUE(job(L"b-backup").loads);
    EXPECT_FALSE(job(L"other-section").loads) << "no job section";
    EXPECT_TRUE(job(L"写真をWebPに").loads);
    EXPECT_FALSE(job(L"壊れた").loads) << "not a settings file";
    EXPECT_EQ(dir.Join(L"jobs\\写真をWebPに.ini"), W(job(L"写真をWebPに").path));

    EXPECT_TRUE(store.Exists(V(L"写真をWebPに")));
    EXPECT_FALSE(store.Exists(V(L"folder"))) << "a folder is no job";
    EXPECT_TRUE(store.Remove(V(L"b-backup")));
    EXPECT_FALSE(store.Exists(V(L"b-backup")));
    EXPECT_TRUE(JobStore(V(dir.Join(L"none"))).List().empty()) << "a missing folder lists nothing";
}

TEST(JobStore, FindJobLooksInTheJobsFolderOfThisStartAndSaysWhy) {
    TempDir dir;
    // This start's jobs folder is %APPDATA%\Quenbrix\jobs, read once.
    SetEnvironmentVariableW(L"APPDATA", dir.Path().c_str());
    ASSERT_EQ(dir.Join(L"Quenbrix\\jobs"), W(CurrentStoragePlace().jobsFolder));
    dir.WriteFile(L"Quenbrix\\jobs\\写真をWebPに.ini", Utf16File(L"[Quenbrix]\r\nCommand = x\r\n"));
    dir.WriteFile(L"Quenbrix\\jobs\\壊れた.ini", "[Quenbrix\x80\x81\r\nCommand = \xC0\r\n");
    VQWString path, error;
    EXPECT_TRUE(FindJob(V(L"写真をWebPに"), path, error));
    EXPECT_EQ(dir.Join(L"Quenbrix\\jobs\\写真をWebPに.ini"), W(path));
    EXPECT_TRUE(error.IsEmpty());

    EXPECT_FALSE(FindJob(V(L"無い"), path, error));
    EXPECT_TRUE(path.IsEmpty());
    EXPECT_EQ(0u, W(error).find(L"ジョブ「無い」はありません。"));
    EXPECT_FALSE(FindJob(V(L"壊れた"), path, error));
    EXPECT_NE(std::wstring::npos, W(error).find(L"読み込めません"));
    EXPECT_FALSE(FindJob(V(L"..\\..\\x"), path, error)) << "a name is never a path";
    EXPECT_NE(std::wstring::npos, W(error).find(L"使えません"));
}
