// The security banner and the findings list of the document window: what
// they show, the signer link, and a finding row that selects and locks its
// part (also one inside an embedded message not yet opened).
#include <gtest/gtest.h>

#include <QToolButton>
#include <QTreeWidget>

#include "WindowTestSupport.h"
#include "ui/window/FindingsList.h"
#include "ui/window/SecurityBannerView.h"

namespace {

using namespace wintest;
using namespace smimetest;

const std::string kPlainMessage = Message(Leaf("text/plain", "plain\r\n"));

// Selects the finding row whose text contains what; the row's part.
TBodyPart* SelectRow(TDocWindow& doc, const std::string& what) {
  TFindingsList* list = doc.FindingsView();
  for (int row = 0; row < list->List()->topLevelItemCount(); ++row) {
    QTreeWidgetItem* item = list->List()->topLevelItem(row);
    if (!item->text(2).contains(QString::fromStdString(what))) continue;
    list->List()->setCurrentItem(item);
    return list->Findings()[static_cast<size_t>(row)].Part;
  }
  ADD_FAILURE() << "no row with " << what;
  return nullptr;
}

}  // namespace

TEST(DocWindowFindings, rows_select_and_lock_their_part) {
  // The part at 1.2 repeats its Content-Type; the embedded message 1.3 has an
  // 8-bit header line; text follows the close delimiter.
  auto doc = Open(Message(Multipart("mixed", {Leaf("text/plain", "first\r\n"),
                                              Leaf("text/plain", "second\r\n", "Content-Type: text/html\r\n"),
                                              Leaf("message/rfc822", "Subject: caf\xE9\r\n\r\ninner\r\n")})) +
                  "stray text\r\n");
  TFindingsList* list = doc->FindingsView();
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->isVisibleTo(doc.get()));
  EXPECT_EQ(list->Toggle()->text(), QStringLiteral("Findings (3)"));
  ASSERT_EQ(list->List()->topLevelItemCount(), 3);
  for (int row : {0, 1, 2})
    EXPECT_EQ(list->List()->topLevelItem(row)->text(0), QStringList({"1", "1.2", "1.3.1"})[row]);
  // Closed until asked for.
  EXPECT_FALSE(list->List()->isVisibleTo(doc.get()));
  list->Toggle()->click();
  EXPECT_TRUE(list->List()->isVisibleTo(doc.get()));

  TBodyPart* root = doc->Message()->Roots(0);
  EXPECT_EQ(SelectRow(*doc, "Content-Type given more than once"), root->Children(1));
  EXPECT_TRUE(doc->Locked());
  EXPECT_EQ(doc->LockedPart(), root->Children(1));
  EXPECT_EQ(doc->DisplayedPart(), root->Children(1));
  EXPECT_EQ(doc->Tree()->currentItem(), doc->NodeOf(root->Children(1)));

  // A part inside the embedded message: its node is made on the way.
  TBodyPart* inner = SelectRow(*doc, "8-bit bytes");
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner, root->Children(2)->InnerRoot());
  EXPECT_NE(doc->NodeOf(inner), nullptr);
  EXPECT_EQ(doc->LockedPart(), inner);
  EXPECT_EQ(doc->DisplayedPart(), inner);

  // A message without findings shows no list; a reload rebuilds it.
  doc->LoadBytes(kPlainMessage);
  EXPECT_FALSE(doc->FindingsView()->isVisibleTo(doc.get()));
  EXPECT_TRUE(doc->FindingsView()->Findings().empty());
}

TEST(DocWindowFindings, banner_shows_the_verdict_and_its_signer_link) {
  TStoreSandbox sandbox;
  auto doc = Open("From: Alice <alice@example.com>\r\n" + MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s")));
  TSecurityBannerView* banner = doc->Banner();
  ASSERT_NE(banner, nullptr);
  EXPECT_TRUE(banner->isVisibleTo(doc.get()));
  // Above the views.
  EXPECT_LT(banner->mapTo(doc.get(), QPoint(0, 0)).y(), doc->Tree()->mapTo(doc.get(), QPoint(0, 0)).y());
  // The test CA is not trusted here: a warning, never good.
  EXPECT_EQ(banner->ColourClass(), QStringLiteral("warning"));
  EXPECT_EQ(banner->Banner().Text(),
            "Signed by Alice Signer <alice@example.com>: signature valid, certificate not trusted (partial chain), "
            "certificate time-valid, revocation not checked, signed " +
                SigningTimeText(banner->Verdict().Layers.at(0).Info->SigningTime) + ", matches From");
  EXPECT_TRUE(banner->text().contains(QStringLiteral("href=\"signer:0\"")));

  // The signer link shows the signer's certificate through the display hook.
  std::string shown;
  SetCertificateDisplayHook([&](const TCertificate& certificate, const std::string&) {
    shown = certificate.SerialNumber();
    return 0;
  });
  emit banner->linkActivated(QStringLiteral("signer:0"));
  SetCertificateDisplayHook(nullptr);
  EXPECT_EQ(shown, Serial("alice"));

  // No S/MIME layer: no banner.
  doc->LoadBytes(kPlainMessage);
  EXPECT_FALSE(doc->Banner()->isVisibleTo(doc.get()));

  // A signature that does not verify is bad.
  std::string tampered = "From: alice@example.com\r\n" + MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s"));
  tampered.replace(tampered.find(PkiContent().substr(0, 20)), 1, "X");
  doc->LoadBytes(tampered);
  EXPECT_EQ(doc->Banner()->ColourClass(), QStringLiteral("bad"));
  EXPECT_TRUE(doc->Banner()->isVisibleTo(doc.get()));
}
