#include "tests/support/box_answer.h"

#include <windows.h>

#include "tests/support/window_queries.h"

TimerScript::Step AnswerBox(BoxAnswer* note, int answer) {
    return [note, answer] {
        HWND box = FindThreadWindow(L"VQMsgBox");
        if (!box) return false;
        note->caption = WindowText(box);
        note->seen = true;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
        return true;
    };
}
