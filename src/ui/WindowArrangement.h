// Where the Windows menu's commands put the document windows, as plain
// geometry: the two tilings (side by side, one above the other) and the row
// of minimised windows. Cascading is left to the window area itself.
#pragma once

#include <vector>

#include "ui/WindowSettings.h"

namespace tessel {

// count windows sharing the area: sideBySide gives equal columns of full
// height, else equal rows of full width. The last window takes the pixels
// the division leaves over, so the area is covered exactly.
std::vector<TRect> TileRects(int count, int areaWidth, int areaHeight, bool sideBySide);

// count minimised windows of iconWidth x iconHeight in rows along the bottom
// of the area, left to right, a new row above when one is full.
std::vector<TRect> IconRects(int count, int iconWidth, int iconHeight, int areaWidth, int areaHeight);

}  // namespace tessel
