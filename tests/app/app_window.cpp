#include "tests/app/app_window.h"

#include <cwchar>

#include "tests/support/message_pump.h"
#include "tests/support/timer_script.h"
#include "win32/list_view.h"
#include "win32/window.h"

namespace {

// The system's clock, and as much more as the tests let pass.
DWORD g_timePassed = 0;
// While frozen, only PassTime moves the clock: a busy machine cannot make a
// press come later than the test means it to.
bool g_frozen = false;
DWORD g_frozenAt = 0;
DWORD WINAPI TestTickCount() { return (g_frozen ? g_frozenAt : GetTickCount()) + g_timePassed; }

}  // namespace

AppWindow::AppWindow(const JobSettings* settings, const wchar_t* dataFolder, const RECT* savedClientRect,
                     const std::function<void(MainWindow&)>& beforeOpen)
    : window(new MainWindow(GetModuleHandleW(nullptr))), opened(false) {
    window->tickCount = TestTickCount;
    if (savedClientRect) key.Write("ClientRect", REG_BINARY, savedClientRect, sizeof *savedClientRect);
    VQWin32SetMainWindow(window);
    window->dataFolder = dataFolder ? VQWString(dataFolder) : VQWString(appData.Join(L"Quenbrix").c_str());
    window->registryKey = key.Path().c_str();
    window->savePlacement = 1;
    if (beforeOpen) beforeOpen(*window);
    JobSettings defaults = MakeSettings(L"", L"", L"", L"", true);
    VQWin32DialogWindowCreateInfo* info =
        MakeMainPanelCreateInfo(settings ? *settings : defaults, SW_SHOWNOACTIVATE, window->instance, window->Table());
    opened = window->Open(info);
    delete info;
    PumpPending();
}

AppWindow::~AppWindow() {
    FreezeClock(false);
    Close();
    delete window;
    VQWin32SetMainWindow(nullptr);
}

std::wstring AppWindow::Text(int id) const {
    wchar_t buffer[4096] = {0};
    GetDlgItemTextW(Panel(), id, buffer, 4096);
    return buffer;
}

std::wstring AppWindow::Counts() const {
    std::wstring text = Text(IDC_TABLE_STATUS), plain;
    bool inTag = false;
    for (wchar_t c : text) {
        if (c == L'<') inTag = true;
        if (!inTag) plain += c;
        if (c == L'>') inTag = false;
    }
    return plain;
}

void AppWindow::SetText(int id, const std::wstring& text) const { SetDlgItemTextW(Panel(), id, text.c_str()); }

bool AppWindow::IsChecked(int id) const { return IsDlgButtonChecked(Panel(), id) == BST_CHECKED; }

void AppWindow::SetChecked(int id, bool checked) const {
    CheckDlgButton(Panel(), id, checked ? BST_CHECKED : BST_UNCHECKED);
    SendMessageW(Panel(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Control(id)));
}

void AppWindow::Click(int id) const {
    SendMessageW(Panel(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Control(id)));
}

std::vector<std::wstring> AppWindow::List() const {
    // Each row's path as the table shows it: its folder, then its name.
    std::vector<std::wstring> items;
    VQWin32DialogItemListView* table = Table();
    int count = table ? table->GetCount() : 0;
    for (int i = 0; i < count; ++i) {
        items.push_back(std::wstring(table->GetCellText(i, static_cast<int>(TargetColumn::Folder)).Text()) +
                        table->GetCellText(i, static_cast<int>(TargetColumn::Name)).Text());
    }
    return items;
}

VQWin32DialogItemListView* AppWindow::Table() const {
    return dynamic_cast<VQWin32DialogItemListView*>(window->FindItemById(IDC_TARGET_LIST));
}

std::vector<int> AppWindow::Selected() const {
    std::vector<int> rows;
    if (VQWin32DialogItemListView* table = Table()) table->GetSelectedIndices(rows);
    return rows;
}

void AppWindow::AddTargets(const std::vector<std::wstring>& paths) const {
    VQArray<VQWString, VQWString> batch;
    for (const std::wstring& p : paths) batch.Add(VQWString(p.c_str()));
    window->AddTargets(&batch);
}

void AppWindow::Select(int index) const {
    // As a click on the row does: that row alone, with the focus mark.
    if (VQWin32DialogItemListView* table = Table()) table->SelectOnly(index);
}

::testing::AssertionResult AppWindow::WaitForRunEnd(DWORD ms) {
    return PumpUntil(L"the end of the run", [this] { return window->RunControl().State() == RunState::Idle; }, ms);
}

void AppWindow::PassTime(DWORD ms) { g_timePassed += ms; }

void AppWindow::FreezeClock(bool frozen) {
    if (frozen && !g_frozen) g_frozenAt = GetTickCount();
    // Time goes on from where the frozen clock stood.
    if (!frozen && g_frozen) g_timePassed = g_timePassed + g_frozenAt - GetTickCount();
    g_frozen = frozen;
}

bool AppWindow::RunAnswering(int answer, BoxAnswer* box) {
    // As a user does, some time after the run before ended.
    PassTime(RunController::kRunAfterEndMs);
    BoxAnswer unused;
    TimerScript script;
    script.Then(AnswerBox(box ? box : &unused, answer));
    script.Start();
    Click(IDC_RUN_BUTTON);
    bool ended = WaitForRunEnd();
    PumpFor(100);
    return ended;
}

void AppWindow::Close() {
    if (window->handle && IsWindow(window->handle)) {
        SendMessageW(window->handle, WM_CLOSE, 0, 0);
        PumpPending();
    }
}

JobSettings MakeSettings(const wchar_t* fileExt, const wchar_t* preCommand, const wchar_t* command,
                         const wchar_t* directory, bool deleteFinished) {
    JobSettings s;
    const wchar_t* texts[] = {fileExt, preCommand, command, directory};
    wchar_t* buffers[] = {s.fileExt, s.preCommand, s.command, s.directory};
    const int limits[] = {JobSettings::kFileExtLimit, JobSettings::kPreCommandLimit, JobSettings::kCommandLimit,
                          JobSettings::kDirectoryLimit};
    for (int i = 0; i < 4; ++i) {
        wcsncpy(buffers[i], texts[i], limits[i]);
        buffers[i][limits[i]] = L'\0';
    }
    s.deleteFinished = deleteFinished ? 1 : 0;
    return s;
}
