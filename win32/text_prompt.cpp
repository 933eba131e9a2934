#include "win32/text_prompt.h"

namespace {

struct Prompt {
    int editId;
    int maxLength;
    VQWString* text;
};

INT_PTR CALLBACK PromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    Prompt* prompt = reinterpret_cast<Prompt*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        prompt = reinterpret_cast<Prompt*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        HWND edit = GetDlgItem(dialog, prompt->editId);
        SendMessageW(edit, EM_LIMITTEXT, static_cast<WPARAM>(prompt->maxLength), 0);
        SetWindowTextW(edit, prompt->text->Text());
        SendMessageW(edit, EM_SETSEL, 0, -1);
        SetFocus(edit);
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK && prompt) {
            HWND edit = GetDlgItem(dialog, prompt->editId);
            int length = GetWindowTextLengthW(edit);
            VQWString text;
            if (length > 0 && text.SetLength(length)) text.SetLength(GetWindowTextW(edit, text.GetData(), length + 1));
            *prompt->text = text;
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    default: break;
    }
    return FALSE;
}

}  // namespace

bool PromptForText(HINSTANCE instance, HWND owner, int templateId, int editId, int maxLength, VQWString& text) {
    Prompt prompt = {editId, maxLength, &text};
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, PromptProc,
                           reinterpret_cast<LPARAM>(&prompt)) == IDOK;
}
