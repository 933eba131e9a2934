// A small modal dialog that asks for one line of text: a dialog resource with
// an edit box (editId), OK and Cancel.
#pragma once

#include <windows.h>

#include "base/strings.h"

// Opens the dialog with `text` in its box (at most maxLength units); true and
// the text when closed with OK.
bool PromptForText(HINSTANCE instance, HWND owner, int templateId, int editId, int maxLength, VQWString& text);
