// The root of the window framework: one VQWin32Window object owns one Win32
// window, registers its class, creates or adopts the window, routes every
// message through WindowProc to fixed virtual handlers, keeps its geometry
// and size limits, runs the message loop and reads and writes its registry key.
//
// Handlers return an int: 0 means handled (the window procedure returns 0),
// anything else passes the message on to DefaultProc. The order of the
// virtual operations below is part of the framework's contract with the
// classes derived from it; append, never reorder.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/arrays.h"
#include "base/strings.h"

// The SDK spells these as macros; the framework uses the names as methods.
#undef LoadAccelerators
#undef DialogBox

class VQWin32Window;

// A hook consulted before dispatch; returning 0 ends the message with result 0.
struct VQWin32WindowProcReg {
    typedef int (*Proc)(void* userData, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    Proc proc;
    void* userData;
    bool operator==(const VQWin32WindowProcReg& other) const {
        return proc == other.proc && userData == other.userData;
    }
};

// Called by the idle message loop whenever the queue is empty.
struct VQWin32IdleProcReg {
    typedef void (*Proc)(void* userData, DWORD tickCount);
    Proc proc;
    void* userData;
    bool operator==(const VQWin32IdleProcReg& other) const {
        return proc == other.proc && userData == other.userData;
    }
};

// Everything that class registration, creation and placement need.
class VQWin32WindowCreateInfo {
public:
    VQWin32WindowCreateInfo();
    virtual ~VQWin32WindowCreateInfo();

    VQWString className;        // empty: Regist chooses
    UINT classStyle;            // CS_VREDRAW | CS_HREDRAW | CS_BYTEALIGNCLIENT
    HICON icon;                 // borrowed; null gets IDI_APPLICATION for a top-level window
    HICON smallIcon;            // borrowed; null uses icon
    HCURSOR cursor;             // borrowed; (HCURSOR)-1 means the arrow
    HBRUSH background;          // borrowed; COLOR_APPWORKSPACE + 1
    const wchar_t* menuName;    // class menu resource, or null
    HMENU menu;                 // borrowed; null lets a child window pass its child id
    VQWString caption;
    VQString narrowTitle;       // kept for callers that want a narrow title; the framework reads nothing from it
    bool rectIsWindowRect;      // false: rect is a client rectangle and gets adjusted
    RECT rect;                  // (32, 48, 768, 462)
    DWORD style;                // WS_OVERLAPPEDWINDOW
    DWORD exStyle;
    int showCommand;            // SW_SHOW
    VQWin32Window* parentWindow;
    HWND parentHandle;          // borrowed; used when parentWindow is null
    int childId;                // 0: the parent hands out a number
    int dockMode;
    bool idleLoop;
    bool skipRegistration;
    bool doubleClicks;
};

// The application's main window: set by start-up before the window exists.
// The window procedure's fallback, the dialog-window list, the about box,
// the message box and the mouse-wheel routing consult it.
VQWin32Window* VQWin32GetMainWindow();
void VQWin32SetMainWindow(VQWin32Window* window);

// The window procedure registered for every framework window class.
LRESULT CALLBACK VQWin32FrameworkWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

class VQWin32Window {
public:
    explicit VQWin32Window(HINSTANCE instance);
    VQWin32Window(const VQWin32Window&) = delete;
    VQWin32Window& operator=(const VQWin32Window&) = delete;

    // The framework object linked to a window of a framework class, or null.
    static VQWin32Window* FromHandle(HWND hwnd);

    virtual ~VQWin32Window();
    virtual bool AttachHandle(HWND hwnd, VQWin32Window* parentWindow, int showCommand);
    virtual bool Open(VQWin32WindowCreateInfo* info);
    virtual bool Close();
    virtual int Destroy(bool now);
    virtual bool Show(int showCommand);
    virtual bool Update();
    virtual void Invalidate(const RECT* rect);
    // Counted: the window is enabled while enableCount is above 0. The origin
    // keeps its own state; every owned window hears the call.
    virtual int Enable(bool enable, VQWin32Window* origin);
    virtual int EnableOwned(bool enable, VQWin32Window* origin);
    virtual void SetSizeLimits(int minW, int minH, int maxW, int maxH, int stepW, int stepH);
    virtual bool SetAccelerators(ACCEL* table, int count);
    virtual bool LoadAccelerators(const char* resourceName);
    virtual void FreeAccelerators();
    virtual bool EnableAccelerators(bool enable);
    virtual HACCEL ExchangeAccelerators(HACCEL table);
    virtual VQWin32Window* WindowFromScreenPoint(const POINT* point);
    virtual bool IsOwnedPopup();
    virtual bool IsModal();
    virtual void Relayout();
    virtual int SpareHook1(WPARAM, WPARAM, WPARAM, WPARAM, WPARAM);
    // A dialog item's control changed; true when the notification was taken.
    virtual bool OnItemNotify(HWND dialog, int controlId, WPARAM value1, LPARAM value2, WPARAM, WPARAM, WPARAM);
    virtual void SpareHook2(WPARAM, WPARAM, WPARAM, WPARAM, WPARAM, WPARAM);
    virtual void SpareHook3(WPARAM, WPARAM, WPARAM);
    virtual void SpareHook4(WPARAM, WPARAM, WPARAM);
    virtual void OnIdle(DWORD tickCount);
    virtual int Run(WPARAM unused);

    // Handlers, in the order of the dispatch table.
    virtual int OnCreate(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnClose(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnDestroy(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnKeyDown(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnKeyUp(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnChar(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnMouseMove(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnLButtonDown(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnLButtonUp(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnLButtonDblClk(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnRButtonDown(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnRButtonUp(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnRButtonDblClk(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnMButtonDown(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnMButtonUp(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnMButtonDblClk(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnMouseWheel(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnSysCommand(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnNotify(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnDropFiles(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnPaint(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnActivateApp(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnActivate(HWND hwnd, WPARAM wParam, LPARAM lParam);
    // Gets the addresses so that it can change what DefaultProc receives.
    virtual int OnNcActivate(HWND hwnd, WPARAM* wParam, LPARAM* lParam);
    virtual int OnSetFocus(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnKillFocus(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnSetCursor(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnHScroll(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnVScroll(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnEnterMenuLoop(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnExitMenuLoop(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnInitMenuPopup(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnMoving(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnMove(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnSizing(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnSize(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnEnterSizeMove(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnExitSizeMove(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnTimer(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnDrawItem(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnCopyData(HWND hwnd, WPARAM wParam, LPARAM lParam);
    virtual int OnUserMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    virtual int OnAppMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    virtual LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefaultProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    virtual bool PreCreate(VQWin32WindowCreateInfo* info);
    virtual bool PostCreate(VQWin32WindowCreateInfo* info);
    virtual void OnCreated();
    virtual bool CanClose();
    virtual void OnDestroyed();
    virtual bool Regist(VQWin32WindowCreateInfo* info);
    virtual void Unregist();
    virtual bool Create(HWND hwnd, VQWin32Window* parentWindow);
    virtual bool Create(VQWin32WindowCreateInfo* info);
    virtual void DockToParent(WPARAM, LPARAM);
    // WM_DPICHANGED: the window moved to a monitor of another scale (or the
    // scale changed). The base takes the system's suggested rectangle (null:
    // the window stays) and notes newDpi in dpi; a window that lays out in
    // pixels overrides it, scales what it must from dpi to newDpi, and calls
    // the base.
    virtual void OnDpiChanged(UINT newDpi, const RECT* suggested);
    // WM_GETMINMAXINFO: the size limits also bound a size the user does not
    // drag (snapping, SetWindowPos): the tracking sizes become the limits
    // plus the frame. 0 when the record was changed.
    virtual int OnGetMinMaxInfo(HWND hwnd, MINMAXINFO* info);

    // False (and nothing changed) while the client area has no height.
    bool UpdateGeometry();
    // Offers a message of the loop to the dialogs; true when one took it.
    bool RouteDialogMessage(MSG* msg);
    VQWin32Window* FindOwnedWindow(HWND hwnd);

    // Registry values under HKEY_CURRENT_USER\registryKey (the 16-byte blocks
    // may be kept elsewhere by a derived window); 0 or false for
    // every failure, also with an empty key.
    virtual int ReadBlock16(const char* valueName, void* buffer16);
    virtual bool WriteBlock16(const char* valueName, const void* data16);
    // *type (when given) gets the stored type, also for a value that does
    // not fit, and REG_NONE when there is none; a null buffer of 0 bytes
    // asks only for the size and the type.
    int ReadValue(const wchar_t* valueName, void* buffer, int bufferBytes, DWORD* type = nullptr);
    bool WriteValue(const wchar_t* valueName, const void* data, int bytes, DWORD type);

    void AddProcHook(VQWin32WindowProcReg::Proc proc, void* userData);
    void RemoveProcHook(VQWin32WindowProcReg::Proc proc, void* userData);
    void AddIdleProc(VQWin32IdleProcReg::Proc proc, void* userData);
    void RemoveIdleProc(VQWin32IdleProcReg::Proc proc, void* userData);
    void AddDockedChild(VQWin32Window* child);
    void RemoveDockedChild(VQWin32Window* child);
    void AddDialogHandle(HWND dialog);
    void RemoveDialogHandle(HWND dialog);

    // The state is public, as a record: derived windows, start-up and tests
    // read and set it directly.
    HINSTANCE instance;  // borrowed: the module, for classes, windows and resources
    HWND handle;  // not owned: destroyed by the close path, never by the destructor
    uint8_t hasMenu;
    HACCEL accelerators;       // borrowed: the loaded table or ownedAccelerators
    HACCEL ownedAccelerators;  // owned: destroyed by FreeAccelerators
    uint8_t acceleratorsEnabled;
    VQString registryKey;
    uint8_t classRegistered;
    VQWString className;
    int childId;
    int nextChildId;
    int dockMode;  // 0 none, 1 top, 2 bottom, 3 fills the rest
    uint8_t idleLoop;
    uint8_t active;
    uint8_t inSizeMove;
    uint8_t moving;
    RECT dockRect;
    uint8_t minimized;
    uint8_t maximized;
    RECT windowRect;
    RECT clientScreenRect;
    int clientWidth;
    int clientHeight;
    int frameWidth;
    int frameHeight;
    RECT frameOffsets;  // window rectangle minus client rectangle, side by side
    int minWidth;
    int minHeight;
    int maxWidth;
    int maxHeight;
    int widthStep;
    int heightStep;
    int enableCount;
    VQWin32Window* parent;  // borrowed
    WNDPROC defaultProc;
    VQArray<VQWin32WindowProcReg, VQWin32WindowProcReg&> procHooks;
    VQArray<VQWin32Window*, VQWin32Window*> ownedWindows;     // borrowed windows
    VQArray<VQWin32Window*, VQWin32Window*> dockedChildren;   // borrowed windows
    VQArray<VQWin32Window*, VQWin32Window*> dialogWindows;    // borrowed; main window only
    VQArray<HWND, HWND&> dialogHandles;
    VQArray<VQWin32IdleProcReg, VQWin32IdleProcReg&> idleProcs;
    UINT dpi;  // the scale of the window's monitor, as last known (96 until created)

protected:
    // Set while the frame takes the rectangle the system suggested for a new
    // scale: it holds the new frame, which the limits cannot know yet.
    uint8_t takingSuggestedRect = 0;
    // frameOffsets from the window as it is (the frame's thickness changes
    // with the monitor's scale).
    void MeasureFrameOffsets();
    // Narrows rect by the siblings of `self` in `container` that are docked
    // at the top or bottom, as a window of dock mode `mode` sees them.
    static void ExcludeDockedSiblings(HWND container, HWND self, int mode, RECT* rect);
};
