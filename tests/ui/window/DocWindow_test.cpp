// The document window on the offscreen platform: the two views, selection,
// locking, expansion of embedded messages and S/MIME layers, and what the
// window shows for input that does not load.
#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "WindowTestSupport.h"
#include "ui/window/PanelView.h"
#include "ui/window/PartImages.h"
#include "controls/PropExplorer.h"
#include "util/system/Exception.h"
#include "ui/window/PartPresentation.h"

namespace {

using namespace wintest;
using namespace smimetest;

QPoint NodeCenter(TDocWindow& doc, TBodyPart* part) {
  QTreeWidgetItem* node = doc.NodeOf(part);
  EXPECT_NE(node, nullptr);
  return node ? doc.Tree()->visualItemRect(node).center() : QPoint();
}

QPoint SummaryCenter(TDocWindow& doc, TBodyPart* part) {
  auto rect = doc.Panels()->SummaryRect(part);
  EXPECT_TRUE(rect.has_value());
  return rect ? rect->center() : QPoint();
}

bool IsPlaceholderOnly(QTreeWidgetItem* node) {
  return node->childCount() == 1 && node->child(0)->text(0).isEmpty() &&
         !node->child(0)->data(0, Qt::UserRole).isValid();
}

const std::string kTwoLeaves = Message(
    Multipart("mixed", {Leaf("text/plain", "first\r\n"),
                        Leaf("application/octet-stream", "AAAA\r\n",
                             "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=a\r\n")}));

TEST(DocWindow, opaque_signed_message_shows_two_roots) {
  TStoreSandbox sandbox;
  std::string inner = Message(Multipart("mixed", {Leaf("text/plain", "inside\r\n")}));
  auto doc = Open("MIME-Version: 1.0\r\n" + Pkcs7Mime(SignOpaque(inner), "signed-data"), true);
  TMessage* message = doc->Message();
  ASSERT_NE(message, nullptr);
  ASSERT_EQ(message->RootCount(), 2);
  QTreeWidget* tree = doc->Tree();
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  QTreeWidgetItem* outer = tree->topLevelItem(0);
  EXPECT_EQ(outer, doc->NodeOf(message->Roots(0)));
  EXPECT_EQ(outer->icon(0).cacheKey(), PartImage(piSigned).cacheKey());
  ASSERT_EQ(outer->childCount(), 1);
  EXPECT_EQ(outer->child(0), doc->NodeOf(message->Roots(1)));
  EXPECT_TRUE(outer->isExpanded());
  EXPECT_EQ(doc->SelectedPart(), message->Roots(0));
  EXPECT_EQ(doc->DisplayedPart(), message->Roots(0));

  // In the panels: two stacked boxes of one height, the inner root's
  // child nested in the second.
  TPanelView* panels = doc->Panels();
  auto first = panels->BoxRect(message->Roots(0));
  auto second = panels->BoxRect(message->Roots(1));
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->height(), second->height());
  EXPECT_EQ(second->top(), first->bottom() + 1 + 2);
  EXPECT_EQ(first->left(), second->left());
  auto child = panels->BoxRect(message->Roots(1)->Children(0));
  ASSERT_TRUE(child);
  EXPECT_TRUE(second->contains(*child));
}

TEST(DocWindow, clicks_lock_move_and_release_the_lock_in_either_view) {
  for (bool panels : {false, true}) {
    SCOPED_TRACE(panels ? "panels" : "tree");
    auto doc = Open(kTwoLeaves, panels);
    TBodyPart* root = doc->Message()->Roots(0);
    TBodyPart* text = root->Children(0);
    TBodyPart* file = root->Children(1);
    TPanelView* boxes = doc->Panels();
    QWidget* viewport = panels ? boxes->viewport() : doc->Tree()->viewport();
    auto at = [&](TBodyPart* part) { return panels ? SummaryCenter(*doc, part) : NodeCenter(*doc, part); };
    if (panels) {  // the pointer alone shows a box's details
      QTest::mouseMove(viewport, at(file));
      EXPECT_EQ(doc->SelectedPart(), file);
      EXPECT_EQ(doc->DisplayedPart(), file);
      EXPECT_EQ(boxes->WhitePart(), file);
    }

    QTest::mouseClick(viewport, Qt::LeftButton, {}, at(text));
    EXPECT_TRUE(doc->Locked());
    EXPECT_EQ(doc->LockedPart(), text);
    EXPECT_EQ(doc->DisplayedPart(), text);
    EXPECT_EQ(doc->CurrentPart(), text);
    EXPECT_EQ(doc->NodeOf(text)->text(0), "text/plain (LOCKED) ");
    if (panels) {
      EXPECT_EQ(boxes->YellowPart(), text);
      EXPECT_TRUE(boxes->SummaryOf(text).startsWith("Content-Type: text/plain   ( LOCKED )"));
    }

    // The pointer over another part does not take the details away.
    QTest::mouseMove(viewport, at(file));
    EXPECT_EQ(doc->DisplayedPart(), text);
    EXPECT_TRUE(doc->HeaderMemo()->toPlainText().startsWith("Content-Type: text/plain"));
    EXPECT_EQ(doc->CurrentPart(), text);

    // A click elsewhere moves the lock; a right click on the locked node
    // keeps it; a left click on it releases it.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at(file));
    EXPECT_EQ(doc->LockedPart(), file);
    EXPECT_EQ(doc->DisplayedPart(), file);
    EXPECT_EQ(doc->NodeOf(text)->text(0), "text/plain");
    if (panels) {
      EXPECT_EQ(boxes->SummaryOf(text), "Content-Type: text/plain");
    } else {
      EXPECT_EQ(doc->NodeOf(file)->text(0), "application/octet-stream (\"a\") (LOCKED) ");
      QTest::mouseClick(viewport, Qt::RightButton, {}, at(file));
      EXPECT_EQ(doc->LockedPart(), file);
    }
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at(file));
    EXPECT_FALSE(doc->Locked());
    EXPECT_EQ(doc->LockedPart(), nullptr);
    EXPECT_EQ(boxes->YellowPart(), nullptr);
    EXPECT_EQ(doc->NodeOf(file)->text(0), "application/octet-stream (\"a\")");
  }
}

TEST(DocWindow, keyboard_and_context_menu_lock) {
  for (bool panels : {false, true}) {
    SCOPED_TRACE(panels ? "panels" : "tree");
    auto doc = Open(kTwoLeaves, panels);
    QWidget* view = panels ? static_cast<QWidget*>(doc->Panels()) : doc->Tree();
    TBodyPart* root = doc->Message()->Roots(0);
    TBodyPart* file = root->Children(1);
    doc->SetCurrent(file, false);
    view->setFocus();

    const TDocActions& a = doc->Actions();
    EXPECT_TRUE(a.Lock->isVisible());
    EXPECT_FALSE(a.Unlock->isVisible());
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(doc->LockedPart(), file);
    EXPECT_FALSE(a.Lock->isVisible());
    EXPECT_TRUE(a.Unlock->isVisible());
    QTest::keyClick(view, Qt::Key_Enter);
    EXPECT_FALSE(doc->Locked());

    // Ctrl+L is the menu's own action.
    QTest::keyClick(view, Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(doc->LockedPart(), file);
    a.Unlock->trigger();
    EXPECT_FALSE(doc->Locked());
    EXPECT_EQ(doc->SelectedPart(), file);

    // The menu holds the shared actions with their captions and keys.
    QStringList captions;
    for (QAction* item : doc->ContextMenu()->actions())
      captions << (item->isSeparator() ? "-" : item->text() + "|" + item->shortcut().toString());
    EXPECT_EQ(captions.join(","),
              "&Lock|Ctrl+L,&Unlock|,-,&Save content as...|Ctrl+S,Save &raw content as...|,"
              "S&ave body part as...|Ctrl+B,-,&Go to Decoded Content|Ctrl+D,Go &to Raw Content|Ctrl+R,"
              "Go to &Header|Ctrl+H,-,&Execute...|Ctrl+E");
  }
}

TEST(DocWindow, read_only_panes_view_switches_and_a_reload_that_forgets_every_part) {
  auto doc = Open(kTwoLeaves);
  for (QWidget* pane : {doc->HeaderInfo(), doc->SmimeInfo()}) {
    auto* explorer = dynamic_cast<TPropExplorer*>(pane);
    ASSERT_NE(explorer, nullptr);
    EXPECT_TRUE(explorer->ReadOnly());
    EXPECT_EQ(explorer->NameColWidth(), 120);
  }
  EXPECT_EQ(doc->Subject(), "test");
  EXPECT_TRUE(doc->HasDecodedContent() == doc->ContentPages()->isTabVisible(1));

  // Switching views keeps the selected part.
  TBodyPart* file = doc->Message()->Roots(0)->Children(1);
  QTest::mouseMove(doc->Tree()->viewport(), NodeCenter(*doc, file));
  ASSERT_EQ(doc->SelectedPart(), file);
  doc->SetViewMode(true);
  EXPECT_TRUE(doc->Panels()->isVisible());
  EXPECT_FALSE(doc->Tree()->isVisible());
  EXPECT_EQ(doc->SelectedPart(), file);
  EXPECT_EQ(doc->Panels()->WhitePart(), file);
  doc->SetViewMode(false);
  EXPECT_EQ(doc->SelectedPart(), file);
  EXPECT_EQ(doc->Tree()->currentItem(), doc->NodeOf(file));

  // A reload drops every part the window pointed at.
  doc->SetLocked(file, true);
  doc->Reload();
  TBodyPart* root = doc->Message()->Roots(0);
  EXPECT_FALSE(doc->Locked());
  EXPECT_EQ(doc->LockedPart(), nullptr);
  EXPECT_EQ(doc->SelectedPart(), root);
  EXPECT_EQ(doc->DisplayedPart(), root);
  EXPECT_EQ(doc->Tree()->topLevelItem(0), doc->NodeOf(root));
  EXPECT_EQ(doc->Panels()->BoxCount(), 3);
}

TEST(DocWindow, embedded_message_waits_behind_a_placeholder) {
  TErrorRecorder errors;
  auto doc = Open(Message(Multipart(
      "mixed",
      {Leaf("message/rfc822", Message(Multipart("alternative", {Leaf("text/plain"), Leaf("text/html")}, "in"))),
       Leaf("message/rfc822", "no colon in this header\r\n\r\nbody\r\n")})));
  TBodyPart* root = doc->Message()->Roots(0);
  TBodyPart* embedded = root->Children(0);
  QTreeWidgetItem* node = doc->NodeOf(embedded);
  EXPECT_TRUE(IsPlaceholderOnly(node));
  EXPECT_FALSE(node->isExpanded());
  EXPECT_EQ(doc->Panels()->BoxCount(), 3);

  // Up and Down in the panels pass over what the placeholder hides.
  doc->SetViewMode(true);
  doc->SetCurrent(root, false);
  QTest::keyClick(doc->Panels(), Qt::Key_Down);
  EXPECT_EQ(doc->SelectedPart(), embedded);
  QTest::keyClick(doc->Panels(), Qt::Key_Down);
  EXPECT_EQ(doc->SelectedPart(), root->Children(1));

  ASSERT_TRUE(doc->ExpandPart(embedded));
  TBodyPart* inner = embedded->InnerRoot();
  ASSERT_NE(inner, nullptr);
  EXPECT_TRUE(node->isExpanded());
  ASSERT_EQ(node->childCount(), 1);
  EXPECT_EQ(node->child(0), doc->NodeOf(inner));
  EXPECT_EQ(node->child(0)->childCount(), 2);
  EXPECT_EQ(doc->Panels()->BoxCount(), 6);
  EXPECT_TRUE(doc->Panels()->BoxRect(embedded)->contains(*doc->Panels()->BoxRect(inner->Children(1))));

  // One that does not parse refuses, says why once, and stays closed.
  TBodyPart* broken = root->Children(1);
  EXPECT_FALSE(doc->ExpandPart(broken));
  EXPECT_EQ(errors.Texts.size(), 1);
  EXPECT_TRUE(errors.Texts.value(0).contains("Invalid header")) << errors.Texts.value(0).toStdString();
  EXPECT_FALSE(doc->NodeOf(broken)->isExpanded());
  EXPECT_TRUE(IsPlaceholderOnly(doc->NodeOf(broken)));
  QTest::mouseMove(doc->Panels()->viewport(), SummaryCenter(*doc, broken));
  EXPECT_EQ(errors.Texts.size(), 1);
}

TEST(DocWindow, failed_decryption_keeps_the_placeholder_and_tries_again) {
  TStoreSandbox sandbox;  // no key: decryption fails
  std::string enveloped =
      Openssl("cms -encrypt -binary -outform DER -aes256 bob.pem", Leaf("text/plain", "secret\r\n"));
  auto doc = Open(Message(Multipart("mixed", {Leaf("text/plain"), Pkcs7Mime(enveloped, "enveloped-data")})), true);
  auto* part = dynamic_cast<TSmimeBodyPart*>(doc->Message()->Roots(0)->Children(1));
  ASSERT_NE(part, nullptr);
  QTreeWidgetItem* node = doc->NodeOf(part);
  EXPECT_EQ(node->icon(0).cacheKey(), PartImage(piEnveloped).cacheKey());
  EXPECT_TRUE(IsPlaceholderOnly(node));

  EXPECT_FALSE(doc->ExpandPart(part));
  EXPECT_TRUE(IsPlaceholderOnly(node));
  EXPECT_FALSE(node->isExpanded());
  EXPECT_FALSE(part->Decoded);  // the next expansion decodes again
  EXPECT_TRUE(doc->Panels()->SummaryOf(part).endsWith("\r\nNot decoded"));

  sandbox.PutIdentity("My", "bob");
  EXPECT_TRUE(doc->ExpandPart(part));
  ASSERT_NE(part->CurrentDecodedPart(), nullptr);
  EXPECT_EQ(node->child(0), doc->NodeOf(part->CurrentDecodedPart()));
  EXPECT_FALSE(doc->Panels()->SummaryOf(part).contains("Not decoded"));
}

TEST(DocWindow, input_that_does_not_load_says_why) {
  auto doc = Open("no colon in this header line\r\n\r\nbody\r\n", true);
  EXPECT_EQ(doc->Message(), nullptr);
  EXPECT_TRUE(doc->Notice()->isVisible());
  EXPECT_TRUE(doc->Notice()->text().contains("Invalid header")) << doc->Notice()->text().toStdString();
  EXPECT_EQ(doc->Tree()->topLevelItemCount(), 0);
  EXPECT_EQ(doc->Panels()->BoxCount(), 0);
  EXPECT_EQ(doc->Panels()->EmptyText(), "Drag an .eml file or an Outlook Express message onto the form. ");
  // No part: neither Lock nor Unlock.
  EXPECT_EQ(doc->SelectedPart(), nullptr);
  EXPECT_EQ(doc->CurrentPart(), nullptr);
  doc->UpdateCommands();
  EXPECT_FALSE(doc->Actions().Lock->isVisible());
  EXPECT_FALSE(doc->Actions().Unlock->isVisible());

  // A good load afterwards hides the notice again.
  doc->LoadBytes(kTwoLeaves);
  EXPECT_FALSE(doc->Notice()->isVisible());
  EXPECT_EQ(doc->LoadError(), "");
}

TEST(DocWindow, deep_and_wide_messages_open_in_both_views) {
  struct Case {
    const char* Name;
    std::string Bytes;
    int Parts;
  } cases[] = {{"100 deep", Nested(99), 100}, {"5000 parts", Wide(5000), 5001}};
  for (const Case& c : cases) {
    for (bool panels : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (panels ? " panels" : " tree"));
      auto doc = Open(c.Bytes, panels);
      ASSERT_NE(doc->Message(), nullptr) << doc->LoadError().toStdString();
      EXPECT_EQ(doc->Panels()->BoxCount(), c.Parts);
      const TPanelGeometry& g = doc->Panels()->Geometry();
      for (size_t i = 0; i < g.Boxes.size(); ++i) {
        ASSERT_GT(g.Boxes[i].W, 0);
        ASSERT_GT(g.Boxes[i].H, 0);
        ASSERT_GE(g.Summaries[i].H, kMinSummaryHeight);
      }
      // The last part can be reached and locked in either view.
      TBodyPart* last = doc->Panels()->Box(c.Parts - 1).Part;
      doc->SetCurrent(last, true);
      doc->SetLocked(last, true);
      EXPECT_EQ(doc->Tree()->currentItem(), doc->NodeOf(last));
      if (panels) {
        auto rect = doc->Panels()->SummaryRect(last);
        ASSERT_TRUE(rect);
        EXPECT_TRUE(doc->Panels()->viewport()->rect().intersects(*rect));
      }
      QApplication::processEvents();
    }
  }
}

TEST(DocWindow, squeezed_summaries_show_whole_lines_only) {
  // Sixty attachments do not fit at full height: each two-line summary is
  // squeezed to the minimum, and its second line must not show half cut.
  std::vector<std::string> files;
  for (int i = 0; i < 60; ++i)
    files.push_back(Leaf("application/octet-stream", "x\r\n", "Content-Disposition: attachment\r\n"));
  auto doc = Open(Message(Multipart("mixed", files)), true);
  TBodyPart* first = doc->Message()->Roots(0)->Children(0);
  auto rect = doc->Panels()->SummaryRect(first);
  ASSERT_TRUE(rect);
  const QFontMetrics fm = doc->Panels()->fontMetrics();
  ASSERT_LT(rect->height(), 1 + fm.lineSpacing() + fm.height());  // really squeezed
  QImage img = doc->Panels()->viewport()->grab().toImage();
  const QRgb back = img.pixel(rect->right() - 2, rect->top() + 1);
  int ink = 0;
  for (int y = rect->top() + 1 + fm.height(); y <= rect->bottom(); ++y)
    for (int x = rect->left() + 2; x < rect->left() + 120; ++x) ink += img.pixel(x, y) != back;
  EXPECT_EQ(ink, 0);
  // The first line is there.
  int firstInk = 0;
  for (int y = rect->top() + 1; y < rect->top() + 1 + fm.height(); ++y)
    for (int x = rect->left() + 2; x < rect->left() + 120; ++x) firstInk += img.pixel(x, y) != back;
  EXPECT_GT(firstInk, 0);
}

TEST(DocWindow, embedded_messages_a_hundred_deep_expand_to_the_limit) {
  std::string bytes = Leaf("text/plain", "deepest\r\n");
  for (int i = 0; i < 100; ++i) bytes = Leaf("message/rfc822", "Subject: level\r\n" + bytes);
  auto doc = Open(Message(Multipart("mixed", {bytes})), true);
  doc->ExpandAll();
  int nodes = 0, waiting = 0;
  for (QTreeWidgetItemIterator it(doc->Tree()); *it; ++it) {
    if ((*it)->data(0, Qt::UserRole).isValid())
      ++nodes;
    else
      ++waiting;
  }
  // Nesting stops at the parser's limit; the last embedded message keeps
  // its placeholder, and every node has its box.
  EXPECT_GT(nodes, 50);
  EXPECT_LE(waiting, 1);
  EXPECT_EQ(doc->Panels()->BoxCount(), nodes);
  for (const TPanelRect& r : doc->Panels()->Geometry().Summaries) ASSERT_GT(r.W, 0);
}

TEST(ErrorNet, handlers_and_events_report_instead_of_ending) {
  TErrorRecorder errors;
  EXPECT_FALSE(Guarded([] { throw tessel::Exception("first"); }));
  EXPECT_TRUE(Guarded([] {}));
  struct TRaising : QObject {
    bool event(QEvent*) override { throw std::runtime_error("second"); }
  } raising;
  QEvent event(QEvent::User);
  QApplication::sendEvent(&raising, &event);
  EXPECT_EQ(errors.Texts, QStringList({"first", "second"}));
}

}  // namespace
