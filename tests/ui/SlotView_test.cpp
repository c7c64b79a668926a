#include "ui/SlotView.h"

#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace
{
class TFixedSource : public ISlotViewSource
{
public:
  explicit TFixedSource(int iCount) : fCount(iCount) {}
  int SlotCount() const override { return fCount; }
  TSlotCellData CellData(int iSlot) override
  {
    TSlotCellData d;
    d.Name = "Slot " + std::to_string(iSlot + 1);
    return d;
  }

private:
  int fCount;
};

class SlotViewTest : public ::testing::Test
{
protected:
  void Show(int iSlots, int iColumns, QSize iSize = QSize(460, 500))
  {
    fSource = std::make_unique<TFixedSource>(iSlots);
    fView = std::make_unique<TSlotView>(*fSource);
    fView->resize(iSize);
    fView->SetColumnCount(iColumns);
    fView->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(fView.get()));
  }
  QPoint CentreOf(int iRow, int iColumn) const { return fView->CellRect(iRow, iColumn).center(); }

  std::unique_ptr<TFixedSource> fSource;
  std::unique_ptr<TSlotView> fView;
};

TEST_F(SlotViewTest, FiveSlotsInTwoColumnsAndTheEmptyCell)
{
  Show(5, 2);
  EXPECT_EQ(fView->Grid().RowCount, 3);
  EXPECT_EQ(fView->FocusedSlot(), -1);
  EXPECT_FALSE(fView->SettingsButton()->isVisible());

  QTest::mouseClick(fView->viewport(), Qt::LeftButton, {}, CentreOf(2, 1));
  EXPECT_EQ(fView->FocusedSlot(), -1) << "the empty cell refuses the focus";
  QTest::mouseClick(fView->viewport(), Qt::LeftButton, {}, CentreOf(2, 0));
  EXPECT_EQ(fView->FocusedSlot(), 4);
  EXPECT_EQ(fView->RowHeight(2), 120);
  EXPECT_EQ(fView->RowHeight(1), 90);

  const QRect cell = fView->CellRect(2, 0);
  const int right = cell.left() + cell.width();
  const int bottom = cell.top() + cell.height();
  EXPECT_TRUE(fView->SettingsButton()->isVisible());
  EXPECT_EQ(fView->SettingsButton()->geometry(), QRect(cell.left() + 58, bottom - 30, 100, 25));
  EXPECT_EQ(fView->StartButton()->pos(), QPoint(right - 208, bottom - 30));
  EXPECT_EQ(fView->StopButton()->pos(), QPoint(right - 104, bottom - 30));

  QTest::keyClick(fView.get(), Qt::Key_Escape);
  EXPECT_EQ(fView->FocusedSlot(), -1);
  EXPECT_FALSE(fView->StopButton()->isVisible());
  EXPECT_EQ(fView->RowHeight(2), 90);
}

TEST_F(SlotViewTest, ColumnsMenuAndAutoSize)
{
  Show(6, 1, QSize(460, 804));
  fView->UpdateContextMenu();
  EXPECT_FALSE(fView->OpenFolderAction()->isEnabled());
  EXPECT_TRUE(fView->ColumnCountIncreaseAction()->isEnabled());
  EXPECT_FALSE(fView->ColumnCountDecreaseAction()->isEnabled());

  fView->ColumnCountIncreaseAction()->trigger();
  fView->ColumnCountIncreaseAction()->trigger();
  EXPECT_EQ(fView->ColumnCount(), 3);
  // The third cell of the second row is slot 5 (from 0); the folder request acts on it.
  ASSERT_TRUE(fView->SetFocusedCell(1, 2));
  EXPECT_EQ(fView->FocusedSlot(), 5);
  fView->UpdateContextMenu();
  EXPECT_TRUE(fView->OpenFolderAction()->isEnabled());
  QSignalSpy folder(fView.get(), &TSlotView::OpenFolderRequested);
  fView->OpenFolderAction()->trigger();
  EXPECT_EQ(folder.count(), 1);

  fView->SetColumnCount(6);
  fView->UpdateContextMenu();
  EXPECT_FALSE(fView->ColumnCountIncreaseAction()->isEnabled());
  EXPECT_TRUE(fView->ColumnCountDecreaseAction()->isEnabled());

  fView->SetColumnCount(2);
  fView->RemoveCellFocus();
  fView->VerticalAutoSizeAction()->trigger();
  EXPECT_TRUE(fView->VerticalAutoSize());
  const int height = fView->viewport()->height();
  EXPECT_EQ(fView->RowHeight(0), std::max(90, (height - 4) / 3));
  ASSERT_TRUE(fView->SetFocusedCell(0, 0));
  EXPECT_GE(fView->RowHeight(0), 120);
}

TEST_F(SlotViewTest, DoubleClickAndKeysAndPaintedTexts)
{
  Show(4, 2);
  QSignalSpy settings(fView.get(), &TSlotView::SettingsRequested);
  QTest::mouseDClick(fView->viewport(), Qt::LeftButton, {}, CentreOf(1, 1));
  EXPECT_EQ(fView->FocusedSlot(), 3);
  EXPECT_EQ(settings.count(), 1);
  QTest::keyClick(fView.get(), Qt::Key_Up);
  EXPECT_EQ(fView->FocusedSlot(), 1);
  QTest::keyClick(fView.get(), Qt::Key_Left);
  EXPECT_EQ(fView->FocusedSlot(), 0);

  fView->viewport()->repaint();
  EXPECT_EQ(fView->CellContent(2).Texts.at(0).Text, "Slot 3");
  EXPECT_EQ(fView->CellContent(2).Texts.at(1).Text, "Disabled");
  EXPECT_EQ(fView->CellContent(2).State, csDisabled);
}
} // namespace
