#include "controls/PELayout.h"

#include <algorithm>

#include "controls/PEItem.h"

namespace tessel {

int32_t FullRows(const TPEMetrics& m) {
  if (m.ItemHeight <= 0 || !RowFits(m, RowTop(m, 0))) return 0;
  // Row k fits while Margin + k * ItemHeight + FontHeight + 2 < ClientHeight - Margin.
  int32_t room = m.ClientHeight - 2 * m.Margin - m.FontHeight - 2;  // > 0 here
  return (room - 1) / m.ItemHeight + 1;
}

int32_t MaxScrollFor(const TPEMetrics& m, int32_t rows) {
  int32_t page = m.ItemHeight > 0 ? (m.ClientHeight - 2 * m.Margin) / m.ItemHeight : 0;
  return std::max(0, rows - std::max(0, page));
}

TPERect EditorRect(const TPEMetrics& m, int32_t y) {
  return {m.NameColWidth + 2, y + 1, m.ClientWidth - m.NameColWidth - 3, m.ItemHeight - 2};
}

TPERect ButtonRect(const TPEMetrics& m, int32_t y) {
  return {m.ClientWidth - m.ItemHeight, y, m.ItemHeight, m.ItemHeight};
}

TPEHit HitTest(const TPEMetrics& m, TPEItem* firstRow, int32_t x, int32_t y) {
  if (x >= m.NameColWidth - kDividerGrip && x <= m.NameColWidth + kDividerGrip) return {TPEHitKind::Divider, nullptr};
  if (m.ItemHeight <= 0 || y < m.Margin || y >= m.ClientHeight) return {};
  int32_t k = (y - m.Margin) / m.ItemHeight;
  TPEItem* row = firstRow;
  for (int32_t i = 0; row && i < k; ++i) row = row->NextShown();
  if (!row) return {};
  if (x > m.NameColWidth) return {TPEHitKind::ValueCell, row};
  int32_t glyph = GlyphX(row->Level());
  if (x >= glyph && x <= glyph + kGlyphSize) return {TPEHitKind::ExpandBox, row};
  return {TPEHitKind::NameCell, row};
}

}  // namespace tessel
