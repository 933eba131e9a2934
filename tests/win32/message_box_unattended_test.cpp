// The unattended seam of MsgBox: no window, the default button's answer, and
// every text heard by the collector.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win32/message_box.h"

namespace {

struct Heard {
    std::wstring text;
    std::wstring caption;
    int answer;
};

bool AnyBoxWindow() { return FindWindowW(L"VQMsgBox", nullptr) != nullptr; }

}  // namespace

TEST(MsgBoxUnattended, AnswersWithTheDefaultButtonShowsNothingAndTellsTheCollector) {
    std::vector<Heard> heard;
    bool boxSeen = false;
    SetMsgBoxUnattended([&](const wchar_t* text, const wchar_t* caption, int answer) {
        boxSeen = boxSeen || AnyBoxWindow();
        heard.push_back({text, caption, answer});
    });
    EXPECT_EQ(IDNO, MsgBox(nullptr, L"二つの対象が同じ出力になります。続けますか？", L"確認", VQMB_YESNO, 2));
    EXPECT_EQ(IDYES, MsgBox(nullptr, L"q", L"c", VQMB_YESNO, 1));
    EXPECT_EQ(IDCANCEL, MsgBox(nullptr, L"q", L"c", VQMB_YESNOCANCEL, 3));
    EXPECT_EQ(kVQIdYesAll, MsgBox(nullptr, L"q", L"c", VQMB_YESALLNOALLCANCEL, 2));
    EXPECT_EQ(IDOK, MsgBox(nullptr, L"エラーです", L"エラー", VQMB_OK, 1));
    // Outside the buttons: the first, as a shown box starts with it.
    EXPECT_EQ(IDRETRY, MsgBox(nullptr, L"q", L"c", VQMB_RETRYCANCEL, 9));
    EXPECT_EQ(3, MsgBox(nullptr, L"q", L"c", 4, 3 | kVQMsgBoxForeground));
    EXPECT_EQ(0, MsgBox(nullptr, L"q", L"c", 0, 1)) << "no buttons: the close box's answer";
    EXPECT_EQ(-1, MsgBox(nullptr, L"q", L"c", -1, 1)) << "a wrong layout stays wrong";
    SetMsgBoxUnattended(nullptr);
    EXPECT_FALSE(boxSeen);
    ASSERT_EQ(8u, heard.size()) << "the wrong layout is not a box";
    EXPECT_EQ(L"二つの対象が同じ出力になります。続けますか？", heard[0].text);
    EXPECT_EQ(L"確認", heard[0].caption);
    EXPECT_EQ(IDNO, heard[0].answer);
    EXPECT_EQ(L"エラーです", heard[4].text);
    EXPECT_EQ(L"エラー", heard[4].caption);
    EXPECT_EQ(IDOK, heard[4].answer);
}
