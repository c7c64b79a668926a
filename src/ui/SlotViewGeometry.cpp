#include "ui/SlotViewGeometry.h"

#include <algorithm>

TSlotGrid SetColumnCount(int iSlotCount, int iColumnCount)
{
  TSlotGrid grid;
  grid.SlotCount = std::max(1, iSlotCount);
  grid.ColumnCount = std::clamp(iColumnCount, 1, grid.SlotCount);
  grid.RowCount = (grid.SlotCount + grid.ColumnCount - 1) / grid.ColumnCount;
  return grid;
}

std::vector<int> ColumnWidths(int iViewWidth, int iColumnCount)
{
  const int count = std::max(1, iColumnCount);
  const int width = std::max(0, iViewWidth);
  std::vector<int> widths(static_cast<size_t>(count), width / count);
  widths.back() += width - width / count * count;
  return widths;
}

int GetNodeHeight(bool iFocused, bool iVerticalAutoSize, int iViewHeight, int iRowCount)
{
  const int h = iVerticalAutoSize && iRowCount > 0 ? (iViewHeight - 4) / iRowCount : DefaultInfoHeight;
  return std::max(iFocused ? DefaultInfoHeight + FocusedExtraHeight : DefaultInfoHeight, h);
}

TSlotButtonPlaces PlaceSlotButtons(int iLeft, int iTop, int iRight, int iBottom)
{
  return {QPoint(iLeft + 58, iBottom - 30), QPoint(iRight - 208, iBottom - 30), QPoint(iRight - 104, iBottom - 30)};
}
