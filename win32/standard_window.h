// VQWin32StandardWindow: a top-level window that can remember its client
// rectangle in the registry, keeps itself in its parent's list of owned
// windows, and shows the about box.
#pragma once

#include "win32/window.h"

class VQWin32StandardWindow : public VQWin32Window {
public:
    explicit VQWin32StandardWindow(HINSTANCE instance);

    bool PreCreate(VQWin32WindowCreateInfo* info) override;
    bool PostCreate(VQWin32WindowCreateInfo* info) override;
    void OnDestroyed() override;

    // The modal about box from dialog resource `templateId`, its three
    // static texts filled from the program's version resource; returns the
    // EndDialog value.
    virtual int DialogBox(int templateId, int descriptionId, int versionId, int legalNoticeId);
    virtual void FillAboutBox(HWND dialog);

    uint8_t savePlacement;         // remember the client rectangle in the registry
    VQString placementValueName;   // "ClientRect"
    uint8_t placementRestored;     // the saved rectangle replaced info->rect
    RECT defaultRect;              // info->rect as the caller gave it, the place without a saved one

protected:
    // The saved client rectangle replaces info->rect when a whole one is
    // there and usable: its caption bar lies on the monitors and it is at
    // least minWidth x minHeight (and not empty).
    void ReadPlacement(VQWin32WindowCreateInfo* info);
};
