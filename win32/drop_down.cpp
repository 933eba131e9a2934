#include "win32/drop_down.h"

#include <windows.h>

VQWin32DialogItemDropDown::VQWin32DialogItemDropDown(int controlId, std::initializer_list<const wchar_t*> texts,
                                                     int chosen)
    : VQWin32DialogItem(controlId), selection(0) {
    for (const wchar_t* text : texts) choices.Add(VQWString(text));
    if (chosen >= 0 && chosen < choices.GetCount()) selection = chosen;
}

bool VQWin32DialogItemDropDown::OnInitDialog(VQWin32Window* ownerWindow, HWND dialog, VQWin32Window* target) {
    if (!VQWin32DialogItem::OnInitDialog(ownerWindow, dialog, target)) return false;
    SendMessageW(controlHandle, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < choices.GetCount(); ++i) {
        SendMessageW(controlHandle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choices[i].Text()));
    }
    SendMessageW(controlHandle, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
    return true;
}

void VQWin32DialogItemDropDown::Commit() { GetSelection(); }

int VQWin32DialogItemDropDown::OnCommand(int, int code, HWND) {
    if (code != CBN_SELCHANGE || !controlHandle) return 1;
    int before = selection;
    if (GetSelection() != before) NotifyChange(0, selection);
    return 1;
}

int VQWin32DialogItemDropDown::GetSelection() {
    if (controlHandle) {
        LRESULT chosen = SendMessageW(controlHandle, CB_GETCURSEL, 0, 0);
        if (chosen >= 0 && chosen < choices.GetCount()) selection = static_cast<int>(chosen);
    }
    return selection;
}

bool VQWin32DialogItemDropDown::SetSelection(int index) {
    if (index < 0 || index >= choices.GetCount()) return false;
    selection = index;
    if (controlHandle) SendMessageW(controlHandle, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    return true;
}
