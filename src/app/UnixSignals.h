#pragma once
// Turns SIGTERM and SIGINT into a Qt signal on the controller's thread (a close request without question).

#include <QObject>

class QSocketNotifier;

class TUnixSignals : public QObject
{
  Q_OBJECT
public:
  explicit TUnixSignals(QObject* iParent = nullptr);
  ~TUnixSignals() override;

signals:
  void CloseRequested(int iSignal);

private:
  QSocketNotifier* fNotifier = nullptr;
};
