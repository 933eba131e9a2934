// A combo box as a dialog item: an edit box with a drop-down list of earlier
// values (CBS_DROPDOWN; its text is read and set as the edit box's is), or a
// list to choose from (CBS_DROPDOWNLIST). Alt+Down and F4 open the list, as
// the system's combo box does; Shift+Delete while it is open removes the
// highlighted entry and tells onRemoveEntry. A change of the text, typed or
// set, comes to the dialog as CBN_EDITCHANGE.
#pragma once

#include <functional>
#include <vector>

#include "win32/dialog_items.h"

class VQWin32DialogItemComboBoxW : public VQWin32DialogItemEditBoxW {
public:
    VQWin32DialogItemComboBoxW(int controlId, const wchar_t* initialText, int maxLength);
    ~VQWin32DialogItemComboBoxW() override;

    bool OnInitDialog(VQWin32Window* owner, HWND dialog, VQWin32Window* notifyTarget) override;
    void Unsubclass() override;
    int OnCommand(int id, int code, HWND control) override;
    void SetMaxLength(int length) override;
    // The combo's own edit child is part of it (the focus sits there).
    bool IsHandle(HWND hwnd) override;

    // The list's entries, replaced; the edit text stays as it was.
    void SetEntries(const std::vector<VQWString>& entries);
    std::vector<VQWString> GetEntries();
    int GetEntryCount();
    // The chosen entry of the list, or -1.
    int GetSelection();
    void SetSelection(int index);
    bool IsDroppedDown();
    void ShowDropDown(bool show);
    // The text of the chosen entry into the edit field at once: the control
    // puts it there only after telling CBN_SELCHANGE.
    void TakeSelectedText();
    // The note the edit field shows grey while it is empty and unfocused.
    bool SetCueBanner(const wchar_t* text);

    // Shift+Delete on an entry of the open list: the entry is gone from the
    // list, then this hears its text.
    std::function<void(const VQWString&)> onRemoveEntry;

    // What Shift+Delete does, for the key handler and tests: removes the
    // highlighted entry of the open list; false when none is highlighted.
    bool RemoveHighlightedEntry();

private:
    // A text set from outside (WM_SETTEXT) is told as the edit box tells it:
    // the system's combo tells only what was typed.
    static LRESULT CALLBACK ComboProc(HWND combo, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR self);
    static LRESULT CALLBACK EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self);
    HWND editHandle = nullptr;  // borrowed: the combo's own edit child, subclassed
    HWND listHandle = nullptr;  // borrowed: the combo's drop-down list
};
