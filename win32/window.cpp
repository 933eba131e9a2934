// VQWin32Window: construction, creation, closing, enabling and accelerators.
#include "win32/window.h"

#include "base/log.h"
#include "win32/dpi.h"
#include "win32/log_lines.h"

namespace {

VQWin32Window* g_mainWindow = nullptr;

}  // namespace

VQWin32Window* VQWin32GetMainWindow() { return g_mainWindow; }

void VQWin32SetMainWindow(VQWin32Window* window) { g_mainWindow = window; }

VQWin32WindowCreateInfo::VQWin32WindowCreateInfo()
    : classStyle(CS_VREDRAW | CS_HREDRAW | CS_BYTEALIGNCLIENT),
      icon(nullptr),
      smallIcon(nullptr),
      cursor(reinterpret_cast<HCURSOR>(-1)),
      background(reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1)),
      menuName(nullptr),
      menu(nullptr),
      rectIsWindowRect(false),
      rect{32, 48, 768, 462},
      style(WS_OVERLAPPEDWINDOW),
      exStyle(0),
      showCommand(SW_SHOW),
      parentWindow(nullptr),
      parentHandle(nullptr),
      childId(0),
      dockMode(0),
      idleLoop(false),
      skipRegistration(false),
      doubleClicks(false) {}

VQWin32WindowCreateInfo::~VQWin32WindowCreateInfo() {}

VQWin32Window::VQWin32Window(HINSTANCE instance)
    : instance(instance),
      handle(nullptr),
      hasMenu(0),
      accelerators(nullptr),
      ownedAccelerators(nullptr),
      acceleratorsEnabled(1),
      classRegistered(0),
      className(L"VQApp"),
      childId(0),
      nextChildId(1000),
      dockMode(0),
      idleLoop(0),
      active(0),
      inSizeMove(0),
      moving(0),
      dockRect{0, 0, 0, 0},
      minimized(0),
      maximized(0),
      windowRect{0, 0, 0, 0},
      clientScreenRect{0, 0, 0, 0},
      clientWidth(0),
      clientHeight(0),
      frameWidth(0),
      frameHeight(0),
      frameOffsets{0, 0, 0, 0},
      minWidth(-1),
      minHeight(-1),
      maxWidth(-1),
      maxHeight(-1),
      widthStep(0),
      heightStep(0),
      enableCount(1),
      parent(nullptr),
      defaultProc(DefWindowProcW),
      dpi(kVQBaseDpi) {
    if (!instance) vqLog.Write(kLogWindowNoInstance);
}

VQWin32Window::~VQWin32Window() {
    if (classRegistered) UnregisterClassW(className.Text(), instance);
    procHooks.RemoveAll();
    ownedWindows.RemoveAll();
    dockedChildren.RemoveAll();
    dialogWindows.RemoveAll();
    dialogHandles.RemoveAll();
    idleProcs.RemoveAll();
}

VQWin32Window* VQWin32Window::FromHandle(HWND hwnd) {
    // Controls and foreign windows keep other things in their user data.
    if (!hwnd || GetClassLongPtrW(hwnd, GCLP_WNDPROC) != reinterpret_cast<ULONG_PTR>(VQWin32FrameworkWindowProc)) {
        return nullptr;
    }
    return reinterpret_cast<VQWin32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

bool VQWin32Window::AttachHandle(HWND hwnd, VQWin32Window* parentWindow, int showCommand) {
    if (!Create(hwnd, parentWindow)) return false;
    if (!PostCreate(nullptr)) return false;
    Show(showCommand);
    Update();
    OnCreated();
    return true;
}

bool VQWin32Window::Open(VQWin32WindowCreateInfo* info) {
    VQWin32WindowCreateInfo defaults;
    if (!info) info = &defaults;
    if (!PreCreate(info) || !Regist(info) || !Create(info) || !PostCreate(info)) return false;
    Show(info->showCommand);
    Update();
    OnCreated();
    return true;
}

bool VQWin32Window::PreCreate(VQWin32WindowCreateInfo* info) {
    VQWin32Window* owner = info->parentWindow;
    childId = info->childId;
    if (owner && childId == 0) childId = owner->nextChildId++;
    if (registryKey.IsEmpty()) {
        if (owner) {
            registryKey = VQString().Format("%s\\%04x", owner->registryKey.Text(), childId);
        } else {
            registryKey = "Software\\velqo\\VQApp";
        }
    }
    if (!info->icon && !owner) info->icon = LoadIconW(nullptr, IDI_APPLICATION);
    if (info->cursor == reinterpret_cast<HCURSOR>(-1)) info->cursor = LoadCursorW(nullptr, IDC_ARROW);
    dockMode = info->dockMode;
    idleLoop = info->idleLoop ? 1 : 0;
    return true;
}

bool VQWin32Window::Regist(VQWin32WindowCreateInfo* info) {
    if (!info->className.IsEmpty()) {
        className = info->className;
    } else if (info->parentWindow) {
        className = VQWString().Format(L"%s_Child%d", info->parentWindow->className.Text(), childId);
    }
    hasMenu = info->menuName ? 1 : 0;
    if (info->skipRegistration) return true;

    WNDCLASSEXW wc;
    wc.cbSize = sizeof wc;
    wc.style = info->classStyle | (info->doubleClicks ? CS_DBLCLKS : 0);
    wc.lpfnWndProc = VQWin32FrameworkWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = info->icon;
    wc.hCursor = info->cursor;
    wc.hbrBackground = info->background;
    wc.lpszMenuName = info->menuName;
    wc.lpszClassName = className.Text();
    wc.hIconSm = info->smallIcon ? info->smallIcon : info->icon;
    if (!RegisterClassExW(&wc)) {
        vqLog.Write(kLogRegistFailed);
        return false;
    }
    classRegistered = 1;
    return true;
}

void VQWin32Window::Unregist() {
    if (classRegistered) UnregisterClassW(className.Text(), instance);
}

bool VQWin32Window::Create(VQWin32WindowCreateInfo* info) {
    parent = info->parentWindow;
    if (!info->rectIsWindowRect) {
        if (info->style & WS_HSCROLL) info->rect.bottom += GetSystemMetrics(SM_CYHSCROLL);
        if (info->style & WS_VSCROLL) info->rect.right += GetSystemMetrics(SM_CXVSCROLL);
    }
    RECT outer = info->rect;
    if (!info->rectIsWindowRect) AdjustWindowRectEx(&outer, info->style, hasMenu, info->exStyle);
    HMENU menu = info->menu;
    if (!menu && parent && (info->style & WS_CHILD)) menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(childId));
    HWND parentHandle = parent ? parent->handle : info->parentHandle;
    HWND hwnd = CreateWindowExW(info->exStyle, className.Text(), info->caption.Text(), info->style, outer.left,
                                outer.top, outer.right - outer.left, outer.bottom - outer.top, parentHandle, menu,
                                instance, nullptr);
    if (!hwnd) {
        vqLog.Write(kLogCreateFailed);
        return false;
    }
    handle = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    frameOffsets.left = outer.left - info->rect.left;
    frameOffsets.top = outer.top - info->rect.top;
    frameOffsets.right = outer.right - info->rect.right;
    frameOffsets.bottom = outer.bottom - info->rect.bottom;
    dpi = VQWin32GetWindowDpi(hwnd);
    UpdateGeometry();
    return true;
}

bool VQWin32Window::Create(HWND hwnd, VQWin32Window* parentWindow) {
    parent = parentWindow;
    if (!hwnd) {
        vqLog.Write(kLogCreateNoHandle);
        return false;
    }
    handle = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    MeasureFrameOffsets();
    dpi = VQWin32GetWindowDpi(hwnd);
    UpdateGeometry();
    return true;
}

void VQWin32Window::MeasureFrameOffsets() {
    RECT outer;
    RECT inner;
    GetWindowRect(handle, &outer);
    GetClientRect(handle, &inner);
    POINT origin = {0, 0};
    ClientToScreen(handle, &origin);
    OffsetRect(&inner, origin.x, origin.y);
    frameOffsets.left = outer.left - inner.left;
    frameOffsets.top = outer.top - inner.top;
    frameOffsets.right = outer.right - inner.right;
    frameOffsets.bottom = outer.bottom - inner.bottom;
}

void VQWin32Window::OnDpiChanged(UINT newDpi, const RECT* suggested) {
    dpi = newDpi;
    if (!handle) return;
    if (suggested) {
        takingSuggestedRect = 1;
        SetWindowPos(handle, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        takingSuggestedRect = 0;
    }
    MeasureFrameOffsets();
    UpdateGeometry();
}

bool VQWin32Window::PostCreate(VQWin32WindowCreateInfo*) { return true; }

void VQWin32Window::OnCreated() {}

bool VQWin32Window::CanClose() { return true; }

bool VQWin32Window::Close() {
    if (!CanClose()) return false;
    if (defaultProc == DefMDIChildProcW) {
        SendMessageW(GetParent(handle), WM_MDIDESTROY, reinterpret_cast<WPARAM>(handle), 0);
    } else if (!IsOwnedPopup() || IsModal()) {
        DestroyWindow(handle);
    } else {
        // An owned, modeless popup is only hidden: its owner shows it again.
        Show(SW_HIDE);
    }
    return true;
}

int VQWin32Window::Destroy(bool now) {
    if (now) return DestroyWindow(handle) ? 1 : 0;
    return static_cast<int>(SendMessageW(handle, WM_CLOSE, 0, 0));
}

void VQWin32Window::OnDestroyed() {
    if (parent && childId != 0) {
        // Only the last number handed out can be taken back.
        if (parent->nextChildId == childId + 1) --parent->nextChildId;
        childId = 0;
    }
    FreeAccelerators();
}

bool VQWin32Window::Show(int showCommand) {
    if (!handle) {
        vqLog.Write(kLogShowNoWindow);
        return false;
    }
    return ShowWindow(handle, showCommand) != 0;
}

bool VQWin32Window::Update() {
    if (!handle) {
        vqLog.Write(kLogUpdateNoWindow);
        return false;
    }
    return UpdateWindow(handle) != 0;
}

void VQWin32Window::Invalidate(const RECT* rect) {
    if (handle) InvalidateRect(handle, rect, TRUE);
}

int VQWin32Window::Enable(bool enable, VQWin32Window* origin) {
    if (!handle) vqLog.Write(kLogEnableNoWindow);
    if (this != origin) {
        enableCount += enable ? 1 : -1;
        if (handle) EnableWindow(handle, enableCount > 0);
    }
    return EnableOwned(enable, origin);
}

int VQWin32Window::EnableOwned(bool enable, VQWin32Window* origin) {
    int count = ownedWindows.GetCount();
    for (int i = 0; i < count; ++i) ownedWindows[i]->Enable(enable, origin);
    return count;
}

bool VQWin32Window::IsOwnedPopup() {
    return parent && handle && !(GetWindowLongPtrW(handle, GWL_STYLE) & WS_CHILD);
}

bool VQWin32Window::IsModal() { return false; }

VQWin32Window* VQWin32Window::FindOwnedWindow(HWND hwnd) {
    for (int i = 0; i < ownedWindows.GetCount(); ++i) {
        if (ownedWindows[i]->handle == hwnd) return ownedWindows[i];
    }
    return nullptr;
}

bool VQWin32Window::SetAccelerators(ACCEL* table, int count) {
    if (count < 1) return true;
    HACCEL created = CreateAcceleratorTableA(table, count);
    if (!created) return false;
    accelerators = ownedAccelerators = created;
    return true;
}

bool VQWin32Window::LoadAccelerators(const char* resourceName) {
    accelerators = LoadAcceleratorsA(instance, resourceName);
    ownedAccelerators = nullptr;
    return accelerators != nullptr;
}

void VQWin32Window::FreeAccelerators() {
    if (ownedAccelerators) DestroyAcceleratorTable(ownedAccelerators);
    ownedAccelerators = nullptr;
    accelerators = nullptr;
}

bool VQWin32Window::EnableAccelerators(bool enable) {
    bool previous = acceleratorsEnabled != 0;
    acceleratorsEnabled = enable ? 1 : 0;
    return previous;
}

HACCEL VQWin32Window::ExchangeAccelerators(HACCEL table) {
    HACCEL previous = accelerators;
    accelerators = table;
    return previous;
}

int VQWin32Window::SpareHook1(WPARAM, WPARAM, WPARAM, WPARAM, WPARAM) { return 0; }

bool VQWin32Window::OnItemNotify(HWND, int, WPARAM, LPARAM, WPARAM, WPARAM, WPARAM) { return false; }

void VQWin32Window::SpareHook2(WPARAM, WPARAM, WPARAM, WPARAM, WPARAM, WPARAM) {}

void VQWin32Window::SpareHook3(WPARAM, WPARAM, WPARAM) {}

void VQWin32Window::SpareHook4(WPARAM, WPARAM, WPARAM) {}
