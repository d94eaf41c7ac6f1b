// The single instance over the user's local socket, in one process: the
// forwarder runs on a thread of its own (it blocks, as a second start does)
// while the test's event loop serves.
#include "ui/SingleInstance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLocalSocket>
#include <QTest>
#include <atomic>
#include <cstring>
#include <thread>

#include "MainWinSupport.h"

using namespace tessel;

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
  void SetUp() override {
    qputenv("TESSEL_INSTANCE_NAME", QByteArray::fromStdString(test::UniqueInstanceName()));
    Name = InstanceSocketName();
    Server.OnRaise = [this] { ++Raised; };
    Server.OnOpen = [this](const std::string& name) { Opened.push_back(name); };
  }
  void TearDown() override { qunsetenv("TESSEL_INSTANCE_NAME"); }

  // Runs a blocking forward on a thread while this thread's loop serves.
  TForwardResult ForwardServed(const std::vector<std::string>& names) {
    std::atomic<bool> done{false};
    TForwardResult result = TForwardResult::Failed;
    std::thread sender([&] {
      QString error;
      result = ForwardToInstance(Name, names, &error, 3000);
      done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 10000));
    sender.join();
    QCoreApplication::processEvents();
    return result;
  }

  QString Name;
  TInstanceServer Server;
  int Raised = 0;
  std::vector<std::string> Opened;
};

}  // namespace

TEST_F(SingleInstanceTest, first_start_serves_and_takes_names_in_order_with_a_raise) {
  QString error;
  EXPECT_EQ(ForwardToInstance(Name, {"/a.eml"}, &error, 500), TForwardResult::NoInstance);
  ASSERT_EQ(ClaimInstance(Server, Name, {"/ignored.eml"}, &error), TStartRole::Serve) << error.toStdString();
  EXPECT_TRUE(Opened.empty());
  // Only the user may connect.
  struct stat info {};
  ASSERT_EQ(stat(Name.toLocal8Bit().constData(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(info.st_mode & 077, 0u);

  const std::vector<std::string> names{"/m/one.eml", "/m/t\xc3\xa9 two & more.eml", "/" + std::string(3000, 'x')};
  EXPECT_EQ(ForwardServed(names), TForwardResult::Forwarded);
  EXPECT_EQ(Raised, 1);
  EXPECT_EQ(Opened, names);
}

TEST_F(SingleInstanceTest, a_stale_socket_left_by_a_crash_is_replaced) {
  // A socket file nobody listens on, as a killed instance leaves it.
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray path = Name.toLocal8Bit();
  ASSERT_LT(static_cast<size_t>(path.size()), sizeof address.sun_path);
  std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);

  QString error;
  ASSERT_EQ(ClaimInstance(Server, Name, {}, &error), TStartRole::Serve) << error.toStdString();
  EXPECT_EQ(ForwardServed({"/after-crash.eml"}), TForwardResult::Forwarded);
  EXPECT_EQ(Opened, std::vector<std::string>{"/after-crash.eml"});
}

TEST_F(SingleInstanceTest, garbage_on_the_socket_drops_that_connection_only) {
  QString error;
  ASSERT_EQ(ClaimInstance(Server, Name, {}, &error), TStartRole::Serve);
  QLocalSocket intruder;
  intruder.connectToServer(Name);
  ASSERT_TRUE(intruder.waitForConnected(2000));
  intruder.write(
      QByteArray("\xff\xff\xff\xff"
                 "O/x.eml",
                 11));
  intruder.flush();
  EXPECT_TRUE(QTest::qWaitFor([&] { return intruder.state() == QLocalSocket::UnconnectedState; }, 5000));
  EXPECT_EQ(ForwardServed({"/fine.eml"}), TForwardResult::Forwarded);
  EXPECT_EQ(Opened, std::vector<std::string>{"/fine.eml"});
}
