#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/explorer_menu.h"
#include "tests/support/registry_key.h"
#include "tests/support/temp_dir.h"

namespace {

// A .reg file as text (reg export writes UTF-16).
std::wstring RegText(const std::string& bytes) {
    if (bytes.size() < 2) return std::wstring();
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / sizeof(wchar_t));
    return text;
}

const wchar_t kClasses[] = L"Software\\Classes";

}  // namespace

// The user's part of the registry, exported whole before, with the menu, and after it is removed.
TEST(ExplorerMenu, AddingWritesTheEntriesAndRemovingLeavesTheClassesAsTheyWere) {
    TempDir dir;
    RemoveExplorerMenu(kClasses);
    // Windows always has the user's classes key; a fresh Wine prefix may not.
    HKEY classes = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kClasses, 0, nullptr, 0, KEY_READ, nullptr, &classes,
                                             nullptr));
    RegCloseKey(classes);
    std::string before = ExportedRegistryKey(L"Software", dir.Join(L"before.reg"));
    ASSERT_FALSE(before.empty());
    VQWString exe(L"C:\\Tools\\Q & A\\Quenbrix.exe");
    ASSERT_TRUE(AddExplorerMenu(exe, {VQWString(L"写真をWebPに"), VQWString(L"A&B 50%")}, kClasses));
    std::wstring added = RegText(ExportedRegistryKey(L"Software", dir.Join(L"added.reg")));
    for (const wchar_t* line : {
             L"[HKEY_CURRENT_USER\\Software\\Classes\\*\\shell\\Quenbrix]\r\n",
             L"\"MUIVerb\"=\"Quenbrix で実行\"",
             L"\"SubCommands\"=\"\"",
             L"[HKEY_CURRENT_USER\\Software\\Classes\\Directory\\shell\\Quenbrix\\shell\\02]\r\n\"MUIVerb\"=\"A&&B 50%\"",
             L"@=\"\\\"C:\\\\Tools\\\\Q & A\\\\Quenbrix.exe\\\" \\\"%1\\\"\"",
             L"@=\"\\\"C:\\\\Tools\\\\Q & A\\\\Quenbrix.exe\\\" /job \\\"写真をWebPに\\\" \\\"%1\\\"\"",
         }) {
        EXPECT_NE(std::wstring::npos, added.find(line)) << line;
    }
    EXPECT_EQ(ExplorerMenuState::kCurrent, ReadExplorerMenuState(exe, kClasses));
    EXPECT_EQ(ExplorerMenuState::kMoved, ReadExplorerMenuState(VQWString(L"D:\\Quenbrix.exe"), kClasses));
    ASSERT_TRUE(RemoveExplorerMenu(kClasses));
    EXPECT_EQ(ExplorerMenuState::kAbsent, ReadExplorerMenuState(exe, kClasses));
    // Compared whole, not printed: the export is long.
    EXPECT_TRUE(before == ExportedRegistryKey(L"Software", dir.Join(L"after.reg")));
}
