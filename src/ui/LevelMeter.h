#pragma once
// The level meters of the slot view: the scale from linear peak to meter position, the colours, the fall-off of
// the shown level between repaints, and the drawing of one meter.

#include <QColor>

class QPainter;
class QRect;

// 20 log10(x); -999 for 0.
double LinearToDB(double iLinear);
// Position 0 .. 1 on the meter: a piecewise linear dB scale that gives the range above -20 dBFS half the height
// and reaches 1 at full scale.
double MeterPosition(double iLinear);
// Red above full scale, orange above the nominal level, green otherwise.
QColor MeterColour(float iLevel, float iNominal);
// The nominal level in dBFS as a linear magnitude; 0 (no mark) at -100 dBFS or below.
float NominalLinear(int iNominalLevel);
// The factor by which the shown level falls at each repaint, iIntervalMs apart: 20 dB in 1.5 s.
float LevelFactor(int iIntervalMs);
// The shown level after one repaint: fallen by iFactor, but never below the latest peak, never below 0.
float FallLevel(float iShown, float iPeak, float iFactor);

// The row where a meter's bar (or its nominal mark) of this level begins, for a meter from iTop to iBottom.
int MeterRow(float iLevel, int iTop, int iBottom);

// Draws one meter in the rectangle from (iLeft, iTop) to (iRight, iBottom), right and bottom exclusive: a white
// frame with a gray border, the bar up to the level's position, and a gray mark at the nominal level when it lies
// below full scale.
void DrawLevelMeter(QPainter& iPainter, int iLeft, int iTop, int iRight, int iBottom, float iLevel, float iNominal);
