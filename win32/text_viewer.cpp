#include "win32/text_viewer.h"

#include "win32/dpi.h"

namespace {

const wchar_t kClassName[] = L"QuenbrixTextViewer";
const int kRefreshId = 1;

bool RegisterViewerClass(WNDPROC proc) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(GetModuleHandleW(nullptr), kClassName, &wc)) return true;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = GetSysColorBrush(COLOR_3DFACE);
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc) != 0;
}

}  // namespace

VQWin32TextViewer::VQWin32TextViewer() = default;

VQWin32TextViewer::~VQWin32TextViewer() { Close(); }

bool VQWin32TextViewer::Show(HWND owner, const VQWString& caption, const VQWString& text,
                             std::function<VQWString()> again, const wchar_t* refreshLabel) {
    refresh = std::move(again);
    if (!window) {
        if (!RegisterViewerClass(WindowProc)) return false;
        UINT dpi = VQWin32GetWindowDpi(owner);
        window = CreateWindowExW(0, kClassName, caption.Text(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                 CW_USEDEFAULT, VQWin32ScaleToDpi(720, dpi), VQWin32ScaleToDpi(480, dpi), owner,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!window) return false;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | ES_MULTILINE |
                                   ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL,
                               0, 0, 0, 0, window, nullptr, GetModuleHandleW(nullptr), nullptr);
        button = CreateWindowExW(0, L"BUTTON", refreshLabel, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0,
                                 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kRefreshId)),
                                 GetModuleHandleW(nullptr), nullptr);
        // Columns of a converter's output stay aligned.
        int height = -VQWin32ScaleToDpi(13, dpi);
        font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"MS Gothic");
        NONCLIENTMETRICSW metrics = {};
        metrics.cbSize = sizeof metrics;
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
            uiFont = CreateFontIndirectW(&metrics.lfMessageFont);
        }
        if (font) SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (uiFont) SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(uiFont), FALSE);
        SetWindowLongPtrW(edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        editProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
        Layout();
        ShowWindow(window, SW_SHOWNORMAL);
    }
    SetWindowTextW(window, caption.Text());
    SetText(text);
    SetForegroundWindow(window);
    SetFocus(edit);
    return true;
}

void VQWin32TextViewer::SetText(const VQWString& text) {
    if (!edit) return;
    // An edit box breaks lines at CR LF only.
    VQWString lines = text;
    lines.ReplaceLineBreaks(VQWString(L"\r\n"));
    SetWindowTextW(edit, lines.Text());
}

VQWString VQWin32TextViewer::GetText() const {
    if (!edit) return VQWString();
    int length = GetWindowTextLengthW(edit);
    VQWString text;
    if (!text.SetLength(length)) return VQWString();
    GetWindowTextW(edit, text.GetData(), length + 1);
    text.SetLength(static_cast<int>(wcslen(text.Text())));
    return text;
}

void VQWin32TextViewer::Close() {
    if (window) DestroyWindow(window);
}

void VQWin32TextViewer::Layout() {
    if (!window) return;
    RECT client;
    GetClientRect(window, &client);
    UINT dpi = VQWin32GetWindowDpi(window);
    int margin = VQWin32ScaleToDpi(6, dpi), buttonHeight = VQWin32ScaleToDpi(24, dpi),
        buttonWidth = VQWin32ScaleToDpi(88, dpi);
    MoveWindow(button, client.right - margin - buttonWidth, client.bottom - margin - buttonHeight, buttonWidth,
               buttonHeight, TRUE);
    MoveWindow(edit, margin, margin, client.right - 2 * margin, client.bottom - 3 * margin - buttonHeight, TRUE);
}

LRESULT CALLBACK VQWin32TextViewer::EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<VQWin32TextViewer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
        self->Close();
        return 0;
    }
    // Ctrl+A selects the whole text, as in every viewer.
    if (message == WM_KEYDOWN && wParam == 'A' && GetKeyState(VK_CONTROL) < 0) {
        CallWindowProcW(self->editProc, hwnd, EM_SETSEL, 0, -1);
        return 0;
    }
    if (message == WM_CHAR && wParam == 1) return 0;
    return CallWindowProcW(self->editProc, hwnd, message, wParam, lParam);
}

LRESULT CALLBACK VQWin32TextViewer::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<VQWin32TextViewer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_SIZE: self->Layout(); return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kRefreshId && self->refresh) self->SetText(self->refresh());
        if (LOWORD(wParam) == IDCANCEL) self->Close();
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && self->edit) SetFocus(self->edit);
        return 0;
    case WM_NCDESTROY:
        if (self->font) DeleteObject(self->font);
        if (self->uiFont) DeleteObject(self->uiFont);
        self->font = self->uiFont = nullptr;
        self->window = self->edit = self->button = nullptr;
        return 0;
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}
