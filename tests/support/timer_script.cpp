#include "tests/support/timer_script.h"

#include <windows.h>

namespace {

TimerScript* g_script = nullptr;
UINT_PTR g_timer = 0;

void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD);

}  // namespace

TimerScript::TimerScript(int intervalMs) : next(0), intervalMs(intervalMs) {}

TimerScript::~TimerScript() {
    if (g_script == this) {
        KillTimer(nullptr, g_timer);
        g_timer = 0;
        g_script = nullptr;
    }
}

TimerScript& TimerScript::Then(Step step) {
    steps.push_back(std::move(step));
    return *this;
}

void TimerScript::Start() {
    if (g_timer) KillTimer(nullptr, g_timer);
    g_script = this;
    g_timer = SetTimer(nullptr, 0, static_cast<UINT>(intervalMs), OnTick);
}

bool TimerScript::Finished() const { return next == steps.size(); }

int TimerScript::StepsDone() const { return static_cast<int>(next); }

void TimerScript::Tick() {
    TimerScript* script = g_script;
    if (!script) return;
    if (script->next < script->steps.size()) {
        // A step may run a nested loop that ticks again: take the step first.
        size_t index = script->next;
        ++script->next;
        if (!script->steps[index]()) script->next = index;
    }
    if (script->next == script->steps.size()) {
        KillTimer(nullptr, g_timer);
        g_timer = 0;
        g_script = nullptr;
    }
}

namespace {

void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) { TimerScript::Tick(); }

}  // namespace
