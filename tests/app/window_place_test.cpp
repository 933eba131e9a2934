#include "app/window_place.h"

#include <gtest/gtest.h>

#include <vector>

#include "win32/monitor.h"

namespace {

struct CascadeCase {
    const char* name;
    RECT frame;
    std::vector<RECT> open;
    bool moved;
    RECT rect;  // the client rectangle inside frame (8 at the sides and bottom, 31 at the top) afterwards
};

}  // namespace

TEST(WindowPlace, ASecondInstanceStepsAwayAndAFullHeightOneGrowsShorter) {
    const RECT monitor = {0, 0, 1280, 1024}, work = {0, 0, 1280, 984};
    VQWin32ReplaceMonitors(&monitor, 1, &work);
    const CascadeCase cases[] = {
        {"alone", {100, 100, 600, 500}, {}, false, {108, 131, 592, 492}},
        {"elsewhere", {100, 100, 600, 500}, {{700, 400, 1200, 800}}, false, {108, 131, 592, 492}},
        {"on another", {100, 100, 600, 500}, {{100, 100, 600, 500}}, true, {138, 161, 622, 522}},
        // A first start spans the work area: it keeps its bottom there.
        {"full height", {100, 0, 600, 984}, {{100, 0, 600, 984}}, true, {138, 61, 622, 976}},
        {"two full height", {100, 0, 600, 984}, {{100, 0, 600, 984}, {130, 30, 630, 984}}, true, {168, 91, 652, 976}},
    };
    for (const CascadeCase& c : cases) {
        RECT rect = {c.frame.left + 8, c.frame.top + 31, c.frame.right - 8, c.frame.bottom - 8};
        EXPECT_EQ(c.moved, CascadeBeside(c.frame, c.open, 30, work, &rect)) << c.name;
        EXPECT_TRUE(EqualRect(&c.rect, &rect)) << c.name << ": " << rect.left << ", " << rect.top << ", " << rect.right
                                               << ", " << rect.bottom;
    }
    VQWin32ReplaceMonitors(nullptr, -1);
}
