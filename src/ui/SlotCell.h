#pragma once
// One cell of the slot view: what a slot shows (a snapshot taken at each repaint), the texts, colours and state
// that follow from it, and the painting of the cell.

#include "slots/SlotTypes.h"

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QPainter;
class QRect;

struct TSlotCellData
{
  std::string Name;
  TRecordSource RecordSource = rsDisabled;
  std::optional<std::string> DeviceName; // the capture device in use
  std::string ErrorMessage;
  bool StreamOpen = false; // the incoming stream is open
  std::string StreamTitle;
  std::string StreamURL;
  std::string StreamStatus;
  bool EncoderRunning = false;
  std::string CurrentFilename;
  int64_t RecordingMilliseconds = 0; // since the current file started
  int SilenceThreshold = -30;        // dBFS
  int64_t SilenceMilliseconds = 0;
  bool Enabled = true;
  TBassStreamingFormat AudioFormat = sfMP3;
  bool StreamingOnly = false;
  bool StreamingEnabled = false;
  TStreamingStatus StreamingStatus = ssDisabled;
  std::string StreamingMessage;
  int64_t StreamingActiveMilliseconds = -1; // negative while the outgoing stream is not connected
  float LevelLeft = 0;                      // shown levels, linear
  float LevelRight = 0;
  int NominalLevel = 0; // dBFS
};

enum TCellState
{
  csOK,
  csDisabled,
  csError
};

struct TCellText
{
  QString Text;
  QPoint Position; // top-left, relative to the cell's content rectangle
  int PointSize = 10;
  bool Bold = false;
  QColor Colour;
  bool operator==(const TCellText&) const = default;
};

struct TCellContent
{
  TCellState State = csError;
  std::vector<TCellText> Texts;
  bool operator==(const TCellContent&) const = default;
};

// "hh:nn:ss"; the hours wrap after 24.
QString FormatRunningTime(int64_t iMilliseconds);
// "hh:nn:ss", preceded by the whole days and "d " from one day on.
QString FormatActiveTime(int64_t iMilliseconds);
// The texts of a cell and its state. iHighlighted: the view has the keyboard focus and this is the focused cell.
TCellContent BuildCellContent(const TSlotCellData& iData, bool iHighlighted);

// The status pictures, 48 x 48, from the program's resources.
struct TStatusPictures
{
  QPixmap OK;
  QPixmap Disabled;
  QPixmap Error;

  static TStatusPictures Load();
  const QPixmap& For(TCellState iState) const;
};

// The fonts of a cell, derived from the window's font.
struct TCellFonts
{
  explicit TCellFonts(const QFont& iBase);
  const QFont& For(int iPointSize, bool iBold) const;
  int LineHeight(int iPointSize, bool iBold) const;

  QFont Name;    // 10 points, bold
  QFont Regular; // 10 points
  QFont Small;   // 7 points
  int NameHeight;
  int RegularHeight;
  int SmallHeight;
};

// The rectangle of a cell's two level meters.
QRect MetersRect(const QRect& iContent);
// The meters of two snapshots differ in a pixel (bar length, colour or nominal mark).
bool MetersDiffer(const TSlotCellData& iOld, const TSlotCellData& iNew);

// Paints texts, status picture and level meters of a cell over its background. iContent: the cell's content
// rectangle. Without iWithTexts only picture and meters are drawn (a repaint of the meters alone).
void PaintSlotCell(QPainter& iPainter, const QRect& iContent, const TCellContent& iCell, const TSlotCellData& iData,
                   const TStatusPictures& iPictures, const TCellFonts& iFonts, bool iWithTexts = true);
