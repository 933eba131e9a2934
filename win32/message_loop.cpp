// VQWin32Window: the application's message loop, the routing of keys to
// dialogs, idle processing, and the registrations the loop consults.
#include "win32/window.h"

#include "win32/dialog_window.h"

namespace {

void ProcessLoopMessage(VQWin32Window* loop, MSG* msg) {
    // Accelerators come first: IsDialogMessageW swallows every message for a
    // dialog's controls, so a table consulted after it would never fire
    // while the focus is in the main panel.
    if (loop->accelerators && loop->acceleratorsEnabled &&
        TranslateAcceleratorW(loop->handle, loop->accelerators, msg)) {
        return;
    }
    if (loop->RouteDialogMessage(msg)) return;
    TranslateMessage(msg);
    DispatchMessageW(msg);
}

}  // namespace

int VQWin32Window::Run(WPARAM) {
    MSG msg = {};
    if (!idleLoop) {
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) ProcessLoopMessage(this, &msg);
        return static_cast<int>(msg.wParam);
    }
    for (;;) {
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ProcessLoopMessage(this, &msg);
            if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
            continue;
        }
        DWORD tick = GetTickCount();
        for (int i = 0; i < idleProcs.GetCount(); ++i) {
            if (idleProcs[i].proc) idleProcs[i].proc(idleProcs[i].userData, tick);
        }
        OnIdle(tick);
    }
}

void VQWin32Window::OnIdle(DWORD) { Sleep(50); }

bool VQWin32Window::RouteDialogMessage(MSG* msg) {
    // The dialog windows are listed on the main window; a nested loop run by
    // another window (a modal one) consults the same list.
    VQWin32Window* main = VQWin32GetMainWindow();
    VQArray<VQWin32Window*, VQWin32Window*>& dialogs = main ? main->dialogWindows : dialogWindows;
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE)) {
        // Enter and Escape reach the dialog manager only in a window that
        // wants them (a modal one); a modeless panel gets them as plain keys.
        HWND root = GetAncestor(msg->hwnd, GA_ROOT);
        if (!root) return false;
        VQWin32DialogWindow* owner = nullptr;
        for (int i = 0; i < dialogs.GetCount() && !owner; ++i) {
            if (dialogs[i]->handle == root) owner = dynamic_cast<VQWin32DialogWindow*>(dialogs[i]);
        }
        if (!owner || !owner->WantsDialogKeys(static_cast<int>(msg->wParam))) return false;
    }
    for (int i = 0; i < dialogs.GetCount(); ++i) {
        auto* dialog = dynamic_cast<VQWin32DialogWindow*>(dialogs[i]);
        HWND dialogHandle = dialog ? dialog->GetDialogHandle() : nullptr;
        if (dialogHandle && IsDialogMessageW(dialogHandle, msg)) return true;
    }
    for (int i = 0; i < dialogHandles.GetCount(); ++i) {
        if (IsDialogMessageW(dialogHandles[i], msg)) return true;
    }
    return false;
}

void VQWin32Window::AddProcHook(VQWin32WindowProcReg::Proc proc, void* userData) {
    VQWin32WindowProcReg reg = {proc, userData};
    procHooks.Add(reg);
}

void VQWin32Window::RemoveProcHook(VQWin32WindowProcReg::Proc proc, void* userData) {
    VQWin32WindowProcReg reg = {proc, userData};
    int index = procHooks.Find(reg);
    if (index >= 0) procHooks.RemoveAt(index);
}

void VQWin32Window::AddIdleProc(VQWin32IdleProcReg::Proc proc, void* userData) {
    VQWin32IdleProcReg reg = {proc, userData};
    idleProcs.Add(reg);
}

void VQWin32Window::RemoveIdleProc(VQWin32IdleProcReg::Proc proc, void* userData) {
    VQWin32IdleProcReg reg = {proc, userData};
    int index = idleProcs.Find(reg);
    if (index >= 0) idleProcs.RemoveAt(index);
}

void VQWin32Window::AddDockedChild(VQWin32Window* child) { dockedChildren.AddUnique(child); }

void VQWin32Window::RemoveDockedChild(VQWin32Window* child) {
    int index = dockedChildren.Find(child);
    if (index >= 0) dockedChildren.RemoveAt(index);
}

void VQWin32Window::AddDialogHandle(HWND dialog) { dialogHandles.AddUnique(dialog); }

void VQWin32Window::RemoveDialogHandle(HWND dialog) {
    int index = dialogHandles.Find(dialog);
    if (index >= 0) dialogHandles.RemoveAt(index);
}
