// "Modbus" (the two gateway tables) and "SMS Tags" (the alarm texts).
#include <QHeaderView>
#include <QScrollBar>
#include <QVBoxLayout>

#include "app/LayoutKit.h"
#include "app/Log.h"

namespace {
// Wide enough to show every column without a horizontal scroll bar.
void FitColumns(StringGrid* grid, int columnWidth) {
  for (int col = 0; col < grid->columnCount(); ++col) grid->setColumnWidth(col, columnWidth);
  grid->setMinimumWidth(grid->horizontalHeader()->length() +
                        grid->verticalScrollBar()->sizeHint().width() + 2 * grid->frameWidth());
}

void SetRowHeight(StringGrid* grid, int height) {
  grid->verticalHeader()->setMinimumSectionSize(height);
  grid->verticalHeader()->setDefaultSectionSize(height);
  for (int row = 0; row < grid->rowCount(); ++row) grid->setRowHeight(row, height);
}

// A table followed by its buttons.
QVBoxLayout* GridWithButtons(StringGrid* grid, std::initializer_list<QPushButton*> buttons) {
  auto* column = new QVBoxLayout();
  column->addWidget(grid, 1);
  auto* row = new QHBoxLayout();
  for (QPushButton* button : buttons) row->addWidget(button);
  row->addStretch(1);
  column->addLayout(row);
  return column;
}

// A tag table is short: show all its rows, with its buttons beside it.
QHBoxLayout* TagGrid(StringGrid* grid, QPushButton* read, QPushButton* write) {
  grid->setFixedHeight(grid->verticalHeader()->length() + 2 * grid->frameWidth());
  grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->setFixedWidth(grid->horizontalHeader()->length() + 2 * grid->frameWidth());
  auto* buttons = new QVBoxLayout();
  buttons->addWidget(read);
  buttons->addWidget(write);
  buttons->addStretch(1);
  auto* row = new QHBoxLayout();
  row->addWidget(grid);
  row->addLayout(buttons);
  row->addStretch(1);
  return row;
}
}  // namespace

void TForm1::BuildModbusPage() {
  QWidget* page = TabModbus;
  // Grid texts are written at start-up, not here.
  modbusGrid1 = new StringGrid("modbusGrid1", 4, 65, 65, page);
  modbusGrid2 = new StringGrid("modbusGrid2", 8, 65, 49, page);
  SetRowHeight(modbusGrid1, 22);
  SetRowHeight(modbusGrid2, 22);
  FitColumns(modbusGrid1, 72);
  FitColumns(modbusGrid2, 80);
  BitBtn9 = MakeButton("BitBtn9", "Leer", page);
  BitBtn12 = MakeButton("BitBtn12", "Escribir", page);
  BitBtn64 = MakeButton("BitBtn64", "Limpiar", page);
  BitBtn10 = MakeButton("BitBtn10", "Leer", page);
  BitBtn13 = MakeButton("BitBtn13", "Escribir", page);
  BitBtn65 = MakeButton("BitBtn65", "Limpiar", page);

  auto* row = new QHBoxLayout(page);
  row->addLayout(GridWithButtons(modbusGrid1, {BitBtn9, BitBtn12, BitBtn64}));
  row->addLayout(GridWithButtons(modbusGrid2, {BitBtn10, BitBtn13, BitBtn65}));
  row->addStretch(1);
}

void TForm1::BuildTagPage() {
  QWidget* page = tagPage;
  tagDigital = new StringGrid("tagDigital", 2, 9, 9, page);
  tagAnalog = new StringGrid("tagAnalog", 2, 5, 5, page);
  const struct {
    StringGrid* grid;
    int textWidth;
  } grids[] = {{tagDigital, 604}, {tagAnalog, 603}};
  for (const auto& entry : grids) {
    SetRowHeight(entry.grid, 24);
    entry.grid->setColumnWidth(0, 64);
    entry.grid->setColumnWidth(1, entry.textWidth);
  }
  BitBtn16 = MakeButton("BitBtn16", "Leer", page);
  BitBtn62 = MakeButton("BitBtn62", "Escribir", page);
  BitBtn61 = MakeButton("BitBtn61", "Leer", page);
  BitBtn63 = MakeButton("BitBtn63", "Escribir", page);

  auto* column = new QVBoxLayout(page);
  column->addLayout(TagGrid(tagDigital, BitBtn16, BitBtn62));
  column->addSpacing(12);
  column->addLayout(TagGrid(tagAnalog, BitBtn61, BitBtn63));
  column->addStretch(1);
}
