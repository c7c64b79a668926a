#pragma once
// The geometry of the slot view: a grid of cells, one per slot, filled row by row. Sizes are logical pixels
// (the layout at 96 dpi); Qt scales them with the screen's device pixel ratio.

#include <QPoint>
#include <QRect>
#include <vector>

inline constexpr int DefaultInfoHeight = 90;               // height of a row
inline constexpr int LevelHeight = DefaultInfoHeight - 10; // height of the level meters
inline constexpr int FocusedExtraHeight = 30;              // room for the buttons of the focused row
inline constexpr int SlotButtonWidth = 100;
inline constexpr int SlotButtonHeight = 25;

struct TSlotGrid
{
  int SlotCount = 1;
  int ColumnCount = 1;
  int RowCount = 1;

  // Row i, column j shows slot i x ColumnCount + j.
  int SlotOfCell(int iRow, int iColumn) const { return iRow * ColumnCount + iColumn; }
  // The empty cells of the last row cannot be focused.
  bool CanFocus(int iRow, int iColumn) const
  {
    return iRow >= 0 && iColumn >= 0 && iColumn < ColumnCount && SlotOfCell(iRow, iColumn) < SlotCount;
  }
};

// The column count limited to 1 .. iSlotCount and the rows it needs.
TSlotGrid SetColumnCount(int iSlotCount, int iColumnCount);
// The columns share the width equally; the last one takes what the division leaves, so they fill the view.
std::vector<int> ColumnWidths(int iViewWidth, int iColumnCount);
// A row's height: with vertical auto-size the rows share the view's height, never below the default height;
// the focused row is at least 30 pixels taller than the default.
int GetNodeHeight(bool iFocused, bool iVerticalAutoSize, int iViewHeight, int iRowCount);

// Top-left corners of the buttons "Settings...", "Start" and "Stop" in the focused cell.
struct TSlotButtonPlaces
{
  QPoint Settings;
  QPoint Start;
  QPoint Stop;
};
// The cell's rectangle, right and bottom exclusive.
TSlotButtonPlaces PlaceSlotButtons(int iLeft, int iTop, int iRight, int iBottom);
