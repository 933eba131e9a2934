// A line of text with parts that act when clicked (a SysLink control): the
// owner gives the line as parts, each with the name it is called back with
// (an empty name: plain text). Tab reaches the parts, Enter acts on one.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "base/strings.h"
#include "win32/dialog_items.h"

struct VQWin32LinkPart {
    VQWString text;
    const wchar_t* name;  // null or empty: not a link
};

class VQWin32DialogItemLinkLine : public VQWin32DialogItem {
public:
    VQWin32DialogItemLinkLine(int controlId, std::function<void(const wchar_t* name)> onClick);

    bool OnInitDialog(VQWin32Window* owner, HWND dialog, VQWin32Window* notifyTarget) override;
    int MessageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    // The text without the control's markup.
    VQWString GetTextW(bool validate) override;

    // Repaints only when the line changed: it is set many times a second during a run.
    void SetParts(const std::vector<VQWin32LinkPart>& parts);

private:
    std::function<void(const wchar_t* name)> onClick;
    VQWString markup;
    VQWString plain;
};
