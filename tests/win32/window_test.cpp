#include "win32/window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/log_capture.h"
#include "tests/support/registry_key.h"
#include "tests/win32/test_windows.h"
#include "win32/standard_window.h"

namespace {

// A window base that records what reaches a few handlers.
class ProbeWindow : public VQWin32Window {
public:
    ProbeWindow() : VQWin32Window(TestInstance()) {}

    int OnCreate(HWND hwnd, WPARAM, LPARAM) override {
        created.push_back(hwnd);
        return 0;
    }
    int OnCommand(HWND, WPARAM wParam, LPARAM) override {
        commands.push_back(LOWORD(wParam));
        return 1;
    }
    int OnUserMessage(HWND, UINT message, WPARAM, LPARAM) override {
        userMessages.push_back(message);
        return 0;
    }
    int OnAppMessage(HWND, UINT message, WPARAM, LPARAM) override {
        appMessages.push_back(message);
        return 0;
    }
    int OnMouseWheel(HWND hwnd, WPARAM wParam, LPARAM lParam) override {
        wheelTargets.push_back(hwnd);
        if (handleWheel) return 0;
        return VQWin32Window::OnMouseWheel(hwnd, wParam, lParam);
    }
    void OnIdle(DWORD tick) override {
        idleTicks.push_back(tick);
        if (idleTicks.size() == 3) PostQuitMessage(9);
    }
    void OnDpiChanged(UINT newDpi, const RECT* suggested) override {
        dpiChanges.push_back(newDpi);
        VQWin32Window::OnDpiChanged(newDpi, suggested);
    }

    std::vector<HWND> created;
    std::vector<int> commands;
    std::vector<UINT> userMessages;
    std::vector<UINT> appMessages;
    std::vector<HWND> wheelTargets;
    std::vector<DWORD> idleTicks;
    std::vector<UINT> dpiChanges;
    bool handleWheel = false;
};

class ProbeStandardWindow : public VQWin32StandardWindow {
public:
    ProbeStandardWindow() : VQWin32StandardWindow(TestInstance()) {}
    int OnMouseWheel(HWND hwnd, WPARAM, LPARAM) override {
        wheelTargets.push_back(hwnd);
        return 0;
    }
    std::vector<HWND> wheelTargets;
};

VQWin32WindowCreateInfo TopLevelInfo(const wchar_t* className, int left, int top, int right, int bottom) {
    VQWin32WindowCreateInfo info;
    info.className = className;
    info.rect = RECT{left, top, right, bottom};
    return info;
}

VQWin32WindowCreateInfo ChildInfo(VQWin32Window* parent) {
    VQWin32WindowCreateInfo info;
    info.parentWindow = parent;
    info.style = WS_CHILD | WS_VISIBLE;
    info.rect = RECT{0, 0, 40, 30};
    return info;
}

}  // namespace

TEST(WindowCreation, OpenWithoutInfoMakesTheDefaultTopLevelWindow) {
    ProbeWindow window;
    ASSERT_TRUE(window.Open(nullptr));
    HWND hwnd = window.handle;
    EXPECT_EQ(L"VQApp", ClassName(hwnd));
    EXPECT_EQ(&window, VQWin32Window::FromHandle(hwnd));
    POINT origin = ClientOrigin(hwnd);
    SIZE size = ClientSize(hwnd);
    EXPECT_EQ(32, origin.x);
    EXPECT_EQ(48, origin.y);
    EXPECT_EQ(736, size.cx);
    EXPECT_EQ(414, size.cy);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_TRUE(window.registryKey.Equals("Software\\velqo\\VQApp"));
    EXPECT_EQ(32, window.clientScreenRect.left);
    EXPECT_EQ(48, window.clientScreenRect.top);
    EXPECT_EQ(768, window.clientScreenRect.right);
    EXPECT_EQ(462, window.clientScreenRect.bottom);
    EXPECT_GT(window.frameWidth, 0);
    EXPECT_GT(window.frameHeight, 0);

    // The class name is taken: a second top-level window with it fails in Regist.
    ProbeWindow second;
    {
        LogCapture log;
        EXPECT_FALSE(second.Open(nullptr));
        EXPECT_EQ(LogCapture::ShiftJis(L"[VQWin32Window::Regist]ウィンドウクラスの登録ができませんでした。\r\n"), log.Text());
    }
    EXPECT_EQ(nullptr, second.handle);
    EXPECT_EQ(0, second.classRegistered);

    // Destroying a window without parent ends the application's loop.
    DestroyWindow(hwnd);
    EXPECT_TRUE(PumpPending());
}

TEST(WindowCreation, MessagesBeforeTheLinkGoToTheMainWindow) {
    ProbeWindow main;
    VQWin32WindowCreateInfo mainInfo = TopLevelInfo(L"QBTestMain", 10, 10, 200, 100);
    MainWindowScope scope(&main);
    ASSERT_TRUE(main.Open(&mainInfo));
    // The main window's own WM_CREATE came while it had no handle: nobody saw it.
    EXPECT_TRUE(main.created.empty());

    ProbeWindow other;
    VQWin32WindowCreateInfo otherInfo = TopLevelInfo(L"QBTestOther", 20, 20, 120, 80);
    ASSERT_TRUE(other.Open(&otherInfo));
    ASSERT_EQ(1u, main.created.size());
    EXPECT_EQ(other.handle, main.created[0]);
    EXPECT_TRUE(other.created.empty());

    DestroyAndPump(other);
    DestroyAndPump(main);
}

TEST(WindowCreation, AttachHandleAdoptsAWindowOfAFrameworkClass) {
    ProbeWindow source;
    VQWin32WindowCreateInfo info = TopLevelInfo(L"QBTestAttach", 10, 10, 210, 110);
    ASSERT_TRUE(source.Open(&info));
    HWND raw = CreateWindowExW(0, L"QBTestAttach", L"adopted", WS_OVERLAPPEDWINDOW, 300, 200, 240, 160, nullptr,
                               nullptr, TestInstance(), nullptr);
    ASSERT_NE(nullptr, raw);
    ProbeWindow adopted;
    ASSERT_TRUE(adopted.AttachHandle(raw, nullptr, SW_SHOW));
    EXPECT_EQ(&adopted, VQWin32Window::FromHandle(raw));
    EXPECT_TRUE(IsWindowVisible(raw));
    POINT origin = ClientOrigin(raw);
    EXPECT_EQ(origin.x, adopted.clientScreenRect.left);
    EXPECT_EQ(origin.y, adopted.clientScreenRect.top);
    EXPECT_EQ(ClientSize(raw).cx, adopted.clientWidth);
    SendMessageW(raw, WM_COMMAND, 5, 0);
    ASSERT_EQ(1u, adopted.commands.size());
    EXPECT_TRUE(source.commands.empty());

    DestroyAndPump(adopted);
    DestroyAndPump(source);
}

TEST(WindowCreation, OperationsWithoutAWindowLogAndFail) {
    LogCapture log;
    VQWin32Window window(nullptr);
    EXPECT_FALSE(window.Show(SW_SHOW));
    EXPECT_FALSE(window.Update());
    window.Enable(false, nullptr);
    EXPECT_EQ(0, window.enableCount) << "counting goes on without a window";
    EXPECT_FALSE(window.Create(static_cast<HWND>(nullptr), nullptr));
    // A child style without a parent: the system refuses the window.
    VQWin32WindowCreateInfo orphanInfo = TopLevelInfo(L"QBTestOrphan", 0, 0, 10, 10);
    orphanInfo.style = WS_CHILD;
    ProbeWindow orphan;
    EXPECT_FALSE(orphan.Open(&orphanInfo));
    EXPECT_EQ(nullptr, orphan.handle);
    EXPECT_EQ(LogCapture::ShiftJis(L"[VQWin32Window::VQWin32Window]インスタンスが指定されていません。\r\n"
                     L"[VQWin32Window::Show]ウィンドウが作成されていません。\r\n"
                     L"[VQWin32Window::Update]ウィンドウが作成されていません。\r\n"
                     L"[VQWin32Window::Enable]ウィンドウが作成されていません。\r\n"
                     L"[VQWin32Window::Create]ウィンドウハンドルが指定されていません。\r\n"
                     L"[VQWin32Window::Create]ウィンドウの作成に失敗しました。\r\n"),
              log.Text());
}

TEST(WindowCreation, ChildrenNumberedByTheirParentGiveTheLastNumberBack) {
    ProbeWindow parent;
    parent.registryKey = "Software\\QBTest";
    VQWin32WindowCreateInfo parentInfo = TopLevelInfo(L"Quenbrix", 10, 10, 300, 200);
    ASSERT_TRUE(parent.Open(&parentInfo));

    ProbeWindow first, second;
    VQWin32WindowCreateInfo firstInfo = ChildInfo(&parent);
    VQWin32WindowCreateInfo secondInfo = ChildInfo(&parent);
    ASSERT_TRUE(first.Open(&firstInfo));
    ASSERT_TRUE(second.Open(&secondInfo));
    EXPECT_EQ(1000, first.childId);
    EXPECT_EQ(1001, second.childId);
    EXPECT_EQ(L"Quenbrix_Child1000", ClassName(first.handle));
    EXPECT_EQ(L"Quenbrix_Child1001", ClassName(second.handle));
    EXPECT_TRUE(first.registryKey.Equals("Software\\QBTest\\03e8"));
    EXPECT_TRUE(second.registryKey.Equals("Software\\QBTest\\03e9"));
    EXPECT_EQ(1000, GetDlgCtrlID(first.handle));
    EXPECT_EQ(parent.handle, GetParent(first.handle));
    EXPECT_EQ(1002, parent.nextChildId);

    // Only the last number handed out comes back.
    DestroyWindow(first.handle);
    EXPECT_EQ(1002, parent.nextChildId);
    EXPECT_EQ(0, first.childId);
    DestroyWindow(second.handle);
    EXPECT_EQ(1001, parent.nextChildId);
    EXPECT_FALSE(PumpPending());  // children post no WM_QUIT

    DestroyAndPump(parent);
}

TEST(WindowEnabling, EnableIsCountedAndReachesOwnedWindows) {
    ProbeWindow owner;
    VQWin32WindowCreateInfo ownerInfo = TopLevelInfo(L"QBTestOwner", 10, 10, 300, 200);
    ASSERT_TRUE(owner.Open(&ownerInfo));
    VQWin32StandardWindow popup(TestInstance());
    VQWin32WindowCreateInfo popupInfo = TopLevelInfo(L"QBTestPopup", 40, 40, 140, 100);
    popupInfo.parentWindow = &owner;
    popupInfo.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
    ASSERT_TRUE(popup.Open(&popupInfo));
    ASSERT_EQ(1, owner.ownedWindows.GetCount());
    EXPECT_EQ(&popup, owner.FindOwnedWindow(popup.handle));

    EXPECT_EQ(1, owner.Enable(false, nullptr));
    owner.Enable(false, nullptr);
    owner.Enable(true, nullptr);
    EXPECT_FALSE(IsWindowEnabled(owner.handle));
    EXPECT_FALSE(IsWindowEnabled(popup.handle));
    owner.Enable(true, nullptr);
    EXPECT_TRUE(IsWindowEnabled(owner.handle));
    EXPECT_TRUE(IsWindowEnabled(popup.handle));

    // The origin keeps its own state; its owned windows still hear the call.
    owner.Enable(false, &owner);
    EXPECT_TRUE(IsWindowEnabled(owner.handle));
    EXPECT_EQ(1, owner.enableCount);
    EXPECT_FALSE(IsWindowEnabled(popup.handle));
    owner.Enable(true, &owner);
    EXPECT_TRUE(IsWindowEnabled(popup.handle));

    // Closing an owned, modeless popup hides it; destroying it leaves the list.
    EXPECT_TRUE(popup.Close());
    EXPECT_TRUE(IsWindow(popup.handle));
    EXPECT_FALSE(IsWindowVisible(popup.handle));
    DestroyWindow(popup.handle);
    EXPECT_EQ(0, owner.ownedWindows.GetCount());
    DestroyAndPump(owner);
}

TEST(WindowGeometry, SizingKeepsLimitsAndStepsOnTheDraggedEdge) {
    ProbeWindow window;
    VQWin32WindowCreateInfo info = TopLevelInfo(L"QBTestSizing", 50, 60, 450, 360);
    ASSERT_TRUE(window.Open(&info));
    int fw = window.frameWidth;
    int fh = window.frameHeight;
    auto proposal = [&](int clientWidth, int clientHeight) {
        return RECT{100, 100, 100 + fw + clientWidth, 100 + fh + clientHeight};
    };

    RECT rect = proposal(203, 157);
    SendMessageW(window.handle, WM_SIZING, WMSZ_RIGHT, reinterpret_cast<LPARAM>(&rect));
    EXPECT_EQ(100 + fw + 203, rect.right) << "no limits: untouched";
    EXPECT_EQ(100 + fh + 157, rect.bottom);

    window.SetSizeLimits(-1, -1, -1, -1, 8, 0);
    rect = proposal(203, 157);
    SendMessageW(window.handle, WM_SIZING, WMSZ_RIGHT, reinterpret_cast<LPARAM>(&rect));
    EXPECT_EQ(100, rect.left);
    EXPECT_EQ(100 + fw + 200, rect.right);
    EXPECT_EQ(100 + fh + 157, rect.bottom);

    rect = proposal(203, 157);
    SendMessageW(window.handle, WM_SIZING, WMSZ_LEFT, reinterpret_cast<LPARAM>(&rect));
    EXPECT_EQ(100 + fw + 203, rect.right) << "the right edge stays";
    EXPECT_EQ(100 + 3, rect.left);

    window.SetSizeLimits(300, 200, 500, 400, 0, 0);
    rect = proposal(100, 100);
    SendMessageW(window.handle, WM_SIZING, WMSZ_TOPLEFT, reinterpret_cast<LPARAM>(&rect));
    EXPECT_EQ(100 + fw + 100, rect.right);
    EXPECT_EQ(100 + fh + 100, rect.bottom);
    EXPECT_EQ(300, rect.right - rect.left - fw);
    EXPECT_EQ(200, rect.bottom - rect.top - fh);

    rect = proposal(600, 450);
    SendMessageW(window.handle, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&rect));
    EXPECT_EQ(100, rect.left);
    EXPECT_EQ(100, rect.top);
    EXPECT_EQ(500, rect.right - rect.left - fw);
    EXPECT_EQ(400, rect.bottom - rect.top - fh);

    DestroyAndPump(window);
}

TEST(WindowGeometry, TheLimitsHoldForSizesThatAreNotDragged) {
    ProbeWindow window;
    MainWindowScope scope(&window);
    VQWin32WindowCreateInfo info = TopLevelInfo(L"QBTestTrackLimits", 50, 60, 450, 360);
    ASSERT_TRUE(window.Open(&info));
    // A size set by code or by the system (snapping), as a client size.
    auto resize = [&](int clientWidth, int clientHeight) {
        SetWindowPos(window.handle, nullptr, 0, 0, clientWidth + window.frameWidth, clientHeight + window.frameHeight,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return ClientSize(window.handle);
    };
    SIZE client = resize(250, 150);
    EXPECT_EQ(250, client.cx) << "no limits: taken as it is";
    EXPECT_EQ(150, client.cy);

    window.SetSizeLimits(400, 300, 700, 500, 0, 0);
    client = resize(250, 150);
    EXPECT_EQ(400, client.cx);
    EXPECT_EQ(300, client.cy);
    client = resize(1000, 800);
    EXPECT_EQ(700, client.cx);
    EXPECT_EQ(500, client.cy);
    MINMAXINFO track = {};
    SendMessageW(window.handle, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&track));
    EXPECT_EQ(400 + window.frameWidth, track.ptMinTrackSize.x);
    EXPECT_EQ(300 + window.frameHeight, track.ptMinTrackSize.y);
    EXPECT_EQ(700 + window.frameWidth, track.ptMaxTrackSize.x);
    EXPECT_EQ(500 + window.frameHeight, track.ptMaxTrackSize.y);

    // Another window hears the messages of its creation through this one,
    // the main window: it is made at its own size, not at these limits.
    ProbeWindow other;
    VQWin32WindowCreateInfo otherInfo = TopLevelInfo(L"QBTestTrackLimitsOther", 600, 60, 850, 210);
    ASSERT_TRUE(other.Open(&otherInfo));
    EXPECT_EQ(250, ClientSize(other.handle).cx);
    EXPECT_EQ(150, ClientSize(other.handle).cy);
    DestroyAndPump(other);
    DestroyAndPump(window);
}

TEST(WindowGeometry, SizeMessagesTrackMinimisedAndRestoredStates) {
    ProbeWindow window;
    VQWin32WindowCreateInfo info = TopLevelInfo(L"QBTestSize", 50, 60, 450, 360);
    ASSERT_TRUE(window.Open(&info));
    RECT before = window.clientScreenRect;

    SendMessageW(window.handle, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_EQ(1, window.minimized);
    EXPECT_EQ(0, window.maximized);
    EXPECT_TRUE(EqualRect(&before, &window.clientScreenRect));

    // A real resize and move: the restored state clears both flags and the
    // geometry follows, the client area keeping its place inside the frame.
    RECT outer = {70, 90, 70 + 300 + window.frameWidth, 90 + 200 + window.frameHeight};
    MoveWindow(window.handle, outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top, TRUE);
    EXPECT_EQ(0, window.minimized);
    EXPECT_EQ(300, window.clientWidth);
    EXPECT_EQ(200, window.clientHeight);
    POINT origin = ClientOrigin(window.handle);
    EXPECT_EQ(origin.x, window.clientScreenRect.left);
    EXPECT_EQ(origin.y, window.clientScreenRect.top);
    EXPECT_EQ(origin.x + 300, window.clientScreenRect.right);

    // A move alone (no drag) refreshes the place as well.
    SetWindowPos(window.handle, nullptr, 120, 130, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    origin = ClientOrigin(window.handle);
    EXPECT_EQ(origin.x, window.clientScreenRect.left);
    EXPECT_EQ(origin.y, window.clientScreenRect.top);

    DestroyAndPump(window);
}

TEST(WindowGeometry, DockedChildrenStackUnderTheTopBar) {
    ProbeWindow parent;
    VQWin32WindowCreateInfo parentInfo = TopLevelInfo(L"QBTestDockParent", 10, 10, 310, 210);
    ASSERT_TRUE(parent.Open(&parentInfo));
    ProbeWindow bar, fill, footer;
    VQWin32WindowCreateInfo barInfo = ChildInfo(&parent);
    barInfo.dockMode = 1;
    barInfo.rect = RECT{0, 0, 50, 24};
    VQWin32WindowCreateInfo fillInfo = ChildInfo(&parent);
    fillInfo.dockMode = 3;
    VQWin32WindowCreateInfo footerInfo = ChildInfo(&parent);
    footerInfo.dockMode = 2;
    footerInfo.rect = RECT{0, 0, 50, 16};
    ASSERT_TRUE(bar.Open(&barInfo));
    ASSERT_TRUE(fill.Open(&fillInfo));
    ASSERT_TRUE(footer.Open(&footerInfo));
    parent.AddDockedChild(&fill);
    parent.AddDockedChild(&bar);
    parent.AddDockedChild(&footer);

    parent.Relayout();
    RECT barRect = RectInParent(bar.handle);
    RECT fillRect = RectInParent(fill.handle);
    RECT footerRect = RectInParent(footer.handle);
    EXPECT_EQ(0, barRect.top);
    EXPECT_EQ(24, barRect.bottom);
    EXPECT_EQ(300, barRect.right);
    EXPECT_EQ(200 - 16, footerRect.top);
    EXPECT_EQ(200, footerRect.bottom);
    EXPECT_EQ(24, fillRect.top);
    EXPECT_EQ(200 - 16, fillRect.bottom);
    EXPECT_EQ(300, fillRect.right);

    DestroyAndPump(parent);
}

namespace {

int SwallowCommands(void* calls, HWND, UINT message, WPARAM, LPARAM) {
    ++*static_cast<int*>(calls);
    return message == WM_COMMAND ? 0 : 1;
}

}  // namespace

TEST(WindowDispatch, HooksRangesAndHandlersDecideTheResult) {
    ProbeWindow window;
    VQWin32WindowCreateInfo info = TopLevelInfo(L"QBTestDispatch", 10, 10, 210, 110);
    ASSERT_TRUE(window.Open(&info));

    SendMessageW(window.handle, WM_COMMAND, 77, 0);
    ASSERT_EQ(1u, window.commands.size());

    int hookCalls = 0;
    window.AddProcHook(SwallowCommands, &hookCalls);
    EXPECT_EQ(0, SendMessageW(window.handle, WM_COMMAND, 78, 0));
    EXPECT_EQ(1u, window.commands.size()) << "the hook kept OnCommand from running";
    EXPECT_GE(hookCalls, 1);
    // Other messages pass the hook: WM_SETTEXT ends in DefaultProc.
    SendMessageW(window.handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"題名"));
    EXPECT_EQ(L"題名", WindowText(window.handle));
    window.RemoveProcHook(SwallowCommands, &hookCalls);
    SendMessageW(window.handle, WM_COMMAND, 79, 0);
    EXPECT_EQ(2u, window.commands.size());

    SendMessageW(window.handle, WM_USER + 5, 0, 0);
    SendMessageW(window.handle, WM_APP + 6, 0, 0);
    SendMessageW(window.handle, 0x7FFF, 0, 0);
    ASSERT_EQ(2u, window.userMessages.size());
    EXPECT_EQ(static_cast<UINT>(WM_USER + 5), window.userMessages[0]);
    EXPECT_EQ(0x7FFFu, window.userMessages[1]);
    ASSERT_EQ(1u, window.appMessages.size());
    EXPECT_EQ(static_cast<UINT>(WM_APP + 6), window.appMessages[0]);

    // WM_ACTIVATE keeps the state; WM_CLOSE goes through Close to DestroyWindow.
    SendMessageW(window.handle, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(1, window.active);
    SendMessageW(window.handle, WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(0, window.active);
    SendMessageW(window.handle, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window.handle));
    EXPECT_TRUE(PumpPending());
}

TEST(WindowDispatch, EndOfSessionClosesTheWindowAndLetsTheSessionEnd) {
    ProbeWindow window;
    VQWin32WindowCreateInfo info = TopLevelInfo(L"QBTestEndSession", 10, 10, 210, 110);
    ASSERT_TRUE(window.Open(&info));
    EXPECT_EQ(TRUE, SendMessageW(window.handle, WM_QUERYENDSESSION, 0, 0));
    EXPECT_FALSE(IsWindow(window.handle));
    EXPECT_TRUE(PumpPending());
}

TEST(WindowLoop, RunDispatchesUntilQuitAndReturnsItsCode) {
    ProbeWindow window;
    VQWin32WindowCreateInfo info = TopLevelInfo(L"QBTestLoop", 10, 10, 210, 110);
    ASSERT_TRUE(window.Open(&info));
    MainWindowScope scope(&window);
    PumpPending();
    PostMessageW(window.handle, WM_APP + 1, 0, 0);
    PostMessageW(window.handle, WM_APP + 2, 0, 0);
    PostQuitMessage(7);
    QuitWatchdog watchdog(kWaitMs, -1);
    EXPECT_EQ(7, window.Run(0));
    ASSERT_EQ(2u, window.appMessages.size());
    EXPECT_EQ(static_cast<UINT>(WM_APP + 2), window.appMessages[1]);
    EXPECT_TRUE(window.idleTicks.empty()) << "no idle processing without the idle loop";
    DestroyAndPump(window);
}

namespace {

struct IdleLog {
    std::vector<DWORD> ticks;
    ProbeWindow* window;
    size_t idleCallsSeen = 0;
};

void RecordIdle(void* userData, DWORD tick) {
    auto* log = static_cast<IdleLog*>(userData);
    log->ticks.push_back(tick);
    // The procedures run before OnIdle of the same pass.
    log->idleCallsSeen = log->window->idleTicks.size();
}

void CountIdle(void* userData, DWORD) { ++*static_cast<int*>(userData); }

}  // namespace

TEST(WindowLoop, IdleLoopCallsProceduresThenOnIdleWithTheTick) {
    ProbeWindow window;
    VQWin32WindowCreateInfo info = TopLevelInfo(L"QBTestIdle", 10, 10, 210, 110);
    info.idleLoop = true;
    ASSERT_TRUE(window.Open(&info));
    EXPECT_EQ(1, window.idleLoop);
    PumpPending();
    IdleLog log;
    log.window = &window;
    window.AddIdleProc(RecordIdle, &log);
    QuitWatchdog watchdog(kWaitMs, -1);
    EXPECT_EQ(9, window.Run(0));
    ASSERT_EQ(3u, window.idleTicks.size());
    ASSERT_EQ(3u, log.ticks.size());
    EXPECT_EQ(log.ticks[2], window.idleTicks[2]);
    EXPECT_EQ(2u, log.idleCallsSeen);
    DestroyAndPump(window);
}

TEST(WindowLoop, DefaultIdleSleepsBetweenEmptyPolls) {
    VQWin32Window window(TestInstance());
    VQWin32WindowCreateInfo info = TopLevelInfo(L"QBTestIdleSleep", 10, 10, 210, 110);
    info.idleLoop = true;
    ASSERT_TRUE(window.Open(&info));
    PumpPending();
    int calls = 0;
    window.AddIdleProc(CountIdle, &calls);
    QuitWatchdog watchdog(300, 4);
    DWORD start = GetTickCount();
    EXPECT_EQ(4, window.Run(0));
    int elapsed = static_cast<int>(GetTickCount() - start);
    EXPECT_GE(calls, 1);
    // A busy loop would poll thousands of times; each empty poll sleeps 50 ms.
    EXPECT_LE(calls, elapsed / 40 + 2);
    DestroyAndPump(window);
}

TEST(WindowRegistry, AccessorsWorkUnderTheWindowKey) {
    TestRegistryKey key;
    VQWin32Window window(TestInstance());
    window.registryKey = (key.Path() + "\\Window").c_str();

    const unsigned char block[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_TRUE(window.WriteBlock16("Block", block));
    unsigned char back[16] = {0};
    EXPECT_EQ(16, window.ReadBlock16("Block", back));
    EXPECT_EQ(0, memcmp(block, back, 16));
    EXPECT_EQ(0, window.ReadBlock16("Missing", back));

    const wchar_t text[] = L"値";
    EXPECT_TRUE(window.WriteValue(L"Text", text, sizeof text, REG_SZ));
    wchar_t read[8] = {0};
    EXPECT_EQ(static_cast<int>(sizeof text), window.ReadValue(L"Text", read, sizeof read));
    EXPECT_STREQ(text, read);
    EXPECT_EQ(0, window.ReadValue(L"Text", read, 2)) << "a value that does not fit";
    DWORD type = REG_NONE;
    EXPECT_EQ(0, window.ReadValue(L"Text", read, 2, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << "the type of a value that does not fit";
    EXPECT_EQ(static_cast<int>(sizeof text), window.ReadValue(L"Text", nullptr, 0, &type)) << "the size alone";
    EXPECT_EQ(0, window.ReadValue(L"Missing", read, sizeof read, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_NONE), type);

    DWORD number = 0x12345678;
    EXPECT_TRUE(window.WriteValue(L"Number", &number, sizeof number, REG_DWORD));
    DWORD numberBack = 0;
    EXPECT_EQ(4, window.ReadValue(L"Number", &numberBack, sizeof numberBack, &type));
    EXPECT_EQ(number, numberBack);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);

    window.registryKey = "";
    EXPECT_FALSE(window.WriteBlock16("Block", block));
    EXPECT_EQ(0, window.ReadBlock16("Block", back));
    EXPECT_EQ(0, window.ReadValue(L"Text", read, sizeof read));
}

TEST(WindowRouting, WheelAndPointLookupFindTheOwnedPopupUnderTheCursor) {
    ProbeWindow main;
    VQWin32WindowCreateInfo mainInfo = TopLevelInfo(L"QBTestWheelMain", 20, 40, 420, 340);
    MainWindowScope scope(&main);
    ASSERT_TRUE(main.Open(&mainInfo));
    ProbeStandardWindow popup;
    VQWin32WindowCreateInfo popupInfo = TopLevelInfo(L"QBTestWheelPopup", 600, 100, 800, 250);
    popupInfo.parentWindow = &main;
    popupInfo.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
    ASSERT_TRUE(popup.Open(&popupInfo));
    PumpPending();

    POINT onPopup = {700, 180};
    POINT onMain = {200, 200};
    POINT nowhere = {1200, 900};
    EXPECT_EQ(&popup, main.WindowFromScreenPoint(&onPopup));
    EXPECT_EQ(&main, main.WindowFromScreenPoint(&onMain));
    EXPECT_EQ(&main, popup.WindowFromScreenPoint(&onMain));
    EXPECT_EQ(nullptr, main.WindowFromScreenPoint(&nowhere));
    EXPECT_EQ(nullptr, main.WindowFromScreenPoint(nullptr));

    // The wheel turned over the popup reaches the popup, not the focus.
    SendMessageW(main.handle, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(onPopup.x, onPopup.y));
    ASSERT_EQ(1u, popup.wheelTargets.size());
    EXPECT_EQ(popup.handle, popup.wheelTargets[0]);
    SendMessageW(main.handle, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(onMain.x, onMain.y));
    EXPECT_EQ(1u, popup.wheelTargets.size());

    DestroyWindow(popup.handle);
    DestroyAndPump(main);
}

TEST(WindowGeometry, AChangeOfScaleReachesTheHookAndTakesTheSuggestedRectangle) {
    DpiScope scale(96);
    ProbeWindow window;
    VQWin32WindowCreateInfo info = TopLevelInfo(L"QBTestScaleHook", 100, 100, 400, 300);
    ASSERT_TRUE(window.Open(&info));
    EXPECT_EQ(96u, window.dpi);
    RECT suggested = {150, 120, 650, 470};
    LRESULT result =
        SendMessageW(window.handle, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(0, result);
    EXPECT_EQ(std::vector<UINT>{144}, window.dpiChanges);
    EXPECT_EQ(144u, window.dpi);
    RECT frame;
    GetWindowRect(window.handle, &frame);
    EXPECT_TRUE(EqualRect(&suggested, &frame));
    // The geometry follows, so the saved client rectangle is the real one.
    POINT origin = ClientOrigin(window.handle);
    EXPECT_EQ(origin.x, window.clientScreenRect.left);
    EXPECT_EQ(origin.y, window.clientScreenRect.top);
    EXPECT_EQ(ClientSize(window.handle).cx, window.clientWidth);
    DestroyAndPump(window);
}
