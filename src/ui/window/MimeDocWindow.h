// The document window: one message, its MIME structure as a tree or as
// nested boxes on the left, and the details of one part on the right.
//
// Which part's details are shown follows the pointer or the keyboard,
// unless a part is locked: the locked part keeps its details on screen and
// the commands act on it (CurrentPart). Every text and colour of a node or
// box comes from PartPresentation.h; the panel geometry from
// PanelLayout.h.
//
// Invariant: SelectedPart, DisplayedPart and LockedPart are nullptr or
// parts of Message; every node and box is dropped before the parts they
// point at are freed (a new load, a reparse).
#pragma once

#include <QPoint>
#include <QWidget>
#include <memory>
#include <string>
#include <unordered_map>

#include "mime/Message.h"

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace tessel {

class TDocWindowHost;
class TFindingsList;
class TSecurityBannerView;
class TPartDetails;
class TPropExplorer;
class TPanelView;
class TStructureTree;

// The commands of the structure views' context menu; the main window puts
// the same actions into its menu bar, so the menu, the context menu and
// the keyboard never disagree.
struct TDocActions {
  QAction* Lock = nullptr;
  QAction* Unlock = nullptr;
  QAction* SaveContent = nullptr;
  QAction* SaveRaw = nullptr;
  QAction* SaveWhole = nullptr;
  QAction* GoDecoded = nullptr;
  QAction* GoRaw = nullptr;
  QAction* GoHeader = nullptr;
  QAction* Execute = nullptr;
};

class TDocWindow : public QWidget {
public:
  explicit TDocWindow(TDocWindowHost* host = nullptr, QWidget* parent = nullptr);
  ~TDocWindow() override;

  // Loading. A file or bytes that do not load leave an empty window with
  // the reason in its notice line.
  void OpenFile(const QString& fileName);
  void LoadBytes(std::string bytes);
  // Parses the kept text again (the reopen of the current file).
  void Reload();

  TMessage* Message() const { return Message_.get(); }
  QString FileName() const { return FileName_; }
  // Why the last load gave no message ("" when it did).
  QString LoadError() const { return LoadError_; }
  // The decoded "Subject" of the first root as UTF-8, "" without one.
  std::string Subject() const;
  // Whether the shown part has its "Transport-Decoded" page.
  bool HasDecodedContent() const;

  void SetViewMode(bool panels);
  bool PanelsMode() const { return PanelsMode_; }
  void SetCurrent(TBodyPart* part, bool movePointer);
  void SetLocked(TBodyPart* part, bool selectNode);
  void ShowPartDetails(TBodyPart* part);
  // Expands the node of part (an embedded message or S/MIME part); false
  // when it has no inner root now.
  bool ExpandPart(TBodyPart* part);
  // Expands every node, embedded messages and S/MIME layers included.
  void ExpandAll();
  // "Go to MIME structure": focus the structure view.
  void FocusStructure();

  TBodyPart* SelectedPart() const { return SelectedPart_; }
  TBodyPart* LockedPart() const { return LockedPart_; }
  TBodyPart* DisplayedPart() const { return DisplayedPart_; }
  bool Locked() const { return Locked_; }
  // What the commands act on: the locked part, else the selected part,
  // else the displayed part.
  TBodyPart* CurrentPart() const;

  const TDocActions& Actions() const { return Actions_; }
  QMenu* ContextMenu() const { return ContextMenu_; }
  // Brings the context menu's items up to date for the current state.
  void UpdateCommands();

  // The parts of the window, for the host and the tests.
  QTreeWidget* Tree() const;
  TPanelView* Panels() const { return Panels_; }
  QTreeWidgetItem* NodeOf(const TBodyPart* part) const;
  QLabel* Notice() const { return Notice_; }
  // The security banner above the views and the findings list under the
  // structure view.
  TSecurityBannerView* Banner() const { return Banner_; }
  TFindingsList* FindingsView() const { return FindingsList_; }
  // Selects and locks part (a finding's), making its node first when it
  // lies inside content not yet opened in the tree.
  void SelectFindingPart(TBodyPart* part);
  QPlainTextEdit* HeaderMemo() const;
  QPlainTextEdit* RawMemo() const;
  QPlainTextEdit* DecodedMemo() const;
  QTabWidget* HeaderPages() const;
  QTabWidget* ContentPages() const;
  TPropExplorer* HeaderInfo() const;
  TPropExplorer* SmimeInfo() const;
  TPartDetails& Details() const { return *Details_; }
  // Whether loading a message adds its verified signers' certificates to
  // "AddressBook" (the viewer's windows do; off by default).
  void SetRememberSigners(bool flag) { RememberSigners_ = flag; }

protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  friend class TStructureTree;
  void BuildUi();
  void CreateActions();
  void SetMessage(std::unique_ptr<TMessage> message, const QString& error);
  void ClearViews();
  void BuildViews();
  QTreeWidgetItem* AddNode(TBodyPart* part, QTreeWidgetItem* parent, std::vector<QTreeWidgetItem*>& toExpand);
  void RebuildPanels();
  void SetNodeLooks(QTreeWidgetItem* node, const TBodyPart* part, bool locked);
  bool ExpandNode(QTreeWidgetItem* node);
  void ShowNotice(const QString& error);
  void MovePointer(QPoint global);
  bool IsOwnPointerMove(QPoint global);
  bool PointerRulesApply() const;

  // Handlers of the two views.
  void OnTreePress(QTreeWidgetItem* node, Qt::MouseButton button);
  void OnTreeHover(QTreeWidgetItem* node);
  void OnTreeCurrentChanged(QTreeWidgetItem* node, bool fromKeyboard);
  void OnPanelPointer(TBodyPart* part);
  void OnPanelPress(TBodyPart* part);
  bool OnStructureKey(int key, bool inPanels);
  void ToggleLockByKey();

  TDocWindowHost* Host_;
  std::unique_ptr<TMessage> Message_;
  QString FileName_;
  QString LoadError_;
  TBodyPart* DisplayedPart_ = nullptr;
  TBodyPart* SelectedPart_ = nullptr;
  TBodyPart* LockedPart_ = nullptr;
  bool Locked_ = false;
  bool PanelsMode_ = false;
  // The window is selecting a node itself: the selection handler's unlock
  // rule does not apply.
  bool SelectingNode_ = false;
  // The pointer position the window moved the pointer to last: the move
  // event it causes is not the user's.
  QPoint OwnPointerMove_{-1000000, -1000000};
  std::unordered_map<const TBodyPart*, QTreeWidgetItem*> Nodes_;
  // Parts whose inner root has been added below them (expanded once).
  std::unordered_map<const TBodyPart*, TBodyPart*> Inner_;

  QLabel* Notice_ = nullptr;
  TSecurityBannerView* Banner_ = nullptr;
  TFindingsList* FindingsList_ = nullptr;
  QStackedWidget* Views_ = nullptr;
  TStructureTree* Tree_ = nullptr;
  TPanelView* Panels_ = nullptr;
  std::unique_ptr<TPartDetails> Details_;
  bool RememberSigners_ = false;
  QMenu* ContextMenu_ = nullptr;
  TDocActions Actions_;
};

// Captions of the window, as shown.
extern const char* const kEmptyPanelText;
extern const char* const kStructureHint;

}  // namespace tessel
