#include "ui/AboutPage.h"

#include "lib/TapevaultTools.h"

#include <QLabel>
#include <QVBoxLayout>

TAboutPage::TAboutPage(QWidget* iParent) : QWidget(iParent)
{
  auto* layout = new QVBoxLayout(this);
  auto* label4 = new QLabel("Brendle Tapevault");
  QFont bold = label4->font();
  bold.setBold(true);
  bold.setPointSize(bold.pointSize() + 4);
  label4->setFont(bold);
  TProgramVersion version;
  ProgramVersion(version);
  lblVersion = new QLabel(
      QString::asprintf("Version %d.%d.%d Build %d", version.Major, version.Minor, version.Release, version.Build));
  layout->addWidget(label4);
  layout->addWidget(lblVersion);
  layout->addStretch();
}
