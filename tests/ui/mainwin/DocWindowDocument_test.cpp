// The main window over real document windows: a message dropped as data
// reads like the same file opened, and a dropped message's caption is its
// decoded subject.
#include <gtest/gtest.h>

#include <QMdiSubWindow>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "ui/window/MainDocument.h"
#include "MainWinSupport.h"
#include "ui/MainWindow.h"
#include "ui/window/MimeDocWindow.h"
#include "ui/window/WindowTestSupport.h"
#include "ui/WindowSettings.h"
#include "config/QXConf.h"

using namespace tessel;

namespace {

QStringList TreeOf(TMainDocument& document) {
  auto* window = dynamic_cast<TDocWindow*>(document.Widget());
  EXPECT_NE(window, nullptr);
  window->ExpandAll();
  QStringList nodes;
  for (QTreeWidgetItemIterator it(window->Tree()); *it; ++it) {
    int depth = 0;
    for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent()) ++depth;
    nodes << QString(depth * 2, ' ') + (*it)->text(0);
  }
  return nodes;
}

std::string WithLfOnly(std::string text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

}  // namespace

TEST(DocWindowDocument, dropped_lf_only_message_reads_like_the_file_and_is_captioned_by_subject) {
  test::TTempDir dir;
  TQXConfigFile config;
  config.WriteString(kCreateTempFilesKey, u"No");
  TKelTesselMainWindow window(config, DocWindowFactory());
  window.show();
  for (const char* sample : {"encoded-subject.eml", "forwarded-lf.eml", "multipart-attachment.eml"}) {
    const std::string bytes = WithLfOnly(tessel::ReadFileBytes(std::string(TESSEL_SAMPLES) + "/" + sample));
    ASSERT_FALSE(bytes.empty()) << sample;
    const std::string file = dir / sample;
    test::WriteFile(file, bytes);
    window.OpenFile(file);
    window.MessageDropped(bytes);
    const auto& documents = window.Documents();
    ASSERT_GE(documents.size(), 2u);
    TMainDocument& opened = *documents[documents.size() - 2].Document;
    TMainDocument& dropped = *documents.back().Document;
    const QStringList tree = TreeOf(opened);
    EXPECT_GT(tree.size(), 0) << sample;
    EXPECT_EQ(TreeOf(dropped), tree) << sample;
    EXPECT_EQ(documents.back().Window->windowTitle().toStdString(), dropped.Subject() + " (Dropped file)");
  }
  // Decoded, not the encoded word.
  EXPECT_TRUE(
      window.Documents()[1].Window->windowTitle().startsWith(QString::fromUtf8("Gr\xc3\xbc\xc3\x9f"
                                                                               "e aus K")))
      << window.Documents()[1].Window->windowTitle().toStdString();
}

TEST(DocWindowDocument, body_part_menu_saves_the_part_the_document_shows) {
  test::TTempDir dir;
  TQXConfigFile config;
  config.WriteString(kCreateTempFilesKey, u"No");
  TKelTesselMainWindow window(config, DocWindowFactory());
  window.show();
  const std::string sample = std::string(TESSEL_SAMPLES) + "/multipart-attachment.eml";
  window.OpenFile(sample);
  ASSERT_EQ(window.Documents().size(), 1u);
  auto* doc = dynamic_cast<TDocWindow*>(window.Documents()[0].Document->Widget());
  ASSERT_NE(doc, nullptr);
  const std::string target = dir / "whole.eml";
  auto dialogs = std::make_shared<wintest::TAnsweringDialogs>();
  dialogs->Answer = target;
  doc->Details().SetDialogs(dialogs);

  QAction* save = nullptr;  // the BodyPart menu's item
  for (QAction* item : window.findChildren<QAction*>())
    if (item->text() == "Save &BodyPart As...") save = item;
  ASSERT_NE(save, nullptr);
  ASSERT_TRUE(save->isEnabled());
  save->trigger();
  ASSERT_EQ(dialogs->Setups.size(), 1u);
  EXPECT_EQ(dialogs->Setups[0].Title, "Save bodypart");
  // The root part is shown: its header block and body, the file without
  // the epilogue after the closing delimiter.
  const std::string file = tessel::ReadFileBytes(sample);
  EXPECT_EQ(tessel::ReadFileBytes(target), file.substr(0, file.find("Epilogue")));
  EXPECT_TRUE(dialogs->Failures.empty());
}
