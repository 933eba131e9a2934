// Answers the framework's message box (class "VQMsgBox") that a modal loop of
// the test's own thread shows, as a step of a TimerScript.
#pragma once

#include <string>

#include "tests/support/timer_script.h"

struct BoxAnswer {
    std::wstring caption;
    bool seen = false;
};

// Once the box is up: notes its caption and presses the button with id `answer`.
TimerScript::Step AnswerBox(BoxAnswer* note, int answer);
