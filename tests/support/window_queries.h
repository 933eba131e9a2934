// What a test can read off real windows: texts, class names, places and
// sizes, and the window a modal loop of the test's own thread (or of another
// process) is showing.
#pragma once

#include <windows.h>

#include <string>

inline std::wstring WindowText(HWND hwnd) {
    wchar_t buffer[1024] = {0};
    GetWindowTextW(hwnd, buffer, 1024);
    return buffer;
}

inline std::wstring ClassName(HWND hwnd) {
    wchar_t buffer[256] = {0};
    GetClassNameW(hwnd, buffer, 256);
    return buffer;
}

inline POINT ClientOrigin(HWND hwnd) {
    POINT origin = {0, 0};
    ClientToScreen(hwnd, &origin);
    return origin;
}

inline SIZE ClientSize(HWND hwnd) {
    RECT rect;
    GetClientRect(hwnd, &rect);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

// A control's rectangle in its parent's client coordinates.
inline RECT RectInParent(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The first visible window of this thread with the class name, or null:
// the dialog a modal loop of the test's own thread is showing.
inline HWND FindThreadWindow(const wchar_t* className) {
    struct Search {
        const wchar_t* className;
        HWND found;
        static BOOL CALLBACK Visit(HWND hwnd, LPARAM param) {
            auto* search = reinterpret_cast<Search*>(param);
            if (ClassName(hwnd) != search->className || !IsWindowVisible(hwnd)) return TRUE;
            search->found = hwnd;
            return FALSE;
        }
    } search = {className, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), Search::Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The first visible top-level window of a process with the class name (and
// the caption, when one is given), or null.
inline HWND FindProcessWindow(DWORD processId, const wchar_t* className, const wchar_t* caption = nullptr) {
    struct Search {
        DWORD processId;
        const wchar_t* className;
        const wchar_t* caption;
        HWND found;
        static BOOL CALLBACK Visit(HWND hwnd, LPARAM param) {
            auto* search = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner != search->processId || !IsWindowVisible(hwnd)) return TRUE;
            if (ClassName(hwnd) != search->className) return TRUE;
            if (search->caption && WindowText(hwnd) != search->caption) return TRUE;
            search->found = hwnd;
            return FALSE;
        }
    } search = {processId, className, caption, nullptr};
    EnumWindows(Search::Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
