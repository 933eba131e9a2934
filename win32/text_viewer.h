// A resizable top-level window that shows a text read-only in a fixed-pitch
// font, selectable and copyable, with a button that asks for the text
// afresh. Escape closes it; it can stay open beside its owner.
#pragma once

#include <windows.h>

#include <functional>

#include "base/strings.h"

class VQWin32TextViewer {
public:
    VQWin32TextViewer();
    ~VQWin32TextViewer();
    VQWin32TextViewer(const VQWin32TextViewer&) = delete;
    VQWin32TextViewer& operator=(const VQWin32TextViewer&) = delete;

    // Opens the window (or brings it forward) with this caption and text;
    // refresh gives the text again when the button is pressed.
    bool Show(HWND owner, const VQWString& caption, const VQWString& text,
              std::function<VQWString()> refresh, const wchar_t* refreshLabel);
    void SetText(const VQWString& text);
    VQWString GetText() const;
    bool IsOpen() const { return window != nullptr; }
    void Close();
    HWND Handle() const { return window; }
    HWND TextHandle() const { return edit; }
    HWND RefreshButton() const { return button; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Layout();

    HWND window = nullptr;  // owned: destroyed by Close or when the user closes it
    HWND edit = nullptr;    // borrowed: a child of window
    HWND button = nullptr;  // borrowed: a child of window
    HFONT font = nullptr;   // owned: the fixed-pitch font, deleted with the window
    HFONT uiFont = nullptr; // owned: the button's font
    WNDPROC editProc = nullptr;
    std::function<VQWString()> refresh;
};
