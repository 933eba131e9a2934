#include "win32/text_wrap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win32/ui_font.h"

namespace {

// A screen DC with the UI font at 96 DPI, for one test.
class Measuring {
public:
    Measuring() : dc(GetDC(nullptr)), font(VQWin32CreateUiFont(96)), previous(SelectObject(dc, font)) {}
    ~Measuring() {
        SelectObject(dc, previous);
        DeleteObject(font);
        ReleaseDC(nullptr, dc);
    }
    int Width(const std::wstring& text) const {
        SIZE size = {0, 0};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        return size.cx;
    }
    std::vector<std::wstring> Wrap(const std::wstring& text, int width, int maxLines = 0) const {
        VQWString wrapped = WrapTextToWidth(dc, text.c_str(), width, maxLines);
        std::vector<std::wstring> lines;
        std::wstring all(wrapped.Text(), wrapped.GetLength());
        size_t start = 0;
        for (size_t end; (end = all.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
            lines.push_back(all.substr(start, end - start));
        }
        lines.push_back(all.substr(start));
        return lines;
    }

    HDC dc;
    HFONT font;
    HGDIOBJ previous;
};

std::wstring Joined(const std::vector<std::wstring>& lines) {
    std::wstring all;
    for (const std::wstring& line : lines) all += line;
    return all;
}

}  // namespace

TEST(TextWrap, APathBreaksAfterItsBackslashesAndEveryLineFits) {
    Measuring m;
    std::wstring path = L"C:\\Users\\yamada\\Pictures";
    for (int i = 0; i < 12; ++i) path += L"\\北海道旅行" + std::to_wstring(i) + L"日目";
    path += L"\\DSC01301.jpg";
    const int width = m.Width(path) / 3;
    std::vector<std::wstring> lines = m.Wrap(path, width);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(path, Joined(lines)) << "nothing is added or lost";
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(m.Width(lines[i]), width) << i;
        if (i + 1 < lines.size()) {
            EXPECT_EQ(L'\\', lines[i].back()) << i;
        }
    }
    // A short text and its own line breaks stay as they are.
    EXPECT_EQ((std::vector<std::wstring>{L"一行目", L"", L"三行目", L"四行目"}),
              m.Wrap(L"一行目\r\n\r\n三行目\r四行目", width));
}

TEST(TextWrap, TextWithoutSeparatorsBreaksBetweenCharactersButNeverBeforeAClosingMark) {
    Measuring m;
    std::wstring text;
    for (int i = 0; i < 30; ++i) text += L"変換できませんでした、";
    text += L"😀😀😀😀😀😀😀😀😀😀。";
    const int width = m.Width(L"変換できませんでした") + m.Width(L"変") / 2;
    std::vector<std::wstring> lines = m.Wrap(text, width);
    ASSERT_GT(lines.size(), 20u);
    EXPECT_EQ(text, Joined(lines));
    for (const std::wstring& line : lines) {
        EXPECT_LE(m.Width(line), width);
        EXPECT_NE(L'、', line.front());
        EXPECT_NE(L'。', line.front());
        // A character outside the basic plane is never split.
        EXPECT_FALSE(line.front() >= 0xDC00 && line.front() <= 0xDFFF);
    }
}

TEST(TextWrap, AtMostMaxLinesTheLastOfThemAnEllipsis) {
    Measuring m;
    std::wstring text = L"一\n二\n三\n四\n五";
    EXPECT_EQ((std::vector<std::wstring>{L"一", L"二", L"…"}), m.Wrap(text, 500, 3));
    EXPECT_EQ((std::vector<std::wstring>{L"一", L"二", L"三", L"四", L"五"}), m.Wrap(text, 500, 5));
    EXPECT_EQ((std::vector<std::wstring>{L"…"}), m.Wrap(text, 500, 1));
}
