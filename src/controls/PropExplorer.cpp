#include "controls/PropExplorer.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtMath>

#include <algorithm>
#include <limits>
#include <string_view>

namespace tessel {

namespace {

// Rows a mouse-wheel notch scrolls, and the wheel's units per notch.
constexpr int kWheelRows = 3;
constexpr int kWheelNotch = 120;
// Rows a scroll-bar page request moves.
constexpr int kPageRows = 5;
// A second click on the editor steps the value list only this soon after
// the press that armed it, and only this close to it (squared pixels).
constexpr quint64 kStepClickMs = 1000;
constexpr int kStepClickSlop2 = 25;
// Text is cut before drawing to this many characters per pixel of its cell:
// a 100 kB header value must not be laid out whole on every paint.
constexpr int kCharsPerPixel = 4;

const QColor kValueColor(0, 0, 128);
const QColor kRowLineColor(128, 128, 128);

QString ToQString(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// What a cell shows of a text: at most what could fit, with control
// characters shown as their visible pictures, so a value cannot break the
// row or pass for something else.
QString CellText(const std::string& text, int width) {
  size_t limit = static_cast<size_t>(std::max(width, 0)) * kCharsPerPixel + 4;
  QString s = ToQString(text.size() > limit ? text.substr(0, limit) : text);
  for (QChar& c : s) {
    ushort u = c.unicode();
    if (u < 0x20)
      c = QChar(0x2400 + u);
    else if (u == 0x7F)
      c = QChar(0x2421);
  }
  return s;
}

void FillLine(QPainter& p, int x, int y, int w, int h, const QColor& color) {
  if (w > 0 && h > 0) p.fillRect(QRect(x, y, w, h), color);
}

}  // namespace

// Select and the other multi-step changes run inside BeginUpdate/EndUpdate;
// the guard ends the update also when a handler throws.
class TPropExplorer::TUpdateGuard {
public:
  explicit TUpdateGuard(TPropExplorer& control) : Control_(control) { Control_.BeginUpdate(); }
  ~TUpdateGuard() { Control_.EndUpdate(); }
  TUpdateGuard(const TUpdateGuard&) = delete;
  TUpdateGuard& operator=(const TUpdateGuard&) = delete;

private:
  TPropExplorer& Control_;
};

TPropExplorer::TPropExplorer(QWidget* owner) : QAbstractScrollArea(owner), Root_(std::make_unique<TPEItem>()) {
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  viewport()->setAutoFillBackground(false);
  verticalScrollBar()->setSingleStep(1);
  verticalScrollBar()->setPageStep(kPageRows);
  verticalScrollBar()->setRange(0, 0);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (!SyncingScrollBar_ && value != ScrollPos_) ScrollTo(value);
  });
  setGeometry(0, 0, 200, 100);

  Editor_ = new QLineEdit(viewport());
  Editor_->setFrame(false);
  // The default cap (32767) would cut long header values on the way back.
  Editor_->setMaxLength(std::numeric_limits<int>::max());
  Editor_->setMouseTracking(true);
  Editor_->hide();
  Editor_->installEventFilter(this);
  connect(Editor_, &QLineEdit::textEdited, this, [this] { EditorDirty_ = true; });

  Button_ = new QPushButton(QStringLiteral("..."), viewport());
  QFont bold = Button_->font();
  bold.setBold(true);
  Button_->setFont(bold);
  Button_->setFocusPolicy(Qt::NoFocus);
  Button_->hide();
  connect(Button_, &QPushButton::clicked, this, [this] {
    if (Current_ && Current_->OnButtonClick) {
      TPEItem::TNotifyEvent handler = Current_->OnButtonClick;
      handler(*Current_);
    }
    Repaint();
  });

  FocusConnection_ = connect(qApp, &QApplication::focusChanged, this,
                             [this](QWidget* old, QWidget* now) { OnFocusChanged(old, now); });

  Root_->SetExpanded(true);
  Root_->OnStructureChanged = [this](TPEItem&) { StructureChanged(); };
  Root_->OnValueChanged = [this](TPEItem& item) { ValueChanged(item); };
  Root_->OnRemoving = [this](TPEItem& item) { Removing(item); };
  TopItem_ = Root_.get();
  ComputeItemHeight();
  Metrics_.Margin = 3;
  Metrics_.NameColWidth = 100;
}

TPropExplorer::~TPropExplorer() {
  // The children (the editor) are deleted after this body, and deleting a
  // focused one reports a focus change; nothing may reach this object then.
  disconnect(FocusConnection_);
  Editor_->removeEventFilter(this);
  Root_->OnStructureChanged = nullptr;
  Root_->OnValueChanged = nullptr;
  Root_->OnRemoving = nullptr;
}

QColor TPropExplorer::Color() const { return palette().color(QPalette::Button); }

TPEMetrics TPropExplorer::Metrics() const {
  TPEMetrics m = Metrics_;
  m.ClientWidth = viewport()->width();
  m.ClientHeight = viewport()->height();
  return m;
}

void TPropExplorer::ComputeItemHeight() {
  Metrics_.FontHeight = fontMetrics().height();
  Metrics_.ItemHeight = Metrics_.FontHeight + 4;
}

TPEItem* TPropExplorer::FirstRow() const {
  return TopItem_ == Root_.get() ? (Root_->Expanded() ? Root_->Child(0) : nullptr) : TopItem_;
}

void TPropExplorer::SetNameColWidth(int32_t width) {
  Metrics_.NameColWidth = width;
  Repaint();
  PlaceEditor();
}

void TPropExplorer::SetReadOnly(bool flag) {
  ReadOnly_ = flag;
  if (EditItem_) Editor_->setReadOnly(ReadOnly_ || EditItem_->OnButtonClick);
}

void TPropExplorer::Repaint() {
  if (UpdateLock_ > 0)
    RepaintDue_ = true;
  else
    viewport()->update();
}

// ---------------------------------------------------------------------------
// Tree notifications

void TPropExplorer::StructureChanged() {
  if (UpdateLock_ > 0) {
    RecomputeDue_ = true;
    return;
  }
  RecomputeScroll();
}

void TPropExplorer::ValueChanged(TPEItem& item) {
  if (&item == EditItem_) {
    QString text = ToQString(item.Value());
    if (Editor_->text() != text) Editor_->setText(text);
    EditorDirty_ = false;
  }
  Repaint();
}

void TPropExplorer::Removing(TPEItem& item) {
  if (item.Contains(EditItem_)) {
    // The row is going: nothing to commit it to.
    EditItem_ = nullptr;
    EditorDirty_ = false;
    Editor_->hide();
    Button_->hide();
  }
  if (item.Contains(Current_)) Current_ = nullptr;
  if (item.Contains(BottomItem_)) BottomItem_ = nullptr;
  if (item.Contains(TopItem_)) {
    // The row shown before the leaving one takes the top; the scroll range
    // is put right when the structure notification follows.
    TPEItem* prev = item.PrevShown();
    TopItem_ = (!prev || prev == Root_.get()) ? Root_.get() : prev;
  }
  Repaint();
}

void TPropExplorer::RecomputeScroll() {
  // A collapsed ancestor hides the top row: its highest collapsed ancestor
  // is the row that stays in view.
  TPEItem* hiddenBy = nullptr;
  for (TPEItem* p = TopItem_->Parent(); p && p != Root_.get(); p = p->Parent())
    if (!p->Expanded()) hiddenBy = p;
  if (hiddenBy) TopItem_ = hiddenBy;

  TPEMetrics m = Metrics();
  Rows_ = CountShownRows(*Root_);
  MaxScroll_ = MaxScrollFor(m, Rows_);
  ScrollPos_ = TopItem_ == Root_.get() ? 0 : std::max(0, ShownIndex(*TopItem_));
  if (MaxScroll_ == 0 || ScrollPos_ == 0) {
    TopItem_ = Root_.get();
    ScrollPos_ = 0;
  } else if (ScrollPos_ > MaxScroll_) {
    for (; ScrollPos_ > MaxScroll_; --ScrollPos_) TopItem_ = TopItem_->PrevShown();
  }
  SyncScrollBar();
  Repaint();
  PlaceEditor();
}

void TPropExplorer::SyncScrollBar() {
  SyncingScrollBar_ = true;
  verticalScrollBar()->setRange(0, MaxScroll_);
  verticalScrollBar()->setValue(ScrollPos_);
  SyncingScrollBar_ = false;
}

void TPropExplorer::BeginUpdate() { ++UpdateLock_; }

void TPropExplorer::EndUpdate() {
  if (UpdateLock_ == 0 || --UpdateLock_ > 0) return;
  if (RecomputeDue_) {
    RecomputeDue_ = false;
    RecomputeScroll();  // repaints
  }
  if (RepaintDue_) {
    RepaintDue_ = false;
    viewport()->update();
  }
}

// ---------------------------------------------------------------------------
// Rows

void TPropExplorer::Clear() {
  EndEdit();
  Root_->Clear();
  TopItem_ = Root_.get();
  BottomItem_ = nullptr;
  EditItem_ = nullptr;
  Current_ = nullptr;
  RecomputeScroll();
}

TPEItem* TPropExplorer::AddValue(const std::string& path, const std::string& value) {
  TPEItem* item = Root_.get();
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of(",/\\", start);
    if (end == std::string::npos) end = path.size();
    if (end > start) {
      std::string_view part(path.data() + start, end - start);
      TPEItem* found = nullptr;
      for (int32_t i = 0; i < item->Count() && !found; ++i)
        if (item->Child(i)->Name == part) found = item->Child(i);
      item = found ? found : item->AddChild(std::string(part));
    }
    start = end + 1;
  }
  item->SetValue(value);
  return item;
}

// ---------------------------------------------------------------------------
// Scrolling

void TPropExplorer::ScrollBy(int32_t rows) {
  int64_t target = static_cast<int64_t>(ScrollPos_) + rows;
  ScrollTo(static_cast<int32_t>(std::clamp<int64_t>(target, 0, MaxScroll_)));
}

void TPropExplorer::ScrollTo(int32_t pos) {
  pos = std::clamp(pos, 0, MaxScroll_);
  if (pos == ScrollPos_) return;
  TPEItem* row = FirstRow();
  for (int32_t i = ScrollPos_; i < pos && row; ++i) row = row->NextShown();
  for (int32_t i = ScrollPos_; i > pos && row; --i) row = row->PrevShown();
  TopItem_ = (pos == 0 || !row) ? Root_.get() : row;
  ScrollPos_ = pos;
  SyncScrollBar();
  Repaint();
  PlaceEditor();
}

void TPropExplorer::scrollContentsBy(int, int) {
  // The scroll bar's value is followed through valueChanged.
}

// ---------------------------------------------------------------------------
// Selection and editing

void TPropExplorer::Select(TPEItem* item) {
  TUpdateGuard guard(*this);
  if (item != Current_) {
    Current_ = item;
    RepaintDue_ = true;
    int32_t index = item ? ShownIndex(*item) : -1;
    // A hidden row is selected where it is; it comes into view when its
    // parents are expanded.
    if (index >= 0) {
      int32_t fit = std::max(1, FullRows(Metrics()));
      if (index < ScrollPos_)
        ScrollTo(index);
      else if (index >= ScrollPos_ + fit)
        ScrollTo(index - fit + 1);
    }
  }
  if (item != EditItem_ || !item) StartEdit(item);
}

void TPropExplorer::StartEdit(TPEItem* item) {
  EndEdit();
  if (!item) return;
  EditItem_ = item;
  if (OnEditing) {
    TOnEdited handler = OnEditing;
    handler(*this, *item);
  }
  if (EditItem_ != item) return;  // the handler freed or moved on from it
  Editor_->setText(ToQString(item->Value()));
  EditorDirty_ = false;
  Editor_->setReadOnly(ReadOnly_ || item->OnButtonClick);
  Editor_->selectAll();
  if (item->Values) {
    QStringList all;
    for (const std::string& v : *item->Values) all << ToQString(v);
    Editor_->setToolTip(all.join(QLatin1Char(';')));
  } else {
    Editor_->setToolTip(QString());
  }
  PlaceEditor();
  if (isVisible() && Editor_->isVisible()) Editor_->setFocus(Qt::OtherFocusReason);
}

void TPropExplorer::CommitEdit() {
  TPEItem* item = EditItem_;
  if (!item) return;
  std::string value = EditorDirty_ ? Editor_->text().toStdString() : item->Value();
  item->SetValue(std::move(value));
  if (OnEdited && EditItem_ == item) {
    TOnEdited handler = OnEdited;
    handler(*this, *item);
  }
}

void TPropExplorer::EndEdit() {
  TPEItem* item = EditItem_;
  if (!item) return;
  CommitEdit();
  if (EditItem_ == item) {
    EditItem_ = nullptr;
    EditorDirty_ = false;
    Armed_ = false;
    bool hadFocus = Editor_->hasFocus();
    Editor_->hide();
    Button_->hide();
    if (hadFocus && isVisible()) setFocus(Qt::OtherFocusReason);  // the focus stays with the control
  }
}

void TPropExplorer::PlaceEditor() {
  TPEMetrics m = Metrics();
  int32_t y = -1;
  if (EditItem_) {
    // Visible only between the top row and the last row that fits.
    int32_t fit = FullRows(m);
    TPEItem* row = FirstRow();
    for (int32_t k = 0; row && k < fit; ++k, row = row->NextShown())
      if (row == EditItem_) {
        y = RowTop(m, k);
        break;
      }
  }
  if (y < 0) {
    Editor_->hide();
    Button_->hide();
    return;
  }
  TPERect e = EditorRect(m, y);
  Editor_->setGeometry(e.Left, e.Top, e.Width, e.Height);
  Editor_->show();
  if (EditItem_->OnButtonClick) {
    TPERect b = ButtonRect(m, y);
    Button_->setGeometry(b.Left, b.Top, b.Width, b.Height);
    Button_->setToolTip(ToQString(EditItem_->ButtonHint));
    Button_->show();
    Button_->raise();
  } else {
    Button_->hide();
  }
}

void TPropExplorer::StepValue() {
  if (!EditItem_ || !EditItem_->Values || EditItem_->Values->empty()) return;
  std::string next = EditItem_->NextValue(Editor_->text().toStdString());
  Editor_->setText(ToQString(next));
  Editor_->selectAll();
  EditorDirty_ = true;
}

void TPropExplorer::OnFocusChanged(QWidget* old, QWidget* now) {
  auto inside = [this](QWidget* w) { return w && (w == this || isAncestorOf(w)); };
  if (EditItem_ && inside(old) && !inside(now)) CommitEdit();  // the editor stays where it is
}

// ---------------------------------------------------------------------------
// Painting

void TPropExplorer::PrepareGlyphs(qreal ratio) {
  if (ratio == GlyphRatio_) return;
  GlyphRatio_ = ratio;
  auto make = [ratio](bool plus) {
    int side = qCeil(kGlyphSize * ratio);
    QPixmap pm(side, side);
    pm.setDevicePixelRatio(ratio);
    pm.fill(Qt::white);
    QPainter p(&pm);
    const QColor frame(128, 128, 128);
    FillLine(p, 0, 0, kGlyphSize, 1, frame);
    FillLine(p, 0, kGlyphSize - 1, kGlyphSize, 1, frame);
    FillLine(p, 0, 0, 1, kGlyphSize, frame);
    FillLine(p, kGlyphSize - 1, 0, 1, kGlyphSize, frame);
    FillLine(p, 2, 4, 5, 1, Qt::black);            // x 2 to 7 at y 4
    if (plus) FillLine(p, 4, 2, 1, 5, Qt::black);  // y 2 to 7 at x 4
    return pm;
  };
  MinusGlyph_ = make(false);
  PlusGlyph_ = make(true);
}

void TPropExplorer::PrepareRowLine(int width) {
  // One dotted line, drawn once per width and pixel density: dot by dot on
  // every row of every paint, it took most of a repaint's time.
  if (width == RowLine_.deviceIndependentSize().width() && RowLine_.devicePixelRatio() == GlyphRatio_) return;
  RowLine_ = QPixmap(qCeil(std::max(width, 1) * GlyphRatio_), qCeil(GlyphRatio_));
  RowLine_.setDevicePixelRatio(GlyphRatio_);
  RowLine_.fill(Qt::transparent);
  QPainter p(&RowLine_);
  for (int x = 0; x < width; x += 2) FillLine(p, x, 0, 1, 1, kRowLineColor);
}

void TPropExplorer::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  PrepareGlyphs(p.device()->devicePixelRatioF());
  TPEMetrics m = Metrics();
  PrepareRowLine(m.ClientWidth);
  const QPalette& pal = palette();
  const QColor shadow = pal.color(QPalette::Dark);
  const QColor light = pal.color(QPalette::Light);
  p.fillRect(QRect(0, 0, m.ClientWidth, m.ClientHeight), Color());
  p.setFont(font());

  BottomItem_ = nullptr;
  int y = m.Margin;
  const int nameRight = m.NameColWidth - 3;
  const int valueLeft = m.NameColWidth + 2;
  const int valueRight = m.ClientWidth - 2;
  for (TPEItem* row = FirstRow(); row && y < m.ClientHeight; row = row->NextShown()) {
    if (RowFits(m, y)) BottomItem_ = row;
    int x = GlyphX(row->Level());
    if (row->Count() > 0) p.drawPixmap(x, y + 2, row->Expanded() ? MinusGlyph_ : PlusGlyph_);
    row->X = x;
    row->Y = y;
    QRect nameCell(x + 11, y, nameRight - (x + 11), m.ItemHeight);
    if (nameCell.width() > 0 && !row->Name.empty()) {
      p.setClipRect(nameCell);
      p.setPen(pal.color(QPalette::ButtonText));
      p.drawText(nameCell.adjusted(0, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                 CellText(row->Name, nameCell.width()));
      p.setClipping(false);
    }
    QRect valueCell(valueLeft, y, valueRight - valueLeft, m.ItemHeight);
    if (valueCell.width() > 0 && !row->Value().empty()) {
      p.setClipRect(valueCell);
      p.setPen(kValueColor);
      p.drawText(valueCell.adjusted(0, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                 CellText(row->Value(), valueCell.width()));
      p.setClipping(false);
    }
    int bottom = y + m.ItemHeight - 1;
    if (row == Current_) {
      FillLine(p, 0, y, m.ClientWidth, 1, shadow);
      FillLine(p, 0, y, 1, m.ItemHeight, shadow);
      FillLine(p, 0, bottom, m.ClientWidth, 1, light);
      FillLine(p, m.ClientWidth - 1, y, 1, m.ItemHeight, light);
    } else {
      p.drawPixmap(0, bottom, RowLine_);
    }
    y += m.ItemHeight;
  }

  FillLine(p, m.NameColWidth - 1, 1, 1, m.ClientHeight - 2, shadow);
  FillLine(p, m.NameColWidth, 1, 1, m.ClientHeight - 2, light);
}

// ---------------------------------------------------------------------------
// Input

TPEHit TPropExplorer::HitTestAt(int32_t x, int32_t y) { return HitTest(Metrics(), FirstRow(), x, y); }

void TPropExplorer::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  QPoint pos = event->position().toPoint();
  TPEHit hit = HitTestAt(pos.x(), pos.y());
  switch (hit.Kind) {
    case TPEHitKind::Nothing: return;
    case TPEHitKind::Divider:
      Select(nullptr);
      Resizing_ = true;
      return;
    case TPEHitKind::ExpandBox:
      if (hit.Item->Count() > 0) hit.Item->SetExpanded(!hit.Item->Expanded());
      Select(hit.Item);
      return;
    case TPEHitKind::NameCell: Select(hit.Item); return;
    case TPEHitKind::ValueCell:
      Select(hit.Item);
      if (Editor_->isVisible()) {
        Armed_ = true;
        ArmedPos_ = Editor_->mapFrom(viewport(), pos);
        ArmedTime_ = event->timestamp();
      }
      return;
  }
}

void TPropExplorer::mouseMoveEvent(QMouseEvent* event) {
  QPoint pos = event->position().toPoint();
  if (Resizing_) {
    if (DividerMayMoveTo(Metrics(), pos.x())) SetNameColWidth(pos.x());
    return;
  }
  if (HitTestAt(pos.x(), pos.y()).Kind == TPEHitKind::Divider)
    viewport()->setCursor(Qt::SplitHCursor);
  else
    viewport()->unsetCursor();
}

void TPropExplorer::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) Resizing_ = false;
}

void TPropExplorer::wheelEvent(QWheelEvent* event) {
  // Fine-grained wheels send parts of a notch; the rest waits for the next.
  WheelRest_ += event->angleDelta().y();
  int rows = WheelRest_ * kWheelRows / kWheelNotch;
  WheelRest_ -= rows * kWheelNotch / kWheelRows;
  if (rows != 0) ScrollBy(-rows);
  event->accept();
}

void TPropExplorer::MoveSelection(int32_t rows) {
  TPEItem* row = Current_ && Current_->IsShown() ? Current_ : nullptr;
  if (!row) {
    Select(Root_->Expanded() ? Root_->Child(0) : nullptr);
    return;
  }
  for (; rows > 0; --rows) {
    TPEItem* next = row->NextShown();
    if (!next) break;
    row = next;
  }
  for (; rows < 0; ++rows) {
    TPEItem* prev = row->PrevShown();
    if (!prev || prev == Root_.get()) break;
    row = prev;
  }
  if (row != Current_) Select(row);
}

void TPropExplorer::keyPressEvent(QKeyEvent* event) {
  int page = std::max(1, FullRows(Metrics()));
  TPEItem* cur = Current_;
  if (event->matches(QKeySequence::Copy)) {
    if (cur) QApplication::clipboard()->setText(ToQString(cur->Name + ": " + cur->Value()));
    return;
  }
  switch (event->key()) {
    case Qt::Key_Up: MoveSelection(-1); return;
    case Qt::Key_Down: MoveSelection(1); return;
    case Qt::Key_PageUp: MoveSelection(-page); return;
    case Qt::Key_PageDown: MoveSelection(page); return;
    case Qt::Key_Home: Select(Root_->Expanded() ? Root_->Child(0) : nullptr); return;
    case Qt::Key_End: Select(Root_->Expanded() && Root_->Count() > 0 ? Root_->LastShown() : nullptr); return;
    case Qt::Key_Left:
      if (cur && cur->Count() > 0 && cur->Expanded())
        cur->SetExpanded(false);
      else if (cur && cur->Parent() && cur->Parent() != Root_.get())
        Select(cur->Parent());
      return;
    case Qt::Key_Right:
      if (cur && cur->Count() > 0) {
        if (!cur->Expanded())
          cur->SetExpanded(true);
        else
          Select(cur->Child(0));
      }
      return;
    default: QAbstractScrollArea::keyPressEvent(event);
  }
}

bool TPropExplorer::EditorFilter(QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() != Qt::Key_Up && key->key() != Qt::Key_Down) return false;
      TPEItem* from = EditItem_ ? EditItem_ : Current_;
      if (from) {
        TPEItem* to = key->key() == Qt::Key_Up ? from->PrevShown() : from->NextShown();
        if (to && to != Root_.get() && from->IsShown()) Select(to);
      }
      return true;
    }
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      QPoint d = mouse->position().toPoint() - ArmedPos_;
      if (Armed_ && d.x() * d.x() + d.y() * d.y() > kStepClickSlop2) Armed_ = false;
      return false;
    }
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton && Armed_) {
        Armed_ = false;
        if (mouse->timestamp() - ArmedTime_ < kStepClickMs) {
          StepValue();
          SteppedPressTime_ = mouse->timestamp();
          HasSteppedPress_ = true;
          return true;  // the step selected the whole value; keep it so
        }
      }
      return false;
    }
    case QEvent::MouseButtonDblClick: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (!EditItem_ || !EditItem_->Values || EditItem_->Values->empty())
        return false;  // the line edit's own word selection
      Armed_ = false;
      if (!(HasSteppedPress_ && mouse->timestamp() == SteppedPressTime_)) StepValue();
      HasSteppedPress_ = false;
      return true;
    }
    default: return false;
  }
}

bool TPropExplorer::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Editor_) return EditorFilter(event);
  return QAbstractScrollArea::eventFilter(watched, event);
}

void TPropExplorer::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  StructureChanged();
}

void TPropExplorer::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    ComputeItemHeight();
    QFont bold = font();
    bold.setBold(true);
    Button_->setFont(bold);
    StructureChanged();
  }
}

}  // namespace tessel
