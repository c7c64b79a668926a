#include "ui/MessageBoxes.h"

#include <QMessageBox>

namespace
{
void Show(QWidget* iParent, QMessageBox::Icon iIcon, const QString& iText)
{
  auto* box = new QMessageBox(iIcon, "Brendle Tapevault", iText, QMessageBox::Ok, iParent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::WindowModal);
  box->open();
}
} // namespace

void ShowErrorBox(QWidget* iParent, const QString& iText)
{
  Show(iParent, QMessageBox::Critical, iText);
}

void ShowInformationBox(QWidget* iParent, const QString& iText)
{
  Show(iParent, QMessageBox::Information, iText);
}
