#include "win32/about_box.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/win32/test_windows.h"
#include "win32/standard_window.h"

TEST(VersionInfo, ReadsTheStringsOfTheProgramsOwnVersionBlock) {
    VQWin32VersionInfo info;
    ASSERT_TRUE(info.Load());
    EXPECT_TRUE(info.translationKey.Equals("041104b0"));
    ASSERT_NE(nullptr, info.fixedInfo);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(2, 1)), info.fixedInfo->dwFileVersionMS);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(4, 3)), info.fixedInfo->dwFileVersionLS);

    VQString version = info.Query("FileVersion");
    EXPECT_TRUE(version.Equals("1.2.3.4")) << version.Text();
    // Whole in UTF-16 whatever the code page; narrow in the ANSI one.
    EXPECT_STREQ(L"テスト用の説明", info.QueryW(L"FileDescription").Text());
    VQString description = info.Query("FileDescription");
    EXPECT_EQ(ToAnsi(L"テスト用の説明"), std::string(description.GetData(), description.GetLength()));
    EXPECT_TRUE(info.Query("NoSuchString").IsEmpty());
    EXPECT_TRUE(info.QueryW(L"NoSuchString").IsEmpty());
}

namespace {

// What the box showed, read while it was open.
struct AboutSnapshot {
    HWND box = nullptr;
    std::wstring caption, description, version, legal;
    RECT boxRect = {0, 0, 0, 0};
    bool popupEnabled = true;
    bool ownerEnabled = true;
};
AboutSnapshot g_snapshot;
UINT_PTR g_aboutTimer = 0;

// Runs inside the box's modal loop: reads the box, then presses OK.
void CALLBACK InspectAboutBox(HWND, UINT, UINT_PTR, DWORD) {
    g_snapshot.box = FindThreadWindow(L"#32770");
    if (!g_snapshot.box) return;  // not up yet: try at the next tick
    KillTimer(nullptr, g_aboutTimer);
    HWND box = g_snapshot.box;
    g_snapshot.caption = WindowText(box);
    g_snapshot.description = WindowText(GetDlgItem(box, IDC_ABOUT_DESCRIPTION));
    g_snapshot.version = WindowText(GetDlgItem(box, IDC_ABOUT_VERSION));
    g_snapshot.legal = WindowText(GetDlgItem(box, IDC_ABOUT_LEGAL));
    GetWindowRect(box, &g_snapshot.boxRect);
    HWND owner = GetWindow(box, GW_OWNER);
    g_snapshot.ownerEnabled = IsWindowEnabled(owner) != 0;
    VQWin32Window* main = VQWin32GetMainWindow();
    g_snapshot.popupEnabled = IsWindowEnabled(main->ownedWindows[0]->handle) != 0;
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

}  // namespace

TEST(AboutBox, ShowsTheVersionTextsCentredAndLocksTheOwnedWindows) {
    MainWithPopup windows(L"QBTestAboutMain", L"QBTestAboutPopup");
    ASSERT_TRUE(windows.opened);
    VQWin32StandardWindow& main = windows.main;
    VQWin32StandardWindow& popup = windows.popup;

    g_snapshot = AboutSnapshot();
    g_aboutTimer = SetTimer(nullptr, 0, 20, InspectAboutBox);
    int result = main.DialogBox(IDD_TEST_ABOUT, IDC_ABOUT_DESCRIPTION, IDC_ABOUT_VERSION, IDC_ABOUT_LEGAL);
    KillTimer(nullptr, g_aboutTimer);
    EXPECT_EQ(IDOK, result);
    ASSERT_NE(nullptr, g_snapshot.box);

    EXPECT_EQ(L"バージョン情報", g_snapshot.caption);
    EXPECT_EQ(L"テスト用の説明", g_snapshot.description);
    EXPECT_EQ(L"Version 1.2.3.4", g_snapshot.version);
    EXPECT_EQ(L"Copyright (C) 2026 テスト", g_snapshot.legal);
    RECT mainRect;
    GetWindowRect(main.handle, &mainRect);
    int boxWidth = g_snapshot.boxRect.right - g_snapshot.boxRect.left;
    int boxHeight = g_snapshot.boxRect.bottom - g_snapshot.boxRect.top;
    EXPECT_EQ((mainRect.left + mainRect.right) / 2 - boxWidth / 2, g_snapshot.boxRect.left);
    EXPECT_EQ((mainRect.top + mainRect.bottom) / 2 - boxHeight / 2, g_snapshot.boxRect.top);
    EXPECT_FALSE(g_snapshot.ownerEnabled);
    EXPECT_FALSE(g_snapshot.popupEnabled);

    // Closed: the owner and the popup take input again, the counts back at 1.
    EXPECT_TRUE(IsWindowEnabled(main.handle));
    EXPECT_TRUE(IsWindowEnabled(popup.handle));
    EXPECT_EQ(1, popup.enableCount);

    // Ids of 0 are left as the template has them.
    g_snapshot = AboutSnapshot();
    g_aboutTimer = SetTimer(nullptr, 0, 20, InspectAboutBox);
    main.DialogBox(IDD_TEST_ABOUT, IDC_ABOUT_DESCRIPTION, 0, 0);
    KillTimer(nullptr, g_aboutTimer);
    EXPECT_EQ(L"テスト用の説明", g_snapshot.description);
    EXPECT_EQ(L"Version", g_snapshot.version);
    EXPECT_EQ(L"著作権", g_snapshot.legal);

}
