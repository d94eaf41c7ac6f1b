// The main window over stand-in documents: menus and their visibility,
// opening, recent files, the Windows menu and tilings, drops, and the
// settings written at the end and read at the next start.
#include "ui/MainWindow.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QScreen>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "MainWinSupport.h"
#include "ui/SignalClose.h"
#include "ui/WindowSettings.h"
#include "config/QXConf.h"
#include "util/charsets/Charsets.h"
#include "util/system/TempFiles.h"

using namespace tessel;
using tessel::test::TTempDir;
using tessel::test::WriteFile;

namespace {

// A document that reads its file whole and takes the "Subject:" line as
// its subject; it records what the main window asks of it.
class TFakeDocument : public QWidget, public TMainDocument {
public:
  explicit TFakeDocument(QWidget* parent) : QWidget(parent) {}
  QWidget* Widget() override { return this; }
  void LoadFile(const std::string& fileName) override {
    std::ifstream in(fileName, std::ios::binary);
    if (!in || std::filesystem::is_directory(fileName)) throw std::runtime_error("Cannot open file " + fileName);
    Bytes.assign(std::istreambuf_iterator<char>(in), {});
    File = fileName;
    ++Loads;
  }
  void LoadBytes(std::string bytes) override { Bytes = std::move(bytes); }
  void Reload() override { ++Reloads; }
  std::string Subject() const override {
    const size_t at = Bytes.find("Subject: ");
    if (at == std::string::npos) return {};
    return Bytes.substr(at + 9, Bytes.find_first_of("\r\n", at) - at - 9);
  }
  void SetViewMode(bool panels) override { Panels = panels; }
  bool HasDecodedContent() const override { return Decoded; }
  void Run(TCommand command) override { Commands.push_back(command); }
  QAction* SharedAction(TCommand command) override { return command == TCommand::SaveContent ? Save : nullptr; }
  // A shared action as a real document window has it: its key works
  // wherever the focus is inside the document.
  void AddSharedSave() {
    Save = new QAction(QStringLiteral("&Save content as..."), this);
    Save->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
    Save->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(Save);
    connect(Save, &QAction::triggered, this, [this] { ++Saves; });
    Focus = new QLineEdit(this);
  }
  QAction* Save = nullptr;
  QLineEdit* Focus = nullptr;
  int Saves = 0;

  std::string File, Bytes;
  int Loads = 0, Reloads = 0;
  bool Panels = false, Decoded = true;
  std::vector<TCommand> Commands;
};

class TFakeDialogs : public TMainDialogs {
public:
  QStringList ChooseFiles(QWidget*) override { return Chosen; }
  void ShowError(QWidget*, const QString& text) override { Errors.push_back(text.toStdString()); }
  void ShowAbout(QWidget*) override { ++Abouts; }
  QStringList Chosen;
  std::vector<std::string> Errors;
  int Abouts = 0;
};

class MainWindowTest : public ::testing::Test {
protected:
  // A window over stand-in documents and dialogs (then in Dialogs).
  std::unique_ptr<TKelTesselMainWindow> Make(TQXConfigFile* config = nullptr) {
    auto dialogs = std::make_unique<TFakeDialogs>();
    Dialogs = dialogs.get();
    return std::make_unique<TKelTesselMainWindow>(
        config ? *config : Config, [](QWidget* parent) { return std::make_unique<TFakeDocument>(parent); },
        std::move(dialogs));
  }
  std::string File(const std::string& name, const std::string& bytes = "Subject: x\r\n\r\nbody\r\n") {
    WriteFile(Dir / name, bytes);
    return CanonicalFileName(Dir / name, "/");
  }
  static TFakeDocument* Doc(TKelTesselMainWindow& w, size_t i) {
    return dynamic_cast<TFakeDocument*>(w.Documents().at(i).Document);
  }
  static QMenu* Menu(TKelTesselMainWindow& w, const QString& caption) {
    for (QAction* a : w.menuBar()->actions())
      if (a->text() == caption) return a->menu();
    return nullptr;
  }
  static QAction* Item(QMenu* menu, const QString& caption) {
    for (QAction* a : menu->actions())
      if (a->text() == caption) return a;
    return nullptr;
  }
  static QStringList Captions(QMenu* menu) {
    QStringList list;
    for (QAction* a : menu->actions()) list << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return list;
  }
  static bool Shown(QAction* action) { return action != nullptr && action->isVisible(); }

  TTempDir Dir;
  TQXConfigFile Config;
  TFakeDialogs* Dialogs = nullptr;
};

}  // namespace

TEST_F(MainWindowTest, menu_table_and_visibility_follow_the_documents) {
  auto w = Make();
  QStringList bar;
  for (QAction* a : w->menuBar()->actions()) bar << a->text();
  EXPECT_EQ(bar, (QStringList{"&File", "&BodyPart", "&View", "&Windows", "&Help"}));
  QMenu* file = Menu(*w, "&File");
  EXPECT_EQ(Captions(file), (QStringList{"&Open...", "&Reopen", "&Close", "Close &All", "-", "E&xit"}));
  EXPECT_EQ(Item(file, "&Open...")->shortcut(), QKeySequence("Ctrl+O"));
  EXPECT_EQ(Item(file, "&Close")->shortcut(), QKeySequence("Ctrl+F4"));
  EXPECT_TRUE(Item(file, "&Reopen")->shortcut().isEmpty());
  QMenu* body = Menu(*w, "&BodyPart");
  EXPECT_EQ(Captions(body),
            (QStringList{"&Save Content As...", "Save &Raw Content As...", "Save &BodyPart As...", "-",
                         "&Go to Decoded Content", "Go &to Raw Content", "Go to &Header", "Go to &MIME structure"}));
  EXPECT_EQ(Item(body, "Go to &MIME structure")->shortcut(), QKeySequence("Ctrl+M"));
  EXPECT_EQ(Captions(Menu(*w, "&View")), (QStringList{"View As Tree", "View As Panels"}));
  EXPECT_TRUE(Item(Menu(*w, "&View"), "View As Tree")->isChecked());  // nothing stored: tree

  auto hiddenAll = [&] {
    EXPECT_FALSE(Shown(Item(file, "&Close")));
    EXPECT_FALSE(Shown(Item(file, "Close &All")));
    EXPECT_FALSE(body->menuAction()->isVisible());
    EXPECT_FALSE(Menu(*w, "&Windows")->menuAction()->isVisible());
  };
  hiddenAll();
  const std::string a = File("a.eml"), b = File("b & c.eml");
  w->show();
  w->OpenFile(a);
  w->OpenFile(b);
  EXPECT_TRUE(Shown(Item(file, "&Close")));
  EXPECT_TRUE(Shown(Item(file, "Close &All")));
  EXPECT_TRUE(body->menuAction()->isVisible());
  QMenu* windows = Menu(*w, "&Windows");
  EXPECT_TRUE(windows->menuAction()->isVisible());
  EXPECT_EQ(Captions(windows),
            (QStringList{QString::fromStdString("&1 " + a), QString::fromStdString("&2 " + EscapeMnemonics(b)), "-",
                         "&Cascade", "Tile &Vertically", "Tile &Horizontally", "&Arrange All"}));
  // "Current File" sits in the Reopen menu with Ctrl+F5, and only there.
  QMenu* reopen = Item(file, "&Reopen")->menu();
  ASSERT_EQ(Captions(reopen).back(), "Current File");
  EXPECT_EQ(reopen->actions().back()->shortcut(), QKeySequence("Ctrl+F5"));

  Item(file, "&Close")->trigger();
  QApplication::processEvents();
  ASSERT_EQ(w->Documents().size(), 1u);
  EXPECT_TRUE(Shown(Item(file, "&Close")));
  EXPECT_TRUE(body->menuAction()->isVisible());
  Item(file, "Close &All")->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(w->Documents().empty());
  hiddenAll();
  EXPECT_FALSE(Item(body, "&Save Content As...")->isEnabled());  // no shortcut reaches a document
}

TEST_F(MainWindowTest, missing_and_unreadable_files_and_a_second_open_of_an_open_one) {
  auto w = Make();
  w->show();
  w->OpenFile(Dir / "none.eml");
  EXPECT_TRUE(Dialogs->Errors.empty());
  EXPECT_EQ(w->statusBar()->currentMessage().toStdString(), "File not found: " + (Dir / "none.eml"));
  std::filesystem::create_directories(Dir / "folder.eml");
  w->OpenFile(Dir / "folder.eml");
  ASSERT_EQ(Dialogs->Errors.size(), 1u);
  EXPECT_EQ(Dialogs->Errors[0], "Cannot open file \"" + (Dir / "folder.eml") + "\". Is a directory.");
  mkfifo((Dir / "pipe.eml").c_str(), 0600);  // would block a reader for good
  w->OpenFile(Dir / "pipe.eml");
  ASSERT_EQ(Dialogs->Errors.size(), 2u);
  EXPECT_EQ(Dialogs->Errors[1], "Cannot open file \"" + (Dir / "pipe.eml") + "\". Invalid argument.");
  EXPECT_TRUE(w->Documents().empty());
  EXPECT_TRUE(w->Area()->subWindowList().empty());
  EXPECT_TRUE(w->RecentFiles().Names().empty());

  // A second open of an open file only brings it forward.
  const std::string a = File("a.eml"), b = File("b.eml");
  w->OpenFile(a);
  w->OpenFile(b);
  const QString before = QDir::currentPath();
  QDir::setCurrent(QString::fromStdString(Dir.Str()));
  w->OpenFile("./sub/../a.eml");  // another spelling of the same file
  QDir::setCurrent(before);
  ASSERT_EQ(w->Documents().size(), 2u);
  EXPECT_EQ(Doc(*w, 0)->Loads, 1);
  EXPECT_EQ(w->ActiveDocument(), w->Documents()[0].Document);
  EXPECT_EQ(w->RecentFiles().Names().front(), a);
  // Linux names are case-sensitive: "A.eml" is another file.
  const std::string upper = File("A.eml");
  w->OpenFile(upper);
  EXPECT_EQ(w->Documents().size(), 3u);
}

TEST_F(MainWindowTest, eleven_recent_files_give_ten_items_each_opening_its_file) {
  std::vector<std::string> names;
  for (int i = 1; i <= 11; ++i) names.push_back(File("f" + std::to_string(i) + ".eml"));
  WriteFileList(Config, kRecentFilesKey, names);
  auto w = Make();
  w->show();
  QMenu* reopen = Item(Menu(*w, "&File"), "&Reopen")->menu();
  ASSERT_EQ(reopen->actions().size(), 10);
  // Opening item k leaves items 1..k-1 numbered as they were.
  for (int k = 10; k >= 1; --k) {
    QAction* item = nullptr;
    for (QAction* a : reopen->actions())
      if (a->text().startsWith(QStringLiteral("&%1 ").arg(k))) item = a;
    ASSERT_NE(item, nullptr) << k;
    item->trigger();
    QApplication::processEvents();
    ASSERT_EQ(Doc(*w, 10 - k)->File, names[static_cast<size_t>(k - 1)]);
  }
  EXPECT_EQ(w->Documents().size(), 10u);
}

TEST_F(MainWindowTest, body_part_items_reach_the_active_document) {
  auto w = Make();
  w->show();
  w->OpenFile(File("a.eml"));
  TFakeDocument* doc = Doc(*w, 0);
  QMenu* body = Menu(*w, "&BodyPart");
  QAction* decoded = Item(body, "&Go to Decoded Content");
  EXPECT_TRUE(decoded->isVisible());
  doc->Decoded = false;
  emit body->aboutToShow();
  EXPECT_FALSE(decoded->isVisible());
  doc->Decoded = true;
  emit body->aboutToShow();
  decoded->trigger();
  Item(body, "Save &BodyPart As...")->trigger();
  EXPECT_EQ(doc->Commands, (std::vector<TMainDocument::TCommand>{TMainDocument::TCommand::GoToDecoded,
                                                                 TMainDocument::TCommand::SaveBodyPart}));
  // The decoded page went away after the menu was built: the item does nothing.
  doc->Decoded = false;
  decoded->trigger();
  EXPECT_EQ(doc->Commands.size(), 2u);
  QAction* current = Item(Item(Menu(*w, "&File"), "&Reopen")->menu(), "Current File");
  ASSERT_NE(current, nullptr);
  current->trigger();
  EXPECT_EQ(doc->Reloads, 1);
  Item(Menu(*w, "&Help"), "&About...")->trigger();
  EXPECT_EQ(Dialogs->Abouts, 1);

  // With the document's own action: the menu item and the key both run it,
  // once each (a second action on the same key would make Qt run neither).
  w->OpenFile(File("b.eml"));
  TFakeDocument* shared = Doc(*w, 1);
  shared->AddSharedSave();
  shared->Focus->show();
  QApplication::setActiveWindow(w.get());
  shared->Focus->setFocus();
  QApplication::processEvents();
  QAction* save = Item(body, "&Save Content As...");
  EXPECT_EQ(save->shortcut(), QKeySequence("Ctrl+S"));
  save->trigger();
  EXPECT_EQ(shared->Saves, 1);
  QTest::keyClick(shared->Focus, Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(shared->Saves, 2);
  shared->Save->setEnabled(false);
  emit body->aboutToShow();
  EXPECT_FALSE(save->isEnabled());
  EXPECT_TRUE(shared->Commands.empty());
}

TEST_F(MainWindowTest, dropped_messages_with_one_subject_are_two_windows) {
  Config.WriteString(kCreateTempFilesKey, u"No");
  auto w = Make();
  w->show();
  w->MessageDropped("Subject: Tom & Jerry\n\nLF only\n");
  w->MessageDropped("Subject: Tom & Jerry\n\nLF only\n");
  w->MessageDropped("no header at all");
  ASSERT_EQ(w->Documents().size(), 3u);
  EXPECT_EQ(w->Documents()[0].Window->windowTitle(), "Tom & Jerry (Dropped file)");
  EXPECT_EQ(w->Documents()[2].Window->windowTitle(), "Dropped File");
  EXPECT_EQ(Captions(Menu(*w, "&Windows")).mid(0, 3),
            (QStringList{"&1 Tom && Jerry (Dropped file)", "&2 Tom && Jerry (Dropped file)", "&3 Dropped File"}));
  Item(Menu(*w, "&View"), "View As Panels")->trigger();
  for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(Doc(*w, i)->Panels) << i;
  EXPECT_TRUE(Config.ReadBool(kViewAsPanelsKey, ""));
  w->SaveSettings();
  EXPECT_EQ(Config.ReadString(kLastFilesKey), u"");  // a dropped message has no file to reopen
}

TEST_F(MainWindowTest, drops_keep_a_message_in_a_temporary_file_and_open_file_lists_in_order) {
  auto w = Make();
  w->show();
  QMimeData data;
  data.setData("text/plain", "not this");
  data.setData("message/rfc822", "Subject: kept\r\n\r\nx");
  ASSERT_TRUE(w->Drop(data));
  ASSERT_EQ(w->Documents().size(), 1u);
  const std::string name = w->Documents()[0].FileName;
  EXPECT_EQ(name.rfind(TTempFiles::TempDirectory() + "tes-sel", 0), 0u) << name;
  EXPECT_EQ(name.substr(name.size() - 4), ".eml");
  // File lists open in their order, local files only; plain text is refused.
  const std::string a = File("a b.eml"), b = File("b.eml");
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(QString::fromStdString(b)), QUrl("https://example.org/x.eml"),
                 QUrl::fromLocalFile(QString::fromStdString(a))});
  ASSERT_TRUE(w->Drop(files));
  ASSERT_EQ(w->Documents().size(), 3u);
  EXPECT_EQ(w->Documents()[1].FileName, b);
  EXPECT_EQ(w->Documents()[2].FileName, a);
  QMimeData nothing;
  nothing.setText("plain text");
  EXPECT_FALSE(w->Drop(nothing));
  w.reset();
  EXPECT_EQ(tessel::ReadFileBytes(name), "Subject: kept\r\n\r\nx");  // still there after the window
  std::filesystem::remove(name);
}

TEST_F(MainWindowTest, tilings_place_windows_side_by_side_or_stacked) {
  auto w = Make();
  w->show();
  w->OpenFile(File("a.eml"));
  w->OpenFile(File("b.eml"));
  QMenu* windows = Menu(*w, "&Windows");
  const QSize area = w->Area()->viewport()->size();
  Item(windows, "Tile &Vertically")->trigger();
  QRect first = w->Documents()[0].Window->geometry(), second = w->Documents()[1].Window->geometry();
  EXPECT_EQ(first, QRect(0, 0, area.width() / 2, area.height()));
  EXPECT_EQ(second.left(), first.right() + 1);
  EXPECT_EQ(second.top(), 0);
  Item(windows, "Tile &Horizontally")->trigger();
  first = w->Documents()[0].Window->geometry(), second = w->Documents()[1].Window->geometry();
  EXPECT_EQ(first, QRect(0, 0, area.width(), area.height() / 2));
  EXPECT_EQ(second.top(), first.bottom() + 1);
  EXPECT_EQ(second.left(), 0);
}

TEST_F(MainWindowTest, settings_survive_a_restart_without_creep_or_broken_names) {
  const std::string configName = Dir / "tessel.ini.xml";
  const std::string a = File("a.eml"), b = File("b.eml"), c = File("c.eml");
  const std::string broken = File("line\nbreak.eml");
  {
    TQXConfigFile config;
    config.SetPath(configName);
    auto w = Make(&config);
    w->move(20, 30);
    w->show();
    QApplication::processEvents();
    for (const std::string& name : {c, a, broken, b}) w->OpenFile(name);
    w->Documents()[0].Window->close();  // c: recent, not open
    QApplication::processEvents();
    for (QAction* action : w->findChildren<QAction*>())
      if (action->text() == "View As Panels") action->trigger();
    w->close();
    config.Save();
  }
  const std::string text = tessel::ReadFileBytes(configName);
  EXPECT_NE(text.find("<AsPanels>1</AsPanels>"), std::string::npos) << text;
  EXPECT_NE(text.find("<DisplayAsnForSmimeParts Values=\"No;Yes\">No</DisplayAsnForSmimeParts>"), std::string::npos)
      << text;
  EXPECT_EQ(text.find("break.eml"), std::string::npos) << text;  // a name with LF is never written
  EXPECT_NE(text.find("W=\"696\""), std::string::npos) << text;

  TQXConfigFile config;
  config.SetAutoLoad(true);
  config.SetPath(configName);
  EXPECT_EQ(ReadFileList(config, kLastFilesKey), (std::vector<std::string>{a, b}));
  EXPECT_EQ(ReadFileList(config, kRecentFilesKey), (std::vector<std::string>{b, a, c}));
  const std::optional<TRect> placement = ReadPlacement(config);
  ASSERT_TRUE(placement);
  auto w = Make(&config);
  w->show();
  QApplication::processEvents();
  ASSERT_EQ(w->Documents().size(), 2u);
  EXPECT_EQ(w->Documents()[0].FileName, a);
  EXPECT_EQ(w->Documents()[1].FileName, b);
  EXPECT_TRUE(w->ViewAsPanels());
  EXPECT_TRUE(Doc(*w, 0)->Panels);
  // Maximised at the end: the stored placement stays as it was.
  w->showMaximized();
  QApplication::processEvents();
  w->close();
  EXPECT_EQ(ReadPlacement(config), placement);
  auto again = Make(&config);
  again->SaveSettings();
  EXPECT_EQ(ReadPlacement(config), placement);  // restore then save: no creep
}

TEST_F(MainWindowTest, hand_edited_settings_never_stop_a_start) {
  Config.LoadFromString(
      "<Key><window><placement L=\"x\" T=\"1\" W=\"abc\"/></window><View><AsPanels>maybe</AsPanels></View>"
      "<mru>\n\n/no/such.eml\r\n</mru><last-file-name>/no/such/either.eml</last-file-name></Key>");
  auto w = Make();
  w->show();
  QApplication::processEvents();
  EXPECT_EQ(w->size(), QSize(kDesignWidth, kDesignHeight));
  EXPECT_TRUE(w->Documents().empty());
  EXPECT_TRUE(Dialogs->Errors.empty());
  EXPECT_EQ(w->RecentFiles().Names(), std::vector<std::string>{"/no/such.eml"});
  // Far off every screen: moved onto the primary one.
  WritePlacement(Config, {-5000, 9000, 400, 300});
  auto moved = Make();
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(screen.intersects(QRect(moved->pos(), moved->size())));
  EXPECT_EQ(moved->size(), QSize(400, 300));
}

TEST_F(MainWindowTest, ending_signals_close_the_window_the_normal_way) {
  const std::string a = File("a.eml");
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    TQXConfigFile config;
    auto w = Make(&config);
    w->show();
    w->OpenFile(a);
    {
      TCloseOnSignals closer([&w] { w->close(); });
      ASSERT_EQ(raise(signal), 0);
      EXPECT_TRUE(QTest::qWaitFor([&] { return !w->isVisible(); }, 5000)) << signal;
    }
    EXPECT_EQ(ReadFileList(config, kLastFilesKey), std::vector<std::string>{a}) << signal;
  }
}
