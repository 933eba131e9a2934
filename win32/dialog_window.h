// VQWin32DialogWindow: a standard window whose whole client area is a
// modeless dialog made from a dialog resource. It owns the dialog items that
// wrap the dialog's controls, routes the dialog's messages to them, fits the
// frame to the dialog (or lets the user resize it, the items following), and
// can act as a modal window that disables its owner while it lives.
#pragma once

#include <initializer_list>

#include "win32/dialog_items.h"
#include "win32/standard_window.h"

class VQWin32DialogWindowCreateInfo : public VQWin32WindowCreateInfo {
public:
    // The info owns the items until PostCreate takes them over.
    VQWin32DialogWindowCreateInfo(std::initializer_list<VQWin32DialogItem*> items = {});
    ~VQWin32DialogWindowCreateInfo() override;

    int templateId;  // 129
    bool modal;
    VQArray<VQWin32DialogItem*, VQWin32DialogItem*> items;  // owned; null where taken
    bool resizable;
    bool focusFirstTabStop;
    int position;               // -1 leaves it; 0 ... 8: column = position % 3, row = position / 3
    HWND positionReference;     // borrowed; the window whose client area position refers to
    // The dialog in the program's UI font (win32/ui_font.h) rather than the
    // one its template names; false keeps the template's.
    bool uiFont;
};

class VQWin32DialogWindow : public VQWin32StandardWindow {
public:
    explicit VQWin32DialogWindow(HINSTANCE instance);
    ~VQWin32DialogWindow() override;

    bool IsModal() override;
    void Relayout() override;
    int OnDestroy(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    int OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    int OnNotify(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    int OnActivate(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    int OnSetFocus(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    int OnSize(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    int OnEnterSizeMove(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    int OnExitSizeMove(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    int OnDrawItem(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    bool PreCreate(VQWin32WindowCreateInfo* info) override;
    bool PostCreate(VQWin32WindowCreateInfo* info) override;
    bool CanClose() override;
    void OnDestroyed() override;
    // Scales the dialog, every control on it (place, size and font), the
    // items' reference rectangles and the size limits from dpi to newDpi,
    // then lets the frame take the suggested rectangle; a fixed frame then
    // fits the scaled dialog again.
    void OnDpiChanged(UINT newDpi, const RECT* suggested) override;

    virtual HWND GetDialogHandle();
    virtual int EnableItems(bool enable);
    virtual int ToggleItems();
    virtual VQArray<VQWin32DialogItem*, VQWin32DialogItem*>* GetItems();
    virtual VQWin32DialogItem* FindItemByHandle(HWND control);
    virtual VQWin32DialogItem* FindItemById(int controlId);
    virtual int IndexOfItem(int controlId);
    virtual VQWin32DialogItem* ItemAt(int index);
    // Whether Enter and Escape go to the dialog manager (modal windows only).
    virtual bool WantsDialogKeys(int virtualKey);
    virtual int RouteToItem(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
    virtual INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    virtual int OnDialogInit(HWND dialog, WPARAM wParam, LPARAM lParam);
    virtual void OnDialogFocus(WPARAM wParam);
    virtual void LayoutItem(VQWin32DialogItem* item);
    virtual void LayoutDialog();

    HWND dialogHandle;  // not owned: a child of the frame, destroyed with it
    VQArray<VQWin32DialogItem*, VQWin32DialogItem*> items;  // owned: deleted by OnDestroyed
    uint8_t resizable;
    uint8_t focusFirstTabStop;
    int dialogWidth;   // the dialog's client size right after creation:
    int dialogHeight;  // the reference size of item layout
    uint8_t modal;
    uint8_t ownerWasEnabled;
    int exitCode;  // wParam of the WM_QUIT that a modal window posts
    uint8_t relayoutInProgress;
    HWND savedFocus;  // borrowed: the panel's control that had the focus when the frame was deactivated
    VQArray<HFONT, HFONT> scaledFonts;  // owned: the controls' fonts made for a new scale, deleted with the object

private:
    void PlaceWindow(const VQWin32DialogWindowCreateInfo* info);
    void GrowFrameToDialog();
    void FitFrameToDialog();
    void ScaleControls(UINT fromDpi, UINT toDpi);
    void MoveToDefaultPlace();
    void EnableOwner();
};
