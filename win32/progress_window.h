// VQWin32ProgressWindow: what a long piece of work on the window thread shows
// once it has taken more than a moment: a line of what it is doing and a
// キャンセル button. The work calls Step now and then; Step keeps every
// window painted and answering (it dispatches the queue's messages) and says
// whether to go on. While the window is up, the main window takes no input,
// so the work's own state cannot change under it.
#pragma once

#include <windows.h>

#include "base/strings.h"

class VQWin32ProgressWindow {
public:
    // How long work runs before the window appears, and how often Step then
    // looks at the messages; tests set both to 0.
    static DWORD showAfterMs;
    static DWORD lookEveryMs;
    // Told of each window as it appears; tests answer it from here.
    static void (*onShown)(HWND window);

    // owner: the window it belongs to (may be null); font: borrowed, for its
    // text and button (null: the system's).
    VQWin32ProgressWindow(HWND owner, const wchar_t* caption, HFONT font);
    VQWin32ProgressWindow(const VQWin32ProgressWindow&) = delete;
    VQWin32ProgressWindow& operator=(const VQWin32ProgressWindow&) = delete;
    // Closes the window and gives the owner back its input.
    ~VQWin32ProgressWindow();

    // Cheap enough to call for every item: it looks at the clock, and only
    // every few dozen milliseconds shows `text` and handles messages. False
    // once the user cancelled (the button, Escape or the close box), or a
    // WM_QUIT came (it is posted again for the real loop).
    bool Step(const wchar_t* text);
    // The same with the text made only when it is shown.
    template <class MakeText>
    bool StepWith(MakeText makeText) {
        if (cancelled) return false;
        if (GetTickCount() - lastLook < lookEveryMs) return true;
        return Step(makeText().Text());
    }
    bool Cancelled() const { return cancelled; }
    // The window, once shown (for tests); null before.
    HWND GetHandle() const { return handle; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Show();

    HWND owner;    // borrowed
    HFONT font;    // borrowed
    VQWString caption;
    HWND handle;   // owned: destroyed by the destructor
    HWND text;     // a child of handle
    HWND button;   // a child of handle
    bool ownerDisabled;
    bool cancelled;
    DWORD started;
    DWORD lastLook;
};
