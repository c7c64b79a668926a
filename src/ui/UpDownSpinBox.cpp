#include "ui/UpDownSpinBox.h"

TUpDownSpinBox::TUpDownSpinBox(TValueRange iRange, int iStep, QWidget* iParent) : QSpinBox(iParent), fRange(iRange)
{
  setRange(iRange.Min, iRange.Max);
  setSingleStep(iStep);
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
  setMinimumWidth(80);
}

QValidator::State TUpDownSpinBox::validate(QString& ioText, int&) const
{
  if (ParseInteger(ioText.toStdString()))
    return QValidator::Acceptable;
  return ioText.size() <= 12 ? QValidator::Intermediate : QValidator::Invalid;
}

int TUpDownSpinBox::valueFromText(const QString& iText) const
{
  return UpDownPosition(iText.toStdString(), value(), fRange);
}

void TUpDownSpinBox::fixup(QString& ioText) const
{
  ioText = QString::number(value());
}
