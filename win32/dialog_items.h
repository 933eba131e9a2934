// Dialog items: objects that stand for the controls of a dialog hosted by a
// VQWin32DialogWindow. The application creates them with a control id and an
// initial value; the dialog window takes them over, binds them to the real
// controls, routes the dialog's messages to them, lays them out on resize and
// deletes them when it is destroyed. A value read after the control is gone
// comes from the item's own copy.
//
// The order of the virtual operations is part of the framework's contract;
// append, never reorder.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/arrays.h"
#include "base/strings.h"

class VQWin32Window;

// Anchor flags of VQWin32DialogItem::Layout: how a control follows the
// growth of its dialog beyond the reference size.
enum VQWin32AnchorFlags {
    VQWin32AnchorMoveRight = 1,
    VQWin32AnchorMoveDown = 2,
    VQWin32AnchorStretchRight = 4,
    VQWin32AnchorStretchDown = 8,
    VQWin32AnchorOnlyWhenForced = 16,
};

// The procedure installed on a subclassed control.
LRESULT CALLBACK VQWin32DialogControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);

class VQWin32DialogBaseItem {
public:
    explicit VQWin32DialogBaseItem(int controlId);
    VQWin32DialogBaseItem(const VQWin32DialogBaseItem&) = delete;
    VQWin32DialogBaseItem& operator=(const VQWin32DialogBaseItem&) = delete;

    virtual ~VQWin32DialogBaseItem();
    virtual bool IsId(int id);
    virtual int GetId();
    virtual bool IsHandle(HWND hwnd);
    virtual HWND GetHandle();
    virtual bool HasCapture();
    virtual bool IsEnabled();
    virtual void Enable(bool enable);
    virtual void Show(bool show);
    virtual VQString GetTextA();
    // A null string without a control.
    virtual VQWString GetTextW(bool validate);
    virtual void SetTextA(const char* text);
    virtual void SetTextW(const wchar_t* text, bool select);
    // Binds the item to its control; false (and a log line) when the dialog
    // or the control is missing.
    virtual bool OnInitDialog(VQWin32Window* owner, HWND dialog, VQWin32Window* notifyTarget);
    virtual bool OnDialogReady();
    // Takes the control's value into the item.
    virtual void Commit();
    virtual void Unsubclass();
    virtual LRESULT ControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);

    int controlId;
    VQWin32Window* owner;         // borrowed: the dialog window that bound the item
    VQWin32Window* notifyTarget;  // borrowed; null asks the owner chain
    HWND dialogHandle;            // borrowed: owned by the dialog window
    HWND controlHandle;           // borrowed: destroyed with the dialog
    int focusAfterClick;          // 1: owner window, 2: main window, else no change
    uint8_t subclass;             // install VQWin32DialogControlProc at binding
    WNDPROC previousProc;
};

class VQWin32DialogItem : public VQWin32DialogBaseItem {
public:
    explicit VQWin32DialogItem(int controlId);

    bool OnInitDialog(VQWin32Window* owner, HWND dialog, VQWin32Window* notifyTarget) override;

    virtual bool IsNotifyEnabled();
    virtual void SetNotifyEnabled(bool enable);
    // Places the control for a dialog of newSize whose controls were laid out
    // for referenceSize, as anchorFlags say; only growth moves anything.
    virtual void Layout(SIZE newSize, SIZE referenceSize, const POINT* offset, bool force);
    virtual void OnEnterSizeMove();
    virtual void OnExitSizeMove();
    virtual void OnDrawItem(int id, DRAWITEMSTRUCT* draw);
    virtual int OnCommand(int id, int code, HWND control);
    virtual int MessageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    RECT initialRect;  // in dialog client coordinates, at binding
    RECT currentRect;
    POINT clientOffset;
    int anchorFlags;
    uint8_t notifyEnabled;

protected:
    // Tells the notify target, or else the owner chain, that the control's
    // value changed; true when someone took it (or notifications are off).
    bool NotifyChange(WPARAM value1, LPARAM value2);
    void UpdateClientOffset();
};

class VQWin32DialogItemEditBoxW : public VQWin32DialogItem {
public:
    // maxLength < 0: no limit. A limit reaches the control (EM_LIMITTEXT), so
    // the user cannot type or paste more; SetTextW refuses a longer text
    // whole, and a validating GetTextW refuses one that came in otherwise.
    VQWin32DialogItemEditBoxW(int controlId, const wchar_t* initialText, int maxLength);

    VQWString GetTextW(bool validate) override;
    void SetTextW(const wchar_t* text, bool select) override;
    bool OnInitDialog(VQWin32Window* owner, HWND dialog, VQWin32Window* notifyTarget) override;
    void Commit() override;
    int OnCommand(int id, int code, HWND control) override;

    virtual int GetMinLength();
    virtual void SetMinLength(int length);
    virtual int GetMaxLength();
    virtual void SetMaxLength(int length);
    virtual void SetTextPlain(const wchar_t* text);

    // SetTextW that says whether it took the text: false without a control,
    // or for a text longer than maxLength (the control and text keep what
    // they had: a command cut short could run something else).
    bool TrySetTextW(const wchar_t* text, bool select);

    VQWString text;
    int minLength;
    int maxLength;
    uint8_t selectOnInit;

private:
    void SendLimit();
};

class VQWin32DialogItemCheckBox : public VQWin32DialogItem {
public:
    VQWin32DialogItemCheckBox(int controlId, bool checked);

    bool OnInitDialog(VQWin32Window* owner, HWND dialog, VQWin32Window* notifyTarget) override;
    int OnCommand(int id, int code, HWND control) override;

    // The control's state while it exists (checkState follows it), else checkState.
    bool IsChecked();
    // Sets checkState and the control; no change notification is sent.
    void SetChecked(bool checked);

    int checkState;  // used as a bool
};

// An up-down (spin) control that steps the number in its buddy edit box
// between two bounds, set when the item is bound.
class VQWin32DialogItemUpDown : public VQWin32DialogItem {
public:
    VQWin32DialogItemUpDown(int controlId, int low, int high);

    bool OnInitDialog(VQWin32Window* owner, HWND dialog, VQWin32Window* notifyTarget) override;

    int low;
    int high;
};
