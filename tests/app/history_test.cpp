// The command fields' drop-downs in the window: Alt+Down opens one, and
// Shift+Delete in the open list removes the highlighted entry from the field
// and from what is kept.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "tests/app/app_window.h"

namespace {

std::vector<std::wstring> Entries(HWND combo) {
    std::vector<std::wstring> entries;
    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        entries.push_back(text);
    }
    return entries;
}

// The key with Shift held, as the thread's key state has it.
void ShiftKey(HWND target, WPARAM key) {
    BYTE state[256];
    GetKeyboardState(state);
    BYTE before = state[VK_SHIFT];
    state[VK_SHIFT] = 0x80;
    SetKeyboardState(state);
    SendMessageW(target, WM_KEYDOWN, key, 1);
    state[VK_SHIFT] = before;
    SetKeyboardState(state);
}

}  // namespace

TEST(History, AltDownOpensTheListAndShiftDeleteRemovesTheHighlightedEntry) {
    AppWindow app;
    ASSERT_TRUE(app.IsOpen());
    for (const wchar_t* command : {L"one", L"two", L"three"}) {
        app.SetText(IDC_COMMAND_EDIT, command);
        app.window->RememberRunValues();
    }
    HWND combo = app.Control(IDC_COMMAND_EDIT);
    EXPECT_EQ((std::vector<std::wstring>{L"three", L"two", L"one"}), Entries(combo));
    COMBOBOXINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetComboBoxInfo(combo, &info));
    HWND edit = info.hwndItem;
    ASSERT_NE(nullptr, edit);
    SetFocus(edit);
    SendMessageW(edit, WM_SYSKEYDOWN, VK_DOWN, 1 | (1 << 29));
    EXPECT_TRUE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0)) << "Alt+Down opens the list";
    if (!SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0)) SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    SendMessageW(info.hwndList, LB_SETCURSEL, 1, 0);
    app.SetText(IDC_COMMAND_EDIT, L"being typed");
    ShiftKey(edit, VK_DELETE);
    EXPECT_EQ((std::vector<std::wstring>{L"three", L"one"}), Entries(combo));
    EXPECT_EQ(L"being typed", app.Text(IDC_COMMAND_EDIT)) << "the field's own text stays";
    const FieldHistory* history = app.window->Histories().Of(IDC_COMMAND_EDIT);
    ASSERT_NE(nullptr, history);
    ASSERT_EQ(2u, history->Entries().size());
    EXPECT_EQ(L"one", std::wstring(history->Entries()[1].Text()));
    // Kept at once: a store opened now reads the shorter list.
    std::vector<VQWString> kept = NewRegistryStore(app.key.Path().c_str())->ReadList(L"CommandHistory");
    ASSERT_EQ(2u, kept.size());
    EXPECT_EQ(L"three", std::wstring(kept[0].Text()));
    SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
    // Closed, Shift+Delete is the edit's own (cut): the list stays.
    ShiftKey(edit, VK_DELETE);
    EXPECT_EQ(2u, Entries(combo).size());
}
