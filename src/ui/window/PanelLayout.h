// The geometry of the panel view: every part is a box holding its summary
// box at the top and its children's boxes below, indented. Plain
// arithmetic, tested without a screen.
//
// The height is shared out in units: every summary box is 30 units high,
// and the gaps and borders are fixed pixels. With the units fitted to the
// visible height every summary box gets the same height and the whole tree
// fills the view. A message with thousands of parts or a hundred levels
// would give boxes of zero or negative size that way, so the scale and the
// widths are clamped and the area grows beyond the view (which scrolls).
#pragma once

#include <cstdint>
#include <vector>

namespace tessel {

struct TPanelRect {
  int X = 0, Y = 0, W = 0, H = 0;
  int Bottom() const { return Y + H; }
  int Right() const { return X + W; }
  bool Contains(int x, int y) const { return x >= X && x < X + W && y >= Y && y < Y + H; }
};

// One box in depth-first order. Parent: index of the enclosing box, or -1
// for a box of the area itself (one per root when there are several).
// With a single root the area is that root's box: its one entry has
// Parent -1 and is laid out over the whole area.
struct TPanelBox {
  int Parent = -1;
};

struct TPanelGeometry {
  std::vector<TPanelRect> Boxes;      // in area coordinates
  std::vector<TPanelRect> Summaries;  // the summary box inside each box
  int Width = 0;                      // the area's size; at least the view's
  int Height = 0;
  double Scale = 0;  // pixels per unit after clamping
};

// Units and fixed pixels per summary box and per box (see LayoutPanels).
constexpr int kSummaryUnits = 30;
// A summary box never gets lower than one line of text.
constexpr int kMinSummaryHeight = 18;
// Nor narrower than a few words.
constexpr int kMinSummaryWidth = 80;
constexpr int kChildIndent = 20;

// boxes: every box in depth-first order (a parent before its children).
// viewWidth, viewHeight: the visible client size of the left column.
TPanelGeometry LayoutPanels(const std::vector<TPanelBox>& boxes, int viewWidth, int viewHeight);

}  // namespace tessel
