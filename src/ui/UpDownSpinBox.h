#pragma once
// A number field with an up-down control: the typed text may leave the range; the position follows it, limited
// to the range, and text that is not a number leaves the position where it was. The position is what counts.

#include "slots/SlotSettingsCheck.h"

#include <QSpinBox>

class TUpDownSpinBox : public QSpinBox
{
  Q_OBJECT
public:
  TUpDownSpinBox(TValueRange iRange, int iStep, QWidget* iParent = nullptr);

protected:
  QValidator::State validate(QString& ioText, int& ioPos) const override;
  int valueFromText(const QString& iText) const override;
  void fixup(QString& ioText) const override;

private:
  TValueRange fRange;
};
