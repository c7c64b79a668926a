#include "ui/JACKPage.h"

#include "app/LoggerMain.h"
#include "audio/AudioDevices.h"
#include "ui/MessageBoxes.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace
{
constexpr int DefaultBundleSize = 2; // the size an answer that is no number gives

// A field with its note to the right.
QWidget* WithNote(QLineEdit* iField, const QString& iNote)
{
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  iField->setFixedWidth(80);
  layout->addWidget(iField);
  layout->addWidget(new QLabel(iNote), 1);
  return row;
}
} // namespace

TJACKPage::TJACKPage(TLoggerMain& iController, QWidget* iParent) : QWidget(iParent), fController(iController)
{
  ShowError = [this](const QString& iText) { ShowErrorBox(this, iText); };
  auto* layout = new QVBoxLayout(this);
  lblExplanation = new QLabel("This page allows you to modify the default stereo channel bundling for JACK input. "
                              "Double click a line to edit the bundle size, then enter 1 for mono, 2 for stereo "
                              "etc. The changes will be active after a restart of the software.");
  lblExplanation->setWordWrap(true);
  layout->addWidget(lblExplanation);
  lblNoServer = new QLabel("No JACK server was running when Tapevault started.");
  layout->addWidget(lblNoServer);

  tcJACKChannelBundles = new QTabBar;
  tcJACKChannelBundles->setExpanding(false);
  for (const std::unique_ptr<TJACKDeviceInfo>& device : JACKDevices())
    tcJACKChannelBundles->addTab(QString::fromStdString(device->Name()));
  layout->addWidget(tcJACKChannelBundles);
  lblNoServer->setVisible(tcJACKChannelBundles->count() == 0);

  vstJACKChannelBundles = new QTreeWidget;
  vstJACKChannelBundles->setColumnCount(2);
  vstJACKChannelBundles->setHeaderLabels({"Channel", "Bundle size"});
  vstJACKChannelBundles->setRootIsDecorated(false);
  vstJACKChannelBundles->setSelectionBehavior(QAbstractItemView::SelectRows);
  vstJACKChannelBundles->setEditTriggers(QAbstractItemView::NoEditTriggers);
  vstJACKChannelBundles->header()->resizeSection(0, 300);
  vstJACKChannelBundles->header()->resizeSection(1, 120);
  layout->addWidget(vstJACKChannelBundles, 1);

  auto* pnlJACKSettings = new QWidget;
  auto* form = new QFormLayout(pnlJACKSettings);
  form->setContentsMargins(0, 0, 0, 0);
  edJACKBufferSize = new QLineEdit;
  edJACKSampleRate = new QLineEdit;
  edJACKThreadCount = new QLineEdit;
  form->addRow("Buffer size:", WithNote(edJACKBufferSize, "0 = use server setting"));
  form->addRow("Force sample rate:", WithNote(edJACKSampleRate, "0 = server's rate; JACK keeps its own"));
  form->addRow("Update threads:", WithNote(edJACKThreadCount, "1 = default; JACK runs its own thread"));
  layout->addWidget(pnlJACKSettings);

  connect(tcJACKChannelBundles, &QTabBar::currentChanged, this, &TJACKPage::tcJACKChannelBundlesChange);
  connect(vstJACKChannelBundles, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* iItem)
          { vstJACKChannelBundlesDblClick(vstJACKChannelBundles->indexOfTopLevelItem(iItem)); });
  connect(edJACKBufferSize, &QLineEdit::textChanged, this,
          [this] { FieldChanged(edJACKBufferSize, &TJACKDeviceInfo::SetBufferSize); });
  connect(edJACKSampleRate, &QLineEdit::textChanged, this,
          [this] { FieldChanged(edJACKSampleRate, &TJACKDeviceInfo::SetSamplerate); });
  connect(edJACKThreadCount, &QLineEdit::textChanged, this,
          [this] { FieldChanged(edJACKThreadCount, &TJACKDeviceInfo::SetThreadCount); });
  for (QLineEdit* field : {edJACKBufferSize, edJACKSampleRate, edJACKThreadCount})
    connect(field, &QLineEdit::editingFinished, this, &TJACKPage::WriteSettings);
  tcJACKChannelBundlesChange();
}

TJACKDeviceInfo* TJACKPage::ShownDevice() const
{
  const int tab = tcJACKChannelBundles->currentIndex();
  const auto& devices = JACKDevices();
  return tab >= 0 && tab < static_cast<int>(devices.size()) ? devices[static_cast<size_t>(tab)].get() : nullptr;
}

void TJACKPage::tcJACKChannelBundlesChange()
{
  vstJACKChannelBundles->clear();
  TJACKDeviceInfo* device = ShownDevice();
  for (QLineEdit* field : {edJACKBufferSize, edJACKSampleRate, edJACKThreadCount})
    field->setEnabled(device != nullptr);
  if (device == nullptr)
    return;
  edJACKBufferSize->setText(QString::number(device->BufferSize()));
  edJACKSampleRate->setText(QString::number(device->Samplerate()));
  edJACKThreadCount->setText(QString::number(device->ThreadCount()));
  for (int channel = 0; channel < device->ChannelCount(); ++channel)
    vstJACKChannelBundles->addTopLevelItem(
        new QTreeWidgetItem({QString::fromStdString(device->GetChannelName(channel)), QString()}));
  UpdateBundleNodes();
}

void TJACKPage::UpdateBundleNodes()
{
  TJACKDeviceInfo* device = ShownDevice();
  if (device == nullptr)
    return;
  const int rows = vstJACKChannelBundles->topLevelItemCount();
  for (int row = 0; row < rows;)
  {
    int size = device->GetChannelBundle(row);
    if (size <= 0)
    {
      size = 1;
      device->SetChannelBundle(row, size);
    }
    QTreeWidgetItem* first = vstJACKChannelBundles->topLevelItem(row);
    first->setDisabled(false);
    first->setText(1, QString::number(size));
    for (int inside = row + 1; inside < std::min(row + size, rows); ++inside)
    {
      QTreeWidgetItem* item = vstJACKChannelBundles->topLevelItem(inside);
      item->setDisabled(true);
      item->setText(1, QString());
    }
    row += size;
  }
}

void TJACKPage::vstJACKChannelBundlesDblClick(int iRow)
{
  TJACKDeviceInfo* device = ShownDevice();
  QTreeWidgetItem* item = vstJACKChannelBundles->topLevelItem(iRow);
  if (device == nullptr || item == nullptr || item->isDisabled() || fBundleSizeDialog)
    return;
  fBundleSizeDialog = new QInputDialog(this);
  fBundleSizeDialog->setAttribute(Qt::WA_DeleteOnClose);
  fBundleSizeDialog->setWindowModality(Qt::WindowModal);
  fBundleSizeDialog->setWindowTitle("Bundle size");
  fBundleSizeDialog->setLabelText("Enter bundle size:");
  fBundleSizeDialog->setTextValue(QString::number(device->GetChannelBundle(iRow)));
  // Cancel keeps the size.
  connect(fBundleSizeDialog, &QInputDialog::textValueSelected, this,
          [this, device, iRow](const QString& iAnswer) { BundleSizeEntered(device, iRow, iAnswer); });
  // The box deletes itself later; the page forgets it as soon as it is answered.
  connect(fBundleSizeDialog, &QDialog::finished, this, [this] { fBundleSizeDialog.clear(); });
  fBundleSizeDialog->open();
}

void TJACKPage::BundleSizeEntered(TJACKDeviceInfo* iDevice, int iChannel, const QString& iAnswer)
{
  bool isNumber = false;
  int size = iAnswer.trimmed().toInt(&isNumber);
  if (!isNumber)
    size = DefaultBundleSize;
  // A bundle ends at the last port, as the registry forms it at the next start.
  iDevice->SetChannelBundle(iChannel, std::min(size, iDevice->ChannelCount() - iChannel));
  tcJACKChannelBundlesChange();
  // At once rather than at the next field or the close, so that the edit survives a crash.
  WriteSettings();
}

void TJACKPage::FieldChanged(QLineEdit* iField, const std::function<void(TJACKDeviceInfo&, int)>& iSet)
{
  TJACKDeviceInfo* device = ShownDevice();
  bool isNumber = false;
  const int value = iField->text().trimmed().toInt(&isNumber);
  if (device != nullptr && isNumber)
    iSet(*device, value);
}

void TJACKPage::WriteSettings()
{
  try
  {
    fController.FlushGlobalConfig();
  }
  catch (const std::exception& e)
  {
    ShowError(QString::fromStdString(e.what()));
  }
}
