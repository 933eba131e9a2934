#include "base/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/log.h"
#include "tests/support/debug_output.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<std::wstring> Listed(const wchar_t* dir, const wchar_t* pattern, bool recurse, bool* result = nullptr) {
    VQWStringArray out;
    bool ok = EnumFiles(out, dir, pattern, recurse);
    if (result) *result = ok;
    std::vector<std::wstring> paths;
    for (int i = 0; i < out.GetCount(); ++i) paths.push_back(out[i].Text());
    return paths;
}

int IndexOf(const std::vector<std::wstring>& paths, const std::wstring& path) {
    auto it = std::find(paths.begin(), paths.end(), path);
    return it == paths.end() ? -1 : static_cast<int>(it - paths.begin());
}

// Turns the program's log to the debugger for one test.
class LogToDebugger {
public:
    LogToDebugger() : wasEnabled(vqLog.enabled), wasToFile(vqLog.toFile) {
        vqLog.enabled = 1;
        vqLog.toFile = 0;
    }
    ~LogToDebugger() {
        vqLog.enabled = wasEnabled;
        vqLog.toFile = wasToFile;
    }

private:
    uint8_t wasEnabled;
    uint8_t wasToFile;
};

class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::wstring& dir) {
        wchar_t old[MAX_PATH];
        GetCurrentDirectoryW(MAX_PATH, old);
        saved = old;
        SetCurrentDirectoryW(dir.c_str());
    }
    ~CurrentDirectory() { SetCurrentDirectoryW(saved.c_str()); }

private:
    std::wstring saved;
};

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

TEST(EnumFiles, DepthFirstWhereFoldersAreMet) {
    TempDir dir;
    dir.WriteFile(L"a.txt", "");
    dir.WriteFile(L"z.dat", "");
    dir.WriteFile(L"sub\\s1.txt", "");
    dir.WriteFile(L"sub\\deeper\\d1.txt", "");
    dir.WriteFile(L"sub\\s2.txt", "");
    dir.MakeDir(L"empty");
    bool ok = false;
    std::vector<std::wstring> all = Listed(dir.Path().c_str(), nullptr, true, &ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(5u, all.size());
    EXPECT_EQ(2u, Listed(dir.Path().c_str(), nullptr, false).size());
    // Everything under sub forms one run, with deeper's file inside it.
    int s1 = IndexOf(all, dir.Join(L"sub\\s1.txt"));
    int s2 = IndexOf(all, dir.Join(L"sub\\s2.txt"));
    int d1 = IndexOf(all, dir.Join(L"sub\\deeper\\d1.txt"));
    ASSERT_TRUE(s1 >= 0 && s2 >= 0 && d1 >= 0);
    int first = std::min({s1, s2, d1});
    EXPECT_EQ(2, std::max({s1, s2, d1}) - first);
    EXPECT_GE(IndexOf(all, dir.Join(L"z.dat")), 0);
}

TEST(EnumFiles, PatternAndDotRules) {
    TempDir dir;
    dir.WriteFile(L"keep.txt", "");
    dir.WriteFile(L"skip.dat", "");
    dir.WriteFile(L"folder.txt\\inside.txt", "");  // a folder that matches
    dir.WriteFile(L"plain\\hidden.txt", "");        // one that does not
    ASSERT_TRUE(Exists(dir.WriteFile(L"..old\\inside.txt", "")));
    ASSERT_TRUE(Exists(dir.WriteFile(L".cfg\\inside.txt", "")));
    std::vector<std::wstring> found = Listed(dir.Path().c_str(), L"*.txt", true);
    std::sort(found.begin(), found.end());
    std::vector<std::wstring> expected = {dir.Join(L"folder.txt\\inside.txt"), dir.Join(L"keep.txt")};
    EXPECT_EQ(expected, found);
    // Only "." and ".." themselves are passed over: folders whose names merely
    // begin with dots are searched like any other.
    std::vector<std::wstring> all = Listed(dir.Path().c_str(), nullptr, true);
    EXPECT_GE(IndexOf(all, dir.Join(L"..old\\inside.txt")), 0);
    EXPECT_GE(IndexOf(all, dir.Join(L".cfg\\inside.txt")), 0);
    EXPECT_EQ(6u, all.size());
}

TEST(EnumFiles, EmptyAndMissingFoldersGiveTrueAndNothing) {
    TempDir dir;
    bool ok = false;
    EXPECT_TRUE(Listed(dir.MakeDir(L"empty").c_str(), nullptr, true, &ok).empty());
    EXPECT_TRUE(ok);
    ok = false;
    EXPECT_TRUE(Listed(dir.Join(L"missing").c_str(), nullptr, true, &ok).empty());
    EXPECT_TRUE(ok);
}

TEST(EnumFiles, DeepTreePastTheOldLimitIsListedWhole) {
    TempDir dir;
    std::wstring deep;
    for (int i = 0; i < 12; ++i) deep += L"folder_level_" + std::to_wstring(i) + L"_abcdefghij\\";
    dir.WriteFile(deep + L"bottom.txt", "");
    dir.WriteFile(L"folder_level_0_abcdefghij\\near.txt", "");
    std::vector<std::wstring> found = Listed(dir.Path().c_str(), nullptr, true);
    ASSERT_EQ(2u, found.size());
    std::wstring bottom = dir.Join(deep + L"bottom.txt");
    ASSERT_GT(bottom.size(), 300u);
    EXPECT_GE(IndexOf(found, bottom), 0) << "listed in its ordinary form";

    // A relative folder must be made absolute before it can take the long form.
    CurrentDirectory here(dir.Path());
    std::vector<std::wstring> relative = Listed(L"folder_level_0_abcdefghij", nullptr, true);
    EXPECT_GE(IndexOf(relative, deep + L"bottom.txt"), 0);
    EXPECT_EQ(2u, relative.size());
}

TEST(SafeReplace, TempNamesBesideThePath) {
    TempDir dir;
    std::wstring path = dir.Join(L"s.ini");
    std::wstring name = MakeReplaceTempName(path.c_str()).Text();
    ASSERT_EQ(path.size() + 13, name.size());
    EXPECT_EQ(path + L".tmp.", name.substr(0, path.size() + 5));
    EXPECT_EQ(std::wstring::npos, name.find_first_not_of(L"0123456789abcdef", path.size() + 5));

    // Ten names are tried from the tick on: with all ten taken there is none.
    const DWORD tick = 0x7ffffff8;
    for (DWORD t = tick; t < tick + 10; ++t) {
        wchar_t taken[64];
        _snwprintf(taken, 64, L".tmp.%08x", static_cast<unsigned>(t));
        dir.WriteFile(std::wstring(L"s.ini") + taken, "");
    }
    EXPECT_TRUE(MakeReplaceTempName(path.c_str(), tick).IsEmpty());
    DeleteFileW((path + L".tmp.80000001").c_str());
    EXPECT_EQ(path + L".tmp.80000001", std::wstring(MakeReplaceTempName(path.c_str(), tick).Text()));
}

TEST(SafeReplace, ExistingAndMissingTargets) {
    TempDir dir;
    std::wstring path = dir.WriteFile(L"job.ini", "old");
    std::wstring temp = dir.WriteFile(L"job.ini.tmp.1", "new");
    EXPECT_TRUE(VQWin32ReplaceFile(path.c_str(), temp.c_str()));
    EXPECT_EQ("new", dir.ReadFile(L"job.ini"));
    EXPECT_FALSE(Exists(temp));

    std::wstring fresh = dir.Join(L"fresh.ini");
    temp = dir.WriteFile(L"fresh.ini.tmp.1", "made");
    EXPECT_TRUE(VQWin32ReplaceFile(fresh.c_str(), temp.c_str()));
    EXPECT_EQ("made", dir.ReadFile(L"fresh.ini"));
    EXPECT_FALSE(Exists(temp));
}

TEST(SafeReplace, LockedTargetIsKeptAndTheTempGoes) {
    TempDir dir;
    std::wstring path = dir.WriteFile(L"locked.ini", "old");
    std::wstring temp = dir.WriteFile(L"locked.ini.tmp.1", "new");
    // Another program holds the file without letting it be deleted.
    HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    DebugOutputCapture debug;
    bool replaced;
    {
        LogToDebugger log;
        replaced = VQWin32ReplaceFile(path.c_str(), temp.c_str(), 0);
    }
    CloseHandle(holder);
    EXPECT_FALSE(replaced);
    EXPECT_EQ("old", dir.ReadFile(L"locked.ini"));
    EXPECT_FALSE(Exists(temp));
    std::string line = debug.Text();
    const std::string head = "[VQWin32ReplaceFile]delete failure:";
    ASSERT_EQ(head.size() + 9, line.size()) << line;
    EXPECT_EQ(head, line.substr(0, head.size()));
    std::string code = line.substr(head.size(), 8);
    EXPECT_EQ(std::string::npos, code.find_first_not_of("0123456789abcdef")) << code;
    EXPECT_NE("00000000", code);
    EXPECT_EQ('\n', line.back());
}

TEST(SafeReplace, AHeldTargetIsTriedAgainForAWhile) {
    TempDir dir;
    std::wstring path = dir.WriteFile(L"held.ini", "old");
    std::wstring temp = dir.WriteFile(L"held.ini.tmp.1", "new");
    // An editor's handle: it lets others read and write, not delete or rename.
    HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    ASSERT_FALSE(MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
    const DWORD heldError = GetLastError();
    EXPECT_TRUE(heldError == ERROR_SHARING_VIOLATION || heldError == ERROR_ACCESS_DENIED) << heldError;

    // Still held when the time is up: the old file stays, after the wait.
    DWORD start = GetTickCount();
    EXPECT_FALSE(VQWin32ReplaceFile(path.c_str(), temp.c_str(), 300));
    EXPECT_GE(GetTickCount() - start, 250u);
    EXPECT_EQ("old", dir.ReadFile(L"held.ini"));

    // Let go while the replace waits: the new file takes the place.
    temp = dir.WriteFile(L"held.ini.tmp.2", "new");
    HANDLE letGo = CreateThread(
        nullptr, 0,
        [](void* handle) -> DWORD {
            Sleep(200);
            CloseHandle(static_cast<HANDLE>(handle));
            return 0;
        },
        holder, 0, nullptr);
    ASSERT_NE(nullptr, letGo);
    EXPECT_TRUE(VQWin32ReplaceFile(path.c_str(), temp.c_str(), 10000));
    WaitForSingleObject(letGo, INFINITE);
    CloseHandle(letGo);
    EXPECT_EQ("new", dir.ReadFile(L"held.ini"));
    EXPECT_FALSE(Exists(temp));
}

TEST(SafeReplace, FolderAtThePathIsRefused) {
    TempDir dir;
    std::wstring path = dir.MakeDir(L"busy");
    std::wstring temp = dir.WriteFile(L"busy.tmp.1", "new");
    EXPECT_FALSE(VQWin32ReplaceFile(path.c_str(), temp.c_str()));
    EXPECT_TRUE(Exists(temp));
}

TEST(SafeReplace, AWholeFileOrNothingAndNoTemporaryLeft) {
    TempDir dir;
    std::wstring path = dir.WriteFile(L"targets.txt", "old");
    auto write = [](const char* bytes, bool ok) {
        return [bytes, ok](const wchar_t* temp) {
            HANDLE file = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
            DWORD written = 0;
            WriteFile(file, bytes, static_cast<DWORD>(strlen(bytes)), &written, nullptr);
            CloseHandle(file);
            return ok;
        };
    };
    EXPECT_FALSE(ReplaceWholeFile(path.c_str(), write("half", false)));
    EXPECT_EQ("old", dir.ReadFile(L"targets.txt"));
    EXPECT_TRUE(ReplaceWholeFile(path.c_str(), write("new", true)));
    EXPECT_EQ("new", dir.ReadFile(L"targets.txt"));
    // A written file that cannot take the place goes as well.
    std::wstring folder = dir.MakeDir(L"busy");
    EXPECT_FALSE(ReplaceWholeFile(folder.c_str(), write("x", true)));
    EXPECT_EQ(std::vector<std::wstring>{path}, Listed(dir.Path().c_str(), nullptr, false)) << "a temporary file was left";
}

TEST(Directories, CurrentDirectoryEndsInOneBackslash) {
    TempDir dir;
    {
        CurrentDirectory here(dir.Path());
        EXPECT_EQ(dir.Path() + L"\\", GetCurrentDirectoryPath().Text());
        int length = static_cast<int>(dir.Path().size());
        wchar_t buf[MAX_PATH + 4];
        EXPECT_TRUE(CurrentDirectoryWithSlash(buf, length + 2));
        EXPECT_EQ(dir.Path() + L"\\", buf);
        EXPECT_FALSE(CurrentDirectoryWithSlash(buf, length + 1));  // no room for the backslash
    }
    CurrentDirectory root(L"C:\\");
    wchar_t buf[MAX_PATH];
    EXPECT_TRUE(CurrentDirectoryWithSlash(buf, MAX_PATH));
    EXPECT_STREQ(L"C:\\", buf);
}

TEST(Directories, ModuleDirectoryHoldsTheProgram) {
    VQString dir = GetModuleDirectory();
    ASSERT_FALSE(dir.IsEmpty());
    EXPECT_EQ('\\', dir.GetData()[dir.GetLength() - 1]);
    VQString program = dir + VQString("base_tests.exe");
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(program.Text()));
}

TEST(EnumFiles, LinksAreNotFollowedAndUnopenableNamesLeftOutWhenCounted) {
    TempDir dir;
    std::wstring top = dir.MakeDir(L"写真");
    dir.WriteFile(L"写真\\a.jpg", "a");
    dir.WriteFile(L"写真\\sub\\b.jpg", "b");
    // One link back to the top, one beside it: followed, each would list the tree again.
    std::wstring up = dir.MakeFolderLink(L"写真\\sub\\up", top);
    std::wstring again = dir.MakeFolderLink(L"写真\\again", top);
    ASSERT_FALSE(up.empty());
    ASSERT_FALSE(again.empty());
    // Names Windows drops or reads as devices; the \\?\ form makes them as written.
    for (const wchar_t* name : {L"aux.log", L"trail.", L"CON"}) {
        HANDLE h = CreateFileW((L"\\\\?\\" + top + L"\\sub\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h) << name;
        CloseHandle(h);
    }
    VQFolderSearch search;
    VQWStringArray out;
    EXPECT_TRUE(EnumFiles(out, top.c_str(), nullptr, true, &search));
    std::vector<std::wstring> paths;
    for (int i = 0; i < out.GetCount(); ++i) paths.push_back(out[i].Text());
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ((std::vector<std::wstring>{top + L"\\a.jpg", top + L"\\sub\\b.jpg"}), paths);
    EXPECT_EQ(2, search.linksPassed);
    EXPECT_EQ(3, search.unopenableNames);

    // Cancelled by its progress callback: false, and it says so.
    for (int i = 0; i < 600; ++i) dir.WriteFile(L"写真\\many\\" + std::to_wstring(i) + L".txt", "");
    VQFolderSearch stopped;
    int calls = 0;
    stopped.progress = [&](int found) {
        ++calls;
        return found <= 256;
    };
    VQWStringArray some;
    EXPECT_FALSE(EnumFiles(some, top.c_str(), nullptr, true, &stopped));
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(2, calls) << "asked at 256 and at 512 found";
}

// The fast way in (plain full paths) and the system's own must agree on
// everything a caller reads, whatever form the path has.
TEST(LookUpPath, AnswersAsGetFileAttributesExWDoes) {
    TempDir dir;
    std::wstring file = dir.WriteFile(L"写真 1.jpg", std::string(1234, 'x'));
    std::wstring folder = dir.MakeDir(L"sub");
    std::wstring deep = dir.Path();
    while (deep.size() < 300) deep += L"\\長いフォルダの名前";
    ASSERT_TRUE(CreateFolders(VQWString(deep.c_str())));
    std::wstring deepFile = deep + L"\\a.txt";
    HANDLE h = CreateFileW((L"\\\\?\\" + deepFile).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    std::wstring upper = file;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](wchar_t c) { return c == L'j' ? L'J' : c; });
    struct Case {
        std::wstring path;
        bool exists;
    };
    const Case cases[] = {
        {file, true},           {upper, true},  // names compare without case, as Windows does
        {folder, true},         {folder + L"\\", true},
        {dir.Path().substr(0, 3), true},       // the drive's root
        {dir.Join(L"none.txt"), false},        {dir.Join(L"none\\a.txt"), false},
        {deepFile, true},       {deep + L"\\none.txt", false},
        {dir.Join(L"sub\\..\\写真 1.jpg"), true},  // not plain: the system's own way
    };
    for (const Case& c : cases) {
        WIN32_FILE_ATTRIBUTE_DATA fast = {}, system = {};
        bool got = LookUpPath(VQWString(c.path.c_str()), &fast);
        EXPECT_EQ(c.exists, got) << c.path.c_str();
        if (!got) {
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, LookUpAttributes(VQWString(c.path.c_str())));
            continue;
        }
        std::wstring systemForm = c.path.size() >= MAX_PATH ? L"\\\\?\\" + c.path : c.path;
        ASSERT_TRUE(GetFileAttributesExW(systemForm.c_str(), GetFileExInfoStandard, &system)) << c.path.c_str();
        EXPECT_EQ(system.dwFileAttributes, fast.dwFileAttributes) << c.path.c_str();
        EXPECT_EQ(system.dwFileAttributes, LookUpAttributes(VQWString(c.path.c_str())));
        EXPECT_EQ(system.nFileSizeLow, fast.nFileSizeLow);
        EXPECT_EQ(system.nFileSizeHigh, fast.nFileSizeHigh);
        EXPECT_EQ(0, CompareFileTime(&system.ftLastWriteTime, &fast.ftLastWriteTime)) << c.path.c_str();
        EXPECT_EQ(0, CompareFileTime(&system.ftCreationTime, &fast.ftCreationTime));
    }
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(LookUpPath(VQWString(file.c_str()), &data));
    EXPECT_EQ(1234u, data.nFileSizeLow);
    EXPECT_FALSE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}
