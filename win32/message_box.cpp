// MsgBox: the layouts, the box and its buttons, and the private loop.
#include "win32/message_box.h"

#include <cstring>
#include <utility>

#include "base/strings.h"
#include "win32/dpi.h"
#include "win32/monitor.h"
#include "win32/text_wrap.h"
#include "win32/ui_font.h"
#include "win32/window.h"

namespace {

const wchar_t kClassName[] = L"VQMsgBox";

VQMsgBoxCollector& Unattended() {
    static VQMsgBoxCollector collector;
    return collector;
}

struct MsgBoxLayout {
    int count;
    const wchar_t* const* labels;  // null: "ボタン%d"
    const int* ids;                // null: 1 ... count
    int closeResult;
};

const wchar_t* const kOkLabels[] = {L"OK"};
const int kOkIds[] = {IDOK};
const wchar_t* const kOkCancelLabels[] = {L"OK", L"ｷｬﾝｾﾙ"};
const int kOkCancelIds[] = {IDOK, IDCANCEL};
const wchar_t* const kYesNoLabels[] = {L"はい", L"いいえ"};
const int kYesNoIds[] = {IDYES, IDNO};
const wchar_t* const kYesNoCancelLabels[] = {L"はい", L"いいえ", L"ｷｬﾝｾﾙ"};
const int kYesNoCancelIds[] = {IDYES, IDNO, IDCANCEL};
const wchar_t* const kYesAllNoAllLabels[] = {L"はい", L"すべてはい", L"いいえ", L"すべていいえ", L"ｷｬﾝｾﾙ"};
const int kYesAllNoAllIds[] = {IDYES, kVQIdYesAll, IDNO, kVQIdNoAll, IDCANCEL};
const wchar_t* const kRetryCancelLabels[] = {L"再試行", L"ｷｬﾝｾﾙ"};
const int kRetryCancelIds[] = {IDRETRY, IDCANCEL};
const wchar_t* const kContinueAbortLabels[] = {L"継続", L"中止"};
const int kContinueAbortIds[] = {IDCONTINUE, IDABORT};
const wchar_t* const kAbortRetryIgnoreLabels[] = {L"中止", L"再試行", L"無視"};
const int kAbortRetryIgnoreIds[] = {IDABORT, IDRETRY, IDIGNORE};

// Indexed by layout code + 999.
const MsgBoxLayout kLayouts[] = {
    {1, kOkLabels, kOkIds, IDCANCEL},
    {2, kOkCancelLabels, kOkCancelIds, IDCANCEL},
    {2, kYesNoLabels, kYesNoIds, IDCANCEL},
    {3, kYesNoCancelLabels, kYesNoCancelIds, IDCANCEL},
    {5, kYesAllNoAllLabels, kYesAllNoAllIds, IDCANCEL},
    {2, kRetryCancelLabels, kRetryCancelIds, IDCANCEL},
    {2, kContinueAbortLabels, kContinueAbortIds, IDCANCEL},
    {3, kAbortRetryIgnoreLabels, kAbortRetryIgnoreIds, IDCANCEL},
};

struct VQMsgBoxButton {
    HWND handle;  // not owned: a child of the box
    WNDPROC previousProc;
    int id;
    int width;
};

// One call's state, on the caller's stack; the box and its buttons find it
// through their GWLP_USERDATA.
struct VQMsgBox {
    MsgBoxLayout layout;
    VQWin32Window* owner;       // borrowed, may be null
    VQWin32Window* mainWindow;  // borrowed: disabled while the box is up
    bool mainWasEnabled;        // and so must be enabled again
    const wchar_t* text;        // as given: what Ctrl+C copies
    VQWString shown;            // the text as drawn: wrapped to the box's width, perhaps cut short
    const wchar_t* caption;
    int focused;
    HFONT font;                // owned: deleted on WM_DESTROY (or replaced for a new DPI)
    VQMsgBoxButton* buttons;   // owned: GlobalAlloc, freed on WM_DESTROY
    RECT textRect;
    int result;
    UINT dpi;                  // the one the metrics and the font are for

    VQWString Label(int index) const {
        if (layout.labels) return layout.labels[index];
        return VQWString().Format(L"ボタン%d", index + 1);
    }
    int Id(int index) const { return layout.ids ? layout.ids[index] : index + 1; }

    void SetDefaultButton(int index) {
        if (!buttons || index >= layout.count) return;
        for (int i = 0; i < layout.count; ++i) {
            LONG_PTR style = GetWindowLongPtrW(buttons[i].handle, GWL_STYLE);
            LONG_PTR outline = BS_DEFPUSHBUTTON;
            LONG_PTR wanted = i == index ? (style | outline) : (style & ~outline);
            if (wanted != style) SetWindowLongPtrW(buttons[i].handle, GWL_STYLE, wanted);
        }
        if (index >= 0) SetFocus(buttons[index].handle);
    }

    void EnableMainAgain() {
        if (!mainWasEnabled) return;
        // Once only: a second answer must not count a second enable.
        mainWasEnabled = false;
        mainWindow->Enable(true, nullptr);
    }

    void Finish(HWND box, int answer) {
        EnableMainAgain();
        result = answer;
        DestroyWindow(box);
    }

    // The box as text, in the form of the system's message box: caption,
    // text and buttons between dashed lines.
    void CopyToClipboard(HWND box) const;

    void Lay(HWND box);
    // Font, text, buttons and the box's size for dpi; the box is centred on
    // its owner (kept on a monitor), or put at `place` when one is given.
    void Arrange(HWND box, UINT newDpi, const RECT* place);
};

VQMsgBox* RecordOf(HWND hwnd) { return reinterpret_cast<VQMsgBox*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

int Wrap(int index, int count) { return (index % count + count) % count; }

LRESULT CALLBACK ButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
    VQMsgBox* box = RecordOf(button);
    int self = -1;
    for (int i = 0; box && box->buttons && i < box->layout.count; ++i) {
        if (box->buttons[i].handle == button) self = i;
    }
    if (self < 0) return 0;
    const VQMsgBoxButton& entry = box->buttons[self];
    int count = box->layout.count;
    if (message == WM_KEYDOWN) {
        if ((wParam == 'C' || wParam == VK_INSERT) && GetKeyState(VK_CONTROL) < 0) {
            box->CopyToClipboard(GetParent(button));
            return 0;
        }
        if (wParam == VK_LEFT || wParam == VK_UP || wParam == VK_RIGHT || wParam == VK_DOWN) {
            int step = (wParam == VK_LEFT || wParam == VK_UP) ? -1 : 1;
            box->focused = Wrap(box->focused + step, count);
            box->SetDefaultButton(box->focused);
            return 0;
        }
    } else if (message == WM_CHAR) {
        HWND owner = GetParent(button);
        if (wParam == VK_RETURN) {
            PostMessageW(owner, WM_COMMAND, static_cast<WPARAM>(entry.id), reinterpret_cast<LPARAM>(button));
            return 0;
        }
        if (wParam == VK_ESCAPE && box->layout.closeResult >= 0) {
            PostMessageW(owner, WM_COMMAND, static_cast<WPARAM>(box->layout.closeResult), 0);
            return 0;
        }
        if (wParam == VK_TAB) {
            int step = GetKeyState(VK_SHIFT) < 0 ? -1 : 1;
            box->focused = Wrap(box->focused + step, count);
            box->SetDefaultButton(box->focused);
            return 0;
        }
    }
    return CallWindowProcW(entry.previousProc, button, message, wParam, lParam);
}

LRESULT CALLBACK BoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    VQMsgBox* box = RecordOf(hwnd);
    // Messages of CreateWindowExW come before the record is linked.
    if (!box) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        int saved = SaveDC(dc);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkMode(dc, TRANSPARENT);
        if (box->font) SelectObject(dc, box->font);
        DrawTextW(dc, box->shown.Text(), -1, &box->textRect, DT_NOCLIP | DT_EXPANDTABS | DT_NOPREFIX);
        RestoreDC(dc, saved);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_SETFOCUS:
        if (box->buttons) box->SetDefaultButton(box->focused);
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == 0) box->Finish(hwnd, LOWORD(wParam));
        return 0;
    case WM_CLOSE:
        box->Finish(hwnd, box->layout.closeResult);
        return 0;
    case WM_COPY:
        box->CopyToClipboard(hwnd);
        return 0;
    case WM_KEYDOWN:
        // A box without buttons has the focus itself.
        if ((wParam == 'C' || wParam == VK_INSERT) && GetKeyState(VK_CONTROL) < 0) box->CopyToClipboard(hwnd);
        return 0;
    case WM_DPICHANGED:
        // Moved to a monitor of another scale: lay out again for it, where
        // the system suggests. The first placement on the owner's monitor
        // already laid the box out for that scale: it stays where it was put.
        if (HIWORD(wParam) != box->dpi) box->Arrange(hwnd, HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_DESTROY:
        if (box->buttons) {
            for (int i = 0; i < box->layout.count; ++i) {
                VQMsgBoxButton& entry = box->buttons[i];
                if (!entry.handle) continue;
                SetWindowLongPtrW(entry.handle, GWLP_USERDATA, 0);
                if (entry.previousProc) {
                    SetWindowLongPtrW(entry.handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(entry.previousProc));
                }
            }
            GlobalFree(box->buttons);
            box->buttons = nullptr;
        }
        if (box->font) DeleteObject(box->font);
        box->font = nullptr;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        PostQuitMessage(box->result);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

SIZE MeasureText(HDC dc, const wchar_t* text) {
    RECT rect = {0, 0, 0, 0};
    // No width to wrap to: lines break only at line breaks. Messages quote
    // command lines: an "&" is a character, not the mark of an underline.
    DrawTextW(dc, text, -1, &rect, DT_CALCRECT | DT_NOCLIP | DT_EXPANDTABS | DT_NOPREFIX);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace

void VQMsgBox::Lay(HWND box) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    int count = layout.count;
    // Zero-filled, so a half-built table is still safe to tear down.
    buttons = static_cast<VQMsgBoxButton*>(GlobalAlloc(GPTR, sizeof(VQMsgBoxButton) * (count > 0 ? count : 1)));
    for (int i = 0; buttons && i < count; ++i) {
        VQMsgBoxButton& entry = buttons[i];
        entry.id = Id(i);
        // Placed and sized by Arrange.
        entry.handle = CreateWindowExW(0, L"BUTTON", Label(i).Text(), WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, box,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(entry.id)), module, nullptr);
        if (!entry.handle) continue;
        SetWindowLongPtrW(entry.handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        entry.previousProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(entry.handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ButtonProc)));
    }
    // The scale of the monitor the box will show on: its owner's.
    Arrange(box, VQWin32GetWindowDpi(owner && owner->handle ? owner->handle : box), nullptr);
    SetWindowTextW(box, caption);
    if (mainWasEnabled) mainWindow->Enable(false, nullptr);
}

void VQMsgBox::Arrange(HWND box, UINT newDpi, const RECT* place) {
    dpi = newDpi > 0 ? newDpi : kVQBaseDpi;
    // Points at the monitor's DPI: the metrics of a window laid out in pixels.
    int unit = MulDiv(9, dpi, 72);
    int buttonHeight = MulDiv(16, dpi, 72);
    int minButtonWidth = MulDiv(64, dpi, 72);
    HFONT previous = font;
    font = VQWin32CreateUiFont(dpi);
    HDC dc = GetDC(box);
    HGDIOBJ previousFont = font ? SelectObject(dc, font) : nullptr;

    // Where the box will stand: the suggested place, else centred on its
    // owner or on the screen. The work area of that monitor bounds it.
    RECT around;
    if (place) {
        around = *place;
    } else if (owner && owner->handle) {
        GetWindowRect(owner->handle, &around);
    } else {
        around = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    RECT work = WorkAreaOf(around);
    DWORD style = static_cast<DWORD>(GetWindowLongPtrW(box, GWL_STYLE));
    DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(box, GWL_EXSTYLE));
    RECT frameOnly = {0, 0, 0, 0};
    AdjustWindowRectEx(&frameOnly, style, FALSE, exStyle);
    int frameWidth = frameOnly.right - frameOnly.left;
    int frameHeight = frameOnly.bottom - frameOnly.top;
    // At most two thirds of the work area wide, and no taller than it.
    int maxTextWidth = (work.right - work.left) * 2 / 3 - frameWidth - 2 * unit;
    int maxTextHeight = (work.bottom - work.top) - frameHeight - 2 * unit - (layout.count > 0 ? unit + buttonHeight : 0);
    TEXTMETRICW metrics;
    int lineHeight = GetTextMetricsW(dc, &metrics) && metrics.tmHeight > 0 ? metrics.tmHeight : unit;
    int maxLines = maxTextHeight > lineHeight ? maxTextHeight / lineHeight : 1;
    shown = WrapTextToWidth(dc, text, maxTextWidth > unit ? maxTextWidth : unit, maxLines);

    SIZE textSize = MeasureText(dc, shown.Text());
    int textBlockWidth = textSize.cx + 2 * unit;
    int textBlockHeight = textSize.cy + 2 * unit;

    int count = layout.count;
    int rowWidth = unit;
    for (int i = 0; buttons && i < count; ++i) {
        int width = MeasureText(dc, Label(i).Text()).cx + 2 * unit;
        buttons[i].width = width > minButtonWidth ? width : minButtonWidth;
        rowWidth += buttons[i].width + unit;
    }
    if (previousFont) SelectObject(dc, previousFont);
    ReleaseDC(box, dc);

    int clientWidth = textBlockWidth > rowWidth ? textBlockWidth : rowWidth;
    int clientHeight = textBlockHeight + (count > 0 ? unit + buttonHeight : 0);
    textRect = RECT{unit, unit, unit + textSize.cx, unit + textSize.cy};

    int x = unit + (clientWidth - rowWidth) / 2;
    for (int i = 0; buttons && i < count; ++i) {
        VQMsgBoxButton& entry = buttons[i];
        if (entry.handle) {
            SetWindowPos(entry.handle, nullptr, x, textBlockHeight, entry.width, buttonHeight,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            SendMessageW(entry.handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        }
        x += entry.width + unit;
    }
    // The buttons no longer use the old font.
    if (previous) DeleteObject(previous);

    int width = clientWidth + frameWidth;
    int height = clientHeight + frameHeight;
    RECT placed;
    if (place) {
        placed = RECT{place->left, place->top, place->left + width, place->top + height};
    } else {
        placed.left = ((around.left + around.right) >> 1) - (width >> 1);
        placed.top = ((around.top + around.bottom) >> 1) - (height >> 1);
        placed.right = placed.left + width;
        placed.bottom = placed.top + height;
        FitRectToWorkArea(&placed);
    }
    SetWindowPos(box, nullptr, placed.left, placed.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(box, nullptr, TRUE);
}

void VQMsgBox::CopyToClipboard(HWND box) const {
    const wchar_t kRule[] = L"---------------------------\r\n";
    VQWString copy(kRule);
    copy.Append(caption);
    copy.Append(L"\r\n");
    copy.Append(kRule);
    // The text as given, its line breaks as the clipboard's text has them.
    for (const wchar_t* p = text; *p; ++p) {
        if (*p == L'\n' && (p == text || p[-1] != L'\r')) copy.Append(L'\r');
        copy.Append(*p);
    }
    copy.Append(L"\r\n");
    copy.Append(kRule);
    for (int i = 0; i < layout.count; ++i) {
        copy.Append(Label(i));
        copy.Append(L"   ");
    }
    copy.Append(L"\r\n");
    copy.Append(kRule);
    size_t bytes = (static_cast<size_t>(copy.GetLength()) + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    void* data = block ? GlobalLock(block) : nullptr;
    if (!data) {
        if (block) GlobalFree(block);
        return;
    }
    memcpy(data, copy.Text(), bytes);
    GlobalUnlock(block);
    if (!OpenClipboard(box)) {
        GlobalFree(block);
        return;
    }
    EmptyClipboard();
    // Once set, the block is the clipboard's.
    if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
    CloseClipboard();
}

void SetMsgBoxUnattended(VQMsgBoxCollector collector) { Unattended() = std::move(collector); }

int MsgBox(VQWin32Window* owner, const wchar_t* text, const wchar_t* caption, int layout, int defaultButton) {
    VQMsgBox box;
    if (layout >= 0) {
        box.layout = MsgBoxLayout{layout, nullptr, nullptr, 0};
    } else if (layout >= VQMB_OK && layout <= VQMB_ABORTRETRYIGNORE) {
        box.layout = kLayouts[layout - VQMB_OK];
    } else {
        return -1;
    }
    box.owner = owner;
    box.mainWindow = VQWin32GetMainWindow();
    box.mainWasEnabled = box.mainWindow && box.mainWindow->handle && IsWindowEnabled(box.mainWindow->handle);
    box.text = text ? text : L"";
    box.caption = caption ? caption : L"";
    box.focused = (defaultButton & 0x7fffffff) - 1;
    if (box.focused < 0 || box.focused >= box.layout.count) box.focused = 0;
    if (Unattended()) {
        int answer = box.layout.count <= 0 ? 0 : box.layout.ids ? box.layout.ids[box.focused] : box.focused + 1;
        Unattended()(box.text, box.caption, answer);
        return answer;
    }
    box.font = nullptr;
    box.buttons = nullptr;
    box.textRect = RECT{0, 0, 0, 0};
    box.result = -1;
    box.dpi = kVQBaseDpi;

    HINSTANCE module = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_BYTEALIGNCLIENT;
    wc.lpfnWndProc = BoxProc;
    wc.hInstance = module;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    // Registered for this call only, so a second box while one is open fails here.
    if (!RegisterClassExW(&wc)) return -1;

    HWND ownerHandle = owner ? owner->handle : nullptr;
    HWND hwnd = CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, kClassName, WS_POPUPWINDOW | WS_DLGFRAME, 0, 0, 0, 0,
                                ownerHandle, nullptr, module, nullptr);
    if (!hwnd) {
        UnregisterClassW(kClassName, module);
        return -1;
    }
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&box));
    box.Lay(hwnd);
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    if (defaultButton & kVQMsgBoxForeground) SetForegroundWindow(hwnd);

    HWND mainHandle = box.mainWindow && IsWindow(box.mainWindow->handle) ? box.mainWindow->handle : nullptr;
    MSG msg;
    msg.wParam = static_cast<WPARAM>(-1);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    int result = static_cast<int>(msg.wParam);
    if (IsWindow(hwnd)) {
        // Someone else asked the thread to quit while the box was up: close
        // the box (its record lives on this stack), take the quit that its
        // destruction posts, and pass the other one on to the outer loop.
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        MSG own;
        PeekMessageW(&own, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        PostQuitMessage(result);
        result = box.result;
    } else if (mainHandle && !IsWindow(mainHandle)) {
        // The main window was destroyed under the box (closed from outside)
        // and took the box with it: the one quit this loop took is the main
        // window's as much as the box's, and the application loop needs it.
        PostQuitMessage(result);
        result = box.result;
    }
    UnregisterClassW(kClassName, module);
    return result;
}
