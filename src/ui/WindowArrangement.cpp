#include "ui/WindowArrangement.h"

#include <algorithm>

namespace tessel {

std::vector<TRect> TileRects(int count, int areaWidth, int areaHeight, bool sideBySide) {
  std::vector<TRect> rects;
  if (count <= 0) return rects;
  const int length = sideBySide ? areaWidth : areaHeight;
  const int step = std::max(1, length / count);
  for (int i = 0; i < count; ++i) {
    const int start = i * step;
    const int size = i + 1 == count ? std::max(1, length - start) : step;
    rects.push_back(sideBySide ? TRect{start, 0, size, areaHeight} : TRect{0, start, areaWidth, size});
  }
  return rects;
}

std::vector<TRect> IconRects(int count, int iconWidth, int iconHeight, int areaWidth, int areaHeight) {
  std::vector<TRect> rects;
  if (count <= 0 || iconWidth <= 0 || iconHeight <= 0) return rects;
  const int perRow = std::max(1, areaWidth / iconWidth);
  for (int i = 0; i < count; ++i) {
    const int row = i / perRow, column = i % perRow;
    rects.push_back({column * iconWidth, areaHeight - (row + 1) * iconHeight, iconWidth, iconHeight});
  }
  return rects;
}

}  // namespace tessel
