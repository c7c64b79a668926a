#pragma once
// The slot dialog: every setting of one slot on six pages. It fills its controls from the slot, applies the rules
// of the fields while it is open, and on OK checks the settings and holds them; the caller applies them
// (TLoggerMain::ApplySlotSettings), which stores the slot's section and restarts what the change requires.

#include "slots/SlotSettingsCheck.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class TSlotInfo;
class TUpDownSpinBox;

class TConfigureSlotForm : public QDialog
{
  Q_OBJECT
public:
  TConfigureSlotForm(TSlotInfo& iSlotInfo, QWidget* iParent = nullptr);

  // The settings confirmed with OK.
  const TSlotSettings& Settings() const { return fSettings; }
  // Shows a message to the user (a message box that does not block; tests replace it).
  std::function<void(const QString&)> ShowMessage;
  // Runs a dialog opened from this one (exec; tests replace it to drive the dialog).
  std::function<int(QDialog&)> OpenDialog = [](QDialog& iDialog) { return iDialog.exec(); };

  void btnOkClick();
  void UpdateStorageEstimate();

  // Pages
  QTabWidget* pcPages;
  QWidget* tsGeneral;
  QWidget* tsInput;
  QWidget* tsOutput;
  QWidget* tsCleanup;
  QWidget* tsStreaming;
  QWidget* tsSilenceDetection;
  // General
  QLineEdit* edName;
  // Input
  QRadioButton* rbDisabled;
  QRadioButton* rbSoundcard;
  QRadioButton* rbStream;
  QComboBox* cbDevice;
  QPushButton* btnControlPanel;
  QLineEdit* edStreamURL;
  TUpDownSpinBox* edNominalLevel;
  TUpDownSpinBox* edRecordDelay;
  QCheckBox* cbRecord16bit;
  QComboBox* cbRecordChannels;
  QLineEdit* edWinampPlugin;
  QPushButton* btnWinampPluginSelect;
  QPushButton* btnWinampPluginReload;
  QPushButton* btnWinampPluginConfigure;
  QCheckBox* cbWinampPluginStreamOnly;
  // Output
  QLineEdit* edFolder;
  QLineEdit* edSecondaryFolder;
  QLineEdit* edFilenamePrefix;
  QLineEdit* edCustomFilename;
  QCheckBox* cbFlatFilenames;
  QCheckBox* cbCueSheet;
  QCheckBox* cbNoAutoRotate;
  QLineEdit* edTimeSlotLength;
  QCheckBox* cbTimeSlotAlign;
  QLineEdit* edTimeSlotOffset;
  QComboBox* cbFormat;
  QLineEdit* edFileExtension;
  QComboBox* cbMode;
  QComboBox* cbBitrate;
  QComboBox* cbSamplerate;
  QLineEdit* edEncoderFilename;
  QLineEdit* edEncoderOptions;
  // Cleanup
  QCheckBox* cbCleanupDaysEnabled;
  TUpDownSpinBox* edCleanupDays;
  QLabel* lblCleanupDays;
  QCheckBox* cbCleanupSpaceEnabled;
  TUpDownSpinBox* edCleanupSpace;
  // Streaming
  QCheckBox* cbStreamingEnabled;
  QCheckBox* cbStreamingOnly;
  QLineEdit* edStreamingHost;
  QLineEdit* edStreamingPort;
  QCheckBox* cbStreamingServerMode;
  QLineEdit* edStreamingMountPoint;
  QLineEdit* edStreamingStreamID;
  QLineEdit* edStreamingPassword;
  QPushButton* btnStreamingShowPassword;
  QLineEdit* edStreamingMimeType;
  QLineEdit* edStreamingTitle;
  QLineEdit* edStreamingURL;
  QLineEdit* edStreamingGenre;
  QLineEdit* edStreamingAIM;
  QLineEdit* edStreamingIRC;
  QLineEdit* edStreamingICQ;
  QLineEdit* edStreamingDescription;
  QCheckBox* cbStreamingPublic;
  QCheckBox* cbStreamingForwardMetadata;
  // Silence detection
  TUpDownSpinBox* edSilenceThreshold;
  TUpDownSpinBox* edSilenceDetection;
  QCheckBox* cbSilenceDetectionIfIncactive;
  QCheckBox* cbSendEmailSilenceDetected;
  QCheckBox* cbSendEmailSilenceOK;
  QLineEdit* edHTTPAlarmSilenceDetected;
  QLineEdit* edHTTPAlarmSilenceOK;
  QPushButton* btnOk;
  QPushButton* btnCancel;

private:
  // ConfigureSlotPages.cpp: the controls and their layout.
  void BuildGeneralPage();
  void BuildInputPage();
  void BuildOutputPage();
  void BuildCleanupPage();
  void BuildStreamingPage();
  void BuildSilenceDetectionPage();
  // ConfigureSlot.cpp: filling, rules, OK.
  void FormCreate();
  void cbDeviceChange();
  void cbFormatChange();
  void btnControlPanelClick();
  void btnWinampPluginSelectClick();
  void btnWinampPluginReloadClick();
  void btnWinampPluginConfigureClick();
  void SelectFolder(QLineEdit* iField, const QString& iTitle);
  void SelectFile(QLineEdit* iField, const QString& iFilter);
  // The settings as the controls hold them; numbers that cannot be read fall back to iOld's.
  TSlotSettings SettingsFromControls(const TSlotSettings& iOld) const;

  TSlotInfo& fSlotInfo;
  TSlotSettings fSettings;
};
