#include "ui/SlotViewGeometry.h"

#include <gtest/gtest.h>

namespace
{
TEST(SlotViewGeometryTest, ColumnCountAndRows)
{
  struct TCase
  {
    int Slots, Columns, ExpectedColumns, ExpectedRows;
  };
  const TCase cases[] = {
      {5, 2, 2, 3}, {5, 0, 1, 5}, {5, -3, 1, 5}, {5, 9, 5, 1}, {4, 2, 2, 2}, {1, 1, 1, 1}, {64, 4, 4, 16}, {7, 3, 3, 3},
  };
  for (const TCase& c : cases)
  {
    const TSlotGrid grid = SetColumnCount(c.Slots, c.Columns);
    EXPECT_EQ(grid.ColumnCount, c.ExpectedColumns) << c.Slots << "/" << c.Columns;
    EXPECT_EQ(grid.RowCount, c.ExpectedRows) << c.Slots << "/" << c.Columns;
  }
}

TEST(SlotViewGeometryTest, FocusRuleRefusesTheEmptyCellsOfTheLastRow)
{
  const TSlotGrid five = SetColumnCount(5, 2);
  EXPECT_TRUE(five.CanFocus(2, 0));
  EXPECT_FALSE(five.CanFocus(2, 1));
  EXPECT_FALSE(five.CanFocus(3, 0));
  EXPECT_FALSE(five.CanFocus(0, 2));
  EXPECT_FALSE(five.CanFocus(-1, 0));
  const TSlotGrid six = SetColumnCount(6, 3);
  EXPECT_EQ(six.SlotOfCell(1, 2), 5);
}

TEST(SlotViewGeometryTest, ColumnsFillTheWidth)
{
  EXPECT_EQ(ColumnWidths(450, 2), (std::vector<int>{225, 225}));
  EXPECT_EQ(ColumnWidths(451, 2), (std::vector<int>{225, 226}));
  EXPECT_EQ(ColumnWidths(100, 3), (std::vector<int>{33, 33, 34}));
  EXPECT_EQ(ColumnWidths(0, 1), (std::vector<int>{0}));
}

TEST(SlotViewGeometryTest, RowHeights)
{
  struct TCase
  {
    bool Focused, AutoSize;
    int ViewHeight, Rows, Expected;
  };
  const TCase cases[] = {
      {false, false, 1000, 2, 90}, {true, false, 1000, 2, 120}, {false, true, 1004, 2, 500},
      {true, true, 1004, 2, 500},  {false, true, 300, 5, 90},   {true, true, 300, 5, 120},
      {true, true, 364, 3, 120},   {false, true, 364, 3, 120},  {false, true, 0, 0, 90},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(GetNodeHeight(c.Focused, c.AutoSize, c.ViewHeight, c.Rows), c.Expected)
        << c.Focused << c.AutoSize << " " << c.ViewHeight << "/" << c.Rows;
}

TEST(SlotViewGeometryTest, ButtonsOfTheFocusedCell)
{
  const TSlotButtonPlaces places = PlaceSlotButtons(10, 90, 460, 210);
  EXPECT_EQ(places.Settings, QPoint(68, 180));
  EXPECT_EQ(places.Start, QPoint(252, 180));
  EXPECT_EQ(places.Stop, QPoint(356, 180));
}
} // namespace
