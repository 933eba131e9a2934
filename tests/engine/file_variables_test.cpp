#include "engine/file_variables.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring W(const VQWString& s) { return std::wstring(s.Text(), s.GetLength()); }

// The level walk's value, or "<error>" when it fails.
std::wstring Level(const wchar_t* path, int skip, int keep = 0) {
    VQWString result(L"untouched");
    if (!GetLevelPath(path, skip, keep, result)) {
        EXPECT_EQ(L"untouched", W(result)) << "a failed walk must leave the result alone";
        return L"<error>";
    }
    return W(result);
}

const wchar_t kPhoto[] = L"C:\\data\\photos\\img01.jpg";

}  // namespace

TEST(FileVariables, WorkedExamplePath) {
    EXPECT_EQ(L"jpg", W(GetFileExt(kPhoto)));
    EXPECT_EQ(L"\\data\\photos\\", W(GetDirWithoutDrive(kPhoto)));
    EXPECT_EQ(L"img01.jpg", W(GetFileName(kPhoto)));
    EXPECT_EQ(L"C:\\data\\photos\\", W(GetDirPath(kPhoto)));
    EXPECT_EQ(L"img01", W(GetFileTitle(kPhoto)));
    EXPECT_EQ(L"C:", W(GetDrive(kPhoto)));
    EXPECT_EQ(L"C:\\data\\photos\\img01", W(GetFullTitle(kPhoto)));
    EXPECT_EQ(L"C^;^ data^ photos^ img01.jpg", W(ToHashForm(kPhoto)));
    EXPECT_EQ(L"^ data^ photos^ ", W(ToHashForm(GetDirWithoutDrive(kPhoto))));
}

TEST(FileVariables, LevelWalkSkipsAndKeepsDirectoryNames) {
    EXPECT_EQ(L"data\\photos\\", Level(kPhoto, 0));
    EXPECT_EQ(L"photos\\", Level(kPhoto, 1));
    EXPECT_EQ(L"", Level(kPhoto, 2));
    EXPECT_EQ(L"<error>", Level(kPhoto, 3));
    EXPECT_EQ(L"data\\", Level(kPhoto, 0, 1));
    EXPECT_EQ(L"data\\photos\\", Level(kPhoto, 0, 2));
    EXPECT_EQ(L"photos\\", Level(kPhoto, 1, 1));
    EXPECT_EQ(L"<error>", Level(kPhoto, 0, 3));
    EXPECT_EQ(L"<error>", Level(kPhoto, 2, 1));
    EXPECT_EQ(L"b\\c\\", Level(L"D:\\a\\b\\c\\d\\e\\f.txt", 1, 2));
}

TEST(FileVariables, PathWithoutSeparator) {
    const wchar_t* t = L"img.jpg";
    EXPECT_EQ(L"", W(GetDirPath(t)));
    EXPECT_EQ(L"", W(GetDirWithoutDrive(t)));
    EXPECT_EQ(L"", W(GetDrive(t)));
    EXPECT_EQ(L"img.jpg", W(GetFileName(t)));
    EXPECT_EQ(L"", Level(t, 0));
    EXPECT_EQ(L"<error>", Level(t, 1));
}

TEST(FileVariables, DriveRoot) {
    const wchar_t* t = L"C:\\img.jpg";
    EXPECT_EQ(L"C:\\", W(GetDirPath(t)));
    EXPECT_EQ(L"\\", W(GetDirWithoutDrive(t)));
    EXPECT_EQ(L"", Level(t, 0));
    EXPECT_EQ(L"<error>", Level(t, 0, 1));
}

TEST(FileVariables, UncPathDropsOnlyOneLeadingBackslash) {
    const wchar_t* t = L"\\\\server\\share\\a.txt";
    EXPECT_EQ(L"", W(GetDrive(t)));
    EXPECT_EQ(L"\\\\server\\share\\", W(GetDirPath(t)));
    EXPECT_EQ(L"\\\\server\\share\\", W(GetDirWithoutDrive(t)));
    EXPECT_EQ(L"\\server\\share\\", Level(t, 0));
    EXPECT_EQ(L"server\\share\\", Level(t, 1));
    EXPECT_EQ(L"^ ^ server^ share^ a.txt", W(ToHashForm(t)));
}

TEST(FileVariables, DotsDecideTitleExtensionAndFullTitleDifferently) {
    const wchar_t* profile = L"C:\\cfg\\.profile";
    EXPECT_EQ(L"", W(GetFileTitle(profile)));
    EXPECT_EQ(L"profile", W(GetFileExt(profile)));
    EXPECT_EQ(L"C:\\cfg\\", W(GetFullTitle(profile)));

    const wchar_t* readme = L"C:\\ver.2\\readme";
    EXPECT_EQ(L"", W(GetFileExt(readme)));
    EXPECT_EQ(L"readme", W(GetFileTitle(readme)));
    EXPECT_EQ(readme, W(GetFullTitle(readme)));

    const wchar_t* archive = L"D:\\work\\archive.tar.gz";
    EXPECT_EQ(L"archive", W(GetFileTitle(archive)));
    EXPECT_EQ(L"D:\\work\\archive.tar", W(GetFullTitle(archive)));
    EXPECT_EQ(L"gz", W(GetFileExt(archive)));

    // The stem is the name up to its last dot: what the full title ends with.
    EXPECT_EQ(L"", W(GetFileStem(profile)));
    EXPECT_EQ(L"readme", W(GetFileStem(readme)));
    EXPECT_EQ(L"archive.tar", W(GetFileStem(archive)));
    EXPECT_EQ(L"a.b", W(GetFileStem(L"a.b.c")));
    EXPECT_EQ(L"noext", W(GetFileStem(L"noext")));
    EXPECT_EQ(L"name", W(GetFileStem(L"C:\\x\\name.")));
    EXPECT_EQ(L"", W(GetFileStem(L"C:\\x\\")));

    // Unit 0 is never the full title's dot, but it is the extension's.
    EXPECT_EQ(L".bashrc", W(GetFullTitle(L".bashrc")));
    EXPECT_EQ(L"bashrc", W(GetFileExt(L".bashrc")));
    EXPECT_EQ(L"", W(GetFileTitle(L".bashrc")));
    // The stem follows the extension here, so that stem, "." and extension give the name.
    EXPECT_EQ(L"", W(GetFileStem(L".bashrc")));
    EXPECT_EQ(L"x", W(GetFullTitle(L"x")));
}

TEST(FileVariables, SlashIsNotASeparator) {
    const wchar_t* t = L"C:/a/b.txt";
    EXPECT_EQ(t, W(GetFileName(t)));
    EXPECT_EQ(L"C:", W(GetDirPath(t)));
    EXPECT_EQ(L"", W(GetDirWithoutDrive(t)));
    EXPECT_EQ(L"C:/a/b", W(GetFileTitle(t)));
}

TEST(FileVariables, DrivePrefixIsAnyAsciiLetter) {
    const wchar_t* t = L"c:\\x\\y.z";
    EXPECT_TRUE(HasDrivePrefix(t));
    EXPECT_EQ(L"c:", W(GetDrive(t)));
    EXPECT_EQ(L"\\x\\", W(GetDirWithoutDrive(t)));
    EXPECT_TRUE(HasDrivePrefix(L"Z:"));
    EXPECT_FALSE(HasDrivePrefix(L"1:\\x"));
    EXPECT_FALSE(HasDrivePrefix(L"\u00e4:\\x"));
    EXPECT_FALSE(HasDrivePrefix(L"C"));
    EXPECT_FALSE(HasDrivePrefix(L"CD:"));
    EXPECT_FALSE(HasDrivePrefix(static_cast<const wchar_t*>(nullptr)));
    // "1:" is no drive: $dir keeps it.
    EXPECT_EQ(L"1:\\x\\", W(GetDirWithoutDrive(L"1:\\x\\y")));
}

TEST(FileVariables, HashFormEscapesEveryMarker) {
    EXPECT_EQ(L"a^^b", W(ToHashForm(L"a^b")));
    EXPECT_EQ(L"^;^ ^^", W(ToHashForm(L":\\^")));
    EXPECT_TRUE(ToHashForm(L"").IsEmpty());
    EXPECT_EQ(L"plain", W(ToHashForm(L"plain")));
}

TEST(FileVariables, OutputBecomesOneLineWithoutItsLastLineBreaks) {
    auto flat = [](const wchar_t* text) { return W(FlattenOutput(VQWString(text))); };
    EXPECT_EQ(L"renamed_旅行", flat(L"renamed_旅行\r\n"));
    EXPECT_EQ(L"a b", flat(L"a\r\nb\r\n\r\n"));
    EXPECT_EQ(L"a b c", flat(L"a\rb\nc\n"));
    EXPECT_EQ(L"a  b", flat(L"a\r\r\nb")) << "a lone CR, then a pair";
    EXPECT_EQ(L" x \t", flat(L" x \t\n")) << "blanks are the output's own";
    EXPECT_EQ(L"", flat(L"\r\n\r\n"));
    EXPECT_EQ(L"plain", flat(L"plain"));
}
