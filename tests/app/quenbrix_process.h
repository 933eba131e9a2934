// The real Quenbrix.exe in a process of its own, met as a user meets it:
// its window found by class and process, its controls read and set with
// window messages, its buttons pressed, its boxes and dialogs found and
// answered, and the process closed for its exit code. A process still
// running when the object goes is ended, so a failed test leaves nothing.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

class QuenbrixProcess {
public:
    // The windows of a slow start or a slow dialog appear within this time.
    enum { kWindowWaitMs = kWaitMs };

    QuenbrixProcess() = default;
    ~QuenbrixProcess();
    QuenbrixProcess(const QuenbrixProcess&) = delete;
    QuenbrixProcess& operator=(const QuenbrixProcess&) = delete;

    // Quenbrix.exe in the folder above the running test program's (the
    // tests run from build/tests; the program is build/Quenbrix.exe).
    static std::wstring ProgramPath();

    // Starts the program with the arguments (as they follow its quoted path
    // on the command line) and waits until its main window and panel are up
    // and the start-up (the command-line import) is over. The program's
    // %LOCALAPPDATA% and %APPDATA% are appData (a folder of this object's own unless a test
    // sets it, for instance to the one of a run before a restart).
    ::testing::AssertionResult Start(const std::wstring& arguments = std::wstring());
    // Only starts it: a start that hands its paths to an open window ends without one.
    ::testing::AssertionResult Launch(const std::wstring& arguments = std::wstring());
    // After Launch: waits for the main window and panel and the start-up's end, as Start does.
    ::testing::AssertionResult WaitForMainWindow();
    std::wstring appData;
    // The program to start instead of ProgramPath() (a copy of it elsewhere).
    std::wstring program;
    bool IsRunning() const;

    HWND Frame() const { return frame; }
    HWND Panel() const { return panel; }
    HWND Control(int id) const { return GetDlgItem(panel, id); }

    std::wstring Caption() const;
    std::wstring Text(int id) const;
    void SetText(int id, const std::wstring& text) const;
    bool IsChecked(int id) const;
    bool IsEnabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
    // The button's click as the panel hears it; posted, so that a command
    // that opens a modal box does not hold the test up.
    void Click(int id) const;
    std::vector<std::wstring> List() const;
    // The table's rows, a cell's text as it shows it, whether a row is
    // selected and where it lies (client coordinates of the table).
    int RowCount() const;
    std::wstring CellText(int row, int column) const;
    bool IsRowSelected(int row) const;
    RECT RowRect(int row) const;
    // Brings the window to the foreground and types Alt (and Shift) with the
    // key, as real keystrokes: the program's thread sees the key state, so
    // its accelerators work as they do for a user. False when the window
    // did not come to the foreground or the input was refused.
    bool TypeAltChord(WORD virtualKey, bool shift) const;
    // The same for a key alone, or with Ctrl held.
    bool TypeKey(WORD virtualKey, bool ctrl = false) const;
    // The client area in screen coordinates.
    RECT ClientScreenRect() const;

    // Waits until every message sent before has been handled: the program's
    // thread is back in a message loop.
    bool Sync() const;
    // A visible top-level window of the program, polled for up to `ms`.
    HWND WaitForWindow(const wchar_t* className, const wchar_t* caption = nullptr, DWORD ms = kWindowWaitMs) const;
    HWND FindOwnWindow(const wchar_t* className, const wchar_t* caption = nullptr) const;

    // Closes the main window as the close box does; the exit code, or
    // STILL_ACTIVE when the process has not ended within `ms`.
    DWORD Close(DWORD ms = kWindowWaitMs);
    // The close box pressed, without waiting: the program may ask first.
    void RequestClose() const { PostMessageW(frame, WM_CLOSE, 0, 0); }
    // The program's end, for `ms`: its exit code, or STILL_ACTIVE.
    DWORD WaitForExit(DWORD ms = kWindowWaitMs);
    // Ended from outside, as a crash or the task manager would end it.
    void Kill() { End(); }

private:
    void End();
    // Presses the keys in order and releases them in reverse, in the foreground window.
    bool TypeChord(const std::vector<WORD>& keys) const;

    TempDir ownAppData;
    PROCESS_INFORMATION info = {};
    HWND frame = nullptr;  // borrowed: the program's window
    HWND panel = nullptr;  // borrowed: its hosted main panel
};

// Sends to a window of another process; -1 when it does not answer within
// kWaitMs (a hung program fails the test instead of holding it).
LRESULT SendRemote(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The text of a window or control of another process (asked with
// WM_GETTEXT, which the control itself answers), and setting it.
std::wstring RemoteText(HWND hwnd);
void SetRemoteText(HWND hwnd, const std::wstring& text);

// The visible child windows of a window with the class name, in order.
std::vector<HWND> ChildWindows(HWND parent, const wchar_t* className);

// What a message box of another process holds, as its Ctrl+C copies it
// (caption, text and buttons between dashed lines, CR LF line ends); empty
// when nothing was copied.
std::wstring CopiedBoxText(HWND box);

// Clicks the button with this label in a box or dialog of another process:
// its parent hears the click, posted as the button would. False when there
// is no such button.
bool PressButton(HWND parent, const std::wstring& label);
