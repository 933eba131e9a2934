// The font the program's own windows draw their Japanese texts with (the
// main panel, the message box, the about box), chosen by what it can show:
// the first of Yu Gothic UI, Meiryo UI and MS UI Gothic that is installed,
// at the size of the system's message font; else the message font itself
// when it shows Japanese; else, at its size, the Japanese font of the system
// that suits a user interface best (a proportional gothic rather than a
// mincho or a fixed-pitch face); else the message font all the same.
//
// A dialog template names its font itself ("MS Shell Dlg" 8 is the usual):
// on a Western Windows that font has no Japanese and the labels would be
// boxes. VQWin32DialogWithUiFont puts the UI font in its place, so that the
// dialog units, and with them the layout, follow the font that is drawn.
#pragma once

#include <windows.h>

#include <vector>

// What the choice asks of the system. Replaceable, since no Wine has the
// three faces and every system has a message font of its own.
struct VQUiFontSystem {
    bool (*isInstalled)(const wchar_t* face);
    // The message font with lfHeight at kVQBaseDpi.
    bool (*getMessageFont)(LOGFONTW* font);
    // Whether the font the system gives for this description has glyphs for
    // the program's Japanese texts.
    bool (*showsJapanese)(const LOGFONTW& font);
    // Face and character set of the system's best Japanese font for a user
    // interface; false when it has none.
    bool (*findJapaneseFace)(LOGFONTW* font);
};

// The queries of the running system.
const VQUiFontSystem& VQWin32SystemFontQueries();

// The choice as the system answers: face, character set and weight, with
// lfHeight at kVQBaseDpi (negative: the height of the characters).
LOGFONTW VQWin32ChooseUiFont(const VQUiFontSystem& system);

// The program's choice, made at the first call and kept.
const LOGFONTW& VQWin32UiFont();
// For tests: the next VQWin32UiFont chooses again, asking `system` (null:
// the running system).
void VQWin32ResetUiFont(const VQUiFontSystem* system);

// The UI font at dpi; the caller deletes it.
HFONT VQWin32CreateUiFont(UINT dpi);
// Its size in whole points, as a dialog template gives it.
int VQWin32UiFontPoints();

// A copy of the dialog resource with the UI font in place of the one it
// names, for CreateDialogIndirectParamW and DialogBoxIndirectParamW. Empty
// when the resource is missing or is not an extended template that names
// a font (DIALOGEX with DS_SETFONT): the resource is then used as it is.
std::vector<DWORD> VQWin32DialogWithUiFont(HINSTANCE instance, int templateId);

// The metrics of the font a control draws with (its WM_GETFONT).
TEXTMETRICW VQWin32ControlFontMetrics(HWND control);
