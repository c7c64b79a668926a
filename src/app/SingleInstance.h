#pragma once
// One running instance per root folder: the first start listens on a local socket named after its root
// folder; a later start on the same folder asks it to come to the front and ends.

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

class TSingleInstance : public QObject
{
  Q_OBJECT
public:
  explicit TSingleInstance(const QString& iRootFolder, QObject* iParent = nullptr);
  ~TSingleInstance() override;

  // True when this process is now the instance of the root folder. False when another one runs; that one
  // has been asked to come to the front.
  bool Claim();
  QString ServerName() const { return fServerName; }

signals:
  // Another start on the same root folder asked this instance to show itself.
  void RestoreRequested();

private:
  QString fServerName;
  std::unique_ptr<QLocalServer> fServer;
};
