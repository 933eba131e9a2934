#include "engine/child_environment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The entries of an environment block, in order.
std::vector<std::wstring> Entries(const wchar_t* block) {
    std::vector<std::wstring> entries;
    for (const wchar_t* at = block; *at; at += wcslen(at) + 1) entries.push_back(at);
    return entries;
}

}  // namespace

TEST(ChildEnvironment, TheTargetsValuesJoinWhatIsInheritedInNameOrder) {
    // Values left by a Quenbrix that started this one go, whatever their case.
    const wchar_t inherited[] = L"=C:=C:\\work\0ALPHA=1\0qb_name=stale\0QB_EXT=stale\0QB_OTHER=mine\0Zeta=2\0";
    ChildEnvironment environment(inherited);
    std::vector<std::wstring> entries = Entries(environment.For(VQWString(L"C:\\写真\\旅行.v1.jpg"), VQWString()));
    std::vector<std::wstring> expected = {
        L"=C:=C:\\work",
        L"ALPHA=1",
        L"QB_DIR=\\写真\\",
        L"QB_DRIVE=C:",
        L"QB_EXT=jpg",
        L"QB_FULLNAME=C:\\写真\\旅行.v1.jpg",
        L"QB_FULLTITLE=C:\\写真\\旅行.v1",
        L"QB_HASHDIR=^ 写真^ ",
        L"QB_HASHNAME=C^;^ 写真^ 旅行.v1.jpg",
        L"QB_HASHPATH=C^;^ 写真^ ",
        L"QB_HASHTITLE=C^;^ 写真^ 旅行.v1",
        L"QB_NAME=旅行.v1.jpg",
        L"QB_OTHER=mine",
        L"QB_PATH=C:\\写真\\",
        L"QB_STEM=旅行.v1",
        L"QB_TITLE=旅行",
        L"Zeta=2",
    };
    EXPECT_EQ(expected, entries) << "QB_PRE is empty: Windows has no empty variables";

    // The next step's block replaces the last one's; a value too long for a variable is left out.
    std::wstring pre(kMaxEnvironmentValueUnits, L'p');
    entries = Entries(environment.For(VQWString(L"a"), VQWString(pre.c_str())));
    std::vector<std::wstring> names;
    for (const std::wstring& entry : entries) names.push_back(entry.substr(0, entry.find(L'=', 1)));
    EXPECT_EQ((std::vector<std::wstring>{L"=C:", L"ALPHA", L"QB_FULLNAME", L"QB_FULLTITLE", L"QB_HASHNAME",
                                         L"QB_HASHTITLE", L"QB_NAME", L"QB_OTHER", L"QB_PRE", L"QB_STEM", L"QB_TITLE",
                                         L"Zeta"}),
              names);
    EXPECT_TRUE(entries[8] == L"QB_PRE=" + pre);
    pre += L'p';
    entries = Entries(environment.For(VQWString(L"a"), VQWString(pre.c_str())));
    EXPECT_EQ(11u, entries.size()) << "QB_PRE over the limit is left out";
    for (const std::wstring& entry : entries) EXPECT_NE(0u, entry.find(L"QB_PRE=")) << "over the limit";
}

TEST(ChildEnvironment, EachTemplateVariableNamesItsOwn) {
    EXPECT_STREQ(L"QB_FULLNAME", FileEnvironmentName(L"FullName"));
    EXPECT_STREQ(L"QB_PRE", FileEnvironmentName(L"pre"));
    EXPECT_EQ(nullptr, FileEnvironmentName(L"level"));
    EXPECT_EQ(nullptr, FileEnvironmentName(nullptr));
}
