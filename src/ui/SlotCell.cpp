#include "ui/SlotCell.h"

#include "slots/SlotLamp.h"
#include "ui/LevelMeter.h"
#include "ui/SlotViewGeometry.h"

#include <QPainter>
#include <QRect>

namespace
{
constexpr int TextLeft = 60;
constexpr int TextRightMargin = 42; // the texts stop before the level meters
const QColor Black(0, 0, 0);
const QColor Gray(128, 128, 128);
const QColor Red(255, 0, 0);

QString Clock(int64_t iSeconds)
{
  return QString::asprintf("%02d:%02d:%02d", static_cast<int>(iSeconds / 3600), static_cast<int>(iSeconds / 60 % 60),
                           static_cast<int>(iSeconds % 60));
}

QString Text(const std::string& iText)
{
  return QString::fromStdString(iText);
}

// Builds the lines of a cell; each keeps the font and colour of the line before unless it sets its own.
class TCellWriter
{
public:
  TCellWriter(TCellContent& oCell, bool iHighlighted) : fCell(oCell), fHighlighted(iHighlighted) {}

  void Font(int iPointSize, bool iBold = false)
  {
    fPointSize = iPointSize;
    fBold = iBold;
  }
  // The colour unless the cell is highlighted, where every text is white.
  void Colour(const QColor& iColour) { fColour = fHighlighted ? QColor(Qt::white) : iColour; }
  // Error texts stay red in a highlighted cell too.
  void Red() { fColour = ::Red; }
  void Line(int iTop, const QString& iText)
  {
    fCell.Texts.push_back({iText, QPoint(TextLeft, iTop), fPointSize, fBold, fColour});
  }

private:
  TCellContent& fCell;
  bool fHighlighted;
  int fPointSize = 10;
  bool fBold = false;
  QColor fColour;
};
} // namespace

QString FormatRunningTime(int64_t iMilliseconds)
{
  return Clock(std::max<int64_t>(0, iMilliseconds) / 1000 % 86400);
}

QString FormatActiveTime(int64_t iMilliseconds)
{
  const int64_t seconds = std::max<int64_t>(0, iMilliseconds) / 1000;
  const int64_t days = seconds / 86400;
  return (days > 0 ? QString("%1d ").arg(days) : QString()) + Clock(seconds % 86400);
}

TCellContent BuildCellContent(const TSlotCellData& iData, bool iHighlighted)
{
  TCellContent cell;
  TCellWriter w(cell, iHighlighted);
  w.Font(10, true);
  w.Colour(Black);
  w.Line(4, Text(iData.Name));

  w.Font(10);
  w.Colour(Gray);
  bool inputOK = false;
  switch (iData.RecordSource)
  {
  case rsDisabled:
    w.Line(20, "Disabled");
    break;
  case rsSoundcard:
    if (iData.DeviceName)
    {
      w.Line(20, Text(*iData.DeviceName));
      inputOK = true;
    }
    else
    {
      w.Red();
      w.Line(20, QString("Error: %1").arg(Text(iData.ErrorMessage)));
    }
    break;
  case rsStream:
    if (iData.StreamOpen)
    {
      w.Line(20, Text(iData.StreamTitle.empty() ? iData.StreamURL : iData.StreamTitle));
      inputOK = true;
    }
    else
    {
      w.Red();
      w.Line(20, Text(iData.StreamStatus));
    }
    break;
  }

  if (inputOK)
  {
    if (iData.EncoderRunning)
    {
      w.Font(7);
      w.Line(38, Text(iData.CurrentFilename));
      w.Font(10);
      w.Colour(Black);
      QString time = FormatRunningTime(iData.RecordingMilliseconds);
      if (iData.SilenceThreshold < 0)
        time += " (" + FormatRunningTime(iData.SilenceMilliseconds) + ")";
      w.Line(50, time);
    }
    else if (!iData.Enabled)
    {
      w.Line(38, "Encoder stopped");
    }
    else if (iData.AudioFormat == sfNone || iData.StreamingOnly)
    {
      w.Colour(Black);
      w.Line(38, "No recording");
    }
    else
    {
      w.Red();
      w.Line(38, QString("Encoder error: %1").arg(Text(iData.ErrorMessage)));
    }
  }

  if (iData.StreamingEnabled && iData.StreamingStatus != ssDisabled)
  {
    QString text;
    switch (iData.StreamingStatus)
    {
    case ssConnecting:
      text = "Stream connecting...";
      break;
    case ssConnected:
      text = "Stream online";
      break;
    case ssError:
      text = "Stream error";
      break;
    default:
      text = "Stream ?";
      break;
    }
    if (!iData.StreamingMessage.empty())
      text += " - " + Text(iData.StreamingMessage);
    if (iData.StreamingActiveMilliseconds >= 0)
      text += " [" + FormatActiveTime(iData.StreamingActiveMilliseconds) + "]";
    w.Line(68, text);
  }
  TSlotLampFacts facts;
  facts.Source = iData.RecordSource;
  facts.InputDelivers = inputOK;
  facts.EncoderRunning = iData.EncoderRunning;
  facts.Enabled = iData.Enabled;
  facts.NoFileWanted = iData.AudioFormat == sfNone || iData.StreamingOnly;
  facts.StreamingEnabled = iData.StreamingEnabled;
  facts.StreamingStatus = iData.StreamingStatus;
  const TSlotLamp lamp = SlotLamp(facts);
  cell.State = lamp == slOK ? csOK : lamp == slDisabled ? csDisabled : csError;
  return cell;
}

TStatusPictures TStatusPictures::Load()
{
  return {QPixmap(":/status_ok"), QPixmap(":/status_disabled"), QPixmap(":/status_error")};
}

const QPixmap& TStatusPictures::For(TCellState iState) const
{
  return iState == csOK ? OK : iState == csDisabled ? Disabled : Error;
}

TCellFonts::TCellFonts(const QFont& iBase) : Name(iBase), Regular(iBase), Small(iBase)
{
  Name.setPointSize(10);
  Name.setBold(true);
  Regular.setPointSize(10);
  Small.setPointSize(7);
  NameHeight = QFontMetrics(Name).height();
  RegularHeight = QFontMetrics(Regular).height();
  SmallHeight = QFontMetrics(Small).height();
}

const QFont& TCellFonts::For(int iPointSize, bool iBold) const
{
  if (iBold)
    return Name;
  return iPointSize < 10 ? Small : Regular;
}

int TCellFonts::LineHeight(int iPointSize, bool iBold) const
{
  if (iBold)
    return NameHeight;
  return iPointSize < 10 ? SmallHeight : RegularHeight;
}

QRect MetersRect(const QRect& iContent)
{
  const int right = iContent.left() + iContent.width();
  return QRect(right - 39, iContent.top() + 4, 31, LevelHeight + 2);
}

bool MetersDiffer(const TSlotCellData& iOld, const TSlotCellData& iNew)
{
  const auto same = [](float iA, float iB, float iNominalA, float iNominalB)
  {
    return MeterRow(iA, 0, LevelHeight) == MeterRow(iB, 0, LevelHeight) &&
           MeterColour(iA, iNominalA) == MeterColour(iB, iNominalB);
  };
  const float nominalOld = NominalLinear(iOld.NominalLevel);
  const float nominalNew = NominalLinear(iNew.NominalLevel);
  return MeterRow(nominalOld, 0, LevelHeight) != MeterRow(nominalNew, 0, LevelHeight) ||
         !same(iOld.LevelLeft, iNew.LevelLeft, nominalOld, nominalNew) ||
         !same(iOld.LevelRight, iNew.LevelRight, nominalOld, nominalNew);
}

void PaintSlotCell(QPainter& iPainter, const QRect& iContent, const TCellContent& iCell, const TSlotCellData& iData,
                   const TStatusPictures& iPictures, const TCellFonts& iFonts, bool iWithTexts)
{
  const int left = iContent.left();
  const int top = iContent.top();
  const int right = iContent.left() + iContent.width();

  if (iWithTexts)
    for (const TCellText& text : iCell.Texts)
    {
      const QFont& font = iFonts.For(text.PointSize, text.Bold);
      iPainter.setFont(font);
      iPainter.setPen(text.Colour);
      const int x = left + text.Position.x();
      const QRect area(x, top + text.Position.y(), right - TextRightMargin - x,
                       iFonts.LineHeight(text.PointSize, text.Bold));
      iPainter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text.Text);
    }

  iPainter.drawPixmap(QRect(left + 2, top + 12, 48, 48), iPictures.For(iCell.State));

  const float nominal = NominalLinear(iData.NominalLevel);
  DrawLevelMeter(iPainter, right - 39, top + 4, right - 23, top + LevelHeight + 4, iData.LevelLeft, nominal);
  DrawLevelMeter(iPainter, right - 24, top + 4, right - 8, top + LevelHeight + 4, iData.LevelRight, nominal);
}
