#include "base/path_identity.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

bool SameFile(const wchar_t* a, const wchar_t* b) { return PathIdentity(VQWString(a)) == PathIdentity(VQWString(b)); }

bool Unopenable(const wchar_t* name) { return IsUnopenableName(name, static_cast<int>(wcslen(name))); }

}  // namespace

TEST(PathIdentity, SpellingsOfOneFileAreOneFile) {
    const wchar_t* spellings[] = {
        L"c:\\DATA\\photos\\IMG01.JPG", L"C:\\data\\.\\photos\\img01.jpg", L"C:\\data\\sub\\..\\photos\\img01.jpg",
        L"C:/data/photos/img01.jpg",    L"\\\\?\\C:\\data\\photos\\img01.jpg", L"C:\\data\\photos\\img01.jpg.",
        L"C:\\data\\photos\\img01.jpg  ", L"C:\\data\\\\photos\\img01.jpg",
    };
    for (const wchar_t* spelling : spellings) {
        EXPECT_TRUE(SameFile(L"C:\\data\\photos\\img01.jpg", spelling)) << spelling;
    }
    EXPECT_FALSE(SameFile(L"C:\\data\\photos\\img01.jpg", L"C:\\data\\photos\\img02.jpg"));
    EXPECT_FALSE(SameFile(L"C:\\data\\photos\\img01.jpg", L"D:\\data\\photos\\img01.jpg"));
    // Letters beyond ASCII fold as NTFS folds them; widths and kana do not.
    EXPECT_TRUE(SameFile(L"C:\\Ärger\\Ωμέγα.txt", L"C:\\ärger\\ΩΜΈΓΑ.txt"));
    EXPECT_FALSE(SameFile(L"C:\\ｱ.txt", L"C:\\ア.txt"));
    EXPECT_FALSE(SameFile(L"C:\\あ.txt", L"C:\\ア.txt"));
    EXPECT_TRUE(SameFile(L"\\\\server\\share\\A.txt", L"\\\\?\\UNC\\server\\share\\a.txt"));
}

TEST(PathSet, ASecondSpellingIsRefusedAndTheFirstOneFound) {
    std::vector<std::wstring> list;
    VQPathSet set([&](int index) { return VQWString(list[static_cast<size_t>(index)].c_str()); });
    const int n = 20000;
    for (int i = 0; i < n; ++i) {
        list.push_back(L"C:\\photos\\" + std::to_wstring(i / 100) + L"\\IMG_" + std::to_wstring(i) + L".jpg");
        ASSERT_TRUE(set.Insert(VQWString(list.back().c_str()), i)) << i;
    }
    EXPECT_EQ(n, set.GetCount());
    EXPECT_EQ(12345, set.Find(VQWString(L"c:\\PHOTOS\\123\\.\\img_12345.JPG")));
    EXPECT_EQ(-1, set.Find(VQWString(L"C:\\photos\\123\\IMG_12345.png")));
    EXPECT_FALSE(set.Insert(VQWString(L"C:\\photos\\7\\..\\0\\img_5.jpg"), n));
    EXPECT_EQ(n, set.GetCount());
    // The same file taken again at another place of the list is found there.
    list.push_back(L"C:\\PHOTOS\\0\\IMG_5.JPG");
    EXPECT_TRUE(set.Reassign(VQWString(list.back().c_str()), n));
    EXPECT_EQ(n, set.Find(VQWString(L"C:\\photos\\0\\img_5.jpg")));
    EXPECT_EQ(n, set.GetCount());
    EXPECT_FALSE(set.Reassign(VQWString(L"C:\\photos\\none.jpg"), 0));
}

TEST(UnopenableNames, DevicesWithAnyExtensionAndTrailingDotsOrSpaces) {
    for (const wchar_t* name : {L"CON", L"con", L"AUX.log", L"nul.txt", L"NUL .txt", L"Com1", L"COM9.tar.gz",
                                L"lpt3.doc", L"COM\x00B9", L"PRN", L"conout$", L"name.", L"name ", L"a b.c .", L"名前."}) {
        EXPECT_TRUE(Unopenable(name)) << name;
    }
    for (const wchar_t* name : {L"CONSOLE", L"auxiliary.log", L"COM10", L"COMA", L"LPT", L"my con.txt", L".profile",
                                L".", L"..", L"a.b"}) {
        EXPECT_FALSE(Unopenable(name)) << name;
    }
    EXPECT_TRUE(HasUnopenableName(VQWString(L"C:\\share\\aux.log")));
    EXPECT_TRUE(HasUnopenableName(VQWString(L"C:\\CON\\a.txt")));
    EXPECT_TRUE(HasUnopenableName(VQWString(L"D:\\wsl\\dir.\\a.txt")));
    EXPECT_FALSE(HasUnopenableName(VQWString(L"C:\\data\\a.txt")));
    EXPECT_FALSE(HasUnopenableName(VQWString(L"\\\\?\\C:\\data\\a.txt")));
    EXPECT_FALSE(HasUnopenableName(VQWString(L"\\\\nul\\share\\a.txt"))) << "a server's name is not a file's";
    EXPECT_FALSE(HasUnopenableName(VQWString(L"C:\\data\\..\\a.txt")));
}

TEST(PathIdentity, ANameFoldedIntoABufferIsFoldNameCase) {
    std::wstring buffer = L"前";
    for (const wchar_t* name : {L"photo 1.Jpg", L"Äσ写真ｱ.webp", L""}) {
        size_t before = buffer.size();
        AppendFoldedName(name, static_cast<int>(wcslen(name)), buffer);
        EXPECT_EQ(std::wstring(FoldNameCase(VQWString(name)).Text()), buffer.substr(before));
    }
    EXPECT_EQ(0u, buffer.find(L"前")) << "what was there stays";
    // The paths GetFullPathNameW hands back as they are.
    auto IsPlainFullPath = [](const wchar_t* path) { return ::IsPlainFullPath(path, static_cast<int>(wcslen(path))); };
    EXPECT_TRUE(IsPlainFullPath(L"c:\\写真\\a b.jpg"));
    EXPECT_FALSE(IsPlainFullPath(L"C:\\x\\..\\a"));
    EXPECT_FALSE(IsPlainFullPath(L"C:\\x.\\a"));
    EXPECT_FALSE(IsPlainFullPath(L"C:/x"));
    EXPECT_FALSE(IsPlainFullPath(L"\\\\srv\\share\\a"));
}
