#include "ui/window/MainDocument.h"

#include <QMdiSubWindow>

#include "ui/window/DocWindowHost.h"
#include "ui/window/MimeDocWindow.h"
#include "mime/bodypart.h"

namespace tessel {

namespace {

// Lives as a child of its document window, so the window's end is its end.
class TDocWindowDocument : public QObject, public TMainDocument, public TDocWindowHost {
public:
  TDocWindowDocument(QWidget* parent, TSignerMemory signers) : Window_(new TDocWindow(this, parent)) {
    setParent(Window_);
    Window_->SetRememberSigners(signers == kRememberSigners);
    connect(Window_, &QObject::destroyed, this, [this] { Window_ = nullptr; });
  }
  // Freed by its owner before the window was put anywhere (a file that
  // could not be read): the window goes too, or it would linger in its
  // parent.
  ~TDocWindowDocument() override {
    if (Window_ == nullptr) return;
    TDocWindow* window = Window_;
    Window_ = nullptr;
    setParent(nullptr);
    delete window;
  }

  QWidget* Widget() override { return Window_; }
  void LoadFile(const std::string& fileName) override { Window_->OpenFile(QString::fromStdString(fileName)); }
  void LoadBytes(std::string bytes) override { Window_->LoadBytes(std::move(bytes)); }
  void Reload() override {
    // From the file when there is one (it may have changed on disk), else
    // the kept text again.
    if (!Window_->FileName().isEmpty())
      Window_->OpenFile(Window_->FileName());
    else
      Window_->Reload();
  }
  std::string Subject() const override {
    TMessage* message = Window_->Message();
    if (message == nullptr || message->RootCount() == 0) return {};
    return message->Roots(0)->GetFieldUtf8("subject");
  }
  void SetViewMode(bool panels) override { Window_->SetViewMode(panels); }
  bool HasDecodedContent() const override {
    Window_->UpdateCommands();
    return Window_->Actions().GoDecoded->isVisible();
  }
  QAction* SharedAction(TCommand command) override {
    const TDocActions& a = Window_->Actions();
    switch (command) {
      case TCommand::SaveContent: return a.SaveContent;
      case TCommand::SaveRawContent: return a.SaveRaw;
      case TCommand::SaveBodyPart: return a.SaveWhole;
      case TCommand::GoToDecoded: return a.GoDecoded;
      case TCommand::GoToRaw: return a.GoRaw;
      case TCommand::GoToHeader: return a.GoHeader;
      case TCommand::GoToStructure: return nullptr;
    }
    return nullptr;
  }
  void Run(TCommand command) override {
    if (command == TCommand::GoToStructure) Window_->FocusStructure();
  }

  // TDocWindowHost: the main window follows activation and closing through
  // its window area; a document only adds that it shows (or hides) a part.
  void UpdateBodyPartMenu(TDocWindow*) override {
    if (auto* main = qobject_cast<TKelTesselMainWindow*>(Window_->window())) main->DocumentShowing();
  }
  void DocumentClosed(TDocWindow*) override {}

private:
  TDocWindow* Window_;
};

}  // namespace

TDocumentFactory DocWindowFactory(TSignerMemory signers) {
  return [signers](QWidget* parent) -> std::unique_ptr<TMainDocument> {
    return std::make_unique<TDocWindowDocument>(parent, signers);
  };
}

}  // namespace tessel
