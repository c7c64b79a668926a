#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

namespace
{
const QByteArray RestoreCommand = "restore\n";
}

TSingleInstance::TSingleInstance(const QString& iRootFolder, QObject* iParent) : QObject(iParent)
{
  // Socket names are short and must not contain the folder's slashes: name the instance by a hash.
  const QByteArray hash = QCryptographicHash::hash(iRootFolder.toUtf8(), QCryptographicHash::Sha1).toHex();
  fServerName = QStringLiteral("tapevault-") + QString::fromLatin1(hash.left(20));
}

TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::Claim()
{
  QLocalSocket probe;
  probe.connectToServer(fServerName);
  if (probe.waitForConnected(1000))
  {
    probe.write(RestoreCommand);
    probe.waitForBytesWritten(1000);
    probe.disconnectFromServer();
    return false;
  }
  // Nobody answers: a socket file left by a crashed instance must not block this start.
  QLocalServer::removeServer(fServerName);
  fServer = std::make_unique<QLocalServer>();
  fServer->setSocketOptions(QLocalServer::UserAccessOption);
  if (!fServer->listen(fServerName))
    return true; // cannot guard, but never refuse to record because of it
  connect(fServer.get(), &QLocalServer::newConnection, this,
          [this]
          {
            while (QLocalSocket* client = fServer->nextPendingConnection())
            {
              connect(client, &QLocalSocket::readyRead, this,
                      [this, client]
                      {
                        if (client->readAll().contains(RestoreCommand.trimmed()))
                          emit RestoreRequested();
                      });
              connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            }
          });
  return true;
}
