// Where the panel's controls go when the preview grows into the table's
// height (or gives it back), as a function of their rectangles.
#pragma once

#include <windows.h>

#include <vector>

// Moves the rectangles for a preview grown by delta pixels (shrunk when
// negative): the table gives the height, the preview's top moves up, and
// what lies between the table's bottom and the preview's top moves with it.
// table and preview are two of rects; the rest outside that band stay.
void MoveForPreviewGrowth(const std::vector<RECT*>& rects, RECT* table, RECT* preview, int delta);
