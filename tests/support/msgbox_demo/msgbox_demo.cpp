// Shows one message box as the program shows its errors, for a screenshot of
// the real box (scripts/screenshot.sh). Without arguments: three lines of
// text and one "OK" button under the caption "エラー".
//   qb_msgbox_demo.exe [layout code [text [caption]]]
#include <windows.h>

#include <cwchar>

#include "base/files.h"
#include "win32/message_box.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    int layout = VQMB_OK;
    const wchar_t* text =
        L"設定ファイルの読み込みに失敗しました。\n"
        L"C:\\Users\\Public\\Documents\\Quenbrix\\settings.ini\n"
        L"ファイルの場所と内容を確かめてください。";
    const wchar_t* caption = L"エラー";
    static wchar_t args[4][1024];
    const wchar_t* next = GetCommandLineW();
    int count = 0;
    while (count < 4 && (next = NextArgument(args[count], 1024, next)) != nullptr) ++count;
    if (count > 1) layout = _wtoi(args[1]);
    if (count > 2) text = args[2];
    if (count > 3) caption = args[3];
    return MsgBox(nullptr, text, caption, layout, 1);
}
