// One viewer per user: the first start listens on a per-user local socket,
// later starts hand it their file names and end.
//
// The socket lives in $XDG_RUNTIME_DIR when it is set, else in the user's
// private temporary directory (mode 0700), and accepts only its own user.
// Its name is "tessel-<uid>"; TESSEL_INSTANCE_NAME replaces it, so tests and
// people who want two independent viewers can have them.
//
// Starting is serialised by a lock file beside the socket: under the lock a
// start either reaches a running instance or (after removing a socket that
// a crashed instance left behind) starts listening, so two starts at the
// same moment end with one server and one forwarder.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "ui/InstanceProtocol.h"

class QLocalSocket;

namespace tessel {

// How long a sender waits for the running instance to take one name.
inline constexpr int kInstanceAckTimeoutMs = 5000;
// How long a start waits for another start to finish claiming the socket.
inline constexpr int kInstanceLockTimeoutMs = 10000;

// The socket's full path for this user (see above).
QString InstanceSocketName();

enum class TForwardResult {
  NoInstance,  // nobody listens (or only a stale socket is left)
  Forwarded,   // the running instance was raised and has every name
  Failed,      // an instance answered, then broke off; error says how
};

// Asks the instance at socketName to come to the front, then sends the
// names one by one, each after the previous one is acknowledged. A name
// that is not acknowledged within the timeout is not resent: the next one
// follows it on the same stream, so the order stays and nothing is lost.
TForwardResult ForwardToInstance(const QString& socketName, const std::vector<std::string>& absoluteNames,
                                 QString* error, int ackTimeoutMs = kInstanceAckTimeoutMs);

class TInstanceServer : public QObject {
  Q_OBJECT
public:
  explicit TInstanceServer(QObject* parent = nullptr);
  ~TInstanceServer() override;

  // Called for every request, before it is acknowledged.
  std::function<void()> OnRaise;
  std::function<void(const std::string& fileName)> OnOpen;

  // Listens on socketName, replacing a stale socket file. Call it under the
  // start lock (ClaimInstance does).
  bool Listen(const QString& socketName, QString* error);
  bool IsListening() const { return Server_.isListening(); }
  QString SocketName() const { return Server_.fullServerName(); }

private:
  void Accept();
  void Serve(QLocalSocket* socket);

  QLocalServer Server_;
};

enum class TStartRole { Serve, Forwarded, Failed };

// The start's decision, under the lock: forward names to a running instance
// (Forwarded), or become the instance (Serve, server listening), or neither
// (Failed, error says why).
TStartRole ClaimInstance(TInstanceServer& server, const QString& socketName,
                         const std::vector<std::string>& absoluteNames, QString* error);

}  // namespace tessel
