// The controls of the slot dialog and their layout, page by page.

#include "ui/ConfigureSlot.h"
#include "ui/UpDownSpinBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace
{
QWidget* NewPage(QTabWidget* iPages, const QString& iTitle, QFormLayout*& oForm)
{
  auto* page = new QWidget;
  oForm = new QFormLayout(page);
  oForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  iPages->addTab(page, iTitle);
  return page;
}

// A field followed by its unit or note.
QWidget* WithNote(QWidget* iField, const QString& iNote)
{
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(iField);
  layout->addWidget(new QLabel(iNote));
  layout->addStretch();
  return row;
}

// A field with a button beside it.
QWidget* WithButton(QWidget* iField, QPushButton* iButton)
{
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(iField, 1);
  layout->addWidget(iButton);
  return row;
}

// The up-down control of a number of the key table, with the row's range.
TUpDownSpinBox* UpDown(const char* iKey, int iStep)
{
  return new TUpDownSpinBox(*FindSlotSettingKey(iKey)->Range, iStep);
}

QLabel* Note(const QString& iText)
{
  auto* label = new QLabel(iText);
  label->setWordWrap(true);
  return label;
}
} // namespace

void TConfigureSlotForm::BuildGeneralPage()
{
  QFormLayout* form = nullptr;
  tsGeneral = NewPage(pcPages, "General", form);
  edName = new QLineEdit;
  form->addRow("Name/Description:", edName);
}

void TConfigureSlotForm::BuildInputPage()
{
  QFormLayout* form = nullptr;
  tsInput = NewPage(pcPages, "Input", form);
  rbDisabled = new QRadioButton("Disabled");
  rbSoundcard = new QRadioButton("Sound card:");
  rbStream = new QRadioButton("Stream URL:");
  cbDevice = new QComboBox;
  cbDevice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  btnControlPanel = new QPushButton("Configure...");
  edStreamURL = new QLineEdit;
  form->addRow(rbDisabled);
  form->addRow(rbSoundcard, WithButton(cbDevice, btnControlPanel));
  form->addRow(rbStream, edStreamURL);

  edNominalLevel = UpDown("NominalLevel", 1);
  edRecordDelay = UpDown("RecordDelay", 60);
  cbRecord16bit = new QCheckBox("16 bit mode");
  cbRecordChannels = new QComboBox;
  cbRecordChannels->addItems({"stereo", "left channel only", "right channel only"});
  form->addRow("Nominal level:", WithNote(edNominalLevel, "dBFS"));
  form->addRow("Record delay:", WithNote(edRecordDelay, "seconds"));
  form->addRow(cbRecord16bit);
  form->addRow("Channels:", cbRecordChannels);

  auto* plugin = new QGroupBox("Sound processing");
  auto* pluginForm = new QFormLayout(plugin);
  edWinampPlugin = new QLineEdit;
  btnWinampPluginSelect = new QPushButton("Select...");
  btnWinampPluginReload = new QPushButton("Reload");
  btnWinampPluginConfigure = new QPushButton("Configure...");
  cbWinampPluginStreamOnly = new QCheckBox("Only process stream, not recording");
  pluginForm->addRow("LADSPA plugin:", WithButton(edWinampPlugin, btnWinampPluginSelect));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnWinampPluginReload);
  buttons->addWidget(btnWinampPluginConfigure);
  buttons->addStretch();
  pluginForm->addRow(buttons);
  pluginForm->addRow(cbWinampPluginStreamOnly);
  pluginForm->addRow(Note("Changes in the sound processing settings will be effective after restart."));
  form->addRow(plugin);
}

void TConfigureSlotForm::BuildOutputPage()
{
  QFormLayout* form = nullptr;
  tsOutput = NewPage(pcPages, "Output", form);
  edFolder = new QLineEdit;
  auto* selectFolder = new QPushButton("...");
  selectFolder->setFixedWidth(30);
  connect(selectFolder, &QPushButton::clicked, this, [this] { SelectFolder(edFolder, "Select Output Folder"); });
  edSecondaryFolder = new QLineEdit;
  auto* selectSecondary = new QPushButton("...");
  selectSecondary->setFixedWidth(30);
  connect(selectSecondary, &QPushButton::clicked, this,
          [this] { SelectFolder(edSecondaryFolder, "Select Secondary Output Folder"); });
  edFilenamePrefix = new QLineEdit;
  edCustomFilename = new QLineEdit;
  form->addRow("Folder:", WithButton(edFolder, selectFolder));
  form->addRow("Secondary folder:", WithButton(edSecondaryFolder, selectSecondary));
  form->addRow("Filename prefix:", edFilenamePrefix);
  form->addRow("Filename format:", WithNote(edCustomFilename, "(blank = default)"));

  cbFlatFilenames = new QCheckBox("Use flat filenames (no subfolders)");
  cbCueSheet = new QCheckBox("Create cue sheet (streams only)");
  cbNoAutoRotate = new QCheckBox("Disable auto rotation (infinite/manual recording length)");
  form->addRow(cbFlatFilenames);
  form->addRow(cbCueSheet);
  form->addRow(cbNoAutoRotate);

  edTimeSlotLength = new QLineEdit;
  edTimeSlotLength->setMaximumWidth(80);
  cbTimeSlotAlign = new QCheckBox("Align to the top of the hour");
  edTimeSlotOffset = new QLineEdit;
  edTimeSlotOffset->setMaximumWidth(80);
  form->addRow("Recording length:", WithNote(edTimeSlotLength, "minutes per file"));
  form->addRow(cbTimeSlotAlign);
  form->addRow("Offset for alignment:", WithNote(edTimeSlotOffset, "seconds"));

  cbFormat = new QComboBox;
  cbFormat->addItems({"MP3", "MP2", "Ogg Vorbis", "WAV (16 bit)", "WAV (32 bit)", "Custom (with WAV header)",
                      "Custom (raw PCM)", "No recording"});
  edFileExtension = new QLineEdit;
  edFileExtension->setMaximumWidth(60);
  auto* formatRow = new QWidget;
  auto* formatLayout = new QHBoxLayout(formatRow);
  formatLayout->setContentsMargins(0, 0, 0, 0);
  formatLayout->addWidget(cbFormat, 1);
  formatLayout->addWidget(edFileExtension);
  cbMode = new QComboBox;
  cbMode->addItems({"mono", "stereo", "joint stereo"});
  cbBitrate = new QComboBox;
  cbBitrate->setEditable(true);
  cbSamplerate = new QComboBox;
  cbSamplerate->setEditable(true);
  for (const std::string& rate : FindSlotSettingKey("Samplerate")->Suggestions)
    cbSamplerate->addItem(QString::fromStdString(rate));
  form->addRow("Format:", formatRow);
  form->addRow("Mode:", cbMode);
  form->addRow("Bit rate:", WithNote(cbBitrate, "kbit/s"));
  form->addRow("Sample rate:", WithNote(cbSamplerate, "Hz"));

  edEncoderFilename = new QLineEdit;
  auto* selectEncoder = new QPushButton("...");
  selectEncoder->setFixedWidth(30);
  connect(selectEncoder, &QPushButton::clicked, this,
          [this] { SelectFile(edEncoderFilename, "Executable files (*)"); });
  edEncoderOptions = new QLineEdit;
  form->addRow("Encoder filename:", WithButton(edEncoderFilename, selectEncoder));
  form->addRow("Encoder options:", edEncoderOptions);
}

void TConfigureSlotForm::BuildCleanupPage()
{
  QFormLayout* form = nullptr;
  tsCleanup = NewPage(pcPages, "Cleanup", form);
  cbCleanupDaysEnabled = new QCheckBox("Delete recordings older than");
  edCleanupDays = UpDown("CleanupDays", 1);
  lblCleanupDays = new QLabel("days");
  auto* daysRow = new QHBoxLayout;
  daysRow->addWidget(cbCleanupDaysEnabled);
  daysRow->addWidget(edCleanupDays);
  daysRow->addWidget(lblCleanupDays);
  daysRow->addStretch();
  form->addRow(daysRow);
  cbCleanupSpaceEnabled = new QCheckBox("Delete recordings when disk space is below");
  edCleanupSpace = UpDown("CleanupSpace", 1);
  auto* spaceRow = new QHBoxLayout;
  spaceRow->addWidget(cbCleanupSpaceEnabled);
  spaceRow->addWidget(edCleanupSpace);
  spaceRow->addWidget(new QLabel("GB"));
  spaceRow->addStretch();
  form->addRow(spaceRow);
}

void TConfigureSlotForm::BuildStreamingPage()
{
  QFormLayout* form = nullptr;
  tsStreaming = NewPage(pcPages, "Streaming", form);
  cbStreamingEnabled = new QCheckBox("Enable Streaming");
  cbStreamingOnly = new QCheckBox("Streaming only, no recoding");
  form->addRow(cbStreamingEnabled);
  form->addRow(cbStreamingOnly);
  edStreamingHost = new QLineEdit;
  edStreamingPort = new QLineEdit;
  edStreamingPort->setMaximumWidth(80);
  cbStreamingServerMode = new QCheckBox("Internal server mode");
  edStreamingMountPoint = new QLineEdit;
  edStreamingStreamID = new QLineEdit;
  edStreamingPassword = new QLineEdit;
  edStreamingPassword->setEchoMode(QLineEdit::Password);
  btnStreamingShowPassword = new QPushButton("Show Password");
  edStreamingMimeType = new QLineEdit;
  form->addRow("Hostname/IP:", edStreamingHost);
  form->addRow("Port:", WithNote(edStreamingPort, ""));
  form->addRow(cbStreamingServerMode);
  form->addRow("Mount point:", WithNote(edStreamingMountPoint, "(Icecast only)"));
  form->addRow("Stream ID:", WithNote(edStreamingStreamID, "(Shoutcast v2 only)"));
  form->addRow("Password:", WithButton(edStreamingPassword, btnStreamingShowPassword));
  form->addRow("MIME type:", WithNote(edStreamingMimeType, "(leave empty for default)"));
  edStreamingTitle = new QLineEdit;
  edStreamingURL = new QLineEdit;
  edStreamingGenre = new QLineEdit;
  edStreamingAIM = new QLineEdit;
  edStreamingIRC = new QLineEdit;
  edStreamingICQ = new QLineEdit;
  edStreamingDescription = new QLineEdit;
  form->addRow("Title:", edStreamingTitle);
  form->addRow("URL:", edStreamingURL);
  form->addRow("Genre:", edStreamingGenre);
  form->addRow("AIM:", edStreamingAIM);
  form->addRow("IRC:", edStreamingIRC);
  form->addRow("ICQ:", edStreamingICQ);
  form->addRow("Description:", edStreamingDescription);
  cbStreamingPublic = new QCheckBox("Stream is public (list in directories)");
  cbStreamingForwardMetadata = new QCheckBox("Forward metadata");
  form->addRow(cbStreamingPublic);
  form->addRow(cbStreamingForwardMetadata);
}

void TConfigureSlotForm::BuildSilenceDetectionPage()
{
  QFormLayout* form = nullptr;
  tsSilenceDetection = NewPage(pcPages, "Silence Detection", form);
  edSilenceThreshold = UpDown("SilenceThreshold", 1);
  edSilenceDetection = UpDown("SilenceDetection", 1);
  form->addRow("Silence threshold:", WithNote(edSilenceThreshold, "dBFS"));
  form->addRow("Alarm after:", WithNote(edSilenceDetection, "seconds (0 = disable)"));
  cbSilenceDetectionIfIncactive = new QCheckBox("Perform silence detection even if slot is inactive.");
  cbSendEmailSilenceDetected = new QCheckBox("Send e-mail when silence is detected");
  cbSendEmailSilenceOK = new QCheckBox("Send e-mail when silence is OK again");
  form->addRow(cbSilenceDetectionIfIncactive);
  form->addRow(cbSendEmailSilenceDetected);
  form->addRow(cbSendEmailSilenceOK);
  auto* alarms = new QGroupBox("HTTP alarm calls");
  auto* alarmForm = new QFormLayout(alarms);
  edHTTPAlarmSilenceDetected = new QLineEdit;
  edHTTPAlarmSilenceOK = new QLineEdit;
  alarmForm->addRow("Silence detected:", edHTTPAlarmSilenceDetected);
  alarmForm->addRow("Silence OK:", edHTTPAlarmSilenceOK);
  alarmForm->addRow(Note("Tapevault will perform an HTTP GET call to the specified URL in the event of an alarm."));
  form->addRow(alarms);
}
