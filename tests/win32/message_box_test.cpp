#include "win32/message_box.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/drawn_text.h"
#include "tests/support/timer_script.h"
#include "tests/win32/test_windows.h"
#include "win32/monitor.h"
#include "win32/standard_window.h"
#include "win32/ui_font.h"

namespace {

HWND Box() { return FindThreadWindow(L"VQMsgBox"); }

// The box's buttons from left to right.
std::vector<HWND> Buttons(HWND box) {
    std::vector<HWND> buttons;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) buttons.push_back(child);
    std::sort(buttons.begin(), buttons.end(), [](HWND a, HWND b) { return RectInParent(a).left < RectInParent(b).left; });
    return buttons;
}

std::vector<std::wstring> Labels(HWND box) {
    std::vector<std::wstring> labels;
    for (HWND button : Buttons(box)) labels.push_back(WindowText(button));
    return labels;
}

std::vector<int> Ids(HWND box) {
    std::vector<int> ids;
    for (HWND button : Buttons(box)) ids.push_back(GetDlgCtrlID(button));
    return ids;
}

bool IsDefaultButton(HWND button) { return (GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON; }

// Index of the focused button, -1 when the focus is elsewhere; every other
// button must have lost the default outline, else -2.
int FocusedAndDefault(HWND box) {
    std::vector<HWND> buttons = Buttons(box);
    int focused = -1;
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (buttons[i] == GetFocus()) focused = static_cast<int>(i);
    }
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (IsDefaultButton(buttons[i]) != (static_cast<int>(i) == focused)) return -2;
    }
    return focused;
}

// A key as the keyboard sends it: TranslateMessage in the box's loop makes
// the character message.
void PressKey(WPARAM key) {
    HWND target = GetFocus();
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(target, WM_KEYDOWN, key, scan | 1);
    PostMessageW(target, WM_KEYUP, key, scan | 1 | (3u << 30));
}

void SetShift(bool down) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = down ? 0x80 : 0;
    keys[VK_LSHIFT] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

// Shows a box and, once it is up, runs `act` on it from the thread's timer.
// A box that no action closes is ended by a watchdog, which fails the test.
int AnswerBox(std::function<void(HWND)> act, VQWin32Window* owner, const wchar_t* text, const wchar_t* caption,
              int layout, int defaultButton) {
    TimerScript script;
    script.Then([act] {
        HWND box = Box();
        if (!box) return false;
        act(box);
        return true;
    });
    script.Start();
    QuitWatchdog watchdog(kWaitMs, 99);
    int result = MsgBox(owner, text, caption, layout, defaultButton);
    EXPECT_FALSE(watchdog.Fired()) << "the box was not answered";
    PumpPending();
    return result;
}

bool ClassIsRegistered() {
    WNDCLASSEXW wc;
    wc.cbSize = sizeof wc;
    return GetClassInfoExW(GetModuleHandleW(nullptr), L"VQMsgBox", &wc) != 0;
}

}  // namespace

TEST(MsgBoxAnswers, YesNoWithNoPreselected) {
    std::vector<std::wstring> labels;
    std::vector<int> ids;
    std::wstring caption;
    int focused = -3;
    bool registered = false;
    int result = AnswerBox(
        [&](HWND box) {
            labels = Labels(box);
            ids = Ids(box);
            caption = WindowText(box);
            focused = FocusedAndDefault(box);
            registered = ClassIsRegistered();
            PressKey(VK_RETURN);
        },
        nullptr, L"全ファイルを削除しますか？", L"確認", VQMB_YESNO, 2);
    EXPECT_EQ(IDNO, result);
    EXPECT_EQ((std::vector<std::wstring>{L"はい", L"いいえ"}), labels);
    EXPECT_EQ((std::vector<int>{IDYES, IDNO}), ids);
    EXPECT_EQ(L"確認", caption);
    EXPECT_EQ(1, focused);
    // Registered for the call, gone after it.
    EXPECT_TRUE(registered);
    EXPECT_FALSE(ClassIsRegistered());

    EXPECT_EQ(IDCANCEL, AnswerBox([](HWND) { PressKey(VK_ESCAPE); }, nullptr, L"?", L"確認", VQMB_YESNO, 2));
    EXPECT_EQ(IDCANCEL, AnswerBox([](HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); }, nullptr, L"?",
                                  L"確認", VQMB_YESNO, 2));
    // A click answers with the button's own id.
    EXPECT_EQ(IDYES, AnswerBox([](HWND box) { SendMessageW(Buttons(box)[0], BM_CLICK, 0, 0); }, nullptr, L"?",
                               L"確認", VQMB_YESNO, 2));
}

TEST(MsgBoxAnswers, EveryNamedLayoutHasItsLabelsAndResults) {
    struct Expected {
        int layout;
        std::vector<std::wstring> labels;
        std::vector<int> ids;
    } cases[] = {
        {VQMB_OK, {L"OK"}, {IDOK}},
        {VQMB_OKCANCEL, {L"OK", L"ｷｬﾝｾﾙ"}, {IDOK, IDCANCEL}},
        {VQMB_YESNOCANCEL, {L"はい", L"いいえ", L"ｷｬﾝｾﾙ"}, {IDYES, IDNO, IDCANCEL}},
        {VQMB_YESALLNOALLCANCEL,
         {L"はい", L"すべてはい", L"いいえ", L"すべていいえ", L"ｷｬﾝｾﾙ"},
         {IDYES, kVQIdYesAll, IDNO, kVQIdNoAll, IDCANCEL}},
        {VQMB_RETRYCANCEL, {L"再試行", L"ｷｬﾝｾﾙ"}, {IDRETRY, IDCANCEL}},
        {VQMB_CONTINUEABORT, {L"継続", L"中止"}, {IDCONTINUE, IDABORT}},
        {VQMB_ABORTRETRYIGNORE, {L"中止", L"再試行", L"無視"}, {IDABORT, IDRETRY, IDIGNORE}},
    };
    for (const Expected& c : cases) {
        std::vector<std::wstring> labels;
        std::vector<int> ids;
        // The last button answers through Enter once it has the focus.
        int result = AnswerBox(
            [&](HWND box) {
                labels = Labels(box);
                ids = Ids(box);
                PressKey(VK_RETURN);
            },
            nullptr, L"text", L"caption", c.layout, static_cast<int>(c.labels.size()));
        EXPECT_EQ(c.labels, labels) << c.layout;
        EXPECT_EQ(c.ids, ids) << c.layout;
        EXPECT_EQ(c.ids.back(), result) << c.layout;
        // Escape is 2 for every named layout, also where no button says so.
        EXPECT_EQ(IDCANCEL, AnswerBox([](HWND) { PressKey(VK_ESCAPE); }, nullptr, L"text", L"caption", c.layout, 1))
            << c.layout;
    }
}

TEST(MsgBoxAnswers, NumberedButtonsAnswerTheirNumberAndCloseGivesZero) {
    std::vector<std::wstring> labels;
    std::vector<int> ids;
    for (int pressed = 1; pressed <= 3; ++pressed) {
        int result = AnswerBox(
            [&](HWND box) {
                labels = Labels(box);
                ids = Ids(box);
                PressKey(VK_RETURN);
            },
            nullptr, L"どれにしますか", L"選択", 3, pressed);
        EXPECT_EQ(pressed, result);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"ボタン1", L"ボタン2", L"ボタン3"}), labels);
    EXPECT_EQ((std::vector<int>{1, 2, 3}), ids);
    EXPECT_EQ(0, AnswerBox([](HWND) { PressKey(VK_ESCAPE); }, nullptr, L"?", L"選択", 3, 1));
    EXPECT_EQ(0, AnswerBox([](HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); }, nullptr, L"?", L"選択", 3,
                           1));
    // No buttons at all: only the close box answers.
    size_t count = 99;
    EXPECT_EQ(0, AnswerBox(
                     [&](HWND box) {
                         count = Buttons(box).size();
                         PostMessageW(box, WM_CLOSE, 0, 0);
                     },
                     nullptr, L"お知らせ", L"情報", 0, 1));
    EXPECT_EQ(0u, count);
}

TEST(MsgBoxAnswers, InvalidCodesAndASecondBoxGiveMinusOneAtOnce) {
    for (int layout : {-1000, -991, -1, -100000}) {
        EXPECT_EQ(-1, MsgBox(nullptr, L"text", L"caption", layout, 1)) << layout;
        EXPECT_FALSE(ClassIsRegistered());
        EXPECT_EQ(nullptr, Box());
    }
    int nested = 0;
    int result = AnswerBox(
        [&](HWND) {
            nested = MsgBox(nullptr, L"二つ目", L"caption", VQMB_OK, 1);
            PressKey(VK_RETURN);
        },
        nullptr, L"一つ目", L"caption", VQMB_OKCANCEL, 2);
    EXPECT_EQ(-1, nested);
    EXPECT_EQ(IDCANCEL, result);
}

TEST(MsgBoxKeys, ArrowsAndTabCycleTheFocusAndTheDefaultOutline) {
    struct Move {
        WPARAM key;
        bool shift;
        int expected;
    } moves[] = {
        {VK_RIGHT, false, 1}, {VK_RIGHT, false, 2}, {VK_RIGHT, false, 0}, {VK_LEFT, false, 2},
        {VK_UP, false, 1},    {VK_DOWN, false, 2},  {VK_DOWN, false, 0},  {VK_UP, false, 2},
        {VK_TAB, false, 0},   {VK_TAB, false, 1},   {VK_TAB, true, 0},    {VK_TAB, true, 2},
        {VK_LEFT, false, 1},
    };
    std::vector<int> seen;
    int initial = -3;
    HWND box = nullptr;
    TimerScript script;
    script.Then([&] {
        box = Box();
        if (!box) return false;
        initial = FocusedAndDefault(box);
        return true;
    });
    for (const Move& move : moves) {
        script.Then([move] {
            SetShift(move.shift);
            PressKey(move.key);
            return true;
        });
        script.Then([&] {
            seen.push_back(FocusedAndDefault(box));
            SetShift(false);
            return true;
        });
    }
    script.Then([] {
        PressKey(VK_RETURN);
        return true;
    });
    script.Start();
    QuitWatchdog watchdog(kWaitMs, 99);
    int result = MsgBox(nullptr, L"保存しますか？", L"確認", VQMB_YESNOCANCEL, 1);
    EXPECT_FALSE(watchdog.Fired());
    PumpPending();

    EXPECT_EQ(0, initial);
    std::vector<int> expected;
    for (const Move& move : moves) expected.push_back(move.expected);
    EXPECT_EQ(expected, seen);
    // Enter answers for the button that the keys moved to.
    EXPECT_EQ(IDNO, result);
}

TEST(MsgBoxKeys, TheDefaultArgumentPicksTheFocusedButtonWhateverItsTopBit) {
    int focused = -3;
    auto note = [&](HWND box) {
        focused = FocusedAndDefault(box);
        PostMessageW(box, WM_CLOSE, 0, 0);
    };
    // The top bit only asks for the foreground as well.
    AnswerBox(note, nullptr, L"?", L"?", VQMB_YESNOCANCEL, 3 | kVQMsgBoxForeground);
    EXPECT_EQ(2, focused);
    // Outside 1 ... count: the first button.
    for (int outside : {0, 4, -5, kVQMsgBoxForeground}) {
        AnswerBox(note, nullptr, L"?", L"?", VQMB_YESNOCANCEL, outside);
        EXPECT_EQ(0, focused) << outside;
    }
}

TEST(MsgBoxOwner, TheMainWindowIsEnabledAfterwardsOnlyIfItWasBefore) {
    MainWithPopup windows(L"QBTestMsgBoxMain", L"QBTestMsgBoxPopup");
    ASSERT_TRUE(windows.opened);
    VQWin32StandardWindow& main = windows.main;
    VQWin32StandardWindow& popup = windows.popup;

    bool mainEnabled = true, popupEnabled = true;
    HWND boxOwner = nullptr;
    RECT boxRect = {0, 0, 0, 0};
    auto note = [&](HWND box) {
        mainEnabled = IsWindowEnabled(main.handle) != 0;
        popupEnabled = IsWindowEnabled(popup.handle) != 0;
        boxOwner = GetWindow(box, GW_OWNER);
        GetWindowRect(box, &boxRect);
        PressKey(VK_RETURN);
    };
    EXPECT_EQ(IDOK, AnswerBox(note, &main, L"エラーです。", L"エラー", VQMB_OK, 1));
    EXPECT_FALSE(mainEnabled);
    EXPECT_FALSE(popupEnabled);
    EXPECT_EQ(main.handle, boxOwner);
    EXPECT_TRUE(IsWindowEnabled(main.handle));
    EXPECT_TRUE(IsWindowEnabled(popup.handle));
    EXPECT_EQ(1, main.enableCount);
    EXPECT_EQ(1, popup.enableCount);
    // Centred on its owner.
    RECT mainRect;
    GetWindowRect(main.handle, &mainRect);
    EXPECT_NEAR((mainRect.left + mainRect.right) / 2, (boxRect.left + boxRect.right) / 2, 1);
    EXPECT_NEAR((mainRect.top + mainRect.bottom) / 2, (boxRect.top + boxRect.bottom) / 2, 1);

    // Disabled before the box: left disabled, and its count untouched.
    main.Enable(false, nullptr);
    EXPECT_EQ(IDCANCEL, AnswerBox([](HWND) { PressKey(VK_ESCAPE); }, &main, L"?", L"エラー", VQMB_OK, 1));
    EXPECT_FALSE(IsWindowEnabled(main.handle));
    EXPECT_EQ(0, main.enableCount);
    EXPECT_EQ(0, popup.enableCount);
    main.Enable(true, nullptr);

    // The close box enables it again too.
    EXPECT_EQ(IDCANCEL, AnswerBox([](HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); }, &main, L"?",
                                  L"エラー", VQMB_OKCANCEL, 1));
    EXPECT_TRUE(IsWindowEnabled(main.handle));
    EXPECT_EQ(1, main.enableCount);
}

TEST(MsgBoxOwner, AQuitForTheOuterLoopClosesTheBoxAndIsPassedOn) {
    VQWin32StandardWindow main(TestInstance());
    MainWindowScope scope(&main);
    VQWin32WindowCreateInfo mainInfo;
    mainInfo.className = L"QBTestMsgBoxQuit";
    ASSERT_TRUE(main.Open(&mainInfo));
    PumpPending();

    TimerScript script;
    script.Then([] {
        if (!Box()) return false;
        PostQuitMessage(42);
        return true;
    });
    script.Start();
    int result = MsgBox(&main, L"終了します", L"確認", VQMB_YESNO, 1);
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(nullptr, Box());
    EXPECT_FALSE(ClassIsRegistered());
    EXPECT_TRUE(IsWindowEnabled(main.handle));
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(42, static_cast<int>(quit.wParam));

    // The main window closed from outside while the box is up takes the box
    // with it; the quit it posts still belongs to the outer loop.
    TimerScript closing;
    closing.Then([&main] {
        if (!Box()) return false;
        DestroyWindow(main.handle);
        return true;
    });
    closing.Start();
    QuitWatchdog watchdog(kWaitMs, 99);
    EXPECT_EQ(-1, MsgBox(&main, L"エラーです。", L"エラー", VQMB_OK, 1)) << "no button was pressed";
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(nullptr, Box());
    EXPECT_FALSE(ClassIsRegistered());
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0, static_cast<int>(quit.wParam));
}

namespace {

struct BoxLayout {
    SIZE client = {0, 0};
    RECT window = {0, 0, 0, 0};
    std::vector<RECT> buttons;
    LOGFONTW font = {};
    int lineHeight = 0;
};

BoxLayout Measure(const wchar_t* text, int layout) {
    BoxLayout seen;
    AnswerBox(
        [&](HWND box) {
            seen.client = ClientSize(box);
            GetWindowRect(box, &seen.window);
            for (HWND button : Buttons(box)) seen.buttons.push_back(RectInParent(button));
            HFONT font = reinterpret_cast<HFONT>(SendMessageW(Buttons(box)[0], WM_GETFONT, 0, 0));
            GetObjectW(font, sizeof seen.font, &seen.font);
            HDC dc = GetDC(box);
            HGDIOBJ old = SelectObject(dc, font);
            TEXTMETRICW metrics;
            GetTextMetricsW(dc, &metrics);
            seen.lineHeight = metrics.tmHeight;
            SelectObject(dc, old);
            ReleaseDC(box, dc);
            PostMessageW(box, WM_CLOSE, 0, 0);
        },
        nullptr, text, L"エラー", layout, 1);
    return seen;
}

}  // namespace

TEST(MsgBoxLayout, ThreeLinesMakeATallerBoxWithTheOkButtonCentredBelow) {
    HDC screen = GetDC(nullptr);
    int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    int unit = MulDiv(9, dpiY, 72);

    BoxLayout one = Measure(L"一行目", VQMB_OK);
    BoxLayout three = Measure(L"一行目\n二行目は少し長めの行です\n三行目", VQMB_OK);
    ASSERT_EQ(1u, one.buttons.size());
    ASSERT_EQ(1u, three.buttons.size());

    // The program's UI font at this scale.
    const LOGFONTW& ui = VQWin32UiFont();
    EXPECT_STREQ(ui.lfFaceName, three.font.lfFaceName);
    EXPECT_EQ(ui.lfCharSet, three.font.lfCharSet);
    EXPECT_EQ(MulDiv(ui.lfHeight, dpiY, 96), three.font.lfHeight);

    // Two more lines of text, nothing else.
    EXPECT_EQ(one.client.cy + 2 * three.lineHeight, three.client.cy);
    const RECT& ok = three.buttons[0];
    EXPECT_GE(ok.right - ok.left, MulDiv(64, dpiX, 72));
    EXPECT_EQ(MulDiv(16, dpiY, 72), ok.bottom - ok.top);
    EXPECT_NEAR(three.client.cx / 2, (ok.left + ok.right) / 2, 1);
    // A margin of one unit below the text and below the button.
    EXPECT_EQ(three.client.cy - unit, ok.bottom);
    EXPECT_EQ(unit + 3 * three.lineHeight + unit, ok.top);
    // The long line sets the width, with a margin of one unit on each side.
    EXPECT_GT(three.client.cx, one.client.cx);

    // Centred on the screen without an owner.
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_NEAR(screenWidth / 2, (three.window.left + three.window.right) / 2, 1);
    EXPECT_NEAR(screenHeight / 2, (three.window.top + three.window.bottom) / 2, 1);
}

TEST(MsgBoxLayout, ButtonsSitInOneCentredRowAndLongLabelsWiden) {
    BoxLayout seen = Measure(L"短い", VQMB_YESALLNOALLCANCEL);
    ASSERT_EQ(5u, seen.buttons.size());
    HDC screen = GetDC(nullptr);
    int unit = MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72);
    int minWidth = MulDiv(64, GetDeviceCaps(screen, LOGPIXELSX), 72);
    ReleaseDC(nullptr, screen);
    // The row sets the width: one unit before, between and after the buttons.
    EXPECT_EQ(unit, seen.buttons[0].left);
    for (size_t i = 1; i < seen.buttons.size(); ++i) {
        EXPECT_EQ(seen.buttons[i - 1].right + unit, seen.buttons[i].left);
        EXPECT_EQ(seen.buttons[0].top, seen.buttons[i].top);
    }
    EXPECT_EQ(seen.client.cx - unit, seen.buttons.back().right);
    // "はい" keeps the least width, "すべていいえ" needs more.
    EXPECT_EQ(minWidth, seen.buttons[0].right - seen.buttons[0].left);
    EXPECT_GT(seen.buttons[3].right - seen.buttons[3].left, minWidth);
}

TEST(MsgBoxLayout, AnAmpersandIsShownAsItIsAndNotAsAnUnderline) {
    // A command line in an error keeps every "&": none may turn into an
    // underline of the next letter, neither when measured nor when drawn.
    const std::wstring text = L"cmd /c copy a&b && echo 完了";
    DrawnText drawn;
    AnswerBox(
        [](HWND box) {
            UpdateWindow(box);
            PostMessageW(box, WM_CLOSE, 0, 0);
        },
        nullptr, text.c_str(), L"エラー", VQMB_OK, 1);
    std::vector<unsigned> formats = drawn.Formats(text);
    bool measured = false, painted = false;
    for (unsigned format : formats) {
        EXPECT_TRUE(format & DT_NOPREFIX) << std::hex << format;
        (format & DT_CALCRECT ? measured : painted) = true;
    }
    EXPECT_TRUE(measured);
    EXPECT_TRUE(painted);
}

TEST(MsgBoxLayout, AtOneAndAHalfTimesTheDpiEveryMetricGrowsByHalf) {
    BoxLayout normal, large;
    {
        DpiScope scale(96);
        normal = Measure(L"一行目\n二行目", VQMB_YESNOCANCEL);
    }
    {
        DpiScope scale(144);
        large = Measure(L"一行目\n二行目", VQMB_YESNOCANCEL);
    }
    ASSERT_EQ(3u, normal.buttons.size());
    ASSERT_EQ(3u, large.buttons.size());
    EXPECT_EQ(VQWin32UiFont().lfHeight, normal.font.lfHeight);
    EXPECT_EQ(MulDiv(VQWin32UiFont().lfHeight, 3, 2), large.font.lfHeight);
    for (size_t i = 0; i < 3; ++i) {
        const RECT& a = normal.buttons[i];
        const RECT& b = large.buttons[i];
        // The buttons keep their least width (64 pt) and height (16 pt).
        EXPECT_EQ(MulDiv(64, 96, 72), a.right - a.left);
        EXPECT_EQ(MulDiv(64, 144, 72), b.right - b.left);
        EXPECT_EQ(MulDiv(16, 96, 72), a.bottom - a.top);
        EXPECT_EQ(MulDiv(16, 144, 72), b.bottom - b.top);
        EXPECT_NEAR(a.left * 3 / 2, b.left, 2) << i;
        EXPECT_NEAR(a.top * 3 / 2, b.top, 3) << i;
    }
    EXPECT_NEAR(normal.client.cx * 3 / 2, large.client.cx, 3);
    EXPECT_NEAR(normal.client.cy * 3 / 2, large.client.cy, 3);
}

TEST(MsgBoxLayout, MovedToAMonitorOfAnotherScaleTheBoxLaysItselfOutAgainWhereSuggested) {
    DpiScope scale(96);
    RECT window = {0, 0, 0, 0};
    int buttonHeight = 0;
    LOGFONTW font = {};
    AnswerBox(
        [&](HWND box) {
            RECT before, after;
            GetWindowRect(box, &before);
            // A scale it is already laid out for: nothing moves.
            RECT elsewhere = {10, 10, 20, 20};
            SendMessageW(box, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&elsewhere));
            GetWindowRect(box, &after);
            EXPECT_TRUE(EqualRect(&before, &after));
            RECT suggested = {300, 200, 700, 500};
            SendMessageW(box, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
            GetWindowRect(box, &window);
            HWND button = Buttons(box)[0];
            buttonHeight = RectInParent(button).bottom - RectInParent(button).top;
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0)), sizeof font, &font);
            PostMessageW(box, WM_CLOSE, 0, 0);
        },
        nullptr, L"移動", L"エラー", VQMB_OK, 1);
    EXPECT_EQ(300, window.left);
    EXPECT_EQ(200, window.top);
    EXPECT_EQ(MulDiv(16, 144, 72), buttonHeight);
    EXPECT_EQ(MulDiv(VQWin32UiFont().lfHeight, 3, 2), font.lfHeight);
}

namespace {

// One monitor of 1280 x 1024 whose taskbar takes the bottom 40 pixels, for one test.
class OneMonitor {
public:
    OneMonitor() {
        const RECT monitor = {0, 0, 1280, 1024};
        const RECT work = {0, 0, 1280, 984};
        VQWin32ReplaceMonitors(&monitor, 1, &work);
    }
    ~OneMonitor() { VQWin32ReplaceMonitors(nullptr, -1); }
};

std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

}  // namespace

TEST(MsgBoxLayout, ALongLineWrapsWithinTwoThirdsOfTheWorkAreaAndTheBoxStaysOnIt) {
    DpiScope scale(96);
    OneMonitor monitor;
    std::wstring path = L"C:\\Users\\yamada\\Pictures";
    for (int i = 0; i < 20; ++i) path += L"\\北海道旅行" + std::to_wstring(i) + L"日目";
    const std::wstring text = L"コマンドの実行に失敗しました。\n" + path + L"\\DSC01301.jpg";
    DrawnText drawn;
    BoxLayout seen = Measure(text.c_str(), VQMB_OK);
    EXPECT_LE(seen.window.right - seen.window.left, 1280 * 2 / 3);
    EXPECT_GE(seen.window.left, 0);
    EXPECT_LE(seen.window.right, 1280);
    EXPECT_GE(seen.window.top, 0);
    EXPECT_LE(seen.window.bottom, 984);
    std::vector<std::wstring> texts = drawn.Texts();
    ASSERT_FALSE(texts.empty());
    std::vector<std::wstring> lines = Lines(texts.back());
    ASSERT_GE(lines.size(), 3u) << "the path takes several lines";
    EXPECT_EQ(L"コマンドの実行に失敗しました。", lines[0]);
    std::wstring joined;
    for (size_t i = 1; i < lines.size(); ++i) {
        joined += lines[i];
        if (i + 1 < lines.size()) {
            EXPECT_EQ(L'\\', lines[i].back()) << "broken after a folder";
        }
    }
    EXPECT_EQ(path + L"\\DSC01301.jpg", joined);

    // A text taller than the work area is cut, and says so in its last line.
    std::wstring tall;
    for (int i = 0; i < 300; ++i) tall += L"行 " + std::to_wstring(i) + L"\n";
    drawn.Clear();
    seen = Measure(tall.c_str(), VQMB_OK);
    EXPECT_GE(seen.window.top, 0);
    EXPECT_LE(seen.window.bottom, 984);
    ASSERT_FALSE(drawn.Texts().empty());
    EXPECT_EQ(L"…", Lines(drawn.Texts().back()).back());
}

TEST(MsgBoxKeys, CtrlCCopiesTheWholeTextAsGivenWithTheCaptionAndTheButtons) {
    OneMonitor monitor;
    std::wstring path = L"C:\\写真";
    for (int i = 0; i < 40; ++i) path += L"\\フォルダ" + std::to_wstring(i);
    const std::wstring text = L"対象ファイル: " + path + L"\n\nコマンドの実行に失敗しました。";
    std::wstring copied;
    AnswerBox(
        [&](HWND) {
            BYTE keys[256];
            GetKeyboardState(keys);
            keys[VK_CONTROL] = 0x80;
            SetKeyboardState(keys);
            SendMessageW(GetFocus(), WM_KEYDOWN, 'C', 1);
            keys[VK_CONTROL] = 0;
            SetKeyboardState(keys);
            if (OpenClipboard(nullptr)) {
                HANDLE data = GetClipboardData(CF_UNICODETEXT);
                const wchar_t* locked = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
                if (locked) copied = locked;
                if (locked) GlobalUnlock(data);
                CloseClipboard();
            }
            PressKey(VK_RETURN);
        },
        nullptr, text.c_str(), L"エラー", VQMB_YESNO, 1);
    const std::wstring rule = L"---------------------------\r\n";
    EXPECT_EQ(rule + L"エラー\r\n" + rule + L"対象ファイル: " + path + L"\r\n\r\nコマンドの実行に失敗しました。\r\n" + rule +
                  L"はい   いいえ   \r\n" + rule,
              copied);
}
