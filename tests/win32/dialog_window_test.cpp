#include "win32/dialog_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/registry_key.h"
#include "win32/monitor.h"
#include "tests/win32/test_windows.h"

namespace {

// An edit box that records the keys its subclassed control receives.
class KeyEditBox : public VQWin32DialogItemEditBoxW {
public:
    explicit KeyEditBox(int id) : VQWin32DialogItemEditBoxW(id, nullptr, -1) { subclass = 1; }
    LRESULT ControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_KEYDOWN && wParam == VK_RETURN) ++returnKeys;
        if (message == WM_CHAR && wParam == L'\r') ++returnChars;
        return VQWin32DialogItemEditBoxW::ControlProc(control, message, wParam, lParam);
    }
    int returnKeys = 0;
    int returnChars = 0;
};

std::vector<UINT>* g_defaultMessages = nullptr;

LRESULT CALLBACK RecordingDefaultProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_defaultMessages && message == WM_COMMAND) g_defaultMessages->push_back(LOWORD(wParam));
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

TEST(DialogWindowCreation, AFixedFrameFitsItsDialogAndRemembersItsPlace) {
    TestRegistryKey key;
    RECT saved;
    {
        TestPanel panel;
        MainWindowScope scope(&panel);
        panel.registryKey = key.Path().c_str();
        panel.savePlacement = 1;
        VQWin32DialogWindowCreateInfo info({new VQWin32DialogItemEditBoxW(IDC_TEST_NAME, L"x", -1),
                                            new VQWin32DialogItem(IDOK)});
        UseTestPanel(&info, L"QBTestFixed");
        info.style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
        ASSERT_TRUE(panel.Open(&info));

        LONG_PTR style = GetWindowLongPtrW(panel.handle, GWL_STYLE);
        EXPECT_FALSE(style & WS_THICKFRAME);
        EXPECT_FALSE(style & WS_MAXIMIZEBOX);
        EXPECT_EQ(L"テストパネル", WindowText(panel.handle));
        EXPECT_EQ(panel.handle, GetParent(panel.dialogHandle));
        EXPECT_EQ(2, panel.items.GetCount());
        EXPECT_EQ(nullptr, info.items[0]);
        ASSERT_EQ(1, panel.dialogWindows.GetCount());
        EXPECT_EQ(&panel, panel.dialogWindows[0]);

        // No saved placement yet: the client area starts at (32, 48), sized to the dialog.
        POINT origin = ClientOrigin(panel.handle);
        EXPECT_EQ(32, origin.x);
        EXPECT_EQ(48, origin.y);
        RECT dialogRect;
        GetWindowRect(panel.dialogHandle, &dialogRect);
        SIZE client = ClientSize(panel.handle);
        EXPECT_EQ(dialogRect.right - dialogRect.left, client.cx);
        EXPECT_EQ(dialogRect.bottom - dialogRect.top, client.cy);
        EXPECT_EQ(client.cx, panel.dialogWidth);

        // Moved by code, then closed: the new place is what is saved.
        SetWindowPos(panel.handle, nullptr, 150, 170, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        origin = ClientOrigin(panel.handle);
        saved = RECT{origin.x, origin.y, origin.x + client.cx, origin.y + client.cy};
        SendMessageW(panel.handle, WM_CLOSE, 0, 0);
        EXPECT_FALSE(IsWindow(panel.handle));
        EXPECT_EQ(0, panel.items.GetCount());
        EXPECT_EQ(0, panel.dialogWindows.GetCount());
        EXPECT_TRUE(PumpPending());
    }
    std::string bytes;
    DWORD type = 0;
    ASSERT_TRUE(key.Read("ClientRect", &bytes, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    ASSERT_EQ(16u, bytes.size());
    RECT stored;
    memcpy(&stored, bytes.data(), 16);
    EXPECT_TRUE(EqualRect(&saved, &stored));

    // The next open comes back at the saved place.
    TestPanel again;
    again.registryKey = key.Path().c_str();
    again.savePlacement = 1;
    VQWin32DialogWindowCreateInfo info;
    UseTestPanel(&info, L"QBTestFixed");
    ASSERT_TRUE(again.Open(&info));
    POINT origin = ClientOrigin(again.handle);
    EXPECT_EQ(saved.left, origin.x);
    EXPECT_EQ(saved.top, origin.y);
    DestroyAndPump(again);
}

TEST(DialogWindowCreation, ADamagedPlacementValueIsIgnored) {
    TestRegistryKey key;
    const LONG half[2] = {300, 300};
    ASSERT_TRUE(key.Write("ClientRect", REG_BINARY, half, sizeof half));
    TestPanel panel;
    panel.registryKey = key.Path().c_str();
    panel.savePlacement = 1;
    VQWin32DialogWindowCreateInfo info;
    UseTestPanel(&info, L"QBTestDamaged");
    ASSERT_TRUE(panel.Open(&info));
    POINT origin = ClientOrigin(panel.handle);
    EXPECT_EQ(32, origin.x);
    EXPECT_EQ(48, origin.y);
    DestroyAndPump(panel);
}

TEST(DialogWindowCreation, APlaceOnADisplayThatIsGoneComesBackOnScreen) {
    TestRegistryKey key;
    VQWin32ReplaceMonitors(nullptr, -1);
    const RECT offScreen = {6000, 5000, 6300, 5200};
    ASSERT_TRUE(key.Write("ClientRect", REG_BINARY, &offScreen, sizeof offScreen));
    TestPanel panel;
    panel.registryKey = key.Path().c_str();
    panel.savePlacement = 1;
    VQWin32DialogWindowCreateInfo info;
    UseTestPanel(&info, L"QBTestOffScreen");
    ASSERT_TRUE(panel.Open(&info));
    RECT frame;
    GetWindowRect(panel.handle, &frame);
    EXPECT_NE(nullptr, MonitorFromRect(&frame, MONITOR_DEFAULTTONULL)) << frame.left << "," << frame.top;
    DestroyAndPump(panel);
}

namespace {

// Uses these monitors until the end of the scope, then the real ones again.
class MonitorsScope {
public:
    explicit MonitorsScope(std::vector<RECT> monitors) {
        VQWin32ReplaceMonitors(monitors.data(), static_cast<int>(monitors.size()));
    }
    ~MonitorsScope() { VQWin32ReplaceMonitors(nullptr, -1); }
};

// Where the client area of a test panel opens with this saved "ClientRect".
POINT OpenWithSavedPlace(const RECT& saved, bool resizable) {
    TestRegistryKey key;
    key.Write("ClientRect", REG_BINARY, &saved, sizeof saved);
    TestPanel panel;
    panel.registryKey = key.Path().c_str();
    panel.savePlacement = 1;
    VQWin32DialogWindowCreateInfo info;
    UseTestPanel(&info, resizable ? L"QBTestSavedPlaceSizing" : L"QBTestSavedPlace");
    info.resizable = resizable;
    info.style |= resizable ? WS_THICKFRAME : 0;
    POINT origin = {-1, -1};
    if (panel.Open(&info)) origin = ClientOrigin(panel.handle);
    DestroyAndPump(panel);
    return origin;
}

}  // namespace

TEST(DialogWindowCreation, ASavedPlaceCountsOnlyWithItsCaptionOnAMonitorAndTheDialogsSize) {
    SIZE dialog;
    {
        TestPanel probe;
        VQWin32DialogWindowCreateInfo info;
        UseTestPanel(&info, L"QBTestSavedPlaceProbe");
        ASSERT_TRUE(probe.Open(&info));
        dialog = SIZE{probe.dialogWidth, probe.dialogHeight};
        DestroyAndPump(probe);
    }
    const LONG w = dialog.cx, h = dialog.cy;
    const POINT byDefault = {32, 48};
    auto expectAt = [](POINT expected, POINT seen, const char* what) {
        EXPECT_EQ(expected.x, seen.x) << what;
        EXPECT_EQ(expected.y, seen.y) << what;
    };
    {
        MonitorsScope screen({RECT{0, 0, 1024, 768}});
        expectAt({100, 120}, OpenWithSavedPlace(RECT{100, 120, 100 + w, 120 + h}, false), "whole");
        expectAt(byDefault, OpenWithSavedPlace(RECT{1000, 800, 0, 0}, false), "inverted, below the screen");
        expectAt(byDefault, OpenWithSavedPlace(RECT{-2000000000, -2000000000, 2000000000, 2000000000}, false),
                 "beyond any screen");
        expectAt(byDefault, OpenWithSavedPlace(RECT{1024 - w / 2, 100, 1024 + w / 2, 100 + h}, false),
                 "caption half off the right edge");
        expectAt(byDefault, OpenWithSavedPlace(RECT{100, 5, 100 + w, 5 + h}, false), "caption above the top");
        expectAt(byDefault, OpenWithSavedPlace(RECT{100, 120, 100 + w - 1, 120 + h}, false), "narrower than the dialog");
        // A resizable window saved when its dialog was smaller keeps its place and grows.
        expectAt({100, 120}, OpenWithSavedPlace(RECT{100, 120, 100 + w + 50, 120 + h - 1}, true),
                 "resizable, lower than the dialog");
        expectAt({100, 120}, OpenWithSavedPlace(RECT{100, 120, 100 + w + 50, 120 + h + 40}, true), "resizable, larger");
    }
    {
        // Across two monitors side by side, the caption is still on screen.
        MonitorsScope screens({RECT{0, 0, 1024, 768}, RECT{1024, 0, 2048, 768}});
        expectAt({1024 - w / 2, 100}, OpenWithSavedPlace(RECT{1024 - w / 2, 100, 1024 + w / 2, 100 + h}, false),
                 "across two monitors");
    }
}

TEST(DialogWindowCreation, PositionsPlaceTheFrameOnItsReference) {
    VQWin32Window reference(TestInstance());
    VQWin32WindowCreateInfo referenceInfo;
    referenceInfo.className = L"QBTestReference";
    referenceInfo.rect = RECT{100, 120, 900, 720};
    ASSERT_TRUE(reference.Open(&referenceInfo));
    POINT origin = ClientOrigin(reference.handle);
    SIZE area = ClientSize(reference.handle);

    const int positions[] = {4, 8, 0, -1};
    for (int position : positions) {
        SCOPED_TRACE(position);
        TestPanel panel;
        VQWin32DialogWindowCreateInfo info;
        UseTestPanel(&info, L"QBTestPosition");
        info.position = position;
        info.positionReference = reference.handle;
        ASSERT_TRUE(panel.Open(&info));
        RECT frame;
        GetWindowRect(panel.handle, &frame);
        int width = frame.right - frame.left;
        int height = frame.bottom - frame.top;
        if (position == 4) {
            EXPECT_EQ(origin.x + (area.cx - width) / 2, frame.left);
            EXPECT_EQ(origin.y + (area.cy - height) / 2, frame.top);
        } else if (position == 8) {
            EXPECT_EQ(origin.x + area.cx - width, frame.left);
            EXPECT_EQ(origin.y + area.cy - height, frame.top);
        } else if (position == 0) {
            EXPECT_EQ(origin.x, frame.left);
            EXPECT_EQ(origin.y, frame.top);
        } else {
            EXPECT_EQ(32, ClientOrigin(panel.handle).x);
            EXPECT_EQ(48, ClientOrigin(panel.handle).y);
        }
        DestroyAndPump(panel);
    }
    DestroyAndPump(reference);
}

TEST(DialogWindowRouting, CommandsReachTheirItemsAndUnclaimedOnesGoOn) {
    auto* check = new VQWin32DialogItemCheckBox(IDC_TEST_CHECK, false);
    VQWin32DialogWindowCreateInfo info({check, new VQWin32DialogItem(IDOK)});
    UseTestPanel(&info, L"QBTestRouting");
    TestPanel panel;
    ASSERT_TRUE(panel.Open(&info));
    std::vector<UINT> defaults;
    g_defaultMessages = &defaults;
    panel.defaultProc = RecordingDefaultProc;

    // A control notification: the item handles it, through the dialog.
    SendMessageW(GetDlgItem(panel.dialogHandle, IDC_TEST_CHECK), BM_CLICK, 0, 0);
    EXPECT_EQ(1, check->checkState);
    EXPECT_TRUE(panel.SawCommand(IDC_TEST_CHECK));
    // A control without an item: OnCommand answers 1, nothing else happens.
    SendMessageW(panel.dialogHandle, WM_COMMAND, MAKEWPARAM(IDC_TEST_RUN, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(panel.dialogHandle, IDC_TEST_RUN)));
    EXPECT_TRUE(panel.SawCommand(IDC_TEST_RUN));
    EXPECT_TRUE(defaults.empty());
    // A menu command to the frame that no item claims goes on to DefaultProc.
    SendMessageW(panel.handle, WM_COMMAND, 3001, 0);
    ASSERT_EQ(1u, defaults.size());
    EXPECT_EQ(3001u, defaults[0]);

    EXPECT_EQ(check, panel.FindItemById(IDC_TEST_CHECK));
    EXPECT_EQ(check, panel.FindItemByHandle(check->GetHandle()));
    EXPECT_EQ(1, panel.IndexOfItem(IDOK));
    EXPECT_EQ(-1, panel.IndexOfItem(IDC_TEST_RUN));
    EXPECT_EQ(nullptr, panel.ItemAt(2));
    EXPECT_EQ(nullptr, panel.ItemAt(-1));

    EXPECT_EQ(2, panel.EnableItems(false));
    EXPECT_FALSE(IsWindowEnabled(check->GetHandle()));
    check->Enable(true);
    EXPECT_EQ(2, panel.ToggleItems());
    EXPECT_FALSE(IsWindowEnabled(check->GetHandle()));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(panel.dialogHandle, IDOK)));

    panel.defaultProc = DefWindowProcW;
    g_defaultMessages = nullptr;
    DestroyAndPump(panel);
}

TEST(DialogWindowKeys, EnterInAModelessPanelReachesTheEditBoxAsAKey) {
    auto* edit = new KeyEditBox(IDC_TEST_NAME);
    VQWin32DialogWindowCreateInfo info({edit, new VQWin32DialogItem(IDOK)});
    UseTestPanel(&info, L"QBTestModeless");
    TestPanel panel;
    MainWindowScope scope(&panel);
    ASSERT_TRUE(panel.Open(&info));
    SetFocus(edit->GetHandle());
    PumpPending();
    panel.commands.clear();

    // Typing first, so that the dialog manager has seen the edit box.
    PostMessageW(edit->GetHandle(), WM_KEYDOWN, 'A', 0x001E0001);
    PostMessageW(edit->GetHandle(), WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostQuitMessage(3);
    QuitWatchdog watchdog(kWaitMs, -1);
    EXPECT_EQ(3, panel.Run(0));
    EXPECT_EQ(1, edit->returnKeys);
    EXPECT_EQ(1, edit->returnChars);
    EXPECT_FALSE(panel.SawCommand(IDOK)) << "Enter pressed the default button";
    DestroyAndPump(panel);
}

TEST(DialogWindowKeys, EnterInAModalWindowPressesItsDefaultButton) {
    TestPanel main;
    MainWindowScope scope(&main);
    VQWin32DialogWindowCreateInfo mainInfo;
    UseTestPanel(&mainInfo, L"QBTestModalOwner");
    ASSERT_TRUE(main.Open(&mainInfo));

    auto* edit = new KeyEditBox(IDC_TEST_NAME);
    VQWin32DialogWindowCreateInfo info({edit, new VQWin32DialogItem(IDOK)});
    UseTestPanel(&info, L"QBTestModal");
    info.modal = true;
    info.parentWindow = &main;
    info.position = 4;
    TestPanel modal;
    modal.closeOnOk = true;
    modal.exitCode = 5;
    ASSERT_TRUE(modal.Open(&info));
    EXPECT_TRUE(modal.IsModal());
    EXPECT_FALSE(IsWindowEnabled(main.handle)) << "a modal window disables its owner";
    EXPECT_TRUE(IsWindowEnabled(modal.handle));
    EXPECT_EQ(2, main.dialogWindows.GetCount());
    SetFocus(edit->GetHandle());
    PumpPending();

    PostMessageW(edit->GetHandle(), WM_KEYDOWN, VK_RETURN, 0x001C0001);
    QuitWatchdog watchdog(kWaitMs, -1);
    EXPECT_EQ(5, modal.Run(0)) << "the modal window's loop ends with its exit code";
    EXPECT_TRUE(modal.SawCommand(IDOK));
    EXPECT_FALSE(IsWindow(modal.handle));
    EXPECT_TRUE(IsWindowEnabled(main.handle));
    EXPECT_EQ(1, main.enableCount);
    EXPECT_EQ(1, main.dialogWindows.GetCount());
    DestroyAndPump(main);
}

TEST(DialogWindowKeys, AcceleratorsFireWhileTheFocusIsInThePanel) {
    auto* edit = new KeyEditBox(IDC_TEST_NAME);
    VQWin32DialogWindowCreateInfo info({edit});
    UseTestPanel(&info, L"QBTestAccelerators");
    TestPanel panel;
    MainWindowScope scope(&panel);
    ASSERT_TRUE(panel.Open(&info));
    ACCEL table[] = {{FVIRTKEY, VK_F5, 2001}};
    ASSERT_TRUE(panel.SetAccelerators(table, 1));
    EXPECT_NE(nullptr, panel.ownedAccelerators);
    SetFocus(edit->GetHandle());
    PumpPending();
    panel.commands.clear();

    PostMessageW(edit->GetHandle(), WM_KEYDOWN, VK_F5, 0x003F0001);
    PostQuitMessage(0);
    QuitWatchdog watchdog(kWaitMs, -1);
    panel.Run(0);
    ASSERT_TRUE(panel.SawCommand(2001));

    // Switched off, the same key is an ordinary key again.
    panel.commands.clear();
    EXPECT_TRUE(panel.EnableAccelerators(false));
    PostMessageW(edit->GetHandle(), WM_KEYDOWN, VK_F5, 0x003F0001);
    PostQuitMessage(0);
    panel.Run(0);
    EXPECT_FALSE(panel.SawCommand(2001));
    DestroyAndPump(panel);
    EXPECT_EQ(nullptr, panel.ownedAccelerators) << "freed when the window went";
}

TEST(DialogWindowFocus, ABackgroundClickSendsTheFocusToTheFirstTabStop) {
    VQWin32DialogWindowCreateInfo info;
    UseTestPanel(&info, L"QBTestFocus");
    info.focusFirstTabStop = true;
    TestPanel panel;
    ASSERT_TRUE(panel.Open(&info));
    SetFocus(GetDlgItem(panel.dialogHandle, IDC_TEST_RUN));
    SendMessageW(panel.dialogHandle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    EXPECT_EQ(GetDlgItem(panel.dialogHandle, IDC_TEST_NAME), GetFocus());
    DestroyAndPump(panel);
}

TEST(DialogWindowFocus, TheFocusComesBackToItsControlAfterTheWindowWasLeft) {
    VQWin32DialogWindowCreateInfo info({new VQWin32DialogItemEditBoxW(IDC_TEST_NAME, L"x", -1)});
    UseTestPanel(&info, L"QBTestFocusBack");
    TestPanel panel;
    ASSERT_TRUE(panel.Open(&info));
    HWND run = GetDlgItem(panel.dialogHandle, IDC_TEST_RUN);
    SetFocus(run);
    // As when a box or another program takes over: deactivated, then the
    // system gives the focus back to the frame.
    SendMessageW(panel.handle, WM_ACTIVATE, WA_INACTIVE, 0);
    SetFocus(panel.handle);
    EXPECT_EQ(run, GetFocus());

    // A control that has been disabled meanwhile is not given the focus.
    SendMessageW(panel.handle, WM_ACTIVATE, WA_INACTIVE, 0);
    EnableWindow(run, FALSE);
    SetFocus(panel.handle);
    EXPECT_EQ(panel.handle, GetFocus());
    DestroyAndPump(panel);
}

TEST(DialogWindowLayout, AResizableFrameKeepsTheDialogSizeAsItsMinimum) {
    auto* list = new VQWin32DialogItem(IDC_TEST_LIST);
    list->anchorFlags = VQWin32AnchorStretchRight | VQWin32AnchorStretchDown;
    VQWin32DialogWindowCreateInfo info({list});
    UseTestPanel(&info, L"QBTestResizable");
    info.resizable = true;
    info.style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
    // Larger than the dialog at any display scale.
    UINT dpi = VQWin32GetWindowDpi(nullptr);
    info.rect = RECT{40, 60, 40 + VQWin32ScaleToDpi(500, dpi), 60 + VQWin32ScaleToDpi(300, dpi)};
    TestPanel panel;
    ASSERT_TRUE(panel.Open(&info));
    LONG_PTR style = GetWindowLongPtrW(panel.handle, GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_EQ(panel.dialogWidth, panel.minWidth);
    EXPECT_EQ(panel.dialogHeight, panel.minHeight);

    // The frame opened larger than the dialog: the dialog fills it at once.
    SIZE client = ClientSize(panel.handle);
    SIZE dialog = ClientSize(panel.dialogHandle);
    EXPECT_EQ(client.cx, dialog.cx);
    EXPECT_EQ(client.cy, dialog.cy);
    RECT listRect = RectInParent(list->GetHandle());
    int growth = client.cx > panel.dialogWidth ? client.cx - panel.dialogWidth : 0;
    EXPECT_GT(growth, 0) << "the test wants a frame larger than its dialog";
    EXPECT_EQ(list->initialRect.right + growth, listRect.right);

    RECT proposal = {0, 0, panel.frameWidth + 10, panel.frameHeight + 10};
    SendMessageW(panel.handle, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&proposal));
    EXPECT_EQ(panel.dialogWidth, proposal.right - proposal.left - panel.frameWidth);
    EXPECT_EQ(panel.dialogHeight, proposal.bottom - proposal.top - panel.frameHeight);
    DestroyAndPump(panel);
}

namespace {

int FontHeight(HWND control) {
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
}

// A rectangle scaled by 3/2, each side within a pixel of rounding.
::testing::AssertionResult OneAndAHalfTimes(const RECT& before, const RECT& after) {
    const LONG was[] = {before.left, before.top, before.right, before.bottom};
    const LONG now[] = {after.left, after.top, after.right, after.bottom};
    for (int i = 0; i < 4; ++i) {
        if (std::abs(was[i] * 3 / 2 - now[i]) > 1) {
            return ::testing::AssertionFailure() << "side " << i << ": " << was[i] << " became " << now[i];
        }
    }
    return ::testing::AssertionSuccess();
}

void ChangeScale(VQWin32Window& window, UINT dpi, const RECT& suggested) {
    SendMessageW(window.handle, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

}  // namespace

TEST(DialogWindowScale, AFixedFrameTakesTheSuggestedPlaceAndFitsItsScaledDialog) {
    DpiScope scale(96);
    auto* edit = new VQWin32DialogItemEditBoxW(IDC_TEST_NAME, L"名前", -1);
    VQWin32DialogWindowCreateInfo info({edit});
    UseTestPanel(&info, L"QBTestScaleFixed");
    TestPanel panel;
    ASSERT_TRUE(panel.Open(&info));
    ASSERT_EQ(96u, panel.dpi);
    HWND label = GetDlgItem(panel.dialogHandle, IDC_TEST_LABEL);
    RECT edit0 = RectInParent(edit->GetHandle());
    RECT label0 = RectInParent(label);
    RECT initial0 = edit->initialRect;
    int font0 = FontHeight(edit->GetHandle());
    SIZE dialog0 = ClientSize(panel.dialogHandle);

    RECT frame;
    GetWindowRect(panel.handle, &frame);
    RECT suggested = {200, 150, 200 + (frame.right - frame.left) * 3 / 2, 150 + (frame.bottom - frame.top) * 3 / 2};
    ChangeScale(panel, 144, suggested);
    EXPECT_EQ(144u, panel.dpi);
    GetWindowRect(panel.handle, &frame);
    EXPECT_EQ(200, frame.left);
    EXPECT_EQ(150, frame.top);
    // Every control, with an item or not, and the fonts.
    EXPECT_TRUE(OneAndAHalfTimes(edit0, RectInParent(edit->GetHandle())));
    EXPECT_TRUE(OneAndAHalfTimes(label0, RectInParent(label)));
    EXPECT_TRUE(OneAndAHalfTimes(initial0, edit->initialRect));
    EXPECT_NEAR(font0 * 3 / 2, FontHeight(edit->GetHandle()), 1);
    EXPECT_EQ(FontHeight(edit->GetHandle()), FontHeight(label)) << "one font, shared as before";
    SIZE dialog = ClientSize(panel.dialogHandle);
    EXPECT_NEAR(dialog0.cx * 3 / 2, dialog.cx, 1);
    EXPECT_NEAR(dialog0.cy * 3 / 2, dialog.cy, 1);
    SIZE client = ClientSize(panel.handle);
    EXPECT_EQ(dialog.cx, client.cx) << "the frame fits the dialog again";
    EXPECT_EQ(dialog.cy, client.cy);
    EXPECT_EQ(panel.clientWidth, client.cx);

    // And back: where it started, within a pixel.
    GetWindowRect(panel.handle, &frame);
    ChangeScale(panel, 96, RECT{frame.left, frame.top, frame.left + 100, frame.top + 100});
    RECT back = RectInParent(edit->GetHandle());
    EXPECT_NEAR(edit0.left, back.left, 1);
    EXPECT_NEAR(edit0.right, back.right, 1);
    EXPECT_NEAR(font0, FontHeight(edit->GetHandle()), 1);
    DestroyAndPump(panel);
}

TEST(DialogWindowScale, AResizableFrameScalesItsMinimumAndItsAnchorsFollowTheNewReference) {
    DpiScope scale(96);
    auto* run = new VQWin32DialogItem(IDC_TEST_RUN);
    run->anchorFlags = VQWin32AnchorMoveRight | VQWin32AnchorStretchDown;
    VQWin32DialogWindowCreateInfo info({run});
    UseTestPanel(&info, L"QBTestScaleResizable");
    info.resizable = true;
    info.style |= WS_THICKFRAME;
    TestPanel panel;
    ASSERT_TRUE(panel.Open(&info));
    int minWidth0 = panel.minWidth, minHeight0 = panel.minHeight;
    RECT initial0 = run->initialRect;

    // Larger than the scaled dialog by 60 x 40 client pixels.
    RECT frame;
    GetWindowRect(panel.handle, &frame);
    int width = panel.dialogWidth * 3 / 2 + 60 + panel.frameWidth;
    int height = panel.dialogHeight * 3 / 2 + 40 + panel.frameHeight;
    ChangeScale(panel, 144, RECT{frame.left, frame.top, frame.left + width, frame.top + height});
    EXPECT_NEAR(minWidth0 * 3 / 2, panel.minWidth, 1);
    EXPECT_NEAR(minHeight0 * 3 / 2, panel.minHeight, 1);
    EXPECT_EQ(panel.minWidth, panel.dialogWidth);
    SIZE client = ClientSize(panel.handle);
    SIZE dialog = ClientSize(panel.dialogHandle);
    EXPECT_EQ(client.cx, dialog.cx);
    EXPECT_EQ(client.cy, dialog.cy);
    EXPECT_NEAR(60, client.cx - panel.dialogWidth, 2);
    // Moved and stretched by the growth beyond the scaled reference size.
    RECT now = RectInParent(run->GetHandle());
    EXPECT_TRUE(OneAndAHalfTimes(initial0, run->initialRect));
    EXPECT_EQ(run->initialRect.left + (client.cx - panel.dialogWidth), now.left);
    EXPECT_EQ(run->initialRect.top, now.top);
    EXPECT_EQ(run->initialRect.bottom + (client.cy - panel.dialogHeight), now.bottom);
    DestroyAndPump(panel);
}
