#include "win32/about_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/win32/test_windows.h"
#include "win32/standard_window.h"
#include "win32/ui_font.h"

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
    std::wstring face;  // of the description's font
    RECT boxRect = {0, 0, 0, 0};
    bool popupEnabled = true;
    bool ownerEnabled = true;
    int iconWidth = 0;
};

int IconWidth(HICON icon) {
    ICONINFO info;
    if (!icon || !GetIconInfo(icon, &info)) return 0;
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}
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
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendDlgItemMessageW(box, IDC_ABOUT_DESCRIPTION, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    g_snapshot.face = font.lfFaceName;
    GetWindowRect(box, &g_snapshot.boxRect);
    g_snapshot.iconWidth = IconWidth(reinterpret_cast<HICON>(SendDlgItemMessageW(box, IDC_ABOUT_ICON, STM_GETICON, 0, 0)));
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
    // In the program's UI font, not the one the template names.
    EXPECT_EQ(std::wstring(VQWin32UiFont().lfFaceName), g_snapshot.face);
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

TEST(AboutBox, TheIconIsTakenAtTheSizeForTheMonitorsScale) {
    MainWithPopup windows(L"QBTestAboutScaleMain", L"QBTestAboutScalePopup");
    ASSERT_TRUE(windows.opened);
    for (UINT dpi : {96u, 120u, 144u, 192u}) {
        DpiScope scale(dpi);
        g_snapshot = AboutSnapshot();
        g_aboutTimer = SetTimer(nullptr, 0, 20, InspectAboutBox);
        windows.main.DialogBox(IDD_TEST_ABOUT, IDC_ABOUT_DESCRIPTION, IDC_ABOUT_VERSION, IDC_ABOUT_LEGAL);
        KillTimer(nullptr, g_aboutTimer);
        EXPECT_EQ(static_cast<int>(32 * dpi / 96), g_snapshot.iconWidth) << dpi;
    }
}

TEST(ProgramIcon, HoldsAnImageForEveryCommonScaleAndALargeOneForExplorer) {
    // The icon group lists its images: width, height, ..., bit count, bytes, id.
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDI_TEST_ICON), RT_GROUP_ICON);
    ASSERT_NE(nullptr, found);
    const BYTE* group = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    ASSERT_NE(nullptr, group);
    int count = group[4] | (group[5] << 8);
    std::vector<int> sizes;
    for (int i = 0; i < count; ++i) {
        const BYTE* entry = group + 6 + 14 * i;
        sizes.push_back(entry[0] == 0 ? 256 : entry[0]);
        EXPECT_EQ(32, entry[6] | (entry[7] << 8)) << "bits per pixel of the " << sizes.back() << " px image";
    }
    EXPECT_EQ((std::vector<int>{16, 20, 24, 32, 40, 48, 64, 256}), sizes);
    // The system picks the exact image for each size it asks for.
    for (int size : {20, 40, 256}) {
        HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TEST_ICON),
                                                   IMAGE_ICON, size, size, 0));
        EXPECT_EQ(size, IconWidth(icon));
        if (icon) DestroyIcon(icon);
    }
}
