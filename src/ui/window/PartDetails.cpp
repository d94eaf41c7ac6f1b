#include "ui/window/PartDetails.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QLabel>
#include <QTextDocument>
#include <QVBoxLayout>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>

#include "ui/window/ErrorNet.h"
#include "ui/PartPages.h"
#include "controls/PropExplorer.h"
#include "mime/bodypart.h"
#include "smime/parts/MultipartSigned.h"
#include "util/charsets/Charsets.h"
#include "util/system/ContentTypes.h"
#include "util/streams/MemoryStream.h"
#include "util/system/ReplacingFile.h"
#include "util/text/StringUtils.h"
#include "util/system/WaitCursor.h"

namespace tessel {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QPlainTextEdit* Memo(QWidget* parent) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setReadOnly(true);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  return memo;
}

TPropExplorer* Pane(QWidget* parent) {
  auto* pane = new TPropExplorer(parent);
  pane->SetReadOnly(true);
  pane->SetNameColWidth(120);
  return pane;
}

// The header block as bytes: GetHeaderText gives each byte as one unit.
std::string HeaderBytes(const TBodyPart& part) {
  std::u16string text = part.GetHeaderText();
  std::string bytes(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) bytes[i] = static_cast<char>(text[i] & 0xFF);
  return bytes;
}

bool IsSignaturePart(const TBodyPart& part) {
  auto* parent = dynamic_cast<const TMultipartSigned*>(part.Parent());
  return parent && parent->SignaturePart == &part;
}

// The extension a temporary copy of part gets, without its dot.
std::string TempExtension(const TBodyPart& part) {
  std::string ext = FileExtension(PlainFileName(part.GetFieldUtf8("filename")));
  return ext.empty() ? ext : ext.substr(1);
}

// The command line of the program that opens part: the one registered for
// its content type, else (the desktop then opens the file by its name) the
// one registered for its extension.
std::string ProgramCommand(const TBodyPart& part) {
  std::string command = GetContentTypeCommand(part.ContentTypeKey());
  if (command.empty()) {
    std::string ext = TempExtension(part);
    if (!ext.empty()) command = GetExtensionCommand("." + ext);
  }
  return command;
}

class TDesktopPartDialogs : public TPartDialogs {
public:
  std::string ChooseSaveFile(QWidget* parent, const TSaveDialogSetup& setup) override {
    // We ask about replacing ourselves, the same way whatever dialog the
    // platform brings.
    return QFileDialog::getSaveFileName(parent, Q(setup.Title), Q(setup.InitialName), Q(setup.Filter), nullptr,
                                        QFileDialog::DontConfirmOverwrite)
        .toStdString();
  }
  bool ConfirmReplace(QWidget* parent, const std::string& fileName) override {
    return Ask(parent, QStringLiteral("Confirm Save As"),
               Q(fileName) + QStringLiteral(" already exists.\nDo you want to replace it?"));
  }
  bool ConfirmRun(QWidget* parent, const std::string& question) override {
    return Ask(parent, QStringLiteral("Open attachment"), Q(question));
  }
  void ReportFailure(QWidget* parent, const std::string& title, const std::string& text) override {
    QMessageBox box(QMessageBox::Warning, Q(title), Q(text), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
  }

private:
  static bool Ask(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
  }
};

}  // namespace

QLabel* CaptionStrip(const QString& caption, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setFrameShape(QFrame::Panel);
  label->setFrameShadow(QFrame::Raised);
  label->setContentsMargins(4, 2, 4, 2);
  return label;
}

std::unique_ptr<TPartDialogs> DesktopPartDialogs() { return std::make_unique<TDesktopPartDialogs>(); }

QString MemoText(std::string_view bytes) {
  std::string text = SystemText(bytes);
  QString memo = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  memo.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return memo;
}

void FillHeaderRows(TPEItem& root, const TBodyPart& part) {
  for (int32_t i = 0; i < part.HeaderCount(); ++i) {
    TStringListX pieces = SplitQuoted(part.HeaderValue(i), ";", "\"", 0);
    TPEItem* line = root.AddItem(part.HeaderName(i), pieces.empty() ? std::string() : pieces[0]);
    for (size_t k = 1; k < pieces.size(); ++k) {
      TStringListX pair = SplitQuoted(pieces[k], "=", "\"", 2);
      if (pair.size() == 2)
        line->AddItem(pair[0], pair[1]);
      else
        line->AddItem(std::string(), pair.empty() ? std::string() : pair[0]);
    }
  }
}

void FillSmimeRows(TPEItem& root, const std::vector<TSmimeRow>& rows) {
  // parents[d] is the last row at depth d - 1 (parents[0] the root).
  std::vector<TPEItem*> parents{&root};
  for (const TSmimeRow& row : rows) {
    size_t depth = static_cast<size_t>(std::max<int32_t>(row.Depth, 0));
    if (depth >= parents.size()) depth = parents.size() - 1;  // a skipped level hangs on the last row
    parents.resize(depth + 1);
    TPEItem* item = row.HasValue ? parents[depth]->AddItem(row.Name, row.Value) : parents[depth]->AddChild(row.Name);
    if (row.Certificate && !row.Action.empty()) {
      const TCertificate* certificate = row.Certificate;
      item->OnButtonClick = [certificate](TPEItem&) { Guarded([&] { certificate->Show(); }); };
      item->ButtonHint = row.Action;
    }
    parents.push_back(item);
  }
}

TPartDetails::TPartDetails(QWidget* owner, QSplitter* split) : Owner_(owner), Dialogs_(DesktopPartDialogs()) {
  auto* headerSide = new QWidget(split);
  auto* headerLayout = new QVBoxLayout(headerSide);
  headerLayout->setContentsMargins(0, 0, 0, 0);
  headerLayout->setSpacing(0);
  headerLayout->addWidget(CaptionStrip(QStringLiteral("MIME header"), headerSide));
  HeaderPages_ = new QTabWidget(headerSide);
  HeaderMemo_ = Memo(HeaderPages_);
  HeaderMemo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  HeaderMemo_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  HeaderInfo_ = Pane(HeaderPages_);
  HeaderPages_->addTab(HeaderMemo_, QStringLiteral("Raw"));
  HeaderPages_->addTab(HeaderInfo_, QStringLiteral("Summary"));
  headerLayout->addWidget(HeaderPages_);

  auto* contentSide = new QWidget(split);
  auto* contentLayout = new QVBoxLayout(contentSide);
  contentLayout->setContentsMargins(0, 0, 0, 0);
  contentLayout->setSpacing(0);
  contentLayout->addWidget(CaptionStrip(QStringLiteral("Content"), contentSide));
  ContentPages_ = new QTabWidget(contentSide);
  RawMemo_ = Memo(ContentPages_);
  DecodedMemo_ = Memo(ContentPages_);
  SmimeInfo_ = Pane(ContentPages_);
  ContentPages_->addTab(RawMemo_, QStringLiteral("Raw"));
  ContentPages_->addTab(DecodedMemo_, QStringLiteral("Transport-Decoded"));
  ContentPages_->addTab(SmimeInfo_, QStringLiteral("S/MIME Info"));
  ContentPages_->setTabVisible(kDecodedPage, false);
  ContentPages_->setTabVisible(kSmimePage, false);
  contentLayout->addWidget(ContentPages_);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 2);

  RawButton_ = new QPushButton(QString::fromLatin1(kDisplayContentCaption), RawMemo_->viewport());
  DecodedButton_ = new QPushButton(QString::fromLatin1(kDisplayContentCaption), DecodedMemo_->viewport());
  HideButtons();
  QObject::connect(RawButton_, &QPushButton::clicked, Owner_, [this] { Guarded([&] { DisplayContent(kRawPage); }); });
  QObject::connect(DecodedButton_, &QPushButton::clicked, Owner_,
                   [this] { Guarded([&] { DisplayContent(kDecodedPage); }); });
}

TPartDetails::~TPartDetails() {
  // The S/MIME rows point at certificates of Rows_.
  SmimeInfo_->Clear();
}

void TPartDetails::Forget() {
  Show(nullptr);
  Rows_.clear();
}

void TPartDetails::HideButtons() {
  RawButton_->hide();
  DecodedButton_->hide();
}

void TPartDetails::Show(TBodyPart* part) {
  Shown_ = part;
  if (!part) {
    HideButtons();
    HeaderMemo_->clear();
    HeaderInfo_->Clear();
    RawMemo_->clear();
    DecodedMemo_->clear();
    SmimeInfo_->Clear();
    ContentPages_->setTabVisible(kDecodedPage, false);
    ContentPages_->setTabVisible(kSmimePage, false);
    return;
  }
  FillHeader(*part);
  FillSmimeInfo(*part);
  FillContent(*part, false, -1);
}

void TPartDetails::FillHeader(const TBodyPart& part) {
  HeaderMemo_->setPlainText(MemoText(HeaderBytes(part)));
  HeaderInfo_->BeginUpdate();
  HeaderInfo_->Clear();
  try {
    FillHeaderRows(HeaderInfo_->Root(), part);
  } catch (...) {
    HeaderInfo_->EndUpdate();
    throw;
  }
  HeaderInfo_->EndUpdate();
}

void TPartDetails::FillSmimeInfo(const TBodyPart& part) {
  SmimeInfo_->BeginUpdate();
  SmimeInfo_->Clear();
  try {
    auto& rows = Rows_[&part];
    if (!rows) {
      auto built = std::make_unique<TSmimeInfoRows>();
      try {
        built->Build(part);
      } catch (const std::exception& e) {
        // Kept like any other rows: the page says it once per part, not a
        // box on every pointer move.
        built->Clear();
        TSmimeRow row;
        row.Name = "Error";
        row.HasValue = true;
        row.Value = e.what();
        built->Rows.push_back(std::move(row));
      }
      rows = std::move(built);
      ++RowBuilds_;
    }
    FillSmimeRows(SmimeInfo_->Root(), rows->Rows);
  } catch (...) {
    SmimeInfo_->EndUpdate();
    throw;
  }
  SmimeInfo_->EndUpdate();
}

void TPartDetails::FillContent(const TBodyPart& part, bool whole, int front) {
  const std::string encoding = WideToUtf8(part.TransferEncoding);
  std::optional<std::string> decoded;
  bool decodeFailed = false;
  const bool guarded = !whole && IsOverSizeLimit(part.HeaderStart, part.BodyEnd);
  if (guarded) {
    const QString text = QString::fromLatin1(kBodySizeGuardText).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    RawMemo_->setPlainText(text);
    DecodedMemo_->setPlainText(text);
  } else {
    HideButtons();
    RawMemo_->setPlainText(MemoText(part.GetRawText()));
    if (tessel::HasDecodedPage(encoding)) {
      TStringStream stream;
      try {
        part.GetDecodedContent(stream);
        decoded = stream.TakeDataString();
      } catch (...) {
        // Shown in the page: a box would come back on every pointer move.
        decodeFailed = true;
        DecodedMemo_->setPlainText(QStringLiteral("The content cannot be decoded: ") + CurrentExceptionText());
      }
    }
  }
  std::optional<std::string_view> view;
  if (decoded) view = *decoded;
  // A guarded part is handled as over the limit; one shown whole as under it.
  const int64_t end = whole ? part.HeaderStart : part.BodyEnd;
  TContentPages pages =
      ChooseContentPages(encoding, part.HeaderStart, end, view, decodeFailed, SmimeInfo_->Root().Count() > 0);
  if (decoded && pages.Decoded)
    DecodedMemo_->setPlainText(MemoText(*decoded));
  else if (decoded)
    DecodedMemo_->clear();
  ContentPages_->setTabVisible(kDecodedPage, pages.Decoded);
  ContentPages_->setTabVisible(kSmimePage, pages.SmimeInfo);
  if (front < 0)
    front = pages.Front == TContentPage::SmimeInfo ? kSmimePage
            : pages.Front == TContentPage::Decoded ? kDecodedPage
                                                   : kRawPage;
  if (!ContentPages_->isTabVisible(front)) front = kRawPage;
  ContentPages_->setCurrentIndex(front);
  if (guarded) {
    PlaceButton(RawButton_, RawMemo_);
    PlaceButton(DecodedButton_, DecodedMemo_);
  }
}

void TPartDetails::PlaceButton(QPushButton* button, QPlainTextEdit* memo) {
  // 10 pixels below the top of the last text line (the text is two
  // lines of one font; measured, so no layout has to run first).
  const int lines = memo->document()->blockCount();
  const int top =
      static_cast<int>(memo->document()->documentMargin()) + memo->fontMetrics().lineSpacing() * (lines - 1) + 10;
  button->adjustSize();
  button->move(8, std::max(top, 0));
  button->show();
  button->raise();
}

void TPartDetails::DisplayContent(int page) {
  if (!Shown_) return;
  TWaitCursor wait;
  HideButtons();
  FillContent(*Shown_, true, page);
}

bool TPartDetails::HasDecodedPage() const { return ContentPages_->isTabVisible(kDecodedPage); }

void TPartDetails::GoDecoded() {
  if (!HasDecodedPage()) return;
  ContentPages_->setCurrentIndex(kDecodedPage);
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  DecodedMemo_->setFocus();
}

void TPartDetails::GoRaw() {
  ContentPages_->setCurrentIndex(kRawPage);
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  RawMemo_->setFocus();
}

void TPartDetails::GoHeader() {
  HeaderPages_->setCurrentIndex(0);
  HeaderMemo_->setFocus();
}

bool TPartDetails::Save(TSaveCommand command, const TBodyPart* part) {
  if (!part) return false;
  std::string registered;
  if (command == TSaveCommand::Content) registered = GetContentTypeExtension(part->ContentTypeKey());
  const TSaveDialogSetup setup = SaveDialogSetup(command, WideToUtf8(part->FileName), registered);
  const std::string fileName = Dialogs_->ChooseSaveFile(Owner_, setup);
  if (fileName.empty()) return false;
  struct stat st;
  if (::stat(fileName.c_str(), &st) == 0 && !Dialogs_->ConfirmReplace(Owner_, fileName)) return false;
  try {
    TWaitCursor wait;
    const std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder);
    // A decoding fault half-way leaves no truncated file and the old one
    // as it was: the bytes take the name only when all are written.
    TReplacingFileStream out(fileName);
    switch (command) {
      case TSaveCommand::Content: part->GetDecodedContent(out); break;
      case TSaveCommand::RawContent: part->GetRawContent(out); break;
      case TSaveCommand::WholePart: part->GetWholePart(out); break;
    }
    out.Commit();
  } catch (const std::exception& e) {
    Dialogs_->ReportFailure(Owner_, setup.Title, std::string("Nothing was saved: ") + e.what());
    return false;
  }
  return true;
}

bool TPartDetails::CanExecute(const TBodyPart* part) { return part && part->IsAttachment && !IsSignaturePart(*part); }

std::string TPartDetails::ExecuteItemCaption(const TBodyPart& part) { return ExecuteCaption(ProgramCommand(part)); }

bool TPartDetails::Execute(const TBodyPart* part) {
  if (!CanExecute(part)) return false;
  const std::string name = part->GetFieldUtf8("filename");
  if (RunsCode(part->ContentTypeKey(), name)) {
    const std::string program = CommandProgramName(ProgramCommand(*part));
    if (!Dialogs_->ConfirmRun(Owner_, RunsCodeQuestion(name, program))) return false;
  }
  std::string tempName;
  try {
    TWaitCursor wait;
    // The temporary name is ours; only the final extension comes from the
    // message, since the desktop picks the program by it.
    std::unique_ptr<TTempFileStream> file = TempFiles_.NewTempFile("tessel", TempExtension(*part));
    tempName = file->FileName();
    TStringStream decoded;
    part->GetDecodedContent(decoded);
    const std::string& bytes = decoded.DataString();
    if (file->Write(bytes.data(), static_cast<int32_t>(bytes.size())) != static_cast<int32_t>(bytes.size()))
      throw std::runtime_error("Cannot write file " + tempName);
    file->Close();
  } catch (const std::exception& e) {
    Dialogs_->ReportFailure(Owner_, "Execute", std::string("The part was not opened: ") + e.what());
    return false;
  }
  ExecuteWithContentType(tempName, part->ContentTypeKey());
  return true;
}

}  // namespace tessel
