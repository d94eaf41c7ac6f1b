// The details side of the document window: one part's header as text and
// as a name/value tree, its raw and transfer-decoded content, the PKCS #7
// information of an S/MIME part, and the commands that save a part or open
// it with the desktop's program.
//
// Which pages a part gets and what they say comes from PartPages.h and
// SaveNames.h; the S/MIME rows from the row builder the command line uses
// (smime/SmimeRows.h), built once per part and kept until the message goes
// (Forget), so moving the pointer over a large signature does not parse it
// again. Every dialog goes through TPartDialogs, so tests can answer it.
//
// Invariant: the S/MIME page's rows point at certificates held by Rows_;
// the page is emptied before Rows_ lets go of them.
#pragma once

#include <QString>
#include <memory>
#include <string>
#include <unordered_map>

#include "ui/SaveNames.h"
#include "smime/parts/SmimeRows.h"
#include "util/system/TempFiles.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTabWidget;
class QWidget;

namespace tessel {

// The raised caption strip above each pane of the document window.
QLabel* CaptionStrip(const QString& caption, QWidget* parent);

class TBodyPart;
class TPEItem;
class TPropExplorer;

// The dialogs of the save and execute commands.
class TPartDialogs {
public:
  virtual ~TPartDialogs() = default;
  // The chosen file name, "" when cancelled.
  virtual std::string ChooseSaveFile(QWidget* parent, const TSaveDialogSetup& setup) = 0;
  // Asked before an existing file is replaced; false keeps it.
  virtual bool ConfirmReplace(QWidget* parent, const std::string& fileName) = 0;
  // Asked before a part that runs code is opened; false opens nothing.
  virtual bool ConfirmRun(QWidget* parent, const std::string& question) = 0;
  virtual void ReportFailure(QWidget* parent, const std::string& title, const std::string& text) = 0;
};
std::unique_ptr<TPartDialogs> DesktopPartDialogs();

// Content page indexes.
enum : int { kRawPage = 0, kDecodedPage = 1, kSmimePage = 2 };

class TPartDetails {
public:
  // Builds the header and content pages as two panes of split; owner is the
  // document window (parent of the dialogs).
  TPartDetails(QWidget* owner, QSplitter* split);
  ~TPartDetails();
  TPartDetails(const TPartDetails&) = delete;
  TPartDetails& operator=(const TPartDetails&) = delete;

  // Fills every page for part (nullptr: empties them).
  void Show(TBodyPart* part);
  // Forgets the shown part and every cached S/MIME row (the message goes).
  void Forget();
  // "Display content" of a guarded part: fills both pages and brings page
  // (kRawPage or kDecodedPage) to the front.
  void DisplayContent(int page);

  bool HasDecodedPage() const;
  void GoDecoded();
  void GoRaw();
  void GoHeader();

  // The save commands on part; true when a file was written.
  bool Save(TSaveCommand command, const TBodyPart* part);
  // Writes part's decoded content to a temporary file (kept until the
  // window goes) and opens it with the desktop's program; true when handed
  // on.
  bool Execute(const TBodyPart* part);
  // Whether part may be executed, and the Execute item's caption for it.
  static bool CanExecute(const TBodyPart* part);
  static std::string ExecuteItemCaption(const TBodyPart& part);

  void SetDialogs(std::shared_ptr<TPartDialogs> dialogs) { Dialogs_ = std::move(dialogs); }
  // The temporary files made by Execute.
  const TTempFiles& TempFiles() const { return TempFiles_; }
  // How often S/MIME rows were built (each part once until Forget).
  int RowBuilds() const { return RowBuilds_; }

  QPlainTextEdit* HeaderMemo() const { return HeaderMemo_; }
  TPropExplorer* HeaderInfo() const { return HeaderInfo_; }
  QTabWidget* HeaderPages() const { return HeaderPages_; }
  QTabWidget* ContentPages() const { return ContentPages_; }
  QPlainTextEdit* RawMemo() const { return RawMemo_; }
  QPlainTextEdit* DecodedMemo() const { return DecodedMemo_; }
  TPropExplorer* SmimeInfo() const { return SmimeInfo_; }
  QPushButton* RawButton() const { return RawButton_; }
  QPushButton* DecodedButton() const { return DecodedButton_; }

private:
  void FillHeader(const TBodyPart& part);
  void FillContent(const TBodyPart& part, bool whole, int front);
  void FillSmimeInfo(const TBodyPart& part);
  void PlaceButton(QPushButton* button, QPlainTextEdit* memo);
  void HideButtons();

  QWidget* Owner_;
  std::shared_ptr<TPartDialogs> Dialogs_;
  TTempFiles TempFiles_{true};
  const TBodyPart* Shown_ = nullptr;
  std::unordered_map<const TBodyPart*, std::unique_ptr<TSmimeInfoRows>> Rows_;
  int RowBuilds_ = 0;

  QTabWidget* HeaderPages_ = nullptr;
  QPlainTextEdit* HeaderMemo_ = nullptr;
  TPropExplorer* HeaderInfo_ = nullptr;
  QTabWidget* ContentPages_ = nullptr;
  QPlainTextEdit* RawMemo_ = nullptr;
  QPlainTextEdit* DecodedMemo_ = nullptr;
  TPropExplorer* SmimeInfo_ = nullptr;
  QPushButton* RawButton_ = nullptr;
  QPushButton* DecodedButton_ = nullptr;
};

// The header summary rows of part into root: one row per header line named
// by the line, its value the text before the first ";" outside quotes; each
// further piece a child, split at its first "=" outside quotes into name
// and value (a piece without one is a child without a name).
void FillHeaderRows(TPEItem& root, const TBodyPart& part);
// The flat S/MIME rows as a tree under root; certificate rows get the
// "Display certificate..." button.
void FillSmimeRows(TPEItem& root, const std::vector<TSmimeRow>& rows);
// Message bytes as the text of a text box (the system-text rule, CR LF as
// line ends).
QString MemoText(std::string_view bytes);

}  // namespace tessel
