// The strip above the pages: port, mode, one-shot commands and the live
// indicators of the unit.
#include <QVBoxLayout>

#include "app/LayoutKit.h"
#include "app/Log.h"

namespace {
// Lamps only ever show these short captions.
Panel* MakeLamp(const QString& name, const QString& caption, QWidget* parent) {
  auto* lamp = new Panel(name, caption, parent);
  FitCaptions(lamp, {"TX", "Rx"});
  lamp->setFixedWidth(lamp->minimumWidth());
  return lamp;
}
}  // namespace

void TForm1::BuildTopArea(QWidget* top) {
  auto* row = new QHBoxLayout(top);
  row->setContentsMargins(0, 0, 0, 0);

  GroupBox1 = MakeGroup("GroupBox1", "Puerto Debug", top);
  auto* port = new QGridLayout(GroupBox1);
  LabeledEdit1 = new LabeledEdit("LabeledEdit1", "Puerto ", "1", GroupBox1);
  BitBtn1 = MakeButton("BitBtn1", "&Conectar", GroupBox1);
  BitBtn2 = MakeButton("BitBtn2", "&Desconectar", GroupBox1);
  BitBtn2->setEnabled(false);
  AddLabeled(port, 0, 0, LabeledEdit1);
  portListButton = MakeButton("portListButton", "...", GroupBox1);
  portListButton->setToolTip("Puertos serie presentes");
  portListButton->setFixedWidth(portListButton->fontMetrics().horizontalAdvance("...") + 24);
  port->addWidget(portListButton, 0, 2);
  port->addWidget(BitBtn1, 1, 0);
  port->addWidget(BitBtn2, 1, 1);
  row->addWidget(GroupBox1);

  // The remote station number sits beside "Remoto", shown only in that mode.
  RadioGroup2 = new RadioGroup("RadioGroup2", "Modo", {"Local", "Remoto"}, 1, top);
  RadioGroup2->setItemIndex(0);
  Edit3 = MakeEdit("Edit3", "1", RadioGroup2);
  NarrowEdit(Edit3, 5);
  Edit3->hide();
  if (auto* grid = qobject_cast<QGridLayout*>(RadioGroup2->layout())) grid->addWidget(Edit3, 1, 1);
  row->addWidget(RadioGroup2);

  auto* commands = new QVBoxLayout();
  commands->setSpacing(2);
  BitBtn30 = MakeButton("BitBtn30", "Enviar Hora", top);
  BitBtn7 = MakeButton("BitBtn7", "Identificar Hardware", top);
  BitBtn18 = MakeButton("BitBtn18", "&Forzar Desconexion", top);
  for (QPushButton* button : {BitBtn30, BitBtn7, BitBtn18}) commands->addWidget(button);
  row->addLayout(commands);
  row->addStretch(1);

  // Indicators: signal and supply on the left, link states and lamps beside.
  auto* lights = new QGridLayout();
  lights->setHorizontalSpacing(4);
  lights->setVerticalSpacing(4);
  Label145 = MakeLabel("Label145", QString::fromUtf8("Señal: 0db"), top);
  Label145->setStyleSheet(
      "font-size: 15pt; font-weight: bold;");  // watched while aiming the antenna
  lights->addWidget(Label145, 0, 0, 1, 2);

  LabeledEdit13 = new LabeledEdit("LabeledEdit13", "Alimentacion  ", "", top);
  NarrowEdit(LabeledEdit13, 8);
  AddLabeled(lights, 1, 0, LabeledEdit13);

  Panel12 = new Panel("Panel12", "GSM", top, clRed);
  FitCaptions(Panel12, {"GSM"});
  Panel13 = new Panel("Panel13", "Sin Datos", top, clRed);
  FitCaptions(Panel13, {"Sin Datos", "Datos: 2G", "Datos: 3G", "Datos: 4G"});
  Panel5 = new Panel("Panel5", "Servidor Desconectado", top, clRed);
  FitCaptions(Panel5, {"Servidor Desconectado", "Conectado Servidor", "Conectado Internet",
                       "Equipo desconectado", "Desconectado"});
  Panel36 = new Panel("Panel36", "IDP Desconectado", top, clSilver);
  Panel36->setFontColor(clBlack);  // it is only ever silver
  FitCaptions(Panel36, {"IDP Desconectado", "Equipo desconectado"});
  Panel9 = MakeLamp("Panel9", "TX", top);
  Panel10 = MakeLamp("Panel10", "Rx", top);
  Panel37 = MakeLamp("Panel37", "TX", top);
  Panel38 = MakeLamp("Panel38", "Rx", top);

  lights->addWidget(Panel12, 0, 2);
  lights->addWidget(Panel13, 0, 3);
  lights->addWidget(Panel5, 0, 4);
  lights->addWidget(Panel9, 0, 5);
  lights->addWidget(Panel10, 0, 6);
  lights->addWidget(Panel36, 1, 4);
  lights->addWidget(Panel37, 1, 5);
  lights->addWidget(Panel38, 1, 6);
  row->addLayout(lights);
}
