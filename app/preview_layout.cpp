#include "app/preview_layout.h"

void MoveForPreviewGrowth(const std::vector<RECT*>& rects, RECT* table, RECT* preview, int delta) {
    // The band as it was: the table's and the preview's edges move below.
    const RECT tableRect = *table, previewRect = *preview;
    for (RECT* rect : rects) {
        if (rect == table) {
            rect->bottom -= delta;
        } else if (rect == preview) {
            rect->top -= delta;
        } else if (rect->top >= tableRect.bottom && rect->bottom <= previewRect.top) {
            OffsetRect(rect, 0, -delta);
        }
    }
}
