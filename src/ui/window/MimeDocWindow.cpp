#include "ui/window/MimeDocWindow.h"

#include "ui/window/FindingsList.h"
#include "ui/window/SecurityBannerView.h"

#include <algorithm>
#include <functional>
#include <unordered_set>

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include "ui/window/DocWindowHost.h"
#include "ui/window/DocumentLoading.h"
#include "ui/window/ErrorNet.h"
#include "ui/window/PanelView.h"
#include "ui/window/PartImages.h"
#include "ui/window/PartPresentation.h"
#include "ui/window/PartDetails.h"
#include "smime/parts/SecuritySummary.h"
#include "smime/parts/SmimeBodyPart.h"
#include "util/text/LineEscape.h"
#include "util/system/WaitCursor.h"

namespace tessel {

const char* const kEmptyPanelText = "Drag an .eml file or an Outlook Express message onto the form. ";
const char* const kStructureHint = "Click a body part to lock it for viewing details";

namespace {

constexpr int kPartRole = Qt::UserRole;
constexpr int kLockedRole = Qt::UserRole + 1;
constexpr int kLeftColumnWidth = 425;

TBodyPart* PartOfNode(const QTreeWidgetItem* node) {
  return node ? reinterpret_cast<TBodyPart*>(node->data(0, kPartRole).value<quintptr>()) : nullptr;
}

// The locked node is drawn yellow with black text even while selected.
class TLockedNodeDelegate : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (!index.data(kLockedRole).toBool()) return QStyledItemDelegate::paint(painter, option, index);
    QStyleOptionViewItem opt(option);
    opt.state &= ~QStyle::State_Selected;
    opt.backgroundBrush = QBrush(Qt::yellow);
    opt.palette.setColor(QPalette::Text, Qt::black);
    QStyledItemDelegate::paint(painter, opt, index);
  }
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.data(kLockedRole).toBool()) {
      option->backgroundBrush = QBrush(Qt::yellow);
      option->palette.setColor(QPalette::Text, Qt::black);
    }
  }
};

}  // namespace

// The tree of parts: the pointer, the buttons and the keys go to the
// window's rules before the tree's own handling.
class TStructureTree : public QTreeWidget {
public:
  explicit TStructureTree(TDocWindow* doc) : QTreeWidget(doc), Doc_(doc) {}

protected:
  void mousePressEvent(QMouseEvent* event) override {
    QTreeWidgetItem* node = itemAt(event->position().toPoint());
    // The expand button beside a node expands it; it does not lock.
    if (node && event->position().x() >= visualItemRect(node).left())
      Guarded([&] { Doc_->OnTreePress(node, event->button()); });
    QTreeWidget::mousePressEvent(event);
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (event->buttons() == Qt::NoButton && !Doc_->IsOwnPointerMove(event->globalPosition().toPoint()))
      Guarded([&] { Doc_->OnTreeHover(itemAt(event->position().toPoint())); });
    QTreeWidget::mouseMoveEvent(event);
  }
  void keyPressEvent(QKeyEvent* event) override {
    bool taken = false;
    Guarded([&] { taken = Doc_->OnStructureKey(event->key(), false); });
    if (taken) return;
    FromKeyboard = true;
    QTreeWidget::keyPressEvent(event);
    FromKeyboard = false;
  }

public:
  bool FromKeyboard = false;

private:
  TDocWindow* Doc_;
};

TDocWindow::TDocWindow(TDocWindowHost* host, QWidget* parent) : QWidget(parent), Host_(host) {
  BuildUi();
  CreateActions();
  UpdateCommands();
}

TDocWindow::~TDocWindow() {
  // The views point into the message: they go first.
  ClearViews();
}

QTreeWidget* TDocWindow::Tree() const { return Tree_; }
QPlainTextEdit* TDocWindow::HeaderMemo() const { return Details_->HeaderMemo(); }
QPlainTextEdit* TDocWindow::RawMemo() const { return Details_->RawMemo(); }
QPlainTextEdit* TDocWindow::DecodedMemo() const { return Details_->DecodedMemo(); }
QTabWidget* TDocWindow::HeaderPages() const { return Details_->HeaderPages(); }
QTabWidget* TDocWindow::ContentPages() const { return Details_->ContentPages(); }
TPropExplorer* TDocWindow::HeaderInfo() const { return Details_->HeaderInfo(); }
TPropExplorer* TDocWindow::SmimeInfo() const { return Details_->SmimeInfo(); }

void TDocWindow::BuildUi() {
  auto* split = new QSplitter(Qt::Horizontal, this);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  Banner_ = new TSecurityBannerView(this);
  outer->addWidget(Banner_);
  outer->addWidget(split, 1);

  auto* left = new QWidget(split);
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  leftLayout->setSpacing(0);
  leftLayout->addWidget(CaptionStrip(QStringLiteral("MIME Structure"), left));
  Notice_ = new QLabel(left);
  Notice_->setWordWrap(false);
  Notice_->setTextFormat(Qt::PlainText);
  Notice_->setContentsMargins(4, 2, 4, 2);
  Notice_->setStyleSheet(QStringLiteral("QLabel { background: #fff3cd; color: #5c3c00; }"));
  Notice_->hide();
  leftLayout->addWidget(Notice_);
  Views_ = new QStackedWidget(left);
  leftLayout->addWidget(Views_, 1);
  FindingsList_ = new TFindingsList(left);
  FindingsList_->List()->setMaximumHeight(160);
  FindingsList_->OnSelect = [this](TBodyPart* part) { SelectFindingPart(part); };
  leftLayout->addWidget(FindingsList_);

  Tree_ = new TStructureTree(this);
  Tree_->setHeaderHidden(true);
  Tree_->setIndentation(19);
  Tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Tree_->setSelectionMode(QAbstractItemView::SingleSelection);
  Tree_->setMouseTracking(true);
  Tree_->setUniformRowHeights(true);
  Tree_->setItemDelegate(new TLockedNodeDelegate(Tree_));
  Tree_->setToolTip(QString::fromLatin1(kStructureHint));
  Tree_->setContextMenuPolicy(Qt::CustomContextMenu);
  // The selection stays visible while the tree has no focus.
  QPalette pal = Tree_->palette();
  pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
  pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
  Tree_->setPalette(pal);
  Views_->addWidget(Tree_);

  Panels_ = new TPanelView(Views_);
  Panels_->setToolTip(QString::fromLatin1(kStructureHint));
  Panels_->SetEmptyText(QString::fromLatin1(kEmptyPanelText));
  Panels_->setContextMenuPolicy(Qt::CustomContextMenu);
  Views_->addWidget(Panels_);

  auto* right = new QSplitter(Qt::Vertical, split);
  Details_ = std::make_unique<TPartDetails>(this, right);

  split->setStretchFactor(0, 0);
  split->setStretchFactor(1, 1);
  split->setSizes({kLeftColumnWidth, 600});

  connect(Tree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* node) { Guarded([&] { OnTreeCurrentChanged(node, Tree_->FromKeyboard); }); });
  connect(Tree_, &QTreeWidget::itemExpanded, this,
          [this](QTreeWidgetItem* node) { Guarded([&] { ExpandNode(node); }); });
  Panels_->OnPointer = [this](TBodyPart* part, QPoint global) {
    if (!IsOwnPointerMove(global)) Guarded([&] { OnPanelPointer(part); });
  };
  Panels_->OnSummaryPress = [this](TBodyPart* part, Qt::MouseButton button) {
    if (button == Qt::LeftButton) Guarded([&] { OnPanelPress(part); });
  };
  Panels_->OnKey = [this](QKeyEvent* event) {
    bool taken = false;
    Guarded([&] { taken = OnStructureKey(event->key(), true); });
    return taken;
  };
}

void TDocWindow::CreateActions() {
  auto make = [this](const char* caption, QKeySequence key, const char* hint) {
    auto* action = new QAction(QString::fromLatin1(caption), this);
    if (!key.isEmpty()) action->setShortcut(key);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    if (hint) {
      action->setStatusTip(QString::fromLatin1(hint));
      action->setToolTip(QString::fromLatin1(hint));
    }
    addAction(action);
    return action;
  };
  Actions_.Lock = make("&Lock", QKeySequence(Qt::CTRL | Qt::Key_L), "Lock part for viewing");
  Actions_.Unlock = make("&Unlock", {}, "Unlock locked part");
  Actions_.SaveContent =
      make("&Save content as...", QKeySequence(Qt::CTRL | Qt::Key_S), "Save body part decoded content to a file");
  Actions_.SaveRaw = make("Save &raw content as...", {}, "Save raw body content to a file");
  Actions_.SaveWhole =
      make("S&ave body part as...", QKeySequence(Qt::CTRL | Qt::Key_B), "Save body part header and content to a file");
  Actions_.GoDecoded = make("&Go to Decoded Content", QKeySequence(Qt::CTRL | Qt::Key_D), nullptr);
  Actions_.GoRaw = make("Go &to Raw Content", QKeySequence(Qt::CTRL | Qt::Key_R), nullptr);
  Actions_.GoHeader = make("Go to &Header", QKeySequence(Qt::CTRL | Qt::Key_H), nullptr);
  Actions_.Execute = make("&Execute...", QKeySequence(Qt::CTRL | Qt::Key_E), nullptr);

  connect(Actions_.Lock, &QAction::triggered, this, [this] {
    Guarded([&] {
      if (!SelectedPart_) return;
      SetLocked(SelectedPart_, true);
      ShowPartDetails(SelectedPart_);
    });
  });
  connect(Actions_.Unlock, &QAction::triggered, this, [this] { Guarded([&] { SetLocked(nullptr, true); }); });
  connect(Actions_.GoDecoded, &QAction::triggered, this, [this] { Details_->GoDecoded(); });
  connect(Actions_.GoRaw, &QAction::triggered, this, [this] { Details_->GoRaw(); });
  connect(Actions_.GoHeader, &QAction::triggered, this, [this] { Details_->GoHeader(); });
  auto save = [this](QAction* action, TSaveCommand command) {
    connect(action, &QAction::triggered, this,
            [this, command] { Guarded([&] { Details_->Save(command, CurrentPart()); }); });
  };
  save(Actions_.SaveContent, TSaveCommand::Content);
  save(Actions_.SaveRaw, TSaveCommand::RawContent);
  save(Actions_.SaveWhole, TSaveCommand::WholePart);
  connect(Actions_.Execute, &QAction::triggered, this, [this] { Guarded([&] { Details_->Execute(CurrentPart()); }); });

  ContextMenu_ = new QMenu(this);
  ContextMenu_->addAction(Actions_.Lock);
  ContextMenu_->addAction(Actions_.Unlock);
  ContextMenu_->addSeparator();
  ContextMenu_->addAction(Actions_.SaveContent);
  ContextMenu_->addAction(Actions_.SaveRaw);
  ContextMenu_->addAction(Actions_.SaveWhole);
  ContextMenu_->addSeparator();
  ContextMenu_->addAction(Actions_.GoDecoded);
  ContextMenu_->addAction(Actions_.GoRaw);
  ContextMenu_->addAction(Actions_.GoHeader);
  ContextMenu_->addSeparator();
  ContextMenu_->addAction(Actions_.Execute);
  auto popup = [this](QWidget* view, QPoint pos) {
    UpdateCommands();
    ContextMenu_->popup(view->mapToGlobal(pos));
  };
  connect(Tree_, &QWidget::customContextMenuRequested, this,
          [this, popup](QPoint pos) { popup(Tree_->viewport(), pos); });
  connect(Panels_, &QWidget::customContextMenuRequested, this,
          [this, popup](QPoint pos) { popup(Panels_->viewport(), pos); });
}

void TDocWindow::UpdateCommands() {
  bool lockShown = SelectedPart_ && SelectedPart_ != LockedPart_;
  bool unlockShown = LockedPart_ && SelectedPart_ == LockedPart_;
  Actions_.Lock->setVisible(lockShown);
  Actions_.Lock->setEnabled(lockShown);
  Actions_.Unlock->setVisible(unlockShown);
  Actions_.Unlock->setEnabled(unlockShown);
  bool decoded = Details_->HasDecodedPage();
  Actions_.GoDecoded->setVisible(decoded);
  Actions_.GoDecoded->setEnabled(decoded);
  TBodyPart* current = CurrentPart();
  for (QAction* a : {Actions_.SaveContent, Actions_.SaveRaw, Actions_.SaveWhole}) a->setEnabled(current != nullptr);
  // Evaluated whenever the menu opens: the caption names the program the
  // desktop's lookup will start.
  bool execute = TPartDetails::CanExecute(current);
  Actions_.Execute->setVisible(execute);
  Actions_.Execute->setEnabled(execute);
  if (execute) {
    // "&E" stays the accelerator; an "&" of the program's name is shown.
    QString caption = QString::fromStdString(TPartDetails::ExecuteItemCaption(*current));
    Actions_.Execute->setText(QStringLiteral("&") + caption.replace(QStringLiteral("&"), QStringLiteral("&&")));
  }
}

std::string TDocWindow::Subject() const {
  if (!Message_ || Message_->RootCount() == 0) return std::string();
  return Message_->Roots(0)->GetFieldUtf8("subject");
}

bool TDocWindow::HasDecodedContent() const { return Details_->HasDecodedPage(); }

TBodyPart* TDocWindow::CurrentPart() const {
  if (LockedPart_) return LockedPart_;
  if (SelectedPart_) return SelectedPart_;
  return DisplayedPart_;
}

QTreeWidgetItem* TDocWindow::NodeOf(const TBodyPart* part) const {
  auto it = Nodes_.find(part);
  return it == Nodes_.end() ? nullptr : it->second;
}

// --- loading ----------------------------------------------------------------

void TDocWindow::OpenFile(const QString& fileName) {
  TWaitCursor wait;
  FileName_ = fileName;
  ClearViews();
  TLoadedDocument doc = LoadDocumentFile(fileName.toStdString());
  SetMessage(std::move(doc.Message), QString::fromStdString(doc.Error));
}

void TDocWindow::LoadBytes(std::string bytes) {
  TWaitCursor wait;
  ClearViews();
  TLoadedDocument doc = LoadDocumentBytes(std::move(bytes));
  SetMessage(std::move(doc.Message), QString::fromStdString(doc.Error));
}

void TDocWindow::Reload() {
  if (!Message_) {
    if (!FileName_.isEmpty()) OpenFile(FileName_);
    return;
  }
  TWaitCursor wait;
  // Reparse frees every part: no node or box may point at one meanwhile.
  ClearViews();
  QString error;
  try {
    Message_->Reparse();
  } catch (...) {
    error = CurrentExceptionText();
  }
  ShowNotice(error);
  BuildViews();
}

void TDocWindow::SetMessage(std::unique_ptr<TMessage> message, const QString& error) {
  Message_ = std::move(message);
  // Opening a message in the viewer adds the certificates of its verified
  // signers to "AddressBook", so later messages from them verify.
  if (Message_ && RememberSigners_) RememberSigners(*Message_);
  ShowNotice(error);
  BuildViews();
}

void TDocWindow::ShowNotice(const QString& error) {
  LoadError_ = error;
  if (error.isEmpty()) {
    Notice_->hide();
    Notice_->clear();
    return;
  }
  Notice_->setText(QStringLiteral("Not opened as a message: ") +
                   QString::fromStdString(EscapeLine(error.toStdString())));
  Notice_->setToolTip(Notice_->text());
  Notice_->show();
}

void TDocWindow::ClearViews() {
  DisplayedPart_ = SelectedPart_ = LockedPart_ = nullptr;
  Locked_ = false;
  SelectingNode_ = true;
  Tree_->clear();
  SelectingNode_ = false;
  Nodes_.clear();
  Inner_.clear();
  Panels_->Clear();
  Panels_->SetSelectedPart(nullptr);
  Panels_->SetLockedPart(nullptr);
  Details_->Forget();
  Banner_->SetMessage(nullptr);
  FindingsList_->Clear();
  UpdateCommands();
}

void TDocWindow::BuildViews() {
  ClearViews();
  if (!Message_ || Message_->RootCount() == 0) return;
  std::vector<QTreeWidgetItem*> toExpand;
  QTreeWidgetItem* parent = nullptr;
  QTreeWidgetItem* top = nullptr;
  // Peeled S/MIME layers: each further root hangs below the one before.
  for (int32_t i = 0; i < Message_->RootCount(); ++i) {
    QTreeWidgetItem* node = AddNode(Message_->Roots(i), parent, toExpand);
    if (!top) top = node;
    toExpand.push_back(node);
    parent = node;
  }
  Tree_->setUpdatesEnabled(false);
  Tree_->addTopLevelItem(top);
  for (QTreeWidgetItem* node : toExpand) node->setExpanded(true);
  Tree_->setUpdatesEnabled(true);
  RebuildPanels();
  TBodyPart* root = Message_->Roots(0);
  ShowPartDetails(root);
  SetCurrent(root, false);
  Banner_->SetMessage(Message_.get());
  FindingsList_->SetFindings(DocumentFindings(*Message_));
}

void TDocWindow::SelectFindingPart(TBodyPart* part) {
  if (!part || !Message_) return;
  if (!NodeOf(part)) ExpandAll();
  if (!NodeOf(part)) return;
  SetLocked(nullptr, false);
  SetLocked(part, true);
  ShowPartDetails(part);
}

QTreeWidgetItem* TDocWindow::AddNode(TBodyPart* part, QTreeWidgetItem* parent,
                                     std::vector<QTreeWidgetItem*>& toExpand) {
  auto* node = new QTreeWidgetItem();
  node->setData(0, kPartRole, QVariant::fromValue(reinterpret_cast<quintptr>(part)));
  SetNodeLooks(node, part, false);
  Nodes_[part] = node;
  if (parent) parent->addChild(node);
  if (HasPlaceholder(*part)) {
    node->addChild(new QTreeWidgetItem());  // no part: expanded on demand
    return node;
  }
  for (int32_t i = 0; i < part->ChildCount(); ++i) AddNode(part->Children(i), node, toExpand);
  if (part->ChildCount() > 0) toExpand.push_back(node);
  return node;
}

void TDocWindow::SetNodeLooks(QTreeWidgetItem* node, const TBodyPart* part, bool locked) {
  node->setText(0, QString::fromStdU16String(NodeCaption(*part, locked)));
  node->setIcon(0, PartImage(PartImageIndex(*part)));
  node->setData(0, kLockedRole, locked);
}

void TDocWindow::RebuildPanels() {
  std::vector<TPanelView::TEntry> entries;
  if (Message_) {
    // A box per part in depth-first order; an expanded embedded message or
    // S/MIME layer is a box inside its part's box.
    std::function<void(TBodyPart*, int)> walk = [&](TBodyPart* part, int parent) {
      int index = static_cast<int>(entries.size());
      entries.push_back({part, parent});
      for (int32_t i = 0; i < part->ChildCount(); ++i) walk(part->Children(i), index);
      auto inner = Inner_.find(part);
      if (inner != Inner_.end()) walk(inner->second, index);
    };
    for (int32_t i = 0; i < Message_->RootCount(); ++i) walk(Message_->Roots(i), -1);
  }
  Panels_->SetBoxes(std::move(entries));
  Panels_->SetLockedPart(LockedPart_);
  if (!Locked_) Panels_->SetSelectedPart(SelectedPart_);
}

bool TDocWindow::ExpandNode(QTreeWidgetItem* node) {
  if (!node || node->childCount() != 1 || PartOfNode(node->child(0))) return true;
  TBodyPart* part = PartOfNode(node);
  if (!part) return false;
  TBodyPart* inner = nullptr;
  {
    TWaitCursor wait;
    try {
      inner = part->InnerRoot();
    } catch (...) {
      // Reported once for this attempt; the node closes again below.
      ReportError(CurrentExceptionText());
    }
  }
  if (!inner) {
    // The next expansion decodes again.
    if (auto* smime = dynamic_cast<TSmimeBodyPart*>(part)) smime->ResetDecoded();
    node->setExpanded(false);
    Panels_->viewport()->update();
    return false;
  }
  Tree_->setUpdatesEnabled(false);
  delete node->takeChild(0);
  std::vector<QTreeWidgetItem*> toExpand;
  QTreeWidgetItem* innerNode = AddNode(inner, node, toExpand);
  toExpand.push_back(innerNode);
  for (QTreeWidgetItem* n : toExpand) n->setExpanded(true);
  Tree_->setUpdatesEnabled(true);
  Inner_[part] = inner;
  RebuildPanels();
  return true;
}

bool TDocWindow::ExpandPart(TBodyPart* part) {
  QTreeWidgetItem* node = NodeOf(part);
  if (!node) return false;
  if (node->childCount() == 1 && !PartOfNode(node->child(0))) {
    node->setExpanded(true);  // runs ExpandNode through the tree's signal
    return node->childCount() == 1 && PartOfNode(node->child(0)) != nullptr;
  }
  node->setExpanded(true);
  return true;
}

void TDocWindow::ExpandAll() {
  // In rounds: every expansion may add nodes with placeholders. Each node is
  // tried once, so one that refuses does not report its error again.
  std::unordered_set<QTreeWidgetItem*> tried;
  for (bool more = true; more;) {
    more = false;
    std::vector<QTreeWidgetItem*> waiting;
    for (QTreeWidgetItemIterator it(Tree_); *it; ++it)
      if ((*it)->childCount() == 1 && !PartOfNode((*it)->child(0)) && tried.insert(*it).second) waiting.push_back(*it);
    for (QTreeWidgetItem* node : waiting) {
      node->setExpanded(true);
      if (node->isExpanded()) more = true;
    }
  }
  for (QTreeWidgetItemIterator it(Tree_); *it; ++it)
    if ((*it)->childCount() > 0 && PartOfNode((*it)->child(0))) (*it)->setExpanded(true);
}

// --- selection and locking --------------------------------------------------

void TDocWindow::SetCurrent(TBodyPart* part, bool movePointer) {
  if (part == SelectedPart_) return;
  SelectedPart_ = part;
  if (!Locked_) {
    Panels_->SetSelectedPart(part && Panels_->HasBox(part) ? part : nullptr);
    if (part && Panels_->HasBox(part)) {
      if (PanelsMode_) {
        Panels_->setFocus();
        if (movePointer) Panels_->EnsureVisible(part);
      }
      if (movePointer && PanelsMode_ && Panels_->isVisible())
        MovePointer(Panels_->viewport()->mapToGlobal(Panels_->SummaryRect(part)->topLeft() + QPoint(10, 10)));
    }
  }
  SelectingNode_ = true;
  Tree_->setCurrentItem(NodeOf(part));
  SelectingNode_ = false;
  UpdateCommands();
}

void TDocWindow::SetLocked(TBodyPart* part, bool selectNode) {
  if (part == LockedPart_) return;
  TBodyPart* old = LockedPart_;
  Locked_ = part != nullptr;
  LockedPart_ = part;
  Panels_->SetLockedPart(part);
  if (old) Panels_->SetSelectedPart(old == SelectedPart_ ? old : nullptr);
  if (QTreeWidgetItem* node = NodeOf(old)) SetNodeLooks(node, old, false);
  if (QTreeWidgetItem* node = NodeOf(part)) SetNodeLooks(node, part, true);
  if (part) Panels_->EnsureVisible(part);
  if (selectNode) {
    SelectingNode_ = true;
    Tree_->setCurrentItem(NodeOf(Locked_ ? LockedPart_ : SelectedPart_));
    SelectingNode_ = false;
  }
  UpdateCommands();
}

void TDocWindow::ShowPartDetails(TBodyPart* part) {
  if (Locked_ && part != LockedPart_) return;
  TWaitCursor wait;
  if (part == DisplayedPart_) return;
  DisplayedPart_ = part;
  Details_->Show(part);
  UpdateCommands();
  // After the commands follow the new part, so the host's menu copies
  // their state.
  if (Host_ && part) Host_->UpdateBodyPartMenu(this);
}

// --- the views' handlers ----------------------------------------------------

bool TDocWindow::PointerRulesApply() const { return isActiveWindow(); }

void TDocWindow::MovePointer(QPoint global) {
  // Only where the platform lets a program place the pointer; nothing
  // relies on it having moved.
  QString platform = QGuiApplication::platformName();
  if (platform != QLatin1String("xcb") && platform != QLatin1String("offscreen")) return;
  OwnPointerMove_ = global;
  QCursor::setPos(global);
}

bool TDocWindow::IsOwnPointerMove(QPoint global) {
  if (global != OwnPointerMove_) return false;
  OwnPointerMove_ = QPoint(-1000000, -1000000);
  return true;
}

void TDocWindow::OnTreePress(QTreeWidgetItem* node, Qt::MouseButton button) {
  TBodyPart* part = PartOfNode(node);
  if (!part) return;  // a placeholder
  SetCurrent(part, false);
  // A right click on the locked node keeps the lock for the context menu.
  if (part == LockedPart_ && Locked_ && button != Qt::RightButton)
    SetLocked(nullptr, false);
  else
    SetLocked(part, false);
  ShowPartDetails(part);
}

void TDocWindow::OnTreeHover(QTreeWidgetItem* node) {
  if (Locked_ || !PointerRulesApply() || !node || !PartOfNode(node)) return;
  Tree_->setFocus(Qt::MouseFocusReason);
  if (Tree_->currentItem() != node) Tree_->setCurrentItem(node);
}

void TDocWindow::OnTreeCurrentChanged(QTreeWidgetItem* node, bool fromKeyboard) {
  TBodyPart* part = PartOfNode(node);
  if (node && !part) return;  // a placeholder
  SetCurrent(part, false);
  if (!SelectingNode_ && Locked_ && part != LockedPart_) {
    Locked_ = false;
    TBodyPart* old = LockedPart_;
    LockedPart_ = nullptr;
    Panels_->SetLockedPart(nullptr);
    if (QTreeWidgetItem* oldNode = NodeOf(old)) SetNodeLooks(oldNode, old, false);
  }
  ShowPartDetails(part);
  if (fromKeyboard && node && Tree_->isVisible()) {
    QRect r = Tree_->visualItemRect(node);
    QPoint global = Tree_->viewport()->mapToGlobal(QPoint(0, r.center().y()));
    MovePointer(QPoint(QCursor::pos().x(), global.y()));
  }
  UpdateCommands();
}

void TDocWindow::OnPanelPointer(TBodyPart* part) {
  if (!PointerRulesApply()) return;
  SetCurrent(part, false);
  if (!Locked_ && SelectedPart_) ShowPartDetails(SelectedPart_);
}

void TDocWindow::OnPanelPress(TBodyPart* part) {
  Locked_ = !Locked_;
  SetCurrent(part, false);
  if (!Locked_ && SelectedPart_) ShowPartDetails(SelectedPart_);
  if (!Locked_ && part == LockedPart_)
    SetLocked(nullptr, false);
  else
    SetLocked(part, false);
  // A click shows its part, also when the pointer did not pass over it
  // first (a touch, a synthetic click).
  ShowPartDetails(part);
}

void TDocWindow::ToggleLockByKey() {
  if (Locked_)
    SetLocked(nullptr, true);
  else if (SelectedPart_) {
    SetLocked(SelectedPart_, true);
    ShowPartDetails(SelectedPart_);
  }
}

bool TDocWindow::OnStructureKey(int key, bool inPanels) {
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    ToggleLockByKey();
    return true;
  }
  if (!inPanels || (key != Qt::Key_Up && key != Qt::Key_Down)) return false;
  // The tree's overall order, placeholders skipped.
  std::vector<TBodyPart*> order;
  for (QTreeWidgetItemIterator it(Tree_); *it; ++it)
    if (TBodyPart* p = PartOfNode(*it); p && Panels_->HasBox(p)) order.push_back(p);
  if (order.empty()) return true;
  auto at = std::find(order.begin(), order.end(), SelectedPart_);
  TBodyPart* next = nullptr;
  if (at == order.end())
    next = order.front();
  else if (key == Qt::Key_Up)
    next = at == order.begin() ? nullptr : *(at - 1);
  else
    next = at + 1 == order.end() ? nullptr : *(at + 1);
  if (!next) return true;
  if (Locked_) {
    Locked_ = false;
    TBodyPart* old = LockedPart_;
    LockedPart_ = nullptr;
    Panels_->SetLockedPart(nullptr);
    if (QTreeWidgetItem* oldNode = NodeOf(old)) SetNodeLooks(oldNode, old, false);
  }
  SetCurrent(next, true);
  ShowPartDetails(next);
  return true;
}

void TDocWindow::SetViewMode(bool panels) {
  PanelsMode_ = panels;
  if (panels) {
    Views_->setCurrentWidget(Panels_);
    Panels_->setFocus();
    if (SelectedPart_ && Panels_->HasBox(SelectedPart_)) {
      Panels_->EnsureVisible(SelectedPart_);
      if (Panels_->isVisible())
        MovePointer(Panels_->viewport()->mapToGlobal(Panels_->SummaryRect(SelectedPart_)->topLeft() + QPoint(10, 10)));
    }
  } else {
    Views_->setCurrentWidget(Tree_);
    Tree_->setFocus();
    if (QTreeWidgetItem* node = NodeOf(SelectedPart_)) {
      Tree_->scrollToItem(node);
      if (Tree_->isVisible()) {
        QRect r = Tree_->visualItemRect(node);
        MovePointer(Tree_->viewport()->mapToGlobal(QPoint(r.left() + 10, r.center().y())));
      }
    }
  }
}

void TDocWindow::FocusStructure() {
  if (PanelsMode_)
    Panels_->setFocus();
  else
    Tree_->setFocus();
}

// --- window events ----------------------------------------------------------

void TDocWindow::closeEvent(QCloseEvent* event) {
  if (Host_) Host_->DocumentClosed(this);
  event->accept();
}

void TDocWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (!Host_) return;
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && DisplayedPart_)
    Host_->UpdateBodyPartMenu(this);
  else if (event->type() == QEvent::WindowStateChange)
    Host_->UpdateBodyPartMenu(isMinimized() ? nullptr : this);
}

void TDocWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (Host_ && DisplayedPart_) Host_->UpdateBodyPartMenu(this);
}

void TDocWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (Host_) Host_->UpdateBodyPartMenu(nullptr);
}

}  // namespace tessel
