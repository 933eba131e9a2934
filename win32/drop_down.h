// A drop-down list (a combo box of CBS_DROPDOWNLIST style) as a dialog item:
// a fixed set of choices put in at binding, one of them chosen by its index.
#pragma once

#include <initializer_list>

#include "base/arrays.h"
#include "base/strings.h"
#include "win32/dialog_items.h"

class VQWin32DialogItemDropDown : public VQWin32DialogItem {
public:
    // selection: the index chosen at binding; one out of range chooses the first.
    VQWin32DialogItemDropDown(int controlId, std::initializer_list<const wchar_t*> choices, int selection);

    bool OnInitDialog(VQWin32Window* owner, HWND dialog, VQWin32Window* notifyTarget) override;
    void Commit() override;
    int OnCommand(int id, int code, HWND control) override;

    int GetCount() const { return choices.GetCount(); }
    // The control's choice while it exists (selection follows it), else selection.
    int GetSelection();
    // False for an index out of range (nothing changes); no notification is sent.
    bool SetSelection(int index);

    VQArray<VQWString, VQWString> choices;
    int selection;
};
