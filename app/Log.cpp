#include "app/Log.h"

#include <QHash>
#include <QKeyEvent>
#include <exception>

#include "app/Convert.h"
#include "app/WindowSettings.h"
#include "config/SafeConfig.h"
#include "inventory/Inventory.h"
#include "inventory/InventoryDialog.h"

TForm1* Form1 = nullptr;

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  setObjectName("Form1");
  Form1 = this;
  BuildWindow();
  BuildTimersAndDialogs();
  setWindowTitle("Qirel Dalvesca - Configuracion & Debug - Version 20220503");
  resize(FirstWindowSize(screen()->availableGeometry()));
  FormCreate();
  ConnectLink();
  ConnectProtocol();
  ConnectMonitor();
  ConnectMonitorCommands();
  ConnectConfig();
  ConnectProfile();
  ConnectFirmware();
  ConnectSession();
  ConnectTrends();
  ConnectInventory();
  for (QTimer* timer : {Timer1, Timer2, Timer3, Timer4, Timer5})
    if (timer->property("enabledAtStart").toBool()) timer->start();
}

TForm1::~TForm1() {
  delete inventoryDialog;
  inventory.reset();
  if (Form1 == this) Form1 = nullptr;
}

void TForm1::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const EConvertError& error) {
    CurrentDialogs().Error(error.text());
  } catch (const std::exception& error) {
    CurrentDialogs().Error(QString::fromUtf8(error.what()));
  } catch (...) {
    CurrentDialogs().Error(QString());
  }
}

void TForm1::SetStatus(const QString& text) {
  StatusPanel0->setText(text);
  if (safeConfig) safeConfig->StatusShown();
}

QString TForm1::StatusText() const { return StatusPanel0->text(); }

QObject* TForm1::FindComponent(const QString& name) const {
  if (name.compare(objectName(), Qt::CaseInsensitive) == 0) return const_cast<TForm1*>(this);
  for (QObject* child : findChildren<QObject*>())
    if (child->objectName().compare(name, Qt::CaseInsensitive) == 0) return child;
  return nullptr;
}

namespace {
// Fills a control array by prefix + number, the way the toolkit's name lookup
// finds components: without regard to case.
template <class T, std::size_t N>
void Collect(std::array<T*, N>& array, const QString& prefix,
             const QHash<QString, QObject*>& byName) {
  for (std::size_t i = 0; i < N; ++i)
    array[i] = qobject_cast<T*>(byName.value((prefix + QString::number(i + 1)).toLower()));
}
}  // namespace

void TForm1::FormCreate() {
  QHash<QString, QObject*> byName;
  for (QObject* child : findChildren<QObject*>())
    if (!child->objectName().isEmpty()) byName.insert(child->objectName().toLower(), child);

  Collect(ceroEdits, "cero", byName);
  Collect(spanEdits, "Span", byName);
  Collect(alLowEdits, "AlLow", byName);
  Collect(alHiEdits, "AlHi", byName);
  Collect(aiHisEdits, "AiHis", byName);
  Collect(currentLabels, "current", byName);
  Collect(anaValueLabels, "anaValue", byName);
  Collect(alarmaLabels, "alarma", byName);
  Collect(analogPanels, "analogPanel", byName);
  Collect(currentChecks, "currentCheck", byName);
  Collect(voltageChecks, "voltageCheck", byName);
  Collect(digitalChecks, "DigitalCheck", byName);
  Collect(analogLowChecks, "AnalogLowCheck", byName);
  Collect(analogHiChecks, "AnalogHiCheck", byName);
  Collect(invertChecks, "invert", byName);
  Collect(logicInvertChecks, "logicInvert", byName);
  Collect(latchChecks, "latch", byName);
  Collect(latchResetChecks, "latchReset", byName);
  Collect(pulsoCombos, "pulso", byName);
  Collect(lacthTimeEdits, "lacthTime", byName);
  Collect(digtalPanels, "digtalPanel", byName);
  Collect(diStatusLabels, "diStatus", byName);
  Collect(coilLabels, "coilLabel", byName);
  Collect(coilPanels, "coilPanel", byName);
  Collect(botonOnButtons, "botonOn", byName);
  Collect(botonOffButtons, "botonOff", byName);
  Collect(modbusGrids, "modbusGrid", byName);

  for (int i = 0; i < 64; ++i) modbusGrids[0]->setCell(0, i + 1, QString::number(11000 + i));
  for (int i = 0; i < 48; ++i) modbusGrids[1]->setCell(0, i + 1, QString::number(5000 + i));
  const QStringList titles{"Tag", "Enable", "Slave", "Address",
                           "Alarma Hi", "Alarma Low", "Threshold", "DataType"};
  for (StringGrid* grid : modbusGrids)
    for (int col = 0; col < 4; ++col) grid->setCell(col, 0, titles[col]);
  for (int col = 4; col < 8; ++col) modbusGrids[1]->setCell(col, 0, titles[col]);
  for (int row = 1; row <= 64; ++row) {
    for (int col = 1; col <= 3; ++col) modbusGrids[0]->setCell(col, row, "0");
    for (int col = 1; col <= 6; ++col) modbusGrids[1]->setCell(col, row, "0");
  }
  tagAnalog->setCell(1, 0, "Tags Alarmas Analogicas");
  tagDigital->setCell(1, 0, "Tags Entradas Digitales");
  for (int row = 1; row <= 8; ++row) tagDigital->setCell(0, row, QString::number(row));
  for (int row = 1; row <= 4; ++row) tagAnalog->setCell(0, row, QString::number(row));

  PageControl1->setCurrentIndex(0);
  PageControl2->setCurrentIndex(0);
}

// Key filters: a handler may change the typed character; 0 discards it.
bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease && watched == RadioButton1) {
    // After the button has taken the click.
    QTimer::singleShot(0, this, [this] { Guarded([this] { RadioButton1MouseUp(); }); });
  }
  if (event->type() == QEvent::KeyPress && watched == LabeledEdit1) {
    const QString text = static_cast<QKeyEvent*>(event)->text();
    // A character beyond one UTF-16 unit is no digit either.
    if (text.size() > 1) return true;
    if (text.size() == 1) {
      QChar key = text[0];
      LabeledEdit1KeyPress(key);
      if (key.isNull()) return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}
