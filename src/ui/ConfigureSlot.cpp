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

  const TSlotEdit e = ReadSlotEdit(fSlotInfo);
  edName->setText(Text(e.Name));
  edStreamURL->setText(Text(e.StreamURL));
  cbDevice->setCurrentIndex(cbDevice->findData(Text(e.Device), Qt::UserRole, Qt::MatchFixedString));
  cbDeviceChange();
  rbDisabled->setChecked(e.RecordSource == rsDisabled);
  rbSoundcard->setChecked(e.RecordSource == rsSoundcard);
  rbStream->setChecked(e.RecordSource == rsStream);

  edNominalLevel->setValue(e.NominalLevel);
  edRecordDelay->setValue(e.RecordDelay);
  cbRecord16bit->setChecked(e.Record16bit);
  cbRecordChannels->setCurrentIndex(e.RecordChannels);
  edWinampPlugin->setText(Text(e.WinampPlugin));
  cbWinampPluginStreamOnly->setChecked(e.WinampPluginStreamOnly);
  btnWinampPluginConfigure->setEnabled(fSlotInfo.SoundPlugin().Plugin() != nullptr);

  edFolder->setText(Text(e.Folder));
  edSecondaryFolder->setText(Text(e.SecondaryFolder));
  edFilenamePrefix->setText(Text(e.FilenamePrefix));
  edCustomFilename->setText(Text(e.CustomFilename));
  cbFlatFilenames->setChecked(e.FlatFilenames);
  cbCueSheet->setChecked(e.CueSheet);
  cbNoAutoRotate->setChecked(e.NoAutoRotate);
  edTimeSlotLength->setText(QString::number(e.TimeSlotLength));
  cbTimeSlotAlign->setChecked(e.TimeSlotAlign);
  edTimeSlotOffset->setText(QString::number(e.TimeSlotOffset));
  edFileExtension->setText(Text(e.FileExtension));
  cbMode->setCurrentIndex(e.Mode);
  cbBitrate->setEditText(QString::number(e.Bitrate));
  cbSamplerate->setEditText(QString::number(e.Samplerate));
  edEncoderFilename->setText(Text(e.EncoderFilename));
  edEncoderOptions->setText(Text(e.EncoderOptions));

  cbCleanupDaysEnabled->setChecked(e.CleanupDaysEnabled);
  edCleanupDays->setValue(e.CleanupDays);
  cbCleanupSpaceEnabled->setChecked(e.CleanupSpaceEnabled);
  edCleanupSpace->setValue(e.CleanupSpace);

  cbStreamingEnabled->setChecked(e.StreamingEnabled);
  cbStreamingOnly->setChecked(e.StreamingOnly);
  edStreamingHost->setText(Text(e.StreamingHost));
  edStreamingPort->setText(QString::number(e.StreamingPort));
  cbStreamingServerMode->setChecked(e.StreamingServerMode);
  edStreamingMountPoint->setText(Text(e.StreamingMountPoint));
  edStreamingStreamID->setText(Text(e.StreamingStreamID));
  edStreamingPassword->setText(Text(e.StreamingPassword));
  edStreamingMimeType->setText(Text(e.StreamingMimeType));
  edStreamingTitle->setText(Text(e.StreamingTitle));
  edStreamingURL->setText(Text(e.StreamingURL));
  edStreamingGenre->setText(Text(e.StreamingGenre));
  edStreamingAIM->setText(Text(e.StreamingAIM));
  edStreamingIRC->setText(Text(e.StreamingIRC));
  edStreamingICQ->setText(Text(e.StreamingICQ));
  edStreamingDescription->setText(Text(e.StreamingDescription));
  cbStreamingPublic->setChecked(e.StreamingPublic);
  cbStreamingForwardMetadata->setChecked(e.StreamingForwardMetadata);

  edSilenceThreshold->setValue(e.SilenceThreshold);
  edSilenceDetection->setValue(e.SilenceDetection);
  cbSilenceDetectionIfIncactive->setChecked(e.SilenceDetectionIfInactive);
  cbSendEmailSilenceDetected->setChecked(e.SendEmailSilenceDetected);
  cbSendEmailSilenceOK->setChecked(e.SendEmailSilenceOK);
  edHTTPAlarmSilenceDetected->setText(Text(e.HTTPAlarmSilenceDetected));
  edHTTPAlarmSilenceOK->setText(Text(e.HTTPAlarmSilenceOK));

  // The format last: its rule acts on the bit rate just filled in. Setting the index of the current choice
  // emits nothing, so the rule runs once here by hand.
  {
    const QSignalBlocker blocker(cbFormat);
    cbFormat->setCurrentIndex(e.AudioFormat);
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
    for (const std::string& rate : BitrateChoices())
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

TSlotEdit TConfigureSlotForm::EditFromControls(const TSlotEdit& iOld) const
{
  TSlotEdit e = iOld;
  e.Name = Text(edName);
  e.RecordSource = rbDisabled->isChecked() ? rsDisabled : rbSoundcard->isChecked() ? rsSoundcard : rsStream;
  e.Device = cbDevice->currentIndex() >= 0 ? cbDevice->currentData().toString().toStdString() : std::string();
  e.StreamURL = Text(edStreamURL);
  e.NominalLevel = edNominalLevel->value();
  e.RecordDelay = edRecordDelay->value();
  e.Record16bit = cbRecord16bit->isChecked();
  e.RecordChannels = static_cast<TRecordChannels>(std::max(0, cbRecordChannels->currentIndex()));
  e.WinampPlugin = Text(edWinampPlugin);
  e.WinampPluginStreamOnly = cbWinampPluginStreamOnly->isChecked();

  e.Folder = Text(edFolder);
  e.SecondaryFolder = Text(edSecondaryFolder);
  e.FilenamePrefix = Text(edFilenamePrefix);
  e.CustomFilename = Text(edCustomFilename);
  e.FlatFilenames = cbFlatFilenames->isChecked();
  e.CueSheet = cbCueSheet->isChecked();
  e.NoAutoRotate = cbNoAutoRotate->isChecked();
  e.TimeSlotLength = IntegerOr(Text(edTimeSlotLength), iOld.TimeSlotLength);
  e.TimeSlotAlign = cbTimeSlotAlign->isChecked();
  e.TimeSlotOffset = IntegerOr(Text(edTimeSlotOffset), iOld.TimeSlotOffset);
  e.AudioFormat = static_cast<TBassStreamingFormat>(std::max(0, cbFormat->currentIndex()));
  e.FileExtension = Text(edFileExtension);
  e.Mode = static_cast<TBassStreamingMode>(std::max(0, cbMode->currentIndex()));
  e.Bitrate = IntegerOr(cbBitrate->currentText().toStdString(), 0);
  e.Samplerate = IntegerOr(cbSamplerate->currentText().toStdString(), iOld.Samplerate);
  e.EncoderFilename = Text(edEncoderFilename);
  e.EncoderOptions = Text(edEncoderOptions);

  e.CleanupDaysEnabled = cbCleanupDaysEnabled->isChecked();
  e.CleanupDays = edCleanupDays->value();
  e.CleanupSpaceEnabled = cbCleanupSpaceEnabled->isChecked();
  e.CleanupSpace = edCleanupSpace->value();

  e.StreamingEnabled = cbStreamingEnabled->isChecked();
  e.StreamingOnly = cbStreamingOnly->isChecked();
  e.StreamingHost = Text(edStreamingHost);
  e.StreamingPort = IntegerOr(Text(edStreamingPort), iOld.StreamingPort);
  e.StreamingServerMode = cbStreamingServerMode->isChecked();
  e.StreamingMountPoint = Text(edStreamingMountPoint);
  e.StreamingStreamID = Text(edStreamingStreamID);
  e.StreamingPassword = Text(edStreamingPassword);
  e.StreamingMimeType = Text(edStreamingMimeType);
  e.StreamingTitle = Text(edStreamingTitle);
  e.StreamingURL = Text(edStreamingURL);
  e.StreamingGenre = Text(edStreamingGenre);
  e.StreamingAIM = Text(edStreamingAIM);
  e.StreamingIRC = Text(edStreamingIRC);
  e.StreamingICQ = Text(edStreamingICQ);
  e.StreamingDescription = Text(edStreamingDescription);
  e.StreamingPublic = cbStreamingPublic->isChecked();
  e.StreamingForwardMetadata = cbStreamingForwardMetadata->isChecked();

  e.SilenceThreshold = edSilenceThreshold->value();
  e.SilenceDetection = edSilenceDetection->value();
  e.SilenceDetectionIfInactive = cbSilenceDetectionIfIncactive->isChecked();
  e.SendEmailSilenceDetected = cbSendEmailSilenceDetected->isChecked();
  e.SendEmailSilenceOK = cbSendEmailSilenceOK->isChecked();
  e.HTTPAlarmSilenceDetected = Text(edHTTPAlarmSilenceDetected);
  e.HTTPAlarmSilenceOK = Text(edHTTPAlarmSilenceOK);
  return e;
}

void TConfigureSlotForm::btnOkClick()
{
  const TSlotEdit old = ReadSlotEdit(fSlotInfo);
  const TSlotEdit edit = EditFromControls(old);
  if (const std::optional<std::string> message = CheckSlotEdit(edit))
  {
    pcPages->setCurrentWidget(tsOutput);
    ShowMessage(Text(*message));
    return;
  }
  const TSlotEditChanges changes = CompareSlotEdits(old, edit);
  fInputOptionsChanged = changes.Input;
  fOutputOptionsChanged = changes.Output;
  ApplySlotEdit(fSlotInfo, edit);
  accept();
}
