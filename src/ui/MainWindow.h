// The main window: a frame holding the document windows, one per open
// message, with the menus, the recent-file list, drag and drop and the
// settings kept between runs.
//
// The window holds no rules of its own: recent files and captions
// (RecentFiles.h), stored settings (WindowSettings.h), tilings
// (WindowArrangement.h) and drop formats (DropFormats.h) are plain
// functions. Document windows come from a factory, and every modal dialog
// goes through TMainDialogs, so tests run the window without a person.
//
// Bookkeeping is keyed by window, never by caption: two dropped messages
// with one subject are two entries. A document that came from a file is
// known by its canonical absolute name (case-sensitive, as Linux names are).
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/RecentFiles.h"

class QAction;
class QActionGroup;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QMimeData;

namespace tessel {

class TQXConfigFile;

// What the main window asks of a document window.
class TMainDocument {
public:
  virtual ~TMainDocument() = default;
  // The window's widget; the main window puts it into its window area,
  // which then owns it (and this object with it).
  virtual QWidget* Widget() = 0;
  // Reads and shows a message file. Raises when the file cannot be read; a
  // file that does not parse leaves the window without a message.
  virtual void LoadFile(const std::string& fileName) = 0;
  // Shows a message held in memory (a dropped one).
  virtual void LoadBytes(std::string bytes) = 0;
  // Reads the window's file again, or parses its kept text again when it
  // has no file; does nothing without a message.
  virtual void Reload() = 0;
  // The message's decoded subject (UTF-8), '' without one.
  virtual std::string Subject() const = 0;
  virtual void SetViewMode(bool panels) = 0;
  // Whether the shown part has a transfer-decoded content page.
  virtual bool HasDecodedContent() const = 0;
  enum class TCommand { SaveContent, SaveRawContent, SaveBodyPart, GoToDecoded, GoToRaw, GoToHeader, GoToStructure };
  // The document's own action for command (its context menu and keys use
  // it), or nullptr; the main menu's item then runs Run.
  virtual QAction* SharedAction(TCommand command) {
    (void)command;
    return nullptr;
  }
  virtual void Run(TCommand command) = 0;
};

using TDocumentFactory = std::function<std::unique_ptr<TMainDocument>(QWidget* parent)>;

// The modal dialogs of the main window.
class TMainDialogs {
public:
  virtual ~TMainDialogs() = default;
  // The files chosen in the open dialog, none when cancelled.
  virtual QStringList ChooseFiles(QWidget* parent);
  virtual void ShowError(QWidget* parent, const QString& text);
  virtual void ShowAbout(QWidget* parent);
};

class TKelTesselMainWindow : public QMainWindow {
  Q_OBJECT
public:
  // Reads the settings from config (which must outlive the window) and
  // builds the menus. dialogs may be null for the real ones.
  TKelTesselMainWindow(TQXConfigFile& config, TDocumentFactory factory, std::unique_ptr<TMainDialogs> dialogs = {},
                       QWidget* parent = nullptr);
  ~TKelTesselMainWindow() override;

  // The files the first showing opens after those open at the last exit.
  void SetStartFiles(const std::vector<std::string>& names) { StartFiles_ = names; }

  // The one way a file becomes a document (see the file comment).
  void OpenFile(const std::string& fileName);
  // A message dropped as data.
  void MessageDropped(std::string bytes);
  // Takes what a drop offers (files or a message); false when nothing fits.
  bool Drop(const QMimeData& data);
  // Brings the window to the front (a second start asked for it).
  void BringToFront();
  // A document tells that it shows a part, or that it was hidden or
  // minimised: the BodyPart menu follows the active document.
  void DocumentShowing();

  // Writes last-file-name, mru and (in the normal state) the placement.
  // Runs once, when the window closes or at the latest when it is freed.
  void SaveSettings();

  // State for menus and tests.
  struct TDocumentEntry {
    TMainDocument* Document;
    QMdiSubWindow* Window;
    std::string FileName;  // '' for a message dropped as data
  };
  const std::vector<TDocumentEntry>& Documents() const { return Documents_; }
  TMainDocument* ActiveDocument() const;
  const TRecentFiles& RecentFiles() const { return Recent_; }
  QMdiArea* Area() const { return Area_; }
  bool ViewAsPanels() const;

protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void BuildMenus();
  QAction* AddAction(QMenu* menu, const QString& caption, const QKeySequence& shortcut,
                     std::function<void()> onTrigger);
  void OpenStartFiles();
  void AddDocument(std::unique_ptr<TMainDocument> document, const QString& caption, const std::string& fileName);
  void UpdateReopenMenu(const std::string& fileName);
  void UpdateWindowsMenu(TMainDocument* added);
  void UpdateBodyPartMenu(TMainDocument* document);
  void UpdateDecodedItem();
  void DocumentClosed(QMdiSubWindow* window);
  void SetViewMode(bool panels);
  void Tile(bool sideBySide);
  void ArrangeIcons();
  void RunOnActive(TMainDocument::TCommand command);
  // Runs fn on the active document; an error is shown.
  void WithActive(const std::function<void(TMainDocument&)>& fn);
  void RestorePlacement();
  const TDocumentEntry* EntryOf(const QMdiSubWindow* window) const;

  TQXConfigFile& Config_;
  TDocumentFactory Factory_;
  std::unique_ptr<TMainDialogs> Dialogs_;
  QMdiArea* Area_ = nullptr;
  TRecentFiles Recent_;
  std::vector<TDocumentEntry> Documents_;
  std::vector<std::string> StartFiles_;
  bool Shown_ = false;
  bool Saved_ = false;
  bool ShuttingDown_ = false;

  QMenu* ReopenMenu_ = nullptr;
  QMenu* BodyPartMenu_ = nullptr;
  QMenu* WindowsMenu_ = nullptr;
  QAction* CloseAction_ = nullptr;
  QAction* CloseAllAction_ = nullptr;
  QAction* CurrentFileAction_ = nullptr;
  QAction* DecodedAction_ = nullptr;
  QAction* ViewTreeAction_ = nullptr;
  QAction* ViewPanelsAction_ = nullptr;
  // The Windows menu's four fixed commands, kept while the menu is rebuilt.
  std::vector<QAction*> ArrangeActions_;
  // The BodyPart items that stand for a document's shared actions.
  std::vector<std::pair<QAction*, TMainDocument::TCommand>> BodyPartItems_;
};

}  // namespace tessel
