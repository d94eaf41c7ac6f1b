// The certificate dialog on the offscreen platform, its save dialog answered
// by the test.
#include "ui/CertificateDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <sys/stat.h>

#include "smime/CertDetailsSupport.h"

namespace tessel {
namespace {

using namespace cert_details_test;

struct TAnswer : TSaveFileChooser {
  std::string Name, Filter, AskedTitle, Failure;
  int Asked = 0;
  std::string ChooseSaveFile(QWidget*, const std::string& title, const std::string&, const std::string&,
                             std::string& selectedFilter) override {
    ++Asked;
    AskedTitle = title;
    selectedFilter = Filter;
    return Name;
  }
  void ReportFailure(QWidget*, const std::string& text) override { Failure = text; }
};

QString ValueOf(QTreeWidget* tree, const QString& name) {
  const auto found = tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive, 0);
  return found.isEmpty() ? QStringLiteral("<none>") : found.front()->text(1);
}

TEST(CertificateDialog, shows_fields_chain_and_pem) {
  TCertificate cert(Load("expired"));
  cert.SetCompanions({Load("ca")});
  TCertificateDialog dialog(cert, nullptr, std::make_shared<TAnswer>());
  EXPECT_EQ(ValueOf(dialog.Fields(), "CN"), "expired");
  EXPECT_EQ(ValueOf(dialog.Fields(), "Validity"), "expired");
  auto* mark = dialog.findChild<QLabel*>("validityMark");
  ASSERT_NE(mark, nullptr);
  EXPECT_FALSE(mark->isHidden());
  EXPECT_EQ(mark->textFormat(), Qt::PlainText);
  ASSERT_EQ(dialog.Chain()->topLevelItemCount(), 2);
  EXPECT_EQ(dialog.Chain()->topLevelItem(0)->text(1), "expired");
  EXPECT_EQ(dialog.Chain()->topLevelItem(1)->text(0), "Details CA");
  EXPECT_TRUE(dialog.PemText()->toPlainText().startsWith("-----BEGIN CERTIFICATE-----"));
  EXPECT_TRUE(dialog.PemText()->isReadOnly());
  EXPECT_TRUE(dialog.PemText()->textInteractionFlags() & Qt::TextSelectableByMouse);
  EXPECT_EQ(dialog.SaveButton()->text(), "Save certificate...");
  EXPECT_TRUE(dialog.isModal());
}

TEST(CertificateDialog, saves_pem_or_der_and_keeps_file_on_failure) {
  namespace fs = std::filesystem;
  tessel::test::TTempDir temp("tessel-certdlg");
  const fs::path& dir = temp.Path();
  auto answer = std::make_shared<TAnswer>();
  TCertificate cert(Load("rsa"));
  TCertificateDialog dialog(cert, nullptr, answer);

  answer->Name = (dir / "a.pem").string();
  answer->Filter = "PEM certificate (*.pem *.crt)";
  dialog.SaveButton()->click();
  EXPECT_EQ(ReadFileBytes(dir / "a.pem"), ReadFileBytes(Certs() / "rsa.pem"));
  EXPECT_EQ(answer->AskedTitle, "Save certificate");

  answer->Name = (dir / "a.bin").string();
  answer->Filter = "DER certificate (*.der *.cer)";
  dialog.SaveCertificate();
  EXPECT_EQ(ReadFileBytes(dir / "a.bin"), ReadFileBytes(Certs() / "rsa.der"));

  // Cancelled: nothing written, nothing reported.
  answer->Name.clear();
  dialog.SaveCertificate();
  EXPECT_EQ(answer->Asked, 3);
  EXPECT_TRUE(answer->Failure.empty());

  // A file that may not be written stays as it was and the failure is told.
  std::ofstream(dir / "locked.pem") << "old";
  ::chmod((dir / "locked.pem").c_str(), 0444);
  answer->Name = (dir / "locked.pem").string();
  answer->Filter = "PEM certificate (*.pem *.crt)";
  dialog.SaveCertificate();
  EXPECT_FALSE(answer->Failure.empty());
  EXPECT_EQ(ReadFileBytes(dir / "locked.pem"), "old");
}

TEST(CertificateDialog, show_opens_it_modally) {
  auto answer = std::make_shared<TAnswer>();
  InstallCertificateDialog(answer);
  QString seen;
  QTimer::singleShot(0, [&seen] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* dialog = dynamic_cast<TCertificateDialog*>(w); dialog && dialog->isVisible()) {
        seen = ValueOf(dialog->Fields(), "CN");
        dialog->reject();
      }
  });
  TCertificate(Load("ec")).Show();
  EXPECT_EQ(seen, "Curve");
  SetCertificateDisplayHook(nullptr);
}

}  // namespace
}  // namespace tessel
