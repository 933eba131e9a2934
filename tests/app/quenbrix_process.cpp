#include "tests/app/quenbrix_process.h"

#include <commctrl.h>

#include "app/resource.h"
#include "tests/support/window_queries.h"

namespace {

// A program that does not answer within this time is taken as hung.
const UINT kSendTimeoutMs = kWaitMs;

}  // namespace

LRESULT SendRemote(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result)) return -1;
    return static_cast<LRESULT>(result);
}

std::wstring RemoteText(HWND hwnd) {
    LRESULT length = SendRemote(hwnd, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT got = SendRemote(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

void SetRemoteText(HWND hwnd, const std::wstring& text) {
    SendRemote(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::vector<HWND> ChildWindows(HWND parent, const wchar_t* className) {
    std::vector<HWND> found;
    for (HWND child = FindWindowExW(parent, nullptr, className, nullptr); child;
         child = FindWindowExW(parent, child, className, nullptr)) {
        if (IsWindowVisible(child)) found.push_back(child);
    }
    return found;
}

std::wstring CopiedBoxText(HWND box) {
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
    if (SendRemote(box, WM_COPY, 0, 0) < 0) return std::wstring();
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const wchar_t* locked = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (locked) {
        text = locked;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

bool PressButton(HWND parent, const std::wstring& label) {
    for (HWND button : ChildWindows(parent, L"Button")) {
        if (RemoteText(button) != label) continue;
        WPARAM click = MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED);
        PostMessageW(parent, WM_COMMAND, click, reinterpret_cast<LPARAM>(button));
        return true;
    }
    return false;
}

QuenbrixProcess::~QuenbrixProcess() { End(); }

std::wstring QuenbrixProcess::ProgramPath() {
    wchar_t module[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH * 2);
    std::wstring path(module, n);
    path = path.substr(0, path.rfind(L'\\') + 1) + L"..\\Quenbrix.exe";
    wchar_t full[MAX_PATH * 2];
    DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    return length > 0 && length < MAX_PATH * 2 ? std::wstring(full) : path;
}

::testing::AssertionResult QuenbrixProcess::Start(const std::wstring& arguments) {
    ::testing::AssertionResult started = Launch(arguments);
    return started ? WaitForMainWindow() : started;
}

::testing::AssertionResult QuenbrixProcess::Launch(const std::wstring& arguments) {
    End();
    std::wstring commandLine = L"\"" + (program.empty() ? ProgramPath() : program) + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    // The list and the results files the program keeps go where the test looks.
    SetEnvironmentVariableW(L"LOCALAPPDATA", (appData.empty() ? ownAppData.Path() : appData).c_str());
    // The named jobs (%APPDATA%\Quenbrix\jobs) beside them.
    SetEnvironmentVariableW(L"APPDATA", (appData.empty() ? ownAppData.Path() : appData).c_str());
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        DWORD error = GetLastError();
        info = PROCESS_INFORMATION();
        return ::testing::AssertionFailure() << "the program did not start: error " << error;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult QuenbrixProcess::WaitForMainWindow() {
    ::testing::AssertionResult up = WaitUntil(L"the program's main window", [this] {
        return (frame = FindProcessWindow(info.dwProcessId, L"Quenbrix")) != nullptr;
    });
    if (up) {
        up = WaitUntil(L"the main window's panel",
                       [this] { return (panel = FindWindowExW(frame, nullptr, L"#32770", nullptr)) != nullptr; });
    }
    if (up && !Sync()) up = ::testing::AssertionFailure() << "the program's start-up did not end within the wait";
    return up;
}

bool QuenbrixProcess::IsRunning() const {
    return info.hProcess && WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT;
}

std::wstring QuenbrixProcess::Caption() const { return WindowText(frame); }

std::wstring QuenbrixProcess::Text(int id) const { return RemoteText(Control(id)); }

void QuenbrixProcess::SetText(int id, const std::wstring& text) const { SetRemoteText(Control(id), text); }

bool QuenbrixProcess::IsChecked(int id) const {
    return SendRemote(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void QuenbrixProcess::Click(int id) const {
    PostMessageW(panel, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Control(id)));
}

namespace {

// Memory in the program's own process, for a message whose argument points
// at a structure the control fills (the table's messages are not carried
// across processes for the caller).
class RemoteBlock {
public:
    RemoteBlock(HWND window, size_t bytes) : size(bytes) {
        DWORD id = 0;
        GetWindowThreadProcessId(window, &id);
        process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
        if (process) address = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBlock() {
        if (address) VirtualFreeEx(process, address, 0, MEM_RELEASE);
        if (process) CloseHandle(process);
    }
    bool Write(size_t offset, const void* data, size_t bytes) {
        return address && WriteProcessMemory(process, static_cast<char*>(address) + offset, data, bytes, nullptr);
    }
    bool Read(size_t offset, void* data, size_t bytes) {
        return address && ReadProcessMemory(process, static_cast<char*>(address) + offset, data, bytes, nullptr);
    }
    char* At(size_t offset) const { return static_cast<char*>(address) + offset; }
    bool IsValid() const { return address != nullptr; }

private:
    HANDLE process = nullptr;
    void* address = nullptr;
    size_t size;
};

}  // namespace

int QuenbrixProcess::RowCount() const {
    return static_cast<int>(SendRemote(Control(IDC_TARGET_LIST), LVM_GETITEMCOUNT, 0, 0));
}

std::wstring QuenbrixProcess::CellText(int row, int column) const {
    HWND list = Control(IDC_TARGET_LIST);
    const size_t units = 33000;
    RemoteBlock block(list, sizeof(LVITEMW) + units * sizeof(wchar_t));
    if (!block.IsValid()) return std::wstring();
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(block.At(sizeof(LVITEMW)));
    item.cchTextMax = static_cast<int>(units);
    block.Write(0, &item, sizeof item);
    LRESULT got = SendRemote(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                             reinterpret_cast<LPARAM>(block.At(0)));
    if (got <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(got), L'\0');
    block.Read(sizeof(LVITEMW), &text[0], text.size() * sizeof(wchar_t));
    return text;
}

bool QuenbrixProcess::IsRowSelected(int row) const {
    return (SendRemote(Control(IDC_TARGET_LIST), LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) &
            LVIS_SELECTED) != 0;
}

RECT QuenbrixProcess::RowRect(int row) const {
    HWND list = Control(IDC_TARGET_LIST);
    RECT rect = {LVIR_BOUNDS, 0, 0, 0};
    RemoteBlock block(list, sizeof rect);
    block.Write(0, &rect, sizeof rect);
    if (SendRemote(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(block.At(0)))) {
        block.Read(0, &rect, sizeof rect);
    } else {
        rect = RECT{};
    }
    return rect;
}

std::vector<std::wstring> QuenbrixProcess::List() const {
    // Each row's path as the table shows it: its folder (column 3), then its name (column 2).
    std::vector<std::wstring> items;
    int count = RowCount();
    for (int i = 0; i < count; ++i) items.push_back(CellText(i, 3) + CellText(i, 2));
    return items;
}

bool QuenbrixProcess::TypeAltChord(WORD virtualKey, bool shift) const {
    std::vector<WORD> keys = {VK_MENU};
    if (shift) keys.push_back(VK_SHIFT);
    keys.push_back(virtualKey);
    return TypeChord(keys);
}

bool QuenbrixProcess::TypeKey(WORD virtualKey, bool ctrl) const {
    std::vector<WORD> keys;
    if (ctrl) keys.push_back(VK_CONTROL);
    keys.push_back(virtualKey);
    return TypeChord(keys);
}

bool QuenbrixProcess::TypeChord(const std::vector<WORD>& keys) const {
    SetForegroundWindow(frame);
    if (!WaitUntil([this] { return GetForegroundWindow() == frame; })) return false;
    // Pressed in order, released in reverse, in one call so that nothing
    // else comes between and no key is left down.
    std::vector<INPUT> input;
    for (WORD key : keys) {
        INPUT down = {};
        down.type = INPUT_KEYBOARD;
        down.ki.wVk = key;
        input.push_back(down);
    }
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        INPUT up = {};
        up.type = INPUT_KEYBOARD;
        up.ki.wVk = *key;
        up.ki.dwFlags = KEYEVENTF_KEYUP;
        input.push_back(up);
    }
    UINT count = static_cast<UINT>(input.size());
    return SendInput(count, input.data(), sizeof(INPUT)) == count;
}

RECT QuenbrixProcess::ClientScreenRect() const {
    RECT client = {};
    GetClientRect(frame, &client);
    POINT origin = {0, 0};
    ClientToScreen(frame, &origin);
    OffsetRect(&client, origin.x, origin.y);
    return client;
}

bool QuenbrixProcess::Sync() const {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(frame, WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &result) != 0;
}

HWND QuenbrixProcess::FindOwnWindow(const wchar_t* className, const wchar_t* caption) const {
    return FindProcessWindow(info.dwProcessId, className, caption);
}

HWND QuenbrixProcess::WaitForWindow(const wchar_t* className, const wchar_t* caption, DWORD ms) const {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindOwnWindow(className, caption)) != nullptr; }, ms);
    return found;
}

DWORD QuenbrixProcess::Close(DWORD ms) {
    if (!info.hProcess) return STILL_ACTIVE;
    RequestClose();
    return WaitForExit(ms);
}

DWORD QuenbrixProcess::WaitForExit(DWORD ms) {
    if (!info.hProcess) return STILL_ACTIVE;
    if (WaitForSingleObject(info.hProcess, ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info.hProcess, &code);
    End();
    return code;
}

void QuenbrixProcess::End() {
    if (info.hProcess) {
        // A test that failed half-way may leave the program in a modal box.
        if (IsRunning()) {
            TerminateProcess(info.hProcess, 1);
            WaitForSingleObject(info.hProcess, 10000);
        }
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    info = PROCESS_INFORMATION();
    frame = nullptr;
    panel = nullptr;
}
