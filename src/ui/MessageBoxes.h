#pragma once
// Message boxes that are modal for their window but never block the caller: the controller runs on the same
// thread and must go on while a box is open.

#include <QString>

class QWidget;

void ShowErrorBox(QWidget* iParent, const QString& iText);
void ShowInformationBox(QWidget* iParent, const QString& iText);
