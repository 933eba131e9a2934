// VQWin32DialogWindow: creation of the frame and its hosted dialog, the
// items it owns, modal behaviour, closing and destruction.
#include "win32/dialog_window.h"

#include "base/log.h"
#include "win32/dpi.h"
#include "win32/log_lines.h"
#include "win32/ui_font.h"

namespace {

INT_PTR CALLBACK HostedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* window = dynamic_cast<VQWin32DialogWindow*>(VQWin32Window::FromHandle(GetParent(dialog)));
    if (!window) return 1;
    return window->DialogProc(dialog, message, wParam, lParam);
}

}  // namespace

VQWin32DialogWindowCreateInfo::VQWin32DialogWindowCreateInfo(std::initializer_list<VQWin32DialogItem*> list)
    : templateId(129), modal(false), resizable(false), focusFirstTabStop(false), position(-1),
      positionReference(nullptr), uiFont(false) {
    style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    exStyle = WS_EX_DLGMODALFRAME;
    for (VQWin32DialogItem* item : list) items.Add(item);
}

VQWin32DialogWindowCreateInfo::~VQWin32DialogWindowCreateInfo() {
    for (int i = 0; i < items.GetCount(); ++i) delete items[i];
    items.RemoveAll();
}

VQWin32DialogWindow::VQWin32DialogWindow(HINSTANCE instance)
    : VQWin32StandardWindow(instance),
      dialogHandle(nullptr),
      resizable(0),
      focusFirstTabStop(0),
      dialogWidth(0),
      dialogHeight(0),
      modal(0),
      ownerWasEnabled(0),
      exitCode(0),
      relayoutInProgress(0),
      savedFocus(nullptr) {}

VQWin32DialogWindow::~VQWin32DialogWindow() {
    // The controls that used them are gone with the window by now.
    for (int i = 0; i < scaledFonts.GetCount(); ++i) DeleteObject(scaledFonts[i]);
    scaledFonts.RemoveAll();
}

bool VQWin32DialogWindow::IsModal() { return modal != 0; }

bool VQWin32DialogWindow::PreCreate(VQWin32WindowCreateInfo* base) {
    auto* info = dynamic_cast<VQWin32DialogWindowCreateInfo*>(base);
    if (!info) {
        vqLog.Write(kLogDialogPreCreateNoInfo);
        return false;
    }
    info->style &= info->resizable ? ~static_cast<DWORD>(WS_MAXIMIZEBOX)
                                   : ~static_cast<DWORD>(WS_THICKFRAME | WS_MAXIMIZEBOX);
    resizable = info->resizable ? 1 : 0;
    focusFirstTabStop = info->focusFirstTabStop ? 1 : 0;
    // The dialog paints the whole client area.
    info->background = nullptr;
    if (!VQWin32Window::PreCreate(info)) return false;
    ReadPlacement(info);
    return true;
}

bool VQWin32DialogWindow::PostCreate(VQWin32WindowCreateInfo* base) {
    auto* info = dynamic_cast<VQWin32DialogWindowCreateInfo*>(base);
    if (!info) {
        vqLog.Write(kLogDialogPostCreateNoInfo);
        return false;
    }
    VQWin32StandardWindow::PostCreate(info);
    // The wide variant: controls of an ANSI dialog would keep their text in
    // the ANSI code page and lose every character outside it.
    std::vector<DWORD> withUiFont;
    if (info->uiFont) withUiFont = VQWin32DialogWithUiFont(instance, info->templateId);
    dialogHandle = withUiFont.empty()
                       ? CreateDialogParamW(instance, MAKEINTRESOURCEW(info->templateId), handle, HostedDialogProc, 0)
                       : CreateDialogIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(withUiFont.data()),
                                                    handle, HostedDialogProc, 0);
    if (!dialogHandle) {
        vqLog.Write(kLogDialogCreateFailed, info->templateId);
        return false;
    }
    VQWin32TakeOverDialogScaling(dialogHandle);
    if (VQWin32Window* main = VQWin32GetMainWindow()) main->dialogWindows.Add(this);

    for (int i = 0; i < info->items.GetCount(); ++i) {
        VQWin32DialogItem* item = info->items[i];
        if (!item) continue;
        info->items[i] = nullptr;
        items.Add(item);
        if (!item->OnInitDialog(this, dialogHandle, nullptr)) return false;
    }
    for (int i = 0; i < items.GetCount(); ++i) {
        if (!items[i]->OnDialogReady()) return false;
    }

    RECT dialogClient;
    GetClientRect(dialogHandle, &dialogClient);
    dialogWidth = dialogClient.right - dialogClient.left;
    dialogHeight = dialogClient.bottom - dialogClient.top;
    if (placementRestored && !resizable) {
        // Known only now: a fixed frame's saved place had its caption checked
        // for another width.
        const RECT& saved = info->rect;
        if (saved.right - saved.left < dialogWidth || saved.bottom - saved.top < dialogHeight) MoveToDefaultPlace();
    }
    if (resizable) {
        SetSizeLimits(dialogWidth, dialogHeight, -1, -1, 0, 0);
        // The default place, or one saved when the dialog was smaller, keeps
        // its corner and grows to the dialog's size: never a cut panel.
        GrowFrameToDialog();
    } else {
        FitFrameToDialog();
    }
    PlaceWindow(info);

    modal = info->modal ? 1 : 0;
    if (modal && parent && parent->handle && IsWindowEnabled(parent->handle)) {
        ownerWasEnabled = 1;
        parent->Enable(false, this);
    }
    // A resizable frame may open larger than its dialog (a saved placement):
    // the dialog and its items follow at once, not only at the first resize.
    if (resizable) Relayout();
    return true;
}

void VQWin32DialogWindow::FitFrameToDialog() {
    // The frame keeps its top-left corner; its client area takes the size of
    // the dialog's window rectangle.
    RECT frame, dialog, client;
    GetWindowRect(handle, &frame);
    GetWindowRect(dialogHandle, &dialog);
    GetClientRect(handle, &client);
    int width = (frame.right - frame.left) + (dialog.right - dialog.left) - (client.right - client.left);
    int height = (frame.bottom - frame.top) + (dialog.bottom - dialog.top) - (client.bottom - client.top);
    SetWindowPos(handle, nullptr, frame.left, frame.top, width, height, SWP_NOZORDER);
}

void VQWin32DialogWindow::GrowFrameToDialog() {
    RECT frame, client;
    GetWindowRect(handle, &frame);
    GetClientRect(handle, &client);
    int growX = dialogWidth - (client.right - client.left);
    int growY = dialogHeight - (client.bottom - client.top);
    if (growX <= 0 && growY <= 0) return;
    int width = (frame.right - frame.left) + (growX > 0 ? growX : 0);
    int height = (frame.bottom - frame.top) + (growY > 0 ? growY : 0);
    SetWindowPos(handle, nullptr, frame.left, frame.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void VQWin32DialogWindow::PlaceWindow(const VQWin32DialogWindowCreateInfo* info) {
    if (info->position < 0 || info->position > 8) return;
    HWND reference = info->positionReference;
    if (!reference) reference = parent ? parent->handle : info->parentHandle;
    if (!reference) reference = GetDesktopWindow();
    POINT origin = {0, 0};
    ClientToScreen(reference, &origin);
    RECT area, frame;
    GetClientRect(reference, &area);
    GetWindowRect(handle, &frame);
    int spareX = (area.right - area.left) - (frame.right - frame.left);
    int spareY = (area.bottom - area.top) - (frame.bottom - frame.top);
    int column = info->position % 3;
    int row = info->position / 3;
    int x = origin.x + (column == 0 ? 0 : column == 1 ? spareX / 2 : spareX);
    int y = origin.y + (row == 0 ? 0 : row == 1 ? spareY / 2 : spareY);
    SetWindowPos(handle, nullptr, x, y, 0, 0, SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOSIZE);
}

void VQWin32DialogWindow::MoveToDefaultPlace() {
    placementRestored = 0;
    // frameOffsets turn the client rectangle into the frame's, as at creation.
    RECT outer = {defaultRect.left + frameOffsets.left, defaultRect.top + frameOffsets.top,
                  defaultRect.right + frameOffsets.right, defaultRect.bottom + frameOffsets.bottom};
    SetWindowPos(handle, nullptr, outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void VQWin32DialogWindow::EnableOwner() {
    // Once only: a second call would count the owner up twice.
    if (!ownerWasEnabled) return;
    ownerWasEnabled = 0;
    if (parent) parent->Enable(true, this);
}

bool VQWin32DialogWindow::CanClose() {
    EnableOwner();
    return true;
}

int VQWin32DialogWindow::OnDestroy(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    if (!modal) return VQWin32StandardWindow::OnDestroy(hwnd, wParam, lParam);
    OnDestroyed();
    PostQuitMessage(exitCode);
    return 0;
}

void VQWin32DialogWindow::OnDestroyed() {
    for (int i = 0; i < items.GetCount(); ++i) {
        items[i]->Unsubclass();
        delete items[i];
    }
    items.RemoveAll();
    if (VQWin32Window* main = VQWin32GetMainWindow()) {
        int index = main->dialogWindows.Find(this);
        if (index >= 0) main->dialogWindows.RemoveAt(index);
    }
    // A modal window destroyed without Close still gives its owner back.
    EnableOwner();
    VQWin32StandardWindow::OnDestroyed();
}

HWND VQWin32DialogWindow::GetDialogHandle() { return dialogHandle; }

int VQWin32DialogWindow::EnableItems(bool enable) {
    for (int i = 0; i < items.GetCount(); ++i) items[i]->Enable(enable);
    return items.GetCount();
}

int VQWin32DialogWindow::ToggleItems() {
    for (int i = 0; i < items.GetCount(); ++i) items[i]->Enable(!items[i]->IsEnabled());
    return items.GetCount();
}

VQArray<VQWin32DialogItem*, VQWin32DialogItem*>* VQWin32DialogWindow::GetItems() { return &items; }

VQWin32DialogItem* VQWin32DialogWindow::FindItemByHandle(HWND control) {
    for (int i = 0; i < items.GetCount(); ++i) {
        if (items[i]->IsHandle(control)) return items[i];
    }
    return nullptr;
}

VQWin32DialogItem* VQWin32DialogWindow::FindItemById(int controlId) {
    int index = IndexOfItem(controlId);
    return index >= 0 ? items[index] : nullptr;
}

int VQWin32DialogWindow::IndexOfItem(int controlId) {
    for (int i = 0; i < items.GetCount(); ++i) {
        if (items[i]->IsId(controlId)) return i;
    }
    return -1;
}

VQWin32DialogItem* VQWin32DialogWindow::ItemAt(int index) {
    if (index < 0 || index >= items.GetCount()) return nullptr;
    return items[index];
}

bool VQWin32DialogWindow::WantsDialogKeys(int) { return modal != 0; }

namespace {

RECT ScaleRect(const RECT& rect, UINT from, UINT to) {
    int f = static_cast<int>(from), t = static_cast<int>(to);
    return RECT{MulDiv(rect.left, t, f), MulDiv(rect.top, t, f), MulDiv(rect.right, t, f), MulDiv(rect.bottom, t, f)};
}

int ScaleLimit(int value, UINT from, UINT to) {
    return value > 0 ? MulDiv(value, static_cast<int>(to), static_cast<int>(from)) : value;
}

}  // namespace

void VQWin32DialogWindow::ScaleControls(UINT fromDpi, UINT toDpi) {
    // One new font for each font in use, its height scaled; the controls
    // that shared one share the new one.
    VQArray<HFONT, HFONT> oldFonts, newFonts;
    for (HWND control = GetWindow(dialogHandle, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        RECT rect;
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, dialogHandle, reinterpret_cast<POINT*>(&rect), 2);
        RECT scaled = ScaleRect(rect, fromDpi, toDpi);
        SetWindowPos(control, nullptr, scaled.left, scaled.top, scaled.right - scaled.left, scaled.bottom - scaled.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
        if (!font) continue;
        int known = oldFonts.Find(font);
        if (known < 0) {
            LOGFONTW description;
            if (!GetObjectW(font, sizeof description, &description)) continue;
            description.lfHeight = MulDiv(description.lfHeight, static_cast<int>(toDpi), static_cast<int>(fromDpi));
            description.lfWidth = MulDiv(description.lfWidth, static_cast<int>(toDpi), static_cast<int>(fromDpi));
            HFONT made = CreateFontIndirectW(&description);
            if (!made) continue;
            oldFonts.Add(font);
            newFonts.Add(made);
            known = oldFonts.GetCount() - 1;
        }
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(newFonts[known]), TRUE);
    }
    // Fonts made for the scale before and replaced everywhere are used by
    // nothing now; one that could not be replaced stays with its controls.
    for (int i = 0; i < scaledFonts.GetCount(); ++i) {
        if (oldFonts.Find(scaledFonts[i]) >= 0) {
            DeleteObject(scaledFonts[i]);
        } else {
            newFonts.Add(scaledFonts[i]);
        }
    }
    scaledFonts.RemoveAll();
    for (int i = 0; i < newFonts.GetCount(); ++i) scaledFonts.Add(newFonts[i]);
}

void VQWin32DialogWindow::OnDpiChanged(UINT newDpi, const RECT* suggested) {
    UINT oldDpi = dpi;
    if (!dialogHandle || oldDpi == 0 || newDpi == 0 || newDpi == oldDpi) {
        VQWin32StandardWindow::OnDpiChanged(newDpi, suggested);
        return;
    }
    ScaleControls(oldDpi, newDpi);
    for (int i = 0; i < items.GetCount(); ++i) {
        items[i]->initialRect = ScaleRect(items[i]->initialRect, oldDpi, newDpi);
        items[i]->currentRect = ScaleRect(items[i]->currentRect, oldDpi, newDpi);
    }
    dialogWidth = ScaleLimit(dialogWidth, oldDpi, newDpi);
    dialogHeight = ScaleLimit(dialogHeight, oldDpi, newDpi);
    SetSizeLimits(ScaleLimit(minWidth, oldDpi, newDpi), ScaleLimit(minHeight, oldDpi, newDpi),
                  ScaleLimit(maxWidth, oldDpi, newDpi), ScaleLimit(maxHeight, oldDpi, newDpi),
                  ScaleLimit(widthStep, oldDpi, newDpi), ScaleLimit(heightStep, oldDpi, newDpi));
    RECT dialog;
    GetClientRect(dialogHandle, &dialog);
    RECT scaled = ScaleRect(dialog, oldDpi, newDpi);
    SetWindowPos(dialogHandle, nullptr, 0, 0, scaled.right, scaled.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The frame takes the suggested place; a resizable one lays the dialog
    // out again from the scaled reference as it is resized.
    VQWin32StandardWindow::OnDpiChanged(newDpi, suggested);
    if (!resizable) FitFrameToDialog();
}
