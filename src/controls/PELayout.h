// Where the property explorer puts things, as plain arithmetic.
//
// The control draws rows from its top row down, one every ItemHeight pixels
// starting Margin pixels below the top; these functions say where a row, a
// glyph, the editor and the "..." button lie and what a point hits, so that
// painting, placing the editor and hit testing can never disagree, and all
// of it is tested without a screen.
#pragma once

#include <cstdint>

namespace tessel {

class TPEItem;

struct TPEMetrics {
  int32_t FontHeight = 0;  // the font's pixel height
  int32_t ItemHeight = 4;  // FontHeight + 4
  int32_t Margin = 3;      // above the first and below the last row
  int32_t NameColWidth = 100;
  int32_t ClientWidth = 0;
  int32_t ClientHeight = 0;
};

struct TPERect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  friend bool operator==(const TPERect&, const TPERect&) = default;
};

// Side of the square plus/minus glyph.
inline constexpr int32_t kGlyphSize = 9;
// A press this close to the divider (either side) grabs it.
inline constexpr int32_t kDividerGrip = 2;
// The divider cannot be dragged closer than this to either edge.
inline constexpr int32_t kDividerEdge = 5;

// Left of the glyph of a row at level (1 for top-level rows).
inline int32_t GlyphX(int32_t level) { return 5 + kGlyphSize * (level - 1); }
// Top of the k-th row drawn (0 for the top row).
inline int32_t RowTop(const TPEMetrics& m, int32_t k) { return m.Margin + k * m.ItemHeight; }
// Whether a row at top y fits completely: its bottom (y + font height + 2)
// lies above the client height less the margin.
inline bool RowFits(const TPEMetrics& m, int32_t y) { return y + m.FontHeight + 2 < m.ClientHeight - m.Margin; }
// Number of rows from the top row that fit completely.
int32_t FullRows(const TPEMetrics& m);
// Largest scroll position for that many shown rows; 0 when all fit.
int32_t MaxScrollFor(const TPEMetrics& m, int32_t rows);
// Whether a divider drag to x moves the divider.
inline bool DividerMayMoveTo(const TPEMetrics& m, int32_t x) {
  return x > kDividerEdge && x < m.ClientWidth - kDividerEdge;
}

// The editor over the value cell of a row at top y, and the "..." button
// (a square of the row's height at the row's right end).
TPERect EditorRect(const TPEMetrics& m, int32_t y);
TPERect ButtonRect(const TPEMetrics& m, int32_t y);

enum class TPEHitKind { Nothing, Divider, ExpandBox, NameCell, ValueCell };

struct TPEHit {
  TPEHitKind Kind = TPEHitKind::Nothing;
  TPEItem* Item = nullptr;
};

// What the point (x, y) hits when the rows are drawn from firstRow (the
// top row; nullptr when there are none). Within kDividerGrip of
// NameColWidth: the divider; otherwise the row under y (none: nothing), its
// value cell right of the divider, its expand box from the row's glyph x
// to 9 pixels right of it, else its name cell.
TPEHit HitTest(const TPEMetrics& m, TPEItem* firstRow, int32_t x, int32_t y);

}  // namespace tessel
