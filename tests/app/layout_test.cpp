// The window right after start-up: every control the handlers rely on, under
// its name, in its group, with its caption and initial state, laid out so
// that nothing overlaps and the pages fit a 1100x750 window.
#include <QComboBox>
#include <QHash>
#include <QLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QtTest>
#include <memory>

#include "app/Defaults.h"
#include "app/Log.h"

namespace {
const QMetaObject* const kButton = &QPushButton::staticMetaObject;
const QMetaObject* const kLabel = &QLabel::staticMetaObject;
const QMetaObject* const kEdit = &QLineEdit::staticMetaObject;
const QMetaObject* const kLabeled = &LabeledEdit::staticMetaObject;
const QMetaObject* const kCheck = &QCheckBox::staticMetaObject;
const QMetaObject* const kRadio = &QRadioButton::staticMetaObject;
const QMetaObject* const kCombo = &QComboBox::staticMetaObject;
const QMetaObject* const kGroup = &QGroupBox::staticMetaObject;
const QMetaObject* const kRadioGroup = &RadioGroup::staticMetaObject;
const QMetaObject* const kPanel = &Panel::staticMetaObject;
const QMetaObject* const kShape = &Shape::staticMetaObject;
const QMetaObject* const kGrid = &StringGrid::staticMetaObject;
const QMetaObject* const kMemo = &QPlainTextEdit::staticMetaObject;
const QMetaObject* const kTabs = &QTabWidget::staticMetaObject;
const QMetaObject* const kPage = &QWidget::staticMetaObject;
const QMetaObject* const kProgress = &QProgressBar::staticMetaObject;
const QMetaObject* const kStatusBar = &QStatusBar::staticMetaObject;
const QMetaObject* const kTimer = &QTimer::staticMetaObject;

struct Control {
  QString name;
  const QMetaObject* kind;
  QString text;    // caption or default text; null: not checked
  QString within;  // name of an ancestor; empty: anywhere
  QString label;   // caption of a labelled edit's label
};

const QString kAny;

// Controls of the top area, outside the pages.
const QList<Control> kTopArea = {
    {"GroupBox1", kGroup, "Puerto Debug", kAny, {}},
    {"LabeledEdit1", kLabeled, "1", "GroupBox1", "Puerto "},
    {"BitBtn1", kButton, "&Conectar", "GroupBox1", {}},
    {"BitBtn2", kButton, "&Desconectar", "GroupBox1", {}},
    {"RadioGroup2", kRadioGroup, {}, kAny, {}},
    {"Edit3", kEdit, "1", kAny, {}},
    {"BitBtn30", kButton, "Enviar Hora", kAny, {}},
    {"BitBtn7", kButton, "Identificar Hardware", kAny, {}},
    {"BitBtn18", kButton, "&Forzar Desconexion", kAny, {}},
    {"Label145", kLabel, QString::fromUtf8("Señal: 0db"), kAny, {}},
    {"Panel12", kPanel, "GSM", kAny, {}},
    {"Panel13", kPanel, "Sin Datos", kAny, {}},
    {"Panel5", kPanel, "Servidor Desconectado", kAny, {}},
    {"Panel9", kPanel, "TX", kAny, {}},
    {"Panel10", kPanel, "Rx", kAny, {}},
    {"Panel36", kPanel, "IDP Desconectado", kAny, {}},
    {"Panel37", kPanel, "TX", kAny, {}},
    {"Panel38", kPanel, "Rx", kAny, {}},
    {"LabeledEdit13", kLabeled, "", kAny, "Alimentacion  "},
};

// Named one by one in the pages.
const QList<Control> kPageControls = {
    {"PageControl1", kTabs, {}, kAny, {}},
    {"StatusBar2", kStatusBar, {}, kAny, {}},
    {"StatusPanel0", kLabel, "Estado:", "StatusBar2", {}},
    // Estado
    {"DigitalOutput", kGroup, "Digital Output", "TabSheet1", {}},
    {"Panel11", kPanel, {}, "DigitalOutput", {}},
    {"BitBtn14", kButton, "Reset", "Panel11", {}},
    {"BitBtn19", kButton, "AUTOMATICO", "Panel11", {}},
    {"BitBtn20", kButton, "MANUAL", "Panel11", {}},
    {"GroupBox8", kGroup, "Digital Input", "TabSheet1", {}},
    {"GroupBox11", kGroup, "Analog Input", "TabSheet1", {}},
    // Configuración
    {"PageControl2", kTabs, {}, "TabSheet2", {}},
    {"BitBtn11", kButton, "Leer Configuracion", "TabSheet2", {}},
    {"BitBtn8", kButton, "Guardar Configuracion", "TabSheet2", {}},
    {"BitBtn36", kButton, "&Reset Equipo", "TabSheet2", {}},
    {"BitBtn17", kButton, "&Cfg Default", "TabSheet2", {}},
    {"BitBtn39", kButton, "Restore", "TabSheet2", {}},
    {"BitBtn15", kButton, "Contadores a 0", "TabSheet2", {}},
    // General
    {"GroupBox2", kGroup, "TSD configuracion", "TabSheet7", {}},
    {"Edit16", kEdit, "1", "GroupBox2", {}},
    {"Edit18", kEdit, "1", "GroupBox2", {}},
    {"Edit1", kEdit, kDefaultServerAddress, "GroupBox2", {}},
    {"Edit5", kEdit, kDefaultServerAddress, "GroupBox2", {}},
    {"Edit9", kEdit, kDefaultServerAddress, "GroupBox2", {}},
    {"Edit13", kEdit, "36377", "GroupBox2", {}},
    {"Edit14", kEdit, "36377", "GroupBox2", {}},
    {"Edit15", kEdit, "36377", "GroupBox2", {}},
    {"CheckBox7", kCheck, "Usar VPN", "GroupBox2", {}},
    {"CheckBox25", kCheck, "Dual Sim Habiltado", "GroupBox2", {}},
    {"CheckBox43", kCheck, "Sim A", "GroupBox2", {}},
    {"CheckBox42", kCheck, "Sim B", "GroupBox2", {}},
    {"CheckBox44", kCheck, "IDP", "GroupBox2", {}},
    {"IdpTime", kEdit, "1", "GroupBox2", {}},
    {"IdpFail", kEdit, "1", "GroupBox2", {}},
    {"CheckBox2", kCheck, "Debug USB", "GroupBox2", {}},
    {"CheckBox23", kCheck, "Mide Temperatura", "GroupBox2", {}},
    {"BitBtn34", kButton, "Leer", "GroupBox2", {}},
    {"BitBtn35", kButton, "Escribir", "GroupBox2", {}},
    {"GroupBox9", kGroup, "Puerto Serie 2", "TabSheet7", {}},
    {"ComboBox5", kCombo, {}, "GroupBox9", {}},
    {"ComboBox6", kCombo, {}, "GroupBox9", {}},
    {"ComboBox7", kCombo, {}, "GroupBox9", {}},
    {"ComboBox8", kCombo, {}, "GroupBox9", {}},
    {"LabeledEdit5", kLabeled, "100", "GroupBox9", "Serial Wait (ms)"},
    {"SeleccionPuerto", kRadioGroup, "Puerto a Usar", "GroupBox9", {}},
    {"BitBtn28", kButton, "Leer", "GroupBox9", {}},
    {"BitBtn29", kButton, "Escribir", "GroupBox9", {}},
    {"GroupBox3", kGroup, "SMS configuracion", "TabSheet7", {}},
    {"LabeledEdit2", kLabeled, "0", "GroupBox3", "Telefono SMS"},
    {"LabeledEdit3", kLabeled, "0", "GroupBox3", "Telefono SMS"},
    {"LabeledEdit12", kLabeled, "0", "GroupBox3", "Telefono SMS"},
    {"CheckBox1", kCheck, "ALARMA", "GroupBox3", {}},
    {"CheckBox3", kCheck, "ALARMA", "GroupBox3", {}},
    {"CheckBox4", kCheck, "ALARMA", "GroupBox3", {}},
    {"Edit2", kEdit, "0", "GroupBox3", {}},
    {"BitBtn37", kButton, "Leer", "GroupBox3", {}},
    {"BitBtn38", kButton, "Escribir", "GroupBox3", {}},
    {"Panel6", kPanel, {}, "TabSheet7", {}},
    {"Label5", kLabel, "Identificacion Hardware", "Panel6", {}},
    {"Label26", kLabel, "Date: ", "Panel6", {}},
    {"Label27", kLabel, "Hardware: ", "Panel6", {}},
    {"Label21", kLabel, "Proyecto:", "Panel6", {}},
    {"Label25", kLabel, "Build: ", "Panel6", {}},
    {"Label22", kLabel, "ModemType: ", "Panel6", {}},
    {"Label24", kLabel, "IMEI: ", "Panel6", {}},
    {"Label23", kLabel, "IMSI: ", "Panel6", {}},
    {"Label184", kLabel, "IMSI: ", "Panel6", {}},
    // Digitales 1 and 2
    {"GroupBox12", kGroup, "Digital Output", "TabSheet11", {}},
    {"LabeledEdit38", kLabeled, "3000", "GroupBox12", "On Time"},
    {"RadioButton1", kRadio, "Pulso", "GroupBox12", {}},
    {"RadioButton3", kRadio, "Latch", "GroupBox12", {}},
    {"LabeledEdit9", kLabeled, "3000", "GroupBox12", "Ancho de pulso"},
    {"BitBtn4", kButton, "Leer", "GroupBox12", {}},
    {"BitBtn5", kButton, "Escribir", "GroupBox12", {}},
    {"DI", kGroup, "Digital Input", "TabSheet11", {}},
    {"BitBtn31", kButton, "Leer", "DI", {}},
    {"BitBtn33", kButton, "Escribir", "DI", {}},
    {"GroupBox4", kGroup, "Digital Input", "Digitales2", {}},
    {"BitBtn32", kButton, "Leer", "GroupBox4", {}},
    {"BitBtn44", kButton, "Escribir", "GroupBox4", {}},
    {"Label217", kLabel, "Do Follow", "Panel3", {}},
    {"ComboBox10", kCombo, {}, "Panel3", {}},
    {"ComboBox11", kCombo, {}, "Panel1", {}},
    {"ComboBox12", kCombo, {}, "Panel2", {}},
    {"ComboBox17", kCombo, {}, "Panel4", {}},
    // Analogicas 1 and 2
    {"BitBtn86", kButton, "Leer", "VeskAnalog", {}},
    {"BitBtn87", kButton, "Escribir", "VeskAnalog", {}},
    {"BitBtn51", kButton, "Leer", "Analog2", {}},
    {"BitBtn52", kButton, "Escribir", "Analog2", {}},
    // Modbus and SMS Tags
    {"modbusGrid1", kGrid, {}, "TabModbus", {}},
    {"modbusGrid2", kGrid, {}, "TabModbus", {}},
    {"BitBtn9", kButton, "Leer", "TabModbus", {}},
    {"BitBtn12", kButton, "Escribir", "TabModbus", {}},
    {"BitBtn64", kButton, "Limpiar", "TabModbus", {}},
    {"BitBtn10", kButton, "Leer", "TabModbus", {}},
    {"BitBtn13", kButton, "Escribir", "TabModbus", {}},
    {"BitBtn65", kButton, "Limpiar", "TabModbus", {}},
    {"tagDigital", kGrid, {}, "tagPage", {}},
    {"tagAnalog", kGrid, {}, "tagPage", {}},
    {"BitBtn16", kButton, "Leer", "tagPage", {}},
    {"BitBtn62", kButton, "Escribir", "tagPage", {}},
    {"BitBtn61", kButton, "Leer", "tagPage", {}},
    {"BitBtn63", kButton, "Escribir", "tagPage", {}},
    // Debug
    {"Memo1", kMemo, {}, "TabSheet3", {}},
    {"Memo2", kMemo, {}, "TabSheet3", {}},
    {"BitBtn23", kButton, "&Limpiar", "TabSheet3", {}},
    {"BitBtn24", kButton, "&Iniciar Logeo", "TabSheet3", {}},
    {"BitBtn25", kButton, "De&tener Logeo", "TabSheet3", {}},
    {"IEC_101", kCheck, "Debug IEC 101", "TabSheet3", {}},
    {"Serie", kCheck, "Trafico Serie", "TabSheet3", {}},
    {"Slave104", kCheck, "Debug Slave 104", "TabSheet3", {}},
    // DownLoad
    {"Memo3", kMemo, {}, "TabSheet6", {}},
    {"BitBtn22", kButton, "Seleccionar HEX", "TabSheet6", {}},
    {"BitBtn21", kButton, "Iniciar DownLoad", "TabSheet6", {}},
    {"BitBtn40", kButton, "Cancelar", "TabSheet6", {}},
    {"BitBtn41", kButton, "&Limpiar", "TabSheet6", {}},
    {"ProgressBar1", kProgress, {}, "TabSheet6", {}},
    {"Panel30", kPanel, "Equipo", "TabSheet6", {}},
    {"Panel31", kPanel, "Archivo", "TabSheet6", {}},
    // Tendencias
    {"trendChart", kPage, {}, "trendPage", {}},
    {"trendSpan", kCombo, {}, "trendPage", {}},
    {"trendFollowButton", kButton, "Seguir", "trendPage", {}},
    {"trendClearButton", kButton, "Borrar", "trendPage", {}},
    {"trendExportButton", kButton, "Exportar CSV", "trendPage", {}},
    {"trendImageButton", kButton, "Guardar imagen", "trendPage", {}},
    {"Timer1", kTimer, {}, kAny, {}},
    {"Timer2", kTimer, {}, kAny, {}},
    {"Timer3", kTimer, {}, kAny, {}},
    {"Timer4", kTimer, {}, kAny, {}},
    {"Timer5", kTimer, {}, kAny, {}},
};

// Digital input panels of the configuration sub-pages, input 1 first, with
// the "Reset" each one carries (none for inputs 1, 3, 9 and 11).
const struct {
  const char* panel;
  const char* reset;
} kInputPanels[16] = {
    {"Panel3", nullptr},     {"Panel1", "BitBtn3"},   {"Panel2", nullptr},
    {"Panel4", "BitBtn6"},   {"Panel42", "BitBtn78"}, {"Panel43", "BitBtn79"},
    {"Panel44", "BitBtn80"}, {"Panel45", "BitBtn81"}, {"Panel17", nullptr},
    {"Panel15", "BitBtn46"}, {"Panel16", nullptr},    {"Panel14", "BitBtn45"},
    {"Panel18", "BitBtn47"}, {"Panel19", "BitBtn48"}, {"Panel20", "BitBtn49"},
    {"Panel21", "BitBtn50"},
};
const char* const kAnalogGroups[8] = {"Analogica1", "Analogica2", "Analogica3", "Analogica4",
                                      "GroupBox5",  "GroupBox6",  "GroupBox7",  "GroupBox10"};
const char* const kPulsoLabels[8] = {"Label146", "Label147", "Label148", "Label149",
                                     "Label190", "Label192", "Label194", "Label196"};
// "Reset" of each live input on "Estado".
const char* const kLiveResets[16] = {"BitBtn88", "BitBtn26", "BitBtn89",  "BitBtn43",
                                     "BitBtn90", "BitBtn91", "BitBtn92",  "BitBtn93",
                                     "BitBtn94", "BitBtn95", "BitBtn96",  "BitBtn97",
                                     "BitBtn98", "BitBtn99", "BitBtn100", "BitBtn101"};

QString N(const char* prefix, int n) { return prefix + QString::number(n); }

// The numbered families, generated the way the control arrays look them up.
QList<Control> NumberedControls() {
  QList<Control> rows;
  for (int n = 1; n <= 2; ++n) {
    const QString coil = N("coilPanel", n);
    rows += {{coil, kPanel, N("Coil ", n), "DigitalOutput", {}},
             {N("coilLabel", n), kLabel, "ON", coil, {}},
             {N("botonOn", n), kButton, "ON", coil, {}},
             {N("botonOff", n), kButton, "OFF", coil, {}}};
  }
  for (int n = 1; n <= 16; ++n) {
    const QString live = N("digtalPanel", n);
    const QString panel = kInputPanels[n - 1].panel;
    rows += {{live, kPanel, {}, "GroupBox8", {}},
             {N("diStatus", n), kLabel, "ON", live, {}},
             {kLiveResets[n - 1], kButton, "Reset", live, {}},
             {panel, kPanel, N("DI ", n), n <= 8 ? "DI" : "GroupBox4", {}},
             {N("Invert", n), kCheck, "Invertir", panel, {}},
             {N("lacthTime", n), kLabeled, "0", panel, "LatchTime(Sec)"},
             {N("latch", n), kCheck, "Latch", panel, {}},
             {N("latchReset", n), kCheck, "Reset Latch Time", panel, {}},
             {N("pulso", n), kCombo, {}, panel, {}},
             {N("logicInvert", n), kCheck, "Invertir Logica", panel, {}}};
    if (kInputPanels[n - 1].reset)
      rows += Control{kInputPanels[n - 1].reset, kButton, "Reset", panel, {}};
  }
  for (int n = 1; n <= 8; ++n) {
    const QString live = N("analogPanel", n);
    const QString group = kAnalogGroups[n - 1];
    rows += {{live, kPanel, {}, "GroupBox11", {}},
             {N("current", n), kLabel, "18,25mA", live, {}},
             {N("anaValue", n), kLabel, "200.2", live, {}},
             {N("alarma", n), kLabel, "Normal", live, {}},
             {N("DigitalCheck", n), kCheck, {}, "GroupBox3", {}},
             {kPulsoLabels[n - 1], kLabel, "Do Reset", kInputPanels[n - 1].panel, {}},
             {group, kGroup, {}, n <= 4 ? "VeskAnalog" : "Analog2", {}},
             {N("Cero", n), kLabeled, "0", group, "Cero"},
             {N("Span", n), kLabeled, "0", group, "Span"},
             {N("AlLow", n), kLabeled, "0", group, "Alarma Bajo"},
             {N("AlHi", n), kLabeled, "0", group, "Alarma Alto"},
             {N("AiHis", n), kLabeled, "0", group, "Histeresis"},
             {N("voltageCheck", n), kRadio, "Tension", group, {}},
             {N("currentCheck", n), kRadio, "Corriente", group, {}}};
  }
  for (int n = 1; n <= 4; ++n)
    rows += {{N("AnalogLowCheck", n), kCheck, {}, "GroupBox3", {}},
             {N("AnalogHiCheck", n), kCheck, {}, "GroupBox3", {}}};
  // The trend series: analog values, their currents, signal and supply, then
  // the lanes of the inputs and relays.
  QStringList series;
  for (int n = 1; n <= 8; ++n) series << N("AI", n);
  for (int n = 1; n <= 8; ++n) series << N("AI", n) + " mV";
  series << QString::fromUtf8("Señal dB") << "Alimentacion V";
  for (int n = 1; n <= 16; ++n) series << N("DI", n);
  series << "Coil 1" << "Coil 2";
  for (int n = 1; n <= 36; ++n)
    rows += {N("trendSeries", n), kCheck, series[n - 1], "trendPage", {}};
  for (int n = 1; n <= 3; ++n)
    rows += {{N("Shape", n), kShape, {}, "Panel30", {}},
             {N("Label", 157 + n), kLabel, "-", "Panel30", {}},
             {N("Label", 154 + n), kLabel, "-", "Panel31", {}}};
  return rows;
}

QString Text(const QObject* object) {
  if (auto* panel = qobject_cast<const Panel*>(object)) return panel->caption();
  if (auto* button = qobject_cast<const QAbstractButton*>(object)) return button->text();
  if (auto* label = qobject_cast<const QLabel*>(object)) return label->text();
  if (auto* edit = qobject_cast<const QLineEdit*>(object)) return edit->text();
  if (auto* group = qobject_cast<const QGroupBox*>(object)) return group->title();
  return {};
}

bool IsInside(const QObject* object, const QString& ancestor) {
  for (const QObject* up = object->parent(); up; up = up->parent())
    if (up->objectName() == ancestor) return true;
  return false;
}

bool Holds(QLayout* layout, QWidget* widget) {
  for (int i = 0; i < layout->count(); ++i) {
    QLayoutItem* item = layout->itemAt(i);
    if (item->widget() == widget) return true;
    if (item->layout() && Holds(item->layout(), widget)) return true;
  }
  return false;
}
}  // namespace

class LayoutTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TForm1> form_;
  QHash<QString, bool> timerRunning_;

  template <class T = QObject>
  T* Get(const QString& name) {
    return form_->findChild<T*>(name);
  }

 private slots:
  void initTestCase() {
    form_ = std::make_unique<TForm1>();
    // The tests drive the window themselves; no tick may change it meanwhile.
    for (QTimer* timer : form_->findChildren<QTimer*>()) {
      timerRunning_[timer->objectName()] = timer->isActive();
      timer->stop();
    }
  }

  void everyControlOnceWithItsClassCaptionAndGroup() {
    const QList<Control> all = kTopArea + kPageControls + NumberedControls();
    for (const Control& control : all) {
      const QString where = control.name;
      const QList<QObject*> found = form_->findChildren<QObject*>(control.name);
      QVERIFY2(found.size() == 1, qPrintable(where + QString(" found %1 times").arg(found.size())));
      QObject* object = found.first();
      QVERIFY2(object->metaObject()->inherits(control.kind), qPrintable(where));
      if (!control.text.isNull()) QCOMPARE(Text(object), control.text);
      if (!control.within.isEmpty()) QVERIFY2(IsInside(object, control.within), qPrintable(where));
      if (!control.label.isNull())
        QCOMPARE(static_cast<LabeledEdit*>(object)->labelText(), control.label);
    }
    for (const Control& control : kTopArea)
      QVERIFY2(!IsInside(Get(control.name), "PageControl1"), qPrintable(control.name));
  }

  // The control arrays look names up ignoring case; two names that differ
  // only in case would make them ambiguous.
  void namesAreUniqueIgnoringCase() {
    QHash<QString, QString> seen;
    for (QObject* object : form_->findChildren<QObject*>()) {
      const QString name = object->objectName();
      // Qt names the parts of its own widgets (tab bar scroll buttons, viewports).
      if (name.isEmpty() || name.startsWith("qt_") || qobject_cast<QTabBar*>(object->parent()))
        continue;
      const QString key = name.toLower();
      QVERIFY2(!seen.contains(key), qPrintable(name + " clashes with " + seen.value(key)));
      seen.insert(key, name);
    }
  }

  void membersPointAtTheirControls() {
    TForm1& f = *form_;
#define M(member) \
  { f.member, #member }
    // clang-format off
    const std::pair<QObject*, const char*> members[] = {
        M(GroupBox1), M(LabeledEdit1), M(BitBtn1), M(BitBtn2), M(RadioGroup2), M(Edit3),
        M(BitBtn30), M(BitBtn7), M(BitBtn18), M(Label145), M(Panel12), M(Panel13), M(Panel5),
        M(Panel9), M(Panel10), M(Panel36), M(Panel37), M(Panel38), M(LabeledEdit13), M(StatusBar2),
        M(StatusPanel0), M(PageControl1), M(TabSheet1), M(TabSheet2), M(TabSheet3), M(TabSheet6),
        M(DigitalOutput), M(Panel11), M(BitBtn14), M(BitBtn19), M(BitBtn20), M(GroupBox8),
        M(BitBtn26), M(BitBtn43), M(GroupBox11), M(PageControl2), M(TabSheet7), M(TabSheet11),
        M(Digitales2), M(VeskAnalog), M(Analog2), M(TabModbus), M(tagPage), M(BitBtn11), M(BitBtn8),
        M(BitBtn36), M(BitBtn17), M(BitBtn39), M(BitBtn15), M(GroupBox2), M(Edit16), M(Edit18),
        M(Edit1), M(Edit5), M(Edit9), M(Edit13), M(Edit14), M(Edit15), M(CheckBox7), M(CheckBox25),
        M(CheckBox43), M(CheckBox42), M(CheckBox44), M(IdpTime), M(IdpFail), M(CheckBox2),
        M(CheckBox23), M(BitBtn34), M(BitBtn35), M(GroupBox9), M(ComboBox5), M(ComboBox6),
        M(ComboBox7), M(ComboBox8), M(LabeledEdit5), M(SeleccionPuerto), M(BitBtn28), M(BitBtn29),
        M(GroupBox3), M(LabeledEdit2), M(LabeledEdit3), M(LabeledEdit12), M(CheckBox1),
        M(CheckBox3), M(CheckBox4), M(Edit2), M(BitBtn37), M(BitBtn38), M(Panel6), M(Label5),
        M(Label26), M(Label27), M(Label21), M(Label25), M(Label22), M(Label24), M(Label23),
        M(Label184), M(GroupBox12), M(LabeledEdit38), M(RadioButton1), M(RadioButton3),
        M(LabeledEdit9), M(BitBtn4), M(BitBtn5), M(DI), M(BitBtn31), M(BitBtn33), M(Label217),
        M(ComboBox10), M(ComboBox11), M(ComboBox12), M(ComboBox17), M(BitBtn3), M(BitBtn6),
        M(BitBtn78), M(BitBtn79), M(BitBtn80), M(BitBtn81), M(GroupBox4), M(BitBtn32), M(BitBtn44),
        M(BitBtn45), M(BitBtn46), M(BitBtn47), M(BitBtn48), M(BitBtn49), M(BitBtn50), M(BitBtn86),
        M(BitBtn87), M(BitBtn51), M(BitBtn52), M(modbusGrid1), M(modbusGrid2), M(BitBtn9),
        M(BitBtn12), M(BitBtn64), M(BitBtn10), M(BitBtn13), M(BitBtn65), M(tagDigital),
        M(tagAnalog), M(BitBtn16), M(BitBtn62), M(BitBtn61), M(BitBtn63), M(Memo1), M(Memo2),
        M(BitBtn23), M(BitBtn24), M(BitBtn25), M(IEC_101), M(Serie), M(Slave104), M(Memo3),
        M(BitBtn22), M(BitBtn21), M(BitBtn40), M(BitBtn41), M(ProgressBar1), M(Panel30), M(Panel31),
        M(Label155), M(Label156), M(Label157), M(Label158), M(Label159), M(Label160), M(Shape1),
        M(Shape2), M(Shape3), M(Timer1), M(Timer2), M(Timer3), M(Timer4), M(Timer5),
    };
    // clang-format on
#undef M
    for (const auto& [object, name] : members) {
      QVERIFY2(object, name);
      QCOMPARE(object->objectName(), QString(name));
    }
    for (int i = 0; i < 8; ++i) {
      QCOMPARE(f.analogGroups[std::size_t(i)]->objectName(), QString(kAnalogGroups[i]));
      QCOMPARE(f.pulsoLabels[std::size_t(i)]->objectName(), QString(kPulsoLabels[i]));
    }
  }

  void liveInputResetButtons() {
    for (int i = 0; i < 16; ++i) {
      QPushButton* reset = form_->inputResetButtons[std::size_t(i)];
      QVERIFY(reset);
      QCOMPARE(reset->objectName(), QString(kLiveResets[i]));
      QVERIFY(IsInside(reset, N("digtalPanel", i + 1)));
    }
    QCOMPARE(form_->BitBtn26, form_->inputResetButtons[1]);
    QCOMPARE(form_->BitBtn43, form_->inputResetButtons[3]);
  }

  // Inputs 1, 3, 9 and 11 have no "Reset" on the configuration sub-pages.
  void configurationResetButtons() {
    for (const auto& input : kInputPanels) {
      int resets = 0;
      for (QPushButton* button : Get(input.panel)->findChildren<QPushButton*>())
        resets += button->text() == "Reset";
      QCOMPARE(resets, input.reset ? 1 : 0);
    }
  }

  void initialStates() {
    for (const char* name : {"BitBtn2", "BitBtn25"})
      QVERIFY2(!Get<QWidget>(name)->isEnabled(), name);
    for (const char* name : {"BitBtn1", "BitBtn40", "BitBtn21", "LabeledEdit9", "LabeledEdit1"})
      QVERIFY2(Get<QWidget>(name)->isEnabled(), name);
    for (const char* name :
         {"Edit3", "PageControl2", "CheckBox44", "Panel11", "ProgressBar1", "IEC_101", "Slave104"})
      QVERIFY2(Get<QWidget>(name)->isHidden(), name);
    for (const char* name : {"Serie", "BitBtn40", "CheckBox25", "CheckBox42", "CheckBox43",
                             "Label217", "ComboBox10", "LabeledEdit13", "GroupBox2", "GroupBox3"})
      QVERIFY2(!Get<QWidget>(name)->isHidden(), name);
    QVERIFY(!form_->LabeledEdit13->label()->isHidden());

    // Only these start checked; radio groups are looked at below. The trend
    // page starts with the eight analog values on its chart.
    QStringList checked = {"Serie", "RadioButton1"};
    for (int n = 1; n <= 8; ++n) checked << N("trendSeries", n);
    for (QAbstractButton* button : form_->findChildren<QAbstractButton*>()) {
      if (qobject_cast<RadioGroup*>(button->parent())) continue;
      QVERIFY2(button->isChecked() == checked.contains(button->objectName()),
               qPrintable(button->objectName()));
    }
    const struct {
      const char* name;
      QStringList items;
      int index;
    } groups[] = {{"RadioGroup2", {"Local", "Remoto"}, 0},
                  {"SeleccionPuerto", {"RS 232", "RS 485"}, 0}};
    for (const auto& entry : groups) {
      auto* group = Get<RadioGroup>(entry.name);
      QCOMPARE(group->itemIndex(), entry.index);
      QCOMPARE(group->count(), int(entry.items.size()));
      for (int i = 0; i < group->count(); ++i) QCOMPARE(group->button(i)->text(), entry.items[i]);
    }
    // "Puerto a Usar" shows its two items side by side.
    auto* ports = Get<RadioGroup>("SeleccionPuerto");
    ports->layout()->activate();
    QCOMPARE(ports->button(0)->y(), ports->button(1)->y());

    QCOMPARE(form_->PageControl1->currentIndex(), 0);
    QCOMPARE(form_->PageControl2->currentIndex(), 0);
    QVERIFY(form_->Memo1->isReadOnly());
    QVERIFY(form_->Memo3->isReadOnly());
    QCOMPARE(form_->Memo3->font().family(), QString("Courier New"));
    QCOMPARE(form_->ProgressBar1->minimum(), 0);
    QCOMPARE(form_->ProgressBar1->maximum(), 100);
    QCOMPARE(form_->ProgressBar1->value(), 0);
  }

  void listsAndTheirSelection() {
    const QStringList noSi = {"No", "Si"};
    const QStringList follow = {"0", "1", "2"};
    QList<std::tuple<QString, QStringList, int>> lists = {
        {"ComboBox5", {"1200", "2400", "4800", "9600", "19200", "38400", "57600"}, 4},
        {"ComboBox6", {"7", "8"}, 1},
        {"ComboBox7", {"NONE", "ODD", "EVEN"}, 0},
        {"ComboBox8", {"1", "2"}, 0},
        {"ComboBox10", follow, 0},
        {"ComboBox11", follow, 0},
        {"ComboBox12", follow, 0},
        {"ComboBox17", follow, 0},
    };
    for (int n = 1; n <= 16; ++n) lists.append({N("pulso", n), noSi, 0});
    lists.append({"trendSpan", {"1 min", "10 min", "1 h", "8 h", "24 h"}, 1});
    for (const auto& [name, items, index] : lists) {
      auto* combo = Get<QComboBox>(name);
      QStringList shown;
      for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
      QCOMPARE(shown, items);
      QCOMPARE(combo->currentIndex(), index);
    }
    for (QComboBox* combo : form_->findChildren<QComboBox*>())
      QVERIFY2(!combo->isEditable(), qPrintable(combo->objectName()));
  }

  void tabsInOrder() {
    const struct {
      QTabWidget* tabs;
      QStringList names;
      QStringList captions;
    } controls[] = {
        {form_->PageControl1,
         {"TabSheet1", "TabSheet2", "TabSheet3", "TabSheet6", "trendPage"},
         {"&Estado", QString::fromUtf8("C&onfiguración"), "Debu&g", "DownLoad", "Tendencias"}},
        {form_->PageControl2,
         {"TabSheet7", "TabSheet11", "Digitales2", "VeskAnalog", "Analog2", "TabModbus", "tagPage"},
         {"General", "Digitales 1", "Digitales 2", "Analogicas 1", "Analogicas 2", "Modbus",
          "SMS Tags"}},
    };
    for (const auto& control : controls) {
      QCOMPARE(control.tabs->count(), int(control.names.size()));
      for (int i = 0; i < control.tabs->count(); ++i) {
        QCOMPARE(control.tabs->widget(i)->objectName(), control.names[i]);
        QCOMPARE(control.tabs->tabText(i), control.captions[i]);
      }
    }
  }

  void indicatorColours() {
    const std::pair<const char*, TColor> colours[] = {
        {"Panel5", clRed},      {"Panel12", clRed},     {"Panel13", clRed},
        {"Panel36", clSilver},  {"Panel9", clBtnFace},  {"Panel10", clBtnFace},
        {"Panel37", clBtnFace}, {"Panel38", clBtnFace},
    };
    for (const auto& [name, colour] : colours) QCOMPARE(Get<Panel>(name)->color(), colour);
    for (int n = 1; n <= 3; ++n) QCOMPARE(Get<Shape>(N("Shape", n))->color(), clSilver);
  }

  void gridsTimersDialogsAndStatusBar() {
    const struct {
      StringGrid* grid;
      int columns, rowsHeld, rowsShown;
    } grids[] = {{form_->modbusGrid1, 4, 65, 65},
                 {form_->modbusGrid2, 8, 65, 49},
                 {form_->tagDigital, 2, 9, 9},
                 {form_->tagAnalog, 2, 5, 5}};
    for (const auto& entry : grids) {
      QCOMPARE(entry.grid->columnCount(), entry.columns);
      QCOMPARE(entry.grid->rowCount(), entry.rowsHeld);
      QCOMPARE(entry.grid->rowsShown(), entry.rowsShown);
    }
    QCOMPARE(form_->tagDigital->rowHeight(3), 24);
    QCOMPARE(form_->tagDigital->columnWidth(0), 64);
    QCOMPARE(form_->tagDigital->columnWidth(1), 604);
    QCOMPARE(form_->tagAnalog->columnWidth(0), 64);
    QCOMPARE(form_->tagAnalog->columnWidth(1), 603);

    const std::tuple<QTimer*, int, bool> timers[] = {{form_->Timer1, 50, true},
                                                     {form_->Timer2, 500, true},
                                                     {form_->Timer3, 100, true},
                                                     {form_->Timer4, 1000, true},
                                                     {form_->Timer5, 50, false}};
    for (const auto& [timer, interval, enabled] : timers) {
      QCOMPARE(timer->interval(), interval);
      QCOMPARE(timer->property("enabledAtStart").toBool(), enabled);
      QCOMPARE(timerRunning_.value(timer->objectName()), enabled);
    }

    using Kind = FileDialog::Kind;
    const std::tuple<const FileDialog*, const char*, Kind, const char*, const char*, const char*>
        dialogs[] = {
            {&form_->SaveDialog1, "SaveDialog1", Kind::Save, "Debug.txt", ".txt", "*.txt|*.txt"},
            {&form_->SaveDialog2, "SaveDialog2", Kind::Save, "Debug.txt", ".txt", "*.txt|*.txt"},
            {&form_->SaveDialog3, "SaveDialog3", Kind::Save, "blabla.bin", ".bin", "*.bin"},
            {&form_->OpenDialog1, "OpenDialog1", Kind::Open, "", "", ""},
            {&form_->OpenDialog2, "OpenDialog2", Kind::Open, "", "", ""},
            {&form_->OpenDialog3, "OpenDialog3", Kind::Open, "", "", ""},
        };
    for (const auto& [dialog, name, kind, fileName, extension, filter] : dialogs) {
      QCOMPARE(dialog->name, QString(name));
      QVERIFY2(dialog->kind == kind, name);
      QCOMPARE(dialog->fileName, QString(fileName));
      QCOMPARE(dialog->defaultExt, QString(extension));
      QCOMPARE(dialog->filter, QString(filter));
    }

    QCOMPARE(form_->statusBar(), form_->StatusBar2);
    QCOMPARE(form_->StatusPanel0->parent(), form_->StatusBar2);
    QVERIFY(form_->StatusPanel0->width() >= 250);
  }

  // A widget left out of its parent's layout would sit at the top left
  // corner, over its neighbours.
  void everyWidgetIsLaidOut() {
    for (QWidget* widget : form_->findChildren<QWidget*>()) {
      QWidget* parent = widget->parentWidget();
      if (widget->isWindow() || parent == form_.get() || widget->objectName().startsWith("qt_"))
        continue;
      if (QLayout* layout = parent->layout())
        QVERIFY2(Holds(layout, widget), qPrintable(widget->metaObject()->className() +
                                                   QString(" ") + widget->objectName() + " / " +
                                                   Text(widget) + " in " + parent->objectName()));
    }
  }

  // At the size the technician uses, no page needs the window's scroll bars.
  void pagesFitTheWindow() {
    auto* scroll = qobject_cast<QScrollArea*>(form_->centralWidget());
    QVERIFY(scroll);
    QVERIFY(scroll->widgetResizable());
    QVERIFY(IsInside(form_->PageControl1, scroll->objectName()));
    QVERIFY(IsInside(form_->GroupBox1, scroll->objectName()));

    form_->resize(1100, 750);
    form_->show();
    form_->PageControl2->show();
    for (int page = 0; page < form_->PageControl1->count(); ++page) {
      form_->PageControl1->setCurrentIndex(page);
      const int subPages = page == 1 ? form_->PageControl2->count() : 1;
      for (int sub = 0; sub < subPages; ++sub) {
        form_->PageControl2->setCurrentIndex(sub);
        QCoreApplication::processEvents();
        const QString where =
            form_->PageControl1->tabText(page) + " / " + form_->PageControl2->tabText(sub);
        QVERIFY2(scroll->horizontalScrollBar()->maximum() == 0, qPrintable(where));
        QVERIFY2(scroll->verticalScrollBar()->maximum() == 0, qPrintable(where));
      }
    }
  }

  // Each input's two radio buttons exclude each other and nothing else.
  void analogTypeChoicesAreIndependent() {
    auto click = [this](const QString& name) { Get<QRadioButton>(name)->click(); };
    click("voltageCheck1");
    click("currentCheck1");
    click("voltageCheck2");
    QVERIFY(!Get<QRadioButton>("voltageCheck1")->isChecked());
    QVERIFY(Get<QRadioButton>("currentCheck1")->isChecked());
    QVERIFY(Get<QRadioButton>("voltageCheck2")->isChecked());
    QVERIFY(form_->RadioButton1->isChecked());
    form_->RadioButton3->click();
    QVERIFY(!form_->RadioButton1->isChecked());
    QVERIFY(Get<QRadioButton>("currentCheck1")->isChecked());
  }
};

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
