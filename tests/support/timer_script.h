// Drives a modal loop of the test's own thread (a message box, a common
// dialog): the steps run one per tick of a thread timer, in order, from
// inside whatever loop dispatches the thread's messages. One script at a time.
#pragma once

#include <functional>
#include <vector>

class TimerScript {
public:
    // A step returns false to be tried again at the next tick (for a window
    // that is not up yet).
    typedef std::function<bool()> Step;

    explicit TimerScript(int intervalMs = 20);
    ~TimerScript();
    TimerScript(const TimerScript&) = delete;
    TimerScript& operator=(const TimerScript&) = delete;

    TimerScript& Then(Step step);
    // Starts the timer; the steps run once the caller enters its loop.
    void Start();
    // Every step has returned true.
    bool Finished() const;
    int StepsDone() const;

    // The timer's callback: runs the running script's next step.
    static void Tick();

private:

    std::vector<Step> steps;
    size_t next;
    int intervalMs;
};
