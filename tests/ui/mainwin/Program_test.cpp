// The program itself, as separate processes: a second start hands its
// files to the running viewer and ends, two starts at once end with one
// viewer, and SIGTERM makes the viewer write its settings as "Exit" does.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <memory>

#include "MainWinSupport.h"
#include "ui/RecentFiles.h"
#include "ui/SingleInstance.h"
#include "ui/WindowSettings.h"
#include "config/QXConf.h"

using namespace tessel;

namespace {

class ProgramTest : public ::testing::Test {
protected:
  void SetUp() override {
    qputenv("TESSEL_INSTANCE_NAME", QByteArray::fromStdString(test::UniqueInstanceName()));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    Socket = InstanceSocketName();
    for (const char* name : {"a.eml", "b c.eml", "d.eml"})
      test::WriteFile(Dir / name, std::string("Subject: ") + name + "\r\n\r\nbody\r\n");
  }
  void TearDown() override {
    for (auto& p : Running)
      if (p->state() != QProcess::NotRunning) {
        p->kill();
        p->waitForFinished(5000);
      }
    qunsetenv("TESSEL_INSTANCE_NAME");
  }
  QProcess& Start(const QStringList& args) {
    Running.push_back(std::make_unique<QProcess>());
    QProcess& p = *Running.back();
    p.setWorkingDirectory(QString::fromStdString(Dir.Str()));
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral(TESSEL_PROGRAM), args);
    EXPECT_TRUE(p.waitForStarted(10000));
    return p;
  }
  bool Serving() const { return QFileInfo::exists(Socket); }
  std::vector<std::string> LastFiles(const std::string& config) {
    TQXConfigFile file;
    file.LoadFromFile(config);
    return ReadFileList(file, kLastFilesKey);
  }
  std::string Abs(const std::string& name) { return CanonicalFileName(Dir / name, "/"); }

  test::TTempDir Dir;
  QString Socket;
  std::vector<std::unique_ptr<QProcess>> Running;
};

}  // namespace

TEST_F(ProgramTest, second_start_forwards_three_names_and_sigterm_writes_the_settings) {
  const std::string config = Dir / "first.ini.xml";
  QProcess& first = Start({"--config", QString::fromStdString(config)});
  ASSERT_TRUE(QTest::qWaitFor([&] { return Serving(); }, 20000));
  // Relative names: made absolute by the second start, in its own folder.
  QProcess& second = Start({"--config", QString::fromStdString(Dir / "second.ini.xml"), "a.eml", "b c.eml", "d.eml"});
  ASSERT_TRUE(second.waitForFinished(20000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(first.state(), QProcess::Running);

  first.terminate();  // SIGTERM
  ASSERT_TRUE(first.waitForFinished(20000));
  EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(first.exitCode(), 0);
  EXPECT_EQ(LastFiles(config), (std::vector<std::string>{Abs("a.eml"), Abs("b c.eml"), Abs("d.eml")}));
  const std::string text = tessel::ReadFileBytes(config);
  EXPECT_NE(text.find("<CreateTempFiles"), std::string::npos) << text;
  EXPECT_FALSE(Serving());  // the socket goes with the viewer

  // The next start opens them again, in their order, and adds its own.
  QProcess& again = Start({"--config", QString::fromStdString(config), "a.eml"});
  ASSERT_TRUE(QTest::qWaitFor([&] { return Serving(); }, 20000));
  QTest::qWait(500);
  again.terminate();
  ASSERT_TRUE(again.waitForFinished(20000));
  EXPECT_EQ(LastFiles(config), (std::vector<std::string>{Abs("a.eml"), Abs("b c.eml"), Abs("d.eml")}));
}

TEST_F(ProgramTest, two_starts_at_once_end_with_one_viewer_holding_both_files) {
  const std::string config = Dir / "one.ini.xml";
  QProcess& a = Start({"--config", QString::fromStdString(config), "a.eml"});
  QProcess& b = Start({"--config", QString::fromStdString(config), "d.eml"});
  // One of them forwards and ends.
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return a.state() == QProcess::NotRunning || b.state() == QProcess::NotRunning; }, 30000));
  QProcess& survivor = a.state() == QProcess::NotRunning ? b : a;
  QProcess& forwarder = a.state() == QProcess::NotRunning ? a : b;
  EXPECT_EQ(forwarder.exitCode(), 0);
  QTest::qWait(500);
  ASSERT_EQ(survivor.state(), QProcess::Running);
  survivor.terminate();
  ASSERT_TRUE(survivor.waitForFinished(20000));
  std::vector<std::string> open = LastFiles(config);
  std::sort(open.begin(), open.end());
  EXPECT_EQ(open, (std::vector<std::string>{Abs("a.eml"), Abs("d.eml")}));
}
