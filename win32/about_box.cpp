// The about box: VQWin32StandardWindow::DialogBox and FillAboutBox, the
// box's dialog procedure, and VQWin32VersionInfo.
#include "win32/about_box.h"

#include <cstring>
#include <cwchar>

#include "win32/dpi.h"
#include "win32/standard_window.h"
#include "win32/ui_font.h"

namespace {

// The static texts to fill; one about box is open at a time.
struct AboutBoxIds {
    int description;
    int version;
    int legalNotice;
};
AboutBoxIds g_aboutIds = {0, 0, 0};
// The box's icon when it was made for the monitor's scale; destroyed with the box.
HICON g_scaledIcon = nullptr;

// The static icons of the box at the size for its monitor's scale (32 px at
// 96 DPI), taken from the icon's resource again rather than stretched.
void ScaleIcons(HWND dialog) {
    int size = VQWin32ScaleToDpi(32, VQWin32GetWindowDpi(dialog));
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
        HICON icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        ICONINFO info;
        if (!icon || !GetIconInfo(icon, &info)) continue;
        BITMAP bitmap = {};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        if (bitmap.bmWidth == size || g_scaledIcon) continue;
        HICON scaled = static_cast<HICON>(CopyImage(icon, IMAGE_ICON, size, size, LR_COPYFROMRESOURCE));
        if (!scaled) continue;
        g_scaledIcon = scaled;
        SendMessageW(child, STM_SETICON, reinterpret_cast<WPARAM>(scaled), 0);
    }
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        HWND owner = GetParent(dialog);
        if (!owner) return 1;
        RECT ownerRect, box;
        GetWindowRect(owner, &ownerRect);
        GetWindowRect(dialog, &box);
        int x = (ownerRect.left + ownerRect.right) / 2 - (box.right - box.left) / 2;
        int y = (ownerRect.top + ownerRect.bottom) / 2 - (box.bottom - box.top) / 2;
        SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (auto* window = dynamic_cast<VQWin32StandardWindow*>(VQWin32Window::FromHandle(owner))) {
            window->FillAboutBox(dialog);
        }
        // Texts and controls scale with the dialog's font; the icon is in pixels.
        ScaleIcons(dialog);
        // The system disables only the box's owner; the main window's other
        // popups must not take input while the box is up.
        if (VQWin32Window* main = VQWin32GetMainWindow()) main->EnableOwned(false, nullptr);
        return 1;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
        return 1;
    case WM_DESTROY:
        if (VQWin32Window* main = VQWin32GetMainWindow()) main->EnableOwned(true, nullptr);
        if (g_scaledIcon) DestroyIcon(g_scaledIcon);
        g_scaledIcon = nullptr;
        return 1;
    default:
        return 0;
    }
}

}  // namespace

int VQWin32StandardWindow::DialogBox(int templateId, int descriptionId, int versionId, int legalNoticeId) {
    g_aboutIds = {descriptionId, versionId, legalNoticeId};
    // In the font the rest of the program shows Japanese with.
    std::vector<DWORD> withUiFont = VQWin32DialogWithUiFont(instance, templateId);
    if (withUiFont.empty()) {
        return static_cast<int>(DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), handle, AboutProc, 0));
    }
    return static_cast<int>(DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(withUiFont.data()),
                                                    handle, AboutProc, 0));
}

void VQWin32StandardWindow::FillAboutBox(HWND dialog) {
    VQWin32VersionInfo info;
    if (!info.Load()) return;
    const struct {
        int id;
        const wchar_t* name;
    } fields[] = {
        {g_aboutIds.description, L"FileDescription"},
        {g_aboutIds.version, L"FileVersion"},
        {g_aboutIds.legalNotice, L"LegalCopyright"},
    };
    for (const auto& field : fields) {
        if (field.id == 0) continue;
        // Wide all the way: the ANSI functions would turn every character
        // outside the system's code page into "?".
        VQWString text = info.QueryW(field.name);
        HWND control = GetDlgItem(dialog, field.id);
        if (text.IsEmpty() || !control) continue;
        if (field.id == g_aboutIds.version) text = VQWString().Format(L"Version %s", text.Text());
        SetWindowTextW(control, text.Text());
    }
}

VQWin32VersionInfo::VQWin32VersionInfo() : block(nullptr), fixedInfo(nullptr), blockSize(0) {}

VQWin32VersionInfo::~VQWin32VersionInfo() { Free(); }

void VQWin32VersionInfo::Free() {
    if (block) GlobalFree(block);
    block = nullptr;
    blockSize = 0;
    fixedInfo = nullptr;
}

bool VQWin32VersionInfo::Load() {
    Free();
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    DWORD unused = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &unused);
    if (size == 0) return false;
    // GMEM_FIXED: the handle is the block's address.
    block = GlobalAlloc(GMEM_ZEROINIT, size);
    if (!block) return false;
    blockSize = size;
    void* translation = nullptr;
    UINT translationBytes = 0;
    void* fixed = nullptr;
    UINT fixedBytes = 0;
    if (!GetFileVersionInfoW(path, 0, size, block) || !VerQueryValueW(block, L"\\", &fixed, &fixedBytes) ||
        !VerQueryValueW(block, L"\\VarFileInfo\\Translation", &translation, &translationBytes) ||
        translationBytes < 2 * sizeof(WORD)) {
        Free();
        return false;
    }
    fixedInfo = static_cast<VS_FIXEDFILEINFO*>(fixed);
    const WORD* pair = static_cast<const WORD*>(translation);
    translationKey = VQString().Format("%04x%04x", pair[0], pair[1]);
    return true;
}

VQWString VQWin32VersionInfo::QueryW(const wchar_t* name) {
    VQWString result;
    if (!block) return result;
    VQWString key = VQWString::FromAnsi(translationKey.Text(), translationKey.GetLength());
    VQWString path = VQWString().Format(L"\\StringFileInfo\\%s\\%s", key.Text(), name);
    void* value = nullptr;
    UINT reported = 0;
    if (!VerQueryValueW(block, path.Text(), &value, &reported) || !value) return result;
    // The reported size may count the terminator or not; the string ends at
    // its NUL, inside the block.
    const wchar_t* text = static_cast<const wchar_t*>(value);
    size_t room = (static_cast<const char*>(block) + blockSize - static_cast<const char*>(value)) / sizeof(wchar_t);
    int n = static_cast<int>(wcsnlen(text, room));
    result.SetLength(n);
    if (n > 0) wmemcpy(result.GetData(), text, n);
    return result;
}

VQString VQWin32VersionInfo::Query(const char* name) {
    VQString result;
    if (!name) return result;
    VQWString wideName = VQWString::FromAnsi(name, static_cast<int>(strlen(name)));
    VQWString text = QueryW(wideName.Text());
    if (text.IsEmpty()) return result;
    int n = WideCharToMultiByte(CP_ACP, 0, text.Text(), text.GetLength(), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return result;
    result.SetLength(n);
    WideCharToMultiByte(CP_ACP, 0, text.Text(), text.GetLength(), result.GetData(), n, nullptr, nullptr);
    return result;
}
