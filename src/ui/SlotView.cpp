#include "ui/SlotView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>

namespace
{
const QColor GridGray(160, 160, 164);
const QColor InactiveFocus(225, 225, 225);

QPushButton* NewButton(const QString& iCaption, QWidget* iParent)
{
  auto* button = new QPushButton(iCaption, iParent);
  button->setFixedSize(SlotButtonWidth, SlotButtonHeight);
  // A click keeps the keyboard focus in the view, so its cell stays highlighted.
  button->setFocusPolicy(Qt::TabFocus);
  button->hide();
  return button;
}
} // namespace

TSlotView::TSlotView(ISlotViewSource& iSource, QWidget* iParent)
    : QAbstractScrollArea(iParent), fSource(iSource), fPictures(TStatusPictures::Load())
{
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setAutoFillBackground(false);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

  btnSettings = NewButton("Settings...", viewport());
  btnStart = NewButton("Start", viewport());
  btnStop = NewButton("Stop", viewport());
  connect(btnSettings, &QPushButton::clicked, this, &TSlotView::SettingsRequested);
  connect(btnStart, &QPushButton::clicked, this, &TSlotView::StartRequested);
  connect(btnStop, &QPushButton::clicked, this, &TSlotView::StopRequested);

  mnuSlotPopup = new QMenu(this);
  miOpenFolder = mnuSlotPopup->addAction("Open Output Folder", this, &TSlotView::OpenFolderRequested);
  mnuSlotPopup->addSeparator();
  miColumnCountIncrease =
      mnuSlotPopup->addAction("Increase column count", this, [this] { SetColumnCount(fGrid.ColumnCount + 1); });
  miColumnCountDecrease =
      mnuSlotPopup->addAction("Decrease column count", this, [this] { SetColumnCount(fGrid.ColumnCount - 1); });
  mnuSlotPopup->addSeparator();
  miVerticalAutoSize = mnuSlotPopup->addAction("Vertical auto-size");
  miVerticalAutoSize->setCheckable(true);
  connect(miVerticalAutoSize, &QAction::toggled, this,
          [this]
          {
            Relayout();
            emit ColumnsChanged();
          });

  fGrid = ::SetColumnCount(fSource.SlotCount(), 1);
  connect(&fRepaintTimer, &QTimer::timeout, this, &TSlotView::timRepaintTimer);
  fRepaintTimer.start(RepaintInterval);
}

void TSlotView::SetColumnCount(int iColumnCount)
{
  const int focused = fFocusedSlot;
  fGrid = ::SetColumnCount(fSource.SlotCount(), iColumnCount);
  // The focused slot keeps the focus in its new cell.
  fFocusedSlot = focused < fGrid.SlotCount ? focused : -1;
  Relayout();
  emit ColumnsChanged();
}

void TSlotView::SetVerticalAutoSize(bool iOn)
{
  miVerticalAutoSize->setChecked(iOn);
  Relayout();
}

bool TSlotView::VerticalAutoSize() const
{
  return miVerticalAutoSize->isChecked();
}

bool TSlotView::SetFocusedCell(int iRow, int iColumn)
{
  if (!fGrid.CanFocus(iRow, iColumn))
    return false;
  const int slot = fGrid.SlotOfCell(iRow, iColumn);
  if (slot != fFocusedSlot)
  {
    fFocusedSlot = slot;
    Relayout();
    EnsureFocusedRowVisible();
    emit FocusedSlotChanged(fFocusedSlot);
  }
  return true;
}

void TSlotView::EnsureFocusedRowVisible()
{
  const QRect cell = CellRect(FocusedRow(), FocusedColumn());
  QScrollBar* bar = verticalScrollBar();
  if (cell.top() < 0)
    bar->setValue(bar->value() + cell.top());
  else if (cell.top() + cell.height() > viewport()->height())
    bar->setValue(bar->value() + cell.top() + cell.height() - viewport()->height());
}

void TSlotView::RemoveCellFocus()
{
  if (fFocusedSlot < 0)
    return;
  fFocusedSlot = -1;
  Relayout();
  emit FocusedSlotChanged(-1);
}

void TSlotView::UpdateSlotButtons(bool iCanStart, bool iCanStop)
{
  btnStart->setEnabled(iCanStart);
  btnStop->setEnabled(iCanStop);
}

int TSlotView::RowHeight(int iRow) const
{
  return iRow == FocusedRow() ? fFocusedRowHeight : fRowHeight;
}

int TSlotView::RowTop(int iRow) const
{
  const int focusedRow = FocusedRow();
  return iRow * fRowHeight + (focusedRow >= 0 && focusedRow < iRow ? fFocusedRowHeight - fRowHeight : 0) -
         verticalScrollBar()->value();
}

QRect TSlotView::CellRect(int iRow, int iColumn) const
{
  int left = 0;
  for (int c = 0; c < iColumn && c < static_cast<int>(fColumnWidths.size()); ++c)
    left += fColumnWidths[static_cast<size_t>(c)];
  const int width = iColumn < static_cast<int>(fColumnWidths.size()) ? fColumnWidths[static_cast<size_t>(iColumn)] : 0;
  return QRect(left, RowTop(iRow), width, RowHeight(iRow));
}

bool TSlotView::CellAt(const QPoint& iPoint, int& oRow, int& oColumn) const
{
  oRow = -1;
  for (int row = 0; row < fGrid.RowCount; ++row)
  {
    const int top = RowTop(row);
    if (iPoint.y() >= top && iPoint.y() < top + RowHeight(row))
    {
      oRow = row;
      break;
    }
  }
  oColumn = -1;
  int left = 0;
  for (size_t c = 0; c < fColumnWidths.size(); ++c)
  {
    if (iPoint.x() >= left && iPoint.x() < left + fColumnWidths[c])
      oColumn = static_cast<int>(c);
    left += fColumnWidths[c];
  }
  return oRow >= 0 && oColumn >= 0;
}

void TSlotView::Relayout()
{
  const QSize size = viewport()->size();
  fColumnWidths = ColumnWidths(size.width(), fGrid.ColumnCount);
  fRowHeight = GetNodeHeight(false, VerticalAutoSize(), size.height(), fGrid.RowCount);
  fFocusedRowHeight = GetNodeHeight(true, VerticalAutoSize(), size.height(), fGrid.RowCount);
  const int total = fGrid.RowCount * fRowHeight + (fFocusedSlot >= 0 ? fFocusedRowHeight - fRowHeight : 0);
  verticalScrollBar()->setRange(0, std::max(0, total - size.height()));
  verticalScrollBar()->setPageStep(size.height());
  verticalScrollBar()->setSingleStep(fRowHeight / 3);
  PlaceSlotButtons();
  viewport()->update();
}

void TSlotView::PlaceSlotButtons()
{
  if (fFocusedSlot < 0)
  {
    btnSettings->hide();
    btnStart->hide();
    btnStop->hide();
    return;
  }
  const QRect cell = CellRect(FocusedRow(), FocusedColumn());
  const TSlotButtonPlaces places =
      ::PlaceSlotButtons(cell.left(), cell.top(), cell.left() + cell.width(), cell.top() + cell.height());
  btnSettings->move(places.Settings);
  btnStart->move(places.Start);
  btnStop->move(places.Stop);
  btnSettings->show();
  btnStart->show();
  btnStop->show();
}

void TSlotView::UpdateContextMenu()
{
  miOpenFolder->setEnabled(fFocusedSlot >= 0);
  miColumnCountIncrease->setEnabled(fGrid.ColumnCount < fGrid.SlotCount);
  miColumnCountDecrease->setEnabled(fGrid.ColumnCount > 1);
}

TSlotView::TCellSnapshot& TSlotView::Snapshot(int iSlot, bool iHighlighted)
{
  TCellSnapshot& cell = fCells[static_cast<size_t>(iSlot)];
  cell.Data = fSource.CellData(iSlot);
  cell.Content = BuildCellContent(cell.Data, iHighlighted);
  cell.Highlighted = iHighlighted;
  cell.Valid = true;
  return cell;
}

const TCellContent& TSlotView::CellContent(int iSlot)
{
  fCells.resize(static_cast<size_t>(fGrid.SlotCount));
  TCellSnapshot& cell = fCells.at(static_cast<size_t>(iSlot));
  return cell.Valid ? cell.Content : Snapshot(iSlot, Highlighted(iSlot)).Content;
}

void TSlotView::timRepaintTimer()
{
  fCells.resize(static_cast<size_t>(fGrid.SlotCount));
  for (int slot = 0; slot < fGrid.SlotCount; ++slot)
  {
    TCellSnapshot& cell = fCells[static_cast<size_t>(slot)];
    const TCellSnapshot before = cell;
    Snapshot(slot, Highlighted(slot));
    const QRect rect = CellRect(slot / fGrid.ColumnCount, slot % fGrid.ColumnCount);
    if (!rect.intersects(viewport()->rect()))
      continue;
    if (!before.Valid || before.Highlighted != cell.Highlighted || !(before.Content == cell.Content))
      viewport()->update(rect);
    else if (MetersDiffer(before.Data, cell.Data))
      viewport()->update(MetersRect(QRect(rect.left(), rect.top(), rect.width() - 1, rect.height() - 1)));
  }
  emit Refreshed();
}

void TSlotView::paintEvent(QPaintEvent* iEvent)
{
  QPainter painter(viewport());
  const QRegion& region = iEvent->region();
  painter.fillRect(iEvent->rect(), palette().color(QPalette::Base));
  const TCellFonts fonts(font());
  fCells.resize(static_cast<size_t>(fGrid.SlotCount));
  const QColor highlight = palette().color(QPalette::Active, QPalette::Highlight);

  for (int row = 0; row < fGrid.RowCount; ++row)
  {
    for (int column = 0; column < fGrid.ColumnCount; ++column)
    {
      const QRect cell = CellRect(row, column);
      if (!region.intersects(cell))
        continue;
      // Grid lines on the right and bottom edge of every cell, the empty ones included.
      painter.fillRect(cell.right(), cell.top(), 1, cell.height(), GridGray);
      painter.fillRect(cell.left(), cell.bottom(), cell.width(), 1, GridGray);
      const int slot = fGrid.SlotOfCell(row, column);
      if (slot >= fGrid.SlotCount)
        continue;
      const QRect content(cell.left(), cell.top(), cell.width() - 1, cell.height() - 1);
      const bool highlighted = Highlighted(slot);
      if (highlighted)
        painter.fillRect(content, highlight);
      else if (slot == fFocusedSlot)
        painter.fillRect(content, InactiveFocus);
      TCellSnapshot& snapshot = fCells[static_cast<size_t>(slot)];
      if (!snapshot.Valid || snapshot.Highlighted != highlighted)
        Snapshot(slot, highlighted);
      const bool withTexts =
          region.intersects(QRect(content.left(), content.top(), content.width() - 39, content.height()));
      PaintSlotCell(painter, content, snapshot.Content, snapshot.Data, fPictures, fonts, withTexts);
    }
  }
  emit Painted();
}

void TSlotView::resizeEvent(QResizeEvent* iEvent)
{
  QAbstractScrollArea::resizeEvent(iEvent);
  Relayout();
}

void TSlotView::scrollContentsBy(int, int)
{
  PlaceSlotButtons();
  viewport()->update();
}

void TSlotView::mousePressEvent(QMouseEvent* iEvent)
{
  int row = 0;
  int column = 0;
  if (CellAt(iEvent->position().toPoint(), row, column))
    SetFocusedCell(row, column);
  iEvent->accept();
}

void TSlotView::mouseDoubleClickEvent(QMouseEvent* iEvent)
{
  int row = 0;
  int column = 0;
  if (iEvent->button() == Qt::LeftButton && CellAt(iEvent->position().toPoint(), row, column) &&
      SetFocusedCell(row, column))
    emit SettingsRequested();
}

void TSlotView::keyPressEvent(QKeyEvent* iEvent)
{
  const int row = FocusedRow();
  const int column = FocusedColumn();
  switch (iEvent->key())
  {
  case Qt::Key_Escape:
    RemoveCellFocus();
    return;
  case Qt::Key_Left:
    SetFocusedCell(row < 0 ? 0 : row, std::max(0, column - 1));
    return;
  case Qt::Key_Right:
    SetFocusedCell(row < 0 ? 0 : row, column + 1);
    return;
  case Qt::Key_Up:
    SetFocusedCell(std::max(0, row - 1), std::max(0, column));
    return;
  case Qt::Key_Down:
    SetFocusedCell(row + 1, std::max(0, column));
    return;
  case Qt::Key_Return:
  case Qt::Key_Enter:
    if (fFocusedSlot >= 0)
      emit SettingsRequested();
    return;
  default:
    QAbstractScrollArea::keyPressEvent(iEvent);
  }
}

void TSlotView::contextMenuEvent(QContextMenuEvent* iEvent)
{
  int row = 0;
  int column = 0;
  // The menu acts on the cell it was opened on.
  if (iEvent->reason() == QContextMenuEvent::Mouse && CellAt(viewport()->mapFrom(this, iEvent->pos()), row, column))
    SetFocusedCell(row, column);
  UpdateContextMenu();
  mnuSlotPopup->popup(iEvent->globalPos());
}

void TSlotView::focusInEvent(QFocusEvent* iEvent)
{
  QAbstractScrollArea::focusInEvent(iEvent);
  viewport()->update();
}

void TSlotView::focusOutEvent(QFocusEvent* iEvent)
{
  QAbstractScrollArea::focusOutEvent(iEvent);
  viewport()->update();
}
