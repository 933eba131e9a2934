#include "win32/ui_font.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "tests/win32/test_windows.h"

namespace {

// A system of the test's making: which faces it has, its message font, and
// what shows Japanese; every question is noted.
struct FakeFonts {
    std::set<std::wstring> installed;
    std::wstring messageFace = L"Segoe UI";
    LONG messageHeight = -12;
    bool messageShowsJapanese = false;
    std::wstring japaneseFace;  // empty: none
    std::vector<std::wstring> asked;
};
FakeFonts* g_fake = nullptr;

bool FakeInstalled(const wchar_t* face) {
    g_fake->asked.push_back(std::wstring(L"installed ") + face);
    return g_fake->installed.count(face) > 0;
}
bool FakeMessageFont(LOGFONTW* font) {
    *font = LOGFONTW();
    wcscpy(font->lfFaceName, g_fake->messageFace.c_str());
    font->lfHeight = g_fake->messageHeight;
    font->lfWeight = FW_NORMAL;
    font->lfCharSet = DEFAULT_CHARSET;
    return true;
}
bool FakeShowsJapanese(const LOGFONTW& font) {
    g_fake->asked.push_back(std::wstring(L"shows ") + font.lfFaceName);
    return g_fake->messageShowsJapanese && g_fake->messageFace == font.lfFaceName;
}
bool FakeJapaneseFace(LOGFONTW* font) {
    g_fake->asked.push_back(L"japanese face");
    if (g_fake->japaneseFace.empty()) return false;
    wcscpy(font->lfFaceName, g_fake->japaneseFace.c_str());
    font->lfCharSet = SHIFTJIS_CHARSET;
    return true;
}
const VQUiFontSystem kFake = {FakeInstalled, FakeMessageFont, FakeShowsJapanese, FakeJapaneseFace};

LOGFONTW Choose(FakeFonts& fake) {
    g_fake = &fake;
    LOGFONTW chosen = VQWin32ChooseUiFont(kFake);
    g_fake = nullptr;
    return chosen;
}

// The program's choice made from the fake for one test, the real one after it.
class FakeChoice {
public:
    explicit FakeChoice(FakeFonts& fake) {
        g_fake = &fake;
        VQWin32ResetUiFont(&kFake);
    }
    ~FakeChoice() {
        VQWin32ResetUiFont(nullptr);
        g_fake = nullptr;
    }
};

std::wstring Face(const LOGFONTW& font) { return font.lfFaceName; }

LOGFONTW FontOf(HWND control) {
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

}  // namespace

TEST(UiFontChoice, TheFirstOfTheThreeJapaneseUiFacesThatIsInstalledAtTheMessageFontsSize) {
    const struct {
        std::set<std::wstring> installed;
        const wchar_t* chosen;
    } cases[] = {
        {{L"Yu Gothic UI", L"Meiryo UI", L"MS UI Gothic"}, L"Yu Gothic UI"},
        {{L"Meiryo UI", L"MS UI Gothic"}, L"Meiryo UI"},
        {{L"MS UI Gothic"}, L"MS UI Gothic"},
    };
    for (const auto& c : cases) {
        FakeFonts fake;
        fake.installed = c.installed;
        fake.messageHeight = -15;
        LOGFONTW chosen = Choose(fake);
        EXPECT_EQ(c.chosen, Face(chosen));
        EXPECT_EQ(-15, chosen.lfHeight);
        EXPECT_EQ(FW_NORMAL, chosen.lfWeight);
        // An installed face is taken as it is: nothing else is asked.
        EXPECT_EQ(std::wstring(L"installed ") + c.chosen, fake.asked.back());
    }
}

TEST(UiFontChoice, ElseTheMessageFontWhenItShowsJapaneseElseTheSystemsJapaneseFace) {
    FakeFonts shows;
    shows.messageShowsJapanese = true;
    shows.japaneseFace = L"Noto Sans CJK JP";
    EXPECT_EQ(L"Segoe UI", Face(Choose(shows)));
    EXPECT_EQ(L"shows Segoe UI", shows.asked.back());

    FakeFonts western;
    western.japaneseFace = L"Noto Sans CJK JP";
    western.messageHeight = -11;
    LOGFONTW chosen = Choose(western);
    EXPECT_EQ(L"Noto Sans CJK JP", Face(chosen));
    EXPECT_EQ(SHIFTJIS_CHARSET, chosen.lfCharSet);
    EXPECT_EQ(-11, chosen.lfHeight) << "still the message font's size";

    // Nothing shows Japanese: the message font all the same.
    FakeFonts none;
    EXPECT_EQ(L"Segoe UI", Face(Choose(none)));
    EXPECT_EQ(L"japanese face", none.asked.back());
}

TEST(UiFontChoice, TheRunningSystemsChoiceShowsTheProgramsJapanese) {
    // Run in a prefix of code page 932 and in one of 1252, whose message
    // font has no Japanese at all.
    VQWin32ResetUiFont(nullptr);
    const LOGFONTW& chosen = VQWin32UiFont();
    EXPECT_LT(chosen.lfHeight, 0);
    EXPECT_TRUE(VQWin32SystemFontQueries().showsJapanese(chosen)) << Face(chosen).size();
    // The system's best Japanese face, where it is asked for, is one for horizontal text.
    LOGFONTW japanese = {};
    if (VQWin32SystemFontQueries().findJapaneseFace(&japanese)) {
        EXPECT_NE(L'@', japanese.lfFaceName[0]);
        EXPECT_TRUE(VQWin32SystemFontQueries().showsJapanese(japanese));
    }
    // The size in points as a template gives it, and a font at a scale.
    EXPECT_EQ(MulDiv(-chosen.lfHeight, 72, 96), VQWin32UiFontPoints());
    HFONT large = VQWin32CreateUiFont(144);
    LOGFONTW made = {};
    GetObjectW(large, sizeof made, &made);
    DeleteObject(large);
    EXPECT_EQ(MulDiv(chosen.lfHeight, 144, 96), made.lfHeight);
    EXPECT_EQ(Face(chosen), Face(made));
}

TEST(UiFontTemplate, TheUiFontTakesTheTemplatesPlaceAndTheItemsStayAsTheyAre) {
    FakeFonts fake;
    fake.installed = {L"Meiryo UI"};
    fake.messageHeight = -16;  // 12 points
    FakeChoice choice(fake);
    std::vector<DWORD> rewritten = VQWin32DialogWithUiFont(TestInstance(), IDD_TEST_PANEL);
    ASSERT_FALSE(rewritten.empty());
    EXPECT_TRUE(VQWin32DialogWithUiFont(TestInstance(), IDD_MISSING).empty());

    // The panel is a child template: it needs a window to sit in.
    HWND host = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 400, 300, nullptr, nullptr, TestInstance(),
                                nullptr);
    ASSERT_NE(nullptr, host);
    HWND plain = CreateDialogParamW(TestInstance(), MAKEINTRESOURCEW(IDD_TEST_PANEL), host, nullptr, 0);
    HWND withFont = CreateDialogIndirectParamW(TestInstance(), reinterpret_cast<LPCDLGTEMPLATEW>(rewritten.data()),
                                               host, nullptr, 0);
    ASSERT_NE(nullptr, plain);
    ASSERT_NE(nullptr, withFont);
    EXPECT_EQ(L"MS UI Gothic", Face(FontOf(GetDlgItem(plain, IDC_TEST_NAME))));
    LOGFONTW font = FontOf(GetDlgItem(withFont, IDC_TEST_NAME));
    EXPECT_EQ(L"Meiryo UI", Face(font));
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(-MulDiv(12, GetDeviceCaps(screen, LOGPIXELSY), 72), font.lfHeight);
    ReleaseDC(nullptr, screen);
    // Every control is there with its text and style, in the same order.
    std::vector<std::wstring> before, after;
    for (HWND dialog : {plain, withFont}) {
        std::vector<std::wstring>& seen = dialog == plain ? before : after;
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            seen.push_back(std::to_wstring(GetDlgCtrlID(child)) + L" " + WindowText(child) + L" " +
                           std::to_wstring(GetWindowLongW(child, GWL_STYLE)));
        }
    }
    EXPECT_EQ(8u, before.size());
    EXPECT_EQ(before, after);
    DestroyWindow(host);
    PumpPending();
}

TEST(UiFontTemplate, ADialogWindowTakesTheUiFontOnlyWhenAskedTo) {
    FakeFonts fake;
    fake.installed = {L"Yu Gothic UI"};
    FakeChoice choice(fake);
    for (bool uiFont : {false, true}) {
        VQWin32DialogWindow window(TestInstance());
        VQWin32DialogWindowCreateInfo info;
        info.className = L"QBTestUiFontPanel";
        info.templateId = IDD_TEST_PANEL;
        info.uiFont = uiFont;
        ASSERT_TRUE(window.Open(&info));
        EXPECT_EQ(uiFont ? L"Yu Gothic UI" : L"MS UI Gothic", Face(FontOf(GetDlgItem(window.dialogHandle, IDC_TEST_NOTE))));
        DestroyAndPump(window);
    }
}
