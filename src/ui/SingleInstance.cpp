#include "ui/SingleInstance.h"

#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QtGlobal>

#include "util/system/TempFiles.h"

namespace tessel {

namespace {

// Per-connection state, kept on the socket so that it dies with it.
struct TConnection : QObject {
  TInstanceFrameReader Reader;
  bool Busy = false;  // a request is being handled (it may run a dialog's event loop)
};

bool WaitForAck(QLocalSocket& socket, int timeoutMs) {
  while (socket.bytesAvailable() < 1) {
    if (socket.state() != QLocalSocket::ConnectedState) return false;
    if (!socket.waitForReadyRead(timeoutMs)) return false;
  }
  char ack = 0;
  return socket.getChar(&ack) && ack == kInstanceAck;
}

bool SendFrame(QLocalSocket& socket, TInstanceCommand command, const std::string& argument) {
  const std::string frame = EncodeInstanceFrame(command, argument);
  if (socket.write(frame.data(), static_cast<qint64>(frame.size())) != static_cast<qint64>(frame.size())) return false;
  return socket.waitForBytesWritten(kInstanceAckTimeoutMs) || socket.bytesToWrite() == 0;
}

}  // namespace

QString InstanceSocketName() {
  QString name = qEnvironmentVariable("TESSEL_INSTANCE_NAME");
  if (name.startsWith('/')) return name;
  if (name.isEmpty()) name = QStringLiteral("tessel-%1").arg(static_cast<qulonglong>(getuid()));
  name.replace('/', '_');
  QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (dir.isEmpty() || !QDir::isAbsolutePath(dir)) dir = QString::fromStdString(TTempFiles::TempDirectory());
  return QDir(dir).filePath(name);
}

TForwardResult ForwardToInstance(const QString& socketName, const std::vector<std::string>& absoluteNames,
                                 QString* error, int ackTimeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(socketName);
  if (!socket.waitForConnected(ackTimeoutMs)) return TForwardResult::NoInstance;
  auto fail = [&](const QString& what) {
    if (error) *error = what;
    return TForwardResult::Failed;
  };
  if (!SendFrame(socket, TInstanceCommand::Raise, std::string()))
    return fail(QStringLiteral("the running viewer does not answer"));
  // A viewer that accepts the connection but never answers is busy or hung;
  // its queue still holds what was sent, so go on.
  WaitForAck(socket, ackTimeoutMs);
  for (const std::string& name : absoluteNames) {
    if (socket.state() != QLocalSocket::ConnectedState || !SendFrame(socket, TInstanceCommand::Open, name))
      return fail(QStringLiteral("the running viewer closed the connection before taking %1")
                      .arg(QString::fromStdString(name)));
    WaitForAck(socket, ackTimeoutMs);
  }
  socket.disconnectFromServer();
  if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(ackTimeoutMs);
  return TForwardResult::Forwarded;
}

TInstanceServer::TInstanceServer(QObject* parent) : QObject(parent) {
  Server_.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&Server_, &QLocalServer::newConnection, this, &TInstanceServer::Accept);
}

TInstanceServer::~TInstanceServer() { Server_.close(); }

bool TInstanceServer::Listen(const QString& socketName, QString* error) {
  if (Server_.listen(socketName)) return true;
  // The name is taken: by a socket file nobody listens on any more (the
  // caller has made sure under the lock), so it may go.
  QLocalServer::removeServer(socketName);
  if (Server_.listen(socketName)) return true;
  if (error) *error = Server_.errorString();
  return false;
}

void TInstanceServer::Accept() {
  while (QLocalSocket* socket = Server_.nextPendingConnection()) {
    auto* state = new TConnection;
    state->setParent(socket);
    state->setObjectName(QStringLiteral("instance-connection"));
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Serve(socket); });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    Serve(socket);
  }
}

void TInstanceServer::Serve(QLocalSocket* rawSocket) {
  QPointer<QLocalSocket> socket(rawSocket);
  auto* state = socket->findChild<TConnection*>(QStringLiteral("instance-connection"));
  if (state == nullptr || state->Busy) return;  // the running request drains the rest
  state->Busy = true;
  for (;;) {
    const QByteArray bytes = socket->readAll();
    state->Reader.Feed(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    TInstanceFrame frame;
    if (!state->Reader.Next(frame)) break;
    if (frame.Command == TInstanceCommand::Raise) {
      if (OnRaise) OnRaise();
    } else if (!frame.Argument.empty() && OnOpen) {
      OnOpen(frame.Argument);
    }
    // The request may have run an event loop in which the peer went away.
    if (socket.isNull()) return;
    socket->putChar(kInstanceAck);
    socket->flush();
  }
  if (state->Reader.Broken()) {
    socket->abort();
    return;
  }
  state->Busy = false;
}

TStartRole ClaimInstance(TInstanceServer& server, const QString& socketName,
                         const std::vector<std::string>& absoluteNames, QString* error) {
  QLockFile lock(socketName + QStringLiteral(".lock"));
  if (!lock.tryLock(kInstanceLockTimeoutMs)) {
    if (error) *error = QStringLiteral("another start holds %1.lock").arg(socketName);
    return TStartRole::Failed;
  }
  switch (ForwardToInstance(socketName, absoluteNames, error)) {
    case TForwardResult::Forwarded: return TStartRole::Forwarded;
    case TForwardResult::Failed: return TStartRole::Failed;
    case TForwardResult::NoInstance: break;
  }
  return server.Listen(socketName, error) ? TStartRole::Serve : TStartRole::Failed;
}

}  // namespace tessel
