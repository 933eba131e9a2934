// The real main window, opened in the test program under a registry key of
// the test's own, and what a test does with it as a user would.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "tests/support/box_answer.h"
#include "tests/support/registry_key.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

class AppWindow {
public:
    // Opens the window with these settings (null: all empty, Delete checked),
    // keeping its list in dataFolder (null: a folder of the object's own),
    // with savedClientRect as the "ClientRect" an earlier start left (null: none);
    // beforeOpen, when given, sets up the window before it opens.
    explicit AppWindow(const JobSettings* settings = nullptr, const wchar_t* dataFolder = nullptr,
                       const RECT* savedClientRect = nullptr,
                       const std::function<void(MainWindow&)>& beforeOpen = nullptr);
    ~AppWindow();
    AppWindow(const AppWindow&) = delete;
    AppWindow& operator=(const AppWindow&) = delete;

    bool IsOpen() const { return opened; }
    HWND Frame() const { return window->handle; }
    HWND Panel() const { return window->dialogHandle; }
    HWND Control(int id) const { return GetDlgItem(Panel(), id); }

    std::wstring Text(int id) const;
    // The line of counts under the table as it reads, without its links' markup.
    std::wstring Counts() const;
    void SetText(int id, const std::wstring& text) const;
    bool IsChecked(int id) const;
    // As a click on the check box does: the state flips to `checked` and the
    // dialog reports the click.
    void SetChecked(int id, bool checked) const;
    bool IsEnabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
    // The button's click, as the dialog reports it to the window.
    void Click(int id) const;
    std::vector<std::wstring> List() const;
    // Adds the paths as a drop or the Add dialog would, through the window's AddTargets.
    void AddTargets(const std::vector<std::wstring>& paths) const;
    void Select(int index) const;
    // The table, and the rows selected in it (ascending).
    VQWin32DialogItemListView* Table() const;
    std::vector<int> Selected() const;

    // Runs the message loop until the timer has seen the job end (or `ms`
    // pass); a failure on time-out.
    ::testing::AssertionResult WaitForRunEnd(DWORD ms = kWaitMs);
    // The window's clock for the run button's guards moves on by ms, as if
    // the user had waited that long.
    void PassTime(DWORD ms);
    // Frozen, the window's clock moves only by PassTime.
    void FreezeClock(bool frozen);
    // Clicks Run, a while after any run before, with the next message box (a
    // question before the run, the error after it) answered by the button
    // `answer`, and waits for the run to end and the box to go; `box` notes
    // whether one came. False on time-out.
    bool RunAnswering(int answer, BoxAnswer* box = nullptr);
    // Closes the window as the close box does; the object stays for reading.
    void Close();

    TestRegistryKey key;
    TempDir appData;
    MainWindow* window;

private:
    bool opened;
};

// A JobSettings with the given texts and Delete switch.
JobSettings MakeSettings(const wchar_t* fileExt, const wchar_t* preCommand, const wchar_t* command,
                         const wchar_t* directory, bool deleteFinished);
