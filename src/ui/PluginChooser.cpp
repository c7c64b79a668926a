#include "ui/PluginChooser.h"

#include "audio/engine/LadspaPlugin.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TPluginChooserForm::TPluginChooserForm(const QString& iCurrent, QWidget* iParent) : QDialog(iParent)
{
  setWindowTitle("Select LADSPA plug-in");
  resize(640, 420);
  auto* layout = new QVBoxLayout(this);
  tvPlugins = new QTreeWidget;
  tvPlugins->setHeaderLabels({"Name", "Label", "Ports", "Library"});
  tvPlugins->setRootIsDecorated(false);
  tvPlugins->setSortingEnabled(true);
  layout->addWidget(tvPlugins);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  btnFile = buttons->addButton("File...", QDialogButtonBox::ActionRole);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(tvPlugins, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
  connect(btnFile, &QPushButton::clicked, this,
          [this]
          {
            const QString file =
                QFileDialog::getOpenFileName(this, QString(), QString(), "LADSPA plug-ins (*.so);;All files (*)");
            if (!file.isEmpty())
              AddLibrary(file);
          });

  AddEntries(QString(), TLadspaPlugin::SearchFolders());
  tvPlugins->sortByColumn(0, Qt::AscendingOrder);
  tvPlugins->header()->resizeSections(QHeaderView::ResizeToContents);
  const QString library = iCurrent.section(':', 0, -2);
  if (!library.isEmpty() && !tvPlugins->findItems(library, Qt::MatchExactly, 3).isEmpty())
    for (QTreeWidgetItem* item : tvPlugins->findItems(library, Qt::MatchExactly, 3))
      if (item->text(1) == iCurrent.section(':', -1))
        tvPlugins->setCurrentItem(item);
}

void TPluginChooserForm::AddEntries(const QString& iLibraryOnly, const std::vector<std::string>& iFolders)
{
  for (const TLadspaEntry& entry : TLadspaPlugin::Installed(iFolders))
  {
    const QString path = QString::fromStdString(entry.Path);
    if (!iLibraryOnly.isEmpty() && path != iLibraryOnly)
      continue;
    auto* item =
        new QTreeWidgetItem(tvPlugins, {QString::fromStdString(entry.Name), QString::fromStdString(entry.Label),
                                        QString("%1 in, %2 out").arg(entry.AudioInputs).arg(entry.AudioOutputs), path});
    if (!iLibraryOnly.isEmpty() && !tvPlugins->currentItem())
      tvPlugins->setCurrentItem(item);
  }
}

bool TPluginChooserForm::AddLibrary(const QString& iPath)
{
  const QFileInfo file(iPath);
  tvPlugins->setCurrentItem(nullptr);
  for (QTreeWidgetItem* item : tvPlugins->findItems(file.absoluteFilePath(), Qt::MatchExactly, 3))
    delete item;
  AddEntries(file.absoluteFilePath(), {file.absolutePath().toStdString()});
  return tvPlugins->currentItem() != nullptr;
}

QString TPluginChooserForm::Choice() const
{
  const QTreeWidgetItem* item = tvPlugins->currentItem();
  return item ? item->text(3) + ":" + item->text(1) : QString();
}
