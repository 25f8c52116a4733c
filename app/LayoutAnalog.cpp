// "Analogicas 1" and "Analogicas 2": scaling, alarms and input type of the
// eight analog inputs, one group box each.
#include <QVBoxLayout>

#include "app/LayoutKit.h"
#include "app/Log.h"

namespace {
const char* const kGroupNames[8] = {"Analogica1", "Analogica2", "Analogica3", "Analogica4",
                                    "GroupBox5",  "GroupBox6",  "GroupBox7",  "GroupBox10"};

// The fields of one input. Its two radio buttons share only this group box,
// so they exclude each other and nothing else.
QGroupBox* MakeAnalogGroup(int n, QWidget* page) {
  QGroupBox* group = MakeGroup(kGroupNames[n - 1], Numbered("Entrada Analogica ", n), page);
  auto* grid = new QGridLayout(group);
  const struct {
    const char* prefix;
    const char* caption;
  } fields[] = {
      {"Cero", "Cero"},        {"Span", "Span"},        {"AlLow", "Alarma Bajo"},
      {"AlHi", "Alarma Alto"}, {"AiHis", "Histeresis"},
  };
  int row = 0;
  for (const auto& field : fields)
    AddLabeled(grid, row++, 0,
               new LabeledEdit(Numbered(field.prefix, n), field.caption, "0", group));
  auto* kind = new QHBoxLayout();
  kind->addWidget(MakeRadio(Numbered("voltageCheck", n), "Tension", group));
  kind->addWidget(MakeRadio(Numbered("currentCheck", n), "Corriente", group));
  kind->addStretch(1);
  grid->addLayout(kind, row, 0, 1, 2);
  return group;
}

// Four inputs side by side with the page's "Leer" and "Escribir" below.
void FillPage(QWidget* page, int first, QGroupBox** groups, QPushButton* read, QPushButton* write) {
  auto* column = new QVBoxLayout(page);
  auto* row = new QHBoxLayout();
  for (int n = first; n < first + 4; ++n) {
    groups[n - 1] = MakeAnalogGroup(n, page);
    row->addWidget(groups[n - 1]);
  }
  column->addLayout(row);
  column->addLayout(ButtonRow({read, write}));
  column->addStretch(1);
}
}  // namespace

void TForm1::BuildAnalogPages() {
  BitBtn86 = MakeButton("BitBtn86", "Leer", VeskAnalog);
  BitBtn87 = MakeButton("BitBtn87", "Escribir", VeskAnalog);
  BitBtn51 = MakeButton("BitBtn51", "Leer", Analog2);
  BitBtn52 = MakeButton("BitBtn52", "Escribir", Analog2);
  FillPage(VeskAnalog, 1, analogGroups.data(), BitBtn86, BitBtn87);
  FillPage(Analog2, 5, analogGroups.data(), BitBtn51, BitBtn52);
}
