// "Estado": the live state of the unit, filled from its debug trace.
#include <QVBoxLayout>

#include "app/LayoutKit.h"
#include "app/Log.h"

namespace {
constexpr int kLiveInputs = 16;
constexpr int kAnalogInputs = 8;
constexpr int kPanelsPerRow = 4;

// Names of the "Reset" buttons of the live input panels, input 1 first.
constexpr int kLiveResetButton[kLiveInputs] = {88, 26, 89, 43, 90, 91, 92,  93,
                                               94, 95, 96, 97, 98, 99, 100, 101};

// A size in the widget's own sheet, since the application's sheet sets the font size.
QLabel* MakeSmallLabel(const QString& caption, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setStyleSheet("font-size: 8pt;");
  return label;
}

// One live digital input: name, state and "Reset" in a row, then the three
// counter lines, which keep their layout texts.
Panel* MakeLiveInput(int n, QWidget* parent, QPushButton** reset) {
  auto* panel = new Panel(Numbered("digtalPanel", n), "", parent);
  QGridLayout* grid = PanelGrid(panel);
  grid->setVerticalSpacing(0);
  grid->addWidget(MakeTitle(Numbered("diName", n), Numbered("DI", n), panel), 0, 0);
  grid->addWidget(MakeTitle(Numbered("diStatus", n), "ON", panel), 0, 1);
  *reset = MakeButton(Numbered("BitBtn", kLiveResetButton[n - 1]), "Reset", panel);
  grid->addWidget(*reset, 0, 2, Qt::AlignRight);
  grid->addWidget(MakeSmallLabel("Off TIme: 0.0 Seg", panel), 1, 0, 1, 3);
  grid->addWidget(MakeSmallLabel("OFF TimeStamp : 00:00:00,000 00/00/2000", panel), 2, 0, 1, 3);
  grid->addWidget(MakeSmallLabel("Count: 65535", panel), 3, 0, 1, 3);
  grid->setColumnStretch(1, 1);
  return panel;
}

// One relay output: state, then its ON and OFF buttons.
Panel* MakeCoil(int n, QWidget* parent) {
  auto* panel = new HeaderPanel(Numbered("coilPanel", n), Numbered("Coil ", n), parent);
  QGridLayout* grid = PanelGrid(panel);
  QLabel* state = MakeTitle(Numbered("coilLabel", n), "ON", panel);
  state->setAlignment(Qt::AlignCenter);
  grid->addWidget(state, 0, 0, 1, 2);
  grid->addWidget(MakeButton(Numbered("botonOn", n), "ON", panel), 1, 0);
  grid->addWidget(MakeButton(Numbered("botonOff", n), "OFF", panel), 1, 1);
  return panel;
}

// One analog input: value in mA/mV, scaled value and alarm state.
Panel* MakeAnalog(int n, QWidget* parent) {
  auto* panel = new Panel(Numbered("analogPanel", n), "", parent);
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(6, 4, 6, 4);
  column->setSpacing(2);
  const QString name[] = {Numbered("analogName", n), Numbered("current", n),
                          Numbered("anaValue", n), Numbered("alarma", n)};
  const QString text[] = {Numbered("AI", n), "18,25mA", "200.2", "Normal"};
  for (int i = 0; i < 4; ++i) {
    QLabel* label =
        i == 0 ? MakeTitle(name[i], text[i], panel) : MakeLabel(name[i], text[i], panel);
    label->setAlignment(Qt::AlignCenter);
    column->addWidget(label);
  }
  return panel;
}
}  // namespace

void TForm1::BuildEstadoPage() {
  auto* page = new QGridLayout(TabSheet1);
  page->setContentsMargins(6, 6, 6, 6);

  DigitalOutput = MakeGroup("DigitalOutput", "Digital Output", TabSheet1);
  auto* outputs = new QHBoxLayout(DigitalOutput);
  for (int n = 1; n <= 2; ++n) outputs->addWidget(MakeCoil(n, DigitalOutput));
  // Operating mode controls, kept out of sight.
  Panel11 = new Panel("Panel11", "", DigitalOutput);
  auto* mode = new QVBoxLayout(Panel11);
  BitBtn14 = MakeButton("BitBtn14", "Reset", Panel11);
  BitBtn19 = MakeButton("BitBtn19", "AUTOMATICO", Panel11);
  BitBtn20 = MakeButton("BitBtn20", "MANUAL", Panel11);
  for (QPushButton* button : {BitBtn14, BitBtn19, BitBtn20}) mode->addWidget(button);
  Panel11->hide();
  outputs->addWidget(Panel11);
  page->addWidget(DigitalOutput, 0, 0);

  GroupBox11 = MakeGroup("GroupBox11", "Analog Input", TabSheet1);
  auto* analogs = new QHBoxLayout(GroupBox11);
  for (int n = 1; n <= kAnalogInputs; ++n) analogs->addWidget(MakeAnalog(n, GroupBox11));
  page->addWidget(GroupBox11, 0, 1);

  GroupBox8 = MakeGroup("GroupBox8", "Digital Input", TabSheet1);
  auto* inputs = new QGridLayout(GroupBox8);
  inputs->setHorizontalSpacing(4);
  for (int n = 1; n <= kLiveInputs; ++n) {
    QPushButton** reset = &inputResetButtons[std::size_t(n - 1)];
    inputs->addWidget(MakeLiveInput(n, GroupBox8, reset), (n - 1) / kPanelsPerRow,
                      (n - 1) % kPanelsPerRow);
  }
  BitBtn26 = inputResetButtons[1];
  BitBtn43 = inputResetButtons[3];
  page->addWidget(GroupBox8, 1, 0, 1, 2);

  page->setColumnStretch(1, 1);
  page->setRowStretch(2, 1);
}
