// The panel's rectangles when the preview grows into the table, without a window.
#include <gtest/gtest.h>

#include <vector>

#include "app/preview_layout.h"

TEST(PreviewLayout, GrowthComesOutOfTheTableAndMovesTheBandBetween) {
    RECT table = {0, 0, 100, 100}, label = {0, 100, 100, 120}, preview = {0, 120, 100, 150};
    RECT beside = {110, 40, 150, 60}, below = {0, 160, 100, 180};
    MoveForPreviewGrowth({&table, &label, &preview, &beside, &below}, &table, &preview, 16);
    EXPECT_EQ(84, table.bottom);
    EXPECT_EQ(84, label.top);
    EXPECT_EQ(104, label.bottom);
    EXPECT_EQ(104, preview.top);
    EXPECT_EQ(150, preview.bottom);
    EXPECT_EQ(40, beside.top) << "beside the table, not between";
    EXPECT_EQ(160, below.top);
}
