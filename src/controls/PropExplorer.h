// The property explorer: a two-column tree of name/value rows.
//
// The left column holds the names, indented by depth, with a plus/minus box
// for rows that have children; the right column holds the values. The
// selected row (Current) shows a borderless editor over its value cell; a
// row with OnButtonClick also shows a "..." button and takes no typing, and
// a row with Values steps through them on a second click within a second or
// on a double-click. The change reaches the item when the edit ends (or the
// control loses the focus): SetValue, then OnEdited.
//
// Rows are TPEItem trees (PEItem.h) under Root, owned by the control; the
// geometry comes from PELayout.h. Fill the control between BeginUpdate and
// EndUpdate so the scroll range is computed and the control painted once.
//
// Invariants kept on every change, freeing of rows included: Current,
// EditItem, TopItem and BottomItem point at rows of the tree or are none
// (TopItem is the root when the view starts at the top), TopItem is a shown
// row, and ScrollPos lies in 0 .. MaxScroll. Current may be a hidden row
// (its parent was collapsed); the editor is then hidden.
//
// Beyond the mouse: the wheel scrolls three rows a notch; with the focus on
// the control itself, Up/Down, Page Up/Down, Home/End move the selection,
// Left collapses (or goes to the parent), Right expands (or goes to the
// first child) and Ctrl+C copies "Name: Value" of the selected row. The
// editor stays selectable and copyable when read-only.
#pragma once

#include <QAbstractScrollArea>
#include <QPixmap>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "controls/PEItem.h"
#include "controls/PELayout.h"

class QLineEdit;
class QPushButton;
class QMouseEvent;

namespace tessel {

class TPropExplorer : public QAbstractScrollArea {
public:
  using TOnEdited = std::function<void(TPropExplorer& Sender, TPEItem& Item)>;

  explicit TPropExplorer(QWidget* owner = nullptr);
  ~TPropExplorer() override;

  TPEItem& Root() { return *Root_; }
  TPEItem* Current() const { return Current_; }
  TPEItem* EditItem() const { return EditItem_; }
  TPEItem* TopItem() const { return TopItem_; }
  // Last row that fitted completely at the last paint.
  TPEItem* BottomItem() const { return BottomItem_; }

  int32_t ItemHeight() const { return Metrics_.ItemHeight; }
  int32_t Margin() const { return Metrics_.Margin; }
  int32_t NameColWidth() const { return Metrics_.NameColWidth; }
  void SetNameColWidth(int32_t width);
  bool ReadOnly() const { return ReadOnly_; }
  void SetReadOnly(bool flag);

  int32_t ScrollPos() const { return ScrollPos_; }
  int32_t MaxScroll() const { return MaxScroll_; }
  int32_t Rows() const { return Rows_; }
  int32_t UpdateLock() const { return UpdateLock_; }

  QLineEdit& Editor() const { return *Editor_; }
  QPushButton& Button() const { return *Button_; }
  // The background: the palette's button face.
  QColor Color() const;
  // Geometry in the coordinates of the drawing surface (viewport()).
  TPEMetrics Metrics() const;

  TOnEdited OnEditing;
  TOnEdited OnEdited;

  // Ends any edit, frees every row and returns to the top.
  void Clear();
  void BeginUpdate();
  void EndUpdate();
  // Walks path (parts split at ',', '/' and '\', empty parts skipped) from
  // the root, taking the first child of each name (case-sensitive) and
  // making the missing ones, and sets the value of the item reached. Two
  // rows of one name under one parent need AddChild/AddItem.
  TPEItem* AddValue(const std::string& path, const std::string& value);

  // Makes item the current row (nullptr: none), scrolls it into view and
  // moves the editing to it.
  void Select(TPEItem* item);
  void StartEdit(TPEItem* item);
  void EndEdit();
  // Scrolls by rows (clamped to 0 .. MaxScroll).
  void ScrollBy(int32_t rows);

  TPEHit HitTestAt(int32_t x, int32_t y);

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  class TUpdateGuard;

  void StructureChanged();
  void ValueChanged(TPEItem& item);
  void Removing(TPEItem& item);
  void RecomputeScroll();
  void ScrollTo(int32_t pos);
  void SyncScrollBar();
  void Repaint();
  void PlaceEditor();
  void CommitEdit();
  void StepValue();
  void ComputeItemHeight();
  TPEItem* FirstRow() const;
  void MoveSelection(int32_t rows);
  bool EditorFilter(QEvent* event);
  void OnFocusChanged(QWidget* old, QWidget* now);
  void PrepareGlyphs(qreal ratio);
  void PrepareRowLine(int width);

  std::unique_ptr<TPEItem> Root_;
  TPEItem* Current_ = nullptr;
  TPEItem* EditItem_ = nullptr;
  TPEItem* TopItem_ = nullptr;
  TPEItem* BottomItem_ = nullptr;
  TPEMetrics Metrics_;
  bool ReadOnly_ = false;
  int32_t ScrollPos_ = 0;
  int32_t MaxScroll_ = 0;
  int32_t Rows_ = 0;
  int32_t UpdateLock_ = 0;
  bool RecomputeDue_ = false;
  bool RepaintDue_ = false;
  bool SyncingScrollBar_ = false;

  QLineEdit* Editor_ = nullptr;
  QPushButton* Button_ = nullptr;
  // The editor's text differs from the item's value by the user's doing
  // (typing or stepping). Until then an edit writes back the item's own
  // bytes: the editor holds Unicode text, and a value that is not valid
  // UTF-8 would not survive the round trip.
  bool EditorDirty_ = false;

  bool Resizing_ = false;
  // The click timer armed by a press on a value cell.
  bool Armed_ = false;
  QPoint ArmedPos_;
  quint64 ArmedTime_ = 0;
  // Timestamp of the editor press that stepped the value, so the double
  // click made of the same press does not step it twice.
  quint64 SteppedPressTime_ = 0;
  bool HasSteppedPress_ = false;
  int WheelRest_ = 0;

  qreal GlyphRatio_ = 0;
  QPixmap PlusGlyph_;
  QPixmap MinusGlyph_;
  QPixmap RowLine_;
  QMetaObject::Connection FocusConnection_;
};

}  // namespace tessel
