#include "ui/SlotCell.h"
#include "ui/SlotViewGeometry.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace
{
constexpr int64_t Hour = 3600 * 1000;

TEST(SlotCellTest, TimeTexts)
{
  EXPECT_EQ(FormatRunningTime(0), "00:00:00");
  EXPECT_EQ(FormatRunningTime(3723 * 1000 + 999), "01:02:03");
  EXPECT_EQ(FormatRunningTime(25 * Hour), "01:00:00");
  EXPECT_EQ(FormatRunningTime(-5), "00:00:00");
  EXPECT_EQ(FormatActiveTime(59 * 1000), "00:00:59");
  EXPECT_EQ(FormatActiveTime(24 * Hour - 1000), "23:59:59");
  EXPECT_EQ(FormatActiveTime(24 * Hour), "1d 00:00:00");
  EXPECT_EQ(FormatActiveTime((2 * 24 + 3) * Hour), "2d 03:00:00");
}

TSlotCellData Recording()
{
  TSlotCellData d;
  d.Name = "News";
  d.RecordSource = rsSoundcard;
  d.DeviceName = "PulseAudio: Desk";
  d.EncoderRunning = true;
  d.CurrentFilename = "/rec/2024-01-01-10.mp3";
  d.RecordingMilliseconds = 25 * Hour;
  d.SilenceThreshold = -30;
  d.SilenceMilliseconds = 65 * 1000;
  return d;
}

QStringList Texts(const TCellContent& iCell)
{
  QStringList result;
  for (const TCellText& t : iCell.Texts)
    result << t.Text;
  return result;
}

struct TStateCase
{
  const char* What;
  TSlotCellData Data;
  TCellState State;
  QStringList Texts;
};

std::vector<TStateCase> StateCases()
{
  std::vector<TStateCase> cases;
  TSlotCellData d;
  d.Name = "Off";
  cases.push_back({"disabled", d, csDisabled, {"Off", "Disabled"}});

  d = Recording();
  d.DeviceName.reset();
  d.ErrorMessage = "Invalid device";
  cases.push_back({"input error", d, csError, {"News", "Error: Invalid device"}});

  d = TSlotCellData();
  d.Name = "Web";
  d.RecordSource = rsStream;
  d.StreamStatus = "Connecting...";
  cases.push_back({"stream not open", d, csError, {"Web", "Connecting..."}});

  d.StreamOpen = true;
  d.StreamURL = "http://radio/";
  d.AudioFormat = sfNone;
  cases.push_back({"stream url, no recording", d, csOK, {"Web", "http://radio/", "No recording"}});
  d.StreamTitle = "Artist - Song";
  d.AudioFormat = sfMP3;
  d.StreamingOnly = true;
  cases.push_back({"stream title, streaming only", d, csOK, {"Web", "Artist - Song", "No recording"}});

  cases.push_back({"recording with silence",
                   Recording(),
                   csOK,
                   {"News", "PulseAudio: Desk", "/rec/2024-01-01-10.mp3", "01:00:00 (00:01:05)"}});
  d = Recording();
  d.SilenceThreshold = 0;
  cases.push_back({"recording without silence detection",
                   d,
                   csOK,
                   {"News", "PulseAudio: Desk", "/rec/2024-01-01-10.mp3", "01:00:00"}});

  d = Recording();
  d.EncoderRunning = false;
  d.Enabled = false;
  cases.push_back({"slot off", d, csDisabled, {"News", "PulseAudio: Desk", "Encoder stopped"}});
  d.Enabled = true;
  d.ErrorMessage = "lame not found";
  cases.push_back({"encoder error", d, csError, {"News", "PulseAudio: Desk", "Encoder error: lame not found"}});

  d = Recording();
  d.StreamingEnabled = true;
  d.StreamingStatus = ssConnected;
  d.StreamingActiveMilliseconds = (2 * 24 + 3) * Hour;
  cases.push_back(
      {"streaming online",
       d,
       csOK,
       {"News", "PulseAudio: Desk", "/rec/2024-01-01-10.mp3", "01:00:00 (00:01:05)", "Stream online [2d 03:00:00]"}});
  d.StreamingStatus = ssConnecting;
  d.StreamingMessage = "127.0.0.1:8000";
  d.StreamingActiveMilliseconds = -1;
  cases.push_back({"streaming connecting",
                   d,
                   csError,
                   {"News", "PulseAudio: Desk", "/rec/2024-01-01-10.mp3", "01:00:00 (00:01:05)",
                    "Stream connecting... - 127.0.0.1:8000"}});
  d.StreamingStatus = ssError;
  d.StreamingMessage = "Connection refused";
  cases.push_back({"streaming error",
                   d,
                   csError,
                   {"News", "PulseAudio: Desk", "/rec/2024-01-01-10.mp3", "01:00:00 (00:01:05)",
                    "Stream error - Connection refused"}});
  d.StreamingEnabled = false;
  cases.push_back({"streaming switched off",
                   d,
                   csOK,
                   {"News", "PulseAudio: Desk", "/rec/2024-01-01-10.mp3", "01:00:00 (00:01:05)"}});
  return cases;
}

TEST(SlotCellTest, TextsAndStateOfEveryState)
{
  for (const TStateCase& c : StateCases())
  {
    const TCellContent cell = BuildCellContent(c.Data, false);
    EXPECT_EQ(cell.State, c.State) << c.What;
    EXPECT_EQ(Texts(cell), c.Texts) << c.What;
  }
}

TEST(SlotCellTest, FontsColoursAndPositions)
{
  TSlotCellData d = Recording();
  d.StreamingEnabled = true;
  d.StreamingStatus = ssConnected;
  const TCellContent plain = BuildCellContent(d, false);
  ASSERT_EQ(plain.Texts.size(), 5u);
  const QColor black(0, 0, 0), gray(128, 128, 128), white(Qt::white);
  struct TExpected
  {
    QPoint Position;
    int Size;
    bool Bold;
    QColor Colour;
  };
  const TExpected expected[] = {{{60, 4}, 10, true, black},
                                {{60, 20}, 10, false, gray},
                                {{60, 38}, 7, false, gray},
                                {{60, 50}, 10, false, black},
                                {{60, 68}, 10, false, black}};
  for (size_t i = 0; i < 5; ++i)
  {
    EXPECT_EQ(plain.Texts[i].Position, expected[i].Position) << i;
    EXPECT_EQ(plain.Texts[i].PointSize, expected[i].Size) << i;
    EXPECT_EQ(plain.Texts[i].Bold, expected[i].Bold) << i;
    EXPECT_EQ(plain.Texts[i].Colour, expected[i].Colour) << i;
  }
  for (const TCellText& t : BuildCellContent(d, true).Texts)
    EXPECT_EQ(t.Colour, white) << t.Text.toStdString();

  // Error texts stay red, highlighted or not; the streaming line keeps the colour of the line before.
  TSlotCellData error = Recording();
  error.EncoderRunning = false;
  error.ErrorMessage = "x";
  error.StreamingEnabled = true;
  error.StreamingStatus = ssError;
  for (bool highlighted : {false, true})
  {
    const TCellContent cell = BuildCellContent(error, highlighted);
    EXPECT_EQ(cell.Texts[2].Colour, QColor(255, 0, 0));
    EXPECT_EQ(cell.Texts[3].Colour, QColor(255, 0, 0));
  }
}

// A cell painted into an image: the picture of its state and the meters' colours at their pixels.
QImage PaintCell(const TSlotCellData& iData, TCellState& oState)
{
  QImage image(300, DefaultInfoHeight, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  const TCellContent cell = BuildCellContent(iData, false);
  oState = cell.State;
  PaintSlotCell(painter, QRect(0, 0, 300, DefaultInfoHeight - 1), cell, iData, TStatusPictures::Load(),
                TCellFonts(QApplication::font()));
  return image;
}

TEST(SlotCellTest, PaintedPictureAndMeters)
{
  const TStatusPictures pictures = TStatusPictures::Load();
  for (const QPixmap* picture : {&pictures.OK, &pictures.Disabled, &pictures.Error})
  {
    ASSERT_FALSE(picture->isNull());
    EXPECT_EQ(picture->size(), QSize(48, 48));
  }
  for (const TStateCase& c : StateCases())
  {
    TSlotCellData data = c.Data;
    data.LevelLeft = 0.1f;  // -20 dBFS: green below the nominal 0 dBFS
    data.LevelRight = 1.5f; // above full scale: red
    TCellState state = csError;
    const QImage image = PaintCell(data, state);
    // The picture's centre, lying at (2, 12) in the cell.
    QImage background(1, 1, QImage::Format_RGB32);
    background.fill(Qt::white);
    QPainter(&background).drawImage(QPoint(0, 0), pictures.For(state).toImage(), QRect(24, 24, 1, 1));
    EXPECT_EQ(image.pixelColor(2 + 24, 12 + 24), background.pixelColor(0, 0)) << c.What;
    // Left meter (261 .. 277): green bar in its lower half, white above; right meter (276 .. 292): red at the top.
    EXPECT_EQ(image.pixelColor(268, 80), QColor(0, 255, 0)) << c.What;
    EXPECT_EQ(image.pixelColor(268, 20), QColor(Qt::white)) << c.What;
    EXPECT_EQ(image.pixelColor(284, 6), QColor(255, 0, 0)) << c.What;
  }
  // The three pictures differ at the centre: green lamp, red lamp, yellow warning sign.
  const auto centre = [&](TCellState s) { return pictures.For(s).toImage().pixelColor(24, 28); };
  EXPECT_GT(centre(csOK).green(), 150);
  EXPECT_LT(centre(csOK).red(), 120);
  EXPECT_GT(centre(csDisabled).red(), 150);
  EXPECT_LT(centre(csDisabled).green(), 100);
  EXPECT_LT(centre(csError).blue(), 60); // black exclamation mark on yellow
  EXPECT_GT(pictures.Error.toImage().pixelColor(15, 38).red(), 200);
  EXPECT_GT(pictures.Error.toImage().pixelColor(15, 38).green(), 150);
}
} // namespace
