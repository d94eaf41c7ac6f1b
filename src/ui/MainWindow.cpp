#include "ui/MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "ui/AboutWindow.h"
#include "ui/DropFormats.h"
#include "ui/WindowArrangement.h"
#include "ui/WindowSettings.h"
#include "config/QXConf.h"
#include "util/system/TempFiles.h"

namespace tessel {

namespace {

QString FromBytes(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::string CurrentDirectory() {
  std::error_code error;
  std::filesystem::path dir = std::filesystem::current_path(error);
  return error ? std::string("/") : dir.string();
}

TRect RectOf(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }

// A document's frame in the window area. It reports an accepted close at
// once: the window itself is freed only later, and the menus must not list
// it meanwhile.
class TDocumentFrame : public QMdiSubWindow {
public:
  std::function<void()> OnClosed;

protected:
  void closeEvent(QCloseEvent* event) override {
    QMdiSubWindow::closeEvent(event);
    if (event->isAccepted() && OnClosed) OnClosed();
  }
};

}  // namespace

QStringList TMainDialogs::ChooseFiles(QWidget* parent) {
  QFileDialog dialog(parent, QStringLiteral("Open"));
  // "*" and not "*.*": Linux names need no dot.
  dialog.setNameFilters({QStringLiteral("EML files (*.eml)"), QStringLiteral("All files (*)")});
  dialog.setDefaultSuffix(QStringLiteral("eml"));
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}

void TMainDialogs::ShowError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, QStringLiteral("Tessel"), text);
}

void TMainDialogs::ShowAbout(QWidget* parent) {
  TAboutWindow about(parent);
  about.exec();
}

TKelTesselMainWindow::TKelTesselMainWindow(TQXConfigFile& config, TDocumentFactory factory,
                                           std::unique_ptr<TMainDialogs> dialogs, QWidget* parent)
    : QMainWindow(parent), Config_(config), Factory_(std::move(factory)), Dialogs_(std::move(dialogs)) {
  if (!Dialogs_) Dialogs_ = std::make_unique<TMainDialogs>();
  setObjectName(QStringLiteral("TKelTesselMainWindow"));
  setWindowTitle(QStringLiteral("Tessel"));
  Area_ = new QMdiArea(this);
  setCentralWidget(Area_);
  connect(Area_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* window) {
    const TDocumentEntry* entry = EntryOf(window);
    UpdateBodyPartMenu(entry ? entry->Document : nullptr);
  });
  BuildMenus();
  RestorePlacement();
  (ReadViewAsPanels(Config_) ? ViewPanelsAction_ : ViewTreeAction_)->setChecked(true);
  InitOptions(Config_, CurrentDirectory());
  Recent_.Assign(ReadFileList(Config_, kRecentFilesKey));
  UpdateReopenMenu(std::string());
  UpdateBodyPartMenu(nullptr);
  statusBar();
  // Drops on any control of the window: the window takes what its
  // controls do not, and the filter takes what they would.
  setAcceptDrops(true);
  qApp->installEventFilter(this);
}

TKelTesselMainWindow::~TKelTesselMainWindow() {
  SaveSettings();
  ShuttingDown_ = true;
  qApp->removeEventFilter(this);
  // The documents go first, while this object is whole; they do not call
  // back into it.
  delete Area_;
  Area_ = nullptr;
  Documents_.clear();
}

QAction* TKelTesselMainWindow::AddAction(QMenu* menu, const QString& caption, const QKeySequence& shortcut,
                                         std::function<void()> onTrigger) {
  auto* action = new QAction(caption, this);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  connect(action, &QAction::triggered, this, [onTrigger = std::move(onTrigger)] { onTrigger(); });
  if (menu) menu->addAction(action);
  return action;
}

void TKelTesselMainWindow::BuildMenus() {
  using C = TMainDocument::TCommand;
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  AddAction(file, QStringLiteral("&Open..."), QKeySequence(QStringLiteral("Ctrl+O")), [this] {
    for (const QString& name : Dialogs_->ChooseFiles(this)) OpenFile(name.toStdString());
  });
  ReopenMenu_ = file->addMenu(QStringLiteral("&Reopen"));
  CloseAction_ = AddAction(file, QStringLiteral("&Close"), QKeySequence(QStringLiteral("Ctrl+F4")), [this] {
    if (QMdiSubWindow* window = Area_->activeSubWindow()) window->close();
  });
  CloseAllAction_ = AddAction(file, QStringLiteral("Close &All"), {}, [this] { Area_->closeAllSubWindows(); });
  CloseAction_->setVisible(false);
  CloseAllAction_->setVisible(false);
  file->addSeparator();
  AddAction(file, QStringLiteral("E&xit"), QKeySequence(QStringLiteral("Alt+F4")), [this] { close(); });
  // The Reopen menu shows it only while there are documents; the window
  // holds it so that its shortcut works whether the menu shows it or not.
  CurrentFileAction_ = AddAction(nullptr, QStringLiteral("Current File"), QKeySequence(QStringLiteral("Ctrl+F5")),
                                 [this] { WithActive([](TMainDocument& d) { d.Reload(); }); });
  addAction(CurrentFileAction_);

  BodyPartMenu_ = menuBar()->addMenu(QStringLiteral("&BodyPart"));
  // The items run the active document's own actions. Their keys are the
  // document's too: the items' shortcuts only show in the menu (a second
  // action with the same key in the window would make Qt fire neither).
  auto bodyPartItem = [this](const char* caption, const char* key, C command) {
    QAction* item = AddAction(BodyPartMenu_, QString::fromLatin1(caption),
                              key ? QKeySequence(QString::fromLatin1(key)) : QKeySequence(),
                              [this, command] { RunOnActive(command); });
    item->setShortcutContext(Qt::WidgetShortcut);
    BodyPartItems_.emplace_back(item, command);
    return item;
  };
  bodyPartItem("&Save Content As...", "Ctrl+S", C::SaveContent);
  bodyPartItem("Save &Raw Content As...", nullptr, C::SaveRawContent);
  bodyPartItem("Save &BodyPart As...", "Ctrl+B", C::SaveBodyPart);
  BodyPartMenu_->addSeparator();
  DecodedAction_ = bodyPartItem("&Go to Decoded Content", "Ctrl+D", C::GoToDecoded);
  bodyPartItem("Go &to Raw Content", "Ctrl+R", C::GoToRaw);
  bodyPartItem("Go to &Header", "Ctrl+H", C::GoToHeader);
  AddAction(BodyPartMenu_, QStringLiteral("Go to &MIME structure"), QKeySequence(QStringLiteral("Ctrl+M")),
            [this] { RunOnActive(C::GoToStructure); });
  connect(BodyPartMenu_, &QMenu::aboutToShow, this, &TKelTesselMainWindow::UpdateDecodedItem);

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  auto* group = new QActionGroup(this);
  ViewTreeAction_ = AddAction(view, QStringLiteral("View As Tree"), QKeySequence(QStringLiteral("Ctrl+T")),
                              [this] { SetViewMode(false); });
  ViewPanelsAction_ = AddAction(view, QStringLiteral("View As Panels"), QKeySequence(QStringLiteral("Ctrl+P")),
                                [this] { SetViewMode(true); });
  for (QAction* action : {ViewTreeAction_, ViewPanelsAction_}) {
    action->setCheckable(true);
    group->addAction(action);
  }

  WindowsMenu_ = menuBar()->addMenu(QStringLiteral("&Windows"));
  ArrangeActions_ = {
      AddAction(nullptr, QStringLiteral("&Cascade"), {}, [this] { Area_->cascadeSubWindows(); }),
      AddAction(nullptr, QStringLiteral("Tile &Vertically"), {}, [this] { Tile(true); }),
      AddAction(nullptr, QStringLiteral("Tile &Horizontally"), {}, [this] { Tile(false); }),
      AddAction(nullptr, QStringLiteral("&Arrange All"), {}, [this] { ArrangeIcons(); }),
  };
  WindowsMenu_->menuAction()->setVisible(false);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  AddAction(help, QStringLiteral("&About..."), {}, [this] { Dialogs_->ShowAbout(this); });
}

void TKelTesselMainWindow::RestorePlacement() {
  const std::optional<TRect> stored = ReadPlacement(Config_);
  if (!stored) {
    resize(kDesignWidth, kDesignHeight);
    return;
  }
  std::vector<TRect> screens;
  for (const QScreen* screen : QGuiApplication::screens()) screens.push_back(RectOf(screen->availableGeometry()));
  const QScreen* primary = QGuiApplication::primaryScreen();
  const TRect placed = primary ? FitOnScreens(*stored, screens, RectOf(primary->availableGeometry())) : *stored;
  // Frame position and client size, as SaveSettings reads them back, so
  // that a restore followed by a save changes nothing.
  move(placed.X, placed.Y);
  resize(placed.W, placed.H);
}

bool TKelTesselMainWindow::ViewAsPanels() const { return ViewPanelsAction_->isChecked(); }

const TKelTesselMainWindow::TDocumentEntry* TKelTesselMainWindow::EntryOf(const QMdiSubWindow* window) const {
  if (window == nullptr) return nullptr;
  for (const TDocumentEntry& entry : Documents_)
    if (entry.Window == window) return &entry;
  return nullptr;
}

TMainDocument* TKelTesselMainWindow::ActiveDocument() const {
  const TDocumentEntry* entry = Area_ ? EntryOf(Area_->activeSubWindow()) : nullptr;
  return entry ? entry->Document : nullptr;
}

void TKelTesselMainWindow::OpenFile(const std::string& fileName) {
  if (fileName.empty() || ShuttingDown_) return;
  const std::string name = CanonicalFileName(fileName, CurrentDirectory());
  for (const TDocumentEntry& entry : Documents_) {
    if (entry.FileName != name) continue;
    UpdateReopenMenu(name);
    if (entry.Window->isMinimized()) entry.Window->showNormal();
    Area_->setActiveSubWindow(entry.Window);
    return;
  }
  std::error_code error;
  if (!std::filesystem::exists(name, error)) {
    statusBar()->showMessage(QStringLiteral("File not found: ") + FromBytes(name));
    return;
  }
  std::unique_ptr<TMainDocument> document = Factory_(Area_);
  try {
    CheckRegularFile(name);
    document->LoadFile(name);
  } catch (const std::exception& e) {
    // Said once, and no empty window is left behind.
    Dialogs_->ShowError(this, QString::fromUtf8(e.what()));
    return;
  }
  AddDocument(std::move(document), FromBytes(name), name);
  UpdateReopenMenu(name);
}

void TKelTesselMainWindow::MessageDropped(std::string bytes) {
  if (ShuttingDown_) return;
  if (DropsUseTempFiles(Config_)) {
    std::string name;
    try {
      TTempFiles files(false);  // the file stays for the user
      std::unique_ptr<TTempFileStream> stream = files.NewTempFile("tes-sel", "eml");
      constexpr size_t kBlock = 1 << 20;
      for (size_t at = 0; at < bytes.size(); at += kBlock) {
        const size_t n = std::min(kBlock, bytes.size() - at);
        stream->WriteBuffer(bytes.data() + at, static_cast<int32_t>(n));
      }
      name = stream->FileName();
    } catch (const std::exception& e) {
      Dialogs_->ShowError(this, QString::fromUtf8(e.what()));
      return;
    }
    OpenFile(name);
    return;
  }
  std::unique_ptr<TMainDocument> document = Factory_(Area_);
  try {
    document->LoadBytes(std::move(bytes));
  } catch (const std::exception& e) {
    Dialogs_->ShowError(this, QString::fromUtf8(e.what()));
    return;
  }
  const std::string caption = DroppedCaption(document->Subject());
  AddDocument(std::move(document), FromBytes(caption), std::string());
}

bool TKelTesselMainWindow::Drop(const QMimeData& mime) {
  std::vector<std::string> formats;
  for (const QString& format : mime.formats()) formats.push_back(format.toStdString());
  const TDropChoice choice = ChooseDropFormat(formats);
  const QByteArray bytes = mime.data(QString::fromStdString(choice.Format));
  switch (choice.Kind) {
    case TDropKind::None: return false;
    case TDropKind::Files:
      for (const std::string& name : LocalFilesOfUriList(std::string_view(bytes.constData(), bytes.size())))
        OpenFile(name);
      return true;
    case TDropKind::Message: MessageDropped(bytes.toStdString()); return true;
  }
  return false;
}

void TKelTesselMainWindow::AddDocument(std::unique_ptr<TMainDocument> document, const QString& caption,
                                       const std::string& fileName) {
  TMainDocument* doc = document.release();  // from here on owned by its widget
  auto* window = new TDocumentFrame;
  window->setWidget(doc->Widget());
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowTitle(caption);
  Area_->addSubWindow(window);
  window->OnClosed = [this, window] { DocumentClosed(window); };
  // A document freed without closing (never by this window) is forgotten too.
  connect(window, &QObject::destroyed, this, [this, window] { DocumentClosed(window); });
  Documents_.push_back({doc, window, fileName});
  window->show();
  Area_->setActiveSubWindow(window);
  UpdateWindowsMenu(doc);
}

void TKelTesselMainWindow::UpdateReopenMenu(const std::string& fileName) {
  if (!fileName.empty()) Recent_.Touch(fileName);
  ReopenMenu_->clear();
  const auto isOpen = [this](const std::string& name) {
    return std::any_of(Documents_.begin(), Documents_.end(),
                       [&](const TDocumentEntry& entry) { return entry.FileName == name; });
  };
  for (const TReopenItem& item : Recent_.ReopenItems(isOpen)) {
    QAction* action = ReopenMenu_->addAction(FromBytes(item.Caption));
    // The file travels in the action, never parsed back from the caption.
    action->setData(QByteArray::fromStdString(item.FileName));
    connect(action, &QAction::triggered, this, [this, action] {
      const std::string name = action->data().toByteArray().toStdString();
      // Opening rebuilds this menu, which frees the action being triggered.
      QTimer::singleShot(0, this, [this, name] { OpenFile(name); });
    });
  }
  if (!Documents_.empty()) {
    ReopenMenu_->addSeparator();
    ReopenMenu_->addAction(CurrentFileAction_);
  }
}

void TKelTesselMainWindow::UpdateWindowsMenu(TMainDocument* added) {
  if (added) added->SetViewMode(ViewAsPanels());
  CloseAction_->setVisible(true);
  CloseAllAction_->setVisible(true);
  WindowsMenu_->clear();
  int number = 0;
  for (const TDocumentEntry& entry : Documents_) {
    QAction* action =
        WindowsMenu_->addAction(FromBytes(NumberedCaption(++number, entry.Window->windowTitle().toStdString())));
    QPointer<QMdiSubWindow> window(entry.Window);
    connect(action, &QAction::triggered, this, [this, window] {
      if (!window) return;
      if (window->isMinimized()) window->showNormal();
      Area_->setActiveSubWindow(window);
    });
  }
  if (number > 0) {
    WindowsMenu_->addSeparator();
    for (QAction* action : ArrangeActions_) WindowsMenu_->addAction(action);
  }
  WindowsMenu_->menuAction()->setVisible(number > 0);
}

void TKelTesselMainWindow::UpdateBodyPartMenu(TMainDocument* document) {
  const bool on = document != nullptr;
  BodyPartMenu_->menuAction()->setVisible(on);
  // Disabled as well: a hidden menu's shortcuts must not reach a document.
  for (QAction* action : BodyPartMenu_->actions()) action->setEnabled(on);
  CurrentFileAction_->setVisible(on);
  CurrentFileAction_->setEnabled(on);
  if (on) UpdateDecodedItem();
}

void TKelTesselMainWindow::UpdateDecodedItem() {
  TMainDocument* document = ActiveDocument();
  // Items of shared actions follow their state (saving needs a part).
  for (const auto& [item, command] : BodyPartItems_)
    if (QAction* shared = document ? document->SharedAction(command) : nullptr) item->setEnabled(shared->isEnabled());
  const bool decoded = document != nullptr && document->HasDecodedContent();
  DecodedAction_->setVisible(decoded);
  DecodedAction_->setEnabled(decoded);
}

void TKelTesselMainWindow::DocumentClosed(QMdiSubWindow* window) {
  if (ShuttingDown_) return;
  auto it = std::find_if(Documents_.begin(), Documents_.end(),
                         [window](const TDocumentEntry& entry) { return entry.Window == window; });
  if (it == Documents_.end()) return;
  Documents_.erase(it);
  UpdateWindowsMenu(nullptr);
  UpdateReopenMenu(std::string());
  CloseAction_->setVisible(!Documents_.empty());
  CloseAllAction_->setVisible(!Documents_.empty());
  // The closing window may still be the active one: hand the focus to the
  // document used last before it.
  if (EntryOf(Area_->activeSubWindow()) == nullptr) {
    const QList<QMdiSubWindow*> history = Area_->subWindowList(QMdiArea::ActivationHistoryOrder);
    for (auto earlier = history.rbegin(); earlier != history.rend(); ++earlier)
      if (EntryOf(*earlier) != nullptr) {
        Area_->setActiveSubWindow(*earlier);
        break;
      }
  }
  UpdateBodyPartMenu(ActiveDocument());
}

void TKelTesselMainWindow::RunOnActive(TMainDocument::TCommand command) {
  // The shown part may have changed since the menu was built.
  if (command == TMainDocument::TCommand::GoToDecoded) {
    UpdateDecodedItem();
    if (!DecodedAction_->isEnabled()) return;
  }
  WithActive([command](TMainDocument& document) {
    if (QAction* shared = document.SharedAction(command)) {
      if (shared->isEnabled()) shared->trigger();
    } else {
      document.Run(command);
    }
  });
}

void TKelTesselMainWindow::WithActive(const std::function<void(TMainDocument&)>& fn) {
  TMainDocument* document = ActiveDocument();
  if (document == nullptr) return;
  try {
    fn(*document);
  } catch (const std::exception& e) {
    Dialogs_->ShowError(this, QString::fromUtf8(e.what()));
  }
}

void TKelTesselMainWindow::SetViewMode(bool panels) {
  try {
    QPointer<QWidget> focus = QApplication::focusWidget();
    QPointer<QMdiSubWindow> active = Area_->activeSubWindow();
    for (const TDocumentEntry& entry : Documents_) entry.Document->SetViewMode(panels);
    WriteViewAsPanels(Config_, panels);
    if (active) Area_->setActiveSubWindow(active);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (focus && focus->isVisible()) focus->setFocus();
  } catch (...) {
    // A document that fails to switch keeps its old view; the choice stands.
  }
}

void TKelTesselMainWindow::Tile(bool sideBySide) {
  std::vector<QMdiSubWindow*> windows;
  for (QMdiSubWindow* window : Area_->subWindowList())
    if (window->isVisible() && !window->isMinimized()) windows.push_back(window);
  const QSize area = Area_->viewport()->size();
  const std::vector<TRect> rects = TileRects(static_cast<int>(windows.size()), area.width(), area.height(), sideBySide);
  for (size_t i = 0; i < windows.size(); ++i) {
    if (windows[i]->isMaximized()) windows[i]->showNormal();
    windows[i]->setGeometry(rects[i].X, rects[i].Y, rects[i].W, rects[i].H);
  }
}

void TKelTesselMainWindow::ArrangeIcons() {
  std::vector<QMdiSubWindow*> icons;
  int width = 0, height = 0;
  for (QMdiSubWindow* window : Area_->subWindowList()) {
    if (!window->isMinimized()) continue;
    icons.push_back(window);
    width = std::max(width, window->width());
    height = std::max(height, window->height());
  }
  const QSize area = Area_->viewport()->size();
  const std::vector<TRect> rects =
      IconRects(static_cast<int>(icons.size()), width, height, area.width(), area.height());
  for (size_t i = 0; i < rects.size(); ++i) icons[i]->move(rects[i].X, rects[i].Y);
}

void TKelTesselMainWindow::DocumentShowing() {
  if (ShuttingDown_ || Area_ == nullptr) return;
  QMdiSubWindow* active = Area_->activeSubWindow();
  const TDocumentEntry* entry = EntryOf(active);
  UpdateBodyPartMenu(entry != nullptr && !active->isMinimized() ? entry->Document : nullptr);
}

void TKelTesselMainWindow::BringToFront() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void TKelTesselMainWindow::OpenStartFiles() {
  for (const std::string& name : ReadFileList(Config_, kLastFilesKey)) OpenFile(name);
  UpdateReopenMenu(std::string());
  for (const std::string& name : StartFiles_) OpenFile(name);
  StartFiles_.clear();
}

void TKelTesselMainWindow::SaveSettings() {
  if (Saved_) return;
  Saved_ = true;
  std::vector<std::string> open;
  for (const TDocumentEntry& entry : Documents_)
    if (!entry.FileName.empty()) open.push_back(entry.FileName);
  WriteFileList(Config_, kLastFilesKey, open);
  WriteFileList(Config_, kRecentFilesKey, Recent_.Names());
  if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
    WritePlacement(Config_, {pos().x(), pos().y(), width(), height()});
}

void TKelTesselMainWindow::closeEvent(QCloseEvent* event) {
  SaveSettings();
  QMainWindow::closeEvent(event);
}

void TKelTesselMainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (Shown_) return;
  Shown_ = true;
  QTimer::singleShot(0, this, &TKelTesselMainWindow::OpenStartFiles);
}

bool TKelTesselMainWindow::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || (widget != this && !isAncestorOf(widget))) return false;
  auto* drop = static_cast<QDropEvent*>(event);
  const QMimeData* mime = drop->mimeData();
  if (mime == nullptr) return false;
  std::vector<std::string> formats;
  for (const QString& format : mime->formats()) formats.push_back(format.toStdString());
  const TDropChoice choice = ChooseDropFormat(formats);
  if (choice.Kind == TDropKind::None) return false;
  drop->acceptProposedAction();
  if (type == QEvent::Drop) {
    // Opened after the drop has finished: a dialog inside the drop would
    // hold the source application's drag.
    auto copy = std::make_shared<QMimeData>();
    copy->setData(QString::fromStdString(choice.Format), mime->data(QString::fromStdString(choice.Format)));
    QTimer::singleShot(0, this, [this, copy] { Drop(*copy); });
  }
  return true;
}

}  // namespace tessel
