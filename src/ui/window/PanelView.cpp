#include "ui/window/PanelView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "ui/window/PartPresentation.h"
#include "mime/bodypart.h"

namespace tessel {

TPanelView::TPanelView(QWidget* parent) : QAbstractScrollArea(parent) {
  setFrameShape(QFrame::NoFrame);
  viewport()->setMouseTracking(true);
  viewport()->setCursor(Qt::ArrowCursor);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setBackgroundRole(QPalette::Window);
}

void TPanelView::SetBoxes(std::vector<TEntry> entries) {
  Entries_ = std::move(entries);
  Index_.clear();
  Index_.reserve(Entries_.size());
  for (size_t i = 0; i < Entries_.size(); ++i) Index_.emplace(Entries_[i].Part, static_cast<int>(i));
  if (White_ && !HasBox(White_)) White_ = nullptr;
  if (Yellow_ && !HasBox(Yellow_)) Yellow_ = nullptr;
  Relayout();
}

void TPanelView::SetEmptyText(const QString& text) {
  EmptyText_ = text;
  viewport()->update();
}

void TPanelView::SetSelectedPart(const TBodyPart* part) {
  if (part == White_) return;
  White_ = part;
  viewport()->update();
}

void TPanelView::SetLockedPart(const TBodyPart* part) {
  if (part == Yellow_) return;
  Yellow_ = part;
  viewport()->update();
}

void TPanelView::Relayout() {
  std::vector<TPanelBox> boxes(Entries_.size());
  for (size_t i = 0; i < Entries_.size(); ++i) boxes[i].Parent = Entries_[i].Parent;
  // The layout fits the view; when it does not (clamped), the scroll bars
  // take their room and the layout is made again for what is left.
  QSize view = maximumViewportSize();
  int barW = verticalScrollBar()->sizeHint().width();
  int barH = horizontalScrollBar()->sizeHint().height();
  int w = view.width(), h = view.height();
  Geometry_ = LayoutPanels(boxes, w, h);
  bool needV = false, needH = false;
  for (int round = 0; round < 2; ++round) {
    bool v = Geometry_.Height > h, hz = Geometry_.Width > w;
    if (v == needV && hz == needH) break;
    needV = needV || v;
    needH = needH || hz;
    w = view.width() - (needV ? barW : 0);
    h = view.height() - (needH ? barH : 0);
    Geometry_ = LayoutPanels(boxes, w, h);
  }
  horizontalScrollBar()->setRange(0, std::max(0, Geometry_.Width - w));
  horizontalScrollBar()->setPageStep(w);
  verticalScrollBar()->setRange(0, std::max(0, Geometry_.Height - h));
  verticalScrollBar()->setPageStep(h);
  verticalScrollBar()->setSingleStep(20);
  viewport()->update();
}

QRect TPanelView::ToView(const TPanelRect& r) const {
  return QRect(r.X - horizontalScrollBar()->value(), r.Y - verticalScrollBar()->value(), r.W, r.H);
}

std::optional<QRect> TPanelView::SummaryRect(const TBodyPart* part) const {
  auto it = Index_.find(part);
  if (it == Index_.end()) return std::nullopt;
  return ToView(Geometry_.Summaries[static_cast<size_t>(it->second)]);
}

std::optional<QRect> TPanelView::BoxRect(const TBodyPart* part) const {
  auto it = Index_.find(part);
  if (it == Index_.end()) return std::nullopt;
  return ToView(Geometry_.Boxes[static_cast<size_t>(it->second)]);
}

TBodyPart* TPanelView::PartAt(QPoint p, bool* hitSummary) const {
  if (hitSummary) *hitSummary = false;
  int x = p.x() + horizontalScrollBar()->value();
  int y = p.y() + verticalScrollBar()->value();
  // Boxes nest in depth-first order: the last box holding the point is the
  // innermost one. A box that does not hold it lets its whole subtree be
  // skipped, which keeps this fast for thousands of boxes.
  int found = -1;
  size_t i = 0;
  size_t n = Entries_.size();
  while (i < n) {
    if (Geometry_.Boxes[i].Contains(x, y)) {
      found = static_cast<int>(i);
      ++i;
    } else {
      size_t j = i + 1;
      while (j < n) {
        // j is inside i's subtree while its chain of parents reaches i.
        int p2 = Entries_[j].Parent;
        while (p2 > static_cast<int>(i)) p2 = Entries_[static_cast<size_t>(p2)].Parent;
        if (p2 != static_cast<int>(i)) break;
        ++j;
      }
      i = j;
    }
  }
  if (found < 0) return nullptr;
  if (hitSummary) *hitSummary = Geometry_.Summaries[static_cast<size_t>(found)].Contains(x, y);
  return Entries_[static_cast<size_t>(found)].Part;
}

void TPanelView::EnsureVisible(const TBodyPart* part) {
  auto it = Index_.find(part);
  if (it == Index_.end()) return;
  const TPanelRect& r = Geometry_.Summaries[static_cast<size_t>(it->second)];
  QScrollBar* v = verticalScrollBar();
  int shown = viewport()->height();
  if (r.Y < v->value())
    v->setValue(r.Y - 2);
  else if (r.Bottom() > v->value() + shown)
    v->setValue(r.Bottom() + 2 - shown);
  QScrollBar* h = horizontalScrollBar();
  if (r.X < h->value() || r.X > h->value() + viewport()->width() - 40) h->setValue(r.X - 2);
}

QString TPanelView::SummaryOf(const TBodyPart* part) const {
  if (!part) return QString();
  return QString::fromStdU16String(SummaryText(*part, part == Yellow_));
}

void TPanelView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const QPalette& pal = palette();
  QRect exposed = event->rect();
  if (Entries_.empty()) {
    painter.setPen(pal.color(QPalette::WindowText));
    painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     EmptyText_);
    return;
  }
  QFontMetrics fm(font());
  for (size_t i = 0; i < Entries_.size(); ++i) {
    QRect box = ToView(Geometry_.Boxes[i]);
    if (!box.intersects(exposed)) continue;
    // A raised bevel, as a panel has.
    painter.setPen(pal.color(QPalette::Light));
    painter.drawLine(box.topLeft(), box.topRight());
    painter.drawLine(box.topLeft(), box.bottomLeft());
    painter.setPen(pal.color(QPalette::Dark));
    painter.drawLine(box.bottomLeft(), box.bottomRight());
    painter.drawLine(box.topRight(), box.bottomRight());

    QRect summary = ToView(Geometry_.Summaries[i]);
    if (!summary.intersects(exposed)) continue;
    const TBodyPart* part = Entries_[i].Part;
    QColor back = pal.color(QPalette::Button);
    QColor text = pal.color(QPalette::ButtonText);
    if (part && part == Yellow_) {
      back = QColor(Qt::yellow);
      text = QColor(Qt::black);
    } else if (part && part == White_) {
      back = QColor(Qt::white);
      text = QColor(Qt::black);
    }
    painter.fillRect(summary, back);
    if (!part) continue;
    painter.setPen(text);
    painter.save();
    painter.setClipRect(summary.intersected(exposed));
    QStringList lines = SummaryOf(part).split(QStringLiteral("\r\n"));
    // A summary squeezed below its text shows the lines that fit whole
    // (the first always), never the top half of the next one.
    int y = summary.top() + 1 + fm.ascent();
    for (qsizetype k = 0; k < lines.size(); ++k) {
      if (k > 0 && y - fm.ascent() + fm.height() > summary.bottom() + 1) break;
      painter.drawText(summary.left() + 2, y, lines[k]);
      y += fm.lineSpacing();
    }
    painter.restore();
  }
}

void TPanelView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  Relayout();
}

void TPanelView::scrollContentsBy(int, int) { viewport()->update(); }

void TPanelView::mouseMoveEvent(QMouseEvent* event) {
  if (OnPointer && event->buttons() == Qt::NoButton)
    OnPointer(PartAt(event->position().toPoint()), event->globalPosition().toPoint());
  QAbstractScrollArea::mouseMoveEvent(event);
}

void TPanelView::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  bool onSummary = false;
  TBodyPart* part = PartAt(event->position().toPoint(), &onSummary);
  if (onSummary && part && OnSummaryPress) OnSummaryPress(part, event->button());
  // The right button goes on to the context menu.
  QAbstractScrollArea::mousePressEvent(event);
}

void TPanelView::keyPressEvent(QKeyEvent* event) {
  if (OnKey && OnKey(event)) return;
  QAbstractScrollArea::keyPressEvent(event);
}

}  // namespace tessel
