// Work that splits in two, for the disk's look-ups under a big list: they
// are most of its time and do not depend on each other. Under Wine 8 two
// threads that allocate at once wait on each other many times over, so the
// shares should allocate little.
#pragma once

#include <system_error>
#include <thread>

// Runs work(0) on the caller's thread and work(1) on a second one, and
// returns when both are done. When no thread can be made, work(1) runs on
// the caller's thread after work(0), so each share is always done once.
template <class Work>
void RunOnTwoThreads(Work work) {
    std::thread helper;
    try {
        helper = std::thread(work, 1);
    } catch (const std::system_error&) {
    }
    work(0);
    if (helper.joinable()) {
        helper.join();
    } else {
        work(1);
    }
}

// Two shares of work on two threads of their own while the caller goes on
// with other work; Join() waits for both. A share whose thread could not be
// made, or was not wanted (`beside` false: too little work to pay for a
// thread), runs in Join() on the caller's thread.
template <class Work>
class TwoThreadsBeside {
public:
    TwoThreadsBeside(Work work, bool beside) : work(work) {
        for (int share = 0; share < 2 && beside; ++share) {
            try {
                threads[share] = std::thread(work, share);
            } catch (const std::system_error&) {
            }
        }
    }
    ~TwoThreadsBeside() { Join(); }
    TwoThreadsBeside(const TwoThreadsBeside&) = delete;
    TwoThreadsBeside& operator=(const TwoThreadsBeside&) = delete;

    void Join() {
        for (int share = 0; share < 2; ++share) {
            if (threads[share].joinable()) {
                threads[share].join();
            } else if (!joined) {
                work(share);
            }
        }
        joined = true;
    }

private:
    Work work;
    std::thread threads[2];
    bool joined = false;
};
