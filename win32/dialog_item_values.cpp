// The value items: edit box, list box and check box.
#include "win32/dialog_items.h"

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

VQWin32DialogItemListBoxW::VQWin32DialogItemListBoxW(int controlId) : VQWin32DialogItem(controlId), selection(0) {}

bool VQWin32DialogItemListBoxW::OnInitDialog(VQWin32Window* ownerWindow, HWND dialog, VQWin32Window* target) {
    if (!VQWin32DialogItem::OnInitDialog(ownerWindow, dialog, target)) return false;
    int count = initialStrings.GetCount();
    for (int i = 0; i < count; ++i) {
        SendMessageW(controlHandle, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(initialStrings[i].Text()));
    }
    if (selection >= 0 && selection < count) SendMessageW(controlHandle, LB_SETCURSEL, selection, 0);
    initialStrings.RemoveAll();
    return true;
}

void VQWin32DialogItemListBoxW::Commit() {
    if (controlHandle) selection = static_cast<int>(SendMessageW(controlHandle, LB_GETCURSEL, 0, 0));
}

int VQWin32DialogItemListBoxW::OnCommand(int, int code, HWND) {
    if (code != LBN_SELCHANGE) return 1;
    if (controlHandle) selection = static_cast<int>(SendMessageW(controlHandle, LB_GETCURSEL, 0, 0));
    NotifyChange(0, selection);
    return 0;
}

int VQWin32DialogItemListBoxW::GetCount() {
    if (!controlHandle) return 0;
    return static_cast<int>(SendMessageW(controlHandle, LB_GETCOUNT, 0, 0));
}

int VQWin32DialogItemListBoxW::GetCurSel() {
    if (controlHandle) selection = static_cast<int>(SendMessageW(controlHandle, LB_GETCURSEL, 0, 0));
    return selection;
}

VQWString VQWin32DialogItemListBoxW::GetString(int index) {
    VQWString result;
    if (!controlHandle) return result;
    int length = static_cast<int>(SendMessageW(controlHandle, LB_GETTEXTLEN, index, 0));
    if (length == LB_ERR) return result;
    result.SetLength(length);
    int got = static_cast<int>(SendMessageW(controlHandle, LB_GETTEXT, index, reinterpret_cast<LPARAM>(result.GetData())));
    result.SetLength(got == LB_ERR ? 0 : got);
    return result;
}

void VQWin32DialogItemListBoxW::GetAllStrings(VQArray<VQWString, VQWString>& into) {
    int count = GetCount();
    if (count < 0) {
        into.RemoveAll();
        return;
    }
    into.SetSize(count);
    for (int i = 0; i < count; ++i) into[i] = GetString(i);
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
