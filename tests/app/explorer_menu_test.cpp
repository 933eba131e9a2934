#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/explorer_menu.h"
#include "app/resource.h"
#include "tests/app/app_window.h"
#include "tests/support/message_pump.h"
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

// Each shortcut the shell was asked for: its path, its target and its arguments.
std::vector<std::wstring> g_made;
bool NoteShortcut(const VQWString& link, const VQWString& target, const VQWString& arguments, const VQWString&) {
    g_made.push_back(std::wstring(link.Text()) + L"|" + target.Text() + L"|" + arguments.Text());
    return true;
}
VQWString TestSendTo() { return VQWString(L"C:\\送る\\"); }

// The ジョブ menu's command, its boxes answered in turn; the last box's caption.
std::wstring Command(AppWindow& app, int id, std::initializer_list<int> answers = {IDOK}) {
    std::vector<BoxAnswer> boxes(answers.size());
    TimerScript script;
    for (size_t i = 0; i < answers.size(); ++i) script.Then(AnswerBox(&boxes[i], answers.begin()[i]));
    script.Start();
    SendMessageW(app.Frame(), WM_COMMAND, id, 0);
    return boxes.back().caption;
}

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
    ASSERT_TRUE(AddExplorerMenu(exe, {VQWString(L"写真をWebPに"), VQWString(L"100%1"), VQWString(L"A&B 5")}, kClasses));
    std::wstring added = RegText(ExportedRegistryKey(L"Software", dir.Join(L"added.reg")));
    for (const wchar_t* line : {
             L"[HKEY_CURRENT_USER\\Software\\Classes\\*\\shell\\Quenbrix]\r\n",
             L"\"MUIVerb\"=\"Quenbrix で実行\"",
             L"\"SubCommands\"=\"\"",
             L"[HKEY_CURRENT_USER\\Software\\Classes\\Directory\\shell\\Quenbrix\\shell\\03]\r\n\"MUIVerb\"=\"A&&B 5\"",
             L"@=\"\\\"C:\\\\Tools\\\\Q & A\\\\Quenbrix.exe\\\" \\\"%1\\\"\"",
             L"@=\"\\\"C:\\\\Tools\\\\Q & A\\\\Quenbrix.exe\\\" /job \\\"写真をWebPに\\\" \\\"%1\\\"\"",
         }) {
        EXPECT_NE(std::wstring::npos, added.find(line)) << line;
    }
    EXPECT_EQ(std::wstring::npos, added.find(L"100%1")) << "Explorer would put the selection in its name";
    EXPECT_EQ(ExplorerMenuState::kCurrent, ReadExplorerMenuState(exe, kClasses));
    EXPECT_EQ(ExplorerMenuState::kMoved, ReadExplorerMenuState(VQWString(L"D:\\Quenbrix.exe"), kClasses));
    ASSERT_TRUE(RemoveExplorerMenu(kClasses));
    EXPECT_EQ(ExplorerMenuState::kAbsent, ReadExplorerMenuState(exe, kClasses));
    // Compared whole, not printed: the export is long.
    EXPECT_TRUE(before == ExportedRegistryKey(L"Software", dir.Join(L"after.reg")));
}

TEST(ExplorerMenuWindow, TheJobMenuWritesTheMenuForThisProgramFollowsTheJobsAndMakesTheSendToShortcuts) {
    PumpPending();
    TempDir jobs;
    const wchar_t job[] = L"\xFEFF[Quenbrix]\r\nCommand = x\r\n";
    for (const wchar_t* name : {L"A&B.ini", L"写真.ini"}) {
        jobs.WriteFile(name, std::string(reinterpret_cast<const char*>(job), sizeof job - sizeof(wchar_t)));
    }
    TestRegistryKey classes;
    std::wstring classesKey(classes.Path().begin(), classes.Path().end());
    AppWindow app(nullptr, nullptr, nullptr, [&](MainWindow& window) {
        window.storagePlace.jobsFolder = VQWString(jobs.Path().c_str());
        window.explorerClassesKey = classesKey.c_str();
        window.createShortcut = NoteShortcut;
        window.sendToFolder = TestSendTo;
    });
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring program = L"\"" + std::wstring(exe) + L"\"";
    EXPECT_EQ(L"エクスプローラーのメニュー", Command(app, IDM_EXPLORER_MENU_ADD));
    std::wstring added = QueriedRegistryKey(classesKey, jobs.Join(L"added.txt"));
    EXPECT_NE(std::wstring::npos, added.find(program + L" \"%1\""));
    EXPECT_NE(std::wstring::npos, added.find(program + L" /job \"A&B\" \"%1\""));
    // A job deleted: the submenu follows the names.
    ASSERT_NE(std::wstring::npos, added.find(L"MUIVerb    REG_SZ    A&&B"));
    ASSERT_TRUE(app.window->ChooseJob(VQWString(L"A&B")));
    Command(app, IDM_JOB_DELETE, {IDYES});
    std::wstring followed = QueriedRegistryKey(classesKey, jobs.Join(L"followed.txt"));
    ASSERT_FALSE(followed.empty()) << "reg query read nothing";
    EXPECT_EQ(std::wstring::npos, followed.find(L"A&&B"));
    EXPECT_NE(std::wstring::npos, followed.find(program + L" \"%1\"")) << "the entry that adds to the window stays";
    // Asked whether per job too, then told what was made.
    EXPECT_EQ(L"送るメニューに追加", Command(app, IDM_SEND_TO_ADD, {IDYES, IDOK}));
    std::wstring to = L"|" + std::wstring(exe) + L"|";
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\送る\\Quenbrix.lnk" + to, L"C:\\送る\\Quenbrix - 写真.lnk" + to + L"/job \"写真\""}),
              g_made);
    Command(app, IDM_EXPLORER_MENU_REMOVE);
    EXPECT_EQ(ExplorerMenuState::kAbsent, ReadExplorerMenuState(VQWString(exe), classesKey.c_str()));
    EXPECT_EQ(L"", QueriedRegistryKey(classesKey + L"\\*", jobs.Join(L"removed.txt")));
}
