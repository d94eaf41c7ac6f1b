// The panel view: every part a box with its summary box at the top and its
// children's boxes nested below. The boxes are painted, not widgets: a
// message with thousands of parts opens at once, and the area scrolls when
// the clamped layout (PanelLayout.h) is larger than the view.
//
// The view holds no rules of its own: the document window says which part
// is selected (white) and locked (yellow), and receives the pointer, the
// buttons and the keys through the callbacks.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "ui/window/PanelLayout.h"

namespace tessel {

class TBodyPart;

class TPanelView : public QAbstractScrollArea {
public:
  explicit TPanelView(QWidget* parent = nullptr);

  // One entry per box in depth-first order; Parent as in TPanelBox, -1 for
  // a root's box.
  struct TEntry {
    TBodyPart* Part = nullptr;
    int Parent = -1;
  };
  void SetBoxes(std::vector<TEntry> entries);
  void Clear() { SetBoxes({}); }
  int BoxCount() const { return static_cast<int>(Entries_.size()); }
  const TEntry& Box(int i) const { return Entries_[static_cast<size_t>(i)]; }
  bool HasBox(const TBodyPart* part) const { return Index_.count(part) != 0; }
  // The text shown while the view holds no box.
  void SetEmptyText(const QString& text);
  QString EmptyText() const { return EmptyText_; }

  void SetSelectedPart(const TBodyPart* part);  // painted white
  void SetLockedPart(const TBodyPart* part);    // painted yellow, locked text
  const TBodyPart* WhitePart() const { return White_; }
  const TBodyPart* YellowPart() const { return Yellow_; }

  // Geometry in view coordinates (after scrolling), for the pointer rules
  // and the tests; nullopt for a part without a box.
  std::optional<QRect> SummaryRect(const TBodyPart* part) const;
  std::optional<QRect> BoxRect(const TBodyPart* part) const;
  const TPanelGeometry& Geometry() const { return Geometry_; }
  // The part of the innermost box at a view point; hitSummary tells
  // whether the point is on its summary box. nullptr outside every box.
  TBodyPart* PartAt(QPoint viewPoint, bool* hitSummary = nullptr) const;
  void EnsureVisible(const TBodyPart* part);
  // The summary text as painted.
  QString SummaryOf(const TBodyPart* part) const;

  std::function<void(TBodyPart* part, QPoint global)> OnPointer;
  std::function<void(TBodyPart* part, Qt::MouseButton button)> OnSummaryPress;
  // Returns true when the key was taken.
  std::function<bool(QKeyEvent* event)> OnKey;

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

private:
  void Relayout();
  QRect ToView(const TPanelRect& r) const;

  std::vector<TEntry> Entries_;
  std::unordered_map<const TBodyPart*, int> Index_;
  TPanelGeometry Geometry_;
  QString EmptyText_;
  const TBodyPart* White_ = nullptr;
  const TBodyPart* Yellow_ = nullptr;
};

}  // namespace tessel
