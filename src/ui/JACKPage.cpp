#include "ui/JACKPage.h"

#include "audio/AudioDevices.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

TJACKPage::TJACKPage(QWidget* iParent) : QWidget(iParent)
{
  auto* layout = new QVBoxLayout(this);
  lblExplanation = new QLabel("JACK servers and their channel bundles are not available in this version. "
                              "These are the capture inputs found at start-up:");
  lblExplanation->setWordWrap(true);
  layout->addWidget(lblExplanation);
  vstInputs = new QTreeWidget;
  vstInputs->setColumnCount(2);
  vstInputs->setHeaderLabels({"Input", "Identifier"});
  vstInputs->setRootIsDecorated(false);
  vstInputs->setSelectionBehavior(QAbstractItemView::SelectRows);
  vstInputs->header()->resizeSection(0, 240);
  for (const TDeviceListEntry& entry : DeviceList().Entries())
    vstInputs->addTopLevelItem(
        new QTreeWidgetItem({QString::fromStdString(entry.Device->Name()), QString::fromStdString(entry.Identifier)}));
  layout->addWidget(vstInputs, 1);
}
