#include "win32/monitor.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Simulated displays for one test; the real ones again afterwards.
class Monitors : public ::testing::Test {
protected:
    void Use(std::vector<RECT> monitors) { VQWin32ReplaceMonitors(monitors.data(), static_cast<int>(monitors.size())); }
    void TearDown() override { VQWin32ReplaceMonitors(nullptr, -1); }
};

RECT Fit(RECT rect) {
    FitRectToMonitor(&rect);
    return rect;
}

::testing::AssertionResult Same(const RECT& expected, const RECT& actual) {
    if (EqualRect(&expected, &actual)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected (" << expected.left << ", " << expected.top << ", "
                                         << expected.right << ", " << expected.bottom << ") got (" << actual.left
                                         << ", " << actual.top << ", " << actual.right << ", " << actual.bottom
                                         << ")";
}

const RECT kPrimary = {0, 0, 1280, 1024};
const RECT kSecond = {1280, 0, 2560, 1024};

RECT Cascade(const RECT& wanted, std::vector<RECT> open, int step = 30) {
    return CascadeRect(wanted, open.data(), static_cast<int>(open.size()), step);
}

}  // namespace

TEST_F(Monitors, ARectangleOnOneMonitorIsPulledInsideIt) {
    Use({kPrimary});
    // Inside already: unchanged.
    EXPECT_TRUE(Same(RECT{100, 100, 400, 300}, Fit(RECT{100, 100, 400, 300})));
    // Straddling the right edge: back inside, size kept.
    EXPECT_TRUE(Same(RECT{980, 100, 1280, 300}, Fit(RECT{1100, 100, 1400, 300})));
    // Straddling the left and the top edge.
    EXPECT_TRUE(Same(RECT{0, 0, 300, 200}, Fit(RECT{-50, -20, 250, 180})));
    // Below the monitor: the centre is on no monitor, the column of the
    // centre still chooses it, and the rectangle moves up inside.
    EXPECT_TRUE(Same(RECT{100, 824, 400, 1024}, Fit(RECT{100, 2000, 400, 2200})));
}

TEST_F(Monitors, ARectangleTooLargeForTheMonitorIsCentredOnItsOwnCentre) {
    Use({kPrimary});
    // Wider than the monitor: centred on its centre, the height fitted.
    EXPECT_TRUE(Same(RECT{-160, 824, 1440, 1024}, Fit(RECT{-160, 900, 1440, 1100})));
    // Its centre right of every monitor is first brought to the right edge.
    EXPECT_TRUE(Same(RECT{480, 100, 2080, 300}, Fit(RECT{2000, 100, 3600, 300})));
    // Exactly as wide: centred as well, which leaves it where it is.
    EXPECT_TRUE(Same(RECT{0, 10, 1280, 50}, Fit(RECT{0, 10, 1280, 50})));
    // Taller than the monitor and above it: the centre (-637.5) is rounded
    // toward zero, which moves the rectangle down by one.
    EXPECT_TRUE(Same(RECT{10, -1199, 110, -74}, Fit(RECT{10, -1200, 110, -75})));
}

TEST_F(Monitors, TheMonitorUnderTheCentreIsTheOneThatCounts) {
    Use({kPrimary, kSecond});
    // Centre on the second monitor: pulled onto it, not onto the first.
    EXPECT_TRUE(Same(RECT{1280, 100, 1680, 300}, Fit(RECT{1200, 100, 1600, 300})));
    // Straddling the right edge of the second.
    EXPECT_TRUE(Same(RECT{2260, 500, 2560, 600}, Fit(RECT{2400, 500, 2700, 600})));
    // A centre on the shared edge belongs to the first monitor listed.
    EXPECT_TRUE(Same(RECT{1080, 100, 1280, 200}, Fit(RECT{1180, 100, 1380, 200})));
    // Listed the other way round, the shared edge goes to the second display.
    Use({kSecond, kPrimary});
    EXPECT_TRUE(Same(RECT{1280, 100, 1480, 200}, Fit(RECT{1180, 100, 1380, 200})));
}

TEST_F(Monitors, NoMonitorOrNoColumnLeavesTheRectangleAlone) {
    Use({});
    EXPECT_TRUE(Same(RECT{-500, -500, -100, -300}, Fit(RECT{-500, -500, -100, -300})));
    // A monitor away from the origin: the bounds still hold (0, 0), so a
    // centre at 100 lies in no monitor's column.
    Use({RECT{200, 0, 800, 600}});
    EXPECT_TRUE(Same(RECT{0, 0, 200, 100}, Fit(RECT{0, 0, 200, 100})));
    // An inverted monitor is kept but does not widen the bounds: the centre
    // at 3000 is clamped to 1280, inside the primary.
    Use({kPrimary, RECT{4000, 0, 2000, 1024}});
    EXPECT_TRUE(Same(RECT{1180, 0, 1280, 100}, Fit(RECT{2950, 0, 3050, 100})));
}

TEST_F(Monitors, OnlySixteenMonitorsAreKept) {
    std::vector<RECT> many;
    for (int i = 0; i < 17; ++i) many.push_back(RECT{i * 100, 0, i * 100 + 100, 100});
    Use(many);
    // The seventeenth (1600 ... 1700) is not known: its column is 1600 at
    // most, the right edge of the sixteenth.
    EXPECT_TRUE(Same(RECT{1520, 0, 1600, 40}, Fit(RECT{1610, 0, 1690, 40})));
}

TEST_F(Monitors, TheRealDisplayIsEnumeratedOnFirstUse) {
    VQWin32ReplaceMonitors(nullptr, -1);
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    RECT fitted = Fit(RECT{width - 100, height - 50, width + 200, height + 100});
    EXPECT_TRUE(Same(RECT{width - 300, height - 150, width, height}, fitted));
}

TEST_F(Monitors, ARectangleIsOnTheMonitorsOnlyWhenEveryPointIsOnOne) {
    Use({kPrimary, kSecond});
    EXPECT_TRUE(RectOnMonitors(RECT{100, 0, 400, 30}));
    // Across the two: covered by both together.
    EXPECT_TRUE(RectOnMonitors(RECT{1200, 10, 1400, 40}));
    EXPECT_FALSE(RectOnMonitors(RECT{2500, 10, 2600, 40})) << "past the right edge";
    EXPECT_FALSE(RectOnMonitors(RECT{100, -5, 400, 25})) << "above the top";
    EXPECT_FALSE(RectOnMonitors(RECT{400, 100, 100, 130})) << "inverted";
    EXPECT_FALSE(RectOnMonitors(RECT{100, 100, 100, 130})) << "empty";

    // A second monitor set lower: beside its top edge there is nothing.
    Use({kPrimary, RECT{1280, 300, 2560, 1324}});
    EXPECT_FALSE(RectOnMonitors(RECT{1200, 100, 1400, 130}));
    EXPECT_TRUE(RectOnMonitors(RECT{1200, 400, 1400, 430}));
    // Stacked one above the other: a column covered by both.
    Use({RECT{0, -1024, 1280, 0}, kPrimary});
    EXPECT_TRUE(RectOnMonitors(RECT{100, -20, 300, 20}));
    // A gap between two monitors.
    Use({kPrimary, RECT{1300, 0, 2580, 1024}});
    EXPECT_FALSE(RectOnMonitors(RECT{1200, 10, 1400, 40}));
}

TEST_F(Monitors, ANewWindowStepsAwayFromTheWindowsOpenAtItsPlace) {
    Use({kPrimary});
    const RECT wanted = {100, 100, 600, 500};
    const RECT oneOn = {130, 130, 630, 530};
    EXPECT_TRUE(Same(wanted, Cascade(wanted, {})));
    EXPECT_TRUE(Same(wanted, Cascade(wanted, {RECT{400, 300, 900, 700}}))) << "open elsewhere";
    // Open at its place, or with its corner less than half a step away.
    EXPECT_TRUE(Same(oneOn, Cascade(wanted, {wanted})));
    EXPECT_TRUE(Same(oneOn, Cascade(wanted, {RECT{114, 86, 300, 200}})));
    EXPECT_TRUE(Same(wanted, Cascade(wanted, {RECT{115, 100, 615, 500}}))) << "half a step away";
    // A second step past the one there already, in whatever order they are listed.
    EXPECT_TRUE(Same(RECT{160, 160, 660, 560}, Cascade(wanted, {oneOn, wanted})));
}

TEST_F(Monitors, ACascadePastTheMonitorsEdgeStartsAgainAtItsCorner) {
    Use({kPrimary, kSecond});
    // Low on the second monitor: a step would cross its bottom edge.
    const RECT wanted = {1300, 600, 1800, 1000};
    EXPECT_TRUE(Same(RECT{1280, 0, 1780, 400}, Cascade(wanted, {wanted})));
    EXPECT_TRUE(Same(RECT{1310, 30, 1810, 430}, Cascade(wanted, {RECT{1280, 0, 1780, 400}, wanted})));
    // At the right edge of the first monitor.
    EXPECT_TRUE(Same(RECT{0, 0, 400, 300}, Cascade(RECT{870, 50, 1270, 350}, {RECT{870, 50, 1270, 350}})));
    // As large as its monitor, every place is taken: it ends, and stays on the monitor.
    EXPECT_TRUE(Same(kPrimary, Cascade(kPrimary, {kPrimary})));
}

TEST_F(Monitors, TheWorkAreaIsTheOneOfTheMonitorUnderTheCentreAndKeepsARectangleOffTheTaskbar) {
    // A taskbar at the bottom of the first monitor, and one at the left of the second.
    const RECT monitors[] = {kPrimary, kSecond};
    const RECT work[] = {{0, 0, 1280, 984}, {1340, 0, 2560, 1024}};
    VQWin32ReplaceMonitors(monitors, 2, work);
    EXPECT_TRUE(Same(work[0], WorkAreaOf(RECT{100, 100, 300, 200})));
    EXPECT_TRUE(Same(work[1], WorkAreaOf(RECT{1200, 100, 1500, 200})));
    RECT low = {100, 950, 300, 1010};
    FitRectToWorkArea(&low);
    EXPECT_TRUE(Same(RECT{100, 924, 300, 984}, low));
    RECT left = {1290, 100, 1490, 200};
    FitRectToWorkArea(&left);
    EXPECT_TRUE(Same(RECT{1340, 100, 1540, 200}, left));
    // Without work areas, each is its whole monitor.
    Use({kPrimary});
    EXPECT_TRUE(Same(kPrimary, WorkAreaOf(RECT{100, 100, 300, 200})));
}
