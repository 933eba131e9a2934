// The watch as a user meets it in the window: files that settle in a watched
// folder run once each, what the job writes beside them is never taken, a
// restart runs only what changed; and the word at the end of a long run.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/app_window.h"
#include "tests/support/box_answer.h"
#include "tests/support/child_program.h"
#include "tests/support/message_pump.h"
#include "tests/support/temp_dir.h"
#include "tests/support/timer_script.h"
#include "win32/taskbar.h"

namespace {

size_t LinesIn(const std::wstring& path) {
    std::string text = TempDir::ReadWholeFile(path);
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

class NoticeRecorder : public VQTaskbar {
public:
    NoticeRecorder() { previous = VQSetTaskbar(this); }
    ~NoticeRecorder() override { VQSetTaskbar(previous); }
    void SetProgress(HWND, State, int, int) override {}
    void Flash(HWND) override {}
    void Notify(HWND, UINT message, const wchar_t* title, const wchar_t* text) override {
        notices.push_back(std::wstring(title) + L": " + text);
        callback = message;
    }
    void EndNotify(HWND) override { ++ended; }

    std::vector<std::wstring> notices;
    UINT callback = 0;
    int ended = 0;

private:
    VQTaskbar* previous;
};

}  // namespace

TEST(WatchWindow, SettledFilesRunOnceEachWhatTheJobWritesBesideThemIsNotTakenAndARestartRunsOnlyChanges) {
    TempDir dir;
    std::wstring in = dir.MakeDir(L"受け取り");
    std::wstring logs = dir.MakeDir(L"logs");
    // No extension filter: the outputs beside the inputs would pass it.
    std::wstring command = ChildProgram() + L" count \"" + logs + L"\\$name.txt\" write \"$out\" x";
    JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
    wcscpy(settings.output, L"$path$stem.out");
    wcscpy(settings.watch, in.c_str());
    settings.watchSettle = 1;
    settings.hideCommand = 1;
    AppWindow app(&settings);
    dir.WriteFile(L"受け取り\\前から.wav", "a");
    app.Click(IDC_WATCH_BUTTON);
    EXPECT_NE(std::wstring::npos, app.Counts().find(L"監視中（実行 0 件、待機 ")) << "the line under the table says so";
    EXPECT_NE(std::wstring::npos, app.Counts().find(in));
    EXPECT_FALSE(app.IsEnabled(IDC_COMMAND_EDIT)) << "the job stays as the watch took it";
    dir.WriteFile(L"受け取り\\新しい.wav", "b");
    dir.WriteFile(L"受け取り\\下\\深い.wav", "c");
    dir.WriteFile(L"受け取り\\書きかけ.wav.part", "d");
    const std::vector<std::wstring> names = {L"前から.wav", L"新しい.wav", L"深い.wav"};
    auto logOf = [&](const std::wstring& name) { return logs + L"\\" + name + L".txt"; };
    ASSERT_TRUE(PumpUntil(L"each file ran", [&] {
        for (const std::wstring& name : names) {
            if (LinesIn(logOf(name)) == 0) return false;
        }
        return TempDir::ReadWholeFile(in + L"\\下\\深い.out") == "x";
    }));
    // Twice the settle time and more: an output taken as input would have run by now.
    PumpFor(3500);
    for (const std::wstring& name : names) EXPECT_EQ(1u, LinesIn(logOf(name))) << "once each";
    EXPECT_EQ(0u, LinesIn(logOf(L"前から.out"))) << "an output beside its input is the job's";
    EXPECT_EQ(0u, LinesIn(logOf(L"書きかけ.wav.part")));
    app.Click(IDC_WATCH_BUTTON);
    EXPECT_EQ(std::wstring::npos, app.Counts().find(L"監視中"));
    EXPECT_TRUE(app.IsEnabled(IDC_COMMAND_EDIT));

    // Again: only the file changed meanwhile runs.
    dir.WriteFile(L"受け取り\\新しい.wav", "changed");
    app.Click(IDC_WATCH_BUTTON);
    ASSERT_TRUE(PumpUntil(L"the changed file ran again", [&] { return LinesIn(logOf(L"新しい.wav")) == 2; }));
    PumpFor(2500);
    EXPECT_EQ(1u, LinesIn(logOf(L"前から.wav")));
    EXPECT_EQ(1u, LinesIn(logOf(L"深い.wav")));
}

TEST(WatchWindow, ALongRunsEndIsToldOnceWithItsCountsAndAClickOnItSelectsTheFirstFailure) {
    TempDir dir;
    // A line of its own for each file: the same line twice would ask first.
    std::wstring command = ChildProgram() + L" write \"$fullname.ran\" x exit $title";
    const struct {
        const char* what;
        bool notify;
        DWORD runMs;
        size_t notices;
    } cases[] = {
        {"long, window away", true, 6000, 1},
        {"short", true, 1000, 0},
        {"turned off", false, 6000, 0},
    };
    for (const auto& c : cases) {
        JobSettings settings = MakeSettings(L"", L"", command.c_str(), L"", true);
        settings.checkExitCode = 1;
        settings.onFailure = 1;
        settings.hideCommand = 1;
        settings.notify = c.notify;
        AppWindow app(&settings);
        app.AddTargets({dir.Join(L"0.a"), dir.Join(L"3.b"), dir.Join(L"0.c"), dir.Join(L"4.d")});
        ShowWindow(app.Frame(), SW_MINIMIZE);
        NoticeRecorder taskbar;
        BoxAnswer error;
        TimerScript script;
        script.Then(AnswerBox(&error, IDOK));
        script.Start();
        app.PassTime(RunController::kRunAfterEndMs);
        app.Click(IDC_RUN_BUTTON);
        app.PassTime(c.runMs);
        ASSERT_TRUE(app.WaitForRunEnd()) << c.what;
        PumpFor(100);
        ASSERT_EQ(c.notices, taskbar.notices.size()) << c.what;
        if (!c.notices) continue;
        EXPECT_EQ(L"Quenbrix: 完了 2 件、失敗 2 件", taskbar.notices[0]);
        // The failures stayed (the done ones left): the first is row 0.
        app.Select(1);
        SendMessageW(app.Frame(), taskbar.callback, 0, NIN_BALLOONUSERCLICK);
        EXPECT_FALSE(IsIconic(app.Frame()));
        EXPECT_EQ(std::vector<int>{0}, app.Selected());
        EXPECT_LE(1, taskbar.ended);
    }
}
