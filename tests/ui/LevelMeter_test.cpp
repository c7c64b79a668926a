#include "ui/LevelMeter.h"

#include <QImage>
#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>

namespace
{
TEST(LevelMeterTest, ScaleFromLinearToPosition)
{
  EXPECT_EQ(LinearToDB(0), -999);
  EXPECT_NEAR(LinearToDB(0.1), -20, 1e-9);
  struct TCase
  {
    double DB, Position;
  };
  const TCase cases[] = {
      {-999, 0},   {-200, 0},   {-130, 0.015}, {-60, 0.03}, {-50, 0.09}, {-40, 0.15}, {-35, 0.225},
      {-30, 0.30}, {-25, 0.40}, {-20, 0.5},    {-10, 0.75}, {0, 1},      {6, 1.15},
  };
  for (const TCase& c : cases)
  {
    const double linear = c.DB <= -999 ? 0 : std::pow(10, c.DB / 20);
    EXPECT_NEAR(MeterPosition(linear), c.Position, 1e-9) << c.DB;
  }
}

TEST(LevelMeterTest, ColoursNominalAndFallOff)
{
  const float nominal = NominalLinear(-6);
  EXPECT_NEAR(nominal, 0.501187, 1e-5);
  EXPECT_EQ(NominalLinear(-100), 0);
  EXPECT_EQ(NominalLinear(-120), 0);
  EXPECT_EQ(NominalLinear(0), 1);
  EXPECT_EQ(MeterColour(0.3f, nominal), QColor(0, 255, 0));
  EXPECT_EQ(MeterColour(0.6f, nominal), QColor(255, 102, 0));
  EXPECT_EQ(MeterColour(1.0f, 1.0f), QColor(0, 255, 0));
  EXPECT_EQ(MeterColour(1.2f, 1.0f), QColor(255, 0, 0));
  EXPECT_EQ(MeterColour(0.01f, 0), QColor(255, 102, 0));

  EXPECT_NEAR(LevelFactor(100), 0.857696, 1e-6);
  EXPECT_EQ(LevelFactor(100000), 0);
  EXPECT_FLOAT_EQ(FallLevel(1.0f, 0.2f, 0.5f), 0.5f);
  EXPECT_FLOAT_EQ(FallLevel(1.0f, 0.7f, 0.5f), 0.7f);
  EXPECT_FLOAT_EQ(FallLevel(0, -1, 0.5f), 0);
  // Fifteen repaints, 1.5 s: 20 dB down.
  float shown = 1;
  for (int i = 0; i < 15; ++i)
    shown = FallLevel(shown, 0, LevelFactor(100));
  EXPECT_NEAR(LinearToDB(shown), -20, 1e-3);
}

QImage DrawMeter(float iLevel, float iNominal)
{
  QImage image(20, 90, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  DrawLevelMeter(painter, 2, 4, 18, 84, iLevel, iNominal);
  return image;
}

TEST(LevelMeterTest, DrawingAtItsPixels)
{
  const QColor gray(128, 128, 128);
  // Empty meter: white inside a gray frame, nothing outside.
  const QImage empty = DrawMeter(0, 0);
  EXPECT_EQ(empty.pixelColor(2, 4), gray);
  EXPECT_EQ(empty.pixelColor(17, 83), gray);
  EXPECT_EQ(empty.pixelColor(10, 82), QColor(Qt::white));
  EXPECT_EQ(empty.pixelColor(18, 84), QColor(Qt::black));

  // Full scale and above: the bar fills from just below the top; red above full scale.
  const QImage over = DrawMeter(1.5f, 1);
  EXPECT_EQ(over.pixelColor(10, 5), QColor(255, 0, 0));
  EXPECT_EQ(over.pixelColor(10, 83), QColor(255, 0, 0));
  // -20 dBFS reaches half the height: y = 84 - 40 = 44, the bar starts at 45.
  const QImage half = DrawMeter(0.1f, 0.5f);
  EXPECT_EQ(half.pixelColor(10, 45), QColor(0, 255, 0));
  EXPECT_EQ(half.pixelColor(10, 43), QColor(Qt::white));
  // Nominal 0.5 (-6 dBFS): position 0.8495, y2 = 84 - 67 = 17, the mark drawn at 18 across the meter.
  EXPECT_EQ(half.pixelColor(10, 18), gray);
  EXPECT_EQ(half.pixelColor(2, 18), gray);
  EXPECT_EQ(half.pixelColor(10, 17), QColor(Qt::white));
  const QImage orange = DrawMeter(0.6f, 0.5f);
  EXPECT_EQ(orange.pixelColor(10, 70), QColor(255, 102, 0));
  // Nominal at full scale: no mark.
  const QImage noMark = DrawMeter(0, 1);
  for (int y = 5; y < 83; ++y)
    EXPECT_EQ(noMark.pixelColor(10, y), QColor(Qt::white)) << y;
}
} // namespace
