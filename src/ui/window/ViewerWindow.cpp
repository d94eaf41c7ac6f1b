#include "ui/window/ViewerWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QTabWidget>

#include "ui/window/ErrorNet.h"
#include "ui/window/MimeDocWindow.h"

namespace tessel {

TViewerWindow::TViewerWindow() {
  setWindowTitle(QStringLiteral("Tessel"));
  resize(1100, 700);
  Pages_ = new QTabWidget(this);
  Pages_->setDocumentMode(true);
  Pages_->setTabsClosable(true);
  setCentralWidget(Pages_);
  connect(Pages_, &QTabWidget::tabCloseRequested, this, [this](int i) { CloseDocument(i); });
  connect(Pages_, &QTabWidget::currentChanged, this, [this] { UpdateBodyPartMenu(ActiveDocument()); });

  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  QAction* open = file->addAction(QStringLiteral("&Open..."));
  open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  connect(open, &QAction::triggered, this, [this] {
    Guarded([&] {
      QString name =
          QFileDialog::getOpenFileName(this, QString(), QString(), QStringLiteral("EML files (*.eml);;All files (*)"));
      if (!name.isEmpty()) OpenFile(name);
    });
  });
  QAction* close = file->addAction(QStringLiteral("&Close"));
  close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));
  connect(close, &QAction::triggered, this, [this] { CloseDocument(Pages_->currentIndex()); });
  file->addSeparator();
  QAction* exit = file->addAction(QStringLiteral("E&xit"));
  exit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
  connect(exit, &QAction::triggered, this, &QWidget::close);

  BodyPartMenu_ = menuBar()->addMenu(QStringLiteral("&BodyPart"));
  GoStructure_ = new QAction(QStringLiteral("Go to &MIME structure"), this);
  GoStructure_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
  connect(GoStructure_, &QAction::triggered, this, [this] {
    if (TDocWindow* doc = ActiveDocument()) doc->FocusStructure();
  });
  addAction(GoStructure_);
  BodyPartMenu_->menuAction()->setVisible(false);

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  auto* group = new QActionGroup(this);
  ViewTree_ = view->addAction(QStringLiteral("View As Tree"));
  ViewTree_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  ViewPanels_ = view->addAction(QStringLiteral("View As Panels"));
  ViewPanels_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  for (QAction* a : {ViewTree_, ViewPanels_}) {
    a->setCheckable(true);
    group->addAction(a);
  }
  ViewTree_->setChecked(true);
  connect(ViewTree_, &QAction::triggered, this, [this] { Guarded([&] { SetViewMode(false); }); });
  connect(ViewPanels_, &QAction::triggered, this, [this] { Guarded([&] { SetViewMode(true); }); });
}

// Documents tell their host when they close: they go while this window is
// still whole, not later with the base class's children.
TViewerWindow::~TViewerWindow() {
  while (Pages_->count() > 0) {
    QWidget* page = Pages_->widget(0);
    Pages_->removeTab(0);
    delete page;
  }
}

TDocWindow* TViewerWindow::OpenFile(const QString& fileName) {
  auto* doc = new TDocWindow(this, Pages_);
  int index = Pages_->addTab(doc, QFileInfo(fileName).fileName());
  Pages_->setTabToolTip(index, fileName);
  Pages_->setCurrentIndex(index);
  doc->OpenFile(fileName);
  doc->SetViewMode(Panels_);
  return doc;
}

TDocWindow* TViewerWindow::ActiveDocument() const { return dynamic_cast<TDocWindow*>(Pages_->currentWidget()); }

void TViewerWindow::SetViewMode(bool panels) {
  Panels_ = panels;
  (panels ? ViewPanels_ : ViewTree_)->setChecked(true);
  for (int i = 0; i < Pages_->count(); ++i)
    if (auto* doc = dynamic_cast<TDocWindow*>(Pages_->widget(i))) doc->SetViewMode(panels);
}

void TViewerWindow::UpdateBodyPartMenu(TDocWindow* doc) {
  if (doc && doc != ActiveDocument()) return;
  BodyPartMenu_->clear();
  BodyPartMenu_->menuAction()->setVisible(doc != nullptr);
  if (!doc) return;
  const TDocActions& a = doc->Actions();
  BodyPartMenu_->addActions({a.SaveContent, a.SaveRaw, a.SaveWhole});
  BodyPartMenu_->addSeparator();
  BodyPartMenu_->addActions({a.GoDecoded, a.GoRaw, a.GoHeader, GoStructure_});
}

void TViewerWindow::DocumentClosed(TDocWindow*) { UpdateBodyPartMenu(nullptr); }

void TViewerWindow::CloseDocument(int index) {
  auto* doc = dynamic_cast<TDocWindow*>(Pages_->widget(index));
  if (!doc) return;
  doc->close();
  Pages_->removeTab(index);
  doc->deleteLater();
}

}  // namespace tessel
