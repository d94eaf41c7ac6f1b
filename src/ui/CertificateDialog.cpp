// The certificate dialog; see CertificateDialog.h. Every text in it comes
// from a stranger's certificate, so nothing is ever read as rich text.
#include "ui/CertificateDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <ctime>

#include "ui/CertificateRows.h"
#include "config/SafeFile.h"

namespace tessel {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

class TDesktopSaveFileChooser : public TSaveFileChooser {
public:
  std::string ChooseSaveFile(QWidget* parent, const std::string& title, const std::string& initialName,
                             const std::string& filter, std::string& selectedFilter) override {
    QString chosenFilter;
    const QString name = QFileDialog::getSaveFileName(parent, Q(title), Q(initialName), Q(filter), &chosenFilter);
    selectedFilter = chosenFilter.toStdString();
    return name.toStdString();
  }
  void ReportFailure(QWidget* parent, const std::string& text) override {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Save certificate"), Q(text), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
  }
};

void FillTree(QTreeWidget* tree, const std::vector<TCertificateRow>& rows) {
  QTreeWidgetItem* top = nullptr;
  for (const TCertificateRow& row : rows) {
    auto* item = (row.Level > 0 && top) ? new QTreeWidgetItem(top) : new QTreeWidgetItem(tree);
    item->setText(0, Q(row.Name));
    item->setText(1, Q(row.Value));
    item->setToolTip(1, Q(row.Value).toHtmlEscaped());
    if (row.Level == 0) top = item;
  }
  tree->expandAll();
}

QTreeWidget* NewTree(QWidget* parent, const QString& first, const QString& second) {
  auto* tree = new QTreeWidget(parent);
  tree->setColumnCount(2);
  tree->setHeaderLabels({first, second});
  tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
  return tree;
}

}  // namespace

std::unique_ptr<TSaveFileChooser> DesktopSaveFileChooser() { return std::make_unique<TDesktopSaveFileChooser>(); }

TCertificateDialog::TCertificateDialog(const TCertificate& certificate, QWidget* parent,
                                       std::shared_ptr<TSaveFileChooser> chooser)
    : QDialog(parent), Certificate_(certificate), Chooser_(std::move(chooser)) {
  if (!Chooser_) Chooser_ = DesktopSaveFileChooser();
  setWindowTitle(QStringLiteral("Certificate"));
  setModal(true);
  resize(640, 520);
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  const TCertificateDetails details = GetCertificateDetails(certificate.Handle());

  auto* layout = new QVBoxLayout(this);
  auto* mark = new QLabel(this);
  mark->setTextFormat(Qt::PlainText);
  const std::string validity = ValidityMark(details, now);
  if (!validity.empty()) {
    mark->setText(QStringLiteral("This certificate is %1.").arg(Q(validity)));
    mark->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
  }
  mark->setVisible(!validity.empty());
  mark->setObjectName(QStringLiteral("validityMark"));
  layout->addWidget(mark);

  auto* tabs = new QTabWidget(this);
  Fields_ = NewTree(tabs, QStringLiteral("Field"), QStringLiteral("Value"));
  FillTree(Fields_, CertificateRows(certificate, details, now));
  tabs->addTab(Fields_, QStringLiteral("Details"));
  Chain_ = NewTree(tabs, QStringLiteral("Certificate"), QStringLiteral("Status"));
  FillTree(Chain_, ChainRows(GetChainElements(certificate)));
  tabs->addTab(Chain_, QStringLiteral("Chain"));
  Pem_ = new QPlainTextEdit(tabs);
  Pem_->setReadOnly(true);
  Pem_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Pem_->setLineWrapMode(QPlainTextEdit::NoWrap);
  Pem_->setPlainText(Q(certificate.Handle().Pem()));
  tabs->addTab(Pem_, QStringLiteral("PEM"));
  layout->addWidget(tabs);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  Save_ = buttons->addButton(QStringLiteral("Save certificate..."), QDialogButtonBox::ActionRole);
  connect(Save_, &QPushButton::clicked, this, [this] { SaveCertificate(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

void TCertificateDialog::SaveCertificate() {
  std::string filter;
  const std::string initial = "certificate.pem";
  const std::string fileName =
      Chooser_->ChooseSaveFile(this, "Save certificate", initial, kCertificateSaveFilter, filter);
  if (fileName.empty()) return;
  const bool der = SaveAsDer(fileName, filter);
  try {
    ReplaceFileContents(fileName, der ? Certificate_.Encoded() : Certificate_.Handle().Pem());
    SaveProblem_.clear();
  } catch (const std::exception& e) {
    SaveProblem_ = e.what();
    Chooser_->ReportFailure(this, SaveProblem_);
  }
}

void InstallCertificateDialog(std::shared_ptr<TSaveFileChooser> chooser) {
  SetCertificateDisplayHook([chooser](const TCertificate& certificate, const std::string&) {
    TCertificateDialog dialog(certificate, QApplication::activeWindow(), chooser);
    dialog.exec();
    return 0;
  });
}

}  // namespace tessel
