#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include "platform/process.h"

namespace fahuo {

SingleInstance::SingleInstance(const QString& data_folder, QObject* parent)
    : QObject(parent), folder_(QDir(data_folder).canonicalPath()) {
  if (folder_.isEmpty()) folder_ = QDir(data_folder).absolutePath();
  const QByteArray key = QCryptographicHash::hash(
      (folder_ + QLatin1Char(':') + QString::fromStdString(UserKey())).toUtf8(),
      QCryptographicHash::Sha1);
  server_name_ = QStringLiteral("fahuo-") + QString::fromLatin1(key.toHex().left(16));
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::Acquire() {
  const QByteArray path = QDir(folder_).filePath(QStringLiteral("fahuo.lock")).toLocal8Bit();
  return lock_.TryLock(path.toStdString()) != FileLock::Result::kHeldElsewhere;
}

bool SingleInstance::AskRunningCopyToShow() {
  QLocalSocket socket;
  socket.connectToServer(server_name_);
  if (!socket.waitForConnected(2000)) return false;
  socket.write("show\n");
  socket.flush();
  const bool answered = socket.waitForReadyRead(2000);
  socket.disconnectFromServer();
  return answered;
}

void SingleInstance::Listen(std::function<void()> show) {
  // A copy that crashed leaves its socket file behind; we hold the lock, so it is stale.
  QLocalServer::removeServer(server_name_);
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(server_name_)) return;
  connect(server_, &QLocalServer::newConnection, this, [this, show] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      auto answer = [socket, show] {
        if (socket->bytesAvailable() == 0) return;
        socket->readAll();
        show();
        socket->write("ok\n");
        socket->flush();
        socket->disconnectFromServer();
      };
      connect(socket, &QLocalSocket::readyRead, socket, answer);
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      answer();  // the request may have arrived with the connection
    }
  });
}

}  // namespace fahuo
