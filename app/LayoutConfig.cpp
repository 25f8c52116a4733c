// "Configuración": the sub-page control with its action buttons, and the
// "General" sub-page (general settings, serial port 2, SMS, identification).
#include <QVBoxLayout>

#include "app/Defaults.h"
#include "app/LayoutKit.h"
#include "app/Log.h"

void TForm1::BuildConfigPage() {
  auto* page = new QVBoxLayout(TabSheet2);

  PageControl2 = new QTabWidget(TabSheet2);
  PageControl2->setObjectName("PageControl2");
  PageControl2->setDocumentMode(true);
  const struct {
    QWidget* TForm1::*sheet;
    const char* name;
    const char* caption;
  } sheets[] = {
      {&TForm1::TabSheet7, "TabSheet7", "General"},
      {&TForm1::TabSheet11, "TabSheet11", "Digitales 1"},
      {&TForm1::Digitales2, "Digitales2", "Digitales 2"},
      {&TForm1::VeskAnalog, "VeskAnalog", "Analogicas 1"},
      {&TForm1::Analog2, "Analog2", "Analogicas 2"},
      {&TForm1::TabModbus, "TabModbus", "Modbus"},
      {&TForm1::tagPage, "tagPage", "SMS Tags"},
  };
  for (const auto& sheet : sheets) {
    auto* sub = new QWidget();
    sub->setObjectName(sheet.name);
    PageControl2->addTab(sub, sheet.caption);
    this->*sheet.sheet = sub;
  }
  PageControl2->setCurrentIndex(0);
  PageControl2->hide();  // the dispatcher's first tick shows it
  page->addWidget(PageControl2, 1);

  BitBtn11 = MakeButton("BitBtn11", "Leer Configuracion", TabSheet2);
  BitBtn8 = MakeButton("BitBtn8", "Guardar Configuracion", TabSheet2);
  BitBtn36 = MakeButton("BitBtn36", "&Reset Equipo", TabSheet2);
  BitBtn17 = MakeButton("BitBtn17", "&Cfg Default", TabSheet2);
  BitBtn39 = MakeButton("BitBtn39", "Restore", TabSheet2);
  BitBtn15 = MakeButton("BitBtn15", "Contadores a 0", TabSheet2);
  // Profile file on the left, commands to the unit on the right.
  auto* buttons = new QHBoxLayout();
  buttons->addWidget(BitBtn11);
  buttons->addWidget(BitBtn8);
  BuildSafeConfigControls(buttons);
  buttons->addStretch(1);
  for (QPushButton* button : {BitBtn36, BitBtn17, BitBtn39, BitBtn15}) buttons->addWidget(button);
  page->addLayout(buttons);
  page->addStretch(0);
}

namespace {
QLabel* Caption(const QString& text, QWidget* parent) { return new QLabel(text, parent); }

QLabel* Centred(const QString& text, QWidget* parent) {
  QLabel* label = Caption(text, parent);
  label->setAlignment(Qt::AlignCenter);
  return label;
}
}  // namespace

void TForm1::BuildGeneralPage() {
  QWidget* page = TabSheet7;
  auto* columns = new QGridLayout(page);

  // General settings.
  GroupBox2 = MakeGroup("GroupBox2", "TSD configuracion", page);
  auto* tsd = new QGridLayout(GroupBox2);
  Edit16 = MakeEdit("Edit16", "1", GroupBox2);
  Edit18 = MakeEdit("Edit18", "1", GroupBox2);
  NarrowEdit(Edit16, 6);
  NarrowEdit(Edit18, 6);
  auto* ids = new QHBoxLayout();
  ids->addWidget(Caption("TSD ID", GroupBox2));
  ids->addWidget(Edit16);
  ids->addSpacing(16);
  ids->addWidget(Caption("Reporte Ain (s)", GroupBox2));
  ids->addWidget(Edit18);
  ids->addStretch(1);
  tsd->addLayout(ids, 0, 0, 1, 3);
  const struct {
    QLineEdit* TForm1::*address;
    const char* addressName;
    QLineEdit* TForm1::*port;
    const char* portName;
  } servers[] = {
      {&TForm1::Edit1, "Edit1", &TForm1::Edit13, "Edit13"},
      {&TForm1::Edit5, "Edit5", &TForm1::Edit14, "Edit14"},
      {&TForm1::Edit9, "Edit9", &TForm1::Edit15, "Edit15"},
  };
  int row = 1;
  for (const auto& server : servers) {
    QLineEdit* address = MakeEdit(server.addressName, kDefaultServerAddress, GroupBox2);
    QLineEdit* port = MakeEdit(server.portName, "36377", GroupBox2);
    NarrowEdit(port, 6);
    tsd->addWidget(Caption("Ip destino", GroupBox2), row, 0);
    tsd->addWidget(address, row, 1);
    tsd->addWidget(port, row, 2);
    this->*server.address = address;
    this->*server.port = port;
    ++row;
  }
  CheckBox7 = MakeCheck("CheckBox7", "Usar VPN", GroupBox2);
  CheckBox25 = MakeCheck("CheckBox25", "Dual Sim Habiltado", GroupBox2);
  CheckBox2 = MakeCheck("CheckBox2", "Debug USB", GroupBox2);
  CheckBox43 = MakeCheck("CheckBox43", "Sim A", GroupBox2);
  CheckBox42 = MakeCheck("CheckBox42", "Sim B", GroupBox2);
  CheckBox23 = MakeCheck("CheckBox23", "Mide Temperatura", GroupBox2);
  CheckBox44 = MakeCheck("CheckBox44", "IDP", GroupBox2);
  CheckBox44->hide();  // the dispatcher's refresh shows it
  IdpTime = MakeEdit("IdpTime", "1", GroupBox2);
  IdpFail = MakeEdit("IdpFail", "1", GroupBox2);
  NarrowEdit(IdpTime, 6);
  NarrowEdit(IdpFail, 6);
  auto* switches = new QGridLayout();
  switches->addWidget(CheckBox7, 0, 0);
  switches->addWidget(CheckBox25, 0, 1);
  switches->addWidget(CheckBox2, 0, 2);
  switches->addWidget(CheckBox43, 1, 0);
  switches->addWidget(CheckBox42, 1, 1);
  switches->addWidget(CheckBox23, 1, 2);
  switches->addWidget(CheckBox44, 2, 0);
  auto* idp = new QHBoxLayout();
  idp->addWidget(IdpTime);
  idp->addWidget(IdpFail);
  idp->addStretch(1);
  switches->addLayout(idp, 2, 1, 1, 2);
  tsd->addLayout(switches, row++, 0, 1, 3);
  BitBtn34 = MakeButton("BitBtn34", "Leer", GroupBox2);
  BitBtn35 = MakeButton("BitBtn35", "Escribir", GroupBox2);
  tsd->setRowStretch(row++, 1);  // buttons at the foot, level with the neighbour group's
  tsd->addLayout(ButtonRow({BitBtn34, BitBtn35}), row, 0, 1, 3);
  tsd->setColumnStretch(1, 1);
  columns->addWidget(GroupBox2, 0, 0);

  // Serial port 2.
  GroupBox9 = MakeGroup("GroupBox9", "Puerto Serie 2", page);
  auto* serial = new QGridLayout(GroupBox9);
  const struct {
    QComboBox* TForm1::*combo;
    const char* name;
    const char* caption;
    QStringList items;
    int selected;
  } lists[] = {
      {&TForm1::ComboBox5,
       "ComboBox5",
       "BaudRate",
       {"1200", "2400", "4800", "9600", "19200", "38400", "57600"},
       4},
      {&TForm1::ComboBox6, "ComboBox6", "Bits", {"7", "8"}, 1},
      {&TForm1::ComboBox7, "ComboBox7", "Paridad", {"NONE", "ODD", "EVEN"}, 0},
      {&TForm1::ComboBox8, "ComboBox8", "Stop bits", {"1", "2"}, 0},
  };
  int column = 0;
  for (const auto& list : lists) {
    QComboBox* combo = MakeCombo(list.name, list.items, list.selected, GroupBox9);
    serial->addWidget(Caption(list.caption, GroupBox9), 0, column);
    serial->addWidget(combo, 1, column++);
    this->*list.combo = combo;
  }
  LabeledEdit5 = new LabeledEdit("LabeledEdit5", "Serial Wait (ms)", "100", GroupBox9);
  serial->addWidget(LabeledEdit5->label(), 2, 0, 1, 2);
  serial->addWidget(LabeledEdit5, 3, 0, 1, 2);
  SeleccionPuerto =
      new RadioGroup("SeleccionPuerto", "Puerto a Usar", {"RS 232", "RS 485"}, 2, GroupBox9);
  SeleccionPuerto->setItemIndex(0);
  serial->addWidget(SeleccionPuerto, 2, 2, 2, 2);
  BitBtn28 = MakeButton("BitBtn28", "Leer", GroupBox9);
  BitBtn29 = MakeButton("BitBtn29", "Escribir", GroupBox9);
  serial->setRowStretch(4, 1);
  serial->addLayout(ButtonRow({BitBtn28, BitBtn29}), 5, 0, 1, 4);
  columns->addWidget(GroupBox9, 1, 0);

  // SMS alarms: three numbers, the unit's id and the inputs that raise an SMS.
  GroupBox3 = MakeGroup("GroupBox3", "SMS configuracion", page);
  auto* sms = new QGridLayout(GroupBox3);
  const struct {
    LabeledEdit* TForm1::*phone;
    const char* phoneName;
    QCheckBox* TForm1::*alarm;
    const char* alarmName;
  } phones[] = {
      {&TForm1::LabeledEdit2, "LabeledEdit2", &TForm1::CheckBox1, "CheckBox1"},
      {&TForm1::LabeledEdit3, "LabeledEdit3", &TForm1::CheckBox3, "CheckBox3"},
      {&TForm1::LabeledEdit12, "LabeledEdit12", &TForm1::CheckBox4, "CheckBox4"},
  };
  row = 0;
  for (const auto& line : phones) {
    auto* phone = new LabeledEdit(line.phoneName, "Telefono SMS", "0", GroupBox3);
    QCheckBox* alarm = MakeCheck(line.alarmName, "ALARMA", GroupBox3);
    AddLabeled(sms, row, 0, phone);
    sms->addWidget(alarm, row++, 2);
    this->*line.phone = phone;
    this->*line.alarm = alarm;
  }
  Edit2 = MakeEdit("Edit2", "0", GroupBox3);
  sms->addWidget(Caption("SMS ID", GroupBox3), row, 0);
  sms->addWidget(Edit2, row++, 1);

  auto* alarms = new QGridLayout();
  alarms->setHorizontalSpacing(10);
  for (int n = 1; n <= 8; ++n) {
    alarms->addWidget(Centred(QString::number(n), GroupBox3), 0, n);
    alarms->addWidget(MakeCheck(Numbered("DigitalCheck", n), "", GroupBox3), 1, n, Qt::AlignCenter);
  }
  alarms->addWidget(Caption("Alarma Entrada Digital", GroupBox3), 1, 0);
  alarms->addWidget(Caption("Alarma Entrada Aanlogica", GroupBox3), 2, 0);
  alarms->addWidget(Caption("Bajo", GroupBox3), 3, 0);
  alarms->addWidget(Caption("Alto", GroupBox3), 4, 0);
  for (int n = 1; n <= 4; ++n) {
    alarms->addWidget(Centred(QString::number(n), GroupBox3), 2, n);
    alarms->addWidget(MakeCheck(Numbered("AnalogLowCheck", n), "", GroupBox3), 3, n,
                      Qt::AlignCenter);
    alarms->addWidget(MakeCheck(Numbered("AnalogHiCheck", n), "", GroupBox3), 4, n,
                      Qt::AlignCenter);
  }
  alarms->setColumnStretch(9, 1);
  sms->addLayout(alarms, row++, 0, 1, 3);
  BitBtn37 = MakeButton("BitBtn37", "Leer", GroupBox3);
  BitBtn38 = MakeButton("BitBtn38", "Escribir", GroupBox3);
  sms->setRowStretch(row++, 1);
  sms->addLayout(ButtonRow({BitBtn37, BitBtn38}), row, 0, 1, 3);
  sms->setColumnStretch(1, 1);
  columns->addWidget(GroupBox3, 0, 1);

  // What the unit said about itself.
  Panel6 = new Panel("Panel6", "", page);
  auto* identity = new QVBoxLayout(Panel6);
  Label5 = MakeTitle("Label5", "Identificacion Hardware", Panel6);
  identity->addWidget(Label5);
  const struct {
    QLabel* TForm1::*label;
    const char* name;
    const char* caption;
  } lines[] = {
      {&TForm1::Label26, "Label26", "Date: "},      {&TForm1::Label27, "Label27", "Hardware: "},
      {&TForm1::Label21, "Label21", "Proyecto:"},   {&TForm1::Label25, "Label25", "Build: "},
      {&TForm1::Label22, "Label22", "ModemType: "}, {&TForm1::Label24, "Label24", "IMEI: "},
      {&TForm1::Label23, "Label23", "IMSI: "},      {&TForm1::Label184, "Label184", "IMSI: "},
  };
  for (const auto& line : lines) {
    QLabel* label = MakeLabel(line.name, line.caption, Panel6);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);  // IMEI and IMSI get copied
    identity->addWidget(label);
    this->*line.label = label;
  }
  identity->addStretch(1);
  columns->addWidget(Panel6, 1, 1);

  columns->setColumnStretch(0, 1);
  columns->setColumnStretch(1, 1);
  columns->setRowStretch(2, 1);
}
