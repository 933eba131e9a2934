#include "win32/dialog_items.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/log_capture.h"
#include "tests/win32/test_windows.h"

namespace {

// An edit box that records the messages its subclassed control receives.
class RecordingEditBox : public VQWin32DialogItemEditBoxW {
public:
    RecordingEditBox(int id) : VQWin32DialogItemEditBoxW(id, nullptr, -1) { subclass = 1; }
    LRESULT ControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_KEYDOWN || message == WM_CHAR) keys.push_back({message, wParam});
        return VQWin32DialogItemEditBoxW::ControlProc(control, message, wParam, lParam);
    }
    struct Key {
        UINT message;
        WPARAM code;
    };
    std::vector<Key> keys;
};

}  // namespace

TEST(DialogItemBinding, AMissingControlStopsBindingAndCreation) {
    auto* edit = new VQWin32DialogItemEditBoxW(IDC_TEST_NAME, L"a", -1);
    auto* missing = new VQWin32DialogItem(4242);
    auto* check = new VQWin32DialogItemCheckBox(IDC_TEST_CHECK, true);
    VQWin32DialogWindowCreateInfo info({edit, missing, check});
    UseTestPanel(&info, L"QBTestBindFail");
    TestPanel panel;
    {
        LogCapture log;
        EXPECT_FALSE(panel.Open(&info));
        EXPECT_EQ(LogCapture::ShiftJis(L"[VQWin32DialogBaseItem::OnInitDialog]ダイアログにアイテムID4242が存在しません\r\n"),
                  log.Text());
    }
    ASSERT_NE(nullptr, panel.handle) << "the frame stays; nothing is undone";
    // The window owns what it took; the rest stays with the info.
    ASSERT_EQ(2, panel.items.GetCount());
    EXPECT_EQ(edit, panel.items[0]);
    EXPECT_EQ(missing, panel.items[1]);
    EXPECT_NE(nullptr, edit->GetHandle());
    EXPECT_EQ(nullptr, missing->GetHandle());
    EXPECT_EQ(nullptr, info.items[0]);
    EXPECT_EQ(check, info.items[2]);
    EXPECT_EQ(nullptr, check->GetHandle());
    DestroyAndPump(panel);
    EXPECT_EQ(0, panel.items.GetCount());
}

TEST(DialogItemBinding, ItemsWithoutADialogOrATemplateFail) {
    LogCapture log;
    VQWin32DialogItem item(IDC_TEST_NAME);
    EXPECT_FALSE(item.OnInitDialog(nullptr, nullptr, nullptr));

    VQWin32DialogWindowCreateInfo info;
    UseTestPanel(&info, L"QBTestNoTemplate");
    info.templateId = IDD_MISSING;
    TestPanel panel;
    EXPECT_FALSE(panel.Open(&info));
    // A dialog window needs a dialog create info.
    EXPECT_FALSE(panel.PreCreate(nullptr));
    VQWin32WindowCreateInfo plain;
    EXPECT_FALSE(panel.PostCreate(&plain));
    EXPECT_EQ(LogCapture::ShiftJis(L"[VQWin32DialogBaseItem::OnInitDialog]ダイアログが生成されていません。\r\n"
                     L"[VQWin32DialogWindow::PostCreate]ダイアログの作成に失敗した。リソースID=299\r\n"
                     L"[VQWin32DialogWindow::PreCreate]ウィンドウ生成情報が指定されていません。\r\n"
                     L"[VQWin32DialogWindow::PostCreate]ウィンドウ生成情報が指定されていません。\r\n"),
              log.Text());
    EXPECT_EQ(nullptr, panel.dialogHandle);
    DestroyAndPump(panel);
}

TEST(DialogItemEditBox, ValidationRefusesTextOutsideTheLimits) {
    auto* edit = new VQWin32DialogItemEditBoxW(IDC_TEST_NAME, L"最初", 256);
    edit->selectOnInit = 1;
    VQWin32DialogWindowCreateInfo info({edit});
    UseTestPanel(&info, L"QBTestEdit");
    TestPanel panel;
    ASSERT_TRUE(panel.Open(&info));
    HWND control = edit->GetHandle();
    EXPECT_EQ(L"最初", WindowText(control));
    DWORD start = 0, end = 0;
    SendMessageW(control, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(0u, start);
    EXPECT_EQ(2u, end) << "selected at binding";

    // Text put in past the item (not typed) can exceed the limit; a
    // validating read refuses it.
    std::wstring longText(300, L'x');
    SetWindowTextW(control, longText.c_str());
    EXPECT_EQ(300, GetWindowTextLengthW(control));
    EXPECT_TRUE(edit->GetTextW(true).IsNull());
    EXPECT_EQ(300, edit->text.GetLength()) << "the item still keeps the control's text";
    VQWString plain = edit->GetTextW(false);
    EXPECT_FALSE(plain.IsNull());
    EXPECT_EQ(longText, plain.Text());

    edit->SetMinLength(5);
    edit->SetTextPlain(L"abc");
    EXPECT_TRUE(edit->GetTextW(true).IsNull());
    edit->SetTextPlain(L"abcde");
    EXPECT_STREQ(L"abcde", edit->GetTextW(true).Text());

    // An empty control reads as an empty, not a null, string.
    edit->SetMinLength(0);
    edit->SetTextW(nullptr, false);
    VQWString empty = edit->GetTextW(true);
    EXPECT_FALSE(empty.IsNull());
    EXPECT_TRUE(empty.IsEmpty());

    // Text outside the ANSI code page survives the control.
    const wchar_t* wide = L"caf\u00e9 \u00fc \u0416 \U0001F600";
    edit->SetTextW(wide, false);
    EXPECT_TRUE(IsWindowUnicode(control));
    EXPECT_STREQ(wide, edit->GetTextW(false).Text());
    DestroyAndPump(panel);
}

TEST(DialogItemEditBox, TheControlTakesNoMoreThanTheLimitAndALongerTextIsRefused) {
    auto* limited = new VQWin32DialogItemEditBoxW(IDC_TEST_NAME, L"短い", 8);
    VQWin32DialogWindowCreateInfo info({limited});
    UseTestPanel(&info, L"QBTestEditLimit");
    TestPanel panel;
    ASSERT_TRUE(panel.Open(&info));
    HWND control = limited->GetHandle();
    EXPECT_EQ(8, SendMessageW(control, EM_GETLIMITTEXT, 0, 0));

    // Typing stops at the limit.
    SendMessageW(control, EM_SETSEL, 2, 2);
    for (int i = 0; i < 10; ++i) SendMessageW(control, WM_CHAR, L'x', 0);
    EXPECT_EQ(L"短いxxxxxx", WindowText(control));

    // A longer text is refused whole: the control and the item keep theirs.
    EXPECT_FALSE(limited->TrySetTextW(L"123456789", false));
    limited->SetTextW(L"987654321", false);
    EXPECT_EQ(L"短いxxxxxx", WindowText(control));
    EXPECT_STREQ(L"短いxxxxxx", limited->GetTextW(true).Text());
    EXPECT_TRUE(limited->TrySetTextW(L"12345678", false));
    EXPECT_EQ(L"12345678", WindowText(control));

    // A new limit reaches the control; no limit lets the control take its most.
    limited->SetMaxLength(12);
    EXPECT_EQ(12, SendMessageW(control, EM_GETLIMITTEXT, 0, 0));
    EXPECT_TRUE(limited->TrySetTextW(L"123456789012", false));
    limited->SetMaxLength(-1);
    EXPECT_GT(SendMessageW(control, EM_GETLIMITTEXT, 0, 0), 1024);
    EXPECT_TRUE(limited->TrySetTextW(std::wstring(2000, L'y').c_str(), false));
    DestroyAndPump(panel);

    // Without a limit the control keeps its own default.
    auto* open = new VQWin32DialogItemEditBoxW(IDC_TEST_NAME, nullptr, -1);
    VQWin32DialogWindowCreateInfo openInfo({open});
    UseTestPanel(&openInfo, L"QBTestEditNoLimit");
    TestPanel unlimited;
    ASSERT_TRUE(unlimited.Open(&openInfo));
    HWND plain = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 10, 10, unlimited.dialogHandle, nullptr,
                                 TestInstance(), nullptr);
    EXPECT_EQ(SendMessageW(plain, EM_GETLIMITTEXT, 0, 0), SendMessageW(open->GetHandle(), EM_GETLIMITTEXT, 0, 0));
    DestroyAndPump(unlimited);
}

TEST(DialogItemEditBox, EveryChangeNotifiesUnlessNotificationsAreOff) {
    auto* edit = new VQWin32DialogItemEditBoxW(IDC_TEST_NAME, nullptr, -1);
    VQWin32DialogWindowCreateInfo info({edit});
    UseTestPanel(&info, L"QBTestEditNotify");
    TestPanel panel;
    ASSERT_TRUE(panel.Open(&info));
    EXPECT_TRUE(edit->text.IsEmpty());
    panel.notifications.clear();

    SetWindowTextW(edit->GetHandle(), L"a");
    SetWindowTextW(edit->GetHandle(), L"ab");
    ASSERT_EQ(2u, panel.notifications.size());
    EXPECT_EQ(IDC_TEST_NAME, panel.notifications[0].controlId);
    EXPECT_EQ(0u, panel.notifications[1].value1);
    EXPECT_EQ(0, panel.notifications[1].value2);

    edit->SetNotifyEnabled(false);
    EXPECT_FALSE(edit->IsNotifyEnabled());
    SetWindowTextW(edit->GetHandle(), L"abc");
    EXPECT_EQ(2u, panel.notifications.size());
    EXPECT_STREQ(L"abc", edit->GetTextW(true).Text());
    DestroyAndPump(panel);
}

TEST(DialogItemNotify, ChangesClimbTheOwnerChainOrGoToTheTarget) {
    TestPanel owner;
    VQWin32DialogWindowCreateInfo ownerInfo;
    UseTestPanel(&ownerInfo, L"QBTestChainOwner");
    ASSERT_TRUE(owner.Open(&ownerInfo));

    auto* check = new VQWin32DialogItemCheckBox(IDC_TEST_CHECK, false);
    VQWin32DialogWindowCreateInfo info({check});
    UseTestPanel(&info, L"QBTestChainChild");
    info.parentWindow = &owner;
    TestPanel panel;
    panel.takeNotifications = false;
    ASSERT_TRUE(panel.Open(&info));

    // The panel declines; its parent takes the notification.
    SendMessageW(check->GetHandle(), BM_CLICK, 0, 0);
    ASSERT_EQ(1u, panel.notifications.size());
    ASSERT_EQ(1u, owner.notifications.size());
    EXPECT_EQ(IDC_TEST_CHECK, owner.notifications[0].controlId);
    EXPECT_EQ(1, owner.notifications[0].value2);

    // A notify target is told instead of the chain.
    TestPanel target;
    check->notifyTarget = &target;
    SendMessageW(check->GetHandle(), BM_CLICK, 0, 0);
    ASSERT_EQ(1u, target.notifications.size());
    EXPECT_EQ(0, target.notifications[0].value2);
    EXPECT_EQ(1u, panel.notifications.size());
    EXPECT_EQ(1u, owner.notifications.size());

    DestroyWindow(panel.handle);
    DestroyAndPump(owner);
}

TEST(DialogItemCheckBox, ClicksFlipTheStateAndNotifyOnlyOnChange) {
    auto* check = new VQWin32DialogItemCheckBox(IDC_TEST_CHECK, true);
    VQWin32DialogWindowCreateInfo info({check});
    UseTestPanel(&info, L"QBTestCheck");
    TestPanel panel;
    ASSERT_TRUE(panel.Open(&info));
    HWND control = check->GetHandle();
    EXPECT_EQ(BST_CHECKED, SendMessageW(control, BM_GETCHECK, 0, 0));
    panel.notifications.clear();

    SendMessageW(control, BM_CLICK, 0, 0);
    EXPECT_EQ(0, check->checkState);
    SendMessageW(control, BM_CLICK, 0, 0);
    EXPECT_EQ(1, check->checkState);
    ASSERT_EQ(2u, panel.notifications.size());
    EXPECT_EQ(0, panel.notifications[0].value2);
    EXPECT_EQ(1, panel.notifications[1].value2);

    // A BN_CLICKED that changes nothing sends nothing.
    SendMessageW(panel.dialogHandle, WM_COMMAND, MAKEWPARAM(IDC_TEST_CHECK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
    EXPECT_EQ(2u, panel.notifications.size());
    EXPECT_EQ(1, check->OnCommand(IDC_TEST_CHECK, BN_SETFOCUS, control));
    DestroyAndPump(panel);
}

TEST(DialogItemCheckBox, TheStateIsReadAndSetThroughTheItem) {
    auto* check = new VQWin32DialogItemCheckBox(IDC_TEST_CHECK, false);
    VQWin32DialogWindowCreateInfo info({check});
    UseTestPanel(&info, L"QBTestCheckState");
    TestPanel panel;
    ASSERT_TRUE(panel.Open(&info));
    panel.notifications.clear();
    check->SetChecked(true);
    EXPECT_EQ(BST_CHECKED, SendMessageW(check->GetHandle(), BM_GETCHECK, 0, 0));
    EXPECT_EQ(1, check->checkState);
    EXPECT_TRUE(panel.notifications.empty()) << "set by the program, not changed by the user";
    // Changed behind the item's back: IsChecked reads the control.
    SendMessageW(check->GetHandle(), BM_SETCHECK, BST_UNCHECKED, 0);
    EXPECT_FALSE(check->IsChecked());
    EXPECT_EQ(0, check->checkState);
    DestroyAndPump(panel);
    // Gone with its control: the item's own copy.
    VQWin32DialogItemCheckBox unbound(IDC_TEST_CHECK, false);
    unbound.SetChecked(true);
    EXPECT_TRUE(unbound.IsChecked());
}

TEST(DialogItemLayout, AnchorsFollowGrowthAndShrinkBack) {
    auto* moving = new VQWin32DialogItem(IDC_TEST_RUN);
    moving->anchorFlags = VQWin32AnchorMoveRight | VQWin32AnchorStretchDown;
    auto* stretching = new VQWin32DialogItem(IDC_TEST_LIST);
    stretching->anchorFlags = VQWin32AnchorStretchRight | VQWin32AnchorMoveDown;
    auto* fixed = new VQWin32DialogItem(IDOK);
    VQWin32DialogWindowCreateInfo info({moving, stretching, fixed});
    UseTestPanel(&info, L"QBTestAnchors");
    info.resizable = true;
    info.style |= WS_THICKFRAME;
    TestPanel panel;
    ASSERT_TRUE(panel.Open(&info));
    // Start from a frame of exactly the dialog's size.
    auto setClient = [&](int width, int height) {
        SetWindowPos(panel.handle, nullptr, 0, 0, width + panel.frameWidth, height + panel.frameHeight,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    };
    setClient(panel.dialogWidth, panel.dialogHeight);
    RECT moving0 = RectInParent(moving->GetHandle());
    RECT stretching0 = RectInParent(stretching->GetHandle());
    RECT fixed0 = RectInParent(fixed->GetHandle());
    EXPECT_TRUE(EqualRect(&moving0, &moving->initialRect));

    setClient(panel.dialogWidth + 40, panel.dialogHeight + 30);
    SIZE dialogSize = ClientSize(panel.dialogHandle);
    EXPECT_EQ(panel.dialogWidth + 40, dialogSize.cx);
    EXPECT_EQ(panel.dialogHeight + 30, dialogSize.cy);
    RECT moved = RectInParent(moving->GetHandle());
    EXPECT_EQ(moving0.left + 40, moved.left);
    EXPECT_EQ(moving0.right + 40, moved.right);
    EXPECT_EQ(moving0.top, moved.top);
    EXPECT_EQ(moving0.bottom + 30, moved.bottom);
    RECT stretched = RectInParent(stretching->GetHandle());
    EXPECT_EQ(stretching0.left, stretched.left);
    EXPECT_EQ(stretching0.right + 40, stretched.right);
    EXPECT_EQ(stretching0.top + 30, stretched.top);
    EXPECT_EQ(stretching0.bottom + 30, stretched.bottom);
    RECT unmoved = RectInParent(fixed->GetHandle());
    EXPECT_TRUE(EqualRect(&fixed0, &unmoved));
    POINT offset = {moved.left, moved.top};
    EXPECT_EQ(offset.x, moving->clientOffset.x);

    setClient(panel.dialogWidth, panel.dialogHeight);
    RECT back = RectInParent(moving->GetHandle());
    EXPECT_TRUE(EqualRect(&moving0, &back));
    back = RectInParent(stretching->GetHandle());
    EXPECT_TRUE(EqualRect(&stretching0, &back));

    // Below the reference size nothing moves either way.
    SIZE smaller = {panel.dialogWidth - 20, panel.dialogHeight - 20};
    SIZE reference = {panel.dialogWidth, panel.dialogHeight};
    moving->Layout(smaller, reference, nullptr, false);
    back = RectInParent(moving->GetHandle());
    EXPECT_TRUE(EqualRect(&moving0, &back));

    // Flag 16 keeps the last rectangle unless forced; an offset shifts all sides.
    moving->anchorFlags |= VQWin32AnchorOnlyWhenForced;
    SIZE larger = {panel.dialogWidth + 10, panel.dialogHeight};
    moving->Layout(larger, reference, nullptr, false);
    back = RectInParent(moving->GetHandle());
    EXPECT_TRUE(EqualRect(&moving0, &back));
    POINT shift = {3, 4};
    moving->Layout(larger, reference, &shift, true);
    back = RectInParent(moving->GetHandle());
    EXPECT_EQ(moving0.left + 13, back.left);
    EXPECT_EQ(moving0.top + 4, back.top);
    DestroyAndPump(panel);
}

TEST(DialogItemSubclass, ControlProcSeesMessagesAndMovesTheFocusAfterAClick) {
    auto* edit = new RecordingEditBox(IDC_TEST_NAME);
    edit->focusAfterClick = 1;
    VQWin32DialogWindowCreateInfo info({edit});
    UseTestPanel(&info, L"QBTestSubclass");
    TestPanel panel;
    ASSERT_TRUE(panel.Open(&info));
    HWND control = edit->GetHandle();
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(VQWin32DialogControlProc), GetWindowLongPtrW(control, GWLP_WNDPROC));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(edit), GetWindowLongPtrW(control, GWLP_USERDATA));

    SendMessageW(control, WM_CHAR, L'z', 0);
    ASSERT_EQ(1u, edit->keys.size());
    EXPECT_STREQ(L"z", edit->GetTextW(false).Text()) << "the control's own procedure still ran";

    SetFocus(control);
    EXPECT_EQ(control, GetFocus());
    SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(panel.handle, GetFocus());

    edit->Unsubclass();
    EXPECT_NE(reinterpret_cast<LONG_PTR>(VQWin32DialogControlProc), GetWindowLongPtrW(control, GWLP_WNDPROC));
    DestroyAndPump(panel);
}
