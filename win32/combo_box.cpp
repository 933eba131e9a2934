#include "win32/combo_box.h"

#include <commctrl.h>

VQWin32DialogItemComboBoxW::VQWin32DialogItemComboBoxW(int controlId, const wchar_t* initialText, int maxLength)
    : VQWin32DialogItemEditBoxW(controlId, initialText, maxLength) {}

VQWin32DialogItemComboBoxW::~VQWin32DialogItemComboBoxW() { Unsubclass(); }

bool VQWin32DialogItemComboBoxW::OnInitDialog(VQWin32Window* ownerWindow, HWND dialog, VQWin32Window* target) {
    if (!VQWin32DialogItemEditBoxW::OnInitDialog(ownerWindow, dialog, target)) return false;
    SetMaxLength(maxLength);
    COMBOBOXINFO info = {};
    info.cbSize = sizeof info;
    if (GetComboBoxInfo(controlHandle, &info)) {
        listHandle = info.hwndList;
        // A drop-down list has no edit child; hwndItem is then the combo itself.
        if (info.hwndItem && info.hwndItem != controlHandle) editHandle = info.hwndItem;
    }
    if (editHandle) {
        SetWindowSubclass(editHandle, EditProc, 1, reinterpret_cast<DWORD_PTR>(this));
        SetWindowSubclass(controlHandle, ComboProc, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    return true;
}

void VQWin32DialogItemComboBoxW::Unsubclass() {
    if (editHandle) {
        RemoveWindowSubclass(editHandle, EditProc, 1);
        if (controlHandle) RemoveWindowSubclass(controlHandle, ComboProc, 1);
    }
    editHandle = nullptr;
    VQWin32DialogItemEditBoxW::Unsubclass();
}

int VQWin32DialogItemComboBoxW::OnCommand(int id, int code, HWND) {
    if (controlHandle && id == controlId && (code == CBN_EDITCHANGE || code == CBN_SELCHANGE)) NotifyChange(0, 0);
    return 0;
}

bool VQWin32DialogItemComboBoxW::IsHandle(HWND hwnd) {
    return VQWin32DialogItemEditBoxW::IsHandle(hwnd) || (hwnd && hwnd == editHandle);
}

void VQWin32DialogItemComboBoxW::SetMaxLength(int length) {
    maxLength = length;
    if (controlHandle && length > 0) SendMessageW(controlHandle, CB_LIMITTEXT, static_cast<WPARAM>(length), 0);
}

void VQWin32DialogItemComboBoxW::SetEntries(const std::vector<VQWString>& entries) {
    if (!controlHandle) return;
    // Emptying the list empties an editable combo's text too: it comes back.
    VQWString kept = GetTextW(false);
    SendMessageW(controlHandle, CB_RESETCONTENT, 0, 0);
    for (const VQWString& entry : entries) {
        SendMessageW(controlHandle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.Text()));
    }
    if (editHandle) SetWindowTextW(controlHandle, kept.Text());
}

std::vector<VQWString> VQWin32DialogItemComboBoxW::GetEntries() {
    std::vector<VQWString> entries;
    int count = GetEntryCount();
    for (int i = 0; i < count; ++i) {
        LRESULT length = SendMessageW(controlHandle, CB_GETLBTEXTLEN, i, 0);
        VQWString entry;
        if (length > 0 && entry.SetLength(static_cast<int>(length))) {
            LRESULT got = SendMessageW(controlHandle, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.GetData()));
            entry.SetLength(got > 0 ? static_cast<int>(got) : 0);
        }
        entries.push_back(entry);
    }
    return entries;
}

int VQWin32DialogItemComboBoxW::GetEntryCount() {
    if (!controlHandle) return 0;
    LRESULT count = SendMessageW(controlHandle, CB_GETCOUNT, 0, 0);
    return count > 0 ? static_cast<int>(count) : 0;
}

int VQWin32DialogItemComboBoxW::GetSelection() {
    if (!controlHandle) return -1;
    LRESULT index = SendMessageW(controlHandle, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void VQWin32DialogItemComboBoxW::SetSelection(int index) {
    if (controlHandle) SendMessageW(controlHandle, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

bool VQWin32DialogItemComboBoxW::IsDroppedDown() {
    return controlHandle && SendMessageW(controlHandle, CB_GETDROPPEDSTATE, 0, 0) != 0;
}

void VQWin32DialogItemComboBoxW::ShowDropDown(bool show) {
    if (controlHandle) SendMessageW(controlHandle, CB_SHOWDROPDOWN, show ? TRUE : FALSE, 0);
}

void VQWin32DialogItemComboBoxW::TakeSelectedText() {
    int index = GetSelection();
    if (index < 0 || !editHandle) return;
    std::vector<VQWString> entries = GetEntries();
    if (index < static_cast<int>(entries.size())) SetWindowTextW(controlHandle, entries[index].Text());
}

bool VQWin32DialogItemComboBoxW::RemoveHighlightedEntry() {
    if (!controlHandle || !IsDroppedDown()) return false;
    // The open list's highlight follows the keys and the mouse; the combo's
    // own selection follows only the keys.
    LRESULT index = listHandle ? SendMessageW(listHandle, LB_GETCURSEL, 0, 0) : LB_ERR;
    if (index == LB_ERR) index = SendMessageW(controlHandle, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR || index < 0) return false;
    std::vector<VQWString> entries = GetEntries();
    if (index >= static_cast<LRESULT>(entries.size())) return false;
    // The edit keeps what the user had typed, not the entry that goes.
    VQWString kept = GetTextW(false);
    SendMessageW(controlHandle, CB_DELETESTRING, static_cast<WPARAM>(index), 0);
    if (editHandle) SetWindowTextW(controlHandle, kept.Text());
    if (onRemoveEntry) onRemoveEntry(entries[index]);
    return true;
}

LRESULT CALLBACK VQWin32DialogItemComboBoxW::EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                                      UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<VQWin32DialogItemComboBoxW*>(data);
    if (message == WM_KEYDOWN && wParam == VK_DELETE && (GetKeyState(VK_SHIFT) & 0x8000) && self->IsDroppedDown()) {
        if (self->RemoveHighlightedEntry()) return 0;
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

LRESULT CALLBACK VQWin32DialogItemComboBoxW::ComboProc(HWND combo, UINT message, WPARAM wParam, LPARAM lParam,
                                                       UINT_PTR, DWORD_PTR) {
    LRESULT result = DefSubclassProc(combo, message, wParam, lParam);
    if (message == WM_SETTEXT) {
        HWND parent = GetParent(combo);
        int id = GetDlgCtrlID(combo);
        if (parent) SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(combo));
    }
    return result;
}

bool VQWin32DialogItemComboBoxW::SetCueBanner(const wchar_t* text) {
    COMBOBOXINFO parts = {};
    parts.cbSize = sizeof parts;
    if (!GetComboBoxInfo(GetHandle(), &parts) || !parts.hwndItem) return false;
    return SendMessageW(parts.hwndItem, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(text)) != FALSE;
}
