#pragma once
// The slot view: an owner-drawn grid of cells, one per slot, repainted ten times a second. A cell (not only a
// row) holds the focus; the focused cell's row is taller and shows the buttons "Settings...", "Start" and "Stop".
// The view knows nothing of slots beyond what its source hands it for each painted cell.

#include "ui/SlotCell.h"
#include "ui/SlotViewGeometry.h"

#include <QAbstractScrollArea>
#include <QTimer>

class QAction;
class QMenu;
class QPushButton;

class ISlotViewSource
{
public:
  virtual ~ISlotViewSource() = default;
  virtual int SlotCount() const = 0;
  // The slot's cell for this repaint; called once for each painted cell, so the shown levels fall off here.
  virtual TSlotCellData CellData(int iSlot) = 0;
};

class TSlotView : public QAbstractScrollArea
{
  Q_OBJECT
public:
  static constexpr int RepaintInterval = 100; // ms

  TSlotView(ISlotViewSource& iSource, QWidget* iParent = nullptr);

  void SetColumnCount(int iColumnCount);
  int ColumnCount() const { return fGrid.ColumnCount; }
  const TSlotGrid& Grid() const { return fGrid; }
  void SetVerticalAutoSize(bool iOn);
  bool VerticalAutoSize() const;

  // The focused slot, -1 for none.
  int FocusedSlot() const { return fFocusedSlot; }
  // Focuses a cell; refused (false) for the empty cells of the last row.
  bool SetFocusedCell(int iRow, int iColumn);
  void RemoveCellFocus();
  // Enables the buttons of the focused cell.
  void UpdateSlotButtons(bool iCanStart, bool iCanStop);

  // In viewport coordinates, right and bottom exclusive as QRect's right()+1 and bottom()+1.
  QRect CellRect(int iRow, int iColumn) const;
  int RowHeight(int iRow) const;
  QPushButton* SettingsButton() const { return btnSettings; }
  QPushButton* StartButton() const { return btnStart; }
  QPushButton* StopButton() const { return btnStop; }
  QMenu* ContextMenu() const { return mnuSlotPopup; }
  // Sets the menu items' states as when the menu opens.
  void UpdateContextMenu();
  QAction* OpenFolderAction() const { return miOpenFolder; }
  QAction* ColumnCountIncreaseAction() const { return miColumnCountIncrease; }
  QAction* ColumnCountDecreaseAction() const { return miColumnCountDecrease; }
  QAction* VerticalAutoSizeAction() const { return miVerticalAutoSize; }

  // What the cell of a slot shows now (its texts and state), for tests and diagnostics.
  const TCellContent& CellContent(int iSlot);

signals:
  void FocusedSlotChanged(int iSlot);
  void SettingsRequested();
  void StartRequested();
  void StopRequested();
  void OpenFolderRequested();
  // The column count or the vertical auto-size changed.
  void ColumnsChanged();
  void Painted();
  // The 100 ms look at every slot has been taken.
  void Refreshed();

protected:
  void paintEvent(QPaintEvent* iEvent) override;
  void resizeEvent(QResizeEvent* iEvent) override;
  void scrollContentsBy(int iDx, int iDy) override;
  void mousePressEvent(QMouseEvent* iEvent) override;
  void mouseDoubleClickEvent(QMouseEvent* iEvent) override;
  void keyPressEvent(QKeyEvent* iEvent) override;
  void contextMenuEvent(QContextMenuEvent* iEvent) override;
  void focusInEvent(QFocusEvent* iEvent) override;
  void focusOutEvent(QFocusEvent* iEvent) override;

private:
  // Column widths, row heights, scroll range and the buttons after a change of size, columns or focus.
  void Relayout();
  void PlaceSlotButtons();
  void EnsureFocusedRowVisible();
  int RowTop(int iRow) const;
  // The cell under a viewport point; false outside every row and column.
  bool CellAt(const QPoint& iPoint, int& oRow, int& oColumn) const;
  int FocusedRow() const { return fFocusedSlot < 0 ? -1 : fFocusedSlot / fGrid.ColumnCount; }
  int FocusedColumn() const { return fFocusedSlot < 0 ? -1 : fFocusedSlot % fGrid.ColumnCount; }

  ISlotViewSource& fSource;
  TSlotGrid fGrid;
  int fFocusedSlot = -1;
  std::vector<int> fColumnWidths;
  int fRowHeight = DefaultInfoHeight;
  int fFocusedRowHeight = DefaultInfoHeight + FocusedExtraHeight;
  TStatusPictures fPictures;
  // Every 100 ms each slot's snapshot is taken; only what changed is repainted: the whole cell when a text or
  // the state changed, else the meters when a bar moved.
  struct TCellSnapshot
  {
    TSlotCellData Data;
    TCellContent Content;
    bool Highlighted = false;
    bool Valid = false;
  };
  void timRepaintTimer();
  TCellSnapshot& Snapshot(int iSlot, bool iHighlighted);
  bool Highlighted(int iSlot) const { return hasFocus() && iSlot == fFocusedSlot; }
  std::vector<TCellSnapshot> fCells;
  QTimer fRepaintTimer;
  QPushButton* btnSettings;
  QPushButton* btnStart;
  QPushButton* btnStop;
  QMenu* mnuSlotPopup;
  QAction* miOpenFolder;
  QAction* miColumnCountIncrease;
  QAction* miColumnCountDecrease;
  QAction* miVerticalAutoSize;
};
