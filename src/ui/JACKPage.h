#pragma once
// The page "JACK": the capture inputs of the device registry. This build's registry holds ALSA and PulseAudio
// inputs only; the page lists them and says that JACK servers and their channel bundles are not available.

#include <QWidget>

class QTreeWidget;
class QLabel;

class TJACKPage : public QWidget
{
  Q_OBJECT
public:
  explicit TJACKPage(QWidget* iParent = nullptr);

  QLabel* lblExplanation;
  QTreeWidget* vstInputs;
};
