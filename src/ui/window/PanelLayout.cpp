#include "ui/window/PanelLayout.h"

#include <algorithm>
#include <cmath>

namespace tessel {

namespace {

struct TLayoutRun {
  const std::vector<TPanelBox>& Boxes;
  std::vector<std::vector<int>> Children;
  TPanelGeometry& Out;
  int SummaryHeight = 0;

  // Lays out box i at (x, y) with width w; returns its height.
  int Place(int i, int x, int y, int w) {
    TPanelRect summary{x + 2, y + 2, std::max(w - 4, 1), SummaryHeight};
    int bottom = summary.Bottom();  // relative to the area
    int childTop = bottom + 2;
    int childWidth = w - 24;
    for (size_t k = 0; k < Children[i].size(); ++k) {
      int child = Children[i][k];
      int h = Place(child, x + kChildIndent, childTop, childWidth);
      bottom = childTop + h;
      childTop = bottom + 2;
    }
    Out.Summaries[i] = summary;
    Out.Boxes[i] = TPanelRect{x, y, w, bottom + 2 - y};
    return Out.Boxes[i].H;
  }
};

}  // namespace

TPanelGeometry LayoutPanels(const std::vector<TPanelBox>& boxes, int viewWidth, int viewHeight) {
  TPanelGeometry g;
  g.Width = std::max(viewWidth, 0);
  g.Height = std::max(viewHeight, 0);
  if (boxes.empty()) return g;
  size_t n = boxes.size();
  g.Boxes.resize(n);
  g.Summaries.resize(n);

  std::vector<std::vector<int>> children(n);
  std::vector<int> roots;
  std::vector<int> depth(n, 0);
  for (size_t i = 0; i < n; ++i) {
    int p = boxes[i].Parent;
    if (p < 0 || static_cast<size_t>(p) >= i) {
      roots.push_back(static_cast<int>(i));
    } else {
      children[p].push_back(static_cast<int>(i));
      depth[i] = depth[p] + 1;
    }
  }
  // Units and fixed pixels: a box with a summary box counts 30 units and 6
  // pixels, 2 more per child box; the area with one box per root counts 2
  // pixels and 2 per root box. The root boxes of several roots share the
  // height in equal slices, so each counts as much as the largest one.
  std::vector<int64_t> subUnits(n, kSummaryUnits), subFixed(n, 0);
  for (size_t i = n; i-- > 0;) {
    subFixed[i] += 6 + 2 * static_cast<int64_t>(children[i].size());
    int p = boxes[i].Parent;
    if (p >= 0 && static_cast<size_t>(p) < i) {
      subUnits[p] += subUnits[i];
      subFixed[p] += subFixed[i];
    }
  }
  bool singleRoot = roots.size() == 1;
  int64_t units = 0, fixed = 0;
  if (singleRoot) {
    units = subUnits[roots[0]];
    fixed = subFixed[roots[0]];
  } else {
    for (int r : roots) {
      units = std::max(units, subUnits[r]);
      fixed = std::max(fixed, subFixed[r]);
    }
    int64_t count = static_cast<int64_t>(roots.size());
    units *= count;
    fixed = fixed * count + 2 + 2 * count;
  }

  double scale = (static_cast<double>(viewHeight) - 4 - static_cast<double>(fixed)) / static_cast<double>(units);
  double minScale = static_cast<double>(kMinSummaryHeight) / kSummaryUnits;
  g.Scale = std::max(scale, minScale);

  // Each level is 24 pixels narrower than its parent; the deepest summary
  // box must keep its minimum width, else the area grows sideways.
  int maxDepth = *std::max_element(depth.begin(), depth.end());
  int outerWidth = singleRoot ? g.Width : g.Width - 4;
  int needed = 24 * maxDepth + 4 + kMinSummaryWidth;
  if (outerWidth < needed) {
    g.Width += needed - outerWidth;
    outerWidth = needed;
  }

  TLayoutRun run{boxes, std::move(children), g};
  run.SummaryHeight = std::max(static_cast<int>(kSummaryUnits * g.Scale), kMinSummaryHeight);
  int bottom = 0;
  if (singleRoot) {
    bottom = run.Place(roots[0], 0, 0, outerWidth);
  } else {
    int slice = 0;
    for (int r : roots) slice = std::max(slice, run.Place(r, 2, 0, outerWidth));
    // Laid out again at their places, every root box one slice high.
    int top = 2;
    for (int r : roots) {
      run.Place(r, 2, top, outerWidth);
      g.Boxes[static_cast<size_t>(r)].H = slice;
      bottom = top + slice;
      top = bottom + 2;
    }
    bottom += 2;
  }
  g.Height = std::max(g.Height, bottom);
  return g;
}

}  // namespace tessel
