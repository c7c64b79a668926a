#include "ui/LevelMeter.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace
{
const QColor FrameGray(128, 128, 128);

int ScalePosition(double iPosition, int iTop, int iBottom)
{
  return static_cast<int>(std::clamp(iPosition, 0.0, 1.0) * (iTop - iBottom)) + iBottom;
}
} // namespace

double LinearToDB(double iLinear)
{
  return iLinear == 0 ? -999 : 20 * std::log10(iLinear);
}

double MeterPosition(double iLinear)
{
  const double d = LinearToDB(iLinear);
  if (d <= -200)
    return 0;
  if (d <= -60)
    return (d + 200) * 0.03 / 140;
  if (d <= -40)
    return 0.03 + (d + 60) * 0.12 / 20;
  if (d <= -30)
    return 0.15 + (d + 40) * 0.15 / 10;
  if (d <= -20)
    return 0.30 + (d + 30) * 0.2 / 10;
  return 0.5 + (d + 20) * 0.5 / 20;
}

QColor MeterColour(float iLevel, float iNominal)
{
  if (iLevel > 1)
    return QColor(255, 0, 0);
  if (iLevel > iNominal)
    return QColor(255, 102, 0);
  return QColor(0, 255, 0);
}

float NominalLinear(int iNominalLevel)
{
  return iNominalLevel <= -100 ? 0.0f : static_cast<float>(std::pow(10.0, iNominalLevel / 20.0));
}

float LevelFactor(int iIntervalMs)
{
  const double d = -20.0 * iIntervalMs / 1500;
  return d <= -999 ? 0.0f : static_cast<float>(std::pow(10.0, d / 20));
}

float FallLevel(float iShown, float iPeak, float iFactor)
{
  float shown = iShown * iFactor;
  if (shown < iPeak)
    shown = iPeak;
  return shown < 0 ? 0 : shown;
}

int MeterRow(float iLevel, int iTop, int iBottom)
{
  return ScalePosition(MeterPosition(iLevel), iTop, iBottom);
}

// Solid fills only: 128 meters are drawn ten times a second, and filling is the painter's cheapest operation.
void DrawLevelMeter(QPainter& iPainter, int iLeft, int iTop, int iRight, int iBottom, float iLevel, float iNominal)
{
  iPainter.fillRect(iLeft, iTop, iRight - iLeft, iBottom - iTop, FrameGray);
  iPainter.fillRect(iLeft + 1, iTop + 1, iRight - iLeft - 2, iBottom - iTop - 2, Qt::white);

  const int y = ScalePosition(MeterPosition(iLevel), iTop, iBottom);
  if (iBottom - y - 1 > 0)
    iPainter.fillRect(iLeft + 1, y + 1, iRight - iLeft - 1, iBottom - y - 1, MeterColour(iLevel, iNominal));

  if (iNominal < 1)
  {
    const int y2 = ScalePosition(MeterPosition(iNominal), iTop, iBottom);
    iPainter.fillRect(iLeft, y2 + 1, iRight - iLeft, 1, FrameGray);
  }
}
