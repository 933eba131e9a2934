// The value items: edit box and check box (the list box has a file of its own).
#include "win32/dialog_items.h"

#include <commctrl.h>

#include <cwchar>

VQWin32DialogItemEditBoxW::VQWin32DialogItemEditBoxW(int controlId, const wchar_t* initialText, int maxLength)
    : VQWin32DialogItem(controlId), text(initialText ? initialText : L""), minLength(0), maxLength(maxLength),
      selectOnInit(0) {}

VQWString VQWin32DialogItemEditBoxW::GetTextW(bool validate) {
    if (!controlHandle) return text;
    int length = GetWindowTextLengthW(controlHandle);
    text = L"";
    if (length >= 1) {
        text.SetLength(length);
        int got = GetWindowTextW(controlHandle, text.GetData(), length + 1);
        text.SetLength(got < 0 ? 0 : got);
    }
    if (validate) {
        int units = text.GetLength();
        if ((minLength >= 0 && minLength > units) || (maxLength >= 0 && maxLength < units)) return VQWString();
    }
    return text;
}

void VQWin32DialogItemEditBoxW::SetTextW(const wchar_t* newText, bool select) { TrySetTextW(newText, select); }

bool VQWin32DialogItemEditBoxW::TrySetTextW(const wchar_t* newText, bool select) {
    if (!controlHandle) return false;
    if (!newText) newText = L"";
    if (maxLength >= 0 && wcslen(newText) > static_cast<size_t>(maxLength)) return false;
    text = newText;
    SetWindowTextW(controlHandle, text.Text());
    if (select) SendMessageW(controlHandle, EM_SETSEL, 0, text.GetLength());
    return true;
}

void VQWin32DialogItemEditBoxW::SendLimit() {
    if (!controlHandle) return;
    // EM_LIMITTEXT with 0 means the control's largest size, which is also
    // what no limit asks for; a limit of 0 itself cannot be told to it.
    WPARAM units = maxLength > 0 ? static_cast<WPARAM>(maxLength) : 0;
    if (maxLength != 0) SendMessageW(controlHandle, EM_LIMITTEXT, units, 0);
}

bool VQWin32DialogItemEditBoxW::OnInitDialog(VQWin32Window* ownerWindow, HWND dialog, VQWin32Window* target) {
    if (!VQWin32DialogItem::OnInitDialog(ownerWindow, dialog, target)) return false;
    // Before the text: an initial text longer than the limit is refused.
    if (maxLength >= 0) SendLimit();
    // A copy: SetTextW assigns the field it is handed.
    VQWString initial = text;
    SetTextW(initial.Text(), selectOnInit != 0);
    return true;
}

void VQWin32DialogItemEditBoxW::Commit() { GetTextW(true); }

int VQWin32DialogItemEditBoxW::OnCommand(int id, int code, HWND) {
    if (controlHandle && id == controlId && code == EN_CHANGE) NotifyChange(0, 0);
    return 0;
}

int VQWin32DialogItemEditBoxW::GetMinLength() { return minLength; }

void VQWin32DialogItemEditBoxW::SetMinLength(int length) { minLength = length; }

int VQWin32DialogItemEditBoxW::GetMaxLength() { return maxLength; }

void VQWin32DialogItemEditBoxW::SetMaxLength(int length) {
    maxLength = length;
    SendLimit();
}

void VQWin32DialogItemEditBoxW::SetTextPlain(const wchar_t* newText) {
    if (controlHandle) SetTextW(newText, false);
}

VQWin32DialogItemCheckBox::VQWin32DialogItemCheckBox(int controlId, bool checked)
    : VQWin32DialogItem(controlId), checkState(checked ? 1 : 0) {}

bool VQWin32DialogItemCheckBox::OnInitDialog(VQWin32Window* ownerWindow, HWND dialog, VQWin32Window* target) {
    if (!VQWin32DialogItem::OnInitDialog(ownerWindow, dialog, target)) return false;
    SendMessageW(controlHandle, BM_SETCHECK, checkState ? BST_CHECKED : BST_UNCHECKED, 0);
    return true;
}

int VQWin32DialogItemCheckBox::OnCommand(int, int code, HWND) {
    if (code != BN_CLICKED) return 1;
    if (!controlHandle) return 1;
    int checked = SendMessageW(controlHandle, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    if (checked != (checkState ? 1 : 0)) {
        checkState = checked;
        NotifyChange(0, checkState);
    }
    return 1;
}

bool VQWin32DialogItemCheckBox::IsChecked() {
    if (controlHandle) checkState = SendMessageW(controlHandle, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    return checkState != 0;
}

void VQWin32DialogItemCheckBox::SetChecked(bool checked) {
    checkState = checked ? 1 : 0;
    if (controlHandle) SendMessageW(controlHandle, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

VQWin32DialogItemUpDown::VQWin32DialogItemUpDown(int id, int lowest, int highest)
    : VQWin32DialogItem(id), low(lowest), high(highest) {}

bool VQWin32DialogItemUpDown::OnInitDialog(VQWin32Window* ownerWindow, HWND dialog, VQWin32Window* target) {
    if (!VQWin32DialogItem::OnInitDialog(ownerWindow, dialog, target)) return false;
    SendMessageW(controlHandle, UDM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
    return true;
}
