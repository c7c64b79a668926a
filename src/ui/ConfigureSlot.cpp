#include "ui/ConfigureSlot.h"

#include "audio/AudioDevices.h"
#include "slots/SlotInfo.h"
#include "ui/MessageBoxes.h"
#include "ui/PluginChooser.h"
#include "ui/PluginControls.h"
#include "ui/UpDownSpinBox.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace
{
QString Text(const std::string& iText)
{
  return QString::fromStdString(iText);
}

std::string Text(const QLineEdit* iField)
{
  return iField->text().toStdString();
}
} // namespace

TConfigureSlotForm::TConfigureSlotForm(TSlotInfo& iSlotInfo, QWidget* iParent) : QDialog(iParent), fSlotInfo(iSlotInfo)
{
  ShowMessage = [this](const QString& iText) { ShowErrorBox(this, iText); };
  auto* layout = new QVBoxLayout(this);
  pcPages = new QTabWidget;
  // Every page's tab stays visible: with a large system font the dialog grows instead.
  pcPages->setUsesScrollButtons(false);
  layout->addWidget(pcPages);
  BuildGeneralPage();
  BuildInputPage();
  BuildOutputPage();
  BuildCleanupPage();
  BuildStreamingPage();
  BuildSilenceDetectionPage();

  auto* buttons = new QDialogButtonBox;
  btnOk = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  btnCancel = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  btnOk->setDefault(true);
  layout->addWidget(buttons);
  connect(btnOk, &QPushButton::clicked, this, &TConfigureSlotForm::btnOkClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  connect(cbDevice, &QComboBox::activated, this, &TConfigureSlotForm::cbDeviceChange);
  connect(btnControlPanel, &QPushButton::clicked, this, &TConfigureSlotForm::btnControlPanelClick);
  connect(edStreamURL, &QLineEdit::textEdited, this, [this] { rbStream->setChecked(true); });
  connect(cbFormat, &QComboBox::currentIndexChanged, this, &TConfigureSlotForm::cbFormatChange);
  connect(cbBitrate, &QComboBox::editTextChanged, this, &TConfigureSlotForm::UpdateStorageEstimate);
  connect(edCleanupDays, &QSpinBox::textChanged, this, &TConfigureSlotForm::UpdateStorageEstimate);
  connect(btnWinampPluginSelect, &QPushButton::clicked, this, &TConfigureSlotForm::btnWinampPluginSelectClick);
  connect(btnWinampPluginReload, &QPushButton::clicked, this, &TConfigureSlotForm::btnWinampPluginReloadClick);
  connect(btnWinampPluginConfigure, &QPushButton::clicked, this, &TConfigureSlotForm::btnWinampPluginConfigureClick);
  connect(btnStreamingShowPassword, &QPushButton::clicked, this,
          [this] { edStreamingPassword->setEchoMode(QLineEdit::Normal); });

  FormCreate();
  setFixedSize(std::max(469, sizeHint().width()), 603);
}

void TConfigureSlotForm::FormCreate()
{
  for (const TDeviceListEntry& entry : DeviceList().Entries())
    cbDevice->addItem(Text(entry.Device->Name()), Text(entry.Identifier));

  const int number = fSlotInfo.Index() + 1;
  setWindowTitle(fSlotInfo.AlarmOnly() ? QString("Configure Slot %1 (Alarm only)").arg(number)
                                       : QString("Configure Slot %1").arg(number));
  cbFormat->setEnabled(!fSlotInfo.AlarmOnly());

  const TSlotSettings e = fSlotInfo.Settings();
  edName->setText(Text(e.Name));
  edStreamURL->setText(Text(e.Input.StreamURL));
  cbDevice->setCurrentIndex(cbDevice->findData(Text(e.Input.Device), Qt::UserRole, Qt::MatchFixedString));
  cbDeviceChange();
  rbDisabled->setChecked(e.Input.Source == rsDisabled);
  rbSoundcard->setChecked(e.Input.Source == rsSoundcard);
  rbStream->setChecked(e.Input.Source == rsStream);

  edNominalLevel->setValue(e.Input.NominalLevel);
  edRecordDelay->setValue(e.Input.RecordDelay);
  cbRecord16bit->setChecked(e.Input.Record16bit);
  cbRecordChannels->setCurrentIndex(e.Input.Channels);
  edWinampPlugin->setText(Text(e.Plugin.Library));
  cbWinampPluginStreamOnly->setChecked(e.Plugin.StreamOnly);
  btnWinampPluginConfigure->setEnabled(fSlotInfo.SoundPlugin().Plugin() != nullptr);

  const TSlotSettings::TOutput& output = e.Output;
  edFolder->setText(Text(output.Folder));
  edSecondaryFolder->setText(Text(output.SecondaryFolder));
  edFilenamePrefix->setText(Text(output.FilenamePrefix));
  edCustomFilename->setText(Text(output.CustomFilename));
  cbFlatFilenames->setChecked(output.FlatFilenames);
  cbCueSheet->setChecked(output.CueSheet);
  cbNoAutoRotate->setChecked(e.TimeSlots.NoAutoRotate);
  edTimeSlotLength->setText(QString::number(e.TimeSlots.Length));
  cbTimeSlotAlign->setChecked(e.TimeSlots.Align);
  edTimeSlotOffset->setText(QString::number(e.TimeSlots.Offset));
  edFileExtension->setText(Text(output.FileExtension));
  cbMode->setCurrentIndex(output.Mode);
  cbBitrate->setEditText(QString::number(output.Bitrate));
  cbSamplerate->setEditText(QString::number(e.Input.Samplerate));
  edEncoderFilename->setText(Text(output.EncoderFilename));
  edEncoderOptions->setText(Text(output.EncoderOptions));

  cbCleanupDaysEnabled->setChecked(e.Cleanup.DaysEnabled);
  edCleanupDays->setValue(e.Cleanup.Days);
  cbCleanupSpaceEnabled->setChecked(e.Cleanup.SpaceEnabled);
  edCleanupSpace->setValue(e.Cleanup.Space);

  const TSlotSettings::TOutputStream& stream = e.OutputStream;
  cbStreamingEnabled->setChecked(stream.Enabled);
  cbStreamingOnly->setChecked(stream.Only);
  edStreamingHost->setText(Text(stream.Host));
  edStreamingPort->setText(QString::number(stream.Port));
  cbStreamingServerMode->setChecked(stream.ServerMode);
  edStreamingMountPoint->setText(Text(stream.MountPoint));
  edStreamingStreamID->setText(Text(stream.StreamID));
  edStreamingPassword->setText(Text(stream.Password));
  edStreamingMimeType->setText(Text(stream.MimeType));
  edStreamingTitle->setText(Text(stream.Title));
  edStreamingURL->setText(Text(stream.URL));
  edStreamingGenre->setText(Text(stream.Genre));
  edStreamingAIM->setText(Text(stream.AIM));
  edStreamingIRC->setText(Text(stream.IRC));
  edStreamingICQ->setText(Text(stream.ICQ));
  edStreamingDescription->setText(Text(stream.Description));
  cbStreamingPublic->setChecked(stream.Public);
  cbStreamingForwardMetadata->setChecked(stream.ForwardMetadata);

  edSilenceThreshold->setValue(e.Silence.Threshold);
  edSilenceDetection->setValue(e.Silence.Detection);
  cbSilenceDetectionIfIncactive->setChecked(e.Silence.DetectionIfInactive);
  cbSendEmailSilenceDetected->setChecked(e.Silence.EmailDetected);
  cbSendEmailSilenceOK->setChecked(e.Silence.EmailOK);
  edHTTPAlarmSilenceDetected->setText(Text(e.Silence.HTTPAlarmDetected));
  edHTTPAlarmSilenceOK->setText(Text(e.Silence.HTTPAlarmOK));

  // The format last: its rule acts on the bit rate just filled in. Setting the index of the current choice
  // emits nothing, so the rule runs once here by hand.
  {
    const QSignalBlocker blocker(cbFormat);
    cbFormat->setCurrentIndex(output.Format);
  }
  cbFormatChange();
  cbFormat->view()->setMinimumWidth(200);
}

void TConfigureSlotForm::cbDeviceChange()
{
  const TDeviceInfo* device =
      cbDevice->currentIndex() >= 0 ? DeviceList().Find(cbDevice->currentData().toString().toStdString()) : nullptr;
  if (cbDevice->currentIndex() >= 0)
    rbSoundcard->setChecked(true);
  btnControlPanel->setEnabled(device && device->HasControlPanel());
}

void TConfigureSlotForm::btnControlPanelClick()
{
  if (TDeviceInfo* device = DeviceList().Find(cbDevice->currentData().toString().toStdString()))
    device->RunControlPanel();
}

void TConfigureSlotForm::cbFormatChange()
{
  const auto format = static_cast<TBassStreamingFormat>(cbFormat->currentIndex());
  switch (BitrateListRule(format))
  {
  case brOfferRates:
  {
    const QString typed = cbBitrate->currentText();
    const QSignalBlocker blocker(cbBitrate);
    cbBitrate->clear();
    for (const std::string& rate : FindSlotSettingKey("Bitrate")->Suggestions)
      cbBitrate->addItem(Text(rate));
    cbBitrate->setEditText(typed);
    break;
  }
  case brClear:
  {
    const QSignalBlocker blocker(cbBitrate);
    cbBitrate->clear();
    cbBitrate->setEditText("");
    break;
  }
  case brKeep:
    break;
  }
  edFileExtension->setVisible(IsCustomFormat(format));
  UpdateStorageEstimate();
}

void TConfigureSlotForm::UpdateStorageEstimate()
{
  lblCleanupDays->setText(
      Text(StorageEstimateText(cbBitrate->currentText().toStdString(), edCleanupDays->text().toStdString(),
                               static_cast<TBassStreamingFormat>(cbFormat->currentIndex()))));
}

void TConfigureSlotForm::SelectFolder(QLineEdit* iField, const QString& iTitle)
{
  const QString folder = QFileDialog::getExistingDirectory(this, iTitle, iField->text());
  if (!folder.isEmpty())
    iField->setText(folder);
}

void TConfigureSlotForm::btnWinampPluginSelectClick()
{
  TPluginChooserForm chooser(edWinampPlugin->text(), this);
  if (OpenDialog(chooser) == QDialog::Accepted && !chooser.Choice().isEmpty())
    edWinampPlugin->setText(chooser.Choice());
}

void TConfigureSlotForm::btnWinampPluginReloadClick()
{
  // The stored settings count, not the fields of this dialog: a new path takes effect once confirmed.
  fSlotInfo.ReloadWinampPlugin();
  btnWinampPluginConfigure->setEnabled(fSlotInfo.SoundPlugin().Plugin() != nullptr);
}

void TConfigureSlotForm::btnWinampPluginConfigureClick()
{
  if (!fSlotInfo.SoundPlugin().Plugin())
    return;
  TPluginControlsForm controls(fSlotInfo, this);
  OpenDialog(controls);
}

void TConfigureSlotForm::SelectFile(QLineEdit* iField, const QString& iFilter)
{
  const QString file = QFileDialog::getOpenFileName(this, QString(), iField->text(), iFilter);
  if (!file.isEmpty())
    iField->setText(file);
}

TSlotSettings TConfigureSlotForm::SettingsFromControls(const TSlotSettings& iOld) const
{
  TSlotSettings e = iOld;
  e.Name = Text(edName);
  TSlotSettings::TInput& input = e.Input;
  input.Source = rbDisabled->isChecked() ? rsDisabled : rbSoundcard->isChecked() ? rsSoundcard : rsStream;
  input.Device = cbDevice->currentIndex() >= 0 ? cbDevice->currentData().toString().toStdString() : std::string();
  input.StreamURL = Text(edStreamURL);
  input.NominalLevel = edNominalLevel->value();
  input.RecordDelay = edRecordDelay->value();
  input.Record16bit = cbRecord16bit->isChecked();
  input.Channels = static_cast<TRecordChannels>(std::max(0, cbRecordChannels->currentIndex()));
  input.Samplerate = IntegerOr(cbSamplerate->currentText().toStdString(), iOld.Input.Samplerate);
  e.Plugin.Library = Text(edWinampPlugin);
  e.Plugin.StreamOnly = cbWinampPluginStreamOnly->isChecked();

  TSlotSettings::TOutput& output = e.Output;
  output.Folder = Text(edFolder);
  output.SecondaryFolder = Text(edSecondaryFolder);
  output.FilenamePrefix = Text(edFilenamePrefix);
  output.CustomFilename = Text(edCustomFilename);
  output.FlatFilenames = cbFlatFilenames->isChecked();
  output.CueSheet = cbCueSheet->isChecked();
  e.TimeSlots.NoAutoRotate = cbNoAutoRotate->isChecked();
  e.TimeSlots.Length = IntegerOr(Text(edTimeSlotLength), iOld.TimeSlots.Length);
  e.TimeSlots.Align = cbTimeSlotAlign->isChecked();
  e.TimeSlots.Offset = IntegerOr(Text(edTimeSlotOffset), iOld.TimeSlots.Offset);
  output.Format = static_cast<TBassStreamingFormat>(std::max(0, cbFormat->currentIndex()));
  output.FileExtension = Text(edFileExtension);
  output.Mode = static_cast<TBassStreamingMode>(std::max(0, cbMode->currentIndex()));
  output.Bitrate = IntegerOr(cbBitrate->currentText().toStdString(), 0);
  output.EncoderFilename = Text(edEncoderFilename);
  output.EncoderOptions = Text(edEncoderOptions);

  e.Cleanup.DaysEnabled = cbCleanupDaysEnabled->isChecked();
  e.Cleanup.Days = edCleanupDays->value();
  e.Cleanup.SpaceEnabled = cbCleanupSpaceEnabled->isChecked();
  e.Cleanup.Space = edCleanupSpace->value();

  TSlotSettings::TOutputStream& stream = e.OutputStream;
  stream.Enabled = cbStreamingEnabled->isChecked();
  stream.Only = cbStreamingOnly->isChecked();
  stream.Host = Text(edStreamingHost);
  stream.Port = IntegerOr(Text(edStreamingPort), iOld.OutputStream.Port);
  stream.ServerMode = cbStreamingServerMode->isChecked();
  stream.MountPoint = Text(edStreamingMountPoint);
  stream.StreamID = Text(edStreamingStreamID);
  stream.Password = Text(edStreamingPassword);
  stream.MimeType = Text(edStreamingMimeType);
  stream.Title = Text(edStreamingTitle);
  stream.URL = Text(edStreamingURL);
  stream.Genre = Text(edStreamingGenre);
  stream.AIM = Text(edStreamingAIM);
  stream.IRC = Text(edStreamingIRC);
  stream.ICQ = Text(edStreamingICQ);
  stream.Description = Text(edStreamingDescription);
  stream.Public = cbStreamingPublic->isChecked();
  stream.ForwardMetadata = cbStreamingForwardMetadata->isChecked();

  e.Silence.Threshold = edSilenceThreshold->value();
  e.Silence.Detection = edSilenceDetection->value();
  e.Silence.DetectionIfInactive = cbSilenceDetectionIfIncactive->isChecked();
  e.Silence.EmailDetected = cbSendEmailSilenceDetected->isChecked();
  e.Silence.EmailOK = cbSendEmailSilenceOK->isChecked();
  e.Silence.HTTPAlarmDetected = Text(edHTTPAlarmSilenceDetected);
  e.Silence.HTTPAlarmOK = Text(edHTTPAlarmSilenceOK);
  return e;
}

void TConfigureSlotForm::btnOkClick()
{
  const TSlotSettings settings = SettingsFromControls(fSlotInfo.Settings());
  const std::vector<TSettingsMessage> refusals = CheckSlotSettings(settings, fSlotInfo.AlarmOnly());
  if (!refusals.empty())
  {
    pcPages->setCurrentWidget(tsOutput);
    ShowMessage(Text(refusals.front().Message));
    return;
  }
  fSettings = settings;
  accept();
}
