#pragma once
// The page "JACK": the channel bundles and the client parameters of each JACK server found at start-up. One tab
// per server lists its capture ports; a double click on a bundle's first port edits the bundle's size. The
// parameters go into the device at once (used at its next client start); the bundles are formed anew at the
// next program start. Leaving a field or editing a bundle writes the global settings.

#include <QInputDialog>
#include <QPointer>
#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QTabBar;
class QTreeWidget;
class TJACKDeviceInfo;
class TLoggerMain;

class TJACKPage : public QWidget
{
  Q_OBJECT
public:
  explicit TJACKPage(TLoggerMain& iController, QWidget* iParent = nullptr);

  // Opens the input box for the bundle that starts at iRow of the shown server; nothing for a port inside a
  // bundle (a greyed row) or without a server.
  void vstJACKChannelBundlesDblClick(int iRow);
  // The open input box "Bundle size", if any.
  QInputDialog* BundleSizeDialog() const { return fBundleSizeDialog; }
  // Shows an error to the user (a message box that does not block; tests replace it).
  std::function<void(const QString&)> ShowError;

  QLabel* lblExplanation;
  QLabel* lblNoServer; // shown when no JACK server ran at start-up
  QTabBar* tcJACKChannelBundles;
  QTreeWidget* vstJACKChannelBundles;
  QLineEdit* edJACKBufferSize;
  QLineEdit* edJACKSampleRate;
  QLineEdit* edJACKThreadCount;

private:
  TJACKDeviceInfo* ShownDevice() const;
  // Fills the fields and the list from the shown server.
  void tcJACKChannelBundlesChange();
  // Greys the ports inside a bundle and shows each bundle's size on its first port.
  void UpdateBundleNodes();
  void BundleSizeEntered(TJACKDeviceInfo* iDevice, int iChannel, const QString& iAnswer);
  // A field's number into the shown device; text that is no number changes nothing.
  void FieldChanged(QLineEdit* iField, const std::function<void(TJACKDeviceInfo&, int)>& iSet);
  void WriteSettings();

  TLoggerMain& fController;
  QPointer<QInputDialog> fBundleSizeDialog;
};
