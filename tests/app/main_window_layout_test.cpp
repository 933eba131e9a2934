// The main window's size and place: the panel follows a larger window, the
// panel's own size is the smallest, places saved before open whole, and the
// panel and its list are laid out for the display's scale.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/app/app_window.h"
#include "tests/support/message_pump.h"
#include "tests/support/window_queries.h"
#include "win32/dpi.h"
#include "win32/list_view.h"
#include "win32/ui_font.h"

namespace {

// The panel's size in dialog units, as the resource gives it.
const int kPanelUnitsWide = 360;
const int kPanelUnitsHigh = 285;

SIZE PanelPixels(HWND panel, int unitsWide, int unitsHigh) {
    RECT rect = {0, 0, unitsWide, unitsHigh};
    MapDialogRect(panel, &rect);
    return SIZE{rect.right, rect.bottom};
}

// Sets the frame's size so that its client area is this large.
void SetClientSize(AppWindow& app, int width, int height) {
    SetWindowPos(app.Frame(), nullptr, 0, 0, width + app.window->frameWidth, height + app.window->frameHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    PumpPending();
}

std::string Show(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " - " + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

// How a control moved: each side's change from `before` to `after`.
::testing::AssertionResult Moved(const RECT& before, const RECT& after, int left, int top, int right, int bottom) {
    if (after.left - before.left == left && after.top - before.top == top && after.right - before.right == right &&
        after.bottom - before.bottom == bottom) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << Show(before) << " became " << Show(after);
}

// A control's text as it is drawn: the mnemonic's "&" goes.
// A link control's markup is not drawn either.
std::wstring ShownText(HWND control) {
    std::wstring text = WindowText(control), shown;
    bool link = ClassName(control) == L"SysLink", inTag = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (link) {
            if (text[i] == L'<') inTag = true;
            if (!inTag) shown += text[i];
            if (text[i] == L'>') inTag = false;
            continue;
        }
        if (text[i] == L'&' && i + 1 < text.size()) ++i;
        shown += text[i];
    }
    return shown;
}

SIZE TextSize(HWND control, const std::wstring& text) {
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size;
}

TEXTMETRICW FontMetrics(HWND control) { return VQWin32ControlFontMetrics(control); }

std::wstring FontFace(HWND control) {
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfFaceName;
}

int FontHeight(HWND control) {
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
}

// The height of the table's rows: the distance from one to the next.
int EntryHeight(HWND list) {
    auto* table = reinterpret_cast<VQWin32DialogItemListView*>(GetWindowLongPtrW(list, GWLP_USERDATA));
    RECT first = {}, second = {};
    if (!table || !table->GetRowRect(0, &first) || !table->GetRowRect(1, &second)) return 0;
    return second.top - first.top;
}

}  // namespace

TEST(MainWindowLayout, AGrownWindowStretchesTheListAndFieldsAndKeepsTheButtonsRightAndBottom) {
    AppWindow app;
    ASSERT_TRUE(app.IsOpen());
    LONG_PTR style = GetWindowLongPtrW(app.Frame(), GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(style & WS_MAXIMIZEBOX);

    const int ids[] = {IDC_TARGET_LABEL, IDC_TARGET_LIST, IDC_COMMAND_EDIT, IDC_DIRECTORY_EDIT,
                       IDC_SELECT_DIRECTORY_BUTTON, IDC_RUN_BUTTON, IDC_TABLE_PROGRESS, IDC_LOAD_BUTTON,
                       IDC_DELETE_CHECK, IDC_ADD_BUTTON, IDC_SELECT_MENU_BUTTON, IDC_TABLE_STATUS};
    std::vector<RECT> before;
    for (int id : ids) before.push_back(RectInParent(app.Control(id)));
    SIZE client = ClientSize(app.Frame());
    // 200 x 150 larger, or as much higher as the display lets a window be.
    const int dx = 200;
    const int dy = std::min<int>(150, GetSystemMetrics(SM_CYMAXTRACK) - app.window->frameHeight - client.cy);
    ASSERT_GE(dy, 50) << "the display is too low for the test";
    SetClientSize(app, client.cx + dx, client.cy + dy);
    ASSERT_EQ(client.cx + dx, ClientSize(app.Frame()).cx);
    ASSERT_EQ(client.cy + dy, ClientSize(app.Frame()).cy);
    EXPECT_EQ(client.cx + dx, ClientSize(app.Panel()).cx) << "the panel fills the window";
    EXPECT_EQ(client.cy + dy, ClientSize(app.Panel()).cy);

    std::vector<RECT> after;
    for (int id : ids) after.push_back(RectInParent(app.Control(id)));
    EXPECT_TRUE(Moved(before[0], after[0], 0, 0, 0, 0)) << "the list's label";
    EXPECT_TRUE(Moved(before[1], after[1], 0, 0, dx, dy)) << "the list";
    EXPECT_TRUE(Moved(before[2], after[2], 0, dy, dx, dy)) << "the command";
    EXPECT_TRUE(Moved(before[3], after[3], 0, dy, dx, dy)) << "the directory";
    for (int i = 4; i < 7; ++i) EXPECT_TRUE(Moved(before[i], after[i], dx, dy, dx, dy)) << ids[i];
    for (int i = 7; i < 9; ++i) EXPECT_TRUE(Moved(before[i], after[i], 0, dy, 0, dy)) << ids[i];
    // The list's buttons stay above it, at its right; the counts under it, as wide.
    for (int i = 9; i < 11; ++i) EXPECT_TRUE(Moved(before[i], after[i], dx, 0, dx, 0)) << ids[i];
    EXPECT_TRUE(Moved(before[11], after[11], 0, dy, dx, dy)) << "the counts";

    // Back to where it was: everything returns.
    SetClientSize(app, client.cx, client.cy);
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_TRUE(Moved(before[i], RectInParent(app.Control(ids[i])), 0, 0, 0, 0)) << ids[i];
    }

    // Maximised: the panel fills the window, Run keeps its corner.
    ShowWindow(app.Frame(), SW_MAXIMIZE);
    PumpPending();
    SIZE maximised = ClientSize(app.Frame());
    EXPECT_GT(maximised.cx, client.cx);
    EXPECT_EQ(maximised.cx, ClientSize(app.Panel()).cx);
    EXPECT_EQ(maximised.cy, ClientSize(app.Panel()).cy);
    RECT run = RectInParent(app.Control(IDC_RUN_BUTTON));
    EXPECT_EQ(client.cx - before[5].right, maximised.cx - run.right);
    EXPECT_EQ(client.cy - before[5].bottom, maximised.cy - run.bottom);
}

TEST(MainWindowLayout, TheWindowIsNeverSmallerThanThePanel) {
    AppWindow app;
    SIZE panel = PanelPixels(app.Panel(), kPanelUnitsWide, kPanelUnitsHigh);
    EXPECT_EQ(panel.cx, app.window->minWidth);
    EXPECT_EQ(panel.cy, app.window->minHeight);

    // Made smaller by code (or by the system) as well as by a drag.
    SetClientSize(app, panel.cx / 2, panel.cy / 2);
    EXPECT_EQ(panel.cx, ClientSize(app.Frame()).cx);
    EXPECT_EQ(panel.cy, ClientSize(app.Frame()).cy);
    MINMAXINFO track = {};
    SendMessageW(app.Frame(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&track));
    RECT frame;
    GetWindowRect(app.Frame(), &frame);
    EXPECT_EQ(frame.right - frame.left, track.ptMinTrackSize.x);
    EXPECT_EQ(frame.bottom - frame.top, track.ptMinTrackSize.y);
    RECT drag = {frame.left, frame.top, frame.left + 50, frame.top + 50};
    SendMessageW(app.Frame(), WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&drag));
    EXPECT_TRUE(EqualRect(&frame, &drag)) << Show(drag);
}

TEST(MainWindowPlacement, PlacesSavedBeforeOpenWhereTheyWereAndAtLeastAsLargeAsThePanel) {
    SIZE panel, fixedPanel;
    {
        AppWindow probe;
        panel = SIZE{probe.window->dialogWidth, probe.window->dialogHeight};
        // The window of before had a fixed size: its client area was its panel, 288 x 306 units.
        fixedPanel = PanelPixels(probe.Panel(), 288, 306);
    }
    const RECT fixed = {140, 110, 140 + fixedPanel.cx, 110 + fixedPanel.cy};
    {
        AppWindow app(nullptr, nullptr, &fixed);
        RECT client = {};
        GetClientRect(app.Frame(), &client);
        MapWindowPoints(app.Frame(), nullptr, reinterpret_cast<POINT*>(&client), 2);
        // The panel has changed since: the place stays, the size is at least the panel's.
        const RECT grown = {fixed.left, fixed.top, fixed.left + std::max(fixedPanel.cx, panel.cx),
                            fixed.top + std::max(fixedPanel.cy, panel.cy)};
        EXPECT_TRUE(EqualRect(&grown, &client)) << Show(client);
    }
    // Saved at a smaller display scale: the place stays, the size grows to the panel's.
    const RECT smaller = {140, 110, 140 + panel.cx * 2 / 3, 110 + panel.cy * 2 / 3};
    AppWindow app(nullptr, nullptr, &smaller);
    POINT origin = ClientOrigin(app.Frame());
    EXPECT_EQ(140, origin.x);
    EXPECT_EQ(110, origin.y);
    EXPECT_EQ(panel.cx, ClientSize(app.Frame()).cx);
    EXPECT_EQ(panel.cy, ClientSize(app.Frame()).cy);
    RECT list = RectInParent(app.Control(IDC_TARGET_LIST));
    EXPECT_LE(list.bottom, RectInParent(app.Control(IDC_RESULT_DETAIL)).top) << "the panel is laid out whole";
}

TEST(MainWindowScale, ThePanelAndItsListAreMadeForTheDisplaysScaleWithNothingCut) {
    AppWindow app;
    const UINT dpi = VQWin32GetWindowDpi(app.Frame());
    EXPECT_EQ(dpi, app.window->dpi);
    HWND list = app.Control(IDC_TARGET_LIST);
    // Two rows to measure, and a command whose preview is short.
    app.AddTargets({L"C:\\a.txt", L"C:\\b.txt"});
    app.SetText(IDC_COMMAND_EDIT, L"x");
    // The UI font in place of the template's, its points at this scale.
    EXPECT_EQ(-MulDiv(VQWin32UiFontPoints(), static_cast<int>(dpi), 72), FontHeight(list));
    EXPECT_EQ(std::wstring(VQWin32UiFont().lfFaceName), FontFace(list));
    EXPECT_GE(EntryHeight(list), FontMetrics(list).tmHeight) << "an entry holds a line of the font";
    EXPECT_LE(EntryHeight(list), FontMetrics(list).tmHeight * 3 / 2);
    SIZE panel = PanelPixels(app.Panel(), kPanelUnitsWide, kPanelUnitsHigh);
    EXPECT_EQ(panel.cx, app.window->dialogWidth);
    EXPECT_EQ(panel.cy, app.window->dialogHeight);
    EXPECT_GE(ClientSize(app.Frame()).cx, panel.cx);
    EXPECT_GE(ClientSize(app.Frame()).cy, panel.cy);
    // The smallest window fits a 1366 x 768 screen with a taskbar of 40
    // pixels, at this scale.
    EXPECT_LE(panel.cx + app.window->frameWidth, MulDiv(1366, static_cast<int>(dpi), 96));
    EXPECT_LE(panel.cy + app.window->frameHeight, MulDiv(768 - 40, static_cast<int>(dpi), 96));

    // At the smallest size every control lies on the panel, and every label
    // fits its control.
    SetClientSize(app, panel.cx, panel.cy);
    const int checkBox = GetSystemMetrics(SM_CXMENUCHECK);
    int looked = 0;
    for (HWND control = GetWindow(app.Panel(), GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        RECT rect = RectInParent(control);
        EXPECT_TRUE(rect.left >= 0 && rect.top >= 0 && rect.right <= panel.cx && rect.bottom <= panel.cy)
            << Show(rect);
        std::wstring text = ShownText(control);
        if (text.empty()) continue;
        SIZE size = TextSize(control, text);
        LONG style = GetWindowLongW(control, GWL_STYLE);
        int room = rect.right - rect.left;
        if (ClassName(control) == L"Button") {
            bool box = (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
            room -= box ? checkBox + 4 : 4;
        }
        EXPECT_LE(size.cx, room) << "the text of control " << GetDlgCtrlID(control) << " is cut";
        EXPECT_LE(size.cy, rect.bottom - rect.top) << "the text of control " << GetDlgCtrlID(control) << " is cut";
        ++looked;
    }
    EXPECT_GE(looked, 18) << "the labels, the buttons and the check boxes";
}

TEST(MainWindowScale, MovedToAMonitorOfAnotherScaleTheEntriesFollowTheFont) {
    AppWindow app;
    VQArray<VQWString, VQWString> batch;
    for (int i = 0; i < 5; ++i) batch.Add(VQWString().Format(L"C:\\写真\\%d.jpg", i));
    app.window->AddTargets(&batch);
    HWND list = app.Control(IDC_TARGET_LIST);
    const UINT from = app.window->dpi;
    const UINT to = from * 3 / 2;
    const int font0 = FontHeight(list), entry0 = EntryHeight(list), minWidth0 = app.window->minWidth;

    RECT frame;
    GetWindowRect(app.Frame(), &frame);
    RECT suggested = {frame.left, frame.top, frame.left + (frame.right - frame.left) * 3 / 2,
                      frame.top + (frame.bottom - frame.top) * 3 / 2};
    SendMessageW(app.Frame(), WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(to, app.window->dpi);
    EXPECT_NEAR(font0 * 3 / 2, FontHeight(list), 1);
    EXPECT_EQ(std::wstring(VQWin32UiFont().lfFaceName), FontFace(list)) << "the UI font, scaled";
    EXPECT_NEAR(entry0 * 3 / 2, EntryHeight(list), 2);
    EXPECT_GE(EntryHeight(list), FontMetrics(list).tmHeight);
    RECT second = {};
    RECT first = {};
    app.Table()->GetRowRect(0, &first);
    app.Table()->GetRowRect(1, &second);
    EXPECT_EQ(first.bottom - first.top, second.top - first.top) << "the entries are laid out at the new height";
    EXPECT_NEAR(minWidth0 * 3 / 2, app.window->minWidth, 1);

    // And back, to within a pixel.
    GetWindowRect(app.Frame(), &frame);
    RECT back = {frame.left, frame.top, frame.left + (frame.right - frame.left) * 2 / 3,
                 frame.top + (frame.bottom - frame.top) * 2 / 3};
    SendMessageW(app.Frame(), WM_DPICHANGED, MAKEWPARAM(from, from), reinterpret_cast<LPARAM>(&back));
    EXPECT_NEAR(entry0, EntryHeight(list), 1);
    EXPECT_NEAR(font0, FontHeight(list), 1);
}

TEST(MainWindowLayout, AtTheDefaultSizeOfA1366x768ScreenTheTableShowsTenRowsAndEveryColumn) {
    AppWindow app;
    const UINT dpi = app.window->dpi;
    // The screen less a taskbar of 40 pixels, at this scale.
    const RECT work = {0, 0, MulDiv(1366, static_cast<int>(dpi), 96), MulDiv(768 - 40, static_cast<int>(dpi), 96)};
    const RECT& frame = app.window->frameOffsets;
    RECT client = DefaultClientRect(work, dpi, frame);
    EXPECT_EQ(work.top, client.top + frame.top) << "the frame spans the work area's height";
    EXPECT_EQ(work.bottom, client.bottom + frame.bottom);
    EXPECT_LE(client.right + frame.right, work.right);
    SetClientSize(app, client.right - client.left, client.bottom - client.top);
    HWND list = app.Control(IDC_TARGET_LIST);
    // Twelve before the watch's row took its height.
    EXPECT_GE(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0), 10)
        << "table " << RectInParent(list).bottom - RectInParent(list).top << " of " << client.bottom - client.top;
    // A first start fits the columns to the table it opens with.
    app.window->Table().FitColumns(app.window->dpi);
    RECT inside;
    GetClientRect(list, &inside);
    int total = 0;
    for (int width : app.Table()->GetColumnWidths()) total += width;
    EXPECT_LE(total, inside.right - GetSystemMetrics(SM_CXVSCROLL)) << "出力 shows without scrolling sideways";
}

TEST(MainWindowLayout, TheFirstColumnWidthsFitTheirTextsAndTheTable) {
    AppWindow app;
    VQArray<VQWString, VQWString> batch;
    batch.Add(VQWString(L"C:\\a.txt"));
    app.window->AddTargets(&batch);
    HWND list = app.Control(IDC_TARGET_LIST);
    std::vector<int> widths = app.Table()->GetColumnWidths();
    ASSERT_EQ(7u, widths.size());
    RECT row = {};
    ASSERT_TRUE(app.Table()->GetRowRect(0, &row));
    // The longest result beside its mark.
    const int mark = row.bottom - row.top;
    EXPECT_GE(widths[0], mark + TextSize(list, L"出力の読み込み失敗").cx + 8) << "状態 holds its longest value";
    EXPECT_GE(widths[4], TextSize(list, L"終了コード").cx + 8);
    RECT inside;
    GetClientRect(list, &inside);
    int total = 0;
    for (int width : widths) total += width;
    EXPECT_LE(total, inside.right - GetSystemMetrics(SM_CXVSCROLL)) << "出力 shows without scrolling sideways";
}

TEST(MainWindowLayout, ThePreviewGrowsIntoTheTableToShowAWholeErrorAndGivesTheHeightBack) {
    AppWindow app;
    app.AddTargets({L"C:\\写真\\a.jpg"});
    HWND preview = app.Control(IDC_PREVIEW), list = app.Control(IDC_TARGET_LIST);
    app.SetText(IDC_COMMAND_EDIT, L"x");
    const RECT box = RectInParent(preview), table = RectInParent(list);
    const RECT status = RectInParent(app.Control(IDC_TABLE_STATUS));
    const RECT below = RectInParent(app.Control(IDC_DIRECTORY_EDIT));
    const int lineHeight = FontMetrics(preview).tmHeight;

    app.SetText(IDC_COMMAND_EDIT, L"cmd /c copy \"$fulname\" D:\\控え");
    EXPECT_NE(std::wstring::npos, app.Text(IDC_PREVIEW).find(L"$fullname のことですか？"));
    int lines = static_cast<int>(SendMessageW(preview, EM_GETLINECOUNT, 0, 0));
    ASSERT_GE(lines, 3) << "the error, its line and the hint";
    RECT format = {};
    SendMessageW(preview, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    EXPECT_GE(format.bottom - format.top, lines * lineHeight) << "every line shows";
    EXPECT_EQ(0, SendMessageW(preview, EM_GETFIRSTVISIBLELINE, 0, 0));
    RECT grown = RectInParent(preview);
    EXPECT_EQ(box.bottom, grown.bottom) << "it grows upwards";
    EXPECT_TRUE(Moved(table, RectInParent(list), 0, 0, 0, grown.top - box.top)) << "the table gives the height";
    EXPECT_TRUE(Moved(status, RectInParent(app.Control(IDC_TABLE_STATUS)), 0, grown.top - box.top, 0,
                      grown.top - box.top));
    EXPECT_TRUE(Moved(below, RectInParent(app.Control(IDC_DIRECTORY_EDIT)), 0, 0, 0, 0));
    // A larger window keeps it so.
    SIZE client = ClientSize(app.Frame());
    SetClientSize(app, client.cx + 100, client.cy + 80);
    EXPECT_EQ(grown.bottom - grown.top, RectInParent(preview).bottom - RectInParent(preview).top);
    SetClientSize(app, client.cx, client.cy);

    app.SetText(IDC_COMMAND_EDIT, L"x");
    EXPECT_TRUE(Moved(box, RectInParent(preview), 0, 0, 0, 0)) << "a short text gives the height back";
    EXPECT_TRUE(Moved(table, RectInParent(list), 0, 0, 0, 0));
}
