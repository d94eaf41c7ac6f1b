// The certificate dialog: a modal window listing one certificate's fields
// (CertificateRows), its chain with each element's status, its PEM text
// (selectable) and a "Save certificate..." button writing PEM or DER.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "smime/cms/Certificate.h"

class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace tessel {

// The save dialog behind a seam, so tests can answer it. Returns the chosen
// file name ("" when cancelled) and the chosen filter; it asks before an
// existing file is replaced.
class TSaveFileChooser {
public:
  virtual ~TSaveFileChooser() = default;
  virtual std::string ChooseSaveFile(QWidget* parent, const std::string& title, const std::string& initialName,
                                     const std::string& filter, std::string& selectedFilter) = 0;
  // Tells the user a save failed (text is the error's message).
  virtual void ReportFailure(QWidget* parent, const std::string& text) = 0;
};
// The desktop's save dialog.
std::unique_ptr<TSaveFileChooser> DesktopSaveFileChooser();

class TCertificateDialog : public QDialog {
public:
  // chooser: nullptr for the desktop's dialog.
  TCertificateDialog(const TCertificate& certificate, QWidget* parent = nullptr,
                     std::shared_ptr<TSaveFileChooser> chooser = nullptr);

  QTreeWidget* Fields() const { return Fields_; }
  QTreeWidget* Chain() const { return Chain_; }
  QPlainTextEdit* PemText() const { return Pem_; }
  QPushButton* SaveButton() const { return Save_; }
  // What the last save wrote to or why it failed ("" before any save).
  const std::string& LastSaveProblem() const { return SaveProblem_; }

  // "Save certificate...": asks for a name and writes the certificate
  // through the safe replacement (nothing half written on failure).
  void SaveCertificate();

private:
  TCertificate Certificate_;
  std::shared_ptr<TSaveFileChooser> Chooser_;
  QTreeWidget* Fields_ = nullptr;
  QTreeWidget* Chain_ = nullptr;
  QPlainTextEdit* Pem_ = nullptr;
  QPushButton* Save_ = nullptr;
  std::string SaveProblem_;
};

// Makes TCertificate::Show open the dialog modally over parent (the active
// window when nullptr).
void InstallCertificateDialog(std::shared_ptr<TSaveFileChooser> chooser = nullptr);

}  // namespace tessel
