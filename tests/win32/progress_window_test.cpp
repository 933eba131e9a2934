#include "win32/progress_window.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// A plain top-level window to own the progress window.
class Owner {
public:
    Owner() {
        handle = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 300, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~Owner() { DestroyWindow(handle); }
    HWND handle;
};

// Sets the delays for one test and puts them back.
class Immediate {
public:
    explicit Immediate(DWORD showAfter = 0)
        : showAfter(VQWin32ProgressWindow::showAfterMs), lookEvery(VQWin32ProgressWindow::lookEveryMs) {
        VQWin32ProgressWindow::showAfterMs = showAfter;
        VQWin32ProgressWindow::lookEveryMs = 0;
    }
    ~Immediate() {
        VQWin32ProgressWindow::showAfterMs = showAfter;
        VQWin32ProgressWindow::lookEveryMs = lookEvery;
    }

private:
    DWORD showAfter, lookEvery;
};

}  // namespace

TEST(ProgressWindow, ShortWorkShowsNothing) {
    Owner owner;
    Immediate immediate(60000);
    VQWin32ProgressWindow progress(owner.handle, L"追加", nullptr);
    for (int i = 0; i < 100; ++i) EXPECT_TRUE(progress.Step(L"..."));
    EXPECT_EQ(nullptr, progress.GetHandle());
    EXPECT_TRUE(IsWindowEnabled(owner.handle));
}

TEST(ProgressWindow, ShownItHoldsTheOwnerUntilItGoesAndCancelsByButtonOrEscape) {
    Owner owner;
    Immediate immediate;
    HWND shown = nullptr;
    {
        VQWin32ProgressWindow progress(owner.handle, L"追加", nullptr);
        ASSERT_TRUE(progress.Step(L"ファイルを探しています… 256 件"));
        shown = progress.GetHandle();
        ASSERT_NE(nullptr, shown);
        EXPECT_TRUE(IsWindowVisible(shown));
        EXPECT_FALSE(IsWindowEnabled(owner.handle));
        EXPECT_EQ(owner.handle, GetWindow(shown, GW_OWNER));
        HWND text = FindWindowExW(shown, nullptr, L"STATIC", nullptr);
        wchar_t line[64] = {};
        GetWindowTextW(text, line, 64);
        EXPECT_STREQ(L"ファイルを探しています… 256 件", line);
        // The button, as a click reports it.
        HWND button = GetDlgItem(shown, IDCANCEL);
        ASSERT_NE(nullptr, button);
        PostMessageW(shown, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        EXPECT_FALSE(progress.Step(L"..."));
        EXPECT_TRUE(progress.Cancelled());
        EXPECT_FALSE(progress.Step(L"...")) << "once cancelled, it stays so";
    }
    EXPECT_FALSE(IsWindow(shown));
    EXPECT_TRUE(IsWindowEnabled(owner.handle));

    VQWin32ProgressWindow escaped(owner.handle, L"追加", nullptr);
    ASSERT_TRUE(escaped.Step(L"..."));
    HWND button = GetDlgItem(escaped.GetHandle(), IDCANCEL);
    PostMessageW(button, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(escaped.Step(L"..."));
}

TEST(ProgressWindow, AQuitMessageStopsTheWorkAndIsPassedOn) {
    Owner owner;
    Immediate immediate;
    VQWin32ProgressWindow progress(owner.handle, L"追加", nullptr);
    ASSERT_TRUE(progress.Step(L"..."));
    PostQuitMessage(7);
    EXPECT_FALSE(progress.Step(L"..."));
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, msg.wParam);
}
