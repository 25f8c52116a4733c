// "Digitales 1" and "Digitales 2": the digital output settings and one
// configuration panel per digital input.
#include <QVBoxLayout>

#include "app/LayoutKit.h"
#include "app/Log.h"

namespace {
constexpr int kPanelsPerRow = 4;

// What differs between the sixteen input panels.
struct InputPanel {
  const char* panel;
  const char* pulsoLabel;
  QPushButton* TForm1::*reset;  // null: this input has no "Reset"
  const char* resetName;
  QComboBox* TForm1::*follow;  // inputs 1-4 carry an unused "0"/"1"/"2" selector
  const char* followName;
};

const InputPanel kInputPanels[16] = {
    {"Panel3", "Label146", nullptr, nullptr, &TForm1::ComboBox10, "ComboBox10"},
    {"Panel1", "Label147", &TForm1::BitBtn3, "BitBtn3", &TForm1::ComboBox11, "ComboBox11"},
    {"Panel2", "Label148", nullptr, nullptr, &TForm1::ComboBox12, "ComboBox12"},
    {"Panel4", "Label149", &TForm1::BitBtn6, "BitBtn6", &TForm1::ComboBox17, "ComboBox17"},
    {"Panel42", "Label190", &TForm1::BitBtn78, "BitBtn78", nullptr, nullptr},
    {"Panel43", "Label192", &TForm1::BitBtn79, "BitBtn79", nullptr, nullptr},
    {"Panel44", "Label194", &TForm1::BitBtn80, "BitBtn80", nullptr, nullptr},
    {"Panel45", "Label196", &TForm1::BitBtn81, "BitBtn81", nullptr, nullptr},
    {"Panel17", "Label197", nullptr, nullptr, nullptr, nullptr},
    {"Panel15", "Label198", &TForm1::BitBtn46, "BitBtn46", nullptr, nullptr},
    {"Panel16", "Label199", nullptr, nullptr, nullptr, nullptr},
    {"Panel14", "Label200", &TForm1::BitBtn45, "BitBtn45", nullptr, nullptr},
    {"Panel18", "Label201", &TForm1::BitBtn47, "BitBtn47", nullptr, nullptr},
    {"Panel19", "Label202", &TForm1::BitBtn48, "BitBtn48", nullptr, nullptr},
    {"Panel20", "Label203", &TForm1::BitBtn49, "BitBtn49", nullptr, nullptr},
    {"Panel21", "Label204", &TForm1::BitBtn50, "BitBtn50", nullptr, nullptr},
};
}  // namespace

void TForm1::BuildDigitalPages() {
  // Relay output mode and timing.
  GroupBox12 = MakeGroup("GroupBox12", "Digital Output", TabSheet11);
  auto* output = new QHBoxLayout(GroupBox12);
  LabeledEdit38 = new LabeledEdit("LabeledEdit38", "On Time", "3000", GroupBox12);
  RadioButton1 = MakeRadio("RadioButton1", "Pulso", GroupBox12, true);
  RadioButton3 = MakeRadio("RadioButton3", "Latch", GroupBox12);
  LabeledEdit9 = new LabeledEdit("LabeledEdit9", "Ancho de pulso", "3000", GroupBox12);
  BitBtn4 = MakeButton("BitBtn4", "Leer", GroupBox12);
  BitBtn5 = MakeButton("BitBtn5", "Escribir", GroupBox12);
  NarrowEdit(LabeledEdit38, 7);
  NarrowEdit(LabeledEdit9, 7);
  output->addWidget(LabeledEdit38->label());
  output->addWidget(LabeledEdit38);
  output->addSpacing(16);
  output->addWidget(RadioButton1);
  output->addWidget(RadioButton3);
  output->addSpacing(16);
  output->addWidget(LabeledEdit9->label());
  output->addWidget(LabeledEdit9);
  output->addLayout(ButtonRow({BitBtn4, BitBtn5}), 1);

  // The two input groups, eight panels each.
  DI = MakeGroup("DI", "Digital Input", TabSheet11);
  GroupBox4 = MakeGroup("GroupBox4", "Digital Input", Digitales2);
  BitBtn31 = MakeButton("BitBtn31", "Leer", DI);
  BitBtn33 = MakeButton("BitBtn33", "Escribir", DI);
  BitBtn32 = MakeButton("BitBtn32", "Leer", GroupBox4);
  BitBtn44 = MakeButton("BitBtn44", "Escribir", GroupBox4);
  QGridLayout* grids[2] = {new QGridLayout(DI), new QGridLayout(GroupBox4)};
  for (int n = 1; n <= 16; ++n) {
    const InputPanel& entry = kInputPanels[n - 1];
    QGroupBox* group = n <= 8 ? DI : GroupBox4;
    auto* panel = new HeaderPanel(entry.panel, Numbered("DI ", n), group);
    QGridLayout* grid = PanelGrid(panel);
    // Inversion switches in the first row, latch switches in the second.
    grid->addWidget(MakeCheck(Numbered("Invert", n), "Invertir", panel), 0, 0);
    grid->addWidget(MakeCheck(Numbered("logicInvert", n), "Invertir Logica", panel), 0, 1);
    grid->addWidget(MakeCheck(Numbered("latch", n), "Latch", panel), 1, 0);
    grid->addWidget(MakeCheck(Numbered("latchReset", n), "Reset Latch Time", panel), 1, 1);
    auto* fields = new QGridLayout();
    AddLabeled(fields, 0, 0,
               new LabeledEdit(Numbered("lacthTime", n), "LatchTime(Sec)", "0", panel));
    QLabel* pulsoLabel = MakeLabel(entry.pulsoLabel, "Do Reset", panel);
    fields->addWidget(pulsoLabel, 1, 0);
    fields->addWidget(MakeCombo(Numbered("pulso", n), {"No", "Si"}, 0, panel), 1, 1);
    if (n <= 8) pulsoLabels[std::size_t(n - 1)] = pulsoLabel;
    if (entry.follow) {
      QComboBox* follow = MakeCombo(entry.followName, {"0", "1", "2"}, 0, panel);
      fields->addWidget(follow, 2, 1);
      this->*entry.follow = follow;
    }
    if (n == 1) {
      Label217 = MakeLabel("Label217", "Do Follow", panel);
      fields->addWidget(Label217, 2, 0);
    }
    if (entry.reset) {
      QPushButton* reset = MakeButton(entry.resetName, "Reset", panel);
      fields->addWidget(reset, 3, 1, Qt::AlignRight);
      this->*entry.reset = reset;
    }
    fields->setColumnStretch(1, 1);
    grid->addLayout(fields, 2, 0, 1, 2);
    grid->setRowStretch(3, 1);
    const int index = (n - 1) % 8;
    grids[n <= 8 ? 0 : 1]->addWidget(panel, index / kPanelsPerRow, index % kPanelsPerRow);
  }
  grids[0]->addLayout(ButtonRow({BitBtn31, BitBtn33}), 2, 0, 1, kPanelsPerRow);
  grids[1]->addLayout(ButtonRow({BitBtn32, BitBtn44}), 2, 0, 1, kPanelsPerRow);

  auto* first = new QVBoxLayout(TabSheet11);
  first->addWidget(GroupBox12);
  first->addWidget(DI);
  first->addStretch(1);
  auto* second = new QVBoxLayout(Digitales2);
  second->addWidget(GroupBox4);
  second->addStretch(1);
}
